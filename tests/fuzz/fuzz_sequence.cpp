// The sequence-file parser on arbitrary bytes: entries or nothing, never a crash.
#include <sstream>
#include <string>

#include "AdapterCore/ObjectFiles.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    std::istringstream in(std::string(reinterpret_cast<const char*>(data), size));
    for (const std::wstring& entry : sequenceEntries(in)) {
        // Entries are trimmed: no leading or trailing space or tab survives.
        if (!entry.empty() && (entry.front() == L' ' || entry.front() == L'\t' || entry.back() == L' ' ||
                               entry.back() == L'\t'))
            __builtin_trap();
    }
    sequenceSearchDirectories(std::string(reinterpret_cast<const char*>(data), size));
    return 0;
}
