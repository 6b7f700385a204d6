// The copying status window of an execution: what is being copied, the position in the
// plan and within the file, files that could not be opened exclusively, and the buttons
// that abort the run or switch off its database-safe mode.
#pragma once

#include "engine/UiPort.h"
#include "ui/NxForm.h"

#include <QDialog>
#include <functional>

namespace corvane {
class tProfile;
}

namespace corvane::gui {

class TFCopyingStatus : public tNxForm<QDialog> {
    Q_OBJECT
public:
    // Shows what status holds; the window writes status.Cancelled. status outlives it.
    explicit TFCopyingStatus(tCopyingStatus& status, QWidget* parent = nullptr);
    ~TFCopyingStatus() override;

    // Copies the status record into the labels and bars (called when events run).
    void ShowStatus();

    // Called after "Turn Off Database-Safe Mode For This Profile" switched the running
    // profile's Database off, so the main window can refresh a page showing that profile.
    static std::function<void(tProfile&)>& DatabaseModeSwitchedOff();

private:
    tCopyingStatus& status_;
};

} // namespace corvane::gui
