// The main window: profile editing, the profile overview, the scheduler and the options.
#pragma once

#include "profiles/Preferences.h"
#include "ui/NxForm.h"

#include <QMainWindow>
#include <memory>

class QTabWidget;

namespace corvane::gui {

class TFSyncMain : public tNxForm<QMainWindow> {
    Q_OBJECT
public:
    // autostart: the program was started with "/autostart".
    explicit TFSyncMain(bool autostart = false, QWidget* parent = nullptr);
    ~TFSyncMain() override;

    // The main window of the process, or nullptr before it exists and after it is gone.
    static TFSyncMain* Instance();

    tPreferences& Store() { return *store_; }

private:
    std::unique_ptr<tPreferences> store_;
    QTabWidget* PageControl1 = nullptr;
    bool autostart_ = false;
};

} // namespace corvane::gui
