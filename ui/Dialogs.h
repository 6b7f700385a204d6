// The dialog operations the engine and the windows use: message and question boxes, the
// decision, choice and choice-with-file-details dialogs and the text input dialog.
// Every call is modal and waits for the answer. Texts arrive as bytes (file names among
// them) and are decoded with QFile::decodeName; answers go back encoded the same way.
#pragma once

#include "engine/UiPort.h"
#include "widgets/Bytes.h"

#include <QRect>
#include <QSize>
#include <QString>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

class QLabel;
class QWidget;

namespace corvane::gui {

// Cuts text into lines: at a carriage return (or a line feed on its own); a line longer
// than 60 characters breaks at the last blank among its first 70 characters, or after 64
// characters when there is none. The break character is dropped, and after a carriage
// return or blank also a line feed or blank that follows it. Lines are joined by "\r\n".
QString WrapMessage(const QString& text);

// Message box, caption the product name, wrapped text, OK. Waits for it.
void ShowInfo(std::string_view text);
// The same with Yes and No; true exactly when Yes was pressed (Escape is No).
bool AskQuestion(std::string_view text);
// 1 Yes, 0 No, -1 Cancel (also Escape while Cancel is offered; without Cancel, Escape
// and closing answer No). A new decision window is built for each call.
int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                std::string_view title);
// The decision asked with the standard message box, caption "Frage": Yes 1, Cancel -1,
// anything else 0. AskDecision uses it while UseStandardDecisionBox() holds.
int AskDecisionWithMessageBox(std::string_view question, bool defaultYes, bool showCancel);
// true while the application object is being torn down (QCoreApplication::closingDown):
// no new window of our own is built then, the toolkit's message box asks instead.
bool UseStandardDecisionBox();
// The chosen option's number counted from 1, or 0 when cancelled.
int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                 int preselected);
// As ChooseOption, with the source and destination file details shown.
int ChooseWithFileInfo(const tFileChoice& choice);
// The answer, or "" with cancelled set.
std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                       std::string_view defaultText, std::string_view note);

// Process-wide dialog texts; the defaults are the German design texts.
struct tDialogTexts {
    QString Yes = "&Ja", No = "&Nein", Cancel = "&Abbrechen";
    QString InputTitle = "Bitte angeben:", InputCancel = "Abbrechen";
    QString MessageCaption = "Corvane";
    QString ChoiceCaption = "Auswahl", ChoiceGroup = " Auswahl ";
    QString ChoiceOk = "OK", ChoiceCancel = "Abbrechen";
};
tDialogTexts& DialogTexts();
// Switches the dialogs' design texts to English (done once by the main window).
void SetEnglishDialogTexts();


// Where a dialog of size goes: centred on owner (or on screen without one), its top
// moved below progress + 10 when a visible progress window's bottom reaches below it,
// then kept inside screen.
QRect DialogPlacement(QSize size, std::optional<QRect> owner, std::optional<QRect> progress,
                      QRect screen);
// Sizes dialog to its contents (at most the available screen) and places it as
// DialogPlacement says, with the main window as owner and the progress window when shown.
void PlaceDialog(QWidget& dialog, bool keepBelowProgress);
// The window new dialogs belong to: the active modal dialog, the active window, or the
// main window (nullptr when none exists).
QWidget* DialogOwner();
// Sets a plain-text label to text, wrapped by WrapMessage when one of its lines would be
// wider than maxWidth pixels, so a long name never widens the dialog past the screen.
void SetFittingText(QLabel& label, const QString& text, int maxWidth);
// The widest a dialog's text may be on the screen the dialog will show on.
int MaxTextWidth(const QWidget& dialog);

} // namespace corvane::gui
