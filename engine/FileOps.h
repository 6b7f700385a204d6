// The single-file operations with which the executor carries out a plan (copy, move, delete,
// old versions, links, the overwrite and delete question) and the run state of one execution
// that they share.
//
// None of them raises. Each reports a result code and, while the run log is open, writes its
// own line into it.
#pragma once

#include "engine/CopyWorkers.h"
#include "engine/Trash.h"
#include "profiles/FileList.h"

#include <array>
#include <atomic>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <time.h>
#include <vector>

namespace corvane {

class tMediaCache;
class tProfile;
struct tMedium;

// Result codes of the per-file operations. Any other positive value is a system error
// number (errno) of a failed source open or link creation, carried as is.
enum class tExecResult : int32_t {
    LinksNotHeld = -6,     // the destination's medium holds no symbolic links
    CaseClash = -5,        // a name differing only in case is there, on a medium that does
                           // not tell them apart
    NameNotAllowed = -4,   // the destination's medium refuses or changes the name
    SourceChanged = -3,    // the source changed while it was copied; the copy was dropped
    ChangedSinceScan = -2, // the destination is no longer what the scan saw; left alone
    None = -1,             // no operation was carried out (moved link, special file)
    Done = 0,
    NotPermitted = 1,      // system error 1 from an operation
    Declined = 5,          // a declined question, or a file that was not deleted or moved
    MoveTargetExists = 9,  // move: the destination exists already
    SharingProblem = 32,   // access problem: system error 32
    CopyFailed = 101,      // copy failed after the destination was touched
    SourceBadHandle = 107, // access problem: the source failed to open with system error 9
    FirstReadFailed = 108, // access problem: the first read of the source failed
    Cancelled = 217,       // a question or the copy was cancelled
};

constexpr int32_t Code(tExecResult result) {
    return static_cast<int32_t>(result);
}
constexpr tExecResult SystemError(int error) {
    return static_cast<tExecResult>(error);
}

// The question kinds of ConfirmAction.
enum class tQuestionKind : int { ReadOnly = 0, Larger = 1, Newer = 2, ToBeDeleted = 3 };

// "read-only", "larger", "newer", "to be deleted".
std::string_view KindName(tQuestionKind kind);

// The copying window's byte line of a file: "1.000 MB   of 3.000 MB   ( 33.33%)" (each size
// padded to width).
std::string BytesText(int64_t copied, int64_t size, std::size_t width);

// A file this run copied, for later names of the same source.
struct tLinkedCopy {
    std::string Dest;
    uint64_t DestDevice = 0, DestInode = 0;
    int64_t Size = 0; // the source's size and time when it was copied
    timespec MTime{};
};

// What a run learned about naming unnamed files, whichever copy learned it.
struct tNamingState {
    bool EmptyPathLinkRefused = false; // linkat(fd, "", AT_EMPTY_PATH) needs a privilege
    bool UnnamedFilesUnusable = false; // no way to name them (no /proc)
};

// State of one execution of a plan: the copy buffer, the remembered answers, the counters and
// the lists the executor fills. Everything starts at zero or empty.
struct tRunState {
    explicit tRunState(tProfile& profile) : Profile(profile) {}

    tProfile& Profile;

    // One block for the whole execution.
    tCopyBuffer Buffer;
    int32_t BufferSize = 0;
    void AllocateBuffer(int32_t size);

    std::array<bool, 4> AnswerAll{}, AnswerYes{};

    int32_t LeftFoldersCreated = 0, RightFoldersCreated = 0;
    int32_t LeftVersions = 0, RightVersions = 0;
    int32_t CopiedToRight = 0, CopiedToLeft = 0;
    int64_t BytesToRight = 0, BytesToLeft = 0;
    int32_t Moved = 0;
    int64_t BytesMovedLeft = 0, BytesMovedRight = 0;
    int32_t DeletedLeft = 0, DeletedRight = 0;
    int64_t BytesDeletedLeft = 0, BytesDeletedRight = 0;
    int32_t LeftFoldersRemoved = 0, RightFoldersRemoved = 0;
    std::vector<std::string> LeftFoldersToRemove, RightFoldersToRemove;
    std::vector<std::string> NoAccessList;
    int32_t AccessProblems = 0;
    bool ExclusiveProblemSeen = false;
    bool SymlinkMessageShown = false;

    // What the destinations' file systems hold and how new files get their names there:
    // learned once per device by the analysis or the first copy there. A copy to a name that
    // did not exist is written as an unnamed file in the destination folder and linked to its
    // name when complete; elsewhere copies go through a named temporary file, as
    // replacements always do.
    tMediaCache& Media();
    // Copies made by this run of sources with more than one name: a later name of the same
    // source becomes a hard link to the copy.
    std::map<std::pair<uint64_t, uint64_t>, tLinkedCopy> LinkedCopies;
    const tLinkedCopy* EarlierCopy(const struct stat& source) const;
    void RememberCopy(const struct stat& source, const std::string& dest, const struct stat& made);
    tNamingState Naming;
    // Set on the UI thread when the run is cancelled; copies on workers stop at their next
    // chunk.
    std::atomic<bool> CancelCopies{false};
    // Called on the UI thread once per chunk of a copy carried out there, with its bytes
    // copied so far.
    std::function<void(int64_t copied)> ChunkCopied;

    // Where deleted files (with RecycleDeletedFiles) and replaced ones (with
    // RecycleOverwrittenFiles, where no old version is kept) go.
    tTrash Trash;
};

// Whether path (not followed when a link) still is the item the scan saw: absent when seen
// absent, else of the same type, size, modification second and, where recorded, inode.
bool StillAsScanned(const std::string& path, const TEntrySide& seen);

// Copies sourcePath to destPath ("L->R" or "L<-R" as direction). The data goes into a
// temporary file beside the destination that replaces it only when complete (where there was
// no destination, an unnamed file in its folder that gets the name when complete), with the
// source's mode, owner and times (nanoseconds); holes of a sparse source stay holes. The old
// destination becomes an old version first when MultipleVersions is on. Asks the read-only
// question and, on a write error, whether to try again (attended runs only); shows "Read
// error" in attended runs. Lets events run once per chunk and stops with Cancelled when the
// copying window's Cancelled is set. On every failure the temporary file is removed and the
// destination is left as it was. With destSeen, a destination that is no longer what the scan
// saw is left alone: ChangedSinceScan. A source whose size or modification time changed
// while it was copied gives SourceChanged and its copy is dropped. Only when the destination
// folder takes no new file (or a sticky folder would refuse the replacement) but the existing
// destination may be written, it is rewritten in place, and the log says so. Special files
// (FIFOs, sockets, devices, folders) are never opened: None. With RecycleOverwrittenFiles and
// no old version kept, the replaced destination goes to the trash (where its file system has
// one; else it is replaced as before); when it cannot be put there, the copy fails and the
// destination stays. Writes the COPY log line.
tExecResult CopyOneFile(tRunState& run, std::string_view direction, std::string_view name,
                        const std::string& sourcePath, const std::string& destPath,
                        const std::string& destFolder, const std::string& destBase,
                        int64_t sourceSize, int64_t destSize, int32_t& versions, int32_t& folders,
                        const TEntrySide* destSeen = nullptr);

// A copy to a name the scan saw absent, carried out on a copy worker. The UI thread prepares
// it (the name is checked against the medium, whose capabilities the copy gets as its own
// copy), the worker opens the source, copies it into an unnamed file (or a temporary) in the
// destination folder, sets its metadata and gives it its name where that name is still free,
// and the UI thread finishes it in plan order: it takes over what the copy learned about the
// medium, carries the copy out itself where the worker could not (a source with several
// names, a medium where unnamed files cannot be named, a failed write in an attended run,
// which asks whether to try again), shows "Read error" and writes the COPY log line. The
// worker asks nothing, touches no window, no plan and no stored record, and stops at its
// next chunk once run.CancelCopies is set, leaving nothing under the name.
class tDetachedCopy : public tWorkerTask {
public:
    // medium: the run's record of the destination folder's medium. nullptr where the copy has
    // to be carried out on the UI thread (CopyOneFile): the source is read through a
    // database-mode open.
    static std::shared_ptr<tDetachedCopy>
    Prepare(tRunState& run, tMedium& medium, std::string_view direction, std::string_view name,
            const std::string& sourcePath, const std::string& destPath,
            const std::string& destFolder, const std::string& destBase, int64_t sourceSize);

    // Already decided on the UI thread (a name the medium refuses): nothing to run.
    bool Decided() const { return decided_; }
    void Run(char* buffer, int32_t bufferSize) override;

    // While it runs: the bytes copied so far and the planned size.
    int64_t Copied() const { return copied_.load(std::memory_order_relaxed); }
    int64_t Size() const { return size_; }
    const std::string& Name() const { return name_; }
    const std::string& SourcePath() const { return sourcePath_; }
    const std::string& DestPath() const { return destPath_; }

    // Once finished, on the UI thread in plan order. Folders the copy had to make are added
    // to folders. Not for a task that was dropped before it ran.
    tExecResult Finish(tRunState& run, int32_t& versions, int32_t& folders);

    tDetachedCopy(tRunState& run, std::string_view direction, std::string_view name,
                  const std::string& sourcePath, const std::string& destPath,
                  const std::string& destFolder, const std::string& destBase, int64_t sourceSize);
    ~tDetachedCopy() override;

private:
    tRunState& run_;
    std::string direction_, name_, sourcePath_, destPath_, destFolder_, destBase_;
    int64_t size_ = 0;
    bool decided_ = false;
    // Prepared on the UI thread, then the worker's own.
    tMedium* shared_ = nullptr; // the run's record of the medium
    std::unique_ptr<tMedium> medium_;
    mode_t umask_ = 022;
    bool folderSetsGroup_ = false;
    tNamingState naming_;
    // The worker's results.
    std::atomic<int64_t> copied_{0};
    tExecResult code_ = tExecResult::Done;
    bool readError_ = false, writeFailed_ = false, onUiThread_ = false;
    int32_t folders_ = 0;
};

// Renames fromPath to toPath (side "L" or "R"), making toFolder when missing. Never replaces
// an existing file: MoveTargetExists then, and nothing changes. Declined when the rename is
// refused. Asks nothing. Writes the MOVE log line.
tExecResult MoveOneFile(tProfile& profile, std::string_view side, std::string_view name,
                        const std::string& fromPath, const std::string& toPath,
                        const std::string& toFolder, int32_t& folders);

// Deletes the file path (base: the side's base folder, for the versions folder). With
// withVersionsAndLog and MultipleVersions on, the file becomes old version 1 instead (versions
// grows, deleted does not); when that is impossible the file stays and the result is Declined.
// Otherwise, with a trash, the file moves into it (deleted grows; Declined when the move is
// refused), and only where its file system has no usable trash is it unlinked. Done or
// Declined; asks nothing. The log line is written only with withVersionsAndLog.
tExecResult DeleteOneFile(tProfile& profile, const std::string& path, const std::string& base,
                          bool withVersionsAndLog, int32_t& deleted, int32_t& versions,
                          int32_t& folders, tTrash* trash = nullptr);

// Path of old version n of path under the profile's versions settings (base: the side's base
// folder, used when one versions folder serves the whole side).
std::string VersionName(const tProfile& profile, const std::string& path, const std::string& base,
                        int n);

// Renames path to old version 1 after shifting the older versions up by one and dropping the
// one beyond MaxVersions. true when the file became version 1 (versions then grows).
bool KeepVersion(tProfile& profile, const std::string& path, const std::string& base,
                 int32_t& versions, int32_t& folders);

// Copies the link sourcePath as a link to its canonical target, with the source link's own
// times and owner. The new link replaces the destination only once it exists; an existing
// destination is deleted (or kept as an old version, or put into trash when given) through
// DeleteOneFile first. Done or the system error of the failed link creation; EEXIST when the
// old destination could not be removed. Asks nothing; no log line of its own.
tExecResult CopySymlink(tProfile& profile, const std::string& sourcePath,
                        const std::string& destPath, const std::string& destFolder,
                        const std::string& destBase, bool destExists, int32_t& versions,
                        int32_t& folders, tTrash* trash = nullptr);

// The overwrite or delete question of kind, with the file details. Done (do it), Declined
// (skip) or Cancelled. An answer for all files of a kind is remembered in run and answers
// that kind without asking for the rest of the execution. sourcePath "" leaves the source
// details empty.
tExecResult ConfirmAction(tRunState& run, tQuestionKind kind, const std::string& sourcePath,
                          const std::string& destPath, int64_t sourceTime, int64_t destTime,
                          int64_t destSize, int64_t sourceSize);

} // namespace corvane
