// Whole runs through the real corvane executable: a preferences file in a temporary HOME,
// real trees, and the trees and the stored report checked afterwards.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/RunLock.h"
#include "support/Process.h"
#include "support/TempTree.h"

#include <csignal>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::RunCorvane;
using corvane::test::TempTree;

namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;

class HeadlessRun : public ::testing::Test {
protected:
    TempTree home, left, right;

    tProfile NewProfile(const std::string& name) {
        tProfile p;
        SetInitialValues(p);
        p.Name = name;
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        return p;
    }

    void Store(const tProfile& p) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        store.Write("opt_" + p.Name, EncodeOptions(p), "Profiles");
        store.Write("bfs_" + p.Name, p.BaseFolderItems, "BaseFolderItems");
        store.Write("msk_" + p.Name, p.FileMasks, "FileMasks");
        store.Write("xcl_" + p.Name, p.ExcludeMasks, "ExcludeMasks");
        store.Write("rep_" + p.Name, p.LastRunResult, "Reports");
        store.Write("Logging", "0", "Main");
        ASSERT_EQ(store.Flush(), "");
    }

    // Mirrors that delete most of a small side: no limit on deletions (it has its own test).
    void NoDeleteLimit() {
        tPreferences store = Stored();
        store.Write("DeleteLimit", "100", "Main");
        ASSERT_EQ(store.Flush(), "");
    }

    tPreferences Stored() {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        return store;
    }

    test::ProcessResult Corvane(const std::vector<std::string>& args) {
        return RunCorvane(args, {{"HOME", home.Root()}});
    }

    // Files below both roots are equal in contents, modification time, mode and link target.
    void ExpectSameTrees() {
        auto names = left.List();
        ASSERT_EQ(names, right.List());
        for (const auto& n : names) {
            if (n.back() == '/') continue;
            SCOPED_TRACE(n);
            ASSERT_EQ(left.IsLink(n), right.IsLink(n));
            if (left.IsLink(n)) continue;
            EXPECT_EQ(left.ReadFile(n), right.ReadFile(n));
            EXPECT_EQ(left.Time(n), right.Time(n));
            EXPECT_EQ(left.Mode(n), right.Mode(n));
        }
    }
};

TEST_F(HeadlessRun, TwoWaySyncGivesEachSideTheOthersNewFiles) {
    left.WriteFile("only-left.txt", "L", kOld);
    left.WriteFile("docs/both.txt", "newer on the left", kNew);
    right.WriteFile("docs/both.txt", "old", kOld);
    right.WriteFile("pics/only-right.jpg", "R", kOld);
    right.WriteFile("same.txt", "same", kOld);
    left.WriteFile("same.txt", "same", kOld);
    Store(NewProfile("two-way"));

    auto r = Corvane({"--run", "two-way"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "3 copied\n");
    ExpectSameTrees();
    EXPECT_EQ(right.ReadFile("docs/both.txt"), "newer on the left");

    tPreferences store = Stored();
    EXPECT_EQ(store.Read("rep_two-way", "Reports"), "3 copied");
    tProfile back;
    ASSERT_TRUE(DecodeOptions(back, store.Read("opt_two-way", "Profiles")));
    EXPECT_GT(back.LastRun, NowDateTime() - 1.0 / 24) << "LastRun stored with the record";

    auto again = Corvane({"--run", "two-way"});
    EXPECT_EQ(again.Status, 0);
    EXPECT_EQ(again.Out, "Nothing to be done\n");
    EXPECT_EQ(Stored().Read("rep_two-way", "Reports"), "Nothing to be done");
}

TEST_F(HeadlessRun, ExactMirrorMakesTheRightTreeEqualTheLeft) {
    left.WriteFile("a.txt", "model a", kOld);
    left.WriteFile("sub/b.txt", "model b", kOld);
    left.SetMode("sub/b.txt", 0640);
    left.MakeLink("link-to-a", "a.txt");
    left.WriteFile("sub/deeper/c.bin", std::string(200000, 'c'), kNew);
    right.WriteFile("a.txt", "newer on the mirror side", kNew);
    right.WriteFile("extra.txt", "not in the model", kOld);
    right.WriteFile("sub/extra2.txt", "not in the model", kOld);
    tProfile p = NewProfile("mirror");
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.SymLinks = 1;
    p.UA_OverwriteNewer = true;
    p.UA_DeleteFiles = true;
    p.Unattended = true; // dangerous: a forced run must not ask
    Store(p);
    NoDeleteLimit();

    auto r = Corvane({"--run", "mirror"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "4 copied, 2 deleted\n");
    EXPECT_EQ(r.Err.find("->"), std::string::npos) << "no question was answered: " << r.Err;
    ExpectSameTrees();
    ASSERT_TRUE(right.IsLink("link-to-a"));
}

TEST_F(HeadlessRun, MovedFilesAreMovedOnTheMirrorSide) {
    std::string big(50000, 'm');
    left.WriteFile("new/place/photo.jpg", big, kOld);
    right.WriteFile("old/photo.jpg", big, kOld);
    tProfile p = NewProfile("moves");
    p.RightToLeft = false;
    Store(p);
    struct stat before;
    ASSERT_EQ(stat(right.Path("old/photo.jpg").c_str(), &before), 0);

    auto r = Corvane({"--run", "moves"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "0 copied, 1 moved\n");
    struct stat after;
    ASSERT_EQ(stat(right.Path("new/place/photo.jpg").c_str(), &after), 0);
    EXPECT_EQ(after.st_ino, before.st_ino) << "carried out as a move, not a copy";
    EXPECT_FALSE(right.Exists("old/photo.jpg"));
    EXPECT_FALSE(right.Exists("old")) << "the emptied folder is removed";
}

TEST_F(HeadlessRun, MultipleVersionsAreKeptOverThreeRuns) {
    tProfile p = NewProfile("versions");
    p.RightToLeft = false;
    p.MultipleVersions = true;
    p.MaxVersions = 2;
    Store(p);
    for (int run = 1; run <= 3; ++run) {
        left.WriteFile("report.doc", "version " + std::to_string(run), kOld + run * 100);
        auto r = Corvane({"--run", "versions"});
        ASSERT_EQ(r.Status, 0) << r.Err;
        ASSERT_EQ(r.Out, "1 copied\n");
    }
    EXPECT_EQ(right.ReadFile("report.doc"), "version 3");
    EXPECT_EQ(right.ReadFile("report.$1$.doc"), "version 2");
    EXPECT_EQ(right.ReadFile("report.$2$.doc"), "version 1");
    EXPECT_EQ(left.List(), std::vector<std::string>{"report.doc"}) << "versions stay where they are";
}

TEST_F(HeadlessRun, InaccessibleBaseFolderChangesNothing) {
    right.WriteFile("keep.txt", "keep", kOld);
    tProfile p = NewProfile("gone");
    p.LeftPath = left.Path("does/not/exist");
    Store(p);
    auto r = Corvane({"--run", "gone"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "can't access left path\n");
    EXPECT_FALSE(left.Exists("does")) << "an unattended run does not create the folder";
    EXPECT_EQ(right.List(), std::vector<std::string>{"keep.txt"});
    EXPECT_EQ(Stored().Read("rep_gone", "Reports"), "can't access left path");

    auto plan = Corvane({"--plan", "gone"});
    EXPECT_EQ(plan.Status, 1);
    EXPECT_EQ(plan.Err, "can't access left path\n");
}

TEST_F(HeadlessRun, EmptyModelSideDeletesNothing) {
    const std::vector<std::string> backup{"backup/", "backup/1.txt", "backup/2.txt"};
    right.WriteFile("backup/1.txt", "precious", kOld);
    right.WriteFile("backup/2.txt", "precious", kOld);
    tProfile p = NewProfile("unmounted");
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    p.ExcludeMasks = "*.tmp";
    Store(p);
    NoDeleteLimit();
    auto expectRefused = [&](const std::string& what) {
        SCOPED_TRACE(what);
        auto r = Corvane({"--run", "unmounted"});
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_EQ(r.Out, "Model side is empty: nothing deleted\n");
        EXPECT_EQ(right.List(), backup);
        EXPECT_EQ(Stored().Read("rep_unmounted", "Reports"), "Model side is empty: nothing deleted");
    };
    expectRefused("nothing on the model side");

    // A freshly formatted drive: only folders.
    left.MakeFolder("lost+found");
    left.MakeFolder("photos/2026");
    expectRefused("only folders");
    // Items the run leaves out do not make the model side hold anything.
    left.WriteFile(".hidden", "hidden files are not processed", kOld);
    expectRefused("a hidden file");
    left.WriteFile("photos/scratch.tmp", "excluded by the masks", kOld);
    expectRefused("an excluded file");
    left.WriteFile("photos/2026/a.$1$.jpg", "an old version", kOld);
    expectRefused("an old version");
    EXPECT_FALSE(right.Exists("lost+found")) << "nothing at all was executed";

    // One real file: the mirror is made as planned.
    left.WriteFile("photos/2026/a.jpg", "a", kOld);
    auto r = Corvane({"--run", "unmounted"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1 copied, 2 deleted\n");
    EXPECT_FALSE(right.Exists("backup/1.txt"));
    EXPECT_EQ(right.ReadFile("photos/2026/a.jpg"), "a");
}

TEST_F(HeadlessRun, EmptyModelOnTheRightDeletesNothingOnTheLeft) {
    left.WriteFile("work/report.doc", "precious", kOld);
    right.MakeFolder("lost+found");
    tProfile p = NewProfile("restore");
    p.LeftToRight = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    Store(p);
    auto r = Corvane({"--run", "restore"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, "Model side is empty: nothing deleted\n");
    EXPECT_EQ(left.List(), (std::vector<std::string>{"work/", "work/report.doc"}));
}

TEST_F(HeadlessRun, RunThatWouldDeleteMoreThanTheLimitDoesNothing) {
    std::vector<std::string> eight;
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "f" + std::to_string(i) + ".txt";
        right.WriteFile(name, "backed up", kOld);
        eight.push_back(name);
    }
    for (int i = 1; i <= 3; ++i)
        left.WriteFile("f" + std::to_string(i) + ".txt", "backed up", kOld);
    left.WriteFile("new.txt", "new", kOld);
    // Left out by the masks on both sides: not counted.
    left.WriteFile("a.tmp", "scratch", kOld);
    right.WriteFile("b.tmp", "scratch", kOld);
    eight.insert(eight.begin(), "b.tmp");
    tProfile p = NewProfile("backup");
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    p.ExcludeMasks = "*.tmp";
    Store(p);

    const std::string refusal =
        "Would delete 5 of 8 files (62%), more than the 50% allowed: nothing done";
    auto r = Corvane({"--run", "backup"});
    EXPECT_EQ(r.Status, 1) << r.Err;
    EXPECT_EQ(r.Out, refusal + "\n");
    EXPECT_EQ(right.List(), eight) << "nothing at all was executed";
    EXPECT_EQ(Stored().Read("rep_backup", "Reports"), refusal);

    // A side of 8 files may lose 4.
    left.WriteFile("f4.txt", "backed up", kOld);
    r = Corvane({"--run", "backup"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1 copied, 4 deleted\n");
    EXPECT_EQ(right.List(), (std::vector<std::string>{"b.tmp", "f1.txt", "f2.txt", "f3.txt",
                                                      "f4.txt", "new.txt"}));

    // 100 turns the limit off: 4 of 5 go.
    for (const char* name : {"f1.txt", "f2.txt", "f3.txt", "f4.txt"})
        ASSERT_EQ(unlink(left.Path(name).c_str()), 0);
    tPreferences store(home.Path(".CorvaneX"));
    store.Load();
    store.Write("DeleteLimit", "100", "Main");
    ASSERT_EQ(store.Flush(), "");
    r = Corvane({"--run", "backup"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "0 copied, 4 deleted\n");
    EXPECT_EQ(right.List(), (std::vector<std::string>{"b.tmp", "new.txt"}));
}

TEST_F(HeadlessRun, OverlappingBaseFoldersAreRefused) {
    left.WriteFile("a.txt", "a", kOld);
    tProfile p = NewProfile("nested");
    p.RightPath = left.Path("backup");
    left.MakeFolder("backup");
    Store(p);
    auto r = Corvane({"--run", "nested"});
    EXPECT_EQ(r.Status, 1);
    EXPECT_EQ(r.Out, "Left and right paths overlap\n");
    EXPECT_EQ(left.List(), (std::vector<std::string>{"a.txt", "backup/"}));
    EXPECT_EQ(Stored().Read("rep_nested", "Reports"), "Left and right paths overlap");
}

TEST_F(HeadlessRun, PlanPrintsTheGridAndChangesNothing) {
    left.WriteFile("new.txt", std::string(2048, 'n'), kNew);
    left.WriteFile("sub/same.txt", "same", kOld);
    right.WriteFile("sub/same.txt", "same", kOld);
    right.WriteFile("right-only.txt", "r", kOld);
    tProfile p = NewProfile("plan");
    p.RightToLeft = false;
    p.ExactMirror = true;
    Store(p);
    auto before = right.List();

    auto r = Corvane({"--plan", "plan"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    std::string newDate = DateText10(UnixToDateTime(kNew)) + " " + TimeText8(UnixToDateTime(kNew));
    std::string oldDate = DateText10(UnixToDateTime(kOld)) + " " + TimeText8(UnixToDateTime(kOld));
    EXPECT_EQ(r.Out, "1\tnew.txt\t" + newDate + "\t2.000 kB\t---->\t\t\n"
                     "2\tright-only.txt\t\t\tDELETE\t" + oldDate + "\t0.001 kB\n"
                     "\n"
                     "Copy To The Right: 1 (2.0kB)\n"
                     "Copy To The Left: 0 (0.0kB)\n"
                     "Move: 0 (0.0kB)\n"
                     "To Delete: 1 (0.0kB)\n"
                     "Files Shown: 2 (2.0kB)\n");
    EXPECT_EQ(right.List(), before);
}

TEST_F(HeadlessRun, RunsOfTwoProfilesAtOnceKeepBothResults) {
    TempTree left2, right2;
    tProfile a = NewProfile("a");
    a.RightToLeft = false;
    Store(a);
    tProfile b = NewProfile("b");
    b.LeftPath = left2.Root();
    b.RightPath = right2.Root();
    b.RightToLeft = false;
    Store(b);
    for (int round = 1; round <= 4; ++round) {
        SCOPED_TRACE(round);
        std::string name = "file" + std::to_string(round) + ".txt";
        left.WriteFile(name, "a", kOld);
        left2.WriteFile(name, "b", kOld);
        double before = NowDateTime();
        pid_t pid = fork();
        if (pid == 0) _exit(Corvane({"--run", "b"}).Status);
        auto ra = Corvane({"--run", "a"});
        int status = -1;
        ASSERT_EQ(waitpid(pid, &status, 0), pid);
        ASSERT_EQ(ra.Status, 0) << ra.Err;
        ASSERT_TRUE(WIFEXITED(status));
        ASSERT_EQ(WEXITSTATUS(status), 0);

        tPreferences store = Stored();
        EXPECT_EQ(store.Read("rep_a", "Reports"), "1 copied");
        EXPECT_EQ(store.Read("rep_b", "Reports"), "1 copied");
        for (const char* name : {"a", "b"}) {
            tProfile back;
            ASSERT_TRUE(DecodeOptions(back, store.Read(std::string("opt_") + name, "Profiles")));
            EXPECT_GE(back.LastRun, before - 2.0 / 86400) << name << ": its last run is kept";
        }
        store.Write("rep_a", "", "Reports");
        store.Write("rep_b", "", "Reports");
        ASSERT_EQ(store.Flush(), "");
    }
    EXPECT_EQ(right2.ReadFile("file4.txt"), "b");
}

TEST_F(HeadlessRun, ProfileSavedWhileARunGoesOnSurvivesBothFlushes) {
    left.WriteFile("new.txt", "n", kOld);
    tProfile p = NewProfile("running");
    p.RightToLeft = false;
    Store(p);
    // A window has the store open, and saves a new profile after a run ended elsewhere.
    tPreferences window(home.Path(".CorvaneX"));
    window.Load();
    auto r = Corvane({"--run", "running"});
    ASSERT_EQ(r.Status, 0) << r.Err;
    window.Write("opt_saved", EncodeOptions(NewProfile("saved")), "Profiles");
    window.Write("rep_saved", "", "Reports");
    ASSERT_EQ(window.Flush(), "");
    EXPECT_EQ(window.Read("rep_running", "Reports"), "1 copied") << "the window sees the run";

    tPreferences store = Stored();
    EXPECT_EQ(store.Read("rep_running", "Reports"), "1 copied");
    EXPECT_TRUE(store.Has("opt_saved", "Profiles"));
    // And the other way: a run whose flush comes after the save keeps the saved profile.
    left.WriteFile("newer.txt", "n", kOld);
    tPreferences window2(home.Path(".CorvaneX"));
    window2.Load();
    window2.Write("opt_saved2", EncodeOptions(NewProfile("saved2")), "Profiles");
    ASSERT_EQ(window2.Flush(), "");
    EXPECT_EQ(Corvane({"--run", "running"}).Status, 0);
    store = Stored();
    EXPECT_TRUE(store.Has("opt_saved", "Profiles"));
    EXPECT_TRUE(store.Has("opt_saved2", "Profiles"));
    EXPECT_EQ(store.Read("rep_running", "Reports"), "1 copied");
}

TEST_F(HeadlessRun, SecondRunOfTheSameProfileTouchesNothing) {
    left.WriteFile("new.txt", "n", kOld);
    right.WriteFile("obsolete.txt", "o", kOld);
    tProfile p = NewProfile("busy");
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    p.LastRunResult = "earlier result";
    Store(p);
    TempTree otherLeft, otherRight;
    otherLeft.WriteFile("o.txt", "o", kOld);
    tProfile other = NewProfile("other");
    other.LeftPath = otherLeft.Root();
    other.RightPath = otherRight.Root();
    Store(other);
    NoDeleteLimit();
    const std::string before = home.ReadFile(".CorvaneX");
    {
        // Another process is running the profile.
        int ready[2], release[2];
        ASSERT_EQ(pipe(ready), 0);
        ASSERT_EQ(pipe(release), 0);
        pid_t pid = fork();
        if (pid == 0) {
            tProfileRunLock lock("busy", home.Path(".CorvaneX"));
            char c = lock.Busy() ? 'b' : 'l';
            if (write(ready[1], &c, 1) != 1) _exit(1);
            if (read(release[0], &c, 1) != 1) _exit(1);
            _exit(0);
        }
        char c = 0;
        ASSERT_EQ(read(ready[0], &c, 1), 1);
        ASSERT_EQ(c, 'l');

        auto r = Corvane({"--run", "busy"});
        EXPECT_EQ(r.Status, 1) << r.Err;
        EXPECT_EQ(r.Out, "Profile is already running: nothing done\n");
        EXPECT_EQ(left.List(), std::vector<std::string>{"new.txt"});
        EXPECT_EQ(right.List(), std::vector<std::string>{"obsolete.txt"});
        EXPECT_EQ(home.ReadFile(".CorvaneX"), before) << "nothing stored";
        // Other profiles are not held up.
        auto o = Corvane({"--run", "other"});
        EXPECT_EQ(o.Status, 0) << o.Err;
        EXPECT_EQ(o.Out, "1 copied\n");

        ASSERT_EQ(write(release[1], "x", 1), 1);
        int status = -1;
        waitpid(pid, &status, 0);
        for (int fd : {ready[0], ready[1], release[0], release[1]}) close(fd);
    }
    auto r = Corvane({"--run", "busy"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "1 copied, 1 deleted\n");
    EXPECT_EQ(right.List(), std::vector<std::string>{"new.txt"});
}

TEST_F(HeadlessRun, UnreadableFolderFailsTheRunEvenWithNothingElseToDo) {
    left.WriteFile("same.txt", "same", kOld);
    right.WriteFile("same.txt", "same", kOld);
    left.WriteFile("private/mine.txt", "unreadable for the run", kOld);
    right.WriteFile("private/mine.txt", "the mirror's copy", kOld);
    left.SetMode("private", 0);
    tProfile p = NewProfile("locked");
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    Store(p);
    home.SetMode(".CorvaneX", 0666);
    // As an ordinary user, so that the folder really cannot be read.
    const std::string exe = test::CopyOfCorvane(home.Root());
    int rc = test::RunAsNobody([&] {
        auto r = test::RunCorvaneFrom(exe, {"--run", "locked"}, {{"HOME", home.Root()}});
        home.WriteFile("out", r.Out);
        home.WriteFile("err", r.Err);
        return r.Status;
    });
    left.SetMode("private", 0755);
    if (rc < 0) GTEST_SKIP() << "cannot switch to an unprivileged user";
    EXPECT_EQ(rc, 3) << home.ReadFile("err");
    EXPECT_EQ(home.ReadFile("out"), "0 copied, 1 failed\n");
    EXPECT_EQ(home.ReadFile("err"), "/private (cannot read folder)\n");
    EXPECT_EQ(right.ReadFile("private/mine.txt"), "the mirror's copy");
    EXPECT_EQ(Stored().Read("rep_locked", "Reports"), "0 copied, 1 failed");
}

TEST_F(HeadlessRun, ConflictsAreCountedAsFailedAndLeftAlone) {
    left.WriteFile("x/inside.txt", "a folder on the left", kOld);
    right.WriteFile("x", "a file on the right", kOld);
    left.WriteFile("y", "a file on the left", kOld);
    right.MakeFolder("y");
    left.WriteFile("docs/new.txt", "to copy", kOld);
    tProfile p = NewProfile("clash");
    p.RightToLeft = false;
    Store(p);
    // A one-way run's grid does not even show them.
    auto plan = Corvane({"--plan", "clash"});
    ASSERT_EQ(plan.Status, 0) << plan.Err;
    EXPECT_EQ(plan.Out.find("CONFLICT"), std::string::npos) << plan.Out;

    auto r = Corvane({"--run", "clash"});
    EXPECT_EQ(r.Status, 3) << r.Err;
    EXPECT_EQ(r.Out, "1 copied, 2 failed\n");
    EXPECT_EQ(r.Err, "/y (CONFLICT: file on the left, folder on the right; not carried out)\n"
                     "/x (CONFLICT: folder on the left, file on the right; not carried out)\n");
    EXPECT_EQ(right.ReadFile("x"), "a file on the right");
    EXPECT_TRUE(right.IsFolder("y"));
    EXPECT_EQ(right.ReadFile("docs/new.txt"), "to copy");
    EXPECT_EQ(Stored().Read("rep_clash", "Reports"), "1 copied, 2 failed");

    // With nothing else to do the conflicts still fail the run.
    auto again = Corvane({"--run", "clash"});
    EXPECT_EQ(again.Status, 3) << again.Err;
    EXPECT_EQ(again.Out, "0 copied, 2 failed\n");
}

TEST_F(HeadlessRun, ResultThatCannotBeStoredIsNotASuccess) {
    left.WriteFile("a.txt", "a", kOld);
    tProfile p = NewProfile("full");
    p.RightToLeft = false;
    Store(p);
    const std::string before = home.ReadFile(".CorvaneX");
    ASSERT_GT(before.size(), 1200u);
    // A disk that fills up: the run may write 1000 bytes per file, less than the
    // preferences file needs.
    int rc = test::RunInChild([&] {
        std::signal(SIGXFSZ, SIG_IGN);
        rlimit limit;
        getrlimit(RLIMIT_FSIZE, &limit);
        rlimit small = limit;
        small.rlim_cur = 1000;
        setrlimit(RLIMIT_FSIZE, &small);
        auto r = Corvane({"--run", "full"});
        setrlimit(RLIMIT_FSIZE, &limit);
        home.WriteFile("out", r.Out);
        home.WriteFile("err", r.Err);
        return r.Status;
    });
    EXPECT_EQ(rc, 3) << home.ReadFile("err");
    EXPECT_EQ(home.ReadFile("out"), "1 copied\n");
    EXPECT_NE(home.ReadFile("err").find("Cannot write the preferences file " +
                                        home.Path(".CorvaneX")),
              std::string::npos)
        << home.ReadFile("err");
    EXPECT_EQ(right.ReadFile("a.txt"), "a");
    EXPECT_EQ(home.ReadFile(".CorvaneX"), before) << "the old file is kept whole";
    for (const auto& name : home.List())
        EXPECT_EQ(name.find(".tmp-"), std::string::npos) << name << ": no temporary file left";
}

TEST_F(HeadlessRun, LogFolderThatCannotBeUsedIsReportedOnce) {
    left.WriteFile("a.txt", "a", kOld);
    left.WriteFile("b.txt", "b", kOld);
    home.WriteFile("plain-file", "not a folder");
    tProfile p = NewProfile("logged");
    p.RightToLeft = false;
    Store(p);
    auto setLog = [&](const std::string& folder) {
        tPreferences store = Stored();
        store.Write("Logging", "1", "Main");
        store.Write("LogFolder", folder, "Main");
        ASSERT_EQ(store.Flush(), "");
    };
    setLog(home.Path("plain-file/Logs"));
    auto r = Corvane({"--run", "logged"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Out, "2 copied\n");
    EXPECT_EQ(r.Err, "corvane: cannot write the run log in " + home.Path("plain-file/Logs") +
                         ": Not a directory\n");

    // A folder that can be made is no problem, and the log is written there.
    left.WriteFile("c.txt", "c", kOld);
    setLog(home.Path("logs/corvane"));
    r = Corvane({"--run", "logged"});
    EXPECT_EQ(r.Status, 0) << r.Err;
    EXPECT_EQ(r.Err, "");
    EXPECT_NE(home.ReadFile("logs/corvane/crvn.log").find("c.txt"), std::string::npos);
}

TEST_F(HeadlessRun, ListAndUsageErrors) {
    left.WriteFile("item.txt", "an item to test the masks against", kOld);
    Store(NewProfile("first"));
    tProfile bad = NewProfile("bad mask");
    bad.FileMasks = "[abc";
    Store(bad);
    auto list = Corvane({"--list"});
    EXPECT_EQ(list.Status, 0);
    EXPECT_EQ(list.Out, "first\nbad mask\n");

    EXPECT_EQ(Corvane({"--run", "nobody-knows"}).Status, 2);
    EXPECT_EQ(Corvane({"--plan"}).Status, 2);
    auto plan = Corvane({"--plan", "bad mask"});
    EXPECT_EQ(plan.Status, 2);
    EXPECT_NE(plan.Err.find("[abc"), std::string::npos) << plan.Err;
    auto run = Corvane({"--run", "bad mask"});
    EXPECT_EQ(run.Status, 1);
}

} // namespace

TEST_F(HeadlessRun, ProgressFlagWritesPlainProgressLinesToAFile) {
    left.WriteFile("a.txt", std::string(3000, 'a'), kOld);
    left.WriteFile("docs/b.txt", std::string(5000, 'b'), kOld);
    left.WriteFile("docs/c.txt", "c", kOld);
    Store(NewProfile("progress"));

    // Standard error is a pipe here: without the flag it stays quiet.
    auto quiet = Corvane({"--run", "progress"});
    EXPECT_EQ(quiet.Status, 0) << quiet.Err;
    EXPECT_EQ(quiet.Err, "");

    // The flag after the name and before it; each run has one new file to copy.
    int round = 0;
    for (const auto& args : {std::vector<std::string>{"--run", "progress", "--progress"},
                             std::vector<std::string>{"--run", "--progress", "progress"}}) {
        left.WriteFile("new-" + std::to_string(++round) + ".txt", "n", kNew);
        auto r = Corvane(args);
        EXPECT_EQ(r.Status, 0) << r.Err;
        EXPECT_EQ(r.Out, "1 copied\n");
        EXPECT_EQ(r.Err.find('\r'), std::string::npos) << "plain lines: " << r.Err;
        EXPECT_EQ(r.Err.find("\033["), std::string::npos) << r.Err;
        EXPECT_NE(r.Err.find(" of 1 file"), std::string::npos) << "the run's figures: " << r.Err;
        EXPECT_TRUE(r.Err.empty() || r.Err.back() == '\n') << r.Err;
    }
    EXPECT_EQ(Corvane({"--run", "--progress"}).Status, 2) << "a name is needed";
}
