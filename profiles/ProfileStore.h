// The stored profiles: their names in store order, loading, saving and removing the five
// entries of a profile, and the comparison that tells whether the edit page differs from
// what is stored.
#pragma once

#include "profiles/Profile.h"

#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tPreferences;

// One entry a profile keeps in the store: its section, its key prefix (the key is prefix +
// profile name), the tProfile text it holds, and the field name under which --show prints
// it and --set reads it (empty where a field of the option record already shows it).
struct tProfileEntry {
    std::string_view Section;
    std::string_view Prefix;
    std::string tProfile::*Member; // null for the option record
    std::string_view Field;
};

// Every entry of a profile in the order it is written: the option record, then the side
// entries. A side entry added here is stored, loaded, renamed, removed, shown and set with
// its profile.
std::span<const tProfileEntry> ProfileEntries();

// A key of section "Profiles" names a profile when it starts with "opt_" and its value is
// longer than 1000 characters.
bool IsProfileEntry(std::string_view key, std::string_view value);

// The profile names in the order their keys stand in "Profiles" (at most 200 characters).
std::vector<std::string> StoredProfileNames(const tPreferences& store);

// The stored profile with its side entries; nothing when it is not stored or its record
// does not decode.
std::optional<tProfile> LoadStoredProfile(const tPreferences& store, const std::string& name);

// Writes every entry of p (ProfileEntries) under p.Name in their order. Refuses (nothing written, the
// message returned) a name or texts the store cannot hold; "" on success. Does not flush.
std::string StoreProfile(tPreferences& store, const tProfile& p);

// Removes every entry of name; missing entries are no error. Does not flush.
void RemoveStoredProfile(tPreferences& store, std::string_view name);

// Whether any entry of name is in the store (a profile, or the remains of one whose record
// does not decode).
bool HasStoredEntries(const tPreferences& store, std::string_view name);

// Whether the edited option record differs from the stored one in what the user changes:
// characters 1-1023, 1025, the next run 1026-1045 (unless the stored one is advanceOld and
// the edited one advanceNew: an automatic advance), and 1045 to the end. Character 1024
// (Scheduled, which changes by itself as time passes) is not compared.
bool OptionRecordChanged(std::string_view stored, std::string_view edited,
                         std::string_view advanceOld, std::string_view advanceNew);

// OptionRecordChanged against the stored "opt_" entry of name, or the stored masks differ
// from edited's.
bool DiffersFromStored(const tPreferences& store, std::string_view name, const tProfile& edited,
                       std::string_view advanceOld, std::string_view advanceNew);

} // namespace corvane
