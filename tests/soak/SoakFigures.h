#pragma once

#include <cstdio>
#include <fstream>
#include <string>

// Under a sanitizer, freed memory waits in a quarantine and shadow memory
// grows with use: resident memory says nothing about leaks there (the leak
// checker does), so the soak runs compare it in plain builds only.
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
inline constexpr bool ResidentMemoryIsMeaningful = false;
#else
inline constexpr bool ResidentMemoryIsMeaningful = true;
#endif

// Soak runs print their figures, and append them to one file that the test
// script shows at the end (CTest keeps the output of passing tests to itself).
inline void reportFigures(const std::string &run, const std::string &figures)
{
    std::printf("SOAK %s: %s\n", run.c_str(), figures.c_str());
    std::ofstream(TESSEL_SOAK_FIGURES, std::ios::app) << run << ": " << figures << "\n";
}
