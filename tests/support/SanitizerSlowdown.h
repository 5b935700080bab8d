#pragma once

// How much slower programs run in this build. Waits for something that is
// bound to happen stretch by it; time limits that belong to the program
// itself (a stop within a second) too.
#if defined(__SANITIZE_THREAD__)
inline constexpr int SanitizerSlowdown = 8;
#elif defined(__SANITIZE_ADDRESS__)
inline constexpr int SanitizerSlowdown = 2;
#else
inline constexpr int SanitizerSlowdown = 1;
#endif
