#pragma once

#include <stdlib.h>

#include <algorithm>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

#include <benchmark/benchmark.h>

// What the benchmark programs share: a scratch folder, the folder of the
// program (where the build puts the template databases), and the way a
// figure is repeated and reported.
namespace tw::bench {

// A temporary folder, removed at the end.
class ScratchDir {
public:
    ScratchDir() {
        std::string pattern = (std::filesystem::temp_directory_path() / "tw-bench-XXXXXX").string();
        if (::mkdtemp(pattern.data()))
            path_ = pattern + "/";
    }
    ~ScratchDir() {
        std::error_code ec;
        if (!path_.empty())
            std::filesystem::remove_all(path_, ec);
    }
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    // Empty when it could not be made; else ends with a separator.
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};

inline std::string ProgramFolderOfThis() {
    return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/";
}

inline double Min(const std::vector<double>& v) {
    return *std::min_element(v.begin(), v.end());
}
inline double Max(const std::vector<double>& v) {
    return *std::max_element(v.begin(), v.end());
}

// The median of 15 repetitions with their spread (stddev, min, max), in microseconds.
template <typename B>
B* Spread(B* b) {
    return b->Repetitions(15)
        ->ReportAggregatesOnly(true)
        ->ComputeStatistics("min", Min)
        ->ComputeStatistics("max", Max)
        ->Unit(benchmark::kMicrosecond);
}

}  // namespace tw::bench
