// Two-way runs that remember the last finished run: whole runs on real trees, the state file
// between them, and what a missing, damaged or foreign state does.
#include "engine/Analysis.h"
#include "engine/LastRunState.h"
#include "engine/RunDriver.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/RunFixture.h"

#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

constexpr int64_t kT0 = 1700000000; // the state of the first run
constexpr int64_t kT1 = kT0 + 3600; // an edit after it
constexpr int64_t kT2 = kT0 + 7200; // a later edit

class LastRun : public corvane::test::RunFixture {
protected:
    void SetUp() override {
        RunFixture::SetUp();
        const char* old = std::getenv("XDG_STATE_HOME");
        savedState_ = old ? old : "";
        hadState_ = old != nullptr;
        setenv("XDG_STATE_HOME", home.Path("state").c_str(), 1);
        // Small trees lose most of a side here: no limit on unattended deletions.
        RunSettings().DeleteLimit = 100;
    }
    void TearDown() override {
        if (hadState_)
            setenv("XDG_STATE_HOME", savedState_.c_str(), 1);
        else
            unsetenv("XDG_STATE_HOME");
        RunFixture::TearDown();
    }

    // The profile with the option on, run unattended with deletions permitted.
    tProfile Remembering() const {
        tProfile p = Profile();
        p.RememberLastRun = true;
        p.UA_DeleteFiles = true;
        return p;
    }
    // A scheduled (unattended) run of p; returns its result line.
    std::string RunForced(tProfile p) {
        EXPECT_TRUE(RunProfile(p, true)) << p.LastRunResult;
        lastNote_ = p.LastRunStateNote;
        return p.LastRunResult;
    }
    // Files on both sides, equal, and a first run that records them.
    void Recorded(const std::vector<std::string>& names) {
        for (const std::string& n : names) {
            left.WriteFile(n, "v0 " + n, kT0);
            right.WriteFile(n, "v0 " + n, kT0);
        }
        EXPECT_EQ(RunForced(Remembering()), "Nothing to be done");
        ASSERT_TRUE(StateExists());
    }
    std::string StateFile() const { return LastRunStateFileName("job"); }
    bool StateExists() const { return std::ifstream(StateFile()).good(); }
    std::string StateBytes() const {
        std::ifstream in(StateFile(), std::ios::binary);
        std::stringstream s;
        s << in.rdbuf();
        return s.str();
    }
    std::vector<tStateRecord> StateRecords() const {
        std::string l, r, why;
        std::vector<tStateRecord> out;
        EXPECT_TRUE(DecodeLastRunState(StateBytes(), l, r, out, why)) << why;
        return out;
    }
    std::vector<std::string> StateNames() const {
        std::vector<std::string> names;
        for (const tStateRecord& r : StateRecords())
            names.push_back(r.RelPath.empty() ? r.Name : r.RelPath.substr(1) + "/" + r.Name);
        return names;
    }

    std::string lastNote_;

private:
    std::string savedState_;
    bool hadState_ = false;
};

TEST_F(LastRun, DeletionsOnEitherSideAreCarriedOverAndLeaveTheState) {
    Recorded({"gone-left.txt", "gone-right.txt", "gone-both.txt", "kept.txt", "sub/deep.txt"});
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"gone-both.txt", "gone-left.txt",
                                                      "gone-right.txt", "kept.txt",
                                                      "sub/deep.txt"}));
    std::remove(left.Path("gone-left.txt").c_str());
    std::remove(right.Path("gone-right.txt").c_str());
    std::remove(left.Path("gone-both.txt").c_str());
    std::remove(right.Path("gone-both.txt").c_str());
    std::remove(left.Path("sub/deep.txt").c_str());
    left.WriteFile("new.txt", "new", kT1); // never recorded: copied as always

    // The plan: the deletions on the side that still has the file, marked as coming from
    // the state; the new file copied.
    {
        tProfile p = Remembering();
        p.RunUnattended = true;
        SetFilterDefaults(p);
        ASSERT_TRUE(AnalyzeProfile(p));
        int deletions = 0;
        for (const TFileListEntry& e : p.Entries) {
            if (e.Name() == "gone-left.txt" || e.Name() == "gone-right.txt" ||
                e.Name() == "deep.txt") {
                EXPECT_EQ(e.Action, tAction::actDelete) << e.Name();
                EXPECT_TRUE(e.FromLastRun && e.Shown) << e.Name();
                ++deletions;
            }
            if (e.Name() == "new.txt") {
                EXPECT_EQ(e.Action, tAction::actCopyToRight);
            }
        }
        EXPECT_EQ(deletions, 3);
        EXPECT_EQ(p.Stats.DeleteCount, 3);
    }

    EXPECT_EQ(RunForced(Remembering()), "1 copied, 3 deleted");
    EXPECT_EQ(left.List(), right.List());
    EXPECT_EQ(left.List(), (std::vector<std::string>{"kept.txt", "new.txt", "sub/"}));
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"kept.txt", "new.txt"}));

    // A file of a deleted name that comes back later is new, not a deletion.
    left.WriteFile("gone-left.txt", "back", kT2);
    EXPECT_EQ(RunForced(Remembering()), "1 copied");
    EXPECT_EQ(right.ReadFile("gone-left.txt"), "back");
}

TEST_F(LastRun, UnattendedRunsDeleteOnlyWherePermittedAndKeepTheDeletionForLater) {
    Recorded({"a.txt", "b.txt"});
    std::remove(left.Path("a.txt").c_str());
    tProfile p = Remembering();
    p.UA_DeleteFiles = false;
    EXPECT_EQ(RunForced(p), "Nothing to be done");
    EXPECT_TRUE(right.Exists("a.txt")) << "not permitted: left where it is";
    EXPECT_FALSE(left.Exists("a.txt")) << "and not copied back either";
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"a.txt", "b.txt"}))
        << "the deletion is still known to the next run";

    // An attended run proposes it and carries it out when started (the delete question is
    // answered "Yes").
    tProfile q = Remembering();
    port.Reviews = {true};
    port.Choices = {2};
    EXPECT_TRUE(RunProfile(q, false));
    EXPECT_FALSE(right.Exists("a.txt"));
    EXPECT_EQ(q.LastRunResult, "0 copied, 1 deleted");
}

TEST_F(LastRun, EditsOnBothSidesAreBothKept) {
    Recorded({"doc.txt", "notes.md", "same.txt"});
    left.WriteFile("doc.txt", "left edit", kT1);
    right.WriteFile("doc.txt", "right edit, later", kT2);
    left.WriteFile("notes.md", "left edit, later", kT2);
    right.WriteFile("notes.md", "right edit", kT1);
    // Both sides made the same change: nothing to keep twice.
    left.WriteFile("same.txt", "same", kT1);
    right.WriteFile("same.txt", "same", kT1);

    const std::string leftName = ConflictName("doc.txt", kT1, "left");
    const std::string rightName = ConflictName("notes.md", kT1, "right");
    EXPECT_EQ(RunForced(Remembering()), "4 copied, 2 in conflict (both kept)");
    EXPECT_EQ(left.List(), right.List());
    EXPECT_EQ(left.List(),
              (std::vector<std::string>{leftName, "doc.txt", rightName, "notes.md", "same.txt"}));
    for (const corvane::test::TempTree* t : {&left, &right}) {
        EXPECT_EQ(t->ReadFile("doc.txt"), "right edit, later");
        EXPECT_EQ(t->ReadFile(leftName), "left edit");
        EXPECT_EQ(t->ReadFile("notes.md"), "left edit, later");
        EXPECT_EQ(t->ReadFile(rightName), "right edit");
    }
    EXPECT_NE(leftName.find("doc (conflict "), std::string::npos);
    EXPECT_EQ(leftName.substr(leftName.size() - 10), " left).txt");

    // The next run finds both sides equal and the conflict copies recorded.
    EXPECT_EQ(RunForced(Remembering()), "Nothing to be done");
    EXPECT_EQ(StateNames().size(), 5u);
}

TEST_F(LastRun, AnEditWinsOverADeletionAndOverANewerUntouchedCopy) {
    Recorded({"edited-left.txt", "edited-right.txt", "older-edit.txt"});
    // Edited on the left, deleted on the right: the edit is copied back.
    left.WriteFile("edited-left.txt", "edit", kT1);
    std::remove(right.Path("edited-left.txt").c_str());
    // And the other way round.
    std::remove(left.Path("edited-right.txt").c_str());
    right.WriteFile("edited-right.txt", "edit", kT1);
    // An edit whose time lies before the recorded one (a restored file): still the edit
    // wins over the untouched other side.
    right.WriteFile("older-edit.txt", "restored", kT0 - 86400);
    tProfile p = Remembering();
    p.UA_OverwriteNewer = p.UA_OverwriteLarger = true;
    EXPECT_EQ(RunForced(p), "3 copied");
    EXPECT_EQ(right.ReadFile("edited-left.txt"), "edit");
    EXPECT_EQ(left.ReadFile("edited-right.txt"), "edit");
    EXPECT_EQ(left.ReadFile("older-edit.txt"), "restored");
    EXPECT_EQ(left.List(), right.List());
}

TEST_F(LastRun, WithTheOptionOffOrOutOfEffectRunsCompareAsAlways) {
    Recorded({"a.txt", "b.txt", "c.txt"});
    const std::string state = StateBytes();
    std::remove(left.Path("a.txt").c_str());
    left.WriteFile("b.txt", "left edit", kT1);
    right.WriteFile("b.txt", "right edit", kT2);

    // A one-direction profile ignores the option.
    {
        tProfile oneWay = Remembering();
        oneWay.RightToLeft = false;
        tProfile copy = oneWay;
        copy.RunUnattended = true;
        SetFilterDefaults(copy);
        ASSERT_TRUE(AnalyzeProfile(copy));
        for (const TFileListEntry& e : copy.Entries)
            EXPECT_FALSE(e.FromLastRun) << e.Name();
        EXPECT_EQ(copy.Filter.cbFilesToDelete, tTriState::Unchecked);
    }

    tProfile off = Profile();
    EXPECT_EQ(RunForced(off), "2 copied");
    EXPECT_EQ(left.ReadFile("a.txt"), "v0 a.txt") << "copied back, as without the option";
    EXPECT_EQ(left.ReadFile("b.txt"), "right edit") << "the newer edit overwrites the other";
    EXPECT_EQ(left.List(), (std::vector<std::string>{"a.txt", "b.txt", "c.txt"}));
    EXPECT_FALSE(StateExists()) << "a run without the option leaves no stale state";
    EXPECT_NE(state, "");
}

TEST_F(LastRun, ACancelledOrFailedRunKeepsTheStateOfTheLastFinishedOne) {
    Recorded({"a.txt", "b.txt"});
    const std::string state = StateBytes();
    std::remove(left.Path("a.txt").c_str());
    RunSettings().BufSizeKB = 1;
    for (int i = 0; i < 5; ++i)
        left.WriteFile("big" + std::to_string(i) + ".bin", std::string(64 * 1024, 'x'), kT1);

    // Cancelled in the middle of the copies.
    port.CancelCopyingAfter = 12;
    tProfile p = Remembering();
    EXPECT_TRUE(RunProfile(p, true));
    EXPECT_TRUE(p.ExecutionCancelled);
    int copied = 0;
    for (int i = 0; i < 5; ++i)
        copied += right.Exists("big" + std::to_string(i) + ".bin");
    EXPECT_LT(copied, 5) << "cancelled before the end";
    EXPECT_EQ(StateBytes(), state);

    // A run that cannot start (the right base folder is gone) leaves it as well.
    tProfile missing = Remembering();
    missing.RightPath = right.Path("no/such/folder");
    RunProfile(missing, true);
    EXPECT_EQ(StateBytes(), state);

    // The next finished run still knows that a.txt was deleted on the left.
    port.CancelCopyingAfter = 0;
    RunForced(Remembering());
    EXPECT_FALSE(right.Exists("a.txt"));
    EXPECT_FALSE(left.Exists("a.txt"));
    EXPECT_EQ(left.List(), right.List());
}

TEST_F(LastRun, ADamagedOrForeignStateIsIgnoredWithOneLogLine) {
    Recorded({"a.txt", "b.txt"});
    std::string state = StateBytes();
    RunSettings().Logging = 1;
    RunSettings().LogFolder = home.Path("logs");

    // One byte changed in the middle: the checksum tells.
    state[state.size() / 2] ^= 0x20;
    {
        std::ofstream(StateFile(), std::ios::binary | std::ios::trunc) << state;
    }
    std::remove(left.Path("a.txt").c_str());
    EXPECT_EQ(RunForced(Remembering()), "1 copied");
    EXPECT_TRUE(left.Exists("a.txt")) << "as if never recorded: copied back";
    EXPECT_EQ(lastNote_, "STATE NOT USED (damaged) " + StateFile());
    std::ifstream in(home.Path("logs/crvn.log"));
    const std::string log((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    EXPECT_NE(log.find("STATE NOT USED (damaged)"), std::string::npos) << log;
    EXPECT_EQ(StateNames(), (std::vector<std::string>{"a.txt", "b.txt"})) << "written anew";

    // A state of other base folders: the profile now points at another right folder that
    // lacks a.txt, which must not count as a deletion there.
    corvane::test::TempTree other;
    other.WriteFile("b.txt", "v0 b.txt", kT0);
    tProfile moved = Remembering();
    moved.RightPath = other.Root();
    EXPECT_EQ(RunForced(moved), "1 copied");
    EXPECT_EQ(other.ReadFile("a.txt"), "v0 a.txt");
    EXPECT_TRUE(left.Exists("a.txt"));
    EXPECT_NE(lastNote_.find("STATE NOT USED (recorded for other base folders: "),
              std::string::npos)
        << lastNote_;

    // Truncated: ignored the same way.
    const std::string now = StateBytes();
    {
        std::ofstream(StateFile(), std::ios::binary | std::ios::trunc)
            << now.substr(0, now.size() - 3);
    }
    std::remove(left.Path("b.txt").c_str());
    RunForced(moved);
    EXPECT_TRUE(left.Exists("b.txt"));
    EXPECT_EQ(lastNote_, "STATE NOT USED (damaged) " + StateFile());
}

} // namespace
