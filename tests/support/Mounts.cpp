#include "support/Mounts.h"

#include <arpa/inet.h>
#include <chrono>
#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <netinet/in.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

extern char** environ;

namespace corvane::test {

namespace {

std::vector<char*> Argv(const std::vector<std::string>& args) {
    std::vector<char*> argv;
    for (const std::string& a : args)
        argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    return argv;
}

// Starts a program in the background; its pid, -1 when it could not be started.
int Spawn(const std::vector<std::string>& args, const std::string& log) {
    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_addopen(&actions, 0, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_addopen(&actions, 1, log.c_str(), O_WRONLY | O_CREAT | O_APPEND, 0644);
    posix_spawn_file_actions_adddup2(&actions, 1, 2);
    std::vector<char*> argv = Argv(args);
    pid_t pid = -1;
    const int rc = posix_spawnp(&pid, argv[0], &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    return rc == 0 ? pid : -1;
}

// A free port on 127.0.0.1.
int FreePort() {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof addr;
    int port = -1;
    if (bind(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0 &&
        getsockname(s, reinterpret_cast<sockaddr*>(&addr), &len) == 0)
        port = ntohs(addr.sin_port);
    close(s);
    return port;
}

bool Accepts(int port) {
    const int s = socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    addr.sin_port = htons(static_cast<uint16_t>(port));
    const bool ok = connect(s, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
    close(s);
    return ok;
}

bool MakeImage(const std::string& path, off_t size) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0) return false;
    const bool ok = ftruncate(fd, size) == 0;
    close(fd);
    return ok;
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

} // namespace

const char* MediumName(MediumKind kind) {
    switch (kind) {
    case MediumKind::Fat32:
        return "FAT32";
    case MediumKind::ExFat:
        return "exFAT";
    case MediumKind::Ntfs:
        return "NTFS";
    case MediumKind::Btrfs:
        return "btrfs";
    case MediumKind::Xfs:
        return "xfs";
    case MediumKind::Sshfs:
        return "sshfs";
    }
    return "?";
}

int StartProgram(const std::vector<std::string>& args, const std::string& log) {
    return Spawn(args, log);
}

int RunProgram(const std::vector<std::string>& args, const std::string& log) {
    const int pid = Spawn(args, log);
    if (pid < 0) return -1;
    int status = 0;
    if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
    return WEXITSTATUS(status);
}

bool HaveProgram(const std::string& name) {
    std::string path = getenv("PATH") ? getenv("PATH") : "";
    path += ":/sbin:/usr/sbin";
    std::size_t start = 0;
    while (start <= path.size()) {
        const std::size_t end = path.find(':', start);
        const std::string dir = path.substr(start, end - start);
        if (!dir.empty() && access((dir + "/" + name).c_str(), X_OK) == 0) return true;
        if (end == std::string::npos) break;
        start = end + 1;
    }
    return false;
}

MountedMedium::MountedMedium(MediumKind kind, long long imageBytes)
    : kind_(kind), imageBytes_(imageBytes) {
    if (geteuid() != 0) {
        skip_ = "mounting needs root";
        return;
    }
    const bool fuse = kind == MediumKind::Fat32 || kind == MediumKind::ExFat ||
                      kind == MediumKind::Ntfs || kind == MediumKind::Sshfs;
    if (fuse) {
        const int fd = open("/dev/fuse", O_RDWR);
        if (fd < 0) {
            skip_ = "/dev/fuse cannot be opened";
            return;
        }
        close(fd);
    }
    mountPoint_ = work_.Path("mnt");
    work_.MakeFolder("mnt");
    if (!Mount()) {
        if (skip_.empty()) skip_ = "the mount was refused";
        const std::string log = ReadAll(work_.Path("log"));
        if (!log.empty()) skip_ += ": " + log.substr(0, 400);
        Unmount();
    }
}

MountedMedium::~MountedMedium() {
    Unmount();
}

bool MountedMedium::Mount() {
    const std::string log = work_.Path("log");
    image_ = work_.Path("image");
    auto need = [&](std::initializer_list<const char*> programs) {
        for (const char* p : programs) {
            if (!HaveProgram(p)) {
                skip_ =
                    std::string("the program ") + p + " is missing (see scripts/install-deps.sh)";
                return false;
            }
        }
        return true;
    };
    switch (kind_) {
    case MediumKind::Fat32:
        if (!need({"mkfs.vfat", "fusefat"}) || !MakeImage(image_, 64 << 20) ||
            RunProgram({"mkfs.vfat", "-F", "32", image_}, log) != 0 ||
            RunProgram({"fusefat", "-o", "rw+", image_, mountPoint_}, log) != 0)
            return false;
        break;
    case MediumKind::ExFat: {
        if (!need({"mkfs.exfat", "mount.exfat-fuse", "losetup"}) || !MakeImage(image_, 64 << 20) ||
            RunProgram({"mkfs.exfat", image_}, log) != 0)
            return false;
        // The FUSE driver takes a block device, as a desktop hands it a USB drive.
        const std::string loopLog = work_.Path("loop");
        if (RunProgram({"losetup", "-f", "--show", image_}, loopLog) != 0) return false;
        loop_ = ReadAll(loopLog);
        while (!loop_.empty() && (loop_.back() == '\n' || loop_.back() == ' '))
            loop_.pop_back();
        if (RunProgram({"mount.exfat-fuse", loop_, mountPoint_}, log) != 0) return false;
        break;
    }
    case MediumKind::Ntfs:
        if (!need({"mkfs.ntfs", "ntfs-3g"}) || !MakeImage(image_, 64 << 20) ||
            RunProgram({"mkfs.ntfs", "-F", "-Q", image_}, log) != 0 ||
            RunProgram({"ntfs-3g", image_, mountPoint_}, log) != 0)
            return false;
        break;
    case MediumKind::Btrfs:
        if (!need({"mkfs.btrfs", "mount"}) ||
            !MakeImage(image_, imageBytes_ > 0 ? imageBytes_ : 200 << 20) ||
            RunProgram({"mkfs.btrfs", "-q", image_}, log) != 0 ||
            RunProgram({"mount", "-o", "loop", image_, mountPoint_}, log) != 0)
            return false;
        break;
    case MediumKind::Xfs:
        if (!need({"mkfs.xfs", "mount"}) ||
            !MakeImage(image_, imageBytes_ > 0 ? imageBytes_ : 320 << 20) ||
            RunProgram({"mkfs.xfs", "-q", image_}, log) != 0 ||
            RunProgram({"mount", "-o", "loop", image_, mountPoint_}, log) != 0)
            return false;
        break;
    case MediumKind::Sshfs:
        if (!need({"sshfs", "sshd", "ssh-keygen", "fusermount3"}) || !StartSshd()) return false;
        break;
    }
    mounted_ = true;
    return true;
}

bool MountedMedium::StartSshd() {
    const std::string log = work_.Path("log");
    const std::string hostKey = work_.Path("host_key"), clientKey = work_.Path("client_key");
    if (RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", hostKey}, log) != 0 ||
        RunProgram({"ssh-keygen", "-q", "-t", "ed25519", "-N", "", "-f", clientKey}, log) != 0)
        return false;
    {
        std::ofstream keys(work_.Path("authorized_keys"));
        keys << ReadAll(clientKey + ".pub");
    }
    const int port = FreePort();
    const std::string sshd =
        HaveProgram("sshd") && access("/usr/sbin/sshd", X_OK) == 0 ? "/usr/sbin/sshd" : "sshd";
    std::string sftp = "internal-sftp";
    {
        std::ofstream config(work_.Path("sshd_config"));
        config << "Port " << port << "\nListenAddress 127.0.0.1\nHostKey " << hostKey
               << "\nAuthorizedKeysFile " << work_.Path("authorized_keys") << "\nPidFile "
               << work_.Path("sshd.pid")
               << "\nPermitRootLogin yes\nPasswordAuthentication no\n"
                  "KbdInteractiveAuthentication no\nStrictModes no\nUsePAM no\n"
                  "Subsystem sftp "
               << sftp << "\nLogLevel ERROR\n";
    }
    // sshd insists on its privilege-separation folder.
    mkdir("/run/sshd", 0755);
    sshdPid_ = Spawn({sshd, "-D", "-e", "-f", work_.Path("sshd_config")}, log);
    if (sshdPid_ < 0) return false;
    const auto until = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!Accepts(port)) {
        if (std::chrono::steady_clock::now() > until || waitpid(sshdPid_, nullptr, WNOHANG) != 0) {
            skip_ = "sshd did not start";
            return false;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    work_.MakeFolder("remote");
    return RunProgram({"sshfs", "-p", std::to_string(port), "-o",
                       "IdentityFile=" + clientKey +
                           ",StrictHostKeyChecking=no,UserKnownHostsFile=/dev/null,BatchMode=yes",
                       "root@127.0.0.1:" + work_.Path("remote"), mountPoint_},
                      log) == 0;
}

int MountedMedium::SshfsPid() const {
    if (kind_ != MediumKind::Sshfs || !mounted_) return 0;
    DIR* proc = opendir("/proc");
    if (!proc) return 0;
    int found = 0;
    while (dirent* d = readdir(proc)) {
        const int pid = atoi(d->d_name);
        if (pid <= 0) continue;
        std::string cmdline = ReadAll("/proc/" + std::string(d->d_name) + "/cmdline");
        for (char& c : cmdline)
            if (c == '\0') c = ' ';
        if (cmdline.rfind("sshfs ", 0) == 0 && cmdline.find(mountPoint_) != std::string::npos) {
            found = pid;
            break;
        }
    }
    closedir(proc);
    return found;
}

void MountedMedium::Unmount() {
    if (mounted_ || !mountPoint_.empty()) {
        const bool fuse = kind_ != MediumKind::Btrfs && kind_ != MediumKind::Xfs;
        if (mounted_) {
            if (!fuse || RunProgram({"fusermount3", "-u", mountPoint_}) != 0)
                RunProgram({"umount", mountPoint_});
            // FUSE drivers write their last data out as they end.
            for (int i = 0; i < 50 && RunProgram({"mountpoint", "-q", mountPoint_}) == 0; ++i)
                std::this_thread::sleep_for(std::chrono::milliseconds(100));
            if (RunProgram({"mountpoint", "-q", mountPoint_}) == 0)
                RunProgram({"umount", "-l", mountPoint_});
        }
        mounted_ = false;
    }
    if (!loop_.empty()) {
        for (int i = 0; i < 20 && RunProgram({"losetup", "-d", loop_}) != 0; ++i)
            std::this_thread::sleep_for(std::chrono::milliseconds(100));
        loop_.clear();
    }
    if (sshdPid_ > 0) {
        kill(sshdPid_, SIGTERM);
        waitpid(sshdPid_, nullptr, 0);
        sshdPid_ = -1;
    }
}

} // namespace corvane::test
