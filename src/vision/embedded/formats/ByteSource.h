// How every reader reaches a file's bytes, and how every writer puts a file in
// place.
//
// Files are read, never memory-mapped: a file that another process shortens
// while it is read (a camera still writing it) gives an error instead of
// SIGBUS. Only regular files are opened, without blocking, so a FIFO or a
// device given as a path is refused at once instead of hanging the host.
#pragma once

#include <cstddef>
#include <algorithm>
#include <cstdint>
#include <string>
#include <tuple>
#include <vector>

#include "ReplacingFile.h"

namespace ixv::formats {

// What tells one file from another: device, inode, size and modification time
// (seconds, nanoseconds). Two names with the same identity are the same content.
using FileIdentity = std::tuple<uint64_t, uint64_t, uint64_t, int64_t, int64_t>;

class ByteSource {
public:
    // A regular file, opened for reading without blocking; error 5200 when it
    // does not exist, 5201 when it is no regular file or cannot be read.
    static ByteSource openFile(const std::string& path, const char* proc);
    // Bytes in memory, not owned (fuzz targets and tests).
    static ByteSource inMemory(const uint8_t* data, size_t size, const char* proc = "read_image");

    ByteSource(ByteSource&& other) noexcept;
    ByteSource& operator=(ByteSource&&) = delete;
    ByteSource(const ByteSource&) = delete;
    ~ByteSource();

    // The file's size when it was opened: what the file promises.
    uint64_t size() const { return size_; }
    // The operator name for messages ("read_image").
    const char* proc() const { return proc_; }
    // The first bytes (up to 64), read at opening, for recognising the format.
    const std::vector<uint8_t>& head() const { return head_; }
    // The file's identity when it was opened (bytes in memory: their address and size).
    const FileIdentity& identity() const { return identity_; }

    // Copies up to `n` bytes from `offset` to `out` and returns how many; fewer
    // than `n` only at the end of the file. A file that has become shorter than
    // its size at opening is error 5201 ("... was truncated while being read").
    size_t readSome(uint64_t offset, void* out, size_t n) const;
    // Exactly `n` bytes from `offset`, or error 5280 "Invalid <format> file:
    // truncated <what> at offset X (needs N bytes, M left)".
    void read(uint64_t offset, void* out, size_t n, const char* format, const char* what) const;

private:
    ByteSource() = default;
    int fd_ = -1;
    const uint8_t* memory_ = nullptr;
    uint64_t size_ = 0;
    const char* proc_ = "read_image";
    std::string path_;
    std::vector<uint8_t> head_;
    FileIdentity identity_{};
};

// Sequential, buffered reading from a ByteSource, for the readers of our own.
class ByteStream {
public:
    ByteStream(const ByteSource& source, const char* format, uint64_t offset = 0, size_t bufferSize = 64 << 10);

    uint64_t offset() const { return offset_; }
    uint64_t remaining() const { return source_.size() - std::min(offset_, source_.size()); }
    // Exactly `n` bytes, or the truncation error naming `what`.
    void read(void* out, size_t n, const char* what);
    // The next `n` bytes (n <= the buffer size), valid until the next call.
    const uint8_t* take(size_t n, const char* what);
    void skip(uint64_t n, const char* what);
    void seek(uint64_t offset);
    // The next byte, or -1 at the end of the file.
    int get();

private:
    bool fill(size_t wanted);
    [[noreturn]] void truncated(uint64_t n, const char* what) const;
    const ByteSource& source_;
    const char* format_;
    uint64_t offset_;
    std::vector<uint8_t> buffer_;
    uint64_t bufferStart_ = 0;
    size_t bufferLength_ = 0;
};

// A file written in one piece (ixfile::ReplacingFile, which ixdump shares):
// bytes go to a temporary file beside the target, which replaces the target on
// `commit` only when everything has been written and flushed to disk.
// Destroyed without `commit`, it leaves no trace. A target that exists must be
// a regular file that may be written to; it keeps its permissions, and a
// symbolic link to it stays a link. Every failure is error 5202 with the reason.
class FileSink {
public:
    FileSink(const std::string& path, const char* proc);
    ~FileSink();
    FileSink(const FileSink&) = delete;
    FileSink& operator=(const FileSink&) = delete;

    void write(const void* data, size_t size);
    void commit();

private:
    [[noreturn]] void fail();
    ixfile::ReplacingFile file_;
    const char* proc_;
};

// True when `path` names an existing regular file (links followed).
bool isRegularFile(const std::string& path);

}  // namespace ixv::formats
