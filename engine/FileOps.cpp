#include "engine/FileOps.h"

#include "engine/FileAccess.h"
#include "engine/Media.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/RunLog.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <sys/random.h>
#include <sys/stat.h>
#include <sys/xattr.h>
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
        static std::atomic<uint64_t> counter{0};
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

// Creates a not yet existing temporary file in folder with mode (less the umask). false with the
// file's LastError when the folder does not take it.
bool CreateTemp(tOrvelLinuxFile& file, const std::string& folder, mode_t mode) {
    for (int attempt = 0; attempt < 16; ++attempt) {
        file.FileName = TempName(folder);
        if (file.CreateExclusive(mode)) return true;
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

// What became of the name an unnamed file was to get.
enum class tLinkResult { Linked, NameTaken, Failed, Impossible };

// Gives the open unnamed file fd the name path, never replacing anything there. Impossible
// (and remembered) when the system offers no way to name it at all: neither linkat with
// AT_EMPTY_PATH, which needs a privilege, nor the descriptor's name under /proc.
tLinkResult LinkUnnamed(tNamingState& naming, int fd, const std::string& path) {
    if (!naming.EmptyPathLinkRefused) {
        if (linkat(fd, "", AT_FDCWD, path.c_str(), AT_EMPTY_PATH) == 0) return tLinkResult::Linked;
        if (errno == EEXIST) return tLinkResult::NameTaken;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL) return tLinkResult::Failed;
        naming.EmptyPathLinkRefused = true;
    }
    char self[32];
    std::snprintf(self, sizeof self, "/proc/self/fd/%d", fd);
    if (linkat(AT_FDCWD, self, AT_FDCWD, path.c_str(), AT_SYMLINK_FOLLOW) == 0)
        return tLinkResult::Linked;
    if (errno == EEXIST) return tLinkResult::NameTaken;
    if (errno == ENOENT && access("/proc/self/fd", F_OK) != 0) {
        naming.UnnamedFilesUnusable = true;
        return tLinkResult::Impossible;
    }
    return tLinkResult::Failed;
}

// The copy body's view of the UI thread: progress and the cancel flag once per chunk, the
// retry question after a failed write. A copy on a worker answers without asking.
class tCopyHooks {
public:
    virtual ~tCopyHooks() = default;
    // Once per chunk with the bytes copied so far; false when the copy is to stop.
    virtual bool Continue(int64_t copied, int64_t size) = 0;
    // The progress bar's position inside the chunk under way.
    virtual void Position(int64_t position) = 0;
    // After a failed write: true to try again.
    virtual bool RetryWrite() = 0;
};

// A copy prepared on the UI thread: the source is open and its first chunk is in the buffer,
// the questions are answered, the destination has been looked at. A detached job (on a copy
// worker) has its own medium, buffer and naming state and uses nothing else of the run; it
// is only made for a destination that did not exist and a source with a single name.
struct tCopyJob {
    tRunState& Run;
    bool Detached = false;
    tMedium* Medium = nullptr; // nullptr: looked up in the run's media
    char* Buffer = nullptr;
    int32_t BufferSize = 0;
    tNamingState& Naming;
    tOrvelLinuxFile& Source;
    const tOrvelLinuxStat& SourceStat;
    int32_t FirstChunk = 0, FirstRead = 0;
    const std::string& DestPath;
    const std::string& DestFolder;
    const std::string& DestBase;
    std::string TempFolder;
    bool DestExists = false;
    struct stat DestInfo {};
    bool MayWriteReadOnly = false;
    bool SeenAbsent = false;
    const TEntrySide* DestSeen = nullptr;
    int32_t& Versions;
    int32_t& Folders;
    mode_t Umask = 022;           // detached: the process's file-creation mask
    bool FolderSetsGroup = false; // detached: the folder gives new files its group
};

// What became of a copy job.
struct tCopyOutcome {
    tExecResult Code = tExecResult::Done;
    bool ReadError = false;  // the source ended early or could not be read
    bool InPlace = false;    // the destination was rewritten in place
    bool RetryNamed = false; // unnamed files cannot be named here: run it again
};

// Whether the name at path, which was found taken, is taken by a name that differs only in
// case: a lookup finds it, but the folder holds no item of exactly that name.
bool TakenByOtherCase(const tMedium& medium, const std::string& path) {
    if (!medium.CaseInsensitive) return false;
    const tPathParts parts = SplitPath(path);
    const std::string name = parts.Name + parts.Extension;
    DIR* dir = opendir(parts.Folder.empty() ? "." : parts.Folder.c_str());
    if (!dir) return false;
    bool exact = false;
    while (dirent* d = readdir(dir)) {
        if (name == d->d_name) {
            exact = true;
            break;
        }
    }
    closedir(dir);
    return !exact;
}

// Copies the extended attributes of the file sourceFd to fd: the user. namespace, POSIX
// ACLs, and security. and trusted. ones where the process may set them. A medium that holds
// none is remembered, and that it dropped some is noted for the run log.
void CopyExtendedAttributes(tMedium& medium, int sourceFd, int fd) {
    const ssize_t length = flistxattr(sourceFd, nullptr, 0);
    if (length <= 0) return;
    std::vector<char> names(static_cast<std::size_t>(length));
    const ssize_t got = flistxattr(sourceFd, names.data(), names.size());
    if (got <= 0) return;
    std::vector<char> value;
    for (const char* name = names.data(); name < names.data() + got;
         name += std::strlen(name) + 1) {
        const std::string_view n(name);
        const bool acl = n == "system.posix_acl_access" || n == "system.posix_acl_default";
        const bool privileged = n.rfind("security.", 0) == 0 || n.rfind("trusted.", 0) == 0;
        if (n.rfind("user.", 0) != 0 && !acl && !privileged) continue;
        if (!medium.ExtendedAttributes) {
            medium.AttributesDropped = true;
            return;
        }
        const ssize_t size = fgetxattr(sourceFd, name, nullptr, 0);
        if (size < 0) continue;
        value.resize(static_cast<std::size_t>(size));
        const ssize_t read = fgetxattr(sourceFd, name, value.data(), value.size());
        if (read < 0) continue;
        if (SystemCalls().SetXattr(fd, name, value.data(), static_cast<size_t>(read)) == 0)
            continue;
        if (errno == EPERM || errno == EACCES) continue; // not this process's to set
        if ((errno == EOPNOTSUPP || errno == ENOTSUP) && !privileged)
            medium.ExtendedAttributes = false;
        medium.AttributesDropped = true;
        if (!medium.ExtendedAttributes) return;
    }
}

// Sets owner, mode, extended attributes and times of the copy fd from the source's status,
// leaving out what the medium does not hold and what is already so: the new file already
// has the user's owner and, where the umask lets it, the mode it was created with.
void SetMetadata(mode_t umask, bool folderSetsGroup, tMedium& medium, int sourceFd, int fd,
                 const struct stat& source, mode_t createdMode) {
    const mode_t mode = source.st_mode & 07777;
    bool chowned = false;
    if (medium.HoldsModes && medium.HoldsOwners) {
        const bool ownerIsMine =
            source.st_uid == geteuid() && source.st_gid == getegid() && !folderSetsGroup;
        if (!ownerIsMine) {
            if (fchown(fd, source.st_uid, source.st_gid) == 0)
                chowned = true;
            else if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOSYS)
                // An ordinary user cannot give files away, and some media keep no owners:
                // not asked again on this medium.
                medium.HoldsOwners = false;
        }
    }
    // A change of owner clears the set-user-ID and set-group-ID bits.
    const mode_t created = createdMode & ~umask & 0777;
    if (medium.HoldsModes && (mode != created || (chowned && (mode & 06000) != 0))) {
        if (SystemCalls().Chmod(fd, mode) != 0 && (errno == EOPNOTSUPP || errno == ENOTSUP))
            medium.HoldsModes = false;
    }
    CopyExtendedAttributes(medium, sourceFd, fd);
    const timespec times[2] = {medium.Hold(source.st_atim), medium.Hold(source.st_mtim)};
    (void)futimens(fd, times);
}

// Opens, copies, sets the metadata and names one prepared file. Asks nothing and touches no
// window: what it needs from the UI thread comes through hooks. The temporary file is gone
// again on every failure; the destination is replaced only once the copy is complete.
tCopyOutcome RunCopyJob(tCopyJob& job, tCopyHooks& hooks) {
    tRunState& run = job.Run;
    tProfile& profile = run.Profile;
    tOrvelLinuxFile& source = job.Source;
    const struct stat& sourceData = job.SourceStat.StatData;
    const std::string& destPath = job.DestPath;
    const std::string& tempFolder = job.TempFolder;
    const bool destExists = job.DestExists;
    const struct stat& destInfo = job.DestInfo;
    tCopyOutcome out;
    auto fail = [&](tExecResult code) {
        out.Code = code;
        return out;
    };

    tMedium* medium = job.Medium;
    mode_t createMask = 022;
    bool folderSetsGroup = false;
    if (!job.Detached) {
        tMediaCache& media = run.Media();
        medium = media.For(tempFolder);
        if (!medium && !destExists) {
            ForceFolders(job.DestFolder, job.Folders);
            medium = media.For(tempFolder);
        }
        createMask = media.Umask();
        folderSetsGroup = media.FolderSetsGroup();
    } else {
        createMask = job.Umask;
        folderSetsGroup = job.FolderSetsGroup;
    }
    tMedium fallback;
    if (!medium) medium = &fallback;

    tOrvelLinuxFile temp;
    tTempFileGuard guard(temp);

    // Gives the finished temporary its name: over the destination where there is one (after
    // its old version was made), else only where the name is still free.
    auto nameTemp = [&]() -> tExecResult {
        // The last look before the destination is replaced: it must still be what was seen.
        if (job.DestSeen && !job.SeenAbsent && !StillAsScanned(destPath, *job.DestSeen))
            return tExecResult::ChangedSinceScan;
        if (destExists && profile.MultipleVersions &&
            !KeepVersion(profile, destPath, job.DestBase, job.Versions, job.Folders))
            // Without its old version the destination would be lost: it stays as it is.
            return tExecResult::CopyFailed;
        tTrashedFile trashed;
        bool inTrash = false;
        if (destExists && !profile.MultipleVersions && profile.RecycleOverwrittenFiles) {
            const tTrashResult kept = run.Trash.KeepInTrash(destPath, trashed);
            // Asked to keep it, and it cannot be kept: it is not replaced either.
            if (kept == tTrashResult::Failed) return tExecResult::CopyFailed;
            inTrash = kept == tTrashResult::Trashed;
        }
        const bool renamed = destExists ? rename(temp.FileName.c_str(), destPath.c_str()) == 0
                                        : temp.RenameNoReplace(destPath, medium);
        if (!renamed) {
            const int error = temp.LastError;
            const bool appeared = !destExists && error == EEXIST;
            if (destExists && profile.MultipleVersions) {
                tOrvelLinuxFile old;
                old.FileName = VersionName(profile, destPath, job.DestBase, 1);
                old.RenameNoReplace(destPath, medium);
            }
            if (inTrash) run.Trash.Undo(destPath, trashed);
            if (appeared && TakenByOtherCase(*medium, destPath)) return tExecResult::CaseClash;
            // The temporary's name was taken in that folder, the final one is not: the driver
            // refuses the name itself (some FAT drivers take no characters beyond ASCII).
            if (error == EPERM || error == EINVAL || error == EILSEQ)
                return tExecResult::NameNotAllowed;
            return appeared ? tExecResult::ChangedSinceScan : tExecResult::CopyFailed;
        }
        guard.Release();
        if (!medium->RenameKeepsTimes) {
            const timespec times[2] = {medium->Hold(sourceData.st_atim),
                                       medium->Hold(sourceData.st_mtim)};
            (void)utimensat(AT_FDCWD, destPath.c_str(), times, 0);
        }
        return tExecResult::Done;
    };

    // A second name of a source file copied earlier in this run becomes a second name of that
    // copy, as the source has it.
    if (const tLinkedCopy* earlier = job.Detached ? nullptr : run.EarlierCopy(sourceData);
        earlier && medium->HardLinks && earlier->DestDevice == medium->Device) {
        struct stat now;
        if (lstat(earlier->Dest.c_str(), &now) == 0 && now.st_ino == earlier->DestInode &&
            earlier->Size == sourceData.st_size &&
            earlier->MTime.tv_sec == sourceData.st_mtim.tv_sec &&
            earlier->MTime.tv_nsec == sourceData.st_mtim.tv_nsec) {
            if (!destExists) {
                if (SystemCalls().Link(earlier->Dest.c_str(), destPath.c_str()) == 0) return out;
                if (errno == EEXIST)
                    return fail(TakenByOtherCase(*medium, destPath)
                                    ? tExecResult::CaseClash
                                    : tExecResult::ChangedSinceScan);
            } else {
                temp.FileName = TempName(tempFolder);
                if (SystemCalls().Link(earlier->Dest.c_str(), temp.FileName.c_str()) == 0) {
                    guard.Arm();
                    return fail(nameTemp());
                }
            }
            if (errno == EPERM || errno == EOPNOTSUPP || errno == ENOTSUP || errno == EMLINK)
                medium->HardLinks = false;
            temp.FileName.clear();
        }
    }

    // Created with the source's permissions (and the owner's read and write bits while it is
    // written), so that usually no mode change is needed afterwards.
    const mode_t createMode = (sourceData.st_mode & 0777) | 0600;
    // Where no file can be put beside the destination (a shared folder, a sticky folder), the
    // destination itself is rewritten: without a temporary file, and without an old version,
    // which would need a new name in that folder too.
    bool inPlace =
        destExists && S_ISREG(destInfo.st_mode) && ReplacementRefused(tempFolder, destInfo);
    // A new name is filled as an unnamed file: a kill or a full disk leaves nothing behind.
    bool unnamed = false;
    if (!destExists && medium->UnnamedFiles && !job.Naming.UnnamedFilesUnusable) {
        unnamed = temp.CreateUnnamed(tempFolder, createMode);
        if (!unnamed && temp.LastError == ENOENT) {
            const int32_t before = job.Folders;
            ForceFolders(job.DestFolder, job.Folders);
            if (job.Folders != before) unnamed = temp.CreateUnnamed(tempFolder, createMode);
        }
        if (!unnamed &&
            (temp.LastError == EOPNOTSUPP || temp.LastError == EISDIR || temp.LastError == EINVAL))
            medium->UnnamedFiles = false;
    }
    if (!inPlace && !unnamed && !CreateTemp(temp, tempFolder, createMode)) {
        const int error = temp.LastError;
        const int32_t before = job.Folders;
        ForceFolders(job.DestFolder, job.Folders);
        if (job.Folders == before || !CreateTemp(temp, tempFolder, createMode)) {
            inPlace =
                destExists && S_ISREG(destInfo.st_mode) && (error == EACCES || error == EPERM);
            if (!inPlace) return fail(tExecResult::CopyFailed);
        }
    }
    out.InPlace = inPlace;
    if (inPlace) {
        // The old version cannot be kept there, and without it the destination stays.
        if (profile.MultipleVersions) return fail(tExecResult::CopyFailed);
        temp.FileName = destPath;
        bool opened = temp.OpenShared();
        if (!opened && job.MayWriteReadOnly) {
            auto before = temp.GetStat();
            if (before && temp.SetAttributes(*temp.WithOwnerWrite(*before)))
                opened = temp.OpenShared();
        }
        struct stat now;
        // The file opened must still be the one the scan and the questions were about.
        if (!opened || fstat(temp.Fd(), &now) != 0 || now.st_ino != destInfo.st_ino ||
            !SameContentsState(now, destInfo) || ftruncate(temp.Fd(), 0) != 0) {
            temp.Close();
            return fail(opened ? tExecResult::ChangedSinceScan : tExecResult::CopyFailed);
        }
    } else if (!unnamed) {
        guard.Arm();
    }

    const int64_t size = sourceData.st_size;
    char* const buffer = job.Buffer;
    const int32_t bufferSize = job.BufferSize;
    const int32_t firstChunk = job.FirstChunk, firstRead = job.FirstRead;

    // Chunks go from file to file inside the kernel where the file systems allow it. Once that
    // fails (other file systems, a full disk) the rest goes through the buffer, where a failed
    // write still holds its data for the retry.
    bool useRange = true;
    // Holes of a sparse source are skipped on both sides, so they stay holes in the copy.
    bool seekHoles = true;
    bool holeSkipped = false;
    // Writes buffer[0, count) at offset at, offering a retry while that fails; false when the
    // retry is declined.
    auto writeBuffer = [&](int64_t at, int32_t count) {
        int32_t written = temp.Write(buffer, count);
        while (written < count) {
            if (!hooks.RetryWrite()) return false;
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
        // A file rewritten in place is finished rather than left cut short.
        if (!hooks.Continue(copied, size) && !inPlace) return fail(tExecResult::Cancelled);

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
        hooks.Position((copied + chunk / 2) / 1000);
        if (declined) return fail(tExecResult::CopyFailed);
        if (chunk <= 0) {
            // The source ended early or failed.
            out.ReadError = true;
            return fail(tExecResult::CopyFailed);
        }
        copied += chunk;
        hooks.Position(copied / 1000);
    }
    // A hole at the end has no data that would have set the length.
    if (holeSkipped && ftruncate(temp.Fd(), copied) != 0) return fail(tExecResult::CopyFailed);

    // A source written to while it was read gives a copy that matches no state of it.
    struct stat after;
    if (fstat(source.Fd(), &after) != 0 || !SameContentsState(after, sourceData))
        return fail(tExecResult::SourceChanged);

    if (inPlace) {
        temp.SetAttributes(job.SourceStat);
        temp.SetTimesFd(job.SourceStat);
    } else {
        SetMetadata(createMask, folderSetsGroup, *medium, source.Fd(), temp.Fd(), sourceData,
                    createMode);
    }
    struct stat made {};
    const bool remember = !job.Detached && sourceData.st_nlink > 1 && fstat(temp.Fd(), &made) == 0;
    if (unnamed) {
        const tLinkResult linked = LinkUnnamed(job.Naming, temp.Fd(), destPath);
        if (linked == tLinkResult::Linked && !temp.Close()) {
            // Data that did not reach the disk: the new name goes again.
            unlink(destPath.c_str());
            return fail(tExecResult::CopyFailed);
        }
        switch (linked) {
        case tLinkResult::Linked:
            if (remember) run.RememberCopy(sourceData, destPath, made);
            return out;
        case tLinkResult::NameTaken:
            return fail(TakenByOtherCase(*medium, destPath) ? tExecResult::CaseClash
                                                            : tExecResult::ChangedSinceScan);
        case tLinkResult::Impossible:
            out.RetryNamed = true;
            return fail(tExecResult::CopyFailed);
        default:
            return fail(tExecResult::CopyFailed);
        }
    }
    // Data that did not reach the disk shows up at the latest when the file is closed.
    if (!temp.Close()) return fail(tExecResult::CopyFailed);
    if (inPlace) return out;
    out.Code = nameTemp();
    if (out.Code == tExecResult::Done && remember) run.RememberCopy(sourceData, destPath, made);
    return out;
}

// The copy's hooks on the UI thread: events, the cancel flag and the byte display of the
// copying window, and the retry question in attended runs.
class tWindowHooks : public tCopyHooks {
public:
    tWindowHooks(tRunState& run, int64_t size, int32_t bufferSize)
        : run_(run), profile_(run.Profile), window_(run.Profile.CopyingWindow), size_(size),
          showBytes_(bufferSize < size) {
        if (window_) {
            window_->BytesVisible = showBytes_;
            if (showBytes_) {
                window_->pbBytesMax = size / 1000;
                window_->pbBytesPosition = 0;
            }
        }
    }
    bool Continue(int64_t copied, int64_t size) override {
        if (run_.ChunkCopied) run_.ChunkCopied(copied);
        ProcessEvents();
        if (window_ && window_->Cancelled) return false;
        if (window_ && showBytes_) window_->lbBytes = BytesText(copied, size, 10);
        return true;
    }
    void Position(int64_t position) override {
        if (window_) window_->pbBytesPosition = position;
    }
    bool RetryWrite() override {
        // Nobody may be there to answer in an unattended run.
        return !profile_.RunUnattended && AskQuestion("Error writing. Try again?");
    }
    // After a complete copy.
    void Finished() {
        if (size_ > 0 && window_ && showBytes_) window_->lbBytes = BytesText(size_, size_, 8);
    }

private:
    tRunState& run_;
    tProfile& profile_;
    tCopyingStatus* window_;
    int64_t size_;
    bool showBytes_;
};

// Opens the source for a copy, through a link's final target, and reads the start of its first
// chunk into buffer before anything is done to the destination. Done, None for what is not a
// file (a FIFO is never opened: that would wait for a writer forever), or the access problem.
// haveStat tells whether sourceStat holds the source's status.
tExecResult OpenSource(tOrvelLinuxFile& source, tOrvelLinuxStat& sourceStat, bool& haveStat,
                       const std::string& sourcePath, bool database, char* buffer,
                       int32_t bufferSize, int32_t& firstChunk, int32_t& firstRead) {
    source.FileName = sourcePath;
    haveStat = lstat(sourcePath.c_str(), &sourceStat.StatData) == 0;
    if (haveStat && S_ISLNK(sourceStat.StatData.st_mode)) {
        std::string target = CanonicalPath(sourcePath);
        if (!target.empty()) source.FileName = target;
        haveStat = stat(source.FileName.c_str(), &sourceStat.StatData) == 0;
    }
    if (haveStat && !S_ISREG(sourceStat.StatData.st_mode)) return tExecResult::None;
    if (!source.OpenRead(database)) {
        const int error = source.LastError;
        return error == 9 ? tExecResult::SourceBadHandle : SystemError(error);
    }
    // The status and size of the file actually opened: mode, owner and times for the copy.
    sourceStat = *source.GetLinuxStat();
    haveStat = sourceStat.StatData.st_mode != 0;
    if (!S_ISREG(sourceStat.StatData.st_mode)) return tExecResult::None;
    // Only the start of the first chunk goes through the buffer; the rest of it is copied
    // inside the kernel where that works.
    firstRead = std::min(bufferSize, kFirstReadSize);
    firstChunk = source.Read(buffer, firstRead);
    return firstChunk < 0 ? tExecResult::FirstReadFailed : tExecResult::Done;
}

// The hooks of a copy on a worker: the run's cancel flag and the bytes done, nothing asked.
class tWorkerHooks : public tCopyHooks {
public:
    tWorkerHooks(const std::atomic<bool>& cancel, std::atomic<int64_t>& copied)
        : cancel_(cancel), copied_(copied) {}
    bool Continue(int64_t copied, int64_t) override {
        copied_.store(copied, std::memory_order_relaxed);
        return !cancel_.load(std::memory_order_relaxed);
    }
    void Position(int64_t position) override {
        copied_.store(position * 1000, std::memory_order_relaxed);
    }
    bool RetryWrite() override {
        writeFailed = true;
        return false;
    }
    bool writeFailed = false;

private:
    const std::atomic<bool>& cancel_;
    std::atomic<int64_t>& copied_;
};

// What a detached copy learned about its medium, for the run's own record of it: what one
// copy found missing is missing for all.
void TakeOverLearned(tMedium& shared, const tMedium& learned) {
    shared.HoldsModes = shared.HoldsModes && learned.HoldsModes;
    shared.HoldsOwners = shared.HoldsOwners && learned.HoldsOwners;
    shared.UnnamedFiles = shared.UnnamedFiles && learned.UnnamedFiles;
    shared.NoReplaceRename = shared.NoReplaceRename && learned.NoReplaceRename;
    shared.HardLinks = shared.HardLinks && learned.HardLinks;
    shared.ExtendedAttributes = shared.ExtendedAttributes && learned.ExtendedAttributes;
    shared.AttributesDropped = shared.AttributesDropped || learned.AttributesDropped;
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

    // A name the destination's medium would refuse or change is not tried.
    const std::string tempFolder = SplitPath(destPath).Folder;
    if (tMedium* medium = run.Media().For(tempFolder);
        medium && !NameRefusal(*medium, name).empty())
        return tExecResult::NameNotAllowed;

    tOrvelLinuxFile source;
    tOrvelLinuxStat sourceStat;
    bool haveStat = false;
    auto restoreSource = [&] {
        if (profile.Database && haveStat) source.SetAttributes(sourceStat);
    };
    int32_t firstChunk = 0, firstRead = 0;
    if (const tExecResult opened =
            OpenSource(source, sourceStat, haveStat, sourcePath, profile.Database, run.Buffer.get(),
                       run.BufferSize, firstChunk, firstRead);
        opened != tExecResult::Done) {
        restoreSource();
        return opened;
    }

    tCopyJob job{
        run,        false,      nullptr,   run.Buffer.get(), run.BufferSize, run.Naming, source,
        sourceStat, firstChunk, firstRead, destPath,         destFolder,     destBase,   tempFolder,
        false,      {},         false,     seenAbsent,       destSeen,       versions,   folders};
    // A destination the user may not write is replaced only when the question allows it.
    job.DestExists = !seenAbsent && lstat(destPath.c_str(), &job.DestInfo) == 0;
    if (job.DestExists) {
        tOrvelLinuxFile dest;
        dest.FileName = destPath;
        if (dest.IsReadOnly()) {
            if (ConfirmAction(run, tQuestionKind::ReadOnly, sourcePath, destPath, 0, 0, destSize,
                              sourceSize) != tExecResult::Done) {
                restoreSource();
                return tExecResult::CopyFailed;
            }
            job.MayWriteReadOnly = true;
        }
    }

    tWindowHooks hooks(run, sourceStat.StatData.st_size, run.BufferSize);
    const tCopyOutcome outcome = RunCopyJob(job, hooks);
    restoreSource();
    inPlace = outcome.InPlace;
    retryNamed = outcome.RetryNamed;
    if (outcome.ReadError && !profile.RunUnattended) ShowInfo("Read error");
    if (outcome.Code == tExecResult::Done) hooks.Finished();
    return outcome.Code;
}

// The rename of MoveOneFile: never over an existing file.
tExecResult MoveFile(tMedium* medium, const std::string& fromPath, const std::string& toPath,
                     const std::string& toFolder, int32_t& folders) {
    tOrvelLinuxFile file;
    file.FileName = fromPath;
    // Where a rename changes the time, the moved file gets its own back.
    struct stat before {};
    const bool keepTime =
        medium && !medium->RenameKeepsTimes && lstat(fromPath.c_str(), &before) == 0;
    auto moved = [&] {
        if (keepTime) {
            const timespec times[2] = {before.st_atim, before.st_mtim};
            (void)utimensat(AT_FDCWD, toPath.c_str(), times, AT_SYMLINK_NOFOLLOW);
        }
        return tExecResult::Done;
    };
    if (file.RenameNoReplace(toPath, medium)) return moved();
    if (file.LastError == EEXIST || Exists(toPath)) return tExecResult::MoveTargetExists;
    ForceFolders(toFolder, folders);
    if (file.RenameNoReplace(toPath, medium)) return moved();
    if (file.LastError == EEXIST) return tExecResult::MoveTargetExists;
    tExecResult code = tExecResult::Declined;
    if (file.IsReadOnly()) {
        auto before = file.GetStat();
        if (file.SetAttributes(*file.WithOwnerWrite(*before))) {
            if (file.RenameNoReplace(toPath, medium)) code = tExecResult::Done;
            file.SetAttributes(*before);
        }
    }
    return code;
}

} // namespace

std::string BytesText(int64_t copied, int64_t size, std::size_t width) {
    char percent[32];
    double ratio = size > 0 ? static_cast<double>(copied) / static_cast<double>(size) * 100.0 : 0;
    std::snprintf(percent, sizeof percent, "%6.2f", ratio);
    return PadRight(SizeText(copied), width) + " of " + PadRight(SizeText(size), width) + " (" +
           percent + "%)";
}

std::string_view KindName(tQuestionKind kind) {
    return kKindNames[static_cast<int>(kind)];
}

void tRunState::AllocateBuffer(int32_t size) {
    if (size < 1) size = 1;
    Buffer = AllocateCopyBuffer(static_cast<std::size_t>(size));
    BufferSize = size;
}

tMediaCache& tRunState::Media() {
    if (!Profile.Media) Profile.Media = std::make_shared<tMediaCache>();
    return *Profile.Media;
}

const tLinkedCopy* tRunState::EarlierCopy(const struct stat& source) const {
    if (source.st_nlink < 2) return nullptr;
    auto found = LinkedCopies.find({source.st_dev, source.st_ino});
    return found == LinkedCopies.end() ? nullptr : &found->second;
}

void tRunState::RememberCopy(const struct stat& source, const std::string& dest,
                             const struct stat& made) {
    LinkedCopies[{source.st_dev, source.st_ino}] = {dest, made.st_dev, made.st_ino, source.st_size,
                                                    source.st_mtim};
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

tDetachedCopy::tDetachedCopy(tRunState& run, std::string_view direction, std::string_view name,
                             const std::string& sourcePath, const std::string& destPath,
                             const std::string& destFolder, const std::string& destBase,
                             int64_t sourceSize)
    : run_(run), direction_(direction), name_(name), sourcePath_(sourcePath), destPath_(destPath),
      destFolder_(destFolder), destBase_(destBase), size_(sourceSize) {}

tDetachedCopy::~tDetachedCopy() = default;

std::shared_ptr<tDetachedCopy>
tDetachedCopy::Prepare(tRunState& run, tMedium& medium, std::string_view direction,
                       std::string_view name, const std::string& sourcePath,
                       const std::string& destPath, const std::string& destFolder,
                       const std::string& destBase, int64_t sourceSize) {
    if (run.Profile.Database) return nullptr;
    const tMediaCache& media = run.Media();
    auto copy = std::make_shared<tDetachedCopy>(run, direction, name, sourcePath, destPath,
                                                destFolder, destBase, sourceSize);
    // A name the destination's medium would refuse or change is not tried.
    if (!NameRefusal(medium, name).empty()) {
        copy->decided_ = true;
        copy->code_ = tExecResult::NameNotAllowed;
        return copy;
    }
    copy->shared_ = &medium;
    copy->medium_ = std::make_unique<tMedium>(medium);
    copy->umask_ = media.Umask();
    copy->folderSetsGroup_ = media.FolderSetsGroup();
    copy->naming_ = run.Naming;
    return copy;
}

void tDetachedCopy::Run(char* buffer, int32_t bufferSize) {
    if (decided_) return;
    tOrvelLinuxFile source;
    tOrvelLinuxStat sourceStat;
    bool haveStat = false;
    int32_t firstChunk = 0, firstRead = 0;
    code_ = OpenSource(source, sourceStat, haveStat, sourcePath_, false, buffer, bufferSize,
                       firstChunk, firstRead);
    if (code_ != tExecResult::Done) return;
    // A source with several names may become a second name of an earlier copy: that needs
    // the run's record of its copies, on the UI thread. Nothing has been written yet.
    if (sourceStat.StatData.st_nlink > 1) {
        onUiThread_ = true;
        return;
    }
    int32_t versions = 0;
    tCopyJob job{run_,
                 true,
                 medium_.get(),
                 buffer,
                 bufferSize,
                 naming_,
                 source,
                 sourceStat,
                 firstChunk,
                 firstRead,
                 destPath_,
                 destFolder_,
                 destBase_,
                 SplitPath(destPath_).Folder,
                 false,
                 {},
                 false,
                 true,
                 nullptr,
                 versions,
                 folders_,
                 umask_,
                 folderSetsGroup_};
    tWorkerHooks hooks(run_.CancelCopies, copied_);
    const tCopyOutcome outcome = RunCopyJob(job, hooks);
    code_ = outcome.Code;
    readError_ = outcome.ReadError;
    writeFailed_ = hooks.writeFailed;
    onUiThread_ = outcome.RetryNamed;
    if (code_ == tExecResult::Done) copied_.store(sourceStat.StatData.st_size);
}

tExecResult tDetachedCopy::Finish(tRunState& run, int32_t& versions, int32_t& folders) {
    folders += folders_;
    if (medium_ && shared_) TakeOverLearned(*shared_, *medium_);
    run.Naming.EmptyPathLinkRefused |= naming_.EmptyPathLinkRefused;
    run.Naming.UnnamedFilesUnusable |= naming_.UnnamedFilesUnusable;
    const bool attended = !run.Profile.RunUnattended;
    // What the worker left to the UI thread, and a failed write that may be tried again (the
    // copy asks once its write fails once more): carried out here, with its own log line.
    if (onUiThread_ || (writeFailed_ && attended && code_ == tExecResult::CopyFailed)) {
        const TEntrySide absent;
        return CopyOneFile(run, direction_, name_, sourcePath_, destPath_, destFolder_, destBase_,
                           size_, 0, versions, folders, &absent);
    }
    if (readError_ && attended) ShowInfo("Read error");
    LogOperation(run.Profile, "COPY " + direction_ + " " + name_, code_);
    return code_;
}

tExecResult MoveOneFile(tProfile& profile, std::string_view side, std::string_view name,
                        const std::string& fromPath, const std::string& toPath,
                        const std::string& toFolder, int32_t& folders) {
    if (tCopyingStatus* window = profile.CopyingWindow) {
        window->lbCopying = "Moving " + std::string(name);
        window->lbFromDir = fromPath;
        window->lbToDir = toPath;
    }
    // A rename stays on one device: the medium of the file's own folder is the target's.
    if (!profile.Media) profile.Media = std::make_shared<tMediaCache>();
    tMedium* medium = profile.Media->For(SplitPath(fromPath).Folder);
    tExecResult code = medium && !NameRefusal(*medium, name).empty()
                           ? tExecResult::NameNotAllowed
                           : MoveFile(medium, fromPath, toPath, toFolder, folders);
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
    if (!profile.Media) profile.Media = std::make_shared<tMediaCache>();
    tMedium* medium = profile.Media->For(tempFolder);
    if (medium && !medium->HoldsLinks) return tExecResult::LinksNotHeld;
    const tPathParts parts = SplitPath(destPath);
    if (medium && !NameRefusal(*medium, parts.Name + parts.Extension).empty())
        return tExecResult::NameNotAllowed;
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
    // links equal, and its owner where the user may give it away. Where links cannot be
    // given times (SFTP sets them on whatever the link leads to on the server), neither is
    // tried: the comparison knows such links by their targets.
    struct stat st;
    if ((!medium || medium->HoldsLinkTimes) && lstat(sourcePath.c_str(), &st) == 0) {
        const timespec times[2] = {st.st_atim, st.st_mtim};
        (void)utimensat(AT_FDCWD, temp.c_str(), times, AT_SYMLINK_NOFOLLOW);
        if (!medium || (medium->HoldsModes && medium->HoldsOwners &&
                        (st.st_uid != geteuid() || st.st_gid != getegid())))
            (void)lchown(temp.c_str(), st.st_uid, st.st_gid);
    }
    if (destExists && Exists(destPath)) {
        int32_t deleted = 0;
        if (DeleteOneFile(profile, destPath, destBase, true, deleted, versions, folders, trash) !=
            tExecResult::Done) {
            unlink(temp.c_str());
            return SystemError(EEXIST);
        }
    }
    tOrvelLinuxFile link;
    link.FileName = temp;
    if (destExists ? !link.Rename(destPath) : !link.RenameNoReplace(destPath, medium)) {
        int error = link.LastError;
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
