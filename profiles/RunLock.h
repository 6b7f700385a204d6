// The lock that keeps two runs of one profile apart, across processes and within one (the
// scheduler, the windows and the command line all run profiles through RunProfile).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The folder of the run locks: $XDG_RUNTIME_DIR/corvane, made (mode 0700) when missing.
// Without XDG_RUNTIME_DIR, the folder a login session gives it (/run/user/<uid>) when that
// exists and is the user's, so that a process started outside the session (cron) finds
// the locks of the session's windows. "" when there is none or it cannot be made or is not
// the user's own folder: the locks then lie beside the preferences file.
std::string RunLockFolder();

// The lock file of a profile. In RunLockFolder: "run-" + a readable part of the profile name
// + a hash of the preferences file and the whole name (runs of other preferences files are
// kept apart). Without it, beside the preferences file: its name + ".run-" + the readable
// part + a hash of the name.
std::string ProfileLockFileName(std::string_view profileName, std::string_view preferencesFile);

// Takes the run lock of one profile without waiting and holds it for its lifetime.
class tProfileRunLock {
public:
    // Beside preferencesFile; the installed store's file (or the default location) when
    // it is empty.
    explicit tProfileRunLock(std::string_view profileName, std::string_view preferencesFile = {});
    ~tProfileRunLock();
    tProfileRunLock(const tProfileRunLock&) = delete;
    tProfileRunLock& operator=(const tProfileRunLock&) = delete;

    // Another run of the profile holds the lock. false also when the lock file cannot be
    // made (a read-only home): the run then goes ahead unguarded rather than not at all.
    bool Busy() const { return busy_; }

private:
    int fd_ = -1;
    bool busy_ = false;
};

} // namespace corvane
