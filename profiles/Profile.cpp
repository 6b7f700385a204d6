#include "profiles/Profile.h"

#include "profiles/DateTime.h"
#include "profiles/Preferences.h"

#include <algorithm>
#include <cctype>
#include <charconv>

namespace corvane {

namespace {

// Field positions (1-based, as in the record layout) and widths of the option record.
struct tField {
    size_t Pos, Width;
};
constexpr tField fLeftPath{1, 255}, fRightPath{256, 255}, fFileMasks{511, 255},
    fExcludeMasks{766, 255};
constexpr size_t pIgnore2Secs = 1021, pIgnore1Hour = 1022, pSymLinks = 1023, pScheduled = 1024,
                 pRepeat = 1025;
constexpr tField fNextRunDate{1026, 10}, fNextRunTime{1036, 10}, fDays{1046, 4}, fHours{1050, 4},
    fMinutes{1054, 4}, fRepeatMode{1058, 2};
constexpr size_t pDatabase = 1060, pWait = 1061;
constexpr tField fWaitMins{1062, 4};
constexpr size_t pSubfolders = 1066, pUnattended = 1067, pRightToLeft = 1068, pLeftToRight = 1069,
                 pDetectMoved = 1070, pSelectBaseFolderItems = 1071, pExactMirror = 1072,
                 pEmptyFolders = 1073, pUA_OverwriteReadOnly = 1074, pUA_OverwriteLarger = 1075,
                 pUA_OverwriteNewer = 1076, pUA_DeleteFiles = 1077;
constexpr tField fRepeatTimes{1078, 10}, fLastRun{1088, 20};
constexpr size_t pRecycleOverwrittenFiles = 1108, pRecycleDeletedFiles = 1109,
                 pHiddenFiles = 1110, pHiddenFolders = 1111, pMultipleVersions = 1112;
constexpr tField fMaxVersions{1113, 4};
constexpr size_t pUseVersionsFolder = 1117, pOlderSubfolder = 1118;
constexpr tField fVersionsFolder{1119, 100}, fVolumeLabel{1219, 50};
constexpr size_t pCacheRight = 1269, pAutoUpdate = 1270;


std::string Padded(std::string_view text, size_t width) {
    std::string s(text.substr(0, width));
    s.resize(width, ' ');
    return s;
}

// Numbers are clamped into their field width so that the layout never shifts: a 4-wide
// field holds -999..9999.
std::string Number(long long value, size_t width) {
    long long max = 1, min;
    for (size_t i = 0; i < width; ++i) max *= 10;
    min = -(max / 10 - 1);
    max -= 1;
    std::string digits = std::to_string(std::clamp(value, min, max));
    return std::string(width - digits.size(), ' ') + digits;
}

char Flag(bool b) { return b ? 'J' : 'N'; }

std::string_view Slice(std::string_view rec, tField f) { return rec.substr(f.Pos - 1, f.Width); }
char At(std::string_view rec, size_t pos) { return rec[pos - 1]; }

std::string ReadText(std::string_view s) {
    auto lead = [](char c) { return c == 0 || c == 9 || c == 10 || c == 13 || c == 32; };
    while (!s.empty() && lead(s.front())) s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\0')) s.remove_suffix(1);
    return std::string(s);
}

// A number slice: a decimal integer after leading blanks; anything else in the slice
// (trailing blanks, tabs, other characters) gives fallback.
int ReadNumber(std::string_view s, int fallback) {
    while (!s.empty() && s.front() == ' ') s.remove_prefix(1);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    if (s.empty() || s.front() == '+') return fallback;
    int value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size()) return fallback;
    return value;
}

bool ReadFlag(char c) {
    char u = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
    return u == '1' || u == 'J' || u == 'Y';
}

} // namespace

void SetDefaultValues(tProfile& p) {
    p.DetectMoved = true;
    p.ExactMirror = false;
    p.Database = false;
    p.Wait = true;
    p.WaitMins = 10;
    p.RecycleOverwrittenFiles = true;
    p.RecycleDeletedFiles = true;
    p.HiddenFiles = p.HiddenFolders = p.EmptyFolders = false;
    p.MultipleVersions = false;
    p.MaxVersions = 2;
    p.UseVersionsFolder = true;
    p.VersionsFolder = "Older";
    p.OlderSubfolder = true;
    p.SymLinks = 1;
    p.Ignore2Secs = p.Ignore1Hour = false;
    p.Scheduled = false;
    p.Repeat = true;
    p.Days = 1;
    p.Hours = p.Minutes = 0;
    p.RepeatMode = 0;
    p.Unattended = false;
    p.UA_OverwriteReadOnly = p.UA_OverwriteLarger = true;
    p.UA_OverwriteNewer = p.UA_DeleteFiles = false;
}

void SetInitialValues(tProfile& p) {
    SetDefaultValues(p);
    p.LeftPath.clear();
    p.RightPath.clear();
    p.FileMasks = "(all)";
    p.ExcludeMasks = "(none)";
    p.Subfolders = p.LeftToRight = p.RightToLeft = true;
    p.RecycleOverwrittenFiles = false;
    p.UseVersionsFolder = false;
    p.SymLinks = 0;
    p.RepeatTimes = 5;
    p.CacheRight = p.AutoUpdate = p.SelectBaseFolderItems = false;
}

std::string EncodeOptions(const tProfile& p) {
    std::string r;
    r.reserve(OptionRecordLength);
    r += Padded(p.LeftPath, fLeftPath.Width);
    r += Padded(p.RightPath, fRightPath.Width);
    r += Padded(p.FileMasks, fFileMasks.Width);
    r += Padded(p.ExcludeMasks, fExcludeMasks.Width);
    r += Flag(p.Ignore2Secs);
    r += Flag(p.Ignore1Hour);
    r += static_cast<char>('0' + std::clamp(p.SymLinks, 0, 9));
    r += Flag(p.Scheduled);
    r += Flag(p.Repeat);
    r += Padded(DateText10(p.NextRun), fNextRunDate.Width);
    r += Padded(TimeText8(p.NextRun), fNextRunTime.Width);
    r += Number(p.Days, fDays.Width);
    r += Number(p.Hours, fHours.Width);
    r += Number(p.Minutes, fMinutes.Width);
    r += Number(p.RepeatMode, fRepeatMode.Width);
    r += Flag(p.Database);
    r += Flag(p.Wait);
    r += Number(p.WaitMins, fWaitMins.Width);
    r += Flag(p.Subfolders);
    r += Flag(p.Unattended);
    r += Flag(p.RightToLeft);
    r += Flag(p.LeftToRight);
    r += Flag(p.DetectMoved);
    r += Flag(p.SelectBaseFolderItems);
    r += Flag(p.ExactMirror);
    r += Flag(p.EmptyFolders);
    r += Flag(p.UA_OverwriteReadOnly);
    r += Flag(p.UA_OverwriteLarger);
    r += Flag(p.UA_OverwriteNewer);
    r += Flag(p.UA_DeleteFiles);
    r += Number(p.RepeatTimes, fRepeatTimes.Width);
    r += Padded(DateTimeText(p.LastRun), fLastRun.Width);
    r += Flag(p.RecycleOverwrittenFiles);
    r += Flag(p.RecycleDeletedFiles);
    r += Flag(p.HiddenFiles);
    r += Flag(p.HiddenFolders);
    r += Flag(p.MultipleVersions);
    r += Number(p.MaxVersions, fMaxVersions.Width);
    r += Flag(p.UseVersionsFolder);
    r += Flag(p.OlderSubfolder);
    r += Padded(p.VersionsFolder, fVersionsFolder.Width);
    r += Padded(p.VolumeLabel, fVolumeLabel.Width);
    r += Flag(p.CacheRight);
    r += Flag(p.AutoUpdate);
    return r;
}

bool DecodeOptions(tProfile& p, std::string_view record) {
    if (record.size() < OptionRecordMinLength) return false;
    std::string padded(record);
    if (padded.size() < OptionRecordLength) padded.resize(OptionRecordLength, ' ');
    std::string_view r = padded;

    auto number = [&](tField f, int fallback) { return ReadNumber(Slice(r, f), fallback); };

    p.LeftPath = ReadText(Slice(r, fLeftPath));
    p.RightPath = ReadText(Slice(r, fRightPath));
    p.FileMasks = ReadText(Slice(r, fFileMasks));
    p.ExcludeMasks = ReadText(Slice(r, fExcludeMasks));
    p.Ignore2Secs = ReadFlag(At(r, pIgnore2Secs));
    p.Ignore1Hour = ReadFlag(At(r, pIgnore1Hour));
    p.SymLinks = std::clamp(static_cast<unsigned char>(At(r, pSymLinks)) - 48, 0, 2);
    p.Scheduled = ReadFlag(At(r, pScheduled));
    p.Repeat = ReadFlag(At(r, pRepeat));
    auto date = ParseDate(Slice(r, fNextRunDate));
    auto time = ParseTime(Slice(r, fNextRunTime));
    if (date && time) p.NextRun = *date + *time;
    p.Days = number(fDays, 0);
    p.Hours = number(fHours, 0);
    p.Minutes = number(fMinutes, 0);
    p.RepeatMode = number(fRepeatMode, 0);
    p.Database = ReadFlag(At(r, pDatabase));
    p.Wait = ReadFlag(At(r, pWait));
    p.WaitMins = number(fWaitMins, 0);
    p.Subfolders = ReadFlag(At(r, pSubfolders));
    p.Unattended = ReadFlag(At(r, pUnattended));
    p.RightToLeft = ReadFlag(At(r, pRightToLeft));
    p.LeftToRight = ReadFlag(At(r, pLeftToRight));
    p.DetectMoved = ReadFlag(At(r, pDetectMoved));
    p.SelectBaseFolderItems = ReadFlag(At(r, pSelectBaseFolderItems));
    p.ExactMirror = ReadFlag(At(r, pExactMirror));
    p.EmptyFolders = ReadFlag(At(r, pEmptyFolders));
    p.UA_OverwriteReadOnly = ReadFlag(At(r, pUA_OverwriteReadOnly));
    p.UA_OverwriteLarger = ReadFlag(At(r, pUA_OverwriteLarger));
    p.UA_OverwriteNewer = ReadFlag(At(r, pUA_OverwriteNewer));
    p.UA_DeleteFiles = ReadFlag(At(r, pUA_DeleteFiles));
    p.RepeatTimes = ReadNumber(ReadText(Slice(r, fRepeatTimes)), 1);
    p.LastRun = 0;
    if (auto last = ParseDateTime(ReadText(Slice(r, fLastRun)))) p.LastRun = *last;
    p.RecycleOverwrittenFiles = ReadFlag(At(r, pRecycleOverwrittenFiles));
    p.RecycleDeletedFiles = ReadFlag(At(r, pRecycleDeletedFiles));
    p.HiddenFiles = ReadFlag(At(r, pHiddenFiles));
    p.HiddenFolders = ReadFlag(At(r, pHiddenFolders));
    p.MultipleVersions = ReadFlag(At(r, pMultipleVersions));
    p.MaxVersions = number(fMaxVersions, 2);
    p.UseVersionsFolder = ReadFlag(At(r, pUseVersionsFolder));
    p.OlderSubfolder = ReadFlag(At(r, pOlderSubfolder));
    p.VersionsFolder = ReadText(Slice(r, fVersionsFolder));
    p.VolumeLabel = ReadText(Slice(r, fVolumeLabel));
    p.CacheRight = ReadFlag(At(r, pCacheRight));
    p.AutoUpdate = ReadFlag(At(r, pAutoUpdate));
    return true;
}

bool ExactMirrorInEffect(const tProfile& p) {
    return p.ExactMirror && !(p.LeftToRight && p.RightToLeft);
}

bool RememberInEffect(const tProfile& p) {
    return p.RememberLastRun && p.LeftToRight && p.RightToLeft && !p.ExactMirror;
}

bool IsDangerous(const tProfile& p, bool scheduled) {
    return p.ExactMirror && (p.Unattended || scheduled) && (p.UA_OverwriteNewer || p.UA_DeleteFiles);
}

std::string ValidateProfileName(std::string_view name) {
    auto blank = [](char c) { return c == ' ' || c == '\t'; };
    if (name.empty() || std::all_of(name.begin(), name.end(), blank))
        return "Please enter a name for the profile.";
    if (name.find_first_of("\r\n") != std::string_view::npos)
        return "A profile name cannot contain a line break.";
    if (name.find_first_of("=[]") != std::string_view::npos)
        return "A profile name cannot contain \"=\", \"[\" or \"]\".";
    if (blank(name.front()) || blank(name.back()))
        return "A profile name cannot begin or end with a blank.";
    if (name.size() > 200) return "A profile name can have at most 200 characters.";
    return {};
}

std::string ValidateProfilePaths(const tProfile& p) {
    for (const std::string* s : {&p.LeftPath, &p.RightPath, &p.FileMasks, &p.ExcludeMasks,
                                 &p.VersionsFolder, &p.BaseFolderItems, &p.LastRunResult})
        if (s->find_first_of("\r\n") != std::string::npos)
            return "Paths, masks and folder names cannot contain a line break.";
    if (p.LeftPath.size() > fLeftPath.Width || p.RightPath.size() > fRightPath.Width)
        return "A base folder path can have at most 255 characters.";
    if (p.FileMasks.size() > fFileMasks.Width || p.ExcludeMasks.size() > fExcludeMasks.Width)
        return "A mask list can have at most 255 characters.";
    return {};
}

} // namespace corvane
