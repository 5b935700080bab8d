#pragma once

#include <cstdio>
#include <fstream>
#include <string>

// Soak runs print their figures, and append them to one file that the test
// script shows at the end (CTest keeps the output of passing tests to itself).
inline void reportFigures(const std::string &run, const std::string &figures)
{
    std::printf("SOAK %s: %s\n", run.c_str(), figures.c_str());
    std::ofstream(TESSEL_SOAK_FIGURES, std::ios::app) << run << ": " << figures << "\n";
}
