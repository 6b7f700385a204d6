#include "profiles/RunLock.h"

#include "profiles/Preferences.h"

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

uint64_t Hash(std::string_view text, uint64_t hash = 1469598103934665603ull) { // FNV-1a
    for (unsigned char c : text) hash = (hash ^ c) * 1099511628211ull;
    return hash;
}

// The preferences file as one name whatever the working folder or a link leading to it.
std::string AbsoluteFileName(std::string_view file) {
    std::string name(file);
    if (char* real = realpath(name.c_str(), nullptr)) {
        name = real;
        std::free(real);
    } else if (!name.empty() && name.front() != '/') {
        char cwd[4096];
        if (getcwd(cwd, sizeof cwd)) name = std::string(cwd) + "/" + name;
    }
    return name;
}

// A folder that is a real folder of this user, not a link someone else could redirect.
bool OwnFolder(const std::string& folder) {
    struct stat st;
    return lstat(folder.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

} // namespace

std::string RunLockFolder() {
    std::string base;
    if (const char* runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && *runtime) {
        base = runtime;
    } else {
        std::string session = "/run/user/" + std::to_string(geteuid());
        if (OwnFolder(session)) base = session;
    }
    while (base.size() > 1 && base.back() == '/') base.pop_back();
    if (base.empty()) return {};
    std::string folder = base + "/corvane";
    if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) return {};
    return OwnFolder(folder) ? folder : std::string();
}

std::string ProfileLockFileName(std::string_view profileName, std::string_view preferencesFile) {
    // Names may hold "/" or be 200 bytes long: the readable part is cut and cleaned, and
    // the hash keeps different names apart.
    std::string readable;
    for (char c : profileName.substr(0, 40)) {
        bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                     c == '-' || c == '_' || c == '.';
        readable += plain ? c : '_';
    }
    char hex[17];
    if (std::string folder = RunLockFolder(); !folder.empty()) {
        const std::string file = AbsoluteFileName(preferencesFile);
        // The file name's own end keeps "a" + "b/c" apart from "a/b" + "c".
        uint64_t hash = Hash(profileName, Hash(std::string_view(file.c_str(), file.size() + 1)));
        std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(hash));
        return folder + "/run-" + readable + "-" + hex + ".lock";
    }
    std::snprintf(hex, sizeof hex, "%016llx", static_cast<unsigned long long>(Hash(profileName)));
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
