#pragma once

namespace scan::OcrThreadLimit {

// Tesseract is built with OpenMP, whose runtime reads OMP_THREAD_LIMIT once,
// as the library loads, before main(). Unlimited, its threads fight over two
// cores and a page takes ten times as long. Recognition therefore runs only
// in processes started with the limit set to one thread, never in a
// window's process.

// True when this process was started with OMP_THREAD_LIMIT=1.
bool startedWithOneThread();

// For a program linked with Tesseract, at the top of main(): when the limit
// is not set, sets it and starts the program again in place (execv), with
// the same arguments. Returns only when no restart was needed or it failed.
void restartWithOneThreadIfNeeded(char **argv);

// The limit the OpenMP runtime works with (omp_get_thread_limit), or 0 when
// no OpenMP runtime is loaded.
int effectiveLimit();

} // namespace scan::OcrThreadLimit
