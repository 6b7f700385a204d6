#include "engine/Trash.h"

#include "engine/FileAccess.h"
#include "engine/Scanner.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view kInfoSuffix = ".trashinfo";
// Names tried for one file before giving up: equal names get ".2", ".3", ...
constexpr int kMaxNumber = 100000;

std::string FolderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? std::string("/") : path.substr(0, slash);
}

std::string NameOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string Join(const std::string& folder, std::string_view name) {
    return folder == "/" ? "/" + std::string(name) : folder + "/" + std::string(name);
}

std::string RealPath(const std::string& path) {
    char* resolved = realpath(path.c_str(), nullptr);
    if (!resolved) return {};
    std::string result(resolved);
    std::free(resolved);
    return result;
}

// A folder of ours that nobody else can have prepared: a real folder (no link) owned by us.
bool OwnFolder(const std::string& path) {
    struct stat st;
    return lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && st.st_uid == geteuid();
}

// Makes path and its missing parents, each readable by the user alone.
bool MakeFolders(const std::string& path) {
    struct stat st;
    if (stat(path.c_str(), &st) == 0) return S_ISDIR(st.st_mode);
    const std::string parent = FolderOf(path);
    if (parent != path && !MakeFolders(parent)) return false;
    return mkdir(path.c_str(), 0700) == 0 || errno == EEXIST;
}

// files/ and info/ inside an own trash folder.
bool ReadyTrashFolder(const std::string& folder) {
    if (!OwnFolder(folder)) return false;
    for (const char* sub : {"files", "info"}) {
        const std::string path = Join(folder, sub);
        if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) return false;
        if (!OwnFolder(path)) return false;
    }
    return true;
}

// The deepest existing folder on the way to path, for the file system path will be on.
bool DeviceOfNearest(const std::string& path, dev_t& device) {
    std::string at = path;
    for (;;) {
        struct stat st;
        if (stat(at.c_str(), &st) == 0) {
            device = st.st_dev;
            return true;
        }
        const std::string parent = FolderOf(at);
        if (parent == at) return false;
        at = parent;
    }
}

// A name of at most NAME_MAX bytes together with the info suffix, cut at a character
// boundary of UTF-8 text.
std::string Fitting(std::string name, std::size_t reserve) {
    const std::size_t room = NAME_MAX - kInfoSuffix.size() - reserve;
    if (name.size() <= room) return name;
    std::size_t cut = room;
    while (cut > 0 && (static_cast<unsigned char>(name[cut]) & 0xC0) == 0x80)
        --cut;
    name.resize(cut);
    return name;
}

bool NoTrashError(int error) {
    return error == EROFS || error == EACCES || error == EPERM || error == ENOENT ||
           error == ENOTDIR;
}

} // namespace

std::string NoTrashLogLine(const std::string& top) {
    return "NO TRASH on " + top + ": files deleted there are gone for good";
}

std::string NoTrashResultLine(const std::string& top) {
    return top + " (no trash: files deleted there are gone for good)";
}

std::string HomeTrashFolder() {
    const char* data = std::getenv("XDG_DATA_HOME");
    if (data && data[0] == '/') return NormalizeSlashes(std::string(data) + "/Trash");
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/') return NormalizeSlashes(std::string(home) + "/.local/share/Trash");
    return {};
}

std::string FileSystemTop(const std::string& path) {
    std::string at = RealPath(path);
    struct stat st;
    if (at.empty() || stat(at.c_str(), &st) != 0) return {};
    const dev_t device = st.st_dev;
    while (at != "/") {
        const std::string parent = FolderOf(at);
        struct stat up;
        if (stat(parent.c_str(), &up) != 0 || up.st_dev != device) break;
        at = parent;
    }
    return at;
}

std::string PercentEncodePath(std::string_view path) {
    static constexpr char kHex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(path.size());
    for (unsigned char c : path) {
        const bool plain = (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') ||
                           (c >= '0' && c <= '9') || c == '-' || c == '.' || c == '_' ||
                           c == '~' || c == '/';
        if (plain) {
            out.push_back(static_cast<char>(c));
        } else {
            out.push_back('%');
            out.push_back(kHex[c >> 4]);
            out.push_back(kHex[c & 15]);
        }
    }
    return out;
}

std::string TrashInfoText(std::string_view originalPath, std::time_t deletedAt) {
    std::tm local{};
    localtime_r(&deletedAt, &local);
    char date[32];
    std::strftime(date, sizeof date, "%Y-%m-%dT%H:%M:%S", &local);
    return "[Trash Info]\nPath=" + PercentEncodePath(originalPath) + "\nDeletionDate=" + date +
           "\n";
}

bool IsFileSystemTop(const std::string& folder) {
    const std::string at = folder.empty() ? std::string(".") : folder;
    struct stat self, parent;
    if (stat(at.c_str(), &self) != 0 || stat((at + "/..").c_str(), &parent) != 0) return false;
    return self.st_dev != parent.st_dev || self.st_ino == parent.st_ino;
}

bool IsTrashFolderName(std::string_view name) {
    if (name == ".Trash") return true;
    constexpr std::string_view prefix = ".Trash-";
    if (name.size() <= prefix.size() || name.substr(0, prefix.size()) != prefix) return false;
    for (char c : name.substr(prefix.size()))
        if (c < '0' || c > '9') return false;
    return true;
}

tTrash::tPlace tTrash::FindPlace(const std::string& folder, dev_t device) {
    tPlace place;
    place.Top = FileSystemTop(folder);
    if (!homeKnown_) {
        homeKnown_ = true;
        homeTrash_ = HomeTrashFolder();
        if (homeTrash_.empty() || !DeviceOfNearest(homeTrash_, homeDevice_)) homeTrash_.clear();
    }
    if (!homeTrash_.empty() && device == homeDevice_) {
        // Files on the home's file system go to the home trash, and only there.
        if (MakeFolders(homeTrash_) && ReadyTrashFolder(homeTrash_)) {
            // As the paths of the files are compared with it: without links.
            place.Folder = RealPath(homeTrash_);
            place.Home = true;
        }
        return place;
    }
    if (place.Top.empty()) return place;
    const std::string uid = std::to_string(geteuid());
    // A shared .Trash prepared by the administrator counts only when it is a sticky folder
    // and no link: anyone could have made anything else.
    const std::string shared = Join(place.Top, ".Trash");
    struct stat st;
    if (lstat(shared.c_str(), &st) == 0 && S_ISDIR(st.st_mode) && (st.st_mode & S_ISVTX) != 0) {
        const std::string own = Join(shared, uid);
        if ((mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && ReadyTrashFolder(own)) {
            place.Folder = own;
            return place;
        }
    }
    const std::string own = Join(place.Top, ".Trash-" + uid);
    if ((mkdir(own.c_str(), 0700) == 0 || errno == EEXIST) && ReadyTrashFolder(own))
        place.Folder = own;
    return place;
}

tTrash::tPlace* tTrash::PlaceFor(const std::string& folder) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) return nullptr;
    auto it = places_.find(st.st_dev);
    if (it == places_.end()) {
        it = places_.emplace(st.st_dev, FindPlace(folder, st.st_dev)).first;
        const tPlace& place = it->second;
        if (place.Folder.empty()) NoteNoTrash(place.Top.empty() ? folder : place.Top);
    }
    return &it->second;
}

void tTrash::NoteNoTrash(const std::string& top) {
    for (const std::string& noted : noTrash_)
        if (noted == top) return;
    noTrash_.push_back(top);
}

tTrashResult tTrash::Put(const std::string& path, bool asLink, tTrashedFile& where) {
    const std::string folder = RealPath(FolderOf(path));
    if (folder.empty()) return tTrashResult::Failed;
    tPlace* found = PlaceFor(folder);
    if (!found) return tTrashResult::Failed;
    tPlace& place = *found;
    if (place.Folder.empty()) return tTrashResult::NoTrash;
    // What already lies in the trash is not trashed again.
    if (folder == place.Folder ||
        folder.compare(0, place.Folder.size() + 1, place.Folder + "/") == 0)
        return tTrashResult::NoTrash;

    const std::string name = NameOf(path);
    const std::string original = Join(folder, name);
    std::string recorded = original;
    if (!place.Home && place.Top != "/" &&
        original.compare(0, place.Top.size() + 1, place.Top + "/") == 0)
        recorded = original.substr(place.Top.size() + 1);
    else if (!place.Home && place.Top == "/")
        recorded = original.substr(1);
    const std::string info = TrashInfoText(recorded, std::time(nullptr));

    auto noTrash = [&] {
        place.Folder.clear();
        NoteNoTrash(place.Top);
        return tTrashResult::NoTrash;
    };

    int& next = nextNumber_[name];
    if (next < 1) next = 1;
    for (int attempt = 0; attempt < kMaxNumber; ++attempt, ++next) {
        const std::string suffix = next == 1 ? std::string() : "." + std::to_string(next);
        const std::string trashName = Fitting(name, suffix.size()) + suffix;
        where.InfoPath = Join(Join(place.Folder, "info"), trashName + std::string(kInfoSuffix));
        where.FilePath = Join(Join(place.Folder, "files"), trashName);
        where.Linked = false;

        // The info file comes first and claims the name: two programs trashing at once never
        // pick the same one.
        const int fd =
            open(where.InfoPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
        if (fd < 0) {
            if (errno == EEXIST) continue;
            if (NoTrashError(errno)) return noTrash();
            return tTrashResult::Failed;
        }
        const bool written =
            write(fd, info.data(), info.size()) == static_cast<ssize_t>(info.size());
        const int writeError = errno;
        if (close(fd) != 0 || !written) {
            unlink(where.InfoPath.c_str());
            errno = written ? EIO : writeError;
            return tTrashResult::Failed;
        }
        auto dropInfo = [&](int error) {
            unlink(where.InfoPath.c_str());
            errno = error;
        };

        if (asLink) {
            if (link(path.c_str(), where.FilePath.c_str()) == 0) {
                where.Linked = true;
                ++next;
                return tTrashResult::Trashed;
            }
            const int error = errno;
            if (error == EEXIST) {
                dropInfo(error);
                continue;
            }
            if (error == EXDEV) {
                dropInfo(error);
                NoteNoTrash(place.Top);
                return tTrashResult::NoTrash;
            }
            // No second names here (or not for a file of another owner): moved instead.
        }
        tOrvelLinuxFile file;
        file.FileName = path;
        if (file.RenameNoReplace(where.FilePath)) {
            ++next;
            return tTrashResult::Trashed;
        }
        const int error = file.LastError;
        dropInfo(error);
        if (error == EEXIST) continue;
        // Another mount of the same file system: the trash is out of reach without a copy.
        if (error == EXDEV) {
            NoteNoTrash(place.Top);
            return tTrashResult::NoTrash;
        }
        return tTrashResult::Failed;
    }
    errno = EEXIST;
    return tTrashResult::Failed;
}

tTrashResult tTrash::MoveToTrash(const std::string& path, tTrashedFile* where) {
    tTrashedFile place;
    return Put(path, false, where ? *where : place);
}

tTrashResult tTrash::KeepInTrash(const std::string& path, tTrashedFile& where) {
    return Put(path, true, where);
}

bool tTrash::Undo(const std::string& path, const tTrashedFile& where) {
    if (where.Linked) {
        unlink(where.FilePath.c_str());
        unlink(where.InfoPath.c_str());
        return true;
    }
    tOrvelLinuxFile file;
    file.FileName = where.FilePath;
    if (!file.RenameNoReplace(path)) return false; // it stays in the trash, listed there
    unlink(where.InfoPath.c_str());
    return true;
}

std::vector<std::string> tTrash::TakeNewNoTrashFolders() {
    std::vector<std::string> fresh(noTrash_.begin() + static_cast<std::ptrdiff_t>(noTrashTaken_),
                                   noTrash_.end());
    noTrashTaken_ = noTrash_.size();
    return fresh;
}

} // namespace corvane
