// The stored profiles: their names in store order, loading, saving and removing the entries
// of a profile, and the comparison that tells whether the edit page differs from
// what is stored.
#pragma once

#include "profiles/Profile.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tPreferences;

// A key of section "Profiles" names a profile when it starts with "opt_" and its value is
// longer than 1000 characters.
bool IsProfileEntry(std::string_view key, std::string_view value);

// The profile names in the order their keys stand in "Profiles" (at most 200 characters).
std::vector<std::string> StoredProfileNames(const tPreferences& store);

// The stored profile with its side entries; nothing when it is not stored or its record
// does not decode.
std::optional<tProfile> LoadStoredProfile(const tPreferences& store, const std::string& name);

// Writes the entries of p under p.Name in their order: option record, base-folder
// selection, include masks, exclude masks, last result, and the quiet time of a watched
// profile (removed when it is 0). Refuses (nothing written, the
// message returned) a name or texts the store cannot hold; "" on success. Does not flush.
std::string StoreProfile(tPreferences& store, const tProfile& p);

// Removes the entries of name; missing entries are no error. Does not flush.
void RemoveStoredProfile(tPreferences& store, std::string_view name);

// Whether the edited option record differs from the stored one in what the user changes:
// characters 1-1023, 1025, the next run 1026-1045 (unless the stored one is advanceOld and
// the edited one advanceNew: an automatic advance), and 1045 to the end. Character 1024
// (Scheduled, which changes by itself as time passes) is not compared.
bool OptionRecordChanged(std::string_view stored, std::string_view edited,
                         std::string_view advanceOld, std::string_view advanceNew);

// OptionRecordChanged against the stored "opt_" entry of name, or the stored masks or
// watch quiet time differ from edited's.
// The "Watch" entry of a profile: key "wat_" + name, value the quiet time in seconds.
inline constexpr const char* WatchSection = "Watch";
std::string WatchKey(std::string_view name);
// The quiet time a stored value gives: a whole number of seconds above 0, else 0 (off).
int ParseWatchQuiet(std::string_view value);
// The stored quiet time of name; 0 when it is not watched.
int StoredWatchQuiet(const tPreferences& store, std::string_view name);

bool DiffersFromStored(const tPreferences& store, std::string_view name, const tProfile& edited,
                       std::string_view advanceOld, std::string_view advanceNew);

} // namespace corvane
