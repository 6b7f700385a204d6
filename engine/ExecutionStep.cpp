#include "engine/ExecutionStep.h"

#include "engine/Executor.h"
#include "engine/FileAccess.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <exception>
#include <string>

namespace corvane {

namespace {

// Opens the log for this run and writes its header; logging stays off when the folder or
// the file cannot be made.
void OpenLog(tProfile& profile, const tMainSettings& settings, tDateTime now) {
    profile.LoggingOn = false;
    profile.LogFile = nullptr;
    // An empty folder field would put the log at the root of the file system.
    std::string folder = settings.LogFolder.empty() ? DefaultLogFolder() : settings.LogFolder;
    std::string fileName = LogFileName(settings.Logging, folder, profile.Name, now);
    if (fileName.empty()) return;
    int32_t created = 0;
    if (!ForceFolders(folder, created)) return;
    OpenLogFile(profile, fileName, now);
}

// Closes the log when the execution leaves early, so no handle is left open and the next
// run's header in a shared file still follows a footer.
struct tLogCloser {
    tProfile& Profile;
    ~tLogCloser() { CloseLog(Profile); }
};

} // namespace

bool ExecuteWithLog(tProfile& profile, const std::function<void(tProfile&)>& execute) {
    std::string failure;
    try {
        tLogCloser closer{profile};
        profile.LoggingOn = false;
        profile.LogFile = nullptr;
        tDateTime now = NowDateTime();
        if (!profile.RunUnattended) profile.LastRun = now;

        if (profile.Stats.AffectedCount == 0 && profile.Stats.FolderRowsShown == 0) {
            // Leftovers of an interrupted copy go also when nothing else is to be done.
            if (!profile.LeftoverTempFiles.empty()) {
                OpenLog(profile, RunSettings(), now);
                RemoveLeftoverTempFiles(profile);
                CloseLog(profile);
            }
            if (!profile.RunUnattended) ShowInfo("No files copied or folders created.");
            profile.LastRunResult = ReportNothingToDo;
        } else {
            OpenLog(profile, RunSettings(), now);
            execute(profile);
            CloseLog(profile);
        }
        WritePref(ReportKey(profile.Name), profile.LastRunResult, ReportSection);
        return true;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown error";
    }
    if (!profile.RunUnattended) Ui().ShowInfo(failure);
    profile.LastRunResult = failure;
    return false;
}

bool ExecuteWithLog(tProfile& profile) {
    return ExecuteWithLog(profile, [](tProfile& p) { ExecutePlan(p); });
}

} // namespace corvane
