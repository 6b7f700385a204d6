#include "scheduler/Scheduler.h"

#include "engine/RunDriver.h"
#include "log/Reports.h"
#include "profiles/Preferences.h"
#include "profiles/ProfileStore.h"
#include "profiles/RunLock.h"
#include "scheduler/NextRun.h"

#include <exception>

namespace corvane {

std::string NextStartText(tDateTime due) {
    return std::string(kSchedulerRunning) + " Next profile starts on " + DateText10(due) +
           " at " + TimeText8(due);
}

std::pair<std::string, std::string> SplitCell(std::string_view text) {
    const size_t cut = text.find(kCellLineBreak);
    if (cut == std::string_view::npos) return {std::string(text), {}};
    return {std::string(text.substr(0, cut)), std::string(text.substr(cut + 1))};
}

tDateTime ToTheSecond(tDateTime value) { return EncodeDateTime(DecodeDateTime(value)); }

std::vector<tScheduleRow> BuildScheduleRows(const tPreferences& store, tDateTime now,
                                            bool onlyScheduled, bool& dangerListed) {
    dangerListed = false;
    std::vector<tScheduleRow> rows;
    for (const std::string& name : StoredProfileNames(store)) {
        tProfile p;
        p.Name = name;
        p.LastRunResult = store.Read("rep_" + name, "Reports");
        // A record that does not decode leaves the profile unscheduled.
        DecodeOptions(p, store.Read("opt_" + name, "Profiles"));
        if (p.Scheduled && p.AutoUpdate && now + kNextRunMargin > p.NextRun)
            AdvanceNextRun(p, p.NextRun, now, nullptr);
        const bool scheduled = p.Scheduled && p.NextRun >= now;
        const bool watched = StoredWatchQuiet(store, name) > 0;
        if ((scheduled || watched) && IsDangerous(p, true)) dangerListed = true;
        if (!scheduled && !watched && onlyScheduled) continue;
        tScheduleRow row;
        row.Name = name;
        row.Watched = watched;
        if (scheduled) {
            row.Due = ToTheSecond(p.NextRun);
            row.Cells[0] = DateText10(p.NextRun) + kCellLineBreak + TimeText8(p.NextRun);
        } else if (watched) {
            row.Cells[0] = kWatchingCell;
        }
        row.Cells[1] = name;
        row.Cells[2] = "L: " + p.LeftPath + kCellLineBreak + "R: " + p.RightPath;
        if (p.LastRun != 0)
            row.Cells[3] = DateTimeText(p.LastRun) + kCellLineBreak + p.LastRunResult;
        rows.push_back(std::move(row));
    }
    return rows;
}

tNextDue FindNextDue(const std::vector<tScheduleRow>& rows, tDateTime now) {
    tNextDue next;
    for (size_t i = 0; i < rows.size(); ++i) {
        const tDateTime due = rows[i].Due;
        if (due == 0 || due < now) continue;
        if (due < next.Due) {
            next.Due = due;
            next.Row = static_cast<int>(i);
            next.Known = true;
        }
    }
    return next;
}

bool RescheduleAfterRun(tProfile& p, bool succeeded, tDateTime due, tDateTime now) {
    bool again = false;
    if (p.Repeat) {
        switch (p.RepeatMode) {
        case 0: again = succeeded; break; // while no error
        case 1: again = true; break;      // indefinitely
        case 2:                           // only RepeatTimes times
            if (p.RepeatTimes != 0) {
                if (--p.RepeatTimes == 0) p.Repeat = false;
                again = true;
            }
            break;
        default: again = true;
        }
    }
    if (again) {
        // Without an interval the next run cannot move past due: running it again at once
        // would repeat it for ever.
        if (RepeatInterval(p.Days, p.Hours, p.Minutes) > 0) {
            AdvanceNextRun(p, due, now, nullptr);
            again = p.NextRun > due;
        } else {
            again = false;
        }
    }
    if (!again) p.Scheduled = false;
    return again;
}

tScheduledRun RunStoredProfileUnattended(tPreferences& store, const std::string& name,
                                         tDateTime due, tProfile& profile) {
    tScheduledRun run;
    run.Name = name;
    run.Due = due;
    auto loaded = LoadStoredProfile(store, name);
    if (!loaded) {
        run.Result = "The stored profile could not be read: nothing done";
        return run;
    }
    profile = std::move(*loaded);
    run.Loaded = true;
    try {
        run.Succeeded = RunProfile(profile, true);
    } catch (const std::exception& e) {
        // An invalid mask ends the run before anything is executed.
        profile.LastRunResult = e.what();
        store.Write(ReportKey(name), profile.LastRunResult, ReportSection);
        run.Succeeded = false;
    }
    run.Result = profile.LastRunResult;
    return run;
}

tScheduledRun RunScheduledProfile(tPreferences& store, const std::string& name, tDateTime due,
                                  const std::function<tDateTime()>& clock, tProfile& profile) {
    tScheduledRun run = RunStoredProfileUnattended(store, name, due, profile);
    if (!run.Loaded) return run;
    if (profile.AlreadyRunning) {
        // The other run stores its own outcome and next run.
        run.Skipped = true;
        run.NextRun = profile.NextRun;
        return run;
    }
    run.Rescheduled = RescheduleAfterRun(profile, run.Succeeded, due, clock());
    run.NextRun = profile.NextRun;
    store.Write("opt_" + name, EncodeOptions(profile), "Profiles");
    run.StoreError = store.Flush();
    return run;
}

tScheduler::tScheduler(tPreferences& store, std::function<tDateTime()> clock)
    : store_(store), clock_(std::move(clock)) {}

void tScheduler::Rebuild(tDateTime now) {
    builtAt_ = now;
    rows_ = BuildScheduleRows(store_, now, OnlyScheduled, dangerListed_);
    // The rows changed: a known next start stays only when a row is still due then.
    if (next_.Known) {
        const tDateTime due = next_.Due;
        if (!Candidates(now) || next_.Due != due) next_ = {};
    }
}

bool tScheduler::StillDue(std::string name, tDateTime due) {
    // Built at the same moment as before, so that only a change in the store can differ
    // (an Auto-Update advance depends on that moment).
    rows_ = BuildScheduleRows(store_, builtAt_, OnlyScheduled, dangerListed_);
    for (size_t i = 0; i < rows_.size(); ++i)
        if (rows_[i].Name == name && rows_[i].Due == due) {
            next_.Row = static_cast<int>(i);
            return true;
        }
    return false;
}

bool tScheduler::Candidates(tDateTime now) {
    std::vector<tScheduleRow> candidates = rows_;
    for (tScheduleRow& row : candidates) {
        for (const auto* held : {&skipped_, &unreadable_})
            if (auto it = held->find(row.Name); it != held->end() && row.Due <= it->second)
                row.Due = 0;
    }
    next_ = FindNextDue(candidates, now);
    return next_.Known;
}

bool tScheduler::SkippedRunsPending(tDateTime now) {
    bool pending = false, ended = false;
    for (auto it = skipped_.begin(); it != skipped_.end();) {
        // Taken and given back at once: only tells whether the other run still holds it.
        tProfileRunLock probe(it->first, store_.FileName());
        if (probe.Busy()) {
            pending = true;
            ++it;
        } else {
            ended = true;
            it = skipped_.erase(it);
        }
    }
    // The other run stored its next run: the merging flush takes it in.
    if (ended && store_.Flush().empty()) Rebuild(now);
    return pending || ended;
}

bool tScheduler::Search(tDateTime now, const tHooks& hooks) {
    bool found = Candidates(now);
    if (!found && !skipped_.empty()) {
        if (!SkippedRunsPending(now)) return false;
        found = Candidates(now);
        if (!found) return !skipped_.empty();
    }
    if (found && hooks.Found) hooks.Found(next_);
    return found;
}

bool tScheduler::Tick(tDateTime now, const tHooks& hooks) {
    for (;;) {
        if (!next_.Known && !Search(now, hooks)) return false;
        if (now < next_.Due) return true;
        if (!StillDue(std::string(rows_[static_cast<size_t>(next_.Row)].Name), next_.Due)) {
            next_ = {};
            continue;
        }
        const tScheduleRow row = rows_[static_cast<size_t>(next_.Row)];
        const tDateTime due = next_.Due;
        next_ = {};
        tProfile profile;
        if (hooks.Starting) hooks.Starting(row, profile);
        const tScheduledRun run = RunScheduledProfile(store_, row.Name, due, clock_, profile);
        if (run.Skipped) skipped_[row.Name] = due;
        if (!run.Loaded) unreadable_[row.Name] = due;
        Rebuild(due);
        if (hooks.Finished) hooks.Finished(run, profile);
        if (hooks.Continue && !hooks.Continue()) return true;
        // Profiles due at the same moment start one after another without waiting.
        now = due;
    }
}

} // namespace corvane
