#include "app/CommandLine.h"

#include "engine/Analysis.h"
#include "engine/ConsolePort.h"
#include "engine/Masks.h"
#include "engine/RunDriver.h"
#include "engine/StatusList.h"
#include "log/LogFolder.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "profiles/ProfileStore.h"

#include <cstdio>
#include <cstring>
#include <exception>
#include <optional>
#include <string>
#include <string_view>
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
        "                an unknown profile or a usage error\n"
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

int RunCommand(const std::string& name) {
    tHeadlessSession session;
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
    if (!logProblem.empty()) Err(logProblem);
    if (!flushError.empty()) {
        // The result and the last run are lost: the run must not look complete.
        Err(flushError);
        if (status == kExitOk) status = kExitIncomplete;
    }
    return status;
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
    if (first == "--plan" || first == "--run") {
        if (argc != 3 || argv[2][0] == '\0') {
            Err(std::string(first) + " needs exactly one profile name (try --help)");
            return kExitUsage;
        }
        return first == "--plan" ? PlanCommand(argv[2]) : RunCommand(argv[2]);
    }
    Err("unknown option '" + std::string(first) + "' (try --help)");
    return kExitUsage;
}

} // namespace corvane
