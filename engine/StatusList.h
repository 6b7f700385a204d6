// The status list: the grid of the review window as a model. Rows come from the profile's
// RowIndex (row 0 is the header) and every cell text is derived from the row's entry when it
// is asked for, so a plan of a million rows costs no more than RowIndex itself.
#pragma once

#include "profiles/FileList.h"

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace corvane {

class tProfile;

class tStatusList {
public:
    static constexpr int ColumnCount = 7;
    static constexpr std::array<int, ColumnCount> ColumnWidths = {38, 200, 128, 62, 40, 128, 62};
    // Caption of a column in the header row; "" for column 0 and out-of-range columns.
    static std::string_view HeaderText(int col);

    // Attaches itself to profile (profile.StatusList) so that BuildStatusList and
    // UpdateStatusSummary keep it current; the destructor detaches it again.
    explicit tStatusList(tProfile& profile);
    ~tStatusList();
    tStatusList(const tStatusList&) = delete;
    tStatusList& operator=(const tStatusList&) = delete;

    tProfile& Profile() const { return profile_; }

    // Rows including the header row (at least 1).
    int32_t RowCount() const;
    // Position in Entries of the row's entry; -1 for the header and rows out of range.
    int32_t EntryIndex(int32_t row) const;
    // The row's entry, or nullptr.
    TFileListEntry* RowEntry(int32_t row) const;

    // The text of cell (row, col): the header caption for row 0, "" outside the grid.
    std::string CellText(int32_t row, int col) const;
    // Replaces one cell's derived text (the status window writes "(deleted)", "(renamed)")
    // until the next BuildStatusList. Bound to the row's entry, so it moves with the row.
    void SetCellText(int32_t row, int col, std::string text);

    // Called by BuildStatusList after it rebuilt the rows: drops replaced cell texts and
    // counts the revision up, so that views know to reload.
    void Rebuilt();
    uint64_t Revision() const { return revision_; }

    // Summary labels, count + " (" + size + ")", written by UpdateStatusSummary.
    std::string lbLeftToRight, lbRightToLeft, lbMove, lbDelete, lbTotalFilesShown;

private:
    tProfile& profile_;
    std::unordered_map<uint64_t, std::string> replaced_; // entry index * 8 + column
    uint64_t revision_ = 0;
};

// Cell texts of one side (left = cells 2 and 3, right = cells 5 and 6) of a row's entry.
// symLinks is the profile's link mode.
std::string SideDateCell(const TFileListEntry& e, bool left, int symLinks);
std::string SideSizeCell(const TFileListEntry& e, bool left, int symLinks);
// A file time as the grid shows it: "DD.MM.YYYY HH:MM:SS" in local time, also at midnight.
std::string GridDateText(int64_t time);

} // namespace corvane
