// The items of a profile's two base folders as the base-folder item selection lists them,
// their list texts, and the selection text a profile keeps in BaseFolderItems: ":" and, for
// every chosen item, a state byte (1 chosen, 2 moved-file detection only), ":", the name
// and ":". The scanner reads it with BaseItemState.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tProfile;

// One name of the base level, present on the left, the right or both sides.
struct tBaseFolderItem {
    std::string Name; // bytes, as the folder listing returns them
    bool OnLeft = false;
    bool OnRight = false;
    bool IsFolder = false; // a folder on either side (a link to a folder is not one)
};

// The state of one listed item: 0 unchecked, 1 checked, 2 grayed.
struct tItemState {
    std::string Name;
    int State = 0;
};

// Lists the base level of both base folders with the profile's masks and hidden-item and
// subfolder settings, without the selection, in the plan's order (files first, then
// folders, names ignoring ASCII case), under the progress window. A base folder that is
// missing or unreadable contributes nothing: nothing is asked, created or stored. Sets
// cancelled (and returns what was read so far) when the progress window's button was
// pressed. Throws EMaskException for an invalid mask.
std::vector<tBaseFolderItem> ListBaseFolderItems(tProfile& profile, bool& cancelled);

// "[LR] " with "L" and "R" in place of blanks for the sides holding the item.
std::string BaseFolderItemTag(const tBaseFolderItem& item);
// The list text: tag, "[folder] " for folders, then the name.
std::string BaseFolderItemText(const tBaseFolderItem& item);
// The name within a list text: from the 15th character on behind "[folder]" at the 6th,
// otherwise from the 6th on.
std::string BaseFolderItemName(std::string_view text);

// ":" followed by state byte, ":", name, ":" for every item in order that is checked or
// grayed. ":" when none is.
std::string BaseFolderSelection(const std::vector<tItemState>& items);
// The state BaseItemState (engine/Scanner.h) gives each name, as the scanner reads it, in
// one pass over the selection instead of one search per name.
std::vector<int> BaseItemStates(std::string_view selection, const std::vector<std::string>& names);

} // namespace corvane
