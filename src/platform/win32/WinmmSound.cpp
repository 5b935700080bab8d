#include "WinmmSound.h"

#include "WideText.h"

#include <windows.h>
#include <mmsystem.h>

namespace platform::win32_backend {

void WinmmSound::play(const std::string &path)
{
    // The wide call, since the program's folder may have any name; no
    // default sound in place of a missing file: a missing file plays
    // nothing.
    const std::wstring file = widen(path);
    if (!file.empty())
        PlaySoundW(file.c_str(), nullptr, SND_ASYNC | SND_FILENAME | SND_NODEFAULT);
}

} // namespace platform::win32_backend
