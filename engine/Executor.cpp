#include "engine/Executor.h"

#include "engine/CopyProgress.h"
#include "engine/CopyWorkers.h"
#include "engine/FileAccess.h"
#include "engine/FileOps.h"
#include "engine/LastRunState.h"
#include "engine/Media.h"
#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <deque>
#include <fcntl.h>
#include <memory>
#include <optional>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>

namespace corvane {

namespace {

using Clock = std::chrono::steady_clock;

// How many results may wait to be taken: enough that a large file at their head leaves the
// workers something to do meanwhile.
constexpr int32_t kMaxQueuedCopies = 64;
// Files copied at once on a device that does not spin, unless the options say otherwise.
constexpr int kAutomaticWorkers = 4;

std::string FullPath(const std::string& base, const std::string& rel, std::string_view name) {
    return NormalizeSlashes(base + "/" + rel + "/" + std::string(name));
}

std::string FolderPath(const std::string& base, const std::string& rel) {
    return NormalizeSlashes(base + "/" + rel);
}

// A folder relative to the base folders in the form RelPath has ("" for the base, else
// "/a/b"); MovedPath writes the base as "/".
std::string RelFolder(std::string_view path) {
    std::string rel;
    rel.reserve(path.size() + 1);
    for (char c : path) {
        if (c == '/' && !rel.empty() && rel.back() == '/') continue;
        if (rel.empty() && c != '/') rel.push_back('/');
        rel.push_back(c);
    }
    while (!rel.empty() && rel.back() == '/')
        rel.pop_back();
    return rel;
}

std::string ChildFolder(const std::string& rel, std::string_view name) {
    return RelFolder(rel + "/" + std::string(name));
}

std::string ParentFolder(const std::string& rel) {
    const std::size_t slash = rel.rfind('/');
    return slash == std::string::npos ? std::string() : rel.substr(0, slash);
}

// The folder of path relative to base, when path lies inside base.
std::optional<std::string> RelFolderIn(const std::string& base, const std::string& path) {
    std::string b = NormalizeSlashes(base);
    while (!b.empty() && b.back() == '/')
        b.pop_back();
    const std::string p = NormalizeSlashes(path);
    if (p.compare(0, b.size(), b) != 0 || (p.size() > b.size() && p[b.size()] != '/'))
        return std::nullopt;
    return RelFolder(std::string_view(p).substr(b.size()));
}

// The buffer never exceeds the largest planned copy unless that is 1024 bytes or less.
int32_t BufferSizeFor(const tProfile& profile) {
    tMainSettings& settings = RunSettings();
    if (settings.BufSizeKB < 1) settings.BufSizeKB = 1;
    const int64_t wanted = static_cast<int64_t>(settings.BufSizeKB) * 1024;
    const int64_t largest = profile.Stats.LargestCopy;
    if (wanted < largest) return static_cast<int32_t>(wanted);
    if (largest > 1024) return static_cast<int32_t>(largest);
    return static_cast<int32_t>(wanted);
}

// Keeps the copying window attached to the profile for the execution, also when an exception
// ends it early.
class tCopyingWindowScope {
public:
    tCopyingWindowScope(tProfile& profile, tCopyingStatus& status) : profile_(profile) {
        profile.CopyingWindow = &status;
    }
    ~tCopyingWindowScope() { Close(); }
    tCopyingWindowScope(const tCopyingWindowScope&) = delete;
    tCopyingWindowScope& operator=(const tCopyingWindowScope&) = delete;

    void Open(bool show) {
        Ui().OpenCopyingStatus(*profile_.CopyingWindow, show);
        open_ = true;
    }
    void Close() {
        if (open_) Ui().CloseCopyingStatus();
        open_ = false;
        profile_.CopyingWindow = nullptr;
    }

private:
    tProfile& profile_;
    bool open_ = false;
};

class tExecutor {
public:
    tExecutor(tProfile& profile, tCopyingStatus& status)
        : profile_(profile), status_(status), run_(profile) {}
    // Copies still under way (after an exception) stop at their next chunk; the workers are
    // gone before the run state they use.
    ~tExecutor() { run_.CancelCopies = true; }
    tExecutor(const tExecutor&) = delete;
    tExecutor& operator=(const tExecutor&) = delete;

    void Run();

private:
    void Pass();
    // A failed folder's code, to be booked in plan order.
    std::optional<tExecResult> FolderEntry(TFileListEntry& e);
    // Hands the copy of e to a worker where that suits it (a new file on a medium that takes
    // several copies at once); false when it is to be carried out here.
    bool Detach(TFileListEntry& e);
    // Books the oldest waiting result, waiting for its copy and letting events run meanwhile.
    // false when the pass ends (the run was cancelled).
    bool TakeOldest();
    // Books every waiting result (after a cancel, those of the copies that ended); false when
    // the pass ends.
    bool TakeAll();
    void CancelCopies();
    // The entry's share of the figures, once its result is booked.
    void Booked(const TFileListEntry& e);
    // The copying window's figures, with underWay bytes of copies not yet booked.
    void ShowFigures(int64_t underWay);
    // The copying window's texts for a copy under way on a worker.
    void ShowCopy(const tDetachedCopy& copy, bool first);
    int WorkersFor(const tMedium& medium) const;
    tExecResult FileEntry(const TFileListEntry& e);
    tExecResult LinkEntry(const TFileListEntry& e);
    tExecResult Copy(const TFileListEntry& e, bool toRight);
    tExecResult Move(const TFileListEntry& e);
    tExecResult Delete(const TFileListEntry& e);
    tExecResult KeepBoth(const TFileListEntry& e);
    // Books the code of one entry; false when the pass ends here.
    bool Treat(TFileListEntry& e, tExecResult code);
    // The result list's reason for a failed entry.
    static std::string FailureText(tExecResult code);
    // The wait after a pass with access problems; true when another pass is to run.
    bool WaitForAccess();
    void RemoveFolders();
    // The trash to use for deletions and for replaced files, nullptr where files are removed.
    tTrash* DeletedFilesTrash() {
        return profile_.RecycleDeletedFiles && !profile_.MultipleVersions ? &run_.Trash : nullptr;
    }
    tTrash* OverwrittenFilesTrash() {
        return profile_.RecycleOverwrittenFiles && !profile_.MultipleVersions ? &run_.Trash
                                                                              : nullptr;
    }
    // A log line, once per file system, where files were deleted because it has no trash.
    void NoteMissingTrash();
    // Folders a run wrote into get the model's modification time once their contents are
    // done: they are noted while the plan is carried out and set at the end.
    void Wrote(bool right, const std::string& rel);
    // Notes rel and, for each of the `made` folders just created down to rel, its parent.
    void Made(bool right, const std::string& rel, int32_t made);
    int32_t& FoldersCreated(bool right) {
        return right ? run_.RightFoldersCreated : run_.LeftFoldersCreated;
    }
    // Carries out op(folders created on that side), which writes into the folder rel on one
    // side and may create it and some of its parents on the way, and notes what it wrote.
    template <class Op> tExecResult Writing(bool right, const std::string& rel, Op op) {
        int32_t& created = FoldersCreated(right);
        const int32_t before = created;
        const tExecResult code = op(created);
        Wrote(right, rel);
        Made(right, rel, created - before);
        return code;
    }
    // Makes sure the destination folder of a new file exists before the file is opened.
    void PrepareFolder(bool right, const std::string& rel);
    // Makes the folder rel on one side (at once when the scan saw it absent, its parent having
    // come first in the plan), noting what was made.
    bool MakeFolder(bool right, const std::string& rel, bool seenAbsent);
    // Whether the medium written by e refuses the name of e.
    bool NameRefusedOn(const TFileListEntry& e);
    void SetFolderTimes();
    // One log line per written side whose medium keeps less than a Linux file system, and
    // one per medium that dropped extended attributes or ACLs.
    void LogMedia();
    void LogDroppedAttributes();
    void SetResult();
    void ShowResult() const;

    tProfile& profile_;
    tCopyingStatus& status_;
    tRunState run_;
    std::vector<std::string> lines_; // the result window's list of the current pass
    int32_t errorLines_ = 0, accessLines_ = 0;
    int32_t conflictsKept_ = 0; // files edited on both sides, both edits kept
    std::optional<Clock::time_point> waitStart_;
    // By side (0 left, 1 right): folders written into, and folders known to exist.
    std::unordered_set<std::string> written_[2], ready_[2];
    // The base folders' modification times before anything was written (0: unknown).
    int64_t baseTime_[2] = {0, 0};

    // Results to be booked in plan order: copies on the workers, and the codes of entries
    // decided meanwhile.
    struct tWaiting {
        TFileListEntry* Entry = nullptr;
        std::shared_ptr<tDetachedCopy> Copy; // nullptr: Code is the entry's result
        tExecResult Code = tExecResult::Done;
        bool Right = false;
        std::string Rel;
        std::string Folded; // the destination case folded, where that counts
    };
    std::deque<tWaiting> waiting_;
    int32_t copiesWaiting_ = 0;
    // Destinations of the copies waiting, case folded, on media that do not tell case apart:
    // of two names differing only in case, the one first in the plan gets its copy.
    std::unordered_multiset<std::string> foldedWaiting_;
    int configuredWorkers_ = 0; // the options' value; 0 automatic
    tCopyProgress progress_;
    int64_t bytesBooked_ = 0, filesBooked_ = 0;
    // Last, so that it is stopped before anything its copies use goes.
    std::unique_ptr<tCopyWorkers> workers_;
};

void tExecutor::Run() {
    tCopyingWindowScope window(profile_, status_);
    status_.Profile = &profile_;
    status_.DatabaseModeOffVisible = false;
    const std::string* bases[2] = {&profile_.LeftPath, &profile_.RightPath};
    for (int side = 0; side < 2; ++side) {
        struct stat st;
        if (stat(bases[side]->c_str(), &st) == 0 && S_ISDIR(st.st_mode))
            baseTime_[side] = st.st_mtim.tv_sec;
    }
    for (const std::string& path : profile_.LeftoverTempFiles)
        for (int side = 0; side < 2; ++side)
            if (auto rel = RelFolderIn(*bases[side], SplitPath(path).Folder))
                Wrote(side == 1, *rel);
    RemoveLeftoverTempFiles(profile_);

    if (profile_.UseVersionsFolder && !profile_.OlderSubfolder) {
        const int32_t left = run_.LeftFoldersCreated, right = run_.RightFoldersCreated;
        if (profile_.RightToLeft)
            ForceFolders(NormalizeSlashes(profile_.LeftPath + "/" + profile_.VersionsFolder),
                         run_.LeftFoldersCreated);
        if (profile_.LeftToRight)
            ForceFolders(NormalizeSlashes(profile_.RightPath + "/" + profile_.VersionsFolder),
                         run_.RightFoldersCreated);
        Made(false, RelFolder(profile_.VersionsFolder), run_.LeftFoldersCreated - left);
        Made(true, RelFolder(profile_.VersionsFolder), run_.RightFoldersCreated - right);
    }

    if (profile_.RunUnattended) {
        run_.AnswerAll = {true, true, true, true};
        run_.AnswerYes = {profile_.UA_OverwriteReadOnly, profile_.UA_OverwriteLarger,
                          profile_.UA_OverwriteNewer, profile_.UA_DeleteFiles};
    }

    LogMedia();

    window.Open(profile_.ShowWindows);
    if (profile_.ShowWindows) ProcessEvents();

    status_.DatabaseModeOffVisible = false;
    run_.AllocateBuffer(BufferSizeFor(profile_));
    status_.pbFileNumberPosition = 0;
    status_.pbFileNumberMax = profile_.Stats.AffectedCount;
    progress_.Start(profile_.Stats.CopyToRightBytes + profile_.Stats.CopyToLeftBytes,
                    profile_.Stats.AffectedCount, Clock::now());
    ShowFigures(0);
    run_.ChunkCopied = [this](int64_t copied) { ShowFigures(copied); };

    configuredWorkers_ = RunSettings().CopyWorkers;
    for (;;) {
        Pass();
        if (run_.AccessProblems == 0 || !WaitForAccess()) break;
    }
    workers_.reset();

    run_.Buffer.reset();
    window.Close();
    RemoveFolders();
    SetFolderTimes();
    LogDroppedAttributes();
    SetResult();
    profile_.ExecutionCancelled = status_.Cancelled;
    if (!profile_.RunUnattended) ShowResult();
}

void tExecutor::Pass() {
    run_.ExclusiveProblemSeen = false;
    status_.AccessGroupVisible = false;
    run_.AccessProblems = 0;
    lines_.clear();
    errorLines_ = accessLines_ = 0;
    const std::string affectedCount = std::to_string(profile_.Stats.AffectedCount);

    for (TFileListEntry& e : profile_.Entries) {
        if (!e.Shown) continue;
        switch (e.Action) {
        case tAction::actCopyToRight:
        case tAction::actCopyToLeft:
        case tAction::actMove:
        case tAction::actSkipped:
        case tAction::actDelete:
            break;
        case tAction::actConflict:
            if (e.FromLastRun) break; // edited on both sides: both edits are kept
            continue;
        default:
            continue;
        }
        if (e.LeftIsFolder && !e.LeftIsLink && !e.RightIsLink) {
            // Folders are made at once, also while copies before them are under way; only a
            // failure waits to be booked in its place.
            if (const std::optional<tExecResult> failed = FolderEntry(e)) {
                if (waiting_.empty())
                    Treat(e, *failed);
                else
                    waiting_.push_back({&e, nullptr, *failed, false, {}, {}});
            }
            continue;
        }
        // Full: the oldest result is waited for, and every finished one behind it is booked
        // in the same go, which leaves room for a batch of new copies.
        if (copiesWaiting_ >= kMaxQueuedCopies) {
            bool going = true;
            do {
                going = TakeOldest();
            } while (going && !waiting_.empty() &&
                     (!waiting_.front().Copy || waiting_.front().Copy->Decided() ||
                      waiting_.front().Copy->Finished()));
            while (going && copiesWaiting_ >= kMaxQueuedCopies)
                going = TakeOldest();
            if (!going) {
                TakeAll();
                return;
            }
        }
        if (Detach(e)) {
            ProcessEvents();
            if (status_.Cancelled) {
                CancelCopies();
                TakeAll();
                return;
            }
            continue;
        }
        // Carried out here: everything before it is booked first.
        if (!TakeAll()) return;
        status_.lbFileNumber = "File #" + std::to_string(e.AffectedIndex) + " of " + affectedCount;
        for (int i = 0; i < 4; ++i)
            ProcessEvents();
        const tExecResult code = FileEntry(e);
        NoteMissingTrash();
        Booked(e);
        if (!Treat(e, code)) return;
        status_.pbFileNumberPosition = e.AffectedIndex;
        ShowFigures(0);
        ProcessEvents();
        if (status_.Cancelled) return;
    }
    TakeAll();
}

int tExecutor::WorkersFor(const tMedium& medium) const {
    if (configuredWorkers_ > 0) return configuredWorkers_;
    // On shares, one at a time unless the options say otherwise: over sshfs a copy made
    // beside others was now and then found changed by the next run (copied once more).
    return medium.Rotational || medium.NetworkShare ? 1 : kAutomaticWorkers;
}

bool tExecutor::Detach(TFileListEntry& e) {
    if (configuredWorkers_ == 1) return false;
    if (e.Action != tAction::actCopyToRight && e.Action != tAction::actCopyToLeft) return false;
    // Links follow their own rules (copied as links, or their targets), and a destination
    // that exists is replaced under the versions and trash rules: both here.
    if (e.LeftIsLink || e.RightIsLink) return false;
    const bool toRight = e.Action == tAction::actCopyToRight;
    if ((toRight ? e.Right : e.Left).Present) return false;
    const std::string& rel = e.RelPath();
    const std::string& sourceBase = toRight ? profile_.LeftPath : profile_.RightPath;
    const std::string& destBase = toRight ? profile_.RightPath : profile_.LeftPath;
    const std::string dest = FullPath(destBase, rel, e.Name());
    PrepareFolder(toRight, rel);
    tMedium* medium = run_.Media().For(SplitPath(dest).Folder);
    if (!medium || WorkersFor(*medium) < 2) return false;
    std::string folded;
    if (medium->CaseInsensitive) {
        folded = dest;
        for (char& c : folded)
            if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
        if (foldedWaiting_.count(folded) != 0) return false;
    }
    std::shared_ptr<tDetachedCopy> copy = tDetachedCopy::Prepare(
        run_, *medium, toRight ? "L->R" : "L<-R", e.Name(), FullPath(sourceBase, rel, e.Name()),
        dest, FolderPath(destBase, rel), destBase, toRight ? e.LeftSize() : e.RightSize());
    if (!copy) return false;
    if (!copy->Decided()) {
        if (!workers_)
            workers_ = std::make_unique<tCopyWorkers>(
                configuredWorkers_ > 0 ? configuredWorkers_ : kAutomaticWorkers, run_.BufferSize);
        workers_->Submit(copy);
        ++copiesWaiting_;
    }
    if (!folded.empty()) foldedWaiting_.insert(folded);
    waiting_.push_back({&e, std::move(copy), tExecResult::Done, toRight, rel, std::move(folded)});
    return true;
}

void tExecutor::ShowCopy(const tDetachedCopy& copy, bool first) {
    if (first) {
        status_.lbCopying = "Copying " + copy.Name();
        status_.lbFromDir = SplitPath(copy.SourcePath()).Folder;
        status_.lbToDir = SplitPath(copy.DestPath()).Folder;
        status_.BytesVisible = run_.BufferSize < copy.Size();
        if (status_.BytesVisible) status_.pbBytesMax = copy.Size() / 1000;
    }
    if (!status_.BytesVisible) return;
    const int64_t copied = std::min(copy.Copied(), copy.Size());
    status_.pbBytesPosition = copied / 1000;
    status_.lbBytes = BytesText(copied, copy.Size(), 10);
}

void tExecutor::CancelCopies() {
    status_.Cancelled = true;
    run_.CancelCopies = true;
    if (workers_) workers_->DropQueued();
}

bool tExecutor::TakeOldest() {
    tWaiting next = std::move(waiting_.front());
    waiting_.pop_front();
    if (!next.Folded.empty()) foldedWaiting_.erase(foldedWaiting_.find(next.Folded));
    tExecResult code = next.Code;
    if (next.Copy) {
        tDetachedCopy& copy = *next.Copy;
        if (!copy.Decided()) {
            --copiesWaiting_;
            status_.lbFileNumber = "File #" + std::to_string(next.Entry->AffectedIndex) + " of " +
                                   std::to_string(profile_.Stats.AffectedCount);
            bool first = true;
            while (!workers_->WaitFor(copy, std::chrono::milliseconds(first ? 0 : 20))) {
                ShowCopy(copy, first);
                first = false;
                int64_t underWay = copy.Copied();
                for (const tWaiting& waiting : waiting_)
                    if (waiting.Copy) underWay += waiting.Copy->Copied();
                ShowFigures(underWay);
                ProcessEvents();
                if (status_.Cancelled && !run_.CancelCopies) CancelCopies();
            }
            // Never started: it stays as planned.
            if (copy.State() == tWorkerTask::tState::Dropped) return false;
        }
        int32_t& created = FoldersCreated(next.Right);
        const int32_t before = created;
        code = copy.Finish(run_, next.Right ? run_.RightVersions : run_.LeftVersions, created);
        Wrote(next.Right, next.Rel);
        Made(next.Right, next.Rel, created - before);
        NoteMissingTrash();
    }
    if (next.Copy) Booked(*next.Entry);
    if (!Treat(*next.Entry, code)) return false;
    if (next.Copy) {
        status_.pbFileNumberPosition = next.Entry->AffectedIndex;
        ShowFigures(0);
    }
    return !status_.Cancelled;
}

void tExecutor::Booked(const TFileListEntry& e) {
    filesBooked_ = std::max<int64_t>(filesBooked_, e.AffectedIndex);
    if (e.Action == tAction::actCopyToRight) bytesBooked_ += e.LeftSize();
    if (e.Action == tAction::actCopyToLeft) bytesBooked_ += e.RightSize();
}

void tExecutor::ShowFigures(int64_t underWay) {
    if (progress_.Update(bytesBooked_ + underWay, filesBooked_, Clock::now()))
        status_.lbFigures = progress_.Text();
}

bool tExecutor::TakeAll() {
    bool going = !status_.Cancelled;
    while (!waiting_.empty()) {
        if (!TakeOldest() && going) {
            going = false;
            CancelCopies();
        }
    }
    return going && !status_.Cancelled;
}

std::optional<tExecResult> tExecutor::FolderEntry(TFileListEntry& e) {
    const std::string& rel = e.RelPath();
    bool made = true;
    errno = 0;
    switch (e.Action) {
    case tAction::actCopyToRight:
        if (profile_.Filter.rgMovedFiles != 1)
            made = MakeFolder(true, ChildFolder(rel, e.Name()), !e.Right.Present);
        break;
    case tAction::actCopyToLeft:
        if (profile_.Filter.rgMovedFiles != 1)
            made = MakeFolder(false, ChildFolder(rel, e.Name()), !e.Left.Present);
        break;
    case tAction::actMove:
        if (!e.Left.Present) {
            made = MakeFolder(true, ChildFolder(RelFolder(e.MovedPath()), e.Name()), false);
            run_.RightFoldersToRemove.push_back(FullPath(profile_.RightPath, rel, e.Name()));
        } else {
            made = MakeFolder(false, ChildFolder(RelFolder(e.MovedPath()), e.Name()), false);
            run_.LeftFoldersToRemove.push_back(FullPath(profile_.LeftPath, rel, e.Name()));
        }
        break;
    case tAction::actSkipped:
        // Not made in an earlier pass: reported again, like a file.
        return static_cast<tExecResult>(e.ExecResult);
    default:
        return std::nullopt;
    }
    // A folder that cannot be made is a failure, not a silent success.
    if (!made)
        return NameRefusedOn(e) ? tExecResult::NameNotAllowed
                                : SystemError(errno != 0 ? errno : EIO);
    return std::nullopt;
}

tExecResult tExecutor::FileEntry(const TFileListEntry& e) {
    // The scan hands a link over as a file, so a link to a folder shows in its target bit:
    // its contents cannot be copied as a file's, only the link itself.
    const bool linkToFolder = (e.LeftIsLink && (e.Left.Attr & faDirectory) != 0) ||
                              (e.RightIsLink && (e.Right.Attr & faDirectory) != 0);
    bool linkCopy = (e.LeftIsLink || e.RightIsLink) &&
                    (profile_.SymLinks == 1 || profile_.SymLinks == 2 ||
                     (profile_.SymLinks == 0 && (e.LeftIsFolder || linkToFolder))) &&
                    e.Action != tAction::actDelete;
    // Only a link is copied as a link: a plain file replaces a link on the other side like
    // any destination (copied as a link it would point back into the source tree).
    if ((e.Action == tAction::actCopyToRight && !e.LeftIsLink) ||
        (e.Action == tAction::actCopyToLeft && !e.RightIsLink))
        linkCopy = false;
    if (linkCopy) return LinkEntry(e);
    switch (e.Action) {
    case tAction::actCopyToRight:
        return Copy(e, true);
    case tAction::actCopyToLeft:
        return Copy(e, false);
    case tAction::actMove:
        return Move(e);
    case tAction::actSkipped:
        return SystemError(e.ExecResult);
    case tAction::actDelete:
        return Delete(e);
    case tAction::actConflict:
        return e.FromLastRun ? KeepBoth(e) : tExecResult::None;
    default:
        return tExecResult::None;
    }
}

tExecResult tExecutor::LinkEntry(const TFileListEntry& e) {
    switch (e.Action) {
    case tAction::actCopyToRight:
    case tAction::actCopyToLeft: {
        const bool toRight = e.Action == tAction::actCopyToRight;
        const std::string& rel = e.RelPath();
        const std::string& sourceBase = toRight ? profile_.LeftPath : profile_.RightPath;
        const std::string& destBase = toRight ? profile_.RightPath : profile_.LeftPath;
        status_.lbFromDir = FolderPath(sourceBase, rel);
        status_.lbToDir = FolderPath(destBase, rel);
        if (!StillAsScanned(FullPath(destBase, rel, e.Name()), toRight ? e.Right : e.Left))
            return tExecResult::ChangedSinceScan;
        return Writing(toRight, rel, [&](int32_t& folders) {
            return CopySymlink(
                profile_, FullPath(sourceBase, rel, e.Name()), FullPath(destBase, rel, e.Name()),
                status_.lbToDir, destBase, (toRight ? e.Right : e.Left).Present,
                toRight ? run_.RightVersions : run_.LeftVersions, folders, OverwrittenFilesTrash());
        });
    }
    case tAction::actMove:
        if (!run_.SymlinkMessageShown) {
            run_.SymlinkMessageShown = true;
            if (!profile_.RunUnattended) ShowInfo("Moving symlinks is not supported yet.");
        }
        return tExecResult::None;
    default:
        return tExecResult::None;
    }
}

tExecResult tExecutor::Copy(const TFileListEntry& e, bool toRight) {
    const std::string& rel = e.RelPath();
    const std::string& sourceBase = toRight ? profile_.LeftPath : profile_.RightPath;
    const std::string& destBase = toRight ? profile_.RightPath : profile_.LeftPath;
    const std::string source = FullPath(sourceBase, rel, e.Name());
    const std::string dest = FullPath(destBase, rel, e.Name());
    const TEntrySide& s = toRight ? e.Left : e.Right;
    const TEntrySide& d = toRight ? e.Right : e.Left;
    const int64_t sourceSize = toRight ? e.LeftSize() : e.RightSize();
    const int64_t destSize = toRight ? e.RightSize() : e.LeftSize();
    status_.lbFromDir = FolderPath(sourceBase, rel);
    status_.lbToDir = FolderPath(destBase, rel);

    // Without a destination there is nothing larger or newer to protect, whatever the
    // source's date (also one before 1970).
    tExecResult code = tExecResult::Done;
    if (d.Present && sourceSize < destSize && !profile_.MultipleVersions)
        code = ConfirmAction(run_, tQuestionKind::Larger, source, dest, s.Time, d.Time, destSize,
                             sourceSize);
    if (code == tExecResult::Done && d.Present && s.Time < d.Time)
        code = ConfirmAction(run_, tQuestionKind::Newer, source, dest, s.Time, d.Time, destSize,
                             sourceSize);
    if (code != tExecResult::Done) return code;
    if (!d.Present) PrepareFolder(toRight, rel);
    return Writing(toRight, rel, [&](int32_t& folders) {
        return CopyOneFile(run_, toRight ? "L->R" : "L<-R", e.Name(), source, dest, status_.lbToDir,
                           destBase, sourceSize, destSize,
                           toRight ? run_.RightVersions : run_.LeftVersions, folders, &d);
    });
}

tExecResult tExecutor::Move(const TFileListEntry& e) {
    // The half whose left side is absent moves the right file; the other the left file.
    const bool onRight = !e.Left.Present;
    const std::string& rel = e.RelPath();
    const std::string& base = onRight ? profile_.RightPath : profile_.LeftPath;
    const std::string& otherBase = onRight ? profile_.LeftPath : profile_.RightPath;
    if (!StillAsScanned(FullPath(base, rel, e.Name()), onRight ? e.Right : e.Left))
        return tExecResult::ChangedSinceScan;
    const tExecResult code = Writing(onRight, RelFolder(e.MovedPath()), [&](int32_t& folders) {
        return MoveOneFile(profile_, onRight ? "R" : "L", e.Name(), FullPath(base, rel, e.Name()),
                           FullPath(base, e.MovedPath(), e.Name()), FolderPath(base, e.MovedPath()),
                           folders);
    });
    Wrote(onRight, rel);
    if (!FolderAccessible(FolderPath(otherBase, rel)))
        (onRight ? run_.RightFoldersToRemove : run_.LeftFoldersToRemove)
            .push_back(FolderPath(base, rel));
    return code;
}

tExecResult tExecutor::Delete(const TFileListEntry& e) {
    const std::string& rel = e.RelPath();
    tExecResult code = tExecResult::None;
    if (e.Right.Present) {
        const std::string path = FullPath(profile_.RightPath, rel, e.Name());
        code = profile_.MultipleVersions
                   ? tExecResult::Done
                   : ConfirmAction(run_, tQuestionKind::ToBeDeleted, "", path, e.Right.Time,
                                   e.Right.Time, e.RightSize(), 0);
        if (code == tExecResult::Done && !StillAsScanned(path, e.Right))
            code = tExecResult::ChangedSinceScan;
        if (code == tExecResult::Done) {
            code = Writing(true, rel, [&](int32_t& folders) {
                return DeleteOneFile(profile_, path, profile_.RightPath, true, run_.DeletedRight,
                                     run_.RightVersions, folders, DeletedFilesTrash());
            });
            if (code == tExecResult::Done) run_.BytesDeletedRight += e.RightSize();
        }
        if (code == tExecResult::Cancelled) return code;
    }
    if (e.Left.Present) {
        const std::string path = FullPath(profile_.LeftPath, rel, e.Name());
        code = profile_.MultipleVersions ? tExecResult::Done
                                         : ConfirmAction(run_, tQuestionKind::ToBeDeleted, "", path,
                                                         e.Left.Time, e.Left.Time, e.LeftSize(), 0);
        if (code == tExecResult::Done && !StillAsScanned(path, e.Left))
            code = tExecResult::ChangedSinceScan;
        if (code == tExecResult::Done) {
            code = Writing(false, rel, [&](int32_t& folders) {
                return DeleteOneFile(profile_, path, profile_.LeftPath, true, run_.DeletedLeft,
                                     run_.LeftVersions, folders, DeletedFilesTrash());
            });
            if (code == tExecResult::Done) run_.BytesDeletedLeft += e.LeftSize();
        }
    }
    return code;
}

// The older edit gets a conflict name on its side; then the newer one takes the name there
// and the older one is copied across under its conflict name, so both sides hold both.
tExecResult tExecutor::KeepBoth(const TFileListEntry& e) {
    const bool olderRight = e.Right.Time < e.Left.Time;
    const std::string& rel = e.RelPath();
    const std::string& oldBase = olderRight ? profile_.RightPath : profile_.LeftPath;
    const std::string& newBase = olderRight ? profile_.LeftPath : profile_.RightPath;
    const TEntrySide& oldSide = olderRight ? e.Right : e.Left;
    const std::string oldPath = FullPath(oldBase, rel, e.Name());
    const std::string newPath = FullPath(newBase, rel, e.Name());
    if (!StillAsScanned(oldPath, oldSide) ||
        !StillAsScanned(newPath, olderRight ? e.Left : e.Right))
        return tExecResult::ChangedSinceScan;

    std::string name;
    for (int n = 1; n < 100 && name.empty(); ++n) {
        std::string candidate =
            ConflictName(e.Name(), oldSide.Time, olderRight ? "right" : "left", n);
        struct stat st;
        if (lstat(FullPath(oldBase, rel, candidate).c_str(), &st) != 0 && errno == ENOENT &&
            lstat(FullPath(newBase, rel, candidate).c_str(), &st) != 0 && errno == ENOENT)
            name = std::move(candidate);
    }
    if (name.empty()) return tExecResult::MoveTargetExists;
    const std::string oldRenamed = FullPath(oldBase, rel, name);
    status_.lbFromDir = FolderPath(newBase, rel);
    status_.lbToDir = FolderPath(oldBase, rel);
    tExecResult code = Writing(olderRight, rel, [&](int32_t& folders) {
        return MoveOneFile(profile_, olderRight ? "R" : "L", e.Name(), oldPath, oldRenamed,
                           FolderPath(oldBase, rel), folders);
    });
    if (code != tExecResult::Done) return code;

    const TEntrySide absent;
    const int64_t newSize = olderRight ? e.LeftSize() : e.RightSize();
    const int64_t oldSize = olderRight ? e.RightSize() : e.LeftSize();
    int32_t& oldVersions = olderRight ? run_.RightVersions : run_.LeftVersions;
    int32_t& newVersions = olderRight ? run_.LeftVersions : run_.RightVersions;
    code = Writing(olderRight, rel, [&](int32_t& folders) {
        return CopyOneFile(run_, olderRight ? "L->R" : "L<-R", e.Name(), newPath, oldPath,
                           status_.lbToDir, oldBase, newSize, 0, oldVersions, folders, &absent);
    });
    if (code != tExecResult::Done) return code;
    status_.lbFromDir = FolderPath(oldBase, rel);
    status_.lbToDir = FolderPath(newBase, rel);
    return Writing(!olderRight, rel, [&](int32_t& folders) {
        return CopyOneFile(run_, olderRight ? "L<-R" : "L->R", name, oldRenamed,
                           FullPath(newBase, rel, name), status_.lbToDir, newBase, oldSize, 0,
                           newVersions, folders, &absent);
    });
}

bool tExecutor::Treat(TFileListEntry& e, tExecResult code) {
    switch (code) {
    case tExecResult::Done:
        if (e.Action == tAction::actConflict) {
            ++conflictsKept_;
            ++run_.CopiedToRight;
            ++run_.CopiedToLeft;
            run_.BytesToRight += e.LeftSize();
            run_.BytesToLeft += e.RightSize();
        } else if (e.Action == tAction::actCopyToRight) {
            ++run_.CopiedToRight;
            run_.BytesToRight += e.LeftSize();
        } else if (e.Action == tAction::actCopyToLeft) {
            ++run_.CopiedToLeft;
            run_.BytesToLeft += e.RightSize();
        } else if (e.Action == tAction::actMove) {
            ++run_.Moved;
            if (profile_.Filter.rgAdjustMovedFiles == 0)
                run_.BytesMovedLeft += e.LeftSize();
            else
                run_.BytesMovedRight += e.RightSize();
        }
        e.Action = tAction::actLeaveAlone;
        return true;
    case tExecResult::SharingProblem:
    case tExecResult::SourceBadHandle:
    case tExecResult::FirstReadFailed: {
        if (run_.AccessProblems == 0) {
            ProcessEvents();
            status_.Memo1.clear();
            run_.NoAccessList.clear();
            status_.AccessGroupVisible = true;
        }
        if (code != tExecResult::FirstReadFailed) {
            run_.ExclusiveProblemSeen = true;
            if (profile_.Database) {
                status_.DatabaseModeOffVisible = true;
                status_.DatabaseModeOffEnabled = true;
            }
        }
        const bool fromRight =
            e.Action == tAction::actCopyToLeft || (e.Action == tAction::actMove && !e.Left.Present);
        const std::string path =
            FullPath(fromRight ? profile_.RightPath : profile_.LeftPath, e.RelPath(), e.Name());
        status_.Memo1.push_back(path);
        run_.NoAccessList.push_back(path);
        ++run_.AccessProblems;
        return true;
    }
    case tExecResult::Cancelled:
        // A cancelled question ends the whole execution, not only this pass: the next pass
        // would ask it again.
        status_.Cancelled = true;
        return false;
    default:
        lines_.push_back(e.RelPath() + "/" + std::string(e.Name()) + " (" + FailureText(code) +
                         ")");
        ++errorLines_;
        e.Action = tAction::actSkipped;
        e.ExecResult = Code(code);
        return true;
    }
}

std::string tExecutor::FailureText(tExecResult code) {
    switch (code) {
    case tExecResult::NotPermitted:
        return "not permitted";
    case tExecResult::ChangedSinceScan:
        return "changed since the scan";
    case tExecResult::SourceChanged:
        return "changed during the copy";
    case tExecResult::NameNotAllowed:
        return "name not allowed on this medium";
    case tExecResult::CaseClash:
        return "a name differing only in case is there, and this medium does not tell them apart";
    case tExecResult::LinksNotHeld:
        return "this medium holds no symbolic links";
    default:
        return "error " + std::to_string(Code(code));
    }
}

bool tExecutor::WaitForAccess() {
    if (!run_.ExclusiveProblemSeen) {
        status_.DatabaseModeOffVisible = false;
        status_.DatabaseModeOffEnabled = false;
    }
    for (const std::string& path : run_.NoAccessList)
        lines_.push_back(path + " (access problem)");
    accessLines_ = static_cast<int32_t>(run_.NoAccessList.size());

    const auto hundredths = [this] {
        return std::chrono::duration_cast<std::chrono::milliseconds>(Clock::now() - *waitStart_)
                   .count() /
               10;
    };
    if (!waitStart_) {
        waitStart_ = Clock::now();
    } else if (static_cast<double>(hundredths()) / 6000.0 > profile_.WaitMins) {
        status_.Cancelled = true;
        return false;
    }

    status_.lbBytes = "Waiting For (Exclusive) Access To " + std::to_string(run_.AccessProblems) +
                      " " + "File(s)";
    status_.BytesVisible = true;
    status_.pbBytesMax = static_cast<int64_t>(profile_.WaitMins) * 60;
    status_.pbBytesPosition = 0;
    for (int step = 0; step < 20; ++step) {
        ProcessEvents();
        const int64_t elapsed = hundredths();
        status_.pbBytesPosition = elapsed / 100;
        char text[64];
        std::snprintf(text, sizeof text, "Waiting For %2lldm%3llds",
                      static_cast<long long>(elapsed / 6000),
                      static_cast<long long>((elapsed / 100) % 60));
        status_.lbCopying = text;
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
        if (status_.Cancelled) break;
    }
    return !status_.Cancelled && profile_.Wait && run_.AccessProblems != 0;
}

void tExecutor::RemoveFolders() {
    // Deepest (latest) first, so that a parent emptied by its children goes too. Only empty
    // folders can be removed; failures are expected and ignored.
    for (auto it = run_.LeftFoldersToRemove.rbegin(); it != run_.LeftFoldersToRemove.rend(); ++it)
        if (rmdir(it->c_str()) == 0) {
            ++run_.LeftFoldersRemoved;
            if (auto rel = RelFolderIn(profile_.LeftPath, *it)) Wrote(false, ParentFolder(*rel));
        }
    for (auto it = run_.RightFoldersToRemove.rbegin(); it != run_.RightFoldersToRemove.rend(); ++it)
        if (rmdir(it->c_str()) == 0) {
            ++run_.RightFoldersRemoved;
            if (auto rel = RelFolderIn(profile_.RightPath, *it)) Wrote(true, ParentFolder(*rel));
        }
}

void tExecutor::NoteMissingTrash() {
    for (const std::string& top : run_.Trash.TakeNewNoTrashFolders())
        if (profile_.LoggingOn) WriteLogLine(profile_, NoTrashLogLine(top));
}

void tExecutor::Wrote(bool right, const std::string& rel) {
    written_[right].insert(rel);
}

void tExecutor::Made(bool right, const std::string& rel, int32_t made) {
    if (made <= 0) return;
    std::string folder = rel;
    Wrote(right, folder);
    for (int32_t i = 0; i < made && !folder.empty(); ++i) {
        folder = ParentFolder(folder);
        Wrote(right, folder);
    }
}

void tExecutor::PrepareFolder(bool right, const std::string& rel) {
    if (rel.empty() || ready_[right].count(rel) != 0) return;
    int32_t& created = FoldersCreated(right);
    const int32_t before = created;
    if (ForceFolders(FolderPath(right ? profile_.RightPath : profile_.LeftPath, rel), created))
        ready_[right].insert(rel);
    Made(right, rel, created - before);
}

bool tExecutor::NameRefusedOn(const TFileListEntry& e) {
    const bool right =
        e.Action == tAction::actCopyToRight || (e.Action == tAction::actMove && !e.Left.Present);
    const tMedium* medium = run_.Media().For(right ? profile_.RightPath : profile_.LeftPath);
    return medium && !NameRefusal(*medium, e.Name()).empty();
}

bool tExecutor::MakeFolder(bool right, const std::string& rel, bool seenAbsent) {
    const std::string path = FolderPath(right ? profile_.RightPath : profile_.LeftPath, rel);
    int32_t& created = FoldersCreated(right);
    const int32_t before = created;
    bool made = true;
    if (seenAbsent && mkdir(path.c_str(), 0777) == 0)
        ++created;
    else
        made = ForceFolders(path, created);
    Made(right, rel, created - before);
    if (made) ready_[right].insert(rel);
    return made;
}

void tExecutor::SetFolderTimes() {
    // A "Show Only" run of moved files only moves files; its folders keep their times.
    if (profile_.Filter.rgMovedFiles == 1) return;
    if (written_[0].empty() && written_[1].empty()) return;

    std::unordered_map<std::string, const TFileListEntry*> folders;
    for (const TFileListEntry& e : profile_.Entries)
        if (e.LeftIsFolder || e.RightIsFolder)
            folders.emplace(ChildFolder(e.RelPath(), e.Name()), &e);

    struct tFolderTime {
        std::string Rel;
        bool Right;
        int64_t Time;
        long Nanoseconds;
    };
    std::vector<tFolderTime> times;
    auto plan = [&](const std::string& rel) {
        const bool wrote[2] = {written_[0].count(rel) != 0, written_[1].count(rel) != 0};
        // The scanned times of the folder on both sides, where it is a folder and not a link.
        std::optional<int64_t> seen[2];
        bool link[2] = {false, false};
        if (rel.empty()) {
            for (int side = 0; side < 2; ++side)
                if (baseTime_[side] != 0) seen[side] = baseTime_[side];
        } else if (auto it = folders.find(rel); it != folders.end()) {
            const TFileListEntry& e = *it->second;
            link[0] = e.LeftIsLink;
            link[1] = e.RightIsLink;
            if (e.Left.Present && e.LeftIsFolder && !e.LeftIsLink) seen[0] = e.Left.Time;
            if (e.Right.Present && e.RightIsFolder && !e.RightIsLink) seen[1] = e.Right.Time;
        } else {
            return;
        }
        // Written on both sides (a two-way run): the later time on both; else the other
        // side's time, the model's.
        std::optional<int64_t> model;
        if (wrote[0] && wrote[1]) {
            model = seen[0];
            if (seen[1] && (!model || *seen[1] > *model)) model = seen[1];
        }
        for (int side = 0; side < 2; ++side) {
            if (!wrote[side] || link[side]) continue;
            const std::optional<int64_t> time = wrote[1 - side] ? model : seen[1 - side];
            if (!time) continue;
            // The plan keeps whole seconds; a model folder the run did not write still has
            // its time to the nanosecond.
            long nanoseconds = 0;
            struct stat modelStat;
            if (!wrote[1 - side] &&
                stat(FolderPath(side == 1 ? profile_.LeftPath : profile_.RightPath, rel).c_str(),
                     &modelStat) == 0 &&
                S_ISDIR(modelStat.st_mode) && modelStat.st_mtim.tv_sec == *time)
                nanoseconds = modelStat.st_mtim.tv_nsec;
            times.push_back({rel, side == 1, *time, nanoseconds});
        }
    };
    for (int side = 0; side < 2; ++side)
        for (const std::string& rel : written_[side])
            if (side == 0 || written_[0].count(rel) == 0) plan(rel);

    // Deepest first: setting a folder's time never touches its parent, and nothing is written
    // inside a folder after its time was set.
    const auto depth = [](const std::string& rel) {
        return std::count(rel.begin(), rel.end(), '/');
    };
    std::sort(times.begin(), times.end(), [&](const tFolderTime& a, const tFolderTime& b) {
        return depth(a.Rel) > depth(b.Rel);
    });
    for (const tFolderTime& t : times) {
        const std::string path =
            FolderPath(t.Right ? profile_.RightPath : profile_.LeftPath, t.Rel);
        timespec stamps[2] = {{0, UTIME_OMIT}, {static_cast<time_t>(t.Time), t.Nanoseconds}};
        if (const tMedium* medium = run_.Media().For(path)) stamps[1] = medium->Hold(stamps[1]);
        // A folder whose time cannot be set (another owner, a file system without folder
        // times) keeps its own; that is no failure of the run.
        (void)utimensat(AT_FDCWD, path.c_str(), stamps, t.Rel.empty() ? 0 : AT_SYMLINK_NOFOLLOW);
    }
}

void tExecutor::LogMedia() {
    if (!profile_.LoggingOn) return;
    const bool written[2] = {profile_.RightToLeft, profile_.LeftToRight};
    const std::string* bases[2] = {&profile_.LeftPath, &profile_.RightPath};
    std::vector<const tMedium*> logged;
    for (int side = 0; side < 2; ++side) {
        if (!written[side]) continue;
        const tMedium* medium = run_.Media().For(*bases[side]);
        if (!medium || std::find(logged.begin(), logged.end(), medium) != logged.end()) continue;
        logged.push_back(medium);
        const std::string kept = medium->Description();
        if (kept != "keeps everything")
            WriteLogLine(profile_, "MEDIUM " + *bases[side] + " (" + medium->TypeName +
                                       "): " + kept + "; times are compared within " +
                                       std::to_string(medium->CompareStep()) + " s");
    }
}

void tExecutor::LogDroppedAttributes() {
    if (!profile_.LoggingOn || !profile_.Media) return;
    for (const auto& medium : profile_.Media->Media())
        if (medium->AttributesDropped)
            WriteLogLine(profile_, "ATTRIBUTES not kept on the " + medium->TypeName +
                                       " medium: files were copied without their extended "
                                       "attributes or ACLs");
}

void tExecutor::SetResult() {
    for (const tUnreadableFolder& folder : profile_.UnreadableFolders)
        lines_.push_back((folder.RelPath.empty() ? std::string("/") : folder.RelPath) +
                         " (cannot read folder)");
    // Entries that were not carried out must not read like a clean run.
    const int32_t failed =
        errorLines_ + accessLines_ + static_cast<int32_t>(profile_.UnreadableFolders.size());
    profile_.LastRunResult =
        ExecutionReport(run_.CopiedToRight + run_.CopiedToLeft, run_.Moved,
                        run_.DeletedLeft + run_.DeletedRight, failed, conflictsKept_);
    profile_.ResultNotes.clear();
    for (const std::string& top : run_.Trash.NoTrashFolders())
        profile_.ResultNotes.push_back(NoTrashResultLine(top));
    profile_.ResultList = profile_.ResultNotes;
    profile_.ResultList.insert(profile_.ResultList.end(), lines_.begin(), lines_.end());
    profile_.FailedCount = failed;
}

void tExecutor::ShowResult() const {
    const tPlanStatistics& stats = profile_.Stats;
    tCopyingResult r;
    if (run_.CopiedToLeft > 0 || stats.CopyToLeftCount > 0)
        r.lbAddedL = SummaryText(run_.CopiedToLeft, run_.BytesToLeft);
    if (run_.CopiedToRight > 0 || stats.CopyToRightCount > 0)
        r.lbAddedR = SummaryText(run_.CopiedToRight, run_.BytesToRight);

    const bool onLeft = profile_.Filter.rgAdjustMovedFiles == 0;
    std::string moved;
    if (run_.Moved > 0 || stats.MoveCount > 0)
        moved = SummaryText(run_.Moved, onLeft ? run_.BytesMovedLeft : run_.BytesMovedRight);
    (onLeft ? r.lbMovedL : r.lbMovedR) = moved;

    if (run_.DeletedLeft > 0) r.lbDeletedL = SummaryText(run_.DeletedLeft, run_.BytesDeletedLeft);
    if (run_.DeletedRight > 0)
        r.lbDeletedR = SummaryText(run_.DeletedRight, run_.BytesDeletedRight);
    r.lbDeletedVisible = !r.lbDeletedL.empty() || !r.lbDeletedR.empty();

    if (run_.LeftVersions > 0) r.lbFilesRenamedL = std::to_string(run_.LeftVersions);
    r.lbRenamed = run_.LeftVersions > 0 ? "Renamed (older v.):" : "Renamed (older versions):";
    if (run_.RightVersions > 0) r.lbFilesRenamedR = std::to_string(run_.RightVersions);
    r.lbRenamedVisible = run_.LeftVersions > 0 || run_.RightVersions > 0;

    if (run_.LeftFoldersCreated > 0) r.lbFoldersCreatedL = std::to_string(run_.LeftFoldersCreated);
    if (run_.RightFoldersCreated > 0)
        r.lbFoldersCreatedR = std::to_string(run_.RightFoldersCreated);
    if (run_.LeftFoldersRemoved > 0) r.lbFoldersRemovedL = std::to_string(run_.LeftFoldersRemoved);
    if (run_.RightFoldersRemoved > 0)
        r.lbFoldersRemovedR = std::to_string(run_.RightFoldersRemoved);
    r.lbFoldersRemovedVisible = run_.LeftFoldersRemoved > 0 || run_.RightFoldersRemoved > 0;

    r.RichEdit1 = profile_.ResultList;
    Ui().ShowCopyingResult(r);
}

} // namespace

void RemoveLeftoverTempFiles(tProfile& profile) {
    for (const std::string& path : profile.LeftoverTempFiles) {
        std::string_view name = path;
        if (std::size_t slash = name.rfind('/'); slash != std::string_view::npos)
            name = name.substr(slash + 1);
        struct stat st;
        if (!IsCopyTempName(name) || lstat(path.c_str(), &st) != 0) continue;
        if (!S_ISREG(st.st_mode) && !S_ISLNK(st.st_mode)) continue;
        std::string line = "DELETE LEFTOVER " + path;
        if (unlink(path.c_str()) != 0) line += " * ERROR " + std::to_string(errno) + " *";
        if (profile.LoggingOn) WriteLogLine(profile, line);
    }
    profile.LeftoverTempFiles.clear();
}

void ExecutePlan(tProfile& profile) {
    tCopyingStatus status;
    tExecutor(profile, status).Run();
}

} // namespace corvane
