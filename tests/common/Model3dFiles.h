// Small 3D object model files for tests and fuzz seeds: PLY headers with
// binary records packed in either byte order, binary STL and OBJ/OFF text.
#pragma once

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

namespace ixtest::model3d {

using Bytes = std::vector<uint8_t>;

inline Bytes bytesOf(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// Appends values in little- or big-endian order.
class Packer {
public:
    explicit Packer(bool bigEndian = false, Bytes start = {}) : big_(bigEndian), bytes_(std::move(start)) {}
    template <class T>
    Packer& put(T value) {
        uint8_t raw[sizeof(T)];
        std::memcpy(raw, &value, sizeof(T));
        for (size_t i = 0; i < sizeof(T); ++i) bytes_.push_back(raw[big_ ? sizeof(T) - 1 - i : i]);
        return *this;
    }
    const Bytes& bytes() const { return bytes_; }

private:
    bool big_;
    Bytes bytes_;
};

// A binary STL of triangles given as 9 coordinates each, with an 80-byte header.
inline Bytes binaryStl(const std::vector<std::vector<float>>& triangles, const std::string& header = "binary") {
    Bytes start(80, ' ');
    std::memcpy(start.data(), header.data(), std::min<size_t>(header.size(), 80));
    Packer out(false, start);
    out.put<uint32_t>(static_cast<uint32_t>(triangles.size()));
    for (const auto& t : triangles) {
        out.put<float>(0).put<float>(0).put<float>(1);
        for (const float v : t) out.put<float>(v);
        out.put<uint16_t>(0);
    }
    return out.bytes();
}

}  // namespace ixtest::model3d
