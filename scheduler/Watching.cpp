#include "scheduler/Watching.h"

#include "engine/Analysis.h"
#include "engine/Masks.h"
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "log/Reports.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"

#include <algorithm>
#include <exception>
#include <limits>
#include <time.h>

namespace corvane {

namespace {

constexpr double kNever = std::numeric_limits<double>::max();
constexpr int kQuickFollowUps = 3;

// What decides which folders are watched and which events count.
std::string WatchSignature(const tProfile& p) {
    return p.LeftPath + '\n' + p.RightPath + '\n' + p.FileMasks + '\n' + p.ExcludeMasks + '\n' +
           (p.Subfolders ? '1' : '0') + (p.HiddenFiles ? '1' : '0') + (p.HiddenFolders ? '1' : '0');
}

} // namespace

double MonotonicSeconds() {
    timespec t{};
    clock_gettime(CLOCK_MONOTONIC, &t);
    return static_cast<double>(t.tv_sec) + static_cast<double>(t.tv_nsec) / 1e9;
}

tScheduledRun RunWatchedProfile(tPreferences& store, const std::string& name, tProfile& profile) {
    tScheduledRun run = RunStoredProfileUnattended(store, name, NowDateTime(), profile);
    if (!run.Loaded) return run;
    run.NextRun = profile.NextRun;
    if (profile.AlreadyRunning) {
        run.Skipped = true;
        return run;
    }
    store.Write("opt_" + name, EncodeOptions(profile), "Profiles");
    run.StoreError = store.Flush();
    return run;
}

bool WatchedRunHasWork(const tPreferences& store, const std::string& name) {
    auto loaded = LoadStoredProfile(store, name);
    if (!loaded) return true;
    tProfile& p = *loaded;
    // A cached right side would hide the very changes being looked for.
    if (p.CacheRight) return true;
    p.ForcedUnattended = true;
    p.RunUnattended = true;
    SetFilterDefaults(p);
    try {
        if (!AnalyzeProfile(p)) return true;
    } catch (const std::exception&) {
        return true;
    }
    return p.Stats.AffectedCount > 0;
}

struct tWatchList::tEntry {
    std::string Name;
    int Id = 0;
    int Quiet = kDefaultWatchQuiet;
    std::string Signature;
    tWatchMode Mode = tWatchMode::Events;
    std::string Problem;      // why it is rescanned instead of watched
    std::string NotedProblem; // the problem last said
    bool Pending = true;      // run once at the start
    double LastChange = -kNever;
    double NotBefore = 0;    // a failing profile waits a minute
    bool CheckFirst = false; // only changes seen during its own run: analyse before running
    double CheckNotBefore = 0;
    int FollowUps = 0; // runs in a row started by changes seen during the run before
    bool SeenDuringRun = false;
    double NextRescan = kNever;
};

tWatchList::tWatchList(tPreferences& store, std::function<double()> clock, long watchLimit)
    : store_(store), clock_(std::move(clock)), watcher_(watchLimit) {}

tWatchList::~tWatchList() = default;

void tWatchList::WatchOnly(const std::string& name) {
    only_ = name;
}

bool tWatchList::Watches(const std::string& name) const {
    return std::any_of(profiles_.begin(), profiles_.end(),
                       [&](const auto& e) { return e->Name == name; });
}

const std::string& tWatchList::RunningName() const {
    static const std::string none;
    return running_ ? running_->Name : none;
}

void tWatchList::Rewatch(tEntry& e, double now) {
    auto loaded = LoadStoredProfile(store_, e.Name);
    if (!loaded) {
        watcher_.Unwatch(e.Id);
        e.Mode = tWatchMode::Unreachable;
        e.Problem = "the stored profile could not be read";
    } else {
        e.Mode = watcher_.Watch(e.Id, *loaded, e.Problem);
    }
    if (e.Mode == tWatchMode::Events) {
        e.NextRescan = kNever;
        e.NotedProblem.clear();
        return;
    }
    e.NextRescan = now + kRescanSeconds;
    if (e.Problem != e.NotedProblem) {
        notes_.push_back("\"" + e.Name + "\": rescanning every minute: " + e.Problem);
        e.NotedProblem = e.Problem;
    }
}

void tWatchList::Refresh() {
    const double now = clock_();
    std::vector<std::pair<std::string, int>> wanted;
    for (const std::string& name : StoredProfileNames(store_)) {
        const int quiet = StoredWatchQuiet(store_, name);
        if (!only_.empty()) {
            if (name == only_) wanted.emplace_back(name, quiet > 0 ? quiet : kDefaultWatchQuiet);
        } else if (quiet > 0) {
            wanted.emplace_back(name, quiet);
        }
    }
    // Dropped: no longer stored or no longer watched. The running one stays until its end.
    for (auto it = profiles_.begin(); it != profiles_.end();) {
        const bool kept = std::any_of(wanted.begin(), wanted.end(),
                                      [&](const auto& w) { return w.first == (*it)->Name; });
        if (kept || it->get() == running_) {
            ++it;
        } else {
            watcher_.Unwatch((*it)->Id);
            it = profiles_.erase(it);
        }
    }
    for (const auto& [name, quiet] : wanted) {
        auto found = std::find_if(profiles_.begin(), profiles_.end(),
                                  [&](const auto& e) { return e->Name == name; });
        auto loaded = LoadStoredProfile(store_, name);
        const std::string signature = loaded ? WatchSignature(*loaded) : std::string();
        if (found == profiles_.end()) {
            auto e = std::make_unique<tEntry>();
            e->Name = name;
            e->Id = nextId_++;
            e->Quiet = quiet;
            e->Signature = signature;
            Rewatch(*e, now);
            profiles_.push_back(std::move(e));
            continue;
        }
        tEntry& e = **found;
        e.Quiet = quiet;
        if (e.Signature != signature) {
            // Other folders or rules: watched afresh and brought in step at once.
            e.Signature = signature;
            Rewatch(e, now);
            e.Pending = true;
            e.CheckFirst = false;
            e.LastChange = -kNever;
        }
    }
}

void tWatchList::Changed(int id, double now) {
    for (auto& e : profiles_) {
        if (e->Id != id) continue;
        e->LastChange = now;
        if (e.get() == running_) {
            e->SeenDuringRun = true;
        } else {
            // A change from outside: whatever came of the last run, this one is real.
            e->Pending = true;
            e->CheckFirst = false;
            e->FollowUps = 0;
        }
    }
}

void tWatchList::ReadEvents() {
    const std::vector<int> changed = watcher_.ReadEvents();
    if (changed.empty()) return;
    const double now = clock_();
    for (int id : changed)
        Changed(id, now);
}

double tWatchList::DueAt(const tEntry& e) const {
    double at = kNever;
    if (e.Pending) {
        at = e.LastChange == -kNever ? 0 : e.LastChange + e.Quiet;
        at = std::max(at, e.NotBefore);
        if (e.CheckFirst) at = std::max(at, e.CheckNotBefore);
    }
    if (e.Mode != tWatchMode::Events) at = std::min(at, std::max(e.NextRescan, e.NotBefore));
    return at;
}

bool tWatchList::Due(const tEntry& e, double now) const {
    return DueAt(e) <= now;
}

double tWatchList::TimeToNext() const {
    const double now = clock_();
    double next = kNever;
    for (const auto& e : profiles_)
        next = std::min(next, DueAt(*e) - now);
    return std::max(next, 0.0);
}

void tWatchList::RunDue(const tHooks& hooks) {
    for (size_t i = 0; i < profiles_.size(); ++i) {
        if (hooks.Continue && !hooks.Continue()) return;
        tEntry& e = *profiles_[i];
        double now = clock_();
        if (!Due(e, now)) continue;
        if (e.Mode != tWatchMode::Events) {
            // Maybe the folder is back, or the tree now fits the limit.
            Rewatch(e, now);
            e.Pending = true;
            e.CheckFirst = false;
        }
        if (e.CheckFirst) {
            e.Pending = false;
            e.CheckFirst = false;
            if (!WatchedRunHasWork(store_, e.Name)) {
                e.FollowUps = 0;
                continue;
            }
            ++e.FollowUps;
        }
        e.Pending = false;
        e.SeenDuringRun = false;
        tProfile profile;
        if (hooks.Starting) hooks.Starting(e.Name, profile);
        running_ = &e;
        const tScheduledRun run = RunWatchedProfile(store_, e.Name, profile);
        // The run's own copies are on the queue by now: they count as seen during the run.
        ReadEvents();
        running_ = nullptr;
        now = clock_();
        if (run.Skipped || run.Failed() || profile.FailedCount > 0) {
            e.NotBefore = now + kRescanSeconds;
            if (run.Skipped || run.Failed()) e.Pending = true;
        }
        if (e.SeenDuringRun && !e.Pending) {
            e.Pending = true;
            e.CheckFirst = true;
            // Runs that keep finding work their own changes brought up (a file the
            // permissions never let it carry out, a log kept inside the tree) would follow
            // one another for ever: after a few, the next look waits a minute.
            if (e.FollowUps >= kQuickFollowUps) e.CheckNotBefore = now + kRescanSeconds;
        } else if (!e.SeenDuringRun) {
            e.FollowUps = 0;
        }
        if (e.Mode != tWatchMode::Events) e.NextRescan = now + kRescanSeconds;
        if (watcher_.NeedsRewatch(e.Id)) Rewatch(e, now);
        if (hooks.Finished) hooks.Finished(run, profile);
        // The hooks may have refreshed the list: find the place again.
        if (i >= profiles_.size() || profiles_[i].get() != &e) i = 0;
    }
    for (auto& e : profiles_)
        if (e.get() != running_ && watcher_.NeedsRewatch(e->Id)) Rewatch(*e, clock_());
}

std::vector<std::string> tWatchList::TakeNotes() {
    std::vector<std::string> notes;
    notes.swap(notes_);
    return notes;
}

} // namespace corvane
