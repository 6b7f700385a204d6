#include "engine/Scanner.h"

#include "engine/FileAccess.h"
#include "engine/Masks.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cerrno>
#include <climits>
#include <deque>
#include <fcntl.h>
#include <fnmatch.h>
#include <new>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace corvane {

namespace {

// Let pending events run this often while one large folder is being read.
constexpr size_t ItemsPerEventCheck = 16384;

bool IsDotOrDotDot(const char* name) {
    return name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0));
}

// Opens a folder for listing. Paths longer than the system accepts in one call are
// resolved piece by piece, so that deep trees stay readable. Returns the descriptor or -1
// with errno set.
int OpenFolder(const std::string& folder, bool noFollow) {
    int flags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
    // A trailing "/" would make the kernel follow a link in the last component.
    std::string path = folder;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (path.empty()) path = ".";
    int fd = open(path.c_str(), flags | (noFollow ? O_NOFOLLOW : 0));
    if (fd >= 0 || errno != ENAMETOOLONG) return fd;

    size_t pos = 0;
    int dirFd = AT_FDCWD;
    if (path[0] == '/') {
        dirFd = open("/", flags);
        if (dirFd < 0) return -1;
        pos = 1;
    }
    while (pos < path.size()) {
        size_t len = std::min<size_t>(path.size() - pos, PATH_MAX - 1);
        bool last = pos + len >= path.size();
        if (!last) {
            size_t cut = path.rfind('/', pos + len);
            if (cut == std::string::npos || cut <= pos) {
                if (dirFd != AT_FDCWD) close(dirFd);
                errno = ENAMETOOLONG;
                return -1;
            }
            len = cut - pos;
        }
        std::string piece = path.substr(pos, len);
        int next = openat(dirFd, piece.c_str(), flags | (last && noFollow ? O_NOFOLLOW : 0));
        int err = errno;
        if (dirFd != AT_FDCWD) close(dirFd);
        if (next < 0) {
            errno = err;
            return -1;
        }
        dirFd = next;
        pos += len;
        while (pos < path.size() && path[pos] == '/')
            ++pos;
    }
    return dirFd;
}

} // namespace

bool IsCopyTempName(std::string_view name) {
    if (name.size() != CopyTempPrefix.size() + CopyTempRandomLength ||
        name.substr(0, CopyTempPrefix.size()) != CopyTempPrefix)
        return false;
    return std::all_of(name.begin() + CopyTempPrefix.size(), name.end(), [](char c) {
        return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f');
    });
}

// ---- Directory listing ----

tListingContext::tListingContext() : uid_(geteuid()), gid_(getegid()) {
    int count = getgroups(0, nullptr);
    groups_.resize(count > 0 ? static_cast<size_t>(count) : 0);
    if (count > 0 && getgroups(count, groups_.data()) != count) groups_.clear();
}

bool tListingContext::WritableByMode(const struct stat& st) const {
    if (uid_ == 0) return true;
    if (st.st_uid == uid_) return (st.st_mode & S_IWUSR) != 0;
    bool member = st.st_gid == gid_ ||
                  std::find(groups_.begin(), groups_.end(), st.st_gid) != groups_.end();
    return (st.st_mode & (member ? S_IWGRP : S_IWOTH)) != 0;
}

bool tListingContext::ReadOnlyFs(const struct stat& st, int dirFd, const char* name,
                                 bool followLink) {
    // A scan meets one or two devices, rarely more: the last one found answers almost always.
    for (auto it = devices_.rbegin(); it != devices_.rend(); ++it)
        if (it->first == st.st_dev) return it->second;
    // O_PATH opens nothing (no fifo blocks, no device wakes up) and still names the file
    // system. An item that cannot be reached now is not remembered: the next one on the same
    // device asks again.
    int fd = openat(dirFd, name, O_PATH | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW));
    if (fd < 0) return false;
    struct statvfs vfs;
    bool known = fstatvfs(fd, &vfs) == 0;
    close(fd);
    if (!known) return false;
    bool readOnly = (vfs.f_flag & ST_RDONLY) != 0;
    devices_.emplace_back(st.st_dev, readOnly);
    return readOnly;
}

int tFolderListing::First(std::string_view path, uint32_t attributes, TSearchRec& rec) {
    Close();
    error_ = 0;
    size_t slash = path.rfind('/');
    std::string folder = slash == std::string_view::npos ? std::string("./")
                                                         : std::string(path.substr(0, slash + 1));
    pattern_ = std::string(slash == std::string_view::npos ? path : path.substr(slash + 1));
    matchAll_ = pattern_ == "*";
    excludeAttr_ = ~attributes & 0x1E;
    context_ = Context;
    if (!context_) {
        if (!ownContext_) ownContext_ = std::make_unique<tListingContext>();
        context_ = ownContext_.get();
    }

    int fd = OpenFolder(folder, NoFollowFolder);
    if (fd < 0) return errno != 0 ? errno : EIO;
    dir_ = fdopendir(fd);
    if (!dir_) {
        int err = errno;
        close(fd);
        return err != 0 ? err : EIO;
    }
    return Next(rec);
}

int tFolderListing::Next(TSearchRec& rec) {
    if (!dir_) return -1;
    for (;;) {
        errno = 0;
        dirent* d = readdir(dir_);
        if (!d) {
            if (errno != 0 && error_ == 0) error_ = errno;
            return -1;
        }
        const char* name = d->d_name;
        if (SkipDotEntries && IsDotOrDotDot(name)) continue;
        if (!matchAll_ && fnmatch(pattern_.c_str(), name, 0) != 0) continue;
        if (Fill(name, rec)) return 0;
    }
}

bool tFolderListing::Fill(const char* name, TSearchRec& rec) {
    int dfd = dirfd(dir_);
    struct stat st;
    if (fstatat(dfd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) {
        // An item removed since the folder was read is simply gone; anything else means the
        // folder could not be read completely.
        if (errno != ENOENT && error_ == 0) error_ = errno;
        return false;
    }
    uint32_t attr = 0;
    int64_t linkSize = 0;
    struct stat target;
    bool targetKnown = false;
    if (S_ISDIR(st.st_mode)) {
        attr = faDirectory;
    } else if (S_ISLNK(st.st_mode)) {
        attr = faSymLink;
        targetKnown = fstatat(dfd, name, &target, 0) == 0;
        if (targetKnown) {
            if (S_ISDIR(target.st_mode)) attr |= faDirectory;
            linkSize = target.st_size;
        }
        attr |= faSysFile;
    } else if (!S_ISREG(st.st_mode)) {
        attr = faSysFile;
    }
    if (name[0] == '.' && !IsDotOrDotDot(name)) attr |= faHidden;
    if (attr & excludeAttr_) return false;
    // The read-only bit only describes the item (the executor asks the file system itself
    // before it replaces a file), so it is judged from the status already at hand: an
    // access check per item would cost a third of the scan. A link is judged by its target,
    // on the target's file system; a dangling link cannot be written through.
    bool isLink = S_ISLNK(st.st_mode);
    const struct stat& judged = isLink ? target : st;
    bool readOnly = isLink && !targetKnown;
    if (!readOnly)
        readOnly = !context_->WritableByMode(judged) ||
                   context_->ReadOnlyFs(judged, dfd, name, isLink);
    if (readOnly) attr |= faReadOnly;

    rec.Name.assign(name);
    rec.Time = st.st_mtim.tv_sec;
    rec.Size = st.st_size;
    rec.LinkSize = linkSize;
    rec.Attr = attr;
    rec.Mode = st.st_mode;
    rec.Inode = st.st_ino;
    return true;
}

void tFolderListing::Close() {
    if (dir_) {
        closedir(dir_);
        dir_ = nullptr;
    }
}

int ListFirst(std::string_view path, uint32_t attributes, TSearchRec& rec,
              tFolderListing& listing) {
    return listing.First(path, attributes, rec);
}

int ListNext(TSearchRec& rec, tFolderListing& listing) {
    return listing.Next(rec);
}

void ListClose(tFolderListing& listing) {
    listing.Close();
}

// ---- Right-side list cache ----

const tCachedList* tRightListCache::Find(std::string_view key) const {
    auto it = index_.find(key);
    return it == index_.end() ? nullptr : it->second;
}

void tRightListCache::Add(std::string key, tItemList list, int error) {
    auto entry = std::make_unique<tCachedList>();
    entry->Key = std::move(key);
    entry->Items = std::move(list);
    entry->Error = error;
    index_.emplace(std::string_view(entry->Key), entry.get());
    lists_.push_back(std::move(entry));
}

void tRightListCache::Clear() {
    index_.clear();
    lists_.clear();
}

tRightListCache& RightListCache() {
    static tRightListCache cache;
    return cache;
}

void ClearRightListCache() {
    RightListCache().Clear();
}

// ---- Small rules ----

bool AcceptItem(const tProfile& profile, const TSearchRec& rec) {
    if (!(rec.Attr & faHidden)) return true;
    return (rec.Attr & faDirectory) ? profile.HiddenFolders : profile.HiddenFiles;
}

int BaseItemState(std::string_view items, std::string_view name) {
    std::string needle;
    needle.reserve(name.size() + 2);
    needle.append(1, ':').append(name).append(1, ':');
    // A name holding ":" may also occur inside another item's text; only an occurrence
    // that follows a state byte is the item itself.
    for (size_t pos = items.find(needle, 1); pos != std::string_view::npos;
         pos = items.find(needle, pos + 1)) {
        unsigned char state = static_cast<unsigned char>(items[pos - 1]);
        if (state == 1 || state == 2) return state;
    }
    return 0;
}

int BaseItemState(const tProfile& profile, std::string_view name) {
    return BaseItemState(profile.BaseFolderItems, name);
}

tBaseItemLookup::tBaseItemLookup(std::string_view selection) : selection_(selection) {
    // For a name without ":" an occurrence of ":" + name + ":" is a whole text between two
    // colons, so the first such text behind a state byte gives its state.
    size_t open = selection.find(':');
    while (open != std::string_view::npos) {
        const size_t close = selection.find(':', open + 1);
        if (close == std::string_view::npos) break;
        if (open > 0) {
            const auto before = static_cast<unsigned char>(selection[open - 1]);
            if (before == 1 || before == 2)
                states_.try_emplace(selection.substr(open + 1, close - open - 1), before);
        }
        open = close;
    }
}

int tBaseItemLookup::State(std::string_view name) const {
    // A name holding ":" may stand across several texts: searched for as a whole.
    if (name.find(':') != std::string_view::npos) return BaseItemState(selection_, name);
    const auto it = states_.find(name);
    return it == states_.end() ? 0 : it->second;
}

bool IsVersionFileName(std::string_view name) {
    size_t dot = name.rfind('.');
    std::string_view base = dot == std::string_view::npos ? name : name.substr(0, dot);
    std::string_view ext = dot == std::string_view::npos ? std::string_view() : name.substr(dot);
    std::string_view s;
    if (!base.empty() && base.back() == '$')
        s = base;
    else if (ext.size() >= 4 && ext.substr(0, 2) == ".$" && ext.back() == '$')
        s = name;
    else
        return false;
    s.remove_suffix(1);
    size_t digits = 0;
    while (!s.empty() && s.back() >= '0' && s.back() <= '9') {
        s.remove_suffix(1);
        ++digits;
    }
    if (digits == 0 || s.empty() || s.back() != '$') return false;
    s.remove_suffix(1);
    return !s.empty() && s.back() == '.';
}

// ---- Folder lists ----

tFolderList ReadFolderList(tProfile& profile, const tMaskFilter& filter,
                           std::string_view patternPath, bool isRightSide,
                           const tBaseItemLookup* selection, bool noFollowFolder,
                           tListingContext* context) {
    tFolderList out;
    if (isRightSide && profile.CacheRight && profile.ForcedUnattended) {
        std::string key = profile.Name;
        key.append(patternPath);
        if (const tCachedList* cached = RightListCache().Find(key)) {
            out.Cached = cached;
            out.Error = cached->Error;
            return out;
        }
    }

    std::string path(patternPath);
    size_t slash = path.rfind('/');
    size_t namePart = slash == std::string::npos ? 0 : slash + 1;
    // Only the name pattern is rewritten: a folder may itself be called "*.*".
    size_t star = path.find("*.*", namePart);
    if (star != std::string::npos) path.erase(star, 2);
    uint32_t attributes = faAnyFile & ~(profile.Subfolders ? 0u : faDirectory);

    tFolderListing listing;
    listing.SkipDotEntries = true;
    listing.NoFollowFolder = noFollowFolder;
    listing.Context = context;
    TSearchRec rec;
    int rc = listing.First(path, attributes, rec);
    if (rc > 0) {
        // A folder missing on this side is the normal one-sided case.
        out.Missing = rc == ENOENT;
        out.Error = out.Missing ? 0 : rc;
        return out;
    }
    size_t count = 0;
    for (; rc == 0; rc = listing.Next(rec)) {
        if (++count % ItemsPerEventCheck == 0) ProcessEvents();
        if (IsCopyTempName(rec.Name)) {
            // Only the side a run writes to can hold this run's own leftovers to clear away.
            if (isRightSide ? profile.LeftToRight : profile.RightToLeft)
                profile.LeftoverTempFiles.push_back(path.substr(0, namePart) + rec.Name);
            continue;
        }
        if (!filter.Passes(rec.Name, (rec.Attr & faDirectory) != 0)) continue;
        if (selection && selection->State(rec.Name) <= 0) continue;
        out.Own.push_back(std::move(rec));
    }
    out.Error = listing.Error();
    listing.Close();
    std::sort(out.Own.begin(), out.Own.end(),
              [](const TSearchRec& a, const TSearchRec& b) { return a.Name < b.Name; });
    return out;
}

tFolderList ReadFolderList(tProfile& profile, std::string_view patternPath, bool isRightSide,
                           bool selectedItemsOnly) {
    tMaskFilter filter(profile);
    const tBaseItemLookup selection(profile.BaseFolderItems);
    return ReadFolderList(profile, filter, patternPath, isRightSide,
                          selectedItemsOnly ? &selection : nullptr, false);
}

// ---- Scan ----

namespace {

bool Cancelled() {
    return Ui().ProgressCancelled();
}

std::string EntriesTitle(size_t entries) {
    return "Building File List ... " + std::to_string(entries) + " " + "entries";
}

bool BaseReachable(const std::string& path) {
    return !path.empty() && FolderAccessible(path);
}

// Checks one base folder, asking (attended) whether to create it. false after storing the
// failure as the profile's last run result.
bool ReachBaseFolder(tProfile& profile, bool rightSide) {
    const std::string& path = rightSide ? profile.RightPath : profile.LeftPath;
    std::string side = rightSide ? "right" : "left";
    if (BaseReachable(path)) return true;
    if (!profile.RunUnattended && AskQuestion("Cannot access " + side + " path: " + path + ". " +
                                              "Should I try to create the folder?")) {
        int32_t created = 0;
        ForceFolders(path, created);
        if (BaseReachable(path)) return true;
        ShowInfo("Cannot access " + side + " path: " + path);
    }
    StoreReport(profile, rightSide ? ReportNoRightAccess : ReportNoLeftAccess);
    profile.ScanAborted = true;
    return false;
}

// Whether the scan descends into the folder of entry e.
bool Descends(const TFileListEntry& e) {
    return e.Action != tAction::actConflict && e.LeftIsFolder && !e.LeftIsLink && !e.RightIsLink;
}

// The entries a scan finds, in chunks taken from and given back to the system directly, so
// that the plan's list is allocated once at its final size: it never grows by copying, which
// would hold the entries twice, and a chunk's memory is returned as soon as its entries
// have moved on.
class tEntryStore {
public:
    tEntryStore() = default;
    tEntryStore(const tEntryStore&) = delete;
    tEntryStore& operator=(const tEntryStore&) = delete;
    ~tEntryStore() { Clear(); }

    size_t size() const { return size_; }
    TFileListEntry& operator[](size_t k) { return chunks_[k / PerChunk][k % PerChunk]; }

    void push_back(TFileListEntry&& e) {
        if (size_ == chunks_.size() * PerChunk) {
            chunks_.reserve(chunks_.size() + 1);
            void* memory = mmap(nullptr, ChunkBytes, PROT_READ | PROT_WRITE,
                                MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
            if (memory == MAP_FAILED) throw std::bad_alloc();
            chunks_.push_back(static_cast<TFileListEntry*>(memory));
        }
        new (&(*this)[size_]) TFileListEntry(std::move(e));
        ++size_;
    }

    // Appends every entry to out, which grows once, exactly, and empties the store.
    void MoveInto(std::vector<TFileListEntry>& out) {
        out.reserve(out.size() + size_);
        for (size_t c = 0; c < chunks_.size(); ++c) {
            const size_t n = std::min(PerChunk, size_ - c * PerChunk);
            for (size_t k = 0; k < n; ++k) {
                out.push_back(std::move(chunks_[c][k]));
                chunks_[c][k].~TFileListEntry();
            }
            munmap(chunks_[c], ChunkBytes);
            chunks_[c] = nullptr;
        }
        chunks_.clear();
        size_ = 0;
    }

private:
    static constexpr size_t PerChunk = 16384;
    static constexpr size_t ChunkBytes = PerChunk * sizeof(TFileListEntry);

    void Clear() {
        for (size_t c = 0; c < chunks_.size(); ++c) {
            const size_t n = std::min(PerChunk, size_ - c * PerChunk);
            for (size_t k = 0; k < n; ++k)
                chunks_[c][k].~TFileListEntry();
            munmap(chunks_[c], ChunkBytes);
        }
        chunks_.clear();
        size_ = 0;
    }

    std::vector<TFileListEntry*> chunks_;
    size_t size_ = 0;
};

class tScan {
public:
    tScan(tProfile& profile, const tMaskFilter& filter)
        : p_(profile), filter_(filter), selection_(profile.BaseFolderItems) {}

    void Run(const std::string& relPath, int level, bool recurse, bool selectedItemsOnly,
             bool movedFilesOnly);

private:
    struct tFrame {
        std::shared_ptr<const std::string> Rel;
        int Level;
        bool Moved;
        bool Selected;
        size_t Next, End; // entries of this folder still to look at for descending
    };

    // One folder level on both sides. Appends its entries as [first, end). false when the
    // scan has to stop (unreachable base folder or cancel).
    bool ScanOne(const std::shared_ptr<const std::string>& rel, int level, bool selected,
                 bool moved, size_t& first, size_t& end);
    void Merge(const std::shared_ptr<const std::string>& rel, int level, bool moved,
               const tFolderList& left, const tFolderList& right);
    void Scan(const std::string& relPath, int level, bool recurse, bool selectedItemsOnly,
              bool movedFilesOnly);
    // A base folder that vanished (or, in a cached run, was never checked) is not an empty
    // side: it counts as unreadable so that nothing is planned against it.
    // Returns the error noted (0 for none).
    int NoteUnreadable(bool rightSide, const std::string& rel, int error, bool missing) {
        if (missing && rel.empty()) error = ENOENT;
        if (error != 0) p_.UnreadableFolders.push_back({rightSide, rel, error});
        return error;
    }

    tProfile& p_;
    const tMaskFilter& filter_;
    const tBaseItemLookup selection_;
    tListingContext context_;
    tEntryStore found_; // this scan's entries, until Run appends them to Entries
};

void tScan::Run(const std::string& relPath, int level, bool recurse, bool selectedItemsOnly,
                bool movedFilesOnly) {
    // What was found stays also when the scan is cancelled or an invalid mask ends it.
    try {
        Scan(relPath, level, recurse, selectedItemsOnly, movedFilesOnly);
    } catch (...) {
        found_.MoveInto(p_.Entries);
        throw;
    }
    found_.MoveInto(p_.Entries);
}

void tScan::Scan(const std::string& relPath, int level, bool recurse, bool selectedItemsOnly,
                 bool movedFilesOnly) {
    auto rel = std::make_shared<const std::string>(relPath);
    size_t first = 0, end = 0;
    if (!ScanOne(rel, level, selectedItemsOnly, movedFilesOnly, first, end) || !recurse) return;

    std::vector<tFrame> stack;
    stack.push_back({rel, level, movedFilesOnly, selectedItemsOnly, first, end});
    while (!stack.empty()) {
        if (Cancelled()) return;
        tFrame& frame = stack.back();
        if (frame.Next >= frame.End) {
            stack.pop_back();
            continue;
        }
        const TFileListEntry& e = found_[frame.Next++];
        if (!Descends(e)) continue;
        bool moved = frame.Moved || (frame.Selected && selection_.State(e.Name()) == 2);
        auto childRel =
            std::make_shared<const std::string>(*frame.Rel + "/" + std::string(e.Name()));
        int childLevel = frame.Level + 1;
        // frame may move with the stack from here on.
        if (!ScanOne(childRel, childLevel, false, moved, first, end)) return;
        stack.push_back({std::move(childRel), childLevel, moved, false, first, end});
    }
}

bool tScan::ScanOne(const std::shared_ptr<const std::string>& rel, int level, bool selected,
                    bool moved, size_t& first, size_t& end) {
    first = end = found_.size();
    std::string title = EntriesTitle(p_.Entries.size() + found_.size());
    Ui().SetProgressTitle(title);
    p_.ScanAborted = false;
    if (rel->empty()) {
        if (!ReachBaseFolder(p_, false)) return false;
        bool skipRight = p_.CacheRight && p_.ForcedUnattended && !RightListCache().Empty();
        if (!skipRight && !ReachBaseFolder(p_, true)) return false;
    } else {
        ShowProgressText(*rel, true, title);
        Ui().SetProgressButtonCaption("Skip Rest");
    }
    ProcessEvents();
    if (Cancelled()) return false;

    // Below the base folders a folder is never entered through a symbolic link.
    bool noFollow = !rel->empty();
    tFolderList left =
        ReadFolderList(p_, filter_, NormalizeSlashes(p_.LeftPath + "/" + *rel + "/*.*"), false,
                       selected ? &selection_ : nullptr, noFollow, &context_);
    NoteUnreadable(false, *rel, left.Error, left.Missing);
    if (Cancelled()) return false;
    std::string rightPattern = NormalizeSlashes(p_.RightPath + "/" + *rel + "/*.*");
    tFolderList right = ReadFolderList(p_, filter_, rightPattern, true,
                                       selected ? &selection_ : nullptr, noFollow, &context_);
    int rightError = NoteUnreadable(true, *rel, right.Error, right.Missing);
    if (Cancelled()) return false;
    p_.MaxLevel = std::max(p_.MaxLevel, level);

    bool cacheRight = p_.CacheRight && p_.ForcedUnattended && !right.FromCache();
    Merge(rel, level, moved, left, right);
    end = found_.size();

    p_.LeftItemCount += static_cast<int32_t>(left.Items().size());
    p_.RightItemCount += static_cast<int32_t>(right.Items().size());
    // The listings are paired: free them before the next folder is read.
    tItemList().swap(left.Own);
    if (!cacheRight) tItemList().swap(right.Own);
    if (Cancelled()) return false;
    if (cacheRight) RightListCache().Add(p_.Name + rightPattern, std::move(right.Own), rightError);
    return true;
}

void tScan::Merge(const std::shared_ptr<const std::string>& rel, int level, bool moved,
                  const tFolderList& left, const tFolderList& right) {
    const tItemList& L = left.Items();
    const tItemList& R = right.Items();
    // The folder's entries share one record that holds their names.
    tFolderRef folder = tFolderRef::Make(*rel, level);
    auto actionFor = [&](bool versionFile, tAction otherwise) {
        return moved || versionFile ? tAction::actNone : otherwise;
    };

    size_t i = 0, j = 0;
    while (i < L.size() || j < R.size()) {
        int c = i >= L.size() ? 1 : j >= R.size() ? -1 : L[i].Name.compare(R[j].Name);
        TFileListEntry e;
        const TSearchRec* named = nullptr;
        if (c == 0) {
            const TSearchRec& l = L[i++];
            const TSearchRec& r = R[j++];
            if (!AcceptItem(p_, l) || !AcceptItem(p_, r)) continue;
            e.Left = TEntrySide::From(l);
            e.Right = TEntrySide::From(r);
            e.SetLeftLinkSize(l.LinkSize);
            e.SetRightLinkSize(r.LinkSize);
            e.LeftIsFolder = (l.Attr & faDirectory) != 0;
            e.RightIsFolder = (r.Attr & faDirectory) != 0;
            e.LeftIsLink = (l.Attr & faSymLink) != 0;
            e.RightIsLink = (r.Attr & faSymLink) != 0;
            named = &l;
            e.IsVersionFile = IsVersionFileName(l.Name);
            e.Action = actionFor(e.IsVersionFile, tAction::actLeaveAlone);
            if (e.LeftIsFolder != e.RightIsFolder) e.Action = tAction::actConflict;
        } else if (c < 0) {
            const TSearchRec& l = L[i++];
            if (!AcceptItem(p_, l)) continue;
            e.Left = TEntrySide::From(l);
            e.SetLeftLinkSize(l.LinkSize);
            e.LeftIsFolder = e.RightIsFolder = (l.Attr & faDirectory) != 0;
            e.LeftIsLink = e.RightIsLink = (l.Attr & faSymLink) != 0;
            named = &l;
            e.IsVersionFile = IsVersionFileName(l.Name);
            e.Action = actionFor(e.IsVersionFile, tAction::actCopyToRight);
        } else {
            const TSearchRec& r = R[j++];
            if (!AcceptItem(p_, r)) continue;
            e.Right = TEntrySide::From(r);
            e.SetRightLinkSize(r.LinkSize);
            e.LeftIsFolder = e.RightIsFolder = (r.Attr & faDirectory) != 0;
            e.LeftIsLink = e.RightIsLink = (r.Attr & faSymLink) != 0;
            named = &r;
            e.IsVersionFile = IsVersionFileName(r.Name);
            e.Action = actionFor(e.IsVersionFile, tAction::actCopyToLeft);
        }
        // LeftSize and RightSize follow from the sides: Size, or 0 for a folder (also for a
        // link to one, whose directory bit the side keeps).
        e.SetFolder(folder, folder->AddName(named->Name));
        e.DefaultAction = e.Action;
        if (e.LeftIsLink || e.RightIsLink) {
            // A link is handled as a file and never descended into.
            e.LeftIsFolder = e.RightIsFolder = false;
            if (p_.SymLinks == 2) e.Action = tAction::actNone;
        }
        found_.push_back(std::move(e));
    }
    folder->Trim();
}

} // namespace

void ScanFolder(tProfile& profile, const std::string& relPath, int level, bool recurse,
                bool selectedItemsOnly, bool movedFilesOnly) {
    tMaskFilter filter(profile);
    tScan(profile, filter).Run(relPath, level, recurse, selectedItemsOnly, movedFilesOnly);
}

bool BuildFileLists(tProfile& profile, bool recurse, bool selectedItemsOnly) {
    profile.LeftItemCount = profile.RightItemCount = profile.MaxLevel = 0;
    profile.UnreadableFolders.clear();
    profile.LeftoverTempFiles.clear();
    tMaskFilter filter(profile);

    StartProgressText("Reading base folders", true, "Building File List");
    Ui().SetProgressButtonCaption("Cancel");
    try {
        tScan(profile, filter).Run(std::string(), 0, recurse, selectedItemsOnly, false);
    } catch (...) {
        EndProgress();
        throw;
    }
    EndProgress();
    if (!profile.ScanAborted) {
        StartProgressText("Sorting", false, "Building File List");
        SortTreeOrder(profile.Entries);
        EndProgress();
    }
    return !profile.ScanAborted;
}

// ---- Tree order ----

namespace {

// ASCII letters compare without case; every other byte as it is.
int CompareNoCase(std::string_view a, std::string_view b) {
    size_t n = std::min(a.size(), b.size());
    for (size_t k = 0; k < n; ++k) {
        unsigned char x = static_cast<unsigned char>(a[k]);
        unsigned char y = static_cast<unsigned char>(b[k]);
        if (x == y) continue;
        if (x >= 'a' && x <= 'z') x -= 'a' - 'A';
        if (y >= 'a' && y <= 'z') y -= 'a' - 'A';
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() < b.size() ? -1 : a.size() > b.size() ? 1 : 0;
}

// Names ignoring case; names that differ only in case keep a fixed order by their bytes.
bool NameBefore(std::string_view a, std::string_view b) {
    int c = CompareNoCase(a, b);
    return c != 0 ? c < 0 : a < b;
}

// The folders of a plan as a tree, numbered in depth-first order. Names are views into
// the entries' strings, which must outlive the tree.
class tFolderTree {
public:
    tFolderTree() { nodes_.push_back({{}, {}, 0}); }

    // The folder name inside parent, created on first use.
    int Child(int parent, std::string_view name) {
        auto [it, added] = children_.try_emplace(tChildKey{parent, name}, 0);
        if (added) {
            it->second = static_cast<int>(nodes_.size());
            nodes_.push_back({name, {}, 0});
            nodes_[parent].Children.push_back(it->second);
        }
        return it->second;
    }

    // The folder of a RelPath ("" or "/a/b"). Starts from the nearest folder above it that
    // was looked up before (usually the parent), so deep chains cost no more than flat ones.
    int NodeFor(std::string_view path) {
        auto known = byPath_.find(path);
        if (known != byPath_.end()) return known->second;
        int node = 0;
        size_t pos = path.size();
        while (pos > 0) {
            pos = path.rfind('/', pos - 1);
            if (pos == std::string_view::npos) {
                pos = 0;
                break;
            }
            auto up = byPath_.find(path.substr(0, pos));
            if (up != byPath_.end()) {
                node = up->second;
                break;
            }
        }
        while (pos < path.size()) {
            size_t slash = path.find('/', pos);
            if (slash == std::string_view::npos) slash = path.size();
            if (slash > pos) node = Child(node, path.substr(pos, slash - pos));
            pos = slash + 1;
        }
        byPath_.emplace(path, node);
        return node;
    }

    // Numbers every folder so that a folder comes before everything below it and sibling
    // folders follow name order. Returns the number of folders.
    uint32_t Number() {
        std::vector<int> stack{0};
        uint32_t next = 0;
        while (!stack.empty()) {
            int id = stack.back();
            stack.pop_back();
            nodes_[id].Rank = next++;
            std::vector<int>& kids = nodes_[id].Children;
            std::sort(kids.begin(), kids.end(),
                      [&](int a, int b) { return NameBefore(nodes_[a].Name, nodes_[b].Name); });
            stack.insert(stack.end(), kids.rbegin(), kids.rend());
        }
        return next;
    }

    uint32_t Rank(int node) const { return nodes_[node].Rank; }

private:
    struct tNode {
        std::string_view Name;
        std::vector<int> Children;
        uint32_t Rank;
    };
    struct tChildKey {
        int Parent;
        std::string_view Name;
        bool operator==(const tChildKey&) const = default;
    };
    struct tChildHash {
        size_t operator()(const tChildKey& k) const {
            return std::hash<std::string_view>()(k.Name) * 31 + size_t(k.Parent);
        }
    };
    std::vector<tNode> nodes_;
    std::unordered_map<tChildKey, int, tChildHash> children_;
    std::unordered_map<std::string_view, int> byPath_;
};

} // namespace

void SortTreeOrder(std::vector<TFileListEntry>& entries) {
    size_t n = entries.size();
    if (n < 2) return;

    // A folder entry sits where its own folder starts; a file entry goes with the other files
    // of its folder, after that folder's entry and before its subfolders. The folder of a file
    // is found once per folder record (kept in its SortNode), the folder a folder entry opens
    // in a list of those entries (a small part of the plan); the sort key is derived from
    // them when needed, so that the sort costs the plan no more than one index per entry.
    tFolderTree tree;
    std::vector<tEntryFolder*> records;
    struct tResetNodes {
        std::vector<tEntryFolder*>& Records;
        ~tResetNodes() {
            for (tEntryFolder* f : Records)
                f->SortNode = -1;
        }
    } reset{records};
    std::vector<std::pair<uint32_t, int>> folderNodes; // entry index -> its folder's node
    for (size_t k = 0; k < n; ++k) {
        const TFileListEntry& e = entries[k];
        int node = 0;
        if (auto* f = const_cast<tEntryFolder*>(e.Folder())) {
            if (f->SortNode < 0) {
                f->SortNode = tree.NodeFor(f->RelPath);
                records.push_back(f);
            }
            node = f->SortNode;
        }
        if (e.LeftIsFolder) folderNodes.emplace_back(uint32_t(k), tree.Child(node, e.Name()));
    }
    const uint32_t ranks = tree.Number();
    auto keyOf = [&](uint32_t k) -> uint32_t {
        const TFileListEntry& e = entries[k];
        if (e.LeftIsFolder) {
            auto it = std::lower_bound(folderNodes.begin(), folderNodes.end(),
                                       std::pair<uint32_t, int>(k, INT32_MIN));
            return tree.Rank(it->second) * 2;
        }
        const tEntryFolder* f = e.Folder();
        return tree.Rank(f ? f->SortNode : 0) * 2 + 1;
    };

    // Counting sort by key (stable, so each folder's files stay in their scan order), then
    // the files of each folder by name.
    std::vector<uint32_t> start(size_t(ranks) * 2 + 1, 0);
    for (size_t k = 0; k < n; ++k)
        ++start[keyOf(uint32_t(k)) + 1];
    for (size_t b = 1; b < start.size(); ++b)
        start[b] += start[b - 1];
    std::vector<uint32_t> from(n);
    for (size_t k = 0; k < n; ++k)
        from[start[keyOf(uint32_t(k))]++] = uint32_t(k);
    // start[b] is now the end of bucket b.
    for (size_t b = 0, a = 0; b + 1 < start.size(); ++b) {
        size_t end = start[b];
        if (end - a > 1)
            std::sort(from.begin() + a, from.begin() + end, [&](uint32_t x, uint32_t y) {
                std::string_view nx = entries[x].Name();
                std::string_view ny = entries[y].Name();
                int c = CompareNoCase(nx, ny);
                if (c != 0) return c < 0;
                c = nx.compare(ny);
                return c != 0 ? c < 0 : x < y;
            });
        a = end;
    }
    std::vector<uint32_t>().swap(start);
    std::vector<std::pair<uint32_t, int>>().swap(folderNodes);

    // Apply the permutation in place, cycle by cycle: no second copy of the plan.
    for (size_t k = 0; k < n; ++k) {
        if (from[k] == k) continue;
        TFileListEntry tmp = std::move(entries[k]);
        size_t j = k;
        for (;;) {
            size_t src = from[j];
            from[j] = uint32_t(j);
            if (src == k) {
                entries[j] = std::move(tmp);
                break;
            }
            entries[j] = std::move(entries[src]);
            j = src;
        }
    }
}

} // namespace corvane
