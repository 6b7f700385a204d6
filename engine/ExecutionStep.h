// The execution step: runs the executor between opening and closing the run log, and
// stores the run's one-line report.
#pragma once

#include <functional>

namespace corvane {

class tProfile;

// Runs the plan of profile with the log of RunSettings() (as they are now) and stores the
// report under "rep_" + Name. A plan with nothing to do writes no log ("No files copied or
// folders created." is shown when attended). A log that cannot be opened silently runs
// without one. Returns false only when an exception ended the execution: its message is
// then shown (attended runs only) and left in LastRunResult, and no report is stored.
bool ExecuteWithLog(tProfile& profile);

// The same with execute in place of ExecutePlan (the log wrapper on its own).
bool ExecuteWithLog(tProfile& profile, const std::function<void(tProfile&)>& execute);

} // namespace corvane
