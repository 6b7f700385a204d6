// Change notification for the folders of watched profiles: one inotify descriptor for all of
// them, read without blocking whenever the caller's event loop finds it readable (a socket
// notifier in the window, poll() without one). Every folder of both trees is watched, as far
// as the profile's hidden-folder rule and masks let the scanner into it; folders created
// later are added as their events arrive.
#pragma once

#include "engine/Masks.h"

#include <memory>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace corvane {

class tProfile;

// How the changes of one profile's trees are noticed.
enum class tWatchMode {
    Events,         // inotify watches on every folder
    TooManyWatches, // the folders would exceed the user's watch limit: rescan every minute
    NoEvents,       // a base folder lies on a file system that sends no events: rescan
    Unreachable,    // a base folder cannot be watched now (missing, unreadable): rescan
};

// The user's inotify watch limit: the environment variable CORVANE_WATCH_LIMIT when it holds
// a number (lets a test lower it without privileges), else
// /proc/sys/fs/inotify/max_user_watches; 8192 when neither can be read.
long WatchLimit();

// Whether the file system holding path sends no inotify events for changes made elsewhere
// (network shares, FUSE): judged by its statfs type.
bool FileSystemWithoutEvents(const std::string& path);

class tFolderWatcher {
public:
    // limit: the most watches this process may hold (see WatchLimit).
    explicit tFolderWatcher(long limit = WatchLimit());
    ~tFolderWatcher();
    tFolderWatcher(const tFolderWatcher&) = delete;
    tFolderWatcher& operator=(const tFolderWatcher&) = delete;

    // The descriptor to poll for reading; -1 when inotify could not be set up (every profile
    // is then Unreachable).
    int Fd() const { return fd_; }

    // Watches the folders of both trees of profile (paths, Subfolders, hidden rules, masks)
    // under id, replacing what id watched before. Walks both trees once. Returns how the
    // profile's changes will be noticed; for any mode but Events nothing stays watched for
    // id and problem says why (one line for the user).
    tWatchMode Watch(int id, const tProfile& profile, std::string& problem);
    // Stops watching for id.
    void Unwatch(int id);

    // Reads every pending event without blocking and returns the ids whose trees changed in
    // a way their run would see (no duplicates). Folders created or moved in are watched
    // from now on; ids that lost a base folder's watch, or whose events overflowed the
    // queue, are changed and NeedsRewatch() tells so.
    std::vector<int> ReadEvents();

    // The watches of id are no longer complete (a base folder went away, the event queue
    // overflowed, the watch limit was reached by a new folder): Watch it again.
    bool NeedsRewatch(int id) const;

    size_t WatchCount() const { return watches_.size(); }

private:
    struct tOwner {
        int Id;
        std::string Path; // the folder's path in that profile's tree
        bool Base;        // a base folder (the only ones watched without Subfolders)
    };
    struct tProfileRules {
        std::string Left, Right;
        bool Subfolders = true, HiddenFiles = false, HiddenFolders = false;
        std::unique_ptr<tMaskFilter> Masks;
        bool Incomplete = false;
        // Whether the run would see an item of this name (hidden rules, masks; old versions
        // never count).
        bool Sees(std::string_view name, bool folder) const;
    };

    // Adds the folder at path and, with Subfolders, every folder below it. false when the
    // watch limit was reached (the watches added stay).
    bool AddTree(int id, const std::string& path, bool base);
    bool AddOne(int id, const std::string& path, bool base);
    void DropOwner(int wd, int id);
    // The watches of id at path and below it (a folder moved away or deleted).
    void DropBelow(int id, const std::string& path);

    int fd_ = -1;
    long limit_;
    std::unordered_map<int, std::vector<tOwner>> watches_; // by watch descriptor
    std::unordered_map<int, tProfileRules> rules_;         // by id
    std::vector<char> buffer_;
};

} // namespace corvane
