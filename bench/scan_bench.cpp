// Scan speed and memory: builds a left and a right tree of 100,000 files each (the right one
// a copy of the left with small differences), times BuildFileLists on them against two
// find walks, and times the tree-order sort on a million entries.
//
// Usage: scan_bench [folder]   (default: a fresh folder under /tmp, removed afterwards).
// A folder given on the command line is kept and reused by later runs.
#include "BenchTree.h"
#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "profiles/FileList.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace corvane;
using corvane::bench::StatusKb;
namespace fs = std::filesystem;

namespace {

constexpr int TotalFiles = 100000;
constexpr int Depth = 3; // folder levels below the base: 4 levels in all
constexpr int Branching = 15;

double Now() {
    using namespace std::chrono;
    return duration<double>(steady_clock::now().time_since_epoch()).count();
}

void WriteSmallFile(const std::string& path, int size) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    static const std::string data(256, 'x');
    if (size > 0 && write(fd, data.data(), size) != size) std::perror("write");
    close(fd);
}

struct tGenerator {
    std::mt19937 rnd{12345};
    int files = 0;
    int folders = 0;

    int Next(int below) { return static_cast<int>(rnd() % unsigned(below)); }

    // One folder on both sides; the right side differs in about 3% of the items.
    void Folder(const std::string& left, const std::string& right, int depth) {
        mkdir(left.c_str(), 0755);
        mkdir(right.c_str(), 0755);
        ++folders;
        int count = 10 + Next(41);
        for (int k = 0; k < count && files < TotalFiles; ++k, ++files) {
            static const char* const exts[] = {".txt", ".doc", ".JPG", ".tar.gz", ""};
            std::string name =
                (Next(3) == 0 ? "Report_" : "file-") + std::to_string(files) + exts[Next(5)];
            int size = Next(200);
            WriteSmallFile(left + "/" + name, size);
            int change = Next(100);
            if (change == 0) continue; // missing on the right
            WriteSmallFile(right + "/" + name, change == 1 ? size + 1 : size);
            if (change == 2) WriteSmallFile(right + "/new-" + name, 10); // right only
        }
        if (depth >= Depth) return;
        for (int k = 0; k < Branching && files < TotalFiles; ++k) {
            std::string name = "Folder " + std::to_string(depth) + "-" + std::to_string(k);
            // Now and then a folder exists on the left only.
            std::string r = Next(200) == 0 ? right + "/x-" + name : right + "/" + name;
            Folder(left + "/" + name, r, depth + 1);
        }
    }
};

double BestOf3(const std::function<void()>& run) {
    double best = 1e9;
    for (int k = 0; k < 3; ++k) {
        double t0 = Now();
        run();
        best = std::min(best, Now() - t0);
    }
    return best;
}

// A million plan entries shaped like a scan result: six folder levels, folders of 10
// subfolders (none at the deepest level) and 20 files, appended folder by folder in the
// order a scan visits them (names byte-sorted within a folder), or shuffled.
std::vector<TFileListEntry> SyntheticEntries(bool shuffled) {
    std::vector<TFileListEntry> entries;
    entries.reserve(1000000);
    std::mt19937 rnd(7);
    struct tFolder {
        std::string Rel;
        int Depth;
    };
    std::vector<tFolder> stack{{std::string(), 0}};
    while (!stack.empty() && entries.size() < 1000000) {
        tFolder folder = stack.back();
        stack.pop_back();
        size_t first = entries.size();
        tFolderRef rec = tFolderRef::Make(folder.Rel, folder.Depth);
        int subfolders = folder.Depth < 5 ? 10 : 0;
        for (int k = 0; k < 20 + subfolders; ++k) {
            TFileListEntry e;
            bool isFolder = k < subfolders;
            e.SetFolder(rec, rec->AddName((isFolder ? "Sub" : (k % 2 ? "document-" : "Image_")) +
                                          std::to_string(rnd() % 100000) + ".txt"));
            e.LeftIsFolder = e.RightIsFolder = isFolder;
            entries.push_back(std::move(e));
        }
        std::sort(entries.begin() + first, entries.end(),
                  [](const auto& a, const auto& b) { return a.Name() < b.Name(); });
        for (size_t k = entries.size(); k-- > first;)
            if (entries[k].LeftIsFolder)
                stack.push_back(
                    {folder.Rel + "/" + std::string(entries[k].Name()), folder.Depth + 1});
    }
    entries.resize(std::min<size_t>(entries.size(), 1000000));
    if (shuffled) std::shuffle(entries.begin(), entries.end(), rnd);
    return entries;
}

} // namespace

int main(int argc, char** argv) {
    bool keep = argc > 1;
    std::string base;
    if (keep) {
        base = argv[1];
        fs::create_directories(base);
    } else {
        char tmpl[] = "/tmp/corvane-scanbench-XXXXXX";
        if (!mkdtemp(tmpl)) {
            std::perror("mkdtemp");
            return 1;
        }
        base = tmpl;
    }
    std::string left = base + "/left", right = base + "/right";
    std::string marker = base + "/.bench-ready";

    if (!fs::exists(marker)) {
        fs::remove_all(left);
        fs::remove_all(right);
        double t0 = Now();
        tGenerator gen;
        gen.Folder(left, right, 0);
        std::ofstream(marker) << "ready\n";
        std::printf("generated_files: %d\n", gen.files);
        std::printf("generated_folders: %d\n", gen.folders);
        std::printf("generate_seconds: %.2f\n", Now() - t0);
    }

    tProfile profile;
    profile.Name = "bench";
    profile.LeftPath = left;
    profile.RightPath = right;
    profile.Subfolders = true;
    profile.HiddenFiles = profile.HiddenFolders = true;
    profile.FileMasks = "(all)";
    profile.ExcludeMasks = "(none)";
    profile.RunUnattended = true;

    std::string findCommand = "find '" + left + "' '" + right + "' > /dev/null";
    if (std::system(findCommand.c_str()) != 0) std::fprintf(stderr, "find failed\n");

    long hwmBefore = StatusKb("VmHWM:");
    rusage ru{};
    getrusage(RUSAGE_SELF, &ru);
    long maxrssBefore = ru.ru_maxrss;
    BuildFileLists(profile, true, false); // warms the caches
    size_t entries = profile.Entries.size();
    getrusage(RUSAGE_SELF, &ru);
    long hwmAfter = StatusKb("VmHWM:");
    long maxrssDelta = ru.ru_maxrss - maxrssBefore;

    double scan = BestOf3([&] {
        std::vector<TFileListEntry>().swap(profile.Entries);
        BuildFileLists(profile, true, false);
    });
    double find = BestOf3([&] {
        if (std::system(findCommand.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    });
    // find as such reads only the folders; with -printf of size and time it also stats every
    // item, as the scan must.
    std::string findStatCommand =
        "find '" + left + "' '" + right + "' -printf '%s %T@\\n' > /dev/null";
    double findStat = BestOf3([&] {
        if (std::system(findStatCommand.c_str()) != 0) std::fprintf(stderr, "find failed\n");
    });

    std::printf("entries: %zu\n", entries);
    std::printf("left_items: %d\n", profile.LeftItemCount);
    std::printf("right_items: %d\n", profile.RightItemCount);
    std::printf("sizeof_TFileListEntry: %zu\n", sizeof(TFileListEntry));
    std::printf("sizeof_TSearchRec: %zu\n", sizeof(TSearchRec));
    std::printf("build_file_lists_seconds: %.3f\n", scan);
    std::printf("find_both_seconds: %.3f\n", find);
    std::printf("ratio_to_find: %.2f\n", scan / find);
    std::printf("find_stat_both_seconds: %.3f\n", findStat);
    std::printf("ratio_to_find_stat: %.2f\n", scan / findStat);
    std::printf("peak_rss_delta_kb: %ld\n", maxrssDelta);
    std::printf("vm_hwm_delta_kb: %ld\n", hwmAfter - hwmBefore);
    std::printf("peak_bytes_per_entry: %.0f\n", entries ? maxrssDelta * 1024.0 / entries : 0.0);

    for (bool shuffled : {false, true}) {
        std::vector<TFileListEntry> million = SyntheticEntries(shuffled);
        double t0 = Now();
        SortTreeOrder(million);
        std::printf("sort_%zu_entries_%s_seconds: %.3f\n", million.size(),
                    shuffled ? "shuffled" : "scan_order", Now() - t0);
    }

    // The planning passes on the real pair after 1% of the left files moved to another
    // folder; the files go back afterwards so the trees stay reusable.
    std::vector<std::string> files;
    for (const auto& item : fs::recursive_directory_iterator(left))
        if (item.is_regular_file()) files.push_back(item.path().string());
    std::sort(files.begin(), files.end());
    std::vector<std::pair<std::string, std::string>> moves;
    for (size_t i = 0; i + 1 < files.size(); i += 100) {
        fs::path from = files[i];
        fs::path to = fs::path(files[(i + files.size() / 2) % files.size()]).parent_path() /
                      from.filename();
        if (to.parent_path() == from.parent_path() || fs::exists(to)) continue;
        fs::rename(from, to);
        moves.emplace_back(from.string(), to.string());
    }
    profile.DetectMoved = profile.LeftToRight = profile.RightToLeft = true;
    profile.Filter.rgState = 1;
    std::vector<TFileListEntry>().swap(profile.Entries);
    double t0 = Now();
    BuildFileLists(profile, true, false);
    double t1 = Now();
    CompareEntries(profile);
    double t2 = Now();
    FindMovedFiles(profile);
    double t3 = Now();
    BuildStatusList(profile);
    double t4 = Now();
    for (const auto& [from, to] : moves) fs::rename(to, from);
    std::printf("moved_files: %zu\n", moves.size());
    std::printf("move_rows_shown: %d\n", profile.Stats.MoveCount);
    std::printf("pass_scan_seconds: %.3f\n", t1 - t0);
    std::printf("pass_compare_ms: %.1f\n", (t2 - t1) * 1e3);
    std::printf("pass_moved_files_ms: %.1f\n", (t3 - t2) * 1e3);
    std::printf("pass_status_list_ms: %.1f\n", (t4 - t3) * 1e3);

    if (!keep) fs::remove_all(base);
    return 0;
}
