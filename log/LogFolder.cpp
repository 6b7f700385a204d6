#include "log/LogFolder.h"

#include "log/RunLog.h"
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"

#include <cerrno>
#include <cstring>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

// "/a/b/" -> "/a", "/a" -> "/", "a" -> ".".
std::string ParentFolder(const std::string& path) {
    const size_t end = path.find_last_not_of('/');
    if (end == std::string::npos) return "/";
    const size_t slash = path.rfind('/', end);
    if (slash == std::string::npos) return ".";
    const size_t keep = path.find_last_not_of('/', slash);
    return keep == std::string::npos ? "/" : path.substr(0, keep + 1);
}

} // namespace

std::string LogFolderProblem(const tMainSettings& settings, std::string_view profileName) {
    if (settings.Logging < 1 || settings.Logging > 3) return {};
    const std::string folder =
        settings.LogFolder.empty() ? DefaultLogFolder() : settings.LogFolder;
    auto problem = [&](int error) {
        return "cannot write the run log in " + folder + ": " + std::strerror(error);
    };
    // The folder, or the nearest existing folder above it, must take new entries.
    std::string existing = folder;
    struct stat st;
    while (stat(existing.c_str(), &st) != 0) {
        if (errno != ENOENT) return problem(errno);
        existing = ParentFolder(existing);
    }
    if (!S_ISDIR(st.st_mode)) return problem(ENOTDIR);
    if (euidaccess(existing.c_str(), W_OK | X_OK) != 0) return problem(errno);
    // A log file that is kept from run to run must be writable itself.
    if (existing == folder && settings.Logging != 3) {
        std::string file = LogFileName(settings.Logging, folder, profileName, NowDateTime());
        if (lstat(file.c_str(), &st) == 0 && euidaccess(file.c_str(), W_OK) != 0)
            return problem(errno);
    }
    return {};
}

} // namespace corvane
