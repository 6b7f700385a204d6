// The run log: its file name, its header and footer, and its lines. The execution step
// (engine/ExecutionStep.h) opens and closes it around the executor.
#pragma once

#include "profiles/DateTime.h" // DateStamp

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

// Opens fileName for appending (creating it) as the profile's log and writes the header;
// false, with logging off, when it cannot be opened.
bool OpenLogFile(tProfile& profile, const std::string& fileName, tDateTime now);

// Writes the footer and closes the log; I/O errors are dropped. Safe to call twice.
void CloseLog(tProfile& profile);

} // namespace corvane
