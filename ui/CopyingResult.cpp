#include "ui/CopyingResult.h"

// Placeholder until the window is built.
namespace corvane::gui {

TFCopyingResult::TFCopyingResult(QWidget* parent) : tNxForm<QDialog>(parent) {
    setObjectName("FCopyingResult");
}
TFCopyingResult::~TFCopyingResult() = default;
TFCopyingResult* TFCopyingResult::Instance() {
    static TFCopyingResult* instance = new TFCopyingResult();
    return instance;
}
void TFCopyingResult::ShowResult(const tCopyingResult&) {}

} // namespace corvane::gui
