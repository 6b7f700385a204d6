// The desktop's trash for the files a run deletes or replaces: the home trash for files on
// the file system of the user's data folder, a trash at the top folder of every other file
// system, each item with an info file that names its original place and the time it was
// trashed, so that a file manager lists and restores it.
//
// Files only ever move by rename within their file system: nothing is copied. Where a file
// system offers no trash the caller deletes as before, and the trash remembers that file
// system once, for a note in the log and the result window.
#pragma once

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <sys/types.h>
#include <unordered_map>
#include <vector>

namespace corvane {

enum class tTrashResult {
    Trashed, // the file is in the trash
    NoTrash, // no trash can be used on its file system: nothing changed
    Failed,  // the file could not be moved (errno kept): nothing changed
};

// Where a file went: its name in the trash and its info file.
struct tTrashedFile {
    std::string FilePath, InfoPath;
    bool Linked = false; // a second name in the trash: the original name still exists
};

// The trash as one run (or one immediate delete command) uses it. Found trash folders are
// remembered per file system for the life of the object.
class tTrash {
public:
    // Moves path (a file or link, never followed) into the trash. Asks nothing, shows
    // nothing.
    tTrashResult MoveToTrash(const std::string& path, tTrashedFile* where = nullptr);

    // For a file about to be replaced: gives it a second name in the trash, so that the
    // caller's rename over path replaces it without a moment in which path is missing.
    // Where the file system makes no second names it is moved instead (Linked false).
    tTrashResult KeepInTrash(const std::string& path, tTrashedFile& where);

    // Takes back what MoveToTrash or KeepInTrash did for path when the replacement failed:
    // the second name goes, a moved file comes back (never over a file that took its
    // place). true when path is as it was.
    bool Undo(const std::string& path, const tTrashedFile& where);

    // The top folders of the file systems met without a usable trash, in the order met.
    const std::vector<std::string>& NoTrashFolders() const { return noTrash_; }
    // Those not yet taken by an earlier call (for a log line at the moment it happens).
    std::vector<std::string> TakeNewNoTrashFolders();

private:
    struct tPlace {
        std::string Top;    // top folder of the file system (for the note and relative paths)
        std::string Folder; // the trash folder (holding files/ and info/); "" when none
        bool Home = false;  // the home trash: the info files hold absolute paths
    };
    // The trash of the file system holding folder (nullptr when folder cannot be looked at).
    tPlace* PlaceFor(const std::string& folder);
    // Notes the top folder of a file system without a usable trash, once.
    void NoteNoTrash(const std::string& top);
    tPlace FindPlace(const std::string& folder, dev_t device);
    // Writes the info file under a fresh name and puts path into files/ under the same name
    // (by link or by rename).
    tTrashResult Put(const std::string& path, bool asLink, tTrashedFile& where);

    std::unordered_map<dev_t, tPlace> places_;
    bool homeKnown_ = false;
    dev_t homeDevice_ = 0;
    std::string homeTrash_;
    std::vector<std::string> noTrash_;
    size_t noTrashTaken_ = 0;
    // Per name, the next number to try: many equal names do not start the search at 1 again.
    std::unordered_map<std::string, int> nextNumber_;
};

// What the log and the result window say of a file system without a usable trash.
std::string NoTrashLogLine(const std::string& top);
std::string NoTrashResultLine(const std::string& top);

// The home trash folder: $XDG_DATA_HOME/Trash, or $HOME/.local/share/Trash when that is
// unset or not absolute; "" without either.
std::string HomeTrashFolder();

// The top folder of the file system holding the existing folder path (canonical), "" when
// path cannot be looked at.
std::string FileSystemTop(const std::string& path);

// The text of an info file: original path (absolute, or relative to the top folder of a
// volume's trash), percent-encoded, and the local deletion time.
std::string TrashInfoText(std::string_view originalPath, std::time_t deletedAt);

// Percent-encoding of a path as URLs use it: bytes other than letters, digits, "-._~" and
// "/" become %XX.
std::string PercentEncodePath(std::string_view path);

// Whether folder ("" for the working folder) is the top folder of its file system.
bool IsFileSystemTop(const std::string& folder);

// Whether name is the name a trash folder has at the top of a file system: ".Trash" or
// ".Trash-" followed by a user number.
bool IsTrashFolderName(std::string_view name);

} // namespace corvane
