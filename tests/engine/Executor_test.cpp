// The executor on real trees: plans are built by scanning both trees with the planner passes,
// carried out with a scripted UI port, and the trees, results and windows are checked.
#include "engine/Analysis.h"
#include "engine/ExecutionStep.h"
#include "engine/Executor.h"
#include "engine/FileAccess.h"
#include "engine/Planner.h"
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <fcntl.h>
#include <string>
#include <sys/mount.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::RunAsNobody;
using test::ScriptedPort;
using test::TempTree;

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

struct stat StatOf(const std::string& path) {
    struct stat st {};
    EXPECT_EQ(lstat(path.c_str(), &st), 0) << path;
    return st;
}

class ExecutorTest : public ::testing::Test {
protected:
    void SetUp() override {
        RunSettings() = tMainSettings{};
        SetInitialValues(p);
        p.Name = "exec";
        p.LeftPath = tree.Path("L");
        p.RightPath = tree.Path("R");
        p.MultipleVersions = false;
        p.UseVersionsFolder = false;
        p.Wait = false;
        tree.MakeFolder("L");
        tree.MakeFolder("R");
        tree.SetMode("L", 0777);
        tree.SetMode("R", 0777);
    }
    void TearDown() override {
        if (log) std::fclose(log);
    }

    // Scans both trees and plans them as the analysis step does, with the status window's
    // filter defaults for the profile's directions.
    void Plan() {
        p.Entries.clear();
        SetFilterDefaults(p);
        ASSERT_TRUE(AnalyzeProfile(p));
    }

    TFileListEntry& EntryNamed(const std::string& name) {
        for (auto& e : p.Entries)
            if (e.Name() == name) return e;
        ADD_FAILURE() << "no entry " << name;
        return p.Entries.front();
    }

    void StartLog() {
        log = std::tmpfile();
        ASSERT_NE(log, nullptr);
        p.LogFile = log;
        p.LoggingOn = true;
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

    TempTree tree;
    ScriptedPort port;
    tProfile p;
    std::FILE* log = nullptr;
};

// ---------------------------------------------------------------------------------------------
// Copies

TEST_F(ExecutorTest, CopiesBothWaysWithContentsTimesAndModes) {
    tree.WriteFile("L/a.txt", "left a", kOld);
    tree.SetMode("L/a.txt", 0640);
    const timespec ns[2] = {{kOld, 987654321}, {kOld, 987654321}};
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("L/a.txt").c_str(), ns, 0), 0);
    tree.WriteFile("L/sub/b.txt", "left b", kOld);
    tree.WriteFile("R/c.txt", "right c", kNew);
    tree.SetMode("R/c.txt", 0600);
    tree.WriteFile("R/deep/er/d.txt", "right d", kNew);
    tree.WriteFile("L/same.txt", "equal", kOld);
    tree.WriteFile("R/same.txt", "equal", kOld);
    StartLog();
    Plan();
    ExecutePlan(p);

    EXPECT_EQ(tree.ReadFile("R/a.txt"), "left a");
    struct stat a = StatOf(tree.Path("R/a.txt"));
    EXPECT_EQ(a.st_mtim.tv_sec, kOld);
    EXPECT_EQ(a.st_mtim.tv_nsec, 987654321);
    EXPECT_EQ(a.st_mode & 07777, 0640u);
    EXPECT_EQ(tree.ReadFile("R/sub/b.txt"), "left b");
    EXPECT_EQ(tree.ReadFile("L/c.txt"), "right c");
    EXPECT_EQ(tree.Time("L/c.txt"), kNew);
    EXPECT_EQ(tree.Mode("L/c.txt"), 0600u);
    EXPECT_EQ(tree.ReadFile("L/deep/er/d.txt"), "right d");
    EXPECT_EQ(tree.List("L"), tree.List("R"));

    EXPECT_EQ(p.LastRunResult, "4 copied");
    EXPECT_TRUE(p.ResultList.empty());
    EXPECT_EQ(p.FailedCount, 0);
    for (const auto& e : p.Entries) {
        if (!e.LeftIsFolder && e.Name() != "same.txt") {
            EXPECT_EQ(e.Action, tAction::actLeaveAlone) << e.Name();
        }
    }
    EXPECT_EQ(p.CopyingWindow, nullptr);
    EXPECT_EQ(port.Copying, nullptr);

    ASSERT_EQ(port.Results.size(), 1u);
    const tCopyingResult& r = port.Results[0];
    EXPECT_EQ(r.lbAddedR, "2 (0.0kB)");
    EXPECT_EQ(r.lbAddedL, "2 (0.0kB)");
    EXPECT_EQ(r.lbFoldersCreatedR, "1");
    EXPECT_EQ(r.lbFoldersCreatedL, "2");
    EXPECT_EQ(r.lbMovedL, "");
    EXPECT_FALSE(r.lbDeletedVisible);
    EXPECT_FALSE(r.lbRenamedVisible);
    EXPECT_FALSE(r.lbFoldersRemovedVisible);
    EXPECT_TRUE(r.RichEdit1.empty());

    const std::string text = LogText();
    EXPECT_NE(text.find("COPY L->R a.txt\n"), std::string::npos) << text;
    EXPECT_NE(text.find("COPY L<-R d.txt\n"), std::string::npos) << text;
}

// A first backup with work of every kind in between: new files in nested folders (some of
// several chunks, an empty one, one with an extended attribute, a mode of its own, two names
// of one file), a FIFO, a file replaced, one deleted, one the medium must not take twice.
// Carried out with four copy workers it gives what one file at a time gives: the same trees
// to the byte, times and modes, the same hard link, the same log lines in the same order, the
// same result.
TEST_F(ExecutorTest, FourCopyWorkersGiveWhatOneFileAtATimeGives) {
    RunSettings().BufSizeKB = 4;
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.RunUnattended = true;
    p.UA_DeleteFiles = true;
    p.UA_OverwriteNewer = true;
    p.RecycleDeletedFiles = false;
    RunSettings().DeleteLimit = 100;
    for (int folder = 0; folder < 12; ++folder)
        for (int file = 0; file < 25; ++file) {
            const std::string name = "L/photos/" + std::to_string(2000 + folder) + "/sub" +
                                     std::to_string(file % 3) + "/img" + std::to_string(file) +
                                     ".jpg";
            const std::size_t size = file % 7 == 0 ? 40000 + file * 1000 : 100 + file * 37;
            std::string data(size, '\0');
            for (std::size_t i = 0; i < size; ++i)
                data[i] = static_cast<char>((i * 131 + folder * 7 + file) % 251);
            tree.WriteFile(name, data, kOld + folder * 100 + file);
        }
    tree.WriteFile("L/photos/empty.txt", "", kOld);
    tree.WriteFile("L/photos/private.txt", "mine", kOld);
    tree.SetMode("L/photos/private.txt", 0600);
    tree.WriteFile("L/photos/tagged.txt", "tagged", kOld);
    const bool tagged =
        setxattr(tree.Path("L/photos/tagged.txt").c_str(), "user.tag", "red", 3, 0) == 0;
    tree.WriteFile("L/photos/one.bin", std::string(20000, 'o'), kOld);
    ASSERT_EQ(link(tree.Path("L/photos/one.bin").c_str(), tree.Path("L/photos/two.bin").c_str()),
              0);
    ASSERT_EQ(mkfifo(tree.Path("L/photos/pipe").c_str(), 0600), 0);
    tree.WriteFile("L/photos/2005/replaced.txt", "new text", kNew);

    const auto startRight = [&] {
        ASSERT_EQ(std::system(("rm -rf '" + tree.Path("R") + "'").c_str()), 0);
        tree.MakeFolder("R");
        tree.WriteFile("R/photos/2005/replaced.txt", "old", kOld);
        tree.WriteFile("R/photos/2003/gone.txt", "deleted by the mirror", kOld);
    };
    struct tOutcome {
        std::vector<std::string> Files, LogLines, ResultList;
        std::string Result;
    };
    const auto runWith = [&](int workers) {
        startRight();
        RunSettings().CopyWorkers = workers;
        if (log) std::fclose(log);
        StartLog();
        Plan();
        ExecutePlan(p);
        tOutcome out;
        out.Result = p.LastRunResult;
        out.ResultList = p.ResultList;
        for (const std::string& rel : tree.List("R")) {
            struct stat st = StatOf(tree.Path("R/" + rel));
            std::string line = rel + " " + std::to_string(st.st_mode) + " " +
                               std::to_string(st.st_mtim.tv_sec) + "." +
                               std::to_string(st.st_mtim.tv_nsec);
            if (S_ISREG(st.st_mode))
                line += " " + std::to_string(st.st_nlink) + " " + tree.ReadFile("R/" + rel);
            out.Files.push_back(line);
        }
        const std::string text = LogText();
        std::size_t at = 0;
        while (at < text.size()) {
            const std::size_t end = text.find('\n', at);
            const std::string line = text.substr(at, end - at);
            for (const char* word : {"COPY ", "MOVE ", "DELETE "})
                if (line.rfind(word, 0) == 0) out.LogLines.push_back(line);
            at = end == std::string::npos ? text.size() : end + 1;
        }
        return out;
    };

    const tOutcome serial = runWith(1);
    EXPECT_EQ(serial.Result, "306 copied, 1 deleted, 1 failed");
    EXPECT_EQ(serial.ResultList, std::vector<std::string>{"/photos/pipe (error -1)"});
    EXPECT_EQ(StatOf(tree.Path("R/photos/one.bin")).st_ino,
              StatOf(tree.Path("R/photos/two.bin")).st_ino);
    const tOutcome parallel = runWith(4);
    EXPECT_EQ(parallel.Result, serial.Result);
    EXPECT_EQ(parallel.ResultList, serial.ResultList);
    EXPECT_EQ(parallel.LogLines, serial.LogLines);
    ASSERT_EQ(parallel.Files.size(), serial.Files.size());
    for (std::size_t i = 0; i < serial.Files.size(); ++i)
        EXPECT_TRUE(parallel.Files[i] == serial.Files[i]) << serial.Files[i].substr(0, 80);
    EXPECT_EQ(StatOf(tree.Path("R/photos/one.bin")).st_ino,
              StatOf(tree.Path("R/photos/two.bin")).st_ino);
    if (tagged) {
        char value[8] = {};
        EXPECT_EQ(getxattr(tree.Path("R/photos/tagged.txt").c_str(), "user.tag", value, 8), 3);
        EXPECT_STREQ(value, "red");
    }
    EXPECT_EQ(StatOf(tree.Path("R/photos/private.txt")).st_mode & 07777, 0600u);
    // Nothing is left beside the copies, and the next run has nothing to do.
    for (const std::string& line : parallel.Files)
        EXPECT_EQ(line.find(".crvtmp-"), std::string::npos) << line.substr(0, 80);
    Plan();
    EXPECT_EQ(p.Stats.AffectedCount, 1); // the FIFO
}

TEST_F(ExecutorTest, BufferFollowsTheSettingAndTheLargestCopy) {
    // One file at a time: the events counted are those of the copy itself.
    RunSettings().CopyWorkers = 1;
    tree.WriteFile("L/f.bin", std::string(10000, 'x'), kOld);
    // 64 kB wanted, largest copy 10 000 bytes: one chunk of 10 000 bytes.
    RunSettings().BufSizeKB = 64;
    Plan();
    port.Events = 0;
    ExecutePlan(p);
    EXPECT_EQ(port.Events, 4 + 1 + 1);

    // 0 kB counts as 1 kB: ten chunks.
    tree.WriteFile("L/f.bin", std::string(10000, 'y'), kNew);
    RunSettings().BufSizeKB = 0;
    Plan();
    port.Events = 0;
    ExecutePlan(p);
    EXPECT_EQ(port.Events, 4 + 10 + 1);
    EXPECT_EQ(RunSettings().BufSizeKB, 1);
    EXPECT_TRUE(tree.ReadFile("R/f.bin") == std::string(10000, 'y'));
}

TEST_F(ExecutorTest, SymbolicLinksAreCopiedAsLinks) {
    p.SymLinks = 1;
    tree.WriteFile("L/t.txt", "target");
    tree.MakeLink("L/link", "t.txt");
    Plan();
    ExecutePlan(p);
    ASSERT_TRUE(tree.IsLink("R/link"));
    EXPECT_EQ(CanonicalPath(tree.Path("R/link")), CanonicalPath(tree.Path("L/t.txt")));
    EXPECT_EQ(p.LastRunResult, "2 copied");
}

TEST_F(ExecutorTest, MovedLinksAreReportedOnce) {
    p.SymLinks = 1;
    tree.MakeLink("L/one", "/");
    tree.MakeLink("L/two", "/");
    Plan();
    for (const char* name : {"one", "two"}) {
        TFileListEntry& e = EntryNamed(name);
        e.Action = tAction::actMove; // as chosen in the review
        e.SetMovedPath("/elsewhere");
    }
    ExecutePlan(p);
    EXPECT_EQ(port.CallsStartingWith("Info: "),
              std::vector<std::string>{"Info: Moving symlinks is not supported yet."});
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/one (error -1)", "/two (error -1)"}));
    EXPECT_EQ(EntryNamed("one").Action, tAction::actSkipped);
    EXPECT_EQ(EntryNamed("one").ExecResult, -1);
    EXPECT_EQ(p.LastRunResult, "0 copied, 2 failed");
    EXPECT_TRUE(tree.IsLink("L/one"));
}

TEST_F(ExecutorTest, SpecialFileInThePlanDoesNotStopTheRun) {
    ASSERT_EQ(mkfifo(tree.Path("L/pipe").c_str(), 0644), 0);
    tree.WriteFile("L/z.txt", "after the pipe");
    Plan();
    TFileListEntry& pipe = EntryNamed("pipe");
    pipe.Action = tAction::actCopyToRight; // whatever the plan said, it must not hang
    pipe.Shown = true;
    alarm(20);
    ExecutePlan(p);
    alarm(0);
    EXPECT_FALSE(tree.Exists("R/pipe"));
    EXPECT_EQ(tree.ReadFile("R/z.txt"), "after the pipe");
    EXPECT_EQ(p.ResultList, std::vector<std::string>{"/pipe (error -1)"});
    EXPECT_EQ(p.LastRunResult, "1 copied, 1 failed");
}

TEST_F(ExecutorTest, OnlyOwnLeftoversOnTheWrittenSideAreRemovedAndLogged) {
    const std::string own = ".crvtmp-00ff00ff00ff00ff";
    const std::string other = ".crvtmp-a1b2c3d4e5f60718";
    p.HiddenFiles = true;
    p.RightToLeft = false;
    RunSettings().Logging = 2;
    RunSettings().LogFolder = tree.Path("logs");
    tree.WriteFile("R/sub/" + own, "half a copy");
    tree.WriteFile("L/" + other, "on the model side");
    tree.WriteFile("L/.crvtmp-notes.txt", "the user's notes");
    tree.WriteFile("R/.crvtmp-draft", "the user's draft");
    tree.WriteFile("L/sub/a.txt", "a");
    Plan();
    ASSERT_TRUE(ExecuteWithLog(p));

    EXPECT_EQ(tree.List("R"), (std::vector<std::string>{".crvtmp-draft", ".crvtmp-notes.txt",
                                                        "sub/", "sub/a.txt"}));
    EXPECT_EQ(tree.ReadFile("R/.crvtmp-notes.txt"), "the user's notes");
    EXPECT_EQ(tree.ReadFile("L/.crvtmp-notes.txt"), "the user's notes");
    EXPECT_EQ(tree.ReadFile("L/" + other), "on the model side");
    EXPECT_EQ(p.LastRunResult, "2 copied");
    const std::string log = tree.ReadFile("logs/exec.log");
    EXPECT_NE(log.find("DELETE LEFTOVER " + tree.Path("R/sub/" + own) + "\n"), std::string::npos)
        << log;
    EXPECT_EQ(log.find(other), std::string::npos) << log;

    // The next run has nothing to copy; a leftover that appeared meanwhile still goes.
    tree.WriteFile("R/" + own, "another half copy");
    Plan();
    ASSERT_EQ(p.Stats.AffectedCount, 0);
    ASSERT_TRUE(ExecuteWithLog(p));
    EXPECT_FALSE(tree.Exists("R/" + own));
    EXPECT_TRUE(tree.Exists("L/" + other));
    EXPECT_NE(tree.ReadFile("logs/exec.log").find("DELETE LEFTOVER " + tree.Path("R/" + own)),
              std::string::npos);
}

// ---------------------------------------------------------------------------------------------
// Questions

class MirrorQuestions : public ExecutorTest {
protected:
    // An exact mirror to the right onto four files that are newer on the right; larger ones
    // where named.
    void Prepare(const std::vector<std::string>& larger) {
        p.RightToLeft = false;
        p.ExactMirror = true;
        for (std::string name : {"a", "b", "c", "d"}) {
            const bool big = std::find(larger.begin(), larger.end(), name) != larger.end();
            tree.WriteFile("L/" + name + ".txt", "model " + name, kOld);
            tree.WriteFile("R/" + name + ".txt", big ? "a larger copy of " + name : "newer " + name,
                           kNew);
        }
        Plan();
    }
    std::vector<std::string> Messages() const {
        std::vector<std::string> out;
        for (const auto& c : port.FileChoices)
            out.push_back(c.Message + " " + c.DestName);
        return out;
    }
    std::string R(const std::string& name) const { return tree.Path("R/" + name); }
};

TEST_F(MirrorQuestions, NewerQuestionWithEachAnswer) {
    Prepare({});
    port.Choices = {1, 2, 4}; // skip a, overwrite b, overwrite all newer (c and d)
    ExecutePlan(p);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Destination File is newer. " + R("a.txt"),
                                                    "Destination File is newer. " + R("b.txt"),
                                                    "Destination File is newer. " + R("c.txt")}));
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "newer a");
    EXPECT_EQ(tree.ReadFile("R/b.txt"), "model b");
    EXPECT_EQ(tree.ReadFile("R/c.txt"), "model c");
    EXPECT_EQ(tree.ReadFile("R/d.txt"), "model d");
    EXPECT_EQ(p.ResultList, std::vector<std::string>{"/a.txt (error 5)"});
    EXPECT_EQ(EntryNamed("a.txt").Action, tAction::actSkipped);
    EXPECT_EQ(EntryNamed("a.txt").ExecResult, 5);
    EXPECT_EQ(p.LastRunResult, "3 copied, 1 failed");
    ASSERT_EQ(port.Results.size(), 1u);
    EXPECT_EQ(port.Results[0].RichEdit1, p.ResultList);
}

TEST_F(MirrorQuestions, DoNotOverwriteAnyNewerFiles) {
    Prepare({});
    port.Choices = {3};
    ExecutePlan(p);
    EXPECT_EQ(port.FileChoices.size(), 1u);
    for (std::string name : {"a", "b", "c", "d"})
        EXPECT_EQ(tree.ReadFile("R/" + name + ".txt"), "newer " + name);
    EXPECT_EQ(p.LastRunResult, "0 copied, 4 failed");
}

TEST_F(MirrorQuestions, LargerAnswersDoNotAnswerTheNewerQuestion) {
    Prepare({"a", "b", "d"});
    // a: overwrite all larger, then overwrite (newer); b: larger not asked, newer skipped;
    // c: no newer files at all; d: neither question asked.
    port.Choices = {4, 2, 1, 3};
    ExecutePlan(p);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Destination File is larger. " + R("a.txt"),
                                                    "Destination File is newer. " + R("a.txt"),
                                                    "Destination File is newer. " + R("b.txt"),
                                                    "Destination File is newer. " + R("c.txt")}));
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "model a");
    EXPECT_EQ(tree.ReadFile("R/d.txt"), "a larger copy of d");
    EXPECT_EQ(p.LastRunResult, "1 copied, 3 failed");
}

TEST_F(MirrorQuestions, LargerQuestionWithEachAnswer) {
    Prepare({"a", "b", "c", "d"});
    // a: skip; b: overwrite, then overwrite all newer; c: do not overwrite any larger (d too).
    port.Choices = {1, 2, 4, 3};
    ExecutePlan(p);
    EXPECT_EQ(Messages(), (std::vector<std::string>{"Destination File is larger. " + R("a.txt"),
                                                    "Destination File is larger. " + R("b.txt"),
                                                    "Destination File is newer. " + R("b.txt"),
                                                    "Destination File is larger. " + R("c.txt")}));
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "a larger copy of a");
    EXPECT_EQ(tree.ReadFile("R/b.txt"), "model b");
    EXPECT_EQ(tree.ReadFile("R/d.txt"), "a larger copy of d");
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/a.txt (error 5)", "/c.txt (error 5)",
                                                      "/d.txt (error 5)"}));
    EXPECT_EQ(p.LastRunResult, "1 copied, 3 failed");
}

TEST_F(MirrorQuestions, CancelledQuestionEndsTheExecution) {
    Prepare({});
    p.Wait = true;
    port.Choices = {0};
    auto start = std::chrono::steady_clock::now();
    ExecutePlan(p);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(1));
    EXPECT_EQ(port.FileChoices.size(), 1u);
    for (std::string name : {"a", "b", "c", "d"})
        EXPECT_EQ(tree.ReadFile("R/" + name + ".txt"), "newer " + name);
    EXPECT_EQ(EntryNamed("a.txt").Action, tAction::actCopyToRight);
    EXPECT_EQ(p.LastRunResult, "0 copied");
}

TEST_F(MirrorQuestions, UnattendedRunsAnswerFromThePermissions) {
    Prepare({});
    p.RunUnattended = true;
    p.UA_OverwriteNewer = false;
    ExecutePlan(p);
    EXPECT_TRUE(port.Calls.empty());
    EXPECT_TRUE(port.Results.empty());
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/a.txt (error 5)", "/b.txt (error 5)",
                                                      "/c.txt (error 5)", "/d.txt (error 5)"}));
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "newer a");

    p.UA_OverwriteNewer = true;
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "model a");
    EXPECT_EQ(p.LastRunResult, "4 copied");
}

TEST_F(ExecutorTest, UnattendedReadOnlyDestinationFollowsItsPermission) {
    p.RunUnattended = true;
    for (bool allowed : {false, true}) {
        SCOPED_TRACE(allowed);
        p.UA_OverwriteReadOnly = allowed;
        unlink(tree.Path("R/a.txt").c_str());
        tree.WriteFile("R/a.txt", "old", kOld); // owned by root: nobody may not write it
        tree.WriteFile("L/a.txt", "new", kNew);
        Plan();
        int rc = RunAsNobody([&] {
            ExecutePlan(p);
            return EntryNamed("a.txt").Action == tAction::actSkipped
                       ? EntryNamed("a.txt").ExecResult
                       : 0;
        });
        EXPECT_EQ(rc, allowed ? 0 : 101);
        EXPECT_EQ(tree.ReadFile("R/a.txt"), allowed ? "new" : "old");
    }
}

// ---------------------------------------------------------------------------------------------
// Moves and deletions

TEST_F(ExecutorTest, MovesFollowTheModelAndRemoveEmptiedFolders) {
    p.RightToLeft = false;
    tree.WriteFile("L/new/a.txt", "moved", kOld);
    tree.WriteFile("R/old/a.txt", "moved", kOld);
    // R/still is gone on the left too, but keeps a file that is not copied to the left.
    tree.WriteFile("L/kept/b.txt", "moved too", kOld);
    tree.WriteFile("R/still/b.txt", "moved too", kOld);
    tree.WriteFile("R/still/other.txt", "stays", kOld);
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/new/a.txt"), "moved");
    EXPECT_EQ(tree.ReadFile("R/kept/b.txt"), "moved too");
    EXPECT_FALSE(tree.Exists("R/old"));
    EXPECT_FALSE(tree.Exists("R/still/b.txt"));
    EXPECT_EQ(tree.ReadFile("R/still/other.txt"), "stays");
    EXPECT_EQ(p.LastRunResult, "0 copied, 2 moved");
    ASSERT_EQ(port.Results.size(), 1u);
    EXPECT_EQ(port.Results[0].lbMovedR, "2 (0.0kB)");
    EXPECT_EQ(port.Results[0].lbMovedL, "");
    EXPECT_EQ(port.Results[0].lbFoldersRemovedR, "1");
    EXPECT_TRUE(port.Results[0].lbFoldersRemovedVisible);
    EXPECT_EQ(port.Results[0].lbFoldersCreatedR, "2");
}

TEST_F(ExecutorTest, MoveOntoAFileThatAppearedMeanwhileChangesNothing) {
    p.RightToLeft = false;
    tree.WriteFile("L/new/a.txt", "moved", kOld);
    tree.WriteFile("R/old/a.txt", "moved", kOld);
    Plan();
    tree.WriteFile("R/new/a.txt", "arrived meanwhile");
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/old/a.txt"), "moved");
    EXPECT_EQ(tree.ReadFile("R/new/a.txt"), "arrived meanwhile");
    EXPECT_EQ(p.ResultList, std::vector<std::string>{"/old/a.txt (error 9)"});
    EXPECT_EQ(p.LastRunResult, "0 copied, 1 failed");
}

class MirrorDeletions : public ExecutorTest {
protected:
    void SetUp() override {
        ExecutorTest::SetUp();
        p.RightToLeft = false;
        p.ExactMirror = true;
        tree.WriteFile("L/keep.txt", "k", kOld);
        tree.WriteFile("R/keep.txt", "k", kOld);
        tree.WriteFile("R/x.txt", "xx", kOld);
        tree.WriteFile("R/y.txt", "yy", kOld);
        tree.WriteFile("R/sub/z.txt", "zz", kOld);
    }
};

TEST_F(MirrorDeletions, DeletionsAreAskedWithoutVersions) {
    StartLog();
    Plan();
    port.Choices = {2, 4}; // delete x, then delete all unneeded files
    ExecutePlan(p);
    EXPECT_EQ(port.FileChoices.size(), 2u);
    EXPECT_EQ(port.FileChoices[0].Message, "Destination File is to be deleted.");
    EXPECT_EQ(port.FileChoices[0].SourceName, "");
    EXPECT_EQ(tree.List("R"), (std::vector<std::string>{"keep.txt", "sub/"}));
    EXPECT_EQ(p.LastRunResult, "0 copied, 3 deleted");
    ASSERT_EQ(port.Results.size(), 1u);
    EXPECT_EQ(port.Results[0].lbDeletedR, "3 (0.0kB)");
    EXPECT_TRUE(port.Results[0].lbDeletedVisible);
    EXPECT_NE(LogText().find("DELETE " + tree.Path("R/sub/z.txt") + " (to the trash)\n"),
              std::string::npos);
}

TEST_F(MirrorDeletions, DeletedFilesBecomeOldVersionsWithoutQuestions) {
    p.MultipleVersions = true;
    p.MaxVersions = 2;
    Plan();
    ExecutePlan(p);
    EXPECT_TRUE(port.FileChoices.empty());
    EXPECT_EQ(tree.List("R"), (std::vector<std::string>{"keep.txt", "sub/", "sub/z.$1$.txt",
                                                        "x.$1$.txt", "y.$1$.txt"}));
    EXPECT_EQ(p.LastRunResult, "0 copied");
    ASSERT_EQ(port.Results.size(), 1u);
    EXPECT_FALSE(port.Results[0].lbDeletedVisible);
    EXPECT_EQ(port.Results[0].lbFilesRenamedR, "3");
    EXPECT_EQ(port.Results[0].lbFilesRenamedL, "");
    EXPECT_TRUE(port.Results[0].lbRenamedVisible);
}

TEST_F(MirrorDeletions, VersionsFolderAtTheBaseIsMadeFirst) {
    p.MultipleVersions = true;
    p.MaxVersions = 2;
    p.UseVersionsFolder = true;
    p.OlderSubfolder = false;
    p.VersionsFolder = "Older";
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(tree.List("R"),
              (std::vector<std::string>{"Older/", "Older/x.$1$.txt", "Older/y.$1$.txt",
                                        "Older/z.$1$.txt", "keep.txt", "sub/"}));
    EXPECT_EQ(port.Results[0].lbFoldersCreatedR, "1");
}

TEST_F(MirrorDeletions, UnattendedDeletionWithoutPermissionIsAnError) {
    p.RunUnattended = true;
    p.UA_DeleteFiles = false;
    Plan();
    ExecutePlan(p);
    EXPECT_TRUE(tree.Exists("R/x.txt"));
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/x.txt (error 5)", "/y.txt (error 5)",
                                                      "/sub/z.txt (error 5)"}));
    EXPECT_EQ(p.LastRunResult, "0 copied, 3 failed");
}

// ---------------------------------------------------------------------------------------------
// Cancel, access problems and failures in the result

TEST_F(ExecutorTest, CancelDuringACopyKeepsTheOldFileAndStops) {
    RunSettings().BufSizeKB = 1;
    tree.WriteFile("L/a.bin", std::string(64 * 1024, 'n'), kNew);
    tree.WriteFile("R/a.bin", "old", kOld);
    tree.WriteFile("L/b.txt", "b", kNew);
    Plan();
    port.CancelCopyingAfter = 4 + 3; // the third chunk of a.bin
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/a.bin"), "old");
    EXPECT_FALSE(tree.Exists("R/b.txt"));
    EXPECT_EQ(tree.List("R"), std::vector<std::string>{"a.bin"});
    EXPECT_EQ(EntryNamed("a.bin").Action, tAction::actCopyToRight);
    EXPECT_EQ(p.LastRunResult, "0 copied");
}

TEST_F(ExecutorTest, AccessProblemsAreRetriedUntilTheWaitIsOver) {
    // The first read of /proc/<pid>/mem fails: an access problem that never goes away.
    p.SymLinks = 0;
    p.Wait = true;
    p.WaitMins = 0;
    tree.MakeLink("L/mem", "/proc/self/mem");
    tree.WriteFile("L/b.txt", "b");
    Plan();
    auto start = std::chrono::steady_clock::now();
    ExecutePlan(p);
    const auto took = std::chrono::steady_clock::now() - start;
    // One wait of about two seconds, then the second pass finds the time used up.
    EXPECT_GE(took, std::chrono::milliseconds(1900));
    EXPECT_LT(took, std::chrono::seconds(5));
    EXPECT_EQ(p.ResultList, std::vector<std::string>{tree.Path("L/mem") + " (access problem)"});
    EXPECT_EQ(EntryNamed("mem").Action, tAction::actCopyToRight);
    EXPECT_EQ(tree.ReadFile("R/b.txt"), "b");
    EXPECT_EQ(p.LastRunResult, "1 copied, 1 failed");
    EXPECT_EQ(p.FailedCount, 1);
}

TEST_F(ExecutorTest, UnreadableFoldersCountAsFailures) {
    tree.WriteFile("L/a.txt", "a");
    Plan();
    p.UnreadableFolders = {{false, "", 13}, {true, "/locked/in", 13}};
    ExecutePlan(p);
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/ (cannot read folder)",
                                                      "/locked/in (cannot read folder)"}));
    EXPECT_EQ(p.LastRunResult, "1 copied, 2 failed");
    ASSERT_EQ(port.Results.size(), 1u);
    EXPECT_EQ(port.Results[0].RichEdit1, p.ResultList);
}

// ---------------------------------------------------------------------------------------------
// Changes made while the run goes on

// A two-way run in which the user saves files while the plan is carried out, at the first
// event of the execution.
TEST_F(ExecutorTest, DestinationsChangedSinceTheScanAreLeftAlone) {
    tree.WriteFile("L/saved.txt", "newer plan copy", kNew);
    tree.WriteFile("R/saved.txt", "older", kOld);
    tree.WriteFile("L/created.txt", "plan copy", kNew);
    tree.WriteFile("L/replaced.txt", "plan copy 2", kNew);
    tree.WriteFile("R/replaced.txt", "same size!!", kOld);
    tree.WriteFile("L/plain.txt", "plain", kNew);
    tree.WriteFile("R/plain.txt", "old", kOld);
    StartLog();
    Plan();
    ASSERT_EQ(EntryNamed("saved.txt").Action, tAction::actCopyToRight);
    bool changed = false;
    port.OnEvents = [&](int) {
        if (changed || !port.Copying) return;
        changed = true;
        tree.WriteFile("R/saved.txt", "the user's save", kOld + 10);
        tree.WriteFile("R/created.txt", "the user's new file");
        // Same size and time, but another file (saved by rename): only the inode tells.
        tree.WriteFile("R/replaced.tmp", "user's file", kOld);
        ASSERT_EQ(rename(tree.Path("R/replaced.tmp").c_str(), tree.Path("R/replaced.txt").c_str()),
                  0);
    };
    ExecutePlan(p);

    EXPECT_EQ(tree.ReadFile("R/saved.txt"), "the user's save");
    EXPECT_EQ(tree.ReadFile("R/created.txt"), "the user's new file");
    EXPECT_EQ(tree.ReadFile("R/replaced.txt"), "user's file");
    EXPECT_EQ(tree.ReadFile("R/plain.txt"), "plain");
    EXPECT_EQ(tree.List("R"),
              (std::vector<std::string>{"created.txt", "plain.txt", "replaced.txt", "saved.txt"}));
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/created.txt (changed since the scan)",
                                                      "/replaced.txt (changed since the scan)",
                                                      "/saved.txt (changed since the scan)"}));
    EXPECT_EQ(EntryNamed("saved.txt").Action, tAction::actSkipped);
    EXPECT_EQ(p.LastRunResult, "1 copied, 3 failed");
    EXPECT_NE(LogText().find("COPY L->R saved.txt * ERROR -2 *\n"), std::string::npos);
}

TEST_F(ExecutorTest, DeletionsAndMovesOfFilesChangedSinceTheScanAreLeftAlone) {
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.DetectMoved = true;
    p.RunUnattended = true;
    p.UA_DeleteFiles = true;
    tree.WriteFile("R/extra.txt", "to go", kOld);
    tree.WriteFile("R/edited.txt", "to go", kOld);
    tree.WriteFile("L/new/moved.txt", "moved", kOld);
    tree.WriteFile("R/old/moved.txt", "moved", kOld);
    Plan();
    ASSERT_EQ(EntryNamed("edited.txt").Action, tAction::actDelete);
    bool changed = false;
    port.OnEvents = [&](int) {
        if (changed || !port.Copying) return;
        changed = true;
        tree.WriteFile("R/edited.txt", "kept: edited during the run", kOld);
        tree.WriteFile("R/old/moved.txt", "edited too", kOld);
    };
    ExecutePlan(p);

    EXPECT_FALSE(tree.Exists("R/extra.txt"));
    EXPECT_EQ(tree.ReadFile("R/edited.txt"), "kept: edited during the run");
    EXPECT_EQ(tree.ReadFile("R/old/moved.txt"), "edited too");
    EXPECT_FALSE(tree.Exists("R/new/moved.txt"));
    EXPECT_EQ(p.ResultList, (std::vector<std::string>{"/edited.txt (changed since the scan)",
                                                      "/old/moved.txt (changed since the scan)"}));
    EXPECT_EQ(p.LastRunResult, "0 copied, 1 deleted, 2 failed");
}

TEST_F(ExecutorTest, NewFileDatedBefore1970IsCopiedLikeAnyOther) {
    p.RunUnattended = true;
    p.UA_OverwriteNewer = false;
    p.UA_OverwriteLarger = false;
    tree.WriteFile("L/ancient.txt", "from 1969", -86400 * 100);
    tree.WriteFile("R/older.txt", "also 1969", -86400 * 200);
    ASSERT_EQ(tree.Time("L/ancient.txt"), -86400 * 100);
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/ancient.txt"), "from 1969");
    EXPECT_EQ(tree.Time("R/ancient.txt"), -86400 * 100);
    EXPECT_EQ(tree.ReadFile("L/older.txt"), "also 1969");
    EXPECT_TRUE(p.ResultList.empty());
    EXPECT_EQ(p.LastRunResult, "2 copied");
}

TEST_F(ExecutorTest, LinkToAFolderIsCopiedAsALinkWhenLinksAreFollowed) {
    p.SymLinks = 0;
    p.RightToLeft = false;
    tree.WriteFile("L/real/inside.txt", "inside");
    tree.MakeLink("L/dirlink", "real");
    Plan();
    ASSERT_EQ(EntryNamed("dirlink").Action, tAction::actCopyToRight);
    ExecutePlan(p);
    EXPECT_TRUE(p.ResultList.empty());
    ASSERT_TRUE(tree.IsLink("R/dirlink"));
    EXPECT_EQ(CanonicalPath(tree.Path("R/dirlink")), CanonicalPath(tree.Path("L/real")));
    EXPECT_EQ(tree.ReadFile("R/real/inside.txt"), "inside");

    // The next run finds nothing to do for it, rather than failing again.
    Plan();
    EXPECT_NE(EntryNamed("dirlink").Action, tAction::actCopyToRight);
    ExecutePlan(p);
    EXPECT_TRUE(p.ResultList.empty());
}

TEST_F(ExecutorTest, SpecialFilesNeverPairAsMovedFiles) {
    p.DetectMoved = true;
    p.RightToLeft = false;
    tree.MakeFolder("L/new");
    tree.MakeFolder("R/old");
    ASSERT_EQ(mkfifo(tree.Path("L/new/pipe").c_str(), 0644), 0);
    ASSERT_EQ(mkfifo(tree.Path("R/old/pipe").c_str(), 0644), 0);
    tree.SetTime("L/new/pipe", kOld);
    tree.SetTime("R/old/pipe", kOld);
    tree.WriteFile("L/new/file.txt", "moved", kOld);
    tree.WriteFile("R/old/file.txt", "moved", kOld);
    Plan();
    for (const auto& e : p.Entries) {
        if (e.Name() == "pipe") {
            EXPECT_NE(e.Action, tAction::actMove) << e.RelPath();
        }
        if (e.Name() == "file.txt") {
            EXPECT_EQ(e.Action, tAction::actMove) << e.RelPath();
        }
    }
}

// ---------------------------------------------------------------------------------------------
// Folder times

// Every folder below rel of the tree ("" for rel itself), without the trailing "/".
std::vector<std::string> FoldersOf(const TempTree& tree, const std::string& rel) {
    std::vector<std::string> folders{""};
    for (const std::string& item : tree.List(rel))
        if (!item.empty() && item.back() == '/') folders.push_back(item.substr(0, item.size() - 1));
    return folders;
}

std::string Under(const std::string& base, const std::string& folder) {
    return folder.empty() ? base : base + "/" + folder;
}

// Gives every folder of base a time of its own (the base folder too), the same on both sides.
void DateFolders(const TempTree& tree, const std::string& model, const std::string& mirror,
                 int64_t from) {
    int64_t t = from;
    for (const std::string& f : FoldersOf(tree, model)) {
        tree.SetTime(Under(model, f), t);
        if (tree.IsFolder(Under(mirror, f))) tree.SetTime(Under(mirror, f), t);
        t += 1000;
    }
}

// A mirror run of a changed tree (new nested folders, changed files in old folders, deletions,
// a move in and out, a removed folder), a two-way run in which both sides are written, and a
// "Show Only" run of moved files: afterwards every folder written carries the model's time.
TEST_F(ExecutorTest, FoldersWrittenByTheRunCarryTheModelsTimes) {
    // One way, exact mirror.
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.DetectMoved = true;
    p.EmptyFolders = true;
    p.RunUnattended = true;
    p.UA_DeleteFiles = p.UA_OverwriteNewer = p.UA_OverwriteLarger = true;
    for (const char* side : {"L", "R"}) {
        const std::string s = side;
        tree.WriteFile(s + "/old/changed.txt", s == "L" ? "new contents" : "old",
                       s == "L" ? kNew : kOld);
        tree.WriteFile(s + "/old/sub/keep.txt", "kept", kOld);
        tree.WriteFile(s + "/gone/stay.txt", "stays", kOld);
        tree.WriteFile(s + "/untouched/u.txt", "same", kOld);
        tree.WriteFile(s + "/mvfrom/other.txt", "other", kOld);
    }
    tree.WriteFile("L/top.txt", "new at the base", kNew);
    tree.WriteFile("L/new/deep/x/a.txt", "new deep", kNew);
    tree.MakeFolder("L/new/empty");
    tree.WriteFile("R/gone/del.txt", "deleted", kOld);
    tree.WriteFile("R/stale/s.txt", "deleted with its folder's contents", kOld);
    tree.WriteFile("L/mvto/m.txt", "moved file", kOld);
    tree.WriteFile("R/mvfrom/m.txt", "moved file", kOld);
    tree.MakeFolder("L/mvto");
    DateFolders(tree, "L", "R", 1500000000);
    // A folder whose time differs but that the run does not write keeps its time.
    const int64_t untouched = tree.Time("R/untouched") + 7;
    tree.SetTime("R/untouched", untouched);
    // The plan keeps seconds; a new folder still gets its model's time to the nanosecond.
    const timespec fine[2] = {{0, UTIME_OMIT}, {tree.Time("L/new/deep/x"), 123456789}};
    ASSERT_EQ(utimensat(AT_FDCWD, tree.Path("L/new/deep/x").c_str(), fine, 0), 0);
    Plan();
    ASSERT_EQ(EntryNamed("m.txt").Action, tAction::actMove);
    ExecutePlan(p);
    EXPECT_EQ(p.LastRunResult, "3 copied, 1 moved, 2 deleted");
    EXPECT_EQ(tree.ReadFile("R/mvto/m.txt"), "moved file");
    EXPECT_EQ(tree.ReadFile("R/new/deep/x/a.txt"), "new deep");
    EXPECT_FALSE(tree.Exists("R/gone/del.txt"));
    for (const std::string& f : FoldersOf(tree, "L")) {
        if (f == "untouched") continue;
        EXPECT_EQ(tree.Time(Under("R", f)), tree.Time(Under("L", f))) << f;
    }
    EXPECT_EQ(tree.Time("R/untouched"), untouched);
    struct stat made;
    ASSERT_EQ(stat(tree.Path("R/new/deep/x").c_str(), &made), 0);
    EXPECT_EQ(made.st_mtim.tv_nsec, 123456789);
    // Only the folder left behind by the deletions is not in the model: it keeps the run's time.
    EXPECT_EQ(FoldersOf(tree, "R").size(), FoldersOf(tree, "L").size() + 1);

    // Two ways: a folder written on both sides gets the later time on both, one written on
    // one side the other side's time, the base folders too.
    ExecutorTest::TearDown();
    p = tProfile{};
    SetUp();
    p.LeftPath = tree.Path("L2");
    p.RightPath = tree.Path("R2");
    tree.WriteFile("L2/both/l.txt", "from the left", kNew);
    tree.WriteFile("R2/both/r.txt", "from the right", kNew);
    tree.WriteFile("L2/lonly/n.txt", "new on the left", kNew);
    tree.MakeFolder("R2/lonly");
    tree.WriteFile("R2/ronly/new/r.txt", "new nested on the right", kNew);
    tree.WriteFile("L2/top.txt", "new at the base", kNew);
    tree.WriteFile("L2/same/s.txt", "same", kOld);
    tree.WriteFile("R2/same/s.txt", "same", kOld);
    tree.SetTime("L2/both", 1500001000);
    tree.SetTime("R2/both", 1500002000);
    tree.SetTime("L2/lonly", 1500003000);
    tree.SetTime("R2/lonly", 1500004000);
    tree.SetTime("R2/ronly/new", 1500005000);
    tree.SetTime("R2/ronly", 1500006000);
    tree.SetTime("L2/same", 1500007000);
    tree.SetTime("R2/same", 1500008000);
    tree.SetTime("L2", 1500009000);
    tree.SetTime("R2", 1500000500);
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(p.LastRunResult, "5 copied");
    EXPECT_EQ(tree.Time("L2/both"), 1500002000);
    EXPECT_EQ(tree.Time("R2/both"), 1500002000);
    EXPECT_EQ(tree.Time("L2/lonly"), 1500003000);
    EXPECT_EQ(tree.Time("R2/lonly"), 1500003000);
    EXPECT_EQ(tree.Time("L2/ronly/new"), 1500005000);
    EXPECT_EQ(tree.Time("L2/ronly"), 1500006000);
    EXPECT_EQ(tree.Time("L2/same"), 1500007000);
    EXPECT_EQ(tree.Time("R2/same"), 1500008000);
    EXPECT_EQ(tree.Time("L2"), 1500009000);
    EXPECT_EQ(tree.Time("R2"), 1500009000);

    // "Show Only" moved files: the moves are made, the folders keep the times the moves gave.
    ExecutorTest::TearDown();
    p = tProfile{};
    SetUp();
    p.LeftPath = tree.Path("L3");
    p.RightPath = tree.Path("R3");
    p.RightToLeft = false;
    p.DetectMoved = true;
    tree.WriteFile("L3/to/m.txt", "moved", kOld);
    tree.WriteFile("R3/from/m.txt", "moved", kOld);
    tree.WriteFile("L3/from/x.txt", "stays", kOld);
    tree.WriteFile("R3/from/x.txt", "stays", kOld);
    tree.WriteFile("L3/extra.txt", "not copied in this run", kOld);
    DateFolders(tree, "L3", "R3", 1500000000);
    const int64_t started = time(nullptr);
    Plan();
    p.Filter.rgMovedFiles = 1;
    BuildStatusList(p);
    ExecutePlan(p);
    EXPECT_EQ(p.LastRunResult, "0 copied, 1 moved");
    EXPECT_FALSE(tree.Exists("R3/extra.txt"));
    EXPECT_EQ(tree.ReadFile("R3/to/m.txt"), "moved");
    EXPECT_GE(tree.Time("R3/from"), started);
    EXPECT_GE(tree.Time("R3/to"), started);
    EXPECT_GE(tree.Time("R3"), started);
}

// ---------------------------------------------------------------------------------------------
// New files never show half written

// Copies into a new folder fail midway in three ways: the source shrinks, the process is
// killed, the file system is full. No partial file ever carries the final name, and nothing
// is left beside it. A file that appears under the name during the copy is kept.
TEST_F(ExecutorTest, NewFilesAppearOnlyWhenCompleteAndNeverReplaceAFileThatAppeared) {
    RunSettings().BufSizeKB = 4;
    // The events of the copy under way are where the test steps in.
    RunSettings().CopyWorkers = 1;
    p.RightToLeft = false;
    p.RunUnattended = true;
    const std::string big(256 * 1024, 'b');
    tree.WriteFile("L/new/sub/appears.bin", big, kNew);
    tree.WriteFile("L/new/sub/shrinks.bin", big, kNew);
    tree.WriteFile("L/new/sub/whole.txt", "whole", kNew);
    Plan();
    std::string copying;
    int chunks = 0;
    port.OnEvents = [&](int) {
        if (!port.Copying || port.Copying->lbCopying.empty()) return;
        if (port.Copying->lbCopying != copying) {
            copying = port.Copying->lbCopying;
            chunks = 0;
        }
        if (++chunks != 5) return;
        if (copying == "Copying appears.bin") tree.WriteFile("R/new/sub/appears.bin", "the user's");
        if (copying == "Copying shrinks.bin") {
            ASSERT_EQ(truncate(tree.Path("L/new/sub/shrinks.bin").c_str(), 10000), 0);
        }
    };
    ExecutePlan(p);
    EXPECT_EQ(tree.ReadFile("R/new/sub/appears.bin"), "the user's");
    EXPECT_EQ(tree.ReadFile("R/new/sub/whole.txt"), "whole");
    EXPECT_EQ(tree.List("R/new/sub"), (std::vector<std::string>{"appears.bin", "whole.txt"}));
    EXPECT_EQ(p.ResultList,
              (std::vector<std::string>{"/new/sub/appears.bin (changed since the scan)",
                                        "/new/sub/shrinks.bin (error 101)"}));

    // Killed in the middle of a copy.
    tree.WriteFile("L/killed/k.bin", big, kNew);
    Plan();
    port.OnEvents = [&](int) {
        if (port.Copying && port.Copying->lbCopying == "Copying k.bin" && ++chunks == 5)
            kill(getpid(), SIGKILL);
    };
    chunks = 0;
    EXPECT_EQ(test::RunInChild([&] {
                  ExecutePlan(p);
                  return 0;
              }),
              -1);
    EXPECT_EQ(tree.List("R/killed"), std::vector<std::string>{});

    // A full file system.
    tree.MakeFolder("R/full");
    if (mount("tmpfs", tree.Path("R/full").c_str(), "tmpfs", 0, "size=64k,mode=0777") != 0)
        GTEST_SKIP() << "no tmpfs could be mounted";
    tree.WriteFile("L/full/f.bin", big, kNew);
    tree.WriteFile("L/full/fits.txt", "fits", kNew);
    port.OnEvents = nullptr;
    Plan();
    ExecutePlan(p);
    EXPECT_EQ(tree.List("R/full"), std::vector<std::string>{"fits.txt"});
    EXPECT_EQ(p.ResultList, std::vector<std::string>{"/full/f.bin (error 101)"});
    EXPECT_EQ(umount2(tree.Path("R/full").c_str(), MNT_DETACH), 0);
}

} // namespace
} // namespace corvane
