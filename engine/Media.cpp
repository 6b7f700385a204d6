#include "engine/Media.h"

#include "engine/Scanner.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <sys/random.h>
#include <sys/sysmacros.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr int64_t kSecond = 1000000000;

int RealOpenUnnamed(const char* folder, int flags, mode_t mode) {
    return open(folder, flags | O_TMPFILE, mode);
}
int RealRenameNoReplace(const char* from, const char* to) {
    return renameat2(AT_FDCWD, from, AT_FDCWD, to, RENAME_NOREPLACE);
}
int RealLink(const char* from, const char* to) {
    return link(from, to);
}
int RealSetXattr(int fd, const char* name, const void* value, size_t size) {
    return fsetxattr(fd, name, value, size, 0);
}
int RealChmod(int fd, mode_t mode) {
    return fchmod(fd, mode);
}

// The type and the file system's own options of the mount of device, from the mount table
// ("fuse.sshfs", "vfat" ...); empty when it is not listed.
void MountOf(uint64_t device, std::string& type, std::string& options, std::string& source) {
    std::ifstream in("/proc/self/mountinfo");
    char wanted[32];
    std::snprintf(wanted, sizeof wanted, "%u:%u", major(device), minor(device));
    std::string line;
    while (std::getline(in, line)) {
        std::istringstream fields(line);
        std::string id, parent, numbers;
        fields >> id >> parent >> numbers;
        if (numbers != wanted) continue;
        const std::size_t dash = line.find(" - ");
        if (dash == std::string::npos) continue;
        std::istringstream rest(line.substr(dash + 3));
        rest >> type >> source >> options;
        return;
    }
}

// Whether the disk holding device spins (the kernel's queue/rotational of the disk, or of the
// disk a partition is on). A file system without a block device of its own (btrfs, FUSE
// drivers) is looked up through the device its mount names; shares and memory do not spin.
bool OnRotatingDisk(uint64_t device, const std::string& source) {
    dev_t disk = static_cast<dev_t>(device);
    if (major(disk) == 0) {
        struct stat st;
        if (source.rfind("/dev/", 0) != 0 || stat(source.c_str(), &st) != 0 ||
            !S_ISBLK(st.st_mode))
            return false;
        disk = st.st_rdev;
    }
    for (const char* queue : {"queue", "../queue"}) {
        char path[96];
        std::snprintf(path, sizeof path, "/sys/dev/block/%u:%u/%s/rotational", major(disk),
                      minor(disk), queue);
        std::ifstream in(path);
        int rotational = 0;
        if (in >> rotational) return rotational != 0;
    }
    return false;
}

bool OneOf(std::string_view type, std::initializer_list<std::string_view> names) {
    return std::find(names.begin(), names.end(), type) != names.end();
}

// The FAT family, through whichever driver mounted it.
void SetFatFamily(tMedium& m, int64_t step) {
    m.TimeStepNs = step;
    m.HoldsModes = m.HoldsOwners = m.HoldsLinks = m.HoldsLinkTimes = false;
    m.CaseInsensitive = m.WindowsNames = true;
    m.HardLinks = m.UnnamedFiles = m.ExtendedAttributes = false;
}

std::string ProbeName(const std::string& folder) {
    uint64_t random = 0;
    if (getrandom(&random, sizeof random, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof random))
        random = static_cast<uint64_t>(getpid()) * 0x9E3779B97F4A7C15ull ^
                 static_cast<uint64_t>(time(nullptr));
    char digits[CopyTempRandomLength + 1];
    std::snprintf(digits, sizeof digits, "%016llx", static_cast<unsigned long long>(random));
    std::string prefix = folder;
    if (!prefix.empty() && prefix.back() != '/') prefix += '/';
    return prefix + std::string(CopyTempPrefix) + digits;
}

// Tries a temporary file in folder: which times, permissions, case and links it keeps.
// Leaves what the type told where the folder takes no file.
void Probe(tMedium& m, const std::string& folder) {
    const std::string path = ProbeName(folder);
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
    if (fd < 0) return;
    m.Probed = true;
    struct stat st;
    // An odd second with nanoseconds: FAT loses the odd second, SFTP the fraction, exFAT all
    // below 10 ms.
    const timespec set = {1500000001, 123456789};
    const timespec times[2] = {set, set};
    if (futimens(fd, times) == 0 && fstat(fd, &st) == 0) {
        const int64_t want = set.tv_sec * kSecond + set.tv_nsec;
        const int64_t got = st.st_mtim.tv_sec * kSecond + st.st_mtim.tv_nsec;
        const int64_t diff = want > got ? want - got : got - want;
        m.TimeStepNs = 2 * kSecond;
        for (int64_t step : {int64_t(1), int64_t(100), int64_t(1000), int64_t(1000000),
                             int64_t(10000000), kSecond, 2 * kSecond}) {
            if (diff < step) {
                m.TimeStepNs = step;
                break;
            }
        }
    }
    if (fchmod(fd, 0640) == 0 && fstat(fd, &st) == 0) m.HoldsModes = (st.st_mode & 0777) == 0640;
    std::string upper = path;
    const std::size_t nameStart = path.rfind('/') + 1;
    std::transform(upper.begin() + static_cast<std::ptrdiff_t>(nameStart), upper.end(),
                   upper.begin() + static_cast<std::ptrdiff_t>(nameStart),
                   [](char c) { return c >= 'a' && c <= 'z' ? static_cast<char>(c - 32) : c; });
    struct stat same;
    m.CaseInsensitive =
        lstat(upper.c_str(), &same) == 0 && fstat(fd, &st) == 0 && same.st_size == st.st_size;
    close(fd);
    // Some drivers give a renamed file the time of the rename.
    const std::string renamed = ProbeName(folder);
    if (lstat(path.c_str(), &st) == 0 && rename(path.c_str(), renamed.c_str()) == 0) {
        if (lstat(renamed.c_str(), &same) == 0 && same.st_mtim.tv_sec != st.st_mtim.tv_sec)
            m.RenameKeepsTimes = false;
        unlink(renamed.c_str());
    }
    unlink(path.c_str());
    if (symlink("target", path.c_str()) == 0) {
        m.HoldsLinkTimes = utimensat(AT_FDCWD, path.c_str(), times, AT_SYMLINK_NOFOLLOW) == 0 &&
                           lstat(path.c_str(), &st) == 0 && st.st_mtim.tv_sec == set.tv_sec;
        unlink(path.c_str());
    } else {
        m.HoldsLinks = m.HoldsLinkTimes = false;
    }
    if (m.CaseInsensitive && !m.HoldsModes) SetFatFamily(m, m.TimeStepNs);
}

} // namespace

timespec tMedium::Hold(timespec t) const {
    if (TimeStepNs <= 1) return t;
    if (TimeStepNs < kSecond) {
        t.tv_nsec -= t.tv_nsec % TimeStepNs;
        return t;
    }
    const int64_t step = TimeStepNs / kSecond;
    int64_t sec = t.tv_sec;
    int64_t rest = sec % step;
    if (rest < 0) rest += step;
    t.tv_sec = static_cast<time_t>(sec - rest);
    t.tv_nsec = 0;
    return t;
}

std::string tMedium::Description() const {
    std::string text;
    auto add = [&](std::string_view part) {
        if (!text.empty()) text += ", ";
        text += part;
    };
    if (TimeStepNs >= kSecond)
        add("times to " + std::to_string(TimeStepNs / kSecond) + " s");
    else if (TimeStepNs >= 1000000)
        add("times to " + std::to_string(TimeStepNs / 1000000) + " ms");
    else if (TimeStepNs > 1)
        add("times to " + std::to_string(TimeStepNs) + " ns");
    if (!HoldsModes) add("no permissions or owners");
    if (CaseInsensitive) add("names not case-sensitive");
    if (WindowsNames) add("no : * ? \" < > | \\ in names, no trailing dots or blanks");
    if (!HoldsLinks)
        add("no symbolic links");
    else if (!HoldsLinkTimes)
        add("no times of symbolic links");
    if (!RenameKeepsTimes) add("renames change times");
    if (!HardLinks) add("no hard links");
    if (!ExtendedAttributes) add("no extended attributes or ACLs");
    return text.empty() ? "keeps everything" : text;
}

std::string NameRefusal(const tMedium& medium, std::string_view name) {
    if (!medium.WindowsNames || name.empty()) return {};
    for (char c : name) {
        if (std::strchr(":*?\"<>|\\", c) != nullptr || (static_cast<unsigned char>(c) < 0x20))
            return "name not allowed on this medium";
    }
    if (name.back() == '.' || name.back() == ' ')
        return "name ends in a dot or blank, not kept on this medium";
    return {};
}

void LearnMedium(tMedium& m, const std::string& folder) {
    std::string type, options, source;
    MountOf(m.Device, type, options, source);
    m.TypeName = type.empty() ? "unknown" : type;
    m.Rotational = OnRotatingDisk(m.Device, source);
    m.NetworkShare = OneOf(type, {"fuse.sshfs", "nfs", "nfs4", "cifs", "smb3", "smbfs"});
    if (OneOf(type, {"vfat", "msdos"})) {
        SetFatFamily(m, 2 * kSecond);
        return;
    }
    if (type == "fuse.fusefat") SetFatFamily(m, 2 * kSecond);
    if (OneOf(type, {"exfat"})) {
        SetFatFamily(m, 10000000);
        return;
    }
    if (OneOf(type, {"ext2", "ext3", "ext4", "xfs", "btrfs", "tmpfs", "f2fs", "zfs", "overlay",
                     "bcachefs", "jfs", "reiserfs", "ramfs"}))
        return;
    if (type == "fuse.sshfs") m.TimeStepNs = kSecond;
    if (OneOf(type, {"cifs", "smb3"})) m.CaseInsensitive = m.WindowsNames = true;
    if (options.find("windows_names") != std::string::npos) m.WindowsNames = true;
    // FUSE drivers (FAT, exFAT, NTFS, shares, cloud storage) and network file systems: the
    // type does not say what they keep.
    Probe(m, folder);
    if (options.find("windows_names") != std::string::npos) m.WindowsNames = true;
}

tMediaCache::tMediaCache() {
    std::ifstream in("/proc/self/status");
    std::string line;
    while (std::getline(in, line)) {
        if (line.rfind("Umask:", 0) == 0) {
            umask_ = static_cast<mode_t>(std::strtoul(line.c_str() + 6, nullptr, 8));
            return;
        }
    }
    umask_ = umask(022);
    umask(umask_);
}

tMedium* tMediaCache::For(const std::string& folder) {
    if (medium_ && folder == folder_) return medium_;
    struct stat st;
    if (stat(folder.empty() ? "." : folder.c_str(), &st) != 0) return nullptr;
    folder_ = folder;
    folderSetsGroup_ = (st.st_mode & S_ISGID) != 0;
    for (const auto& m : media_) {
        if (m->Device == st.st_dev) return medium_ = m.get();
    }
    auto medium = std::make_unique<tMedium>();
    medium->Device = st.st_dev;
    LearnMedium(*medium, folder);
    media_.push_back(std::move(medium));
    return medium_ = media_.back().get();
}

tSystemCalls RealSystemCalls() {
    return {RealOpenUnnamed, RealRenameNoReplace, RealLink, RealSetXattr, RealChmod};
}

tSystemCalls& SystemCalls() {
    static tSystemCalls calls = RealSystemCalls();
    return calls;
}

} // namespace corvane
