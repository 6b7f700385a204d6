// The dialog operations the engine and the windows use: message and question boxes, the
// decision, choice and choice-with-file-details dialogs and the text input dialog.
// Every call is modal and waits for the answer.
#pragma once

#include "engine/UiPort.h"

#include <QString>
#include <string>
#include <string_view>
#include <vector>

namespace corvane::gui {

// Cuts text into lines of at most about 64 characters (see the unit for the rule),
// joined by "\r\n".
QString WrapMessage(const QString& text);

void ShowInfo(std::string_view text);
bool AskQuestion(std::string_view text);
// 1 Yes, 0 No, -1 Cancel (also Escape).
int AskDecision(std::string_view question, bool defaultYes, bool showCancel,
                std::string_view title);
// The chosen option's number counted from 1, or 0 when cancelled.
int ChooseOption(std::string_view message, const std::vector<std::string>& options,
                 int preselected);
int ChooseWithFileInfo(const tFileChoice& choice);
// The answer, or "" with cancelled set.
std::string AskForText(std::string_view prompt, int maxLength, bool& cancelled,
                       std::string_view defaultText, std::string_view note);

// Switches the dialogs' design texts to English (done once by the main window).
void SetEnglishDialogTexts();

} // namespace corvane::gui
