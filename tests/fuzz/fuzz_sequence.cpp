// The sequence-file parser on arbitrary bytes: entries or nothing, never a crash.
#include <algorithm>
#include <sstream>
#include <string>

#include "AdapterCore/ObjectFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    const std::string bytes(reinterpret_cast<const char*>(data), size);
    std::istringstream in(bytes);
    // Every entry comes from a line of its own.
    if (sequenceEntries(in).size() > static_cast<size_t>(std::count(bytes.begin(), bytes.end(), '\n')) + 1)
        __builtin_trap();
    sequenceSearchDirectories(bytes);
    return 0;
}
