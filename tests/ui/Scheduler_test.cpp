// The main window's scheduler, overview and options on a temporary HOME: "/autostart"
// with the real clock and timer, the scheduler page at a fixed moment, the overview's
// runs and scheduling, and the autostart entry.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"
#include "scheduler/Autostart.h"
#include "scheduler/Scheduler.h"
#include "support/TempTree.h"
#include "ui/SyncMain.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QTabWidget>
#include <QTableWidget>
#include <QTest>
#include <cstdlib>
#include <deque>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;
using corvane::test::TempTree;

namespace {

constexpr double kSecond = 1.0 / 86400.0, kHour = 1.0 / 24.0;

class SchedulerWindow : public ::testing::Test {
protected:
    TempTree home;
    std::vector<std::unique_ptr<TempTree>> trees;
    std::unique_ptr<TFSyncMain> w;
    std::vector<std::string> calls;
    std::deque<int> decisions;
    std::vector<std::pair<std::string, std::string>> notified;

    SchedulerWindow() {
        setenv("HOME", home.Root().c_str(), 1);
        setenv("XDG_CONFIG_HOME", home.Path("config").c_str(), 1);
    }
    ~SchedulerWindow() override {
        w.reset();
        unsetenv("XDG_CONFIG_HOME");
    }

    // A left-to-right profile over two fresh trees; the left one holds name + ".txt".
    tProfile Profile(const std::string& name, tDateTime nextRun) {
        auto& left = *trees.emplace_back(std::make_unique<TempTree>());
        auto& right = *trees.emplace_back(std::make_unique<TempTree>());
        left.WriteFile(name + ".txt", name, 1600000000);
        tProfile p;
        SetInitialValues(p);
        p.Name = name;
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        p.RightToLeft = false;
        p.Scheduled = nextRun != 0;
        p.Repeat = false; // the defaults repeat daily
        p.NextRun = nextRun;
        return p;
    }
    TempTree& RightOf(size_t n) { return *trees[2 * n + 1]; }
    void Store(const std::vector<tProfile>& profiles, int tab = 0) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        for (const tProfile& p : profiles) ASSERT_EQ(StoreProfile(store, p), "");
        store.Write("Logging", "0", "Main");
        store.Write("CurrentTabSheet", std::to_string(tab), "Main");
        ASSERT_EQ(store.Flush(), "");
    }
    tProfile OnDisk(const std::string& name) {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        return LoadStoredProfile(store, name).value_or(tProfile{});
    }
    void Open(bool autostart, std::function<tDateTime()> now = {}) {
        w = std::make_unique<TFSyncMain>(autostart);
        if (now) w->Now = now;
        w->Dialogs.Info = [this](std::string_view t) { calls.push_back("Info: " + std::string(t)); };
        w->Dialogs.Decision = [this](std::string_view t) {
            calls.push_back("Decision: " + std::string(t));
            if (decisions.empty()) return 0;
            int a = decisions.front();
            decisions.pop_front();
            return a;
        };
        w->NotifyFailure = [this](const std::string& n, const std::string& r) {
            notified.emplace_back(n, r);
        };
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }
    template <class T = QWidget>
    T* Get(const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) ADD_FAILURE() << "no control " << name;
        return c;
    }
    std::string LabelText(const char* name) { return Get<QLabel>(name)->text().toStdString(); }
    std::string Cell(int row, int col) {
        auto* item = Get<QTableWidget>("grdProfiles")->item(row, col);
        return item ? item->text().toStdString() : "<none>";
    }
    QWidget* Page() { return Get<QTabWidget>("PageControl1")->currentWidget(); }
    void ShowPage(const char* name) {
        Get<QTabWidget>("PageControl1")->setCurrentWidget(Get(name));
    }
    bool Called(const std::string& line) const {
        return std::find(calls.begin(), calls.end(), line) != calls.end();
    }
};

} // namespace

TEST_F(SchedulerWindow, AutostartStartsOnceRunsTheDueProfileAndRefusesTabChanges) {
    const tDateTime due = NowDateTime() + 3 * kSecond;
    tProfile daily = Profile("daily", due);
    daily.Repeat = true;
    daily.Days = 1;
    Store({daily}, 0);
    Open(true);
    EXPECT_EQ(Page(), Get("tsMain")) << "the stored page is shown after the autostart";
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->SchedulerActive() && !w->Scheduler().Rows().empty(); }, 5000));
    ASSERT_TRUE(QTest::qWaitFor([&] { return OnDisk("daily").LastRunResult == "1 copied"; }, 60000))
        << LabelText("lbStatus");
    EXPECT_EQ(RightOf(0).ReadFile("daily.txt"), "daily");
    const tProfile back = OnDisk("daily");
    EXPECT_TRUE(back.Scheduled);
    EXPECT_EQ(DateTimeText(back.NextRun), DateTimeText(due + 1));
    ASSERT_TRUE(QTest::qWaitFor([&] { return w->Scheduler().Next().Known; }, 5000));
    EXPECT_EQ(LabelText("lbStatus"), NextStartText(due + 1));
    EXPECT_EQ(Get<QAbstractButton>("btScheduler")->text(), "&Stop Scheduler");
    EXPECT_FALSE(Get("btExit3")->isEnabled());
    EXPECT_TRUE(notified.empty()) << "a successful run stays quiet";
    // The edit page shows the profile as the run left it.
    EXPECT_NE(LabelText("lbLastRun"), "never");
    EXPECT_EQ(LabelText("lbLastRunResult"), "1 copied");

    ShowPage("tsMultiple");
    EXPECT_TRUE(Called("Info: Please stop the scheduler first"));
    EXPECT_EQ(Page(), Get("tsScheduler"));

    Get<QAbstractButton>("btScheduler")->click();
    EXPECT_FALSE(w->SchedulerActive());
    EXPECT_EQ(LabelText("lbStatus"), "Scheduler is inactive.");
    EXPECT_TRUE(Get("btExit3")->isEnabled());
    ShowPage("tsMain");
    EXPECT_EQ(Page(), Get("tsMain"));
    w.reset();
    EXPECT_EQ(OnDisk("daily").LastRunResult, "1 copied") << "nothing ran a second time";
}

TEST_F(SchedulerWindow, SchedulerPageAtAFixedMoment) {
    tDateTime now = EncodeDateTime({2031, 4, 2, 9, 0, 0});
    const tDateTime due = now + 60 * kSecond;
    tProfile first = Profile("first", due);
    tProfile broken = Profile("broken", due);
    broken.LeftPath = home.Path("not-there");
    broken.Repeat = true;
    broken.RepeatMode = 0;
    tProfile missed = Profile("missed", now - kHour);
    tProfile mirror = Profile("mirror", due + kHour);
    mirror.ExactMirror = true;
    mirror.UA_DeleteFiles = true;
    Store({first, broken, missed, mirror});
    Open(false, [&] { return now; });

    ShowPage("tsScheduler");
    auto* grid = Get<QTableWidget>("grdProfiles");
    ASSERT_EQ(grid->rowCount(), 3) << "the passed next run has no row";
    EXPECT_EQ(grid->horizontalHeaderItem(2)->text(), "Left/Right Folders");
    EXPECT_EQ(grid->columnWidth(1), 150);
    EXPECT_EQ(grid->columnWidth(2), 220);
    EXPECT_EQ(Cell(0, 0), "02.04.2031\x01" "09:01:00");
    EXPECT_EQ(Cell(1, 1), "broken");
    EXPECT_EQ(Cell(0, 2), "L: " + first.LeftPath + "\x01R: " + first.RightPath);
    EXPECT_EQ(Cell(0, 3), "");

    // The mirror may delete unattended: starting asks, and No leaves it stopped.
    Get<QAbstractButton>("btScheduler")->click();
    EXPECT_TRUE(Called("Decision: " + std::string(kSchedulerDangerQuestion)));
    EXPECT_FALSE(w->SchedulerActive());
    decisions.push_back(1);
    Get<QAbstractButton>("btScheduler")->click();
    ASSERT_TRUE(w->SchedulerActive());
    EXPECT_EQ(LabelText("lbStatus"), "Scheduler is running.");
    EXPECT_FALSE(Get("cbOnlyScheduledProfiles")->isEnabled());

    w->SchedulerPage().Timer1Timer();
    EXPECT_EQ(LabelText("lbStatus"), "Scheduler is running. Next profile starts on 02.04.2031 at 09:01:00");
    ASSERT_EQ(w->Scheduler().Next().Row, 0);
    const tCellColors next = ScheduleCellColors(grid->palette(), false, true);
    EXPECT_EQ(next.Background, QColor(0, 0, 255));
    EXPECT_EQ(next.Font, QColor(255, 255, 255));
    EXPECT_EQ(ScheduleCellColors(grid->palette(), false, false).Background,
              grid->palette().color(QPalette::Base));

    now = due;
    w->SchedulerPage().Timer1Timer();
    EXPECT_EQ(RightOf(0).ReadFile("first.txt"), "first");
    EXPECT_EQ(OnDisk("first").LastRunResult, "1 copied");
    EXPECT_FALSE(OnDisk("first").Scheduled) << "no repeat: unscheduled";
    ASSERT_EQ(notified.size(), 1u) << "only the failed run is announced";
    EXPECT_EQ(notified[0], (std::pair<std::string, std::string>{"broken", "can't access left path"}));
    EXPECT_FALSE(OnDisk("broken").Scheduled) << "a failed run while no error ends its schedule";
    ASSERT_EQ(grid->rowCount(), 1);
    EXPECT_EQ(Cell(0, 1), "mirror");
    EXPECT_EQ(LabelText("lbStatus"), NextStartText(due + kHour));

    // The mirror's time passes unseen (the window was asleep): nothing is left to start.
    now = due + 2 * kHour;
    Get<QAbstractButton>("btScheduler")->click();
    Get<QAbstractButton>("btScheduler")->click();
    ASSERT_TRUE(w->SchedulerActive());
    w->SchedulerPage().Timer1Timer();
    EXPECT_EQ(LabelText("lbStatus"), "No more profiles to start - scheduler is inactive.");
    EXPECT_EQ(Get<QAbstractButton>("btScheduler")->text(), "&Start Scheduler");
    EXPECT_FALSE(w->SchedulerActive());
    EXPECT_TRUE(RightOf(3).List().empty());

    // Nothing scheduled any more: entering the page says how to schedule.
    ShowPage("tsMain");
    calls.clear();
    ShowPage("tsScheduler");
    const auto message = std::find_if(calls.begin(), calls.end(), [](const std::string& c) {
        return c.rfind("Info: No profiles are scheduled.", 0) == 0;
    });
    ASSERT_NE(message, calls.end());
    EXPECT_NE(message->find("from the \"Overview\" tab sheet. \r\n\r\nIf you want"), std::string::npos);
    EXPECT_NE(message->find("option among the  \"Schedule\" options."), std::string::npos);
    Get<QAbstractButton>("cbOnlyScheduledProfiles")->click();
    ASSERT_EQ(grid->rowCount(), 4);
    EXPECT_EQ(Cell(2, 0), "") << "unscheduled rows have no next run";
    EXPECT_EQ(Cell(0, 3).substr(Cell(0, 3).find('\x01')), "\x01" "1 copied");
}

TEST_F(SchedulerWindow, ScheduledMirrorOverTheDeletionLimitIsAnnouncedAsAFailedRun) {
    tDateTime now = EncodeDateTime({2031, 4, 2, 9, 0, 0});
    const tDateTime due = now + 60 * kSecond;
    tProfile mirror = Profile("mirror", due);
    mirror.ExactMirror = true;
    mirror.UA_DeleteFiles = true;
    Store({mirror});
    TempTree& left = *trees[0];
    for (int i = 1; i <= 8; ++i) {
        const std::string name = "f" + std::to_string(i);
        RightOf(0).WriteFile(name, "x", 1600000000);
        if (i <= 3) left.WriteFile(name, "x", 1600000000);
    }
    Open(false, [&] { return now; });
    ShowPage("tsScheduler");
    decisions.push_back(1); // yes, schedule the mirror that deletes unattended
    Get<QAbstractButton>("btScheduler")->click();
    ASSERT_TRUE(w->SchedulerActive());
    w->SchedulerPage().Timer1Timer();
    now = due;
    w->SchedulerPage().Timer1Timer();
    const std::string refusal =
        "Would delete 5 of 8 files (62%), more than the 50% allowed: nothing done";
    ASSERT_EQ(notified.size(), 1u);
    EXPECT_EQ(notified[0], (std::pair<std::string, std::string>{"mirror", refusal}));
    EXPECT_EQ(RightOf(0).List().size(), 8u) << "nothing at all was executed";
    EXPECT_EQ(OnDisk("mirror").LastRunResult, refusal);
}

TEST_F(SchedulerWindow, OverviewRunsUntilTheFirstFailureAndSchedulesTickedProfiles) {
    tProfile one = Profile("one", 0), two = Profile("two", 0), three = Profile("three", 0);
    two.LeftPath = home.Path("not-there");
    Store({one, two, three});
    Open(false);
    ShowPage("tsMultiple");
    auto* list = Get<QListWidget>("clbMultiple");
    ASSERT_EQ(list->count(), 3);
    EXPECT_EQ(list->item(0)->text().toStdString(),
              "one    ( " + one.LeftPath + "  <->  " + one.RightPath + " )");

    Get<QAbstractButton>("btEdit")->click();
    EXPECT_TRUE(Called("Info: Please select a profile to edit. This is done by clicking on the "
                       "profile name (not the checkbox)."));
    Get<QAbstractButton>("btSchedule")->click();
    EXPECT_TRUE(Called("Info: Please place checkmarks next to those profiles that you want to schedule."));

    Get<QAbstractButton>("btNowAll")->click();
    for (int i = 0; i < 3; ++i) EXPECT_EQ(list->item(i)->checkState(), Qt::Checked);
    Get<QCheckBox>("cbRunNowUnattended")->setChecked(true);
    Get<QAbstractButton>("btRunMultipleNow")->click();
    EXPECT_EQ(RightOf(0).ReadFile("one.txt"), "one");
    EXPECT_EQ(OnDisk("one").LastRunResult, "1 copied");
    EXPECT_GT(OnDisk("one").LastRun, 0) << "the record is stored with the run";
    EXPECT_EQ(OnDisk("two").LastRunResult, "can't access left path");
    EXPECT_TRUE(RightOf(2).List().empty()) << "the failure stops the rest";
    EXPECT_EQ(OnDisk("three").LastRun, 0);

    Get<QAbstractButton>("btNowNone")->click();
    list->item(0)->setCheckState(Qt::Checked);
    list->item(2)->setCheckState(Qt::Checked);
    Get<QAbstractButton>("btSchedule")->click();
    EXPECT_EQ(Page(), Get("tsScheduler"));
    EXPECT_TRUE(OnDisk("one").Scheduled) << "a passed next run moved forward";
    EXPECT_FALSE(OnDisk("two").Scheduled);
    EXPECT_TRUE(OnDisk("three").Scheduled);
    EXPECT_EQ(Get<QTableWidget>("grdProfiles")->rowCount(), 2);

    ShowPage("tsMultiple");
    list->setCurrentRow(2);
    Get<QAbstractButton>("btEdit")->click();
    EXPECT_EQ(Page(), Get("tsMain"));
    EXPECT_EQ(w->CurrentName(), "three");
    EXPECT_EQ(Get<QLineEdit>("edLeftPath")->text().toStdString(), three.LeftPath);
}

TEST_F(SchedulerWindow, LoginStartIsAnAutostartEntry) {
    Open(false);
    auto* box = Get<QCheckBox>("cbAutostart");
    EXPECT_FALSE(box->isChecked());
    const std::string entry = home.Path("config/autostart/org.corvane.Corvane.desktop");
    EXPECT_EQ(AutostartEntryFileName(), entry);
    box->click();
    ASSERT_TRUE(home.Exists("config/autostart/org.corvane.Corvane.desktop"));
    const std::string text = home.ReadFile("config/autostart/org.corvane.Corvane.desktop");
    EXPECT_NE(text.find("\nExec=" + ProgramFile() + " /autostart\n"), std::string::npos) << text;
    EXPECT_EQ(text.rfind("[Desktop Entry]\nType=Application\n", 0), 0u);
    EXPECT_NE(AutostartEntryText("/opt/my apps/corvane").find("\nExec=\"/opt/my apps/corvane\" /autostart\n"),
              std::string::npos);
    w.reset();
    Open(false);
    EXPECT_TRUE(Get<QCheckBox>("cbAutostart")->isChecked()) << "read back at the next start";
    Get<QCheckBox>("cbAutostart")->click();
    EXPECT_FALSE(home.Exists("config/autostart/org.corvane.Corvane.desktop"));
}

TEST_F(SchedulerWindow, AutostartWithNothingScheduledStopsAtTheFirstTickWithoutAMessage) {
    Store({Profile("idle", 0)}, 2);
    Open(true);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return LabelText("lbStatus") == "No more profiles to start - scheduler is inactive."; },
        10000))
        << LabelText("lbStatus");
    EXPECT_FALSE(w->SchedulerActive());
    EXPECT_EQ(Page(), Get("tsScheduler"));
    EXPECT_TRUE(calls.empty()) << calls.front();
}

TEST_F(SchedulerWindow, WatchedProfileRunsWhenItsFilesChangeAndItsRowSaysWatching) {
    // Ticked and saved on the "Schedule" tab, the quiet time goes beside the record.
    tProfile live = Profile("live", 0);
    Store({live, Profile("plain", 0)});
    Open(false);
    ASSERT_EQ(w->CurrentName(), "live");
    auto* box = Get<QCheckBox>("cbWatch");
    auto* quiet = Get<QLineEdit>("edWatchQuiet");
    EXPECT_FALSE(box->isChecked());
    EXPECT_EQ(quiet->text(), "5");
    EXPECT_FALSE(quiet->isEnabled());
    box->click();
    EXPECT_TRUE(quiet->isEnabled());
    quiet->setText("1");
    EXPECT_TRUE(w->IsProfileModified());
    Get<QAbstractButton>("btSave")->click();
    EXPECT_EQ(OnDisk("live").WatchQuiet, 1);
    EXPECT_EQ(OnDisk("plain").WatchQuiet, 0);

    ShowPage("tsScheduler");
    auto* grid = Get<QTableWidget>("grdProfiles");
    ASSERT_EQ(grid->rowCount(), 1) << "a watched profile counts as scheduled";
    EXPECT_EQ(Cell(0, 0), "watching");
    EXPECT_EQ(Cell(0, 1), "live");
    Get<QAbstractButton>("btScheduler")->click();
    ASSERT_TRUE(w->SchedulerActive());
    // Run once at the start, and the row shows its result.
    ASSERT_TRUE(QTest::qWaitFor([&] { return RightOf(0).Exists("live.txt"); }, 60000))
        << LabelText("lbStatus");
    ASSERT_TRUE(QTest::qWaitFor([&] { return Cell(0, 3).find("\x01" "1 copied") != std::string::npos; },
                                60000))
        << Cell(0, 3);
    EXPECT_EQ(Cell(0, 0), "watching");

    // A change on the left reaches the right on the window's own event loop.
    trees[0]->WriteFile("later.txt", "later");
    ASSERT_TRUE(QTest::qWaitFor([&] { return RightOf(0).Exists("later.txt"); }, 60000))
        << LabelText("lbStatus");
    EXPECT_TRUE(w->SchedulerActive()) << "nothing scheduled, but the watched profile keeps it going";
    EXPECT_NE(LabelText("lbStatus"), kNoMoreProfiles);
    EXPECT_TRUE(notified.empty());
    Get<QAbstractButton>("btScheduler")->click();
    EXPECT_FALSE(w->SchedulerActive());

    // Stopped, nothing is watched any more.
    trees[0]->WriteFile("unseen.txt", "u");
    QTest::qWait(2500);
    EXPECT_FALSE(RightOf(0).Exists("unseen.txt"));
}
