// The cost of the windows: the real scan and copy of a bench tree through the Qt UI port
// (progress window, copying status window, events let run) beside the console port, in
// the same run and alternating their order.
//   qtport_bench [DATA_FOLDER]   (default /tmp/corvane-qtport-bench)
//   FILES=n    files in the tree (100000)
//   ROUNDS=n   rounds; the best time of each figure is printed (2)
//   CALIBRATE=1  both columns use the console port: how far apart the two columns are
//              when the port is the same (the file system's own variation)
// Runs on the offscreen platform, so it needs no display.
#include "BenchTree.h"
#include "engine/Analysis.h"
#include "engine/ConsolePort.h"
#include "engine/Executor.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "ui/QtPort.h"

#include <QApplication>
#include <QWidget>
#include <cstdio>
#include <cstdlib>
#include <sys/resource.h>
#include <unistd.h>

using namespace corvane;
using namespace corvane::bench;

namespace {

int EnvInt(const char* name, int fallback) {
    const char* v = std::getenv(name);
    return v && *v ? std::atoi(v) : fallback;
}

// The Qt port, timing the calls the engine makes into it that touch a window. The event
// points are too many to time one by one; the port counts them and times its event runs.
class tTimedQtPort : public gui::TQtPort {
public:
    double Seconds = 0; // in the progress and copying window calls
    void StartProgress(int64_t maximum, bool showButton) override {
        tTimer t(Seconds);
        gui::TQtPort::StartProgress(maximum, showButton);
    }
    void StartProgressText(std::string_view text, bool showButton,
                           std::string_view title) override {
        tTimer t(Seconds);
        gui::TQtPort::StartProgressText(text, showButton, title);
    }
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title) override {
        tTimer t(Seconds);
        gui::TQtPort::ShowProgressText(text, showButton, title);
    }
    bool SetProgress(int64_t position) override {
        tTimer t(Seconds);
        return gui::TQtPort::SetProgress(position);
    }
    void EndProgress() override {
        tTimer t(Seconds);
        gui::TQtPort::EndProgress();
    }
    void SetProgressTitle(std::string_view title) override {
        tTimer t(Seconds);
        gui::TQtPort::SetProgressTitle(title);
    }
    void SetProgressButtonCaption(std::string_view caption) override {
        tTimer t(Seconds);
        gui::TQtPort::SetProgressButtonCaption(caption);
    }
    void OpenCopyingStatus(tCopyingStatus& status, bool show) override {
        tTimer t(Seconds);
        gui::TQtPort::OpenCopyingStatus(status, show);
    }
    void CloseCopyingStatus() override {
        tTimer t(Seconds);
        gui::TQtPort::CloseCopyingStatus();
    }

private:
    struct tTimer {
        double& Sum;
        std::chrono::steady_clock::time_point Start = std::chrono::steady_clock::now();
        explicit tTimer(double& sum) : Sum(sum) {}
        ~tTimer() { Sum += bench::Seconds(Start); }
    };
};

// CPU seconds (user and system) of this process so far: steadier than wall time on a
// shared machine, and what the windows add shows up here.
double CpuSeconds() {
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    auto s = [](const timeval& t) { return static_cast<double>(t.tv_sec) + t.tv_usec / 1e6; };
    return s(u.ru_utime) + s(u.ru_stime);
}

struct tTimes {
    double Scan = 0, Copy = 0, ScanCpu = 0, CopyCpu = 0;
};

// Scan and plan of source against a new empty folder, then the copy of everything into it.
// The copies stay until the end: ext4 makes files more slowly for a while after many were
// deleted, which would slow down whichever run came after a deletion.
tTimes RunOnce(const std::string& source, const std::string& dest) {
    std::filesystem::create_directories(dest);
    tProfile p;
    SetInitialValues(p);
    p.Name = "bench";
    p.LeftPath = source;
    p.RightPath = dest;
    p.RightToLeft = false;
    p.Unattended = p.RunUnattended = true;
    p.ShowWindows = true;
    p.Filter.rgState = 2; // "L to R"

    tTimes t;
    sync();
    auto start = std::chrono::steady_clock::now();
    double cpu = CpuSeconds();
    if (!AnalyzeProfile(p)) {
        std::fprintf(stderr, "analysis failed: %s\n", p.LastRunResult.c_str());
        std::exit(1);
    }
    t.Scan = Seconds(start);
    t.ScanCpu = CpuSeconds() - cpu;
    start = std::chrono::steady_clock::now();
    cpu = CpuSeconds();
    ExecutePlan(p);
    t.Copy = Seconds(start);
    t.CopyCpu = CpuSeconds() - cpu;
    if (p.LastRunResult.find(" failed") != std::string::npos) {
        std::fprintf(stderr, "copy failed: %s\n", p.LastRunResult.c_str());
        std::exit(1);
    }
    return t;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 1);
    const std::string data = argc > 1 ? argv[1] : "/tmp/corvane-qtport-bench";
    const int files = EnvInt("FILES", 100000);
    const int rounds = std::max(1, EnvInt("ROUNDS", 2));
    const bool calibrate = EnvInt("CALIBRATE", 0) != 0;

    QApplication app(argc, argv);
    // The window that is active when a run starts, as the main window is in the program.
    QWidget main;
    main.resize(640, 480);
    main.show();
    main.activateWindow();
    QApplication::processEvents();

    std::FILE* quiet = std::fopen("/dev/null", "w");
    ConsolePort console(quiet);
    tTimedQtPort qt;
    RunSettings() = tMainSettings{}; // 1024 kB buffer, no log

    std::filesystem::remove_all(data);
    const std::string source = data + "/left";
    MakeTree(source, files);

    tTimes bestConsole, bestQt;
    double windowsBest = 1e9, eventsBest = 1e9;
    long long calls = 0, runs = 0;
    for (int round = 0; round < rounds; ++round) {
        for (int k = 0; k < 2; ++k) {
            const bool useQt = (round + k) % 2 == 1;
            SetUiPort(useQt && !calibrate ? static_cast<UiPort*>(&qt) : &console);
            const double windowsBefore = qt.Seconds;
            const gui::TQtPort::tEventStats before = qt.EventStats();
            const tTimes t = RunOnce(source, data + "/right" + std::to_string(2 * round + k));
            if (useQt) {
                windowsBest = std::min(windowsBest, qt.Seconds - windowsBefore);
                eventsBest = std::min(eventsBest, qt.EventStats().Seconds - before.Seconds);
                calls = qt.EventStats().Calls - before.Calls;
                runs = qt.EventStats().Runs - before.Runs;
            }
            tTimes& best = useQt ? bestQt : bestConsole;
            if (round == 0 || t.Scan < best.Scan) best.Scan = t.Scan;
            if (round == 0 || t.Copy < best.Copy) best.Copy = t.Copy;
            if (round == 0 || t.ScanCpu < best.ScanCpu) best.ScanCpu = t.ScanCpu;
            if (round == 0 || t.CopyCpu < best.CopyCpu) best.CopyCpu = t.CopyCpu;
        }
    }
    SetUiPort(nullptr);

    std::printf("files: %d\n", files);
    if (calibrate) std::printf("calibration: the Qt column ran the console port too\n");
    std::printf("scan+plan console port s: %.3f\n", bestConsole.Scan);
    std::printf("scan+plan Qt port s: %.3f\n", bestQt.Scan);
    std::printf("scan+plan ratio Qt/console: %.2f\n", bestQt.Scan / bestConsole.Scan);
    std::printf("copy console port s: %.3f\n", bestConsole.Copy);
    std::printf("copy Qt port s: %.3f\n", bestQt.Copy);
    std::printf("copy ratio Qt/console: %.2f\n", bestQt.Copy / bestConsole.Copy);
    std::printf("scan+plan CPU console port s: %.3f\n", bestConsole.ScanCpu);
    std::printf("scan+plan CPU Qt port s: %.3f\n", bestQt.ScanCpu);
    std::printf("scan+plan CPU ratio Qt/console: %.2f\n", bestQt.ScanCpu / bestConsole.ScanCpu);
    std::printf("copy CPU console port s: %.3f\n", bestConsole.CopyCpu);
    std::printf("copy CPU Qt port s: %.3f\n", bestQt.CopyCpu);
    std::printf("copy CPU ratio Qt/console: %.2f\n", bestQt.CopyCpu / bestConsole.CopyCpu);
    std::printf("engine event points per run: %lld\n", calls);
    std::printf("event runs per run: %lld\n", runs);
    std::printf("time in event runs per run s: %.3f\n", eventsBest);
    std::printf("longest event run s: %.4f\n", qt.EventStats().Longest);
    std::printf("time in window calls per run s: %.3f\n", windowsBest);
    std::printf("windows share of the Qt run: %.3f\n",
                (eventsBest + windowsBest) / (bestQt.Scan + bestQt.Copy));
    std::fflush(stdout);

    std::filesystem::remove_all(data);
    std::fclose(quiet);
    return 0;
}
