#include "app/CommandLine.h"
#include "app/Gui.h"

int main(int argc, char** argv) {
    // The headless commands never create the application object, so they need no display
    // and load no platform plugin.
    if (corvane::IsGuiStart(argc, argv)) return corvane::RunGui(argc, argv);
    return corvane::RunCommandLine(argc, argv);
}
