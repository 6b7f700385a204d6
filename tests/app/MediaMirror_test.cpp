// Mirrors onto the drives and shares people back up to, mounted for real: FAT32, exFAT and
// NTFS through their FUSE drivers, btrfs and xfs loop mounts, and an SFTP share through sshfs
// from a local sshd. Each runs `corvane --run` as a user would and checks the mounted tree.
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/Mounts.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <fcntl.h>
#include <fstream>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::MediumKind;
using corvane::test::MountedMedium;
using corvane::test::TempTree;

namespace {

// A mounted folder, read as the tests read their own trees.
struct Folder {
    std::string Root;
    std::string Path(const std::string& rel) const { return Root + "/" + rel; }
    bool Exists(const std::string& rel) const {
        struct stat st;
        return lstat(Path(rel).c_str(), &st) == 0;
    }
    bool IsFolder(const std::string& rel) const {
        struct stat st;
        return lstat(Path(rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
    }
    std::string ReadFile(const std::string& rel) const {
        std::ifstream in(Path(rel), std::ios::binary);
        return std::string(std::istreambuf_iterator<char>(in), {});
    }
    int64_t Time(const std::string& rel) const {
        struct stat st {};
        lstat(Path(rel).c_str(), &st);
        return st.st_mtim.tv_sec;
    }
    unsigned Mode(const std::string& rel) const {
        struct stat st {};
        lstat(Path(rel).c_str(), &st);
        return st.st_mode & 07777;
    }
};

// What a medium keeps, as the checks expect it.
struct Expect {
    MediumKind Kind;
    int64_t TimeStep; // seconds within which a copy's time may lie below the source's
    bool Modes;       // permission bits are kept
    bool CaseInsensitive;
    bool WindowsNames; // : * ? " < > | \ and trailing dots and blanks refused
    bool Links;
    bool AsciiNames;  // the driver takes no names beyond ASCII (fusefat)
    const char* Kept; // what the run log's MEDIUM line says first; nullptr: no such line
};

std::string PrintName(const ::testing::TestParamInfo<Expect>& info) {
    return test::MediumName(info.param.Kind);
}

class MediaMirror : public ::testing::TestWithParam<Expect> {
protected:
    TempTree home, left;

    void SetTimeNs(const std::string& rel, int64_t sec, long nsec) {
        const timespec t[2] = {{sec, nsec}, {sec, nsec}};
        ASSERT_EQ(utimensat(AT_FDCWD, left.Path(rel).c_str(), t, AT_SYMLINK_NOFOLLOW), 0) << rel;
    }

    void Store(const std::string& rightPath) {
        tProfile p;
        SetInitialValues(p);
        p.Name = "backup";
        p.LeftPath = left.Root();
        p.RightPath = rightPath;
        p.LeftToRight = true;
        p.RightToLeft = false;
        p.ExactMirror = true;
        p.Subfolders = true;
        p.SymLinks = 1;
        p.EmptyFolders = true;
        p.Ignore2Secs = false; // the medium's own steps must do without the tolerance
        p.Ignore1Hour = false;
        p.MultipleVersions = false;
        p.UA_OverwriteNewer = p.UA_OverwriteLarger = p.UA_OverwriteReadOnly = true;
        p.UA_DeleteFiles = true;
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        store.Write("opt_" + p.Name, EncodeOptions(p), "Profiles");
        store.Write("bfs_" + p.Name, p.BaseFolderItems, "BaseFolderItems");
        store.Write("msk_" + p.Name, p.FileMasks, "FileMasks");
        store.Write("xcl_" + p.Name, p.ExcludeMasks, "ExcludeMasks");
        store.Write("Logging", "1", "Main");
        store.Write("LogFolder", home.Path("logs"), "Main");
        ASSERT_EQ(store.Flush(), "");
    }

    test::ProcessResult Run() {
        return test::RunCorvane({"--run", "backup"}, {{"HOME", home.Root()}});
    }
};

TEST_P(MediaMirror, MirrorThenNothingThenOneEditThenRefusedNames) {
    const Expect& x = GetParam();
    MountedMedium medium(x.Kind);
    if (!medium.SkipReason().empty())
        GTEST_SKIP() << test::MediumName(x.Kind) << ": " << medium.SkipReason();
    const std::string right = medium.Root() + "/backup";
    ASSERT_EQ(mkdir(right.c_str(), 0755), 0);

    const int64_t base = 1700000001; // an odd second
    left.WriteFile("Documents/report.txt", "the report");
    SetTimeNs("Documents/report.txt", base, 750000000);
    const std::string unicode = "Documents/Übersicht – Čísla 日本.txt";
    if (!x.AsciiNames) {
        left.WriteFile(unicode, "unicode");
        SetTimeNs(unicode, base + 10, 123456789);
    } else {
        left.WriteFile("Documents/Overview.txt", "ascii");
        SetTimeNs("Documents/Overview.txt", base + 10, 123456789);
    }
    left.WriteFile("Documents/Deep/Deeper/data.bin", std::string(300000, 'd'));
    SetTimeNs("Documents/Deep/Deeper/data.bin", base + 21, 999999999);
    left.WriteFile("empty.txt", "");
    SetTimeNs("empty.txt", base + 33, 1);
    left.WriteFile("read-only.txt", "do not touch");
    left.SetMode("read-only.txt", 0444);
    SetTimeNs("read-only.txt", base + 45, 500000000);
    left.WriteFile("run.sh", "#!/bin/sh\necho hi\n");
    left.SetMode("run.sh", 0755);
    SetTimeNs("run.sh", base + 57, 250000000);
    left.MakeFolder("Empty folder");
    Store(right);

    home.MakeFolder("logs");
    auto first = Run();
    const std::string log = home.ReadFile("logs/crvn.log");
    if (x.Kept) {
        const std::string line = "MEDIUM " + right + " (";
        EXPECT_EQ(log.find(line), log.rfind(line)) << log;
        EXPECT_NE(log.find(line), std::string::npos) << log;
        EXPECT_NE(log.find(std::string("): ") + x.Kept), std::string::npos) << log;
    } else {
        EXPECT_EQ(log.find("MEDIUM"), std::string::npos) << log;
    }
    EXPECT_EQ(first.Status, 0) << first.Out << first.Err;
    EXPECT_EQ(first.Out, "6 copied\n") << first.Err;
    const Folder copied{right};
    for (const std::string rel :
         {"Documents/report.txt", x.AsciiNames ? "Documents/Overview.txt" : unicode.c_str(),
          "Documents/Deep/Deeper/data.bin", "empty.txt", "read-only.txt", "run.sh"}) {
        SCOPED_TRACE(rel);
        ASSERT_TRUE(copied.Exists(rel));
        EXPECT_EQ(copied.ReadFile(rel), left.ReadFile(rel));
        const int64_t diff = left.Time(rel) - copied.Time(rel);
        EXPECT_TRUE(diff >= 0 && diff < x.TimeStep)
            << "source " << left.Time(rel) << ", copy " << copied.Time(rel);
        if (x.Modes) {
            EXPECT_EQ(copied.Mode(rel), left.Mode(rel));
        }
    }
    EXPECT_TRUE(copied.IsFolder("Empty folder"));

    auto second = Run();
    EXPECT_EQ(second.Status, 0) << second.Err;
    EXPECT_EQ(second.Out, "Nothing to be done\n") << second.Err;

    left.WriteFile("Documents/report.txt", "the report, edited");
    SetTimeNs("Documents/report.txt", base + 100, 300000000);
    auto third = Run();
    EXPECT_EQ(third.Status, 0) << third.Err;
    EXPECT_EQ(third.Out, "1 copied\n") << third.Err;
    EXPECT_EQ(copied.ReadFile("Documents/report.txt"), "the report, edited");
    EXPECT_EQ(Run().Out, "Nothing to be done\n");

    // Names the medium refuses or cannot tell apart, and a link.
    left.WriteFile("Photos/Photo.jpg", "upper");
    left.WriteFile("Photos/photo.jpg", "lower");
    left.WriteFile("Photos/what?.txt", "question");
    left.WriteFile("Photos/ends with dot.", "dot");
    left.MakeLink("Photos/link", "../run.sh");
    if (x.AsciiNames) left.WriteFile(unicode, "unicode");
    for (int round = 0; round < 2; ++round) {
        SCOPED_TRACE(round);
        auto bad = Run();
        if (!x.CaseInsensitive && !x.WindowsNames && x.Links) {
            EXPECT_EQ(bad.Status, 0) << bad.Err;
            EXPECT_EQ(bad.Out, round == 0 ? "5 copied\n" : "Nothing to be done\n") << bad.Err;
            EXPECT_EQ(copied.ReadFile("Photos/photo.jpg"), "lower");
            EXPECT_EQ(copied.ReadFile("Photos/Photo.jpg"), "upper");
            continue;
        }
        EXPECT_EQ(bad.Status, 3) << bad.Out << bad.Err;
        if (x.CaseInsensitive) {
            // One of the two is copied; the other is never copied over it.
            EXPECT_NE(bad.Err.find("/Photos/photo.jpg (a name differing only in case is there"),
                      std::string::npos)
                << bad.Err;
            EXPECT_EQ(copied.ReadFile("Photos/Photo.jpg"), "upper");
        }
        if (x.WindowsNames) {
            EXPECT_NE(bad.Err.find("/Photos/what?.txt (name not allowed on this medium"),
                      std::string::npos)
                << bad.Err;
            EXPECT_NE(bad.Err.find("/Photos/ends with dot. (name not allowed on this medium"),
                      std::string::npos)
                << bad.Err;
        }
        if (x.AsciiNames) {
            EXPECT_NE(bad.Err.find(unicode + " (name not allowed on this medium"),
                      std::string::npos)
                << bad.Err;
        }
        if (!x.Links) {
            EXPECT_NE(bad.Err.find("/Photos/link (this medium holds no symbolic links)"),
                      std::string::npos)
                << bad.Err;
        }
    }
}

INSTANTIATE_TEST_SUITE_P(
    Media, MediaMirror,
    ::testing::Values(
        Expect{MediumKind::Fat32, 2, false, true, true, false, true, "times to 2 s"},
        Expect{MediumKind::ExFat, 1, false, true, true, false, false, "times to 1 s"},
        Expect{MediumKind::Ntfs, 1, false, false, false, true, false, "times to 100 ns"},
        Expect{MediumKind::Btrfs, 1, true, false, false, true, false, nullptr},
        Expect{MediumKind::Xfs, 1, true, false, false, true, false, nullptr},
        Expect{MediumKind::Sshfs, 1, true, false, false, true, false, "times to 1 s"}),
    PrintName);

} // namespace
