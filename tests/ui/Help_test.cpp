// F1 in every window opens the manual at the section of the control with the focus, in a
// help window that a modal dialog does not block; the manual's sections are all there.
#include "engine/UiPort.h"
#include "profiles/Profile.h"
#include "support/ScriptedPort.h"
#include "support/TempTree.h"
#include "ui/CopyingResult.h"
#include "ui/CopyingStatus.h"
#include "ui/HelpWindow.h"
#include "ui/Progress.h"
#include "ui/SelectItems.h"
#include "ui/SyncMain.h"
#include "ui/SyncStatus.h"

#include <QApplication>
#include <QLineEdit>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextBrowser>
#include <QTimer>
#include <cstdlib>
#include <functional>
#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

// Presses F1 on focus (or the window when focus is null) and returns the section the help
// window of that window shows, "" when none opened. The help window is closed again.
std::string PressF1(QWidget* window, QWidget* focus) {
    QApplication::setActiveWindow(window);
    if (focus) focus->setFocus(Qt::OtherFocusReason);
    QTest::keyClick(focus ? focus : window, Qt::Key_F1);
    auto* help = window->findChild<TFHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
    if (!help || !help->isVisible()) return "";
    const std::string section = help->Section().toStdString();
    // The section's text is there, not an empty page for a missing file.
    if (help->Browser().toPlainText().trimmed().size() < 200) ADD_FAILURE() << section << " is empty";
    help->close();
    return section;
}

} // namespace

TEST(Help, F1OpensTheSectionOfTheFocusedControlInEveryWindow) {
    test::TempTree home, left, right;
    setenv("HOME", home.Root().c_str(), 1);
    test::ScriptedPort port;
    SetUiPort(&port);
    left.WriteFile("a.txt", "a", 1600000000);
    left.MakeFolder("docs");
    {
        TFSyncMain w;
        std::vector<std::string> messages;
        w.Dialogs.Info = [&](std::string_view t) { messages.emplace_back(t); };
        w.Dialogs.Decision = [&](std::string_view t) {
            messages.emplace_back(t);
            return 0;
        };
        w.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
        auto* pages = w.findChild<QTabWidget*>("PageControl1");
        auto* inner = w.findChild<QTabWidget*>("PageControl2");
        ASSERT_TRUE(pages && inner);

        struct tCase {
            const char* tab;     // inner tab in front
            const char* control; // the focused control
            const char* section;
        };
        const tCase edit[] = {
            {"tsModes", "edLeftPath", "profiles.md"},  {"tsModes", "btSave", "profiles.md"},
            {"tsModes", "cbFileMasks", "masks.md"},    {"tsModes", "btRunNow", "masks.md"},
            {"tsModes", "cbDetectMoved", "modes.md"},  {"tsMore", "cbHiddenFiles", "more.md"},
            {"tsCompare", "cbIgnore2Secs", "comparison.md"},
            {"tsSchedule", "cbScheduled", "schedule.md"},
            {"tsUnattended", "cbUA_DeleteFiles", "unattended.md"},
        };
        for (const tCase& c : edit) {
            inner->setCurrentWidget(w.findChild<QWidget*>(c.tab));
            EXPECT_EQ(PressF1(&w, w.findChild<QWidget*>(c.control)), c.section) << c.control;
        }
        // The inner tab bar asks for the tab in front.
        inner->setCurrentWidget(w.findChild<QWidget*>("tsMore"));
        EXPECT_EQ(PressF1(&w, inner->tabBar()), "more.md");

        // The "Help" button opens the section of the control that had the focus.
        w.findChild<QWidget*>("cbIgnore1Hour")->setFocus();
        inner->setCurrentWidget(w.findChild<QWidget*>("tsCompare"));
        w.findChild<QWidget*>("cbIgnore1Hour")->setFocus();
        QTest::mouseClick(w.findChild<QWidget*>("btHelp"), Qt::LeftButton);
        auto* help = w.findChild<TFHelpWindow*>(QString(), Qt::FindDirectChildrenOnly);
        ASSERT_TRUE(help);
        EXPECT_TRUE(help->isVisible());
        EXPECT_EQ(help->Section(), "comparison.md");
        // Its links lead to the other sections.
        help->ShowSection("index.md");
        help->Browser().setSource(QUrl("masks.md"));
        EXPECT_EQ(help->Section(), "masks.md");
        EXPECT_TRUE(help->Browser().toPlainText().contains("But Exclude These"));
        help->close();

        pages->setCurrentWidget(w.findChild<QWidget*>("tsOptions"));
        EXPECT_EQ(PressF1(&w, w.findChild<QWidget*>("edLogPath")), "options.md");
        pages->setCurrentWidget(w.findChild<QWidget*>("tsMultiple"));
        EXPECT_EQ(PressF1(&w, w.findChild<QWidget*>("btNowAll")), "scheduler.md");
        pages->setCurrentWidget(w.findChild<QWidget*>("tsScheduler"));
        EXPECT_EQ(PressF1(&w, w.findChild<QWidget*>("btScheduler")), "scheduler.md");
        pages->setCurrentWidget(w.findChild<QWidget*>("tsMain"));

        // The other windows, each with its own section.
        tProfile profile;
        profile.LeftPath = left.Root();
        profile.RightPath = right.Root();
        TFSyncStatus review(&w);
        review.show();
        EXPECT_EQ(PressF1(&review, review.findChild<QWidget*>("btStart")), "review.md");

        tCopyingStatus status;
        TFCopyingStatus copying(status, &w);
        copying.show();
        EXPECT_EQ(PressF1(&copying, nullptr), "copying.md");
        copying.hide();

        TFCopyingResult* result = TFCopyingResult::Instance();
        ASSERT_TRUE(result);
        result->show();
        EXPECT_EQ(PressF1(result, nullptr), "copying.md");
        result->hide();

        TFProgress* progress = TFProgress::Instance();
        ASSERT_TRUE(progress);
        progress->show();
        EXPECT_EQ(PressF1(progress, nullptr), "copying.md");
        progress->hide();

        // The selection dialog is modal; its help window still takes the user's input.
        TFSelectItems* select = TFSelectItems::Instance();
        ASSERT_TRUE(select);
        std::string selection = ":";
        std::string shown;
        bool helpBlocked = true;
        QTimer::singleShot(0, select, [&] {
            shown = PressF1(select, select->findChild<QWidget*>("clbItems"));
            select->findChild<QWidget*>("clbItems")->setFocus();
            QTest::keyClick(select, Qt::Key_F1);
            if (auto* h = select->findChild<TFHelpWindow*>(QString(), Qt::FindDirectChildrenOnly)) {
                helpBlocked = QApplication::activeModalWidget() != select || !h->isVisible() ||
                              !h->isEnabled();
                h->close();
            }
            select->reject();
        });
        EXPECT_EQ(select->Execute(profile, selection), 2);
        EXPECT_EQ(shown, "selectitems.md");
        EXPECT_FALSE(helpBlocked);
        review.hide();
    }
    SetUiPort(nullptr);
}

TEST(Help, EveryContextHasASectionThatIsCompiledIn) {
    for (int context : {help::Contents, 10, 100, 110, 120, 130, 140, 150, 160, 170,
                        help::Scheduler, 200, 210, help::SelectItems, help::Copying}) {
        const QString section = HelpSection(context);
        QFile file(":/manual/" + section);
        EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << context << " " << section.toStdString();
        EXPECT_TRUE(file.readAll().startsWith("# ")) << section.toStdString();
    }
}
