// The state of the last run at 1,000,000 files: the size of the state file and what reading
// and using it adds to the plan of an unchanged pair.
//
// The pair: identical trees of FILES (default 1,000,000) files, about 50 per folder, names of
// 8 to 20 bytes, sizes from 0 to 16 MiB (sparse) and modification times spread over three
// years, both sides alike. Figures:
//   state_bytes_per_entry          the state file's size / recorded entries
//   state_name_bytes_per_entry     the names' bytes in it (the part not shared with the name
//                                  before, and their two length numbers excluded)
//   state_bytes_per_entry_without_names
//   plan_seconds                   the analysis (scan, comparison, moved files, status list)
//                                  without the option, best of three
//   plan_with_state_seconds        the same with the option on and the state read and used
//   added_plan_percent             how much longer the second is
//   plan_cpu_seconds, plan_with_state_cpu_seconds, added_plan_cpu_percent
//                                  the same in processor time, steadier on a busy machine
//   state_pass_seconds, state_pass_cpu_seconds, state_pass_percent_of_plan_cpu
//                                  ApplyLastRunState alone on an analysed plan
//   store_seconds                  writing the state after the run
//
// Usage: lastrun_bench [folder]   (default: a fresh folder under /dev/shm, removed afterwards;
// a folder given is kept and its trees reused).
#include "BenchTree.h"
#include "engine/Analysis.h"
#include "engine/LastRunState.h"
#include "engine/RunDriver.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace corvane;
using corvane::bench::Seconds;
namespace fs = std::filesystem;

namespace {

void Make(const std::string& path, off_t size, time_t mtime) {
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0 || ftruncate(fd, size) != 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    const timespec times[2] = {{mtime, 0}, {mtime, 0}};
    futimens(fd, times);
    close(fd);
}

std::string FileName(std::mt19937& rnd, int n) {
    static const char* const stems[] = {"IMG_", "report-", "notes_",  "Invoice ", "scan",
                                        "a",    "DSC",     "budget_", "v",        "track "};
    static const char* const exts[] = {".jpg", ".pdf", ".txt", ".docx", ".png", ".mp3", ".c", ""};
    std::string name = stems[rnd() % 10] + std::to_string(n) + exts[rnd() % 8];
    while (name.size() < 8)
        name.insert(0, 1, 'x');
    if (name.size() > 20) name.resize(20);
    return name;
}

void MakePair(const std::string& left, const std::string& right, int files) {
    std::mt19937 rnd(4711);
    std::vector<std::string> folders{""};
    int made = 0, names = 0;
    mkdir(left.c_str(), 0755);
    mkdir(right.c_str(), 0755);
    for (size_t f = 0; made < files; ++f) {
        const std::string rel = folders[f];
        const int count = 40 + static_cast<int>(rnd() % 21);
        for (int k = 0; k < count && made < files; ++k, ++made) {
            const std::string name = FileName(rnd, names++);
            // Mostly small files, some large: sizes spread over eight binary orders.
            const off_t size = static_cast<off_t>(rnd() % (1u << (10 + rnd() % 15)));
            const time_t mtime = 1600000000 + static_cast<time_t>(rnd() % (3 * 365 * 86400));
            Make(left + rel + "/" + name, size, mtime);
            Make(right + rel + "/" + name, size, mtime);
        }
        for (int k = 0; k < 8 && folders.size() * 50 < size_t(files); ++k) {
            const std::string sub = rel + "/folder " + std::to_string(names++);
            mkdir((left + sub).c_str(), 0755);
            mkdir((right + sub).c_str(), 0755);
            folders.push_back(sub);
        }
    }
}

tProfile PairProfile(const std::string& pair, bool remember) {
    tProfile p;
    SetInitialValues(p);
    p.Name = "lastrun-bench";
    p.LeftPath = pair + "/left";
    p.RightPath = pair + "/right";
    p.FileMasks = "(all)";
    p.ExcludeMasks = "(none)";
    p.RunUnattended = true;
    p.RememberLastRun = remember;
    return p;
}

double CpuSeconds() {
    timespec t;
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &t);
    return double(t.tv_sec) + double(t.tv_nsec) / 1e9;
}

struct tTimes {
    double Wall = 1e9, Cpu = 1e9;
};

// Best of three analyses of the pair, wall-clock and processor time.
tTimes PlanSeconds(const std::string& pair, bool remember) {
    tTimes best;
    for (int i = 0; i < 3; ++i) {
        tProfile p = PairProfile(pair, remember);
        SetFilterDefaults(p);
        const auto start = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        if (!AnalyzeProfile(p)) {
            std::fprintf(stderr, "analysis failed: %s\n", p.LastRunResult.c_str());
            std::exit(1);
        }
        best.Wall = std::min(best.Wall, Seconds(start));
        best.Cpu = std::min(best.Cpu, CpuSeconds() - cpu);
        if (p.Stats.AffectedCount != 0) {
            std::fprintf(stderr, "the pair is not unchanged: %d affected\n", p.Stats.AffectedCount);
            std::exit(1);
        }
        if (remember && !p.LastRunStateNote.empty()) {
            std::fprintf(stderr, "%s\n", p.LastRunStateNote.c_str());
            std::exit(1);
        }
    }
    return best;
}

} // namespace

int main(int argc, char** argv) {
    const bool keep = argc > 1;
    std::string base;
    if (keep) {
        base = argv[1];
        fs::create_directories(base);
    } else {
        std::string tmpl = (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                           std::string("/corvane-lastrun-XXXXXX");
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        base = tmpl;
    }
    const int files = std::getenv("FILES") ? std::atoi(std::getenv("FILES")) : 1000000;
    const std::string pair = base + "/pair-" + std::to_string(files);
    if (!fs::exists(pair + "/.ready")) {
        fs::remove_all(pair);
        fs::create_directories(pair);
        MakePair(pair + "/left", pair + "/right", files);
        std::ofstream(pair + "/.ready") << "ready\n";
    }
    setenv("XDG_STATE_HOME", (base + "/state").c_str(), 1);

    // The state as a finished run leaves it.
    tProfile p = PairProfile(pair, true);
    SetFilterDefaults(p);
    if (!AnalyzeProfile(p)) return 1;
    std::vector<tAction> planned;
    for (const TFileListEntry& e : p.Entries)
        planned.push_back(e.Shown ? e.Action : tAction::actNone);
    const auto start = std::chrono::steady_clock::now();
    const std::string problem = StoreLastRunState(p, planned);
    const double store = Seconds(start);
    if (!problem.empty()) {
        std::fprintf(stderr, "%s\n", problem.c_str());
        return 1;
    }
    const std::string file = LastRunStateFileName(p.Name);
    std::ifstream in(file, std::ios::binary);
    const std::string data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::string left, right, why;
    std::vector<tStateRecord> records;
    if (!DecodeLastRunState(data, left, right, records, why)) {
        std::fprintf(stderr, "state does not decode: %s\n", why.c_str());
        return 1;
    }
    // The names' own bytes in the file: what each name does not share with the one before.
    double nameBytes = 0;
    for (size_t i = 0; i < records.size(); ++i) {
        const std::string& name = records[i].Name;
        size_t shared = 0;
        if (i > 0 && records[i - 1].RelPath == records[i].RelPath) {
            const std::string& prev = records[i - 1].Name;
            while (shared < std::min(name.size(), prev.size()) && name[shared] == prev[shared])
                ++shared;
        }
        nameBytes += double(name.size() - shared);
    }
    const double n = double(records.size());

    const tTimes plain = PlanSeconds(pair, false);
    const tTimes remembered = PlanSeconds(pair, true);
    // The pass on its own, on a plan analysed without it.
    double apply = 1e9, applyCpu = 1e9;
    for (int i = 0; i < 3; ++i) {
        tProfile q = PairProfile(pair, false);
        SetFilterDefaults(q);
        AnalyzeProfile(q);
        q.RememberLastRun = true;
        const auto begin = std::chrono::steady_clock::now();
        const double cpu = CpuSeconds();
        ApplyLastRunState(q);
        apply = std::min(apply, Seconds(begin));
        applyCpu = std::min(applyCpu, CpuSeconds() - cpu);
    }

    std::printf("entries: %zu\n", records.size());
    std::printf("state_file_bytes: %zu\n", data.size());
    std::printf("state_bytes_per_entry: %.2f\n", double(data.size()) / n);
    std::printf("state_name_bytes_per_entry: %.2f\n", nameBytes / n);
    std::printf("state_bytes_per_entry_without_names: %.2f\n", (double(data.size()) - nameBytes) / n);
    std::printf("store_seconds: %.3f\n", store);
    std::printf("plan_seconds: %.3f\n", plain.Wall);
    std::printf("plan_with_state_seconds: %.3f\n", remembered.Wall);
    std::printf("added_plan_percent: %.1f\n", (remembered.Wall - plain.Wall) / plain.Wall * 100);
    std::printf("plan_cpu_seconds: %.3f\n", plain.Cpu);
    std::printf("plan_with_state_cpu_seconds: %.3f\n", remembered.Cpu);
    std::printf("added_plan_cpu_percent: %.1f\n", (remembered.Cpu - plain.Cpu) / plain.Cpu * 100);
    std::printf("state_pass_seconds: %.3f\n", apply);
    std::printf("state_pass_cpu_seconds: %.3f\n", applyCpu);
    std::printf("state_pass_percent_of_plan_cpu: %.1f\n", applyCpu / plain.Cpu * 100);

    if (!keep) fs::remove_all(base);
    return 0;
}
