// The main window's "Scheduler" page: the scheduled profiles in the order they are due, and
// the timer that starts them.
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

    TFSyncMain& main_;
    std::unique_ptr<tScheduler> scheduler_;
    bool dangerListed_ = false;
    bool autostartPending_ = false;
    bool scheduledRunActive_ = false;
    std::unique_ptr<UiPort> scheduledGuard_;

    QLabel* lbStatus = nullptr;
    QTableWidget* grdProfiles = nullptr;
    QPushButton *btScheduler = nullptr, *btExit3 = nullptr;
    QCheckBox* cbOnlyScheduledProfiles = nullptr;
    QTimer* Timer1 = nullptr;
};

} // namespace corvane::gui
