// The seeds of every other reader, each behind the first byte that loads it
// through the C interface (FuzzAdapter.h); a JSON seed's mode byte becomes the
// choice of the reading options.
#include "FuzzAdapter.h"
#include "Seeds.h"

IX_SEEDS(adapter) {
    for (const auto& [name, maker] : ixseeds::registry()) {
        const int load = ixfuzz::loadIndexOf(name.c_str());
        if (load < 0) continue;
        uint8_t saveAs = 0;
        maker([&, name = name](const ixseeds::Bytes& seed) {
            if (seed.empty()) return;
            const bool json = name == "json";
            ixseeds::Bytes bytes{static_cast<uint8_t>(load | (saveAs++ % 8) << 4 |
                                                      (json && (seed[0] & 1) ? ixfuzz::kWithOptions : 0))};
            bytes.insert(bytes.end(), seed.begin() + (json ? 1 : 0), seed.end());
            add(bytes);
        });
    }
}
