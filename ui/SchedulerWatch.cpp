#include "ui/SchedulerWatch.h"

#include <QSocketNotifier>
#include <QTimer>
#include <algorithm>
#include <cmath>

namespace corvane::gui {

tSchedulerWatch::tSchedulerWatch(tPreferences& store, QObject* parent)
    : QObject(parent), list_(store), timer_(new QTimer(this)) {
    timer_->setSingleShot(true);
    connect(timer_, &QTimer::timeout, this, [this] {
        if (!running_ && Due) Due();
    });
    list_.Refresh();
    if (list_.Fd() >= 0) {
        notifier_ = new QSocketNotifier(list_.Fd(), QSocketNotifier::Read, this);
        connect(notifier_, &QSocketNotifier::activated, this, [this] {
            list_.ReadEvents();
            if (!running_) Rearm();
        });
    }
    Rearm();
}

tSchedulerWatch::~tSchedulerWatch() = default;

void tSchedulerWatch::RunDue(const tWatchList::tHooks& hooks) {
    if (running_) return;
    running_ = true;
    list_.RunDue(hooks);
    running_ = false;
    Rearm();
}

void tSchedulerWatch::Refresh() {
    list_.Refresh();
    if (!running_) Rearm();
}

void tSchedulerWatch::Rearm() {
    const double seconds = list_.TimeToNext();
    // Nothing pending: the next event rearms it; a minute bounds the wait all the same.
    const double wait = std::min(seconds, 60.0);
    timer_->start(static_cast<int>(std::ceil(wait * 1000.0)));
}

} // namespace corvane::gui
