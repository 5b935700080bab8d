#pragma once

// hid.dll's functions. mingw-w64's hidsdi.h (and the hidpi.h it includes)
// declare them without C linkage, so C++ code would look for mangled names
// that hid.dll does not export.
#include <windows.h>

extern "C" {
#include <hidsdi.h>
}
