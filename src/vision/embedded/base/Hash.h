// Hashes for the indexes of keys read from files (dictionary keys, a JSON
// object's fields, shared short texts), seeded once per process from the
// system's random source: a file cannot choose keys that share one hash and
// make its load quadratic, as it could with a fixed function.
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>

namespace ixv {

struct HashSeed {
    uint64_t a, b;
};

// The process's seed, drawn on first use.
const HashSeed& hashSeed();

// The high and low halves of a 128-bit product, folded: every bit of the
// result depends on every bit of both factors.
inline uint64_t foldedProduct(uint64_t a, uint64_t b) {
    const unsigned __int128 p = static_cast<unsigned __int128>(a) * b;
    return static_cast<uint64_t>(p) ^ static_cast<uint64_t>(p >> 64);
}

inline uint64_t hashInteger(int64_t value) {
    const HashSeed& s = hashSeed();
    return foldedProduct(static_cast<uint64_t>(value) ^ s.a, s.b);
}

inline uint64_t hashText(std::string_view text) {
    const HashSeed& s = hashSeed();
    const char* p = text.data();
    size_t n = text.size();
    uint64_t h = s.a ^ (n * 0x9e3779b97f4a7c15ull);
    for (; n >= 8; n -= 8, p += 8) {
        uint64_t word;
        std::memcpy(&word, p, 8);
        h = foldedProduct(word ^ s.b, h ^ 0xe7037ed1a0b428dbull);
    }
    uint64_t tail = 0;
    std::memcpy(&tail, p, n);
    return foldedProduct(tail ^ s.b ^ 0x8ebc6af09c88c6e3ull, h ^ 0x589965cc75374cc3ull);
}

// For unordered containers keyed by texts.
struct TextHash {
    size_t operator()(std::string_view text) const { return hashText(text); }
};

}  // namespace ixv
