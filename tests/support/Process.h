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

// Runs the corvane executable with args; env entries are set in its environment (an
// entry with an empty value is removed from it).
ProcessResult RunCorvane(const std::vector<std::string>& args,
                         const std::vector<std::pair<std::string, std::string>>& env = {});

} // namespace corvane::test
