#include "scheduler/Autostart.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <unistd.h>

namespace corvane {

namespace {

std::string Env(const char* name) {
    const char* v = std::getenv(name);
    return v ? v : "";
}

// One argument of an Exec line: quoted when it holds a reserved character, with the
// escapes the quoting needs, then the escapes every string value needs ("\\" for "\").
std::string ExecArgument(const std::string& arg) {
    std::string out = arg;
    if (arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos) {
        out = "\"";
        for (char c : arg) {
            if (c == '"' || c == '`' || c == '$' || c == '\\') out += '\\';
            out += c;
        }
        out += '"';
    }
    std::string escaped;
    for (char c : out) {
        if (c == '\\') escaped += '\\';
        if (c == '%') escaped += '%';
        escaped += c;
    }
    return escaped;
}

} // namespace

std::string AutostartEntryFileName() {
    std::string config = Env("XDG_CONFIG_HOME");
    if (config.empty() || config.front() != '/') config = Env("HOME") + "/.config";
    return config + "/autostart/" + kDesktopId + ".desktop";
}

bool AutostartEnabled() {
    std::ifstream in(AutostartEntryFileName());
    if (!in) return false;
    std::string line;
    while (std::getline(in, line))
        if (line == "Hidden=true") return false;
    return true;
}

std::string AutostartEntryText(const std::string& program) {
    return "[Desktop Entry]\n"
           "Type=Application\n"
           "Name=Corvane\n"
           "Comment=Starts the Corvane scheduler\n"
           "Exec=" + ExecArgument(program) + " /autostart\n"
           "Terminal=false\n"
           "X-GNOME-Autostart-enabled=true\n";
}

std::string SetAutostart(bool on, const std::string& program) {
    const std::string file = AutostartEntryFileName();
    auto problem = [&](const char* what) {
        return std::string("Cannot ") + what + " the autostart entry " + file + ": " +
               std::strerror(errno);
    };
    if (!on) {
        if (unlink(file.c_str()) != 0 && errno != ENOENT) return problem("remove");
        return {};
    }
    std::error_code ec;
    std::filesystem::create_directories(std::filesystem::path(file).parent_path(), ec);
    if (ec) {
        errno = ec.value();
        return problem("write");
    }
    // Written beside and renamed over it, so a session starting meanwhile reads a whole entry.
    const std::string tmp = file + ".tmp";
    std::FILE* f = std::fopen(tmp.c_str(), "w");
    if (!f) return problem("write");
    const std::string text = AutostartEntryText(program);
    const bool written = std::fwrite(text.data(), 1, text.size(), f) == text.size();
    if (std::fclose(f) != 0 || !written || std::rename(tmp.c_str(), file.c_str()) != 0) {
        const std::string msg = problem("write");
        unlink(tmp.c_str());
        return msg;
    }
    return {};
}

std::string ProgramFile() {
    char buf[4096];
    const ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0) return "corvane";
    return std::string(buf, static_cast<size_t>(n));
}

} // namespace corvane
