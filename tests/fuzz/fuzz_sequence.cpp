// The sequence-file parser on arbitrary bytes: entries or nothing, never a crash.
#include <sstream>
#include <string>

#include "AdapterCore/ObjectFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (const std::wstring& entry : sequenceEntries(in)) {
        if (entry.empty()) __builtin_trap();  // blank lines are skipped, never entries
    }
    sequenceSearchDirectories(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
