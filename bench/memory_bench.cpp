// Memory of a plan: bytes per entry that the scan and the three planning passes hold once the
// plan is built (the plan still alive), and the peak on the way there, for an unchanged pair
// of 100,000 and of 1,000,000 zero-length files (about 50 files per folder, names of 8 to 20
// bytes). Each size is measured in a fresh process, so that nothing freed by an earlier run
// is counted or reused.
//
// Figures per size:
//   held_heap_bytes_per_entry  heap in use after the plan minus before (mallinfo2: uordblks +
//                              hblkhd, so reserved but untouched vector capacity counts too)
//   held_rss_bytes_per_entry   VmRSS after the plan minus VmRSS before (/proc/self/status)
//   peak_rss_bytes_per_entry   VmHWM after the plan minus VmRSS before
//
// Usage: memory_bench [folder]   (default: a fresh folder under /dev/shm, or /tmp when there
// is no /dev/shm, removed afterwards). A folder given on the command line is kept and its
// trees are reused by later runs. FILES=N measures one size only.
#include "BenchTree.h"
#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "profiles/FileList.h"
#include "profiles/Profile.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <malloc.h>
#include <random>
#include <string>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <vector>

using namespace corvane;
using corvane::bench::StatusKb;
namespace fs = std::filesystem;

namespace {

size_t HeapInUse() {
    struct mallinfo2 mi = mallinfo2();
    return mi.uordblks + mi.hblkhd;
}

void Touch(const std::string& path) {
    int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) {
        std::perror(path.c_str());
        std::exit(1);
    }
    // Both sides get the same time: the plan has nothing to do.
    timespec times[2] = {{1600000000, 0}, {1600000000, 0}};
    futimens(fd, times);
    close(fd);
}

// Names the way people and programs give them: 8 to 20 bytes.
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

std::string FolderName(std::mt19937& rnd, int n) {
    static const char* const stems[] = {"Photos ", "src", "2019-", "Projects_", "backup", "misc"};
    return stems[rnd() % 6] + std::to_string(n);
}

// Identical trees below left and right: folders of 40 to 60 files and 8 subfolders each,
// breadth first until `files` files exist on each side (about files / 50 folders).
void MakePair(const std::string& left, const std::string& right, int files) {
    std::mt19937 rnd(4711);
    std::vector<std::string> folders{""};
    int made = 0, names = 0;
    mkdir(left.c_str(), 0755);
    mkdir(right.c_str(), 0755);
    for (size_t f = 0; made < files; ++f) {
        const std::string rel = folders[f];
        int count = 40 + static_cast<int>(rnd() % 21);
        for (int k = 0; k < count && made < files; ++k, ++made) {
            std::string name = FileName(rnd, names++);
            Touch(left + rel + "/" + name);
            Touch(right + rel + "/" + name);
        }
        // Only as many folders as the files fill, so that no empty folders are left over.
        for (int k = 0; k < 8 && folders.size() * 50 < size_t(files); ++k) {
            std::string sub = rel + "/" + FolderName(rnd, names++);
            mkdir((left + sub).c_str(), 0755);
            mkdir((right + sub).c_str(), 0755);
            folders.push_back(sub);
        }
    }
}

// The measuring process: scan and plan one pair, print the figures.
int Measure(const std::string& base) {
    tProfile profile;
    profile.Name = "memory";
    profile.LeftPath = base + "/left";
    profile.RightPath = base + "/right";
    profile.Subfolders = true;
    profile.HiddenFiles = profile.HiddenFolders = true;
    profile.FileMasks = "(all)";
    profile.ExcludeMasks = "(none)";
    profile.LeftToRight = true;
    profile.RunUnattended = true;

    malloc_trim(0);
    long rssBefore = StatusKb("VmRSS:");
    size_t heapBefore = HeapInUse();
    BuildFileLists(profile, true, false);
    long hwmScan = StatusKb("VmHWM:");
    CompareEntries(profile);
    FindMovedFiles(profile);
    BuildStatusList(profile);
    size_t heapAfter = HeapInUse();
    long rssAfter = StatusKb("VmRSS:");
    long hwm = StatusKb("VmHWM:");

    double n = static_cast<double>(profile.Entries.size());
    // Where the held bytes go: the entries' vector, the names (with their length bytes).
    double nameBytes = 0;
    for (const TFileListEntry& e : profile.Entries)
        nameBytes += double(e.Name().size()) + 1;
    std::printf("entries: %zu\n", profile.Entries.size());
    std::printf("rows_shown: %d\n", profile.Stats.FilesShown + profile.Stats.FolderRowsShown);
    std::printf("sizeof_TFileListEntry: %zu\n", sizeof(TFileListEntry));
    std::printf("held_heap_bytes_per_entry: %.1f\n", double(heapAfter - heapBefore) / n);
    std::printf("held_rss_bytes_per_entry: %.1f\n", double(rssAfter - rssBefore) * 1024 / n);
    std::printf("peak_rss_bytes_per_entry: %.1f\n", double(hwm - rssBefore) * 1024 / n);
    std::printf("peak_rss_scan_bytes_per_entry: %.1f\n", double(hwmScan - rssBefore) * 1024 / n);
    std::printf("vector_bytes_per_entry: %.1f\n",
                double(profile.Entries.capacity() * sizeof(TFileListEntry)) / n);
    std::printf("name_bytes_per_entry: %.1f\n", nameBytes / n);
    return 0;
}

} // namespace

int main(int argc, char** argv) {
    if (argc == 3 && std::strcmp(argv[1], "--measure") == 0) return Measure(argv[2]);

    bool keep = argc > 1;
    std::string base;
    if (keep) {
        base = argv[1];
        fs::create_directories(base);
    } else {
        std::string tmpl = (fs::is_directory("/dev/shm") ? "/dev/shm" : "/tmp") +
                           std::string("/corvane-membench-XXXXXX");
        if (!mkdtemp(tmpl.data())) {
            std::perror("mkdtemp");
            return 1;
        }
        base = tmpl;
    }
    std::vector<int> sizes{100000, 1000000};
    if (const char* files = std::getenv("FILES")) sizes = {std::atoi(files)};

    int rc = 0;
    for (int files : sizes) {
        std::string pair = base + "/pair-" + std::to_string(files);
        if (!fs::exists(pair + "/.ready")) {
            fs::remove_all(pair);
            fs::create_directories(pair);
            MakePair(pair + "/left", pair + "/right", files);
            std::ofstream(pair + "/.ready") << "ready\n";
        }
        std::fflush(stdout);
        int fds[2];
        if (pipe(fds) != 0) return 1;
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            execl("/proc/self/exe", argv[0], "--measure", pair.c_str(), nullptr);
            _exit(127);
        }
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        char line[512];
        std::string suffix = files >= 1000000 && files % 1000000 == 0
                                 ? std::to_string(files / 1000000) + "m"
                                 : std::to_string(files / 1000) + "k";
        while (std::fgets(line, sizeof line, out)) {
            char* colon = std::strchr(line, ':');
            if (!colon) continue;
            *colon = '\0';
            std::printf("%s_%s:%s", line, suffix.c_str(), colon + 1);
        }
        fclose(out);
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) rc = 1;
        if (!keep) fs::remove_all(pair);
    }
    if (!keep) fs::remove_all(base);
    return rc;
}
