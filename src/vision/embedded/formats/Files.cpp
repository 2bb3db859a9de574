// Files as bytes: mapping for reading, atomic replacement for writing.
#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <algorithm>
#include <random>

#include "base/Errors.h"
#include "Formats.h"

namespace ixv::formats {

MappedFile::MappedFile(const std::string& path, const char* proc) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        if (errno == ENOENT || errno == ENOTDIR) raise(proc, err::FileNotFound);
        raise(proc, err::FileRead, std::strerror(errno));
    }
    struct stat info;
    if (::fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        ::close(fd);
        raise(proc, err::FileRead, "not a regular file");
    }
    size_ = static_cast<size_t>(info.st_size);
    if (size_ > 0) {
        void* data = ::mmap(nullptr, size_, PROT_READ, MAP_PRIVATE, fd, 0);
        if (data == MAP_FAILED) {
            const int e = errno;
            ::close(fd);
            raise(proc, err::FileRead, std::strerror(e));
        }
        data_ = static_cast<const uint8_t*>(data);
        mapped_ = true;
    }
    ::close(fd);
}

MappedFile::~MappedFile() {
    if (mapped_) ::munmap(const_cast<uint8_t*>(data_), size_);
}

void releaseInput(Bytes file, uint64_t offset, uint64_t size) {
    if (!file.mapped || offset >= file.size) return;
    const uint64_t end = std::min<uint64_t>(file.size, offset + std::min<uint64_t>(size, file.size));
    const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
    const uintptr_t begin = (reinterpret_cast<uintptr_t>(file.data) + offset + page - 1) / page * page;
    const uintptr_t stop = (reinterpret_cast<uintptr_t>(file.data) + end) / page * page;
    if (stop > begin) ::madvise(reinterpret_cast<void*>(begin), stop - begin, MADV_DONTNEED);
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

void writeFileAtomically(const std::string& path, const uint8_t* data, size_t size, const char* proc) {
    std::random_device random;
    const std::string temporary = path + ".tmp" + std::to_string(random() % 1000000);
    const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
    if (fd < 0) raise(proc, err::FileWrite, path + ": " + std::strerror(errno));
    size_t written = 0;
    while (written < size) {
        const ssize_t n = ::write(fd, data + written, size - written);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) {
            const int e = errno;
            ::close(fd);
            ::unlink(temporary.c_str());
            raise(proc, err::FileWrite, path + ": " + std::strerror(e));
        }
        written += static_cast<size_t>(n);
    }
    if (::close(fd) != 0 || std::rename(temporary.c_str(), path.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary.c_str());
        raise(proc, err::FileWrite, path + ": " + std::strerror(e));
    }
}

void raiseInvalid(const char* format, const std::string& problem) {
    raiseMessage("read_image", err::FileFormat, std::string("Invalid ") + format + " file: " + problem);
}

}  // namespace ixv::formats
