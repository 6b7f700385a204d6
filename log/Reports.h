// The one-line report of a profile's last run: its fixed texts and where it is stored.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

namespace corvane {

class tProfile;

inline constexpr std::string_view ReportNothingToDo = "Nothing to be done";
inline constexpr std::string_view ReportWrongVolumeLabel = "Incorrect right volume label";
inline constexpr std::string_view ReportNoLeftAccess = "can't access left path";
inline constexpr std::string_view ReportNoRightAccess = "can't access right path";
inline constexpr std::string_view ReportCopied = "copied";
inline constexpr std::string_view ReportMoved = "moved";
inline constexpr std::string_view ReportDeleted = "deleted";
// Entries not carried out, so that such a run does not read like a clean one.
inline constexpr std::string_view ReportFailed = "failed";

// Reports live in this section under ReportKey(profile name).
inline constexpr std::string_view ReportSection = "Reports";
inline std::string ReportKey(std::string_view profileName) {
    return "rep_" + std::string(profileName);
}

// Sets the profile's LastRunResult and stores it as its report at once (a run that stops
// early: unreachable base folder, wrong volume label, refused run).
void StoreReport(tProfile& profile, std::string_view text);

// Files edited on both sides since the last run, both edits kept.
inline constexpr std::string_view ReportConflicts = "in conflict (both kept)";

// "12 copied, 3 moved, 1 deleted, 1 in conflict (both kept), 2 failed": the copied part
// always, the others only when not 0; the failed part always comes last.
inline std::string ExecutionReport(int64_t copied, int64_t moved, int64_t deleted,
                                   int64_t failed = 0, int64_t conflicts = 0) {
    std::string text = std::to_string(copied) + " " + std::string(ReportCopied);
    if (moved > 0) text += ", " + std::to_string(moved) + " " + std::string(ReportMoved);
    if (deleted > 0) text += ", " + std::to_string(deleted) + " " + std::string(ReportDeleted);
    if (conflicts > 0)
        text += ", " + std::to_string(conflicts) + " " + std::string(ReportConflicts);
    if (failed > 0) text += ", " + std::to_string(failed) + " " + std::string(ReportFailed);
    return text;
}

} // namespace corvane
