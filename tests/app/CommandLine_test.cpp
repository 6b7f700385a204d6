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

TEST(CommandLine, WindowStartWithoutADisplayEndsWithOneLine) {
    const std::vector<std::pair<std::string, std::string>> noDisplay = {
        {"DISPLAY", ""}, {"WAYLAND_DISPLAY", ""}, {"QT_QPA_PLATFORM", ""}};
    for (auto args : {std::vector<std::string>{}, std::vector<std::string>{"/autostart"}}) {
        auto r = RunCorvane(args, noDisplay);
        EXPECT_EQ(r.Status, 1);
        EXPECT_EQ(r.Err,
                  "corvane: cannot open a display; use --run NAME to run a profile without a "
                  "window\n");
    }
    // A display that is named but cannot be reached ends the same way, without a core dump.
    auto unreachable = RunCorvane({}, {{"DISPLAY", ":97"}, {"WAYLAND_DISPLAY", ""},
                                       {"QT_QPA_PLATFORM", ""}});
    EXPECT_EQ(unreachable.Status, 1);
    EXPECT_NE(unreachable.Err.find("cannot open a display"), std::string::npos);
}
