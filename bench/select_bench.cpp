// The base-folder item selection on a wide base folder: listing 50,000 base items on each
// side, writing the selection text with every item chosen, and applying it back in one
// pass, against one search per item; then a run's scan of both sides with that selection.
//
// Usage: select_bench [folder]   (default: a fresh folder under /tmp, removed afterwards).
#include "engine/BaseFolderItems.h"
#include "engine/Scanner.h"
#include "profiles/Profile.h"

#include "BenchTree.h"

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <string>
#include <unistd.h>
#include <vector>

using namespace corvane;
namespace fs = std::filesystem;

namespace {
constexpr int Items = 50000;
constexpr size_t SearchedNames = 2000; // the per-item searches are timed on a sample
} // namespace

int main(int argc, char** argv) {
    const bool keep = argc > 1;
    const fs::path root = keep ? fs::path(argv[1])
                               : fs::path("/tmp") / ("corvane-select-" + std::to_string(getpid()));
    for (const char* side : {"L", "R"}) {
        fs::create_directories(root / side);
        for (int i = 0; i < Items; ++i) {
            const fs::path p = root / side / ("item-" + std::to_string(i) + ".dat");
            if (!fs::exists(p)) std::ofstream(p) << "x";
        }
    }
    tProfile p;
    p.LeftPath = (root / "L").string();
    p.RightPath = (root / "R").string();
    p.Subfolders = true;

    auto start = std::chrono::steady_clock::now();
    bool cancelled = false;
    const std::vector<tBaseFolderItem> items = ListBaseFolderItems(p, cancelled);
    std::printf("items listed: %zu\n", items.size());
    std::printf("listing seconds: %.3f\n", bench::Seconds(start));

    std::vector<tItemState> chosen;
    std::vector<std::string> names;
    for (const tBaseFolderItem& item : items) {
        chosen.push_back({item.Name, 1});
        names.push_back(item.Name);
    }
    start = std::chrono::steady_clock::now();
    const std::string selection = BaseFolderSelection(chosen);
    std::printf("selection bytes: %zu\n", selection.size());
    std::printf("writing seconds: %.4f\n", bench::Seconds(start));

    start = std::chrono::steady_clock::now();
    const std::vector<int> states = BaseItemStates(selection, names);
    const double onePass = bench::Seconds(start);
    std::printf("applying seconds (one pass): %.4f\n", onePass);

    start = std::chrono::steady_clock::now();
    size_t mismatches = 0;
    const size_t sample = std::min(SearchedNames, names.size());
    for (size_t k = 0; k < sample; ++k) {
        const size_t at = k * names.size() / sample;
        if (BaseItemState(selection, names[at]) != states[at]) ++mismatches;
    }
    const double perItem = bench::Seconds(start) * static_cast<double>(names.size()) / sample;
    std::printf("applying seconds (one search per item, extrapolated): %.2f\n", perItem);
    std::printf("mismatches: %zu\n", mismatches);
    std::printf("ratio one pass/searches: %.5f\n", onePass / perItem);

    // A run's scan of both base folders restricted to the selection.
    p.SelectBaseFolderItems = true;
    p.BaseFolderItems = selection;
    start = std::chrono::steady_clock::now();
    BuildFileLists(p, true, true);
    std::printf("scan with the selection seconds: %.3f (%zu entries)\n", bench::Seconds(start),
                p.Entries.size());
    if (!keep) fs::remove_all(root);
    return mismatches == 0 ? 0 : 1;
}
