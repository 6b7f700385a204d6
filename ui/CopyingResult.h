// The copying result window: counts per side and the files that could not be copied.
#pragma once

#include "engine/UiPort.h"
#include "ui/NxForm.h"

#include <QDialog>

namespace corvane::gui {

class TFCopyingResult : public tNxForm<QDialog> {
    Q_OBJECT
public:
    explicit TFCopyingResult(QWidget* parent = nullptr);
    ~TFCopyingResult() override;

    // The one instance created at start (created when missing).
    static TFCopyingResult* Instance();

    // Fills the window from result and shows it modally.
    void ShowResult(const tCopyingResult& result);
};

} // namespace corvane::gui
