// The status window on a synthetic plan of 1,000,000 rows, offscreen: time to the first
// painted grid, a filter change (rebuild and repaint), one screen of rows while scrolling,
// the window's extra memory per row, an immediate delete of one row and action commands on
// a selection of 100,000 rows.
//   status_bench DATA_FOLDER            (ROWS=200000 chooses another plan size)
//   status_bench --screenshot OUT.png   the window on a small real plan, saved as a PNG
#include "BenchEntries.h"
#include "engine/Analysis.h"
#include "engine/Planner.h"
#include "engine/RunDriver.h"
#include "engine/StatusList.h"
#include "profiles/Profile.h"
#include "ui/QtPort.h"
#include "ui/SyncStatus.h"
#include "widgets/StatusGrid.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QDir>
#include <QFileInfo>
#include <QGuiApplication>
#include <QHeaderView>
#include <QMenu>
#include <QRadioButton>
#include <QScreen>
#include <QScrollBar>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <malloc.h>
#include <memory>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <utime.h>

using namespace corvane;
using corvane::bench::FileSide;
using corvane::bench::Side;
using namespace corvane::gui;

namespace {

using Clock = std::chrono::steady_clock;
constexpr int64_t T0 = 1600000000;

double Seconds(Clock::time_point since) {
    return std::chrono::duration<double>(Clock::now() - since).count();
}

size_t HeapInUse() {
    const struct mallinfo2 m = mallinfo2();
    return m.uordblks + m.hblkhd;
}

// Answers the immediate delete's question with "Yes, delete NOW." and keeps quiet.
class BenchPort : public TQtPort {
public:
    int ChooseOption(std::string_view, const std::vector<std::string>&, int) override { return 1; }
    void ShowInfo(std::string_view) override {}
};

// Folders of 99 files: copies both ways, equal files, files left alone and moved halves.
void MakePlan(tProfile& p, int32_t count) {
    p.Entries.reserve(count);
    tFolderRef rel;
    const tFolderRef base = tFolderRef::Make("", 0);
    for (int32_t i = 0; i < count; ++i) {
        TFileListEntry e;
        if (i % 100 == 0) {
            const std::string name = "folder" + std::to_string(i / 100);
            e.SetFolder(base, base->AddName(name));
            e.Left = e.Right = Side(0, T0, 0x10, 040755);
            e.LeftIsFolder = e.RightIsFolder = true;
            e.Action = e.DefaultAction = tAction::actLeaveAlone;
            rel = tFolderRef::Make("/" + name, 1);
            p.Entries.push_back(std::move(e));
            continue;
        }
        e.SetFolder(rel, rel->AddName("file" + std::to_string(i) + ".dat"));
        const int64_t size = 1000 + (i * 7919) % 5000000;
        switch (i % 6) {
        case 0:
            e.Left = FileSide(size, T0 + 100);
            e.Right = FileSide(size / 2, T0);
            e.Action = tAction::actCopyToRight;
            break;
        case 1:
            e.Right = FileSide(size, T0);
            e.Action = tAction::actCopyToLeft;
            break;
        case 2:
            e.Left = FileSide(size, T0);
            e.Action = tAction::actCopyToRight;
            break;
        case 3:
            e.Left = e.Right = FileSide(size, T0);
            e.Action = tAction::actNone;
            break;
        case 4:
            e.Left = FileSide(size, T0);
            e.Right = FileSide(size, T0 + 1);
            e.Action = tAction::actLeaveAlone;
            break;
        default:
            e.Left = FileSide(size, T0);
            e.SetMovedPath("/folder0");
            e.Action = tAction::actMove;
            break;
        }
        e.DefaultAction = e.Action;
        p.Entries.push_back(std::move(e));
    }
    p.MaxLevel = 1;
    p.LeftItemCount = p.RightItemCount = count;
}

void Repaint(TFSyncStatus& w) {
    w.Grid->viewport()->repaint();
    QCoreApplication::processEvents();
}

int RunBench(const std::string& data) {
    const int32_t rows = std::getenv("ROWS") ? std::atoi(std::getenv("ROWS")) : 1000000;
    BenchPort port;
    SetUiPort(&port);

    tProfile p;
    SetInitialValues(p);
    p.Name = "bench";
    p.LeftPath = data + "/left";
    p.RightPath = data + "/right";
    QDir().mkpath(QString::fromStdString(p.LeftPath));
    QDir().mkpath(QString::fromStdString(p.RightPath));
    MakePlan(p, rows);
    // One real file for the immediate delete: the first left-only file.
    const int32_t victim = 2;
    QDir().mkpath(QString::fromStdString(p.LeftPath + "/folder0"));
    std::ofstream(p.LeftPath + "/folder0/" + std::string(p.Entries[victim].Name())) << "x";
    SetFilterDefaults(p);
    p.Filter.rgState = 0;
    BuildStatusList(p);
    const size_t modelBytes = p.RowIndex.capacity() * sizeof(int32_t);

    const size_t heapBefore = HeapInUse();
    auto start = Clock::now();
    auto w = std::make_unique<TFSyncStatus>();
    w->Profile = &p;
    w->PrepareRun();
    w->resize(1200, 800);
    w->show();
    Repaint(*w);
    const double firstPaint = Seconds(start);
    const size_t heapAfter = HeapInUse();
    const int shownRows = w->Grid->GridModel()->rowCount();

    std::printf("rows in the plan: %d\n", shownRows);
    std::printf("first painted grid (s): %.3f\n", firstPaint);
    std::printf("window memory per row (bytes): %.1f\n",
                static_cast<double>(heapAfter - heapBefore) / shownRows);
    std::printf("status list model per row (bytes): %.1f\n",
                static_cast<double>(modelBytes) / shownRows);

    start = Clock::now();
    w->rgState->Item(1)->click(); // Affected
    Repaint(*w);
    std::printf("filter change, rebuild and repaint (s): %.3f\n", Seconds(start));
    start = Clock::now();
    w->rgState->Item(0)->click(); // Show All again
    Repaint(*w);
    std::printf("filter change back to Show All (s): %.3f\n", Seconds(start));

    QScrollBar* bar = w->Grid->verticalScrollBar();
    const int screens = 200;
    start = Clock::now();
    for (int i = 0; i < screens; ++i) {
        bar->setValue(bar->value() + bar->pageStep());
        Repaint(*w);
    }
    std::printf("one screen of %d rows while scrolling (ms): %.2f\n", bar->pageStep(),
                Seconds(start) * 1000 / screens);
    bar->setValue(bar->maximum() / 2);
    start = Clock::now();
    for (int i = 0; i < screens; ++i) {
        bar->setValue(i % 2 ? bar->maximum() / 2 : bar->maximum() / 3);
        Repaint(*w);
    }
    std::printf("one screen after a jump (ms): %.2f\n", Seconds(start) * 1000 / screens);

    int victimRow = -1;
    for (int r = 1; r < static_cast<int>(p.RowIndex.size()); ++r)
        if (p.RowIndex[r] == victim) victimRow = r;
    w->Grid->SelectRows(victimRow, victimRow);
    start = Clock::now();
    w->PopupMenu1Popup();
    w->DeleteNow1Click();
    Repaint(*w);
    std::printf("immediate delete of one row (s): %.4f%s\n", Seconds(start),
                p.Entries[victim].Left.Present ? " (not deleted!)" : "");

    const int selection = std::min(100000, shownRows);
    w->Grid->SelectRows(1, selection);
    start = Clock::now();
    w->PopupMenu1Popup();
    std::printf("popup menu rules on %d rows (s): %.4f\n", selection, Seconds(start));
    start = Clock::now();
    w->LeaveAlone1Click();
    Repaint(*w);
    std::printf("Leave Alone on %d rows (s): %.4f\n", selection, Seconds(start));
    w->PopupMenu1Popup();
    start = Clock::now();
    w->ReverttoDefaultAction1Click();
    Repaint(*w);
    std::printf("Revert to Default Action on %d rows (s): %.4f\n", selection, Seconds(start));
    w->PopupMenu1Popup();
    start = Clock::now();
    w->RemoveFromList1Click();
    Repaint(*w);
    std::printf("Remove From List of %d rows (s): %.4f\n", selection, Seconds(start));

    w.reset();
    SetUiPort(nullptr);
    QDir(QString::fromStdString(data)).removeRecursively();
    return 0;
}

// --- the screenshot: a small real plan -----------------------------------------------------

void Write(const std::string& path, const std::string& contents, int64_t time) {
    QDir().mkpath(QFileInfo(QString::fromStdString(path)).path());
    std::ofstream(path) << contents;
    struct utimbuf t = {static_cast<time_t>(time), static_cast<time_t>(time)};
    utime(path.c_str(), &t);
}

int Screenshot(const std::string& out) {
    const std::string root = QDir::tempPath().toStdString() + "/corvane-shot";
    QDir(QString::fromStdString(root)).removeRecursively();
    const std::string l = root + "/Documents", r = root + "/Backup/Documents";
    const int64_t old = 1700000000, now = 1733700000;
    Write(l + "/Budget 2025.ods", std::string(48213, 'b'), now);
    Write(r + "/Budget 2025.ods", std::string(51877, 'b'), old);
    Write(l + "/Letters/Landlord.odt", std::string(18000, 'l'), old);
    Write(r + "/Letters/Landlord.odt", std::string(18300, 'l'), now);
    Write(l + "/Letters/Bank.odt", std::string(9000, 'k'), old);
    Write(r + "/Letters/Bank.odt", std::string(9000, 'k'), old);
    Write(l + "/Photos/2024/Beach.jpg", std::string(2400000, 'p'), old);
    Write(r + "/Photos/Holiday/Beach.jpg", std::string(2400000, 'p'), old);
    Write(l + "/Photos/2024/Harbour.jpg", std::string(1900000, 'h'), now);
    Write(r + "/Notes.txt", std::string(700, 'n'), old);
    Write(l + "/Recipes/Bread.md", std::string(3100, 'r'), now);
    Write(l + "/Recipes/Soup.md", std::string(2200, 's'), now);
    Write(r + "/Recipes/Soup.md", std::string(2200, 's'), now);
    Write(r + "/Old scans/Scan 001.pdf", std::string(310000, 'o'), old);

    BenchPort port;
    SetUiPort(&port);
    tProfile p;
    SetInitialValues(p);
    p.Name = "Documents backup";
    p.LeftPath = l;
    p.RightPath = r;
    SetFilterDefaults(p);
    p.Filter.rgState = 0;
    if (!AnalyzeProfile(p)) return 1;
    TFSyncStatus w;
    w.Profile = &p;
    w.PrepareRun();
    const char* size = std::getenv("SHOT_SIZE"); // WIDTHxHEIGHT
    int width = 1000, height = 600;
    if (size) std::sscanf(size, "%dx%d", &width, &height);
    w.resize(width, height);
    w.show();
    QCoreApplication::processEvents();
    // The user marks the old scan for deletion and selects the letter to the landlord.
    const tStatusList& list = *w.Grid->GridModel()->List();
    for (int row = 1; row < list.RowCount(); ++row) {
        const TFileListEntry* e = list.RowEntry(row);
        if (e && e->Name() == "Scan 001.pdf") {
            w.Grid->SelectRows(row, row);
            w.PopupMenu1Popup();
            w.Delete1Click();
        }
    }
    for (int row = 1; row < list.RowCount(); ++row) {
        const TFileListEntry* e = list.RowEntry(row);
        if (e && e->Name() == "Landlord.odt") w.Grid->SelectRows(row, row);
    }
    w.Grid->setFocus();
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }
    QPixmap shot;
    if (std::getenv("SHOT_MENU")) {
        // The popup menu is a window of its own: take the whole screen.
        const auto [top, bottom] = w.Selection();
        const QRect cell = w.Grid->visualRect(w.Grid->GridModel()->index(top - 1, 1));
        w.PopupMenu1->popup(w.Grid->viewport()->mapToGlobal(cell.center()));
        for (int i = 0; i < 20; ++i) {
            QCoreApplication::processEvents();
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        shot = QGuiApplication::primaryScreen()->grabWindow(0);
    } else {
        shot = w.grab();
    }
    const bool saved = shot.save(QString::fromStdString(out));
    SetUiPort(nullptr);
    QDir(QString::fromStdString(root)).removeRecursively();
    std::printf("%s %s\n", saved ? "saved" : "could not save", out.c_str());
    return saved ? 0 : 1;
}

} // namespace

int main(int argc, char** argv) {
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    QApplication app(argc, argv);
    QApplication::setApplicationName("Corvane");
    if (argc == 3 && std::string(argv[1]) == "--screenshot") return Screenshot(argv[2]);
    const std::string data = argc > 1 ? argv[1] : QDir::tempPath().toStdString() + "/status_bench";
    return RunBench(data);
}
