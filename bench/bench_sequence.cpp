// Sequence files of growing length, against the same number of single loads
// of the file they name, in the same run.
//
//   bench_sequence [--quick]
//
// The sequence of N entries names one small PNG N times; the reference loads
// that PNG N times through ix_reader_parse_object_file. A ratio that stays
// flat as N grows says the sequence load is linear in its entries (the
// entries share the PNG's image, decoded once, so the ratio is below 1). The PNG
// lies in the first directory an entry is looked up in (the parent of the
// sequence file's directory); an entry found only in the second costs 21 more
// status queries, which the format prescribes.
#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include "ix_adapter.h"

namespace {

const unsigned char kTinyPng[] = {
    0x89, 0x50, 0x4e, 0x47, 0x0d, 0x0a, 0x1a, 0x0a, 0x00, 0x00, 0x00, 0x0d, 0x49, 0x48, 0x44, 0x52, 0x00, 0x00, 0x00, 0x02, 0x00, 0x00, 0x00, 0x02, 0x08, 0x00, 0x00, 0x00, 0x00, 0x57, 0xdd, 0x52, 0xf8, 0x00, 0x00, 0x00, 0x0e, 0x49, 0x44, 0x41, 0x54, 0x78, 0x9c, 0x63, 0x60, 0x64, 0x62, 0x60, 0x66, 0x01, 0x00, 0x00, 0x1d, 0x00, 0x0b, 0x0d, 0xb5, 0x52, 0x06, 0x00, 0x00, 0x00, 0x00, 0x49, 0x45, 0x4e, 0x44, 0xae, 0x42, 0x60, 0x82};

double seconds(const std::wstring& path, int times) {
    ReaderHandle* reader = ix_reader_create();
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < times; ++i)
        if (!ix_reader_parse_object_file(reader, path.c_str())) {
            std::fprintf(stderr, "load failed: %ls\n", ix_reader_last_error(reader));
            std::exit(1);
        }
    const double s = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ix_reader_destroy(reader);
    return s;
}

std::wstring wide(const std::filesystem::path& path) {
    const std::string text = path.string();
    return std::wstring(text.begin(), text.end());
}

}  // namespace

int main(int argc, char** argv) {
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const std::filesystem::path dir = std::filesystem::temp_directory_path() / "ixbench_sequence";
    std::filesystem::create_directories(dir);
    std::ofstream(dir / "tiny.png", std::ios::binary).write(reinterpret_cast<const char*>(kTinyPng), sizeof kTinyPng);

    std::printf("| entries | sequence (s) | single loads (s) | ratio |\n|---|---|---|---|\n");
    const std::vector<int> sizes = quick ? std::vector<int>{1000, 10000} : std::vector<int>{1000, 10000, 100000};
    for (int n : sizes) {
        std::filesystem::create_directories(dir / "lists");
        const std::filesystem::path seq = dir / "lists" / ("s" + std::to_string(n) + ".seq");
        {
            std::ofstream out(seq);
            for (int i = 0; i < n; ++i) out << "tiny.png\n";
        }
        const double sequence = seconds(wide(seq), 1);
        const double singles = seconds(wide(dir / "tiny.png"), n);
        std::printf("| %d | %.3f | %.3f | %.2fx |\n", n, sequence, singles, sequence / singles);
    }
    std::filesystem::remove_all(dir);
    return 0;
}
