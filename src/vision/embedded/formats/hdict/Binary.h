// Little-endian reading and writing for the binary formats of our own that
// nest (dictionary files, and the 3D object model block they share with the
// model files).
//
// BinaryIn checks every read against the bytes left in the file and every
// count against a limit and those bytes before the caller allocates, and takes
// arrays and strings from the file's budget. Its messages name the format, the
// problem, where the reader is (a context the caller supplies) and the offset:
// "Invalid dictionary file: truncated string in the value of key 'a' at offset 40 (needs 5 bytes, 2 left)".
// BinaryOut buffers small writes for a FileSink, or collects the bytes in memory.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "base/Limits.h"
#include "formats/ByteSource.h"

static_assert(__BYTE_ORDER__ == __ORDER_LITTLE_ENDIAN__, "the binary formats are read and written as little-endian");

namespace ixv::formats {

class BinaryIn {
public:
    BinaryIn(const ByteSource& file, Budget& budget, const char* format, uint64_t offset);

    // Where the reader is, for messages: " in the value of key 'a'"; empty by default.
    std::function<std::string()> where;

    uint64_t offset() const { return in_.offset(); }
    uint64_t remaining() const { return in_.remaining(); }
    Budget& budget() { return budget_; }
    const char* proc() const { return proc_; }
    const char* format() const { return format_; }

    // "Invalid <format> file: <problem><where> at offset <offset>"; `at` defaults to the current offset.
    [[noreturn]] void invalid(const std::string& problem, uint64_t at = UINT64_MAX) const;

    void read(void* out, uint64_t n, const char* what);
    template <class T>
    T read(const char* what) {
        T value;
        read(&value, sizeof(T), what);
        return value;
    }
    // A u64 count of items of at least `itemSize` bytes each: within `limit`
    // (error 6001 "... exceeds the limit of ...") and within the bytes left.
    uint64_t count(uint64_t itemSize, uint64_t limit, const char* what, const char* unit);
    // A u32 length and that many bytes, taken from the budget.
    std::string string(const char* what);
    // `n` items read straight into a vector taken from the budget (n already checked).
    template <class T>
    std::vector<T> array(uint64_t n, const char* what) {
        takeBytes(saturatingMul(n, sizeof(T)), what);
        std::vector<T> values(static_cast<size_t>(n));
        read(values.data(), n * sizeof(T), what);
        return values;
    }
    // Takes `bytes` from the budget for `what`, describing it only when refused.
    void takeBytes(uint64_t bytes, const char* what);

private:
    ByteStream in_;
    Budget& budget_;
    const char* format_;
    const char* proc_;
};

class BinaryOut {
public:
    explicit BinaryOut(std::vector<uint8_t>* bytes) : bytes_(bytes) {}
    explicit BinaryOut(FileSink* sink) : sink_(sink) { buffer_.reserve(kBuffer); }
    ~BinaryOut() = default;  // the owner calls flush(); a failed write leaves the sink uncommitted
    BinaryOut(const BinaryOut&) = delete;
    BinaryOut& operator=(const BinaryOut&) = delete;

    void put(const void* data, size_t n);
    template <class T>
    void put(T value) {
        put(&value, sizeof(T));
    }
    // A u32 length and the bytes; a text of 4 GiB or more cannot be held (error 2455).
    void string(const std::string& text, const char* proc);
    void flush();

private:
    static constexpr size_t kBuffer = 64 << 10;
    std::vector<uint8_t>* bytes_ = nullptr;
    FileSink* sink_ = nullptr;
    std::vector<uint8_t> buffer_;
};

}  // namespace ixv::formats
