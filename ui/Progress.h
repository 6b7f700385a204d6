// The progress window of the analysis steps: a bar mode and a text mode, nesting, and a
// cancel flag that the working loop reads through SetProgress.
#pragma once

#include "ui/NxForm.h"

#include <QDialog>
#include <cstdint>
#include <string_view>

class QLabel;
class QProgressBar;
class QPushButton;

namespace corvane::gui {

class TFProgress : public tNxForm<QDialog> {
    Q_OBJECT
public:
    explicit TFProgress(QWidget* parent = nullptr);
    ~TFProgress() override;

    // The one instance: created when missing; nullptr once it has been destroyed, so that
    // calls after the end of the program do nothing.
    static TFProgress* Instance();

    void StartProgress(int64_t maximum, bool showButton);
    void StartProgressText(std::string_view text, bool showButton, std::string_view title);
    void ShowProgressText(std::string_view text, bool showButton, std::string_view title);
    // false once the button was pressed.
    bool SetProgress(int64_t position);
    void EndProgress();
    void SetButtonCaption(std::string_view caption);

    bool Cancelled = false;
    int Nesting() const;

private:
    int64_t maximum_ = 0;
};

} // namespace corvane::gui
