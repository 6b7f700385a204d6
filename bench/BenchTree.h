// Generating benchmark trees and timing shell commands, shared by the benchmarks.
#pragma once

#include "profiles/Preferences.h"
#include "profiles/Profile.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <sys/time.h>
#include <vector>

namespace corvane::bench {

// Stores the exact mirror profile "bench" from left to right in home's preferences, without
// logging; workers >= 0 also sets the files copied at once. false when it cannot be stored.
inline bool StoreMirrorProfile(const std::string& home, const std::string& left,
                               const std::string& right, bool emptyFolders, int workers = -1) {
    tProfile p;
    SetInitialValues(p);
    p.Name = "bench";
    p.LeftPath = left;
    p.RightPath = right;
    p.LeftToRight = true;
    p.RightToLeft = false;
    p.ExactMirror = true;
    p.Subfolders = true;
    p.EmptyFolders = emptyFolders;
    p.MultipleVersions = false;
    p.UA_DeleteFiles = p.UA_OverwriteNewer = p.UA_OverwriteLarger = true;
    tPreferences store(home + "/.CorvaneX");
    store.Load();
    store.Write("opt_bench", EncodeOptions(p), "Profiles");
    store.Write("Logging", "0", "Main");
    if (workers >= 0) store.Write("CopyWorkers", std::to_string(workers), "Main");
    return store.Flush().empty();
}

inline double Seconds(std::chrono::steady_clock::time_point since) {
    return std::chrono::duration<double>(std::chrono::steady_clock::now() - since).count();
}

// Wall time of a shell command; exits the benchmark when the command fails.
inline double TimeCommand(const std::string& command) {
    auto start = std::chrono::steady_clock::now();
    int rc = std::system(command.c_str());
    double s = Seconds(start);
    if (rc != 0) {
        std::fprintf(stderr, "benchmark command failed (%d): %s\n", rc, command.c_str());
        std::exit(1);
    }
    return s;
}

inline void WriteFile(const std::string& path, size_t size, int64_t mtime, std::mt19937& rng) {
    std::string data(size, '\0');
    for (auto& c : data)
        c = static_cast<char>('a' + rng() % 26);
    std::ofstream(path, std::ios::binary) << data;
    timeval tv[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    utimes(path.c_str(), tv);
}

// Fast pseudo-random contents, so that nothing compresses or dedupes.
inline void WriteRandomFile(const std::string& path, size_t size, uint64_t seed, int64_t mtime) {
    std::FILE* f = std::fopen(path.c_str(), "wb");
    if (!f) {
        std::perror(path.c_str());
        std::exit(1);
    }
    std::vector<uint64_t> block(1 << 17);
    uint64_t x = seed * 0x9E3779B97F4A7C15ULL + 1;
    for (size_t done = 0; done < size;) {
        for (auto& w : block) {
            x ^= x << 13;
            x ^= x >> 7;
            x ^= x << 17;
            w = x;
        }
        size_t n = std::min(size - done, block.size() * sizeof(uint64_t));
        std::fwrite(block.data(), 1, n, f);
        done += n;
    }
    std::fclose(f);
    timeval tv[2] = {{static_cast<time_t>(mtime), 0}, {static_cast<time_t>(mtime), 0}};
    utimes(path.c_str(), tv);
}

// A tree of about `files` files over `levels` folder levels with `fanout` subfolders each
// and 10 to 40 files per folder; returns the relative paths of the files.
inline std::vector<std::string> MakeTree(const std::string& root, int files, int levels = 4,
                                         int fanout = 8, size_t maxSize = 4096, unsigned seed = 1) {
    std::mt19937 rng(seed);
    std::vector<std::string> folders{""};
    for (size_t i = 0; i < folders.size(); ++i) {
        int depth =
            folders[i].empty()
                ? 0
                : static_cast<int>(std::count(folders[i].begin(), folders[i].end(), '/')) + 1;
        if (depth >= levels) continue;
        for (int f = 0; f < fanout; ++f)
            folders.push_back((folders[i].empty() ? "" : folders[i] + "/") + "dir" +
                              std::to_string(f));
    }
    std::vector<std::string> made;
    std::filesystem::create_directories(root);
    for (const auto& f : folders)
        std::filesystem::create_directories(root + "/" + f);
    size_t folder = 0;
    while (static_cast<int>(made.size()) < files) {
        const std::string& f = folders[folder++ % folders.size()];
        int count = 10 + static_cast<int>(rng() % 31);
        for (int i = 0; i < count && static_cast<int>(made.size()) < files; ++i) {
            std::string rel =
                (f.empty() ? "" : f + "/") + "file" + std::to_string(made.size()) + ".dat";
            WriteFile(root + "/" + rel, 64 + rng() % maxSize, 1600000000 + rng() % 1000000, rng);
            made.push_back(rel);
        }
    }
    return made;
}

// A "kB" field of /proc/self/status (e.g. "VmRSS:"), -1 when missing.
inline long StatusKb(const char* field) {
    std::ifstream in("/proc/self/status");
    std::string line;
    const std::string_view wanted(field);
    while (std::getline(in, line))
        if (line.compare(0, wanted.size(), wanted) == 0)
            return std::atol(line.c_str() + wanted.size() + 1);
    return -1;
}

// Peak resident memory of this process so far, in MiB.
inline double PeakMemoryMiB() {
    return static_cast<double>(std::max(StatusKb("VmHWM:"), 0L)) / 1024.0;
}

} // namespace corvane::bench
