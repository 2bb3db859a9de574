// Writes every registered seed corpus under the directory given.
#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>

#include "Seeds.h"

namespace ixseeds {

namespace {
std::map<std::string, Maker>& registry() {
    static std::map<std::string, Maker> makers;
    return makers;
}
}  // namespace

Registration::Registration(const char* name, Maker maker) {
    registry()[name] = maker;
}

Bytes bytesWrittenBy(const std::function<void(const std::string& path)>& write) {
    const std::string path = (std::filesystem::temp_directory_path() / ("ix_seed_" + std::to_string(getpid()))).string();
    write(path);
    std::ifstream in(path, std::ios::binary);
    Bytes bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::filesystem::remove(path);
    return bytes;
}

}  // namespace ixseeds

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: ix_fuzz_seeds DIRECTORY\n");
        return 2;
    }
    const std::filesystem::path root = argv[1];
    for (const auto& [name, maker] : ixseeds::registry()) {
        const std::filesystem::path dir = root / name;
        std::filesystem::create_directories(dir);
        int count = 0;
        maker([&](const ixseeds::Bytes& bytes) {  // empty: a file the writer refused
            if (bytes.empty()) return;
            std::ofstream out(dir / ("seed" + std::to_string(count++)), std::ios::binary);
            out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
        });
        std::printf("%s: %d seeds\n", name.c_str(), count);
    }
    return 0;
}
