// Opening a 1 GB ONNX model with ReadDlModel, against a bare read of the whole
// file in the same run.
//
//   bench_onnx [--quick]     (--quick: a model of 128 MB)
//
// The model is a small graph plus one initializer whose raw_data declares
// about 1 GB, written as a sparse file (the payload is a hole, read back as
// zeros). The reference opens the file and read()s all of it into a freshly
// allocated buffer; ReadDlModel reads the model's description and skips the
// payload. Figures: median of 7 runs, their ratio, and the bytes each read
// (rchar of /proc/self/io).
#include <fcntl.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>

#include "HalconCpp.h"
#include "OnnxWriter.h"
#include "Timing.h"

namespace {

// Bytes this process has read through read() and its kind so far.
unsigned long long bytesRead() {
    std::ifstream io("/proc/self/io");
    std::string name;
    unsigned long long value = 0;
    while (io >> name >> value)
        if (name == "rchar:") return value;
    return 0;
}

void bareRead(const std::string& path) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    const size_t size = std::filesystem::file_size(path);
    char* buffer = static_cast<char*>(std::malloc(size));
    size_t done = 0;
    while (done < size) {
        const ssize_t n = ::read(fd, buffer + done, size - done);
        if (n <= 0) break;
        done += static_cast<size_t>(n);
    }
    ::close(fd);
    volatile char sink = buffer[size / 2];
    (void)sink;
    std::free(buffer);
    if (done != size) {
        std::fprintf(stderr, "bench_onnx: short read of %s\n", path.c_str());
        std::exit(1);
    }
}

void readModel(const std::string& path) {
    HalconCpp::HDlModel model;
    model.ReadDlModel(path.c_str());
}

}  // namespace

int main(int argc, char** argv) {
    mallopt(M_MMAP_THRESHOLD, 1 << 20);
    const bool quick = argc > 1 && std::strcmp(argv[1], "--quick") == 0;
    const uint64_t payload = quick ? uint64_t{128} << 20 : uint64_t{1} << 30;
    const std::string path =
        (std::filesystem::temp_directory_path() / ("ix_bench_onnx_" + std::to_string(::getpid()) + ".onnx")).string();
    ixtest::onnx::writeSparseModel(path, payload);
    const int runs = 7;
    bareRead(path);  // warm the page cache and the code
    readModel(path);

    unsigned long long before = bytesRead();
    readModel(path);
    const unsigned long long modelBytes = bytesRead() - before;
    before = bytesRead();
    bareRead(path);
    const unsigned long long bareBytes = bytesRead() - before;

    const double bare = medianSeconds(runs, [&] { bareRead(path); });
    const double model = medianSeconds(runs, [&] { readModel(path); });
    std::printf("ONNX model of %.1f MB (sparse), median of %d runs\n", double(std::filesystem::file_size(path)) / 1e6,
                runs);
    std::printf("%-22s %10s %14s\n", "", "ms", "bytes read");
    std::printf("%-22s %10.3f %14llu\n", "bare read()", bare * 1e3, bareBytes);
    std::printf("%-22s %10.3f %14llu\n", "ReadDlModel", model * 1e3, modelBytes);
    std::printf("ratio ReadDlModel / bare read: %.2e (target <= 0.05)\n", model / bare);
    std::filesystem::remove(path);
    return model / bare <= 0.05 ? 0 : 1;
}
