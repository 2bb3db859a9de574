#include "StringBridge.h"

#include <cwctype>

void appendUtf8(std::string& bytes, uint32_t u) {
    if (u <= 0x7F) {
        bytes += static_cast<char>(u);
    } else if (u <= 0x7FF) {
        bytes += static_cast<char>(0xC0 | (u >> 6));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    } else if (u <= 0xFFFF) {
        bytes += static_cast<char>(0xE0 | (u >> 12));
        bytes += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    } else {
        bytes += static_cast<char>((0xF0 | (u >> 18)) & 0xFF);
        bytes += static_cast<char>(0x80 | ((u >> 12) & 0x3F));
        bytes += static_cast<char>(0x80 | ((u >> 6) & 0x3F));
        bytes += static_cast<char>(0x80 | (u & 0x3F));
    }
}

HalconCpp::HString toHString(const std::wstring& text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (wchar_t c : text) appendUtf8(bytes, static_cast<uint32_t>(c));
    // Built from the NUL-terminated form: an embedded code unit 0 ends the text.
    return HalconCpp::HString(bytes.c_str());
}

std::wstring fromHString(const HalconCpp::HString& text) {
    const unsigned char* p = reinterpret_cast<const unsigned char*>(text.TextA());
    const unsigned char* const end = p + text.LengthA();
    std::wstring result;
    while (p < end) {
        const unsigned char lead = *p++;
        if (lead == 0) {
            result += L"\\u0000";
            continue;
        }
        if (lead < 0x80) {
            result += static_cast<wchar_t>(lead);
            continue;
        }
        int continuations;
        uint32_t value;
        if ((lead & 0xE0) == 0xC0) {
            continuations = 1;
            value = lead & 0x1F;
        } else if ((lead & 0xF0) == 0xE0) {
            continuations = 2;
            value = lead & 0x0F;
        } else if ((lead & 0xF8) == 0xF0) {
            continuations = 3;
            value = lead & 0x07;
        } else {
            continue;  // a stray continuation byte, or 0xF8..0xFF
        }
        bool complete = true;
        for (int i = 0; i < continuations; ++i) {
            if (p == end || (*p & 0xC0) != 0x80) {
                complete = false;
                break;
            }
            value = value * 64 + (*p++ & 0x3F);
        }
        if (complete) result += static_cast<wchar_t>(value);
    }
    return result;
}

namespace {

bool isControl(wchar_t c) {
    const uint32_t u = static_cast<uint32_t>(c);
    return u < 0x20 || (u >= 0x7F && u <= 0x9F) || u == 0x2028 || u == 0x2029;
}

}  // namespace

std::wstring oneLine(std::wstring text) {
    size_t at = 0;
    while (at < text.size() && !isControl(text[at])) ++at;
    if (at == text.size()) return text;
    std::wstring escaped = text.substr(0, at);
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    for (; at < text.size(); ++at) {
        const wchar_t c = text[at];
        if (!isControl(c)) {
            escaped += c;
        } else if (c == L'\n') {
            escaped += L"\\n";
        } else if (c == L'\r') {
            escaped += L"\\r";
        } else if (c == L'\t') {
            escaped += L"\\t";
        } else {
            const uint32_t u = static_cast<uint32_t>(c);
            escaped += L"\\u";
            for (int shift = 12; shift >= 0; shift -= 4) escaped += kHex[(u >> shift) & 0xF];
        }
    }
    return escaped;
}

std::wstring suffixOf(const std::wstring& path) {
    const size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos) return std::wstring();
    std::wstring suffix = path.substr(dot + 1);
    for (wchar_t& c : suffix) c = static_cast<wchar_t>(std::towlower(static_cast<wint_t>(c)));
    return suffix;
}
