// The profile record: one synchronization job, its option record and its run-time state.
#pragma once

#include "profiles/FileList.h"

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

namespace corvane {

struct tCopyingStatus;
class tStatusList;

// Three-state check box value.
enum class tTriState : uint8_t { Unchecked = 0, Checked = 1, Grayed = 2 };

// The status window's filter controls as a value (item numbers of the radio groups).
struct tStatusFilter {
    int rgState = 0;            // 0 Show All, 1 Affected, 2 L to R, 3 R to L, 4 Unaffected
    int rgExistence = 0;        // 0 Show All, 1 Orphans, 2 Duplicates
    int rgMovedFiles = 0;       // 0 Show, 1 Show Only, 2 Don't Show
    int rgAdjustMovedFiles = 0; // 0 On the Left, 1 Right
    tTriState cbFilesToDelete = tTriState::Unchecked;
};

// Plan statistics gathered by BuildStatusList.
struct tPlanStatistics {
    int32_t FilesShown = 0, AffectedCount = 0, LeftFilesShown = 0, RightFilesShown = 0;
    int32_t CopyToRightCount = 0, CopyToLeftCount = 0, MoveCount = 0, DeleteCount = 0;
    int32_t FoldersShown = 0, FolderRowsShown = 0;
    int64_t BytesShown = 0, CopyToRightBytes = 0, CopyToLeftBytes = 0, MoveBytes = 0;
    int64_t DeleteBytes = 0, LargestCopy = 0;
};

// A folder the scanner could not read (it exists but could not be listed).
struct tUnreadableFolder {
    bool RightSide = false;
    std::string RelPath; // relative to the side's base folder, "" for the base
    int Error = 0;       // errno of the failed open or read
};

class tProfile {
public:
    // Stored settings, in the order of the option record.
    std::string Name;
    std::string LeftPath, RightPath;
    std::string FileMasks, ExcludeMasks;
    bool Ignore2Secs = false, Ignore1Hour = false;
    int SymLinks = 0; // 0 follow (files only), 1 copy as links, 2 ignore
    bool Scheduled = false, Repeat = false;
    double NextRun = 0;
    int Days = 0, Hours = 0, Minutes = 0;
    int RepeatMode = 0; // 0 while no error, 1 indefinitely, 2 only RepeatTimes times
    bool Database = false, Wait = false;
    int WaitMins = 0;
    bool Subfolders = false, Unattended = false, RightToLeft = false, LeftToRight = false;
    bool DetectMoved = false, SelectBaseFolderItems = false, ExactMirror = false;
    bool EmptyFolders = false;
    bool UA_OverwriteReadOnly = false, UA_OverwriteLarger = false;
    bool UA_OverwriteNewer = false, UA_DeleteFiles = false;
    int RepeatTimes = 0;
    double LastRun = 0; // day number; 0 = never
    bool RecycleOverwrittenFiles = false, RecycleDeletedFiles = false;
    bool HiddenFiles = false, HiddenFolders = false;
    bool MultipleVersions = false;
    int MaxVersions = 0;
    bool UseVersionsFolder = false, OlderSubfolder = false;
    std::string VersionsFolder;
    std::string VolumeLabel;
    bool CacheRight = false, AutoUpdate = false;

    // Stored beside the record.
    std::string LastRunResult;
    std::string BaseFolderItems;

    // Run flags.
    bool ForcedUnattended = false; // started by the scheduler or a forced overview run
    bool RunUnattended = false;    // Unattended or ForcedUnattended
    bool ShowWindows = false;      // the run shows its progress and result windows
    bool AlreadyRunning = false;   // the run was refused: another run of it holds its lock

    // Scan results.
    std::vector<TFileListEntry> Entries;
    int32_t LeftItemCount = 0, RightItemCount = 0, MaxLevel = 0;
    bool ScanAborted = false;
    std::vector<tUnreadableFolder> UnreadableFolders;
    // Full paths of copy-temporary items the scan met and left out (leftovers of an
    // interrupted copy), for the executor to remove.
    std::vector<std::string> LeftoverTempFiles;

    // Plan: filter values, statistics and the status list's row -> entry index (row 0 is
    // the header and maps to -1).
    tStatusFilter Filter;
    tPlanStatistics Stats;
    std::vector<int32_t> RowIndex;
    // The status list model that BuildStatusList and UpdateStatusSummary keep up to date;
    // set while one is attached (tStatusList attaches itself). Not owned.
    tStatusList* StatusList = nullptr;

    // Execution state.
    tCopyingStatus* CopyingWindow = nullptr; // set while ExecutePlan runs
    // Lines of the result window's list of the last execution (failures, access problems,
    // unreadable folders) and how many entries were not carried out.
    std::vector<std::string> ResultList;
    int32_t FailedCount = 0;
    bool LoggingOn = false;
    std::FILE* LogFile = nullptr; // opened and closed by ExecuteWithLog

    int32_t EntryCount() const { return static_cast<int32_t>(Entries.size()); }
};

// The values a first start shows on the edit page.
void SetInitialValues(tProfile& p);
// The "Defaults" button: resets the mode, schedule and unattended fields.
void SetDefaultValues(tProfile& p);

// The 1270-character option record.
inline constexpr size_t OptionRecordLength = 1270;
inline constexpr size_t OptionRecordMinLength = 1067;
std::string EncodeOptions(const tProfile& p);
// Fills the stored fields the record holds; false (profile unchanged) for a record shorter
// than 1067 characters. Name, LastRunResult and BaseFolderItems are not touched.
bool DecodeOptions(tProfile& p, std::string_view record);

// Exact mirror, unattended mode applies, and it may overwrite newer files or delete files.
bool IsDangerous(const tProfile& p, bool scheduled);

// Exact mirror counts only with one copy direction: with both, neither side is the model
// and mirror deletions would remove new files on both sides.
bool ExactMirrorInEffect(const tProfile& p);

// Checks a profile name and its paths for what the preferences file cannot hold. Returns
// an empty text when they are fine, else a message for the user.
std::string ValidateProfileName(std::string_view name);
std::string ValidateProfilePaths(const tProfile& p);

} // namespace corvane
