#include "ui/Dialogs.h"

#include <QMessageBox>

// Placeholder until the dialogs are built: standard message boxes.
namespace corvane::gui {

namespace {
QString Q(std::string_view s) { return QString::fromUtf8(s.data(), static_cast<int>(s.size())); }
} // namespace

QString WrapMessage(const QString& text) { return text; }
void ShowInfo(std::string_view text) { QMessageBox::information(nullptr, "Corvane", Q(text)); }
bool AskQuestion(std::string_view text) {
    return QMessageBox::question(nullptr, "Corvane", Q(text)) == QMessageBox::Yes;
}
int AskDecision(std::string_view question, bool, bool, std::string_view title) {
    return QMessageBox::question(nullptr, Q(title), Q(question)) == QMessageBox::Yes ? 1 : 0;
}
int ChooseOption(std::string_view, const std::vector<std::string>&, int) { return 0; }
int ChooseWithFileInfo(const tFileChoice&) { return 0; }
std::string AskForText(std::string_view, int, bool& cancelled, std::string_view,
                       std::string_view) {
    cancelled = true;
    return {};
}
void SetEnglishDialogTexts() {}

} // namespace corvane::gui
