// Writes every registered seed corpus under the directory given.
#include <cstdio>
#include <filesystem>
#include <fstream>

#include "Seeds.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ix_fuzz_seeds DIRECTORY\n");
        return 2;
    }
    for (const auto& [name, maker] : ixseeds::registry()) {
        const std::filesystem::path dir = std::filesystem::path(argv[1]) / name;
        std::filesystem::create_directories(dir);
        int count = 0;
        maker([&](const ixseeds::Bytes& bytes) {
            if (bytes.empty()) return;  // a file the writer refused
            std::ofstream(dir / ("seed" + std::to_string(count++)), std::ios::binary)
                .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        });
        std::printf("%s: %d seeds\n", name.c_str(), count);
    }
    return 0;
}
