// Basic types of the embedded vision library: integers, strings, exceptions.
#pragma once

#include <cstdint>
#include <string>

// The vendor declares these two at global scope; so do we.
typedef long Hlong;
typedef uint32_t Herror;

namespace ixv {
struct Access;
}

namespace HalconCpp {

// UTF-8 text. Never null: an empty HString reads as "".
class HString {
public:
    HString() = default;
    HString(const char* text) : text_(text ? text : "") {}
    HString(const HString&) = default;
    HString(HString&&) noexcept = default;
    HString& operator=(const HString&) = default;
    HString& operator=(HString&&) noexcept = default;

    const char* TextA() const { return text_.c_str(); }
    const char* Text() const { return text_.c_str(); }
    size_t LengthA() const { return text_.size(); }

private:
    friend struct ixv::Access;
    explicit HString(std::string text) : text_(std::move(text)) {}
    std::string text_;
};

// The only exception the vision library throws: the vendor's error number, its
// short message (possibly followed by a precise detail) and the operator name.
class HException {
public:
    HException(const HException&) = default;
    HException& operator=(const HException&) = default;

    const HString& ErrorMessage() const { return message_; }
    Herror ErrorCode() const { return code_; }
    const HString& ProcName() const { return proc_; }

private:
    friend struct ixv::Access;
    HException(HString proc, Herror code, HString message)
        : proc_(std::move(proc)), code_(code), message_(std::move(message)) {}
    HString proc_;
    Herror code_ = 0;
    HString message_;
};

}  // namespace HalconCpp
