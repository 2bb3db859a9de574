// What every benchmark times with: the median of several runs.
#pragma once

#include <algorithm>
#include <chrono>
#include <functional>
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
