// Conversions between the host's wide strings and the vision library's UTF-8
// strings, done byte by byte without the process's locale, and the file suffix
// by which readers and writers choose a format.
#pragma once

#include <string>

#include "../vision/HalconCpp.h"

// Appends the UTF-8 encoding of the code unit `u`, unvalidated: as its value says.
void appendUtf8(std::string& bytes, uint32_t u);

// The UTF-8 encoding of `text`, unvalidated: every code unit is encoded as its
// value says. A code unit 0 ends the library string there.
HalconCpp::HString toHString(const std::wstring& text);

// The code points of the library string's UTF-8 text, all LengthA() bytes of
// it. Stray continuation bytes are skipped; a broken sequence is dropped and
// decoding resumes at the byte that broke it. A NUL byte reads as the six
// characters \u0000, since every text handed to the host ends at its first NUL.
std::wstring fromHString(const HalconCpp::HString& text);

// `text` as one line: every control character (C0, DEL, C1) and the line and
// paragraph separators U+2028 and U+2029 written as an escape, "\n", "\r",
// "\t", else "\u" and four upper-case hex digits ("\u001B"). A text without
// them comes back unchanged.
std::wstring oneLine(std::wstring text);

// The lower-cased text after the last "." of `path`; empty when there is none.
std::wstring suffixOf(const std::wstring& path);
