// Reading files with pread, writing them through a temporary file.
#include "formats/ByteSource.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstring>

#include "base/Errors.h"

namespace ixv::formats {

namespace {

constexpr size_t kHeadSize = 64;

// The system's description of an error in English, whatever language the
// host's locale would give strerror.
std::string errorText(int error) {
    const char* text = ::strerrordesc_np(error);
    return text ? text : "error " + std::to_string(error);
}

std::string describeFileType(mode_t mode) {
    if (S_ISDIR(mode)) return "a directory";
    if (S_ISFIFO(mode)) return "a FIFO";
    if (S_ISCHR(mode)) return "a character device";
    if (S_ISBLK(mode)) return "a block device";
    if (S_ISSOCK(mode)) return "a socket";
    return "not a regular file";
}

// The file `path` names, its symbolic links followed (also a link to a file
// yet to be made); `path` itself when it is no link. A loop of links is left
// to the caller, whose stat() reports it.
std::string followLinks(std::string path) {
    for (int hop = 0; hop < 40; ++hop) {
        std::vector<char> target(4096);
        const ssize_t n = ::readlink(path.c_str(), target.data(), target.size());
        if (n <= 0 || static_cast<size_t>(n) >= target.size()) return path;
        std::string next(target.data(), static_cast<size_t>(n));
        const size_t slash = path.rfind('/');
        if (next.front() != '/' && slash != std::string::npos) next = path.substr(0, slash + 1) + next;
        path = next;
    }
    return path;
}

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

FileSink::FileSink(const std::string& path, const char* proc) : path_(path), target_(followLinks(path)), proc_(proc) {
    // The finished file replaces the target: only a regular file may be
    // replaced, never a device, a FIFO or a socket (writing to /dev/null must
    // not put a file in its place), and only one that may be written to. A
    // symbolic link stays in place: the file it names is replaced.
    struct stat info;
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode))
        raise(proc_, err::FileWrite, path_ + " is " + describeFileType(info.st_mode));
    if (exists && ::access(path_.c_str(), W_OK) != 0) raise(proc_, err::FileWrite, path_ + ": " + errorText(errno));
    if (!exists && errno == ELOOP) raise(proc_, err::FileWrite, path_ + ": " + errorText(errno));
    // The temporary name keeps the target's name, shortened so that a name
    // near the system's limit still leaves room for the suffix.
    const size_t slash = target_.rfind('/');
    const size_t nameBegin = slash == std::string::npos ? 0 : slash + 1;
    const std::string stem = target_.substr(0, nameBegin + std::min<size_t>(target_.size() - nameBegin, 200));
    static std::atomic<uint64_t> counter{0};
    const uint64_t seed = static_cast<uint64_t>(std::chrono::steady_clock::now().time_since_epoch().count());
    // A name taken by another writer (or left by a crash) is retried with the next one.
    for (int attempt = 0; attempt < 100; ++attempt) {
        char suffix[64];
        std::snprintf(suffix, sizeof suffix, ".tmp%ld.%llx", static_cast<long>(::getpid()),
                      static_cast<unsigned long long>((seed + counter++) & 0xffffffffffULL));
        temporary_ = stem + suffix;
        fd_ = ::open(temporary_.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            // A replaced file keeps its permissions (a private file stays
            // private), but no set-user-ID, set-group-ID or sticky bit.
            if (exists) (void)::fchmod(fd_, info.st_mode & 0777);
            return;
        }
        if (errno != EEXIST) break;
    }
    raise(proc_, err::FileWrite, path_ + ": " + errorText(errno));
}

FileSink::~FileSink() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

void FileSink::fail(int error) {
    if (fd_ >= 0) ::close(fd_);
    fd_ = -1;
    ::unlink(temporary_.c_str());
    raise(proc_, err::FileWrite, path_ + ": " + errorText(error));
}

void FileSink::write(const void* data, size_t size) {
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) fail(n < 0 ? errno : EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
}

void FileSink::commit() {
    if (::fsync(fd_) != 0) fail(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        raise(proc_, err::FileWrite, path_ + ": " + errorText(e));
    }
}

bool isRegularFile(const std::string& path) {
    struct stat info;
    return ::stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode);
}

}  // namespace ixv::formats
