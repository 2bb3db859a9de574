#include <gtest/gtest.h>

#include <algorithm>
#include <clocale>
#include <cstdio>
#include <cstring>
#include <limits>
#include <numeric>

#include "AdapterCore/AdapterCore.h"
#include "AdapterCore/NumberText.h"
#include "AdapterCore/ValueText.h"
#include "base/TupleData.h"

using HalconCpp::HTuple;

namespace {

NativeValue integer(int64_t v) { return {IxValueType::Integer, L"", v}; }
NativeValue real(double v) { return {IxValueType::Real, L"", 0, v}; }

std::vector<NativeValue> integers(int64_t from, int64_t to) {
    std::vector<NativeValue> values;
    for (int64_t i = from; i <= to; ++i) values.push_back(integer(i));
    return values;
}

std::wstring fullText(const HTuple& tuple, IxNodeKind kind = IxNodeKind::Value) {
    NativeNode node;
    node.kind = kind;
    node.tuple = tuple;
    return AdapterCore::fullValueText(&node);
}

// One value, none and more than four from a tuple are the tuple nodes' test.
TEST(ValueText, PreviewShowsAtMostFourValuesAndCountDecidesTheEllipsis) {
    EXPECT_EQ(buildInlinePreview(integers(0, 3), 4), L"[0, 1, 2, 3]");
    // More elements in the source than held: the count, not the list, decides.
    EXPECT_EQ(buildInlinePreview(integers(1, 2), 5000), L"[1, 2, ...]");
}

TEST(ValueText, GeometryValuesAlwaysReadAsReals) {
    const std::pair<const wchar_t*, const wchar_t*> points[] = {
        {L"-3", L"-3.0"}, {L"2.5", L"2.5"}, {L"1e+20", L"1e+20"}, {L"-nan", L"-nan"}, {L"-inf", L"-inf"}};
    for (const auto& [in, out] : points) EXPECT_EQ(ensureDecimalPoint(in), out);
    EXPECT_EQ(formatGeometryValue(123456789012345.0), L"123456789012345.0");
    EXPECT_EQ(formatGeometryValue(std::numeric_limits<double>::infinity()), L"inf");
}

TEST(ValueText, NumbersReadAsPrintfInTheCLocaleWhateverTheHostLocale) {
    const double samples[] = {0.0, -0.0, 0.5, 2.5, 1e-05, 1.5e8, 123456.0, 1234567.0, 0.0001, 0.00012345678,
                              1.0 / 3, 2.675, 1e300, -1e-300, 5e-324, 9.999995, 999999.5,
                              std::numeric_limits<double>::quiet_NaN(), -std::numeric_limits<double>::quiet_NaN(),
                              std::numeric_limits<double>::infinity(), -std::numeric_limits<double>::infinity()};
    const auto printed = [](const char* format, double v) {
        char buffer[512];
        std::snprintf(buffer, sizeof buffer, format, v);
        return std::wstring(buffer, buffer + std::strlen(buffer));
    };
    for (double v : samples) {
        EXPECT_EQ(generalText(v, 6), printed("%g", v)) << v;
        EXPECT_EQ(generalText(v, 15), printed("%.15g", v)) << v;
        EXPECT_EQ(fixedText(v, 1), printed("%.1f", v)) << v;
        EXPECT_EQ(fixedText(v, 2), printed("%.2f", v)) << v;
    }

    if (!std::setlocale(LC_ALL, "de_DE.UTF-8")) GTEST_SKIP() << "locale de_DE.UTF-8 is not installed";
    struct Restore {
        ~Restore() { std::setlocale(LC_ALL, "C"); }
    } restore;
    EXPECT_EQ(printed("%g", 2.5), L"2,5");  // what the old texts would have shown
    EXPECT_EQ(formatValueElement(real(-1.5e-7)), L"-1.5e-07");
    EXPECT_EQ(formatGeometryValue(0.1), L"0.1");
    EXPECT_EQ(fixedText(1234567.25, 2), L"1234567.25");  // no grouping either
    EXPECT_EQ(integerText(-1234567), L"-1234567");
    EXPECT_EQ(fullText(HTuple(0.25).Append(3)), L"[0.25, 3]");
}

TEST(ValueText, FullTextListsEveryElementOfValueNodesOnly) {
    std::vector<Hlong> numbers(2000);
    std::iota(numbers.begin(), numbers.end(), Hlong{0});
    const std::wstring all = fullText(ixv::tupleOfLongs(numbers));
    EXPECT_EQ(all.substr(0, 13), L"[0, 1, 2, 3, ");
    EXPECT_EQ(all.substr(all.size() - 11), L"1998, 1999]");
    EXPECT_EQ(std::count(all.begin(), all.end(), L','), 1999);

    EXPECT_EQ(fullText(HTuple()), L"[]");
    EXPECT_EQ(fullText(HTuple("x")), L"'x'");
    // Strings are quoted, nothing in them escaped.
    EXPECT_EQ(fullText(HTuple(Hlong{INT64_MIN}).Append("it's \xC3\xA9").Append(2.5).Append(-1.5e8)),
              L"[-9223372036854775808, 'it's \u00E9', 2.5, -1.5e+08]");
    EXPECT_EQ(fullText(HTuple(1).Append(2), IxNodeKind::Object), L"");
    EXPECT_EQ(AdapterCore::fullValueText(nullptr), L"");
}

}  // namespace
