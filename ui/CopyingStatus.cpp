#include "ui/CopyingStatus.h"

// Placeholder until the window is built.
namespace corvane::gui {

TFCopyingStatus::TFCopyingStatus(tCopyingStatus& status, QWidget* parent)
    : tNxForm<QDialog>(parent), status_(status) {
    setObjectName("FCopyingStatus");
}
TFCopyingStatus::~TFCopyingStatus() = default;
void TFCopyingStatus::ShowStatus() {}
std::function<void(tProfile&)>& TFCopyingStatus::DatabaseModeSwitchedOff() {
    static std::function<void(tProfile&)> hook;
    return hook;
}

} // namespace corvane::gui
