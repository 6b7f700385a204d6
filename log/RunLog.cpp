#include "log/RunLog.h"

#include "profiles/FileList.h"
#include "profiles/Profile.h"

#include <cstdio>
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

} // namespace

bool OpenLogFile(tProfile& profile, const std::string& fileName, tDateTime now) {
    profile.LoggingOn = false;
    // "a" creates a missing file, so one call covers both append and create.
    profile.LogFile = std::fopen(fileName.c_str(), "ae");
    if (profile.LogFile == nullptr) return false;
    profile.LoggingOn = true;

    WriteLogLine(profile, "Corvane v" CORVANE_VERSION ", build " + std::to_string(CORVANE_BUILD));
    WriteLogLine(profile, "Log for profile " + profile.Name + ", started at " + TimeText8(now) +
                              " on " + DateText10(now));
    WriteLogLine(profile, "");
    WriteLogLine(profile, "LEFT : " + profile.LeftPath);
    WriteLogLine(profile, "RIGHT: " + profile.RightPath);
    WriteLogLine(profile, "");
    return true;
}

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

} // namespace corvane
