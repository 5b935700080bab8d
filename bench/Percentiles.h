#pragma once

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <string>
#include <vector>

// Median and 99th percentile of a set of durations, printed in one line.
class Percentiles
{
public:
    void add(std::chrono::steady_clock::duration sample) { samples.push_back(sample); }
    std::size_t size() const { return samples.size(); }

    double microseconds(double fraction) const
    {
        if (samples.empty())
            return 0;
        std::vector<std::chrono::steady_clock::duration> sorted = samples;
        std::sort(sorted.begin(), sorted.end());
        const auto rank = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size())));
        const std::size_t index = std::min(rank == 0 ? 0 : rank - 1, sorted.size() - 1);
        return std::chrono::duration<double, std::micro>(sorted[index]).count();
    }

    void print(const std::string &what) const
    {
        std::printf("%-44s samples=%-5zu median=%10.1f us   p99=%10.1f us\n", what.c_str(), samples.size(),
                    microseconds(0.5), microseconds(0.99));
        std::fflush(stdout);
    }

private:
    std::vector<std::chrono::steady_clock::duration> samples;
};
