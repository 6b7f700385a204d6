// The thin layer through which the executor touches single files, and the small path and
// text helpers shared by the executor, the status window and the log.
//
// Nothing here raises or shows anything: operations return a Boolean (or a count) and leave
// the system error number in the file object's LastError.
#pragma once

#include "profiles/FileList.h"

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/types.h>

namespace corvane {

// Abstract status record: carries a file's times, permission bits and owner to another file.
class tNxFileStat {
public:
    virtual ~tNxFileStat() = default;
};

// Status record holding the system's stat data; zero-filled when the stat call failed.
class tOrvelLinuxStat : public tNxFileStat {
public:
    struct stat StatData {};
};

// Abstract file: a name, the last system error and the operations the executor uses.
// Status records returned by the operations are owned by the caller.
class tNxFile {
public:
    tNxFile() = default;
    virtual ~tNxFile() = default;
    tNxFile(const tNxFile&) = delete;
    tNxFile& operator=(const tNxFile&) = delete;

    // errno of the last failed operation; 0 after construction, never cleared by a success
    // (SetAttributes sets it to 0 when the mode change works).
    int32_t LastError = 0;
    // The path the object works on; assigned directly by the caller, replaced by Rename.
    std::string FileName;

    // Copy of stat with the write bits 0222 cleared.
    virtual std::unique_ptr<tNxFileStat> WithoutWriteBits(const tNxFileStat& stat) = 0;
    // Copy of stat with the owner write bit 0200 set.
    virtual std::unique_ptr<tNxFileStat> WithOwnerWrite(const tNxFileStat& stat) = 0;
    // True when the effective user may not write FileName (also when it does not exist).
    virtual bool IsReadOnly() = 0;
    // True when stat has none of the write bits 0222.
    virtual bool StatIsReadOnly(const tNxFileStat& stat) = 0;
    // Status of the open file, else of FileName (links followed); zero-filled on failure.
    virtual std::unique_ptr<tNxFileStat> GetStat() = 0;
    // Sets FileName's access and modification times (to the nanosecond where the file system
    // keeps them) from stat, by name, also while open. False with LastError on failure.
    virtual bool SetTimes(const tNxFileStat& stat) = 0;
    // Sets owner, group and mode from stat (through the open descriptor when there is one).
    // A refused owner change is not a failure; the result is the mode change's. LastError is
    // 0 on success, errno on failure.
    virtual bool SetAttributes(const tNxFileStat& stat) = 0;

    // Size of the open file; leaves the position at 0 afterwards. -1 with LastError on failure.
    // Read, Write, Seek and GetSize fail with LastError EBADF when no file is open.
    virtual int64_t GetSize() = 0;
    // Opens FileName read-only; no lock is taken whatever denyWrite says. False with
    // LastError and Handle 0 on failure.
    virtual bool OpenRead(bool denyWrite) = 0;
    // Creates or truncates FileName for reading and writing, mode 0666 less the umask.
    virtual bool CreateFile() = 0;
    // Opens the existing FileName for reading and writing without truncating it.
    virtual bool OpenShared() = 0;
    // Closes the open file (if any); Handle is 0 afterwards. False with LastError when the
    // system reported an error on close (written data may be lost).
    virtual bool Close() = 0;
    // Unlinks FileName; LastError is left alone.
    virtual bool DeleteFile() = 0;
    // rename(FileName, newName), never copying across file systems; FileName := newName on
    // success, LastError on failure.
    virtual bool Rename(const std::string& newName) = 0;
    // Bytes read, 0 at end of file, -1 with LastError on error. count must not be negative.
    virtual int32_t Read(void* buffer, int32_t count) = 0;
    // Bytes written, -1 with LastError on error. count must not be negative.
    virtual int32_t Write(const void* buffer, int32_t count) = 0;
    // Absolute seek; false with LastError when the position could not be reached.
    virtual bool Seek(int64_t position) = 0;
};

// File over the system's descriptor calls. The destructor closes an open file.
class tOrvelFile : public tNxFile {
public:
    ~tOrvelFile() override;

    // Open descriptor, 0 when no file is open (an open file always has a descriptor > 0).
    int32_t Handle = 0;

    int Fd() const { return Handle; }

    int64_t GetSize() override;
    bool OpenRead(bool denyWrite) override;
    bool CreateFile() override;
    bool OpenShared() override;
    bool Close() override;
    bool DeleteFile() override;
    bool Rename(const std::string& newName) override;
    int32_t Read(void* buffer, int32_t count) override;
    int32_t Write(const void* buffer, int32_t count) override;
    bool Seek(int64_t position) override;

protected:
    // Opens FileName with flags (close-on-exec added) and mode; any open file is closed first.
    bool OpenWith(int flags, mode_t mode);
    // True when a file is open, else false with LastError EBADF.
    bool CheckOpen();
};

class tOrvelLinuxFile : public tOrvelFile {
public:
    std::unique_ptr<tNxFileStat> WithoutWriteBits(const tNxFileStat& stat) override;
    std::unique_ptr<tNxFileStat> WithOwnerWrite(const tNxFileStat& stat) override;
    bool IsReadOnly() override;
    bool StatIsReadOnly(const tNxFileStat& stat) override;
    std::unique_ptr<tNxFileStat> GetStat() override;
    bool SetTimes(const tNxFileStat& stat) override;
    bool SetAttributes(const tNxFileStat& stat) override;

    // GetStat with the concrete record type, for callers that read the fields.
    std::unique_ptr<tOrvelLinuxStat> GetLinuxStat();
    // SetTimes through the open descriptor (futimens); false with LastError when not open
    // (EBADF) or on failure.
    bool SetTimesFd(const tNxFileStat& stat);
    // Creates FileName for reading and writing only when it does not exist yet (O_EXCL), with
    // the given mode less the umask (e.g. 0600 for temporary files). False with LastError
    // (EEXIST when the name is taken).
    bool CreateExclusive(mode_t mode);
    // Creates an unnamed file in folder ("" for the current folder) for writing only, with
    // the given mode less the umask (O_TMPFILE): it vanishes when it is closed unless it got a
    // name first (linkat of Fd()). FileName stays "". False with LastError (EOPNOTSUPP,
    // EISDIR or EINVAL where the file system or the system makes no unnamed files).
    bool CreateUnnamed(const std::string& folder, mode_t mode);
    // Renames FileName to newName only when newName does not exist; never copies across file
    // systems. False with LastError (EEXIST when the target exists; both files stay intact).
    // FileName := newName on success.
    bool RenameNoReplace(const std::string& newName);
};

// The three parts of a path: Folder up to and including the last "/", Extension from the last
// "." of the last element (with the dot; empty when there is none), Name the rest.
struct tPathParts {
    std::string Folder;
    std::string Name;
    std::string Extension;
};

// "0.488 kB", "1.000 MB", "3.000 GB": three decimals, binary units, size taken as unsigned.
std::string SizeText(int64_t size);
// A file time (seconds since 1970) as local date and time text.
std::string DateText(int64_t time);
std::string DateText(const TSearchRec& rec);
// text cut to width bytes, or padded with blanks on the right to exactly width bytes.
std::string PadRight(std::string_view text, std::size_t width);
tPathParts SplitPath(std::string_view path);
// Absolute path with every link resolved and no "." or ".."; "" when path does not exist.
std::string CanonicalPath(const std::string& path);
// Whether the process could change into path (a folder it may search); "" counts as
// accessible. Never changes the current folder.
bool FolderAccessible(const std::string& path);
// Makes sure the folder path exists, creating missing parents first (mode 0777 less the
// umask), and adds 1 to created for every folder made. False when a folder could not be
// made; nothing below it is created then. Never changes the current folder.
bool ForceFolders(const std::string& path, int32_t& created);

} // namespace corvane
