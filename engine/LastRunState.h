// The state of the last finished run of a two-way profile: every file pair that was equal on
// both sides, with size, modification time and inode per side. The next plan uses it to tell
// a deletion from a new file and an edit on both sides from an edit on one.
//
// One file per profile in $XDG_STATE_HOME/corvane/ (default ~/.local/state/corvane/), a
// sorted binary file: a header with the two base folders, then folder blocks ordered by
// RelPath byte-wise, each with its files ordered by name byte-wise; names share their prefix
// with the name before them, numbers are variable-length and times and inodes are stored as
// differences from the record before. A checksum at the end tells a damaged file.
#pragma once

#include "profiles/FileList.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tProfile;

// One side of a recorded pair. Inode 0: not known.
struct tRecordedSide {
    int64_t Size = 0;
    int64_t Time = 0;
    uint64_t Inode = 0;
    bool operator==(const tRecordedSide&) const = default;
};

struct tRecordedPair {
    tRecordedSide Left, Right;
};

// What the plan took from the state, kept for the state written after the run: the plan's
// files in the state's order, and the recorded pairs of the entries that were not equal
// today (by position in Entries).
struct tLastRunCarry {
    std::vector<int32_t> Order;
    std::vector<std::pair<int32_t, tRecordedPair>> Records; // sorted by position
    const tRecordedPair* Find(int32_t index) const;
};

// Where the state of the profile named name lives; "" when neither XDG_STATE_HOME (absolute)
// nor HOME is set.
std::string LastRunStateFileName(std::string_view name);

// Planning pass between FindMovedFiles and BuildStatusList, for profiles where
// RememberInEffect holds: reads the profile's state file once and
// - plans a deletion (FromLastRun) for a file present on one side only that was recorded and
//   is verifiably unchanged (size, time and inode) on the side that still has it; unattended
//   runs without UA_DeleteFiles leave it (action 0) instead;
// - plans a conflict (FromLastRun) for a pair changed on both sides since it was recorded;
// - lets the changed side win where one side was edited and the other is verifiably
//   unchanged.
// Files never recorded keep the comparison's action. A missing state file is no error; a
// damaged one, or one of other base folders, is ignored and LastRunStateNote says why. Sets
// LastRunCarry. Asks nothing and lets no events run.
void ApplyLastRunState(tProfile& profile);

// After a finished run: writes the state of the pairs equal on both sides now, atomically
// (a temporary file renamed over the old one). planned: the entries' actions as they were
// executed (same length as Entries); an entry that had an action is looked at again on disk.
// Recorded pairs of entries that are still not equal are kept. "" on success, else the
// reason (the old state file then stays as it was).
std::string StoreLastRunState(tProfile& profile, const std::vector<tAction>& planned);

// Removes the profile's state file (missing is no error).
void RemoveLastRunState(std::string_view name);

// The name a conflict gives the older edit: "name (conflict YYYY-MM-DD HH-MM left).ext",
// with the edit's modification time in local time and side "left" or "right"; number > 1
// goes before the ")" (" 2") to make it unique.
std::string ConflictName(std::string_view name, int64_t time, std::string_view side,
                         int number = 1);

// Lower-level access, for tests and the benchmark.
struct tStateRecord {
    std::string RelPath, Name;
    tRecordedPair Pair;
};
// Encodes records (sorted by RelPath, then Name, byte-wise) for the two base folders.
std::string EncodeLastRunState(std::string_view leftPath, std::string_view rightPath,
                               const std::vector<tStateRecord>& records);
// Decodes a whole state file; false (out emptied, why set) when it is damaged.
bool DecodeLastRunState(std::string_view data, std::string& leftPath, std::string& rightPath,
                        std::vector<tStateRecord>& out, std::string& why);

} // namespace corvane
