// Runs stopped while copies are under way, with four copy workers: the real executable killed
// with SIGKILL, and an in-process run cancelled from its copying window. Afterwards every
// destination file under a real name holds either its old or its new contents whole (each
// file's bytes are a pattern of its name and version, so a cut-off or mixed copy shows), no
// file that was there is missing, and a second run finishes the job without leftovers.
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/Process.h"
#include "support/RunFixture.h"
#include "support/TempTree.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <memory>
#include <optional>
#include <set>
#include <string>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>
#include <vector>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::TempTree;

namespace {

constexpr int64_t kOld = 1600000000;
constexpr int64_t kNew = 1700000000;
constexpr int kOldVersion = 1, kNewVersion = 2;
constexpr int kWorkers = 4;
constexpr int64_t kMiB = 1024 * 1024;

// size bytes that belong to rel in version only: every 8-byte word depends on the name, the
// version and its position, so a block from another file, version or offset does not match.
std::string Contents(const std::string& rel, int version, int64_t size) {
    uint64_t x = 1469598103934665603ull;
    for (char c : rel) x = (x ^ static_cast<unsigned char>(c)) * 1099511628211ull;
    x ^= static_cast<uint64_t>(version) * 0xD1B54A32D192ED03ull;
    std::string s(static_cast<std::size_t>(size), '\0');
    for (std::size_t i = 0; i < s.size(); i += 8) {
        uint64_t z = (x += 0x9E3779B97F4A7C15ull);
        z = (z ^ (z >> 30)) * 0xBF58476D1CE4E5B9ull;
        z = (z ^ (z >> 27)) * 0x94D049BB133111EBull;
        z ^= z >> 31;
        std::memcpy(s.data() + i, &z, std::min<std::size_t>(8, s.size() - i));
    }
    return s;
}

// One file of the trees: the destination holds its old version (when OldSize >= 0), the
// source its new one. Base names are unique, so a log line names one file.
struct tItem {
    std::string Rel, Name;
    int64_t OldSize = -1, NewSize = 0;
};

// Many small files being replaced, eight large new ones (enough to keep four workers busy
// for a while), new small files, and last in the plan large files being replaced, which are
// still old when the run stops.
std::vector<tItem> Items() {
    std::vector<tItem> items;
    auto add = [&](std::string folder, std::string name, int64_t oldSize, int64_t newSize) {
        items.push_back({folder + "/" + name, name, oldSize, newSize});
    };
    for (int i = 0; i < 120; ++i) {
        const int64_t old = 1000 + (i * 7919) % 40000;
        const int64_t delta = 1 + (i * 31) % 900;
        add("docs/part" + std::to_string(i % 4), "doc" + std::to_string(i) + ".txt", old,
            i % 2 ? old + delta : old - delta);
    }
    for (int i = 0; i < 8; ++i)
        add("media", "big" + std::to_string(i) + ".bin", -1, 32 * kMiB - i * 4097);
    for (int i = 0; i < 120; ++i)
        add("new/batch" + std::to_string(i % 3), "add" + std::to_string(i) + ".txt", -1,
            i == 7 ? 0 : 500 + (i * 104729) % 30000);
    add("new", "fresh.bin", -1, 16 * kMiB + 123);
    for (int i = 0; i < 4; ++i)
        add("zold", "kept" + std::to_string(i) + ".bin", 4 * kMiB + i * 4099,
            8 * kMiB - i * 4097);
    return items;
}

// The file at path whole; false when it cannot be read.
bool ReadWhole(const std::string& path, std::string& out) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return false;
    struct stat st {};
    bool ok = fstat(fd, &st) == 0;
    out.resize(ok ? static_cast<std::size_t>(st.st_size) : 0);
    std::size_t got = 0;
    while (ok) {
        // One byte more than the size, so that a file still growing shows.
        if (got == out.size()) out.resize(got + 1);
        const ssize_t n = read(fd, out.data() + got, out.size() - got);
        if (n < 0) ok = false;
        if (n <= 0) break;
        got += static_cast<std::size_t>(n);
    }
    out.resize(got);
    close(fd);
    return ok;
}

bool IsTemporary(const std::string& name) {
    return name.compare(0, CopyTempPrefix.size(), CopyTempPrefix) == 0;
}

std::string BaseName(const std::string& rel) {
    const auto slash = rel.rfind('/');
    return slash == std::string::npos ? rel : rel.substr(slash + 1);
}

// The large files being written in dest's media folder right now: its temporaries, the
// unnamed files process pid has open there, and the large files whose size is neither the
// old nor the new one (a copy written over the file itself).
int LargeCopiesUnderWay(const TempTree& dest, const std::vector<tItem>& items, int pid) {
    int count = 0;
    const std::string fds = "/proc/" + std::to_string(pid) + "/fd";
    const std::string unnamed = dest.Path("media") + "/#";
    if (DIR* dir = opendir(fds.c_str())) {
        while (const dirent* d = readdir(dir)) {
            char target[4096];
            const ssize_t n =
                readlink((fds + "/" + d->d_name).c_str(), target, sizeof target - 1);
            if (n > 0 && std::string(target, static_cast<std::size_t>(n)).rfind(unnamed, 0) == 0)
                ++count;
        }
        closedir(dir);
    }
    if (DIR* dir = opendir(dest.Path("media").c_str())) {
        while (const dirent* d = readdir(dir))
            if (IsTemporary(d->d_name)) ++count;
        closedir(dir);
    }
    for (const tItem& f : items) {
        struct stat st {};
        if (f.Rel.compare(0, 6, "media/") == 0 && lstat(dest.Path(f.Rel).c_str(), &st) == 0 &&
            st.st_size != f.OldSize && st.st_size != f.NewSize)
            ++count;
    }
    return count;
}

// What a destination tree holds after an interrupted run. Adds a failure for every file under
// a real name that is neither version whole, for every old file that is gone, and for every
// name the run had no business making.
struct tSurvey {
    std::set<std::string> Renewed; // base names of the files that hold their new contents
    int Old = 0;                   // files still holding their old contents
    int Absent = 0;                // new files not (yet) there
    int Temporaries = 0;
};

tSurvey Survey(const TempTree& dest, const std::vector<tItem>& items) {
    tSurvey s;
    std::map<std::string, const tItem*> byRel;
    for (const tItem& f : items) byRel[f.Rel] = &f;
    for (const std::string& rel : dest.List()) {
        if (rel.back() == '/') continue;
        if (IsTemporary(BaseName(rel))) {
            ++s.Temporaries;
        } else if (!byRel.count(rel)) {
            ADD_FAILURE() << "a file the run should not have made: " << rel;
        }
    }
    for (const tItem& f : items) {
        SCOPED_TRACE(f.Rel);
        if (!dest.Exists(f.Rel)) {
            if (f.OldSize >= 0)
                ADD_FAILURE() << "the old file is gone";
            else
                ++s.Absent;
            continue;
        }
        std::string now;
        if (!ReadWhole(dest.Path(f.Rel), now)) {
            ADD_FAILURE() << "cannot be read";
            continue;
        }
        if (static_cast<int64_t>(now.size()) == f.NewSize &&
            now == Contents(f.Rel, kNewVersion, f.NewSize)) {
            s.Renewed.insert(f.Name);
        } else if (static_cast<int64_t>(now.size()) == f.OldSize &&
                   now == Contents(f.Rel, kOldVersion, f.OldSize)) {
            ++s.Old;
        } else {
            ADD_FAILURE() << "holds neither version whole: " << now.size() << " bytes (old "
                          << f.OldSize << ", new " << f.NewSize << ")";
        }
    }
    return s;
}

// The leading number of a result such as "17 copied".
int CopiedIn(const std::string& result) {
    int copied = -1;
    return std::sscanf(result.c_str(), "%d copied", &copied) == 1 ? copied : -1;
}

// The source tree, only ever read, is made once for all tests; each test has a destination
// with the old versions of its own.
class InterruptedCopy : public corvane::test::RunFixture {
protected:
    static inline const std::vector<tItem> items = Items();
    static inline std::unique_ptr<TempTree> source;

    static void SetUpTestSuite() {
        source = std::make_unique<TempTree>();
        for (const tItem& f : items)
            source->WriteFile(f.Rel, Contents(f.Rel, kNewVersion, f.NewSize), kNew);
    }
    static void TearDownTestSuite() { source.reset(); }

    void SetUp() override {
        RunFixture::SetUp();
        for (const tItem& f : items)
            if (f.OldSize >= 0)
                right.WriteFile(f.Rel, Contents(f.Rel, kOldVersion, f.OldSize), kOld);
    }

    // A backup to the right that may replace what it finds there without asking.
    tProfile Backup() const {
        tProfile p = Profile();
        p.LeftPath = source->Root();
        p.RightPath = right.Root();
        p.RightToLeft = false;
        p.Unattended = true;
        p.UA_OverwriteLarger = p.UA_OverwriteNewer = true;
        return p;
    }

    // The destination equals the source: the same names (no temporary left), every file
    // with its new contents, time and mode.
    void ExpectFinished() const {
        ASSERT_EQ(right.List(), source->List());
        EXPECT_EQ(Survey(right, items).Renewed.size(), items.size());
        for (const tItem& f : items) {
            SCOPED_TRACE(f.Rel);
            EXPECT_EQ(right.Time(f.Rel), kNew);
            EXPECT_EQ(right.Mode(f.Rel), source->Mode(f.Rel));
        }
    }

    int Planned() const { return static_cast<int>(items.size()); }
};

// ---------------------------------------------------------------------------------------------
// Killed: the real executable, its own HOME and XDG folders, killed while large files are
// being written.

TEST_F(InterruptedCopy, KilledRunLeavesEveryFileWholeAndTheNextRunFinishes) {
    home.MakeFolder("config");
    home.MakeFolder("data");
    home.MakeFolder("runtime");
    home.SetMode("runtime", 0700);
    {
        tPreferences prefs(home.Path(".CorvaneX"));
        tProfile p = Backup();
        p.Name = "backup";
        prefs.Write("opt_backup", EncodeOptions(p), "Profiles");
        prefs.Write("bfs_backup", p.BaseFolderItems, "BaseFolderItems");
        prefs.Write("msk_backup", p.FileMasks, "FileMasks");
        prefs.Write("xcl_backup", p.ExcludeMasks, "ExcludeMasks");
        prefs.Write("Logging", "0", "Main");
        prefs.Write("CopyWorkers", std::to_string(kWorkers), "Main");
        ASSERT_EQ(prefs.Flush(), "");
    }
    const std::vector<std::pair<std::string, std::string>> env = {
        {"HOME", home.Root()},
        {"XDG_CONFIG_HOME", home.Path("config")},
        {"XDG_DATA_HOME", home.Path("data")},
        {"XDG_RUNTIME_DIR", home.Path("runtime")}};

    // Killed while large files are being written: when as many are under way as there are
    // workers, or, where fewer go at once, while one is under way a little after the first.
    int mostAtOnce = 0;
    {
        test::RunningCorvane run({"--run", "backup"}, env);
        using Clock = std::chrono::steady_clock;
        const auto giveUp = Clock::now() + std::chrono::seconds(30);
        std::optional<Clock::time_point> firstSeen;
        while (Clock::now() < giveUp) {
            const int now = LargeCopiesUnderWay(right, items, run.Pid());
            mostAtOnce = std::max(mostAtOnce, now);
            if (now > 0 && !firstSeen) firstSeen = Clock::now();
            if (now >= kWorkers ||
                (now > 0 && Clock::now() - *firstSeen > std::chrono::milliseconds(30)))
                break;
            std::this_thread::sleep_for(std::chrono::microseconds(200));
        }
        ASSERT_TRUE(firstSeen) << "no copy of a large file was seen under way";
        run.Signal(SIGKILL);
        const auto r = run.Wait();
        ASSERT_EQ(r.Status, -1) << "the run ended before it was killed: " << r.Out << r.Err;
    }

    const tSurvey killed = Survey(right, items);
    std::printf("killed with %d large copies seen at once: %zu files renewed, %d old, %d new "
                "ones absent, %d temporaries left\n",
                mostAtOnce, killed.Renewed.size(), killed.Old, killed.Absent,
                killed.Temporaries);
    EXPECT_GT(killed.Old + killed.Absent, 0) << "the kill came after the last copy";
    EXPECT_LE(killed.Temporaries, 2 * kWorkers) << "temporaries beyond the copies under way";

    // The next run copies what is left, and only that, and removes the leftovers.
    const auto again = test::RunCorvane({"--run", "backup"}, env);
    ASSERT_EQ(again.Status, 0) << again.Out << again.Err;
    EXPECT_EQ(again.Out, std::to_string(killed.Old + killed.Absent) + " copied\n");
    ExpectFinished();
}

// ---------------------------------------------------------------------------------------------
// Cancelled: the run in this process, the copying window's Cancel pressed while large files
// are being written.

TEST_F(InterruptedCopy, CancelledRunKeepsEveryFileWholeAndCountsOnlyFinishedCopies) {
    RunSettings().CopyWorkers = kWorkers;
    RunSettings().Logging = 2; // one file per profile: <folder>/job.log
    RunSettings().LogFolder = home.Path("logs");
    tProfile p = Backup();

    // Cancelled when as many large copies are under way as there are workers, or, where fewer
    // go at once, while one is under way a while after the first was seen.
    using Clock = std::chrono::steady_clock;
    int mostAtOnce = 0;
    std::optional<Clock::time_point> firstSeen;
    bool cancelled = false;
    port.OnEvents = [&](int) {
        if (cancelled || !port.Copying) return;
        const int now = LargeCopiesUnderWay(right, items, getpid());
        mostAtOnce = std::max(mostAtOnce, now);
        if (now > 0 && !firstSeen) firstSeen = Clock::now();
        if (now >= kWorkers ||
            (now > 0 && Clock::now() - *firstSeen > std::chrono::milliseconds(100))) {
            port.Copying->Cancelled = true;
            cancelled = true;
        }
    };
    EXPECT_TRUE(RunProfile(p, true));
    ASSERT_TRUE(cancelled) << "no copy of a large file was seen under way; " << p.LastRunResult;
    EXPECT_TRUE(p.ExecutionCancelled);

    // Cancel waits for the copies under way: nothing changes once the run has returned.
    std::map<std::string, int64_t> sizes;
    auto sizesNow = [&] {
        std::map<std::string, int64_t> m;
        for (const auto& rel : right.List()) {
            struct stat st {};
            if (lstat(right.Path(rel).c_str(), &st) == 0) m[rel] = st.st_size;
        }
        return m;
    };
    sizes = sizesNow();
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    EXPECT_EQ(sizesNow(), sizes) << "the destination changed after the run returned";

    const tSurvey after = Survey(right, items);
    std::printf("cancelled with %d large copies seen at once: %zu files renewed, %d old, %d new "
                "ones absent; result \"%s\"\n",
                mostAtOnce, after.Renewed.size(), after.Old, after.Absent,
                p.LastRunResult.c_str());
    EXPECT_EQ(after.Temporaries, 0) << "a cancelled copy leaves no temporary behind";
    EXPECT_GT(after.Old + after.Absent, 0) << "the cancel came after the last copy";
    EXPECT_EQ(CopiedIn(p.LastRunResult), static_cast<int>(after.Renewed.size()))
        << p.LastRunResult;

    // The log names exactly the files that were copied.
    std::ifstream logFile(home.Path("logs/job.log"), std::ios::binary);
    ASSERT_TRUE(logFile.good());
    std::set<std::string> logged;
    for (std::string line; std::getline(logFile, line);) {
        const std::string prefix = "COPY L->R ";
        if (line.compare(0, prefix.size(), prefix) != 0) continue;
        if (line.find(" * ERROR ") != std::string::npos) continue;
        EXPECT_TRUE(logged.insert(line.substr(prefix.size())).second) << "logged twice: " << line;
    }
    EXPECT_EQ(logged, after.Renewed);

    // The next run copies the rest.
    port.OnEvents = nullptr;
    tProfile next = Backup();
    EXPECT_TRUE(RunProfile(next, true));
    EXPECT_EQ(CopiedIn(next.LastRunResult), Planned() - static_cast<int>(after.Renewed.size()))
        << next.LastRunResult;
    ExpectFinished();
}

} // namespace
