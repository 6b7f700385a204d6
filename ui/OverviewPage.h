// The main window's "Profile Overview" page: every stored profile with a check box, to run
// or schedule several at once.
#pragma once

#include <QWidget>
#include <string>
#include <vector>

class QCheckBox;
class QListWidget;
class QPushButton;

namespace corvane::gui {

class TFSyncMain;

class tOverviewPage : public QWidget {
    Q_OBJECT
public:
    explicit tOverviewPage(TFSyncMain& main);

    // The stored profiles (names in list order) with their folders, none ticked.
    void ListProfiles(const std::vector<std::string>& names);

    // Handlers.
    void btRunMultipleNowClick();
    void btNowAllClick();
    void btNowNoneClick();
    void btEditClick();
    void btScheduleClick();

private:
    TFSyncMain& main_;
    QListWidget* clbMultiple = nullptr;
    QPushButton *btRunMultipleNow = nullptr, *btNowAll = nullptr, *btNowNone = nullptr,
                *btEdit = nullptr, *btSchedule = nullptr, *LMDButton1 = nullptr;
    QCheckBox* cbRunNowUnattended = nullptr;
};

} // namespace corvane::gui
