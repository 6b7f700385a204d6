// Directory items and plan rows: the records the scanner fills and the planner,
// executor and status list work on.
#pragma once

#include <cstdint>
#include <memory>
#include <string>

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
    uint32_t Mode = 0; // st_mode from lstat
    uint64_t Inode = 0; // st_ino from lstat: tells a file replaced since the scan
};

// One side of a plan row. The item's name is the entry's Name (both sides are paired by
// equal names), so a side only records whether it is present.
struct TEntrySide {
    int64_t Time = 0;
    int64_t Size = 0;
    int64_t LinkSize = 0;
    uint32_t Attr = 0;
    uint32_t Mode = 0;
    bool Present = false; // an absent side is all zero
    uint64_t Inode = 0;

    static TEntrySide From(const TSearchRec& rec) {
        return {rec.Time, rec.Size, rec.LinkSize, rec.Attr, rec.Mode, true, rec.Inode};
    }
};

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

// One row of the plan: one name in one folder, present on the left, the right or both.
struct TFileListEntry {
    int32_t ShownIndex = 0;    // number among shown file rows; 0 for folders and hidden rows
    int32_t AffectedIndex = 0; // number among shown rows whose action is not 0 or 3
    // Folder relative to the base folders: "" for the base, else "/a/b". Shared by every
    // entry of one folder.
    std::shared_ptr<const std::string> RelPathRef;
    std::string Name;
    std::string MovedPath; // RelPath of the partner of a moved-file pair ("/" for the base)
    int32_t Level = 0;
    TEntrySide Left, Right;
    int64_t LeftSize = 0, RightSize = 0; // 0 for folders and absent sides
    int32_t ExecResult = 0;
    tAction Action = tAction::actNone;
    tAction DefaultAction = tAction::actNone;
    bool Shown = false;
    bool IsVersionFile = false;
    bool LeftIsFolder = false, RightIsFolder = false;
    bool LeftIsLink = false, RightIsLink = false;

    const std::string& RelPath() const {
        static const std::string empty;
        return RelPathRef ? *RelPathRef : empty;
    }
    void SetRelPath(std::string path) {
        RelPathRef = std::make_shared<const std::string>(std::move(path));
    }
};

} // namespace corvane
