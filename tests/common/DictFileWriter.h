// Dictionary files (docs/formats.md) for the tests and the hostile cases,
// built byte by byte where they must be damaged or deep; valid ones come from
// the library's own encoder.
#pragma once

#include <string>

#include "ByteWriter.h"

namespace ixtest::hdict {

using ixtest::Bytes, ixtest::put;

// The magic, version 1 and the reserved field.
inline Bytes header() {
    return {0x89, 'I', 'X', 'D', 'I', 'C', '\r', '\n', 1, 0, 0, 0, 0, 0, 0, 0};
}

// A string key: tag 1, length, bytes.
inline void key(Bytes& out, const std::string& name) {
    out.push_back(1);
    put(out, name.size(), 4);
    out.insert(out.end(), name.begin(), name.end());
}

// A file of `levels` dictionaries, each holding the next as the one element of
// the tuple under key "d"; the deepest is empty.
inline Bytes nested(size_t levels) {
    Bytes out = header();
    for (size_t level = 1; level < levels; ++level) {
        put(out, 1, 8);
        key(out, "d");
        out.push_back(3);
        put(out, 1, 8);
        out.push_back(17);
    }
    put(out, 0, 8);
    return out;
}

}  // namespace ixtest::hdict
