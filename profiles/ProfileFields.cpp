#include "profiles/ProfileFields.h"

#include "profiles/DateTime.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"

#include <charconv>
#include <iterator>
#include <type_traits>
#include <variant>

namespace corvane {

namespace {

using tMember =
    std::variant<std::string tProfile::*, bool tProfile::*, int tProfile::*, double tProfile::*>;

// A further rule for a text field: "" when value is fine, else what is wrong with it.
using tTextCheck = std::string (*)(std::string_view value);

struct tField {
    std::string_view Name;
    tMember Member;
    // Numbers: the range the edit page takes. Texts: at most Max bytes (0: no limit).
    int Min = 0, Max = 0;
    bool Trimmed = false;       // texts: blanks at both ends are dropped, as the edit page does
    tTextCheck Check = nullptr; // texts
    bool NeverIsEmpty = false;  // date-times: "" stands for 0 (never)
};

std::string VersionsFolderCheck(std::string_view value) {
    if (value.empty()) return "cannot be empty";
    if (value.find_first_of("<>*?|\"/") != std::string_view::npos)
        return "cannot contain any of < > * ? | \" /";
    return {};
}

// The edit page has no place for a volume label: it stores every profile without one.
std::string VolumeLabelCheck(std::string_view value) {
    return value.empty() ? std::string() : "cannot be set (the edit page always stores it empty)";
}

// The option record's fields in record order, with the limits of their edit-page controls.
const tField kRecordFields[] = {
    {"LeftPath", &tProfile::LeftPath, 0, 255, true},
    {"RightPath", &tProfile::RightPath, 0, 255, true},
    {"FileMasks", &tProfile::FileMasks, 0, 255},
    {"ExcludeMasks", &tProfile::ExcludeMasks, 0, 255},
    {"Ignore2Secs", &tProfile::Ignore2Secs},
    {"Ignore1Hour", &tProfile::Ignore1Hour},
    {"SymLinks", &tProfile::SymLinks, 0, 2},
    {"Scheduled", &tProfile::Scheduled},
    {"Repeat", &tProfile::Repeat},
    {"NextRun", &tProfile::NextRun},
    {"Days", &tProfile::Days, 0, 9999},
    {"Hours", &tProfile::Hours, 0, 9999},
    {"Minutes", &tProfile::Minutes, 0, 9999},
    {"RepeatMode", &tProfile::RepeatMode, 0, 2},
    {"Database", &tProfile::Database},
    {"Wait", &tProfile::Wait},
    {"WaitMins", &tProfile::WaitMins, 0, 9999},
    {"Subfolders", &tProfile::Subfolders},
    {"Unattended", &tProfile::Unattended},
    {"RightToLeft", &tProfile::RightToLeft},
    {"LeftToRight", &tProfile::LeftToRight},
    {"DetectMoved", &tProfile::DetectMoved},
    {"SelectBaseFolderItems", &tProfile::SelectBaseFolderItems},
    {"ExactMirror", &tProfile::ExactMirror},
    {"EmptyFolders", &tProfile::EmptyFolders},
    {"UA_OverwriteReadOnly", &tProfile::UA_OverwriteReadOnly},
    {"UA_OverwriteLarger", &tProfile::UA_OverwriteLarger},
    {"UA_OverwriteNewer", &tProfile::UA_OverwriteNewer},
    {"UA_DeleteFiles", &tProfile::UA_DeleteFiles},
    {"RepeatTimes", &tProfile::RepeatTimes, 0, 999999999},
    {"LastRun", &tProfile::LastRun, 0, 0, false, nullptr, true},
    {"RecycleOverwrittenFiles", &tProfile::RecycleOverwrittenFiles},
    {"RecycleDeletedFiles", &tProfile::RecycleDeletedFiles},
    {"HiddenFiles", &tProfile::HiddenFiles},
    {"HiddenFolders", &tProfile::HiddenFolders},
    {"MultipleVersions", &tProfile::MultipleVersions},
    {"MaxVersions", &tProfile::MaxVersions, 0, 9999},
    {"UseVersionsFolder", &tProfile::UseVersionsFolder},
    {"OlderSubfolder", &tProfile::OlderSubfolder},
    {"VersionsFolder", &tProfile::VersionsFolder, 0, 100, true, VersionsFolderCheck},
    {"VolumeLabel", &tProfile::VolumeLabel, 0, 50, true, VolumeLabelCheck},
    {"CacheRight", &tProfile::CacheRight},
    {"AutoUpdate", &tProfile::AutoUpdate},
};

// Every field: the record's, then one text field per named side entry.
std::vector<tField> AllFields() {
    std::vector<tField> fields(std::begin(kRecordFields), std::end(kRecordFields));
    for (const auto& e : ProfileEntries())
        if (e.Member && !e.Field.empty()) fields.push_back({e.Field, e.Member});
    return fields;
}

std::string_view TrimBlanks(std::string_view s) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    while (!s.empty() && blank(s.front())) s.remove_prefix(1);
    while (!s.empty() && blank(s.back())) s.remove_suffix(1);
    return s;
}

bool SameAscii(std::string_view a, std::string_view b) {
    if (a.size() != b.size()) return false;
    for (size_t i = 0; i < a.size(); ++i) {
        auto lower = [](char c) { return c >= 'A' && c <= 'Z' ? char(c - 'A' + 'a') : c; };
        if (lower(a[i]) != lower(b[i])) return false;
    }
    return true;
}

std::string DateTimeField(tDateTime value) { return DateText10(value) + " " + TimeText8(value); }

std::string Show(const tProfile& p, const tField& f) {
    return std::visit(
        [&](auto member) -> std::string {
            using T = std::decay_t<decltype(p.*member)>;
            const T& v = p.*member;
            if constexpr (std::is_same_v<T, std::string>) return v;
            else if constexpr (std::is_same_v<T, bool>) return v ? "yes" : "no";
            else if constexpr (std::is_same_v<T, int>) return std::to_string(v);
            else return f.NeverIsEmpty && v == 0 ? std::string() : DateTimeField(v);
        },
        f.Member);
}

std::string Set(tProfile& p, const tField& f, std::string_view value) {
    const std::string name(f.Name);
    return std::visit(
        [&](auto member) -> std::string {
            using T = std::decay_t<decltype(p.*member)>;
            if constexpr (std::is_same_v<T, std::string>) {
                std::string_view text = f.Trimmed ? TrimBlanks(value) : value;
                if (text.find_first_of("\r\n") != std::string_view::npos)
                    return name + " cannot contain a line break";
                if (f.Max > 0 && text.size() > static_cast<size_t>(f.Max))
                    return name + " can have at most " + std::to_string(f.Max) + " characters";
                if (f.Check)
                    if (std::string problem = f.Check(text); !problem.empty())
                        return name + " " + problem;
                p.*member = std::string(text);
            } else if constexpr (std::is_same_v<T, bool>) {
                bool on;
                if (SameAscii(value, "yes") || SameAscii(value, "true") || value == "1")
                    on = true;
                else if (SameAscii(value, "no") || SameAscii(value, "false") || value == "0")
                    on = false;
                else
                    return name + " takes yes or no (true/false, 1/0), not \"" +
                           std::string(value) + "\"";
                p.*member = on;
            } else if constexpr (std::is_same_v<T, int>) {
                int n = 0;
                auto [end, ec] = std::from_chars(value.data(), value.data() + value.size(), n);
                const bool digits = !value.empty() && value.front() != '-';
                if (!digits || ec != std::errc() || end != value.data() + value.size() ||
                    n < f.Min || n > f.Max)
                    return name + " takes a whole number from " + std::to_string(f.Min) + " to " +
                           std::to_string(f.Max) + ", not \"" + std::string(value) + "\"";
                p.*member = n;
            } else {
                if (f.NeverIsEmpty && TrimBlanks(value).empty()) {
                    p.*member = 0;
                    return {};
                }
                auto t = ParseDateTime(value);
                // The date picker's range: 30.12.1899 (day 0) to the last four-digit year.
                if (!t || *t < 0)
                    return name + " takes a date and time as DD.MM.YYYY HH:MM:SS" +
                           (f.NeverIsEmpty ? " (or nothing for never)" : "") + ", not \"" +
                           std::string(value) + "\"";
                p.*member = *t;
            }
            return {};
        },
        f.Member);
}

} // namespace

std::vector<std::string> ProfileFieldNames() {
    std::vector<std::string> names;
    for (const auto& f : AllFields()) names.emplace_back(f.Name);
    return names;
}

std::vector<std::string> ProfileFieldLines(const tProfile& p) {
    std::vector<std::string> lines;
    for (const auto& f : AllFields()) lines.push_back(std::string(f.Name) + "=" + Show(p, f));
    return lines;
}

std::string SetProfileField(tProfile& p, std::string_view field, std::string_view value) {
    const auto fields = AllFields();
    for (const auto& f : fields)
        if (f.Name == field) return Set(p, f, value);
    for (const auto& f : fields)
        if (SameAscii(f.Name, field))
            return "unknown field \"" + std::string(field) + "\" (did you mean " +
                   std::string(f.Name) + "?)";
    return "unknown field \"" + std::string(field) + "\"";
}

std::string StorableProblem(const tProfile& p) {
    if (p.ExactMirror && p.LeftToRight && p.RightToLeft)
        return "ExactMirror needs a single direction: with LeftToRight and RightToLeft both on, "
               "neither side is the model";
    if (p.MultipleVersions && p.MaxVersions <= 0)
        return "MultipleVersions needs MaxVersions of 1 or more";
    if (p.Wait && p.WaitMins == 0) return "Wait needs WaitMins of 1 or more";
    return {};
}

} // namespace corvane
