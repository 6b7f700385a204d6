// First runs onto real media beside `cp -a` of the same tree onto the same mount, and the
// requests an sshfs share receives per copied file.
//   media_bench [DATA_FOLDER]            (default /tmp/corvane-media-bench)
//   FILES=n                  number of files in the tree (400; 1 to 64 KiB, 4 of 1 MiB)
//   CORVANE_EXE=path         the corvane executable (bench/run.sh sets it)
//   CORVANE_EXE_BEFORE=path  another build to compare with on sshfs (optional)
// Needs root, /dev/fuse and the packages of scripts/install-deps.sh; media that cannot be
// mounted are reported as skipped. Per medium: the wall time of `corvane --run` of an exact
// mirror into an empty folder, of `cp -a`, their ratio, and whether the second run had
// nothing to do; on sshfs also the requests per file of a tree of 100 files of 1 KiB (writes
// of sshfs to its ssh channel, counted with strace) for corvane, cp -a and the optional
// other build, and that build's first-run time.
#include "BenchTree.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/Mounts.h"
#include "support/TempTree.h"

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <fstream>
#include <functional>
#include <map>
#include <sstream>
#include <sys/stat.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace corvane;
using namespace corvane::test;

namespace {

double Seconds(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    fn();
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
}

void MakeTree(const std::string& root, int files, std::size_t fixedSize = 0) {
    uint64_t x = 88172645463325252ull;
    auto next = [&] {
        x ^= x << 13;
        x ^= x >> 7;
        x ^= x << 17;
        return x;
    };
    for (int i = 0; i < files; ++i) {
        const std::string folder = root + "/folder" + std::to_string(i % 20);
        mkdir(root.c_str(), 0755);
        mkdir(folder.c_str(), 0755);
        const std::size_t size = fixedSize ? fixedSize
                                 : i < 4   ? (1u << 20)
                                           : 1024 + next() % (63 * 1024);
        std::string data(size, '\0');
        for (char& c : data)
            c = static_cast<char>(next());
        const std::string path = folder + "/file" + std::to_string(i) + ".dat";
        std::ofstream(path, std::ios::binary) << data;
        const timespec t[2] = {{1700000001 + i, 123456789}, {1700000001 + i, 123456789}};
        utimensat(AT_FDCWD, path.c_str(), t, 0);
    }
}

void StoreProfile(const std::string& home, const std::string& left, const std::string& right) {
    bench::StoreMirrorProfile(home, left, right, false);
}

std::string RunCorvane(const std::string& exe, const std::string& home) {
    setenv("HOME", home.c_str(), 1);
    const std::string out = home + "/out";
    unlink(out.c_str());
    RunProgram({exe, "--run", "bench"}, out);
    std::ifstream in(out);
    std::string line;
    std::getline(in, line);
    return line;
}

// Writes of the sshfs process to anything but /dev/fuse while fn runs: its requests to the
// server. -1 when strace cannot attach.
long Requests(int pid, const std::string& folder, const std::function<void()>& fn) {
    if (pid <= 0 || !HaveProgram("strace")) return -1;
    const std::string trace = folder + "/strace.out";
    unlink(trace.c_str());
    const int strace = StartProgram({"strace", "-f", "-qq", "-e", "trace=write,writev,sendmsg",
                                     "-o", trace, "-p", std::to_string(pid)});
    std::this_thread::sleep_for(std::chrono::milliseconds(500));
    fn();
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    kill(strace, SIGINT);
    waitpid(strace, nullptr, 0);
    std::map<int, bool> isFuse;
    auto fuse = [&](int fd) {
        auto it = isFuse.find(fd);
        if (it != isFuse.end()) return it->second;
        char target[256] = {};
        const std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
        const ssize_t n = readlink(link.c_str(), target, sizeof target - 1);
        return isFuse[fd] =
                   n > 0 && std::string(target, static_cast<std::size_t>(n)) == "/dev/fuse";
    };
    std::ifstream in(trace);
    std::string line;
    long count = 0;
    while (std::getline(in, line)) {
        const std::size_t open = line.find('(');
        if (open == std::string::npos) continue;
        const int fd = std::atoi(line.c_str() + open + 1);
        if (fd > 2 && !fuse(fd)) ++count;
    }
    return count;
}

} // namespace

int main(int argc, char** argv) {
    const std::string data = argc > 1 ? argv[1] : "/tmp/corvane-media-bench";
    const int files = std::getenv("FILES") ? std::atoi(std::getenv("FILES")) : 400;
    const char* exeEnv = std::getenv("CORVANE_EXE");
    const std::string exe = exeEnv ? exeEnv : "build/corvane";
    const char* before = std::getenv("CORVANE_EXE_BEFORE");
    RunProgram({"mkdir", "-p", data});
    const std::string source = data + "/source", home = data + "/home";
    RunProgram({"rm", "-rf", source, home});
    mkdir(home.c_str(), 0700);
    MakeTree(source, files);
    // Requests are counted on small files, where the data takes one write.
    const std::string small = data + "/small";
    RunProgram({"rm", "-rf", small});
    MakeTree(small, 100, 1024);
    std::printf("files per tree: %d\n", files);

    for (MediumKind kind : {MediumKind::Fat32, MediumKind::ExFat, MediumKind::Ntfs,
                            MediumKind::Btrfs, MediumKind::Xfs, MediumKind::Sshfs}) {
        const std::string name = MediumName(kind);
        MountedMedium medium(kind);
        if (!medium.SkipReason().empty()) {
            std::printf("%s: skipped (%s)\n", name.c_str(), medium.SkipReason().c_str());
            continue;
        }
        const std::string cpTarget = medium.Root() + "/cp", crvTarget = medium.Root() + "/corvane";
        const double cp = Seconds([&] { RunProgram({"cp", "-a", source, cpTarget}); });
        mkdir(crvTarget.c_str(), 0755);
        StoreProfile(home, source, crvTarget);
        std::string result;
        const double first = Seconds([&] { result = RunCorvane(exe, home); });
        const std::string again = RunCorvane(exe, home);
        std::printf("%s first run s: %.2f (%s)\n", name.c_str(), first, result.c_str());
        std::printf("%s cp -a s: %.2f\n", name.c_str(), cp);
        std::printf("%s first run / cp -a: %.2f\n", name.c_str(), cp > 0 ? first / cp : 0.0);
        std::printf("%s second run: %s\n", name.c_str(), again.c_str());
        if (kind != MediumKind::Sshfs) continue;

        const int pid = medium.SshfsPid();
        auto perFile = [&](long requests) { return requests < 0 ? -1.0 : double(requests) / 100; };
        const long cpRequests = Requests(pid, data, [&] {
            RunProgram({"cp", "-a", small, medium.Root() + "/cp2"});
        });
        const std::string target2 = medium.Root() + "/corvane2";
        mkdir(target2.c_str(), 0755);
        StoreProfile(home, small, target2);
        const long crvRequests = Requests(pid, data, [&] { RunCorvane(exe, home); });
        std::printf("sshfs requests per 1 KiB file, cp -a: %.1f\n", perFile(cpRequests));
        std::printf("sshfs requests per 1 KiB file, corvane: %.1f\n", perFile(crvRequests));
        if (before) {
            const std::string target3 = medium.Root() + "/before";
            mkdir(target3.c_str(), 0755);
            StoreProfile(home, small, target3);
            std::string beforeResult;
            const long beforeRequests =
                Requests(pid, data, [&] { beforeResult = RunCorvane(before, home); });
            const std::string target4 = medium.Root() + "/before-timed";
            mkdir(target4.c_str(), 0755);
            StoreProfile(home, source, target4);
            const double beforeTime = Seconds([&] { RunCorvane(before, home); });
            std::printf("sshfs requests per 1 KiB file, other build: %.1f (%s)\n",
                        perFile(beforeRequests), beforeResult.c_str());
            std::printf("sshfs first run s, other build: %.2f\n", beforeTime);
        }
    }
    RunProgram({"rm", "-rf", source, small, home});
    return 0;
}
