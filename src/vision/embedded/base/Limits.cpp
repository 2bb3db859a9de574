#include "base/Limits.h"

#include <pthread.h>

#include <algorithm>
#include <exception>

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

namespace {

// The stack a walk may need at the deepest nesting, with room to spare for a
// sanitizer build, and the stack of the thread that runs it when the calling
// thread has less left.
constexpr size_t kDeepStack = size_t{2} << 20;
constexpr size_t kDeepThreadStack = size_t{8} << 20;

bool enoughStackLeft() {
    pthread_attr_t attr;
    if (pthread_getattr_np(pthread_self(), &attr) != 0) return false;
    void* low = nullptr;
    size_t size = 0;
    const bool known = pthread_attr_getstack(&attr, &low, &size) == 0;
    pthread_attr_destroy(&attr);
    const uintptr_t here = reinterpret_cast<uintptr_t>(__builtin_frame_address(0));
    const uintptr_t bottom = reinterpret_cast<uintptr_t>(low);
    return known && here > bottom && here - bottom >= kDeepStack;
}

struct DeepCall {
    const std::function<void()>& body;
    std::exception_ptr error;
};

void* runDeepCall(void* arg) {
    DeepCall& call = *static_cast<DeepCall*>(arg);
    try {
        call.body();
    } catch (...) {
        call.error = std::current_exception();
    }
    return nullptr;
}

}  // namespace

void withDeepStack(const std::function<void()>& body, const char* proc) {
    if (enoughStackLeft()) return body();
    DeepCall call{body, nullptr};
    pthread_attr_t attr;
    pthread_t thread;
    bool started = pthread_attr_init(&attr) == 0;
    if (started) {
        started = pthread_attr_setstacksize(&attr, kDeepThreadStack) == 0 &&
                  pthread_create(&thread, &attr, runDeepCall, &call) == 0;
        pthread_attr_destroy(&attr);
    }
    if (!started) raise(proc, err::OutOfMemory, "no thread with the stack for nesting " +
                                                    std::to_string(Limits::nestingDepth) + " levels deep");
    pthread_join(thread, nullptr);
    if (call.error) std::rethrow_exception(call.error);
}

}  // namespace ixv
