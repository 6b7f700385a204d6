#include "engine/BaseFolderItems.h"

#include "engine/Masks.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <tuple>
#include <unordered_map>

namespace corvane {

namespace {

constexpr std::string_view kFolderTag = "[folder] ";
constexpr size_t kTagLength = 5;

std::string UpperAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    return out;
}

bool IsFolderRec(const TSearchRec& rec) {
    return (rec.Attr & faDirectory) != 0 && (rec.Attr & faSymLink) == 0;
}

} // namespace

std::vector<tBaseFolderItem> ListBaseFolderItems(tProfile& profile, bool& cancelled) {
    cancelled = false;
    std::vector<tBaseFolderItem> items;
    tMaskFilter filter(profile);
    StartProgressText("Reading base folders", true, "Building File List");
    Ui().SetProgressButtonCaption("Cancel");
    struct tEnd {
        ~tEnd() { EndProgress(); }
    } end;

    auto read = [&](const std::string& base, bool rightSide) {
        if (base.empty()) return tFolderList{};
        return ReadFolderList(profile, filter, NormalizeSlashes(base + "/" + "/" + "*.*"),
                              rightSide, nullptr, false);
    };
    tFolderList left = read(profile.LeftPath, false);
    ProcessEvents();
    if (Ui().ProgressCancelled()) {
        cancelled = true;
        return items;
    }
    tFolderList right = read(profile.RightPath, true);
    ProcessEvents();
    cancelled = Ui().ProgressCancelled();

    // The pairing of the scanner's merge: a pair is dropped when either side is refused.
    const tItemList& L = left.Items();
    const tItemList& R = right.Items();
    size_t i = 0, j = 0;
    while (i < L.size() || j < R.size()) {
        int c = i >= L.size() ? 1 : j >= R.size() ? -1 : L[i].Name.compare(R[j].Name);
        tBaseFolderItem item;
        if (c == 0) {
            const TSearchRec& l = L[i++];
            const TSearchRec& r = R[j++];
            if (!AcceptItem(profile, l) || !AcceptItem(profile, r)) continue;
            item = {l.Name, true, true, IsFolderRec(l) || IsFolderRec(r)};
            // A link on either side makes the pair a file entry.
            if ((l.Attr | r.Attr) & faSymLink) item.IsFolder = false;
        } else if (c < 0) {
            const TSearchRec& l = L[i++];
            if (!AcceptItem(profile, l)) continue;
            item = {l.Name, true, false, IsFolderRec(l)};
        } else {
            const TSearchRec& r = R[j++];
            if (!AcceptItem(profile, r)) continue;
            item = {r.Name, false, true, IsFolderRec(r)};
        }
        items.push_back(std::move(item));
    }
    std::stable_sort(items.begin(), items.end(),
                     [](const tBaseFolderItem& a, const tBaseFolderItem& b) {
                         return std::make_tuple(a.IsFolder, UpperAscii(a.Name), std::cref(a.Name)) <
                                std::make_tuple(b.IsFolder, UpperAscii(b.Name), std::cref(b.Name));
                     });
    return items;
}

std::string BaseFolderItemTag(const tBaseFolderItem& item) {
    std::string tag = "[  ] ";
    if (item.OnLeft) tag[1] = 'L';
    if (item.OnRight) tag[2] = 'R';
    return tag;
}

std::string BaseFolderItemText(const tBaseFolderItem& item) {
    std::string text = BaseFolderItemTag(item);
    if (item.IsFolder) text += kFolderTag;
    return text + item.Name;
}

std::string BaseFolderItemName(std::string_view text) {
    if (text.size() < kTagLength) return {};
    const std::string_view rest = text.substr(kTagLength);
    if (rest.starts_with(kFolderTag)) return std::string(rest.substr(kFolderTag.size()));
    return std::string(rest);
}

std::string BaseFolderSelection(const std::vector<tItemState>& items) {
    std::string out = ":";
    for (const tItemState& item : items) {
        if (item.State != 1 && item.State != 2) continue;
        out += static_cast<char>(item.State);
        out += ':';
        out += item.Name;
        out += ':';
    }
    return out;
}

std::vector<int> BaseItemStates(std::string_view selection, const std::vector<std::string>& names) {
    const tBaseItemLookup lookup(selection);
    std::vector<int> out;
    out.reserve(names.size());
    for (const std::string& name : names) out.push_back(lookup.State(name));
    return out;
}

} // namespace corvane
