// Little-endian integers appended byte by byte, for the writers of binary
// fixtures (BMP files, object files, dictionary files).
#pragma once

#include <cstdint>
#include <vector>

namespace ixtest {

using Bytes = std::vector<uint8_t>;

// Appends the low `bytes` bytes of `value`, the least significant first.
inline void put(Bytes& out, uint64_t value, int bytes = 4) {
    for (int i = 0; i < bytes; ++i) out.push_back(static_cast<uint8_t>(value >> (8 * i)));
}

}  // namespace ixtest
