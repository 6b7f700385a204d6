// The lock that keeps two runs of one profile apart, across processes and within one (the
// scheduler, the windows and the command line all run profiles through RunProfile).
#pragma once

#include <string>
#include <string_view>

namespace corvane {

// The lock file of a profile: beside the preferences file, named after the file, a
// readable part of the profile name and a hash of the whole name.
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
