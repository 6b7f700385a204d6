// The analysis step: volume-label check, scan of both trees and the planning passes.
#pragma once

#include <stdexcept>
#include <string>
#include <string_view>

namespace corvane {

class tProfile;

// Builds the plan of a profile under the progress window. false when the right volume
// label was wrong or a base folder could not be reached (LastRunResult says which, and
// the report is stored). Asks and shows messages only in attended runs. An invalid mask
// raises EMaskException.
bool AnalyzeProfile(tProfile& profile);

// The name of the first plain, visible file with a "." in its name that the folder lists,
// in the order the file system returns them; "" when there is none.
std::string GetVolumeLabel(std::string_view folder);

// The root part of a path: "" for an absolute path, "//server/" for a share, "X:" for a
// drive. Throws std::invalid_argument("Invalid right path") for another two-character path.
std::string RootOfPath(std::string_view path);

} // namespace corvane
