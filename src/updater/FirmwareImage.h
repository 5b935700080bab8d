#pragma once

#include <cstddef>

namespace updater {

// Every firmware image is exactly this long.
inline constexpr std::size_t FIRMWARE_IMAGE_SIZE = 16384;

// Where the delivered image starts in the updater's own program file. The
// build pads the program file to this length, so an image appended to it
// starts here (see the "Firmware updater" section of the README).
inline constexpr long EMBEDDED_IMAGE_OFFSET = TESSEL_EMBEDDED_IMAGE_OFFSET;

// Longest image path accepted, in characters: the Windows MAX_PATH limit
// without the terminator.
inline constexpr std::size_t MAX_IMAGE_PATH_LENGTH = 259;

} // namespace updater
