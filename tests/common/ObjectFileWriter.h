// Object files (docs/formats.md) for the tests and the hostile cases, built
// record by record; valid ones come from the library's own encoder.
#pragma once

#include <cstring>
#include <utility>

#include "ByteWriter.h"

namespace ixtest::hobj {

using ixtest::Bytes, ixtest::put;

// A file declaring `count` objects, with its records, each as (tag, payload).
inline Bytes file(uint32_t count, const std::vector<std::pair<uint32_t, Bytes>>& records) {
    Bytes out = {0x89, 'I', 'X', 'O', 'B', 'J', '\r', '\n'};
    put(out, 1, 4), put(out, count, 4);
    for (const auto& [tag, payload] : records) {
        put(out, tag, 4), put(out, 0, 4), put(out, payload.size(), 8);
        out.insert(out.end(), payload.begin(), payload.end());
    }
    return out;
}

// A polyline payload: the point count, the rows, the columns; of `n` points at 0, 0 by default.
inline Bytes polyline(const std::vector<double>& rowsThenColumns) {
    Bytes out;
    put(out, rowsThenColumns.size() / 2, 8);
    for (const double v : rowsThenColumns) {
        uint64_t bits;
        std::memcpy(&bits, &v, 8);
        put(out, bits, 8);
    }
    return out;
}
inline Bytes points(size_t n) {
    return polyline(std::vector<double>(2 * n, 0));
}

inline Bytes concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

}  // namespace ixtest::hobj
