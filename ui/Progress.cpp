#include "ui/Progress.h"

// Placeholder until the window is built: keeps the flag and nesting only.
namespace corvane::gui {

namespace {
TFProgress* instance = nullptr;
bool instanceDestroyed = false;
int nesting = 0;
} // namespace

TFProgress::TFProgress(QWidget* parent) : tNxForm<QDialog>(parent) {
    setObjectName("FProgress");
    instance = this;
}
TFProgress::~TFProgress() {
    instance = nullptr;
    instanceDestroyed = true;
}
TFProgress* TFProgress::Instance() {
    if (!instance && !instanceDestroyed) new TFProgress();
    return instance;
}
void TFProgress::StartProgress(int64_t maximum, bool) {
    Cancelled = false;
    ++nesting;
    maximum_ = maximum;
}
void TFProgress::StartProgressText(std::string_view, bool, std::string_view) {
    Cancelled = false;
    ++nesting;
}
void TFProgress::ShowProgressText(std::string_view, bool, std::string_view) {}
bool TFProgress::SetProgress(int64_t) { return !Cancelled; }
void TFProgress::EndProgress() { --nesting; }
void TFProgress::SetButtonCaption(std::string_view) {}
int TFProgress::Nesting() const { return nesting; }

} // namespace corvane::gui
