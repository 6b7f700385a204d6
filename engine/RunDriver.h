// One run of one profile: danger question, analysis, review or unattended execution,
// right-list cache upkeep and the stored option record.
#pragma once

#include <string>

namespace corvane {

class tProfile;

// The status window's filter defaults for the profile's directions (they decide what is
// shown and therefore executed, also in unattended runs).
void SetFilterDefaults(tProfile& profile);

// true when the two base folders resolve to the same folder or one lies inside the other.
bool BaseFoldersOverlap(const tProfile& profile);

// In an exact mirror: the side being mirrored from contributes no files to the plan (after
// masks, hidden-item rules and the selection) while the plan deletes files on the other
// side (a drive that is not mounted, or freshly formatted and holding only "lost+found/").
bool ModelSideEmptyWouldDelete(const tProfile& profile);

// The refusal of an unattended run whose plan, as shown, would delete more than limit
// percent of the files on one side (files as the plan holds them: after masks, hidden-item
// rules and the selection; old versions left out): "Would delete 5 of 8 files (62%), more
// than the 50% allowed: nothing done". "" within the limit, and always for a limit of 100.
std::string DeletionLimitExceeded(const tProfile& profile, int limit);

// Runs the profile; forced makes the run unattended (scheduler, forced overview runs).
// true when the plan was executed (ExecuteWithLog succeeded). Asks questions only in
// attended runs. Stores the option record unless forced. An invalid mask raises
// EMaskException out of the run. Holds the profile's run lock for the whole run: when
// another run of the profile holds it, nothing is touched or stored, LastRunResult is
// kAlreadyRunning, AlreadyRunning is set and callers must not store the profile either.
bool RunProfile(tProfile& profile, bool forced);

inline constexpr const char* kDangerQuestion =
    "This profile is considered dangerous because it uses Exact Mirror mode \r\n"
    "with some of the confirmations turned off in unattended mode.\r\n"
    "\r\n"
    "Are you sure that you want to run it unattended?\r\n"
    "\r\n"
    "This may overwrite newer files with older ones, as well as delete files\r\n"
    "so that the mirror closely matches the model.";
inline constexpr const char* kModelSideEmpty = "Model side is empty: nothing deleted";
inline constexpr const char* kPathsOverlap = "Left and right paths overlap";
inline constexpr const char* kAlreadyRunning = "Profile is already running: nothing done";

} // namespace corvane
