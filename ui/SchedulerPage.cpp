#include "ui/SchedulerPage.h"

#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "ui/EditPage.h"
#include "ui/HelpWindow.h"
#include "ui/OptionsPage.h"
#include "ui/PageControls.h"
#include "ui/SchedulerWatch.h"
#include "ui/SyncMain.h"
#include "widgets/Bytes.h"

#include <QCheckBox>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPainter>
#include <QPushButton>
#include <QStyledItemDelegate>
#include <QTableWidget>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <cstdio>

namespace corvane::gui {

using namespace controls;

namespace {

// The scheduler grid's cells are painted by the page.
class tProfileGridDelegate : public QStyledItemDelegate {
public:
    explicit tProfileGridDelegate(tSchedulerPage* page) : QStyledItemDelegate(page), page_(page) {}
    void paint(QPainter* painter, const QStyleOptionViewItem& option,
               const QModelIndex& index) const override {
        page_->grdProfilesDrawCellX(painter, option, index);
    }

private:
    tSchedulerPage* page_;
};

} // namespace

tCellColors ScheduleCellColors(const QPalette& palette, bool header, bool nextRow) {
    if (header) return {palette.color(QPalette::Button), palette.color(QPalette::ButtonText)};
    if (nextRow) return {QColor(0, 0, 255), QColor(255, 255, 255)};
    return {palette.color(QPalette::Base), palette.color(QPalette::Text)};
}

tSchedulerPage::tSchedulerPage(TFSyncMain& main)
    : main_(main),
      scheduler_(std::make_unique<tScheduler>(main.Store(), [&main] { return main.Now(); })) {
    setObjectName("tsScheduler");
    controls::Help(this, help::Scheduler);
    lbStatus = Text(this, "lbStatus", "Scheduler is inactive.");
    auto* group = Named(new QGroupBox(" Profiles ", this), "GroupBox3");
    grdProfiles = Named(new QTableWidget(0, 4, group), "grdProfiles");
    grdProfiles->setHorizontalHeaderLabels({"Next Run", "Profile Name", "Left/Right Folders", "Last Run"});
    const int widths[] = {60, 150, 220, 150};
    for (int c = 0; c < 4; ++c) grdProfiles->setColumnWidth(c, widths[c]);
    // A date is wider than 60 pixels in most fonts: the column takes what its text needs.
    grdProfiles->setColumnWidth(0, std::max(widths[0], grdProfiles->fontMetrics().horizontalAdvance("00.00.0000") + 10));
    grdProfiles->horizontalHeader()->setStretchLastSection(true);
    grdProfiles->horizontalHeader()->setDefaultAlignment(Qt::AlignLeft | Qt::AlignVCenter);
    // The header keeps one look whichever row is selected.
    grdProfiles->horizontalHeader()->setHighlightSections(false);
    grdProfiles->horizontalHeader()->setFixedHeight(std::max(17, grdProfiles->fontMetrics().height() + 4));
    grdProfiles->verticalHeader()->setVisible(false);
    grdProfiles->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    grdProfiles->verticalHeader()->setDefaultSectionSize(std::max(34, 2 * grdProfiles->fontMetrics().height() + 4));
    grdProfiles->setEditTriggers(QAbstractItemView::NoEditTriggers);
    grdProfiles->setSelectionBehavior(QAbstractItemView::SelectRows);
    grdProfiles->setSelectionMode(QAbstractItemView::SingleSelection);
    grdProfiles->setWordWrap(false);
    grdProfiles->setItemDelegate(new tProfileGridDelegate(this));
    auto* box = new QVBoxLayout(group);
    box->addWidget(grdProfiles);
    btScheduler = Button(this, "btScheduler", "&Start Scheduler");
    cbOnlyScheduledProfiles = Check(this, "cbOnlyScheduledProfiles", "Show only scheduled profiles", true);
    btExit3 = Button(this, "btExit3", "E&xit");
    auto* bottom = new QHBoxLayout;
    bottom->addWidget(btScheduler);
    bottom->addWidget(cbOnlyScheduledProfiles);
    bottom->addStretch();
    bottom->addWidget(btExit3);
    auto* layout = new QVBoxLayout(this);
    layout->addWidget(lbStatus);
    layout->addWidget(group, 1);
    layout->addLayout(bottom);
    Timer1 = Named(new QTimer(this), "Timer1");

    connect(btScheduler, &QPushButton::clicked, this, [this] { btSchedulerClick(); });
    connect(cbOnlyScheduledProfiles, &QCheckBox::clicked, this,
            [this] { cbOnlyScheduledProfilesChange(); });
    connect(Timer1, &QTimer::timeout, this, [this] { Timer1Timer(); });
    connect(btExit3, &QPushButton::clicked, &main, [&main] { main.btExitClick(); });
}

tSchedulerPage::~tSchedulerPage() = default;

bool tSchedulerPage::Active() const {
    return Timer1->isActive() || scheduledRunActive_ || watchBusy_;
}

int tSchedulerPage::RowCount() const { return grdProfiles->rowCount(); }

void tSchedulerPage::StopTimer() { Timer1->stop(); }

void tSchedulerPage::ListRows(tDateTime now) {
    grdProfiles->setRowCount(0);
    // The rows keep their due times beside the texts; the search reads those.
    scheduler_->OnlyScheduled = cbOnlyScheduledProfiles->isChecked();
    scheduler_->Rebuild(now);
    dangerListed_ = scheduler_->DangerListed();
    ShowScheduleRows();
}

void tSchedulerPage::StartOnAutostart() {
    // The scheduler's steps run on Timer1; starting it is the scheduler's part.
    autostartPending_ = true;
    main_.ShowPage(this);
    main_.FillProfileLists(main_.CurrentName(), true, main_.Now(), false);
    Timer1->start(100);
}

void tSchedulerPage::ShowScheduleRows() {
    const auto& rows = scheduler_->Rows();
    grdProfiles->setRowCount(static_cast<int>(rows.size()));
    for (int r = 0; r < static_cast<int>(rows.size()); ++r)
        for (int c = 0; c < 4; ++c) {
            const QString text = FromBytes(rows[static_cast<size_t>(r)].Cells[c]);
            auto* item = new QTableWidgetItem(text);
            // Long folders are cut in the cell; the tip shows them whole.
            item->setToolTip(QString(text).replace(QChar(kCellLineBreak), '\n'));
            grdProfiles->setItem(r, c, item);
        }
    grdProfiles->viewport()->update();
}

void tSchedulerPage::grdProfilesDrawCellX(QPainter* painter, const QStyleOptionViewItem& option,
                                          const QModelIndex& index) const {
    const tNextDue& next = scheduler_->Next();
    const tCellColors colors =
        ScheduleCellColors(option.palette, false, next.Known && index.row() == next.Row);
    painter->save();
    painter->fillRect(option.rect, colors.Background);
    painter->setPen(colors.Font);
    painter->setFont(option.font);
    const auto [upper, lower] = SplitCell(ToBytes(index.data().toString()));
    const QRect inner = option.rect.adjusted(3, 1, -3, -1);
    const int half = inner.height() / 2;
    const QFontMetrics metrics(option.font);
    auto line = [&](const std::string& text, const QRect& rect) {
        painter->drawText(rect, Qt::AlignLeft | Qt::AlignVCenter,
                          metrics.elidedText(FromBytes(text), Qt::ElideRight, rect.width()));
    };
    // A text without the line break is one line, on the upper half.
    line(upper, QRect(inner.left(), inner.top(), inner.width(), half));
    if (!lower.empty())
        line(lower, QRect(inner.left(), inner.top() + half, inner.width(), inner.height() - half));
    painter->restore();
}

tScheduler::tHooks tSchedulerPage::SchedulerHooks() {
    tScheduler::tHooks hooks;
    hooks.Found = [this](const tNextDue& next) {
        grdProfiles->selectRow(next.Row);
        SetStatus(Q(NextStartText(next.Due)));
        grdProfiles->viewport()->update();
    };
    hooks.Starting = [this](const tScheduleRow&, tProfile& profile) {
        Timer1->stop();
        scheduledRunActive_ = true;
        btScheduler->setEnabled(false);
        grdProfiles->setEnabled(false);
        // Nothing else of the window may start a run in the middle of this one.
        main_.SetPagesEnabled(false);
        main_.OptionsPage().UseLogFolder();
        scheduledGuard_ = main_.GuardRun(profile);
    };
    hooks.Finished = [this](const tScheduledRun& run, tProfile& profile) {
        scheduledGuard_.reset();
        grdProfiles->setEnabled(true);
        btScheduler->setEnabled(true);
        main_.SetPagesEnabled(true);
        scheduledRunActive_ = false;
        if (run.Failed()) main_.NotifyFailure(run.Name, run.Result);
        if (!run.StoreError.empty()) main_.NotifyFailure(run.Name, run.StoreError);
        if (run.Loaded && !run.Skipped && profile.Name == main_.CurrentName())
            main_.EditPage().ShowProfile(profile);
        main_.FillProfileLists(main_.CurrentName(), true, run.Due, false);
        Timer1->start(1000);
    };
    hooks.Continue = [this] { return !main_.ClosePending(); };
    return hooks;
}

void tSchedulerPage::SetStatus(const QString& text) {
    status_ = text;
    lbStatus->setText(watchNotes_.isEmpty() ? text : text + watchNotes_);
}

void tSchedulerPage::TakeWatchNotes() {
    if (!watch_) return;
    for (const std::string& note : watch_->TakeNotes()) {
        std::fprintf(stderr, "corvane: %s\n", note.c_str());
        watchNotes_ += "\n" + FromBytes(note);
    }
    SetStatus(status_);
}

void tSchedulerPage::RunWatched() {
    if (!watch_ || watchBusy_ || scheduledRunActive_ || main_.RunningProfile()) return;
    tScheduler::tHooks scheduled = SchedulerHooks();
    tWatchList::tHooks hooks;
    hooks.Starting = [scheduled](const std::string& name, tProfile& profile) {
        tScheduleRow row;
        row.Name = name;
        scheduled.Starting(row, profile);
    };
    hooks.Finished = [this, scheduled](const tScheduledRun& run, tProfile& profile) {
        tScheduledRun shown = run;
        shown.Due = main_.Now(); // the rows are rebuilt for this moment
        scheduled.Finished(shown, profile);
    };
    hooks.Continue = scheduled.Continue;
    // Stopping the scheduler would take the watch away under the analysis or the run.
    watchBusy_ = true;
    btScheduler->setEnabled(false);
    watch_->RunDue(hooks);
    btScheduler->setEnabled(true);
    watchBusy_ = false;
    TakeWatchNotes();
    if (main_.ClosePending()) {
        if (Timer1->isActive()) btSchedulerClick();
        main_.CloseIfPending();
    }
}

void tSchedulerPage::btSchedulerClick() {
    if (watchBusy_) return;
    ClearRightListCache();
    scheduler_->Forget();
    if (Timer1->isActive()) {
        Timer1->stop();
        watch_.reset();
        watchNotes_.clear();
        btScheduler->setText("&Start Scheduler");
        SetStatus(kSchedulerInactive);
        btExit3->setEnabled(true);
        cbOnlyScheduledProfiles->setEnabled(true);
        grdProfiles->viewport()->update();
        return;
    }
    // The danger rule looks at the profiles as stored now.
    main_.FillProfileLists(main_.CurrentName(), true, main_.Now(), false);
    if (dangerListed_ && main_.Dialogs.Decision(kSchedulerDangerQuestion) != 1) return;
    Timer1->start(1000);
    btExit3->setEnabled(false);
    cbOnlyScheduledProfiles->setEnabled(false);
    btScheduler->setText("&Stop Scheduler");
    SetStatus(kSchedulerRunning);
    watch_ = std::make_unique<tSchedulerWatch>(main_.Store(), nullptr);
    watch_->Due = [this] { RunWatched(); };
    TakeWatchNotes();
    // The first runs come from the event loop, as every later one does.
    QTimer::singleShot(0, this, [this] { RunWatched(); });
}

void tSchedulerPage::Timer1Timer() {
    if (autostartPending_) {
        if (!main_.isVisible()) return;
        Timer1->stop();
        autostartPending_ = false;
        btSchedulerClick();
        return;
    }
    // A run started by hand (its review may be open) goes first: try again next tick.
    if (main_.RunningProfile() || watchBusy_) return;
    // Watched profiles keep the scheduler going when nothing is scheduled.
    if (!scheduler_->Tick(main_.Now(), SchedulerHooks()) && (!watch_ || watch_->Empty())) {
        btSchedulerClick();
        SetStatus(kNoMoreProfiles);
    }
    RunWatched();
    if (main_.ClosePending()) {
        if (Timer1->isActive()) btSchedulerClick();
        main_.CloseIfPending();
    }
}

void tSchedulerPage::cbOnlyScheduledProfilesChange() {
    main_.FillProfileLists(main_.CurrentName(), true, main_.Now(), false);
}

} // namespace corvane::gui
