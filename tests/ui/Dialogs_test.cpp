// The dialogs: message wrapping, the decision, choice and file-choice dialogs and the text
// input dialog with its history, each answered as a user would answer it.
#include "engine/UiPort.h"
#include "ui/Choice.h"
#include "ui/Decision.h"
#include "ui/Dialogs.h"
#include "ui/GetInput.h"
#include "ui/InfoChoice.h"
#include "ui/Progress.h"

#include <QApplication>
#include <QComboBox>
#include <QFile>
#include <QGroupBox>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QRadioButton>
#include <QScreen>
#include <QTest>
#include <QTimer>
#include <functional>

#include <gtest/gtest.h>

using corvane::tFileChoice;

// Readable failure messages for texts.
QT_BEGIN_NAMESPACE
inline void PrintTo(const QString& s, std::ostream* os) {
    *os << '"' << s.toStdString() << '"';
}
QT_END_NAMESPACE
using namespace corvane::gui;

namespace {

// Runs answer on the next modal dialog once it is shown (retrying until it appears).
void WhenModal(std::function<void(QWidget&)> answer, QWidget* notThis = nullptr) {
    QTimer::singleShot(10, [answer, notThis] {
        QWidget* modal = QApplication::activeModalWidget();
        if (!modal || modal == notThis || !modal->isVisible()) return WhenModal(answer, notThis);
        answer(*modal);
    });
}

template <class T> T& Child(QWidget& w, const char* name) {
    T* child = w.findChild<T*>(name);
    if (!child) throw std::runtime_error(std::string("no child ") + name);
    return *child;
}

QStringList RadioTexts(QWidget& dialog) {
    QStringList texts;
    for (auto* b : Child<QGroupBox>(dialog, "rgChoice").findChildren<QRadioButton*>())
        texts << b->text();
    return texts;
}

QRadioButton& Radio(QWidget& dialog, int index) {
    return *Child<QGroupBox>(dialog, "rgChoice").findChildren<QRadioButton*>().at(index);
}

// The windows made once per process go before the application object does.
struct ReleaseLongLivedDialogs : ::testing::Environment {
    void TearDown() override {
        delete TFChoice::Instance();
        delete TFInfoChoice::Instance();
        delete TFProgress::Instance();
    }
};
const auto* const releaseDialogs = ::testing::AddGlobalTestEnvironment(new ReleaseLongLivedDialogs);

struct Dialogs : ::testing::Test {
    Dialogs() { SetEnglishDialogTexts(); }
};

} // namespace

TEST(WrapMessage, BreaksLongLinesAtBlanksOrAfter64AndKeepsEveryCharacter) {
    // 150 characters without a blank: 64, 64 and 22.
    QString solid;
    for (int i = 0; i < 150; ++i)
        solid += QChar('a' + i % 26);
    const QStringList three = WrapMessage(solid).split("\r\n");
    ASSERT_EQ(three.size(), 3);
    EXPECT_EQ(three[0].size(), 64);
    EXPECT_EQ(three[1].size(), 64);
    EXPECT_EQ(three[2].size(), 22);
    EXPECT_EQ(three.join(""), solid);

    // Up to 60 characters stay one line; a longer one breaks at its last blank within 70
    // characters, and the blank is gone.
    const QString sixty(60, 'x');
    EXPECT_EQ(WrapMessage(sixty), sixty);
    const QString words = QString(50, 'a') + " " + QString(15, 'b') + " " + QString(20, 'c');
    EXPECT_EQ(WrapMessage(words),
              QString(50, 'a') + " " + QString(15, 'b') + "\r\n" + QString(20, 'c'));
    // A blank beyond character 70 does not count: hard break after 64.
    const QString late = QString(75, 'd') + " e";
    EXPECT_EQ(WrapMessage(late), QString(64, 'd') + "\r\n" + QString(11, 'd') + " e");

    // Carriage returns end lines; the line feed after one is dropped, empty lines stay.
    EXPECT_EQ(WrapMessage("one\r\ntwo\r\n\r\nfour"), "one\r\ntwo\r\n\r\nfour");
    EXPECT_EQ(WrapMessage("one\rtwo"), "one\r\ntwo");
    // A line feed on its own ends a line too.
    EXPECT_EQ(WrapMessage("one\ntwo"), "one\r\ntwo");
    // The break is the last blank within 70 characters; a blank right after it goes too.
    EXPECT_EQ(WrapMessage(QString(62, 'f') + "  g"), QString(62, 'f') + " \r\ng");
    EXPECT_EQ(WrapMessage(QString(69, 'f') + "  g"), QString(69, 'f') + "\r\ng");
    EXPECT_EQ(WrapMessage(""), "");
}

TEST_F(Dialogs, MessageBoxesShowWrappedTextUnderTheProductName) {
    QString caption, text;
    WhenModal([&](QWidget& w) {
        auto& box = static_cast<QMessageBox&>(w);
        caption = box.windowTitle();
        text = box.text();
        box.button(QMessageBox::Ok)->click();
    });
    ShowInfo(std::string(100, 'z'));
    EXPECT_EQ(caption, "Corvane");
    EXPECT_EQ(text, QString(64, 'z') + "\n" + QString(36, 'z'));

    WhenModal([](QWidget& w) { static_cast<QMessageBox&>(w).button(QMessageBox::Yes)->click(); });
    EXPECT_TRUE(AskQuestion("Are you sure to abort the operation?"));
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_FALSE(AskQuestion("Are you sure to abort the operation?"));
}

TEST_F(Dialogs, DecisionAnswersYesNoCancelAndEscape) {
    // Enter presses the default button: Yes when asked so, else No.
    bool cancelShown = true;
    QString title, question, focused;
    WhenModal([&](QWidget& w) {
        title = w.windowTitle();
        question = Child<QLabel>(w, "Label1").text();
        cancelShown = Child<QPushButton>(w, "btCancel").isVisible();
        focused = w.focusWidget() ? w.focusWidget()->objectName() : "";
        QTest::keyClick(&w, Qt::Key_Return);
    });
    EXPECT_EQ(AskDecision("Overwrite the file?", true, false, "Corvane"), 1);
    EXPECT_EQ(title, "Corvane");
    EXPECT_EQ(question, "Overwrite the file?");
    EXPECT_FALSE(cancelShown);
    EXPECT_EQ(focused, "btJa");

    WhenModal([&](QWidget& w) {
        focused = w.focusWidget() ? w.focusWidget()->objectName() : "";
        QTest::keyClick(&w, Qt::Key_Return);
    });
    EXPECT_EQ(AskDecision("Overwrite the file?", false, true, "Corvane"), 0);
    EXPECT_EQ(focused, "btNein");

    // Escape cancels when Cancel is offered, and answers No when it is not.
    QString cancelCaption;
    WhenModal([&](QWidget& w) {
        cancelCaption = Child<QPushButton>(w, "btCancel").text();
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(AskDecision("Go on?", true, true, "Corvane"), -1);
    EXPECT_EQ(cancelCaption, "&Cancel");
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_EQ(AskDecision("Go on?", true, false, "Corvane"), 0);

    // The buttons by click, and "Esc=Ende" naming the cancel button "Ende".
    WhenModal([](QWidget& w) { Child<QPushButton>(w, "btNein").click(); });
    EXPECT_EQ(AskDecision("Go on?", true, true, "Corvane"), 0);
    WhenModal([&](QWidget& w) {
        auto& cancel = Child<QPushButton>(w, "btCancel");
        cancelCaption = cancel.text();
        cancel.click();
    });
    EXPECT_EQ(AskDecision("Retry? (Esc=Ende)", true, true, "Corvane"), -1);
    EXPECT_EQ(cancelCaption, "Ende");
    WhenModal([](QWidget& w) { Child<QPushButton>(w, "btJa").click(); });
    EXPECT_EQ(AskDecision("Retry? (Esc=Ende)", false, true, "Corvane"), 1);
}

TEST_F(Dialogs, DecisionGrowsForLongQuestionsStaysOnScreenAndBelowTheProgressWindow) {
    const QRect screen = QGuiApplication::primaryScreen()->availableGeometry();
    TFProgress* progress = TFProgress::Instance();
    ASSERT_NE(progress, nullptr);
    progress->setGeometry(screen.center().x() - 200, screen.center().y() - 60, 400, 60);
    progress->show();

    const std::string longName = "/media/backup/" + std::string(400, 'n') + ".doc";
    QRect shown, label;
    QString text;
    WhenModal([&](QWidget& w) {
        shown = w.frameGeometry();
        auto& l = Child<QLabel>(w, "Label1");
        text = l.text();
        label = QRect(l.mapTo(&w, QPoint(0, 0)), l.size());
        Child<QPushButton>(w, "btJa").click();
    });
    EXPECT_EQ(
        AskDecision("Delete " + longName + "?\nThe file will be lost.", false, true, "Corvane"), 1);
    progress->hide();

    // Every character is shown, on lines the screen can hold, inside the window.
    EXPECT_EQ(QString(text).remove('\n').remove(' '),
              QString::fromStdString("Delete" + longName + "?Thefilewillbelost."));
    EXPECT_TRUE(screen.contains(shown)) << shown.x() << "," << shown.y() << " " << shown.width();
    EXPECT_LE(label.right(), shown.width());
    EXPECT_GE(shown.top(), progress->geometry().bottom() + 10);

    // The placement rule on its own: below the progress window, then kept on the screen.
    const QRect owner(100, 100, 600, 400);
    EXPECT_EQ(DialogPlacement({200, 100}, owner, std::nullopt, screen).center(), owner.center());
    EXPECT_EQ(DialogPlacement({200, 100}, owner, QRect(200, 300, 300, 50), screen).top(), 360);
    EXPECT_EQ(DialogPlacement({200, 100}, owner, QRect(200, 100, 300, 50), screen).top(), 250);
    EXPECT_EQ(
        DialogPlacement({200, 100}, owner, QRect(0, 0, 300, screen.height() - 20), screen).bottom(),
        screen.bottom());
}

TEST_F(Dialogs, DecisionFallbackMessageBoxMapsItsButtons) {
    EXPECT_FALSE(UseStandardDecisionBox());
    QString caption;
    WhenModal([&](QWidget& w) {
        caption = w.windowTitle();
        static_cast<QMessageBox&>(w).button(QMessageBox::Cancel)->click();
    });
    EXPECT_EQ(AskDecisionWithMessageBox("Go on?", true, true), -1);
    EXPECT_EQ(caption, "Frage");
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Return); });
    EXPECT_EQ(AskDecisionWithMessageBox("Go on?", true, false), 1);
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Return); });
    EXPECT_EQ(AskDecisionWithMessageBox("Go on?", false, true), 0);
}

TEST_F(Dialogs, ChooseOptionReturnsTheChosenNumberOrZero) {
    const std::vector<std::string> options = {"Delete on the left", "Delete on the right",
                                              "Delete on both sides"};
    QStringList shown;
    QString caption, group, message;
    bool preselected = false;
    WhenModal([&](QWidget& w) {
        shown = RadioTexts(w);
        caption = w.windowTitle();
        group = Child<QGroupBox>(w, "rgChoice").title();
        message = Child<QLabel>(w, "lbMessage").text();
        preselected = Radio(w, 1).isChecked();
        Radio(w, 2).click();
        Child<QPushButton>(w, "BitBtn1").click();
    });
    EXPECT_EQ(ChooseOption("Delete 3 files?", options, 2), 3);
    EXPECT_EQ(shown,
              QStringList({"Delete on the left", "Delete on the right", "Delete on both sides"}));
    EXPECT_EQ(caption, "Corvane");
    EXPECT_EQ(group, " Choices ");
    EXPECT_EQ(message, "Delete 3 files?");
    EXPECT_TRUE(preselected);

    // Enter takes the preselection; Cancel and Escape give 0; fewer options rebuild the list.
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Return); });
    EXPECT_EQ(ChooseOption("Which?", {"one", "two"}, 2), 2);
    WhenModal([](QWidget& w) { Child<QPushButton>(w, "BitBtn2").click(); });
    EXPECT_EQ(ChooseOption("Which?", {"one", "two"}, 1), 0);
    WhenModal([&](QWidget& w) {
        shown = RadioTexts(w);
        QTest::keyClick(&w, Qt::Key_Escape);
    });
    EXPECT_EQ(ChooseOption("Which?", {"only"}, 1), 0);
    EXPECT_EQ(shown, QStringList({"only"}));

    // Without a preselection OK waits for a choice.
    bool okEnabled = true;
    WhenModal([&](QWidget& w) {
        okEnabled = Child<QPushButton>(w, "BitBtn1").isEnabled();
        Radio(w, 0).click();
        Child<QPushButton>(w, "BitBtn1").click();
    });
    EXPECT_EQ(ChooseOption("Which?", {"one", "two"}, 0), 1);
    EXPECT_FALSE(okEnabled);
}

TEST_F(Dialogs, ChooseWithFileInfoShowsBothFilesAndElidesLongNames) {
    tFileChoice choice;
    choice.Message = "Destination File is Newer.";
    choice.Options = {"Do not overwrite this file", "Overwrite this file",
                      "Do not overwrite any Newer files", "Overwrite all Newer files"};
    choice.SourceName = "/home/ann/Photos/beach \xe9t\xe9.jpg"; // Latin-1 bytes in the name
    choice.SourceSize = "2.312 MB";
    choice.SourceDate = "08.12.2026 14:05:33";
    choice.DestName = "/media/backup/" + std::string(300, 'p') + "/beach.jpg";
    choice.DestSize = "2.100 MB";
    choice.DestDate = "09.12.2026 08:00:00";

    QStringList texts, options;
    QString destTip, destShown;
    QList<QRadioButton*> firstButtons;
    bool bold = false;
    QRect window;
    WhenModal([&](QWidget& w) {
        for (const char* name : {"lbSourceFile", "lbSourceFilename", "lbSourceSize", "lbSourceDate",
                                 "lbDestFile", "lbDestSize", "lbDestDate"})
            texts << Child<QLabel>(w, name).text();
        destTip = Child<QLabel>(w, "lbDestFilename").toolTip();
        destShown = Child<QLabel>(w, "lbDestFilename").text();
        bold = Child<QLabel>(w, "lbMessage").font().bold();
        options = RadioTexts(w);
        firstButtons = Child<QGroupBox>(w, "rgChoice").findChildren<QRadioButton*>();
        window = w.frameGeometry();
        Radio(w, 3).click();
        Child<QPushButton>(w, "BitBtn1").click();
    });
    EXPECT_EQ(ChooseWithFileInfo(choice), 4);
    const QString source = QFile::decodeName(QByteArray::fromStdString(choice.SourceName));
    EXPECT_EQ(texts, QStringList({"Source File:", source, "2.312 MB", "08.12.2026 14:05:33",
                                  "Destination File:", "2.100 MB", "09.12.2026 08:00:00"}));
    EXPECT_EQ(destTip, QString::fromStdString(choice.DestName));
    EXPECT_TRUE(destShown.startsWith("/media/backup/"));
    EXPECT_TRUE(destShown.endsWith("/beach.jpg"));
    EXPECT_TRUE(destShown.contains(QChar(0x2026)));
    EXPECT_TRUE(bold);
    EXPECT_EQ(options.size(), 4);
    EXPECT_TRUE(QGuiApplication::primaryScreen()->availableGeometry().contains(window));

    // A delete confirmation: no source, same number of options replaced in place; Cancel 0.
    tFileChoice del = choice;
    del.Message = "Destination File is To Be Deleted.";
    del.Options = {"Do not delete this file", "Delete this file", "Do not delete any files",
                   "Delete all unneeded files (so that mirror matches model)"};
    del.SourceName.clear();
    QList<QRadioButton*> secondButtons;
    texts.clear();
    WhenModal([&](QWidget& w) {
        for (const char* name :
             {"lbSourceFile", "lbSourceFilename", "lbSourceSize", "lbSourceDate"})
            texts << Child<QLabel>(w, name).text();
        options = RadioTexts(w);
        secondButtons = Child<QGroupBox>(w, "rgChoice").findChildren<QRadioButton*>();
        Child<QPushButton>(w, "BitBtn2").click();
    });
    EXPECT_EQ(ChooseWithFileInfo(del), 0);
    EXPECT_EQ(texts, QStringList({"", "", "", ""}));
    EXPECT_EQ(options.last(), "Delete all unneeded files (so that mirror matches model)");
    EXPECT_EQ(secondButtons, firstButtons);
    EXPECT_FALSE(TFInfoChoice::Instance()->isVisible());
}

TEST_F(Dialogs, AskForTextOffersEarlierAnswersToTheSamePromptAndKeepsEachPairOnce) {
    const size_t before = InputHistory().Size();
    bool cancelled = true;
    QString caption, cancelCaption, prompt;
    bool passwordShown = true, noteShown = true;
    WhenModal([&](QWidget& w) {
        caption = w.windowTitle();
        cancelCaption = Child<QPushButton>(w, "Abbrechen").text();
        prompt = Child<QLabel>(w, "lbLabel").text();
        passwordShown = Child<QLineEdit>(w, "edPassword").isVisible();
        noteShown = Child<QLabel>(w, "Label1").isVisible();
        auto& edit = Child<QComboBox>(w, "edEdit");
        edit.lineEdit()->selectAll();
        QTest::keyClicks(edit.lineEdit(), "Photos & Music");
        QTest::keyClick(&w, Qt::Key_Return);
    });
    EXPECT_EQ(AskForText("New profile name:", 0, cancelled, "Profile", ""), "Photos & Music");
    EXPECT_FALSE(cancelled);
    EXPECT_EQ(caption, "Please specify:");
    EXPECT_EQ(cancelCaption, "&Cancel");
    EXPECT_EQ(prompt, "New profile name:");
    EXPECT_FALSE(passwordShown);
    EXPECT_FALSE(noteShown);
    EXPECT_EQ(InputHistory().Size(), before + 1);

    // The same prompt offers the answer; the default text stays in the field; giving the
    // same answer again keeps one pair.
    QStringList offered;
    QString field, note;
    WhenModal([&](QWidget& w) {
        auto& edit = Child<QComboBox>(w, "edEdit");
        for (int i = 0; i < edit.count(); ++i)
            offered << edit.itemText(i);
        field = edit.currentText();
        note = Child<QLabel>(w, "Label1").isVisible() ? Child<QLabel>(w, "Label1").text() : "";
        edit.setCurrentIndex(0);
        Child<QPushButton>(w, "OK").click();
    });
    EXPECT_EQ(AskForText("New profile name:", 0, cancelled, "Backup", "Names are unique."),
              "Photos & Music");
    EXPECT_EQ(offered, QStringList({"Photos & Music"}));
    EXPECT_EQ(field, "Backup");
    EXPECT_EQ(note, "Names are unique.");
    EXPECT_EQ(InputHistory().Size(), before + 1);

    // Another prompt offers nothing; the maximum length holds; Cancel gives "" and the flag.
    WhenModal([&](QWidget& w) {
        auto& edit = Child<QComboBox>(w, "edEdit");
        offered = {};
        for (int i = 0; i < edit.count(); ++i)
            offered << edit.itemText(i);
        edit.lineEdit()->clear();
        QTest::keyClicks(edit.lineEdit(), "abcdefghij");
        QTest::keyClick(&w, Qt::Key_Return);
    });
    EXPECT_EQ(AskForText("Rename to:", 4, cancelled, "", ""), "abcd");
    EXPECT_TRUE(offered.isEmpty());
    WhenModal([](QWidget& w) {
        QTest::keyClicks(Child<QComboBox>(w, "edEdit").lineEdit(), "typed");
        Child<QPushButton>(w, "Abbrechen").click();
    });
    EXPECT_EQ(AskForText("Rename to:", 0, cancelled, "old.txt", ""), "");
    EXPECT_TRUE(cancelled);
    WhenModal([](QWidget& w) { QTest::keyClick(&w, Qt::Key_Escape); });
    EXPECT_EQ(AskForText("Rename to:", 0, cancelled, "old.txt", ""), "");
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(InputHistory().AnswersFor("Rename to:"), QStringList({"abcd"}));

    // A file name that is not valid UTF-8 comes back as the bytes it was.
    const std::string latin1 = "caf\xe9.txt";
    WhenModal([](QWidget& w) { Child<QPushButton>(w, "OK").click(); });
    EXPECT_EQ(AskForText("Rename to:", 0, cancelled, latin1, ""),
              ToBytes(QFile::decodeName(QByteArray::fromStdString(latin1))));
}

TEST_F(Dialogs, CancelWithAnOverfullHistoryReportsTheBuffer) {
    tInputHistory saved = InputHistory();
    while (InputHistory().Size() <= TfGetInput::MaxHistory) {
        InputHistory().Prompts.push_back("p");
        InputHistory().Answers.push_back(QString::number(InputHistory().Size()));
    }
    QString reported;
    WhenModal([&](QWidget& input) {
        WhenModal(
            [&](QWidget& box) {
                reported = static_cast<QMessageBox&>(box).text();
                static_cast<QMessageBox&>(box).button(QMessageBox::Ok)->click();
            },
            &input);
        Child<QPushButton>(input, "Abbrechen").click();
    });
    bool cancelled = false;
    AskForText("Name:", 0, cancelled, "", "");
    EXPECT_TRUE(cancelled);
    EXPECT_EQ(reported, "Fehler im Puffer");
    InputHistory() = saved;
}

TEST(DialogTexts, DesignTextsAreGermanUntilSwitchedToEnglish) {
    const tDialogTexts design;
    EXPECT_EQ(design.Yes, "&Ja");
    EXPECT_EQ(design.Cancel, "&Abbrechen");
    EXPECT_EQ(design.InputTitle, "Bitte angeben:");
    EXPECT_EQ(design.ChoiceGroup, " Auswahl ");
    SetEnglishDialogTexts();
    TFDecision decision;
    decision.Prepare("Go on?", true, true, "Corvane");
    EXPECT_EQ(decision.btJa->text(), "&Yes");
    EXPECT_EQ(decision.btNein->text(), "&No");
    EXPECT_EQ(decision.btCancel->text(), "&Cancel");
    EXPECT_EQ(DialogTexts().ChoiceOk, "&OK");
    EXPECT_EQ(DialogTexts().ChoiceCaption, "Corvane");
}
