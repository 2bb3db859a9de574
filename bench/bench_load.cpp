// Loading files through ix_reader_parse_object_file, against the bare codec
// decode of the same files in the same run, and object files of growing size.
//
//   bench_load [--quick]       (--quick: smaller images and fewer runs)
//
// Every figure is the median of several runs; the comparison printed is the
// ratio of the library's time to the reference's. Two references are shown:
// the codec decoding into a fresh buffer of the decoded size, as any load must
// produce, and into one buffer reused across runs (the codec's work alone, with
// the first touch of fresh memory taken out). The peak memory of one load is
// measured in a fresh process (bench_load --peak FILE) against the decoded size.
#include <malloc.h>
#include <spng.h>
#include <tiffio.h>
#include <turbojpeg.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <functional>
#include <random>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Timing.h"
#include "AdapterCore/NativeNode.h"
#include "ix_adapter.h"

namespace {


// The whole file in fresh memory, in one read.
std::vector<uint8_t> readAll(const std::string& path) {
    std::ifstream in(path, std::ios::binary | std::ios::ate);
    std::vector<uint8_t> bytes(static_cast<size_t>(in.tellg()));
    in.seekg(0).read(reinterpret_cast<char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
    return bytes;
}

void writeAll(const std::string& path, const void* data, size_t size) {
    std::ofstream(path, std::ios::binary).write(static_cast<const char*>(data), static_cast<std::streamsize>(size));
}

// A photo-like test pattern: smooth gradients with noise, so that codecs work as on real images.
std::vector<uint8_t> pattern(int width, int height, int channels) {
    std::vector<uint8_t> pixels(size_t(width) * height * channels);
    std::mt19937 random(7);
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < channels; ++c) {
                const double v = 128 + 100 * std::sin(x / (40.0 + 13 * c)) * std::cos(y / 57.0) + int(random() % 9) - 4;
                pixels[(size_t(y) * width + x) * channels + c] = static_cast<uint8_t>(std::clamp(v, 0.0, 255.0));
            }
    return pixels;
}

void writePng(const std::string& path, int width, int height) {
    const std::vector<uint8_t> rgb = pattern(width, height, 3);
    spng_ctx* ctx = spng_ctx_new(SPNG_CTX_ENCODER);
    spng_set_option(ctx, SPNG_ENCODE_TO_BUFFER, 1);
    spng_ihdr ihdr = {};
    ihdr.width = width;
    ihdr.height = height;
    ihdr.bit_depth = 8;
    ihdr.color_type = SPNG_COLOR_TYPE_TRUECOLOR;
    spng_set_ihdr(ctx, &ihdr);
    spng_encode_image(ctx, rgb.data(), rgb.size(), SPNG_FMT_PNG, SPNG_ENCODE_FINALIZE);
    size_t size = 0;
    int error = 0;
    void* png = spng_get_png_buffer(ctx, &size, &error);
    writeAll(path, png, size);
    std::free(png);
    spng_ctx_free(ctx);
}

void writeJpeg(const std::string& path, int width, int height) {
    const std::vector<uint8_t> rgb = pattern(width, height, 3);
    tjhandle tj = tjInitCompress();
    unsigned char* jpeg = nullptr;
    unsigned long size = 0;
    tjCompress2(tj, rgb.data(), width, 0, height, TJPF_RGB, &jpeg, &size, TJSAMP_420, 90, 0);
    writeAll(path, jpeg, size);
    tjFree(jpeg);
    tjDestroy(tj);
}

void writeTiff16(const std::string& path, int width, int height) {
    const std::vector<uint8_t> bytes = pattern(width, height, 2);
    TIFF* tif = TIFFOpen(path.c_str(), "w");
    TIFFSetField(tif, TIFFTAG_IMAGEWIDTH, width);
    TIFFSetField(tif, TIFFTAG_IMAGELENGTH, height);
    TIFFSetField(tif, TIFFTAG_BITSPERSAMPLE, 16);
    TIFFSetField(tif, TIFFTAG_SAMPLESPERPIXEL, 1);
    TIFFSetField(tif, TIFFTAG_PHOTOMETRIC, PHOTOMETRIC_MINISBLACK);
    TIFFSetField(tif, TIFFTAG_PLANARCONFIG, PLANARCONFIG_CONTIG);
    TIFFSetField(tif, TIFFTAG_COMPRESSION, COMPRESSION_NONE);
    TIFFSetField(tif, TIFFTAG_ROWSPERSTRIP, 64);
    for (int y = 0; y < height; ++y)
        TIFFWriteScanline(tif, const_cast<uint8_t*>(bytes.data()) + size_t(y) * width * 2, y, 0);
    TIFFClose(tif);
}

// Uncompressed RGB files for our own readers: bottom-up 24-bit BMP, P6 PPM, and
// an object file of one 3-channel byte image.
void writeBmp(const std::string& path, int width, int height) {
    const std::vector<uint8_t> rgb = pattern(width, height, 3);
    const uint32_t row = (uint32_t(width) * 3 + 3) & ~3u, pixels = row * uint32_t(height);
    std::vector<uint8_t> file(54 + size_t(pixels));
    const auto put32 = [&](size_t at, uint32_t v) { std::memcpy(&file[at], &v, 4); };
    file[0] = 'B', file[1] = 'M';
    put32(2, uint32_t(file.size())), put32(10, 54), put32(14, 40), put32(18, uint32_t(width)),
        put32(22, uint32_t(height)), put32(34, pixels);
    file[26] = 1, file[28] = 24;
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x)
            for (int c = 0; c < 3; ++c)
                file[54 + size_t(height - 1 - y) * row + size_t(x) * 3 + c] = rgb[(size_t(y) * width + x) * 3 + 2 - c];
    writeAll(path, file.data(), file.size());
}

void writePpm(const std::string& path, int width, int height) {
    const std::vector<uint8_t> rgb = pattern(width, height, 3);
    const std::string header = "P6\n" + std::to_string(width) + " " + std::to_string(height) + "\n255\n";
    std::ofstream out(path, std::ios::binary);
    out.write(header.data(), std::streamsize(header.size()));
    out.write(reinterpret_cast<const char*>(rgb.data()), std::streamsize(rgb.size()));
}

void writeHobj(const std::string& path, int width, int height) {
    using namespace HalconCpp;
    const std::vector<uint8_t> rgb = pattern(width, height, 3);
    std::vector<uint8_t> planes[3];
    for (int c = 0; c < 3; ++c)
        for (size_t i = 0; i < size_t(width) * height; ++i) planes[c].push_back(rgb[i * 3 + c]);
    HObject image;
    GenImage3(&image, "byte", width, height, Hlong(planes[0].data()), Hlong(planes[1].data()), Hlong(planes[2].data()));
    WriteObject(image, path.c_str());
}

// --- the references: the codec alone, from the file's bytes into a fresh buffer ----------

// The output buffer of a decode: fresh for every decode, or one kept across decodes.
struct Output {
    bool reuse = false;
    std::vector<uint8_t> kept;
    std::unique_ptr<uint8_t[]> fresh;
    uint8_t* get(size_t size) {
        if (!reuse) {
            fresh.reset(new uint8_t[size]);
            return fresh.get();
        }
        if (kept.size() < size) kept.resize(size);
        return kept.data();
    }
};

void decodePng(const std::string& path, Output& output) {
    const std::vector<uint8_t> file = readAll(path);
    spng_ctx* ctx = spng_ctx_new(0);
    spng_set_png_buffer(ctx, file.data(), file.size());
    size_t size = 0;
    spng_decoded_image_size(ctx, SPNG_FMT_PNG, &size);
    if (spng_decode_image(ctx, output.get(size), size, SPNG_FMT_PNG, 0) != 0) std::abort();
    spng_ctx_free(ctx);
}

void decodeJpeg(const std::string& path, Output& output) {
    const std::vector<uint8_t> file = readAll(path);
    tjhandle tj = tjInitDecompress();
    int width = 0, height = 0, subsampling = 0, colorspace = 0;
    tjDecompressHeader3(tj, file.data(), file.size(), &width, &height, &subsampling, &colorspace);
    uint8_t* out = output.get(size_t(width) * height * 3);
    if (tjDecompress2(tj, file.data(), file.size(), out, width, 0, height, TJPF_RGB, 0) != 0) std::abort();
    tjDestroy(tj);
}

void decodeTiff(const std::string& path, Output& output) {
    TIFF* tif = TIFFOpen(path.c_str(), "r");
    uint32_t width = 0, height = 0;
    TIFFGetField(tif, TIFFTAG_IMAGEWIDTH, &width);
    TIFFGetField(tif, TIFFTAG_IMAGELENGTH, &height);
    uint8_t* at = output.get(size_t(width) * height * 2);
    const tsize_t strip = TIFFStripSize(tif);
    for (tstrip_t s = 0; s < TIFFNumberOfStrips(tif); ++s) at += TIFFReadEncodedStrip(tif, s, at, strip);
    TIFFClose(tif);
}

// The least an in-memory reader of an uncompressed RGB file does: the file read
// into fresh memory, then its pixels spread into three fresh planes (or, for
// planes stored as they are held, copied).
void readRaw(const std::string& path, Output& output, bool planar) {
    const std::vector<uint8_t> file = readAll(path);
    const size_t pixels = file.size() / 3;
    uint8_t* out = output.get(pixels * 3);
    if (planar) {
        std::memcpy(out, file.data(), pixels * 3);
        return;
    }
    uint8_t *r = out, *g = out + pixels, *b = out + 2 * pixels;
    for (size_t i = 0; i < pixels; ++i) r[i] = file[i * 3], g[i] = file[i * 3 + 1], b[i] = file[i * 3 + 2];
}
void readInterleaved(const std::string& path, Output& output) {
    readRaw(path, output, false);
}
void readPlanar(const std::string& path, Output& output) {
    readRaw(path, output, true);
}

// Loads `path` once in this (fresh) process and prints the growth of the peak
// resident memory over the decoded size of the images.
int peakMode(const char* path) {
    ReaderHandle* reader = ix_reader_create();
    const size_t before = peakResident();
    const std::wstring wide(path, path + std::strlen(path));
    const NativeNode* root = ix_reader_parse_object_file(reader, wide.c_str());
    if (!root) return 1;
    const size_t after = peakResident();
    size_t decoded = 0;
    for (int32_t i = 0; i < ix_node_child_count(root); ++i) {
        HalconCpp::HImage image(ix_node_child_at(root, i)->object);
        HalconCpp::HString type;
        Hlong width = 0, height = 0;
        image.GetImagePointer1(&type, &width, &height);
        const size_t bytes = std::strcmp(type.TextA(), "byte") == 0 ? 1 : 2;
        decoded += size_t(width) * height * bytes * size_t(image.CountChannels()[0].L());
    }
    std::printf("%.2f\n", double(after - before) / double(decoded));
    ix_reader_destroy(reader);
    return 0;
}

double peakRatio(const std::string& path) {
    const std::string command = std::filesystem::read_symlink("/proc/self/exe").string() + " --peak '" + path + "'";
    FILE* child = popen(command.c_str(), "r");
    double ratio = 0;
    if (!child || std::fscanf(child, "%lf", &ratio) != 1) ratio = -1;
    if (child) pclose(child);
    return ratio;
}

// --- the library -------------------------------------------------------------------------

void load(ReaderHandle* reader, const std::string& path) {
    const std::wstring wide(path.begin(), path.end());
    if (!ix_reader_parse_object_file(reader, wide.c_str())) {
        std::fprintf(stderr, "load failed: %ls\n", ix_reader_last_error(reader));
        std::exit(1);
    }
}

std::string regionsFile(const std::string& dir, int count) {
    using namespace HalconCpp;
    const std::string path = dir + "/regions" + std::to_string(count) + ".hobj";
    std::vector<double> rows, columns, radii;
    for (int i = 0; i < count; ++i) {
        rows.push_back(20.0 + i % 500);
        columns.push_back(20.0 + (i / 500) % 500);
        radii.push_back(3.0 + i % 5);
    }
    HObject circles;
    GenCircle(&circles, HTuple(rows.data(), count), HTuple(columns.data(), count), HTuple(radii.data(), count));
    WriteObject(circles, path.c_str());
    return path;
}

}  // namespace

int main(int argc, char** argv) {
    // Large blocks always come fresh from the system, for the references and the
    // library alike: glibc would otherwise raise its mmap threshold after the
    // first frees and hand some runs recycled, already touched memory.
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    if (argc == 3 && std::strcmp(argv[1], "--peak") == 0) return peakMode(argv[2]);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const int size = quick ? 1024 : 4096;
    const int runs = quick ? 3 : 7;
    // One directory per run: runs at the same time must not rewrite each other's files.
    const std::string dir =
        (std::filesystem::temp_directory_path() / ("ix_bench_load_" + std::to_string(::getpid()))).string();
    std::filesystem::create_directories(dir);
    ReaderHandle* reader = ix_reader_create();

    std::printf("Image loading, %dx%d, median of %d runs\n", size, size, runs);
    std::printf("%-22s %12s %12s %12s %8s %8s %10s\n", "file", "codec fresh", "codec reused", "ixadapter",
                "/fresh", "/reused", "peak/data");
    struct Case {
        const char* name;
        void (*write)(const std::string&, int, int);
        void (*decode)(const std::string&, Output&);
    } cases[] = {{"png (rgb, 8 bit)", writePng, decodePng},
                 {"jpeg (rgb, q90, 4:2:0)", writeJpeg, decodeJpeg},
                 {"tiff (gray, 16 bit)", writeTiff16, decodeTiff},
                 {"bmp (rgb, 24 bit)", writeBmp, readInterleaved},
                 {"ppm (rgb, 8 bit)", writePpm, readInterleaved},
                 {"hobj (rgb, 8 bit)", writeHobj, readPlanar}};
    for (const Case& c : cases) {
        const std::string name = c.name;
        const std::string path = dir + "/image." + name.substr(0, name.find_first_of(" ("));
        c.write(path, size, size);
        Output fresh, reused;
        reused.reuse = true;
        c.decode(path, reused);  // warm the file cache, the code and the reused buffer
        load(reader, path);
        const double codecFresh = medianSeconds(runs, [&] { c.decode(path, fresh); });
        const double codecReused = medianSeconds(runs, [&] { c.decode(path, reused); });
        const double library = medianSeconds(runs, [&] { load(reader, path); });
        std::printf("%-22s %12.1f %12.1f %12.1f %7.2fx %7.2fx %10.2f\n", c.name, codecFresh * 1e3, codecReused * 1e3,
                    library * 1e3, library / codecFresh, library / codecReused, peakRatio(path));
    }

    std::printf("\nObject files of regions (circles of radius 3 to 7), median of %d runs\n", runs);
    std::printf("%-10s %12s %16s\n", "regions", "load (ms)", "per region (us)");
    for (int count : quick ? std::vector<int>{1000, 10000} : std::vector<int>{1000, 10000, 100000}) {
        const std::string path = regionsFile(dir, count);
        load(reader, path);
        const double seconds = medianSeconds(runs, [&] { load(reader, path); });
        std::printf("%-10d %12.1f %16.2f\n", count, seconds * 1e3, seconds / count * 1e6);
    }
    ix_reader_destroy(reader);
    std::filesystem::remove_all(dir);
    return 0;
}
