#include "app/Gui.h"

#include "engine/UiPort.h"
#include "ui/Choice.h"
#include "ui/CopyingResult.h"
#include "ui/InfoChoice.h"
#include "ui/Progress.h"
#include "ui/QtPort.h"
#include "ui/SelectItems.h"
#include "ui/SyncMain.h"

#include <QApplication>
#include <QIcon>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string_view>
#include <unistd.h>

namespace corvane {

namespace {

constexpr const char* kNoDisplay =
    "corvane: cannot open a display; use --run NAME to run a profile without a window\n";

bool HasEnv(const char* name) {
    const char* value = std::getenv(name);
    return value && *value;
}

// While the application object connects to the display: Qt ends the process with a fatal
// message when it cannot; say so in one line and leave without a core dump. Its warnings
// on the way there only repeat the same in toolkit terms.
void FatalToExit(QtMsgType type, const QMessageLogContext&, const QString&) {
    if (type != QtFatalMsg) return;
    std::fputs(kNoDisplay, stderr);
    std::fflush(stderr);
    _exit(1);
}

} // namespace

bool IsGuiStart(int argc, char** argv) {
    return argc == 1 || (argc == 2 && std::string_view(argv[1]) == "/autostart");
}

int RunGui(int argc, char** argv) {
    if (!HasEnv("QT_QPA_PLATFORM") && !HasEnv("DISPLAY") && !HasEnv("WAYLAND_DISPLAY")) {
        std::fputs(kNoDisplay, stderr);
        return 1;
    }
    qInstallMessageHandler(FatalToExit);
    QApplication app(argc, argv);
    qInstallMessageHandler(nullptr);
    QApplication::setApplicationName("Corvane");
    // Ties the windows to the installed desktop entry and its icon (taskbars, Wayland).
    QGuiApplication::setDesktopFileName("org.corvane.Corvane");
    QApplication::setWindowIcon(QIcon::fromTheme("org.corvane.Corvane"));
    app.setProperty("HelpFile", "Corvane.hlp");

    gui::TQtPort port;
    SetUiPort(&port);
    const bool autostart = argc == 2;
    int status = 0;
    {
        auto main = std::make_unique<gui::TFSyncMain>(autostart);
        gui::TFCopyingResult::Instance();
        gui::TFInfoChoice::Instance();
        gui::TFChoice::Instance();
        gui::TFProgress::Instance();
        gui::TFSelectItems::Instance();
        gui::InstallSelectItems(*main);
        main->show();
        status = QApplication::exec();
    }
    SetUiPort(nullptr);
    return status;
}

} // namespace corvane
