// The main window's "Scheduler" page: the scheduled profiles in the order they are due, and
// the timer that starts them; while it runs, the watched profiles run when their files change.
#pragma once

#include "scheduler/Scheduler.h"
#include "widgets/StatusGrid.h"

#include <QWidget>
#include <memory>

class QCheckBox;
class QLabel;
class QModelIndex;
class QPainter;
class QPalette;
class QPushButton;
class QStyleOptionViewItem;
class QTableWidget;
class QTimer;

namespace corvane {
class UiPort;
}

namespace corvane::gui {

class TFSyncMain;
class tSchedulerWatch;

// The colours of a scheduler grid cell: the next profile's row blue with white text,
// header cells the grid's fixed colour, other cells its normal colour.
tCellColors ScheduleCellColors(const QPalette& palette, bool header, bool nextRow);

class tSchedulerPage : public QWidget {
    Q_OBJECT
public:
    explicit tSchedulerPage(TFSyncMain& main);
    ~tSchedulerPage() override;

    // The scheduler's rows and next start as the grid shows them.
    const tScheduler& Scheduler() const { return *scheduler_; }
    // The timer is enabled, or one of the scheduler's runs is under way.
    bool Active() const;
    // The watched profiles are being looked at or run (the window closes afterwards).
    bool WatchBusy() const { return watchBusy_; }
    // The rows of the stored profiles due at now into the grid.
    void ListRows(tDateTime now);
    int RowCount() const;
    // Started with "/autostart": the page is shown and the scheduler starts once the
    // window is visible.
    void StartOnAutostart();
    void StopTimer();

    // Handlers.
    void btSchedulerClick();
    void Timer1Timer();
    void cbOnlyScheduledProfilesChange();
    void grdProfilesDrawCellX(QPainter* painter, const QStyleOptionViewItem& option,
                              const QModelIndex& index) const;

private:
    void ShowScheduleRows();
    tScheduler::tHooks SchedulerHooks();
    // The due runs of the watched profiles, unless another run is under way (the next tick
    // tries again).
    void RunWatched();
    // The status label: text, then the watch notes said so far.
    void SetStatus(const QString& text);
    void TakeWatchNotes();

    TFSyncMain& main_;
    std::unique_ptr<tScheduler> scheduler_;
    bool dangerListed_ = false;
    bool autostartPending_ = false;
    bool scheduledRunActive_ = false;
    std::unique_ptr<UiPort> scheduledGuard_;
    std::unique_ptr<tSchedulerWatch> watch_;
    bool watchBusy_ = false; // RunDue is under way (an analysis or a run)
    QString status_, watchNotes_;

    QLabel* lbStatus = nullptr;
    QTableWidget* grdProfiles = nullptr;
    QPushButton *btScheduler = nullptr, *btExit3 = nullptr;
    QCheckBox* cbOnlyScheduledProfiles = nullptr;
    QTimer* Timer1 = nullptr;
};

} // namespace corvane::gui
