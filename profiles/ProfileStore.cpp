#include "profiles/ProfileStore.h"

#include "profiles/Preferences.h"

#include <algorithm>

namespace corvane {

namespace {

constexpr tProfileEntry kEntries[] = {
    {"Profiles", "opt_", nullptr, ""},
    {"BaseFolderItems", "bfs_", &tProfile::BaseFolderItems, "BaseFolderItems"},
    {"FileMasks", "msk_", &tProfile::FileMasks, ""},
    {"ExcludeMasks", "xcl_", &tProfile::ExcludeMasks, ""},
    {"Reports", "rep_", &tProfile::LastRunResult, "LastRunResult"},
};

std::string Key(std::string_view prefix, std::string_view name) {
    return std::string(prefix) + std::string(name);
}

// Characters first..last (1-based, inclusive; last 0 = to the end) of s, as far as s has them.
std::string_view Chars(std::string_view s, size_t first, size_t last = 0) {
    if (first > s.size()) return {};
    size_t count = last == 0 ? std::string_view::npos : last - first + 1;
    return s.substr(first - 1, count);
}

} // namespace

std::span<const tProfileEntry> ProfileEntries() { return kEntries; }

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
    // The record's masks replace the copies read here.
    for (const auto& e : kEntries)
        if (e.Member) p.*e.Member = store.Read(Key(e.Prefix, name), e.Section);
    if (!DecodeOptions(p, record)) return std::nullopt;
    return p;
}

std::string StoreProfile(tPreferences& store, const tProfile& p) {
    if (std::string problem = ValidateProfileName(p.Name); !problem.empty()) return problem;
    if (std::string problem = ValidateProfilePaths(p); !problem.empty()) return problem;
    for (const auto& e : kEntries) {
        const std::string value = e.Member ? p.*e.Member : EncodeOptions(p);
        if (!store.Write(Key(e.Prefix, p.Name), value, e.Section))
            return "The profile could not be stored.";
    }
    return {};
}

void RemoveStoredProfile(tPreferences& store, std::string_view name) {
    for (const auto& e : kEntries) store.Delete(Key(e.Prefix, name), e.Section);
}

bool HasStoredEntries(const tPreferences& store, std::string_view name) {
    for (const auto& e : kEntries)
        if (store.Has(Key(e.Prefix, name), e.Section)) return true;
    return false;
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
           store.Read("xcl_" + n, "ExcludeMasks") != edited.ExcludeMasks;
}

} // namespace corvane
