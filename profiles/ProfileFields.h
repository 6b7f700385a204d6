// A profile's fields by name, in the text forms the command line prints and reads:
// "Field=value" with the option record's field names, then the side entries.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace corvane {

class tProfile;

// The field names in the order ProfileFieldLines prints them: the option record's fields in
// record order, then the side entries that carry a field name (ProfileEntries).
std::vector<std::string> ProfileFieldNames();

// "Field=value" for every field of p, in ProfileFieldNames order. Flags are "yes" or "no",
// date-times "DD.MM.YYYY HH:MM:SS" (LastRun "" for never), numbers decimal, texts as they are.
// SetProfileField reads every line back to the same value.
std::vector<std::string> ProfileFieldLines(const tProfile& p);

// Sets one field from its text: flags take yes/no, true/false, 1/0 (any case); date-times
// "DD.MM.YYYY" or "DD.MM.YYYY HH:MM:SS"; numbers only within what the edit page takes; the
// base folders are trimmed as the edit page trims them. Returns "" on success, else a
// message naming the field (an unknown field, a value that does not parse or is out of
// range, a text the store cannot hold); p is then unchanged.
std::string SetProfileField(tProfile& p, std::string_view field, std::string_view value);

// What keeps the edit page from storing p as it is: exact mirror with both directions,
// multiple versions with a maximum of 0, waiting with 0 minutes. "" when nothing does.
std::string StorableProblem(const tProfile& p);

} // namespace corvane
