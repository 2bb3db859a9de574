#include "ReplacingFile.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

namespace ixfile {

namespace {

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

bool ReplacingFile::open(const std::string& path) {
    path_ = path;
    target_ = followLinks(path);
    // The finished file replaces the target: only a regular file may be
    // replaced, never a device, a FIFO or a socket (writing to /dev/null must
    // not put a file in its place), and only one that may be written to. A
    // symbolic link stays in place: the file it names is replaced.
    struct stat info;
    const bool exists = ::stat(path_.c_str(), &info) == 0;
    if (exists && !S_ISREG(info.st_mode)) {
        error_ = path_ + " is " + describeFileType(info.st_mode);
        return false;
    }
    if (exists && ::access(path_.c_str(), W_OK) != 0) return fail(errno);
    if (!exists && errno == ELOOP) return fail(errno);
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
            return true;
        }
        if (errno != EEXIST) break;
    }
    return fail(errno);
}

ReplacingFile::~ReplacingFile() {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
}

bool ReplacingFile::fail(int error) {
    if (fd_ >= 0) {
        ::close(fd_);
        ::unlink(temporary_.c_str());
    }
    fd_ = -1;
    error_ = path_ + ": " + errorText(error);
    return false;
}

bool ReplacingFile::write(const void* data, size_t size) {
    if (fd_ < 0) return false;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd_, p, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return fail(n < 0 ? errno : EIO);
        p += n;
        size -= static_cast<size_t>(n);
    }
    return true;
}

bool ReplacingFile::commit() {
    if (fd_ < 0) return false;
    if (::fsync(fd_) != 0) return fail(errno);
    const int closed = ::close(fd_);
    fd_ = -1;
    if (closed != 0 || std::rename(temporary_.c_str(), target_.c_str()) != 0) {
        const int e = errno;
        ::unlink(temporary_.c_str());
        error_ = path_ + ": " + errorText(e);
        return false;
    }
    return true;
}

}  // namespace ixfile
