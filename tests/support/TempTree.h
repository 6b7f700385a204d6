// Real folder trees in a fresh temporary folder, removed again at the end of the test.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace corvane::test {

class TempTree {
public:
    TempTree();
    ~TempTree();
    TempTree(const TempTree&) = delete;
    TempTree& operator=(const TempTree&) = delete;

    const std::string& Root() const { return root_; }
    // Absolute path of rel ("" is the root itself).
    std::string Path(const std::string& rel) const;

    // Writes a file (parents created) with the given contents and, when mtime is not 0,
    // modification time (seconds since 1970).
    void WriteFile(const std::string& rel, const std::string& contents, int64_t mtime = 0) const;
    void MakeFolder(const std::string& rel) const;
    void MakeLink(const std::string& rel, const std::string& target) const;
    void SetTime(const std::string& rel, int64_t mtime) const;
    void SetMode(const std::string& rel, unsigned mode) const;

    bool Exists(const std::string& rel) const; // lstat succeeds
    bool IsFolder(const std::string& rel) const;
    bool IsLink(const std::string& rel) const;
    std::string ReadFile(const std::string& rel) const;
    int64_t Time(const std::string& rel) const; // lstat modification time
    unsigned Mode(const std::string& rel) const; // permission bits
    // Every item below rel as sorted relative paths ("a", "a/b.txt", ...); folders end in "/".
    std::vector<std::string> List(const std::string& rel = "") const;

private:
    std::string root_;
};

// Runs fn in a forked child process and returns its exit status; -1 when it did not exit
// normally. An exception escaping fn gives 125.
int RunInChild(const std::function<int()>& fn);

// Runs fn in a child process as the unprivileged user nobody (so permission checks apply
// even when the tests run as root) and returns its exit status; -1 when the child could
// not switch users. Files the child touches must be reachable by nobody.
int RunAsNobody(const std::function<int()>& fn);

// Whether permission checks apply to this process (false for root).
bool PermissionsApply();

} // namespace corvane::test
