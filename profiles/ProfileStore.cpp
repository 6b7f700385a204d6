#include "profiles/ProfileStore.h"

#include "profiles/Preferences.h"

#include <algorithm>
#include <charconv>

namespace corvane {

namespace {

struct tSideEntry {
    const char* Section;
    const char* Prefix;
};
constexpr tSideEntry kEntries[] = {{"Profiles", "opt_"},
                                   {"BaseFolderItems", "bfs_"},
                                   {"FileMasks", "msk_"},
                                   {"ExcludeMasks", "xcl_"},
                                   {"Reports", "rep_"}};

std::string Key(const char* prefix, std::string_view name) {
    return std::string(prefix) + std::string(name);
}

// Characters first..last (1-based, inclusive; last 0 = to the end) of s, as far as s has them.
std::string_view Chars(std::string_view s, size_t first, size_t last = 0) {
    if (first > s.size()) return {};
    size_t count = last == 0 ? std::string_view::npos : last - first + 1;
    return s.substr(first - 1, count);
}

} // namespace

bool IsProfileEntry(std::string_view key, std::string_view value) {
    return key.substr(0, 4) == "opt_" && value.size() > 1000;
}

std::vector<std::string> StoredProfileNames(const tPreferences& store) {
    std::vector<std::string> names;
    if (const auto* section = store.Section("Profiles"))
        for (const auto& [key, value] : *section)
            if (IsProfileEntry(key, value)) names.push_back(key.substr(4, 200));
    return names;
}

std::optional<tProfile> LoadStoredProfile(const tPreferences& store, const std::string& name) {
    std::string record = store.Read(Key("opt_", name), "Profiles");
    if (!IsProfileEntry(Key("opt_", name), record)) return std::nullopt;
    tProfile p;
    p.Name = name;
    p.BaseFolderItems = store.Read(Key("bfs_", name), "BaseFolderItems");
    p.FileMasks = store.Read(Key("msk_", name), "FileMasks");
    p.ExcludeMasks = store.Read(Key("xcl_", name), "ExcludeMasks");
    p.LastRunResult = store.Read(Key("rep_", name), "Reports");
    p.WatchQuiet = StoredWatchQuiet(store, name);
    if (!DecodeOptions(p, record)) return std::nullopt;
    return p;
}

std::string StoreProfile(tPreferences& store, const tProfile& p) {
    if (std::string problem = ValidateProfileName(p.Name); !problem.empty()) return problem;
    if (std::string problem = ValidateProfilePaths(p); !problem.empty()) return problem;
    const std::string values[] = {EncodeOptions(p), p.BaseFolderItems, p.FileMasks,
                                  p.ExcludeMasks, p.LastRunResult};
    for (size_t i = 0; i < std::size(kEntries); ++i)
        if (!store.Write(Key(kEntries[i].Prefix, p.Name), values[i], kEntries[i].Section))
            return "The profile could not be stored.";
    // Most profiles are not watched: their entry stays absent rather than "0".
    if (p.WatchQuiet > 0)
        store.Write(WatchKey(p.Name), std::to_string(p.WatchQuiet), WatchSection);
    else
        store.Delete(WatchKey(p.Name), WatchSection);
    return {};
}

void RemoveStoredProfile(tPreferences& store, std::string_view name) {
    for (const auto& e : kEntries) store.Delete(Key(e.Prefix, name), e.Section);
    store.Delete(WatchKey(name), WatchSection);
}

std::string WatchKey(std::string_view name) { return Key("wat_", name); }

int ParseWatchQuiet(std::string_view value) {
    while (!value.empty() && value.front() == ' ') value.remove_prefix(1);
    while (!value.empty() && value.back() == ' ') value.remove_suffix(1);
    int seconds = 0;
    const auto [end, error] = std::from_chars(value.data(), value.data() + value.size(), seconds);
    if (error != std::errc() || end != value.data() + value.size() || seconds < 0) return 0;
    return seconds;
}

int StoredWatchQuiet(const tPreferences& store, std::string_view name) {
    return ParseWatchQuiet(store.Read(WatchKey(name), WatchSection));
}

bool OptionRecordChanged(std::string_view stored, std::string_view edited,
                         std::string_view advanceOld, std::string_view advanceNew) {
    if (Chars(stored, 1, 1023) != Chars(edited, 1, 1023)) return true;
    if (Chars(stored, 1025, 1025) != Chars(edited, 1025, 1025)) return true;
    std::string_view storedNext = Chars(stored, 1026, 1045), editedNext = Chars(edited, 1026, 1045);
    if (storedNext != editedNext && !(storedNext == advanceOld && editedNext == advanceNew))
        return true;
    return Chars(stored, 1045) != Chars(edited, 1045);
}

bool DiffersFromStored(const tPreferences& store, std::string_view name, const tProfile& edited,
                       std::string_view advanceOld, std::string_view advanceNew) {
    const std::string n(name);
    if (OptionRecordChanged(store.Read("opt_" + n, "Profiles"), EncodeOptions(edited), advanceOld,
                            advanceNew))
        return true;
    return store.Read("msk_" + n, "FileMasks") != edited.FileMasks ||
           store.Read("xcl_" + n, "ExcludeMasks") != edited.ExcludeMasks ||
           StoredWatchQuiet(store, name) != edited.WatchQuiet;
}

} // namespace corvane
