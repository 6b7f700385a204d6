#include "engine/FileOps.h"

#include "engine/FileAccess.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>

namespace corvane {

namespace {

// How much of a file is read into the buffer before anything is written; the rest of the first
// chunk is copied inside the kernel where possible.
constexpr int32_t kFirstReadSize = 16 * 1024;

constexpr std::array<std::string_view, 4> kKindNames = {"read-only", "larger", "newer",
                                                        "to be deleted"};

bool Exists(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0;
}

void LogOperation(tProfile& profile, std::string line, tExecResult code) {
    if (!profile.LoggingOn) return;
    if (code != tExecResult::Done) line += " * ERROR " + std::to_string(Code(code)) + " *";
    WriteLogLine(profile, line);
}

// A fresh name for a file being written in folder (which ends in "/" or is empty): short and
// fixed in length so that it fits wherever the final name fits, and of a form no user file
// is likely to have, since the scanner skips it and a later run removes it as a leftover.
std::string TempName(const std::string& folder) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random)) {
        // Rarely needed; O_EXCL and the retries of CreateTemp keep equal names apart.
        static uint64_t counter = 0;
        timespec now{};
        clock_gettime(CLOCK_REALTIME, &now);
        random = (static_cast<uint64_t>(getpid()) << 40) ^
                 (static_cast<uint64_t>(now.tv_sec) << 20) ^ static_cast<uint64_t>(now.tv_nsec) ^
                 (++counter * 0x9E3779B97F4A7C15ull);
    }
    char digits[CopyTempRandomLength + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random));
    return folder + std::string(CopyTempPrefix) + digits;
}

// "1.000 MB   of 3.000 MB   ( 33.33%)"
std::string BytesText(int64_t copied, int64_t size, std::size_t width) {
    char percent[32];
    double ratio = size > 0 ? static_cast<double>(copied) / static_cast<double>(size) * 100.0 : 0;
    std::snprintf(percent, sizeof percent, "%6.2f", ratio);
    return PadRight(SizeText(copied), width) + " of " + PadRight(SizeText(size), width) + " (" +
           percent + "%)";
}

// Removes the file being written unless it was kept.
class tTempFileGuard {
public:
    explicit tTempFileGuard(tOrvelLinuxFile& file) : file_(file) {}
    ~tTempFileGuard() {
        if (!armed_) return;
        file_.Close();
        file_.DeleteFile();
    }
    tTempFileGuard(const tTempFileGuard&) = delete;
    tTempFileGuard& operator=(const tTempFileGuard&) = delete;
    void Arm() { armed_ = true; }
    void Release() { armed_ = false; }

private:
    tOrvelLinuxFile& file_;
    bool armed_ = false;
};

// Creates a not yet existing temporary file in folder, mode 0600 until the source's mode is
// applied. false with the file's LastError when the folder does not take it.
bool CreateTemp(tOrvelLinuxFile& file, const std::string& folder) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.FileName = TempName(folder);
        if (file.CreateExclusive(0600)) return true;
        if (file.LastError != EEXIST) return false;
    }
    return false;
}

// Whether the folder of a destination that exists as dest refuses to let it be replaced by a
// rename although the file itself may be written: a folder the user may not write, or a
// sticky folder where neither the file nor the folder belongs to the user.
bool ReplacementRefused(const std::string& folder, const struct stat& dest) {
    const std::string dir = folder.empty() ? std::string(".") : folder;
    if (euidaccess(dir.c_str(), W_OK | X_OK) != 0) return errno == EACCES || errno == EPERM;
    struct stat st;
    if (stat(dir.c_str(), &st) != 0 || (st.st_mode & S_ISVTX) == 0) return false;
    const uid_t me = geteuid();
    return me != 0 && dest.st_uid != me && st.st_uid != me;
}

bool SameContentsState(const struct stat& a, const struct stat& b) {
    return a.st_size == b.st_size && a.st_mtim.tv_sec == b.st_mtim.tv_sec &&
           a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

uint64_t DeviceOf(const std::string& folder) {
    struct stat st;
    return stat(folder.empty() ? "." : folder.c_str(), &st) == 0 ? st.st_dev : 0;
}

// Whether a new file in folder may be made as an unnamed file. Costs nothing until a file
// system refused one; then one look per folder tells its device.
bool UnnamedFileAllowed(tRunState& run, const std::string& folder) {
    if (run.UnnamedFilesUnusable) return false;
    if (run.NoUnnamedFileDevices.empty()) return true;
    if (folder != run.UnnamedFolder) {
        run.UnnamedFolder = folder;
        const uint64_t device = DeviceOf(folder);
        run.UnnamedFolderUsable =
            std::find(run.NoUnnamedFileDevices.begin(), run.NoUnnamedFileDevices.end(), device) ==
            run.NoUnnamedFileDevices.end();
    }
    return run.UnnamedFolderUsable;
}

// Remembers that the file system of folder makes no unnamed files.
void RefuseUnnamedFiles(tRunState& run, const std::string& folder) {
    run.NoUnnamedFileDevices.push_back(DeviceOf(folder));
    run.UnnamedFolder = folder;
    run.UnnamedFolderUsable = false;
}

// What became of the name an unnamed file was to get.
enum class tLinkResult { Linked, NameTaken, Failed, Impossible };

// Gives the open unnamed file fd the name path, never replacing anything there. Impossible
// (and remembered) when the system offers no way to name it at all: neither linkat with
// AT_EMPTY_PATH, which needs a privilege, nor the descriptor's name under /proc.
tLinkResult LinkUnnamed(tRunState& run, int fd, const std::string& path) {
    if (!run.EmptyPathLinkRefused) {
        if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return tLinkResult::Linked;
        if (errno == EEXIST) return tLinkResult::NameTaken;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return tLinkResult::Failed;
        run.EmptyPathLinkRefused = true;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return tLinkResult::Linked;
    if (errno == EEXIST) return tLinkResult::NameTaken;
    if (errno == ENOENT && access("/proc/self/fd", F_OK) != 0) {
        run.UnnamedFilesUnusable = true;
        return tLinkResult::Impossible;
    }
    return tLinkResult::Failed;
}

tExecResult CopyFile(tRunState& run, std::string_view name, const std::string& sourcePath,
                     const std::string& destPath, const std::string& destFolder,
                     const std::string& destBase, int64_t sourceSize, int64_t destSize,
                     int32_t& versions, int32_t& folders, const TEntrySide* destSeen, bool& inPlace,
                     bool& retryNamed) {
    tProfile& profile = run.Profile;
    tCopyingStatus* window = profile.CopyingWindow;
    if (window) window->lbCopying = "Copying " + std::string(name);
    inPlace = false;
    retryNamed = false;

    // Someone may have saved the destination since the scan (or during the questions): then
    // the plan's copy is older than what it would replace. A destination the scan did not see
    // is not looked for: the new file never replaces one that appeared meanwhile, and the
    // failed naming tells.
    const bool seenAbsent = destSeen && !destSeen->Present;
    if (destSeen && !seenAbsent && !StillAsScanned(destPath, *destSeen))
        return tExecResult::ChangedSinceScan;

    // The source is read through a link's final target. Its status decides first whether it
    // may be opened at all: opening a FIFO would wait for a writer forever.
    tOrvelLinuxFile source;
    source.FileName = sourcePath;
    tOrvelLinuxStat sourceStat;
    bool haveStat = lstat(sourcePath.c_str(), &sourceStat.StatData) == 0;
    if (haveStat && S_ISLNK(sourceStat.StatData.st_mode)) {
        std::string target = CanonicalPath(sourcePath);
        if (!target.empty()) source.FileName = target;
        haveStat = stat(source.FileName.c_str(), &sourceStat.StatData) == 0;
    }
    if (haveStat && !S_ISREG(sourceStat.StatData.st_mode)) return tExecResult::None;

    auto restoreSource = [&] {
        if (profile.Database && haveStat) source.SetAttributes(sourceStat);
    };

    if (!source.OpenRead(profile.Database)) {
        int error = source.LastError;
        restoreSource();
        return error == 9 ? tExecResult::SourceBadHandle : SystemError(error);
    }
    // The status and size of the file actually opened: mode, owner and times for the copy.
    sourceStat = *source.GetLinuxStat();
    haveStat = sourceStat.StatData.st_mode != 0;
    if (!S_ISREG(sourceStat.StatData.st_mode)) {
        restoreSource();
        return tExecResult::None;
    }
    const int64_t size = sourceStat.StatData.st_size;
    char* const buffer = run.Buffer.get();
    const int32_t bufferSize = run.BufferSize;
    // The first chunk is read before the destination is touched. Only its start goes through
    // the buffer; the rest of it is copied inside the kernel below where that works.
    const int32_t firstRead = std::min(bufferSize, kFirstReadSize);
    const int32_t firstChunk = source.Read(buffer, firstRead);
    if (firstChunk < 0) {
        restoreSource();
        return tExecResult::FirstReadFailed;
    }

    // A destination the user may not write is replaced only when the question allows it.
    struct stat destInfo;
    const bool destExists = !seenAbsent && lstat(destPath.c_str(), &destInfo) == 0;
    bool mayWriteReadOnly = false;
    if (destExists) {
        tOrvelLinuxFile dest;
        dest.FileName = destPath;
        if (dest.IsReadOnly()) {
            if (ConfirmAction(run, tQuestionKind::ReadOnly, sourcePath, destPath, 0, 0, destSize,
                              sourceSize) != tExecResult::Done) {
                restoreSource();
                return tExecResult::CopyFailed;
            }
            mayWriteReadOnly = true;
        }
    }

    tOrvelLinuxFile temp;
    tTempFileGuard guard(temp);
    const std::string tempFolder = SplitPath(destPath).Folder;
    // Where no file can be put beside the destination (a shared folder, a sticky folder), the
    // destination itself is rewritten: without a temporary file, and without an old version,
    // which would need a new name in that folder too.
    inPlace = destExists && S_ISREG(destInfo.st_mode) && ReplacementRefused(tempFolder, destInfo);
    // A new name is filled as an unnamed file: a kill or a full disk leaves nothing behind.
    bool unnamed = false;
    if (!destExists && UnnamedFileAllowed(run, tempFolder)) {
        unnamed = temp.CreateUnnamed(tempFolder, 0600);
        if (!unnamed && temp.LastError == ENOENT) {
            const int32_t before = folders;
            ForceFolders(destFolder, folders);
            if (folders != before) unnamed = temp.CreateUnnamed(tempFolder, 0600);
        }
        if (!unnamed &&
            (temp.LastError == EOPNOTSUPP || temp.LastError == EISDIR || temp.LastError == EINVAL))
            RefuseUnnamedFiles(run, tempFolder);
    }
    if (!inPlace && !unnamed && !CreateTemp(temp, tempFolder)) {
        const int error = temp.LastError;
        const int32_t before = folders;
        ForceFolders(destFolder, folders);
        if (folders == before || !CreateTemp(temp, tempFolder)) {
            inPlace =
                destExists && S_ISREG(destInfo.st_mode) && (error == EACCES || error == EPERM);
            if (!inPlace) {
                restoreSource();
                return tExecResult::CopyFailed;
            }
        }
    }
    if (inPlace) {
        if (profile.MultipleVersions) {
            // The old version cannot be kept there, and without it the destination stays.
            restoreSource();
            return tExecResult::CopyFailed;
        }
        temp.FileName = destPath;
        bool opened = temp.OpenShared();
        if (!opened && mayWriteReadOnly) {
            auto before = temp.GetStat();
            if (before && temp.SetAttributes(*temp.WithOwnerWrite(*before)))
                opened = temp.OpenShared();
        }
        struct stat now;
        // The file opened must still be the one the scan and the questions were about.
        if (!opened || fstat(temp.Fd(), &now) != 0 || now.st_ino != destInfo.st_ino ||
            !SameContentsState(now, destInfo) || ftruncate(temp.Fd(), 0) != 0) {
            temp.Close();
            restoreSource();
            return opened ? tExecResult::ChangedSinceScan : tExecResult::CopyFailed;
        }
    } else if (!unnamed) {
        guard.Arm();
    }

    const bool showBytes = bufferSize < size;
    if (window) {
        window->BytesVisible = showBytes;
        if (showBytes) {
            window->pbBytesMax = size / 1000;
            window->pbBytesPosition = 0;
        }
    }

    // Chunks go from file to file inside the kernel where the file systems allow it. Once that
    // fails (other file systems, a full disk) the rest goes through the buffer, where a failed
    // write still holds its data for the retry.
    bool useRange = true;
    // Holes of a sparse source are skipped on both sides, so they stay holes in the copy.
    bool seekHoles = true;
    bool holeSkipped = false;
    // Writes buffer[0, count) at offset at, offering a retry while that fails; false when the
    // retry is declined (always in unattended runs: nobody may be there to answer).
    auto writeBuffer = [&](int64_t at, int32_t count) {
        int32_t written = temp.Write(buffer, count);
        while (written < count) {
            if (profile.RunUnattended || !AskQuestion("Error writing. Try again?")) return false;
            // An unnamed file cannot be opened again: it is written through the same descriptor.
            if (!unnamed) temp.Close();
            written =
                (unnamed || temp.OpenShared()) && temp.Seek(at) ? temp.Write(buffer, count) : -1;
        }
        return true;
    };
    // Copies up to count bytes from the source's position (which is at) to offset at: the
    // byte count, 0 at the end of the source, -1 when reading failed. A hole at `at` counts
    // as copied as a whole; data stops at the next hole. declined is set when writing failed.
    // The end of the source's data region at the position last looked up: holes are looked
    // for once per region, not once per chunk (on some file systems the look walks the
    // whole rest of the file).
    int64_t dataEnd = 0;
    auto transfer = [&](int64_t at, int32_t count, bool& declined) -> int64_t {
        if (seekHoles && at >= dataEnd) {
            off_t data = lseek(source.Fd(), at, SEEK_DATA);
            struct stat now;
            if (data < 0 && errno == ENXIO) {
                // Only a hole up to the end, unless the source ended early: then the read
                // below finds that out.
                data = fstat(source.Fd(), &now) == 0 && now.st_size > at ? size : at;
            }
            if (data < 0) {
                seekHoles = false;
            } else if (const int64_t end = std::min<int64_t>(data, size); end > at) {
                if (lseek(source.Fd(), end, SEEK_SET) != end ||
                    lseek(temp.Fd(), end, SEEK_SET) != end) {
                    declined = true;
                    return -1;
                }
                holeSkipped = true;
                return end - at;
            } else if (const off_t hole = lseek(source.Fd(), at, SEEK_HOLE); hole > at) {
                dataEnd = hole;
            } else {
                dataEnd = INT64_MAX;
            }
            if (lseek(source.Fd(), at, SEEK_SET) != at) return -1;
        }
        if (seekHoles && dataEnd > at)
            count = static_cast<int32_t>(std::min<int64_t>(count, dataEnd - at));
        if (useRange) {
            ssize_t n = copy_file_range(source.Fd(), nullptr, temp.Fd(), nullptr,
                                        static_cast<size_t>(count), 0);
            if (n >= 0) return n;
            useRange = false;
        }
        int32_t n = source.Read(buffer, count);
        if (n > 0 && !writeBuffer(at, n)) declined = true;
        return n;
    };

    int64_t copied = 0;
    bool pending = firstChunk > 0;
    while (pending || copied < size) {
        ProcessEvents();
        // A file rewritten in place is finished rather than left cut short.
        if (window && window->Cancelled && !inPlace) {
            restoreSource();
            return tExecResult::Cancelled;
        }
        if (window && showBytes) window->lbBytes = BytesText(copied, size, 10);

        bool declined = false;
        int64_t chunk;
        if (pending) {
            pending = false;
            chunk = firstChunk;
            if (!writeBuffer(copied, firstChunk)) {
                declined = true;
            } else if (firstChunk == firstRead && firstRead < bufferSize) {
                const int64_t rest = transfer(copied + chunk, bufferSize - firstRead, declined);
                if (rest > 0) chunk += rest;
            }
        } else {
            chunk = transfer(copied, bufferSize, declined);
        }
        if (window) window->pbBytesPosition = (copied + chunk / 2) / 1000;
        if (declined) {
            restoreSource();
            return tExecResult::CopyFailed;
        }
        if (chunk <= 0) {
            // The source ended early or failed.
            if (!profile.RunUnattended) ShowInfo("Read error");
            restoreSource();
            return tExecResult::CopyFailed;
        }
        copied += chunk;
        if (window) window->pbBytesPosition = copied / 1000;
    }
    if (size > 0 && window && showBytes) window->lbBytes = BytesText(copied, size, 8);
    // A hole at the end has no data that would have set the length.
    if (holeSkipped && ftruncate(temp.Fd(), copied) != 0) {
        restoreSource();
        return tExecResult::CopyFailed;
    }

    // A source written to while it was read gives a copy that matches no state of it.
    struct stat after;
    if (fstat(source.Fd(), &after) != 0 || !SameContentsState(after, sourceStat.StatData)) {
        restoreSource();
        return tExecResult::SourceChanged;
    }

    // Mode and owner before the times, so nothing touches the modification time afterwards.
    temp.SetAttributes(sourceStat);
    temp.SetTimesFd(sourceStat);
    if (unnamed) {
        const tLinkResult linked = LinkUnnamed(run, temp.Fd(), destPath);
        if (linked == tLinkResult::Linked && !temp.Close()) {
            // Data that did not reach the disk: the new name goes again.
            unlink(destPath.c_str());
            restoreSource();
            return tExecResult::CopyFailed;
        }
        restoreSource();
        switch (linked) {
        case tLinkResult::Linked:
            return tExecResult::Done;
        case tLinkResult::NameTaken:
            return tExecResult::ChangedSinceScan;
        case tLinkResult::Impossible:
            retryNamed = true;
            return tExecResult::CopyFailed;
        default:
            return tExecResult::CopyFailed;
        }
    }
    // Data that did not reach the disk shows up at the latest when the file is closed.
    if (!temp.Close()) {
        restoreSource();
        return tExecResult::CopyFailed;
    }
    if (inPlace) {
        restoreSource();
        return tExecResult::Done;
    }

    // The last look before the destination is replaced: it must still be what was seen. (A
    // new name is given without replacing: a file that appeared there makes that fail.)
    if (destSeen && !seenAbsent && !StillAsScanned(destPath, *destSeen)) {
        restoreSource();
        return tExecResult::ChangedSinceScan;
    }
    if (destExists && profile.MultipleVersions &&
        !KeepVersion(profile, destPath, destBase, versions, folders)) {
        // Without its old version the destination would be lost: it stays as it is.
        restoreSource();
        return tExecResult::CopyFailed;
    }
    tTrashedFile trashed;
    bool inTrash = false;
    if (destExists && !profile.MultipleVersions && profile.RecycleOverwrittenFiles) {
        const tTrashResult kept = run.Trash.KeepInTrash(destPath, trashed);
        if (kept == tTrashResult::Failed) {
            // Asked to keep it, and it cannot be kept: it is not replaced either.
            restoreSource();
            return tExecResult::CopyFailed;
        }
        inTrash = kept == tTrashResult::Trashed;
    }
    // Where there was no destination, a file that appeared meanwhile is not replaced.
    const bool renamed = destExists ? rename(temp.FileName.c_str(), destPath.c_str()) == 0
                                    : temp.RenameNoReplace(destPath);
    if (!renamed) {
        const bool appeared = !destExists && temp.LastError == EEXIST;
        if (destExists && profile.MultipleVersions) {
            tOrvelLinuxFile old;
            old.FileName = VersionName(profile, destPath, destBase, 1);
            old.RenameNoReplace(destPath);
        }
        if (inTrash) run.Trash.Undo(destPath, trashed);
        restoreSource();
        return appeared ? tExecResult::ChangedSinceScan : tExecResult::CopyFailed;
    }
    guard.Release();
    restoreSource();
    return tExecResult::Done;
}

// The rename of MoveOneFile: never over an existing file.
tExecResult MoveFile(const std::string& fromPath, const std::string& toPath,
                     const std::string& toFolder, int32_t& folders) {
    tOrvelLinuxFile file;
    file.FileName = fromPath;
    if (file.RenameNoReplace(toPath)) return tExecResult::Done;
    if (file.LastError == EEXIST || Exists(toPath)) return tExecResult::MoveTargetExists;
    ForceFolders(toFolder, folders);
    if (file.RenameNoReplace(toPath)) return tExecResult::Done;
    if (file.LastError == EEXIST) return tExecResult::MoveTargetExists;
    tExecResult code = tExecResult::Declined;
    if (file.IsReadOnly()) {
        auto before = file.GetStat();
        if (file.SetAttributes(*file.WithOwnerWrite(*before))) {
            if (file.RenameNoReplace(toPath)) code = tExecResult::Done;
            file.SetAttributes(*before);
        }
    }
    return code;
}

} // namespace

std::string_view KindName(tQuestionKind kind) {
    return kKindNames[static_cast<int>(kind)];
}

void tRunState::AllocateBuffer(int32_t size) {
    if (size < 1) size = 1;
    Buffer.reset(new char[static_cast<std::size_t>(size)]);
    BufferSize = size;
}

bool StillAsScanned(const std::string& path, const TEntrySide& seen) {
    struct stat st;
    if (lstat(path.c_str(), &st) != 0) return !seen.Present && errno == ENOENT;
    if (!seen.Present) return false;
    return (seen.Mode == 0 || (st.st_mode & S_IFMT) == (seen.Mode & S_IFMT)) &&
           st.st_size == seen.Size && st.st_mtim.tv_sec == seen.Time &&
           (seen.Inode == 0 || st.st_ino == seen.Inode);
}

tExecResult CopyOneFile(tRunState& run, std::string_view direction, std::string_view name,
                        const std::string& sourcePath, const std::string& destPath,
                        const std::string& destFolder, const std::string& destBase,
                        int64_t sourceSize, int64_t destSize, int32_t& versions, int32_t& folders,
                        const TEntrySide* destSeen) {
    if (!run.Buffer) run.AllocateBuffer(std::max(RunSettings().BufSizeKB, 1) * 1024);
    bool inPlace = false, retryNamed = false;
    tExecResult code = CopyFile(run, name, sourcePath, destPath, destFolder, destBase, sourceSize,
                                destSize, versions, folders, destSeen, inPlace, retryNamed);
    // The first unnamed file that could not be named: this copy and all later ones go through
    // a named temporary file.
    if (retryNamed)
        code = CopyFile(run, name, sourcePath, destPath, destFolder, destBase, sourceSize, destSize,
                        versions, folders, destSeen, inPlace, retryNamed);
    if (inPlace && run.Profile.LoggingOn)
        WriteLogLine(run.Profile, "IN PLACE " + destPath + " (the folder takes no temporary file)");
    LogOperation(run.Profile, "COPY " + std::string(direction) + " " + std::string(name), code);
    return code;
}

tExecResult MoveOneFile(tProfile& profile, std::string_view side, std::string_view name,
                        const std::string& fromPath, const std::string& toPath,
                        const std::string& toFolder, int32_t& folders) {
    if (tCopyingStatus* window = profile.CopyingWindow) {
        window->lbCopying = "Moving " + std::string(name);
        window->lbFromDir = fromPath;
        window->lbToDir = toPath;
    }
    tExecResult code = MoveFile(fromPath, toPath, toFolder, folders);
    LogOperation(profile,
                 "MOVE on " + std::string(side) + " " + std::string(name) + " to " + toFolder,
                 code);
    return code;
}

tExecResult DeleteOneFile(tProfile& profile, const std::string& path, const std::string& base,
                          bool withVersionsAndLog, int32_t& deleted, int32_t& versions,
                          int32_t& folders, tTrash* trash) {
    if (tCopyingStatus* window = profile.CopyingWindow) {
        window->lbCopying = "Deleting " + path;
        window->lbFromDir.clear();
        window->lbToDir.clear();
    }
    tExecResult code = tExecResult::Done;
    bool trashed = false;
    if (withVersionsAndLog && profile.MultipleVersions) {
        // The user was not asked because an old version would be kept: without one the file
        // stays.
        if (!KeepVersion(profile, path, base, versions, folders)) code = tExecResult::Declined;
    } else if (const tTrashResult put = trash ? trash->MoveToTrash(path) : tTrashResult::NoTrash;
               put != tTrashResult::NoTrash) {
        if (put == tTrashResult::Trashed)
            ++deleted;
        else
            code = tExecResult::Declined;
        trashed = put == tTrashResult::Trashed;
    } else if (unlink(path.c_str()) == 0) {
        ++deleted;
    } else {
        code = tExecResult::Declined;
        tOrvelLinuxFile file;
        file.FileName = path;
        struct stat st;
        // Only a plain file gets its write bit: through a link it would reach another file.
        if (lstat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && file.IsReadOnly()) {
            auto before = file.GetStat();
            if (file.SetAttributes(*file.WithOwnerWrite(*before))) {
                if (unlink(path.c_str()) == 0) {
                    code = tExecResult::Done;
                    ++deleted;
                } else {
                    file.SetAttributes(*before);
                }
            }
        }
    }
    if (withVersionsAndLog)
        LogOperation(profile, "DELETE " + path + (trashed ? " (to the trash)" : ""), code);
    return code;
}

std::string VersionName(const tProfile& profile, const std::string& path, const std::string& base,
                        int n) {
    const tPathParts parts = SplitPath(path);
    const std::string file = parts.Name + ".$" + std::to_string(n) + "$" + parts.Extension;
    if (!profile.UseVersionsFolder) return NormalizeSlashes(parts.Folder + "/" + file);
    if (profile.OlderSubfolder)
        return NormalizeSlashes(parts.Folder + "/" + profile.VersionsFolder + "/" + file);
    return NormalizeSlashes(base + "/" + profile.VersionsFolder + "/" + file);
}

bool KeepVersion(tProfile& profile, const std::string& path, const std::string& base,
                 int32_t& versions, int32_t& folders) {
    if (profile.UseVersionsFolder && profile.OlderSubfolder)
        ForceFolders(NormalizeSlashes(SplitPath(path).Folder + "/" + profile.VersionsFolder),
                     folders);
    const int max = profile.MaxVersions;
    const std::string oldest = VersionName(profile, path, base, max);
    if (Exists(oldest)) {
        int32_t deleted = 0, unusedVersions = 0, unusedFolders = 0;
        DeleteOneFile(profile, oldest, base, false, deleted, unusedVersions, unusedFolders);
    }
    for (int i = max; i >= 2; --i) {
        std::string older = VersionName(profile, path, base, i - 1);
        (void)rename(older.c_str(), VersionName(profile, path, base, i).c_str());
    }
    if (rename(path.c_str(), VersionName(profile, path, base, 1).c_str()) != 0) return false;
    ++versions;
    return true;
}

tExecResult CopySymlink(tProfile& profile, const std::string& sourcePath,
                        const std::string& destPath, const std::string& destFolder,
                        const std::string& destBase, bool destExists, int32_t& versions,
                        int32_t& folders, tTrash* trash) {
    const std::string target = CanonicalPath(sourcePath);
    const std::string tempFolder = SplitPath(destPath).Folder;
    std::string temp = TempName(tempFolder);
    if (symlink(target.c_str(), temp.c_str()) != 0) {
        int error = errno;
        const int32_t before = folders;
        if (error != ENOENT || target.empty()) return SystemError(error);
        ForceFolders(destFolder, folders);
        if (folders == before) return SystemError(error);
        if (symlink(target.c_str(), temp.c_str()) != 0) return SystemError(errno);
    }
    // The copy carries the source link's own times, so that the next comparison finds both
    // links equal, and its owner where the user may give it away.
    struct stat st;
    if (lstat(sourcePath.c_str(), &st) == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        (void)utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
        (void)lchown(temp.c_str(), st.st_uid, st.st_gid);
    }
    if (destExists && Exists(destPath)) {
        int32_t deleted = 0;
        if (DeleteOneFile(profile, destPath, destBase, true, deleted, versions, folders,
                          trash) != tExecResult::Done) {
            unlink(temp.c_str());
            return SystemError(EEXIST);
        }
    }
    if (rename(temp.c_str(), destPath.c_str()) != 0) {
        int error = errno;
        unlink(temp.c_str());
        return SystemError(error);
    }
    return tExecResult::Done;
}

tExecResult ConfirmAction(tRunState& run, tQuestionKind kind, const std::string& sourcePath,
                          const std::string& destPath, int64_t sourceTime, int64_t destTime,
                          int64_t destSize, int64_t sourceSize) {
    const auto k = static_cast<std::size_t>(kind);
    if (run.AnswerAll[k]) return run.AnswerYes[k] ? tExecResult::Done : tExecResult::Declined;

    const std::string kindName(KindName(kind));
    tFileChoice choice;
    choice.Message = "Destination File is " + kindName + ".";
    if (kind == tQuestionKind::ToBeDeleted) {
        choice.Options = {"Do not delete this file", "Delete this file", "Do not delete any files",
                          "Delete all unneeded files (so that mirror matches model)"};
    } else {
        choice.Options = {"Do not overwrite this file", "Overwrite this file",
                          "Do not overwrite any " + kindName + " files",
                          "Overwrite all " + kindName + " files"};
    }
    choice.Preselected = 1;
    choice.SourceName = sourcePath;
    if (!sourcePath.empty()) {
        choice.SourceSize = SizeText(sourceSize);
        choice.SourceDate = DateText(sourceTime);
    }
    choice.DestName = destPath;
    choice.DestSize = SizeText(destSize);
    choice.DestDate = DateText(destTime);

    switch (Ui().ChooseWithFileInfo(choice)) {
    case 1:
        return tExecResult::Declined;
    case 2:
        return tExecResult::Done;
    case 3:
        run.AnswerAll[k] = true;
        run.AnswerYes[k] = false;
        return tExecResult::Declined;
    case 4:
        run.AnswerAll[k] = true;
        run.AnswerYes[k] = true;
        return tExecResult::Done;
    default:
        return tExecResult::Cancelled;
    }
}

} // namespace corvane
