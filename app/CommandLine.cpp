#include "app/CommandLine.h"

#include <cstdio>
#include <string_view>

namespace corvane {

namespace {

void PrintHelp() {
    std::printf("Corvane %s (build %d): synchronizes and backs up pairs of folder trees.\n\n"
                "Usage: corvane [OPTION]\n\n"
                "  --help       show this text\n"
                "  --version    show the version\n",
                CORVANE_VERSION, CORVANE_BUILD);
}

} // namespace

int RunCommandLine(int argc, char** argv) {
    std::string_view first = argc > 1 ? argv[1] : "";
    if (first == "--version") {
        std::printf("Corvane %s (build %d)\n", CORVANE_VERSION, CORVANE_BUILD);
        return 0;
    }
    if (first.empty() || first == "--help" || first == "-h") {
        PrintHelp();
        return 0;
    }
    std::fprintf(stderr, "corvane: unknown option '%.*s' (try --help)\n",
                 static_cast<int>(first.size()), first.data());
    return 2;
}

} // namespace corvane
