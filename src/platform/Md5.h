#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>

namespace platform {

using Md5Digest = std::array<std::uint8_t, 16>;

// The MD5 digest of a block of bytes, computed by the system's own crypto
// provider; nothing when the provider cannot compute one.
std::optional<Md5Digest> computeMd5(const unsigned char *data, std::size_t size);

} // namespace platform
