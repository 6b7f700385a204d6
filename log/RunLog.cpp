#include "log/RunLog.h"

#include "engine/Executor.h"
#include "engine/FileAccess.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "log/Reports.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <cstdio>
#include <exception>
#include <string>

namespace corvane {

namespace {

// The footer carries its own CR LF pairs; the usual line end follows it.
constexpr std::string_view kFooter = "\r\n--------\r\n\r\n";

void WriteRaw(tProfile& profile, std::string_view text) {
    if (!profile.LoggingOn || profile.LogFile == nullptr) return;
    std::fwrite(text.data(), 1, text.size(), profile.LogFile);
    std::clearerr(profile.LogFile);
}

// Opens the log for this run and writes its header; logging stays off when the folder or
// the file cannot be made.
void OpenLog(tProfile& profile, const tMainSettings& settings, tDateTime now) {
    profile.LoggingOn = false;
    profile.LogFile = nullptr;
    // An empty folder field would put the log at the root of the file system.
    std::string folder = settings.LogFolder.empty() ? DefaultLogFolder() : settings.LogFolder;
    std::string fileName = LogFileName(settings.Logging, folder, profile.Name, now);
    if (fileName.empty()) return;
    int32_t created = 0;
    if (!ForceFolders(folder, created)) return;
    // "a" creates a missing file, so one call covers both append and create.
    profile.LogFile = std::fopen(fileName.c_str(), "ae");
    if (profile.LogFile == nullptr) return;
    profile.LoggingOn = true;

    WriteLogLine(profile, "Corvane v" CORVANE_VERSION ", build " + std::to_string(CORVANE_BUILD));
    WriteLogLine(profile, "Log for profile " + profile.Name + ", started at " + TimeText8(now) +
                              " on " + DateText10(now));
    WriteLogLine(profile, "");
    WriteLogLine(profile, "LEFT : " + profile.LeftPath);
    WriteLogLine(profile, "RIGHT: " + profile.RightPath);
    WriteLogLine(profile, "");
}

// Writes the footer and closes the log; I/O errors are dropped. Safe to call twice.
void CloseLog(tProfile& profile) {
    if (profile.LoggingOn && profile.LogFile != nullptr) {
        WriteRaw(profile, kFooter);
        WriteRaw(profile, "\n");
    }
    if (profile.LogFile != nullptr) {
        std::clearerr(profile.LogFile);
        std::fclose(profile.LogFile);
    }
    profile.LogFile = nullptr;
    profile.LoggingOn = false;
}

// Closes the log when the execution leaves early, so no handle is left open and the next
// run's header in a shared file still follows a footer.
struct tLogCloser {
    tProfile& Profile;
    ~tLogCloser() { CloseLog(Profile); }
};

} // namespace

void WriteLogLine(tProfile& profile, std::string_view line) {
    if (!profile.LoggingOn || profile.LogFile == nullptr) return;
    static constexpr char hex[] = "0123456789ABCDEF";
    std::string out;
    out.reserve(line.size() + 1);
    for (char c : line) {
        auto b = static_cast<unsigned char>(c);
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '\n') {
            out += "\\n";
        } else if (b < 0x20 || b == 0x7f) {
            out += "\\x";
            out += hex[b >> 4];
            out += hex[b & 15];
        } else {
            out += c;
        }
    }
    out += '\n';
    WriteRaw(profile, out);
}

std::string SafeLogName(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '"')
            out += '\'';
        else if (c == '/')
            out += '\\';
        else if (std::string_view("<>*?|").find(c) == std::string_view::npos)
            out += c;
    }
    return out;
}

std::string LogFileName(int mode, std::string_view logFolder, std::string_view profileName,
                        tDateTime now) {
    std::string base;
    switch (mode) {
    case 1:
        base = "crvn";
        break;
    case 2:
        base = SafeLogName(profileName);
        break;
    case 3:
        base =
            SafeLogName(std::string(profileName) + " - " + DateStamp(now) + " " + TimeText8(now));
        break;
    default:
        return {};
    }
    return NormalizeSlashes(std::string(logFolder) + "/" + base + ".log");
}

bool ExecuteWithLog(tProfile& profile, const std::function<void(tProfile&)>& execute) {
    std::string failure;
    try {
        tLogCloser closer{profile};
        profile.LoggingOn = false;
        profile.LogFile = nullptr;
        tDateTime now = NowDateTime();
        if (!profile.RunUnattended) profile.LastRun = now;

        if (profile.Stats.AffectedCount == 0 && profile.Stats.FolderRowsShown == 0) {
            // Leftovers of an interrupted copy go also when nothing else is to be done.
            if (!profile.LeftoverTempFiles.empty() || !profile.LastRunStateNote.empty()) {
                OpenLog(profile, RunSettings(), now);
                if (!profile.LastRunStateNote.empty())
                    WriteLogLine(profile, profile.LastRunStateNote);
                RemoveLeftoverTempFiles(profile);
                CloseLog(profile);
            }
            if (!profile.RunUnattended) ShowInfo("No files copied or folders created.");
            profile.LastRunResult = ReportNothingToDo;
        } else {
            OpenLog(profile, RunSettings(), now);
            if (!profile.LastRunStateNote.empty()) WriteLogLine(profile, profile.LastRunStateNote);
            execute(profile);
            CloseLog(profile);
        }
        WritePref(ReportKey(profile.Name), profile.LastRunResult, ReportSection);
        return true;
    } catch (const std::exception& e) {
        failure = e.what();
    } catch (...) {
        failure = "Unknown error";
    }
    if (!profile.RunUnattended) Ui().ShowInfo(failure);
    profile.LastRunResult = failure;
    return false;
}

bool ExecuteWithLog(tProfile& profile) {
    return ExecuteWithLog(profile, [](tProfile& p) { ExecutePlan(p); });
}

} // namespace corvane
