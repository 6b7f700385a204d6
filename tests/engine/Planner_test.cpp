#include "engine/Planner.h"
#include "engine/Scanner.h"
#include "engine/StatusList.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <random>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

namespace corvane {
namespace {

using enum tAction;

constexpr int64_t T0 = 1600000000;
constexpr int64_t MiB = 1048576;

// One present side of a file: size and modification time.
struct Side {
    int64_t Size = 0;
    int64_t Time = T0;
};

// A plan entry as the scanner leaves it, from its path below the base folders
// ("a.txt", "sub/deep/b.txt").
TFileListEntry Entry(std::string_view path) {
    TFileListEntry e;
    const size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) {
        e.SetName(path);
    } else {
        e.SetRelPath("/" + std::string(path.substr(0, slash)));
        e.SetName(path.substr(slash + 1));
    }
    e.SetLevel(static_cast<int32_t>(std::count(path.begin(), path.end(), '/')));
    return e;
}

TEntrySide Present(const Side& s, uint32_t attr = 0) {
    TEntrySide side;
    side.Time = s.Time;
    side.Size = s.Size;
    side.Attr = attr;
    side.Mode = 0100644;
    side.Present = true;
    return side;
}

TFileListEntry File(std::string_view path, std::optional<Side> left, std::optional<Side> right) {
    TFileListEntry e = Entry(path);
    if (left) {
        e.Left = Present(*left);
        e.SetLeftSize(left->Size);
    }
    if (right) {
        e.Right = Present(*right);
        e.SetRightSize(right->Size);
    }
    e.Action = left && right ? actLeaveAlone : left ? actCopyToRight : actCopyToLeft;
    e.DefaultAction = e.Action;
    return e;
}

TFileListEntry Folder(std::string_view path, bool left, bool right) {
    TFileListEntry e = Entry(path);
    if (left) e.Left = Present({0, T0}, faDirectory);
    if (right) e.Right = Present({0, T0}, faDirectory);
    e.LeftIsFolder = e.RightIsFolder = true;
    e.Action = left && right ? actLeaveAlone : left ? actCopyToRight : actCopyToLeft;
    e.DefaultAction = e.Action;
    return e;
}

// The same entry as symbolic links whose targets have targetSize bytes.
TFileListEntry Link(TFileListEntry e, int64_t targetSize) {
    if (e.Left.Present) e.SetLeftLinkSize(targetSize);
    if (e.Right.Present) e.SetRightLinkSize(targetSize);
    for (TEntrySide* s : {&e.Left, &e.Right})
        if (s->Present) s->Attr |= faSymLink | faSysFile;
    e.LeftIsLink = e.RightIsLink = true;
    return e;
}

TFileListEntry VersionFile(std::string_view path, std::optional<Side> left,
                           std::optional<Side> right) {
    TFileListEntry e = File(path, left, right);
    e.IsVersionFile = true;
    e.Action = e.DefaultAction = actNone;
    return e;
}

std::string FullPath(const TFileListEntry& e) {
    return e.RelPath() + "/" + std::string(e.Name());
}

class PlannerTest : public ::testing::Test {
protected:
    PlannerTest() {
        p.DetectMoved = true;
        p.LeftToRight = p.RightToLeft = true;
        p.EmptyFolders = true;
    }

    void Add(TFileListEntry e) { p.Entries.push_back(std::move(e)); }

    // The scanner's counters for the entries added so far.
    void Counts() {
        p.LeftItemCount = p.RightItemCount = p.MaxLevel = 0;
        for (const auto& e : p.Entries) {
            p.LeftItemCount += e.Left.Present;
            p.RightItemCount += e.Right.Present;
            p.MaxLevel = std::max(p.MaxLevel, e.Level());
        }
    }

    void Plan() {
        Counts();
        CompareEntries(p);
        FindMovedFiles(p);
        BuildStatusList(p);
    }

    void Filter(int state, int existence = 0, int moved = 0, int adjust = 0,
                tTriState toDelete = tTriState::Unchecked) {
        p.Filter = {state, existence, moved, adjust, toDelete};
        BuildStatusList(p);
    }

    // The entry at "sub/name" ("name" in the base folder).
    TFileListEntry& At(std::string_view path) {
        for (auto& e : p.Entries)
            if (FullPath(e) == "/" + std::string(path)) return e;
        ADD_FAILURE() << "no entry " << path;
        static TFileListEntry none;
        return none;
    }

    // Each grid row as its name cell, followed by the action text when there is one.
    std::vector<std::string> Grid() const {
        std::vector<std::string> rows;
        for (int32_t row = 1; row < list.RowCount(); ++row) {
            std::string text = list.CellText(row, 1);
            const std::string action = list.CellText(row, 4);
            if (!action.empty()) text += " " + action;
            rows.push_back(text);
        }
        return rows;
    }

    test::ScriptedPort port;
    tProfile p;
    tStatusList list{p};
};

using Rows = std::vector<std::string>;

// --------------------------------------------------------------------------------------------
// Comparison

TEST(TimesMatchTest, ToleranceWindows) {
    EXPECT_FALSE(TimesMatch(T0, T0 + 1, false, false));
    EXPECT_TRUE(TimesMatch(T0, T0 + 2, true, false));
    EXPECT_TRUE(TimesMatch(T0 + 2, T0, true, false));
    EXPECT_FALSE(TimesMatch(T0, T0 + 3, true, false));
    EXPECT_TRUE(TimesMatch(T0, T0 + 3600, false, true));
    EXPECT_TRUE(TimesMatch(T0 + 3600, T0, false, true));
    EXPECT_FALSE(TimesMatch(T0, T0 + 3599, false, true));
    EXPECT_FALSE(TimesMatch(T0, T0 + 3601, false, true));
    EXPECT_FALSE(TimesMatch(T0, T0 + 3600, true, false));
    EXPECT_FALSE(TimesMatch(T0, T0 + 3602, true, true));
    // Far-apart extremes must not wrap into a match.
    EXPECT_FALSE(TimesMatch(INT64_MIN, INT64_MAX, true, true));
    EXPECT_FALSE(TimesMatch(INT64_MIN, INT64_MIN + 3, true, true));
    EXPECT_TRUE(TimesMatch(INT64_MAX - 1, INT64_MAX, true, false));
}

TEST_F(PlannerTest, CompareDecidesByTimeWithinTolerances) {
    p.Ignore2Secs = true;
    p.Ignore1Hour = true;
    Add(File("equal-time.txt", Side{10, T0}, Side{20, T0}));
    Add(File("two-secs.txt", Side{10, T0}, Side{10, T0 + 2}));
    Add(File("two-secs-sizes.txt", Side{10, T0}, Side{11, T0 + 2}));
    Add(File("three-secs.txt", Side{10, T0 + 3}, Side{10, T0}));
    Add(File("hour.txt", Side{10, T0 + 3600}, Side{10, T0}));
    Add(File("hour-sizes.txt", Side{10, T0}, Side{99, T0 + 3600}));
    Add(File("hour-less.txt", Side{10, T0 + 3599}, Side{10, T0}));
    Add(File("hour-more.txt", Side{10, T0}, Side{10, T0 + 3601}));
    Add(File("larger-older.txt", Side{5, T0 + 100}, Side{500, T0}));
    // 2040 against 2030: the later time wins also beyond 2038.
    Add(File("future.txt", Side{10, 2208988800}, Side{10, 1893456000}));
    Add(Folder("dir", true, true));
    Add(File("left-only.txt", Side{10, T0}, std::nullopt));
    Counts();
    CompareEntries(p);

    EXPECT_EQ(At("equal-time.txt").Action, actNone);
    EXPECT_EQ(At("two-secs.txt").Action, actLeaveAlone);
    EXPECT_EQ(At("two-secs-sizes.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("three-secs.txt").Action, actCopyToRight);
    EXPECT_EQ(At("hour.txt").Action, actLeaveAlone);
    EXPECT_EQ(At("hour-sizes.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("hour-less.txt").Action, actCopyToRight);
    EXPECT_EQ(At("hour-more.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("larger-older.txt").Action, actCopyToRight);
    EXPECT_EQ(At("future.txt").Action, actCopyToRight);
    EXPECT_EQ(At("dir").Action, actLeaveAlone);
    EXPECT_EQ(At("left-only.txt").Action, actCopyToRight);
    for (const auto& e : p.Entries)
        EXPECT_EQ(e.DefaultAction, e.Action) << e.Name();

    // Without tolerances every time difference decides.
    p.Entries.clear();
    p.Ignore2Secs = p.Ignore1Hour = false;
    Add(File("two-secs.txt", Side{10, T0}, Side{10, T0 + 2}));
    Add(File("hour.txt", Side{10, T0 + 3600}, Side{10, T0}));
    CompareEntries(p);
    EXPECT_EQ(At("two-secs.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("hour.txt").Action, actCopyToRight);
}

// --------------------------------------------------------------------------------------------
// Moved files

TEST_F(PlannerTest, MovedFileBecomesTwoHalves) {
    p.Ignore2Secs = true;
    Add(File("photo.jpg", std::nullopt, Side{700, T0}));
    Add(File("changed-size.txt", std::nullopt, Side{10, T0}));
    Add(File("changed-time.txt", std::nullopt, Side{10, T0}));
    Add(File("tolerant.txt", std::nullopt, Side{10, T0}));
    Add(Folder("albums", true, false));
    Add(File("albums/photo.jpg", Side{700, T0}, std::nullopt));
    Add(Folder("albums/old", true, false));
    Add(File("albums/old/changed-size.txt", Side{11, T0}, std::nullopt));
    Add(File("albums/old/changed-time.txt", Side{10, T0 + 3}, std::nullopt));
    Add(File("albums/old/tolerant.txt", Side{10, T0 - 2}, std::nullopt));
    Plan();

    EXPECT_EQ(port.Maximum, p.EntryCount());
    EXPECT_NE(std::find(port.ProgressLog.begin(), port.ProgressLog.end(),
                        "Title: Looking For Moved Files"),
              port.ProgressLog.end());
    EXPECT_EQ(port.ButtonCaption, "Skip");
    EXPECT_EQ(port.Nesting, 0);

    TFileListEntry& right = At("photo.jpg");
    TFileListEntry& left = At("albums/photo.jpg");
    EXPECT_EQ(right.Action, actMove);
    EXPECT_EQ(right.DefaultAction, actMove);
    EXPECT_EQ(left.Action, actMove);
    EXPECT_EQ(right.MovedPath(), "/albums");
    EXPECT_EQ(left.MovedPath(), "/");
    EXPECT_EQ(At("tolerant.txt").MovedPath(), "/albums/old");
    EXPECT_EQ(At("albums/old/tolerant.txt").MovedPath(), "/");
    for (auto name : {"changed-size.txt", "changed-time.txt"}) {
        EXPECT_EQ(At(name).Action, actCopyToLeft) << name;
        EXPECT_EQ(At(std::string("albums/old/") + name).Action, actCopyToRight) << name;
        EXPECT_TRUE(At(name).MovedPath().empty());
    }

    // Adjusting on the left shows the left half, with the old place in the right date cell.
    EXPECT_EQ(Grid(),
              (Rows{"    changed-size.txt <----", "    changed-time.txt <----", "albums ---->",
                    "    photo.jpg MOVE", "albums/old ---->", "    changed-size.txt ---->",
                    "    changed-time.txt ---->", "    tolerant.txt MOVE"}));
    EXPECT_EQ(list.CellText(4, 5), "->/");
    EXPECT_EQ(list.CellText(4, 6), "");
    // Adjusting on the right shows the right halves instead.
    Filter(0, 0, 0, 1);
    EXPECT_EQ(list.CellText(1, 1), "    photo.jpg");
    EXPECT_EQ(list.CellText(1, 2), "->/albums");
    EXPECT_EQ(list.CellText(1, 4), "MOVE");
    EXPECT_EQ(list.CellText(1, 3), "");
}

TEST_F(PlannerTest, EarlierLeftCandidateWinsAndEachPairsOnce) {
    Add(File("a.txt", std::nullopt, Side{5, T0}));
    Add(File("x/a.txt", Side{5, T0}, std::nullopt));
    Add(File("y/a.txt", Side{5, T0}, std::nullopt));
    Add(File("z/a.txt", std::nullopt, Side{5, T0}));
    Plan();
    EXPECT_EQ(At("a.txt").MovedPath(), "/x");
    EXPECT_EQ(At("x/a.txt").MovedPath(), "/");
    // The second right half takes the next free left half, y, even though it lies before z.
    EXPECT_EQ(At("z/a.txt").MovedPath(), "/y");
    EXPECT_EQ(At("y/a.txt").MovedPath(), "/z");
}

TEST_F(PlannerTest, MovedFileSearchLeavesOutLinksVersionsFoldersAndCanBeOff) {
    Add(Link(File("link", std::nullopt, Side{4, T0}), 100));
    Add(Link(File("n/link", Side{4, T0}, std::nullopt), 100));
    Add(VersionFile("v.$1$.txt", std::nullopt, Side{4, T0}));
    Add(VersionFile("n/v.$1$.txt", Side{4, T0}, std::nullopt));
    Add(Folder("dir", false, true));
    Add(Folder("n/dir", true, false));
    // Entries without an action (below a moved-files-only folder) do take part.
    TFileListEntry quiet = File("q.txt", std::nullopt, Side{4, T0});
    quiet.Action = quiet.DefaultAction = actNone;
    Add(quiet);
    TFileListEntry quietLeft = File("n/q.txt", Side{4, T0}, std::nullopt);
    quietLeft.Action = quietLeft.DefaultAction = actNone;
    Add(quietLeft);
    Counts();
    std::vector<TFileListEntry> before = p.Entries;

    p.DetectMoved = false;
    FindMovedFiles(p);
    EXPECT_TRUE(port.ProgressLog.empty());
    for (size_t i = 0; i < before.size(); ++i)
        EXPECT_EQ(p.Entries[i].Action, before[i].Action);

    p.DetectMoved = true;
    FindMovedFiles(p);
    for (size_t i = 0; i < 6; ++i) {
        EXPECT_EQ(p.Entries[i].Action, before[i].Action) << p.Entries[i].Name();
        EXPECT_TRUE(p.Entries[i].MovedPath().empty()) << p.Entries[i].Name();
    }
    EXPECT_EQ(At("q.txt").Action, actMove);
    EXPECT_EQ(At("n/q.txt").Action, actMove);

    // Nothing read on one side: no search at all.
    for (auto& e : p.Entries)
        e = before[&e - p.Entries.data()];
    p.LeftItemCount = 0;
    FindMovedFiles(p);
    EXPECT_EQ(At("q.txt").Action, actNone);
}

TEST_F(PlannerTest, SkipKeepsThePairsFoundSoFar) {
    // 250 moved files; the button is pressed at the second poll, after 100 candidates.
    for (int i = 0; i < 250; ++i)
        Add(File("f" + std::to_string(1000 + i), std::nullopt, Side{i, T0}));
    for (int i = 0; i < 250; ++i)
        Add(File("new/f" + std::to_string(1000 + i), Side{i, T0}, std::nullopt));
    Counts();
    port.CancelProgressAfter = 2;
    FindMovedFiles(p);
    EXPECT_EQ(port.Events, 2);
    EXPECT_EQ(port.Nesting, 0);
    for (int i = 0; i < 250; ++i) {
        const auto& right = p.Entries[i];
        const auto& left = p.Entries[250 + i];
        EXPECT_EQ(right.Action, i < 100 ? actMove : actCopyToLeft) << i;
        EXPECT_EQ(left.Action, i < 100 ? actMove : actCopyToRight) << i;
        EXPECT_EQ(right.MovedPath().empty(), i >= 100) << i;
    }
}

// The search as the plain quadratic rule states it: every right half in list order takes the
// first unpaired left half in list order with equal name and size and a tolerable time.
bool Blind(const tProfile& p, const TFileListEntry& e) {
    if (e.Left.Present == e.Right.Present) return false;
    for (const auto& u : p.UnreadableFolders) {
        if (u.RightSide != e.Left.Present) continue;
        const std::string& rel = e.RelPath();
        if (u.RelPath.empty() || rel == u.RelPath ||
            (rel.size() > u.RelPath.size() && rel.compare(0, u.RelPath.size(), u.RelPath) == 0 &&
             rel[u.RelPath.size()] == '/'))
            return true;
    }
    return false;
}

void ReferenceFindMovedFiles(tProfile& p) {
    if (!p.DetectMoved || p.LeftItemCount <= 0 || p.RightItemCount <= 0) return;
    auto plain = [](const TFileListEntry& e) {
        return !e.IsVersionFile && !e.LeftIsFolder && !e.RightIsFolder && !e.LeftIsLink &&
               !e.RightIsLink;
    };
    auto& v = p.Entries;
    for (auto& i : v) {
        if (i.Action == actMove || i.Left.Present || !i.Right.Present || !plain(i) || Blind(p, i))
            continue;
        for (auto& j : v) {
            if (j.Action == actMove || j.Right.Present || !j.Left.Present || !plain(j) ||
                Blind(p, j))
                continue;
            if (j.Name() != i.Name() || j.LeftSize() != i.RightSize()) continue;
            if (j.Left.Time != i.Right.Time &&
                !TimesMatch(j.Left, i.Right, p.Ignore2Secs, p.Ignore1Hour))
                continue;
            i.Action = i.DefaultAction = j.Action = j.DefaultAction = actMove;
            i.SetMovedPath(j.RelPath().empty() ? "/" : j.RelPath());
            j.SetMovedPath(i.RelPath().empty() ? "/" : i.RelPath());
            break;
        }
    }
}

void RandomPlan(std::mt19937& rng, tProfile& p) {
    auto pick = [&](int n) { return static_cast<int>(rng() % static_cast<unsigned>(n)); };
    static const char* folders[] = {"", "a/", "a/b/", "c/", "cc/"};
    static const char* names[] = {"x", "y", "z", "X", "same.txt"};
    static const int64_t offsets[] = {0, 0, 1, 2, 3, -1, -2, -3, 3599, 3600, 3601, -3600};
    const int count = 1 + pick(160);
    p.Entries.clear();
    p.UnreadableFolders.clear();
    for (int k = 0; k < count; ++k) {
        const std::string path = std::string(folders[pick(5)]) + names[pick(5)];
        const int64_t time = pick(40) == 0 ? INT64_MAX - pick(3) : T0 + offsets[pick(12)];
        const Side side{pick(3) * 10, time};
        TFileListEntry e;
        switch (pick(3)) {
        case 0:
            e = File(path, side, std::nullopt);
            break;
        case 1:
            e = File(path, std::nullopt, side);
            break;
        default:
            e = File(path, side, Side{side.Size, T0});
            break;
        }
        switch (pick(20)) {
        case 0:
            e = Link(e, 7);
            break;
        case 1:
            e.IsVersionFile = true;
            break;
        case 2:
            e.LeftIsFolder = e.RightIsFolder = true;
            break;
        case 3:
            e.Action = e.DefaultAction = actMove;
            break;
        case 4:
            e.Action = e.DefaultAction = actNone;
            break;
        default:
            break;
        }
        p.Entries.push_back(std::move(e));
    }
    static const char* blind[] = {"", "/a", "/a/b", "/c"};
    if (pick(4) == 0) {
        const bool rightSide = pick(2) == 0;
        p.UnreadableFolders.push_back({rightSide, blind[pick(4)], 13});
    }
    p.LeftItemCount = p.RightItemCount = 1;
}

TEST_F(PlannerTest, IndexedMoveSearchPairsExactlyLikeThePlainSearch) {
    int pairs = 0;
    for (unsigned seed = 0; seed < 600; ++seed) {
        std::mt19937 rng(seed);
        RandomPlan(rng, p);
        p.Ignore2Secs = seed & 1;
        p.Ignore1Hour = seed & 2;
        tProfile expected;
        expected.Entries = p.Entries;
        expected.UnreadableFolders = p.UnreadableFolders;
        expected.DetectMoved = true;
        expected.Ignore2Secs = p.Ignore2Secs;
        expected.Ignore1Hour = p.Ignore1Hour;
        expected.LeftItemCount = expected.RightItemCount = 1;
        ReferenceFindMovedFiles(expected);
        FindMovedFiles(p);
        ASSERT_EQ(p.Entries.size(), expected.Entries.size());
        for (size_t k = 0; k < p.Entries.size(); ++k) {
            const auto& got = p.Entries[k];
            const auto& want = expected.Entries[k];
            ASSERT_EQ(got.Action, want.Action) << "seed " << seed << " entry " << k;
            ASSERT_EQ(got.DefaultAction, want.DefaultAction) << "seed " << seed << " entry " << k;
            ASSERT_EQ(got.MovedPath(), want.MovedPath()) << "seed " << seed << " entry " << k;
            pairs += got.Action == actMove && !got.MovedPath().empty();
        }
    }
    // The plans must actually exercise the pairing.
    EXPECT_GT(pairs, 1000);
}

// --------------------------------------------------------------------------------------------
// Exact mirror

TEST_F(PlannerTest, ExactMirrorLeftToRightDeletesAndOverwrites) {
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.EmptyFolders = false;
    p.Filter = {2, 0, 0, 1, tTriState::Grayed}; // the window's defaults for this profile
    Add(File("keep.txt", Side{1, T0}, Side{1, T0}));
    Add(File("new.txt", Side{1, T0}, std::nullopt));
    Add(File("newer-right.txt", Side{100, T0}, Side{5, T0 + 100}));
    Add(File("old.txt", std::nullopt, Side{1, T0}));
    Add(Folder("empty", false, true));
    Add(Folder("gone", false, true));
    Add(File("gone/f.txt", std::nullopt, Side{1, T0}));
    Plan();

    EXPECT_EQ(At("newer-right.txt").Action, actCopyToRight);
    EXPECT_EQ(At("newer-right.txt").DefaultAction, actCopyToRight);
    EXPECT_EQ(At("old.txt").Action, actDelete);
    EXPECT_EQ(At("old.txt").DefaultAction, actDelete);
    // Without empty-folder handling a folder is never deleted.
    EXPECT_EQ(At("gone").Action, actNone);
    EXPECT_EQ(Grid(), (Rows{"    new.txt ---->", "    newer-right.txt ---->", "    old.txt DELETE",
                            "gone", "    f.txt DELETE"}));
    EXPECT_FALSE(At("empty").Shown);

    Filter(0, 0, 0, 1, tTriState::Grayed);
    EXPECT_EQ(Grid(), (Rows{"    keep.txt", "    new.txt ---->", "    newer-right.txt ---->",
                            "    old.txt DELETE", "empty", "gone", "    f.txt DELETE"}));
    EXPECT_EQ(At("empty").Action, actNone);
}

TEST_F(PlannerTest, ExactMirrorFolderDeletionNeedsEmptyFoldersAndAShowingFilter) {
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.EmptyFolders = true;
    p.Filter = {2, 0, 0, 1, tTriState::Grayed};
    Add(File("a.txt", Side{1, T0}, std::nullopt));
    Add(Folder("empty", false, true));
    Plan();
    EXPECT_EQ(At("empty").Action, actDelete);
    EXPECT_FALSE(At("empty").Shown); // "L to R" takes the empty folder row back
    EXPECT_EQ(Grid(), (Rows{"    a.txt ---->"}));

    Filter(0, 0, 0, 1, tTriState::Grayed);
    EXPECT_TRUE(At("empty").Shown);
    EXPECT_EQ(Grid(), (Rows{"    a.txt ---->", "empty DELETE"}));
    EXPECT_EQ(p.Stats.DeleteCount, 0); // folders are not counted
    EXPECT_EQ(p.Stats.FolderRowsShown, 1);
}

TEST_F(PlannerTest, ExactMirrorRightToLeftAndBothDirections) {
    p.ExactMirror = true;
    p.LeftToRight = false;
    Add(File("left-only.txt", Side{1, T0}, std::nullopt));
    Add(File("newer-left.txt", Side{1, T0 + 50}, Side{1, T0}));
    Add(File("right-only.txt", std::nullopt, Side{1, T0}));
    Add(VersionFile("old.$2$.txt", Side{1, T0}, std::nullopt));
    p.Filter.cbFilesToDelete = tTriState::Grayed;
    Plan();
    EXPECT_EQ(At("left-only.txt").Action, actDelete);
    EXPECT_EQ(At("newer-left.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("right-only.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("old.$2$.txt").Action, actNone);

    // With both directions neither side is the model: a stored exact-mirror flag has no
    // effect, so new files on either side are copied, never deleted.
    p.Entries.clear();
    p.LeftToRight = true;
    Add(File("left-only.txt", Side{1, T0}, std::nullopt));
    Add(File("newer-right.txt", Side{1, T0}, Side{1, T0 + 50}));
    Add(File("right-only.txt", std::nullopt, Side{1, T0}));
    Plan();
    EXPECT_EQ(At("left-only.txt").Action, actCopyToRight);
    EXPECT_EQ(At("right-only.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("newer-right.txt").Action, actCopyToLeft);
    EXPECT_EQ(p.Stats.DeleteCount, 0);
}

// --------------------------------------------------------------------------------------------
// Filters

// A plan with every kind of row. Sizes in MiB.
class FilterTest : public PlannerTest {
protected:
    void SetUp() override {
        Add(File("c2l.txt", Side{10 * MiB, T0}, Side{20 * MiB, T0 + 100}));
        Add(File("c2r.txt", Side{30 * MiB, T0 + 100}, Side{40 * MiB, T0}));
        TFileListEntry conflict = File("conf", Side{5 * MiB, T0}, Side{0, T0});
        conflict.Right.Attr = faDirectory;
        conflict.RightIsFolder = true;
        conflict.SetRightSize(0);
        conflict.Action = conflict.DefaultAction = actConflict;
        Add(conflict);
        Add(File("lonly.txt", Side{50 * MiB, T0}, std::nullopt));
        Add(File("moved.txt", std::nullopt, Side{60 * MiB, T0}));
        Add(File("ronly.txt", std::nullopt, Side{70 * MiB, T0}));
        Add(File("same.txt", Side{80 * MiB, T0}, Side{80 * MiB, T0}));
        Add(Folder("sub", true, true));
        Add(File("sub/moved.txt", Side{60 * MiB, T0}, std::nullopt));
        Add(File("sub/x.txt", Side{90 * MiB, T0}, Side{90 * MiB, T0}));
        Plan();
    }
};

TEST_F(FilterTest, StateFilter) {
    EXPECT_EQ(Grid(), (Rows{"    c2l.txt <----", "    c2r.txt ---->", "    conf CONFLICT",
                            "    lonly.txt ---->", "    ronly.txt <----", "    same.txt", "sub",
                            "    moved.txt MOVE", "    x.txt"}));
    Filter(1);
    EXPECT_EQ(Grid(), (Rows{"    c2l.txt <----", "    c2r.txt ---->", "    lonly.txt ---->",
                            "    ronly.txt <----", "sub", "    moved.txt MOVE"}));
    Filter(2);
    EXPECT_EQ(Grid(),
              (Rows{"    c2r.txt ---->", "    lonly.txt ---->", "sub", "    moved.txt MOVE"}));
    EXPECT_FALSE(At("c2l.txt").Shown);
    Filter(3);
    EXPECT_EQ(Grid(),
              (Rows{"    c2l.txt <----", "    ronly.txt <----", "sub", "    moved.txt MOVE"}));
    Filter(4);
    EXPECT_EQ(Grid(), (Rows{"    conf CONFLICT", "    same.txt", "sub", "    moved.txt MOVE",
                            "    x.txt"}));
}

TEST_F(FilterTest, ExistenceAndMovedFilesFilters) {
    Filter(0, 1);
    EXPECT_EQ(Grid(),
              (Rows{"    lonly.txt ---->", "    ronly.txt <----", "sub", "    moved.txt MOVE"}));
    Filter(0, 2);
    EXPECT_EQ(Grid(), (Rows{"    c2l.txt <----", "    c2r.txt ---->", "    conf CONFLICT",
                            "    same.txt", "sub", "    x.txt"}));
    Filter(0, 0, 1, 0);
    EXPECT_EQ(Grid(), (Rows{"sub", "    moved.txt MOVE"}));
    // Right-side half: the folder row has nothing below it and is taken back.
    Filter(0, 0, 1, 1);
    EXPECT_EQ(Grid(), (Rows{"    moved.txt MOVE"}));
    EXPECT_FALSE(At("sub").Shown);
    EXPECT_TRUE(At("moved.txt").Shown);
    EXPECT_FALSE(At("sub/moved.txt").Shown);
    EXPECT_EQ(p.Stats.FoldersShown, 1);
    EXPECT_EQ(p.Stats.FolderRowsShown, 0);
    Filter(0, 0, 2, 0);
    EXPECT_EQ(Grid(), (Rows{"    c2l.txt <----", "    c2r.txt ---->", "    conf CONFLICT",
                            "    lonly.txt ---->", "    ronly.txt <----", "    same.txt", "sub",
                            "    x.txt"}));
    EXPECT_EQ(p.Stats.MoveCount, 0);
}

TEST_F(FilterTest, StatisticsRowIndexAndSummary) {
    const tPlanStatistics& s = p.Stats;
    EXPECT_EQ(s.FilesShown, 8);
    EXPECT_EQ(s.AffectedCount, 6);
    EXPECT_EQ(s.LeftFilesShown, 7);
    EXPECT_EQ(s.RightFilesShown, 5);
    EXPECT_EQ(s.CopyToRightCount, 2);
    EXPECT_EQ(s.CopyToRightBytes, 80 * MiB);
    EXPECT_EQ(s.CopyToLeftCount, 2);
    EXPECT_EQ(s.CopyToLeftBytes, 90 * MiB);
    EXPECT_EQ(s.MoveCount, 1);
    EXPECT_EQ(s.MoveBytes, 60 * MiB);
    EXPECT_EQ(s.DeleteCount, 0);
    EXPECT_EQ(s.FoldersShown, 1);
    EXPECT_EQ(s.FolderRowsShown, 1);
    EXPECT_EQ(s.BytesShown, 405 * MiB);
    EXPECT_EQ(s.LargestCopy, 70 * MiB);

    ASSERT_EQ(p.RowIndex.size(), 10u);
    EXPECT_EQ(p.RowIndex[0], -1);
    EXPECT_EQ(p.RowIndex[7], 7); // the folder row
    EXPECT_EQ(p.RowIndex[8], 8);
    EXPECT_EQ(At("same.txt").ShownIndex, 6);
    EXPECT_EQ(At("same.txt").AffectedIndex, 0);
    EXPECT_EQ(At("ronly.txt").ShownIndex, 5);
    EXPECT_EQ(At("ronly.txt").AffectedIndex, 5);
    EXPECT_EQ(At("sub").ShownIndex, 0);
    EXPECT_EQ(At("sub/moved.txt").AffectedIndex, 6);
    EXPECT_EQ(At("moved.txt").ShownIndex, 0);
    EXPECT_FALSE(At("moved.txt").Shown);

    EXPECT_EQ(list.lbLeftToRight, "2 (80.0MB)");
    EXPECT_EQ(list.lbRightToLeft, "2 (90.0MB)");
    EXPECT_EQ(list.lbMove, "1 (60.0MB)");
    EXPECT_EQ(list.lbDelete, "0 (0.0kB)");
    EXPECT_EQ(list.lbTotalFilesShown, "8 (405.0MB)");

    // A narrower filter resets and recounts everything.
    Filter(2);
    EXPECT_EQ(s.FilesShown, 3);
    EXPECT_EQ(s.CopyToLeftCount, 0);
    EXPECT_EQ(s.LargestCopy, 50 * MiB);
    EXPECT_EQ(At("same.txt").ShownIndex, 0);
    EXPECT_EQ(At("lonly.txt").ShownIndex, 2);
    EXPECT_EQ(list.lbTotalFilesShown, "3 (145.0MB)");
    ASSERT_EQ(p.RowIndex.size(), 5u);
    EXPECT_EQ(p.RowIndex[4], 8);

    // The status window's own counter changes reach the labels through UpdateStatusSummary.
    p.Stats.DeleteCount = 3;
    p.Stats.DeleteBytes = 3 * 1073741824LL / 2;
    UpdateStatusSummary(p);
    EXPECT_EQ(list.lbDelete, "3 (1.5GB)");
}

TEST(SummaryTextTest, Units) {
    EXPECT_EQ(SummaryText(0, 0), "0 (0.0kB)");
    EXPECT_EQ(SummaryText(1, 1536), "1 (1.5kB)");
    EXPECT_EQ(SummaryText(2, 1048575), "2 (1024.0kB)");
    EXPECT_EQ(SummaryText(3, 1048576), "3 (1.0MB)");
    EXPECT_EQ(SummaryText(4, 1073741824), "4 (1.0GB)");
    EXPECT_EQ(SummaryText(5, 1073741824LL * 10 + 107374182), "5 (10.1GB)");
}

TEST_F(PlannerTest, FilesToDeleteBoxAndFolderPruning) {
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.EmptyFolders = false;
    Add(File("copy.txt", Side{1, T0}, std::nullopt));
    Add(File("equal.txt", Side{1, T0}, Side{1, T0}));
    Add(File("old.txt", std::nullopt, Side{2, T0}));
    Add(Folder("both", true, true));
    Add(File("both/equal.txt", Side{1, T0}, Side{1, T0}));
    Add(Folder("both/deep", true, true));
    Add(File("both/deep/new.txt", Side{4, T0}, std::nullopt));
    Add(Folder("gone", false, true));
    Add(File("gone/f.txt", std::nullopt, Side{6, T0}));
    Add(Folder("quiet", true, true));
    Add(Folder("quiet/inner", true, true));
    p.Filter = {2, 0, 0, 1, tTriState::Grayed};
    Plan();
    // "both" has nothing of its own shown, so it gives way to "both/deep"; "quiet" and
    // "quiet/inner" are taken back at the end.
    EXPECT_EQ(Grid(), (Rows{"    copy.txt ---->", "    old.txt DELETE", "both/deep",
                            "    new.txt ---->", "gone", "    f.txt DELETE"}));
    EXPECT_EQ(p.Stats.FoldersShown, 5);
    EXPECT_EQ(p.Stats.FolderRowsShown, 2);
    EXPECT_FALSE(At("both").Shown);
    EXPECT_FALSE(At("quiet/inner").Shown);
    EXPECT_EQ(p.Stats.DeleteCount, 2);
    EXPECT_EQ(p.Stats.DeleteBytes, 8);
    EXPECT_EQ(list.lbDelete, "2 (0.0kB)");

    Filter(2, 0, 0, 1, tTriState::Checked);
    EXPECT_EQ(Grid(), (Rows{"    old.txt DELETE", "gone", "    f.txt DELETE"}));
    Filter(2, 0, 0, 1, tTriState::Unchecked);
    EXPECT_EQ(Grid(), (Rows{"    copy.txt ---->", "both/deep", "    new.txt ---->"}));
    EXPECT_EQ(p.Stats.DeleteCount, 0);
    // Deletions are never "Unaffected", never duplicates, never moves.
    Filter(4, 0, 0, 1, tTriState::Grayed);
    EXPECT_EQ(Grid(), (Rows{"    equal.txt", "both", "    equal.txt", "both/deep", "gone", "quiet",
                            "quiet/inner"}));
    Filter(0, 2, 0, 1, tTriState::Grayed);
    EXPECT_EQ(Grid(), (Rows{"    equal.txt", "both", "    equal.txt", "both/deep", "quiet",
                            "quiet/inner"}));
    Filter(0, 0, 1, 1, tTriState::Grayed);
    EXPECT_EQ(Grid(), Rows{});

    // A deletion the user chose on a file present on both sides is an orphan-filter case.
    TFileListEntry& chosen = At("equal.txt");
    chosen.Action = actDelete;
    Filter(0, 0, 0, 1, tTriState::Grayed);
    EXPECT_TRUE(chosen.Shown);
    Filter(0, 1, 0, 1, tTriState::Grayed);
    EXPECT_FALSE(chosen.Shown);
    EXPECT_TRUE(At("old.txt").Shown);
}

TEST_F(PlannerTest, UserChangesAgainstTheMirrorAreUndoneByTheNextBuild) {
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.Filter = {0, 0, 0, 1, tTriState::Grayed};
    Add(File("old.txt", std::nullopt, Side{2, T0}));
    Add(Folder("dir", true, true));
    p.EmptyFolders = false;
    Plan();
    At("old.txt").Action = actLeaveAlone;
    At("dir").Action = actCopyToRight;
    BuildStatusList(p);
    EXPECT_EQ(At("old.txt").Action, actDelete);
    EXPECT_EQ(At("dir").Action, actNone);
}

TEST_F(PlannerTest, VersionFilesAreNeverActedOn) {
    p.ExactMirror = true;
    p.RightToLeft = false;
    Add(VersionFile("report.$1$.doc", std::nullopt, Side{3, T0}));
    Add(VersionFile("report.doc.$12$", Side{3, T0}, std::nullopt));
    Add(File("report.doc", std::nullopt, Side{3, T0}));
    Add(VersionFile("x/report.$1$.doc", Side{3, T0}, std::nullopt));
    p.Filter.cbFilesToDelete = tTriState::Grayed;
    Plan();
    EXPECT_EQ(At("report.$1$.doc").Action, actNone);
    EXPECT_EQ(At("report.doc.$12$").Action, actNone);
    EXPECT_EQ(At("x/report.$1$.doc").Action, actNone);
    EXPECT_EQ(At("report.doc").Action, actDelete);
    EXPECT_EQ(p.Stats.AffectedCount, 1);
}

// --------------------------------------------------------------------------------------------
// Cell texts

class CellTextTest : public PlannerTest {
protected:
    void SetUp() override {
        setenv("TZ", "UTC", 1);
        tzset();
    }
    void TearDown() override {
        unsetenv("TZ");
        tzset();
    }
};

TEST_F(CellTextTest, RowsReadAsTheGridShowsThem) {
    Add(File("a.txt", Side{500, 1612174830}, Side{1048576, 1609459200}));
    Add(Link(File("ln", Side{60, 1612174830}, Side{60, 1612174830}), 3221225472LL));
    Add(File("moved.bin", std::nullopt, Side{1073741824, T0}));
    Add(Folder("sub", true, false));
    Add(Folder("sub/deep", true, true));
    Add(File("sub/deep/moved.bin", Side{1073741824, T0}, std::nullopt));
    p.Filter.rgAdjustMovedFiles = 1;
    Plan();

    for (int col = 0; col < tStatusList::ColumnCount; ++col)
        EXPECT_EQ(list.CellText(0, col), tStatusList::HeaderText(col));
    EXPECT_EQ(list.CellText(0, 1), "    Filename");
    EXPECT_EQ(list.CellText(0, 5), "Right Date");
    ASSERT_EQ(list.RowCount(), 6);

    auto row = [&](int32_t r) {
        std::vector<std::string> cells;
        for (int col = 0; col < tStatusList::ColumnCount; ++col)
            cells.push_back(list.CellText(r, col));
        return cells;
    };
    using Cells = std::vector<std::string>;
    EXPECT_EQ(row(1), (Cells{"1", "    a.txt", "01.02.2021 10:20:30", "0.488 kB", "---->",
                             "01.01.2021 00:00:00", "1.000 MB"}));
    // Followed link: the target's size, marked date; planned with the target's size.
    EXPECT_EQ(row(2), (Cells{"2", "    ln", "01.02.2021 10:20:30<slnk>", "3.000 GB", "",
                             "01.02.2021 10:20:30<slnk>", "3.000 GB"}));
    EXPECT_EQ(At("ln").LeftSize(), 3221225472LL);
    EXPECT_EQ(p.Stats.BytesShown, (500 + 1048576) / 2 + 3221225472LL + 1073741824);
    EXPECT_EQ(row(3), (Cells{"3", "    moved.bin", "->/sub/deep", "", "MOVE", "13.09.2020 12:26:40",
                             "1.000 GB"}));
    EXPECT_EQ(row(4), (Cells{"", "sub", "", "<DIR>", "---->", "", ""}));
    EXPECT_EQ(row(5), (Cells{"", "sub/deep", "", "<DIR>", "", "", "<DIR>"}));
    EXPECT_EQ(list.CellText(6, 1), "");
    EXPECT_EQ(list.CellText(1, 7), "");

    p.SymLinks = 1;
    EXPECT_EQ(list.CellText(2, 3), "<symlink>");
    EXPECT_EQ(list.CellText(2, 2), "01.02.2021 10:20:30");

    // A replaced cell stays with its entry until the next build.
    const uint64_t revision = list.Revision();
    list.SetCellText(1, 2, "(deleted)");
    EXPECT_EQ(list.CellText(1, 2), "(deleted)");
    BuildStatusList(p);
    EXPECT_GT(list.Revision(), revision);
    EXPECT_EQ(list.CellText(1, 2), "01.02.2021 10:20:30");
}

TEST_F(PlannerTest, ListAttachesAndEmptyPlanShowsOnlyTheHeader) {
    EXPECT_EQ(p.StatusList, &list);
    BuildStatusList(p);
    EXPECT_EQ(list.RowCount(), 1);
    ASSERT_EQ(p.RowIndex.size(), 1u);
    EXPECT_EQ(p.RowIndex[0], -1);
    {
        tProfile other;
        {
            tStatusList temporary(other);
            EXPECT_EQ(other.StatusList, &temporary);
        }
        EXPECT_EQ(other.StatusList, nullptr);
        other.Entries.push_back(File("a", Side{1, T0}, std::nullopt));
        BuildStatusList(other); // no list attached: plan and statistics only
        EXPECT_EQ(other.Stats.FilesShown, 1);
        EXPECT_TRUE(other.Entries[0].Shown);
    }
}

// --------------------------------------------------------------------------------------------
// Folders that could not be read

TEST_F(PlannerTest, NothingIsCopiedIntoOrDeletedBelowAnUnreadableFolder) {
    p.UnreadableFolders.push_back({true, "/data", 13}); // right "/data" could not be listed
    Add(File("old/m.txt", std::nullopt, Side{9, T0}));
    Add(Folder("data", true, true));
    Add(File("data/a.txt", Side{1, T0}, std::nullopt));
    Add(Folder("data/deep", true, false));
    Add(File("data/deep/b.txt", Side{1, T0}, std::nullopt));
    Add(File("data/m.txt", Side{9, T0}, std::nullopt));
    Add(Folder("data2", true, true));
    Add(File("data2/c.txt", Side{1, T0}, std::nullopt));
    Plan();
    for (auto path : {"data/a.txt", "data/deep", "data/deep/b.txt", "data/m.txt"}) {
        EXPECT_EQ(At(path).Action, actNone) << path;
        EXPECT_EQ(At(path).DefaultAction, actNone) << path;
    }
    // The file seen only on the right is not paired with one inside the blind folder.
    EXPECT_EQ(At("old/m.txt").Action, actCopyToLeft);
    EXPECT_EQ(At("data2/c.txt").Action, actCopyToRight);
    EXPECT_EQ(p.Stats.CopyToRightCount, 1);

    // A mirror towards the left would delete them on the left: it must not.
    p.ExactMirror = true;
    p.LeftToRight = false;
    p.Filter.cbFilesToDelete = tTriState::Grayed;
    for (auto& e : p.Entries) {
        e.Action = !e.Right.Present ? actCopyToRight
                   : e.Left.Present ? actLeaveAlone
                                    : actCopyToLeft;
        e.DefaultAction = e.Action;
    }
    Plan();
    for (auto path : {"data/a.txt", "data/deep/b.txt", "data/m.txt"})
        EXPECT_EQ(At(path).Action, actNone) << path;
    EXPECT_EQ(At("data2/c.txt").Action, actDelete);
    EXPECT_EQ(p.Stats.DeleteCount, 1);
}

TEST_F(PlannerTest, UnreadableLeftBaseFolderProtectsEveryRightOnlyItem) {
    p.UnreadableFolders.push_back({false, "", 13});
    p.ExactMirror = true;
    p.RightToLeft = false;
    p.Filter.cbFilesToDelete = tTriState::Grayed;
    Add(File("r.txt", std::nullopt, Side{1, T0}));
    Add(Folder("dir", false, true));
    Add(File("dir/s.txt", std::nullopt, Side{1, T0}));
    Add(File("l.txt", Side{1, T0}, std::nullopt)); // the right side was read: copying is fine
    Plan();
    EXPECT_EQ(At("r.txt").Action, actNone);
    EXPECT_EQ(At("dir").Action, actNone);
    EXPECT_EQ(At("dir/s.txt").Action, actNone);
    EXPECT_EQ(At("l.txt").Action, actCopyToRight);
    EXPECT_EQ(p.Stats.DeleteCount, 0);
    EXPECT_EQ(list.lbDelete, "0 (0.0kB)");
}

// --------------------------------------------------------------------------------------------
// Real trees through the scanner

class TreePlanTest : public PlannerTest {
protected:
    void SetUp() override {
        SetInitialValues(p);
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        p.RunUnattended = true;
        p.DetectMoved = true;
        p.EmptyFolders = true;
    }

    // Scan and plan; false when the scan failed.
    bool ScanAndPlan() {
        if (!BuildFileLists(p, true, false)) return false;
        CompareEntries(p);
        FindMovedFiles(p);
        BuildStatusList(p);
        return true;
    }

    const TFileListEntry* Find(std::string_view path) const {
        for (const auto& e : p.Entries)
            if (FullPath(e) == "/" + std::string(path)) return &e;
        return nullptr;
    }

    test::TempTree left, right;
};

TEST_F(TreePlanTest, MovedChangedAndNewFiles) {
    left.WriteFile("albums/photo.jpg", "JPEG DATA", T0);
    right.WriteFile("photo.jpg", "JPEG DATA", T0);
    left.WriteFile("notes.txt", "new text", T0 + 100);
    right.WriteFile("notes.txt", "old", T0);
    left.WriteFile("same.txt", "x", T0);
    right.WriteFile("same.txt", "x", T0);
    right.WriteFile("Extra.txt", "e", T0);
    ASSERT_TRUE(ScanAndPlan());
    EXPECT_EQ(Grid(), (Rows{"    Extra.txt <----", "    notes.txt ---->", "    same.txt",
                            "albums ---->", "    photo.jpg MOVE"}));
    EXPECT_EQ(list.CellText(5, 5), "->/");
    EXPECT_EQ(list.CellText(5, 3), "0.009 kB");
    EXPECT_EQ(list.lbMove, "1 (0.0kB)");
}

TEST_F(TreePlanTest, UnreadableRightFolderKeepsTheLeftCopiesInAMirror) {
    left.WriteFile("data/a.txt", "a", T0);
    left.WriteFile("data/new.txt", "n", T0);
    left.WriteFile("other/c.txt", "c", T0);
    right.WriteFile("data/a.txt", "a", T0);
    right.MakeFolder("other");
    right.SetMode("data", 0);
    // The left side mirrors the right: whatever the right lacks is deleted on the left.
    p.ExactMirror = true;
    p.LeftToRight = false;
    p.Filter.cbFilesToDelete = tTriState::Grayed;
    const int status = test::RunAsNobody([&] {
        if (!ScanAndPlan()) return 10;
        if (p.UnreadableFolders.size() != 1 || !p.UnreadableFolders[0].RightSide ||
            p.UnreadableFolders[0].RelPath != "/data")
            return 11;
        for (auto path : {"data/a.txt", "data/new.txt"})
            if (!Find(path) || Find(path)->Action != actNone) return 12;
        if (!Find("other/c.txt") || Find("other/c.txt")->Action != actDelete) return 13;
        if (p.Stats.DeleteCount != 1) return 14;
        return 0;
    });
    EXPECT_EQ(status, 0);
}

} // namespace
} // namespace corvane
