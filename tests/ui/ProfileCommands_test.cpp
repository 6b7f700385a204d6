// A profile made by `corvane --set` is what the main window shows, unchanged by loading and
// saving it; a profile saved in the window is what `corvane --show` prints.
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "support/Process.h"
#include "support/TempTree.h"
#include "ui/SyncMain.h"

#include <QAbstractButton>
#include <QComboBox>
#include <QDateEdit>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>
#include <QTest>
#include <QTimeEdit>
#include <cmath>
#include <cstdlib>
#include <map>
#include <sstream>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

class ProfileCommandsAndWindow : public ::testing::Test {
protected:
    test::TempTree home, left, right;
    std::unique_ptr<TFSyncMain> w;
    std::vector<std::string> messages;

    ProfileCommandsAndWindow() { setenv("HOME", home.Root().c_str(), 1); }
    ~ProfileCommandsAndWindow() override { w.reset(); }

    test::ProcessResult Corvane(const std::vector<std::string>& args) {
        return test::RunCorvane(args, {{"HOME", home.Root()}, {"DISPLAY", ""},
                                       {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}});
    }
    std::map<std::string, std::string> Show(const std::string& name) {
        auto r = Corvane({"--show", name});
        EXPECT_EQ(r.Status, 0) << r.Err;
        std::map<std::string, std::string> fields;
        std::istringstream in(r.Out);
        for (std::string line; std::getline(in, line);)
            fields[line.substr(0, line.find('='))] = line.substr(line.find('=') + 1);
        return fields;
    }

    void Open() {
        w = std::make_unique<TFSyncMain>();
        // Every question and message would be a fault here: the profile loads cleanly.
        auto note = [this](std::string_view t) { messages.emplace_back(t); };
        w->Dialogs.Info = note;
        w->Dialogs.Question = [note](std::string_view t) { return note(t), false; };
        w->Dialogs.Decision = [note](std::string_view t) { return note(t), 0; };
        w->show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(w.get()));
    }

    template <class T = QWidget>
    T* Get(const char* name) {
        T* c = w->findChild<T*>(name);
        if (!c) ADD_FAILURE() << "no control " << name;
        return c;
    }
    std::string TextOf(const char* name) { return Get<QLineEdit>(name)->text().toStdString(); }
    std::string Caption(const char* name) { return Get<QLabel>(name)->text().toStdString(); }
    bool Checked(const char* name) { return Get<QAbstractButton>(name)->isChecked(); }
    tDateTime Picked() {
        const QDate d = Get<QDateEdit>("pickDate")->date();
        const QTime t = Get<QTimeEdit>("pickTime")->time();
        return EncodeDateTime({d.year(), d.month(), d.day(), t.hour(), t.minute(), t.second()});
    }
};

} // namespace

TEST_F(ProfileCommandsAndWindow, TheWindowShowsWhatTheScriptStoredAndTheScriptWhatTheWindowSaved) {
    // A next run two days ahead at 10:30:15, and a last run yesterday.
    const tDateTime now = NowDateTime();
    const tDateTime next = std::floor(now) + 2 + (10 * 3600 + 30 * 60 + 15) / 86400.0;
    const tDateTime last = std::floor(now) - 1 + (7 * 3600 + 5 * 60) / 86400.0;
    const std::string selection = ":\x01:docs:\x02:photos:";
    auto set = Corvane({"--set", "Script made", "LeftPath=" + left.Root(),
                        "RightPath=" + right.Root(), "FileMasks=*.txt;*.odt",
                        "ExcludeMasks=~*;*.tmp", "Ignore2Secs=yes", "Ignore1Hour=true",
                        "SymLinks=2", "Scheduled=yes", "NextRun=" + DateTimeText(next),
                        "Repeat=yes", "Days=0", "Hours=6", "Minutes=30", "RepeatMode=2",
                        "RepeatTimes=7", "Database=yes", "Wait=yes", "WaitMins=25",
                        "Subfolders=no", "Unattended=yes", "RightToLeft=no", "LeftToRight=yes",
                        "DetectMoved=no", "SelectBaseFolderItems=yes", "ExactMirror=yes",
                        "EmptyFolders=yes", "UA_OverwriteReadOnly=no", "UA_OverwriteLarger=no",
                        "UA_OverwriteNewer=yes", "UA_DeleteFiles=yes",
                        "LastRun=" + DateTimeText(last), "RecycleOverwrittenFiles=yes",
                        "RecycleDeletedFiles=no", "HiddenFiles=yes", "HiddenFolders=1",
                        "MultipleVersions=yes", "MaxVersions=4", "UseVersionsFolder=yes",
                        "OlderSubfolder=no", "VersionsFolder=Kept", "CacheRight=yes",
                        "AutoUpdate=yes", "BaseFolderItems=" + selection,
                        "LastRunResult=3 copied, 1 deleted"});
    ASSERT_EQ(set.Status, 0) << set.Err;
    const std::string stored = Corvane({"--show", "Script made"}).Out;

    Open();
    EXPECT_EQ(Get<QComboBox>("cbProfile")->currentText().toStdString(), "Script made");
    EXPECT_EQ(TextOf("edLeftPath"), left.Root());
    EXPECT_EQ(TextOf("edRightPath"), right.Root());
    EXPECT_EQ(TextOf("cbFileMasks"), "*.txt;*.odt");
    EXPECT_EQ(TextOf("cbExcludeMasks"), "~*;*.tmp");
    EXPECT_TRUE(Checked("cbIgnore2Secs"));
    EXPECT_TRUE(Checked("cbIgnore1Hour"));
    EXPECT_TRUE(Get<QRadioButton>("rgSymLinks_2")->isChecked());
    EXPECT_TRUE(Checked("cbScheduled"));
    EXPECT_NEAR(Picked(), next, 0.5 / 86400);
    EXPECT_TRUE(Checked("cbRepeat"));
    EXPECT_EQ(TextOf("edDays"), "0");
    EXPECT_EQ(TextOf("edHours"), "6");
    EXPECT_EQ(TextOf("edMinutes"), "30");
    EXPECT_TRUE(Checked("rbRepeatOnly"));
    EXPECT_EQ(TextOf("edRepeatTimes"), "7");
    EXPECT_TRUE(Checked("cbDatabase"));
    EXPECT_TRUE(Checked("cbWait"));
    EXPECT_EQ(TextOf("edWaitMins"), "25");
    EXPECT_FALSE(Checked("cbSubfolders"));
    EXPECT_TRUE(Checked("cbUnattended"));
    EXPECT_FALSE(Checked("cbUA_WhenScheduled"));
    EXPECT_TRUE(Checked("cbLeftToRight"));
    EXPECT_FALSE(Checked("cbRightToLeft"));
    EXPECT_FALSE(Checked("cbDetectMoved"));
    EXPECT_TRUE(Checked("cbSelectBaseFolderItems"));
    EXPECT_TRUE(Checked("cbExactMirror"));
    EXPECT_TRUE(Checked("cbEmptyFolders"));
    EXPECT_FALSE(Checked("cbUA_OverwriteReadOnly"));
    EXPECT_FALSE(Checked("cbUA_OverwriteLarger"));
    EXPECT_TRUE(Checked("cbUA_OverwriteNewer"));
    EXPECT_TRUE(Checked("cbUA_DeleteFiles"));
    EXPECT_EQ(Caption("lbLastRun"), DateTimeText(last));
    EXPECT_EQ(Caption("lbLastRunResult"), "3 copied, 1 deleted");
    EXPECT_TRUE(Checked("cbRecycleOverwrittenFiles"));
    EXPECT_FALSE(Checked("cbRecycleDeletedFiles"));
    EXPECT_TRUE(Checked("cbHiddenFiles"));
    EXPECT_TRUE(Checked("cbHiddenFolders"));
    EXPECT_TRUE(Checked("cbMultipleVersions"));
    EXPECT_EQ(TextOf("edMaxVersions"), "4");
    EXPECT_TRUE(Checked("cbUseVersionsFolder"));
    EXPECT_FALSE(Checked("cbOlderSubfolder"));
    EXPECT_EQ(TextOf("edVersionsFolder"), "Kept");
    EXPECT_TRUE(Checked("cbCacheRight"));
    EXPECT_TRUE(Checked("cbAutoUpdate"));

    // Loaded as stored: "Save" changes nothing, and the base-folder selection the window
    // keeps for the profile is stored again as it was.
    EXPECT_FALSE(w->IsProfileModified());
    Get<QAbstractButton>("btSave")->click();
    EXPECT_EQ(Corvane({"--show", "Script made"}).Out, stored);

    // Changed and saved in the window: --show prints the window's values.
    Get<QLineEdit>("edRightPath")->setText(QString::fromStdString(left.Path("elsewhere")));
    Get<QLineEdit>("cbFileMasks")->setText("*.pdf");
    Get<QAbstractButton>("cbExactMirror")->click();
    Get<QAbstractButton>("cbHiddenFiles")->click();
    Get<QAbstractButton>("cbUA_WhenScheduled")->click();
    Get<QAbstractButton>("rgSymLinks_1")->click();
    Get<QAbstractButton>("rbRepeatIndefinitely")->click();
    Get<QLineEdit>("edDays")->setText("3");
    Get<QLineEdit>("edVersionsFolder")->setText("Older ones");
    Get<QAbstractButton>("cbRightToLeft")->click();
    EXPECT_TRUE(w->IsProfileModified());
    Get<QAbstractButton>("btSave")->click();
    auto f = Show("Script made");
    EXPECT_EQ(f["RightPath"], left.Path("elsewhere"));
    EXPECT_EQ(f["FileMasks"], "*.pdf");
    EXPECT_EQ(f["ExcludeMasks"], "~*;*.tmp");
    EXPECT_EQ(f["ExactMirror"], "no");
    EXPECT_EQ(f["HiddenFiles"], "no");
    EXPECT_EQ(f["HiddenFolders"], "yes");
    EXPECT_EQ(f["Unattended"], "no");
    EXPECT_EQ(f["SymLinks"], "1");
    EXPECT_EQ(f["RepeatMode"], "1");
    EXPECT_EQ(f["Days"], "3");
    EXPECT_EQ(f["VersionsFolder"], "Older ones");
    EXPECT_EQ(f["RightToLeft"], "yes");
    EXPECT_EQ(f["LeftToRight"], "yes");
    EXPECT_EQ(f["Scheduled"], "yes");
    EXPECT_EQ(ParseDateTime(f["NextRun"]), ParseDateTime(DateTimeText(next)));
    EXPECT_EQ(f["LastRun"], DateTimeText(last));
    EXPECT_EQ(f["LastRunResult"], "3 copied, 1 deleted");
    EXPECT_EQ(f["BaseFolderItems"], selection);
    // The window's save is one --set reads back: a script can copy it unchanged.
    EXPECT_EQ(Corvane({"--set", "Script made", "Days=3"}).Status, 0);
    EXPECT_EQ(Show("Script made"), f);
    EXPECT_TRUE(messages.empty()) << messages.front();
}
