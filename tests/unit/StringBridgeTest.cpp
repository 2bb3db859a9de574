#include <gtest/gtest.h>

#include <string>

#include "AdapterCore/StringBridge.h"

namespace {

std::string bytesOf(const std::wstring& text) {
    return toHString(text).TextA();
}

std::wstring decode(const std::string& bytes) {
    return fromHString(HalconCpp::HString(bytes.c_str()));
}

TEST(StringBridge, EncodesEachCodePointRangeAsUtf8) {
    EXPECT_EQ(bytesOf(L"A"), "A");
    EXPECT_EQ(bytesOf(L"\u00E9"), "\xC3\xA9");
    EXPECT_EQ(bytesOf(L"\u20AC"), "\xE2\x82\xAC");
    EXPECT_EQ(bytesOf(L"\U0001F600"), "\xF0\x9F\x98\x80");
    EXPECT_EQ(bytesOf(L""), "");
}

TEST(StringBridge, EncodesWithoutValidating) {
    // Surrogates take the three-byte form, values beyond Unicode the four-byte form.
    EXPECT_EQ(bytesOf(std::wstring(1, static_cast<wchar_t>(0xD800))), "\xED\xA0\x80");
    EXPECT_EQ(bytesOf(std::wstring(1, static_cast<wchar_t>(0x110000))), "\xF4\x90\x80\x80");
}

TEST(StringBridge, EmbeddedNulEndsTheLibraryString) {
    EXPECT_EQ(bytesOf(std::wstring(L"ab\0cd", 5)), "ab");
}

TEST(StringBridge, DecodesValidUtf8) {
    EXPECT_EQ(decode("\xC3\xA9t\xC3\xA9 \xE2\x82\xAC \xF0\x9F\x98\x80"), L"\u00E9t\u00E9 \u20AC \U0001F600");
}

TEST(StringBridge, SkipsStrayBytesAndDropsBrokenSequences) {
    EXPECT_EQ(decode("A\x80" "B"), L"AB");          // stray continuation byte
    EXPECT_EQ(decode("A\xF8\xFF" "B"), L"AB");      // bytes that start nothing
    EXPECT_EQ(decode("\xC3" "A"), L"A");            // broken: resumes at the breaking byte
    EXPECT_EQ(decode("\xE2\x82"), L"");             // text ends inside a sequence
    EXPECT_EQ(decode("\xE2\xC3\xA9"), L"\u00E9");   // a new lead byte breaks the sequence
}

TEST(StringBridge, AcceptsOverlongAndSurrogateFormsAsComputed) {
    EXPECT_EQ(decode("\xC0\x81"), std::wstring(1, static_cast<wchar_t>(1)));
    EXPECT_EQ(decode("\xED\xA0\x80"), std::wstring(1, static_cast<wchar_t>(0xD800)));
}

TEST(StringBridge, RoundTripsValidUtf8) {
    for (const char* text : {"", "plain", "Stra\xC3\x9F" "e", "\xE6\x97\xA5\xE6\x9C\xAC", "\xF0\x9F\x98\x80x"}) {
        EXPECT_EQ(toHString(fromHString(HalconCpp::HString(text))).TextA(), std::string(text));
    }
}

TEST(StringBridge, SuffixIsLowerCasedTextAfterTheLastDot) {
    EXPECT_EQ(suffixOf(L"image.PNG"), L"png");
    EXPECT_EQ(suffixOf(L"archive.tar.gz"), L"gz");
    EXPECT_EQ(suffixOf(L"name."), L"");
    EXPECT_EQ(suffixOf(L"noext"), L"");
    EXPECT_EQ(suffixOf(L"dir.old/file"), L"old/file");
    EXPECT_EQ(suffixOf(L"/x/.hobj"), L"hobj");
}

}  // namespace
