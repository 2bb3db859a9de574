// Numbers as display text. The texts are those of printf's "%lld", "%.Nf" and
// "%.Ng", but the same in every locale (the host's LC_NUMERIC never turns the
// decimal point into a comma) and built as strings, so no magnitude can
// overflow a buffer.
#pragma once

#include <string>

std::wstring integerText(long long value);
// "%.Nf": `decimals` digits after the point.
std::wstring fixedText(double value, int decimals);
// "%.Ng": `digits` significant digits, trailing zeros dropped.
std::wstring generalText(double value, int digits);
