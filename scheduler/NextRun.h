// Next-run arithmetic of scheduled profiles: the repeat interval, moving a next run that
// has passed forward, and the adjustment of a freshly ticked "Next Run:". "now" is always
// a parameter, so the rules can be checked at any fixed moment.
#pragma once

#include "profiles/DateTime.h"

#include <string>

namespace corvane {

class tProfile;

// A next run that lies less than this far ahead counts as passed.
inline constexpr double kNextRunMargin = 15.0 / 86400.0;

// The repeat interval in days; negative parts count as they are, texts are not parsed here.
double RepeatInterval(int days, int hours, int minutes);

// The next-run date and time as the option record holds them (10 + 10 characters).
std::string NextRunText(tDateTime value);

// What the edit page remembers of the last automatic advance: the next run before and
// after it, in NextRunText form. A difference made by an advance is no change of the user's.
struct tAdvanceMemory {
    std::string LastAdvanceOld, LastAdvanceNew;
    void Clear() { LastAdvanceOld.clear(), LastAdvanceNew.clear(); }
};

// Moves start forward by the profile's repeat interval until it lies at least 15 seconds
// after now and stores it as the profile's NextRun; an interval of 0 or less changes
// nothing. The step grows with the gap so that at most about 100000 steps are taken.
// memory (may be null) records the next run before and after.
void AdvanceNextRun(tProfile& profile, tDateTime start, tDateTime now, tAdvanceMemory* memory);

// The date and time "Next Run:" shows after it was ticked: t itself when it lies at least
// 15 seconds ahead, else t moved forward by whole intervals until it does; with an interval
// of 0 or less, now + 15 seconds.
tDateTime TickedNextRun(tDateTime t, double interval, tDateTime now);

} // namespace corvane
