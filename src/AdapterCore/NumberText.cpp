#include "NumberText.h"

#include <charconv>
#include <system_error>

namespace {

template <class... Format>
std::wstring converted(Format... format) {
    // 400 characters hold any double in fixed form with a few decimals; the
    // loop only guards against a caller asking for more.
    std::string text(400, '\0');
    for (;;) {
        const std::to_chars_result result = std::to_chars(&text[0], &text[0] + text.size(), format...);
        if (result.ec == std::errc()) {
            text.resize(static_cast<size_t>(result.ptr - text.data()));
            return std::wstring(text.begin(), text.end());
        }
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
