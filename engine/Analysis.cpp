#include "engine/Analysis.h"

#include "engine/LastRunState.h"
#include "engine/Media.h"
#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "profiles/Profile.h"

#include <dirent.h>
#include <fcntl.h>
#include <fnmatch.h>
#include <sys/stat.h>

namespace corvane {

namespace {

// Ends the progress use of the analysis on every way out, also when a mask error is raised.
class tProgressScope {
public:
    tProgressScope() { StartProgress(100, true); }
    ~tProgressScope() { EndProgress(); }
    tProgressScope(const tProgressScope&) = delete;
    tProgressScope& operator=(const tProgressScope&) = delete;
};

bool IsBlankText(std::string_view s) {
    for (char c : s)
        if (c != ' ' && c != '\t' && c != '\r' && c != '\n' && c != '\0') return false;
    return true;
}

// What the file systems of both base folders keep, once per run: the comparison allows for
// times kept in steps, and the execution reuses what was learned.
void LearnMedia(tProfile& profile) {
    profile.Media = std::make_shared<tMediaCache>();
    const tMedium* left = profile.Media->For(profile.LeftPath);
    const tMedium* right = profile.Media->For(profile.RightPath);
    profile.LeftTimeStep = left ? static_cast<int32_t>(left->CompareStep()) : 1;
    profile.RightTimeStep = right ? static_cast<int32_t>(right->CompareStep()) : 1;
    profile.LeftLinkTimes = !left || left->HoldsLinkTimes;
    profile.RightLinkTimes = !right || right->HoldsLinkTimes;
}

} // namespace

bool AnalyzeProfile(tProfile& profile) {
    tProgressScope progress;
    if (!profile.VolumeLabel.empty() && profile.VolumeLabel != GetVolumeLabel(profile.RightPath)) {
        if (!profile.RunUnattended)
            ShowInfo("The volume label for the right path should be " + profile.VolumeLabel);
        StoreReport(profile, ReportWrongVolumeLabel);
        return false;
    }
    LearnMedia(profile);
    bool selectedOnly = profile.SelectBaseFolderItems && !IsBlankText(profile.BaseFolderItems);
    if (!BuildFileLists(profile, profile.Subfolders, selectedOnly)) return false;
    Ui().SetProgressTitle("Selecting Files");
    CompareEntries(profile);
    FindMovedFiles(profile);
    profile.LastRunCarry.reset();
    profile.LastRunStateNote.clear();
    if (RememberInEffect(profile)) ApplyLastRunState(profile);
    BuildStatusList(profile);
    return true;
}

std::string GetVolumeLabel(std::string_view folder) {
    std::string path(folder);
    if (path.empty() || path.back() != '/') path += '/';
    DIR* dir = opendir(path.c_str());
    if (!dir) return {};
    std::string label;
    // Only plain files pass: hidden items, folders, links and special files are excluded.
    while (dirent* d = readdir(dir)) {
        const char* name = d->d_name;
        if (fnmatch("*.*", name, 0) != 0 || name[0] == '.') continue;
        struct stat st;
        if (fstatat(dirfd(dir), name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
        if (!S_ISREG(st.st_mode)) continue;
        label = name;
        break;
    }
    closedir(dir);
    return label;
}

std::string RootOfPath(std::string_view path) {
    if (path.size() == 2) {
        if (path[1] == ':') return std::string(path);
        throw std::invalid_argument("Invalid right path");
    }
    if (path.substr(0, 2) == "//") {
        std::string_view rest = path.substr(2, 500);
        size_t slash = rest.substr(0, 255).find('/');
        if (slash == std::string_view::npos) return std::string(path) + "/";
        return std::string(path.substr(0, slash + 3));
    }
    size_t slash = path.substr(0, 255).find('/');
    return slash == std::string_view::npos ? std::string() : std::string(path.substr(0, slash));
}

} // namespace corvane
