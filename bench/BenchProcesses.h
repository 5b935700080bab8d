#pragma once

// What the whole-program benchmarks do with the programs they measure:
// start them with their output in a log, stop them, and read their
// processor time.
#include <filesystem>
#include <string>
#include <sys/types.h>
#include <vector>

namespace bench {

// The folder of the benchmark program, where the programs it starts lie.
std::filesystem::path programs();
// Starts argv[0] (a full path) with standard output and error appended to log.
pid_t spawn(const std::vector<std::string> &argv, const std::filesystem::path &log);
// SIGTERM, then waits for the end.
void stop(pid_t pid);
// User and system processor time used so far, in seconds.
double cpuSeconds(pid_t pid);

} // namespace bench
