#include "engine/StatusList.h"

#include "engine/FileAccess.h"
#include "engine/Planner.h"
#include "profiles/DateTime.h"
#include "profiles/Profile.h"

namespace corvane {

std::string_view tStatusList::HeaderText(int col) {
    static constexpr std::array<std::string_view, ColumnCount> captions = {
        "", "    Filename", "Left Date", "Size", "Action", "Right Date", "Size"};
    if (col < 0 || col >= ColumnCount) return {};
    return captions[col];
}

tStatusList::tStatusList(tProfile& profile) : profile_(profile) {
    profile_.StatusList = this;
}

tStatusList::~tStatusList() {
    if (profile_.StatusList == this) profile_.StatusList = nullptr;
}

int32_t tStatusList::RowCount() const {
    const auto n = static_cast<int32_t>(profile_.RowIndex.size());
    return n > 0 ? n : 1;
}

int32_t tStatusList::EntryIndex(int32_t row) const {
    if (row <= 0 || row >= static_cast<int32_t>(profile_.RowIndex.size())) return -1;
    const int32_t index = profile_.RowIndex[row];
    return index >= 0 && index < profile_.EntryCount() ? index : -1;
}

TFileListEntry* tStatusList::RowEntry(int32_t row) const {
    const int32_t index = EntryIndex(row);
    return index < 0 ? nullptr : &profile_.Entries[index];
}

std::string GridDateText(int64_t time) {
    const tDateTime value = UnixToDateTime(time);
    return DateText10(value) + " " + TimeText8(value);
}

std::string SideDateCell(const TFileListEntry& e, bool left, int symLinks) {
    const TEntrySide& side = left ? e.Left : e.Right;
    if (!side.Present) return e.MovedPath().empty() ? std::string() : "->" + e.MovedPath();
    if (left ? e.LeftIsFolder : e.RightIsFolder) return {};
    std::string text = GridDateText(side.Time);
    if ((left ? e.LeftIsLink : e.RightIsLink) && symLinks == 0) text += "<slnk>";
    return text;
}

std::string SideSizeCell(const TFileListEntry& e, bool left, int symLinks) {
    const TEntrySide& side = left ? e.Left : e.Right;
    if (!side.Present) return {};
    if (left ? e.LeftIsFolder : e.RightIsFolder) return "<DIR>";
    if (left ? e.LeftIsLink : e.RightIsLink)
        return symLinks == 0 ? SizeText(left ? e.LeftLinkSize() : e.RightLinkSize())
                             : std::string("<symlink>");
    return SizeText(side.Size);
}

namespace {

std::string FolderRowText(const TFileListEntry& e) {
    std::string_view rel = e.RelPath();
    if (rel.empty()) return std::string(e.Name());
    if (rel.front() == '/') rel.remove_prefix(1);
    std::string text(rel.substr(0, 256));
    text += '/';
    text += e.Name();
    return text;
}

uint64_t CellKey(int32_t entry, int col) {
    return static_cast<uint64_t>(entry) * 8 + col;
}

} // namespace

std::string tStatusList::CellText(int32_t row, int col) const {
    if (col < 0 || col >= ColumnCount) return {};
    if (row == 0) return std::string(HeaderText(col));
    const int32_t index = EntryIndex(row);
    if (index < 0) return {};
    if (!replaced_.empty()) {
        auto it = replaced_.find(CellKey(index, col));
        if (it != replaced_.end()) return it->second;
    }
    const TFileListEntry& e = profile_.Entries[index];
    switch (col) {
    case 0:
        return e.LeftIsFolder ? std::string() : std::to_string(e.ShownIndex);
    case 1:
        return e.LeftIsFolder ? FolderRowText(e) : "    " + std::string(e.Name());
    case 2:
        return SideDateCell(e, true, profile_.SymLinks);
    case 3:
        return SideSizeCell(e, true, profile_.SymLinks);
    case 4:
        return std::string(ActionText(e.Action));
    case 5:
        return SideDateCell(e, false, profile_.SymLinks);
    default:
        return SideSizeCell(e, false, profile_.SymLinks);
    }
}

void tStatusList::SetCellText(int32_t row, int col, std::string text) {
    const int32_t index = EntryIndex(row);
    if (index < 0 || col < 0 || col >= ColumnCount) return;
    replaced_[CellKey(index, col)] = std::move(text);
}

void tStatusList::Rebuilt() {
    replaced_.clear();
    ++revision_;
}

} // namespace corvane
