// `corvane --watch` on a 100,000-file pair that is already in step: the start-up (watches on
// every folder and the first run), the runs and CPU time of the waiting process while
// nothing changes, and the time from writing one new file on the left until it is on the
// right (the quiet time included), beside the time of a `corvane --run` with nothing to do.
//   watch_bench DATA_FOLDER   (CORVANE_EXE names the program; FILES the tree size,
//                              IDLE_SECONDS the idle window, QUIET the quiet time)
#include "BenchTree.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"

#include <csignal>
#include <fcntl.h>
#include <functional>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

namespace {

std::string Quote(const std::string& s) {
    return "'" + s + "'";
}

std::string ReadAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), {});
}

size_t Count(const std::string& text, const std::string& what) {
    size_t n = 0;
    for (size_t at = text.find(what); at != std::string::npos; at = text.find(what, at + 1))
        ++n;
    return n;
}

// User + system CPU seconds of a process so far.
double CpuSeconds(pid_t pid) {
    std::string stat = ReadAll("/proc/" + std::to_string(pid) + "/stat");
    // The fields after the command name (which may hold blanks) in its parentheses.
    std::istringstream rest(stat.substr(stat.rfind(')') + 2));
    std::string field;
    unsigned long long utime = 0, stime = 0;
    for (int i = 3; i <= 15 && rest >> field; ++i) {
        if (i == 14) utime = std::stoull(field);
        if (i == 15) stime = std::stoull(field);
    }
    return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

bool WaitFor(const std::function<bool()>& done, double seconds) {
    const auto start = std::chrono::steady_clock::now();
    while (Seconds(start) < seconds) {
        if (done()) return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return false;
}

} // namespace

int main(int argc, char** argv) {
    std::string data = argc > 1 ? argv[1] : "/tmp/corvane-watch-bench";
    const char* exeEnv = std::getenv("CORVANE_EXE");
    std::string exe = exeEnv ? exeEnv : "build-bench/corvane";
    const int files = std::getenv("FILES") ? std::atoi(std::getenv("FILES")) : 100000;
    const int idle = std::getenv("IDLE_SECONDS") ? std::atoi(std::getenv("IDLE_SECONDS")) : 30;
    const int quiet = std::getenv("QUIET") ? std::atoi(std::getenv("QUIET")) : 1;
    std::filesystem::remove_all(data);
    const std::string left = data + "/left", right = data + "/right", home = data + "/home";
    std::filesystem::create_directories(home);
    MakeTree(left, files);
    TimeCommand("cp -a " + Quote(left) + " " + Quote(right));

    tProfile p;
    SetInitialValues(p);
    p.Name = "bench";
    p.LeftPath = left;
    p.RightPath = right;
    p.RightToLeft = false;
    p.WatchQuiet = quiet;
    tPreferences store(home + "/.CorvaneX");
    store.Load();
    store.Write("Logging", "0", "Main");
    if (!StoreProfile(store, p).empty() || !store.Flush().empty()) return 1;

    const std::string out = data + "/watch.out";
    const auto started = std::chrono::steady_clock::now();
    const pid_t pid = fork();
    if (pid == 0) {
        const int fd = open(out.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        dup2(fd, 1);
        setenv("HOME", home.c_str(), 1);
        execl(exe.c_str(), exe.c_str(), "--watch", "bench", static_cast<char*>(nullptr));
        _exit(127);
    }
    // Result lines: the profile's name and a colon (the first line names it too).
    auto results = [&] {
        const std::string text = ReadAll(out);
        return Count(text, "\"bench\": ") - Count(text, "Watching \"bench\": ");
    };
    if (!WaitFor([&] { return results() >= 1; }, 600)) {
        std::fprintf(stderr, "no start-up run\n");
        kill(pid, SIGKILL);
        return 1;
    }
    const double startup = Seconds(started);

    // Nothing changes: the process only waits.
    const size_t runsBefore = Count(ReadAll(out), "Starting \"bench\"");
    const double cpuBefore = CpuSeconds(pid);
    std::this_thread::sleep_for(std::chrono::seconds(idle));
    const double cpuIdle = CpuSeconds(pid) - cpuBefore;
    const size_t idleRuns = Count(ReadAll(out), "Starting \"bench\"") - runsBefore;

    // One new file at a time, each once the run before has ended.
    std::vector<double> took;
    std::mt19937 rng(3);
    for (int i = 0; i < 3; ++i) {
        const size_t before = results();
        const std::string rel = "dir1/dir2/watched" + std::to_string(i) + ".dat";
        const auto written = std::chrono::steady_clock::now();
        WriteFile(left + "/" + rel, 1000, 1700000000, rng);
        if (!WaitFor([&] { return std::filesystem::exists(right + "/" + rel); }, 120)) {
            std::fprintf(stderr, "the change did not arrive\n");
            kill(pid, SIGKILL);
            return 1;
        }
        took.push_back(Seconds(written));
        WaitFor([&] { return results() > before; }, 120);
    }
    std::sort(took.begin(), took.end());

    kill(pid, SIGTERM);
    int status = 0;
    waitpid(pid, &status, 0);
    const std::string printed = ReadAll(out);
    // What a run of the unchanged pair costs now, beside the change's time beyond the quiet.
    const double unchangedRun =
        TimeCommand("HOME=" + Quote(home) + " " + Quote(exe) + " --run bench > /dev/null");

    std::printf("files: %d\n", files);
    std::printf("folders watched: %zu\n", [&] {
        size_t n = 0;
        for (const auto& e : std::filesystem::recursive_directory_iterator(left))
            n += e.is_directory();
        return 2 * (n + 1);
    }());
    std::printf("start-up (watches + first run) s: %.3f\n", startup);
    std::printf("idle window s: %d\n", idle);
    std::printf("runs while idle: %zu\n", idleRuns);
    std::printf("idle CPU %% of a core: %.3f\n", 100.0 * cpuIdle / idle);
    std::printf("quiet time s: %d\n", quiet);
    std::printf("one-file change to the other side s (median of 3): %.3f\n", took[1]);
    std::printf("one-file change beyond the quiet time s: %.3f\n", took[1] - quiet);
    std::printf("unchanged corvane --run s: %.3f\n", unchangedRun);
    std::printf("runs in all: %zu\n", Count(printed, "Starting \"bench\""));
    std::printf("ended on SIGTERM with status: %d\n", WIFEXITED(status) ? WEXITSTATUS(status) : -1);
    return 0;
}
