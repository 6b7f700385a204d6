#include "engine/Planner.h"

#include "engine/FileAccess.h"
#include "engine/Scanner.h"
#include "engine/StatusList.h"
#include "engine/UiPort.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <cstdio>
#include <functional>
#include <string_view>
#include <sys/stat.h>
#include <unistd.h>
#include <unordered_map>
#include <unordered_set>
#include <vector>

namespace corvane {

bool TimesMatch(int64_t a, int64_t b, bool ignore2Secs, bool ignore1Hour) {
    // Unsigned difference: no overflow whatever the two times are.
    const uint64_t d = a > b ? static_cast<uint64_t>(a) - static_cast<uint64_t>(b)
                             : static_cast<uint64_t>(b) - static_cast<uint64_t>(a);
    return (ignore2Secs && d <= 2) || (ignore1Hour && d == 3600);
}

bool TimesMatch(const TSearchRec& a, const TSearchRec& b, bool ignore2Secs, bool ignore1Hour) {
    return TimesMatch(a.Time, b.Time, ignore2Secs, ignore1Hour);
}

bool TimesMatch(const TEntrySide& a, const TEntrySide& b, bool ignore2Secs, bool ignore1Hour) {
    return TimesMatch(a.Time, b.Time, ignore2Secs, ignore1Hour);
}

std::string_view ActionText(tAction action) {
    switch (action) {
    case tAction::actCopyToRight:
        return "---->";
    case tAction::actCopyToLeft:
        return "<----";
    case tAction::actConflict:
        return "CONFLICT";
    case tAction::actMove:
        return "MOVE";
    case tAction::actDelete:
        return "DELETE";
    default:
        return "";
    }
}

std::string SummarySizeText(int64_t bytes) {
    const char* unit = "kB";
    double value = static_cast<double>(bytes) / 1024.0;
    if (bytes >= 1073741824) {
        value = static_cast<double>(bytes) / 1073741824.0;
        unit = "GB";
    } else if (bytes >= 1048576) {
        value = static_cast<double>(bytes) / 1048576.0;
        unit = "MB";
    }
    char buf[64];
    std::snprintf(buf, sizeof buf, "%.1f%s", value, unit);
    return buf;
}

std::string SummaryText(int64_t count, int64_t bytes) {
    return std::to_string(count) + " (" + SummarySizeText(bytes) + ")";
}

namespace {

using enum tAction;

// Folders one side could not list. A one-sided entry at or below such a folder on its absent
// side must not be acted on: that side may hold the item without our having seen it, so a
// copy could overwrite it and a mirror deletion would remove the only copy we saw.
class tBlindFolders {
public:
    explicit tBlindFolders(const tProfile& p) {
        for (const tUnreadableFolder& u : p.UnreadableFolders) {
            std::string path = u.RelPath;
            while (!path.empty() && path.back() == '/')
                path.pop_back();
            (u.RightSide ? right_ : left_).insert(std::move(path));
        }
    }

    bool Covers(const TFileListEntry& e) {
        if (e.Left.Present == e.Right.Present) return false;
        const bool rightBlind = e.Left.Present; // the absent side is the right one
        const auto& folders = rightBlind ? right_ : left_;
        if (folders.empty()) return false;
        // Entries of one folder share their RelPath text, so one answer serves a whole run
        // of them.
        const std::string* rel = &e.RelPath();
        Memo& memo = rightBlind ? rightMemo_ : leftMemo_;
        if (memo.Path != rel) {
            memo.Path = rel;
            memo.Covered = CoveredBy(folders, *rel);
        }
        return memo.Covered;
    }

private:
    struct Hash {
        using is_transparent = void;
        size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
    };
    using tFolderSet = std::unordered_set<std::string, Hash, std::equal_to<>>;
    struct Memo {
        const std::string* Path = nullptr;
        bool Covered = false;
    };

    // path or one of its parent folders (up to the base "") is in folders.
    static bool CoveredBy(const tFolderSet& folders, std::string_view path) {
        for (;;) {
            if (folders.find(path) != folders.end()) return true;
            if (path.empty()) return false;
            const size_t slash = path.rfind('/');
            path = path.substr(0, slash == std::string_view::npos ? 0 : slash);
        }
    }

    tFolderSet left_, right_;
    Memo leftMemo_, rightMemo_;
};

bool IsPlainFile(const TFileListEntry& e) {
    return !e.IsVersionFile && !e.LeftIsFolder && !e.RightIsFolder && !e.LeftIsLink &&
           !e.RightIsLink;
}

// Only regular files are moved: a FIFO, socket or device of the same name, size and time
// elsewhere says nothing about where a file went.
bool IsRegular(const TEntrySide& side) {
    return S_ISREG(side.Mode);
}

// The file as it still lies on the right, gone from there on the left.
bool IsRightHalf(const TFileListEntry& e) {
    return e.Action != actMove && !e.Left.Present && e.Right.Present && IsPlainFile(e) &&
           IsRegular(e.Right);
}

// The file where it lies now on the left, not present there on the right.
bool IsLeftHalf(const TFileListEntry& e) {
    return e.Action != actMove && e.Left.Present && !e.Right.Present && IsPlainFile(e) &&
           IsRegular(e.Left);
}

struct tMoveKey {
    uint64_t NameHash;
    int64_t Size;
    int64_t Time;
    std::string_view Name;
    bool operator==(const tMoveKey&) const = default;
};

struct tMoveKeyHash {
    size_t operator()(const tMoveKey& k) const {
        uint64_t h = k.NameHash;
        h ^= static_cast<uint64_t>(k.Size) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        h ^= static_cast<uint64_t>(k.Time) + 0x9e3779b97f4a7c15ULL + (h << 6) + (h >> 2);
        return h;
    }
};

// A possible half of a moved-file pair: its position in the plan and the hash of its name.
struct tHalf {
    int32_t Index;
    uint64_t NameHash;
};

// The times a left half may carry to match a right half of time t: t itself and those
// within the profile's tolerances. Returns how many were written to out.
int AcceptedTimes(int64_t t, bool ignore2Secs, bool ignore1Hour, int64_t (&out)[7]) {
    int n = 0;
    out[n++] = t;
    auto add = [&](int64_t delta) {
        int64_t v;
        if (!__builtin_add_overflow(t, delta, &v)) out[n++] = v;
    };
    if (ignore2Secs)
        for (int64_t d : {-2, -1, 1, 2})
            add(d);
    if (ignore1Hour) {
        add(-3600);
        add(3600);
    }
    return n;
}

void PairMove(TFileListEntry& right, TFileListEntry& left) {
    right.Action = right.DefaultAction = actMove;
    left.Action = left.DefaultAction = actMove;
    right.SetMovedPath(left.RelPath().empty() ? std::string("/") : left.RelPath());
    left.SetMovedPath(right.RelPath().empty() ? std::string("/") : right.RelPath());
}

// The filter every shown row passes. folderRow: the test of a folder row being pruned, where a
// deletion is judged by the state filter like any unaffected row.
bool PassesFilter(const TFileListEntry& e, const tStatusFilter& f, bool folderRow) {
    const bool left = e.Left.Present, right = e.Right.Present;
    if (left != right && f.rgExistence == 2) return false;
    if (left && right && f.rgExistence == 1) return false;
    if (f.rgMovedFiles == 1 && e.Action != actMove) return false;
    switch (e.Action) {
    case actCopyToRight:
        return f.rgState != 3 && f.rgState != 4;
    case actCopyToLeft:
        return f.rgState != 2 && f.rgState != 4;
    case actMove:
        // Only the half on the side where moves are carried out is shown.
        if (right ? f.rgAdjustMovedFiles == 0 : f.rgAdjustMovedFiles == 1) return false;
        return f.rgMovedFiles != 2;
    case actDelete:
        if (!folderRow) return true;
        [[fallthrough]];
    case actConflict:
        // A file edited on both sides since the last run is copied both ways.
        if (e.FromLastRun) return f.rgState != 4;
        [[fallthrough]];
    default:
        return f.rgState < 1 || f.rgState > 3;
    }
}

// Size counted for a shown row and for a deletion: the present side's, or the mean of both.
int64_t ShownSize(const TFileListEntry& e) {
    if (e.LeftSize() == 0) return e.RightSize();
    if (e.RightSize() == 0) return e.LeftSize();
    return (e.LeftSize() + e.RightSize()) / 2;
}

} // namespace

namespace {

// Whether the links of e on both sides are copies of each other: one points where the other
// leads (a copied link points to its source's canonical target).
bool SameLinks(const tProfile& profile, const TFileListEntry& e) {
    const std::string left =
        NormalizeSlashes(profile.LeftPath + "/" + e.RelPath() + "/" + std::string(e.Name()));
    const std::string right =
        NormalizeSlashes(profile.RightPath + "/" + e.RelPath() + "/" + std::string(e.Name()));
    auto target = [](const std::string& path) {
        char buffer[4096];
        const ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
        return n > 0 ? std::string(buffer, static_cast<std::size_t>(n)) : std::string();
    };
    const std::string l = target(left), r = target(right);
    return !l.empty() && (l == r || r == CanonicalPath(left) || l == CanonicalPath(right));
}

} // namespace

void CompareEntries(tProfile& profile) {
    const bool ignore2 = profile.Ignore2Secs, ignore1h = profile.Ignore1Hour;
    // A medium that keeps times in steps (2 s on FAT) holds the copy's time cut down to a step:
    // times less than a step apart are the same time there.
    const int64_t step = std::max<int64_t>({1, profile.LeftTimeStep, profile.RightTimeStep});
    for (TFileListEntry& e : profile.Entries) {
        if (e.Action != actLeaveAlone || e.LeftIsFolder) continue;
        const int64_t lt = e.Left.Time, rt = e.Right.Time;
        // Where links cannot be given their times (SFTP), copied links are known by target.
        const bool linkTimesLost = profile.SymLinks == 1 && e.LeftIsLink && e.RightIsLink &&
                                   (!profile.LeftLinkTimes || !profile.RightLinkTimes);
        if (lt == rt || (lt > rt ? lt - rt : rt - lt) < step ||
            (linkTimesLost && SameLinks(profile, e)))
            e.Action = actNone;
        else if (e.LeftSize() == e.RightSize() && TimesMatch(lt, rt, ignore2, ignore1h))
            ; // within the tolerance: left alone
        else
            e.Action = lt > rt ? actCopyToRight : actCopyToLeft;
        e.DefaultAction = e.Action;
    }
}

void FindMovedFiles(tProfile& profile) {
    if (!profile.DetectMoved || profile.LeftItemCount <= 0 || profile.RightItemCount <= 0) return;
    std::vector<TFileListEntry>& entries = profile.Entries;
    const auto count = static_cast<int32_t>(entries.size());

    StartProgress(count, true);
    Ui().SetProgressTitle("Looking For Moved Files");
    Ui().SetProgressButtonCaption("Skip");

    // One pass over the plan: the right halves, and the left halves that could pair with one,
    // both in list order. Only names some right half carries are worth indexing; plans are
    // large, so that test runs on sorted name hashes rather than on the entries themselves.
    tBlindFolders blind(profile);
    const std::hash<std::string_view> hashName;
    std::vector<tHalf> rights, lefts;
    for (int32_t i = 0; i < count; ++i) {
        const TFileListEntry& e = entries[i];
        if (IsRightHalf(e) && !blind.Covers(e))
            rights.push_back({i, hashName(e.Name())});
        else if (IsLeftHalf(e) && !blind.Covers(e))
            lefts.push_back({i, hashName(e.Name())});
    }
    std::vector<uint64_t> rightHashes;
    rightHashes.reserve(rights.size());
    for (const tHalf& r : rights)
        rightHashes.push_back(r.NameHash);
    std::sort(rightHashes.begin(), rightHashes.end());
    std::erase_if(lefts, [&](const tHalf& l) {
        return !std::binary_search(rightHashes.begin(), rightHashes.end(), l.NameHash);
    });

    // For each (name, size, time): its left halves in list order, as a chain of positions in
    // lefts. Pairing always takes the first unpaired one of a chain, so the head moves on.
    std::unordered_map<tMoveKey, int32_t, tMoveKeyHash> head;
    head.reserve(lefts.size());
    std::vector<int32_t> next(lefts.size(), -1);
    for (auto pos = static_cast<int32_t>(lefts.size()) - 1; pos >= 0; --pos) {
        const TFileListEntry& e = entries[lefts[pos].Index];
        const tMoveKey key{lefts[pos].NameHash, e.LeftSize(), e.Left.Time, e.Name()};
        auto [it, added] = head.try_emplace(key, pos);
        if (!added) {
            next[pos] = it->second;
            it->second = pos;
        }
    }

    for (size_t c = 0; c < rights.size() && !head.empty(); ++c) {
        const int32_t i = rights[c].Index;
        if (c % 100 == 0) {
            if (!SetProgress(i)) break;
            ProcessEvents();
            if (Ui().ProgressCancelled()) break;
        }
        TFileListEntry& e = entries[i];
        int64_t times[7];
        const int n = AcceptedTimes(e.Right.Time, profile.Ignore2Secs, profile.Ignore1Hour, times);
        int32_t best = -1; // position in lefts; lefts is in list order
        decltype(head)::iterator bestChain;
        for (int k = 0; k < n; ++k) {
            auto it = head.find(tMoveKey{rights[c].NameHash, e.RightSize(), times[k], e.Name()});
            if (it == head.end() || it->second < 0) continue;
            if (best < 0 || it->second < best) {
                best = it->second;
                bestChain = it;
            }
        }
        if (best < 0) continue;
        bestChain->second = next[best];
        PairMove(e, entries[lefts[best].Index]);
    }
    EndProgress();
}

void BuildStatusList(tProfile& profile) {
    tStatusList* list = profile.StatusList;
    std::vector<int32_t>& rowIndex = profile.RowIndex;
    if (profile.Entries.empty()) {
        rowIndex.assign(1, -1);
        if (list) list->Rebuilt();
        return;
    }

    tPlanStatistics& s = profile.Stats;
    s = tPlanStatistics{};
    const tStatusFilter f = profile.Filter;
    const auto count = static_cast<int32_t>(profile.Entries.size());
    rowIndex.assign(static_cast<size_t>(count) + 1, -1);
    tBlindFolders blind(profile);

    std::vector<int32_t> lastFolderRow(static_cast<size_t>(std::max(profile.MaxLevel, 0)) + 1, -1);
    int32_t lastLevel = -1;
    int32_t row = 0;

    // Takes back trailing folder rows that have nothing shown below them and do not pass the
    // filter themselves, innermost first.
    auto prune = [&] {
        while (lastLevel >= 0 && lastFolderRow[lastLevel] == row) {
            TFileListEntry& folder = profile.Entries[rowIndex[row]];
            if (!folder.LeftIsFolder || PassesFilter(folder, f, true)) break;
            folder.Shown = false;
            rowIndex[row] = -1;
            --row;
            --s.FolderRowsShown;
            --lastLevel;
        }
    };

    const bool mirror = ExactMirrorInEffect(profile);
    for (int32_t index = 0; index < count; ++index) {
        TFileListEntry& e = profile.Entries[index];
        e.Shown = false;
        e.ShownIndex = 0;
        e.AffectedIndex = 0;
        const bool oneSided = e.Left.Present != e.Right.Present;

        bool markedNow = false;
        if (blind.Covers(e)) {
            e.Action = e.DefaultAction = actNone;
            e.FromLastRun = false;
        } else if (mirror) {
            if (e.Action != actNone && oneSided && e.Action != actMove &&
                ((!e.Left.Present && profile.LeftToRight) ||
                 (!e.Right.Present && profile.RightToLeft))) {
                e.Action = e.DefaultAction = actDelete;
                markedNow = true;
            }
            // In a mirror the model side wins, also over a newer copy on the mirror side.
            if (e.Action == actCopyToRight || e.Action == actCopyToLeft)
                e.Action = e.DefaultAction = profile.LeftToRight ? actCopyToRight : actCopyToLeft;
        }

        if (e.LeftIsFolder) {
            prune();
            e.Shown = true;
            rowIndex[++row] = index;
            if (!profile.EmptyFolders) e.Action = e.DefaultAction = actNone;
            ++s.FolderRowsShown;
            ++s.FoldersShown;
            const int32_t level = std::max(e.Level(), 0);
            if (static_cast<size_t>(level) >= lastFolderRow.size())
                lastFolderRow.resize(static_cast<size_t>(level) + 1, -1);
            lastFolderRow[level] = row;
            lastLevel = level;
            continue;
        }

        bool show;
        if (e.Action == actDelete) {
            show = f.cbFilesToDelete != tTriState::Unchecked && f.rgState != 4 &&
                   f.rgExistence != 2 && f.rgMovedFiles != 1 &&
                   (markedNow || PassesFilter(e, f, false));
        } else {
            show = f.cbFilesToDelete != tTriState::Checked && PassesFilter(e, f, false);
        }
        if (!show) continue;

        // A followed link is planned and counted with its target's size. Done before the
        // counting so that every rebuild counts the same figures.
        if (profile.SymLinks == 0) {
            if (e.Left.Present && e.LeftIsLink) e.SetLeftSize(e.LeftLinkSize());
            if (e.Right.Present && e.RightIsLink) e.SetRightSize(e.RightLinkSize());
        }

        e.Shown = true;
        rowIndex[++row] = index;
        e.ShownIndex = ++s.FilesShown;
        s.BytesShown += ShownSize(e);
        if (e.Action != actNone && e.Action != actLeaveAlone) e.AffectedIndex = ++s.AffectedCount;
        if (e.Left.Present && !e.LeftIsFolder) ++s.LeftFilesShown;
        if (e.Right.Present && !e.RightIsFolder) ++s.RightFilesShown;

        switch (e.Action) {
        case actCopyToRight:
            s.LargestCopy = std::max(s.LargestCopy, e.LeftSize());
            ++s.CopyToRightCount;
            s.CopyToRightBytes += e.LeftSize();
            break;
        case actCopyToLeft:
            s.LargestCopy = std::max(s.LargestCopy, e.RightSize());
            ++s.CopyToLeftCount;
            s.CopyToLeftBytes += e.RightSize();
            break;
        case actDelete:
            ++s.DeleteCount;
            s.DeleteBytes += ShownSize(e);
            break;
        case actMove:
            ++s.MoveCount;
            s.MoveBytes += e.LeftSize() > 0 ? e.LeftSize() : e.RightSize();
            break;
        default:
            break;
        }
    }
    prune();

    rowIndex.resize(static_cast<size_t>(row) + 1);
    if (list) list->Rebuilt();
    UpdateStatusSummary(profile);
}

void UpdateStatusSummary(tProfile& profile) {
    tStatusList* list = profile.StatusList;
    if (!list) return;
    const tPlanStatistics& s = profile.Stats;
    list->lbLeftToRight = SummaryText(s.CopyToRightCount, s.CopyToRightBytes);
    list->lbRightToLeft = SummaryText(s.CopyToLeftCount, s.CopyToLeftBytes);
    list->lbMove = SummaryText(s.MoveCount, s.MoveBytes);
    list->lbDelete = SummaryText(s.DeleteCount, s.DeleteBytes);
    list->lbTotalFilesShown = SummaryText(s.FilesShown, s.BytesShown);
}

} // namespace corvane
