// Seed inputs for the fuzz targets, written at test time. Each file in seeds/
// registers one corpus with IX_SEEDS(name), where name is the fuzz target's
// name without "fuzz_"; the body adds inputs with `add(bytes)`.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

namespace ixv {
class ObjectModel3d;
}

namespace ixseeds {

using Bytes = std::vector<uint8_t>;
using Add = std::function<void(const Bytes&)>;
using Maker = void (*)(const Add& add);

inline std::map<std::string, Maker>& registry() {
    static std::map<std::string, Maker> makers;
    return makers;
}

// A model with every field set: points, normals, triangles, a polygon, an attribute and a primitive.
std::shared_ptr<ixv::ObjectModel3d> modelOfEveryField();

}  // namespace ixseeds

#define IX_SEEDS(name)                                                                               \
    static void ixSeeds_##name(const ixseeds::Add& add);                                             \
    static const bool ixSeedsRegistered_##name = (ixseeds::registry()[#name] = ixSeeds_##name, true); \
    static void ixSeeds_##name(const ixseeds::Add& add)
