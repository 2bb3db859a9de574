// What the first byte of an input of fuzz_adapter chooses: the low four bits
// (modulo the table's size) the suffix the rest of the input is written under,
// which picks the load function as ixdump does; bit 7 the reading options of
// dictionary files; bits 4-6 the suffix a loaded object is saved under.
#pragma once

#include <cstdint>
#include <cstring>

namespace ixfuzz {

inline constexpr const char* kLoadSuffixes[] = {"hobj", "png", "seq", "json", "hdict", "onnx",
                                                "ply",  "off", "stl", "obj",  "om3"};
inline constexpr const char* kSaveSuffixes[] = {"hobj", "png", "tif", "bmp", "jpg", "pgm", "dxf", "hobj"};
inline constexpr int kLoadCount = sizeof kLoadSuffixes / sizeof kLoadSuffixes[0];
inline constexpr uint8_t kWithOptions = 0x80;

// The selector of a seed from the corpus of the reader `corpus` (the other
// fuzz targets' names): images of every format load as "png" does, by content.
inline int loadIndexOf(const char* corpus) {
    static const char* const kImages[] = {"bmp", "jpeg", "png", "pnm", "tiff"};
    for (const char* image : kImages)
        if (std::strcmp(corpus, image) == 0) return 1;
    if (std::strcmp(corpus, "sequence") == 0) return 2;
    for (int i = 0; i < kLoadCount; ++i)
        if (std::strcmp(corpus, kLoadSuffixes[i]) == 0) return i;
    return -1;
}

}  // namespace ixfuzz
