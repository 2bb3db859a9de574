#include "NumberText.h"

#include <charconv>
#include <system_error>
#include <vector>

namespace {

template <class... Format>
std::wstring converted(Format... format) {
    // Integers and "%g" texts fit the small buffer; fixed texts of large
    // magnitudes go on to a growing one, so no magnitude is cut short.
    char small[64];
    std::to_chars_result result = std::to_chars(small, small + sizeof small, format...);
    if (result.ec == std::errc()) return std::wstring(small, result.ptr);
    std::vector<char> text(512);
    for (;;) {
        result = std::to_chars(text.data(), text.data() + text.size(), format...);
        if (result.ec == std::errc()) return std::wstring(text.data(), result.ptr);
        text.resize(text.size() * 2);
    }
}

}  // namespace

std::wstring integerText(long long value) {
    return converted(value);
}

std::wstring fixedText(double value, int decimals) {
    return converted(value, std::chars_format::fixed, decimals);
}

std::wstring generalText(double value, int digits) {
    return converted(value, std::chars_format::general, digits);
}
