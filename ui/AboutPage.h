// The main window's "About" page: product, version and build.
#pragma once

#include <QWidget>

class QLabel;
class QPushButton;

namespace corvane::gui {

class TFSyncMain;

class tAboutPage : public QWidget {
    Q_OBJECT
public:
    explicit tAboutPage(TFSyncMain& main);

    void ShowVersion(const char* version, long long build);

private:
    QLabel *lbVersion = nullptr, *lbBuild = nullptr;
    QPushButton* LMDButton2 = nullptr;
};

} // namespace corvane::gui
