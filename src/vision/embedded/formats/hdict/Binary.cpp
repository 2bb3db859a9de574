#include "formats/hdict/Binary.h"

#include <cstring>

#include "base/Errors.h"
#include "formats/Formats.h"

namespace ixv::formats {

BinaryIn::BinaryIn(const ByteSource& file, Budget& budget, const char* format, uint64_t offset)
    : in_(file, format, offset), budget_(budget), format_(format), proc_(file.proc()) {}

void BinaryIn::invalid(const std::string& problem, uint64_t at) const {
    raiseInvalid(format_, problem + (where ? where() : std::string()) + " at offset " +
                              std::to_string(at == UINT64_MAX ? offset() : at),
                 proc_);
}

void BinaryIn::read(void* out, uint64_t n, const char* what) {
    if (n > remaining())
        raiseInvalid(format_,
                     std::string("truncated ") + what + (where ? where() : std::string()) + " at offset " +
                         std::to_string(offset()) + " (needs " + std::to_string(n) + " bytes, " +
                         std::to_string(remaining()) + " left)",
                     proc_);
    if (n > 0) in_.read(out, static_cast<size_t>(n), what);
}

uint64_t BinaryIn::count(uint64_t itemSize, uint64_t limit, const char* what, const char* unit) {
    const uint64_t at = offset();
    const uint64_t n = read<uint64_t>(what);
    if (n > limit)
        checkLimit(n, limit, proc_,
                   std::string(what) + " " + std::to_string(n) + (where ? where() : std::string()) + " at offset " +
                       std::to_string(at),
                   unit);
    if (saturatingMul(n, itemSize) > remaining())
        invalid(std::string(what) + " " + std::to_string(n) + " exceeds the " + std::to_string(remaining()) +
                    " bytes left",
                at);
    return n;
}

std::string BinaryIn::string(const char* what) {
    const uint32_t n = read<uint32_t>(what);
    if (n > remaining()) read(nullptr, n, what);  // the truncation message, before the budget is asked
    takeBytes(n, what);
    std::string text(n, '\0');
    read(text.data(), n, what);
    return text;
}

void BinaryIn::takeBytes(uint64_t bytes, const char* what) {
    budget_.take(bytes, [&] {
        return std::string(what) + " of " + std::to_string(bytes) + " bytes" + (where ? where() : std::string()) +
               " at offset " + std::to_string(offset());
    });
}

// ---------------------------------------------------------------------------

void BinaryOut::put(const void* data, size_t n) {
    if (n == 0) return;
    const uint8_t* p = static_cast<const uint8_t*>(data);
    if (bytes_) {
        bytes_->insert(bytes_->end(), p, p + n);
        return;
    }
    if (buffer_.size() + n > kBuffer) flush();
    if (n >= kBuffer) {
        sink_->write(p, n);
        return;
    }
    buffer_.insert(buffer_.end(), p, p + n);
}

void BinaryOut::string(const std::string& text, const char* proc) {
    if (text.size() > UINT32_MAX)
        raise(proc, err::HandleNotSerializable, "a string of " + std::to_string(text.size()) + " bytes");
    put<uint32_t>(static_cast<uint32_t>(text.size()));
    put(text.data(), text.size());
}

void BinaryOut::flush() {
    if (sink_ && !buffer_.empty()) sink_->write(buffer_.data(), buffer_.size());
    buffer_.clear();
}

}  // namespace ixv::formats
