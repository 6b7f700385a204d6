#include "profiles/Preferences.h"
#include "support/TempTree.h"

#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>
#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

class EnvGuard {
public:
    explicit EnvGuard(const char* name) : name_(name) {
        if (const char* v = std::getenv(name)) old_ = v, had_ = true;
    }
    ~EnvGuard() { had_ ? setenv(name_, old_.c_str(), 1) : unsetenv(name_); }

private:
    const char* name_;
    std::string old_;
    bool had_ = false;
};

} // namespace

TEST(Preferences, FileLocationFollowsHome) {
    EnvGuard guard("HOME");
    setenv("HOME", "/home/ann/", 1);
    EXPECT_EQ(PreferencesFileName(), "/home/ann/.CorvaneX");
    setenv("HOME", "/home//ann///", 1);
    EXPECT_EQ(PreferencesFileName(), "/home/ann/.CorvaneX");
    setenv("HOME", "//server/home", 1);
    EXPECT_EQ(PreferencesFileName(), "//server/home/.CorvaneX") << "a leading // survives";
    setenv("HOME", "", 1);
    EXPECT_EQ(PreferencesFileName(), "CorvaneX.ini");
    unsetenv("HOME");
    EXPECT_EQ(PreferencesFileName(), "CorvaneX.ini");
}

TEST(Preferences, ParsingRules) {
    tPreferences p("unused");
    p.Parse("orphan=before any section\n"
            "  [Main]  \n"
            "; a comment=ignored\n"
            "\n"
            "  Logging = 2  \n"
            "NoValue\n"
            "Spaced =   padded value\n"
            "[Other]\n"
            "Key=one\n"
            "[Main]\n"
            "Later=appended to the first Main\n");
    EXPECT_EQ(p.Read("orphan", "Main"), "");
    EXPECT_EQ(p.Read("Logging", "Main"), "2");
    EXPECT_TRUE(p.Has("NoValue", "Main"));
    EXPECT_EQ(p.Read("NoValue", "Main"), "");
    EXPECT_EQ(p.Read("Spaced", "Main"), "padded value");
    EXPECT_FALSE(p.Has("; a comment", "Main"));
    EXPECT_EQ(p.Read("Later", "Main"), "appended to the first Main");
    EXPECT_EQ(p.Text(), "[Main]\nLogging=2\nNoValue=\nSpaced=padded value\n"
                        "Later=appended to the first Main\n\n[Other]\nKey=one\n\n");
}

TEST(Preferences, KeepsOrderOfFirstWritingAndLeadingBlanksOfWrittenValues) {
    TempTree t;
    tPreferences p(t.Path("prefs"));
    EXPECT_TRUE(p.Write("b", "2", "S"));
    EXPECT_TRUE(p.Write("a", "1", "S"));
    EXPECT_TRUE(p.Write("b", "22", "S"));
    EXPECT_TRUE(p.Write("rec", "   starts with blanks", "T"));
    p.Delete("missing", "S");
    ASSERT_EQ(p.Flush(), "");
    EXPECT_EQ(t.ReadFile("prefs"), "[S]\nb=22\na=1\n\n[T]\nrec=   starts with blanks\n\n");

    tPreferences q(t.Path("prefs"));
    q.Load();
    EXPECT_EQ(q.Read("rec", "T"), "   starts with blanks");
    const auto* s = q.Section("S");
    ASSERT_NE(s, nullptr);
    ASSERT_EQ(s->size(), 2u);
    EXPECT_EQ((*s)[0].first, "b");
    q.Delete("b", "S");
    EXPECT_EQ(q.Read("b", "S"), "");
}

TEST(Preferences, RefusesLineBreaksAndKeysItCannotHold) {
    tPreferences p("unused");
    EXPECT_FALSE(p.Write("k", "two\nlines", "S"));
    EXPECT_FALSE(p.Write("k\r", "v", "S"));
    EXPECT_FALSE(p.Write("a=b", "v", "S"));
    EXPECT_FALSE(p.Write(" k", "v", "S"));
    EXPECT_FALSE(p.Write("k", "v", "S]x"));
    EXPECT_EQ(p.Text(), "");
    EXPECT_FALSE(WritePref("k", "v", "S")) << "no store installed";
    EXPECT_EQ(ReadPref("k", "S"), "");
}

TEST(Preferences, MissingFileGivesEmptyDocument) {
    TempTree t;
    tPreferences p(t.Path("none"));
    p.Load();
    EXPECT_EQ(p.Text(), "");
}

TEST(Preferences, FailedFlushLeavesOldFileAndReports) {
    TempTree t;
    t.WriteFile("dir/prefs", "[Main]\nLogging=1\n\n");
    tPreferences p(t.Path("dir/prefs"));
    p.Load();
    p.Write("Logging", "3", "Main");
    t.SetMode("dir", 0555);
    int rc = test::RunAsNobody([&] {
        std::string err = p.Flush();
        return err.empty() ? 1 : (err.find("prefs") != std::string::npos ? 0 : 2);
    });
    t.SetMode("dir", 0755);
    EXPECT_EQ(rc, 0) << "flush into a read-only folder must fail and say so";
    EXPECT_EQ(t.ReadFile("dir/prefs"), "[Main]\nLogging=1\n\n");
    EXPECT_EQ(t.List("dir"), std::vector<std::string>{"prefs"}) << "no temporary file left";
    ASSERT_EQ(p.Flush(), "");
    EXPECT_EQ(t.ReadFile("dir/prefs"), "[Main]\nLogging=3\n\n");
}

TEST(Preferences, FlushKeepsALinkedPreferencesFileALink) {
    TempTree t;
    t.WriteFile("dotfiles/corvane.ini", "[Main]\nLogging=1\n\n");
    t.MakeLink("home/.CorvaneX", "../dotfiles/corvane.ini");
    tPreferences p(t.Path("home/.CorvaneX"));
    p.Load();
    EXPECT_EQ(p.Read("Logging", "Main"), "1");
    p.Write("Logging", "2", "Main");
    ASSERT_EQ(p.Flush(), "");
    EXPECT_TRUE(t.IsLink("home/.CorvaneX"));
    EXPECT_EQ(t.ReadFile("dotfiles/corvane.ini"), "[Main]\nLogging=2\n\n");
    EXPECT_EQ(t.List("dotfiles"), std::vector<std::string>{"corvane.ini"});
}

TEST(Preferences, MainSettingsParsing) {
    tPreferences p("unused");
    SetPrefStore(&p);
    p.Write("BufSize", "abc", "Main");
    EXPECT_EQ(ReadMainSettings().BufSizeKB, 1024);
    p.Write("BufSize", "0", "Main");
    EXPECT_EQ(ReadMainSettings().BufSizeKB, 1);
    p.Write("BufSize", "99999", "Main");
    EXPECT_EQ(ReadMainSettings().BufSizeKB, 10240);
    p.Write("BufSize", "99999999999999999999", "Main");
    EXPECT_EQ(ReadMainSettings().BufSizeKB, 10240);
    p.Write("BufSize", " 64 ", "Main");
    EXPECT_EQ(ReadMainSettings().BufSizeKB, 64);
    p.Write("Logging", "x", "Main");
    p.Write("CurrentTabSheet", "3", "Main");
    tMainSettings s = ReadMainSettings();
    EXPECT_EQ(s.Logging, 0);
    EXPECT_EQ(s.CurrentTabSheet, 3);
    // No LogFolder: the program's own folder + "Logs".
    EXPECT_EQ(s.LogFolder, DefaultLogFolder());
    ASSERT_GE(s.LogFolder.size(), 5u);
    EXPECT_EQ(s.LogFolder.substr(s.LogFolder.size() - 5), "/Logs");
    p.Write("LogFolder", "/var/log/corvane", "Main");
    EXPECT_EQ(ReadMainSettings().LogFolder, "/var/log/corvane");
    SetPrefStore(nullptr);
}

TEST(Preferences, InstalledProgramKeepsItsLogsInTheUsersStateFolder) {
    // The test program's folder belongs to root: for nobody it is what /usr/bin is for an
    // installed program.
    TempTree tree;
    chmod(tree.Root().c_str(), 0777);
    const std::string home = tree.Path("home");
    int status = test::RunAsNobody([&] {
        setenv("HOME", home.c_str(), 1);
        unsetenv("XDG_STATE_HOME");
        if (DefaultLogFolder() != home + "/.local/state/corvane/Logs") return 1;
        setenv("XDG_STATE_HOME", "/var/tmp/state", 1);
        return DefaultLogFolder() == "/var/tmp/state/corvane/Logs" ? 0 : 2;
    });
    EXPECT_EQ(status, 0);
}

TEST(Preferences, WindowPositions) {
    tWindowPos pos{100, 200, 640, 480, 0};
    std::string v = EncodeWindowPos(pos);
    EXPECT_EQ(v, "  100  200  640  480 0");
    tWindowPos back{1, 2, 3, 4, 0};
    ASSERT_TRUE(DecodeWindowPos(v, back));
    EXPECT_EQ(back.Left, 100);
    EXPECT_EQ(back.Top, 200);
    EXPECT_EQ(back.Width, 640);
    EXPECT_EQ(back.Height, 480);

    tWindowPos same{1, 2, 3, 4, 0};
    EXPECT_FALSE(DecodeWindowPos(v.substr(1), same));
    EXPECT_FALSE(DecodeWindowPos(v + " ", same));
    EXPECT_EQ(same.Left, 1);
    // A slice that does not parse leaves its value; a maximized state applies nothing else.
    ASSERT_TRUE(DecodeWindowPos("  abc  200  640  480 0", same));
    EXPECT_EQ(same.Left, 1);
    EXPECT_EQ(same.Top, 200);
    tWindowPos max{7, 7, 7, 7, 0};
    ASSERT_TRUE(DecodeWindowPos("  100  200  640  480 2", max));
    EXPECT_EQ(max.State, 2);
    EXPECT_EQ(max.Left, 7);
}

TEST(Preferences, FlushKeepsWhatAnotherProcessStoredMeanwhile) {
    TempTree t;
    const std::string file = t.Path(".CorvaneX");
    t.WriteFile(".CorvaneX", "[Profiles]\nopt_A=a1\nopt_B=b1\nopt_D=d1\nopt_F=f1\n\n"
                             "[Reports]\nrep_A=r1\n\n");
    t.SetMode(".CorvaneX", 0644);
    const bool root = geteuid() == 0;
    if (root) {
        ASSERT_EQ(chown(file.c_str(), 65534, 65534), 0);
    }
    // What a flush that was killed left behind, and a file that only looks alike.
    t.WriteFile(".CorvaneX.tmp-Ab12Cd", "half a document");
    t.WriteFile(".CorvaneX.tmp-not-one-of-ours", "keep");

    tPreferences mine(file);
    mine.Load();
    mine.Write("rep_A", "r2", "Reports"); // the other process changes it too: mine wins
    mine.Write("opt_E", "e", "Profiles");
    mine.Delete("opt_B", "Profiles"); // the other process changes it: my deletion wins

    // Another process stores its own changes between my Load and my Flush.
    int rc = test::RunInChild([&] {
        tPreferences other(file);
        other.Load();
        other.Write("rep_A", "from the other process", "Reports");
        other.Write("opt_B", "b2", "Profiles");
        other.Write("opt_C", "c", "Profiles");
        other.Write("opt_D", "d2", "Profiles");
        other.Delete("opt_F", "Profiles");
        other.Write("Logging", "2", "Main");
        return other.Flush().empty() ? 0 : 1;
    });
    ASSERT_EQ(rc, 0);
    ASSERT_EQ(mine.Flush(), "");

    tPreferences back(file);
    back.Load();
    EXPECT_EQ(back.Text(), "[Profiles]\nopt_A=a1\nopt_D=d2\nopt_E=e\nopt_C=c\n\n"
                           "[Reports]\nrep_A=r2\n\n"
                           "[Main]\nLogging=2\n\n");
    EXPECT_EQ(mine.Text(), back.Text()) << "the store now holds what the file holds";
    EXPECT_EQ(t.Mode(".CorvaneX"), 0644u);
    struct stat st;
    ASSERT_EQ(stat(file.c_str(), &st), 0);
    if (root) {
        EXPECT_EQ(st.st_uid, 65534u) << "the owner is kept";
    }
    EXPECT_EQ(t.List(), (std::vector<std::string>{".CorvaneX", ".CorvaneX.tmp-not-one-of-ours"}));

    // After a flush my changes start afresh: a later change by the other process to a key
    // I changed before that flush is kept by my next flush.
    rc = test::RunInChild([&] {
        tPreferences other(file);
        other.Load();
        other.Write("rep_A", "r3", "Reports");
        return other.Flush().empty() ? 0 : 1;
    });
    ASSERT_EQ(rc, 0);
    mine.Write("opt_G", "g", "Profiles");
    ASSERT_EQ(mine.Flush(), "");
    back.Load();
    EXPECT_EQ(back.Read("rep_A", "Reports"), "r3");
    EXPECT_EQ(back.Read("opt_G", "Profiles"), "g");
    EXPECT_EQ(back.Read("opt_C", "Profiles"), "c");
}
