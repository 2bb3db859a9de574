// What every benchmark measures with: the median time of several runs, and
// the peak resident memory.
#pragma once

#include <algorithm>
#include <chrono>
#include <cstddef>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

inline double medianSeconds(int runs, const std::function<void()>& work) {
    using Clock = std::chrono::steady_clock;
    std::vector<double> times;
    for (int i = 0; i < runs; ++i) {
        const auto start = Clock::now();
        work();
        times.push_back(std::chrono::duration<double>(Clock::now() - start).count());
    }
    std::sort(times.begin(), times.end());
    return times[times.size() / 2];
}

// The median times of several pieces of work measured side by side: each
// round runs every piece once, so that a spell in which the machine is slower
// (on a shared VM, for tens of seconds) falls on all of them alike.
inline std::vector<double> medianSecondsEach(int runs, const std::vector<std::function<void()>>& works) {
    using Clock = std::chrono::steady_clock;
    std::vector<std::vector<double>> times(works.size());
    for (int i = 0; i < runs; ++i) {
        for (size_t w = 0; w < works.size(); ++w) {
            const auto start = Clock::now();
            works[w]();
            times[w].push_back(std::chrono::duration<double>(Clock::now() - start).count());
        }
    }
    std::vector<double> medians;
    for (auto& t : times) {
        std::sort(t.begin(), t.end());
        medians.push_back(t[t.size() / 2]);
    }
    return medians;
}

// The peak resident memory of this process so far, in bytes.
inline size_t peakResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmHWM:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}

// The resident memory of this process now, in bytes.
inline size_t currentResident() {
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line))
        if (line.rfind("VmRSS:", 0) == 0) return std::stoull(line.substr(6)) * 1024;
    return 0;
}
