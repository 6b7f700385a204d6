#include "scheduler/FolderWatcher.h"

#include "engine/Scanner.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <sys/inotify.h>
#include <sys/stat.h>
#include <sys/vfs.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr uint32_t kFolderEvents = IN_CREATE | IN_DELETE | IN_MODIFY | IN_ATTRIB | IN_CLOSE_WRITE |
                                   IN_MOVED_FROM | IN_MOVED_TO | IN_DELETE_SELF | IN_MOVE_SELF |
                                   IN_ONLYDIR | IN_DONT_FOLLOW | IN_EXCL_UNLINK;

bool ParseLong(std::string_view text, long& value) {
    while (!text.empty() && (text.back() == '\n' || text.back() == ' '))
        text.remove_suffix(1);
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    return error == std::errc() && end == text.data() + text.size() && !text.empty();
}

std::string Join(const std::string& folder, std::string_view name) {
    std::string path = folder;
    if (path.empty() || path.back() != '/') path += '/';
    path += name;
    return path;
}

bool Below(const std::string& path, const std::string& folder) {
    return path == folder ||
           (path.size() > folder.size() && path.compare(0, folder.size(), folder) == 0 &&
            path[folder.size()] == '/');
}

std::string WithoutTrailingSlash(std::string path) {
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    return path;
}

// The folders of the tree at root that the rules let a scan into, root first; stops early
// once more than most were found.
void CollectFolders(const std::string& root, bool subfolders,
                    const std::function<bool(std::string_view)>& enters,
                    std::vector<std::string>& folders, size_t most) {
    folders.push_back(root);
    if (!subfolders) return;
    for (size_t next = folders.size() - 1; next < folders.size() && folders.size() <= most;
         ++next) {
        DIR* dir = opendir(folders[next].c_str());
        if (!dir) continue; // unreadable: the run reports it
        while (const dirent* item = readdir(dir)) {
            const std::string_view name = item->d_name;
            if (name == "." || name == "..") continue;
            bool folder = item->d_type == DT_DIR;
            std::string path = Join(folders[next], name);
            if (item->d_type == DT_UNKNOWN) {
                struct stat st;
                folder = lstat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
            }
            if (folder && enters(name)) folders.push_back(std::move(path));
        }
        closedir(dir);
    }
}

} // namespace

long WatchLimit() {
    long value = 0;
    if (const char* env = std::getenv("CORVANE_WATCH_LIMIT"); env && ParseLong(env, value))
        return value;
    std::ifstream in("/proc/sys/fs/inotify/max_user_watches");
    std::string text;
    if (std::getline(in, text) && ParseLong(text, value)) return value;
    return 8192;
}

bool FileSystemWithoutEvents(const std::string& path) {
    struct statfs fs;
    if (statfs(path.c_str(), &fs) != 0) return false;
    // Changes made on another machine (or behind a FUSE daemon) reach no local watch.
    switch (static_cast<unsigned long>(fs.f_type)) {
    case 0x6969:     // NFS
    case 0x517B:     // SMB
    case 0xFF534D42: // CIFS
    case 0xFE534D42: // SMB2
    case 0x65735546: // FUSE
    case 0x73757245: // Coda
    case 0x5346414F: // AFS
    case 0x01021997: // 9P
    case 0x00C36400: // Ceph
    case 0x564C:     // NCP
    case 0x01161970: // GFS2
    case 0x7461636F: // OCFS2
        return true;
    default:
        return false;
    }
}

bool tFolderWatcher::tProfileRules::Sees(std::string_view name, bool folder) const {
    if (name.empty()) return false;
    // Copy temporaries are the run's own and left out by every scan.
    if (name.substr(0, CopyTempPrefix.size()) == CopyTempPrefix) return false;
    if (name.front() == '.' && !(folder ? HiddenFolders : HiddenFiles)) return false;
    if (!folder && IsVersionFileName(name)) return false;
    try {
        return !Masks || Masks->Passes(name, folder);
    } catch (const EMaskException&) {
        return true; // the run reports the mask
    }
}

tFolderWatcher::tFolderWatcher(long limit)
    : fd_(inotify_init1(IN_NONBLOCK | IN_CLOEXEC)), limit_(limit), buffer_(64 * 1024) {}

tFolderWatcher::~tFolderWatcher() {
    if (fd_ >= 0) close(fd_);
}

tWatchMode tFolderWatcher::Watch(int id, const tProfile& profile, std::string& problem) {
    Unwatch(id);
    problem.clear();
    tProfileRules rules;
    rules.Left = WithoutTrailingSlash(profile.LeftPath);
    rules.Right = WithoutTrailingSlash(profile.RightPath);
    rules.Subfolders = profile.Subfolders;
    rules.HiddenFiles = profile.HiddenFiles;
    rules.HiddenFolders = profile.HiddenFolders;
    rules.Masks = std::make_unique<tMaskFilter>(profile);
    if (fd_ < 0) {
        problem =
            std::string("change notification is not available (") + std::strerror(errno) + ")";
        return tWatchMode::Unreachable;
    }
    for (const std::string* base : {&rules.Left, &rules.Right}) {
        struct stat st;
        if (stat(base->c_str(), &st) != 0 || !S_ISDIR(st.st_mode)) {
            problem = "cannot watch " + *base + " (" + std::strerror(errno ? errno : ENOTDIR) + ")";
            return tWatchMode::Unreachable;
        }
        if (FileSystemWithoutEvents(*base)) {
            problem = *base + " is on a file system that reports no changes";
            return tWatchMode::NoEvents;
        }
    }
    const tProfileRules& r = rules_.emplace(id, std::move(rules)).first->second;
    auto enters = [&r](std::string_view name) { return r.Sees(name, true); };
    const size_t room = limit_ > static_cast<long>(watches_.size())
                            ? static_cast<size_t>(limit_) - watches_.size()
                            : 0;
    std::vector<std::string> folders;
    CollectFolders(r.Left, r.Subfolders, enters, folders, room);
    if (r.Right != r.Left) CollectFolders(r.Right, r.Subfolders, enters, folders, room);
    bool full = folders.size() > room;
    for (size_t i = 0; i < folders.size() && !full; ++i) {
        const bool base = folders[i] == r.Left || folders[i] == r.Right;
        if (!AddOne(id, folders[i], base)) {
            if (errno == ENOSPC) {
                full = true;
            } else if (base) {
                problem = "cannot watch " + folders[i] + " (" + std::strerror(errno) + ")";
                Unwatch(id);
                return tWatchMode::Unreachable;
            }
        }
    }
    if (full) {
        problem = "its folders are more than the watch limit allows "
                  "(/proc/sys/fs/inotify/max_user_watches: " +
                  std::to_string(limit_) + ")";
        Unwatch(id);
        return tWatchMode::TooManyWatches;
    }
    return tWatchMode::Events;
}

bool tFolderWatcher::AddOne(int id, const std::string& path, bool base) {
    if (static_cast<long>(watches_.size()) >= limit_) {
        errno = ENOSPC;
        return false;
    }
    const int wd = inotify_add_watch(fd_, path.c_str(), kFolderEvents);
    if (wd < 0) return false;
    std::vector<tOwner>& owners = watches_[wd];
    // The same folder met again (moved, or a rewatch) keeps one owner entry per profile.
    for (tOwner& o : owners)
        if (o.Id == id) {
            o.Path = path;
            o.Base = o.Base || base;
            return true;
        }
    owners.push_back({id, path, base});
    return true;
}

bool tFolderWatcher::AddTree(int id, const std::string& path, bool base) {
    const auto found = rules_.find(id);
    if (found == rules_.end()) return true;
    const tProfileRules& r = found->second;
    std::vector<std::string> folders;
    const size_t room = limit_ > static_cast<long>(watches_.size())
                            ? static_cast<size_t>(limit_) - watches_.size()
                            : 0;
    CollectFolders(
        path, r.Subfolders, [&r](std::string_view n) { return r.Sees(n, true); }, folders, room);
    if (folders.size() > room) return false;
    for (const std::string& folder : folders)
        if (!AddOne(id, folder, base && folder == path) && errno == ENOSPC) return false;
    return true;
}

void tFolderWatcher::DropOwner(int wd, int id) {
    const auto it = watches_.find(wd);
    if (it == watches_.end()) return;
    auto& owners = it->second;
    owners.erase(
        std::remove_if(owners.begin(), owners.end(), [id](const tOwner& o) { return o.Id == id; }),
        owners.end());
    if (owners.empty()) {
        inotify_rm_watch(fd_, wd);
        watches_.erase(it);
    }
}

void tFolderWatcher::DropBelow(int id, const std::string& path) {
    std::vector<int> gone;
    for (const auto& [wd, owners] : watches_)
        for (const tOwner& o : owners)
            if (o.Id == id && Below(o.Path, path)) gone.push_back(wd);
    for (int wd : gone)
        DropOwner(wd, id);
}

void tFolderWatcher::Unwatch(int id) {
    std::vector<int> mine;
    for (const auto& [wd, owners] : watches_)
        for (const tOwner& o : owners)
            if (o.Id == id) mine.push_back(wd);
    for (int wd : mine)
        DropOwner(wd, id);
    rules_.erase(id);
}

bool tFolderWatcher::NeedsRewatch(int id) const {
    const auto it = rules_.find(id);
    return it != rules_.end() && it->second.Incomplete;
}

std::vector<int> tFolderWatcher::ReadEvents() {
    std::vector<int> changed;
    auto mark = [&changed](int id) {
        if (std::find(changed.begin(), changed.end(), id) == changed.end()) changed.push_back(id);
    };
    auto incomplete = [&](int id) {
        if (auto it = rules_.find(id); it != rules_.end()) it->second.Incomplete = true;
        mark(id);
    };
    if (fd_ < 0) return changed;
    for (;;) {
        const ssize_t got = read(fd_, buffer_.data(), buffer_.size());
        if (got <= 0) break; // EAGAIN: all read
        for (ssize_t at = 0; at < got;) {
            const auto* ev = reinterpret_cast<const inotify_event*>(buffer_.data() + at);
            at += static_cast<ssize_t>(sizeof(inotify_event) + ev->len);
            if (ev->mask & IN_Q_OVERFLOW) {
                // Lost events may have been new folders: every profile watches again.
                for (auto& [id, rules] : rules_)
                    incomplete(id);
                continue;
            }
            const auto found = watches_.find(ev->wd);
            if (found == watches_.end()) continue; // dropped before its events were read
            const std::string_view name = ev->len ? std::string_view(ev->name) : std::string_view();
            const bool folder = ev->mask & IN_ISDIR;
            // Copied: adding a folder below may add owners to this very map entry.
            const std::vector<tOwner> owners = found->second;
            if (ev->mask & IN_IGNORED) {
                // The folder is gone (deleted, unmounted) or was dropped here.
                for (const tOwner& o : owners)
                    if (o.Base) incomplete(o.Id);
                watches_.erase(ev->wd);
                continue;
            }
            if (name.empty()) {
                // The watched folder itself: only its disappearance matters; the change of
                // its times is an event of its parent.
                if (ev->mask & (IN_DELETE_SELF | IN_MOVE_SELF))
                    for (const tOwner& o : owners)
                        if (o.Base) incomplete(o.Id);
                continue;
            }
            for (const tOwner& o : owners) {
                const auto rules = rules_.find(o.Id);
                if (rules == rules_.end() || !rules->second.Sees(name, folder)) continue;
                mark(o.Id);
                if (!folder) continue;
                const std::string path = Join(o.Path, name);
                if (ev->mask & (IN_MOVED_FROM | IN_DELETE)) DropBelow(o.Id, path);
                if ((ev->mask & (IN_CREATE | IN_MOVED_TO)) && rules->second.Subfolders &&
                    !AddTree(o.Id, path, false))
                    incomplete(o.Id);
            }
        }
    }
    return changed;
}

} // namespace corvane
