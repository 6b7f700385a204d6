#include "engine/Analysis.h"
#include "engine/ExecutionStep.h"
#include "engine/RunDriver.h"
#include "log/Reports.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <cstdio>
#include <regex>
#include <stdexcept>
#include <string>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using test::RunAsNobody;
using test::ScriptedPort;
using test::TempTree;

constexpr char kFooter[] = "\r\n--------\r\n\r\n\n";

// A preferences store on a temporary file, the run settings restored afterwards and a
// scripted port recording what the run shows.
class RunLogTest : public testing::Test {
protected:
    void SetUp() override {
        savedSettings_ = RunSettings();
        SetPrefStore(&prefs);
        RunSettings().Logging = 0;
        RunSettings().LogFolder = tree.Path("logs/sub");
    }
    void TearDown() override {
        SetPrefStore(nullptr);
        RunSettings() = savedSettings_;
    }

    // A profile whose plan has one affected file.
    tProfile Profile(const std::string& name) const {
        tProfile p;
        p.Name = name;
        p.LeftPath = tree.Path("L");
        p.RightPath = tree.Path("R");
        p.Stats.AffectedCount = 1;
        return p;
    }

    std::string Report(const std::string& name) const {
        return prefs.Read("rep_" + name, "Reports");
    }

    TempTree tree;
    tPreferences prefs{tree.Path("prefs.ini")};
    ScriptedPort port;

private:
    tMainSettings savedSettings_;
};

// Writes two action lines the way the executor does and sets its report.
void FakeExecution(tProfile& p) {
    WriteLogLine(p, "COPY L->R notes.txt");
    WriteLogLine(p, "COPY L->R report.doc * ERROR 101 *");
    p.LastRunResult = ExecutionReport(1, 0, 0);
}

std::string ReadAll(const std::string& path) {
    std::string out;
    if (std::FILE* f = std::fopen(path.c_str(), "rb")) {
        char buf[4096];
        size_t n;
        while ((n = std::fread(buf, 1, sizeof buf, f)) > 0)
            out.append(buf, n);
        std::fclose(f);
    }
    return out;
}

std::string EscapeRegex(const std::string& text) {
    static const std::regex special(R"([.^$|()\[\]{}*+?\\])");
    return std::regex_replace(text, special, R"(\$&)");
}

// The log text of one run as a pattern: fixed parts literally, time and date as digits.
std::string RunPattern(const tProfile& p, const std::string& actionLines) {
    return EscapeRegex("Corvane v1.04, build 24\nLog for profile " + p.Name + ", started at ") +
           R"(\d\d:\d\d:\d\d on \d\d\.\d\d\.\d{4})" +
           EscapeRegex("\n\nLEFT : " + p.LeftPath + "\nRIGHT: " + p.RightPath + "\n\n" +
                       actionLines + kFooter);
}

// ---------------------------------------------------------------------------------------

TEST(WriteLogLine, EscapesControlBytesSoOneCallIsOneLine) {
    TempTree tree;
    tProfile p;
    p.LogFile = std::fopen(tree.Path("log").c_str(), "w");
    ASSERT_NE(p.LogFile, nullptr);

    WriteLogLine(p, "not written while logging is off");
    p.LoggingOn = true;
    WriteLogLine(p, "COPY L->R a\nb\tc\rd\x1b"
                    "e\x7f"
                    "f\\n\\g\x01");
    WriteLogLine(p, "DELETE /tmp/\xc3\xa4 \"x\"");
    WriteLogLine(p, std::string("nul\0byte", 8));
    WriteLogLine(p, "");
    std::fclose(p.LogFile);
    p.LogFile = nullptr;
    WriteLogLine(p, "no file: ignored");

    EXPECT_EQ(ReadAll(tree.Path("log")), "COPY L->R a\\nb\\x09c\\x0Dd\\x1Be\\x7Ff\\\\n\\\\g\\x01\n"
                                         "DELETE /tmp/\xc3\xa4 \"x\"\n"
                                         "nul\\x00byte\n"
                                         "\n");
}

TEST(WriteLogLine, WriteErrorsAreClearedNotRaised) {
    TempTree tree;
    tree.WriteFile("log", "old\n");
    tProfile p;
    p.LoggingOn = true;
    p.LogFile = std::fopen(tree.Path("log").c_str(), "r"); // writes fail
    ASSERT_NE(p.LogFile, nullptr);
    WriteLogLine(p, "COPY L->R x");
    EXPECT_EQ(std::ferror(p.LogFile), 0);
    std::fclose(p.LogFile);
    EXPECT_EQ(tree.ReadFile("log"), "old\n");
}

TEST(LogNames, SafeLogNameAndFileNamesByMode) {
    EXPECT_EQ(SafeLogName("a/b\"c*"), "a\\b'c");
    EXPECT_EQ(SafeLogName("<x>?|*y: z \\"), "xy: z \\");
    EXPECT_EQ(SafeLogName(""), "");

    tDateTime now = EncodeDateTime({2026, 12, 8, 14, 5, 33});
    EXPECT_EQ(LogFileName(1, "/var/logs", "P", now), "/var/logs/crvn.log");
    EXPECT_EQ(LogFileName(1, "/var//logs/", "P", now), "/var/logs/crvn.log");
    EXPECT_EQ(LogFileName(2, "/var/logs", "a/b\"c*", now), "/var/logs/a\\b'c.log");
    EXPECT_EQ(LogFileName(3, "/var/logs", "Back/up?", now),
              "/var/logs/Back\\up - 2026-12-08 14:05:33.log");
    EXPECT_EQ(LogFileName(3, "/l", "P", EncodeDateTime({2026, 1, 2, 3, 4, 5})),
              "/l/P - 2026-01-02 03:04:05.log");
    EXPECT_EQ(LogFileName(0, "/var/logs", "P", now), "");
    EXPECT_EQ(LogFileName(4, "/var/logs", "P", now), "");
}

TEST(Reports, ExecutionReportText) {
    EXPECT_EQ(ExecutionReport(12, 3, 1), "12 copied, 3 moved, 1 deleted");
    EXPECT_EQ(ExecutionReport(0, 0, 3), "0 copied, 3 deleted");
    EXPECT_EQ(ExecutionReport(0, 0, 0), "0 copied");
    EXPECT_EQ(ExecutionReport(2, 1, 0), "2 copied, 1 moved");
    EXPECT_EQ(ExecutionReport(0, 0, 0, 1), "0 copied, 1 failed");
    EXPECT_EQ(ExecutionReport(1, 2, 3, 4), "1 copied, 2 moved, 3 deleted, 4 failed");
    EXPECT_EQ(ReportKey("My job"), "rep_My job");
}

// ---------------------------------------------------------------------------------------

TEST_F(RunLogTest, WholeLogOfOneRunByteForByte) {
    RunSettings().Logging = 2;
    tProfile p = Profile("Daily");
    int calls = 0;
    bool loggingDuringRun = false;
    ASSERT_TRUE(ExecuteWithLog(p, [&](tProfile& q) {
        ++calls;
        loggingDuringRun = q.LoggingOn && q.LogFile != nullptr;
        FakeExecution(q);
    }));
    EXPECT_EQ(calls, 1);
    EXPECT_TRUE(loggingDuringRun);
    EXPECT_FALSE(p.LoggingOn);
    EXPECT_EQ(p.LogFile, nullptr);

    std::string log = ReadAll(tree.Path("logs/sub/Daily.log"));
    EXPECT_TRUE(
        std::regex_match(log, std::regex(RunPattern(p, "COPY L->R notes.txt\n"
                                                       "COPY L->R report.doc * ERROR 101 *\n"))))
        << log;
    // The header's time and date are those of the run.
    std::smatch m;
    ASSERT_TRUE(std::regex_search(log, m, std::regex(R"(started at (\S+) on (\S+)\n)")));
    EXPECT_EQ(m[1].str(), TimeText8(p.LastRun));
    EXPECT_EQ(m[2].str(), DateText10(p.LastRun));

    EXPECT_EQ(p.LastRunResult, "1 copied");
    EXPECT_EQ(Report("Daily"), "1 copied");
    EXPECT_TRUE(port.Calls.empty());
}

TEST_F(RunLogTest, ModeZeroTouchesNoFile) {
    tProfile p = Profile("Quiet");
    bool loggingDuringRun = true;
    ASSERT_TRUE(ExecuteWithLog(p, [&](tProfile& q) {
        loggingDuringRun = q.LoggingOn;
        FakeExecution(q);
    }));
    EXPECT_FALSE(loggingDuringRun);
    EXPECT_FALSE(tree.Exists("logs")) << "the log folder must not even be created";
    EXPECT_EQ(Report("Quiet"), "1 copied");
}

TEST_F(RunLogTest, CommonLogAppendsAfterThePreviousFooter) {
    RunSettings().Logging = 1;
    std::string previous = "Corvane v1.04, build 24\nold run\n" + std::string(kFooter);
    tree.WriteFile("logs/sub/crvn.log", previous);

    tProfile a = Profile("First");
    ASSERT_TRUE(ExecuteWithLog(a, FakeExecution));
    tProfile b = Profile("Second");
    b.Filter.rgState = 0;
    ASSERT_TRUE(ExecuteWithLog(b, [](tProfile& q) {
        WriteLogLine(q, "DELETE " + q.RightPath + "/gone.txt");
        q.LastRunResult = ExecutionReport(0, 0, 1);
    }));

    std::string log = tree.ReadFile("logs/sub/crvn.log");
    ASSERT_EQ(log.compare(0, previous.size(), previous), 0) << "the old content stays first";
    EXPECT_TRUE(std::regex_match(
        log.substr(previous.size()),
        std::regex(RunPattern(a, "COPY L->R notes.txt\nCOPY L->R report.doc * ERROR 101 *\n") +
                   RunPattern(b, "DELETE " + b.RightPath + "/gone.txt\n"))))
        << log;
    EXPECT_EQ(tree.List("logs/sub"), std::vector<std::string>{"crvn.log"});
    EXPECT_EQ(Report("Second"), "0 copied, 1 deleted");
}

TEST_F(RunLogTest, PerProfileFileNameIsMadeSafe) {
    RunSettings().Logging = 2;
    tProfile p = Profile("a/b\"c*");
    ASSERT_TRUE(ExecuteWithLog(p, FakeExecution));
    EXPECT_EQ(tree.List("logs/sub"), std::vector<std::string>{"a\\b'c.log"});
    EXPECT_TRUE(std::regex_search(tree.ReadFile("logs/sub/a\\b'c.log"),
                                  std::regex("^Corvane v1\\.04, build 24\nLog for profile "
                                             "a/b\"c\\*, started at ")));
    EXPECT_EQ(Report("a/b\"c*"), "1 copied");
}

TEST_F(RunLogTest, PerRunFileCarriesNameDateAndTime) {
    RunSettings().Logging = 3;
    tProfile p = Profile("Night|ly");
    tDateTime before = NowDateTime();
    ASSERT_TRUE(ExecuteWithLog(p, FakeExecution));
    tDateTime after = NowDateTime();

    auto files = tree.List("logs/sub");
    ASSERT_EQ(files.size(), 1u);
    std::smatch m;
    ASSERT_TRUE(std::regex_match(
        files[0], m, std::regex(R"(Nightly - (\d{4}-\d\d-\d\d) (\d\d:\d\d:\d\d)\.log)")))
        << files[0];
    // The stamp is a moment of the run, the same as the header's.
    bool inRun = false;
    for (int64_t s = DateTimeToUnix(before); s <= DateTimeToUnix(after); ++s) {
        tDateTime t = UnixToDateTime(s);
        inRun = inRun || (m[1].str() == DateStamp(t) && m[2].str() == TimeText8(t));
    }
    EXPECT_TRUE(inRun) << files[0];
    EXPECT_NE(tree.ReadFile("logs/sub/" + files[0]).find("started at " + m[2].str() + " on "),
              std::string::npos);
}

TEST_F(RunLogTest, NothingToBeDone) {
    RunSettings().Logging = 1;
    prefs.Write("rep_Idle", "5 copied", "Reports");

    for (bool unattended : {false, true}) {
        port.Calls.clear();
        tProfile p = Profile("Idle");
        p.Stats.AffectedCount = 0;
        p.RunUnattended = unattended;
        bool executed = false;
        ASSERT_TRUE(ExecuteWithLog(p, [&](tProfile&) { executed = true; }));
        EXPECT_FALSE(executed);
        EXPECT_EQ(p.LastRunResult, "Nothing to be done");
        EXPECT_EQ(Report("Idle"), "Nothing to be done");
        if (unattended) {
            EXPECT_TRUE(port.Calls.empty());
            EXPECT_EQ(p.LastRun, 0.0);
        } else {
            EXPECT_EQ(port.Calls,
                      std::vector<std::string>{"Info: No files copied or folders created."});
            EXPECT_GT(p.LastRun, 37750.0);
        }
        EXPECT_FALSE(tree.Exists("logs")) << "no log is written";
    }

    // A folder row alone is something to do.
    tProfile f = Profile("Folders");
    f.Stats.AffectedCount = 0;
    f.Stats.FolderRowsShown = 1;
    ASSERT_TRUE(ExecuteWithLog(f, [](tProfile& q) { q.LastRunResult = "0 copied"; }));
    EXPECT_EQ(Report("Folders"), "0 copied");
    EXPECT_TRUE(tree.Exists("logs/sub/crvn.log"));
}

TEST_F(RunLogTest, LastRunIsSetForAttendedRunsOnly) {
    tProfile attended = Profile("A");
    tDateTime before = NowDateTime();
    ASSERT_TRUE(ExecuteWithLog(attended, FakeExecution));
    EXPECT_GE(attended.LastRun, before);
    EXPECT_LE(attended.LastRun, NowDateTime());

    tProfile unattended = Profile("U");
    unattended.RunUnattended = true;
    unattended.LastRun = 40000.5;
    ASSERT_TRUE(ExecuteWithLog(unattended, FakeExecution));
    EXPECT_EQ(unattended.LastRun, 40000.5);
    EXPECT_EQ(Report("U"), "1 copied");
}

TEST_F(RunLogTest, ExceptionEndsTheStepWithoutReport) {
    RunSettings().Logging = 2;
    prefs.Write("rep_Broken", "7 copied", "Reports");

    for (bool unattended : {false, true}) {
        port.Calls.clear();
        tProfile p = Profile("Broken");
        p.RunUnattended = unattended;
        EXPECT_FALSE(ExecuteWithLog(p, [](tProfile& q) {
            WriteLogLine(q, "COPY L->R first.txt");
            q.LastRunResult = "1 copied";
            throw std::runtime_error("Invalid mask: [a");
        }));
        EXPECT_EQ(p.LastRunResult, "Invalid mask: [a");
        EXPECT_EQ(Report("Broken"), "7 copied") << "the report is not written";
        if (unattended)
            EXPECT_TRUE(port.Calls.empty());
        else
            EXPECT_EQ(port.Calls, std::vector<std::string>{"Info: Invalid mask: [a"});
        // The log is closed, not left open.
        EXPECT_FALSE(p.LoggingOn);
        EXPECT_EQ(p.LogFile, nullptr);
    }
    // Each interrupted run still ends with the footer, so the file stays well formed.
    tProfile shape = Profile("Broken");
    std::string one = RunPattern(shape, "COPY L->R first.txt\n");
    std::string log = tree.ReadFile("logs/sub/Broken.log");
    EXPECT_TRUE(std::regex_match(log, std::regex(one + one))) << log;

    // Something that is not a standard exception.
    tProfile q = Profile("Odd");
    EXPECT_FALSE(ExecuteWithLog(q, [](tProfile&) { throw 42; }));
    EXPECT_FALSE(q.LastRunResult.empty());
    EXPECT_EQ(Report("Odd"), "");
}

TEST_F(RunLogTest, LogFileThatCannotBeOpenedSwitchesLoggingOff) {
    RunSettings().Logging = 1;
    tree.MakeFolder("logs/sub/crvn.log"); // a folder where the file should be
    tProfile p = Profile("P");
    bool loggingDuringRun = true;
    ASSERT_TRUE(ExecuteWithLog(p, [&](tProfile& q) {
        loggingDuringRun = q.LoggingOn;
        FakeExecution(q);
    }));
    EXPECT_FALSE(loggingDuringRun);
    EXPECT_TRUE(tree.IsFolder("logs/sub/crvn.log"));
    EXPECT_EQ(Report("P"), "1 copied");
    EXPECT_TRUE(port.Calls.empty()) << "silently";
}

TEST_F(RunLogTest, UnwritableLogFolderSwitchesLoggingOff) {
    tree.MakeFolder("locked");
    tree.SetMode("locked", 0555);
    tree.MakeFolder("locked/existing");
    tree.SetMode("locked/existing", 0555);
    RunSettings().Logging = 2;
    tProfile p = Profile("P");

    // Exit status: 0 all well, else the number of the failed check.
    auto runIn = [&](const std::string& folder) {
        return RunAsNobody([&]() -> int {
            RunSettings().LogFolder = folder;
            bool executed = false, logging = true;
            bool ok = ExecuteWithLog(p, [&](tProfile& q) {
                executed = true;
                logging = q.LoggingOn;
                FakeExecution(q);
            });
            if (!ok) return 1;
            if (!executed) return 2;
            if (logging) return 3;
            if (ReadPref("rep_P", "Reports") != "1 copied") return 4;
            if (!port.Calls.empty()) return 5;
            return 0;
        });
    };
    EXPECT_EQ(runIn(tree.Path("locked/new/deeper")), 0) << "folder cannot be created";
    EXPECT_EQ(runIn(tree.Path("locked/existing")), 0) << "file cannot be created";
    EXPECT_EQ(tree.List("locked"), std::vector<std::string>{"existing/"});
}

TEST_F(RunLogTest, EmptyLogFolderMeansTheProgramsLogsFolder) {
    RunSettings().Logging = 2;
    RunSettings().LogFolder = "";
    std::string folder = DefaultLogFolder();
    struct stat st {};
    bool hadFolder = stat(folder.c_str(), &st) == 0;
    std::string file = folder + "/RunLog test " + std::to_string(getpid()) + ".log";

    tProfile p = Profile("RunLog test " + std::to_string(getpid()));
    ASSERT_TRUE(ExecuteWithLog(p, FakeExecution));
    std::string log = ReadAll(file);
    std::remove(file.c_str());
    if (!hadFolder) rmdir(folder.c_str());
    EXPECT_TRUE(
        std::regex_match(log, std::regex(RunPattern(p, "COPY L->R notes.txt\n"
                                                       "COPY L->R report.doc * ERROR 101 *\n"))));
}

// ---------------------------------------------------------------------------------------
// Through the real analysis and executor.

class RealRunTest : public RunLogTest {
protected:
    tProfile Planned(const std::string& name) {
        tProfile p;
        SetInitialValues(p);
        p.Name = name;
        p.LeftPath = tree.Path("L");
        p.RightPath = tree.Path("R");
        p.LeftToRight = true;
        p.RightToLeft = false;
        SetFilterDefaults(p);
        EXPECT_TRUE(AnalyzeProfile(p));
        return p;
    }
};

TEST_F(RealRunTest, CopiesAndLogsEachOperation) {
    RunSettings().Logging = 1;
    tree.WriteFile("L/notes.txt", "hello", 1700000000);
    tree.WriteFile("L/sub/more.txt", "more", 1700000000);
    tree.MakeFolder("R");
    tProfile p = Planned("Real");
    ASSERT_EQ(p.Stats.AffectedCount, 2);

    ASSERT_TRUE(ExecuteWithLog(p));
    EXPECT_EQ(tree.ReadFile("R/notes.txt"), "hello");
    EXPECT_EQ(tree.ReadFile("R/sub/more.txt"), "more");
    EXPECT_EQ(p.LastRunResult, "2 copied");
    EXPECT_EQ(Report("Real"), "2 copied");
    std::string log = tree.ReadFile("logs/sub/crvn.log");
    EXPECT_TRUE(std::regex_match(
        log, std::regex(RunPattern(p, "COPY L->R notes.txt\nCOPY L->R more.txt\n") + "|" +
                        RunPattern(p, "COPY L->R more.txt\nCOPY L->R notes.txt\n"))))
        << log;

    // A second run finds nothing to do and leaves the log as it was.
    tProfile again = Planned("Real");
    ASSERT_TRUE(ExecuteWithLog(again));
    EXPECT_EQ(Report("Real"), "Nothing to be done");
    EXPECT_EQ(tree.ReadFile("logs/sub/crvn.log"), log);
}

TEST_F(RealRunTest, FailedCopyCarriesItsErrorCode) {
    RunSettings().Logging = 2;
    tree.WriteFile("L/report.doc", "data", 1700000000);
    tree.MakeFolder("R");
    tree.SetMode("R", 0555);
    int rc = RunAsNobody([&]() -> int {
        tProfile p = Planned("Fail");
        if (p.Stats.AffectedCount != 1) return 1;
        if (!ExecuteWithLog(p)) return 2;
        if (p.LastRunResult != "0 copied, 1 failed") return 3;
        if (ReadPref("rep_Fail", "Reports") != p.LastRunResult) return 4;
        return 0;
    });
    EXPECT_EQ(rc, 0);
    EXPECT_FALSE(tree.Exists("R/report.doc"));
    std::string log = tree.ReadFile("logs/sub/Fail.log");
    EXPECT_TRUE(std::regex_match(
        log, std::regex(RunPattern(Profile("Fail"), "COPY L->R report.doc * ERROR 101 *\n"))))
        << log;
}

} // namespace
} // namespace corvane
