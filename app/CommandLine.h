// The command line: --help, --version and the headless commands.
#pragma once

namespace corvane {

// Runs the command the arguments ask for and returns the process exit status.
int RunCommandLine(int argc, char** argv);

} // namespace corvane
