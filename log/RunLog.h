// The execution step: runs the executor between opening and closing the run log, and
// stores the run's one-line report.
#pragma once

#include "profiles/DateTime.h" // DateStamp

#include <functional>
#include <string>
#include <string_view>

namespace corvane {

class tProfile;

// Writes line + "\n" to profile.LogFile when profile.LoggingOn and the file is open.
// A line feed is written as "\n", other control bytes (< 0x20, 0x7f) as "\xHH" and a
// backslash as "\\", so one call is always one line and the escaping can be undone.
// Write errors are cleared, never reported.
void WriteLogLine(tProfile& profile, std::string_view line);

// The text with "<", ">", "*", "?", "|" removed, '"' turned into "'" and "/" into "\".
std::string SafeLogName(std::string_view text);

// The log file of a run in logging mode 1 to 3 inside logFolder, with NormalizeSlashes
// applied; "" for any other mode. now is the start time of the run (mode 3 names).
std::string LogFileName(int mode, std::string_view logFolder, std::string_view profileName,
                        tDateTime now);

// Runs the plan of profile with the log of RunSettings() (as they are now) and stores the
// report under "rep_" + Name. A plan with nothing to do writes no log ("No files copied or
// folders created." is shown when attended) unless it has leftovers to remove or a
// LastRunStateNote, which goes into the log before the executor's lines. A log that cannot be opened silently runs
// without one. Returns false only when an exception ended the execution: its message is
// then shown (attended runs only) and left in LastRunResult, and no report is stored.
bool ExecuteWithLog(tProfile& profile);

// The same with execute in place of ExecutePlan (the log wrapper on its own).
bool ExecuteWithLog(tProfile& profile, const std::function<void(tProfile&)>& execute);

} // namespace corvane
