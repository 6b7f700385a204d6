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
#include <sys/stat.h>
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
// fixed in length so that it fits wherever the final name fits, and skipped by the scanner.
std::string TempName(const std::string& folder) {
    static uint64_t counter = 0;
    // A process made by fork keeps its parent's number here; the names stay apart through
    // O_EXCL and the next counter value.
    static const pid_t pid = getpid();
    char suffix[48];
    std::snprintf(suffix, sizeof suffix, "%x-%llx", static_cast<unsigned>(pid),
                  static_cast<unsigned long long>(++counter));
    return folder + std::string(CopyTempPrefix) + suffix;
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

tExecResult CopyFile(tRunState& run, std::string_view name, const std::string& sourcePath,
                     const std::string& destPath, const std::string& destFolder,
                     const std::string& destBase, int64_t sourceSize, int64_t destSize,
                     int32_t& versions, int32_t& folders) {
    tProfile& profile = run.Profile;
    tCopyingStatus* window = profile.CopyingWindow;
    if (window) window->lbCopying = "Copying " + std::string(name);

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
    const bool destExists = lstat(destPath.c_str(), &destInfo) == 0;
    if (destExists) {
        tOrvelLinuxFile dest;
        dest.FileName = destPath;
        if (dest.IsReadOnly() && ConfirmAction(run, tQuestionKind::ReadOnly, sourcePath, destPath,
                                               0, 0, destSize, sourceSize) != tExecResult::Done) {
            restoreSource();
            return tExecResult::CopyFailed;
        }
    }

    tOrvelLinuxFile temp;
    tTempFileGuard guard(temp);
    const std::string tempFolder = SplitPath(destPath).Folder;
    if (!CreateTemp(temp, tempFolder)) {
        const int32_t before = folders;
        ForceFolders(destFolder, folders);
        if (folders == before || !CreateTemp(temp, tempFolder)) {
            restoreSource();
            return tExecResult::CopyFailed;
        }
    }
    guard.Arm();

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
    // Writes buffer[0, count) at offset at, offering a retry while that fails; false when the
    // retry is declined (always in unattended runs: nobody may be there to answer).
    auto writeBuffer = [&](int64_t at, int32_t count) {
        int32_t written = temp.Write(buffer, count);
        while (written < count) {
            if (profile.RunUnattended || !AskQuestion("Error writing. Try again?")) return false;
            temp.Close();
            written = temp.OpenShared() && temp.Seek(at) ? temp.Write(buffer, count) : -1;
        }
        return true;
    };
    // Copies up to count bytes from the source's position to offset at: the byte count, 0 at
    // the end of the source, -1 when reading failed. declined is set when writing failed.
    auto transfer = [&](int64_t at, int32_t count, bool& declined) -> int64_t {
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
        if (window && window->Cancelled) {
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

    // Mode and owner before the times, so nothing touches the modification time afterwards.
    temp.SetAttributes(sourceStat);
    temp.SetTimesFd(sourceStat);
    // Data that did not reach the disk shows up at the latest when the file is closed.
    if (!temp.Close()) {
        restoreSource();
        return tExecResult::CopyFailed;
    }

    if (destExists && profile.MultipleVersions &&
        !KeepVersion(profile, destPath, destBase, versions, folders)) {
        // Without its old version the destination would be lost: it stays as it is.
        restoreSource();
        return tExecResult::CopyFailed;
    }
    if (rename(temp.FileName.c_str(), destPath.c_str()) != 0) {
        if (destExists && profile.MultipleVersions) {
            tOrvelLinuxFile old;
            old.FileName = VersionName(profile, destPath, destBase, 1);
            old.RenameNoReplace(destPath);
        }
        restoreSource();
        return tExecResult::CopyFailed;
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

tExecResult CopyOneFile(tRunState& run, std::string_view direction, std::string_view name,
                        const std::string& sourcePath, const std::string& destPath,
                        const std::string& destFolder, const std::string& destBase,
                        int64_t sourceSize, int64_t destSize, int32_t& versions, int32_t& folders) {
    if (!run.Buffer) run.AllocateBuffer(std::max(RunSettings().BufSizeKB, 1) * 1024);
    tExecResult code = CopyFile(run, name, sourcePath, destPath, destFolder, destBase, sourceSize,
                                destSize, versions, folders);
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
                          int32_t& folders) {
    if (tCopyingStatus* window = profile.CopyingWindow) {
        window->lbCopying = "Deleting " + path;
        window->lbFromDir.clear();
        window->lbToDir.clear();
    }
    tExecResult code = tExecResult::Done;
    if (withVersionsAndLog && profile.MultipleVersions) {
        // The user was not asked because an old version would be kept: without one the file
        // stays.
        if (!KeepVersion(profile, path, base, versions, folders)) code = tExecResult::Declined;
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
    if (withVersionsAndLog) LogOperation(profile, "DELETE " + path, code);
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
                        int32_t& folders) {
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
        if (DeleteOneFile(profile, destPath, destBase, true, deleted, versions, folders) !=
            tExecResult::Done) {
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
