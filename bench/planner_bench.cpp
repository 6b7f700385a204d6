// Times the three planning passes on synthetic plans: 100,000 entries for every pass and
// 1,000,000 entries for the whole chain, each with 1% moved files.
#include "BenchEntries.h"
#include "engine/Planner.h"
#include "engine/StatusList.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <random>
#include <string>
#include <time.h>

using namespace corvane;
using corvane::bench::FileSide;
using corvane::bench::Side;

namespace {

constexpr int64_t T0 = 1600000000;

// A tree of folders with 50 files each: 60% on both sides (a third of them changed), 20%
// only on the left, 19% only on the right and 1% moved from one folder to another (two
// one-sided halves with the same name, size and time).
void MakePlan(tProfile& p, int32_t count) {
    std::mt19937 rng(42);
    p.Entries.clear();
    p.Entries.reserve(count);
    int32_t folder = 0;
    tFolderRef rel;
    const tFolderRef base = tFolderRef::Make("", 0);
    while (static_cast<int32_t>(p.Entries.size()) < count) {
        TFileListEntry dir;
        dir.SetFolder(base, base->AddName("folder" + std::to_string(folder)));
        dir.Left = dir.Right = Side(0, T0, faDirectory, 040755);
        dir.LeftIsFolder = dir.RightIsFolder = true;
        dir.Action = dir.DefaultAction = tAction::actLeaveAlone;
        p.Entries.push_back(dir);
        rel = tFolderRef::Make("/folder" + std::to_string(folder), 1);
        for (int k = 0; k < 50 && static_cast<int32_t>(p.Entries.size()) < count; ++k) {
            TFileListEntry e;
            e.SetFolder(rel, rel->AddName("file" + std::to_string(folder) + "_" +
                                          std::to_string(k) + ".dat"));
            const int64_t size = 1000 + rng() % 5000000;
            const int64_t time = T0 + rng() % 1000000;
            const unsigned kind = rng() % 100;
            if (kind < 60) {
                e.Left = FileSide(size, time);
                e.Right = FileSide(size, kind < 20 ? time - 5000 : time);
                e.Action = tAction::actLeaveAlone;
            } else if (kind < 80) {
                e.Left = FileSide(size, time);
                e.Action = tAction::actCopyToRight;
            } else if (kind < 99) {
                e.Right = FileSide(size, time);
                e.Action = tAction::actCopyToLeft;
            } else {
                // The moved file: its old place on the right here, its new place on the left
                // in a later folder.
                e.SetName("moved" + std::to_string(p.Entries.size()) + ".dat");
                e.Right = FileSide(size, time);
                e.Action = tAction::actCopyToLeft;
                TFileListEntry moved = e;
                moved.SetRelPath("/moved" + std::to_string(folder));
                moved.Right = {};
                moved.Left = FileSide(size, time);
                moved.Action = tAction::actCopyToRight;
                moved.DefaultAction = moved.Action;
                e.DefaultAction = e.Action;
                p.Entries.push_back(e);
                p.Entries.push_back(moved);
                continue;
            }
            e.DefaultAction = e.Action;
            p.Entries.push_back(e);
        }
        ++folder;
    }
    p.Entries.resize(count);
    p.LeftItemCount = p.RightItemCount = count;
    p.MaxLevel = 1;
}

// Wall-clock and CPU seconds of fn. The CPU figure stays meaningful on a busy machine.
struct tTiming {
    double Wall = 0, Cpu = 0;
};

double CpuNow() {
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) * 1e-9;
}

tTiming Measure(const std::function<void()>& fn) {
    const auto start = std::chrono::steady_clock::now();
    const double cpu = CpuNow();
    fn();
    return {std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count(),
            CpuNow() - cpu};
}

// One "figure: value" line per timing, as bench/run.sh collects them.
void Print(int32_t count, const char* what, const tTiming& t) {
    std::printf("%d entries %s ms: %.1f wall, %.1f cpu\n", count, what, t.Wall * 1e3, t.Cpu * 1e3);
}

void Run(int32_t count) {
    tProfile p;
    p.DetectMoved = true;
    p.LeftToRight = p.RightToLeft = true;
    p.EmptyFolders = true;
    p.Ignore2Secs = true;
    p.Filter.rgState = 1;
    tStatusList list(p);
    MakePlan(p, count);

    const tTiming compare = Measure([&] { CompareEntries(p); });
    const tTiming moved = Measure([&] { FindMovedFiles(p); });
    const tTiming build = Measure([&] { BuildStatusList(p); });
    p.Filter.rgState = 0;
    const tTiming rebuild = Measure([&] { BuildStatusList(p); });
    const int32_t rows = std::min(list.RowCount() - 1, 10000);
    size_t chars = 0;
    const tTiming cells = Measure([&] {
        for (int32_t row = 1; row <= rows; ++row)
            for (int col = 0; col < tStatusList::ColumnCount; ++col)
                chars += list.CellText(row, col).size();
    });

    std::printf("%d entries moves paired: %d\n", count, p.Stats.MoveCount);
    std::printf("%d entries rows shown: %d\n", count, list.RowCount() - 1);
    Print(count, "CompareEntries", compare);
    Print(count, "FindMovedFiles", moved);
    Print(count, "BuildStatusList (Affected)", build);
    Print(count, "BuildStatusList (Show All)", rebuild);
    const std::string what = "cell texts of " + std::to_string(rows) + " rows";
    Print(count, what.c_str(), cells);
    std::printf("%d entries cell characters: %zu\n", count, chars);
}

} // namespace

int main() {
    Run(100000);
    Run(1000000);
    return 0;
}
