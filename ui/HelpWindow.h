// The help window: the program's manual (compiled in from docs/manual) in a text browser,
// opened by F1 or a "Help" button at the section for the control's help context.
#pragma once

#include <QWidget>

class QTextBrowser;
class QUrl;

namespace corvane::gui {

// Help contexts without a number of their own in the windows they belong to.
namespace help {
constexpr int Contents = 1;
constexpr int Scheduler = 180;
constexpr int SelectItems = 220;
constexpr int Copying = 300;
} // namespace help

// The manual section (a file name under qrc:/manual/) for a help context; the contents for
// a context without a section.
QString HelpSection(int context);
// The help context of w: its own, else its nearest parent's. A page control (or its tab
// bar) gives the context of the page in front.
int HelpContextOf(const QWidget* w);

class TFHelpWindow : public QWidget {
    Q_OBJECT
public:
    explicit TFHelpWindow(QWidget* parent = nullptr);

    // Shows section (e.g. "masks.md") in front.
    void ShowSection(const QString& section);
    // The file name of the section on screen.
    QString Section() const;
    QTextBrowser& Browser() const { return *browser_; }

private:
    QTextBrowser* browser_ = nullptr;
};

// Opens the help for from: the section of the focused control when it lies in from's
// window, else of from itself. The help window belongs to from's window (so a modal dialog
// does not block it) and is reused by later calls from that window.
TFHelpWindow* ShowHelp(QWidget* from);
// Gives window the help context and makes F1 in it open its help.
void InstallHelp(QWidget* window, int context);

} // namespace corvane::gui
