#include "ui/OverviewPage.h"

#include "engine/RunDriver.h"
#include "engine/UiPort.h"
#include "profiles/ProfileStore.h"
#include "ui/EditPage.h"
#include "ui/HelpWindow.h"
#include "ui/OptionsPage.h"
#include "ui/PageControls.h"
#include "ui/SchedulerPage.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QListWidget>
#include <QPushButton>
#include <QVBoxLayout>

#include <exception>

namespace corvane::gui {

using namespace controls;

namespace {

constexpr const char* kNothingToSchedule =
    "Please place checkmarks next to those profiles that you want to schedule.";
constexpr const char* kNothingToEdit =
    "Please select a profile to edit. This is done by clicking on the profile name (not the "
    "checkbox).";
constexpr int kProfileNameRole = Qt::UserRole + 1;

} // namespace

tOverviewPage::tOverviewPage(TFSyncMain& main) : main_(main) {
    setObjectName("tsMultiple");
    controls::Help(this, help::Scheduler);
    auto* group = Named(new QGroupBox(" Choose Profiles To Run Now ", this), "GroupBox2");
    clbMultiple = Named(new QListWidget(group), "clbMultiple");
    clbMultiple->setSpacing(1);
    auto* box = new QVBoxLayout(group);
    box->addWidget(clbMultiple);
    btRunMultipleNow = Button(this, "btRunMultipleNow", "&Run");
    btNowAll = Button(this, "btNowAll", "&All");
    btNowNone = Button(this, "btNowNone", "&None");
    btEdit = Button(this, "btEdit", "E&dit Profile");
    btSchedule = Button(this, "btSchedule", "&Schedule");
    LMDButton1 = Button(this, "LMDButton1", "E&xit");
    cbRunNowUnattended = Check(this, "cbRunNowUnattended", "Run All Unattended");
    auto* buttons = new QVBoxLayout;
    buttons->addWidget(btRunMultipleNow);
    buttons->addWidget(cbRunNowUnattended);
    buttons->addSpacing(10);
    for (QWidget* w : {btNowAll, btNowNone, btEdit, btSchedule}) buttons->addWidget(w);
    buttons->addStretch();
    buttons->addWidget(LMDButton1);
    auto* layout = new QHBoxLayout(this);
    layout->addWidget(group, 1);
    layout->addLayout(buttons);

    auto click = [this](QPushButton* b, void (tOverviewPage::*handler)()) {
        connect(b, &QPushButton::clicked, this, [this, handler] { (this->*handler)(); });
    };
    click(btRunMultipleNow, &tOverviewPage::btRunMultipleNowClick);
    click(btNowAll, &tOverviewPage::btNowAllClick);
    click(btNowNone, &tOverviewPage::btNowNoneClick);
    click(btEdit, &tOverviewPage::btEditClick);
    click(btSchedule, &tOverviewPage::btScheduleClick);
    connect(LMDButton1, &QPushButton::clicked, &main, [&main] { main.btExitClick(); });
}

void tOverviewPage::ListProfiles(const std::vector<std::string>& names) {
    clbMultiple->clear();
    for (const std::string& name : names) {
        tProfile p;
        p.LastRunResult = main_.Store().Read("rep_" + name, "Reports");
        DecodeOptions(p, main_.Store().Read("opt_" + name, "Profiles"));
        auto* item = new QListWidgetItem(Q(name) + "    ( " + FromBytes(p.LeftPath) + "  <->  " +
                                             FromBytes(p.RightPath) + " )",
                                         clbMultiple);
        item->setFlags(item->flags() | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Unchecked);
        item->setData(kProfileNameRole, Q(name));
        item->setToolTip(item->text());
    }
}

void tOverviewPage::btRunMultipleNowClick() {
    main_.SetPagesEnabled(false);
    const bool unattended = cbRunNowUnattended->isChecked();
    main_.OptionsPage().UseLogFolder();
    tPreferences& store = main_.Store();
    for (int i = 0; i < clbMultiple->count() && !main_.ClosePending(); ++i) {
        QListWidgetItem* item = clbMultiple->item(i);
        if (item->checkState() != Qt::Checked) continue;
        const std::string name = S(item->data(kProfileNameRole).toString());
        auto loaded = LoadStoredProfile(store, name);
        if (!loaded) break;
        tProfile& p = *loaded;
        bool ok = false;
        {
            const auto guard = main_.GuardRun(p);
            try {
                ok = RunProfile(p, unattended);
            } catch (const std::exception& e) {
                main_.Dialogs.Info(e.what());
            }
        }
        // A run refused because it goes on elsewhere leaves the record to that run.
        if (!p.AlreadyRunning) store.Write("opt_" + name, EncodeOptions(p), "Profiles");
        if (name == main_.CurrentName()) main_.EditPage().ShowProfile(p);
        if (std::string error = store.Flush(); !error.empty()) main_.Dialogs.Info(error);
        if (!ok) break;
    }
    main_.SetPagesEnabled(true);
    main_.CloseIfPending();
}

void tOverviewPage::btNowAllClick() {
    for (int i = 0; i < clbMultiple->count(); ++i) clbMultiple->item(i)->setCheckState(Qt::Checked);
}

void tOverviewPage::btNowNoneClick() {
    for (int i = 0; i < clbMultiple->count(); ++i) clbMultiple->item(i)->setCheckState(Qt::Unchecked);
}

void tOverviewPage::btEditClick() {
    const QList<QListWidgetItem*> selected = clbMultiple->selectedItems();
    if (selected.isEmpty()) {
        main_.Dialogs.Info(kNothingToEdit);
        return;
    }
    tEditPage& edit = main_.EditPage();
    edit.SelectComboIndex(clbMultiple->row(selected.first()));
    edit.LoadCurrentProfile();
    main_.ShowPage(&edit);
}

void tOverviewPage::btScheduleClick() {
    tEditPage& edit = main_.EditPage();
    const std::string shown = main_.CurrentName();
    bool anyTicked = false;
    for (int i = 0; i < clbMultiple->count(); ++i) {
        const bool ticked = clbMultiple->item(i)->checkState() == Qt::Checked;
        anyTicked = anyTicked || ticked;
        edit.SelectComboIndex(i);
        edit.LoadCurrentProfile();
        edit.SaveScheduled(ticked);
    }
    // The edit page goes back to the profile it showed.
    const int back = edit.IndexOfProfile(shown);
    if (back >= 0) {
        edit.SelectComboIndex(back);
        edit.LoadCurrentProfile();
    }
    if (!anyTicked) {
        main_.Dialogs.Info(kNothingToSchedule);
        return;
    }
    main_.ShowPage(&main_.SchedulerPage());
    main_.FillProfileLists(main_.CurrentName(), true, main_.Now(), false);
}

} // namespace corvane::gui
