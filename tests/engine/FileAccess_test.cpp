#include "engine/FileAccess.h"
#include "support/TempTree.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <functional>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::RunAsNobody;
using test::TempTree;

using test::RunInChild;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(stat(path.c_str(), &st), 0) << path;
    return st;
}

bool SameFolder(const struct stat& a, const struct stat& b) {
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// ---------------------------------------------------------------------------------------------
// Texts and paths

TEST(FileAccessTexts, SizeTextUnitsAndThresholds) {
    EXPECT_EQ(SizeText(0), "0.000 kB");
    EXPECT_EQ(SizeText(500), "0.488 kB");
    EXPECT_EQ(SizeText(1048575), "1023.999 kB");
    EXPECT_EQ(SizeText(1048576), "1.000 MB");
    EXPECT_EQ(SizeText(1073741823), "1024.000 MB");
    EXPECT_EQ(SizeText(1073741824), "1.000 GB");
    EXPECT_EQ(SizeText(3221225472LL), "3.000 GB");
    EXPECT_EQ(SizeText(6442450944LL), "6.000 GB");
    // The size is taken as unsigned: -1 is the largest size there is, not a negative one.
    EXPECT_EQ(SizeText(-1), "17179869184.000 GB");
}

TEST(FileAccessTexts, PadRightPadsOrCuts) {
    EXPECT_EQ(PadRight("1.000 MB", 10), "1.000 MB  ");
    EXPECT_EQ(PadRight("1023.999 kB", 10), "1023.999 k");
    EXPECT_EQ(PadRight("abc", 3), "abc");
    EXPECT_EQ(PadRight("", 2), "  ");
    EXPECT_EQ(PadRight("abc", 0), "");
}

TEST(FileAccessTexts, SplitPathFolderNameExtension) {
    tPathParts p = SplitPath("/a/b/c.tar.gz");
    EXPECT_EQ(p.Folder, "/a/b/");
    EXPECT_EQ(p.Name, "c.tar");
    EXPECT_EQ(p.Extension, ".gz");

    p = SplitPath("/a/.profile");
    EXPECT_EQ(p.Folder, "/a/");
    EXPECT_EQ(p.Name, "");
    EXPECT_EQ(p.Extension, ".profile");

    // A dot in a folder name is not an extension.
    p = SplitPath("/x.d/readme");
    EXPECT_EQ(p.Folder, "/x.d/");
    EXPECT_EQ(p.Name, "readme");
    EXPECT_EQ(p.Extension, "");

    p = SplitPath("plain.txt");
    EXPECT_EQ(p.Folder, "");
    EXPECT_EQ(p.Name, "plain");
    EXPECT_EQ(p.Extension, ".txt");
}

TEST(FileAccessTexts, CanonicalPathResolvesLinks) {
    TempTree t;
    t.WriteFile("d/f.txt", "x");
    t.MakeFolder("e");
    t.MakeLink("e/l1", "../d/./f.txt");
    t.MakeLink("l2", "e/l1"); // a chain of two links
    const std::string root = CanonicalPath(t.Root());
    ASSERT_FALSE(root.empty());
    EXPECT_EQ(CanonicalPath(t.Path("l2")), root + "/d/f.txt");
    EXPECT_EQ(CanonicalPath(t.Path("e/../d//f.txt")), root + "/d/f.txt");
    EXPECT_EQ(CanonicalPath(t.Path("missing")), "");
    t.MakeLink("dangling", "nowhere");
    EXPECT_EQ(CanonicalPath(t.Path("dangling")), "");
}

// ---------------------------------------------------------------------------------------------
// Opening, reading and writing

TEST(FileAccessFile, ReadWriteSeekAndGetSize) {
    TempTree t;
    tOrvelLinuxFile f;
    f.FileName = t.Path("data.bin");
    ASSERT_TRUE(f.CreateFile());
    EXPECT_GT(f.Handle, 0);
    EXPECT_EQ(f.Fd(), f.Handle);
    EXPECT_EQ(f.Write("hello world", 11), 11);
    ASSERT_TRUE(f.Seek(6));
    EXPECT_EQ(f.Write("there", 5), 5);

    // GetSize leaves the position at 0, wherever it was.
    ASSERT_TRUE(f.Seek(3));
    EXPECT_EQ(f.GetSize(), 11);
    char buf[32] = {};
    EXPECT_EQ(f.Read(buf, sizeof buf), 11);
    EXPECT_EQ(std::string(buf, 11), "hello there");
    EXPECT_EQ(f.Read(buf, sizeof buf), 0); // end of file

    EXPECT_FALSE(f.Seek(-1));
    EXPECT_EQ(f.LastError, EINVAL);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(f.Handle, 0);
    EXPECT_EQ(t.ReadFile("data.bin"), "hello there");

    // A closed file (Handle 0) must not fall through to standard input or output.
    EXPECT_EQ(f.Read(buf, 4), -1);
    EXPECT_EQ(f.LastError, EBADF);
    f.LastError = 0;
    EXPECT_EQ(f.Write("x", 1), -1);
    EXPECT_EQ(f.LastError, EBADF);
    EXPECT_EQ(f.GetSize(), -1);
    EXPECT_FALSE(f.Seek(0));
}

TEST(FileAccessFile, OpenFailuresLeaveHandleZero) {
    TempTree t;
    tOrvelLinuxFile f;
    f.FileName = t.Path("missing.txt");
    EXPECT_FALSE(f.OpenRead(false));
    EXPECT_EQ(f.LastError, ENOENT);
    EXPECT_EQ(f.Handle, 0);
    f.LastError = 0;
    EXPECT_FALSE(f.OpenShared());
    EXPECT_EQ(f.LastError, ENOENT);
    EXPECT_EQ(f.Handle, 0);
    EXPECT_FALSE(t.Exists("missing.txt")); // OpenShared never creates

    // A later success does not clear the error.
    t.WriteFile("present.txt", "abc");
    f.FileName = t.Path("present.txt");
    EXPECT_TRUE(f.OpenRead(true));
    EXPECT_EQ(f.LastError, ENOENT);
}

TEST(FileAccessFile, CreateFileTruncatesAndOpenSharedDoesNot) {
    TempTree t;
    t.WriteFile("a.txt", "old contents");
    {
        tOrvelLinuxFile f;
        f.FileName = t.Path("a.txt");
        ASSERT_TRUE(f.OpenShared());
        EXPECT_EQ(f.GetSize(), 12);
        EXPECT_EQ(f.Write("OLD", 3), 3);
    }
    EXPECT_EQ(t.ReadFile("a.txt"), "OLD contents");
    {
        tOrvelLinuxFile f;
        f.FileName = t.Path("a.txt");
        ASSERT_TRUE(f.CreateFile());
        EXPECT_EQ(f.GetSize(), 0);
        EXPECT_EQ(f.Write("new", 3), 3);
    }
    EXPECT_EQ(t.ReadFile("a.txt"), "new");
}

TEST(FileAccessFile, OpenReadTakesNoLockAndDestructorCloses) {
    TempTree t;
    t.WriteFile("busy.txt", "0123456789");
    int writer = open(t.Path("busy.txt").c_str(), O_WRONLY | O_APPEND);
    ASSERT_GE(writer, 0);
    ASSERT_EQ(write(writer, "ab", 2), 2);
    int fd = 0;
    {
        tOrvelLinuxFile f;
        f.FileName = t.Path("busy.txt");
        ASSERT_TRUE(f.OpenRead(true));
        fd = f.Handle;
        EXPECT_EQ(f.GetSize(), 12);
        // Another writer can still write while it is open.
        EXPECT_EQ(write(writer, "cd", 2), 2);
        EXPECT_EQ(f.GetSize(), 14);
    }
    close(writer);
    errno = 0;
    EXPECT_EQ(fcntl(fd, F_GETFD), -1) << "descriptor still open after destruction";
    EXPECT_EQ(errno, EBADF);
}

TEST(FileAccessFile, DescriptorZeroIsNeverHandedOut) {
    TempTree t;
    t.WriteFile("a.txt", "abc");
    const std::string path = t.Path("a.txt");
    // With stdin closed the system hands out descriptor 0, which means "not open" here.
    int rc = RunInChild([&] {
        close(0);
        tOrvelLinuxFile f;
        f.FileName = path;
        if (!f.OpenRead(false)) return 1;
        if (f.Handle <= 0) return 2;
        char buf[4];
        if (f.Read(buf, 4) != 3) return 3;
        if (fcntl(0, F_GETFD) != -1) return 4; // nothing left behind on 0
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(FileAccessFile, CreateExclusiveRefusesExistingName) {
    TempTree t;
    t.WriteFile("taken.txt", "keep me");
    tOrvelLinuxFile f;
    f.FileName = t.Path("taken.txt");
    EXPECT_FALSE(f.CreateExclusive(0600));
    EXPECT_EQ(f.LastError, EEXIST);
    EXPECT_EQ(f.Handle, 0);
    EXPECT_EQ(t.ReadFile("taken.txt"), "keep me");

    f.FileName = t.Path("fresh.tmp");
    ASSERT_TRUE(f.CreateExclusive(0600));
    EXPECT_EQ(f.Write("x", 1), 1);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(t.Mode("fresh.tmp"), 0600u);
    EXPECT_EQ(t.ReadFile("fresh.tmp"), "x");
}

// ---------------------------------------------------------------------------------------------
// Status records

TEST(FileAccessStat, GetStatUsesOpenFileElseName) {
    TempTree t;
    t.WriteFile("a.txt", "12345");
    t.WriteFile("b.txt", "1");
    tOrvelLinuxFile f;
    f.FileName = t.Path("a.txt");
    ASSERT_TRUE(f.OpenRead(false));
    f.FileName = t.Path("b.txt");
    EXPECT_EQ(f.GetLinuxStat()->StatData.st_size, 5); // the open file counts
    f.Close();
    EXPECT_EQ(f.GetLinuxStat()->StatData.st_size, 1);

    // A missing file gives a zero-filled record, which counts as read-only.
    f.FileName = t.Path("missing");
    auto missing = f.GetStat();
    auto& data = static_cast<tOrvelLinuxStat&>(*missing).StatData;
    EXPECT_EQ(data.st_mode, 0u);
    EXPECT_EQ(data.st_mtime, 0);
    EXPECT_TRUE(f.StatIsReadOnly(*missing));
}

TEST(FileAccessStat, WriteBitCopies) {
    TempTree t;
    t.WriteFile("a.txt", "x");
    t.SetMode("a.txt", 0664);
    tOrvelLinuxFile f;
    f.FileName = t.Path("a.txt");
    auto st = f.GetStat();
    EXPECT_FALSE(f.StatIsReadOnly(*st));

    auto ro = f.WithoutWriteBits(*st);
    EXPECT_EQ(static_cast<tOrvelLinuxStat&>(*ro).StatData.st_mode & 07777, 0444u);
    EXPECT_TRUE(S_ISREG(static_cast<tOrvelLinuxStat&>(*ro).StatData.st_mode));
    EXPECT_TRUE(f.StatIsReadOnly(*ro));
    // The original record is not changed.
    EXPECT_EQ(static_cast<tOrvelLinuxStat&>(*st).StatData.st_mode & 07777, 0664u);

    auto rw = f.WithOwnerWrite(*ro);
    EXPECT_EQ(static_cast<tOrvelLinuxStat&>(*rw).StatData.st_mode & 07777, 0644u);
    EXPECT_FALSE(f.StatIsReadOnly(*rw));
}

TEST(FileAccessStat, SetTimesKeepsNanoseconds) {
    TempTree t;
    t.WriteFile("src.txt", "x");
    t.WriteFile("dst.txt", "y");
    t.WriteFile("dst2.txt", "z");
    const timespec times[2] = {{1500000000, 111222333}, {1600000000, 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, t.Path("src.txt").c_str(), times, 0), 0);

    tOrvelLinuxFile src;
    src.FileName = t.Path("src.txt");
    auto st = src.GetStat();

    tOrvelLinuxFile dst;
    dst.FileName = t.Path("dst.txt");
    ASSERT_TRUE(dst.OpenShared()); // works by name while the file is open
    EXPECT_TRUE(dst.SetTimes(*st));
    dst.Close();
    struct stat out = StatOf(t.Path("dst.txt"));
    EXPECT_EQ(out.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(out.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(out.st_atim.tv_sec, 1500000000);
    EXPECT_EQ(out.st_atim.tv_nsec, 111222333);

    tOrvelLinuxFile dst2;
    dst2.FileName = t.Path("dst2.txt");
    EXPECT_FALSE(dst2.SetTimesFd(*st));
    EXPECT_EQ(dst2.LastError, EBADF);
    ASSERT_TRUE(dst2.OpenShared());
    EXPECT_TRUE(dst2.SetTimesFd(*st));
    dst2.Close();
    out = StatOf(t.Path("dst2.txt"));
    EXPECT_EQ(out.st_mtim.tv_sec, 1600000000);
    EXPECT_EQ(out.st_mtim.tv_nsec, 123456789);

    tOrvelLinuxFile missing;
    missing.FileName = t.Path("missing.txt");
    EXPECT_FALSE(missing.SetTimes(*st));
    EXPECT_EQ(missing.LastError, ENOENT);
}

TEST(FileAccessStat, SetAttributesIgnoresRefusedOwnerChange) {
    TempTree t;
    t.WriteFile("model.txt", "m"); // owned by root (the tests run as root in CI)
    t.SetMode("model.txt", 0640);
    const std::string model = t.Path("model.txt");
    const std::string byName = t.Path("by-name.txt");
    const std::string byHandle = t.Path("by-handle.txt");
    // nobody makes its own files and copies root's owner and mode onto them.
    int rc = RunAsNobody([&] {
        tOrvelLinuxFile m;
        m.FileName = model;
        auto st = m.GetLinuxStat();
        if (st->StatData.st_uid == getuid()) return 10; // the model must belong to another user
        tOrvelLinuxFile f;
        f.FileName = byName;
        if (!f.CreateFile()) return 1;
        f.Close();
        f.LastError = 99;
        if (!f.SetAttributes(*st)) return 2;
        if (f.LastError != 0) return 3;
        tOrvelLinuxFile g;
        g.FileName = byHandle;
        if (!g.CreateFile()) return 4;
        if (!g.SetAttributes(*st)) return 5;
        return 0;
    });
    if (!test::PermissionsApply()) {
        ASSERT_EQ(rc, 0);
    } else {
        GTEST_SKIP() << "needs root to switch to nobody and own the model file";
    }
    for (const char* name : {"by-name.txt", "by-handle.txt"}) {
        EXPECT_EQ(t.Mode(name), 0640u) << name;
        EXPECT_NE(StatOf(t.Path(name)).st_uid, 0u) << name << " was given away";
    }
}

TEST(FileAccessStat, SetAttributesFailsOnMissingFileAndKeepsSetIdBits) {
    TempTree t;
    t.WriteFile("model", "m");
    t.SetMode("model", 06755);
    t.WriteFile("copy", "c");
    t.SetMode("copy", 0600);
    tOrvelLinuxFile m;
    m.FileName = t.Path("model");
    auto st = m.GetStat();

    // A change of owner clears set-ID bits; the mode must still end up as the model's.
    tOrvelLinuxFile f;
    f.FileName = t.Path("copy");
    EXPECT_TRUE(f.SetAttributes(*st));
    EXPECT_EQ(t.Mode("copy"), 06755u);
    ASSERT_TRUE(f.OpenShared());
    t.SetMode("copy", 0600);
    EXPECT_TRUE(f.SetAttributes(*st));
    f.Close();
    EXPECT_EQ(t.Mode("copy"), 06755u);

    tOrvelLinuxFile missing;
    missing.FileName = t.Path("missing");
    EXPECT_FALSE(missing.SetAttributes(*st));
    EXPECT_EQ(missing.LastError, ENOENT);
}

TEST(FileAccessStat, IsReadOnlyFollowsTheEffectiveUser) {
    TempTree t;
    t.WriteFile("ro.txt", "x");
    t.SetMode("ro.txt", 0444);
    const std::string root = t.Root();
    int rc = RunAsNobody([&] {
        tOrvelLinuxFile f;
        f.FileName = root + "/mine.txt";
        if (!f.CreateFile()) return 1;
        f.Close();
        if (f.IsReadOnly()) return 2;
        if (chmod(f.FileName.c_str(), 0444) != 0) return 3;
        if (!f.IsReadOnly()) return 4;
        f.FileName = root + "/ro.txt"; // root's file, read-only for everyone
        if (!f.IsReadOnly()) return 5;
        f.FileName = root + "/missing.txt";
        if (!f.IsReadOnly()) return 6;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    if (!test::PermissionsApply()) {
        tOrvelLinuxFile f;
        f.FileName = t.Path("ro.txt");
        EXPECT_FALSE(f.IsReadOnly()); // root may write it anyway
    }
}

// ---------------------------------------------------------------------------------------------
// Deleting and renaming

TEST(FileAccessRename, RenameAndDelete) {
    TempTree t;
    t.WriteFile("a.txt", "A");
    t.WriteFile("b.txt", "B");
    tOrvelLinuxFile f;
    f.FileName = t.Path("a.txt");
    EXPECT_TRUE(f.Rename(t.Path("c.txt")));
    EXPECT_EQ(f.FileName, t.Path("c.txt"));
    EXPECT_FALSE(f.Rename(t.Path("nofolder/d.txt")));
    EXPECT_EQ(f.LastError, ENOENT);
    EXPECT_EQ(f.FileName, t.Path("c.txt"));
    // Plain Rename replaces an existing target.
    EXPECT_TRUE(f.Rename(t.Path("b.txt")));
    EXPECT_EQ(t.ReadFile("b.txt"), "A");

    f.LastError = 0;
    EXPECT_TRUE(f.DeleteFile());
    EXPECT_FALSE(t.Exists("b.txt"));
    EXPECT_FALSE(f.DeleteFile());
    EXPECT_EQ(f.LastError, 0); // DeleteFile leaves the error alone
    EXPECT_EQ(t.List(), std::vector<std::string>{});
}

TEST(FileAccessRename, RenameNoReplaceKeepsBothFiles) {
    TempTree t;
    t.WriteFile("a.txt", "A");
    t.WriteFile("b.txt", "B");
    tOrvelLinuxFile f;
    f.FileName = t.Path("a.txt");
    EXPECT_FALSE(f.RenameNoReplace(t.Path("b.txt")));
    EXPECT_EQ(f.LastError, EEXIST);
    EXPECT_EQ(f.FileName, t.Path("a.txt"));
    EXPECT_EQ(t.ReadFile("a.txt"), "A");
    EXPECT_EQ(t.ReadFile("b.txt"), "B");

    EXPECT_TRUE(f.RenameNoReplace(t.Path("c.txt")));
    EXPECT_EQ(f.FileName, t.Path("c.txt"));
    EXPECT_EQ(t.List(), (std::vector<std::string>{"b.txt", "c.txt"}));
    EXPECT_EQ(t.ReadFile("c.txt"), "A");
}

TEST(FileAccessRename, AcrossFileSystemsFailsWithoutCopying) {
    TempTree t;
    const dev_t here = StatOf(t.Root()).st_dev;
    std::string other;
    for (const char* candidate : {"/dev/shm", "/run/shm", "/var/tmp", "/run", "/tmp"}) {
        struct stat st;
        if (stat(candidate, &st) != 0 || st.st_dev == here) continue;
        std::string tmpl = std::string(candidate) + "/corvane-xfs-XXXXXX";
        if (mkdtemp(tmpl.data()) != nullptr) {
            other = tmpl;
            break;
        }
    }
    if (other.empty()) GTEST_SKIP() << "no writable folder on a second file system";

    t.WriteFile("a.txt", "A");
    tOrvelLinuxFile f;
    f.FileName = t.Path("a.txt");
    const std::string target = other + "/a.txt";
    EXPECT_FALSE(f.Rename(target));
    EXPECT_EQ(f.LastError, EXDEV);
    EXPECT_EQ(f.FileName, t.Path("a.txt"));
    f.LastError = 0;
    EXPECT_FALSE(f.RenameNoReplace(target));
    EXPECT_EQ(f.LastError, EXDEV);
    EXPECT_EQ(f.FileName, t.Path("a.txt"));

    struct stat st;
    EXPECT_NE(stat(target.c_str(), &st), 0) << "a copy was made";
    EXPECT_EQ(t.ReadFile("a.txt"), "A");
    unlink(target.c_str());
    rmdir(other.c_str());
}

// ---------------------------------------------------------------------------------------------
// Folders

TEST(FileAccessFolders, ForceFoldersCreatesMissingParents) {
    TempTree t;
    t.MakeFolder("a");
    const struct stat cwdBefore = StatOf(".");
    int32_t created = 5;
    EXPECT_TRUE(ForceFolders(t.Path("a/b/c"), created));
    EXPECT_EQ(created, 7);
    EXPECT_EQ(t.List(), (std::vector<std::string>{"a/", "a/b/", "a/b/c/"}));
    EXPECT_TRUE(ForceFolders(t.Path("a/b/c"), created));
    EXPECT_EQ(created, 7);
    EXPECT_TRUE(ForceFolders("", created));
    EXPECT_EQ(created, 7);
    // A trailing "/" names the same folder.
    EXPECT_TRUE(ForceFolders(t.Path("a/x/"), created));
    EXPECT_EQ(created, 8);
    EXPECT_TRUE(t.IsFolder("a/x"));
    EXPECT_TRUE(SameFolder(cwdBefore, StatOf(".")));

    // A file in the way cannot become a folder.
    t.WriteFile("f", "x");
    EXPECT_FALSE(ForceFolders(t.Path("f/g"), created));
    EXPECT_EQ(created, 8);
}

TEST(FileAccessFolders, ForceFoldersFailsCleanlyUnderUncreatableParent) {
    TempTree t;
    t.MakeFolder("locked");
    t.SetMode("locked", 0555);
    const std::string path = t.Path("locked/x/y");
    int rc = RunAsNobody([&] {
        int32_t created = 0;
        if (ForceFolders(path, created)) return 1;
        if (created != 0) return 2;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(t.List("locked"), std::vector<std::string>{});
}

TEST(FileAccessFolders, FolderAccessibleNeedsSearchPermission) {
    TempTree t;
    t.MakeFolder("open");
    t.MakeFolder("noexec");
    t.SetMode("noexec", 0644); // readable but not searchable for nobody
    t.MakeFolder("private/inner");
    t.SetMode("private/inner", 0777);
    t.SetMode("private", 0700); // nobody cannot pass through it
    t.WriteFile("file.txt", "x");
    t.MakeLink("link", "open");
    const std::string root = t.Root();

    EXPECT_TRUE(FolderAccessible(""));
    EXPECT_TRUE(FolderAccessible(t.Path("open")));
    EXPECT_TRUE(FolderAccessible(t.Path("link")));
    EXPECT_FALSE(FolderAccessible(t.Path("file.txt")));
    EXPECT_FALSE(FolderAccessible(t.Path("missing")));
    if (!test::PermissionsApply()) {
        // root enters any folder.
        t.SetMode("open", 0);
        EXPECT_TRUE(FolderAccessible(t.Path("open")));
        EXPECT_TRUE(FolderAccessible(t.Path("noexec")));
        EXPECT_TRUE(FolderAccessible(t.Path("private/inner")));
        t.SetMode("open", 0755);
    }
    int rc = RunAsNobody([&] {
        if (!FolderAccessible(root + "/open")) return 1;
        if (!FolderAccessible(root + "/link")) return 2;
        if (FolderAccessible(root + "/noexec")) return 3;
        if (FolderAccessible(root + "/private/inner")) return 4;
        if (FolderAccessible(root + "/private")) return 5;
        return 0;
    });
    EXPECT_EQ(rc, 0);
}

TEST(FileAccessFolders, CurrentFolderUntouchedEvenWhenDeleted) {
    TempTree t;
    t.MakeFolder("here");
    t.MakeFolder("gone");
    const std::string root = t.Root();
    auto scenario = [&](const std::string& cwd, bool deleteIt, const std::string& made) {
        return [&, cwd, deleteIt, made] {
            if (chdir(cwd.c_str()) != 0) return 20;
            if (deleteIt && rmdir(cwd.c_str()) != 0) return 21;
            struct stat before, after;
            if (stat(".", &before) != 0) return 22;
            if (!FolderAccessible(root + "/here")) return 1;
            if (FolderAccessible(root + "/missing")) return 2;
            int32_t created = 0;
            if (!ForceFolders(root + "/" + made + "/m", created)) return 3;
            if (created != 2) return 4;
            if (!ForceFolders(root + "/here", created) || created != 2) return 5;
            if (stat(".", &after) != 0) return 6;
            if (before.st_ino != after.st_ino || before.st_dev != after.st_dev) return 7;
            char buf[4096];
            if (deleteIt && (getcwd(buf, sizeof buf) != nullptr || errno != ENOENT)) return 8;
            return 0;
        };
    };
    EXPECT_EQ(RunInChild(scenario(t.Path("here"), false, "n0")), 0);
    EXPECT_EQ(RunInChild(scenario(t.Path("gone"), true, "n1")), 0);
    EXPECT_TRUE(t.IsFolder("n0/m"));
    EXPECT_TRUE(t.IsFolder("n1/m"));
    if (!test::PermissionsApply()) {
        // The same for an ordinary user, whose deleted current folder cannot be re-entered.
        t.MakeFolder("gone2");
        EXPECT_EQ(RunAsNobody(scenario(t.Path("gone2"), true, "n2")), 0);
        EXPECT_TRUE(t.IsFolder("n2/m"));
    }
}

TEST(FileAccessFolders, LongPathsWork) {
    TempTree t;
    std::string path = t.Root();
    int32_t levels = 0;
    while (path.size() + 10 < 1000) {
        path += "/dir" + std::to_string(100000 + levels);
        ++levels;
    }
    path += "/" + std::string(1000 - path.size() - 1, 'n');
    ASSERT_EQ(path.size(), 1000u);
    const tPathParts parts = SplitPath(path);

    int32_t created = 0;
    ASSERT_TRUE(ForceFolders(parts.Folder, created));
    EXPECT_EQ(created, levels);
    EXPECT_TRUE(FolderAccessible(parts.Folder));

    tOrvelLinuxFile f;
    f.FileName = path;
    ASSERT_TRUE(f.CreateFile());
    EXPECT_EQ(f.Write("deep", 4), 4);
    EXPECT_TRUE(f.Close());
    EXPECT_EQ(t.ReadFile(path.substr(t.Root().size() + 1)), "deep");
    EXPECT_EQ(CanonicalPath(path), CanonicalPath(t.Root()) + path.substr(t.Root().size()));
}

} // namespace
} // namespace corvane
