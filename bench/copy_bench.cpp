// Copies into an empty folder through ExecutePlan beside `cp -a` of the same data in the same
// run: (a) 100,000 small files, (b) 2,000 files of 64 KiB to 1 MiB, (c) three large files;
// on memory (/dev/shm) and on disk (DATA_FOLDER), in that order.
//   copy_bench [DATA_FOLDER]   (default /tmp/corvane-copy-bench)
//   SHM_FOLDER=path   the memory file system's folder ("" skips it; default /dev/shm)
//   SMALL_FILES=n     number of small files (100000)
//   MEDIUM_FILES=n    number of medium files (2000)
//   LARGE_MB=n        size of each large file in MiB (512)
//   ROUNDS=n          rounds per case; the best time of each figure is printed (2)
// The plan is built by the analysis step (scan and planning passes); the figures are the
// wall time of ExecutePlan alone, of scan plus execution, and of cp -a, with their ratios.
#include "BenchTree.h"
#include "engine/Analysis.h"
#include "engine/ConsolePort.h"
#include "engine/Executor.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

struct tTimes {
    double Execute = 0, Total = 0, Cp = 0;
    std::string Result;
};

tTimes ExecuteInto(const std::string& source, const std::string& dest) {
    std::filesystem::create_directories(dest);
    tProfile p;
    SetInitialValues(p);
    p.Name = "bench";
    p.LeftPath = source;
    p.RightPath = dest;
    p.RightToLeft = false;
    p.EmptyFolders = true; // cp -a copies empty folders as well
    p.Unattended = p.RunUnattended = true;
    p.Filter.rgState = 2; // "L to R"

    tTimes t;
    sync();
    auto start = std::chrono::steady_clock::now();
    if (!AnalyzeProfile(p)) {
        std::fprintf(stderr, "analysis failed: %s\n", p.LastRunResult.c_str());
        std::exit(1);
    }
    auto executeStart = std::chrono::steady_clock::now();
    ExecutePlan(p);
    t.Execute = Seconds(executeStart);
    t.Total = Seconds(start);
    t.Result = p.LastRunResult;
    return t;
}

// One round: ExecutePlan into a fresh empty folder and cp -a of the same source into another,
// in the given order (file systems get slower at making files as they age; alternating the
// order keeps that from favouring either side).
tTimes MeasureOnce(const std::string& source, const std::string& work, bool cpFirst) {
    const std::string dest = work + "/corvane", peer = work + "/cp";
    std::filesystem::remove_all(work);
    std::filesystem::create_directories(work);
    double cp = 0;
    auto runCp = [&] {
        sync();
        cp = TimeCommand("cp -a " + Quote(source) + " " + Quote(peer));
    };
    if (cpFirst) runCp();
    tTimes t = ExecuteInto(source, dest);
    if (!cpFirst) runCp();
    t.Cp = cp;
    // Both copies must hold the same data.
    TimeCommand("diff -r -q " + Quote(source) + " " + Quote(dest) + " >&2");
    std::filesystem::remove_all(work);
    return t;
}

// The best of `rounds` rounds for each figure (the machine is shared; the best is the least
// disturbed).
tTimes Measure(const std::string& source, const std::string& work, int rounds) {
    tTimes best;
    for (int i = 0; i < rounds; ++i) {
        tTimes t = MeasureOnce(source, work, i % 2 == 1);
        if (i == 0 || t.Execute < best.Execute) best.Execute = t.Execute;
        if (i == 0 || t.Total < best.Total) best.Total = t.Total;
        if (i == 0 || t.Cp < best.Cp) best.Cp = t.Cp;
        best.Result = t.Result;
    }
    return best;
}

void Report(const std::string& where, const char* what, const tTimes& t) {
    const std::string label = where + " " + what;
    const char* name = label.c_str();
    std::printf("%s result: %s\n", name, t.Result.c_str());
    std::printf("%s ExecutePlan s: %.3f\n", name, t.Execute);
    std::printf("%s scan+plan+execute s: %.3f\n", name, t.Total);
    std::printf("%s cp -a s: %.3f\n", name, t.Cp);
    std::printf("%s ratio ExecutePlan/cp: %.2f\n", name, t.Execute / t.Cp);
    std::printf("%s ratio total/cp: %.2f\n", name, t.Total / t.Cp);
    std::fflush(stdout);
}

// The three cases in data, labelled where ("shm" or "disk").
void RunCases(const std::string& where, const std::string& data, int smallFiles, int mediumFiles,
              int largeMiB, int rounds) {
    std::filesystem::remove_all(data);
    {
        const std::string source = data + "/small";
        MakeTree(source, smallFiles);
        Report(where, "small", Measure(source, data + "/work", rounds));
        std::filesystem::remove_all(source);
    }
    {
        const std::string source = data + "/medium";
        std::mt19937 rng(7);
        for (int i = 0; i < mediumFiles; ++i) {
            const std::string folder = source + "/dir" + std::to_string(i % 20);
            std::filesystem::create_directories(folder);
            const size_t size = 64 * 1024 + rng() % (960 * 1024 + 1);
            WriteRandomFile(folder + "/file" + std::to_string(i) + ".bin", size, i + 1,
                            1600000000 + i);
        }
        Report(where, "medium", Measure(source, data + "/work", rounds));
        std::filesystem::remove_all(source);
    }
    {
        const std::string source = data + "/large";
        std::filesystem::create_directories(source);
        for (int i = 0; i < 3; ++i)
            WriteRandomFile(source + "/large" + std::to_string(i) + ".bin",
                            static_cast<size_t>(largeMiB) * 1024 * 1024, 100 + i, 1600000000);
        Report(where, "large", Measure(source, data + "/work", rounds));
        std::filesystem::remove_all(source);
    }
    std::filesystem::remove_all(data);
}

} // namespace

int main(int argc, char** argv) {
    const std::string data = argc > 1 ? argv[1] : "/tmp/corvane-copy-bench";
    const int smallFiles = EnvInt("SMALL_FILES", 100000);
    const int mediumFiles = EnvInt("MEDIUM_FILES", 2000);
    const int largeMiB = EnvInt("LARGE_MB", 512);
    const int rounds = std::max(1, EnvInt("ROUNDS", 2));

    std::FILE* quiet = std::fopen("/dev/null", "w");
    ConsolePort port(quiet);
    SetUiPort(&port);
    RunSettings() = tMainSettings{}; // 1024 kB buffer, no log

    const char* shmEnv = std::getenv("SHM_FOLDER");
    const std::string shm = shmEnv ? shmEnv : "/dev/shm";
    if (!shm.empty() && std::filesystem::is_directory(shm)) {
        // The large case needs room for its source and both copies: on a small memory file
        // system its files are made smaller.
        const auto space = std::filesystem::space(shm).available;
        int shmLarge = largeMiB;
        while (shmLarge > 16 && static_cast<uintmax_t>(shmLarge) * 3 * 3 * 1024 * 1024 > space)
            shmLarge /= 2;
        if (shmLarge != largeMiB) std::printf("shm large MiB per file: %d\n", shmLarge);
        RunCases("shm", shm + "/corvane-copy-bench-" + std::to_string(getpid()), smallFiles,
                 mediumFiles, shmLarge, rounds);
    }
    RunCases("disk", data, smallFiles, mediumFiles, largeMiB, rounds);
    SetUiPort(nullptr);
    std::fclose(quiet);
    return 0;
}
