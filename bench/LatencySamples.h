#pragma once

#include <benchmark/benchmark.h>

#include <chrono>
#include <string>
#include <vector>

// Collects one duration per iteration and reports the median and the 99th
// percentile (in microseconds) as counters of the benchmark.
class LatencySamples
{
public:
    using Clock = std::chrono::steady_clock;

    void add(Clock::duration sample) { samples.push_back(sample); }
    void report(benchmark::State &state);

    double percentileMicroseconds(double fraction) const;

private:
    std::vector<Clock::duration> samples;
};
