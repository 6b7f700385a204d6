// What copies keep and how they get their names, on any machine: the system calls that FAT,
// exFAT and network file systems refuse are made to fail the way they do there, and real
// trees are mirrored through the executor. (Real mounts: tests/app/MediaMirror_test.cpp.)
#include "engine/Analysis.h"
#include "engine/Executor.h"
#include "engine/Media.h"
#include "engine/Planner.h"
#include "engine/RunDriver.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::ScriptedPort;
using test::TempTree;

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

// Calls made through the seam, and which of them fail as on FAT through FUSE.
struct Refusals {
    static inline int Unnamed = 0, NoReplace = 0, Links = 0, Xattrs = 0, Chmods = 0;
    static inline bool RefuseNaming = false, RefuseLinks = false, RefuseXattrs = false;

    static void Install() {
        Unnamed = NoReplace = Links = Xattrs = Chmods = 0;
        tSystemCalls& calls = SystemCalls();
        const tSystemCalls real = RealSystemCalls();
        static tSystemCalls system;
        system = real;
        calls.OpenUnnamed = [](const char* folder, int flags, mode_t mode) {
            ++Unnamed;
            if (RefuseNaming) return errno = EOPNOTSUPP, -1;
            return system.OpenUnnamed(folder, flags, mode);
        };
        calls.RenameNoReplace = [](const char* from, const char* to) {
            ++NoReplace;
            if (RefuseNaming) return errno = EINVAL, -1;
            return system.RenameNoReplace(from, to);
        };
        calls.Link = [](const char* from, const char* to) {
            ++Links;
            if (RefuseNaming || RefuseLinks) return errno = EPERM, -1;
            return system.Link(from, to);
        };
        calls.SetXattr = [](int fd, const char* name, const void* value, size_t size) {
            ++Xattrs;
            if (RefuseXattrs) return errno = EOPNOTSUPP, -1;
            return system.SetXattr(fd, name, value, size);
        };
        calls.Chmod = [](int fd, mode_t mode) {
            ++Chmods;
            return system.Chmod(fd, mode);
        };
    }
    static void Remove() {
        SystemCalls() = RealSystemCalls();
        RefuseNaming = RefuseLinks = RefuseXattrs = false;
    }
};

class MediaTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunSettings() = tMainSettings{};
        SetInitialValues(p);
        p.Name = "media";
        p.LeftPath = tree.Path("L");
        p.RightPath = tree.Path("R");
        p.LeftToRight = true;
        p.RightToLeft = false;
        p.ExactMirror = true;
        p.Subfolders = true;
        p.MultipleVersions = false;
        p.Wait = false;
        p.RunUnattended = true;
        p.UA_OverwriteNewer = p.UA_OverwriteLarger = p.UA_DeleteFiles = true;
        tree.MakeFolder("L");
        tree.MakeFolder("R");
        Refusals::Install();
    }
    void TearDown() override {
        Refusals::Remove();
        if (log) std::fclose(log);
    }

    // Scans, plans and carries out a run with the log open; the number of files it had to copy.
    int32_t Run() {
        p.Entries.clear();
        SetFilterDefaults(p);
        EXPECT_TRUE(AnalyzeProfile(p));
        const int32_t affected = p.Stats.AffectedCount;
        if (log) std::fclose(log);
        log = std::tmpfile();
        p.LogFile = log;
        p.LoggingOn = true;
        ExecutePlan(p);
        return affected;
    }
    std::string LogText() const {
        std::fflush(log);
        std::rewind(log);
        std::string text;
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, log)) > 0)
            text.append(buf, n);
        return text;
    }
    static int Count(const std::string& text, const std::string& what) {
        int n = 0;
        for (std::size_t at = text.find(what); at != std::string::npos;
             at = text.find(what, at + 1))
            ++n;
        return n;
    }
    std::string Xattr(const std::string& rel, const char* name) const {
        char value[256];
        const ssize_t n = getxattr(tree.Path(rel).c_str(), name, value, sizeof value);
        return n < 0 ? std::string("(none)") : std::string(value, static_cast<std::size_t>(n));
    }
    ino_t Inode(const std::string& rel) const {
        struct stat st {};
        lstat(tree.Path(rel).c_str(), &st);
        return st.st_ino;
    }

    TempTree tree;
    ScriptedPort port;
    tProfile p;
    std::FILE* log = nullptr;
};

TEST_F(MediaTest, FilesGetTheirNamesWhereNoNamingCallWorksAndNothingThatAppearedIsReplaced) {
    Refusals::RefuseNaming = true;
    // One file at a time: each refused call is tried once, and the test steps in during the
    // copy of late.txt. (With several copies under way, each may try a call once.)
    RunSettings().CopyWorkers = 1;
    tree.WriteFile("L/a.txt", "a", kNew);
    tree.WriteFile("L/sub/b.txt", "b", kNew);
    tree.WriteFile("L/sub/deeper/c.txt", "c", kNew);
    tree.WriteFile("L/replaced.txt", "new contents", kNew);
    tree.WriteFile("R/replaced.txt", "old", kOld);
    tree.WriteFile("L/sub/late.txt", "from the run", kNew);
    tree.WriteFile("L/zz-moved.txt", "moved", kOld);
    tree.WriteFile("R/old-place/zz-moved.txt", "moved", kOld);
    port.OnEvents = [&](int) {
        if (port.Copying && port.Copying->lbCopying == "Copying late.txt" &&
            !tree.Exists("R/sub/late.txt"))
            tree.WriteFile("R/sub/late.txt", "the user's");
    };
    EXPECT_EQ(Run(), 6);
    EXPECT_EQ(p.LastRunResult, "4 copied, 1 moved, 1 failed") << LogText();
    EXPECT_EQ(p.ResultList, std::vector<std::string>{"/sub/late.txt (changed since the scan)"});
    EXPECT_EQ(tree.ReadFile("R/sub/late.txt"), "the user's");
    for (const char* rel : {"a.txt", "sub/b.txt", "sub/deeper/c.txt", "replaced.txt"})
        EXPECT_EQ(tree.ReadFile(std::string("R/") + rel), tree.ReadFile(std::string("L/") + rel));
    EXPECT_EQ(tree.ReadFile("R/zz-moved.txt"), "moved");
    // Each refused call was tried once in the run, not once per file.
    EXPECT_EQ(Refusals::Unnamed, 1);
    EXPECT_EQ(Refusals::NoReplace, 1);
    EXPECT_EQ(Refusals::Links, 1);
    // No temporary file is left anywhere.
    EXPECT_EQ(tree.List("R"),
              (std::vector<std::string>{"a.txt", "replaced.txt", "sub/", "sub/b.txt", "sub/deeper/",
                                        "sub/deeper/c.txt", "sub/late.txt", "zz-moved.txt"}));

    port.OnEvents = nullptr;
    tree.WriteFile("R/sub/late.txt", "from the run", kNew);
    EXPECT_EQ(Run(), 0) << LogText();
}

TEST_F(MediaTest, ModesAndOwnersAreSetOnlyWhereTheNewFileLacksThem) {
    const mode_t mask = umask(022);
    tree.WriteFile("L/plain.txt", "p", kNew);
    tree.SetMode("L/plain.txt", 0644);
    tree.WriteFile("L/run.sh", "r", kNew);
    tree.SetMode("L/run.sh", 0755);
    tree.WriteFile("L/read-only.txt", "ro", kNew);
    tree.SetMode("L/read-only.txt", 0444);
    tree.WriteFile("L/group.txt", "g", kNew);
    tree.SetMode("L/group.txt", 0664);
    EXPECT_EQ(Run(), 4);
    umask(mask);
    EXPECT_EQ(p.LastRunResult, "4 copied");
    for (const char* rel : {"plain.txt", "run.sh", "read-only.txt", "group.txt"})
        EXPECT_EQ(tree.Mode(std::string("R/") + rel), tree.Mode(std::string("L/") + rel)) << rel;
    // Created with the source's bits: only the read-only file (made writable while it was
    // written) and the one the umask cut needed a mode change.
    EXPECT_EQ(Refusals::Chmods, 2);
}

TEST_F(MediaTest, AttributesAndAclsAreKeptAndAMediumWithoutThemGetsOneLogLine) {
    // One file at a time, so that the refused call is counted once.
    RunSettings().CopyWorkers = 1;
    tree.WriteFile("L/tagged.txt", "tagged", kNew);
    if (setxattr(tree.Path("L/tagged.txt").c_str(), "user.xdg.tags", "red,work", 8, 0) != 0)
        GTEST_SKIP() << "the test folder takes no user extended attributes: " << strerror(errno);
    // An access ACL: owner rw, nobody r, group r, mask r, others none.
    struct Entry {
        uint16_t Tag, Perm;
        uint32_t Id;
    };
    const uint32_t version = 2;
    const Entry entries[] = {{0x01, 6, 0xFFFFFFFF},
                             {0x02, 4, 65534},
                             {0x04, 4, 0xFFFFFFFF},
                             {0x10, 4, 0xFFFFFFFF},
                             {0x20, 0, 0xFFFFFFFF}};
    std::string acl(reinterpret_cast<const char*>(&version), sizeof version);
    acl.append(reinterpret_cast<const char*>(entries), sizeof entries);
    ASSERT_EQ(setxattr(tree.Path("L/tagged.txt").c_str(), "system.posix_acl_access", acl.data(),
                       acl.size(), 0),
              0)
        << strerror(errno);
    tree.SetTime("L/tagged.txt", kNew);
    tree.WriteFile("L/sub/also-tagged.txt", "also", kNew);
    ASSERT_EQ(setxattr(tree.Path("L/sub/also-tagged.txt").c_str(), "user.rating", "5", 1, 0), 0);
    tree.SetTime("L/sub/also-tagged.txt", kNew);

    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(p.LastRunResult, "2 copied");
    EXPECT_EQ(Xattr("R/tagged.txt", "user.xdg.tags"), "red,work");
    EXPECT_EQ(Xattr("R/sub/also-tagged.txt", "user.rating"), "5");
    EXPECT_EQ(Xattr("R/tagged.txt", "system.posix_acl_access"), acl);
    EXPECT_EQ(tree.Mode("R/tagged.txt"), tree.Mode("L/tagged.txt"));
    EXPECT_EQ(tree.Time("R/tagged.txt"), kNew);
    EXPECT_EQ(Count(LogText(), "ATTRIBUTES"), 0);

    // A destination that holds none: the files come without them, with one line in the log.
    Refusals::RefuseXattrs = true;
    Refusals::Xattrs = 0;
    p.RightPath = tree.Path("R2");
    tree.MakeFolder("R2");
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(p.LastRunResult, "2 copied");
    EXPECT_EQ(Xattr("R2/tagged.txt", "user.xdg.tags"), "(none)");
    EXPECT_EQ(Count(LogText(), "ATTRIBUTES not kept"), 1) << LogText();
    EXPECT_EQ(Refusals::Xattrs, 1);
    // A change of the attributes alone is no reason to copy.
    ASSERT_EQ(setxattr(tree.Path("L/tagged.txt").c_str(), "user.xdg.tags", "blue", 4, 0), 0);
    EXPECT_EQ(Run(), 0);
}

TEST_F(MediaTest, HardLinksInsideTheTreeStayHardLinksWhereTheMediumHasThem) {
    tree.WriteFile("L/one.txt", "shared", kNew);
    tree.MakeFolder("L/sub");
    ASSERT_EQ(link(tree.Path("L/one.txt").c_str(), tree.Path("L/sub/two.txt").c_str()), 0);
    tree.WriteFile("L/three.txt", "alone", kNew);
    EXPECT_EQ(Run(), 3);
    EXPECT_EQ(p.LastRunResult, "3 copied");
    EXPECT_EQ(Inode("R/one.txt"), Inode("R/sub/two.txt"));
    EXPECT_NE(Inode("R/one.txt"), Inode("R/three.txt"));
    EXPECT_EQ(tree.ReadFile("R/sub/two.txt"), "shared");
    EXPECT_EQ(Run(), 0);

    // Both names edited: replaced, still one file.
    tree.WriteFile("L/one.txt", "shared, edited", kNew + 10);
    EXPECT_EQ(Run(), 2);
    EXPECT_EQ(Inode("R/one.txt"), Inode("R/sub/two.txt"));
    EXPECT_EQ(tree.ReadFile("R/sub/two.txt"), "shared, edited");

    // A medium without hard links: two separate copies.
    Refusals::RefuseLinks = true;
    p.RightPath = tree.Path("R2");
    tree.MakeFolder("R2");
    EXPECT_EQ(Run(), 3);
    EXPECT_EQ(p.LastRunResult, "3 copied");
    EXPECT_NE(Inode("R2/one.txt"), Inode("R2/sub/two.txt"));
    EXPECT_EQ(tree.ReadFile("R2/sub/two.txt"), "shared, edited");
}

TEST(Medium, TimesAreHeldInTheMediumsStepsAndComparedWithinThem) {
    tMedium fat;
    fat.TimeStepNs = 2000000000;
    EXPECT_EQ(fat.Hold({1700000001, 999999999}).tv_sec, 1700000000);
    EXPECT_EQ(fat.Hold({1700000001, 999999999}).tv_nsec, 0);
    EXPECT_EQ(fat.Hold({-3, 5}).tv_sec, -4);
    EXPECT_EQ(fat.CompareStep(), 2);
    tMedium exfat;
    exfat.TimeStepNs = 10000000;
    EXPECT_EQ(exfat.Hold({5, 123456789}).tv_nsec, 120000000);
    EXPECT_EQ(exfat.CompareStep(), 1);

    tProfile p;
    SetInitialValues(p);
    p.Ignore2Secs = p.Ignore1Hour = false;
    p.RightTimeStep = 2;
    auto entry = [&](int64_t left, int64_t right, int64_t leftSize, int64_t rightSize) {
        TFileListEntry e;
        e.Left.Present = e.Right.Present = true;
        e.Left.Time = left;
        e.Right.Time = right;
        e.Left.Size = leftSize;
        e.Right.Size = rightSize;
        e.Action = tAction::actLeaveAlone;
        return e;
    };
    p.Entries = {entry(kNew + 1, kNew, 5, 5), entry(kNew + 2, kNew, 5, 5),
                 entry(kNew, kNew + 1, 5, 6)};
    CompareEntries(p);
    EXPECT_EQ(p.Entries[0].Action, tAction::actNone);
    EXPECT_EQ(p.Entries[1].Action, tAction::actCopyToRight);
    EXPECT_EQ(p.Entries[2].Action, tAction::actNone);

    tMedium windows;
    windows.WindowsNames = true;
    for (const char* refused :
         {"a:b", "what?", "x*", "q\"", "<", ">", "p|q", "back\\slash", "dot.", "blank "})
        EXPECT_NE(NameRefusal(windows, refused), "") << refused;
    for (const char* kept : {"Übersicht.txt", ".hidden", "a b.txt", "日本"})
        EXPECT_EQ(NameRefusal(windows, kept), "") << kept;
    EXPECT_EQ(NameRefusal(tMedium{}, "a:b"), "");
}

} // namespace
} // namespace corvane
