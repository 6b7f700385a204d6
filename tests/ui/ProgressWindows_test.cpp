// The progress, copying status and copying result windows, driven as a user and as the
// engine drive them, and one real run through the Qt port cancelled from the status window.
#include "engine/RunDriver.h"
#include "engine/Scanner.h"
#include "engine/UiPort.h"
#include "profiles/Preferences.h"
#include "profiles/Profile.h"
#include "support/TempTree.h"
#include "ui/CopyingResult.h"
#include "ui/CopyingStatus.h"
#include "ui/Progress.h"
#include "ui/QtPort.h"

#include <QAbstractButton>
#include <QApplication>
#include <QCloseEvent>
#include <QGroupBox>
#include <QLabel>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QScreen>
#include <QTest>
#include <QTextLayout>
#include <QTimer>
#include <QWindow>
#include <QtTest/qtestspontaneevent.h>
#include <fstream>
#include <memory>

#include <gtest/gtest.h>

using namespace corvane;
using namespace corvane::gui;

namespace {

template <class T> T* Child(QWidget* w, const char* name) {
    T* child = w->findChild<T*>(name);
    EXPECT_NE(child, nullptr) << name;
    return child;
}

// Answers the next question box that appears by clicking its button captioned caption
// (mnemonic marks ignored); its texts are collected in asked. Waits for the question until
// the returned timer goes.
[[nodiscard]] std::unique_ptr<QTimer>
AnswerNextQuestion(const QString& caption, std::shared_ptr<QStringList> asked = nullptr) {
    auto timer = std::make_unique<QTimer>();
    timer->setInterval(5);
    QObject::connect(timer.get(), &QTimer::timeout, [timer = timer.get(), caption, asked] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal) return;
        for (QAbstractButton* button : modal->findChildren<QAbstractButton*>()) {
            if (button->text().remove('&') != caption || !button->isVisible()) continue;
            if (asked)
                for (QLabel* label : modal->findChildren<QLabel*>())
                    if (!label->text().isEmpty()) *asked << label->text();
            timer->stop();
            button->click();
            return;
        }
    });
    timer->start();
    return timer;
}

// Closes w as the window manager's close button does.
void CloseByTitleBar(QWidget& w) {
    QCloseEvent event;
    QSpontaneKeyEvent::setSpontaneous(&event);
    qApp->notify(&w, &event); // sendEvent would make it look like the program's own close
}

// Counts the times a window is shown.
struct ShowCounter : QObject {
    int Shown = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Show) ++Shown;
        return false;
    }
};

// A window that is active when the work starts, as the main window is in the program.
struct ActiveWindow {
    QWidget w;
    ActiveWindow() {
        w.setWindowTitle("main");
        w.setGeometry(200, 150, 700, 500);
        w.show();
        w.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&w));
    }
};

TFProgress& Progress() {
    TFProgress* w = TFProgress::Instance();
    EXPECT_NE(w, nullptr);
    return *w;
}

} // namespace

TEST(ProgressWindow, NestedUsesKeepItOpenAndTheLastOneGivesTheWindowBack) {
    ActiveWindow main;
    TFProgress& w = Progress();
    auto* bar = Child<QProgressBar>(&w, "ProgressBar1");
    auto* label = Child<QLabel>(&w, "Label1");
    auto* button = Child<QPushButton>(&w, "btCancel");

    w.StartProgress(100, false);
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(TFProgress::Nesting(), 1);
    EXPECT_FALSE(main.w.isEnabled());
    EXPECT_EQ(w.windowTitle(), "Fortschritt");
    EXPECT_EQ(w.size(), QSize(424, 57));
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    EXPECT_FALSE(bar->isHidden());
    EXPECT_TRUE(label->isHidden());
    EXPECT_TRUE(button->isHidden());
    EXPECT_EQ(w.frameGeometry().top(), main.w.frameGeometry().top() + 50);
    EXPECT_NEAR(w.frameGeometry().center().x(), main.w.frameGeometry().center().x(), 1);

    // The scan inside the analysis: text mode with the button, one level deeper.
    w.StartProgressText("Reading base folders", true, "Building File List");
    w.SetButtonCaption("Cancel");
    EXPECT_EQ(TFProgress::Nesting(), 2);
    EXPECT_EQ(w.windowTitle(), "Building File List");
    EXPECT_TRUE(bar->isHidden());
    EXPECT_EQ(label->text(), "Reading base folders");
    EXPECT_EQ(button->text(), "Cancel");
    EXPECT_FALSE(button->isHidden());
    EXPECT_EQ(w.height(), button->geometry().bottom() + 1 + 6);
    EXPECT_GE(button->geometry().top(), label->geometry().bottom());

    w.EndProgress();
    EXPECT_TRUE(w.isVisible());
    EXPECT_FALSE(main.w.isEnabled());
    w.EndProgress();
    EXPECT_FALSE(w.isVisible());
    EXPECT_EQ(TFProgress::Nesting(), 0);
    EXPECT_TRUE(main.w.isEnabled());

    // A window that was disabled before stays disabled afterwards; an extra EndProgress
    // does not unbalance the next use.
    main.w.setEnabled(false);
    w.StartProgress(5, false);
    w.EndProgress();
    w.EndProgress();
    EXPECT_FALSE(main.w.isEnabled());
    EXPECT_EQ(TFProgress::Nesting(), 0);
    main.w.setEnabled(true);
    w.StartProgress(5, false);
    w.StartProgress(5, false);
    w.EndProgress();
    EXPECT_TRUE(w.isVisible());
    w.EndProgress();
    EXPECT_FALSE(w.isVisible());

    // The main window's English texts.
    w.SetEnglishTexts();
    EXPECT_EQ(w.windowTitle(), "Progress");
    EXPECT_EQ(button->text(), "Cancel");
}

TEST(ProgressWindow, CancelMakesSetProgressFalseUntilTheNextStart) {
    ActiveWindow main;
    TFProgress& w = Progress();
    auto* bar = Child<QProgressBar>(&w, "ProgressBar1");
    auto* button = Child<QPushButton>(&w, "btCancel");

    w.StartProgress(1000, true);
    EXPECT_EQ(w.height(), button->geometry().bottom() + 1 + 6);
    EXPECT_TRUE(w.SetProgress(500));
    w.Refresh();
    EXPECT_EQ(bar->value() * 2, bar->maximum());
    QTest::mouseClick(button, Qt::LeftButton);
    EXPECT_TRUE(w.Cancelled);
    EXPECT_FALSE(w.SetProgress(600));
    EXPECT_TRUE(w.isVisible()) << "the caller decides when the window goes";

    // Each start clears the flag; Escape and the title bar's close act as the button.
    w.StartProgress(2'000'000'000'000LL, true);
    EXPECT_TRUE(w.SetProgress(1'000'000'000'000LL));
    w.Refresh();
    EXPECT_NEAR(bar->value() * 2, bar->maximum(), 2);
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_FALSE(w.SetProgress(1));
    EXPECT_TRUE(w.isVisible());
    w.StartProgress(10, true);
    CloseByTitleBar(w);
    EXPECT_TRUE(w.Cancelled);
    EXPECT_TRUE(w.isVisible());
    w.EndProgress();
    w.EndProgress();
    w.EndProgress();
    EXPECT_FALSE(w.isVisible());
    EXPECT_TRUE(main.w.isEnabled());

    // SetProgress on the hidden window starts a bar of the remembered maximum without the
    // button.
    EXPECT_TRUE(w.SetProgress(4));
    EXPECT_TRUE(w.isVisible());
    EXPECT_EQ(TFProgress::Nesting(), 1);
    EXPECT_TRUE(button->isHidden());
    EXPECT_EQ(w.height(), 57);
    w.EndProgress();
    EXPECT_FALSE(w.isVisible());
}

TEST(ProgressWindow, TextModeGrowsToItsTextAndShortensLongFolderNames) {
    ActiveWindow main;
    TFProgress& w = Progress();
    auto* label = Child<QLabel>(&w, "Label1");

    const QString wide = "Listing the base folders of the profile \"A rather long profile name\""
                         " on both sides";
    w.StartProgressText((wide + "\nsecond line\nthird line").toStdString(), false, "Listing");
    EXPECT_GT(w.width(), 424);
    EXPECT_LE(label->geometry().right() + 1 + 5, w.width());
    EXPECT_LE(label->geometry().bottom() + 1 + 5, w.height());
    EXPECT_GE(label->height(), 3 * label->fontMetrics().height());
    EXPECT_EQ(label->text(), wide + "\nsecond line\nthird line");

    // Later texts keep the window's size; a long folder is shortened in the middle.
    const QSize size = w.size();
    const std::string folder = "/" + std::string(60, 'a') + "/" + std::string(60, 'b') + "/tail";
    w.ShowProgressText(folder, true, "Listing");
    w.Refresh();
    EXPECT_EQ(w.size(), size);
    EXPECT_EQ(w.Label1Text(), QString::fromStdString(folder));
    EXPECT_NE(label->text(), QString::fromStdString(folder));
    EXPECT_TRUE(label->text().endsWith("/tail"));
    EXPECT_EQ(label->toolTip(), QString::fromStdString(folder));
    w.EndProgress();

    // Shown anew, a short text keeps the design size.
    w.StartProgressText("Sorting", false, "Building File List");
    EXPECT_EQ(w.size(), QSize(424, 57));
    w.EndProgress();
    EXPECT_TRUE(main.w.isEnabled());
}

TEST(CopyingResultWindow, SizesFollowTheListOfFailedFiles) {
    TFCopyingResult* w = TFCopyingResult::Instance();
    ASSERT_NE(w, nullptr);
    auto* ok = Child<QPushButton>(w, "btOK");
    auto* list = Child<QPlainTextEdit>(w, "RichEdit1");
    auto* listCaption = Child<QLabel>(w, "Label1");

    tCopyingResult r;
    r.lbAddedL = "2 (1.5kB)";
    r.lbAddedR = "7 (3.2MB)";
    r.lbFoldersCreatedR = "1";
    r.lbRenamedVisible = true;
    r.lbFilesRenamedR = "4";
    struct Seen {
        QSize Size;
        QRect Ok, List, Screen, Frame;
        bool ListShown = false, DeletedShown = true, RenamedShown = false, RemovedShown = true;
        QString RenamedCaption, Lines;
    };
    auto look = [&](Seen& seen) {
        QTimer::singleShot(50, [&] {
            seen.Size = w->size();
            seen.Ok = ok->geometry();
            seen.List = list->geometry();
            seen.ListShown = list->isVisible() && listCaption->isVisible();
            seen.DeletedShown = Child<QLabel>(w, "lbDeleted")->isVisible() ||
                                Child<QLabel>(w, "lbDeletedL")->isVisible();
            seen.RenamedShown = Child<QLabel>(w, "lbFilesRenamedR")->isVisible();
            seen.RemovedShown = Child<QLabel>(w, "lbFoldersRemoved")->isVisible();
            seen.RenamedCaption = Child<QLabel>(w, "lbRenamed")->text();
            seen.Lines = list->toPlainText();
            seen.Frame = w->frameGeometry();
            seen.Screen = w->screen()->availableGeometry();
            ok->click();
        });
    };

    Seen plain;
    look(plain);
    w->ShowResult(r);
    EXPECT_EQ(plain.Size.width(), 328);
    EXPECT_EQ(plain.Size.height(), plain.Ok.bottom() + 1 + 6);
    EXPECT_FALSE(plain.ListShown);
    EXPECT_FALSE(plain.DeletedShown);
    EXPECT_FALSE(plain.RemovedShown);
    EXPECT_TRUE(plain.RenamedShown);
    EXPECT_EQ(plain.RenamedCaption, "Renamed (older versions):");
    EXPECT_NEAR(plain.Frame.center().x(), plain.Screen.center().x(), 2);
    EXPECT_NEAR(plain.Frame.center().y(), plain.Screen.center().y(), 2);
    EXPECT_EQ(Child<QLabel>(w, "lbAddedR")->text(), "7 (3.2MB)");

    r.RichEdit1 = {"/sub/a.txt (error 13)", "/b.txt (access problem)"};
    r.lbDeletedVisible = true;
    r.lbDeletedR = "1 (10B)";
    Seen failed;
    look(failed);
    w->ShowResult(r);
    EXPECT_EQ(failed.Size.width(), 490);
    EXPECT_EQ(failed.Size.height(), failed.List.bottom() + 1 + 6);
    EXPECT_TRUE(failed.ListShown);
    EXPECT_GT(failed.List.top(), failed.Ok.bottom());
    EXPECT_TRUE(failed.DeletedShown);
    EXPECT_EQ(failed.Lines, "/sub/a.txt (error 13)\n/b.txt (access problem)");
    EXPECT_TRUE(list->isReadOnly());
}

TEST(CopyingResultWindow, SideColoursStayReadableOnADarkPalette) {
    QPalette light;
    light.setColor(QPalette::Window, QColor(240, 240, 240));
    EXPECT_EQ(SideColour(true, light), QColor(0x80, 0, 0));
    EXPECT_EQ(SideColour(false, light), QColor(0, 0, 0x80));

    QPalette dark;
    dark.setColor(QPalette::Window, QColor(40, 40, 44));
    for (bool left : {true, false}) {
        const QColor c = SideColour(left, dark);
        EXPECT_GE(c.lightness(), 160) << left;
        EXPECT_EQ(c.hslHue(), left ? 0 : 240);
    }

    TFCopyingResult* w = TFCopyingResult::Instance();
    w->setPalette(dark);
    EXPECT_EQ(Child<QLabel>(w, "lbMovedL")->palette().color(QPalette::WindowText),
              SideColour(true, dark));
    EXPECT_EQ(Child<QLabel>(w, "LMDSimpleLabel2")->palette().color(QPalette::WindowText),
              SideColour(false, dark));
    w->setPalette(QPalette());
}

TEST(CopyingStatusWindow, ShowsTheRecordAndAsksBeforeCancelling) {
    tProfile profile;
    profile.Name = "db";
    profile.Database = true;
    tCopyingStatus s;
    s.Profile = &profile;
    s.lbCopying = "Copying big.bin";
    s.lbFileNumber = "File #1 of 3";
    s.lbFromDir = "/home/user/" + std::string(80, 'x') + "/photos";
    s.lbToDir = "/media/backup";
    s.pbFileNumberMax = 3;
    s.AccessGroupVisible = true;
    s.Memo1 = {"/home/user/mail.db"};
    s.DatabaseModeOffVisible = s.DatabaseModeOffEnabled = true;

    TFCopyingStatus w(s);
    w.ShowWindow();
    ASSERT_TRUE(QTest::qWaitForWindowExposed(&w));
    EXPECT_EQ(w.windowTitle(), "Copying Progress");
    EXPECT_GE(w.width(), 387);
    EXPECT_GE(w.height(), 236);
    EXPECT_EQ(w.minimumSize(), w.maximumSize());
    auto* from = Child<QLabel>(&w, "lbFromDir");
    EXPECT_TRUE(from->text().endsWith("/photos")) << from->text().toStdString();
    EXPECT_LT(from->text().size(), static_cast<qsizetype>(s.lbFromDir.size()));
    EXPECT_EQ(from->toolTip().toStdString(), s.lbFromDir);
    EXPECT_EQ(Child<QLabel>(&w, "Label2")->buddy(), from);
    EXPECT_TRUE(Child<QLabel>(&w, "lbCopying")->font().bold());
    EXPECT_TRUE(Child<QLabel>(&w, "lbBytes")->isHidden());
    EXPECT_TRUE(Child<QProgressBar>(&w, "pbBytes")->isHidden());
    EXPECT_TRUE(Child<QGroupBox>(&w, "GroupBox1")->isVisible());
    EXPECT_EQ(Child<QPlainTextEdit>(&w, "Memo1")->toPlainText(), "/home/user/mail.db");

    // A large file: the byte row appears without changing the window's size.
    const QSize size = w.size();
    s.BytesVisible = true;
    s.lbBytes = "1.000 MB of 64.000 MB";
    s.pbBytesMax = 67108;
    s.pbBytesPosition = 1048;
    s.pbFileNumberPosition = 1;
    s.Memo1.push_back("/home/user/calendar.db");
    // The run's figures arrive in the room kept for them, whole, beside nothing else.
    auto* figures = Child<QLabel>(&w, "lbFigures");
    EXPECT_TRUE(figures->text().isEmpty());
    s.lbFigures = "1,023.999 MB of 3,400.000 GB, 1,234,567 of 2,000,000 files, 999.9 MB/s, "
                  "123 h 59 min left";
    w.ShowStatus();
    EXPECT_EQ(QString(figures->text()).replace(QChar(0x00A0), ' ').remove(QChar(0x2060)).toStdString(),
              s.lbFigures);
    EXPECT_TRUE(figures->isVisible());
    const QRect needed = figures->fontMetrics().boundingRect(
        QRect(0, 0, figures->contentsRect().width(), 10000), Qt::TextWordWrap, figures->text());
    EXPECT_LE(needed.height(), figures->contentsRect().height()) << "the figures are cut off";
    EXPECT_LE(needed.width(), figures->contentsRect().width());
    for (const char* other : {"pbFileNumber", "lbFileNumber", "Label2", "lbFromDir", "lbBytes"})
        EXPECT_FALSE(figures->geometry().intersects(Child<QWidget>(&w, other)->geometry()))
            << other;
    // Lines break between the figures, never inside one ("7 min" / "30 s left"), whatever
    // their lengths.
    for (const char* more : {"", "9", "99 999", "9,999.999 kB of 9,999", "1 234 567 of", "99",
                             "9,999", "99,999.999 kB of", "9,999,999 of 99"}) {
        s.lbFigures = std::string(more) + " 1.201 GB of 3400.000 GB, 1,250 of 20,000 files, " +
                      "41.0 MB/s, 7 min 30 s left";
        w.ShowStatus();
        QTextLayout layout(figures->text(), figures->font());
        QTextOption wrap;
        wrap.setWrapMode(QTextOption::WordWrap);
        layout.setTextOption(wrap);
        layout.beginLayout();
        QStringList lines;
        for (QTextLine line = layout.createLine(); line.isValid(); line = layout.createLine()) {
            line.setLineWidth(figures->contentsRect().width());
            lines << figures->text().mid(line.textStart(), line.textLength()).trimmed();
        }
        layout.endLayout();
        EXPECT_LE(lines.size(), 2);
        for (qsizetype i = 0; i + 1 < lines.size(); ++i)
            EXPECT_TRUE(lines[i].endsWith(',')) << lines.join('|').toStdString();
    }
    EXPECT_FALSE(Child<QLabel>(&w, "lbBytes")->isHidden());
    EXPECT_EQ(Child<QLabel>(&w, "lbBytes")->text(), "1.000 MB of 64.000 MB");
    EXPECT_EQ(Child<QProgressBar>(&w, "pbBytes")->value(), 1048);
    EXPECT_EQ(Child<QProgressBar>(&w, "pbFileNumber")->value(), 1);
    EXPECT_EQ(Child<QPlainTextEdit>(&w, "Memo1")->toPlainText(),
              "/home/user/mail.db\n/home/user/calendar.db");
    EXPECT_EQ(w.size(), size);

    // Cancel asks; No goes on, Yes sets the flag. Escape and the title bar ask the same.
    auto button1 = Child<QPushButton>(&w, "Button1");
    auto asked = std::make_shared<QStringList>();
    auto answer = AnswerNextQuestion("No", asked);
    button1->click();
    EXPECT_FALSE(s.Cancelled);
    EXPECT_TRUE(asked->contains("Are you sure to abort the operation?"))
        << asked->join("|").toStdString();
    answer = AnswerNextQuestion("Yes");
    button1->click();
    EXPECT_TRUE(s.Cancelled);
    s.Cancelled = false;
    answer = AnswerNextQuestion("Yes");
    CloseByTitleBar(w);
    EXPECT_TRUE(s.Cancelled);
    EXPECT_TRUE(w.isVisible()) << "the run closes the window when it has stopped";
    s.Cancelled = false;
    answer = AnswerNextQuestion("Yes");
    QTest::keyClick(&w, Qt::Key_Escape);
    EXPECT_TRUE(s.Cancelled);

    // Database-safe mode off: the profile's flag, the main window's hook, the button.
    std::string refreshed;
    TFCopyingStatus::DatabaseModeSwitchedOff() = [&](tProfile& p) { refreshed = p.Name; };
    auto* dbOff = Child<QPushButton>(&w, "btDatabaseModeOff");
    EXPECT_EQ(dbOff->text(), "Turn Off Database-Safe Mode For This Profile");
    ASSERT_TRUE(dbOff->isEnabled());
    dbOff->click();
    EXPECT_FALSE(profile.Database);
    EXPECT_EQ(refreshed, "db");
    EXPECT_FALSE(dbOff->isEnabled());
    w.ShowStatus();
    EXPECT_FALSE(dbOff->isEnabled());
    TFCopyingStatus::DatabaseModeSwitchedOff() = nullptr;
}

TEST(CopyingStatusWindow, ShownModallyCancelOnlyCloses) {
    tCopyingStatus s;
    s.Cancelled = true;
    TFCopyingStatus w(s);
    auto asked = std::make_shared<QStringList>();
    auto answer = AnswerNextQuestion("Yes", asked); // a question would be answered, and noticed
    QTimer::singleShot(50, [&] { Child<QPushButton>(&w, "Button1")->click(); });
    EXPECT_EQ(w.exec(), QDialog::Rejected);
    EXPECT_FALSE(s.Cancelled);
    EXPECT_FALSE(w.isVisible());
    QTest::qWait(30);
    EXPECT_TRUE(asked->isEmpty());
}

// A real unattended run with windows through the Qt port: the scan and plan under the
// progress window, then the copy of a 64 MiB file in 1 KiB chunks, cancelled from the
// copying status window while it is under way.
TEST(QtPortRun, CancelDuringALargeCopyKeepsTheOldFileWhole) {
    test::TempTree tree;
    tPreferences store{tree.Path("prefs.ini")};
    SetPrefStore(&store);
    RunSettings() = tMainSettings{};
    RunSettings().BufSizeKB = 1;
    ClearRightListCache();

    std::string big(64 << 20, '\0');
    for (size_t i = 0; i < big.size(); ++i)
        big[i] = static_cast<char>('a' + (i * 7919) % 26);
    tree.MakeFolder("L");
    tree.MakeFolder("R");
    { std::ofstream(tree.Path("L/big.bin"), std::ios::binary) << big; }
    tree.SetTime("L/big.bin", 1700000000);
    tree.WriteFile("L/a.txt", "small one", 1700000000);
    tree.WriteFile("R/big.bin", "the old contents", 1600000000);

    tProfile p;
    SetInitialValues(p);
    p.Name = "cancel";
    p.LeftPath = tree.Path("L");
    p.RightPath = tree.Path("R");
    p.MultipleVersions = false;

    TQtPort port;
    SetUiPort(&port);
    ActiveWindow main;
    bool clicked = false;
    std::unique_ptr<QTimer> answer;
    ShowCounter progressShown;
    TFProgress::Instance()->installEventFilter(&progressShown);
    QTimer watch;
    watch.setInterval(2);
    QObject::connect(&watch, &QTimer::timeout, [&] {
        for (QWidget* top : QApplication::topLevelWidgets()) {
            if (top->objectName() != "FCopyingStatus" || !top->isVisible()) continue;
            auto* bytes = top->findChild<QLabel*>("lbBytes");
            if (!bytes || bytes->isHidden() || clicked) continue;
            clicked = true;
            answer = AnswerNextQuestion("Yes");
            top->findChild<QPushButton*>("Button1")->click();
        }
    });
    watch.start();
    EXPECT_TRUE(RunProfile(p, true));
    watch.stop();
    SetUiPort(nullptr);
    SetPrefStore(nullptr);

    EXPECT_TRUE(clicked);
    TFProgress::Instance()->removeEventFilter(&progressShown);
    EXPECT_GE(progressShown.Shown, 1);
    EXPECT_EQ(tree.ReadFile("R/big.bin"), "the old contents");
    EXPECT_EQ(tree.Time("R/big.bin"), 1600000000);
    EXPECT_EQ(tree.ReadFile("R/a.txt"), "small one");
    // Nothing but the two files: no copy-temporary file is left behind.
    EXPECT_EQ(tree.List("R"), (std::vector<std::string>{"a.txt", "big.bin"}));
    EXPECT_EQ(p.LastRunResult, "1 copied");
    EXPECT_EQ(TFProgress::Nesting(), 0);
    EXPECT_FALSE(TFProgress::Existing()->isVisible());
    EXPECT_TRUE(main.w.isEnabled());
    for (QWidget* top : QApplication::topLevelWidgets())
        EXPECT_FALSE(top->objectName() == "FCopyingStatus" && top->isVisible());
}

// Last: after the window is gone, the progress operations do nothing.
TEST(ProgressWindowGone, CallsAfterItsDestructionAreIgnored) {
    delete TFProgress::Instance();
    EXPECT_TRUE(TFProgress::Destroyed());
    EXPECT_EQ(TFProgress::Instance(), nullptr);
    TQtPort port;
    port.StartProgress(10, true);
    EXPECT_TRUE(port.SetProgress(5));
    EXPECT_FALSE(port.ProgressVisible());
    port.EndProgress();
}
