// The watched profiles of the window's scheduler on the UI thread's event loop: a socket
// notifier takes in folder events as they come, and a single-shot timer wakes the window
// when the next run is due. The runs themselves are the window's (it owns the run hooks).
#pragma once

#include "scheduler/Watching.h"

#include <QObject>
#include <functional>
#include <string>
#include <vector>

class QSocketNotifier;
class QTimer;

namespace corvane {
class tPreferences;
}

namespace corvane::gui {

class tSchedulerWatch : public QObject {
public:
    // Watches the watched profiles of store (Refresh) at once.
    tSchedulerWatch(tPreferences& store, QObject* parent);
    ~tSchedulerWatch() override;

    tWatchList& List() { return list_; }
    bool Empty() const { return list_.Empty(); }

    // Called on the event loop when a run may be due; never while RunDue is under way.
    std::function<void()> Due;

    // The due runs with the window's hooks; events arriving meanwhile (the runs let events
    // run) are taken in and count as seen during the run.
    void RunDue(const tWatchList::tHooks& hooks);
    // The store changed (a profile saved, renamed, deleted): watched profiles taken in again.
    void Refresh();
    // Notes said once (a profile rescanned every minute, and why).
    std::vector<std::string> TakeNotes() { return list_.TakeNotes(); }

private:
    // The timer to the next due run.
    void Rearm();

    tWatchList list_;
    QSocketNotifier* notifier_ = nullptr;
    QTimer* timer_ = nullptr;
    bool running_ = false;
};

} // namespace corvane::gui
