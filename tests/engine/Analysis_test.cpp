#include "engine/Analysis.h"
#include "engine/Masks.h"
#include "engine/StatusList.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <cstdio>

#include <gtest/gtest.h>

using namespace corvane;
using corvane::test::ScriptedPort;
using corvane::test::TempTree;

namespace {

class Analysis : public ::testing::Test {
protected:
    TempTree left, right, home;
    tPreferences store{home.Path("prefs")};
    ScriptedPort port;
    tProfile p;

    void SetUp() override {
        SetPrefStore(&store);
        SetInitialValues(p);
        p.Name = "job";
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
    }
    void TearDown() override { SetPrefStore(nullptr); }
};

} // namespace

TEST_F(Analysis, VolumeLabelIsTheFirstVisiblePlainDottedFile) {
    right.MakeFolder("folder.with.dot");
    right.WriteFile(".hidden.txt", "h");
    right.WriteFile("nodot", "n");
    right.MakeLink("link.txt", "nodot");
    EXPECT_EQ(GetVolumeLabel(right.Root()), "") << "only folders, hidden files, links, undotted";
    right.WriteFile("BACKUP.01", "");
    EXPECT_EQ(GetVolumeLabel(right.Root()), "BACKUP.01");
    EXPECT_EQ(GetVolumeLabel(right.Root() + "/"), "BACKUP.01");
    EXPECT_EQ(GetVolumeLabel(right.Path("missing")), "");
}

TEST_F(Analysis, WrongVolumeLabelStopsTheRunAttendedWithAMessage) {
    left.WriteFile("a.txt", "a");
    right.WriteFile("OTHER.LBL", "");
    p.VolumeLabel = "BACKUP.01";
    EXPECT_FALSE(AnalyzeProfile(p));
    EXPECT_EQ(p.LastRunResult, "Incorrect right volume label");
    EXPECT_EQ(store.Read("rep_job", "Reports"), "Incorrect right volume label");
    ASSERT_EQ(port.Calls.size(), 1u);
    EXPECT_EQ(port.Calls[0], "Info: The volume label for the right path should be BACKUP.01");
    EXPECT_TRUE(p.Entries.empty()) << "nothing was scanned";
    EXPECT_EQ(port.Nesting, 0) << "the progress window is closed again";

    port.Calls.clear();
    p.RunUnattended = true;
    EXPECT_FALSE(AnalyzeProfile(p));
    EXPECT_TRUE(port.Calls.empty()) << "unattended runs show nothing";

    right.WriteFile("BACKUP.01", "");
    std::remove(right.Path("OTHER.LBL").c_str());
    EXPECT_TRUE(AnalyzeProfile(p));
}

TEST_F(Analysis, EmptyVolumeLabelSkipsTheCheckAndThePlanIsBuilt) {
    left.WriteFile("a.txt", "a", 1700000000);
    right.WriteFile("ANY.LBL", "");
    tStatusList list(p);
    p.Filter.rgState = 0;
    ASSERT_TRUE(AnalyzeProfile(p));
    EXPECT_EQ(list.RowCount(), 3);
    EXPECT_EQ(list.CellText(1, 1), "    a.txt");
    EXPECT_EQ(list.CellText(1, 4), "---->");
    EXPECT_EQ(list.CellText(2, 4), "<----");
    EXPECT_EQ(list.lbLeftToRight, "1 (0.0kB)");
    EXPECT_EQ(port.Nesting, 0);
}

TEST_F(Analysis, InvalidMaskIsRaisedAndTheProgressWindowClosed) {
    left.WriteFile("a.txt", "a");
    p.FileMasks = "[abc";
    EXPECT_THROW(AnalyzeProfile(p), EMaskException);
    EXPECT_EQ(port.Nesting, 0);
}

TEST(RootOfPath, Forms) {
    EXPECT_EQ(RootOfPath("/home/user/data"), "");
    EXPECT_EQ(RootOfPath("//server/share/dir"), "//server/");
    EXPECT_EQ(RootOfPath("//server"), "//server/");
    EXPECT_EQ(RootOfPath("C:"), "C:");
    EXPECT_EQ(RootOfPath("data/sub"), "data");
    EXPECT_THROW(RootOfPath("ab"), std::invalid_argument);
    try {
        RootOfPath("/x");
        FAIL();
    } catch (const std::invalid_argument& e) {
        EXPECT_STREQ(e.what(), "Invalid right path");
    }
}
