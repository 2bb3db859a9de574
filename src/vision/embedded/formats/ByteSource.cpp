// Reading files with pread; writing them through a temporary file (ixfile::ReplacingFile).
#include "formats/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/Errors.h"

namespace ixv::formats {

namespace {

constexpr size_t kHeadSize = 64;

using ixfile::describeFileType;
using ixfile::errorText;

}  // namespace

ByteSource ByteSource::openFile(const std::string& path, const char* proc) {
    ByteSource source;
    source.proc_ = proc;
    source.path_ = path;
    // Non-blocking, so that opening a FIFO returns at once; fstat then refuses it.
    source.fd_ = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC | O_NOCTTY);
    if (source.fd_ < 0) {
        if (errno == ENOENT || errno == ENOTDIR || (errno == ELOOP && path.empty()))
            raise(proc, err::FileNotFound);
        raise(proc, err::FileRead, path + ": " + errorText(errno));
    }
    struct stat info;
    if (::fstat(source.fd_, &info) != 0) raise(proc, err::FileRead, path + ": " + errorText(errno));
    // O_NONBLOCK stays set: it does not change how a regular file is read.
    if (!S_ISREG(info.st_mode)) raise(proc, err::FileRead, path + " is " + describeFileType(info.st_mode));
    source.size_ = static_cast<uint64_t>(info.st_size);
    source.identity_ = {info.st_dev, info.st_ino, source.size_, info.st_mtim.tv_sec, info.st_mtim.tv_nsec};
    source.head_.resize(static_cast<size_t>(std::min<uint64_t>(kHeadSize, source.size_)));
    source.head_.resize(source.readSome(0, source.head_.data(), source.head_.size()));
    return source;
}

ByteSource ByteSource::inMemory(const uint8_t* data, size_t size, const char* proc) {
    ByteSource source;
    source.proc_ = proc;
    source.memory_ = data;
    source.size_ = size;
    source.identity_ = {0, reinterpret_cast<uintptr_t>(data), size, 0, 0};
    source.head_.assign(data, data + std::min(size, kHeadSize));
    return source;
}

ByteSource::ByteSource(ByteSource&& other) noexcept
    : fd_(other.fd_),
      memory_(other.memory_),
      size_(other.size_),
      proc_(other.proc_),
      path_(std::move(other.path_)),
      head_(std::move(other.head_)),
      identity_(other.identity_) {
    other.fd_ = -1;
}

ByteSource::~ByteSource() {
    if (fd_ >= 0) ::close(fd_);
}

size_t ByteSource::readSome(uint64_t offset, void* out, size_t n) const {
    if (offset >= size_ || n == 0) return 0;
    n = static_cast<size_t>(std::min<uint64_t>(n, size_ - offset));
    if (memory_) {
        std::memcpy(out, memory_ + offset, n);
        return n;
    }
    size_t done = 0;
    while (done < n) {
        const ssize_t got = ::pread(fd_, static_cast<uint8_t*>(out) + done, n - done, static_cast<off_t>(offset + done));
        if (got < 0) {
            if (errno == EINTR) continue;
            raise(proc_, err::FileRead, path_ + ": " + errorText(errno));
        }
        if (got == 0)
            raise(proc_, err::FileRead,
                  path_ + " was truncated while being read: it ends at byte " + std::to_string(offset + done) +
                      " of the " + std::to_string(size_) + " it had when opened");
        done += static_cast<size_t>(got);
    }
    return done;
}

void ByteSource::read(uint64_t offset, void* out, size_t n, const char* format, const char* what) const {
    const uint64_t left = offset >= size_ ? 0 : size_ - offset;
    if (n > left)
        raiseMessage(proc_, err::FileFormat,
                     std::string("Invalid ") + format + " file: truncated " + what + " at offset " +
                         std::to_string(offset) + " (needs " + std::to_string(n) + " bytes, " + std::to_string(left) +
                         " left)");
    readSome(offset, out, n);
}

// ---------------------------------------------------------------------------

ByteStream::ByteStream(const ByteSource& source, const char* format, uint64_t offset, size_t bufferSize)
    : source_(source),
      format_(format),
      offset_(offset),
      buffer_(static_cast<size_t>(std::min<uint64_t>(std::max<size_t>(bufferSize, 4096), source.size() + 1))) {}

bool ByteStream::fill(size_t wanted) {
    if (offset_ >= bufferStart_ && offset_ + wanted <= bufferStart_ + bufferLength_) return true;
    bufferStart_ = offset_;
    bufferLength_ = source_.readSome(offset_, buffer_.data(), buffer_.size());
    return wanted <= bufferLength_;
}

void ByteStream::truncated(uint64_t n, const char* what) const {
    raiseMessage(source_.proc(), err::FileFormat,
                 std::string("Invalid ") + format_ + " file: truncated " + what + " at offset " +
                     std::to_string(offset_) + " (needs " + std::to_string(n) + " bytes, " +
                     std::to_string(remaining()) + " left)");
}

const uint8_t* ByteStream::take(size_t n, const char* what) {
    if (n > buffer_.size() || !fill(n)) truncated(n, what);
    const uint8_t* p = buffer_.data() + (offset_ - bufferStart_);
    offset_ += n;
    return p;
}

void ByteStream::read(void* out, size_t n, const char* what) {
    if (n <= buffer_.size()) {
        std::memcpy(out, take(n, what), n);
        return;
    }
    source_.read(offset_, out, n, format_, what);
    offset_ += n;
}

void ByteStream::skip(uint64_t n, const char* what) {
    if (n > remaining()) truncated(n, what);
    offset_ += n;
}

void ByteStream::seek(uint64_t offset) {
    offset_ = offset;
}

int ByteStream::get() {
    if (!fill(1)) return -1;
    return buffer_[static_cast<size_t>(offset_++ - bufferStart_)];
}

// ---------------------------------------------------------------------------

FileSink::FileSink(const std::string& path, const char* proc) : proc_(proc) {
    if (!file_.open(path)) fail();
}

FileSink::~FileSink() = default;

void FileSink::fail() {
    raise(proc_, err::FileWrite, file_.error());
}

void FileSink::write(const void* data, size_t size) {
    if (!file_.write(data, size)) fail();
}

void FileSink::commit() {
    if (!file_.commit()) fail();
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace ixv::formats
