// Continuous sync: the watched profiles of one store, each run unattended once at the start
// and then whenever its trees changed and the quiet time has passed since the last change.
// The caller owns the event loop: it polls Fd() (a socket notifier in the window, poll()
// headless), calls ReadEvents() when it is readable and RunDue() when TimeToNext() has
// passed. Everything happens on the caller's thread.
#pragma once

#include "scheduler/FolderWatcher.h"
#include "scheduler/Scheduler.h"

#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace corvane {

class tPreferences;
class tProfile;

// Seconds on the monotonic clock.
double MonotonicSeconds();

inline constexpr int kDefaultWatchQuiet = 5;
// How often a profile whose changes cannot be watched is rescanned, and how often a failing
// profile is tried again at most.
inline constexpr double kRescanSeconds = 60;

// Runs the stored profile name unattended and stores its option record and result (with a
// flush), as a scheduled run does but leaving its schedule alone. A run refused because the
// profile is already running stores nothing.
tScheduledRun RunWatchedProfile(tPreferences& store, const std::string& name, tProfile& profile);

// Whether a run of the stored profile name would carry anything out now: the analysis alone
// (nothing on disk changes, nothing is stored). true also when the analysis cannot tell (a
// failing base folder, an invalid mask): the run then reports it.
bool WatchedRunHasWork(const tPreferences& store, const std::string& name);

class tWatchList {
public:
    struct tHooks {
        // Right before and right after each run (as for scheduled runs).
        std::function<void(const std::string& name, tProfile&)> Starting;
        std::function<void(const tScheduledRun&, tProfile&)> Finished;
        // Asked between runs: false stops RunDue.
        std::function<bool()> Continue;
    };

    explicit tWatchList(tPreferences& store, std::function<double()> clock = MonotonicSeconds,
                        long watchLimit = WatchLimit());
    ~tWatchList();

    // Watches only this profile (corvane --watch), with its stored quiet time or, when it
    // has none, the default. Call before Refresh.
    void WatchOnly(const std::string& name);

    // Takes the watched profiles from the store: new ones (and those whose folders, masks
    // or hidden rules changed) are watched afresh and run once; those no longer watched are
    // dropped. Cheap when nothing changed.
    void Refresh();

    bool Empty() const { return profiles_.empty(); }
    bool Watches(const std::string& name) const;
    // The descriptor to poll for reading; -1 when there is none.
    int Fd() const { return watcher_.Fd(); }

    // Takes in the changes pending on Fd() without blocking.
    void ReadEvents();

    // Seconds until RunDue has a run to start (0 when one is due now); a large value when
    // nothing is pending.
    double TimeToNext() const;

    // Starts every watched profile that is due, one after another. The events of a run's own
    // copies start no further run: changes seen while a profile ran lead to an analysis
    // first, and to a run only when it finds work.
    void RunDue(const tHooks& hooks);

    // Notes said once per profile and cause: a profile that is rescanned every minute
    // instead of watched, and why. Taken, they are not given again.
    std::vector<std::string> TakeNotes();

    // The name of the profile running now, "" between runs.
    const std::string& RunningName() const;

private:
    struct tEntry;
    void Rewatch(tEntry& e, double now);
    bool Due(const tEntry& e, double now) const;
    double DueAt(const tEntry& e) const;
    void Changed(int id, double now);

    tPreferences& store_;
    std::function<double()> clock_;
    tFolderWatcher watcher_;
    std::string only_;
    int nextId_ = 1;
    std::vector<std::unique_ptr<tEntry>> profiles_;
    tEntry* running_ = nullptr;
    std::vector<std::string> notes_;
};

} // namespace corvane
