// Whole unattended runs of `corvane --run` on a 100,000-file pair of trees, beside rsync on
// the same trees: a resync with nothing to do, and an incremental one (1% changed, 0.5%
// added, 0.5% deleted, 0.2% moved). After the incremental run, the folders of each mirror
// whose modification time (whole seconds, the base folder included) differs from the model.
//   sync_bench DATA_FOLDER   (CORVANE_EXE names the program; FILES the tree size)
#include "BenchTree.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cstdio>
#include <set>

using namespace corvane;
using namespace corvane::bench;

namespace {

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

// Folders of the model (the base included) whose counterpart in mirror is missing or has
// another modification second.
int FolderTimesDiffering(const std::string& model, const std::string& mirror) {
    namespace fs = std::filesystem;
    auto differs = [](const fs::path& a, const fs::path& b) {
        struct stat sa, sb;
        return lstat(a.c_str(), &sa) != 0 || lstat(b.c_str(), &sb) != 0 ||
               sa.st_mtim.tv_sec != sb.st_mtim.tv_sec;
    };
    int count = differs(model, mirror) ? 1 : 0;
    for (const auto& item : fs::recursive_directory_iterator(model))
        if (item.is_directory() && !item.is_symlink() &&
            differs(item.path(), mirror / fs::relative(item.path(), model)))
            ++count;
    return count;
}

double Best(int times, const std::string& command) {
    double best = 1e9;
    for (int i = 0; i < times; ++i)
        best = std::min(best, TimeCommand(command));
    return best;
}

void StoreProfile(const std::string& home, const std::string& name, const std::string& left,
                  const std::string& right) {
    tProfile p;
    SetInitialValues(p);
    p.Name = name;
    p.LeftPath = left;
    p.RightPath = right;
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.UA_DeleteFiles = true;
    p.UA_OverwriteNewer = true;
    tPreferences store(home + "/.CorvaneX");
    store.Load();
    store.Write("opt_" + name, EncodeOptions(p), "Profiles");
    store.Write("msk_" + name, p.FileMasks, "FileMasks");
    store.Write("xcl_" + name, p.ExcludeMasks, "ExcludeMasks");
    store.Write("Logging", "0", "Main");
    if (!store.Flush().empty()) std::exit(1);
}

} // namespace

int main(int argc, char** argv) {
    std::string data = argc > 1 ? argv[1] : "/tmp/corvane-sync-bench";
    const char* exeEnv = std::getenv("CORVANE_EXE");
    std::string exe = exeEnv ? exeEnv : "build-bench/corvane";
    int files = std::getenv("FILES") ? std::atoi(std::getenv("FILES")) : 100000;
    std::filesystem::remove_all(data);
    std::string left = data + "/left", rightC = data + "/right-corvane",
                rightR = data + "/right-rsync";
    std::string home = data + "/home";
    std::filesystem::create_directories(home);

    auto made = MakeTree(left, files);
    TimeCommand("cp -a " + Quote(left) + " " + Quote(rightC));
    TimeCommand("cp -a " + Quote(left) + " " + Quote(rightR));
    StoreProfile(home, "bench", left, rightC);
    std::string run = "HOME=" + Quote(home) + " " + Quote(exe) + " --run bench > /dev/null";
    std::string rsync = "rsync -a --delete " + Quote(left + "/") + " " + Quote(rightR + "/");

    double corvaneSame = Best(3, run);
    double rsyncSame = Best(3, rsync);
    std::printf("files: %d\n", files);
    std::printf("unchanged corvane --run s: %.3f\n", corvaneSame);
    std::printf("unchanged rsync -a s: %.3f\n", rsyncSame);
    std::printf("unchanged ratio: %.2f\n", corvaneSame / rsyncSame);

    // The same changes on the left for both: 1% changed, 0.5% added, 0.5% deleted, 0.2% moved.
    std::mt19937 rng(7);
    std::vector<std::string> order = made;
    std::shuffle(order.begin(), order.end(), rng);
    size_t n = order.size(), at = 0;
    size_t changed = n / 100, deleted = n / 200, moved = n / 500, added = n / 200;
    for (size_t i = 0; i < changed; ++i, ++at)
        WriteFile(left + "/" + order[at], 64 + rng() % 4096, 1700000000, rng);
    for (size_t i = 0; i < deleted; ++i, ++at)
        std::filesystem::remove(left + "/" + order[at]);
    for (size_t i = 0; i < moved; ++i, ++at) {
        std::string from = left + "/" + order[at];
        std::string target = order[(at + 1 + rng() % (n - at - 1))];
        std::string folder = std::filesystem::path(target).parent_path().string();
        std::string to = left + "/" + (folder.empty() ? "" : folder + "/") +
                         std::filesystem::path(order[at]).filename().string();
        if (to != from && !std::filesystem::exists(to)) std::filesystem::rename(from, to);
    }
    for (size_t i = 0; i < added; ++i)
        WriteFile(left + "/dir1/added" + std::to_string(i) + ".dat", 64 + rng() % 4096, 1700000000,
                  rng);

    auto start = std::chrono::steady_clock::now();
    std::string out = data + "/run.out";
    TimeCommand("HOME=" + Quote(home) + " " + Quote(exe) + " --run bench > " + Quote(out));
    double corvaneIncr = Seconds(start);
    double rsyncIncr = TimeCommand(rsync);
    std::ifstream result(out);
    std::string line;
    std::getline(result, line);
    std::printf("incremental corvane --run s: %.3f\n", corvaneIncr);
    std::printf("incremental rsync -a --delete s: %.3f\n", rsyncIncr);
    std::printf("incremental ratio: %.2f\n", corvaneIncr / rsyncIncr);
    std::printf("incremental corvane result: %s\n", line.c_str());
    int same =
        std::system(("diff -r -q " + Quote(left) + " " + Quote(rightC) + " > /dev/null").c_str());
    std::printf("corvane result equals the model: %s\n", same == 0 ? "yes" : "NO");
    std::printf("incremental folders with another time than the model corvane: %d\n",
                FolderTimesDiffering(left, rightC));
    std::printf("incremental folders with another time than the model rsync: %d\n",
                FolderTimesDiffering(left, rightR));
    std::filesystem::remove_all(data);
    return same == 0 ? 0 : 1;
}
