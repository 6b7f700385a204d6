#include "profiles/RunLock.h"

#include "profiles/Preferences.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace corvane {

std::string ProfileLockFileName(std::string_view profileName, std::string_view preferencesFile) {
    // Names may hold "/" or be 200 bytes long: the readable part is cut and cleaned, and
    // the hash keeps different names apart.
    uint64_t hash = 1469598103934665603ull; // FNV-1a
    for (unsigned char c : profileName) hash = (hash ^ c) * 1099511628211ull;
    std::string readable;
    for (char c : profileName.substr(0, 40)) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.';
        readable += plain ? c : '_';
    }
    char hex[17];
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
    return std::string(preferencesFile) + ".run-" + readable + "-" + hex + ".lock";
}

tProfileRunLock::tProfileRunLock(std::string_view profileName, std::string_view preferencesFile) {
    std::string prefs(preferencesFile);
    if (prefs.empty()) prefs = PrefStore() ? PrefStore()->FileName() : PreferencesFileName();
    fd_ = open(ProfileLockFileName(profileName, prefs).c_str(), O_RDWR | O_CREAT | O_CLOEXEC,
               0600);
    if (fd_ < 0) return;
    // flock locks belong to the open file, so a second lock in this process conflicts too.
    int rc;
    while ((rc = flock(fd_, LOCK_EX | LOCK_NB)) != 0 && errno == EINTR) {
    }
    if (rc != 0) {
        busy_ = errno == EWOULDBLOCK;
        close(fd_);
        fd_ = -1;
    }
}

tProfileRunLock::~tProfileRunLock() {
    if (fd_ >= 0) close(fd_);
}

} // namespace corvane
