#include "engine/FileAccess.h"
#include "engine/FileOps.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <random>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::RunAsNobody;
using test::ScriptedPort;
using test::TempTree;

std::string RandomBytes(size_t size, unsigned seed) {
    std::mt19937 rng(seed);
    std::string data(size, '\0');
    for (auto& c : data)
        c = static_cast<char>(rng());
    return data;
}

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

void SetNanoTime(const std::string& path, int64_t sec, long nsec) {
    const timespec times[2] = {{static_cast<time_t>(sec), nsec}, {static_cast<time_t>(sec), nsec}};
    ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW), 0) << path;
}

class FileOpsTest : public ::testing::Test {
protected:
    void SetUp() override {
        SetInitialValues(p);
        p.Name = "ops";
        p.LeftPath = tree.Path("L");
        p.RightPath = tree.Path("R");
        p.MultipleVersions = false;
        p.UseVersionsFolder = false;
        tree.MakeFolder("L");
        tree.MakeFolder("R");
        // Reachable and writable for the unprivileged user of the permission cases.
        tree.SetMode("L", 0777);
        tree.SetMode("R", 0777);
        run.AllocateBuffer(4096);
        p.CopyingWindow = &status;
        port.OpenCopyingStatus(status, false);
        log = std::tmpfile();
        ASSERT_NE(log, nullptr);
        p.LogFile = log;
        p.LoggingOn = true;
    }
    void TearDown() override {
        p.LoggingOn = false;
        p.LogFile = nullptr;
        std::fclose(log);
    }

    std::string L(const std::string& rel) const { return tree.Path("L/" + rel); }
    std::string R(const std::string& rel) const { return tree.Path("R/" + rel); }

    // Copies L/rel to R/rel as the executor does for a copy to the right.
    tExecResult CopyRight(const std::string& rel) {
        const std::string dest = R(rel);
        struct stat st {};
        const int64_t destSize = lstat(dest.c_str(), &st) == 0 ? st.st_size : 0;
        struct stat src {};
        lstat(L(rel).c_str(), &src);
        return CopyOneFile(run, "L->R", SplitPath(rel).Name + SplitPath(rel).Extension, L(rel),
                           dest, SplitPath(dest).Folder, p.RightPath, src.st_size, destSize,
                           versions, folders);
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

    // Items of the right side whose name marks a copy still in progress.
    std::vector<std::string> TempFiles() const {
        std::vector<std::string> out;
        for (const auto& item : tree.List("R")) {
            std::string_view name = item;
            if (auto slash = name.rfind('/', name.size() - 2); slash != std::string_view::npos)
                name = name.substr(slash + 1);
            if (IsCopyTempName(name)) out.push_back(item);
        }
        return out;
    }

    TempTree tree;
    ScriptedPort port;
    tProfile p;
    tRunState run{p};
    tCopyingStatus status;
    std::FILE* log = nullptr;
    int32_t versions = 0, folders = 0;
};

// ---------------------------------------------------------------------------------------------
// Copies

TEST_F(FileOpsTest, CopyCarriesContentsNanosecondTimeAndModeIntoNewFolders) {
    const std::string data = RandomBytes(10000, 1);
    tree.WriteFile("L/sub/deeper/a.bin", data);
    tree.SetMode("L/sub/deeper/a.bin", 0640);
    SetNanoTime(L("sub/deeper/a.bin"), 1500000000, 123456789);

    EXPECT_EQ(CopyRight("sub/deeper/a.bin"), tExecResult::Done);

    EXPECT_EQ(tree.ReadFile("R/sub/deeper/a.bin"), data);
    struct stat st = StatOf(R("sub/deeper/a.bin"));
    EXPECT_EQ(st.st_mtim.tv_sec, 1500000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 123456789);
    EXPECT_EQ(st.st_mode & 07777, 0640u);
    EXPECT_EQ(folders, 2);
    EXPECT_TRUE(TempFiles().empty());
    // Ten thousand bytes through a 4096-byte buffer: three chunks with byte progress.
    EXPECT_TRUE(status.BytesVisible);
    EXPECT_EQ(status.pbBytesMax, 10);
    EXPECT_EQ(status.lbBytes, "9.766 kB of 9.766 kB (100.00%)");
    EXPECT_EQ(status.lbCopying, "Copying a.bin");
    EXPECT_EQ(LogText(), "COPY L->R a.bin\n");
}

TEST_F(FileOpsTest, LargeBufferChunksKeepTheirSizeAndProgress) {
    // 200 000 bytes through a 64 KiB buffer: four chunks, one event each.
    run.AllocateBuffer(65536);
    const std::string data = RandomBytes(200000, 7);
    tree.WriteFile("L/c.bin", data);
    const int eventsBefore = port.Events;
    EXPECT_EQ(CopyRight("c.bin"), tExecResult::Done);
    EXPECT_EQ(port.Events - eventsBefore, 4);
    EXPECT_TRUE(tree.ReadFile("R/c.bin") == data);
    EXPECT_EQ(status.pbBytesPosition, 200);
    // The final display pads (and cuts) both sizes to eight characters.
    EXPECT_EQ(status.lbBytes, "195.312  of 195.312  (100.00%)");
}

TEST_F(FileOpsTest, EmptySourceIsCopiedWithoutTheCopyLoop) {
    tree.WriteFile("L/empty", "", 1400000000);
    tree.SetMode("L/empty", 0600);
    const int eventsBefore = port.Events;
    EXPECT_EQ(CopyRight("empty"), tExecResult::Done);
    EXPECT_EQ(port.Events, eventsBefore);
    EXPECT_FALSE(status.BytesVisible);
    EXPECT_EQ(tree.ReadFile("R/empty"), "");
    EXPECT_EQ(tree.Time("R/empty"), 1400000000);
    EXPECT_EQ(tree.Mode("R/empty"), 0600u);
}

TEST_F(FileOpsTest, OverwriteReplacesTheDestinationOnlyWhenTheNewFileIsComplete) {
    tree.WriteFile("L/a.txt", "new contents");
    tree.WriteFile("R/a.txt", "old");
    // A second name for the old file shows whether it was written in place.
    ASSERT_EQ(link(R("a.txt").c_str(), R("witness").c_str()), 0);
    EXPECT_EQ(CopyRight("a.txt"), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "new contents");
    EXPECT_EQ(tree.ReadFile("R/witness"), "old");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileOpsTest, LinkedSourceIsReadThroughItsTarget) {
    tree.WriteFile("L/target.txt", "through the link", 1500000000);
    tree.MakeLink("L/link.txt", "target.txt");
    EXPECT_EQ(CopyRight("link.txt"), tExecResult::Done);
    EXPECT_FALSE(tree.IsLink("R/link.txt"));
    EXPECT_EQ(tree.ReadFile("R/link.txt"), "through the link");
    EXPECT_EQ(tree.Time("R/link.txt"), 1500000000);
}

TEST_F(FileOpsTest, LongestNameStillFitsBesideItsTemporaryFile) {
    const std::string name(255, 'n');
    tree.WriteFile("L/" + name, "long");
    EXPECT_EQ(CopyRight(name), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/" + name), "long");
}

TEST_F(FileOpsTest, SpecialFilesAreNeverOpened) {
    ASSERT_EQ(mkfifo(L("pipe").c_str(), 0644), 0);
    alarm(20); // a FIFO opened for reading would wait for a writer forever
    EXPECT_EQ(CopyRight("pipe"), tExecResult::None);
    alarm(0);
    EXPECT_FALSE(tree.Exists("R/pipe"));
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LogText(), "COPY L->R pipe * ERROR -1 *\n");
}

TEST_F(FileOpsTest, MissingSourceGivesTheSystemError) {
    tree.WriteFile("R/gone.txt", "keep");
    EXPECT_EQ(CopyRight("gone.txt"), SystemError(ENOENT));
    EXPECT_EQ(tree.ReadFile("R/gone.txt"), "keep");
}

// ---------------------------------------------------------------------------------------------
// Failures leave the old destination as it was

class ShrinkingSourcePort : public ScriptedPort {
public:
    std::string Source;
    int Countdown = 0;
    void ProcessEvents() override {
        ScriptedPort::ProcessEvents();
        if (Countdown > 0 && --Countdown == 0) truncate(Source.c_str(), 100);
    }
};

TEST_F(FileOpsTest, SourceThatShrinksIsAReadErrorAndTheOldDestinationStays) {
    ShrinkingSourcePort shrinking; // installs itself over the fixture's port
    shrinking.OpenCopyingStatus(status, false);
    tree.WriteFile("L/big.bin", RandomBytes(20000, 2));
    tree.WriteFile("R/big.bin", "old");
    shrinking.Source = L("big.bin");
    shrinking.Countdown = 2; // after the first chunk was written
    EXPECT_EQ(CopyRight("big.bin"), tExecResult::CopyFailed);
    EXPECT_EQ(shrinking.CallsStartingWith("Info: "), std::vector<std::string>{"Info: Read error"});
    EXPECT_EQ(tree.ReadFile("R/big.bin"), "old");
    EXPECT_TRUE(TempFiles().empty());
    EXPECT_EQ(LogText(), "COPY L->R big.bin * ERROR 101 *\n");
}

TEST_F(FileOpsTest, UnattendedReadErrorShowsNothing) {
    ShrinkingSourcePort shrinking;
    shrinking.OpenCopyingStatus(status, false);
    p.RunUnattended = true;
    tree.WriteFile("L/big.bin", RandomBytes(20000, 3));
    shrinking.Source = L("big.bin");
    shrinking.Countdown = 2;
    EXPECT_EQ(CopyRight("big.bin"), tExecResult::CopyFailed);
    EXPECT_TRUE(shrinking.Calls.empty());
    EXPECT_FALSE(tree.Exists("R/big.bin"));
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileOpsTest, CancelDuringAMultiChunkCopyKeepsTheOldDestination) {
    run.AllocateBuffer(1024);
    tree.WriteFile("L/big.bin", RandomBytes(64 * 1024, 4));
    tree.WriteFile("R/big.bin", "old");
    port.CancelCopyingAfter = 5;
    EXPECT_EQ(CopyRight("big.bin"), tExecResult::Cancelled);
    EXPECT_EQ(port.Events, 5);
    EXPECT_EQ(tree.ReadFile("R/big.bin"), "old");
    EXPECT_TRUE(TempFiles().empty());
    // The byte display of the fourth and last chunk, shown before it was copied.
    EXPECT_EQ(status.lbBytes, "3.000 kB   of 64.000 kB  (  4.69%)");
    EXPECT_EQ(LogText(), "COPY L->R big.bin * ERROR 217 *\n");
}

TEST_F(FileOpsTest, FirstReadFailureTouchesNothing) {
    // /proc/<pid>/mem is a regular file whose first read (at address 0) fails.
    tree.MakeLink("L/mem", "/proc/self/mem");
    tree.WriteFile("R/mem", "old");
    EXPECT_EQ(CopyRight("mem"), tExecResult::FirstReadFailed);
    EXPECT_EQ(tree.ReadFile("R/mem"), "old");
    EXPECT_TRUE(TempFiles().empty());
}

// A small tmpfs over R for the full-disk cases; skips when the machine does not allow mounts.
class FullDiskTest : public FileOpsTest {
protected:
    void SetUp() override {
        FileOpsTest::SetUp();
        if (mount("tmpfs", p.RightPath.c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0)
            GTEST_SKIP() << "cannot mount a tmpfs here: " << std::strerror(errno);
        mounted = true;
    }
    void TearDown() override {
        if (mounted) umount2(p.RightPath.c_str(), MNT_DETACH);
        FileOpsTest::TearDown();
    }
    bool mounted = false;
};

TEST_F(FullDiskTest, FullDiskFailsTheFileAndKeepsBothSides) {
    const std::string data = RandomBytes(1024 * 1024, 5);
    tree.WriteFile("L/big.bin", data);
    tree.WriteFile("L/small.txt", "fits");
    // Through the buffer only, and with most of each chunk copied inside the kernel.
    for (int32_t bufferSize : {4096, 65536}) {
        SCOPED_TRACE(bufferSize);
        run.AllocateBuffer(bufferSize);
        unlink(R("small.txt").c_str());
        tree.WriteFile("R/big.bin", "old");
        port.Calls.clear();
        port.Questions = {true}; // try again once, then the default No

        EXPECT_EQ(CopyRight("big.bin"), tExecResult::CopyFailed);
        EXPECT_EQ(port.CallsStartingWith("Question: "),
                  (std::vector<std::string>{"Question: Error writing. Try again?",
                                            "Question: Error writing. Try again?"}));
        EXPECT_EQ(tree.ReadFile("R/big.bin"), "old");
        EXPECT_TRUE(tree.ReadFile("L/big.bin") == data);
        EXPECT_TRUE(TempFiles().empty());
        // The space is free again for the next file.
        EXPECT_EQ(CopyRight("small.txt"), tExecResult::Done);
        EXPECT_EQ(tree.ReadFile("R/small.txt"), "fits");
    }
}

TEST_F(FullDiskTest, UnattendedFullDiskAsksNothing) {
    p.RunUnattended = true;
    tree.WriteFile("L/big.bin", RandomBytes(512 * 1024, 6));
    EXPECT_EQ(CopyRight("big.bin"), tExecResult::CopyFailed);
    EXPECT_TRUE(port.Calls.empty());
    EXPECT_FALSE(tree.Exists("R/big.bin"));
    EXPECT_TRUE(TempFiles().empty());
}

// ---------------------------------------------------------------------------------------------
// Permissions (as the unprivileged user: root may write anything)

TEST_F(FileOpsTest, ReadOnlyDestinationIsReplacedOnlyAfterYes) {
    tree.WriteFile("L/a.txt", "new");
    tree.SetMode("L/a.txt", 0644);
    for (int answer : {2, 1, 0}) { // Overwrite, Do not overwrite, cancelled
        SCOPED_TRACE(answer);
        unlink(R("a.txt").c_str());
        tree.WriteFile("R/a.txt", "old"); // owned by root, so nobody may not write it
        tree.SetMode("R/a.txt", 0644);
        port.Choices = {answer};
        int rc = RunAsNobody([&] {
            tExecResult code = CopyRight("a.txt");
            if (port.FileChoices.size() != 1) return 90;
            if (port.FileChoices[0].Message != "Destination File is read-only.") return 91;
            if (port.FileChoices[0].Options[3] != "Overwrite all read-only files") return 92;
            return Code(code) == 101 ? 101 : Code(code);
        });
        if (answer == 2) {
            EXPECT_EQ(rc, 0);
            EXPECT_EQ(tree.ReadFile("R/a.txt"), "new");
        } else {
            EXPECT_EQ(rc, 101);
            EXPECT_EQ(tree.ReadFile("R/a.txt"), "old");
        }
        EXPECT_TRUE(TempFiles().empty());
    }
}

TEST_F(FileOpsTest, UnreadableSourceGivesItsSystemError) {
    tree.WriteFile("L/secret", "x");
    tree.SetMode("L/secret", 0600);
    tree.WriteFile("R/secret", "old");
    int rc = RunAsNobody([&] { return Code(CopyRight("secret")); });
    EXPECT_EQ(rc, EACCES);
    EXPECT_EQ(tree.ReadFile("R/secret"), "old");
}

// A destination the user may write in a folder that takes no new file from them (a shared
// folder, a sticky folder owned by others) is rewritten in place; everything else there stays.
TEST_F(FileOpsTest, WritableFileInAFolderThatTakesNoNewFilesIsWrittenInPlace) {
    tree.WriteFile("L/shared/a.txt", "new contents");
    tree.WriteFile("R/shared/a.txt", "old");
    tree.SetMode("R/shared/a.txt", 0666);
    tree.WriteFile("L/shared/locked.txt", "new");
    tree.WriteFile("R/shared/locked.txt", "not the user's to write");
    tree.SetMode("R/shared/locked.txt", 0644);
    tree.WriteFile("L/shared/b.txt", "fresh");
    tree.WriteFile("L/sticky/c.txt", "new in sticky");
    tree.WriteFile("R/sticky/c.txt", "old");
    tree.SetMode("R/sticky/c.txt", 0666);
    tree.SetMode("R/sticky", 01777);
    int rc = RunAsNobody([&] {
        if (CopyRight("shared/a.txt") != tExecResult::Done) return 1;
        // Read-only rules first: the question is cancelled, which declines it.
        if (CopyRight("shared/locked.txt") != tExecResult::CopyFailed) return 2;
        // No file to write in place: nothing can be done.
        if (CopyRight("shared/b.txt") != tExecResult::CopyFailed) return 3;
        if (CopyRight("sticky/c.txt") != tExecResult::Done) return 4;
        p.MultipleVersions = true; // an old version could not be kept there
        if (CopyRight("shared/a.txt") != tExecResult::CopyFailed) return 5;
        const std::string log = LogText();
        if (log.find("IN PLACE " + R("shared/a.txt") + " ") == std::string::npos) return 6;
        if (log.find("IN PLACE " + R("sticky/c.txt") + " ") == std::string::npos) return 7;
        if (log.find("IN PLACE " + R("shared/locked.txt")) != std::string::npos) return 8;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_EQ(tree.ReadFile("R/shared/a.txt"), "new contents");
    EXPECT_EQ(tree.ReadFile("R/shared/locked.txt"), "not the user's to write");
    EXPECT_FALSE(tree.Exists("R/shared/b.txt"));
    EXPECT_EQ(tree.ReadFile("R/sticky/c.txt"), "new in sticky");
    EXPECT_TRUE(TempFiles().empty());
}

// A ProcessEvents hook changes the source after the first chunk was written.
TEST_F(FileOpsTest, SourceChangedDuringItsCopyIsNotUsed) {
    const std::string data = RandomBytes(20000, 7);
    for (int variant = 0; variant < 2; ++variant) {
        tree.WriteFile("L/live.bin", data, 1600000000);
        tree.WriteFile("R/live.bin", "old");
        int calls = 0;
        port.OnEvents = [&](int) {
            if (++calls != 2) return;
            const int fd = open(L("live.bin").c_str(), O_WRONLY | (variant == 0 ? O_APPEND : 0));
            ASSERT_GE(fd, 0);
            // Grown, or the same size with one byte rewritten (a new modification time).
            if (variant == 0)
                ASSERT_EQ(write(fd, "more", 4), 4);
            else
                ASSERT_EQ(pwrite(fd, "x", 1, 100), 1);
            close(fd);
        };
        EXPECT_EQ(CopyRight("live.bin"), tExecResult::SourceChanged) << variant;
        EXPECT_EQ(tree.ReadFile("R/live.bin"), "old") << variant;
        EXPECT_TRUE(TempFiles().empty()) << variant;
    }
    port.OnEvents = nullptr;
    EXPECT_EQ(CopyRight("live.bin"), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/live.bin"), tree.ReadFile("L/live.bin"));
}

TEST_F(FileOpsTest, SparseFileKeepsItsHoles) {
    constexpr off_t kSize = 64 << 20;
    tree.WriteFile("L/sparse.img", "");
    {
        const int fd = open(L("sparse.img").c_str(), O_WRONLY);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(ftruncate(fd, kSize), 0);
        ASSERT_EQ(pwrite(fd, "head", 4, 0), 4);
        ASSERT_EQ(pwrite(fd, "middle", 6, kSize / 2 + 12345), 6);
        ASSERT_EQ(pwrite(fd, "tail", 4, kSize - 4 - (1 << 20)), 4); // a hole at the end too
        close(fd);
    }
    if (StatOf(L("sparse.img")).st_blocks * 512 > (1 << 20))
        GTEST_SKIP() << "this file system stores no holes";
    run.AllocateBuffer(1 << 20);
    ASSERT_EQ(CopyRight("sparse.img"), tExecResult::Done);
    const struct stat copy = StatOf(R("sparse.img"));
    EXPECT_EQ(copy.st_size, kSize);
    EXPECT_LT(copy.st_blocks * 512, 1 << 20);
    EXPECT_EQ(tree.ReadFile("R/sparse.img"), tree.ReadFile("L/sparse.img"));
}

// ---------------------------------------------------------------------------------------------
// Old versions

TEST_F(FileOpsTest, VersionNamesFollowTheVersionsSettings) {
    EXPECT_EQ(VersionName(p, "/r/sub/a.tar.gz", "/r", 2), "/r/sub/a.tar.$2$.gz");
    EXPECT_EQ(VersionName(p, "/r/.profile", "/r", 1), "/r/.$1$.profile");
    EXPECT_EQ(VersionName(p, "/r/README", "/r", 1), "/r/README.$1$");
    p.UseVersionsFolder = true;
    p.VersionsFolder = "Older";
    p.OlderSubfolder = true;
    EXPECT_EQ(VersionName(p, "/r/sub/a.txt", "/r", 3), "/r/sub/Older/a.$3$.txt");
    p.OlderSubfolder = false;
    EXPECT_EQ(VersionName(p, "/r/sub/a.txt", "/r/", 3), "/r/Older/a.$3$.txt");
    EXPECT_TRUE(IsVersionFileName(SplitPath(VersionName(p, "/r/a.txt", "/r", 12)).Name + ".txt"));
}

TEST_F(FileOpsTest, VersionChainKeepsMaxVersionsNewestFirst) {
    p.MultipleVersions = true;
    p.MaxVersions = 3;
    tree.WriteFile("R/a.txt", "v0");
    for (int i = 1; i <= 3; ++i) {
        tree.WriteFile("L/a.txt", "v" + std::to_string(i));
        ASSERT_EQ(CopyRight("a.txt"), tExecResult::Done);
    }
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "v3");
    EXPECT_EQ(tree.ReadFile("R/a.$1$.txt"), "v2");
    EXPECT_EQ(tree.ReadFile("R/a.$2$.txt"), "v1");
    EXPECT_EQ(tree.ReadFile("R/a.$3$.txt"), "v0");

    tree.WriteFile("L/a.txt", "v4");
    ASSERT_EQ(CopyRight("a.txt"), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "v4");
    EXPECT_EQ(tree.ReadFile("R/a.$1$.txt"), "v3");
    EXPECT_EQ(tree.ReadFile("R/a.$2$.txt"), "v2");
    EXPECT_EQ(tree.ReadFile("R/a.$3$.txt"), "v1");
    EXPECT_EQ(tree.List("R"),
              (std::vector<std::string>{"a.$1$.txt", "a.$2$.txt", "a.$3$.txt", "a.txt"}));
    EXPECT_EQ(versions, 4);
}

TEST_F(FileOpsTest, VersionsGoIntoASubfolderOfEachFolder) {
    p.MultipleVersions = true;
    p.MaxVersions = 2;
    p.UseVersionsFolder = true;
    p.OlderSubfolder = true;
    p.VersionsFolder = "Older";
    tree.WriteFile("L/sub/a.txt", "new");
    tree.WriteFile("R/sub/a.txt", "old");
    EXPECT_EQ(CopyRight("sub/a.txt"), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/sub/a.txt"), "new");
    EXPECT_EQ(tree.ReadFile("R/sub/Older/a.$1$.txt"), "old");
    EXPECT_EQ(folders, 1);
    EXPECT_EQ(versions, 1);
}

TEST_F(FileOpsTest, VersionsOfAllFoldersShareOneFolderAtTheBase) {
    p.MultipleVersions = true;
    p.MaxVersions = 2;
    p.UseVersionsFolder = true;
    p.OlderSubfolder = false;
    p.VersionsFolder = "Older";
    tree.MakeFolder("R/Older"); // made at the start of an execution
    tree.WriteFile("L/x/a.txt", "x new");
    tree.WriteFile("R/x/a.txt", "x old");
    tree.WriteFile("L/y/a.txt", "y new");
    tree.WriteFile("R/y/a.txt", "y old");
    EXPECT_EQ(CopyRight("x/a.txt"), tExecResult::Done);
    EXPECT_EQ(CopyRight("y/a.txt"), tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("R/Older/a.$1$.txt"), "y old");
    EXPECT_EQ(tree.ReadFile("R/Older/a.$2$.txt"), "x old");
}

TEST_F(FileOpsTest, CopyFailsRatherThanLoseTheOldVersion) {
    // Versions wanted in a base folder that does not exist: the old file cannot become a
    // version, so it must not be replaced either.
    p.MultipleVersions = true;
    p.UseVersionsFolder = true;
    p.OlderSubfolder = false;
    p.VersionsFolder = "Missing";
    tree.WriteFile("L/a.txt", "new");
    tree.WriteFile("R/a.txt", "old");
    EXPECT_EQ(CopyRight("a.txt"), tExecResult::CopyFailed);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "old");
    EXPECT_TRUE(TempFiles().empty());
}

// ---------------------------------------------------------------------------------------------
// Deletions and moves

TEST_F(FileOpsTest, DeleteWithAndWithoutVersions) {
    tree.WriteFile("R/a.txt", "a");
    tree.WriteFile("R/b.txt", "b");
    int32_t deleted = 0;
    EXPECT_EQ(DeleteOneFile(p, R("a.txt"), p.RightPath, true, deleted, versions, folders),
              tExecResult::Done);
    EXPECT_FALSE(tree.Exists("R/a.txt"));
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(status.lbCopying, "Deleting " + R("a.txt"));

    p.MultipleVersions = true;
    p.MaxVersions = 2;
    EXPECT_EQ(DeleteOneFile(p, R("b.txt"), p.RightPath, true, deleted, versions, folders),
              tExecResult::Done);
    EXPECT_EQ(deleted, 1);
    EXPECT_EQ(versions, 1);
    EXPECT_EQ(tree.ReadFile("R/b.$1$.txt"), "b");
    EXPECT_FALSE(tree.Exists("R/b.txt"));

    EXPECT_EQ(DeleteOneFile(p, R("none.txt"), p.RightPath, true, deleted, versions, folders),
              tExecResult::Declined);
    EXPECT_EQ(LogText(), "DELETE " + R("a.txt") + "\nDELETE " + R("b.txt") + "\nDELETE " +
                             R("none.txt") + " * ERROR 5 *\n");
}

TEST_F(FileOpsTest, ImmediateDeleteKeepsNoVersionAndWritesNoLog) {
    p.MultipleVersions = true;
    tree.WriteFile("R/a.txt", "a");
    int32_t deleted = 0;
    EXPECT_EQ(DeleteOneFile(p, R("a.txt"), p.RightPath, false, deleted, versions, folders),
              tExecResult::Done);
    EXPECT_EQ(tree.List("R"), std::vector<std::string>{});
    EXPECT_EQ(LogText(), "");
}

TEST_F(FileOpsTest, DeletionThatCannotKeepItsVersionKeepsTheFile) {
    p.MultipleVersions = true;
    p.UseVersionsFolder = true;
    p.OlderSubfolder = false;
    p.VersionsFolder = "Missing";
    tree.WriteFile("R/a.txt", "a");
    int32_t deleted = 0;
    EXPECT_EQ(DeleteOneFile(p, R("a.txt"), p.RightPath, true, deleted, versions, folders),
              tExecResult::Declined);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "a");
}

TEST_F(FileOpsTest, DeleteInAFolderTheUserMayNotWriteIsDeclined) {
    tree.WriteFile("R/locked/a.txt", "a");
    int rc = RunAsNobody([&] {
        int32_t deleted = 0;
        return Code(
            DeleteOneFile(p, R("locked/a.txt"), p.RightPath, true, deleted, versions, folders));
    });
    EXPECT_EQ(rc, 5);
    EXPECT_TRUE(tree.Exists("R/locked/a.txt"));
}

TEST_F(FileOpsTest, MoveNeverReplacesAnExistingFile) {
    tree.WriteFile("R/old/a.txt", "moving");
    tree.WriteFile("R/new/a.txt", "already there");
    EXPECT_EQ(MoveOneFile(p, "R", "a.txt", R("old/a.txt"), R("new/a.txt"), R("new"), folders),
              tExecResult::MoveTargetExists);
    EXPECT_EQ(tree.ReadFile("R/old/a.txt"), "moving");
    EXPECT_EQ(tree.ReadFile("R/new/a.txt"), "already there");
    EXPECT_EQ(LogText(), "MOVE on R a.txt to " + R("new") + " * ERROR 9 *\n");
}

TEST_F(FileOpsTest, MoveMakesTheMissingFolder) {
    tree.WriteFile("L/old/a.txt", "moving", 1500000000);
    EXPECT_EQ(MoveOneFile(p, "L", "a.txt", L("old/a.txt"), L("x/y/a.txt"), L("x/y"), folders),
              tExecResult::Done);
    EXPECT_EQ(tree.ReadFile("L/x/y/a.txt"), "moving");
    EXPECT_EQ(tree.Time("L/x/y/a.txt"), 1500000000);
    EXPECT_FALSE(tree.Exists("L/old/a.txt"));
    EXPECT_EQ(folders, 2);
    EXPECT_EQ(status.lbCopying, "Moving a.txt");
    EXPECT_EQ(LogText(), "MOVE on L a.txt to " + L("x/y") + "\n");
}

// ---------------------------------------------------------------------------------------------
// Links

TEST_F(FileOpsTest, LinksAreCopiedAsLinksWithTheirOwnTime) {
    tree.WriteFile("L/target.txt", "t");
    tree.MakeLink("L/sub/link", "../target.txt");
    SetNanoTime(L("sub/link"), 1300000000, 5000);
    tree.WriteFile("R/sub/link", "a plain file in the way");

    EXPECT_EQ(CopySymlink(p, L("sub/link"), R("sub/link"), R("sub"), p.RightPath, true, versions,
                          folders),
              tExecResult::Done);
    ASSERT_TRUE(tree.IsLink("R/sub/link"));
    char target[4096];
    ssize_t n = readlink(R("sub/link").c_str(), target, sizeof target);
    ASSERT_GT(n, 0);
    EXPECT_EQ(std::string(target, static_cast<size_t>(n)), CanonicalPath(L("target.txt")));
    struct stat st = StatOf(R("sub/link"));
    EXPECT_EQ(st.st_mtim.tv_sec, 1300000000);
    EXPECT_EQ(st.st_mtim.tv_nsec, 5000);
    EXPECT_EQ(LogText(), "DELETE " + R("sub/link") + "\n");
    EXPECT_TRUE(TempFiles().empty());
}

TEST_F(FileOpsTest, LinkIntoAMissingFolderMakesIt) {
    tree.WriteFile("L/t.txt", "t");
    tree.MakeLink("L/a/b/link", "../../t.txt");
    EXPECT_EQ(CopySymlink(p, L("a/b/link"), R("a/b/link"), R("a/b"), p.RightPath, false, versions,
                          folders),
              tExecResult::Done);
    EXPECT_TRUE(tree.IsLink("R/a/b/link"));
    EXPECT_EQ(folders, 2);
}

TEST_F(FileOpsTest, DanglingLinkFailsAndLeavesTheDestination) {
    tree.MakeLink("L/dangling", "nowhere");
    tree.WriteFile("R/dangling", "keep");
    EXPECT_EQ(CopySymlink(p, L("dangling"), R("dangling"), p.RightPath, p.RightPath, true, versions,
                          folders),
              SystemError(ENOENT));
    EXPECT_EQ(tree.ReadFile("R/dangling"), "keep");
    EXPECT_TRUE(TempFiles().empty());
}

// ---------------------------------------------------------------------------------------------
// Questions

TEST_F(FileOpsTest, QuestionShowsKindChoicesAndFileDetails) {
    port.Choices = {2};
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Larger, "/l/a", "/r/a", 1500000000, 1600000000,
                            2048, 1024),
              tExecResult::Done);
    ASSERT_EQ(port.FileChoices.size(), 1u);
    const tFileChoice& c = port.FileChoices[0];
    EXPECT_EQ(c.Message, "Destination File is larger.");
    EXPECT_EQ(c.Options, (std::vector<std::string>{
                             "Do not overwrite this file", "Overwrite this file",
                             "Do not overwrite any larger files", "Overwrite all larger files"}));
    EXPECT_EQ(c.Preselected, 1);
    EXPECT_EQ(c.SourceName, "/l/a");
    EXPECT_EQ(c.SourceSize, "1.000 kB");
    EXPECT_EQ(c.SourceDate, DateText(1500000000));
    EXPECT_EQ(c.DestName, "/r/a");
    EXPECT_EQ(c.DestSize, "2.000 kB");
    EXPECT_EQ(c.DestDate, DateText(1600000000));

    port.Choices = {1};
    EXPECT_EQ(
        ConfirmAction(run, tQuestionKind::ToBeDeleted, "", "/r/b", 1600000000, 1600000000, 10, 0),
        tExecResult::Declined);
    const tFileChoice& d = port.FileChoices[1];
    EXPECT_EQ(d.Message, "Destination File is to be deleted.");
    EXPECT_EQ(d.Options,
              (std::vector<std::string>{
                  "Do not delete this file", "Delete this file", "Do not delete any files",
                  "Delete all unneeded files (so that mirror matches model)"}));
    EXPECT_EQ(d.SourceName, "");
    EXPECT_EQ(d.SourceSize, "");
    EXPECT_EQ(d.SourceDate, "");

    // Nothing chosen: the question was cancelled.
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Newer, "/l/a", "/r/a", 0, 0, 0, 0),
              tExecResult::Cancelled);
}

TEST_F(FileOpsTest, AnswersForAllFilesHoldForTheirKindOnly) {
    port.Choices = {4, 3, 2};
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Newer, "/l/a", "/r/a", 0, 1, 0, 0),
              tExecResult::Done);
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Newer, "/l/b", "/r/b", 0, 1, 0, 0),
              tExecResult::Done);
    // The larger question is still asked: "do not overwrite any larger files".
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Larger, "/l/c", "/r/c", 0, 0, 2, 1),
              tExecResult::Declined);
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::Larger, "/l/d", "/r/d", 0, 0, 2, 1),
              tExecResult::Declined);
    // And the read-only question is asked as well.
    EXPECT_EQ(ConfirmAction(run, tQuestionKind::ReadOnly, "/l/e", "/r/e", 0, 0, 2, 1),
              tExecResult::Done);
    EXPECT_EQ(port.FileChoices.size(), 3u);
    EXPECT_EQ(port.FileChoices[2].Message, "Destination File is read-only.");
}

} // namespace
} // namespace corvane
