#include "engine/RunDriver.h"

#include "engine/Analysis.h"
#include "engine/ExecutionStep.h"
#include "engine/FileAccess.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "profiles/DateTime.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/RunLock.h"

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

const char* Kind(bool present, bool folder, bool link) {
    return !present ? "nothing" : folder ? "folder" : link ? "link" : "file";
}

// A folder on one side and a file or link on the other: the planner leaves it as it is.
bool IsConflict(const TFileListEntry& e) {
    return e.Left.Present && e.Right.Present && e.LeftIsFolder != e.RightIsFolder;
}

// Counts what the execution left undone beyond the executor's own count: folders that
// could not be read when nothing else was to be done (the executor counts them when it
// runs) and, in unattended runs, conflicts nobody will resolve. They go into the result
// list and the report as failed entries.
void CountUndone(tProfile& p, bool executorRan) {
    std::vector<std::string> lines;
    if (!executorRan)
        for (const tUnreadableFolder& folder : p.UnreadableFolders)
            lines.push_back((folder.RelPath.empty() ? std::string("/") : folder.RelPath) +
                            " (cannot read folder)");
    if (p.RunUnattended)
        for (const TFileListEntry& e : p.Entries)
            if (IsConflict(e))
                lines.push_back(e.RelPath() + "/" + std::string(e.Name()) +
                                " (CONFLICT: " + Kind(true, e.LeftIsFolder, e.LeftIsLink) +
                                " on the left, " + Kind(true, e.RightIsFolder, e.RightIsLink) +
                                " on the right; not carried out)");
    if (lines.empty()) return;

    // The executor's report ends in its own failed count; the total replaces it.
    std::string report = executorRan ? p.LastRunResult : ExecutionReport(0, 0, 0);
    if (executorRan && p.FailedCount > 0) {
        const std::string suffix =
            ", " + std::to_string(p.FailedCount) + " " + std::string(ReportFailed);
        if (report.size() >= suffix.size() &&
            report.compare(report.size() - suffix.size(), suffix.size(), suffix) == 0)
            report.erase(report.size() - suffix.size());
    }
    if (!executorRan) p.ResultList.clear();
    p.ResultList.insert(p.ResultList.end(), lines.begin(), lines.end());
    p.FailedCount += static_cast<int32_t>(lines.size());
    report += ", " + std::to_string(p.FailedCount) + " " + std::string(ReportFailed);
    StoreReport(p, report);
}

// Runs the plan with its log, then counts what was left undone.
bool Execute(tProfile& p) {
    const bool executorRuns = p.Stats.AffectedCount > 0 || p.Stats.FolderRowsShown > 0;
    p.ResultList.clear();
    p.FailedCount = 0;
    if (!ExecuteWithLog(p)) return false;
    CountUndone(p, executorRuns);
    return true;
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
    // Judged by the plan, not by the folder: a fresh drive holds "lost+found/", and items
    // the masks, the hidden-item rules or the selection leave out never reach the plan.
    // Old versions are never copied, so they do not count as content either.
    const bool leftIsModel = p.LeftToRight;
    for (const TFileListEntry& e : p.Entries) {
        const bool present = leftIsModel ? e.Left.Present : e.Right.Present;
        const bool folder = leftIsModel ? e.LeftIsFolder : e.RightIsFolder;
        if (present && !folder && !e.IsVersionFile) return false;
    }
    return true;
}

bool RunProfile(tProfile& profile, bool forced) {
    profile.ForcedUnattended = forced;
    profile.AlreadyRunning = false;
    tProfileRunLock lock(profile.Name);
    if (lock.Busy()) {
        // Two runs of one profile would work on the same trees at once.
        profile.AlreadyRunning = true;
        profile.LastRunResult = kAlreadyRunning;
        if (!forced && !profile.Unattended) ShowInfo(kAlreadyRunning);
        return false;
    }
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
                    // The windows show the plan read-only while it executes.
                    Ui().ShowPlan(profile);
                    struct tPlanShown {
                        ~tPlanShown() { Ui().PlanDone(); }
                    } shown;
                    executed = Execute(profile);
                }
            } else if (Ui().ReviewPlan(profile)) {
                executed = Execute(profile);
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
