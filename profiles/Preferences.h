// The preferences store: one INI document, loaded once, changed in memory and flushed to
// disk at a few fixed moments. Everything else uses WritePref / ReadPref / DeletePref.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace corvane {

class tPreferences {
public:
    // An empty document bound to fileName; Load reads the file (a missing or unreadable
    // file leaves the document empty).
    explicit tPreferences(std::string fileName);
    void Load();

    const std::string& FileName() const { return fileName_; }

    // Refuses (false, nothing written) keys, sections or values holding a line break.
    bool Write(std::string_view key, std::string_view value, std::string_view section);
    std::string Read(std::string_view key, std::string_view section) const;
    bool Has(std::string_view key, std::string_view section) const;
    void Delete(std::string_view key, std::string_view section);
    // Keys and values of a section in their order.
    const std::vector<std::pair<std::string, std::string>>* Section(std::string_view section) const;

    // Writes the document to the file, keeping what other processes stored meanwhile:
    // under an exclusive lock on the file, entries that changed on disk since this store
    // last read or wrote the file are taken in unless this store changed them too (its own
    // changes win). The result goes to a temporary file beside the file, is synced and
    // renamed over the file with the old file's mode and owner; temporary files of flushes
    // that were killed are removed. Returns an empty text on success, else what went wrong
    // (the old file is then left as it was and this store's changes stay pending). After a
    // successful flush, the changes of this store start afresh, so it can flush again later.
    std::string Flush();

    // The document as it would be written.
    std::string Text() const;
    void Parse(std::string_view text);

private:
    struct tSection {
        std::string Name;
        std::vector<std::pair<std::string, std::string>> Entries;
    };
    tSection* Find(std::string_view section);
    const tSection* Find(std::string_view section) const;
    void Set(std::string_view key, std::string_view value, std::string_view section);
    // Takes in what changed from base_ to disk where this store kept base_'s state.
    void MergeChangesFrom(const std::vector<tSection>& disk);
    std::string WriteLocked(int lockedFd, const std::string& target);

    std::string fileName_;
    std::vector<tSection> sections_;
    // The document as this store last read or wrote it: what differs from it in sections_
    // is this store's own change.
    std::vector<tSection> base_;
};

// The file location: $HOME + "/.CorvaneX" (doubled "/" after the first character
// collapsed) when HOME is set and not empty, else "CorvaneX.ini" in the working folder.
std::string PreferencesFileName();

// The process-wide store used by the three operations; not owned. None installed: writes
// do nothing and reads give "".
void SetPrefStore(tPreferences* store);
tPreferences* PrefStore();

bool WritePref(std::string_view key, std::string_view value, std::string_view section);
std::string ReadPref(std::string_view key, std::string_view section);
void DeletePref(std::string_view key, std::string_view section);

// The "Main" settings, each declared once with its parsing rule.
struct tMainSettings {
    std::string CurrentProfileName;
    int CurrentTabSheet = 0; // integer, 0 when it does not parse
    int BufSizeKB = 1024;    // integer clamped to 1..10240, 1024 when it does not parse
    int Logging = 0;         // 0 none, 1 common file, 2 per profile, 3 per run
    std::string LogFolder;   // empty: the program's folder + "Logs"
    // "DeleteLimit": the share of the files on a side an unattended run may delete, in
    // percent; integer clamped to 0..100, 50 when it does not parse; 100 sets no limit.
    int DeleteLimit = 50;
    // "CopyWorkers": files copied at once per destination device; integer clamped to 0..16,
    // 0 (automatic: 1 on a rotating disk, 4 elsewhere) when it does not parse.
    int CopyWorkers = 0;
};
tMainSettings ReadMainSettings();
int ParseBufSize(std::string_view text);
int ParseDeleteLimit(std::string_view text);
int ParseCopyWorkers(std::string_view text);
int ParseIntOr(std::string_view text, int fallback);
// The program file's folder + "Logs"; when that folder cannot take a log folder (an
// installed program in /usr/bin), $XDG_STATE_HOME/corvane/Logs or
// $HOME/.local/state/corvane/Logs.
std::string DefaultLogFolder();

// The settings a run uses (buffer size, logging mode, log folder); set at start.
tMainSettings& RunSettings();

// Window positions: 22 characters, left, top, width, height in 5 each and state in 2.
struct tWindowPos {
    int Left = 0, Top = 0, Width = 0, Height = 0;
    int State = 0; // 0 normal, 1 minimized, 2 maximized
};
std::string EncodeWindowPos(const tWindowPos& pos);
// Applies the parts of value that parse onto pos; false (pos unchanged) when value is not
// exactly 22 characters.
bool DecodeWindowPos(std::string_view value, tWindowPos& pos);

} // namespace corvane
