// Directory items and plan rows: the records the scanner fills and the planner,
// executor and status list work on.
#pragma once

#include <cstdint>
#include <cstring>
#include <memory>
#include <string>
#include <string_view>

namespace corvane {

// Attribute bits of a directory item.
inline constexpr uint32_t faReadOnly = 0x01;  // the running user may not write it
inline constexpr uint32_t faHidden = 0x02;    // name starts with "." (not "." or "..")
inline constexpr uint32_t faSysFile = 0x04;   // a symbolic link or a special file
inline constexpr uint32_t faVolumeId = 0x08;  // only ever requested, never set on an item
inline constexpr uint32_t faDirectory = 0x10; // a directory, or a link to one
inline constexpr uint32_t faSymLink = 0x40;   // a symbolic link

// One directory item as read from a folder. Times are whole seconds since 1970 in 64 bits.
struct TSearchRec {
    std::string Name;
    int64_t Time = 0;     // modification time from lstat (a link's own time)
    int64_t Size = 0;     // size from lstat (a link's own size)
    int64_t LinkSize = 0; // for a link whose target can be stat-ed: the target's size
    uint32_t Attr = 0;
    uint32_t Mode = 0;  // st_mode from lstat
    uint64_t Inode = 0; // st_ino from lstat: tells a file replaced since the scan
};

// One side of a plan row, 24 bytes. The item's name is the entry's Name (both sides are
// paired by equal names), so a side only records whether it is present. A link's target size
// is kept by the entry (LeftLinkSize, RightLinkSize), as few items are links.
struct TEntrySide {
    // Times fit 40 bits signed: about 17,000 years either side of 1970.
    static constexpr int64_t MaxTime = (int64_t(1) << 39) - 1;
    static constexpr int64_t MinTime = -MaxTime - 1;

    int64_t Size = 0;
    uint64_t Inode = 0;
    int64_t Time : 40 = 0;
    uint64_t Mode : 16 = 0;   // st_mode: file type and permission bits
    uint64_t Attr : 7 = 0;    // the fa* bits
    bool Present : 1 = false; // an absent side is all zero

    static int64_t ClampTime(int64_t time) {
        return time < MinTime ? MinTime : time > MaxTime ? MaxTime : time;
    }
    static TEntrySide From(const TSearchRec& rec) {
        TEntrySide side;
        side.Size = rec.Size;
        side.Inode = rec.Inode;
        side.Time = ClampTime(rec.Time);
        side.Mode = rec.Mode & 0xFFFF;
        side.Attr = rec.Attr & 0x7F;
        side.Present = true;
        return side;
    }
};
static_assert(sizeof(TEntrySide) == 24);

// Planned action of a row, with the numeric codes the plan and the log use.
enum class tAction : uint8_t {
    actNone = 0,
    actCopyToRight = 1,
    actCopyToLeft = 2,
    actLeaveAlone = 3,
    actConflict = 4,
    actMove = 5,
    actSkipped = 6,
    actDelete = 7,
};

// The folder of plan entries: RelPath and Level, and the names of the entries that lie in it,
// stored once per folder. Every entry of a scanned folder refers to the same record. Each name
// is a length byte (255: four more bytes of length follow) and the name's bytes.
class tEntryFolder {
public:
    tEntryFolder(std::string relPath, int32_t level) : RelPath(std::move(relPath)), Level(level) {}
    tEntryFolder(const tEntryFolder&) = delete;
    tEntryFolder& operator=(const tEntryFolder&) = delete;

    // Folder relative to the base folders: "" for the base, else "/a/b".
    const std::string RelPath;
    const int32_t Level;

    // Stores name and returns where it lies, for TFileListEntry::SetFolder.
    uint32_t AddName(std::string_view name);
    // Frees the room the names' storage keeps for more names.
    void Trim() { names_.shrink_to_fit(); }

    std::string_view NameAt(uint32_t offset) const {
        const char* p = names_.data() + offset;
        uint8_t len = static_cast<uint8_t>(*p);
        if (len < 255) return {p + 1, len};
        uint32_t longLen;
        std::memcpy(&longLen, p + 1, sizeof longLen);
        return {p + 5, longLen};
    }

    // Scratch for the tree-order sort, which runs on one list at a time.
    int32_t SortNode = -1;

private:
    friend class tFolderRef;
    friend class tEntryHome;
    std::string names_;
    uint32_t refs_ = 0;
};

// Shared ownership of an entry folder; counts without atomics (one thread).
class tFolderRef {
public:
    tFolderRef() = default;
    static tFolderRef Make(std::string relPath, int32_t level) {
        return tFolderRef(new tEntryFolder(std::move(relPath), level));
    }
    tFolderRef(const tFolderRef& o) : p_(o.p_) {
        if (p_) ++p_->refs_;
    }
    tFolderRef(tFolderRef&& o) noexcept : p_(o.p_) { o.p_ = nullptr; }
    tFolderRef& operator=(const tFolderRef& o) {
        tFolderRef(o).Swap(*this);
        return *this;
    }
    tFolderRef& operator=(tFolderRef&& o) noexcept {
        tFolderRef(std::move(o)).Swap(*this);
        return *this;
    }
    ~tFolderRef() {
        if (p_ && --p_->refs_ == 0) delete p_;
    }
    void Swap(tFolderRef& o) noexcept { std::swap(p_, o.p_); }

    // Takes over a reference that Release gave away, or shares p (one more reference).
    static tFolderRef Adopt(tEntryFolder* p) {
        tFolderRef ref;
        ref.p_ = p;
        return ref;
    }
    static tFolderRef Share(tEntryFolder* p) {
        tFolderRef ref = Adopt(p);
        if (p) ++p->refs_;
        return ref;
    }
    // Gives the reference away without counting it down.
    tEntryFolder* Release() {
        tEntryFolder* p = p_;
        p_ = nullptr;
        return p;
    }

    tEntryFolder* get() const { return p_; }
    tEntryFolder* operator->() const { return p_; }
    explicit operator bool() const { return p_ != nullptr; }
    bool Shared() const { return p_ && p_->refs_ > 1; }

private:
    explicit tFolderRef(tEntryFolder* p) : p_(p) { ++p_->refs_; }
    tEntryFolder* p_ = nullptr;
};

// The fields few entries need, kept out of line: the moved-file partner's folder, link target
// sizes and sizes the status list set in place of the sides' sizes. It also holds the entry's
// folder, so that one pointer in the entry leads to both.
struct tEntryExtra {
    tFolderRef Folder;
    std::string MovedPath;
    int64_t LeftLinkSize = 0, RightLinkSize = 0;
    int64_t LeftSize = 0, RightSize = 0;
    bool HasLeftSize = false, HasRightSize = false;
};

// An entry's one pointer: to its folder record (holding a reference to it) or, when the
// entry has an extra record, to that record (owned, tagged by the low bit), which holds the
// folder reference instead. A copy of the entry gets a copy of the extra record.
class tEntryHome {
public:
    tEntryHome() = default;
    tEntryHome(const tEntryHome& o) : bits_(CopyOf(o.bits_)) {}
    tEntryHome(tEntryHome&& o) noexcept : bits_(o.bits_) { o.bits_ = 0; }
    tEntryHome& operator=(const tEntryHome& o) {
        if (this != &o) {
            const uintptr_t copy = CopyOf(o.bits_);
            Drop(bits_);
            bits_ = copy;
        }
        return *this;
    }
    tEntryHome& operator=(tEntryHome&& o) noexcept {
        if (this != &o) {
            Drop(bits_);
            bits_ = o.bits_;
            o.bits_ = 0;
        }
        return *this;
    }
    ~tEntryHome() { Drop(bits_); }

    tEntryExtra* Extra() const {
        return bits_ & 1 ? reinterpret_cast<tEntryExtra*>(bits_ & ~uintptr_t(1)) : nullptr;
    }
    tEntryFolder* Folder() const {
        return bits_ & 1 ? Extra()->Folder.get() : reinterpret_cast<tEntryFolder*>(bits_);
    }
    // Whether other entries refer to the folder record too.
    bool FolderShared() const {
        const tEntryFolder* f = Folder();
        return f && f->refs_ > 1;
    }
    void SetFolder(tFolderRef folder) {
        if (tEntryExtra* x = Extra()) {
            x->Folder = std::move(folder);
        } else {
            Drop(bits_);
            bits_ = reinterpret_cast<uintptr_t>(folder.Release());
        }
    }
    tEntryExtra& MakeExtra() {
        if (tEntryExtra* x = Extra()) return *x;
        auto* x = new tEntryExtra;
        x->Folder = tFolderRef::Adopt(reinterpret_cast<tEntryFolder*>(bits_));
        bits_ = reinterpret_cast<uintptr_t>(x) | 1;
        return *x;
    }

private:
    static uintptr_t CopyOf(uintptr_t bits) {
        if (bits & 1)
            return reinterpret_cast<uintptr_t>(
                       new tEntryExtra(*reinterpret_cast<tEntryExtra*>(bits & ~uintptr_t(1)))) |
                   1;
        return reinterpret_cast<uintptr_t>(
            tFolderRef::Share(reinterpret_cast<tEntryFolder*>(bits)).Release());
    }
    static void Drop(uintptr_t bits) {
        if (bits & 1)
            delete reinterpret_cast<tEntryExtra*>(bits & ~uintptr_t(1));
        else
            tFolderRef::Adopt(reinterpret_cast<tEntryFolder*>(bits)); // counts it down
    }

    uintptr_t bits_ = 0;
};

// One row of the plan: one name in one folder, present on the left, the right or both.
// 72 bytes; the names live in the entry's folder record.
struct TFileListEntry {
    TEntrySide Left, Right;
    int32_t ShownIndex = 0;    // number among shown file rows; 0 for folders and hidden rows
    int32_t AffectedIndex = 0; // number among shown rows whose action is not 0 or 3
    int16_t ExecResult = 0;    // why the executor did not carry out the action (tExecResult)
    tAction Action : 4 = tAction::actNone;
    tAction DefaultAction : 4 = tAction::actNone;
    bool Shown : 1 = false;
    bool IsVersionFile : 1 = false;
    bool LeftIsFolder : 1 = false, RightIsFolder : 1 = false;
    bool LeftIsLink : 1 = false, RightIsLink : 1 = false;

private:
    uint32_t nameOffset_ = 0; // where the folder record keeps Name

public:
    // The item name, byte for byte. Valid until the entry's name or folder changes. (const, so
    // that an assignment to it does not compile: SetName changes the name.)
    const std::string_view Name() const {
        const tEntryFolder* f = home_.Folder();
        return f ? f->NameAt(nameOffset_) : std::string_view();
    }
    // Folder relative to the base folders: "" for the base, else "/a/b".
    const std::string& RelPath() const {
        static const std::string empty;
        const tEntryFolder* f = home_.Folder();
        return f ? f->RelPath : empty;
    }
    // 0 for items of the base folders, one more per folder level.
    int32_t Level() const {
        const tEntryFolder* f = home_.Folder();
        return f ? f->Level : 0;
    }
    const tEntryFolder* Folder() const { return home_.Folder(); }

    void SetName(std::string_view name);
    void SetRelPath(std::string path); // keeps Name and Level
    void SetLevel(int32_t level);      // keeps Name and RelPath
    // Puts the entry into folder with the name stored there at nameOffset.
    void SetFolder(tFolderRef folder, uint32_t nameOffset) {
        home_.SetFolder(std::move(folder));
        nameOffset_ = nameOffset;
    }

    // RelPath of the partner of a moved-file pair ("/" for the base); "" when not moved.
    const std::string& MovedPath() const {
        static const std::string empty;
        return home_.Extra() ? home_.Extra()->MovedPath : empty;
    }
    void SetMovedPath(std::string path) {
        if (path.empty() && !home_.Extra()) return;
        Extra().MovedPath = std::move(path);
    }

    // The sizes used for comparing and counting: a present side's Size unless it is a folder
    // (the item's directory bit, which a link to a folder also has), else 0; or what
    // SetLeftSize / SetRightSize put in its place.
    int64_t LeftSize() const {
        return home_.Extra() && home_.Extra()->HasLeftSize ? home_.Extra()->LeftSize
                                                           : SideSize(Left);
    }
    int64_t RightSize() const {
        return home_.Extra() && home_.Extra()->HasRightSize ? home_.Extra()->RightSize
                                                            : SideSize(Right);
    }
    void SetLeftSize(int64_t size) {
        if (!(home_.Extra() && home_.Extra()->HasLeftSize) && size == SideSize(Left)) return;
        Extra().LeftSize = size;
        home_.Extra()->HasLeftSize = true;
    }
    void SetRightSize(int64_t size) {
        if (!(home_.Extra() && home_.Extra()->HasRightSize) && size == SideSize(Right)) return;
        Extra().RightSize = size;
        home_.Extra()->HasRightSize = true;
    }

    // For a link whose target could be stat-ed: the target's size; else 0.
    int64_t LeftLinkSize() const { return home_.Extra() ? home_.Extra()->LeftLinkSize : 0; }
    int64_t RightLinkSize() const { return home_.Extra() ? home_.Extra()->RightLinkSize : 0; }
    void SetLeftLinkSize(int64_t size) {
        if (size != 0 || home_.Extra()) Extra().LeftLinkSize = size;
    }
    void SetRightLinkSize(int64_t size) {
        if (size != 0 || home_.Extra()) Extra().RightLinkSize = size;
    }

private:
    static int64_t SideSize(const TEntrySide& side) {
        return side.Present && (side.Attr & 0x10) == 0 ? side.Size : 0;
    }
    tEntryExtra& Extra() { return home_.MakeExtra(); }

    tEntryHome home_;
};
static_assert(sizeof(TFileListEntry) == 72);

// Collapses doubled "/" after the first character (a leading "//" stays), over the whole
// path.
std::string NormalizeSlashes(std::string_view path);

} // namespace corvane
