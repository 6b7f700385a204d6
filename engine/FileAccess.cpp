#include "engine/FileAccess.h"

#include "engine/Media.h"
#include "profiles/DateTime.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <unistd.h>

namespace corvane {

namespace {

// The record behind an abstract status; a zero-filled one for a foreign record (only the
// Linux records exist, so this is a guard, not a case).
const struct stat& DataOf(const tNxFileStat& stat) {
    static const struct stat zero {};
    const auto* record = dynamic_cast<const tOrvelLinuxStat*>(&stat);
    return record ? record->StatData : zero;
}

} // namespace

// ---------------------------------------------------------------------------------------------
// tOrvelFile

tOrvelFile::~tOrvelFile() {
    if (Handle != 0) Close();
}

bool tOrvelFile::OpenWith(int flags, mode_t mode) {
    if (Handle > 0) Close();
    int fd = open(FileName.c_str(), flags | O_CLOEXEC, mode);
    if (fd == 0) {
        // Descriptor 0 means "not open" here; move the file off it (happens when stdin was
        // closed) instead of leaking it or reporting a failure without a cause.
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        int err = errno;
        close(fd);
        errno = err;
        fd = moved;
    }
    if (fd > 0) {
        Handle = fd;
        return true;
    }
    LastError = errno;
    Handle = 0;
    return false;
}

// Handle 0 means "not open": the descriptor calls must not reach standard input instead.
bool tOrvelFile::CheckOpen() {
    if (Handle > 0) return true;
    LastError = EBADF;
    return false;
}

int64_t tOrvelFile::GetSize() {
    if (!CheckOpen()) return -1;
    off_t end = lseek(Handle, 0, SEEK_END);
    if (end < 0) {
        LastError = errno;
        return -1;
    }
    // Back to the start, not to the previous position: callers read from the beginning.
    if (lseek(Handle, 0, SEEK_SET) < 0) LastError = errno;
    return end;
}

bool tOrvelFile::OpenRead(bool /*denyWrite*/) {
    return OpenWith(O_RDONLY, 0);
}

bool tOrvelFile::CreateFile() {
    return OpenWith(O_RDWR | O_CREAT | O_TRUNC, 0666);
}

bool tOrvelFile::OpenShared() {
    return OpenWith(O_RDWR, 0);
}

bool tOrvelFile::Close() {
    if (Handle <= 0) {
        Handle = 0;
        return true;
    }
    // The descriptor is released even when close reports an error, so it is never retried.
    int rc = close(Handle);
    Handle = 0;
    if (rc != 0 && errno != EINTR) {
        LastError = errno;
        return false;
    }
    return true;
}

bool tOrvelFile::DeleteFile() {
    return unlink(FileName.c_str()) == 0;
}

bool tOrvelFile::Rename(const std::string& newName) {
    if (rename(FileName.c_str(), newName.c_str()) != 0) {
        LastError = errno;
        return false;
    }
    FileName = newName;
    return true;
}

int32_t tOrvelFile::Read(void* buffer, int32_t count) {
    if (!CheckOpen()) return -1;
    if (count < 0) {
        LastError = EINVAL;
        return -1;
    }
    ssize_t n;
    do {
        n = read(Handle, buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    if (n < 0) LastError = errno;
    return static_cast<int32_t>(n);
}

int32_t tOrvelFile::Write(const void* buffer, int32_t count) {
    if (!CheckOpen()) return -1;
    if (count < 0) {
        LastError = EINVAL;
        return -1;
    }
    ssize_t n;
    do {
        n = write(Handle, buffer, static_cast<size_t>(count));
    } while (n < 0 && errno == EINTR);
    if (n < 0) LastError = errno;
    return static_cast<int32_t>(n);
}

bool tOrvelFile::Seek(int64_t position) {
    if (!CheckOpen()) return false;
    off_t reached = lseek(Handle, position, SEEK_SET);
    if (reached < 0 || reached != position) {
        LastError = reached < 0 ? errno : EINVAL;
        return false;
    }
    return true;
}

// ---------------------------------------------------------------------------------------------
// tOrvelLinuxFile

std::unique_ptr<tNxFileStat> tOrvelLinuxFile::WithoutWriteBits(const tNxFileStat& stat) {
    auto copy = std::make_unique<tOrvelLinuxStat>();
    copy->StatData = DataOf(stat);
    copy->StatData.st_mode &= ~static_cast<mode_t>(0222);
    return copy;
}

std::unique_ptr<tNxFileStat> tOrvelLinuxFile::WithOwnerWrite(const tNxFileStat& stat) {
    auto copy = std::make_unique<tOrvelLinuxStat>();
    copy->StatData = DataOf(stat);
    copy->StatData.st_mode |= 0200;
    return copy;
}

bool tOrvelLinuxFile::IsReadOnly() {
    return euidaccess(FileName.c_str(), W_OK) != 0;
}

bool tOrvelLinuxFile::StatIsReadOnly(const tNxFileStat& stat) {
    return (DataOf(stat).st_mode & 0222) == 0;
}

std::unique_ptr<tNxFileStat> tOrvelLinuxFile::GetStat() {
    return GetLinuxStat();
}

std::unique_ptr<tOrvelLinuxStat> tOrvelLinuxFile::GetLinuxStat() {
    auto record = std::make_unique<tOrvelLinuxStat>();
    int rc =
        Handle > 0 ? fstat(Handle, &record->StatData) : stat(FileName.c_str(), &record->StatData);
    if (rc != 0) record->StatData = {};
    return record;
}

bool tOrvelLinuxFile::SetTimes(const tNxFileStat& stat) {
    const struct stat& data = DataOf(stat);
    const timespec times[2] = {data.st_atim, data.st_mtim};
    if (utimensat(AT_FDCWD, FileName.c_str(), times, 0) != 0) {
        LastError = errno;
        return false;
    }
    return true;
}

bool tOrvelLinuxFile::SetTimesFd(const tNxFileStat& stat) {
    if (Handle <= 0) {
        LastError = EBADF;
        return false;
    }
    const struct stat& data = DataOf(stat);
    const timespec times[2] = {data.st_atim, data.st_mtim};
    if (futimens(Handle, times) != 0) {
        LastError = errno;
        return false;
    }
    return true;
}

bool tOrvelLinuxFile::SetAttributes(const tNxFileStat& stat) {
    const struct stat& data = DataOf(stat);
    const mode_t mode = data.st_mode & 07777;
    // Owner first: a change of owner clears the set-user-ID and set-group-ID bits, so the mode
    // must come last to survive. A refused owner change (ordinary users cannot give files
    // away) is not a failure.
    int rc;
    if (Handle > 0) {
        (void)fchown(Handle, data.st_uid, data.st_gid);
        rc = fchmod(Handle, mode);
    } else {
        (void)chown(FileName.c_str(), data.st_uid, data.st_gid);
        rc = chmod(FileName.c_str(), mode);
    }
    LastError = rc == 0 ? 0 : errno;
    return rc == 0;
}

bool tOrvelLinuxFile::CreateExclusive(mode_t mode) {
    return OpenWith(O_RDWR | O_CREAT | O_EXCL, mode);
}

bool tOrvelLinuxFile::CreateUnnamed(const std::string& folder, mode_t mode) {
    if (Handle > 0) Close();
    int fd = SystemCalls().OpenUnnamed(folder.empty() ? "." : folder.c_str(), O_WRONLY | O_CLOEXEC,
                                       mode);
    if (fd == 0) {
        int moved = fcntl(fd, F_DUPFD_CLOEXEC, 1);
        int err = errno;
        close(fd);
        errno = err;
        fd = moved;
    }
    FileName.clear();
    if (fd > 0) {
        Handle = fd;
        return true;
    }
    LastError = errno;
    Handle = 0;
    return false;
}

bool tOrvelLinuxFile::RenameNoReplace(const std::string& newName, tMedium* medium) {
    tMedium once;
    tMedium& m = medium ? *medium : once;
    const char* from = FileName.c_str();
    const char* to = newName.c_str();
    auto named = [&] {
        FileName = newName;
        return true;
    };
    auto failed = [&](int error) {
        LastError = error;
        return false;
    };
    if (m.NoReplaceRename) {
        if (SystemCalls().RenameNoReplace(from, to) == 0) return named();
        if (errno != EINVAL && errno != ENOSYS && errno != EOPNOTSUPP && errno != ENOTSUP)
            return failed(errno);
        m.NoReplaceRename = false;
    }
    // A hard link cannot replace an existing name either.
    if (m.HardLinks) {
        if (SystemCalls().Link(from, to) == 0) {
            if (unlink(from) != 0) {
                const int error = errno;
                unlink(to);
                return failed(error);
            }
            return named();
        }
        if (errno != EPERM && errno != EOPNOTSUPP && errno != ENOTSUP && errno != ENOSYS &&
            errno != EMLINK && errno != EXDEV)
            return failed(errno);
        if (errno != EXDEV) m.HardLinks = false;
    }
    // The last resort where the file system offers neither: the name must still be absent
    // right before a plain rename. (Only a file made in the moment between the two would be
    // replaced.)
    struct stat st;
    if (lstat(to, &st) == 0) return failed(EEXIST);
    if (errno != ENOENT) return failed(errno);
    if (rename(from, to) != 0) return failed(errno);
    return named();
}

// ---------------------------------------------------------------------------------------------
// Helpers

std::string SizeText(int64_t size) {
    const auto bytes = static_cast<uint64_t>(size);
    const char* unit;
    double value;
    if (bytes >= 1073741824ULL) {
        value = static_cast<double>(bytes) / 1073741824.0;
        unit = " GB";
    } else if (bytes >= 1048576ULL) {
        value = static_cast<double>(bytes) / 1048576.0;
        unit = " MB";
    } else {
        value = static_cast<double>(bytes) / 1024.0;
        unit = " kB";
    }
    char text[64];
    std::snprintf(text, sizeof text, "%4.3f%s", value, unit);
    return text;
}

std::string DateText(int64_t time) {
    return DateTimeText(UnixToDateTime(time));
}

std::string DateText(const TSearchRec& rec) {
    return DateText(rec.Time);
}

std::string PadRight(std::string_view text, std::size_t width) {
    std::string out(text.substr(0, width));
    out.resize(width, ' ');
    return out;
}

tPathParts SplitPath(std::string_view path) {
    tPathParts parts;
    const std::size_t slash = path.rfind('/');
    const std::size_t nameStart = slash == std::string_view::npos ? 0 : slash + 1;
    parts.Folder = std::string(path.substr(0, nameStart));
    const std::string_view last = path.substr(nameStart);
    const std::size_t dot = last.rfind('.');
    if (dot == std::string_view::npos) {
        parts.Name = std::string(last);
    } else {
        parts.Name = std::string(last.substr(0, dot));
        parts.Extension = std::string(last.substr(dot));
    }
    return parts;
}

std::string CanonicalPath(const std::string& path) {
    char* resolved = canonicalize_file_name(path.c_str());
    if (resolved == nullptr) return {};
    std::string out(resolved);
    std::free(resolved);
    return out;
}

bool FolderAccessible(const std::string& path) {
    if (path.empty()) return true;
    // Equivalent to trying chdir, without touching the process's current folder: resolving
    // the path needs search permission on every ancestor, and entering it needs search
    // permission on the folder itself, which root does not need.
    int fd = open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (fd < 0) return false;
    close(fd);
    return geteuid() == 0 || faccessat(AT_FDCWD, path.c_str(), X_OK, AT_EACCESS) == 0;
}

bool ForceFolders(const std::string& path, int32_t& created) {
    if (path.empty() || FolderAccessible(path)) return true;
    std::string parent = path.substr(0, path.size() - 1);
    while (!parent.empty() && parent.back() != '/')
        parent.pop_back();
    if (!parent.empty()) parent.pop_back();
    if (!ForceFolders(parent, created)) return false;
    if (mkdir(path.c_str(), 0777) == 0) {
        ++created;
        return true;
    }
    // Someone else made it in the meantime.
    return errno == EEXIST && FolderAccessible(path);
}

} // namespace corvane
