#include "LatencySamples.h"

#include <algorithm>
#include <cmath>

double LatencySamples::percentileMicroseconds(double fraction) const
{
    if (samples.empty())
        return 0;
    std::vector<Clock::duration> sorted = samples;
    std::sort(sorted.begin(), sorted.end());
    const auto index = static_cast<std::size_t>(std::ceil(fraction * static_cast<double>(sorted.size()))) - 1;
    return std::chrono::duration<double, std::micro>(sorted[std::min(index, sorted.size() - 1)]).count();
}

void LatencySamples::report(benchmark::State &state)
{
    state.counters["p50_us"] = percentileMicroseconds(0.50);
    state.counters["p99_us"] = percentileMicroseconds(0.99);
    state.counters["samples"] = static_cast<double>(samples.size());
}
