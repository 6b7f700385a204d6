// The scheduler: which stored profile starts next and when, the unattended run of a due
// profile, whether and when it runs again, and the loop that starts profiles due at the
// same moment one after another. The clock is always a parameter, so years of schedule
// can be checked at fixed moments; the window's timer and `corvane --scheduler` drive the
// same loop.
#pragma once

#include "profiles/DateTime.h"
#include "profiles/Profile.h"

#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {

class tPreferences;

inline constexpr tDateTime kNoDue = 2147483647.0;
inline constexpr const char* kSchedulerInactive = "Scheduler is inactive.";
inline constexpr const char* kSchedulerRunning = "Scheduler is running.";
inline constexpr const char* kNoMoreProfiles = "No more profiles to start - scheduler is inactive.";
inline constexpr const char* kSchedulerDangerQuestion =
    "Some of your profiles are considered dangerous because they use Exact Mirror mode\r\n"
    "with some of the confirmations turned off when running from the scheduler.\r\n"
    "\r\n"
    "Are you sure that you want to schedule these?\r\n"
    "\r\n"
    "Some may overwrite newer files with older ones, as well as delete files so that the \r\n"
    "mirror closely matches the model. If you want to revise your profiles, please answer No.";
inline constexpr char kCellLineBreak = '\x01';
// Column 0 of a watched profile that is not scheduled.
inline constexpr const char* kWatchingCell = "watching";

// "Scheduler is running. Next profile starts on <date> at <time>".
std::string NextStartText(tDateTime due);

// The two lines of a grid cell: the text up to the code-1 character and the rest (the
// second is empty for a one-line text).
std::pair<std::string, std::string> SplitCell(std::string_view text);

// A day number as the grid shows it and reads it back: whole seconds.
tDateTime ToTheSecond(tDateTime value);

// One row of the scheduler grid. Due is the time column 0 shows, kept as a value so that
// nothing is parsed back from text; 0 for a row that is not scheduled.
struct tScheduleRow {
    std::string Name;
    tDateTime Due = 0;
    bool Watched = false; // runs when its files change (a stored quiet time)
    std::string Cells[4]; // "Next Run", "Profile Name", "Left/Right Folders", "Last Run"
};

// The grid rows of the stored profiles in store order at the moment now. A scheduled
// profile with Auto-Update whose next run has passed (or lies within 15 seconds) shows the
// advanced next run (nothing is stored). Profiles that are not scheduled (or whose next run
// lies before now) get a row only when onlyScheduled is false, unless they are watched: a
// watched row reads "watching" in column 0 when it is not scheduled. dangerListed tells
// whether a scheduled or watched row is dangerous when run from the scheduler.
std::vector<tScheduleRow> BuildScheduleRows(const tPreferences& store, tDateTime now,
                                            bool onlyScheduled, bool& dangerListed);

// The next start: the earliest due time not before now, the upper row on equal times.
struct tNextDue {
    bool Known = false;
    tDateTime Due = kNoDue;
    int Row = -1; // index into the rows; -1 when nothing is due
};
tNextDue FindNextDue(const std::vector<tScheduleRow>& rows, tDateTime now);

// After a scheduled run: decides by Repeat / RepeatMode / RepeatTimes whether the profile
// runs again (counting down RepeatTimes, clearing Repeat at the last repetition), then moves
// its next run on from due by its interval past now + 15 seconds. An interval of 0 cannot
// move it past due: the profile is then not rescheduled after all. Not rescheduled clears
// Scheduled. true when it was rescheduled.
bool RescheduleAfterRun(tProfile& profile, bool succeeded, tDateTime due, tDateTime now);

// What one scheduled start did.
struct tScheduledRun {
    std::string Name;
    tDateTime Due = 0;
    bool Loaded = false;      // the stored record decoded; otherwise nothing was run
    bool Succeeded = false;   // RunProfile reported success
    bool Skipped = false;     // another run of the profile held its lock: nothing done or stored
    bool Rescheduled = false;
    tDateTime NextRun = 0;    // the stored next run afterwards
    std::string Result;       // the run's result line
    std::string StoreError;   // the preferences file could not be written
    bool Failed() const { return !Skipped && !Succeeded; }
};

// Loads the stored profile name into profile and runs it unattended (due: when it was due);
// an exception of the run (an invalid mask) becomes its stored result. Loaded is false,
// with the reason in Result, when the profile cannot be read; stores nothing else.
tScheduledRun RunStoredProfileUnattended(tPreferences& store, const std::string& name,
                                         tDateTime due, tProfile& profile);

// Runs the stored profile name unattended as the scheduler does, at due: RunProfile with
// the scheduled flag (an error raised inside the run becomes its result line), the
// reschedule decision with clock() as now, the stored option record, and a flush of the
// preferences file, so that a crash before the next run cannot make it run twice. A run
// refused because the profile is already running stores nothing and ends nothing.
// profile receives the profile as it was stored.
tScheduledRun RunScheduledProfile(tPreferences& store, const std::string& name, tDateTime due,
                                  const std::function<tDateTime()>& clock, tProfile& profile);

// The scheduler's state and loop over the grid rows of one store.
class tScheduler {
public:
    struct tHooks {
        // A next start was found (also after each run).
        std::function<void(const tNextDue&)> Found;
        // Right before the run of a due profile, with the object the run will load the
        // profile into; and right after it, with the profile as stored (the rows are
        // rebuilt with now = due by then).
        std::function<void(const tScheduleRow&, tProfile&)> Starting;
        std::function<void(const tScheduledRun&, tProfile&)> Finished;
        // Asked between runs: false stops the loop (a signal, the window closing).
        std::function<bool()> Continue;
    };

    tScheduler(tPreferences& store, std::function<tDateTime()> clock);

    bool OnlyScheduled = true;

    // Rebuilds the rows from the store at now (see BuildScheduleRows).
    void Rebuild(tDateTime now);
    const std::vector<tScheduleRow>& Rows() const { return rows_; }
    bool DangerListed() const { return dangerListed_; }
    const tNextDue& Next() const { return next_; }
    // Forgets the next start, so that the next step searches again.
    void Forget() { next_ = {}; }

    // One step at now: searches when no start is known, then starts the due profile and,
    // at once, every further profile due by then, each searched with now = the due time of
    // the run before. false when nothing is left to start (the scheduler then stops); a
    // skipped run still going on in another process counts as something left.
    bool Tick(tDateTime now, const tHooks& hooks);

private:
    bool Search(tDateTime now, const tHooks& hooks);
    bool Candidates(tDateTime now);
    // The rows again from the store: whether name is still due at due (a profile saved in
    // the window meanwhile may not be); next_.Row follows its row.
    bool StillDue(std::string name, tDateTime due); // name copied: the rows are replaced
    bool SkippedRunsPending(tDateTime now);

    tPreferences& store_;
    std::function<tDateTime()> clock_;
    std::vector<tScheduleRow> rows_;
    tDateTime builtAt_ = 0; // the moment the rows were built for
    bool dangerListed_ = false;
    tNextDue next_;
    // Starts another process had under way (the profile's due time): not started again
    // here; once the other run has ended, its stored outcome is taken in from the file.
    std::map<std::string, tDateTime> skipped_;
    // Profiles whose record could not be read when due: not tried again at that time.
    std::map<std::string, tDateTime> unreadable_;
};

} // namespace corvane
