#include "scheduler/NextRun.h"

#include "profiles/Profile.h"

#include <cmath>

namespace corvane {

double RepeatInterval(int days, int hours, int minutes) {
    return ((minutes / 60.0) + hours) / 24.0 + days;
}

std::string NextRunText(tDateTime value) {
    std::string date = DateText10(value), time = TimeText8(value);
    date.resize(10, ' ');
    time.resize(10, ' ');
    return date + time;
}

void AdvanceNextRun(tProfile& profile, tDateTime start, tDateTime now, tAdvanceMemory* memory) {
    if (memory) {
        std::string before = NextRunText(profile.NextRun);
        if (before != memory->LastAdvanceNew) memory->LastAdvanceOld = before;
    }
    double interval = RepeatInterval(profile.Days, profile.Hours, profile.Minutes);
    const tDateTime limit = now + kNextRunMargin;
    if (interval > 0) {
        // The step grows with the gap only for a real interval: without one, a next run
        // that has passed stays where it is (the profile is then not rescheduled).
        const double q = (limit - start) / 100000.0;
        if (q > interval) interval = q > 1.0 ? interval + std::floor(q) : q;
        do start += interval;
        while (start < limit);
        profile.NextRun = start;
    }
    if (memory) memory->LastAdvanceNew = NextRunText(profile.NextRun);
}

tDateTime TickedNextRun(tDateTime t, double interval, tDateTime now) {
    const tDateTime limit = now + kNextRunMargin;
    if (!(interval > 0)) return limit;
    if (t < limit) {
        // Whole steps at once (a next run years back with a one-minute interval), then
        // single steps for what rounding left.
        const double steps = std::floor((limit - t) / interval);
        if (steps > 1) t += (steps - 1) * interval;
        while (t < limit) t += interval;
    }
    return t;
}

} // namespace corvane
