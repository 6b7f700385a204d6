#include "engine/LastRunState.h"

#include "engine/Planner.h"
#include "profiles/Profile.h"
#include "profiles/RunLock.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace corvane {

namespace {

constexpr std::string_view kMagic = "CRVNLRS1";
// Flag byte of a record; the two values with bit 7 set mark a folder and the end.
constexpr uint8_t kRightDiffers = 0x01; // the right side's size or time differs from the left
constexpr uint8_t kHasInodes = 0x02;
constexpr uint8_t kFolder = 0x80;
constexpr uint8_t kEnd = 0x81;

uint64_t Checksum(std::string_view data) {
    // Eight bytes at a time: damage detection for a file of tens of megabytes, not security.
    uint64_t h = 0x9e3779b97f4a7c15ULL ^ data.size();
    size_t i = 0;
    for (; i + 8 <= data.size(); i += 8) {
        uint64_t w;
        std::memcpy(&w, data.data() + i, 8);
        h = (h ^ w) * 0xff51afd7ed558ccdULL;
        h ^= h >> 32;
    }
    for (; i < data.size(); ++i)
        h = (h ^ static_cast<uint8_t>(data[i])) * 0x100000001b3ULL;
    h ^= h >> 29;
    return h;
}

void PutVar(std::string& out, uint64_t v) {
    while (v >= 0x80) {
        out += static_cast<char>(static_cast<uint8_t>(v) | 0x80);
        v >>= 7;
    }
    out += static_cast<char>(v);
}

void PutSigned(std::string& out, int64_t v) {
    PutVar(out, (static_cast<uint64_t>(v) << 1) ^ static_cast<uint64_t>(v >> 63));
}

void PutText(std::string& out, std::string_view s) {
    PutVar(out, s.size());
    out += s;
}

// Reads the encoded form front to back; any fault sets failed and the reads return 0.
class tReader {
public:
    explicit tReader(std::string_view data) : data_(data) {}
    bool Failed() const { return failed_; }
    bool AtEnd() const { return pos_ == data_.size(); }
    size_t Pos() const { return pos_; }

    uint64_t Var() {
        uint64_t v = 0;
        for (int shift = 0; shift < 64; shift += 7) {
            if (pos_ >= data_.size()) return Fail();
            const auto b = static_cast<uint8_t>(data_[pos_++]);
            v |= static_cast<uint64_t>(b & 0x7f) << shift;
            if ((b & 0x80) == 0) return v;
        }
        return Fail();
    }
    int64_t Signed() {
        const uint64_t v = Var();
        return static_cast<int64_t>(v >> 1) ^ -static_cast<int64_t>(v & 1);
    }
    uint8_t Byte() {
        if (pos_ >= data_.size()) return static_cast<uint8_t>(Fail());
        return static_cast<uint8_t>(data_[pos_++]);
    }
    std::string_view Bytes(uint64_t n) {
        if (n > data_.size() - pos_) {
            Fail();
            return {};
        }
        std::string_view s = data_.substr(pos_, n);
        pos_ += n;
        return s;
    }
    std::string_view Text() { return Bytes(Var()); }

private:
    uint64_t Fail() {
        failed_ = true;
        pos_ = data_.size();
        return 0;
    }
    std::string_view data_;
    size_t pos_ = 0;
    bool failed_ = false;
};

// Writes records in order; the caller keeps them sorted.
class tEncoder {
public:
    tEncoder(std::string_view left, std::string_view right) {
        out_ += kMagic;
        PutText(out_, left);
        PutText(out_, right);
    }
    void Add(std::string_view rel, std::string_view name, const tRecordedPair& p) {
        if (!started_ || rel != rel_) {
            out_ += static_cast<char>(kFolder);
            PutText(out_, rel);
            rel_ = rel;
            name_.clear();
            started_ = true;
        }
        const bool rightDiffers = p.Right.Size != p.Left.Size || p.Right.Time != p.Left.Time;
        const bool inodes = p.Left.Inode != 0 || p.Right.Inode != 0;
        out_ += static_cast<char>((rightDiffers ? kRightDiffers : 0) | (inodes ? kHasInodes : 0));
        size_t prefix = 0;
        const size_t most = std::min(name.size(), name_.size());
        while (prefix < most && name[prefix] == name_[prefix])
            ++prefix;
        PutVar(out_, prefix);
        PutText(out_, name.substr(prefix));
        name_.assign(name);
        PutVar(out_, static_cast<uint64_t>(p.Left.Size));
        PutSigned(out_, p.Left.Time - time_);
        time_ = p.Left.Time;
        if (rightDiffers) {
            PutVar(out_, static_cast<uint64_t>(p.Right.Size));
            PutSigned(out_, p.Right.Time - p.Left.Time);
        }
        if (inodes) {
            PutSigned(out_, static_cast<int64_t>(p.Left.Inode - inode_[0]));
            PutSigned(out_, static_cast<int64_t>(p.Right.Inode - inode_[1]));
            inode_[0] = p.Left.Inode;
            inode_[1] = p.Right.Inode;
        }
        ++count_;
    }
    std::string Finish() {
        out_ += static_cast<char>(kEnd);
        PutVar(out_, count_);
        const uint64_t sum = Checksum(out_);
        for (int i = 0; i < 8; ++i)
            out_ += static_cast<char>(sum >> (8 * i));
        return std::move(out_);
    }

private:
    std::string out_;
    std::string rel_, name_;
    bool started_ = false;
    int64_t time_ = 0;
    uint64_t inode_[2] = {0, 0};
    uint64_t count_ = 0;
};

// Steps through the records of a state file whose checksum was found right.
class tCursor {
public:
    explicit tCursor(std::string_view body) : r_(body) {}

    bool Header(std::string& left, std::string& right) {
        if (r_.Bytes(kMagic.size()) != kMagic) return Fail("not a state file");
        left = r_.Text();
        right = r_.Text();
        return !r_.Failed() || Fail("truncated");
    }
    // Reads the next record into Rel/Name/Pair; false at the end or on damage (Why() set).
    bool Next() {
        for (;;) {
            const uint8_t flags = r_.Byte();
            if (r_.Failed()) return Fail("truncated");
            if (flags == kEnd) {
                if (r_.Var() != count_ || !r_.AtEnd()) return Fail("record count");
                return false;
            }
            if (flags == kFolder) {
                const std::string_view rel = r_.Text();
                if (r_.Failed()) return Fail("truncated");
                if (started_ && rel <= Rel) return Fail("folders out of order");
                Rel.assign(rel);
                Name.clear();
                started_ = true;
                continue;
            }
            if (!started_ || (flags & ~(kRightDiffers | kHasInodes)) != 0)
                return Fail("bad record");
            const uint64_t prefix = r_.Var();
            const std::string_view suffix = r_.Text();
            if (r_.Failed()) return Fail("truncated");
            if (prefix > Name.size()) return Fail("bad name");
            std::string name = Name.substr(0, prefix);
            name += suffix;
            if (name.empty() || (count_ > 0 && !Name.empty() && name <= Name))
                return Fail("names out of order");
            Name = std::move(name);
            Pair.Left.Size = static_cast<int64_t>(r_.Var());
            Pair.Left.Time = time_ + r_.Signed();
            time_ = Pair.Left.Time;
            Pair.Right = Pair.Left;
            if (flags & kRightDiffers) {
                Pair.Right.Size = static_cast<int64_t>(r_.Var());
                Pair.Right.Time = Pair.Left.Time + r_.Signed();
            }
            if (flags & kHasInodes) {
                inode_[0] += static_cast<uint64_t>(r_.Signed());
                inode_[1] += static_cast<uint64_t>(r_.Signed());
                Pair.Left.Inode = inode_[0];
                Pair.Right.Inode = inode_[1];
            } else {
                Pair.Left.Inode = Pair.Right.Inode = 0;
            }
            if (r_.Failed()) return Fail("truncated");
            ++count_;
            return true;
        }
    }
    const std::string& Why() const { return why_; }

    std::string Rel, Name;
    tRecordedPair Pair;

private:
    bool Fail(const char* why) {
        if (why_.empty()) why_ = why;
        return false;
    }
    tReader r_;
    std::string why_;
    bool started_ = false;
    int64_t time_ = 0;
    uint64_t inode_[2] = {0, 0};
    uint64_t count_ = 0;
};

// The checksummed body of data, or nothing when the checksum is wrong.
bool Body(std::string_view data, std::string_view& body) {
    if (data.size() < kMagic.size() + 8) return false;
    body = data.substr(0, data.size() - 8);
    uint64_t sum = 0;
    for (int i = 0; i < 8; ++i)
        sum |= static_cast<uint64_t>(static_cast<uint8_t>(data[body.size() + i])) << (8 * i);
    return sum == Checksum(body);
}

std::string TrimSlashes(std::string_view path) {
    std::string s(path);
    while (s.size() > 1 && s.back() == '/')
        s.pop_back();
    return s;
}

bool ReadWholeFile(const std::string& path, std::string& data, int& error) {
    const int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        error = errno;
        return false;
    }
    struct stat st;
    if (fstat(fd, &st) == 0 && st.st_size > 0) data.reserve(static_cast<size_t>(st.st_size));
    char buf[1 << 16];
    for (;;) {
        const ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR) continue;
        if (n < 0) {
            error = errno;
            close(fd);
            return false;
        }
        if (n == 0) break;
        data.append(buf, static_cast<size_t>(n));
    }
    close(fd);
    return true;
}

bool IsRegularSide(const TEntrySide& side) {
    return side.Present && S_ISREG(side.Mode);
}

// A file the state can speak about: regular on every side where it is present.
bool Candidate(const TFileListEntry& e) {
    if (e.IsVersionFile || e.LeftIsFolder || e.RightIsFolder || e.LeftIsLink || e.RightIsLink)
        return false;
    if (!e.Left.Present && !e.Right.Present) return false;
    return (!e.Left.Present || IsRegularSide(e.Left)) &&
           (!e.Right.Present || IsRegularSide(e.Right));
}

bool EqualPair(int64_t lsize, int64_t ltime, int64_t rsize, int64_t rtime, const tProfile& p) {
    return ltime == rtime ||
           (lsize == rsize && TimesMatch(ltime, rtime, p.Ignore2Secs, p.Ignore1Hour));
}

tRecordedSide Recorded(const TEntrySide& side) {
    return {side.Size, side.Time, side.Inode};
}

// Unchanged since it was recorded; withInode also asks for the same inode where both know one.
bool Unchanged(const TEntrySide& side, const tRecordedSide& rec, bool withInode) {
    if (side.Size != rec.Size || side.Time != rec.Time) return false;
    return !withInode || rec.Inode == 0 || side.Inode == 0 || side.Inode == rec.Inode;
}

std::vector<int32_t> StateOrder(const std::vector<TFileListEntry>& entries) {
    std::vector<int32_t> order;
    order.reserve(entries.size());
    for (size_t i = 0; i < entries.size(); ++i)
        if (Candidate(entries[i])) order.push_back(static_cast<int32_t>(i));
    std::sort(order.begin(), order.end(), [&](int32_t a, int32_t b) {
        const TFileListEntry& x = entries[a];
        const TFileListEntry& y = entries[b];
        if (x.Folder() != y.Folder()) {
            const int c = x.RelPath().compare(y.RelPath());
            if (c != 0) return c < 0;
        }
        return x.Name() < y.Name();
    });
    return order;
}

int CompareKey(const std::string& rel, const std::string& name, const TFileListEntry& e) {
    if (const int c = rel.compare(e.RelPath()); c != 0) return c;
    return std::string_view(name).compare(e.Name());
}

std::string FullPath(const std::string& base, const std::string& rel, std::string_view name) {
    std::string path = base;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    path += rel;
    path += '/';
    path += name;
    return path;
}

bool MakeFolders(const std::string& folder) {
    for (size_t slash = 1; slash != std::string::npos;) {
        slash = folder.find('/', slash + 1);
        const std::string part = folder.substr(0, slash);
        if (mkdir(part.c_str(), 0700) != 0 && errno != EEXIST) return false;
    }
    return true;
}

bool WriteAll(int fd, std::string_view data) {
    while (!data.empty()) {
        const ssize_t n = write(fd, data.data(), data.size());
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        data.remove_prefix(static_cast<size_t>(n));
    }
    return true;
}

// Replaces path with data: written beside it, synced, then renamed over it.
std::string WriteAtomically(const std::string& path, std::string_view data) {
    const size_t slash = path.rfind('/');
    const std::string folder = path.substr(0, slash);
    if (!MakeFolders(folder)) return "cannot make " + folder + ": " + std::strerror(errno);
    std::string temp = path + ".XXXXXX";
    const int fd = mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return "cannot write in " + folder + ": " + std::strerror(errno);
    const bool written = WriteAll(fd, data) && fsync(fd) == 0;
    const int error = errno;
    if (close(fd) != 0 || !written || rename(temp.c_str(), path.c_str()) != 0) {
        const int e = written ? errno : error;
        unlink(temp.c_str());
        return "cannot write " + path + ": " + std::strerror(e);
    }
    if (const int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
        (void)fsync(dir);
        close(dir);
    }
    return {};
}

} // namespace

const tRecordedPair* tLastRunCarry::Find(int32_t index) const {
    auto it = std::lower_bound(Records.begin(), Records.end(), index,
                               [](const auto& r, int32_t i) { return r.first < i; });
    return it != Records.end() && it->first == index ? &it->second : nullptr;
}

std::string LastRunStateFileName(std::string_view name) {
    std::string folder;
    if (const char* state = std::getenv("XDG_STATE_HOME"); state && *state == '/')
        folder = std::string(state) + "/corvane";
    else if (const char* home = std::getenv("HOME"); home && *home)
        folder = std::string(home) + "/.local/state/corvane";
    else
        return {};
    // The lock file's naming: a readable part of the name and a hash that keeps names apart.
    std::string lock = ProfileLockFileName(name, "");
    const std::string_view prefix = ".run-", suffix = ".lock";
    return folder + "/" + lock.substr(prefix.size(), lock.size() - prefix.size() - suffix.size()) +
           ".state";
}

void RemoveLastRunState(std::string_view name) {
    const std::string path = LastRunStateFileName(name);
    if (!path.empty()) unlink(path.c_str());
}

std::string ConflictName(std::string_view name, int64_t time, std::string_view side, int number) {
    size_t dot = name.rfind('.');
    if (dot == 0 || dot == std::string_view::npos) dot = name.size();
    const auto t = static_cast<time_t>(time);
    struct tm local{};
    localtime_r(&t, &local);
    char stamp[64];
    std::snprintf(stamp, sizeof stamp, "%04d-%02d-%02d %02d-%02d", local.tm_year + 1900,
                  local.tm_mon + 1, local.tm_mday, local.tm_hour, local.tm_min);
    std::string out(name.substr(0, dot));
    out += " (conflict ";
    out += stamp;
    out += ' ';
    out += side;
    if (number > 1) out += " " + std::to_string(number);
    out += ')';
    out += name.substr(dot);
    return out;
}

std::string EncodeLastRunState(std::string_view leftPath, std::string_view rightPath,
                               const std::vector<tStateRecord>& records) {
    tEncoder enc(TrimSlashes(leftPath), TrimSlashes(rightPath));
    for (const tStateRecord& r : records)
        enc.Add(r.RelPath, r.Name, r.Pair);
    return enc.Finish();
}

bool DecodeLastRunState(std::string_view data, std::string& leftPath, std::string& rightPath,
                        std::vector<tStateRecord>& out, std::string& why) {
    out.clear();
    std::string_view body;
    if (!Body(data, body)) {
        why = "damaged";
        return false;
    }
    tCursor cur(body);
    if (!cur.Header(leftPath, rightPath)) {
        why = cur.Why();
        return false;
    }
    while (cur.Next())
        out.push_back({cur.Rel, cur.Name, cur.Pair});
    if (!cur.Why().empty()) {
        why = cur.Why();
        out.clear();
        return false;
    }
    return true;
}

void ApplyLastRunState(tProfile& profile) {
    auto carry = std::make_shared<tLastRunCarry>();
    std::vector<TFileListEntry>& entries = profile.Entries;
    carry->Order = StateOrder(entries);
    profile.LastRunCarry = carry;
    profile.LastRunStateNote.clear();

    const std::string path = LastRunStateFileName(profile.Name);
    if (path.empty()) return;
    std::string data;
    int error = 0;
    if (!ReadWholeFile(path, data, error)) {
        if (error != ENOENT)
            profile.LastRunStateNote = "STATE NOT USED (cannot read: " +
                                       std::string(std::strerror(error)) + ") " + path;
        return;
    }
    auto ignore = [&](const std::string& why) {
        profile.LastRunStateNote = "STATE NOT USED (" + why + ") " + path;
    };
    std::string_view body;
    if (!Body(data, body)) return ignore("damaged");
    tCursor cur(body);
    std::string left, right;
    if (!cur.Header(left, right)) return ignore("damaged: " + cur.Why());
    if (left != TrimSlashes(profile.LeftPath) || right != TrimSlashes(profile.RightPath))
        return ignore("recorded for other base folders: " + left + " and " + right);

    // Merge the plan's files (in the state's order) with the records; nothing is changed
    // until the whole file has been read without a fault.
    std::vector<std::pair<int32_t, tRecordedPair>> found;
    size_t k = 0;
    const std::vector<int32_t>& order = carry->Order;
    while (cur.Next()) {
        while (k < order.size() && CompareKey(cur.Rel, cur.Name, entries[order[k]]) > 0)
            ++k;
        if (k == order.size()) continue; // read on: the end tells a damaged file too
        const TFileListEntry& e = entries[order[k]];
        if (CompareKey(cur.Rel, cur.Name, e) != 0) continue;
        const bool equalToday = e.Left.Present && e.Right.Present &&
                                (e.Action == tAction::actNone ||
                                 e.Action == tAction::actLeaveAlone);
        if (!equalToday) found.emplace_back(order[k], cur.Pair);
        ++k;
    }
    if (!cur.Why().empty()) return ignore("damaged: " + cur.Why());

    const bool mayDelete = !profile.RunUnattended || profile.UA_DeleteFiles;
    for (const auto& [index, rec] : found) {
        TFileListEntry& e = entries[index];
        if (e.Action == tAction::actMove) continue; // a move explains the one-sided halves
        if (e.Left.Present && e.Right.Present) {
            const bool leftChanged = !Unchanged(e.Left, rec.Left, false);
            const bool rightChanged = !Unchanged(e.Right, rec.Right, false);
            tAction action = e.Action;
            if (leftChanged && rightChanged) {
                action = tAction::actConflict;
                e.FromLastRun = true;
            } else if (leftChanged && Unchanged(e.Right, rec.Right, true)) {
                action = tAction::actCopyToRight; // the edit wins, also when it is older
            } else if (rightChanged && Unchanged(e.Left, rec.Left, true)) {
                action = tAction::actCopyToLeft;
            }
            e.Action = e.DefaultAction = action;
            continue;
        }
        // Present on one side only: deleted on the other when this side is as recorded;
        // changed since, the edit wins and the comparison's copy stands.
        const bool onLeft = e.Left.Present;
        if (!Unchanged(onLeft ? e.Left : e.Right, onLeft ? rec.Left : rec.Right, true)) continue;
        e.Action = e.DefaultAction = mayDelete ? tAction::actDelete : tAction::actNone;
        e.FromLastRun = true;
    }
    carry->Records = std::move(found); // in Order's order; Find wants them by position
    std::sort(carry->Records.begin(), carry->Records.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
}

std::string StoreLastRunState(tProfile& profile, const std::vector<tAction>& planned) {
    const std::string path = LastRunStateFileName(profile.Name);
    if (path.empty()) return "no folder for the state (HOME is not set)";
    std::shared_ptr<const tLastRunCarry> carry = profile.LastRunCarry;
    if (!carry) {
        auto fresh = std::make_shared<tLastRunCarry>();
        fresh->Order = StateOrder(profile.Entries);
        carry = fresh;
    }
    const std::vector<TFileListEntry>& entries = profile.Entries;
    tEncoder enc(TrimSlashes(profile.LeftPath), TrimSlashes(profile.RightPath));
    const std::string* lastRel = nullptr;
    std::string_view lastName;
    for (const int32_t index : carry->Order) {
        if (static_cast<size_t>(index) >= entries.size()) break;
        const TFileListEntry& e = entries[index];
        if (lastRel && *lastRel == e.RelPath() && lastName == e.Name()) continue;
        tRecordedPair pair;
        bool known = false;
        const tAction action = static_cast<size_t>(index) < planned.size() ? planned[index]
                                                                            : e.Action;
        const bool acted = action != tAction::actNone && action != tAction::actLeaveAlone;
        // The executor leaves a done entry at actLeaveAlone.
        const bool done = acted && e.Action == tAction::actLeaveAlone;
        if (acted) {
            // Something was to be done: what the trees hold now decides.
            struct stat l, r;
            if (lstat(FullPath(profile.LeftPath, e.RelPath(), e.Name()).c_str(), &l) == 0 &&
                lstat(FullPath(profile.RightPath, e.RelPath(), e.Name()).c_str(), &r) == 0 &&
                S_ISREG(l.st_mode) && S_ISREG(r.st_mode) &&
                EqualPair(l.st_size, l.st_mtim.tv_sec, r.st_size, r.st_mtim.tv_sec, profile)) {
                pair = {{l.st_size, l.st_mtim.tv_sec, l.st_ino},
                        {r.st_size, r.st_mtim.tv_sec, r.st_ino}};
                known = true;
            }
        } else if (IsRegularSide(e.Left) && IsRegularSide(e.Right) &&
                   EqualPair(e.Left.Size, e.Left.Time, e.Right.Size, e.Right.Time, profile)) {
            pair = {Recorded(e.Left), Recorded(e.Right)};
            known = true;
        }
        if (!known) {
            // Not equal after the run. Done (a deletion): nothing left to know. Not done (a
            // deletion left alone, a failure, a row removed from the list): what the last
            // run knew still holds.
            if (done) continue;
            const tRecordedPair* old = carry->Find(index);
            if (!old) continue;
            pair = *old;
        }
        enc.Add(e.RelPath(), e.Name(), pair);
        lastRel = &e.RelPath();
        lastName = e.Name();
    }
    return WriteAtomically(path, enc.Finish());
}

} // namespace corvane
