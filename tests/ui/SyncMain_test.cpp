// The main window on a temporary HOME: profiles made, saved, renamed, deleted and run in
// the window, the unsaved-changes question, the enable rules, and what a restart restores.
#include "engine/UiPort.h"
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/ProfileStore.h"
#include "support/Process.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"
#include "ui/CopyingStatus.h"
#include "ui/Dialogs.h"
#include "ui/PageControls.h"
#include "ui/SyncMain.h"

#include <QAbstractButton>
#include <QCheckBox>
#include <QComboBox>
#include <QCompleter>
#include <QDropEvent>
#include <QGuiApplication>
#include <QMimeData>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTabWidget>
#include <QTest>
#include <QTimeEdit>
#include <QUrl>
#include <QWindow>
#include <cstdlib>
#include <deque>
#include <set>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

QString Q(const std::string& s) { return QString::fromStdString(s); }

class MainWindow : public ::testing::Test {
protected:
    test::TempTree home, left, right;
    std::unique_ptr<TFSyncMain> w;
    // Scripted answers, taken in order; every question and message is recorded.
    std::vector<std::string> calls;
    std::deque<int> decisions, choices;
    std::deque<bool> questions;
    std::deque<std::string> texts; // "\x18" cancels

    MainWindow() { setenv("HOME", home.Root().c_str(), 1); }
    ~MainWindow() override { w.reset(); }

    void Open() {
        w = std::make_unique<TFSyncMain>();
        w->Dialogs.Info = [this](std::string_view t) { calls.push_back("Info: " + std::string(t)); };
        w->Dialogs.Question = [this](std::string_view t) {
            calls.push_back("Question: " + std::string(t));
            return Take(questions, false);
        };
        w->Dialogs.Decision = [this](std::string_view t) {
            calls.push_back("Decision: " + std::string(t));
            return Take(decisions, 0);
        };
        w->Dialogs.Choose = [this](std::string_view t, const std::vector<std::string>&) {
            calls.push_back("Choose: " + std::string(t));
            return Take(choices, 0);
        };
        w->Dialogs.Text = [this](std::string_view t, std::string_view, bool& cancelled) {
            calls.push_back("Text: " + std::string(t));
            std::string a = Take(texts, std::string("\x18"));
            cancelled = a == "\x18";
            return cancelled ? std::string() : a;
        };
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    void Restart() {
        w->close();
        w.reset();
        Open();
    }

    template <class T>
    static T Take(std::deque<T>& queue, T fallback) {
        if (queue.empty()) return fallback;
        T a = queue.front();
        queue.pop_front();
        return a;
    }

    template <class T = QWidget>
    T* Get(const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) ADD_FAILURE() << "no control " << name;
        return c;
    }
    void Click(const char* name) { Get<QAbstractButton>(name)->click(); }
    void SetText(const char* name, const std::string& text) { Get<QLineEdit>(name)->setText(Q(text)); }
    std::string TextOf(const char* name) { return Get<QLineEdit>(name)->text().toStdString(); }
    bool Checked(const char* name) { return Get<QAbstractButton>(name)->isChecked(); }
    bool Enabled(const char* name) { return Get(name)->isEnabled(); }

    std::vector<std::string> ListedProfiles() {
        std::vector<std::string> names;
        auto* combo = Get<QComboBox>("cbProfile");
        for (int i = 0; i < combo->count(); ++i) names.push_back(combo->itemText(i).toStdString());
        return names;
    }
    void Select(const std::string& name) {
        auto* combo = Get<QComboBox>("cbProfile");
        combo->setCurrentIndex(combo->findText(Q(name)));
    }
    // Saves the page under a new name through "Save As...".
    void SaveAs(const std::string& name) {
        texts.push_back(name);
        Click("btSaveAs");
    }
    bool Called(const std::string& line) const {
        return std::find(calls.begin(), calls.end(), line) != calls.end();
    }
    bool AnyDecision() const {
        return std::any_of(calls.begin(), calls.end(),
                           [](const std::string& c) { return c.rfind("Decision:", 0) == 0; });
    }
    tPreferences OnDisk() {
        tPreferences store(home.Path(".CorvaneX"));
        store.Load();
        return store;
    }
    tDateTime Picked() {
        const QDate d = Get<QDateEdit>("pickDate")->date();
        const QTime t = Get<QTimeEdit>("pickTime")->time();
        return EncodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
    }
    void Pick(tDateTime value) {
        const tDateParts p = DecodeDateTime(value);
        Get<QDateEdit>("pickDate")->setDate(QDate(p.Year, p.Month, p.Day));
        Get<QTimeEdit>("pickTime")->setTime(QTime(p.Hour, p.Minute, p.Second));
    }
};

} // namespace

TEST_F(MainWindow, ProfilesAreSavedInPlaceAppendedRenamedWithoutLossAndDeleted) {
    Open();
    EXPECT_EQ(w->windowTitle(), "Corvane 1.04");
    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    texts.push_back("alpha");
    Click("btSave"); // no name yet: Save As
    EXPECT_TRUE(Called("Text: Please enter new name for this profile:"));
    EXPECT_EQ(w->CurrentName(), "alpha");

    choices.push_back(2); // based on the shown profile
    Click("btNew");
    EXPECT_TRUE(Called("Choose: Please specify:"));
    EXPECT_TRUE(w->Modified());
    SetText("edLeftPath", "/srv/beta");
    texts.push_back("beta");
    Click("btSave");
    choices.push_back(1); // empty
    Click("btNew");
    EXPECT_EQ(TextOf("edLeftPath"), "");
    EXPECT_EQ(TextOf("cbFileMasks"), "(all)");
    EXPECT_TRUE(Checked("cbUseVersionsFolder")); // "Defaults" ran
    SetText("edLeftPath", "/srv/gamma");
    SetText("edRightPath", "/srv/gamma-backup");
    SaveAs("gamma");
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"alpha", "beta", "gamma"}));

    // Saving over an existing name replaces its entries where they stand.
    Select("alpha");
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());
    SetText("edRightPath", "/srv/elsewhere");
    SetText("cbExcludeMasks", "*.tmp");
    Click("btSave");
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"alpha", "beta", "gamma"}));
    // A name typed into the box saves a new profile at the end of the list.
    Get<QComboBox>("cbProfile")->setEditText("  epsilon ");
    Click("btSave");
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"alpha", "beta", "gamma", "epsilon"}));
    EXPECT_EQ(w->CurrentName(), "epsilon");
    EXPECT_EQ(LoadStoredProfile(w->Store(), "epsilon")->RightPath, "/srv/elsewhere");
    questions.push_back(true);
    Click("btDelete");
    Select("alpha");
    auto alpha = LoadStoredProfile(OnDisk(), "alpha"); // flushed at once
    ASSERT_TRUE(alpha);
    EXPECT_EQ(alpha->RightPath, "/srv/elsewhere");
    EXPECT_EQ(OnDisk().Read("xcl_alpha", "ExcludeMasks"), "*.tmp");

    // A name the file cannot hold is refused before anything is written.
    const std::string before = w->Store().Text();
    SaveAs("bad=name");
    EXPECT_TRUE(Called("Info: A profile name cannot contain \"=\", \"[\" or \"]\"."));
    EXPECT_EQ(w->Store().Text(), before);

    // Rename: cancelling keeps the profile; a confirmed name replaces it, settings and all.
    Select("beta");
    texts.push_back("\x18");
    Click("btRename");
    EXPECT_TRUE(LoadStoredProfile(w->Store(), "beta"));
    texts.push_back("delta");
    Click("btRename");
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"alpha", "gamma", "delta"}));
    EXPECT_FALSE(LoadStoredProfile(OnDisk(), "beta"));
    auto delta = LoadStoredProfile(OnDisk(), "delta");
    ASSERT_TRUE(delta);
    EXPECT_EQ(delta->LeftPath, "/srv/beta");
    EXPECT_EQ(w->CurrentName(), "delta");

    // Delete asks, and the page then shows another stored profile.
    Select("alpha");
    questions.push_back(false);
    Click("btDelete");
    EXPECT_TRUE(Called("Question: Delete profile \"alpha\" ?"));
    EXPECT_EQ(ListedProfiles().size(), 3u);
    questions.push_back(true);
    Click("btDelete");
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"gamma", "delta"}));
    EXPECT_EQ(TextOf("edLeftPath"), "/srv/gamma");
    EXPECT_EQ(w->CurrentName(), "gamma");

    // Deleting the last profiles leaves the page as a first start shows it.
    questions.insert(questions.end(), {true, true});
    Click("btDelete");
    Click("btDelete");
    EXPECT_TRUE(ListedProfiles().empty());
    EXPECT_EQ(TextOf("edLeftPath"), "");
    EXPECT_EQ(w->CurrentName(), "");
    EXPECT_FALSE(w->IsProfileModified());
    // Deletions reach the disk with the next flush.
    EXPECT_EQ(StoredProfileNames(OnDisk()), (std::vector<std::string>{"alpha", "gamma", "delta"}));
    EXPECT_FALSE(AnyDecision());
}

TEST_F(MainWindow, UnsavedChangesQuestionFollowsWhatTheUserChanged) {
    Open();
    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    const tDateTime now = NowDateTime();
    Pick(std::floor(now) + 3 + 0.5); // three days ahead, noon
    SaveAs("p");
    ASSERT_FALSE(w->IsProfileModified());

    // Ticking "Next Run:" with a date ahead changes neither date nor time: no change.
    Click("cbScheduled");
    EXPECT_EQ(DateTimeText(Picked()), DateTimeText(std::floor(now) + 3.5));
    EXPECT_FALSE(w->IsProfileModified());
    Click("cbScheduled");

    // With a date that has passed it moves forward by whole days and counts.
    Pick(std::floor(now) - 5 + 0.25);
    Click("btSave");
    ASSERT_FALSE(w->IsProfileModified());
    Click("cbScheduled");
    EXPECT_GT(Picked(), now);
    EXPECT_LT(Picked(), now + 1.0 + 1e-6);
    EXPECT_EQ(TimeText8(Picked()), "06:00:00");
    EXPECT_TRUE(w->IsProfileModified());

    // Leaving the page and answering No shows the stored profile again.
    SetText("edLeftPath", "/somewhere/else");
    decisions.push_back(0);
    Get<QTabWidget>("PageControl1")->setCurrentIndex(3);
    EXPECT_TRUE(Called("Decision: Save changes to current profile \"p\" ?"));
    Get<QTabWidget>("PageControl1")->setCurrentIndex(0);
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());
    EXPECT_FALSE(Checked("cbScheduled"));

    // A profile whose next run passed and that updates itself is advanced on loading; that
    // advance is not a change of the user's.
    tProfile q;
    SetInitialValues(q);
    q.Name = "q";
    q.LeftPath = left.Root();
    q.RightPath = right.Root();
    q.Scheduled = q.AutoUpdate = true;
    q.Days = 1;
    q.NextRun = std::floor(now) - 10 + 0.75;
    ASSERT_EQ(StoreProfile(w->Store(), q), "");
    w->FillProfileLists("p", false, now, false);
    calls.clear();
    Select("q");
    EXPECT_TRUE(Checked("cbScheduled"));
    EXPECT_GT(Picked(), now);
    EXPECT_EQ(TimeText8(Picked()), "18:00:00");
    EXPECT_FALSE(w->AdvanceMemory().LastAdvanceNew.empty());
    Select("p");
    EXPECT_FALSE(AnyDecision());

    // "New..." and then another profile asks without a name; Yes runs Save As.
    choices.push_back(2);
    Click("btNew");
    decisions.push_back(1);
    texts.push_back("p2");
    Select("q");
    EXPECT_TRUE(Called("Decision: Save changes to current profile?"));
    EXPECT_EQ(ListedProfiles(), (std::vector<std::string>{"p", "q", "p2"}));
    EXPECT_EQ(w->CurrentName(), "q"); // the profile chosen is the one shown
    EXPECT_TRUE(LoadStoredProfile(w->Store(), "p2"));
}

TEST_F(MainWindow, EnableRulesAndWhatTheyStore) {
    Open();
    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    // Both directions: no exact mirror, no right-side cache.
    EXPECT_FALSE(Enabled("cbExactMirror"));
    EXPECT_FALSE(Enabled("lbExactMirror"));
    EXPECT_FALSE(Enabled("cbCacheRight"));
    Click("cbRightToLeft");
    EXPECT_TRUE(Enabled("cbExactMirror"));
    EXPECT_FALSE(Checked("cbExactMirror"));
    EXPECT_TRUE(Enabled("cbCacheRight"));
    Click("cbExactMirror");
    for (const char* name : {"cbFileMasks", "cbExcludeMasks", "Label2", "Label4", "Label11", "Label12"})
        EXPECT_FALSE(Enabled(name)) << name;
    SaveAs("mirror");
    EXPECT_EQ(w->Store().Read("opt_mirror", "Profiles")[1071], 'J');
    Click("cbRightToLeft");
    EXPECT_FALSE(Checked("cbExactMirror"));
    EXPECT_FALSE(Enabled("cbExactMirror"));
    EXPECT_TRUE(Enabled("cbFileMasks"));
    Click("btSave");
    EXPECT_EQ(w->Store().Read("opt_mirror", "Profiles")[1071], 'N');

    // A stored record with both directions and exact mirror is shown and stored without it.
    tProfile both;
    SetInitialValues(both);
    both.Name = "both";
    both.LeftPath = left.Root();
    both.RightPath = right.Root();
    both.ExactMirror = true;
    both.VolumeLabel = "BACKUP";
    ASSERT_EQ(StoreProfile(w->Store(), both), "");
    w->FillProfileLists("mirror", false, NowDateTime(), false);
    Select("both");
    EXPECT_FALSE(Checked("cbExactMirror"));
    EXPECT_TRUE(Enabled("cbFileMasks"));
    // The volume label box stays hidden and disabled; the page never keeps a label.
    auto* volume = Get<QCheckBox>("cbVolumeLabel");
    EXPECT_TRUE(volume->isHidden());
    EXPECT_FALSE(volume->isEnabled());
    EXPECT_EQ(volume->text(), "Vol. must be: BACKUP");
    tProfile fromPage;
    w->ProfileFromForm(fromPage);
    EXPECT_EQ(fromPage.VolumeLabel, "");
    EXPECT_FALSE(fromPage.ExactMirror);
    Click("btSave");
    EXPECT_EQ(w->Store().Read("opt_both", "Profiles")[1071], 'N');

    // Waiting needs database-safe mode; "0" or a non-number becomes 60 minutes.
    EXPECT_FALSE(Enabled("cbWait"));
    EXPECT_FALSE(Enabled("edWaitMins"));
    Click("cbDatabase");
    EXPECT_TRUE(Enabled("cbWait"));
    EXPECT_TRUE(Enabled("edWaitMins"));
    Click("cbWait");
    EXPECT_FALSE(Enabled("edWaitMins"));
    SetText("edWaitMins", "0");
    Click("cbWait");
    EXPECT_EQ(TextOf("edWaitMins"), "60");
    SetText("edWaitMins", "");
    w->EditPage().cbWaitClick();
    EXPECT_EQ(TextOf("edWaitMins"), "60");
    SetText("edWaitMins", "25");
    w->EditPage().cbWaitClick();
    EXPECT_EQ(TextOf("edWaitMins"), "25");

    // Versions: the count and the folder follow their boxes; a slash is removed with a message.
    EXPECT_FALSE(Enabled("edMaxVersions"));
    EXPECT_FALSE(Enabled("cbUseVersionsFolder"));
    Click("cbMultipleVersions");
    EXPECT_TRUE(Enabled("edMaxVersions"));
    EXPECT_TRUE(Enabled("cbUseVersionsFolder"));
    EXPECT_EQ(Checked("cbUseVersionsFolder"), Enabled("edVersionsFolder"));
    if (!Checked("cbUseVersionsFolder")) Click("cbUseVersionsFolder");
    EXPECT_TRUE(Enabled("edVersionsFolder"));
    EXPECT_TRUE(Enabled("cbOlderSubfolder"));
    SetText("edVersionsFolder", "  ");
    Click("cbUseVersionsFolder");
    EXPECT_EQ(TextOf("edVersionsFolder"), "Older");
    Click("cbUseVersionsFolder");
    SetText("edVersionsFolder", "Old/Versions");
    w->EditPage().edVersionsFolderExit();
    EXPECT_TRUE(Called("Info: Illegal characters were removed from the folder name"));
    EXPECT_EQ(TextOf("edVersionsFolder"), "OldVersions");

    // Schedule: repeat fields follow "Next Run:" and "Repeat after", the count "Only ".
    EXPECT_FALSE(Enabled("cbRepeat"));
    EXPECT_FALSE(Enabled("edDays"));
    Click("cbScheduled");
    EXPECT_TRUE(Enabled("pickDate"));
    EXPECT_TRUE(Enabled("cbRepeat"));
    EXPECT_TRUE(Enabled("edDays"));
    EXPECT_FALSE(Enabled("edRepeatTimes"));
    Click("rbRepeatOnly");
    EXPECT_TRUE(Enabled("edRepeatTimes"));
    Click("cbRepeat");
    EXPECT_FALSE(Enabled("edRepeatTimes"));
    EXPECT_FALSE(Enabled("rbRepeatIndefinitely"));

    // "Defaults" resets the modes and leaves paths and directions alone.
    Click("btDefaults");
    EXPECT_FALSE(Checked("cbDatabase"));
    EXPECT_FALSE(Checked("cbScheduled"));
    EXPECT_TRUE(Get<QRadioButton>("rgSymLinks_1")->isChecked());
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());

    // Switching database-safe mode off during a run refreshes the page showing that profile.
    Click("cbDatabase");
    tProfile running;
    w->ProfileFromForm(running);
    running.Database = false;
    TFCopyingStatus::DatabaseModeSwitchedOff()(running);
    EXPECT_FALSE(Checked("cbDatabase"));
}

TEST_F(MainWindow, FixedSizeFitsEveryControlAndARestartRestoresWhereTheUserWas) {
    Open();
    const QSize size = w->size();
    EXPECT_EQ(w->minimumSize(), w->maximumSize());
    EXPECT_FALSE(w->FormCanResize(size.width() + 50, size.height()));
    w->resize(size.width() + 80, size.height() + 60);
    EXPECT_EQ(w->size(), size);

    // Nothing is cut off: every visible control is at least as large as it asks to be.
    auto* pages = Get<QTabWidget>("PageControl1");
    auto* inner = Get<QTabWidget>("PageControl2");
    for (int i = 0; i < pages->count(); ++i) {
        pages->setCurrentIndex(i);
        for (int j = 0; j < (i == 0 ? inner->count() : 1); ++j) {
            inner->setCurrentIndex(j);
            QApplication::processEvents();
            for (QWidget* c : pages->widget(i)->findChildren<QWidget*>()) {
                // The design's controls (the toolkit's own parts inside them have no name).
                if (c->objectName().isEmpty() || c->objectName().startsWith("qt_")) continue;
                if (!c->isVisible() || (!qobject_cast<QLabel*>(c) && !qobject_cast<QAbstractButton*>(c) &&
                                        !qobject_cast<QLineEdit*>(c)))
                    continue;
                EXPECT_GE(c->width(), c->minimumSizeHint().width()) << c->objectName().toStdString();
                EXPECT_GE(c->height(), c->minimumSizeHint().height()) << c->objectName().toStdString();
            }
        }
    }
    pages->setCurrentIndex(0);
    inner->setCurrentWidget(Get("tsModes"));
    QApplication::processEvents();
    for (const char* name : {"Label16", "cbRecycleOverwrittenFiles", "cbRecycleDeletedFiles", "Label18"})
        EXPECT_TRUE(Get(name)->isVisible()) << name;
    EXPECT_TRUE(Checked("cbRecycleDeletedFiles"));
    EXPECT_FALSE(Checked("cbRecycleOverwrittenFiles"));
    inner->setCurrentIndex(0);

    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    Click("cbRecycleOverwrittenFiles");
    Click("cbRecycleDeletedFiles");
    SaveAs("documents");
    const auto documents = LoadStoredProfile(w->Store(), "documents");
    ASSERT_TRUE(documents);
    EXPECT_TRUE(documents->RecycleOverwrittenFiles);
    EXPECT_FALSE(documents->RecycleDeletedFiles);
    SetText("edLeftPath", "/srv/music");
    SaveAs("music");
    Select("documents");
    Get<tRadioGroup>("rgLogging")->Item(2)->click();
    EXPECT_EQ(w->Store().Read("Logging", "Main"), "2"); // at once
    SetText("edBufSize", "99999");
    EXPECT_EQ(TextOf("edDeleteLimit"), "50");
    SetText("edDeleteLimit", "30");
    EXPECT_EQ(w->Store().Read("DeleteLimit", "Main"), "30"); // at once
    EXPECT_EQ(RunSettings().DeleteLimit, 30) << "the next run uses it";
    pages->setCurrentIndex(3);
    w->move(123, 145);
    QApplication::processEvents();
    const QPoint where = w->pos();

    Restart();
    EXPECT_EQ(Get<QComboBox>("cbProfile")->currentText(), "documents");
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());
    EXPECT_EQ(w->CurrentName(), "documents");
    EXPECT_EQ(Get<QTabWidget>("PageControl1")->currentIndex(), 3);
    EXPECT_EQ(Get<tRadioGroup>("rgLogging")->ItemIndex(), 2);
    EXPECT_EQ(TextOf("edBufSize"), "10240");
    EXPECT_EQ(TextOf("edDeleteLimit"), "30");
    EXPECT_EQ(RunSettings().DeleteLimit, 30);
    EXPECT_TRUE(Checked("cbRecycleOverwrittenFiles"));
    EXPECT_FALSE(Checked("cbRecycleDeletedFiles"));
    QTest::qWait(20);
    EXPECT_EQ(w->pos(), where);
    EXPECT_EQ(w->size(), size);
    EXPECT_FALSE(AnyDecision());
}

TEST_F(MainWindow, AProfileMadeInTheWindowRunsFromTheCommandLineAndWithRunNow) {
    left.WriteFile("docs/report.txt", "quarterly", 1600000000);
    left.WriteFile("photo.jpg", std::string(5000, 'x'), 1600000000);
    Open();
    w->Store().Write("Logging", "0", "Main");
    Click("btRunNow");
    EXPECT_TRUE(Called("Info: Please specify a left hand path"));
    SetText("edLeftPath", left.Root());
    Click("btRunNow");
    EXPECT_TRUE(Called("Info: Please specify a right hand path"));
    SetText("edRightPath", right.Root());
    Click("cbRightToLeft");
    SaveAs("nightly");

    const auto run = test::RunCorvane({"--run", "nightly"}, {{"HOME", home.Root()}});
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(right.ReadFile("docs/report.txt"), "quarterly");
    EXPECT_EQ(right.ReadFile("photo.jpg"), std::string(5000, 'x'));

    // "Run Now..." with the plan reviewed and "Start" pressed.
    left.WriteFile("new.txt", "fresh", 1700000000);
    test::ScriptedPort port;
    port.Reviews.push_back(true);
    SetUiPort(&port);
    Click("btRunNow");
    SetUiPort(nullptr);
    EXPECT_EQ(right.ReadFile("new.txt"), "fresh");
    EXPECT_TRUE(std::count(port.Calls.begin(), port.Calls.end(), "Review") == 1);
    const std::string lastRun = Get<QLabel>("lbLastRun")->text().toStdString();
    ASSERT_TRUE(ParseDateTime(lastRun)) << lastRun;
    EXPECT_LT(std::abs(*ParseDateTime(lastRun) - NowDateTime()), 0.01);
    const std::string result = Get<QLabel>("lbLastRunResult")->text().toStdString();
    EXPECT_FALSE(result.empty());
    EXPECT_EQ(OnDisk().Read("rep_nightly", "Reports"), result); // flushed
    EXPECT_TRUE(Enabled("PageControl1"));

    // A page without a name runs, but leaves no nameless profile in the store.
    choices.push_back(2);
    Click("btNew");
    left.WriteFile("unnamed.txt", "u", 1700000000);
    port.Reviews.push_back(true);
    SetUiPort(&port);
    Click("btRunNow");
    SetUiPort(nullptr);
    EXPECT_EQ(right.ReadFile("unnamed.txt"), "u");
    EXPECT_FALSE(w->Store().Has("opt_", "Profiles"));
    EXPECT_FALSE(w->Store().Has("rep_", "Reports"));
    EXPECT_EQ(StoredProfileNames(OnDisk()), std::vector<std::string>{"nightly"});
}

namespace {

// Runs with the real copying window, and asks the main window to close twice while it is
// open, as the window manager does: the first question is answered No, the second Yes.
class ClosingPort : public test::ScriptedPort {
public:
    TFSyncMain* Window = nullptr;
    int Closes = 0, Polls = 0;
    bool Blocked = false, Above = true, QuestionOwner = true;
    size_t CopiedAtNo = 0;
    test::TempTree* Right = nullptr;
    std::unique_ptr<TFCopyingStatus> Shown;

    void OpenCopyingStatus(tCopyingStatus& status, bool show) override {
        ScriptedPort::OpenCopyingStatus(status, show);
        Shown = std::make_unique<TFCopyingStatus>(status);
        Shown->ShowWindow();
    }
    void CloseCopyingStatus() override {
        Shown.reset();
        ScriptedPort::CloseCopyingStatus();
    }
    void ProcessEvents() override {
        ScriptedPort::ProcessEvents();
        if (!Shown || !Window->RunningProfile() || !Window->RunningProfile()->CopyingWindow) return;
        ++Polls;
        if (Polls != 3 && Polls != 30) return;
        // The main window hears the close: no modal window blocks it.
        Blocked = Blocked || QGuiApplication::modalWindow() != nullptr;
        Above = Above && Shown->windowHandle() &&
                Shown->windowHandle()->transientParent() == Window->windowHandle();
        QuestionOwner = QuestionOwner && DialogOwner() == Shown.get();
        if (Closes == 0) CopiedAtNo = Right->List().size();
        ++Closes;
        Window->close();
    }
};

} // namespace

TEST_F(MainWindow, ClosingDuringARunAsksAndCancelsItFirst) {
    for (int i = 0; i < 40; ++i)
        left.WriteFile("file" + std::to_string(100 + i) + ".dat", std::string(20000, char('a' + i % 26)),
                       1600000000);
    Open();
    // One file at a time, so that files are copied between the two closes, which the port
    // makes at fixed event polls.
    RunSettings().CopyWorkers = 1;
    w->Store().Write("Logging", "0", "Main");
    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    Click("cbRightToLeft");
    SaveAs("big");
    ClosingPort port;
    port.Window = w.get();
    port.Right = &right;
    port.Reviews.push_back(true);
    questions = {false, true};
    SetUiPort(&port);
    Click("btRunNow");
    SetUiPort(nullptr);
    EXPECT_EQ(port.Closes, 2);
    EXPECT_FALSE(port.Blocked);
    EXPECT_TRUE(port.Above);
    EXPECT_TRUE(port.QuestionOwner);
    EXPECT_EQ(std::count(calls.begin(), calls.end(), "Question: Are you sure to abort the operation?"), 2);
    EXPECT_TRUE(w->isVisible()); // not while the run was still going
    // No went on copying; Yes stopped the run with every copied file whole.
    const auto copied = right.List();
    EXPECT_GT(copied.size(), port.CopiedAtNo);
    EXPECT_LT(copied.size(), 40u);
    for (const auto& name : copied) EXPECT_EQ(right.ReadFile(name), left.ReadFile(name)) << name;
    QTest::qWait(30);
    EXPECT_FALSE(w->isVisible());
    EXPECT_EQ(w->Store().Read("CurrentProfileName", "Main"), "big");
}

TEST_F(MainWindow, RememberTheLastRunIsAModesBoxThatSavingRunsAndRenamingFollow) {
    const std::string stateHome = home.Path("state");
    setenv("XDG_STATE_HOME", stateHome.c_str(), 1);
    left.WriteFile("kept.txt", "k", 1600000000);
    left.WriteFile("dropped.txt", "d", 1600000000);
    Open();
    w->Store().Write("Logging", "0", "Main");
    SetText("edLeftPath", left.Root());
    SetText("edRightPath", right.Root());
    // Two-way only: one direction or an exact mirror disables the box.
    EXPECT_TRUE(Enabled("cbRememberLastRun"));
    EXPECT_FALSE(Checked("cbRememberLastRun"));
    Click("cbRememberLastRun");
    Click("cbRightToLeft");
    EXPECT_FALSE(Enabled("cbRememberLastRun"));
    Click("cbExactMirror");
    EXPECT_FALSE(Enabled("cbRememberLastRun"));
    Click("cbExactMirror");
    Click("cbRightToLeft");
    EXPECT_TRUE(Enabled("cbRememberLastRun"));
    EXPECT_TRUE(Checked("cbRememberLastRun")) << "the choice survives the detour";
    SaveAs("two-way");
    EXPECT_EQ(OnDisk().Read("rem_two-way", "Remember"), "1");

    // The command line reads it: the first run copies and records.
    const auto run = test::RunCorvane({"--run", "two-way"},
                                      {{"HOME", home.Root()}, {"XDG_STATE_HOME", stateHome}});
    ASSERT_EQ(run.Status, 0) << run.Out << run.Err;
    EXPECT_EQ(right.ReadFile("dropped.txt"), "d");

    // "Run Now..." from the page carries the deletion over instead of copying the file back.
    std::remove(left.Path("dropped.txt").c_str());
    test::ScriptedPort port;
    port.Reviews.push_back(true);
    port.Choices.push_back(2); // "Yes" to the deletion
    SetUiPort(&port);
    Click("btRunNow");
    SetUiPort(nullptr);
    EXPECT_FALSE(right.Exists("dropped.txt"));
    EXPECT_FALSE(left.Exists("dropped.txt"));
    EXPECT_EQ(Get<QLabel>("lbLastRunResult")->text().toStdString(), "0 copied, 1 deleted");

    // Rename takes the entry along; switching it off and saving removes it; Delete too.
    texts.push_back("renamed");
    Click("btRename");
    EXPECT_FALSE(OnDisk().Has("rem_two-way", "Remember"));
    EXPECT_EQ(OnDisk().Read("rem_renamed", "Remember"), "1");
    Restart();
    Select("renamed");
    EXPECT_TRUE(Checked("cbRememberLastRun"));
    Click("cbRememberLastRun");
    EXPECT_TRUE(w->IsProfileModified());
    Click("btSave");
    EXPECT_FALSE(w->Store().Has("rem_renamed", "Remember"));
    Click("cbRememberLastRun");
    Click("btSave");
    questions.push_back(true);
    Click("btDelete");
    EXPECT_FALSE(w->Store().Has("rem_renamed", "Remember"));
    unsetenv("XDG_STATE_HOME");
}

namespace {

// Drops urls on w as a file manager does; true when the drop was taken.
bool Drop(QWidget* w, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &enter);
    if (!enter.isAccepted()) return false;
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(w, &drop);
    return drop.isAccepted();
}

// The mnemonic letter of a caption, 0 without one.
QChar Mnemonic(const QString& caption) {
    for (int i = 0; i + 1 < caption.size(); ++i)
        if (caption[i] == '&') {
            if (caption[i + 1] != '&') return caption[i + 1].toLower();
            ++i;
        }
    return QChar();
}

} // namespace

TEST_F(MainWindow, PathFieldsTakeDropsAndCompleteFoldersAndTheOptionsStayAndApplyAtOnce) {
    left.WriteFile("docs/report.txt", "quarterly", 1600000000);
    left.WriteFile("dates.txt", "d", 1600000000);
    left.MakeFolder("drafts");
    test::TempTree logs;
    Open();

    // A dropped file stands for its folder; a folder for itself; a remote URL is refused.
    auto* leftPath = Get<QLineEdit>("edLeftPath");
    EXPECT_TRUE(Drop(leftPath, {QUrl::fromLocalFile(Q(left.Path("docs/report.txt")))}));
    EXPECT_EQ(TextOf("edLeftPath"), left.Path("docs"));
    EXPECT_FALSE(Drop(leftPath, {QUrl("https://example.org/x/")}));
    EXPECT_EQ(TextOf("edLeftPath"), left.Path("docs"));
    EXPECT_TRUE(Drop(Get("edRightPath"), {QUrl::fromLocalFile(Q(right.Root()))}));
    EXPECT_EQ(TextOf("edRightPath"), right.Root());
    EXPECT_TRUE(Drop(leftPath, {QUrl::fromLocalFile(Q(left.Root()))}));
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());

    // Completion offers the folders only.
    for (const char* field : {"edLeftPath", "edRightPath", "edLogPath"}) {
        auto* edit = Get<QLineEdit>(field);
        QCompleter* completer = edit->completer();
        ASSERT_TRUE(completer) << field;
        const QString before = edit->text();
        edit->clear();
        QTest::keyClicks(edit, Q(left.Root() + "/d"));
        // The folder is read in the background, and offered once it has been.
        QStringList offered;
        for (int tries = 0; tries < 300 && offered.size() < 2; ++tries) {
            QTest::qWait(10);
            offered.clear();
            for (bool more = completer->setCurrentRow(0); more;
                 more = completer->setCurrentRow(completer->currentRow() + 1))
                offered << completer->currentCompletion();
        }
        offered.sort();
        EXPECT_EQ(offered.join('|').toStdString(), left.Path("docs") + "|" + left.Path("drafts"))
            << field;
        edit->setText(before);
    }

    // The options: typed, in effect for the next run at once, and kept.
    SaveAs("reports");
    Get<QTabWidget>("PageControl1")->setCurrentWidget(Get("tsOptions"));
    auto* logPath = Get<QLineEdit>("edLogPath");
    logPath->clear();
    QTest::keyClicks(logPath, Q(logs.Path("runs")));
    auto* bufSize = Get<QLineEdit>("edBufSize");
    bufSize->clear();
    QTest::keyClicks(bufSize, "64");
    Get<tRadioGroup>("rgLogging")->Item(1)->click();
    auto* workers = Get<QLineEdit>("edCopyWorkers");
    EXPECT_EQ(workers->text(), "0") << "automatic until set";
    EXPECT_FALSE(workers->toolTip().isEmpty());
    workers->clear();
    EXPECT_EQ(RunSettings().CopyWorkers, 0) << "an emptied field keeps what was in effect";
    QTest::keyClicks(workers, "99");
    EXPECT_EQ(RunSettings().CopyWorkers, 16) << "at most 16";
    EXPECT_EQ(w->Store().Read("CopyWorkers", "Main"), "16");
    workers->clear();
    QTest::keyClicks(workers, "3");
    EXPECT_EQ(RunSettings().LogFolder, logs.Path("runs"));
    EXPECT_EQ(RunSettings().BufSizeKB, 64);
    EXPECT_EQ(RunSettings().CopyWorkers, 3) << "in effect at once";
    EXPECT_EQ(w->Store().Read("CopyWorkers", "Main"), "3") << "stored at once";
    Get<QTabWidget>("PageControl1")->setCurrentWidget(Get("tsMain"));
    test::ScriptedPort port;
    port.Reviews.push_back(true);
    SetUiPort(&port);
    Click("btRunNow");
    SetUiPort(nullptr);
    EXPECT_EQ(right.ReadFile("docs/report.txt"), "quarterly");
    EXPECT_TRUE(logs.Exists("runs/crvn.log"));

    Restart();
    EXPECT_EQ(TextOf("edLogPath"), logs.Path("runs"));
    EXPECT_EQ(TextOf("edBufSize"), "64");
    EXPECT_EQ(Get<tRadioGroup>("rgLogging")->ItemIndex(), 1);
    EXPECT_EQ(RunSettings().LogFolder, logs.Path("runs"));
    EXPECT_EQ(RunSettings().BufSizeKB, 64);
    EXPECT_EQ(OnDisk().Read("LogFolder", "Main"), logs.Path("runs"));
    EXPECT_EQ(TextOf("edCopyWorkers"), "3");
    EXPECT_EQ(RunSettings().CopyWorkers, 3);
    EXPECT_EQ(OnDisk().Read("CopyWorkers", "Main"), "3");

    // Every button and tab of a page has a mnemonic of its own there.
    auto* pages = Get<QTabWidget>("PageControl1");
    for (int p = 0; p < pages->count(); ++p) {
        QWidget* page = pages->widget(p);
        std::vector<std::pair<QChar, QString>> keys;
        for (int t = 0; t < pages->count(); ++t) keys.emplace_back(Mnemonic(pages->tabText(t)), pages->tabText(t));
        for (auto* inner : page->findChildren<QTabWidget*>())
            for (int t = 0; t < inner->count(); ++t) keys.emplace_back(Mnemonic(inner->tabText(t)), inner->tabText(t));
        for (auto* button : page->findChildren<QPushButton*>())
            if (button->isVisibleTo(page) && !button->text().isEmpty())
                keys.emplace_back(Mnemonic(button->text()), button->text());
        // Field labels with a mnemonic take their key too.
        for (auto* label : page->findChildren<QLabel*>())
            if (label->isVisibleTo(page) && label->buddy() && !Mnemonic(label->text()).isNull())
                keys.emplace_back(Mnemonic(label->text()), label->text());
        std::set<QChar> seen;
        for (const auto& [key, caption] : keys) {
            EXPECT_FALSE(key.isNull()) << caption.toStdString();
            EXPECT_TRUE(key.isNull() || seen.insert(key).second)
                << "clash on page " << p << ": " << caption.toStdString();
        }
    }
}
