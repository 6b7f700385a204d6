#include "app/CommandLine.h"

#include "app/ProfileCommands.h"
#include "engine/Analysis.h"
#include "engine/ConsolePort.h"
#include "engine/Masks.h"
#include "engine/RunDriver.h"
#include "engine/StatusList.h"
#include "log/LogFolder.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileFields.h"
#include "profiles/ProfileStore.h"
#include "scheduler/Scheduler.h"
#include "scheduler/Watching.h"

#include <csignal>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <exception>
#include <functional>
#include <optional>
#include <poll.h>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <time.h>
#include <vector>

namespace corvane {

namespace {

// Exit statuses of the headless commands.
enum : int {
    kExitOk = 0,
    kExitFailed = 1,     // the run could not start or was abandoned
    kExitUsage = 2,      // unknown profile, usage error, invalid mask (--plan)
    kExitIncomplete = 3, // the run completed but some entries were not carried out
};

void PrintHelp() {
    std::printf(
        "Corvane %s (build %d): synchronizes and backs up pairs of folder trees.\n\n"
        "Usage: corvane [OPTION]\n\n"
        "  /autostart    start the scheduler when the main window opens\n"
        "  --list        print the stored profile names, one per line, in store order\n"
        "  --plan NAME   analyse the stored profile NAME as an unattended run would and\n"
        "                print the plan (one line per row, tab-separated cells, then the\n"
        "                summary); nothing on disk changes\n"
        "  --run NAME    run the stored profile NAME unattended, as the scheduler would,\n"
        "                store its result and print it; exit status 0 when everything was\n"
        "                carried out, 3 when some entries failed or the result could not be\n"
        "                stored, 1 when the run could not start or was abandoned, 2 for\n"
        "                an unknown profile or a usage error; on a terminal standard\n"
        "                error shows the progress (bytes and files done of the totals,\n"
        "                speed, time left) on one updating line\n"
        "  --run NAME --progress\n"
        "                the same, showing the progress also when standard error is not\n"
        "                a terminal: one plain line at most every second, for a log file\n"
        "  --scheduler   run the scheduler without a window: start every scheduled\n"
        "                profile unattended at its next run, one line per start and\n"
        "                result on standard output; ends on SIGTERM or SIGINT (between\n"
        "                runs) and when no profile is left to start; profiles set to run\n"
        "                when their files change are watched meanwhile\n"
        "  --watch NAME  run the stored profile NAME unattended now and again whenever\n"
        "                files change in its folders, after its quiet time (5 seconds\n"
        "                unless the profile sets one); one line per start and result on\n"
        "                standard output; ends on SIGTERM or SIGINT (between runs)\n"
        "\n"
        "Profiles:\n"
        "  --show NAME   print every field of the stored profile NAME as Field=value\n"
        "                lines, in the form --set reads back\n"
        "  --set NAME Field=value...\n"
        "                create the profile NAME (with the values of a first start) or\n"
        "                change it, and store it; flags take yes/no, true/false or 1/0,\n"
        "                date-times DD.MM.YYYY HH:MM:SS, SymLinks 0 follow, 1 copy as\n"
        "                links, 2 ignore, RepeatMode 0 while no error, 1 indefinitely,\n"
        "                2 RepeatTimes times; Scheduled=yes moves a next run that has\n"
        "                passed forward by the repeat interval. An unknown field, a bad\n"
        "                value or a profile the window would not store (ExactMirror with\n"
        "                both directions) stores nothing and exits with 2\n"
        "  --fields      print the field names --set takes, one per line\n"
        "  --rename OLD NEW\n"
        "                rename the stored profile OLD to NEW (not an existing name)\n"
        "  --delete NAME [--yes]\n"
        "                delete the stored profile NAME; without --yes it asks on the\n"
        "                terminal, and refuses when standard input is not one\n"
        "The profile commands exit with 0 when done, 2 for an unknown profile or field, a\n"
        "bad value or a usage error (nothing is stored then), 1 when the profile is being\n"
        "run or the preferences file cannot be written.\n"
        "\n"
        "  --help        show this text\n"
        "  --version     show the version\n\n"
        "The preferences file is $HOME/.CorvaneX.\n",
        CORVANE_VERSION, CORVANE_BUILD);
}

void Err(const std::string& text) { std::fprintf(stderr, "corvane: %s\n", text.c_str()); }

// The store of the headless commands, opened as the main window opens it.
struct tHeadlessSession {
    tPreferences Store{PreferencesFileName()};
    ConsolePort Port;

    tHeadlessSession() {
        Store.Load();
        SetPrefStore(&Store);
        SetUiPort(&Port);
        RunSettings() = ReadMainSettings();
    }
    ~tHeadlessSession() {
        SetUiPort(nullptr);
        SetPrefStore(nullptr);
    }
};

// The stored profile, or nothing after saying on standard error that it is unknown.
std::optional<tProfile> LoadOrComplain(const tPreferences& store, const std::string& name) {
    auto loaded = LoadStoredProfile(store, name);
    if (!loaded) Err("no stored profile named \"" + name + "\" (see --list)");
    return loaded;
}

std::string LeftTrimmed(std::string s) {
    s.erase(0, s.find_first_not_of(' '));
    return s;
}

int ListCommand() {
    tHeadlessSession session;
    for (const auto& name : StoredProfileNames(session.Store)) std::printf("%s\n", name.c_str());
    return kExitOk;
}

int PlanCommand(const std::string& name) {
    tHeadlessSession session;
    auto loaded = LoadOrComplain(session.Store, name);
    if (!loaded) return kExitUsage;
    tProfile& p = *loaded;
    p.RunUnattended = true;
    SetFilterDefaults(p);
    tStatusList list(p);
    try {
        if (!AnalyzeProfile(p)) {
            std::fprintf(stderr, "%s\n", p.LastRunResult.c_str());
            return kExitFailed;
        }
    } catch (const EMaskException& e) {
        Err(e.what());
        return kExitUsage;
    }
    for (const auto& u : p.UnreadableFolders)
        std::fprintf(stderr, "cannot read folder: %s %s: %s\n", u.RightSide ? "right" : "left",
                     u.RelPath.empty() ? "/" : u.RelPath.c_str(), std::strerror(u.Error));
    std::string out;
    for (int32_t row = 1; row < list.RowCount(); ++row) {
        for (int col = 0; col < tStatusList::ColumnCount; ++col) {
            if (col) out += '\t';
            std::string cell = list.CellText(row, col);
            out += col == 1 ? LeftTrimmed(std::move(cell)) : cell;
        }
        out += '\n';
    }
    out += "\nCopy To The Right: " + list.lbLeftToRight + "\nCopy To The Left: " +
           list.lbRightToLeft + "\nMove: " + list.lbMove + "\nTo Delete: " + list.lbDelete +
           "\nFiles Shown: " + list.lbTotalFilesShown + "\n";
    std::fwrite(out.data(), 1, out.size(), stdout);
    return kExitOk;
}

int RunCommand(const std::string& name, bool progress) {
    tHeadlessSession session;
    session.Port.ShowProgressAlways(progress);
    auto loaded = LoadOrComplain(session.Store, name);
    if (!loaded) return kExitUsage;
    tProfile& p = *loaded;
    int status = kExitOk;
    try {
        if (!RunProfile(p, true))
            status = kExitFailed;
        else if (p.FailedCount > 0)
            status = kExitIncomplete;
    } catch (const std::exception& e) {
        // An error no lower layer handles (an invalid mask) ends the run without execution.
        p.LastRunResult = e.what();
        status = kExitFailed;
    }
    if (p.AlreadyRunning) {
        // The other run stores its own results; this one leaves the file alone.
        std::printf("%s\n", p.LastRunResult.c_str());
        return kExitFailed;
    }
    // The execution opens its log without a word when it cannot; say it once per run.
    std::string logProblem;
    if (status != kExitFailed && (p.Stats.AffectedCount > 0 || p.Stats.FolderRowsShown > 0))
        logProblem = LogFolderProblem(RunSettings(), p.Name);
    session.Store.Write("opt_" + name, EncodeOptions(p), "Profiles");
    std::string flushError = session.Store.Flush();
    std::printf("%s\n", p.LastRunResult.c_str());
    if (status == kExitIncomplete)
        for (const auto& line : p.ResultList) std::fprintf(stderr, "%s\n", line.c_str());
    else
        for (const auto& line : p.ResultNotes) std::fprintf(stderr, "%s\n", line.c_str());
    if (!logProblem.empty()) Err(logProblem);
    if (!flushError.empty()) {
        // The result and the last run are lost: the run must not look complete.
        Err(flushError);
        if (status == kExitOk) status = kExitIncomplete;
    }
    return status;
}

volatile std::sig_atomic_t stopRequested = 0;

void RequestStop(int) { stopRequested = 1; }

// SIGTERM and SIGINT only set the flag: a run that is under way ends as it would, and the
// loop stops before the next one. Without SA_RESTART the wait between runs wakes at once.
void CatchStopSignals() {
    struct sigaction sa {};
    sa.sa_handler = RequestStop;
    sigemptyset(&sa.sa_mask);
    sigaction(SIGTERM, &sa, nullptr);
    sigaction(SIGINT, &sa, nullptr);
}

void Log(const std::string& text) {
    const tDateTime now = NowDateTime();
    std::printf("%s %s %s\n", DateText10(now).c_str(), TimeText8(now).c_str(), text.c_str());
    std::fflush(stdout);
}

// What tells that another process replaced the preferences file.
struct tFileStamp {
    ino_t Inode = 0;
    off_t Size = -1;
    timespec Time{};
    bool operator==(const tFileStamp& o) const {
        return Inode == o.Inode && Size == o.Size && Time.tv_sec == o.Time.tv_sec &&
               Time.tv_nsec == o.Time.tv_nsec;
    }
};

tFileStamp StampOf(const std::string& file) {
    tFileStamp s;
    struct stat st;
    if (stat(file.c_str(), &st) == 0) s = {st.st_ino, st.st_size, st.st_mtim};
    return s;
}

std::string Quoted(const std::string& name) { return "\"" + name + "\""; }

// The log line of a finished run; what the scheduler adds about the next run comes after.
std::string ResultLine(const tScheduledRun& run) {
    std::string line = Quoted(run.Name) + ": " + run.Result;
    if (run.Skipped) line += " (running elsewhere; its schedule is left to that run)";
    return line;
}

// The loop of --scheduler and --watch: the scheduler's step (when there is one) and the due
// runs of the watched profiles, then a wait of at most a second for folder events or a
// signal; the preferences file is read again when another process replaced it.
class tHeadlessLoop {
public:
    tHeadlessLoop(tHeadlessSession& session, tWatchList& watch) : session_(session), watch_(watch) {
        hooks_.Starting = [](const std::string& name, tProfile&) { Log("Starting " + Quoted(name)); };
        hooks_.Finished = [this](const tScheduledRun& run, tProfile&) {
            Log(ResultLine(run));
            Finished(run);
        };
        hooks_.Continue = [] { return !stopRequested; };
    }

    // After each run: a result the file did not take stays pending.
    void Finished(const tScheduledRun& run) {
        if (!run.StoreError.empty()) Err(run.StoreError);
        pendingWrite_ = !run.StoreError.empty();
    }

    // step: one scheduler step, false when it has nothing left to start (nothing for
    // --watch). reloaded: the file was read again. Returns the exit status.
    int Run(const std::function<bool()>& step, const std::function<void()>& reloaded,
            const char* stopText) {
        tFileStamp stamp = StampOf(session_.Store.FileName());
        for (;;) {
            const bool scheduled = !stopRequested && step && step();
            if (!stopRequested) watch_.RunDue(hooks_);
            for (const std::string& note : watch_.TakeNotes()) {
                Log(note);
                Err(note);
            }
            if (stopRequested) {
                Log(stopText);
                return kExitOk;
            }
            if (step && !scheduled && watch_.Empty()) {
                Log(kNoMoreProfiles);
                return kExitOk;
            }
            Wait(std::min(1.0, watch_.TimeToNext()));
            if (pendingWrite_) {
                pendingWrite_ = !session_.Store.Flush().empty();
            } else if (tFileStamp now = StampOf(session_.Store.FileName()); !(now == stamp)) {
                // Profiles scheduled or watched meanwhile in a window or by hand.
                stamp = now;
                session_.Store.Load();
                if (reloaded) reloaded();
                watch_.Refresh();
            }
        }
    }

private:
    void Wait(double seconds) {
        const int ms = static_cast<int>(seconds * 1000.0 + 0.999);
        pollfd fd{watch_.Fd(), POLLIN, 0};
        // A signal ends the wait early (the handlers are installed without SA_RESTART).
        if (poll(&fd, watch_.Fd() >= 0 ? 1 : 0, std::max(ms, 0)) > 0) watch_.ReadEvents();
    }

    tHeadlessSession& session_;
    tWatchList& watch_;
    tWatchList::tHooks hooks_;
    bool pendingWrite_ = false;
};

int SchedulerCommand() {
    tHeadlessSession session;
    CatchStopSignals();
    tScheduler scheduler(session.Store, [] { return NowDateTime(); });
    tWatchList watch(session.Store);
    tHeadlessLoop loop(session, watch);
    std::string lastAnnounced;
    tScheduler::tHooks hooks;
    hooks.Found = [&](const tNextDue& next) {
        const std::string text = NextStartText(next.Due) + " (" +
                                 Quoted(scheduler.Rows()[static_cast<size_t>(next.Row)].Name) + ")";
        if (text != lastAnnounced) Log(text);
        lastAnnounced = text;
    };
    hooks.Starting = [](const tScheduleRow& row, tProfile&) { Log("Starting " + Quoted(row.Name)); };
    hooks.Finished = [&](const tScheduledRun& run, tProfile&) {
        std::string line = ResultLine(run);
        if (!run.Skipped && run.Loaded)
            line += run.Rescheduled ? "; next run " + DateTimeText(run.NextRun) : "; not rescheduled";
        Log(line);
        loop.Finished(run);
    };
    hooks.Continue = [] { return !stopRequested; };

    scheduler.Rebuild(NowDateTime());
    watch.Refresh();
    if (scheduler.DangerListed())
        Err("some scheduled profiles are considered dangerous: they use Exact Mirror mode and "
            "may overwrite newer files or delete files without asking");
    Log(kSchedulerRunning);
    return loop.Run([&] { return scheduler.Tick(NowDateTime(), hooks); },
                    [&] {
                        scheduler.Forget();
                        scheduler.Rebuild(NowDateTime());
                    },
                    kSchedulerInactive);
}

int WatchCommand(const std::string& name) {
    tHeadlessSession session;
    auto loaded = LoadOrComplain(session.Store, name);
    if (!loaded) return kExitUsage;
    if (IsDangerous(*loaded, true))
        Err("\"" + name + "\" is considered dangerous: it uses Exact Mirror mode and may "
            "overwrite newer files or delete files without asking");
    CatchStopSignals();
    tWatchList watch(session.Store);
    watch.WatchOnly(name);
    watch.Refresh();
    const int stored = StoredWatchQuiet(session.Store, name);
    const int quiet = stored > 0 ? stored : kDefaultWatchQuiet;
    Log("Watching " + Quoted(name) + ": runs after " + std::to_string(quiet) +
        (quiet == 1 ? " second" : " seconds") + " of quiet");
    tHeadlessLoop loop(session, watch);
    return loop.Run({}, {}, "Watching stopped.");
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    std::string_view first = argc > 1 ? argv[1] : "";
    if (first == "--version") {
        std::printf("Corvane %s (build %d)\n", CORVANE_VERSION, CORVANE_BUILD);
        return kExitOk;
    }
    if (first.empty() || first == "--help" || first == "-h") {
        PrintHelp();
        return kExitOk;
    }
    if (first == "--list") return ListCommand();
    if (first == "--scheduler") {
        if (argc != 2) {
            Err("--scheduler takes no arguments (try --help)");
            return kExitUsage;
        }
        return SchedulerCommand();
    }
    if (first == "--run") {
        // --progress may stand before or after the name.
        std::vector<std::string_view> names;
        bool progress = false;
        for (int i = 2; i < argc; ++i) {
            if (std::string_view(argv[i]) == "--progress")
                progress = true;
            else
                names.emplace_back(argv[i]);
        }
        if (names.size() != 1 || names[0].empty()) {
            Err("--run needs exactly one profile name (try --help)");
            return kExitUsage;
        }
        return RunCommand(std::string(names[0]), progress);
    }
    if (first == "--plan" || first == "--watch") {
        if (argc != 3 || argv[2][0] == '\0') {
            Err(std::string(first) + " needs exactly one profile name (try --help)");
            return kExitUsage;
        }
        if (first == "--watch") return WatchCommand(argv[2]);
        return PlanCommand(argv[2]);
    }
    if (first == "--show") {
        if (argc != 3 || argv[2][0] == '\0') {
            Err("--show needs exactly one profile name (try --help)");
            return kExitUsage;
        }
        return ShowProfileCommand(argv[2]);
    }
    if (first == "--fields") {
        for (const auto& field : ProfileFieldNames()) std::printf("%s\n", field.c_str());
        return kExitOk;
    }
    if (first == "--set") {
        if (argc < 3) {
            Err("--set needs a profile name and Field=value assignments (try --help)");
            return kExitUsage;
        }
        return SetProfileCommand(argv[2], std::vector<std::string>(argv + 3, argv + argc));
    }
    if (first == "--rename") {
        if (argc != 4) {
            Err("--rename needs the old and the new name (try --help)");
            return kExitUsage;
        }
        return RenameProfileCommand(argv[2], argv[3]);
    }
    if (first == "--delete") {
        std::vector<std::string> names;
        bool yes = false;
        for (int i = 2; i < argc; ++i) {
            std::string_view a = argv[i];
            if (a == "--yes" || a == "-y")
                yes = true;
            else
                names.emplace_back(a);
        }
        if (names.size() != 1 || names[0].empty()) {
            Err("--delete needs exactly one profile name (try --help)");
            return kExitUsage;
        }
        return DeleteProfileCommand(names[0], yes);
    }
    Err("unknown option '" + std::string(first) + "' (try --help)");
    return kExitUsage;
}

} // namespace corvane
