#include "base/Hash.h"

#include <sys/random.h>

#include <chrono>

namespace ixv {

namespace {

HashSeed drawSeed() {
    HashSeed seed{0, 0};
    if (::getrandom(&seed, sizeof seed, GRND_NONBLOCK) != static_cast<ssize_t>(sizeof seed)) {
        // No entropy yet (early boot): the clock and an address, mixed.
        const uint64_t t = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
        seed.a = foldedProduct(t ^ reinterpret_cast<uintptr_t>(&seed), 0x9e3779b97f4a7c15ull);
        seed.b = foldedProduct(seed.a ^ 0xd6e8feb86659fd93ull, t | 1);
    }
    seed.b |= 1;  // never a zero factor
    return seed;
}

}  // namespace

const HashSeed& hashSeed() {
    static const HashSeed seed = drawSeed();
    return seed;
}

}  // namespace ixv
