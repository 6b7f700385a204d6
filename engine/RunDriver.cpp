#include "engine/RunDriver.h"

#include "engine/Analysis.h"
#include "engine/FileAccess.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "log/RunLog.h"
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <filesystem>

namespace corvane {

namespace {

bool Inside(const std::string& inner, const std::string& outer) {
    if (outer == "/") return true;
    return inner.size() > outer.size() && inner.compare(0, outer.size(), outer) == 0 &&
           inner[outer.size()] == '/';
}

bool IsBlankText(const std::string& s) {
    return s.find_first_not_of(" \t\r\n", 0) == std::string::npos;
}

} // namespace

void SetFilterDefaults(tProfile& p) {
    tStatusFilter f;
    if (p.LeftToRight && p.RightToLeft) {
        f.rgState = 1;
    } else if (p.LeftToRight) {
        f.rgState = 2;
        f.rgAdjustMovedFiles = 1;
    } else if (p.RightToLeft) {
        f.rgState = 3;
    }
    f.cbFilesToDelete = ExactMirrorInEffect(p) ? tTriState::Grayed : tTriState::Unchecked;
    p.Filter = f;
}

bool BaseFoldersOverlap(const tProfile& p) {
    // Folders that do not exist yet (an attended run may create them) are resolved as far
    // as they exist.
    auto resolve = [](const std::string& path) {
        std::error_code ec;
        if (path.empty()) return std::string();
        std::string r = std::filesystem::weakly_canonical(path, ec).string();
        if (ec) return std::string();
        while (r.size() > 1 && r.back() == '/') r.pop_back();
        return r;
    };
    std::string left = resolve(p.LeftPath), right = resolve(p.RightPath);
    if (left.empty() || right.empty()) return false;
    return left == right || Inside(left, right) || Inside(right, left);
}

bool ModelSideEmptyWouldDelete(const tProfile& p) {
    if (!ExactMirrorInEffect(p) || p.Stats.DeleteCount == 0) return false;
    return (p.LeftToRight && p.LeftItemCount == 0) || (p.RightToLeft && p.RightItemCount == 0);
}

bool RunProfile(tProfile& profile, bool forced) {
    profile.ForcedUnattended = forced;
    if (!forced && profile.Unattended && IsDangerous(profile, false)) {
        int answer = AskDecision(kDangerQuestion, false, true, "Corvane");
        if (answer < 0) return false;
        if (answer == 0) profile.Unattended = false;
    }
    profile.RunUnattended = profile.Unattended || profile.ForcedUnattended;
    profile.ShowWindows = true;

    bool executed = false;
    if (BaseFoldersOverlap(profile)) {
        // Copying a tree into itself nests deeper on every run: refuse before scanning.
        if (!profile.RunUnattended)
            ShowInfo(std::string(kPathsOverlap) + ": " + profile.LeftPath + " and " +
                     profile.RightPath);
        StoreReport(profile, kPathsOverlap);
    } else {
        if (profile.RunUnattended) profile.LastRun = NowDateTime();
        SetFilterDefaults(profile);
        if (AnalyzeProfile(profile)) {
            if (profile.RunUnattended) {
                if (ModelSideEmptyWouldDelete(profile))
                    StoreReport(profile, kModelSideEmpty);
                else {
                    Ui().ShowPlan(profile);
                    executed = ExecuteWithLog(profile);
                    Ui().PlanDone();
                }
            } else if (Ui().ReviewPlan(profile)) {
                executed = ExecuteWithLog(profile);
            }
            const tPlanStatistics& s = profile.Stats;
            if (profile.CacheRight && profile.ForcedUnattended &&
                (s.AffectedCount > 0 || s.FolderRowsShown > 0)) {
                // Keep the cached right side as it is after the run.
                ClearRightListCache();
                profile.Entries.clear();
                BuildFileLists(profile, profile.Subfolders,
                               profile.SelectBaseFolderItems && !IsBlankText(profile.BaseFolderItems));
            }
        }
    }
    if ((executed || profile.Unattended) && !profile.ForcedUnattended)
        WritePref("opt_" + profile.Name, EncodeOptions(profile), "Profiles");
    return executed;
}

} // namespace corvane
