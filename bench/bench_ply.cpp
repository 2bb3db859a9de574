// Reading a binary little-endian PLY file of 10 million points (x, y, z and
// nx, ny, nz as floats) with ReadObjectModel3d, against a bare read() of the
// same file into a freshly allocated buffer, in the same run.
//
//   bench_ply [--quick] [DIR]   (--quick: a million points; DIR: where the file goes, default /tmp)
//
// Every figure is the median of several runs; the ratio printed is the
// library's time over the bare read's.
#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <memory>
#include <random>
#include <string>
#include <vector>

#include "HalconCpp.h"
#include "Timing.h"

using namespace HalconCpp;

namespace {

void writePly(const std::string& path, size_t points) {
    std::ofstream out(path, std::ios::binary);
    out << "ply\nformat binary_little_endian 1.0\nelement vertex " << points
        << "\nproperty float x\nproperty float y\nproperty float z\nproperty float nx\nproperty float ny\n"
           "property float nz\nend_header\n";
    std::mt19937 random(3);
    std::uniform_real_distribution<float> value(-1, 1);
    std::vector<float> chunk;
    for (size_t done = 0; done < points;) {
        const size_t k = std::min<size_t>(65536, points - done);
        chunk.resize(k * 6);
        for (float& v : chunk) v = value(random);
        out.write(reinterpret_cast<const char*>(chunk.data()), static_cast<std::streamsize>(chunk.size() * sizeof(float)));
        done += k;
    }
}

// The whole file with read() into fresh memory, as any reader must at least do.
size_t bareRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY);
    const off_t size = ::lseek(fd, 0, SEEK_END);
    std::unique_ptr<char[]> buffer(new char[static_cast<size_t>(size)]);
    size_t done = 0;
    while (done < static_cast<size_t>(size)) {
        const ssize_t n = ::pread(fd, buffer.get() + done, static_cast<size_t>(size) - done, static_cast<off_t>(done));
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    return done + static_cast<unsigned char>(buffer[done / 2]);
}

}  // namespace

int main(int argc, char** argv) {
    bool quick = false;
    std::string dir = "/tmp";
    for (int i = 1; i < argc; ++i) {
        if (std::strcmp(argv[i], "--quick") == 0)
            quick = true;
        else
            dir = argv[i];
    }
    const size_t points = quick ? 1000000 : 10000000;
    const int runs = quick ? 7 : 5;
    const std::string path = dir + "/bench_ply_" + std::to_string(::getpid()) + ".ply";
    writePly(path, points);
    bareRead(path);  // the file in the page cache for both

    volatile size_t sink = 0;
    const double bare = medianSeconds(runs, [&] { sink = sink + bareRead(path); });
    Hlong read = 0;
    const double library = medianSeconds(runs, [&] {
        HTuple model, status, count;
        ReadObjectModel3d(path.c_str(), "m", HTuple(), HTuple(), &model, &status);
        GetObjectModel3dParams(model, "num_points", &count);
        read = count[0].L();
    });
    std::remove(path.c_str());
    if (read != static_cast<Hlong>(points)) {
        std::fprintf(stderr, "read %ld points, expected %zu\n", static_cast<long>(read), points);
        return 1;
    }
    const double megabytes = static_cast<double>(points) * 24 / 1e6;
    std::printf("binary PLY, %zu points with normals (%.0f MB)\n", points, megabytes);
    std::printf("  bare read()            %8.1f ms  %7.0f MB/s\n", bare * 1e3, megabytes / bare);
    std::printf("  ReadObjectModel3d      %8.1f ms  %7.0f MB/s\n", library * 1e3, megabytes / library);
    std::printf("  ratio                  %8.2f x   (target: at most 3)\n", library / bare);
    return 0;
}
