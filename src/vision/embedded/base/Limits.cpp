#include "base/Limits.h"

#include <algorithm>

#include "base/Errors.h"

namespace ixv {

uint64_t saturatingMul(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_mul_overflow(a, b, &r) ? UINT64_MAX : r;
}

uint64_t saturatingAdd(uint64_t a, uint64_t b) {
    uint64_t r;
    return __builtin_add_overflow(a, b, &r) ? UINT64_MAX : r;
}

uint64_t imageBytes(uint64_t width, uint64_t height, uint64_t pixelSize, uint64_t channels) {
    return saturatingMul(saturatingMul(saturatingMul(width, height), pixelSize), channels);
}

void checkLimit(uint64_t value, uint64_t limit, const char* proc, const std::string& what, const char* unit) {
    if (value <= limit) return;
    std::string message = what + " exceeds the limit of " + std::to_string(limit);
    if (unit && *unit) message += std::string(" ") + unit;
    raiseMessage(proc, err::OutOfMemory, std::move(message));
}

Budget::Budget(uint64_t fileBytes, uint64_t expansion, const char* proc)
    : fileBytes_(fileBytes),
      allowance_(std::min(Limits::outputCeiling, saturatingAdd(Limits::outputFloor, saturatingMul(fileBytes, expansion)))),
      proc_(proc) {}

void Budget::addFile(uint64_t fileBytes, uint64_t expansion) {
    fileBytes_ = saturatingAdd(fileBytes_, fileBytes);
    allowance_ = std::min(Limits::outputCeiling, saturatingAdd(allowance_, saturatingMul(fileBytes, expansion)));
    ++files_;
}

void Budget::take(uint64_t bytes, const std::string& what) {
    take(bytes, [&] { return what; });
}

void Budget::refuse(const std::string& what) const {
    std::string message = what + " exceeds the limit of " + std::to_string(allowance_) + " bytes for " +
                          (files_ == 1 ? std::string("a file") : std::to_string(files_) + " files") + " of " +
                          std::to_string(fileBytes_) + " bytes";
    if (used_ > 0) message += " (" + std::to_string(used_) + " bytes already taken)";
    raiseMessage(proc_, err::OutOfMemory, std::move(message));
}

}  // namespace ixv
