// Real file systems for tests: an image made and mounted the way a desktop mounts such a
// drive (FUSE drivers for FAT, exFAT and NTFS, a loop mount for btrfs and xfs), or an SFTP
// share through sshfs from an sshd that the test starts on a localhost port with its own keys.
// Everything is unmounted and removed again when the object goes, also after a failure.
#pragma once

#include "support/TempTree.h"

#include <string>
#include <vector>

namespace corvane::test {

enum class MediumKind { Fat32, ExFat, Ntfs, Btrfs, Xfs, Sshfs };

// "FAT32", "exFAT", "NTFS", "btrfs", "xfs", "sshfs".
const char* MediumName(MediumKind kind);

class MountedMedium {
public:
    // imageBytes sets the size of a btrfs or xfs image (0: room for the tests' small trees).
    explicit MountedMedium(MediumKind kind, long long imageBytes = 0);
    ~MountedMedium();
    MountedMedium(const MountedMedium&) = delete;
    MountedMedium& operator=(const MountedMedium&) = delete;

    // Empty when mounted; else why not (not root, no /dev/fuse, a missing program, a refused
    // mount), for GTEST_SKIP.
    const std::string& SkipReason() const { return skip_; }
    // The mounted folder.
    const std::string& Root() const { return mountPoint_; }
    // The sshfs process (0 for other media), for measuring what it sends.
    int SshfsPid() const;

private:
    bool Mount();
    bool StartSshd();
    void Unmount();

    MediumKind kind_;
    TempTree work_;
    std::string skip_, mountPoint_, image_, loop_;
    long long imageBytes_ = 0;
    int sshdPid_ = -1;
    bool mounted_ = false;
};

// Runs a program (found on PATH) with args, output going to log; its exit status, -1 when
// it could not be started or did not exit normally.
int RunProgram(const std::vector<std::string>& args, const std::string& log = "/dev/null");
// Starts a program in the background, output going to log; its pid, -1 when it could not
// be started.
int StartProgram(const std::vector<std::string>& args, const std::string& log = "/dev/null");
// Whether a program is found on PATH (or in /sbin, /usr/sbin).
bool HaveProgram(const std::string& name);

} // namespace corvane::test
