// A libFuzzer target for the reader of the format with the given suffix: on
// arbitrary bytes it gives a value or an HException, never a crash.
#pragma once

#include "HalconCpp.h"
#include "formats/Formats.h"

inline int fuzzReader(const char* suffix, const uint8_t* data, size_t size) {
    try {
        const auto file = ixv::formats::ByteSource::inMemory(data, size);
        const ixv::formats::Format& format = *ixv::formats::formatNamed(suffix, &ixv::formats::Format::matches);
        ixv::Budget budget = ixv::formats::budgetFor(format, file);
        format.readObjects ? (void)format.readObjects(file, budget) : (void)format.readImage(file, budget);
    } catch (const HalconCpp::HException&) {
    }
    return 0;
}
