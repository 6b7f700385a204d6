#include "support/TempTree.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <grp.h>
#include <pwd.h>
#include <sstream>
#include <stdexcept>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace fs = std::filesystem;

namespace corvane::test {

namespace {

void Check(bool ok, const std::string& what) {
    if (!ok) throw std::runtime_error(what + ": " + std::strerror(errno));
}

// Deleted files go to the desktop's trash: the tests' own go to a data folder of their own,
// never into the trash of whoever runs them. A test that looks at a trash sets the variable
// itself.
struct tTestDataHome {
    std::string Folder;
    pid_t Owner = getpid();
    tTestDataHome() {
        std::string tmpl = (fs::temp_directory_path() / "corvane-data-XXXXXX").string();
        if (mkdtemp(tmpl.data()) == nullptr) return;
        Folder = tmpl;
        chmod(Folder.c_str(), 0777);
        setenv("XDG_DATA_HOME", Folder.c_str(), 1);
    }
    ~tTestDataHome() {
        std::error_code ec;
        if (!Folder.empty() && getpid() == Owner) fs::remove_all(Folder, ec);
    }
};
const tTestDataHome testDataHome;

} // namespace

TempTree::TempTree() {
    std::string tmpl = (fs::temp_directory_path() / "corvane-test-XXXXXX").string();
    Check(mkdtemp(tmpl.data()) != nullptr, "mkdtemp");
    root_ = tmpl;
    // Reachable by the unprivileged user of RunAsNobody.
    chmod(root_.c_str(), 0777);
}

TempTree::~TempTree() {
    std::error_code ec;
    // Give back permissions a test took away so that everything can be removed.
    for (auto it = fs::recursive_directory_iterator(root_, fs::directory_options::skip_permission_denied, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec) && !it->is_symlink(ec)) chmod(it->path().c_str(), 0777);
    }
    fs::remove_all(root_, ec);
}

std::string TempTree::Path(const std::string& rel) const {
    return rel.empty() ? root_ : root_ + "/" + rel;
}

void TempTree::WriteFile(const std::string& rel, const std::string& contents, int64_t mtime) const {
    fs::path p = Path(rel);
    fs::create_directories(p.parent_path());
    std::ofstream out(p, std::ios::binary | std::ios::trunc);
    Check(out.good(), "open " + p.string());
    out << contents;
    out.close();
    if (mtime != 0) SetTime(rel, mtime);
}

void TempTree::MakeFolder(const std::string& rel) const { fs::create_directories(Path(rel)); }

void TempTree::MakeLink(const std::string& rel, const std::string& target) const {
    fs::path p = Path(rel);
    fs::create_directories(p.parent_path());
    Check(symlink(target.c_str(), p.c_str()) == 0, "symlink " + p.string());
}

void TempTree::SetTime(const std::string& rel, int64_t mtime) const {
    timespec times[2];
    times[0].tv_sec = times[1].tv_sec = mtime;
    times[0].tv_nsec = times[1].tv_nsec = 0;
    Check(utimensat(AT_FDCWD, Path(rel).c_str(), times, AT_SYMLINK_NOFOLLOW) == 0,
          "utimensat " + rel);
}

void TempTree::SetMode(const std::string& rel, unsigned mode) const {
    Check(chmod(Path(rel).c_str(), mode) == 0, "chmod " + rel);
}

bool TempTree::Exists(const std::string& rel) const {
    struct stat st;
    return lstat(Path(rel).c_str(), &st) == 0;
}

bool TempTree::IsFolder(const std::string& rel) const {
    struct stat st;
    return lstat(Path(rel).c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool TempTree::IsLink(const std::string& rel) const {
    struct stat st;
    return lstat(Path(rel).c_str(), &st) == 0 && S_ISLNK(st.st_mode);
}

std::string TempTree::ReadFile(const std::string& rel) const {
    std::ifstream in(Path(rel), std::ios::binary);
    Check(in.good(), "read " + rel);
    std::ostringstream s;
    s << in.rdbuf();
    return s.str();
}

int64_t TempTree::Time(const std::string& rel) const {
    struct stat st;
    Check(lstat(Path(rel).c_str(), &st) == 0, "lstat " + rel);
    return st.st_mtime;
}

unsigned TempTree::Mode(const std::string& rel) const {
    struct stat st;
    Check(lstat(Path(rel).c_str(), &st) == 0, "lstat " + rel);
    return st.st_mode & 07777;
}

std::vector<std::string> TempTree::List(const std::string& rel) const {
    std::vector<std::string> out;
    std::string base = Path(rel);
    for (auto it = fs::recursive_directory_iterator(base); it != fs::recursive_directory_iterator(); ++it) {
        std::string r = it->path().string().substr(base.size() + 1);
        if (it->is_directory() && !it->is_symlink()) r += "/";
        out.push_back(r);
    }
    std::sort(out.begin(), out.end());
    return out;
}

int RunInChild(const std::function<int()>& fn) {
    pid_t pid = fork();
    if (pid < 0) return -1;
    if (pid == 0) {
        int rc = 125;
        try {
            rc = fn();
        } catch (...) {
        }
        _exit(rc);
    }
    int status = 0;
    if (waitpid(pid, &status, 0) < 0 || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

int RunAsNobody(const std::function<int()>& fn) {
    constexpr int kCannotSwitch = 126;
    int rc = RunInChild([&] {
        if (geteuid() == 0) {
            struct passwd* pw = getpwnam("nobody");
            uid_t uid = pw ? pw->pw_uid : 65534;
            gid_t gid = pw ? pw->pw_gid : 65534;
            if (setgroups(0, nullptr) != 0 || setgid(gid) != 0 || setuid(uid) != 0)
                return kCannotSwitch;
        }
        return fn();
    });
    return rc == kCannotSwitch ? -1 : rc;
}

bool PermissionsApply() { return geteuid() != 0; }

} // namespace corvane::test
