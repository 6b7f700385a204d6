#include "ui/Dialogs.h"

#include "ui/Choice.h"
#include "ui/Decision.h"
#include "ui/GetInput.h"
#include "ui/InfoChoice.h"
#include "ui/Progress.h"
#include "ui/SyncMain.h"

#include <QApplication>
#include <QFile>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScreen>
#include <QStringList>
#include <algorithm>

namespace corvane::gui {

namespace {

constexpr int kLongLine = 60;    // a longer line is broken
constexpr int kBlankWindow = 70; // the last blank among this many characters breaks it
constexpr int kHardBreak = 64;   // without a blank, this many characters make a line

// "\r\n" as the toolkit's labels want it: they break at "\n" and may draw "\r" as a box.
QString ForDisplay(QString text) {
    return text.replace(QStringLiteral("\r\n"), "\n");
}

QMessageBox::StandardButton MessageBox(QMessageBox::Icon icon, const QString& caption,
                                       const QString& text, QMessageBox::StandardButtons buttons,
                                       QMessageBox::StandardButton defaultButton) {
    QMessageBox box(icon, caption, ForDisplay(WrapMessage(text)), buttons, DialogOwner());
    box.setTextFormat(Qt::PlainText); // a file name with "<" is no markup
    box.setDefaultButton(defaultButton);
    return static_cast<QMessageBox::StandardButton>(box.exec());
}

QScreen* ScreenFor(const QWidget* widget) {
    QScreen* screen = widget ? widget->screen() : nullptr;
    return screen ? screen : QGuiApplication::primaryScreen();
}

} // namespace

QString WrapMessage(const QString& text) {
    QStringList lines;
    const qsizetype length = text.size();
    qsizetype pos = 0;
    while (pos < length) {
        qsizetype lineEnd = pos;
        while (lineEnd < length && text[lineEnd] != '\r' && text[lineEnd] != '\n')
            ++lineEnd;
        qsizetype breakAt = lineEnd; // end of this line: a break character, or length
        bool dropBreak = true;       // false after a hard break: no character to drop
        if (lineEnd - pos > kLongLine) {
            const qsizetype limit = std::min(pos + kBlankWindow, lineEnd);
            qsizetype blank = limit - 1;
            while (blank >= pos && text[blank] != ' ')
                --blank;
            if (blank >= pos) {
                breakAt = blank;
            } else {
                breakAt = pos + kHardBreak;
                dropBreak = false;
            }
        }
        lines << text.mid(pos, breakAt - pos);
        qsizetype next = breakAt;
        if (dropBreak && breakAt < length) {
            const QChar dropped = text[breakAt];
            next = breakAt + 1;
            if (dropped != '\n' && next < length && (text[next] == '\n' || text[next] == ' '))
                ++next;
        }
        pos = next;
    }
    return lines.join(QStringLiteral("\r\n"));
}

void ShowInfo(std::string_view text) {
    MessageBox(QMessageBox::Information, DialogTexts().MessageCaption, FromBytes(text),
               QMessageBox::Ok, QMessageBox::Ok);
}

bool AskQuestion(std::string_view text) {
    return MessageBox(QMessageBox::Question, DialogTexts().MessageCaption, FromBytes(text),
                      QMessageBox::Yes | QMessageBox::No, QMessageBox::Yes) == QMessageBox::Yes;
}

bool UseStandardDecisionBox() {
    return QCoreApplication::closingDown();
}

int AskDecisionWithMessageBox(std::string_view question, bool defaultYes, bool showCancel) {
    QMessageBox::StandardButtons buttons = QMessageBox::Yes | QMessageBox::No;
    if (showCancel) buttons |= QMessageBox::Cancel;
    const auto answer =
        MessageBox(QMessageBox::Question, QStringLiteral("Frage"), FromBytes(question), buttons,
                   defaultYes ? QMessageBox::Yes : QMessageBox::No);
    return answer == QMessageBox::Yes ? 1 : answer == QMessageBox::Cancel ? -1 : 0;
}

int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                std::string_view title) {
    if (UseStandardDecisionBox())
        return AskDecisionWithMessageBox(question, defaultYes, showCancel);
    TFDecision dialog(DialogOwner());
    dialog.Prepare(FromBytes(question), defaultYes, showCancel, FromBytes(title));
    dialog.exec();
    return dialog.Result();
}

int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                 int preselected) {
    TFChoice* dialog = TFChoice::Instance();
    if (!dialog) return 0;
    QStringList items;
    for (const auto& option : options)
        items << FromBytes(option);
    return dialog->Choose(FromBytes(message), items, preselected);
}

int ChooseWithFileInfo(const tFileChoice& choice) {
    TFInfoChoice* dialog = TFInfoChoice::Instance();
    return dialog ? dialog->ChooseWithFileInfo(choice) : 0;
}

std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                       std::string_view defaultText, std::string_view note) {
    TfGetInput dialog(DialogOwner());
    dialog.Prepare(FromBytes(prompt), maxLength, FromBytes(defaultText), FromBytes(note));
    dialog.exec();
    cancelled = !dialog.Accepted();
    return cancelled ? std::string() : ToBytes(dialog.Answer());
}

tDialogTexts& DialogTexts() {
    static tDialogTexts texts;
    return texts;
}

void SetEnglishDialogTexts() {
    tDialogTexts& t = DialogTexts();
    t.Yes = "&Yes";
    t.No = "&No";
    t.Cancel = "&Cancel";
    t.InputTitle = "Please specify:";
    t.InputCancel = "&Cancel";
    t.MessageCaption = "Corvane";
    t.ChoiceCaption = "Corvane";
    t.ChoiceGroup = " Choices ";
    t.ChoiceOk = "&OK";
    t.ChoiceCancel = "&Cancel";
}

QRect DialogPlacement(QSize size, std::optional<QRect> owner, std::optional<QRect> progress,
                      QRect screen) {
    QRect rect(QPoint(0, 0), size.boundedTo(screen.size()));
    rect.moveCenter(owner ? owner->center() : screen.center());
    // QRect::bottom() is the last row; the window below starts 10 pixels under its edge.
    if (progress && progress->y() + progress->height() + 10 > rect.top())
        rect.moveTop(progress->y() + progress->height() + 10);
    if (rect.right() > screen.right()) rect.moveRight(screen.right());
    if (rect.bottom() > screen.bottom()) rect.moveBottom(screen.bottom());
    if (rect.left() < screen.left()) rect.moveLeft(screen.left());
    if (rect.top() < screen.top()) rect.moveTop(screen.top());
    return rect;
}

void PlaceDialog(QWidget& dialog, bool keepBelowProgress) {
    QScreen* screen = ScreenFor(dialog.parentWidget());
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1024, 768);
    dialog.adjustSize();
    // The frame drawn by the window manager is not known before the first show; leave room.
    const QSize frame = dialog.frameGeometry().size() - dialog.geometry().size();
    const QSize most = area.size() - frame.expandedTo(QSize(8, 32));
    dialog.resize(
        dialog.size().boundedTo(most).expandedTo(dialog.minimumSizeHint().boundedTo(most)));

    std::optional<QRect> owner, progress;
    if (auto* main = TFSyncMain::Instance(); main && main->isVisible())
        owner = main->frameGeometry();
    if (keepBelowProgress)
        if (auto* p = TFProgress::Instance(); p && p->isVisible()) progress = p->frameGeometry();
    const QRect outer = DialogPlacement(dialog.size() + frame, owner, progress, area);
    dialog.move(outer.topLeft());
}

QWidget* DialogOwner() {
    if (QWidget* modal = QApplication::activeModalWidget()) return modal;
    // A question during a run belongs to the copying window, so that the window stays in
    // front of the main window while the question is open.
    for (QWidget* w : QApplication::topLevelWidgets())
        if (w->objectName() == QLatin1String("FCopyingStatus") && w->isVisible()) return w;
    if (QWidget* active = QApplication::activeWindow()) return active;
    return TFSyncMain::Instance();
}

int MaxTextWidth(const QWidget& dialog) {
    const QScreen* screen = ScreenFor(dialog.parentWidget());
    const int width = screen ? screen->availableGeometry().width() : 1024;
    return std::max(200, width * 3 / 4);
}

void SetFittingText(QLabel& label, const QString& text, int maxWidth) {
    label.setTextFormat(Qt::PlainText);
    const QString shown = ForDisplay(text);
    int widest = 0;
    for (const QString& line : shown.split('\n'))
        widest = std::max(widest, label.fontMetrics().horizontalAdvance(line));
    label.setText(widest > maxWidth ? ForDisplay(WrapMessage(text)) : shown);
}

} // namespace corvane::gui
