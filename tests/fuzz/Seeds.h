// Seed inputs for the fuzz targets, written at test time. Each file in seeds/
// registers one corpus with IX_SEEDS(name), where name is the fuzz target's
// name without "fuzz_"; the body adds inputs with `add(bytes)`.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

namespace ixseeds {

using Bytes = std::vector<uint8_t>;
using Add = std::function<void(const Bytes&)>;
using Maker = void (*)(const Add& add);

struct Registration {
    Registration(const char* name, Maker maker);
};

// The bytes of a file written by `write(path)`, for codecs that write files.
Bytes bytesWrittenBy(const std::function<void(const std::string& path)>& write);

}  // namespace ixseeds

#define IX_SEEDS(name)                                                               \
    static void ixSeeds_##name(const ixseeds::Add& add);                             \
    static const ixseeds::Registration ixSeedsRegistration_##name(#name, ixSeeds_##name); \
    static void ixSeeds_##name(const ixseeds::Add& add)
