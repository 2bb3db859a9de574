// ix_extract_image of large images, against two copies of the same number of
// bytes into fresh buffers in the same run (the interface copies twice: from
// the library's image into the extraction's result, and from there into the
// host's buffer).
//
//   bench_extract [--quick]     (--quick: 1024 x 1024 instead of 4096 x 4096)
//
// Every figure is the median of 7 runs; the ratio is the extraction's time
// over the reference's. Images: one-channel byte with a full domain (Gray),
// three-channel byte (Bgr), and one-channel byte with a reduced domain (Bgra
// through the mask and the four-channel interleaving). Then
// ix_extract_region_runs of a region of a million runs, against two copies of
// its three arrays of 32-bit integers. Last, ix_extract_image_values of a
// one-channel uint2 image (its true values, one copy of its plane), against
// one copy of the plane's bytes into a fresh buffer.
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Timing.h"
#include "ix_adapter.h"

using namespace HalconCpp;

namespace {

// Two copies of `bytes` bytes, each into a buffer allocated for it.
void twoCopies(const std::vector<uint8_t>& source, size_t bytes) {
    uint8_t* first = static_cast<uint8_t*>(std::malloc(bytes));
    std::memcpy(first, source.data(), bytes);
    uint8_t* second = static_cast<uint8_t*>(std::malloc(bytes));
    std::memcpy(second, first, bytes);
    std::free(first);
    volatile uint8_t sink = second[bytes / 2];
    (void)sink;
    std::free(second);
}

// One copy of `bytes` bytes into a buffer allocated for it.
void oneCopy(const std::vector<uint8_t>& source, size_t bytes) {
    uint8_t* copy = static_cast<uint8_t*>(std::malloc(bytes));
    std::memcpy(copy, source.data(), bytes);
    volatile uint8_t sink = copy[bytes / 2];
    (void)sink;
    std::free(copy);
}

HObject uint2Image(int64_t size) {
    std::vector<uint16_t> pixels(static_cast<size_t>(size * size));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint16_t>(i * 7 + (i >> 12));
    HObject image;
    GenImage1(&image, "uint2", size, size, reinterpret_cast<Hlong>(pixels.data()));
    return image;
}

HObject image(int64_t size, int channels, bool reduced) {
    std::vector<uint8_t> pixels(static_cast<size_t>(size * size));
    for (size_t i = 0; i < pixels.size(); ++i) pixels[i] = static_cast<uint8_t>(i * 7 + (i >> 12));
    HObject gray, result;
    GenImage1(&gray, "byte", size, size, reinterpret_cast<Hlong>(pixels.data()));
    result = gray;
    if (channels == 3) Compose3(gray, gray, gray, &result);
    if (reduced) {
        HObject circle;
        GenCircle(&circle, size / 2.0, size / 2.0, size / 3.0);
        HObject reducedImage;
        ReduceDomain(result, circle, &reducedImage);
        result = reducedImage;
    }
    return result;
}

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);  // large blocks come fresh from the system for both sides
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int64_t size = quick ? 1024 : 4096;
    const std::string path = (std::filesystem::temp_directory_path() /
                              ("ix_bench_extract_" + std::to_string(::getpid()) + ".hobj")).string();
    HObject objects;
    ConcatObj(image(size, 1, false), image(size, 3, false), &objects);
    ConcatObj(objects, image(size, 1, true), &objects);
    ConcatObj(objects, uint2Image(size), &objects);
    WriteObject(objects, path.c_str());

    ReaderHandle* reader = ix_reader_create();
    const std::wstring wide(path.begin(), path.end());
    const NativeNode* root = ix_reader_parse_object_file(reader, wide.c_str());
    if (!root) {
        std::fprintf(stderr, "bench_extract: %ls\n", ix_reader_last_error(reader));
        return 1;
    }
    std::printf("ix_extract_image of %lld x %lld images, median of 7 runs\n", static_cast<long long>(size),
                static_cast<long long>(size));
    std::printf("%-34s %10s %12s %12s %8s\n", "image", "MB out", "extract ms", "2 copies ms", "ratio");
    const char* names[] = {"gray, full domain (Gray)", "RGB, full domain (Bgr)", "gray, reduced domain (Bgra)"};
    for (int32_t i = 0; i < 3; ++i) {
        const NativeNode* node = ix_node_child_at(root, i);
        int32_t width = 0, height = 0, rowBytes = 0, format = 0;
        uint8_t* pixels = nullptr;
        auto extract = [&] {
            if (!ix_extract_image(reader, node, 0, &width, &height, &rowBytes, &format, &pixels)) {
                std::fprintf(stderr, "bench_extract: no image: %ls\n", ix_reader_last_error(reader));
                std::exit(1);
            }
            ix_free_buffer(pixels);
        };
        extract();
        const size_t bytes = static_cast<size_t>(height) * static_cast<size_t>(rowBytes);
        const std::vector<uint8_t> source(bytes, 1);
        const double library = medianSeconds(7, extract);
        const double reference = medianSeconds(7, [&] { twoCopies(source, bytes); });
        std::printf("%-34s %10.1f %12.1f %12.1f %7.2fx\n", names[i], bytes / 1e6, library * 1e3, reference * 1e3,
                    library / reference);
    }

    {
        const NativeNode* node = ix_node_child_at(root, 3);
        IxImageInfo info{};
        uint8_t* values = nullptr;
        auto extract = [&] {
            if (!ix_extract_image_values(reader, node, 0, &info, &values)) {
                std::fprintf(stderr, "bench_extract: no values: %ls\n", ix_reader_last_error(reader));
                std::exit(1);
            }
            ix_free_buffer(values);
        };
        extract();
        const size_t bytes = static_cast<size_t>(info.width) * static_cast<size_t>(info.height) *
                             static_cast<size_t>(info.bytesPerValue);
        const std::vector<uint8_t> source(bytes, 1);
        const double library = medianSeconds(7, extract);
        const double reference = medianSeconds(7, [&] { oneCopy(source, bytes); });
        std::printf("\nix_extract_image_values of a %d x %d uint2 image (%.1f MB): %.1f ms; one copy of its plane: "
                    "%.1f ms (%.2fx)\n",
                    info.width, info.height, bytes / 1e6, library * 1e3, reference * 1e3, library / reference);
    }

    // A region of a million runs, one per row.
    const Hlong runCount = quick ? 100000 : 1000000;
    std::vector<Hlong> rows(static_cast<size_t>(runCount)), begins(rows.size()), ends(rows.size());
    for (Hlong r = 0; r < runCount; ++r) {
        rows[static_cast<size_t>(r)] = r;
        begins[static_cast<size_t>(r)] = r % 1000;
        ends[static_cast<size_t>(r)] = r % 1000 + 10;
    }
    HObject region;
    GenRegionRuns(&region, HTuple(rows.data(), runCount), HTuple(begins.data(), runCount),
                  HTuple(ends.data(), runCount));
    WriteObject(region, path.c_str());
    root = ix_reader_parse_object_file(reader, wide.c_str());
    const NativeNode* node = root ? ix_node_child_at(root, 0) : nullptr;
    int32_t *runRows = nullptr, *runBegins = nullptr, *runEnds = nullptr, count = 0;
    const double library = medianSeconds(7, [&] {
        if (!ix_extract_region_runs(reader, node, 0, &runRows, &runBegins, &runEnds, &count)) {
            std::fprintf(stderr, "bench_extract: no runs: %ls\n", ix_reader_last_error(reader));
            std::exit(1);
        }
        ix_free_int_buffer(runRows);
        ix_free_int_buffer(runBegins);
        ix_free_int_buffer(runEnds);
    });
    const size_t bytes = static_cast<size_t>(runCount) * sizeof(int32_t);
    const std::vector<uint8_t> source(bytes, 1);
    const double reference = medianSeconds(7, [&] {
        for (int k = 0; k < 3; ++k) twoCopies(source, bytes);
    });
    std::printf("\nix_extract_region_runs of %lld runs: %.1f ms; two copies of its three arrays: %.1f ms (%.2fx)\n",
                static_cast<long long>(runCount), library * 1e3, reference * 1e3, library / reference);
    ix_reader_destroy(reader);
    std::filesystem::remove(path);
    return 0;
}
