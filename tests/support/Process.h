// Runs the real corvane executable and collects what it printed.
#pragma once

#include <string>
#include <utility>
#include <vector>

namespace corvane::test {

struct ProcessResult {
    std::string Out, Err;
    int Status = -1; // exit status; -1 when it did not exit normally
};

// The path of the built corvane executable.
std::string CorvaneExecutable();

// Runs the corvane executable with args; env entries are set in its environment (an
// entry with an empty value is removed from it).
ProcessResult RunCorvane(const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env = {});

// The same with the executable at exe.
ProcessResult RunCorvaneFrom(const std::string& exe, const std::vector<std::string>& args,
                             const std::vector<std::pair<std::string, std::string>>& env = {});
// Copies the built executable into folder and returns the copy's path: an unprivileged
// user may not reach the build folder (a clone under /root).
std::string CopyOfCorvane(const std::string& folder);

// The corvane executable started in the background, its standard output and error read
// while it runs. The destructor kills a process that is still running.
class RunningCorvane {
public:
    RunningCorvane(const std::vector<std::string>& args,
                   const std::vector<std::pair<std::string, std::string>>& env = {});
    ~RunningCorvane();
    RunningCorvane(const RunningCorvane&) = delete;
    RunningCorvane& operator=(const RunningCorvane&) = delete;

    void Signal(int signal);
    int Pid() const { return pid_; }
    // Waits for the process to end and returns what it printed and its exit status.
    ProcessResult Wait();

private:
    int pid_ = -1, out_ = -1, err_ = -1;
};

} // namespace corvane::test
