// First copies into an empty folder by `corvane --run`, timed beside `cp -a` of the same tree
// onto the same file system in the same run, with the automatic number of copy workers and,
// for small files, with one worker:
//   shm small     FILES small files (64 B to 16 KiB, about 50 per folder), tmpfs to tmpfs
//   sshfs small   FILES/5 small files from tmpfs onto an sshfs share from a local sshd
//   btrfs, xfs    two files of SIZE MiB, source and destination on one loop-mounted image,
//                 beside `cp -a --reflink=never` (the copy of the bytes) and
//                 `cp -a --reflink=always`
//   disk/shm medium, large
//                 2,000 files of 64 KiB to 1 MiB and two of SIZE/2 MiB from tmpfs onto the
//                 data folder's disk and from that disk onto tmpfs (different file systems)
//   parallel_bench [DATA_FOLDER]   (default /tmp/corvane-parallel-bench)
//   FILES=n      small files (100000)          SIZE=n   MiB per large file (1024)
//   MEDIUM_FILES=n (2000)   ROUNDS=n (3; a case whose first round takes over 30 s gets one)
//   SHM_FOLDER=path   the tmpfs folder (default /dev/shm)
//   ONLY=text    runs only the cases whose name contains text ("sshfs", "large", ...)
//   CORVANE_EXE=path         the corvane executable (bench/run.sh sets it)
//   CORVANE_EXE_BEFORE=path  another build, timed in every case beside the others
// The tools run in an order rotated by one each round; each figure is the median of the
// rounds. Mounts need root; a medium that cannot be mounted prints "skipped".
#include "BenchTree.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/Mounts.h"

#include <fcntl.h>
#include <functional>
#include <linux/fiemap.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;
using namespace corvane::test;

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// One way of making a copy of source at dest (a folder that does not exist yet); false when
// it failed.
struct tTool {
    std::string Label;
    std::function<bool(const std::string& source, const std::string& dest)> Copy;
    bool IsCorvane = false;
};

std::string gHome, gLastResult;

bool Wanted(const std::string& name) {
    const char* only = std::getenv("ONLY");
    return !only || name.find(only) != std::string::npos;
}

// Stores a mirror profile "bench" from left to right and the copy-worker setting (0 is
// automatic).
void StoreProfile(const std::string& left, const std::string& right, int workers) {
    // Empty folders too: cp -a copies them as well.
    if (!StoreMirrorProfile(gHome, left, right, true, workers)) std::exit(1);
}

tTool Corvane(const std::string& label, const std::string& exe, int workers) {
    return {label,
            [exe, workers](const std::string& source, const std::string& dest) {
                mkdir(dest.c_str(), 0755);
                StoreProfile(source, dest, workers);
                setenv("HOME", gHome.c_str(), 1);
                const std::string out = gHome + "/out";
                unlink(out.c_str());
                const int rc = RunProgram({exe, "--run", "bench"}, out);
                std::ifstream in(out);
                std::getline(in, gLastResult);
                return rc == 0;
            },
            true};
}

tTool Cp(const std::string& label, std::vector<std::string> options) {
    return {label, [options](const std::string& source, const std::string& dest) {
                std::vector<std::string> args{"cp", "-a"};
                args.insert(args.end(), options.begin(), options.end());
                args.push_back(source);
                args.push_back(dest);
                return RunProgram(args) == 0;
            }};
}

struct tTreeSize {
    long Files = 0;
    long long Bytes = 0;
    bool operator==(const tTreeSize&) const = default;
};

tTreeSize SizeOf(const std::string& root) {
    tTreeSize s;
    std::error_code ec;
    for (auto it = std::filesystem::recursive_directory_iterator(root, ec);
         !ec && it != std::filesystem::recursive_directory_iterator(); it.increment(ec))
        if (it->is_regular_file(ec)) {
            ++s.Files;
            s.Bytes += static_cast<long long>(it->file_size(ec));
        }
    return s;
}

// The share of a file's bytes in extents it shares with another file (a reflink), in
// percent; -1 when the file's extents cannot be listed.
double SharedPercent(const std::string& path) {
    const int fd = open(path.c_str(), O_RDONLY);
    if (fd < 0) return -1;
    struct stat st {};
    fstat(fd, &st);
    constexpr unsigned kExtents = 256;
    std::vector<char> buf(sizeof(fiemap) + kExtents * sizeof(fiemap_extent));
    auto* map = reinterpret_cast<fiemap*>(buf.data());
    unsigned long long start = 0, shared = 0;
    bool ok = true, last = false;
    while (ok && !last && start < static_cast<unsigned long long>(st.st_size)) {
        std::fill(buf.begin(), buf.end(), 0);
        map->fm_start = start;
        map->fm_length = FIEMAP_MAX_OFFSET - start;
        map->fm_flags = FIEMAP_FLAG_SYNC;
        map->fm_extent_count = kExtents;
        ok = ioctl(fd, FS_IOC_FIEMAP, map) == 0;
        if (!ok || map->fm_mapped_extents == 0) break;
        for (unsigned i = 0; i < map->fm_mapped_extents; ++i) {
            const fiemap_extent& e = map->fm_extents[i];
            if (e.fe_flags & FIEMAP_EXTENT_SHARED) shared += e.fe_length;
            start = e.fe_logical + e.fe_length;
            if (e.fe_flags & FIEMAP_EXTENT_LAST) last = true;
        }
    }
    close(fd);
    if (!ok) return -1;
    return st.st_size > 0 ? 100.0 * static_cast<double>(shared) / static_cast<double>(st.st_size)
                          : 0;
}

// A tree of small files (64 B to 16 KiB) of three folder levels, with a fan-out chosen for
// about 50 files per folder.
void MakeSmallTree(const std::string& root, int files) {
    int fanout = 1;
    while (1 + fanout + fanout * fanout + fanout * fanout * fanout < files / 50)
        ++fanout;
    MakeTree(root, files, 3, fanout, 16 * 1024 - 64);
}

double Median(std::vector<double> v) {
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

void Print(const std::string& label, int digits, double value) {
    std::printf("%s: %.*f\n", label.c_str(), digits, value);
    std::fflush(stdout);
}

// Times every tool copying source into fresh folders under work, in rounds with the order
// rotated, and prints each tool's median, then the ratios of every corvane figure to the
// peers (tools[peer...]); aims[i] is printed beside the ratio to tools[peers[i]].
void RunCase(const std::string& name, const std::string& source, const std::string& work,
             const std::vector<tTool>& tools, const std::vector<std::pair<int, std::string>>& peers,
             int rounds, bool roundsGiven, const std::string& sharedFile = "") {
    std::filesystem::create_directories(work);
    const tTreeSize model = SizeOf(source);
    std::vector<std::vector<double>> times(tools.size());
    std::vector<std::string> problems;
    std::string result;
    for (int round = 0; round < rounds; ++round) {
        const auto roundStart = std::chrono::steady_clock::now();
        for (std::size_t k = 0; k < tools.size(); ++k) {
            const std::size_t i = (k + static_cast<std::size_t>(round)) % tools.size();
            const std::string dest = work + "/t" + std::to_string(i) + "-r" + std::to_string(round);
            sync();
            const auto start = std::chrono::steady_clock::now();
            const bool ok = tools[i].Copy(source, dest);
            times[i].push_back(Seconds(start));
            if (tools[i].IsCorvane && i == 0) result = gLastResult;
            if (!ok) problems.push_back(tools[i].Label + " failed");
            if (round == 0) {
                const tTreeSize got = SizeOf(dest);
                if (!(got == model))
                    problems.push_back(tools[i].Label + " copied " + std::to_string(got.Files) +
                                       " files, " + std::to_string(got.Bytes) + " bytes");
                if (!sharedFile.empty())
                    std::printf("%s %s bytes shared with the source %%: %.0f\n", name.c_str(),
                                tools[i].Label.c_str(), SharedPercent(dest + "/" + sharedFile));
            }
        }
        // Copies on local file systems go straight away; on a share they stay until it is
        // unmounted (removing them there would take as long as the copies).
        if (name.rfind("sshfs", 0) != 0) std::filesystem::remove_all(work);
        std::filesystem::create_directories(work);
        if (round == 0 && !roundsGiven && Seconds(roundStart) > 30) rounds = 1;
    }
    std::printf("%s files, MiB: %ld, %.0f\n", name.c_str(), model.Files,
                static_cast<double>(model.Bytes) / (1 << 20));
    std::printf("%s rounds: %d\n", name.c_str(), rounds);
    if (!result.empty()) std::printf("%s result: %s\n", name.c_str(), result.c_str());
    for (const std::string& p : problems)
        std::printf("%s problem: %s\n", name.c_str(), p.c_str());
    std::vector<double> medians;
    for (std::size_t i = 0; i < tools.size(); ++i) {
        medians.push_back(Median(times[i]));
        Print(name + " " + tools[i].Label + " s", 3, medians.back());
    }
    for (std::size_t i = 0; i < tools.size(); ++i) {
        if (!tools[i].IsCorvane) continue;
        for (const auto& [peer, aim] : peers)
            Print(name + " ratio " + tools[i].Label + "/" + tools[peer].Label +
                      (aim.empty() || i != 0 ? "" : " (aim " + aim + ")"),
                  2, medians[peer] > 0 ? medians[i] / medians[peer] : 0.0);
    }
    // The other build: the new one's time over its time.
    for (std::size_t i = 0; i < tools.size(); ++i)
        if (tools[i].Label == "before")
            Print(name + " ratio corvane/before", 2,
                  medians[i] > 0 ? medians[0] / medians[i] : 0.0);
    std::filesystem::remove_all(work);
}

} // namespace

int main(int argc, char** argv) {
    const std::string data = argc > 1 ? argv[1] : "/tmp/corvane-parallel-bench";
    const int files = std::max(1, EnvInt("FILES", 100000));
    const int mediumFiles = std::max(1, EnvInt("MEDIUM_FILES", 2000));
    int sizeMiB = std::max(1, EnvInt("SIZE", 1024));
    const bool roundsGiven = std::getenv("ROUNDS") && *std::getenv("ROUNDS");
    const int rounds = std::max(1, EnvInt("ROUNDS", 3));
    const char* exeEnv = std::getenv("CORVANE_EXE");
    const std::string exe = exeEnv ? exeEnv : "build-bench/corvane";
    const char* before = std::getenv("CORVANE_EXE_BEFORE");
    const char* shmEnv = std::getenv("SHM_FOLDER");
    const std::string shm = (shmEnv ? std::string(shmEnv) : std::string("/dev/shm")) +
                            "/corvane-parallel-bench-" + std::to_string(getpid());
    std::filesystem::remove_all(data);
    gHome = data + "/home";
    std::filesystem::create_directories(gHome);
    std::filesystem::create_directories(shm);

    // Every case's tools: corvane (automatic workers) first, then the peers.
    auto withBefore = [&](std::vector<tTool> tools) {
        if (before) tools.push_back(Corvane("before", before, 0));
        return tools;
    };
    const std::vector<tTool> small = withBefore(
        {Corvane("corvane", exe, 0), Corvane("corvane 1 worker", exe, 1), Cp("cp -a", {})});
    const std::vector<tTool> plain = withBefore({Corvane("corvane", exe, 0), Cp("cp -a", {})});

    if (Wanted("shm small")) {
        const std::string source = shm + "/small";
        MakeSmallTree(source, files);
        RunCase("shm small", source, shm + "/work", small, {{2, "0.8"}}, rounds, roundsGiven);
        std::filesystem::remove_all(source);
    }
    if (Wanted("sshfs small")) {
        const std::string source = shm + "/small-sshfs";
        MakeSmallTree(source, std::max(1, files / 5));
        MountedMedium medium(MediumKind::Sshfs);
        if (!medium.SkipReason().empty())
            std::printf("sshfs small: skipped (%s)\n", medium.SkipReason().c_str());
        else
            RunCase("sshfs small", source, medium.Root() + "/work", small, {{2, "0.6"}}, rounds,
                    roundsGiven);
        std::filesystem::remove_all(source);
    }

    // Large files on one copy-on-write file system: the source, the byte copy and corvane's
    // copy (a byte copy too where the program copies bytes) must fit.
    const auto diskFree = std::filesystem::space(data).available;
    while (sizeMiB > 16 && static_cast<uintmax_t>(sizeMiB) * 2 * 4 * (1 << 20) > diskFree / 2)
        sizeMiB /= 2;
    std::printf("large MiB per file: %d\n", sizeMiB);
    for (MediumKind kind : {MediumKind::Btrfs, MediumKind::Xfs}) {
        const std::string name = MediumName(kind);
        if (!Wanted(name + " large")) continue;
        MountedMedium medium(kind, static_cast<long long>(sizeMiB) * 2 * 4 * (1 << 20) + (1 << 30));
        if (!medium.SkipReason().empty()) {
            std::printf("%s large: skipped (%s)\n", name.c_str(), medium.SkipReason().c_str());
            continue;
        }
        const std::string source = medium.Root() + "/source";
        std::filesystem::create_directories(source);
        for (int i = 0; i < 2; ++i)
            WriteRandomFile(source + "/large" + std::to_string(i) + ".bin",
                            static_cast<size_t>(sizeMiB) << 20, 100 + i, 1600000000);
        const std::vector<tTool> reflink =
            withBefore({Corvane("corvane", exe, 0), Cp("cp plain", {"--reflink=never"}),
                        Cp("cp reflink", {"--reflink=always"})});
        RunCase(name + " large", source, medium.Root() + "/work", reflink, {{1, "0.1"}, {2, ""}},
                rounds, roundsGiven, "large0.bin");
    }

    // Medium and large files across file systems, both ways between tmpfs and the disk.
    if (Wanted("disk medium") || Wanted("shm medium")) {
        const std::string onShm = shm + "/medium", onDisk = data + "/medium";
        for (const std::string& root : {onShm, onDisk}) {
            std::mt19937 rng(7);
            for (int i = 0; i < mediumFiles; ++i) {
                const std::string folder = root + "/dir" + std::to_string(i % 20);
                std::filesystem::create_directories(folder);
                WriteRandomFile(folder + "/file" + std::to_string(i) + ".bin",
                                64 * 1024 + rng() % (960 * 1024 + 1), i + 1, 1600000000 + i);
            }
        }
        RunCase("disk medium", onShm, data + "/work", plain, {{1, "1.05"}}, rounds, roundsGiven);
        RunCase("shm medium", onDisk, shm + "/work", plain, {{1, "1.05"}}, rounds, roundsGiven);
        std::filesystem::remove_all(onShm);
        std::filesystem::remove_all(onDisk);
    }
    if (Wanted("disk large") || Wanted("shm large")) {
        const std::string onShm = shm + "/large", onDisk = data + "/large";
        for (const std::string& root : {onShm, onDisk}) {
            std::filesystem::create_directories(root);
            for (int i = 0; i < 2; ++i)
                WriteRandomFile(root + "/large" + std::to_string(i) + ".bin",
                                static_cast<size_t>(sizeMiB / 2) << 20, 200 + i, 1600000000);
        }
        RunCase("disk large", onShm, data + "/work", plain, {{1, "1.05"}}, rounds, roundsGiven);
        RunCase("shm large", onDisk, shm + "/work", plain, {{1, "1.05"}}, rounds, roundsGiven);
    }
    std::filesystem::remove_all(shm);
    std::filesystem::remove_all(data);
    return 0;
}
