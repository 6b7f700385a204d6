// Names per second through the mask filter: a list compiled once (tMaskFilter, tMaskList)
// against compiling every mask for every name (MaskListMatches).
#include "engine/Masks.h"
#include "profiles/Profile.h"

#include <chrono>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

using namespace corvane;

namespace {

constexpr const char* kMasks =
    "*.doc;*.tmp;~*;*.bak;data??.csv;[a-c]*.txt;*.o;*.obj;Thumbs.db;*.part";

std::vector<std::string> MakeNames(size_t count) {
    static const char* const extensions[] = {"doc",  "DOC", "txt", "tmp",  "bak",    "csv",
                                             "o",    "obj", "cpp", "h",    "jpg",    "JPG",
                                             "part", "db",  "pdf", "xlsx", "tar.gz", "docx"};
    static const char stemChars[] =
        "abcdefghijklmnopqrstuvwxyzABCDEFGHIJKLMNOPQRSTUVWXYZ0123456789_- ";
    std::mt19937 rng(7);
    std::vector<std::string> names;
    names.reserve(count);
    for (size_t i = 0; i < count; ++i) {
        std::string name;
        switch (rng() % 20) {
        case 0:
            name += '~';
            break;
        case 1:
            name += "data";
            name += std::to_string(rng() % 100);
            break;
        case 2:
            names.push_back(rng() % 2 ? "Thumbs.db" : "desktop.ini");
            continue;
        default:
            break;
        }
        for (size_t k = 0, n = 3 + rng() % 14; k < n; ++k)
            name += stemChars[rng() % (sizeof(stemChars) - 1)];
        if (rng() % 10 != 0) {
            name += '.';
            name += extensions[rng() % std::size(extensions)];
        }
        names.push_back(std::move(name));
    }
    return names;
}

// Returns the seconds taken; prints "<figure> names/s: <rate>" as bench/run.sh reads it.
template <typename F>
double Measure(const char* figure, const std::vector<std::string>& names, size_t expectedPasses,
               F&& passes) {
    const auto start = std::chrono::steady_clock::now();
    size_t count = 0;
    for (const std::string& name : names)
        count += passes(name) ? 1 : 0;
    const double seconds =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("%s names/s: %.0f\n", figure, static_cast<double>(names.size()) / seconds);
    if (count != expectedPasses)
        std::printf("%s MISMATCH: %zu pass, expected %zu\n", figure, count, expectedPasses);
    return seconds;
}

} // namespace

// The argument (a data folder) that bench/run.sh passes is not needed.
int main() {
    const std::vector<std::string> names = MakeNames(1000000);
    std::printf("mask list: %s\n", kMasks);
    std::printf("names: %zu\n", names.size());

    tProfile excluding;
    excluding.FileMasks = "(all)";
    excluding.ExcludeMasks = kMasks;
    tProfile including;
    including.FileMasks = kMasks;
    including.ExcludeMasks = "(none)";

    // The per-call matcher gives the expected counts.
    size_t included = 0;
    for (const std::string& name : names)
        included += MaskListMatches(name, kMasks, "*") ? 1 : 0;
    const size_t excludedPass = names.size() - included;
    std::printf("names matching the list: %zu\n", included);

    const tMaskFilter excludeFilter(excluding);
    const double compiled =
        Measure("tMaskFilter exclude list", names, excludedPass,
                [&](const std::string& n) { return excludeFilter.Passes(n, false); });
    const tMaskFilter includeFilter(including);
    Measure("tMaskFilter include list", names, included,
            [&](const std::string& n) { return includeFilter.Passes(n, false); });
    const tMaskList list(kMasks, "*");
    Measure("tMaskList", names, included, [&](const std::string& n) { return list.Matches(n); });
    Measure("MaskListMatches per call", names, included,
            [&](const std::string& n) { return MaskListMatches(n, kMasks, "*"); });
    const double perCall =
        Measure("ItemPassesMasks per call", names, excludedPass,
                [&](const std::string& n) { return ItemPassesMasks(excluding, n, false); });
    std::printf("ratio tMaskFilter/ItemPassesMasks: %.3f\n", compiled / perCall);
    return 0;
}
