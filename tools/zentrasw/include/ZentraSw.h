#pragma once

// The camera control library's exports, as this system calls them. The
// library is an outside part; this declaration is ours and is shared by the
// callers and by the stand-in that takes the library's place in tests.
// Every function uses the default C calling convention on both systems.

#include <cstddef>
#include <type_traits>

// The library hands out 16-bit wide texts: Windows' wchar_t is 16 bits wide,
// elsewhere char16_t is the type of that size.
using ZentraWideChar = std::conditional_t<sizeof(wchar_t) == 2, wchar_t, char16_t>;

// Size, in wide characters, of the buffer GetFirmwareVersionInfo fills.
inline constexpr std::size_t ZENTRA_VERSION_TEXT_CAPACITY = 256;

using ZentraProgressCallback = void (*)(int, int);

extern "C" {

int InitLibrary(void);
int DeInitLibrary(void);
int GetLedStatus(void);
int GetAFStatus(int *status);
int AFFreezeControl(int mode);
int GetFirmwareVersionInfo(ZentraWideChar *buffer);
int FirmwareBackup(unsigned char *buffer, int size, int *written, int reserved);
int FirmwareUpdate(const unsigned char *image, int size, ZentraProgressCallback progress);

} // extern "C"
