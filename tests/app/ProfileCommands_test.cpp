// Profiles made, shown, changed, run, renamed and deleted by a script: real corvane processes
// without a display on a preferences file in a temporary HOME, with real trees.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/RunLock.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <cmath>
#include <cstdlib>
#include <fcntl.h>
#include <map>
#include <pty.h>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::ProcessResult;
using corvane::test::RunCorvane;
using corvane::test::TempTree;

namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

using tEnv = std::vector<std::pair<std::string, std::string>>;

std::map<std::string, std::string> Fields(const std::string& shown) {
    std::map<std::string, std::string> fields;
    std::istringstream in(shown);
    for (std::string line; std::getline(in, line);) {
        const size_t eq = line.find('=');
        EXPECT_NE(eq, std::string::npos) << line;
        if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
}

std::vector<std::string> Lines(const std::string& text) {
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
}

// A process that holds the run lock of a profile until it is released, as a run would.
class HeldLock {
public:
    HeldLock(const std::string& name, const std::string& prefs, const std::string& runtime) {
        if (pipe(ready_) != 0 || pipe(release_) != 0) return;
        pid_ = fork();
        if (pid_ == 0) {
            setenv("XDG_RUNTIME_DIR", runtime.c_str(), 1);
            tProfileRunLock lock(name, prefs);
            char c = lock.Busy() ? 'b' : 'l';
            if (write(ready_[1], &c, 1) != 1) _exit(1);
            if (read(release_[0], &c, 1) != 1) _exit(1);
            _exit(0);
        }
        char c = 0;
        if (read(ready_[0], &c, 1) == 1) held_ = c == 'l';
    }
    ~HeldLock() {
        if (pid_ > 0) {
            if (write(release_[1], "x", 1) != 1) kill(pid_, SIGKILL);
            waitpid(pid_, nullptr, 0);
        }
        for (int fd : {ready_[0], ready_[1], release_[0], release_[1]}) close(fd);
    }
    bool Held() const { return held_; }

private:
    int ready_[2] = {-1, -1}, release_[2] = {-1, -1};
    pid_t pid_ = -1;
    bool held_ = false;
};

class ProfileCommands : public ::testing::Test {
protected:
    TempTree home, left, right, runtime;

    tEnv Env() const {
        // No display: the commands must not need one.
        return {{"HOME", home.Root()},
                {"XDG_RUNTIME_DIR", runtime.Root()},
                {"DISPLAY", ""},
                {"WAYLAND_DISPLAY", ""},
                {"QT_QPA_PLATFORM", ""}};
    }
    ProcessResult Corvane(const std::vector<std::string>& args) {
        return RunCorvane(args, Env());
    }
    std::string StoredText() const {
        return home.Exists(".CorvaneX") ? home.ReadFile(".CorvaneX") : std::string();
    }
    std::map<std::string, std::string> Show(const std::string& name) {
        auto r = Corvane({"--show", name});
        EXPECT_EQ(r.Status, 0) << r.Err;
        return Fields(r.Out);
    }
    // The command fails with exit status 2, says why on standard error (naming what) and
    // leaves the preferences file as it was.
    void ExpectRefused(const std::vector<std::string>& args, const std::string& what) {
        SCOPED_TRACE(args.size() > 2 ? args[2] : args.back());
        const std::string before = StoredText();
        auto r = Corvane(args);
        EXPECT_EQ(r.Status, 2) << r.Out << r.Err;
        EXPECT_NE(r.Err.find(what), std::string::npos) << r.Err;
        EXPECT_EQ(StoredText(), before) << "nothing stored";
    }

    // corvane --delete name on a terminal that answers answer; returns the exit status and
    // what the terminal showed.
    std::pair<int, std::string> DeleteOnTerminal(const std::string& name,
                                                 const std::string& answer) {
        int master = -1;
        pid_t pid = forkpty(&master, nullptr, nullptr, nullptr);
        if (pid == 0) {
            for (const auto& [k, v] : Env())
                v.empty() ? unsetenv(k.c_str()) : setenv(k.c_str(), v.c_str(), 1);
            const std::string exe = test::CorvaneExecutable();
            execl(exe.c_str(), exe.c_str(), "--delete", name.c_str(), nullptr);
            _exit(127);
        }
        std::string shown;
        char buf[256];
        // The question comes first, then the answer is typed.
        while (shown.find("[y/N]") == std::string::npos) {
            ssize_t n = read(master, buf, sizeof buf);
            if (n <= 0) break;
            shown.append(buf, static_cast<size_t>(n));
        }
        const std::string typed = answer + "\n";
        EXPECT_EQ(write(master, typed.data(), typed.size()), static_cast<ssize_t>(typed.size()));
        for (ssize_t n; (n = read(master, buf, sizeof buf)) > 0;)
            shown.append(buf, static_cast<size_t>(n));
        int status = -1;
        waitpid(pid, &status, 0);
        close(master);
        return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, shown};
    }
};

TEST_F(ProfileCommands, AScriptCreatesShowsChangesRunsRenamesAndDeletesAProfile) {
    left.WriteFile("a.txt", "A", kNew);
    left.WriteFile("pics/b.jpg", "BB", kNew);
    left.WriteFile("c.doc", "not included", kNew);
    right.WriteFile("old.txt", "obsolete", kOld);

    EXPECT_EQ(Corvane({"--list"}).Out, "");

    // Created with the values of a first start, then the given ones.
    auto made = Corvane({"--set", "Photos", "LeftPath=" + left.Root() + "  ",
                         "RightPath=" + right.Root(), "RightToLeft=no", "ExactMirror=1",
                         "UA_DeleteFiles=TRUE", "FileMasks=*.txt;*.jpg", "Unattended=yes"});
    ASSERT_EQ(made.Status, 0) << made.Err;
    EXPECT_EQ(made.Out, "");
    EXPECT_EQ(Corvane({"--list"}).Out, "Photos\n");
    auto shown = Corvane({"--show", "Photos"});
    ASSERT_EQ(shown.Status, 0) << shown.Err;
    auto f = Fields(shown.Out);
    EXPECT_EQ(f["LeftPath"], left.Root()) << "trimmed as the edit page trims";
    EXPECT_EQ(f["RightPath"], right.Root());
    EXPECT_EQ(f["FileMasks"], "*.txt;*.jpg");
    EXPECT_EQ(f["ExcludeMasks"], "(none)");
    EXPECT_EQ(f["LeftToRight"], "yes");
    EXPECT_EQ(f["RightToLeft"], "no");
    EXPECT_EQ(f["ExactMirror"], "yes");
    EXPECT_EQ(f["UA_DeleteFiles"], "yes");
    EXPECT_EQ(f["Subfolders"], "yes");
    EXPECT_EQ(f["WaitMins"], "10");
    EXPECT_EQ(f["RepeatTimes"], "5");
    EXPECT_EQ(f["SymLinks"], "0");
    EXPECT_EQ(f["VersionsFolder"], "Older");
    EXPECT_EQ(f["Scheduled"], "no");
    EXPECT_EQ(f["LastRun"], "");
    EXPECT_EQ(f["LastRunResult"], "");
    EXPECT_EQ(f["BaseFolderItems"], "");
    EXPECT_EQ(f.size(), 45u) << "43 record fields and 2 side entries";
    {
        // The window's five entries, the record decoding to what --show printed.
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        tProfile p;
        ASSERT_TRUE(DecodeOptions(p, store.Read("opt_Photos", "Profiles")));
        EXPECT_EQ(store.Read("opt_Photos", "Profiles").size(), OptionRecordLength);
        EXPECT_EQ(p.LeftPath, left.Root());
        EXPECT_TRUE(p.ExactMirror && p.LeftToRight && !p.RightToLeft && p.Unattended);
        EXPECT_EQ(store.Read("msk_Photos", "FileMasks"), "*.txt;*.jpg");
        EXPECT_EQ(store.Read("xcl_Photos", "ExcludeMasks"), "(none)");
        EXPECT_TRUE(store.Has("bfs_Photos", "BaseFolderItems"));
        EXPECT_TRUE(store.Has("rep_Photos", "Reports"));
    }

    // Errors: exit 2, a message naming the problem, nothing stored.
    ExpectRefused({"--set", "Photos", "Days=3", "Colour=blue"}, "unknown field \"Colour\"");
    ExpectRefused({"--set", "Photos", "exactmirror=no"}, "did you mean ExactMirror?");
    ExpectRefused({"--set", "Photos", "Days=-1"}, "Days takes a whole number from 0 to 9999");
    ExpectRefused({"--set", "Photos", "Days=10000"}, "Days");
    ExpectRefused({"--set", "Photos", "SymLinks=3"}, "SymLinks");
    ExpectRefused({"--set", "Photos", "Wait=maybe"}, "Wait takes yes or no");
    ExpectRefused({"--set", "Photos", "NextRun=31.02.2027 10:00:00"}, "NextRun takes a date");
    ExpectRefused({"--set", "Photos", "NextRun=2027-01-01"}, "DD.MM.YYYY HH:MM:SS");
    ExpectRefused({"--set", "Photos", "LeftPath"}, "is not Field=value");
    ExpectRefused({"--set", "Photos", "VersionsFolder=a/b"}, "VersionsFolder cannot contain");
    ExpectRefused({"--set", "Photos", "VolumeLabel=BACKUP"}, "VolumeLabel cannot be set");
    ExpectRefused({"--set", "Photos", "LeftPath=" + std::string(256, 'x')}, "at most 255");
    ExpectRefused({"--set", "Photos", "LastRunResult=two\nlines"}, "line break");
    ExpectRefused({"--set", "Photos", "MultipleVersions=yes", "MaxVersions=0"}, "MaxVersions");
    // An exact mirror with both directions is what the window never stores.
    ExpectRefused({"--set", "Photos", "RightToLeft=yes"}, "ExactMirror needs a single direction");
    ExpectRefused({"--set", "New", "ExactMirror=yes"}, "ExactMirror needs a single direction");
    ExpectRefused({"--set", "a=b", "Days=2"}, "cannot contain \"=\"");
    ExpectRefused({"--set", " Photos", "Days=2"}, "cannot begin or end with a blank");
    ExpectRefused({"--show", "Nobody"}, "no stored profile named \"Nobody\"");
    EXPECT_EQ(Corvane({"--list"}).Out, "Photos\n");

    // What --show prints, --set reads back: a copy shows the same fields.
    std::vector<std::string> copy = {"--set", "Copy"};
    for (const auto& line : Lines(shown.Out)) copy.push_back(line);
    auto copied = Corvane(copy);
    ASSERT_EQ(copied.Status, 0) << copied.Err;
    EXPECT_EQ(Corvane({"--show", "Copy"}).Out, shown.Out);

    // Scheduled with a next run that has passed: moved forward by whole repeat intervals,
    // as ticking "Next Run:" does.
    const tDateTime now = NowDateTime();
    const tDateTime given = std::floor(now) - 1 + 8.0 / 24; // yesterday 08:00:00
    auto scheduled = Corvane({"--set", "Photos", "Days=0", "Hours=2", "Scheduled=yes",
                              "NextRun=" + DateText10(given) + " 08:00:00"});
    ASSERT_EQ(scheduled.Status, 0) << scheduled.Err;
    EXPECT_NE(scheduled.Out.find("Next run moved forward"), std::string::npos);
    f = Show("Photos");
    EXPECT_EQ(f["Scheduled"], "yes");
    auto next = ParseDateTime(f["NextRun"]);
    ASSERT_TRUE(next.has_value());
    EXPECT_GT(*next, now);
    EXPECT_LE(*next, now + 2.0 / 24 + 20.0 / 86400);
    const double steps = (*next - given) / (2.0 / 24);
    EXPECT_NEAR(steps, std::round(steps), 1e-6) << "whole two-hour steps from 08:00";
    // A next run ahead stays where it is; unticking keeps the date.
    ASSERT_EQ(Corvane({"--set", "Photos", "Scheduled=no"}).Status, 0);
    f = Show("Photos");
    EXPECT_EQ(f["Scheduled"], "no");
    EXPECT_EQ(ParseDateTime(f["NextRun"]), next);

    // The stored profile runs as the window's would: masks, mirror deletion, the result.
    auto run = Corvane({"--run", "Photos"});
    EXPECT_EQ(run.Status, 0) << run.Err;
    EXPECT_EQ(run.Out, "2 copied, 1 deleted\n");
    EXPECT_EQ(right.List(), (std::vector<std::string>{"a.txt", "pics/", "pics/b.jpg"}));
    EXPECT_EQ(right.ReadFile("pics/b.jpg"), "BB");
    f = Show("Photos");
    EXPECT_EQ(f["LastRunResult"], "2 copied, 1 deleted");
    EXPECT_TRUE(ParseDateTime(f["LastRun"]).has_value()) << f["LastRun"];
    const std::string afterRun = Corvane({"--show", "Photos"}).Out;

    // Renamed: every entry moves, to the end of the list; names in use are refused.
    ExpectRefused({"--rename", "Photos", "Copy"}, "exists already");
    ExpectRefused({"--rename", "Nobody", "Other"}, "no stored profile named \"Nobody\"");
    ExpectRefused({"--rename", "Photos", "new]"}, "cannot contain");
    auto renamed = Corvane({"--rename", "Photos", "Pics 2026"});
    ASSERT_EQ(renamed.Status, 0) << renamed.Err;
    EXPECT_EQ(Corvane({"--list"}).Out, "Copy\nPics 2026\n");
    EXPECT_EQ(Corvane({"--show", "Pics 2026"}).Out, afterRun);
    EXPECT_EQ(Corvane({"--show", "Photos"}).Status, 2);
    EXPECT_EQ(StoredText().find("Photos"), std::string::npos) << StoredText();

    // Deleted: asked on a terminal, refused without one, done with --yes.
    ExpectRefused({"--delete", "Pics 2026"}, "confirm with --yes");
    auto [no, askedNo] = DeleteOnTerminal("Pics 2026", "n");
    EXPECT_EQ(no, 2);
    EXPECT_NE(askedNo.find("Delete profile \"Pics 2026\" ? [y/N]"), std::string::npos) << askedNo;
    EXPECT_EQ(Corvane({"--list"}).Out, "Copy\nPics 2026\n");
    auto [yes, askedYes] = DeleteOnTerminal("Pics 2026", "y");
    EXPECT_EQ(yes, 0) << askedYes;
    EXPECT_EQ(Corvane({"--list"}).Out, "Copy\n");
    EXPECT_EQ(StoredText().find("Pics 2026"), std::string::npos) << StoredText();
    auto deleted = Corvane({"--delete", "--yes", "Copy"});
    EXPECT_EQ(deleted.Status, 0) << deleted.Err;
    EXPECT_EQ(Corvane({"--list"}).Out, "");
    ExpectRefused({"--delete", "Copy", "--yes"}, "no stored profile named \"Copy\"");
}

TEST_F(ProfileCommands, AProfileUnderWayIsNotChanged) {
    ASSERT_EQ(Corvane({"--set", "Busy", "LeftPath=" + left.Root(), "RightPath=" + right.Root()})
                  .Status,
              0);
    const std::string before = StoredText();
    HeldLock running("Busy", home.Path(".CorvaneX"), runtime.Root());
    ASSERT_TRUE(running.Held());
    // The run would store its own copy of the profile when it ends: the change would be lost.
    for (auto args : {std::vector<std::string>{"--set", "Busy", "Days=2"},
                      std::vector<std::string>{"--rename", "Busy", "Idle"},
                      std::vector<std::string>{"--delete", "Busy", "--yes"}}) {
        auto r = Corvane(args);
        EXPECT_EQ(r.Status, 1) << args[0];
        EXPECT_NE(r.Err.find("\"Busy\" is being run"), std::string::npos) << r.Err;
    }
    EXPECT_EQ(StoredText(), before);
}

TEST_F(ProfileCommands, RunLocksLiveInTheRuntimeFolder) {
    left.WriteFile("a.txt", "A", kNew);
    TempTree otherHome;
    for (const auto& h : {home.Root(), otherHome.Root()}) {
        auto r = RunCorvane({"--set", "P", "LeftPath=" + left.Root(), "RightPath=" + right.Root(),
                             "RightToLeft=no"},
                            {{"HOME", h}, {"XDG_RUNTIME_DIR", runtime.Root()}});
        ASSERT_EQ(r.Status, 0) << r.Err;
    }
    {
        HeldLock running("P", home.Path(".CorvaneX"), runtime.Root());
        ASSERT_TRUE(running.Held());
        auto busy = Corvane({"--run", "P"});
        EXPECT_EQ(busy.Status, 1);
        EXPECT_EQ(busy.Out, "Profile is already running: nothing done\n");
        // The same name in another preferences file is another profile.
        auto other = RunCorvane({"--run", "P"},
                                {{"HOME", otherHome.Root()}, {"XDG_RUNTIME_DIR", runtime.Root()}});
        EXPECT_EQ(other.Status, 0) << other.Err;
        // The locks are in the runtime folder, private to the user; none in the home folder.
        std::vector<std::string> locks = runtime.List("corvane");
        ASSERT_EQ(locks.size(), 2u);
        for (const auto& l : locks) EXPECT_EQ(l.rfind("run-P-", 0), 0u) << l;
        EXPECT_EQ(runtime.Mode("corvane"), 0700u);
        for (const auto& h : {&home, &otherHome})
            for (const auto& item : h->List())
                EXPECT_EQ(item.find(".lock"), std::string::npos) << item;
    }
    // Without a runtime folder the locks lie beside the preferences file, as before.
    struct stat st;
    if (stat(("/run/user/" + std::to_string(geteuid())).c_str(), &st) == 0)
        GTEST_SKIP() << "this machine has a login session folder /run/user/" << geteuid()
                     << ", which stands in for an unset XDG_RUNTIME_DIR";
    HeldLock running("P", home.Path(".CorvaneX"), "");
    ASSERT_TRUE(running.Held());
    auto busy = RunCorvane({"--run", "P"}, {{"HOME", home.Root()}, {"XDG_RUNTIME_DIR", ""}});
    EXPECT_EQ(busy.Status, 1) << busy.Out << busy.Err;
    bool beside = false;
    for (const auto& item : home.List()) beside |= item.rfind(".CorvaneX.run-P-", 0) == 0;
    EXPECT_TRUE(beside);
}

} // namespace
