// Writing a file in one piece, shared by the embedded vision library's writers
// and ixdump: plain C++ and POSIX, no exception, no dependency.
#pragma once

#include <sys/types.h>

#include <cstddef>
#include <string>

namespace ixfile {

// A file written in one piece: bytes go to a temporary file beside the target,
// which replaces the target on `commit` only when everything has been written
// and flushed to disk. Destroyed without `commit`, it leaves no trace.
// A target that exists must be a regular file that may be written to; it
// keeps its permission bits, and a symbolic link to it stays a link (the file
// it names is replaced, or made when it does not exist yet). The temporary
// file's name is the target's cut to 200 bytes with a suffix, so that any
// valid name can be written. Each step returns false on failure, with the
// reason in `error()`: "PATH is a directory", "PATH: No space left on device".
class ReplacingFile {
public:
    ReplacingFile() = default;
    ~ReplacingFile();
    ReplacingFile(const ReplacingFile&) = delete;
    ReplacingFile& operator=(const ReplacingFile&) = delete;

    bool open(const std::string& path);
    bool write(const void* data, size_t size);
    bool commit();
    const std::string& error() const { return error_; }

private:
    bool fail(int error);
    std::string path_, target_, temporary_;  // as given, its links followed, the temporary file
    std::string error_;
    int fd_ = -1;
};

// The system's description of an error in English, whatever language the
// host's locale would give strerror.
std::string errorText(int error);

// "a directory", "a FIFO", ...: what a file of `mode` is, for messages.
std::string describeFileType(mode_t mode);

}  // namespace ixfile
