// A fixture for whole runs: a left and a right tree, a preferences store in a temporary
// home, a scripted UI port, and the process-wide run state reset before and after.
#pragma once

#include "engine/Scanner.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"

#include <gtest/gtest.h>

namespace corvane::test {

class RunFixture : public ::testing::Test {
protected:
    TempTree left, right, home;
    tPreferences store{home.Path("prefs")};
    ScriptedPort port; // installed while it lives

    void SetUp() override {
        SetPrefStore(&store);
        RunSettings() = tMainSettings{};
        ClearRightListCache();
    }
    void TearDown() override {
        SetPrefStore(nullptr);
        ClearRightListCache();
    }

    // A profile "job" with the initial settings on the two trees.
    tProfile Profile() const {
        tProfile p;
        SetInitialValues(p);
        p.Name = "job";
        p.LeftPath = left.Root();
        p.RightPath = right.Root();
        return p;
    }
};

} // namespace corvane::test
