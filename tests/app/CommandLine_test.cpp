#include "support/Process.h"

#include <gtest/gtest.h>

using corvane::test::RunCorvane;

TEST(CommandLine, VersionHelpAndUnknownOptions) {
    auto v = RunCorvane({"--version"});
    EXPECT_EQ(v.Status, 0);
    EXPECT_EQ(v.Out, "Corvane 1.04 (build 24)\n");
    auto h = RunCorvane({"--help"});
    EXPECT_EQ(h.Status, 0);
    EXPECT_NE(h.Out.find("--version"), std::string::npos);
    auto bad = RunCorvane({"--no-such-option"});
    EXPECT_EQ(bad.Status, 2);
    EXPECT_NE(bad.Err.find("--no-such-option"), std::string::npos);
}
