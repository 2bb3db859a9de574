#include <gtest/gtest.h>

#include <string>
#include <utility>

#include "AdapterCore/StringBridge.h"

namespace {

std::wstring units(std::initializer_list<uint32_t> codes) {
    std::wstring text;
    for (uint32_t c : codes) text += static_cast<wchar_t>(c);
    return text;
}

TEST(StringBridge, EncodesEveryCodeUnitWithoutValidating) {
    const std::pair<std::wstring, std::string> cases[] = {
        // The last code point of each length and the first of the next.
        {units({0x7F, 0x80}), "\x7F\xC2\x80"},
        {units({0x7FF, 0x800}), "\xDF\xBF\xE0\xA0\x80"},
        {units({0xFFFF, 0x10000}), "\xEF\xBF\xBF\xF0\x90\x80\x80"},
        {units({0xD800}), "\xED\xA0\x80"},          // a surrogate: the three-byte form
        {units({0x110000}), "\xF4\x90\x80\x80"},    // beyond Unicode: the four-byte form
        {std::wstring(L"ab\0cd", 5), "ab"},         // a NUL ends the library's string
    };
    for (const auto& [text, bytes] : cases) EXPECT_EQ(std::string(toHString(text).TextA()), bytes);
}

TEST(StringBridge, DecodesAsComputedSkippingWhatStartsNothing) {
    const std::pair<std::string, std::wstring> cases[] = {
        {"\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80", L"\u00E9t\u00E9 \u20AC \U0001F600"},
        {"A\x80" "B", L"AB"},                 // stray continuation byte
        {"A\xF8\xFF" "B", L"AB"},             // bytes that start nothing
        {"\xC3" "A", L"A"},                   // broken: resumes at the breaking byte
        {"\xE2\x82", L""},                    // text ends inside a sequence
        {"\xE2\xC3\xA9", L"\u00E9"},          // a new lead byte breaks the sequence
    };
    for (const auto& [bytes, text] : cases) EXPECT_EQ(fromHString(HalconCpp::HString(bytes.c_str())), text) << bytes;
}

}  // namespace
