#include "ui/SyncMain.h"

#include "ui/Dialogs.h"

#include <QTabWidget>
#include <QWidget>

namespace corvane::gui {

namespace {
TFSyncMain* mainWindow = nullptr;
} // namespace

TFSyncMain::TFSyncMain(bool autostart, QWidget* parent)
    : tNxForm<QMainWindow>(parent),
      store_(std::make_unique<tPreferences>(PreferencesFileName())),
      autostart_(autostart) {
    mainWindow = this;
    setObjectName("FSyncMain");
    setWindowTitle(QStringLiteral("Corvane 1.04"));
    store_->Load();
    SetPrefStore(store_.get());
    RunSettings() = ReadMainSettings();
    SetEnglishDialogTexts();

    PageControl1 = new QTabWidget(this);
    PageControl1->setObjectName("PageControl1");
    const char* tabs[][2] = {{"tsMain", "  Edit Profiles "},
                             {"tsMultiple", "  Profile Overview "},
                             {"tsScheduler", "  Scheduler "},
                             {"tsOptions", "Options"},
                             {"tsAbout", "  About "}};
    for (const auto& [name, caption] : tabs) {
        auto* page = new QWidget(PageControl1);
        page->setObjectName(name);
        PageControl1->addTab(page, caption);
    }
    setCentralWidget(PageControl1);
    resize(640, 480);
}

TFSyncMain::~TFSyncMain() {
    store_->Flush();
    SetPrefStore(nullptr);
    mainWindow = nullptr;
}

TFSyncMain* TFSyncMain::Instance() { return mainWindow; }

} // namespace corvane::gui
