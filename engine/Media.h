// What the file system of a destination holds (times, permissions, case, names, links,
// extended attributes) and how a finished copy gets its name there, learned once per device
// and run, plus the seam through which tests make system calls fail as such file systems do.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>
#include <vector>

namespace corvane {

// One device's file system, as far as a run needs to know it.
struct tMedium {
    uint64_t Device = 0;
    std::string TypeName; // "ext4", "vfat", "fuse.sshfs", "fuseblk" ...
    // The steps in which the medium keeps modification times: 1 ns on most Linux file
    // systems, 10 ms on exFAT, 1 s over SFTP, 2 s on FAT.
    int64_t TimeStepNs = 1;
    bool HoldsModes = true;       // permission bits survive a chmod
    bool HoldsOwners = true;      // chown is worth trying
    bool HoldsLinks = true;       // symbolic links can be made
    bool CaseInsensitive = false; // "Photo.jpg" and "photo.jpg" are one name
    bool WindowsNames = false;  // names with : * ? " < > | \ or a trailing dot or blank are refused
    bool HoldsLinkTimes = true; // a symbolic link's own time can be set
    bool RenameKeepsTimes = true; // a rename leaves the modification time alone
    bool Probed = false;          // learned by trying, not from the type alone
    bool Rotational = false;      // on a disk that spins: one copy at a time there
    bool NetworkShare = false;    // sshfs, NFS, SMB
    // Learned as the calls fail, once per device and run.
    bool UnnamedFiles = true;       // open(O_TMPFILE)
    bool NoReplaceRename = true;    // renameat2(RENAME_NOREPLACE)
    bool HardLinks = true;          // link
    bool ExtendedAttributes = true; // fsetxattr
    bool AttributesDropped = false; // some file lost its extended attributes or ACLs here

    // Whole seconds within which two times count as equal on this medium (2 on FAT, else 1).
    int64_t CompareStep() const { return TimeStepNs > 1000000000 ? TimeStepNs / 1000000000 : 1; }
    // t cut down to a time the medium can hold.
    timespec Hold(timespec t) const;
    // What the medium keeps and refuses, for the run log: "times to 2 s, no permissions, ...".
    std::string Description() const;
};

// Why a name cannot be given on a medium: "" when it can.
std::string NameRefusal(const tMedium& medium, std::string_view name);

// The media of one run, by device. Looked up by folder; the last folder is remembered, so a
// run that writes into one folder after the other asks the system once per folder.
class tMediaCache {
public:
    tMediaCache();

    // The medium holding folder (which exists; "" is the current folder). Learns it the first
    // time its device is met: from the file-system type, and where the type does not tell,
    // by trying a temporary file in folder (when the folder takes one). nullptr when folder
    // cannot be looked at.
    tMedium* For(const std::string& folder);
    // Whether the folder last passed to For has the set-group-ID bit (new files get its group).
    bool FolderSetsGroup() const { return folderSetsGroup_; }
    // The process's file-creation mask, read once.
    mode_t Umask() const { return umask_; }

    // Every medium met so far.
    const std::vector<std::unique_ptr<tMedium>>& Media() const { return media_; }

private:
    std::vector<std::unique_ptr<tMedium>> media_;
    std::string folder_;
    tMedium* medium_ = nullptr;
    bool folderSetsGroup_ = false;
    mode_t umask_ = 022;
};

// Learns what the medium of folder (on device) holds; see tMediaCache::For.
void LearnMedium(tMedium& medium, const std::string& folder);

// The system calls whose refusals decide how files are named and what they keep. Tests
// replace them to make them fail the way FAT, exFAT and network file systems do.
struct tSystemCalls {
    int (*OpenUnnamed)(const char* folder, int flags, mode_t mode);
    int (*RenameNoReplace)(const char* from, const char* to);
    int (*Link)(const char* from, const char* to);
    int (*SetXattr)(int fd, const char* name, const void* value, size_t size);
    int (*Chmod)(int fd, mode_t mode);
};
// The calls in use (the system's own unless a test replaced them).
tSystemCalls& SystemCalls();
// The system's own calls.
tSystemCalls RealSystemCalls();

} // namespace corvane
