// The main window's "Options" page: the program's settings of the "Main" section (logging,
// log folder, copy buffer size, the files copied at once, the share of a side unattended
// runs may delete) and the start at log-in.
#pragma once

#include <QWidget>

class QCheckBox;
class QLabel;
class QLineEdit;
class QToolButton;

namespace corvane::gui {

class TFSyncMain;
class tRadioGroup;

class tOptionsPage : public QWidget {
    Q_OBJECT
public:
    explicit tOptionsPage(TFSyncMain& main);

    // The stored settings onto the page and into the run settings (the window is shown).
    void LoadSettings();
    // The settings kept when the window closes.
    void SaveSettings();
    // The log folder typed on the page, when there is one, for the runs started now.
    void UseLogFolder();

    // Handlers.
    void rgLoggingClick();
    void cbAutostartClick();
    // Stored and used by the next run at once; an empty field changes nothing.
    void edDeleteLimitChange();
    // The log folder and buffer size are stored and in effect as they are typed.
    void edLogPathChange();
    void edBufSizeChange();
    // Stored and in effect for the next copy at once; an empty field changes nothing.
    void edCopyWorkersChange();

private:
    TFSyncMain& main_;
    bool loading_ = false;
    tRadioGroup* rgLogging = nullptr;
    QLabel *Label19 = nullptr, *Label22 = nullptr, *Label20 = nullptr, *Label21 = nullptr;
    QLabel *Label23 = nullptr, *Label24 = nullptr, *Label25 = nullptr;
    QLabel *Label26 = nullptr, *Label27 = nullptr, *Label28 = nullptr;
    QLineEdit *edLogPath = nullptr, *edBufSize = nullptr, *edDeleteLimit = nullptr;
    QLineEdit* edCopyWorkers = nullptr;
    QToolButton* btBrowseLog = nullptr;
    QCheckBox* cbAutostart = nullptr;
};

} // namespace corvane::gui
