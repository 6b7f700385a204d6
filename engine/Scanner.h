// The folder scanner: lists both base folders level by level, pairs the items of equal name
// into plan entries, gives each its first action and sorts the plan into tree order.
#pragma once

#include "profiles/FileList.h"

#include <cstdint>
#include <dirent.h>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <unordered_map>
#include <utility>
#include <vector>

namespace corvane {

class tProfile;
class tMaskFilter;

// The items of one folder, owned, sorted by Name byte-wise once ReadFolderList returns them.
using tItemList = std::vector<TSearchRec>;

// Attributes a listing asks for: everything but the link bit, without 0x10 when subfolders
// are not wanted (then neither folders nor links to folders are delivered).
inline constexpr uint32_t faAnyFile = 0x3F;

// Names the executor gives the files it is still copying: the prefix and exactly
// CopyTempRandomLength lower-case hex digits, nothing else. Only such names are never listed,
// paired or copied; the scanner collects those of the side a run writes to in the profile's
// LeftoverTempFiles. Any other name, also one that merely starts with the prefix, is a user's.
inline constexpr std::string_view CopyTempPrefix = ".crvtmp-";
inline constexpr std::size_t CopyTempRandomLength = 16;
bool IsCopyTempName(std::string_view name);

// The running user's identity and the read-only state of the file systems met so far: what
// the read-only bit of an item depends on besides the item itself. Taken once and shared by
// every listing of a scan, so that a folder costs no identity or file-system calls.
class tListingContext {
public:
    tListingContext();

    // Whether the running user may write an item, judged from its status (links followed).
    bool WritableByMode(const struct stat& st) const;
    // Whether the item `name` of the open folder dirFd (followLink: the link's target) lies
    // on a file system mounted read-only; st is its status. Asked of the file system once
    // per device.
    bool ReadOnlyFs(const struct stat& st, int dirFd, const char* name, bool followLink);

private:
    uid_t uid_ = 0;
    gid_t gid_ = 0;
    std::vector<gid_t> groups_;
    std::vector<std::pair<dev_t, bool>> devices_; // device -> mounted read-only
};

// The open listing of one folder. Kept apart from TSearchRec so that the records the lists
// own stay small. Items are stat-ed relative to the open folder; only one folder handle is
// open at a time, and only between First and Close.
class tFolderListing {
public:
    tFolderListing() = default;
    ~tFolderListing() { Close(); }
    tFolderListing(const tFolderListing&) = delete;
    tFolderListing& operator=(const tFolderListing&) = delete;

    // path is a folder part (up to and including the last "/", "" for the current folder)
    // followed by an fnmatch pattern for the names. Returns 0 when an item was delivered
    // into rec, the errno of the failed open when the folder cannot be opened, or -1 when
    // it holds no matching item.
    int First(std::string_view path, uint32_t attributes, TSearchRec& rec);
    // 0 when an item was delivered, -1 at the end (also after a read error, see Error).
    int Next(TSearchRec& rec);
    void Close();

    // errno of the first read error or failed item stat since First (0 when none). Items
    // that vanished while the folder was read do not count.
    int Error() const { return error_; }

    // Options for the scanner, set before First: do not deliver "." and ".."; refuse to
    // open the folder when its last path component is a symbolic link; the context shared
    // with the other listings of a scan (nullptr: the listing takes its own).
    bool SkipDotEntries = false;
    bool NoFollowFolder = false;
    tListingContext* Context = nullptr;

private:
    bool Fill(const char* name, TSearchRec& rec);

    DIR* dir_ = nullptr;
    std::string pattern_;
    std::unique_ptr<tListingContext> ownContext_;
    tListingContext* context_ = nullptr;
    uint32_t excludeAttr_ = 0;
    bool matchAll_ = false;
    int error_ = 0;
};

// The listing with the classic names; the listing state lives in `listing`.
int ListFirst(std::string_view path, uint32_t attributes, TSearchRec& rec, tFolderListing& listing);
int ListNext(TSearchRec& rec, tFolderListing& listing);
void ListClose(tFolderListing& listing);

// A right-side folder list kept between runs, with the error its reading met.
struct tCachedList {
    std::string Key;
    tItemList Items;
    int Error = 0;
};

// Right-side folder lists of cached profiles, keyed by profile Name + the normalized
// pattern path of the folder. Process-wide; owns its lists. First equal key wins.
class tRightListCache {
public:
    // The list stored under key, or nullptr. Owned by the cache until Clear.
    const tCachedList* Find(std::string_view key) const;
    // Keeps list under key; a key already present keeps its first list.
    void Add(std::string key, tItemList list, int error);
    void Clear();
    bool Empty() const { return lists_.empty(); }
    size_t Count() const { return lists_.size(); }

private:
    std::vector<std::unique_ptr<tCachedList>> lists_;
    std::unordered_map<std::string_view, const tCachedList*> index_; // views into Key
};

tRightListCache& RightListCache();
// Frees every cached list.
void ClearRightListCache();

// One side of one folder as ReadFolderList returns it.
struct tFolderList {
    tItemList Own;                       // the items when read from disk
    const tCachedList* Cached = nullptr; // the cache's list on a cache hit (not owned)
    // errno when the folder exists but could not be read completely; 0 when it was read
    // or does not exist.
    int Error = 0;
    bool Missing = false; // the folder does not exist (an empty list, Error 0)

    bool FromCache() const { return Cached != nullptr; }
    const tItemList& Items() const { return Cached ? Cached->Items : Own; }
};

// Lists one folder of one side: items passing the masks (and, with selectedItemsOnly, the
// base-folder selection), sorted by name byte-wise. On the right side of a cached,
// forced-unattended profile a cached list is returned instead when there is one. Copy-
// temporary items are left out; on a side the profile's directions write to, their full
// paths are added to the profile's LeftoverTempFiles. Throws EMaskException for an invalid mask. Asks nothing.
tFolderList ReadFolderList(tProfile& profile, std::string_view patternPath, bool isRightSide,
                           bool selectedItemsOnly);
class tBaseItemLookup;
// selection: only the items it chooses; nullptr for all.
// context: shared with the other listings of a scan (nullptr: one for this list).
tFolderList ReadFolderList(tProfile& profile, const tMaskFilter& filter,
                           std::string_view patternPath, bool isRightSide,
                           const tBaseItemLookup* selection, bool noFollowFolder,
                           tListingContext* context = nullptr);

// Builds profile.Entries for both base folders (appending to what is there) and sorts them
// into tree order, under the progress window. Returns false only when a base folder could
// not be reached (ScanAborted); may ask whether to create the left or right base folder in
// attended runs. A cancelled scan keeps its partial list and returns true. Throws
// EMaskException for an invalid mask.
bool BuildFileLists(tProfile& profile, bool recurse, bool selectedItemsOnly);

// Scans the folder relPath ("" for the base folders, checking that they are reachable) on
// both sides and, with recurse, everything below it, appending entries. Depth first, with
// an explicit stack: deep trees use neither the call stack nor more than one open folder.
void ScanFolder(tProfile& profile, const std::string& relPath, int level, bool recurse,
                bool selectedItemsOnly, bool movedFilesOnly);

// Whether the hidden-item settings let the item take part.
bool AcceptItem(const tProfile& profile, const TSearchRec& rec);

// State of a base-folder item in a selection text: 0 not chosen, 1 chosen, 2 chosen for
// moved-file detection only.
int BaseItemState(std::string_view baseFolderItems, std::string_view name);
int BaseItemState(const tProfile& profile, std::string_view name);

// The same states for many names: the selection text is read once, so a base folder of
// tens of thousands of chosen items is not searched once per item. Refers to selection,
// which must outlive it.
class tBaseItemLookup {
public:
    explicit tBaseItemLookup(std::string_view selection);
    int State(std::string_view name) const;

private:
    std::string_view selection_;
    std::unordered_map<std::string_view, int> states_; // names without ":"
};

// Whether name has the form the multiple-versions feature gives old versions:
// base + ".$" + digits + "$", optionally followed by an extension.
bool IsVersionFileName(std::string_view name);

// Sorts entries into tree order: per folder the files first, then each subfolder directly
// followed by its contents; names ordered ignoring ASCII case (exact bytes decide ties).
void SortTreeOrder(std::vector<TFileListEntry>& entries);

} // namespace corvane
