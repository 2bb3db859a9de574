#include "NodePaths.h"

#include <charconv>
#include <mutex>
#include <optional>
#include <vector>

#include "AdapterCore.h"
#include "HandleNodes.h"
#include "NumberText.h"
#include "StringBridge.h"
#include "TreeBuilder.h"

using namespace HalconCpp;

namespace {

// The length of the valid UTF-8 sequence at `at` and its code point; 0 when
// the bytes there are no valid sequence (overlong forms and surrogates included).
size_t utf8Sequence(std::string_view bytes, size_t at, uint32_t& point) {
    const auto byte = [&](size_t i) { return at + i < bytes.size() ? static_cast<unsigned char>(bytes[at + i]) : 0u; };
    const unsigned lead = byte(0);
    if (lead < 0x80) {
        point = lead;
        return 1;
    }
    size_t length;
    unsigned low = 0x80, high = 0xBF;  // the range of the second byte
    if (lead >= 0xC2 && lead <= 0xDF) {
        length = 2;
        point = lead & 0x1F;
    } else if (lead >= 0xE0 && lead <= 0xEF) {
        length = 3;
        point = lead & 0x0F;
        if (lead == 0xE0) low = 0xA0;
        if (lead == 0xED) high = 0x9F;
    } else if (lead >= 0xF0 && lead <= 0xF4) {
        length = 4;
        point = lead & 0x07;
        if (lead == 0xF0) low = 0x90;
        if (lead == 0xF4) high = 0x8F;
    } else {
        return 0;
    }
    for (size_t i = 1; i < length; ++i) {
        const unsigned next = byte(i);
        if (next < (i == 1 ? low : 0x80) || next > (i == 1 ? high : 0xBF)) return 0;
        point = point * 64 + (next & 0x3F);
    }
    return length;
}

std::wstring escapedKey(std::string_view bytes) {
    if (bytes.empty()) return L"%";
    static const wchar_t kHex[] = L"0123456789ABCDEF";
    std::wstring out;
    out.reserve(bytes.size());
    for (size_t at = 0; at < bytes.size();) {
        uint32_t point = 0;
        const size_t length = utf8Sequence(bytes, at, point);
        if (length == 0) {
            const unsigned char b = static_cast<unsigned char>(bytes[at++]);
            out += {L'%', kHex[b >> 4], kHex[b & 15]};
            continue;
        }
        const bool control = point < 0x20 || (point >= 0x7F && point < 0xA0) || point == 0x2028 || point == 0x2029;
        if (point == '%' || point == '/' || control) {
            // Written as its bytes, so that a path is one printable line.
            for (size_t i = 0; i < length; ++i) {
                const unsigned char b = static_cast<unsigned char>(bytes[at + i]);
                out += {L'%', kHex[b >> 4], kHex[b & 15]};
            }
        } else {
            out += static_cast<wchar_t>(point);
        }
        at += length;
    }
    return out;
}

// The integer a canonical decimal text reads as ("-12", "0"; not "012", "+1").
std::optional<Hlong> decimalOf(std::string_view text) {
    const size_t digits = !text.empty() && text[0] == '-' ? 1 : 0;
    if (text.size() == digits || (text[digits] == '0' && text.size() > digits + 1) || text == "-0") return std::nullopt;
    Hlong value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size()) return std::nullopt;
    return value;
}

std::string narrow(std::wstring_view text) {
    std::string out;
    for (wchar_t c : text) {
        if (c > 0x7F) return std::string();
        out += static_cast<char>(c);
    }
    return out;
}

// The bytes of the string key a segment names, if it names one.
std::optional<std::string> keyBytes(std::wstring_view segment) {
    if (segment == L"%") return std::string();
    std::string bytes;
    for (size_t i = 0; i < segment.size(); ++i) {
        const uint32_t c = static_cast<uint32_t>(segment[i]);
        if (c == '%') {
            unsigned value = 0;
            for (size_t k = 1; k <= 2; ++k) {
                const wchar_t h = i + k < segment.size() ? segment[i + k] : L'\0';
                const int digit = h >= L'0' && h <= L'9' ? h - L'0' : h >= L'A' && h <= L'F' ? h - L'A' + 10 : -1;
                if (digit < 0) return std::nullopt;
                value = value * 16 + static_cast<unsigned>(digit);
            }
            bytes += static_cast<char>(value);
            i += 2;
        } else if (c < 0x110000) {
            appendUtf8(bytes, c);
        } else {
            return std::nullopt;
        }
    }
    return bytes;
}

std::string_view bytesOf(const HString& text) {
    return std::string_view(text.TextA(), text.LengthA());
}

ClashingKeys clashingKeys(const HTuple& keys) {
    ClashingKeys clashing;
    const HTuple isString = keys.TupleIsStringElem();
    for (Hlong i = 0; i < keys.Length(); ++i) {
        if (isString[i].L() == 0) continue;
        const HString text = keys[i].S();
        if (const std::optional<Hlong> value = decimalOf(bytesOf(text))) clashing.insert(*value);
    }
    return clashing;
}

// The child of `node` whose segment is `segment`, or null.
const NativeNode* childBySegment(const NativeNode& node, std::wstring_view segment) {
    const size_t count = childCount(node);
    if (segment.size() > 2 && segment.front() == L'[' && segment.back() == L']') {
        const std::optional<Hlong> index = decimalOf(narrow(segment.substr(1, segment.size() - 2)));
        if (!index || *index < 0 || static_cast<size_t>(*index) >= count) return nullptr;
        const NativeNode* child = childAt(node, static_cast<size_t>(*index));
        return child && child->pathSegment == segment ? child : nullptr;
    }
    const LateChildren* late = node.late.get();
    if (!late || !late->dict.IsInitialized()) {
        for (size_t i = 0; i < count; ++i) {
            const NativeNode* child = childAt(node, i);
            if (child && child->pathSegment == segment) return child;
        }
        return nullptr;
    }
    // A dictionary's keys are compared with what the segment reads as, so
    // that only the one or two keys it may name have their children built.
    const std::optional<std::string> bytes = keyBytes(segment);
    const std::wstring_view digits = segment.substr(0, 2) == L"%i" ? segment.substr(2) : segment;
    const std::optional<Hlong> integer = decimalOf(narrow(digits));
    std::vector<size_t> candidates;
    {
        const std::lock_guard<std::mutex> guard(late->tree->lock);
        const HTuple isString = late->items.TupleIsStringElem();
        const HTuple isInteger = late->items.TupleIsIntElem();
        for (Hlong i = 0; i < late->items.Length(); ++i) {
            if (isString[i].L() != 0 ? bytes && bytesOf(late->items[i].S()) == *bytes
                                     : integer && isInteger[i].L() != 0 && late->items[i].L() == *integer)
                candidates.push_back(static_cast<size_t>(i));
        }
    }
    for (size_t i : candidates) {
        const NativeNode* child = childAt(node, i);
        if (child && child->pathSegment == segment) return child;
    }
    return nullptr;
}

}  // namespace

std::wstring keySegmentAt(const HTuple& keys, Hlong index, std::unique_ptr<ClashingKeys>& clashing) {
    try {
        const HTuple key(keys[index]);
        if (key.TupleIsStringElem()[0].L() != 0) return escapedKey(bytesOf(key[0].S()));
        if (key.TupleIsIntElem()[0].L() != 0) {
            if (!clashing) clashing = std::make_unique<ClashingKeys>(clashingKeys(keys));
            const Hlong value = key[0].L();
            return (clashing->count(value) ? L"%i" : L"") + integerText(value);
        }
        return escapedKey(bytesOf(toHString(keyLabel(key))));
    } catch (const HException&) {
        // A key that cannot be read is named by its place; no string key's segment starts with "%?".
        return L"%?" + integerText(index);
    }
}

NodeText segmentText(std::wstring_view segment, const NodeText& label) {
    return segment == label.view() ? label : NodeText(segment);
}

NodeText indexSegment(const NodeText& label, int32_t index) {
    const std::wstring segment = L"[" + integerText(index) + L"]";
    return segmentText(segment, label);
}

const NativeNode* nodeAtPath(const NativeNode& root, std::wstring_view path) {
    if (path.empty() || path == L"/") return &root;
    if (path.front() != L'/') return nullptr;
    const NativeNode* node = &root;
    for (size_t at = 1; node;) {
        const size_t end = path.find(L'/', at);
        const std::wstring_view segment = path.substr(at, end == std::wstring_view::npos ? path.npos : end - at);
        if (segment.empty()) return nullptr;
        node = childBySegment(*node, segment);
        if (end == std::wstring_view::npos) break;
        at = end + 1;
    }
    return node;
}

const NativeNode* AdapterCore::nodeAtPath(const NativeNode* root, const std::wstring& path) {
    return root ? ::nodeAtPath(*root, path) : nullptr;
}
