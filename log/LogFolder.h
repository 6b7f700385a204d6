// Whether the run log of the settings can be written, for callers that report a log that
// silently could not be opened.
#pragma once

#include <string>
#include <string_view>

namespace corvane {

struct tMainSettings;

// Empty when logging is off or its folder and file can be used (the folder may still have
// to be made), else what stands in the way, naming the folder. Changes nothing on disk.
std::string LogFolderProblem(const tMainSettings& settings, std::string_view profileName);

} // namespace corvane
