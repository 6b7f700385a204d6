#include "profiles/Preferences.h"

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <dirent.h>
#include <fcntl.h>
#include <fstream>
#include <map>
#include <sstream>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

tPreferences* theStore = nullptr;

bool IsBlank(char c) { return c == ' ' || c == '\t' || c == '\r' || c == '\n' || c == '\0'; }

std::string_view TrimBlanks(std::string_view s) {
    while (!s.empty() && IsBlank(s.front())) s.remove_prefix(1);
    while (!s.empty() && IsBlank(s.back())) s.remove_suffix(1);
    return s;
}

bool HoldsLineBreak(std::string_view s) {
    return s.find('\n') != std::string_view::npos || s.find('\r') != std::string_view::npos;
}

std::string CollapseDoubleSlashes(std::string path) {
    for (size_t pos; (pos = path.find("//", 1)) != std::string::npos;) path.erase(pos, 1);
    return path;
}

} // namespace

tPreferences::tPreferences(std::string fileName) : fileName_(std::move(fileName)) {}

void tPreferences::Load() {
    sections_.clear();
    std::ifstream in(fileName_, std::ios::binary);
    if (in) {
        std::ostringstream text;
        text << in.rdbuf();
        Parse(text.str());
    }
    base_ = sections_;
}

void tPreferences::Parse(std::string_view text) {
    tSection* current = nullptr;
    size_t start = 0;
    while (start < text.size()) {
        size_t end = text.find('\n', start);
        if (end == std::string_view::npos) end = text.size();
        std::string_view raw = text.substr(start, end - start);
        start = end + 1;
        std::string_view line = TrimBlanks(raw);
        if (line.empty() || line.front() == ';') continue;
        if (line.front() == '[' && line.back() == ']') {
            std::string_view name = line.substr(1, line.size() - 2);
            current = Find(name);
            if (!current) {
                sections_.push_back({std::string(name), {}});
                current = &sections_.back();
            }
            continue;
        }
        if (!current) continue;
        size_t eq = line.find('=');
        std::string key, value;
        if (eq == std::string_view::npos) {
            key = line;
        } else {
            std::string_view k = line.substr(0, eq);
            std::string_view v = line.substr(eq + 1);
            // "key = value" (hand-edited) drops the blanks around "="; "key=value" (the
            // form flush writes) keeps a value's leading blanks, so that a record starting
            // with blanks reads back exactly as it was written.
            if (!k.empty() && IsBlank(k.back()))
                while (!v.empty() && IsBlank(v.front())) v.remove_prefix(1);
            key = TrimBlanks(k);
            value = v;
        }
        auto& entries = current->Entries;
        auto it = std::find_if(entries.begin(), entries.end(),
                               [&](const auto& e) { return e.first == key; });
        if (it != entries.end())
            it->second = std::move(value);
        else
            entries.emplace_back(std::move(key), std::move(value));
    }
}

tPreferences::tSection* tPreferences::Find(std::string_view section) {
    for (auto& s : sections_)
        if (s.Name == section) return &s;
    return nullptr;
}

const tPreferences::tSection* tPreferences::Find(std::string_view section) const {
    for (const auto& s : sections_)
        if (s.Name == section) return &s;
    return nullptr;
}

bool tPreferences::Write(std::string_view key, std::string_view value, std::string_view section) {
    if (HoldsLineBreak(key) || HoldsLineBreak(value) || HoldsLineBreak(section)) return false;
    if (key.empty() || key.find('=') != std::string_view::npos || TrimBlanks(key) != key ||
        key.front() == ';' || key.front() == '[')
        return false;
    if (section.find(']') != std::string_view::npos) return false;
    Set(key, value, section);
    return true;
}

void tPreferences::Set(std::string_view key, std::string_view value, std::string_view section) {
    tSection* s = Find(section);
    if (!s) {
        sections_.push_back({std::string(section), {}});
        s = &sections_.back();
    }
    for (auto& e : s->Entries) {
        if (e.first == key) {
            e.second = value;
            return;
        }
    }
    s->Entries.emplace_back(std::string(key), std::string(value));
}

std::string tPreferences::Read(std::string_view key, std::string_view section) const {
    if (const tSection* s = Find(section))
        for (const auto& e : s->Entries)
            if (e.first == key) return e.second;
    return {};
}

bool tPreferences::Has(std::string_view key, std::string_view section) const {
    if (const tSection* s = Find(section))
        for (const auto& e : s->Entries)
            if (e.first == key) return true;
    return false;
}

void tPreferences::Delete(std::string_view key, std::string_view section) {
    if (tSection* s = Find(section))
        std::erase_if(s->Entries, [&](const auto& e) { return e.first == key; });
}

const std::vector<std::pair<std::string, std::string>>*
tPreferences::Section(std::string_view section) const {
    const tSection* s = Find(section);
    return s ? &s->Entries : nullptr;
}

std::string tPreferences::Text() const {
    std::string out;
    for (const auto& s : sections_) {
        out += "[" + s.Name + "]\n";
        for (const auto& [k, v] : s.Entries) {
            out += k;
            out += '=';
            out += v;
            out += '\n';
        }
        out += '\n';
    }
    return out;
}

namespace {

using tEntryMap = std::map<std::pair<std::string, std::string>, std::string>;

template <class Sections> tEntryMap EntryMap(const Sections& sections) {
    tEntryMap map;
    for (const auto& s : sections)
        for (const auto& [k, v] : s.Entries) map[{s.Name, k}] = v;
    return map;
}

const std::string* Lookup(const tEntryMap& map, const std::pair<std::string, std::string>& key) {
    auto it = map.find(key);
    return it == map.end() ? nullptr : &it->second;
}

bool SameEntry(const std::string* a, const std::string* b) {
    return a == nullptr ? b == nullptr : b != nullptr && *a == *b;
}

std::string ErrorText(const std::string& what, const std::string& fileName) {
    return what + " the preferences file " + fileName + ": " + std::strerror(errno);
}

// Removes "<name>.tmp-XXXXXX" files that flushes left behind when they were killed; only
// called under the file's lock, so no live flush owns one.
void RemoveStaleTemporaries(const std::string& target) {
    size_t slash = target.rfind('/');
    std::string folder = slash == std::string::npos ? "." : target.substr(0, slash + 1);
    std::string prefix = (slash == std::string::npos ? target : target.substr(slash + 1)) + ".tmp-";
    DIR* dir = opendir(folder.c_str());
    if (!dir) return;
    while (dirent* d = readdir(dir)) {
        std::string_view name = d->d_name;
        if (name.size() == prefix.size() + 6 && name.compare(0, prefix.size(), prefix) == 0)
            unlink((folder + "/" + std::string(name)).c_str());
    }
    closedir(dir);
}

// Reads what fd holds from its start; false on a read error.
bool ReadAll(int fd, std::string& text) {
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n == 0) return true;
        if (n < 0) {
            if (errno == EINTR) continue;
            return false;
        }
        text.append(buf, static_cast<size_t>(n));
    }
}

} // namespace

void tPreferences::MergeChangesFrom(const std::vector<tSection>& disk) {
    const tEntryMap base = EntryMap(base_), mine = EntryMap(sections_), theirs = EntryMap(disk);
    auto mineUnchanged = [&](const auto& key) {
        return SameEntry(Lookup(mine, key), Lookup(base, key));
    };
    // Keys set or changed on disk, in the disk's order.
    for (const auto& s : disk)
        for (const auto& [k, v] : s.Entries) {
            std::pair<std::string, std::string> key{s.Name, k};
            const std::string* before = Lookup(base, key);
            if (before && *before == v) continue;
            if (mineUnchanged(key)) Set(k, v, s.Name);
        }
    // Keys removed on disk.
    for (const auto& [key, value] : base)
        if (!Lookup(theirs, key) && mineUnchanged(key)) Delete(key.second, key.first);
    base_ = disk;
}

std::string tPreferences::Flush() {
    // A preferences file that is a link (kept with other dotfiles) stays a link: the real
    // file is the one replaced.
    std::string target = fileName_;
    if (char* real = realpath(fileName_.c_str(), nullptr)) {
        target = real;
        std::free(real);
    }
    // The lock is on the file itself. A flush that waited while another one replaced the
    // file holds a lock on the old file, so it opens and locks the new one instead.
    for (;;) {
        int fd = open(target.c_str(), O_RDONLY | O_CREAT | O_CLOEXEC, 0600);
        if (fd < 0) return ErrorText("Cannot open", fileName_);
        while (flock(fd, LOCK_EX) != 0) {
            if (errno != EINTR) {
                std::string msg = ErrorText("Cannot lock", fileName_);
                close(fd);
                return msg;
            }
        }
        struct stat locked, current;
        if (fstat(fd, &locked) == 0 && stat(target.c_str(), &current) == 0 &&
            locked.st_dev == current.st_dev && locked.st_ino == current.st_ino) {
            std::string result = WriteLocked(fd, target);
            close(fd); // releases the lock
            return result;
        }
        close(fd);
    }
}

std::string tPreferences::WriteLocked(int lockedFd, const std::string& target) {
    RemoveStaleTemporaries(target);
    std::string onDisk;
    if (!ReadAll(lockedFd, onDisk)) return ErrorText("Cannot read", fileName_);
    tPreferences disk(target);
    disk.Parse(onDisk);
    MergeChangesFrom(disk.sections_);

    struct stat old;
    if (fstat(lockedFd, &old) != 0) return ErrorText("Cannot read", fileName_);
    std::string text = Text();
    std::string tmp = target + ".tmp-XXXXXX";
    int fd = mkstemp(tmp.data());
    if (fd < 0) return ErrorText("Cannot write", fileName_);
    auto fail = [&](const char* what) {
        std::string msg = std::string("Cannot write the preferences file ") + fileName_ + " (" +
                          what + "): " + std::strerror(errno);
        close(fd);
        unlink(tmp.c_str());
        return msg;
    };
    // The new file keeps the old one's permissions and owner (an ordinary user cannot
    // give a file away; the file is then theirs, as it was before for them to write).
    if (fchmod(fd, old.st_mode & 07777) != 0) return fail("mode");
    if ((old.st_uid != geteuid() || old.st_gid != getegid()) &&
        fchown(fd, old.st_uid, old.st_gid) != 0 && errno != EPERM)
        return fail("owner");
    size_t done = 0;
    while (done < text.size()) {
        ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0) {
            if (errno == EINTR) continue;
            return fail("write");
        }
        done += static_cast<size_t>(n);
    }
    if (fsync(fd) != 0) return fail("sync");
    if (close(fd) != 0) {
        std::string msg = ErrorText("Cannot write", fileName_);
        unlink(tmp.c_str());
        return msg;
    }
    if (rename(tmp.c_str(), target.c_str()) != 0) {
        std::string msg = ErrorText("Cannot replace", fileName_);
        unlink(tmp.c_str());
        return msg;
    }
    base_ = sections_;
    return {};
}

std::string PreferencesFileName() {
    const char* home = std::getenv("HOME");
    if (home && *home) return CollapseDoubleSlashes(std::string(home) + "/.CorvaneX");
    return "CorvaneX.ini";
}

void SetPrefStore(tPreferences* store) { theStore = store; }
tPreferences* PrefStore() { return theStore; }

bool WritePref(std::string_view key, std::string_view value, std::string_view section) {
    return theStore ? theStore->Write(key, value, section) : false;
}

std::string ReadPref(std::string_view key, std::string_view section) {
    return theStore ? theStore->Read(key, section) : std::string();
}

void DeletePref(std::string_view key, std::string_view section) {
    if (theStore) theStore->Delete(key, section);
}

int ParseIntOr(std::string_view text, int fallback) {
    std::string_view s = TrimBlanks(text);
    if (!s.empty() && s.front() == '+') s.remove_prefix(1);
    int value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (ec != std::errc() || ptr != s.data() + s.size() || s.empty()) return fallback;
    return value;
}

int ParseBufSize(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    long long value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ptr != s.data() + s.size()) return 1024;
    if (ec == std::errc::result_out_of_range) return s.front() == '-' ? 1 : 10240;
    if (ec != std::errc()) return 1024;
    return static_cast<int>(std::clamp<long long>(value, 1, 10240));
}

int ParseDeleteLimit(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    long long value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ptr != s.data() + s.size()) return 50;
    if (ec == std::errc::result_out_of_range) return s.front() == '-' ? 0 : 100;
    if (ec != std::errc()) return 50;
    return static_cast<int>(std::clamp<long long>(value, 0, 100));
}

int ParseCopyWorkers(std::string_view text) {
    std::string_view s = TrimBlanks(text);
    long long value = 0;
    auto [ptr, ec] = std::from_chars(s.data(), s.data() + s.size(), value);
    if (s.empty() || ptr != s.data() + s.size()) return 0;
    if (ec == std::errc::result_out_of_range) return s.front() == '-' ? 0 : 16;
    if (ec != std::errc()) return 0;
    return static_cast<int>(std::clamp<long long>(value, 0, 16));
}

std::string DefaultLogFolder() {
    char buf[4096];
    ssize_t n = readlink("/proc/self/exe", buf, sizeof buf - 1);
    std::string exe = n > 0 ? std::string(buf, static_cast<size_t>(n)) : std::string();
    size_t slash = exe.rfind('/');
    std::string programFolder = slash == std::string::npos ? std::string() : exe.substr(0, slash + 1);
    std::string beside = programFolder + "Logs";
    // An installed program's folder (/usr/bin) takes no log folder: logs would silently
    // stop. There the user's state folder takes them instead.
    bool usable = access(beside.c_str(), W_OK | X_OK) == 0 ||
                  (access(beside.c_str(), F_OK) != 0 &&
                   access(programFolder.empty() ? "." : programFolder.c_str(), W_OK | X_OK) == 0);
    if (usable) return beside;
    const char* state = std::getenv("XDG_STATE_HOME");
    if (state && *state == '/') return std::string(state) + "/corvane/Logs";
    const char* home = std::getenv("HOME");
    if (home && *home) return std::string(home) + "/.local/state/corvane/Logs";
    return beside;
}

tMainSettings ReadMainSettings() {
    tMainSettings s;
    s.CurrentProfileName = ReadPref("CurrentProfileName", "Main");
    s.CurrentTabSheet = ParseIntOr(ReadPref("CurrentTabSheet", "Main"), 0);
    s.BufSizeKB = ParseBufSize(ReadPref("BufSize", "Main"));
    s.Logging = ParseIntOr(ReadPref("Logging", "Main"), 0);
    s.LogFolder = ReadPref("LogFolder", "Main");
    if (s.LogFolder.empty()) s.LogFolder = DefaultLogFolder();
    s.DeleteLimit = ParseDeleteLimit(ReadPref("DeleteLimit", "Main"));
    s.CopyWorkers = ParseCopyWorkers(ReadPref("CopyWorkers", "Main"));
    return s;
}

tMainSettings& RunSettings() {
    static tMainSettings settings;
    return settings;
}

std::string EncodeWindowPos(const tWindowPos& pos) {
    char buf[64];
    std::snprintf(buf, sizeof buf, "%5d%5d%5d%5d%2d", pos.Left, pos.Top, pos.Width, pos.Height,
                  pos.State);
    return buf;
}

bool DecodeWindowPos(std::string_view value, tWindowPos& pos) {
    if (value.size() != 22) return false;
    auto part = [&](size_t at, size_t len, int& field) {
        field = ParseIntOr(value.substr(at, len), field);
    };
    part(20, 2, pos.State);
    if (pos.State == 2) return true;
    part(0, 5, pos.Left);
    part(5, 5, pos.Top);
    part(10, 5, pos.Width);
    part(15, 5, pos.Height);
    return true;
}

} // namespace corvane
