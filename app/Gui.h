// Start-up of the windowed program.
#pragma once

namespace corvane {

// true when the arguments ask for the windows: none, or "/autostart".
bool IsGuiStart(int argc, char** argv);

// Creates the application object and the long-lived windows, runs the event loop until
// the main window closes and returns the exit status. Without a display: one line on
// standard error and status 1.
int RunGui(int argc, char** argv);

} // namespace corvane
