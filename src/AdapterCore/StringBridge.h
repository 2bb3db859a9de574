// Conversions between the host's wide strings and the vision library's UTF-8
// strings, done byte by byte without the process's locale, and the file suffix
// by which readers and writers choose a format.
#pragma once

#include <string>

#include "../vision/HalconCpp.h"

// The UTF-8 encoding of `text`, unvalidated: every code unit is encoded as its
// value says. A code unit 0 ends the library string there.
HalconCpp::HString toHString(const std::wstring& text);

// The code points of the library string's UTF-8 text. Stray continuation bytes
// are skipped; a broken sequence is dropped and decoding resumes at the byte
// that broke it.
std::wstring fromHString(const HalconCpp::HString& text);

// The lower-cased text after the last "." of `path`; empty when there is none.
std::wstring suffixOf(const std::wstring& path);
