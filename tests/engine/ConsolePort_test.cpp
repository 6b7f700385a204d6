#include "engine/ConsolePort.h"
#include "profiles/Profile.h"

#include <chrono>
#include <cstdio>
#include <string>
#include <thread>

#include <gtest/gtest.h>

using namespace corvane;

namespace {

std::string Contents(std::FILE* f) {
    std::fflush(f);
    std::rewind(f);
    std::string s;
    char buf[4096];
    size_t n;
    while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
    return s;
}

} // namespace

TEST(ConsolePort, QuestionsGetTheSafeAnswerAndAreReported) {
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        ConsolePort port(err);
        EXPECT_FALSE(port.AskQuestion("Error writing. Try again?"));
        EXPECT_EQ(port.AskDecision("Run it?", true, true, "Corvane"), -1);
        EXPECT_EQ(port.AskDecision("Save?", true, false, "Corvane"), 0);
        EXPECT_EQ(port.ChooseOption("Do you want to delete x?", {"Yes", "No"}, 1), 0);
        tFileChoice choice;
        choice.Message = "Destination File is newer.";
        choice.Options = {"Do not overwrite this file", "Overwrite this file"};
        choice.DestName = "/backup/x";
        EXPECT_EQ(port.ChooseWithFileInfo(choice), 1) << "the first option changes nothing";
        bool cancelled = false;
        EXPECT_EQ(port.AskForText("New name:", 255, cancelled, "x", ""), "");
        EXPECT_TRUE(cancelled);
        tProfile profile;
        EXPECT_FALSE(port.ReviewPlan(profile)) << "nobody can start a review here";
        port.ShowInfo("Read error");
    }
    std::string text = Contents(err);
    EXPECT_NE(text.find("Error writing. Try again? -> No\n"), std::string::npos) << text;
    EXPECT_NE(text.find("Run it? -> Cancel\n"), std::string::npos);
    EXPECT_NE(text.find("Destination File is newer. /backup/x -> Do not overwrite this file\n"),
              std::string::npos);
    EXPECT_NE(text.find("New name: -> Cancel\n"), std::string::npos);
    EXPECT_NE(text.find("Read error\n"), std::string::npos);
    std::fclose(err);
}

TEST(ConsolePort, ProgressIsSilentWhenNotATerminalAndNests) {
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        ConsolePort port(err);
        port.StartProgressText("Reading base folders", true, "Building File List");
        port.StartProgress(100, true);
        EXPECT_TRUE(port.SetProgress(50));
        port.EndProgress();
        EXPECT_TRUE(port.ProgressVisible());
        port.EndProgress();
        EXPECT_FALSE(port.ProgressVisible());
        tCopyingStatus status;
        status.lbCopying = "Copying a";
        port.OpenCopyingStatus(status, true);
        port.ProcessEvents();
        port.CloseCopyingStatus();
    }
    EXPECT_EQ(Contents(err), "");
    std::fclose(err);
}

TEST(ConsolePort, WithProgressAlwaysALogFileGetsPlainLinesAtMostOneASecond) {
    std::FILE* err = std::tmpfile();
    ASSERT_NE(err, nullptr);
    {
        ConsolePort port(err);
        port.ShowProgressAlways(true);
        tCopyingStatus status;
        port.OpenCopyingStatus(status, false);
        status.lbFileNumber = "File #1 of 3";
        status.lbCopying = "Copying a\nb.txt"; // a line feed in a file name
        status.lbFigures = "0.000 kB of 2.000 MB, 0 of 3 files";
        port.ProcessEvents();
        // Within the second: nothing more, however often events run.
        status.lbFigures = "1.000 MB of 2.000 MB, 1 of 3 files";
        status.lbFileNumber = "File #2 of 3";
        status.lbCopying = "Copying big.bin";
        for (int i = 0; i < 50; ++i) port.ProcessEvents();
        std::this_thread::sleep_for(std::chrono::milliseconds(1050));
        port.ProcessEvents();
        port.ProcessEvents(); // the same line is not written twice
        // The end of the copy is written when the window closes, even within the second.
        status.lbFigures = "2.000 MB of 2.000 MB, 3 of 3 files";
        status.lbFileNumber = "File #3 of 3";
        status.lbCopying = "Copying c";
        port.ProcessEvents();
        port.CloseCopyingStatus();
        port.ShowInfo("Read error");
    }
    EXPECT_EQ(Contents(err), "0.000 kB of 2.000 MB, 0 of 3 files  File #1 of 3  Copying a?b.txt\n"
                             "1.000 MB of 2.000 MB, 1 of 3 files  File #2 of 3  Copying big.bin\n"
                             "2.000 MB of 2.000 MB, 3 of 3 files  File #3 of 3  Copying c\n"
                             "Read error\n");
    std::fclose(err);
}
