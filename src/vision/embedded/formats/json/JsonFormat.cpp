// Reading JSON dictionary files with simdjson's On-Demand API.
//
// The file is read once into a padded buffer taken from the budget, checked
// to be UTF-8, indexed by simdjson and walked once, building the dictionaries
// as the values come: no tree of the whole document is ever built (simdjson's
// DOM tape would cost 16 bytes per value beside the result). Numeric arrays
// read as tuples become one array of integers or reals, reserved to its
// length; equal small integers and short strings share one tuple. The walk
// recurses once per nesting level (about 700 bytes of stack, several times
// that in a sanitizer build) and refuses the 513th; on a host thread with
// less stack left than 512 levels may need, it runs on a thread of its own
// (withDeepStack).
//
// When the parser stops, a small checker of our own (below, used on that
// path only) finds the first problem in document order and says what it is
// and where: "Invalid JSON: expected ',' or '}' at line 3, column 14".
#include "formats/json/JsonFormat.h"

#include <simdjson.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "base/Access.h"
#include "base/Arena.h"
#include "base/Errors.h"
#include "base/Hash.h"
#include "base/TupleData.h"
#include "tools/Dict.h"
#include "tools/DictParams.h"

using HalconCpp::HHandle;
using HalconCpp::HTuple;

namespace ixv::formats::json {

namespace {

namespace od = simdjson::ondemand;

constexpr const char* kProc = "read_dict";

// What the values of a file cost in memory (glibc, 64-bit), charged to the
// budget before they are made: a dictionary with its shared-pointer block;
// a tuple's shared storage; a string held by a key (its shared block); one
// value of an object or an array (its tuple twice, in the list of its
// nesting level and in the dictionary); one key of a new set of keys (its
// element and its place in a key index).
constexpr uint64_t kDictBytes = sizeof(Dict) + 32;
constexpr uint64_t kTupleBytes = 160;
constexpr uint64_t kStringBytes = 64;
constexpr uint64_t kValueBytes = 2 * sizeof(HTuple);
constexpr uint64_t kKeyBytes = sizeof(Element) + 64;
constexpr uint64_t kElementBytes = sizeof(Element);
// simdjson's index of the text: 4 bytes per structural character at most,
// and its buffer of unescaped strings, 5/3 of the text.
constexpr uint64_t kParserBytesPerByte = 6;
// The longest text simdjson indexes (32-bit offsets).
constexpr uint64_t kLongestText = 0xFFFFFFFFull - simdjson::SIMDJSON_PADDING;

// The parser stopped: simdjson's reason, or nesting beyond the limit.
struct Stop {
    simdjson::error_code code;
};

template <class T>
T get(simdjson::simdjson_result<T>&& result) {
    T value;
    if (const simdjson::error_code code = std::move(result).get(value)) throw Stop{code};
    return value;
}

// ---------------------------------------------------------------------------
// The error path: the first problem of a text, and where it is.

struct Problem {
    std::string what;
    size_t offset = 0;
};

// The offset of the first byte that is not part of valid UTF-8.
size_t invalidUtf8At(const unsigned char* text, size_t size) {
    size_t i = 0;
    while (i < size) {
        const unsigned char c = text[i];
        size_t length = c < 0x80 ? 1 : (c >> 5) == 0x6 ? 2 : (c >> 4) == 0xE ? 3 : (c >> 3) == 0x1E ? 4 : 0;
        if (length == 0 || i + length > size) return i;
        uint32_t code = length == 1 ? c : c & (0x7F >> length);
        for (size_t k = 1; k < length; ++k) {
            if ((text[i + k] & 0xC0) != 0x80) return i;
            code = (code << 6) | (text[i + k] & 0x3F);
        }
        const uint32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (code < least[length] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF)) return i;
        i += length;
    }
    return size;
}

// Checks a JSON text from the start and returns its first problem, or an
// empty `what` when it finds none. Iterative: the nesting is a stack of open
// brackets, refused beyond the limit.
class Checker {
public:
    Checker(const char* text, size_t size) : begin_(text), p_(text), end_(text + size) {}

    Problem run() {
        std::vector<char> open;
        skipSpace();
        if (p_ == end_) return fail("the file holds no value");
        if (*p_ != '{' && *p_ != '[') return fail("the top level must be an object or an array");
        for (;;) {
            // A value is expected here.
            skipSpace();
            if (p_ == end_) return fail("expected a value");
            const char c = *p_;
            bool opened = false;
            if (c == '{' || c == '[') {
                open.push_back(c);
                if (open.size() > static_cast<size_t>(Limits::nestingDepth))
                    return fail("nesting deeper than " + std::to_string(Limits::nestingDepth) + " levels");
                ++p_;
                skipSpace();
                if (p_ < end_ && *p_ == (c == '{' ? '}' : ']')) {
                    ++p_;
                    open.pop_back();
                } else {
                    opened = true;
                }
            } else if (c == '"') {
                if (!string()) return problem_;
            } else if (c == '-' || (c >= '0' && c <= '9')) {
                if (!number()) return problem_;
            } else if (c == 't' || c == 'f' || c == 'n') {
                if (!literal()) return problem_;
            } else {
                return fail("expected a value");
            }
            if (opened && open.back() == '{') {
                if (!key()) return problem_;
                continue;
            }
            if (opened) continue;
            // After a value: a separator, a closing bracket, or the end.
            for (;;) {
                skipSpace();
                if (open.empty()) {
                    if (p_ != end_) return fail("unexpected content after the top-level value");
                    return Problem{};
                }
                const bool inObject = open.back() == '{';
                if (p_ < end_ && *p_ == ',') {
                    ++p_;
                    if (inObject && !key()) return problem_;
                    break;
                }
                if (p_ < end_ && *p_ == (inObject ? '}' : ']')) {
                    ++p_;
                    open.pop_back();
                    continue;
                }
                return fail(inObject ? "expected ',' or '}'" : "expected ',' or ']'");
            }
        }
    }

private:
    Problem fail(std::string what, const char* at = nullptr) {
        problem_ = Problem{std::move(what), static_cast<size_t>((at ? at : p_) - begin_)};
        return problem_;
    }
    bool failed(std::string what, const char* at = nullptr) {
        fail(std::move(what), at);
        return false;
    }
    void skipSpace() {
        while (p_ < end_ && (*p_ == ' ' || *p_ == '\t' || *p_ == '\n' || *p_ == '\r')) ++p_;
    }
    bool delimited() const {
        return p_ == end_ || std::strchr(" \t\n\r,]}", *p_) != nullptr;
    }
    // A key and its colon, after '{' or ','.
    bool key() {
        skipSpace();
        if (p_ == end_ || *p_ != '"') return failed("expected a string key");
        if (!string()) return false;
        skipSpace();
        if (p_ == end_ || *p_ != ':') return failed("expected ':' after the key");
        ++p_;
        return true;
    }
    int hex4(const char* at) const {
        if (end_ - at < 4) return -1;
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const char c = at[i];
            const int digit = c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10
                              : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        return value;
    }
    bool string() {
        const char* start = p_++;
        for (;;) {
            if (p_ == end_) return failed("unterminated string", start);
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return true;
            }
            if (c < 0x20) return failed("control character in a string (escape it as \\u00XX)");
            if (c != '\\') {
                ++p_;
                continue;
            }
            if (end_ - p_ < 2) return failed("unterminated string", start);
            const char e = p_[1];
            if (e != 'u') {
                if (!std::strchr("\"\\/bfnrt", e)) return failed(std::string("invalid escape '\\") + e + "'");
                p_ += 2;
                continue;
            }
            const int code = hex4(p_ + 2);
            if (code < 0) return failed("invalid \\u escape: four hexadecimal digits expected");
            if (code >= 0xDC00 && code <= 0xDFFF) return failed("unpaired surrogate in a \\u escape");
            if (code >= 0xD800 && code <= 0xDBFF) {
                const bool paired = end_ - p_ >= 12 && p_[6] == '\\' && p_[7] == 'u' && hex4(p_ + 8) >= 0xDC00 &&
                                    hex4(p_ + 8) <= 0xDFFF;
                if (!paired) return failed("unpaired surrogate in a \\u escape");
                p_ += 6;
            }
            p_ += 6;
        }
    }
    bool number() {
        const char* start = p_;
        if (*p_ == '-') ++p_;
        auto digits = [&] {
            const char* first = p_;
            while (p_ < end_ && *p_ >= '0' && *p_ <= '9') ++p_;
            return p_ - first;
        };
        const char* integer = p_;
        const auto integerDigits = digits();
        if (integerDigits == 0 || (*integer == '0' && integerDigits > 1)) return failed("invalid number", start);
        bool real = false;
        if (p_ < end_ && *p_ == '.') {
            ++p_;
            real = true;
            if (digits() == 0) return failed("invalid number", start);
        }
        if (p_ < end_ && (*p_ == 'e' || *p_ == 'E')) {
            ++p_;
            real = true;
            if (p_ < end_ && (*p_ == '+' || *p_ == '-')) ++p_;
            if (digits() == 0) return failed("invalid number", start);
        }
        if (!delimited()) return failed("invalid number", start);
        if (!real && integerDigits <= 18) return true;
        // Beyond the range of a real (underflow reads as zero).
        double value = 0;
        const auto [end, error] = std::from_chars(start, p_, value);
        (void)end;
        if (error == std::errc::result_out_of_range && magnitude(integer, integerDigits) > 0)
            return failed("number " + std::string(start, p_) + " beyond the range of a real", start);
        return true;
    }
    // The power of ten of a number's first significant digit, roughly: above
    // zero for numbers too large, far below for numbers too small.
    long magnitude(const char* integer, long integerDigits) const {
        const char* at = integer + integerDigits;
        long exponent = 0;
        const char* e = std::find_if(integer, p_, [](char c) { return c == 'e' || c == 'E'; });
        if (e != p_) {
            const char* digitsAt = e + 1 + (e[1] == '+' || e[1] == '-');
            const std::string_view text(digitsAt, static_cast<size_t>(p_ - digitsAt));
            exponent = text.size() > 9 ? 999999999 : std::stol(std::string(text));
            if (e[1] == '-') exponent = -exponent;
        }
        if (!(integerDigits == 1 && *integer == '0')) return integerDigits + exponent;
        long zeros = 0;
        if (at < p_ && *at == '.')
            for (const char* f = at + 1; f < e && *f == '0'; ++f) ++zeros;
        return exponent - zeros;
    }
    bool literal() {
        for (const char* word : {"true", "false", "null"}) {
            const size_t length = std::strlen(word);
            if (static_cast<size_t>(end_ - p_) >= length && std::memcmp(p_, word, length) == 0) {
                p_ += length;
                if (!delimited()) return failed("expected a value", p_ - length);
                return true;
            }
        }
        return failed("expected a value");
    }

    const char* begin_;
    const char* p_;
    const char* end_;
    Problem problem_;
};

[[noreturn]] void invalid(const std::string& problem) {
    raiseMessage(kProc, err::FileFormat, "Invalid JSON: " + problem);
}

// Why the parser stopped, said as precisely as the checker can.
[[noreturn]] void explain(const char* text, size_t size, simdjson::error_code code, const char* stoppedAt) {
    if (code == simdjson::MEMALLOC) raise(kProc, err::OutOfMemory, "while indexing the JSON text");
    const Problem problem = Checker(text, size).run();
    if (!problem.what.empty()) invalid(problem.what + " at " + lineColumn(text, problem.offset));
    // The checker finds nothing simdjson refuses; should it, simdjson's words and position.
    const size_t offset = stoppedAt && stoppedAt >= text && stoppedAt <= text + size ? size_t(stoppedAt - text) : size;
    invalid(std::string(simdjson::error_message(code)) + " at " + lineColumn(text, offset));
}

// ---------------------------------------------------------------------------
// Building the dictionaries.

// The elements of one array read as a tuple: integers alone stay an array of
// integers, reals alone an array of reals, anything else a list of values.
class TupleBuilder {
public:
    TupleBuilder(Budget& budget, size_t expected) : budget_(budget), expected_(expected) {
        if (expected_ > 0) {
            take(8 * expected_);
            longs_.reserve(expected_);
        }
    }
    void integer(Hlong value) {
        if (kind_ == TupleData::Kind::Longs) {
            if (longs_.size() >= expected_) take(8);
            longs_.push_back(value);
        } else {
            element(value);
        }
    }
    void real(double value) {
        if (kind_ == TupleData::Kind::Longs && longs_.empty()) {
            kind_ = TupleData::Kind::Doubles;
            longs_ = {};
            doubles_.reserve(expected_);
        }
        if (kind_ == TupleData::Kind::Doubles) {
            if (doubles_.size() >= expected_) take(8);
            doubles_.push_back(value);
        } else {
            element(value);
        }
    }
    void element(Element value) {
        if (kind_ != TupleData::Kind::Mixed) {
            take(kElementBytes * (std::max(expected_, longs_.size() + doubles_.size()) + 1));
            mixed_.reserve(expected_);
            for (Hlong v : longs_) mixed_.emplace_back(v);
            for (double v : doubles_) mixed_.emplace_back(v);
            longs_ = {};
            doubles_ = {};
            kind_ = TupleData::Kind::Mixed;
        } else if (mixed_.size() >= expected_) {
            take(kElementBytes);
        }
        mixed_.push_back(std::move(value));
    }
    // The values of true, false or null: numbers keep the tuple numeric.
    void elements(const HTuple& values) {
        for (Hlong i = 0; i < values.Length(); ++i) {
            Element e = elementOf(values, i);
            if (const Hlong* l = std::get_if<Hlong>(&e))
                integer(*l);
            else if (const double* d = std::get_if<double>(&e))
                real(*d);
            else
                element(std::move(e));
        }
    }
    HTuple finish() {
        switch (kind_) {
        case TupleData::Kind::Longs: return tupleOfLongs(std::move(longs_));
        case TupleData::Kind::Doubles: return tupleOfDoubles(std::move(doubles_));
        case TupleData::Kind::Mixed:
        case TupleData::Kind::Repeated: break;
        }
        return tupleOfElements(std::move(mixed_));
    }

private:
    void take(uint64_t bytes) {
        budget_.take(bytes, [] { return std::string("the dictionary read from the JSON file"); });
    }
    Budget& budget_;
    size_t expected_;
    TupleData::Kind kind_ = TupleData::Kind::Longs;
    std::vector<Hlong> longs_;
    std::vector<double> doubles_;
    std::vector<Element> mixed_;
};

class Reader {
public:
    Reader(Budget& budget, const DictReadOptions& options, od::document& document, const char* text)
        : document_(document), released_(text), budget_(budget), options_(options), arena_(Arena::make()) {}
    ~Reader() { arena_->release(); }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // True once text before the walk's position has been given back.
    bool releasedText() const { return releasedAny_; }

    HHandle root(od::document& document) {
        switch (get(document.type())) {
        case od::json_type::object: return object(get(document.get_object()), 1);
        case od::json_type::array: return arrayDict(get(document.get_array()), 1);
        default: throw Stop{simdjson::INCORRECT_TYPE};
        }
    }

private:
    void take(uint64_t bytes) {
        budget_.take(bytes, [] { return std::string("the dictionary read from the JSON file"); });
    }

    // The walk never reads text behind its position again: numbers are parsed
    // where they stand, strings and keys are unescaped into simdjson's own
    // buffer. Every 64 Ki values the whole pages of text behind the position
    // (but one) are given back to the system, at least 1 MB at a time, so
    // that the text is gone by the time the dictionaries are whole: for a
    // dataset description, whose dictionaries are several times the text, it
    // lowers the peak by nearly the text's size. Giving pages back costs
    // about what touching them costs on these VMs. The error path reads the
    // file again when it needs the text.
    void tick() {
        if (simdjson_likely(++values_ & 0xFFFF)) return;
        releaseConsumedText();
    }
    __attribute__((noinline)) void releaseConsumedText() {
        const char* at = nullptr;
        if (document_.current_location().get(at) != simdjson::SUCCESS) return;
        static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t from = (reinterpret_cast<uintptr_t>(released_) + page - 1) & ~(page - 1);
        const uintptr_t to = (reinterpret_cast<uintptr_t>(at) & ~(page - 1)) - page;
        if (to <= from || to - from < (uintptr_t{1} << 20)) return;
        if (::madvise(reinterpret_cast<void*>(from), to - from, MADV_DONTNEED) == 0) {
            released_ = reinterpret_cast<const char*>(to);
            releasedAny_ = true;
        }
    }

    static void enter(int depth) {
        if (depth > Limits::nestingDepth) throw Stop{simdjson::DEPTH_ERROR};
    }
    std::shared_ptr<Dict> dict() {
        take(kDictBytes);
        return newDict(arena_);
    }

    // The values of the object or array being read at each depth, collected
    // before the dictionary is made so that its value list is allocated once,
    // at its length; the lists keep their room for the next container.
    struct Pending {
        Dict::Values values;
        std::vector<uint64_t> bits;  // the values of an array of numbers alone
        // The keys of an object, copied here as they come (the text behind
        // the walk is given back), each as its offset and length; their views
        // once the object is read; their positions once the object is too
        // long to search linearly (views into `nameBytes`, remade when it moves).
        std::string nameBytes;
        std::vector<std::pair<size_t, size_t>> spans;
        std::vector<std::string_view> names;
        std::unordered_map<std::string_view, size_t, TextHash> index;

        std::string_view name(size_t i) const { return std::string_view(nameBytes).substr(spans[i].first, spans[i].second); }
    };

    Pending& pending(int depth) {
        if (pending_.empty()) pending_.resize(Limits::nestingDepth + 1);  // never moves once made
        Pending& p = pending_[static_cast<size_t>(depth)];
        p.values.clear();
        p.nameBytes.clear();
        p.spans.clear();
        p.names.clear();
        p.index.clear();
        return p;
    }

    // The keys of a dictionary and their index, shared by every dictionary
    // of the file with the same keys in the same order (the records of a
    // dataset, the arrays of one length).
    using Keys = std::shared_ptr<const Dict::KeySet>;

    const Keys& objectKeys(const std::vector<std::string_view>& names) {
        shape_.clear();
        for (std::string_view name : names) {
            const uint32_t size = static_cast<uint32_t>(name.size());
            shape_.append(reinterpret_cast<const char*>(&size), sizeof size).append(name);
        }
        if (const auto found = shapes_.find(shape_); found != shapes_.end()) return found->second;
        auto keys = std::make_shared<TupleData>();
        keys->kind = TupleData::Kind::Mixed;
        keys->mixed.reserve(names.size());
        take(names.size() * kKeyBytes + shape_.size());
        for (std::string_view name : names) keys->mixed.emplace_back(std::string(name));
        Keys made = std::make_shared<const Dict::KeySet>(Dict::KeySet{keys, Dict::indexOf(*keys)});
        if (shapes_.size() >= kShapes) {
            unshared_ = std::move(made);
            return unshared_;
        }
        take(shape_.size() + 64);
        return shapes_.emplace(shape_, std::move(made)).first->second;
    }

    Keys arrayKeys(size_t n) {
        if (n < iota_.size() && iota_[n]) return iota_[n];
        take(8 * n + kTupleBytes);
        std::vector<Hlong> indices(n);
        for (size_t i = 0; i < n; ++i) indices[i] = static_cast<Hlong>(i);
        auto tuple = std::make_shared<TupleData>();
        tuple->longs = std::move(indices);
        Keys keys = std::make_shared<const Dict::KeySet>(Dict::KeySet{std::move(tuple), nullptr});
        if (n < kSharedArrayKeys) {
            if (iota_.size() <= n) iota_.resize(n + 1);
            iota_[n] = keys;
        }
        return keys;
    }

    std::shared_ptr<Dict> dictOf(Dict::Values& values, const Keys& keys, bool sequential) {
        std::shared_ptr<Dict> dict = this->dict();
        dict->adopt(values, keys, sequential, arena_);
        return dict;
    }

    // The place of a key already read in this object, or null.
    static HTuple* repeated(Pending& p, std::string_view key) {
        if (p.index.empty()) {
            for (size_t i = 0; i < p.spans.size(); ++i)
                if (p.name(i) == key) return &p.values[i];
            return nullptr;
        }
        const auto found = p.index.find(key);
        return found == p.index.end() ? nullptr : &p.values[found->second];
    }

    // A dictionary of an object's fields, in document order; a repeated key
    // keeps its first place and takes the last value.
    HHandle object(od::object object, int depth) {
        enter(depth);
        Pending& p = pending(depth);
        for (auto result : object) {
            od::field field = get(std::move(result));
            // A key without escapes is taken from the text, not unescaped into
            // simdjson's buffer (fresh memory the load would touch once more).
            const char* raw = field.key().raw();
            const char* end = raw;
            while (*end != '"' && *end != '\\') ++end;
            const std::string_view key = *end == '"' ? std::string_view(raw, size_t(end - raw)) : get(field.unescaped_key());
            const size_t at = p.nameBytes.size();
            const char* before = p.nameBytes.data();
            p.nameBytes.append(key);
            if (p.nameBytes.data() != before && !p.index.empty()) {
                p.index.clear();
                for (size_t i = 0; i < p.spans.size(); ++i) p.index.emplace(p.name(i), i);
            }
            take(kValueBytes);
            HTuple value = held(field.value(), depth);
            const std::string_view name(p.nameBytes.data() + at, key.size());
            if (HTuple* same = repeated(p, name)) {
                *same = std::move(value);
                p.nameBytes.resize(at);
                continue;
            }
            p.values.push_back(std::move(value));
            p.spans.emplace_back(at, key.size());
            if (!p.index.empty())
                p.index.emplace(name, p.spans.size() - 1);
            else if (p.spans.size() > kLinearFields)
                for (size_t i = 0; i < p.spans.size(); ++i) p.index.emplace(p.name(i), i);
        }
        for (size_t i = 0; i < p.spans.size(); ++i) p.names.push_back(p.name(i));
        return handleOf(dictOf(p.values, objectKeys(p.names), false));
    }

    // The length of an array of scalars, counted before it is read so that
    // its storage is allocated once; 0 for an array with a container, where
    // counting stops (it would skip the container's content once more).
    static size_t scalarCount(od::array& array) {
        size_t count = 0;
        for (auto element : array) {
            const od::json_type type = get(element.type());
            if (type == od::json_type::object || type == od::json_type::array) {
                count = 0;
                break;
            }
            ++count;
        }
        get(array.reset());
        return count;
    }

    // A dictionary with the keys 0..n-1, each holding an element as a key
    // holds a value. Numbers alone, all integers or all reals (box
    // coordinates, labels), are collected as 8-byte values and kept so.
    HHandle arrayDict(od::array array, int depth) {
        enter(depth);
        const size_t count = scalarCount(array);
        Pending& p = pending(depth);
        p.bits.clear();
        enum { None, Integers, Reals, Values } kind = None;
        for (auto element : array) {
            take(kValueBytes);
            HTuple value = held(get(std::move(element)), depth);
            if (kind != Values) {
                const Hlong* integer = Access::integer(value);
                const double* real = Access::real(value);
                if (kind == None && (integer || real)) {
                    kind = integer ? Integers : Reals;
                    p.bits.reserve(count);
                }
                if ((kind == Integers && integer) || (kind == Reals && real)) {
                    uint64_t bits = 0;
                    std::memcpy(&bits, integer ? static_cast<const void*>(integer) : real, sizeof bits);
                    p.bits.push_back(bits);
                    continue;
                }
                p.values.reserve(count);
                for (uint64_t bits : p.bits) {
                    double d = 0;
                    std::memcpy(&d, &bits, sizeof d);
                    p.values.push_back(kind == Integers ? HTuple(static_cast<Hlong>(bits)) : HTuple(d));
                }
                kind = Values;
            }
            p.values.push_back(std::move(value));
        }
        if (kind == Values || kind == None)
            return handleOf(dictOf(p.values, arrayKeys(p.values.size()), true));
        std::shared_ptr<Dict> dict = this->dict();
        dict->adoptNumbers(p.bits.data(), p.bits.size(), kind == Reals, arrayKeys(p.bits.size()), arena_);
        return handleOf(std::move(dict));
    }

    // An array as a tuple; objects and arrays inside it become dictionary handles.
    HTuple arrayTuple(od::array array, int depth) {
        enter(depth);
        take(kTupleBytes);
        const size_t count = scalarCount(array);
        const bool huge = count >= kHugeArray;
        TupleBuilder tuple(budget_, count);
        for (auto result : array) {
            if (huge) tick();
            od::value value = get(std::move(result));
            switch (get(value.type())) {
            case od::json_type::object: tuple.element(object(get(value.get_object()), depth + 1)); break;
            case od::json_type::array: tuple.element(arrayDict(get(value.get_array()), depth + 1)); break;
            case od::json_type::number: {
                int64_t integer = 0;
                if (value.get_int64().get(integer) == simdjson::SUCCESS)
                    tuple.integer(integer);
                else
                    tuple.real(real(value));
                break;
            }
            case od::json_type::string: {
                const std::string_view text = get(value.get_string());
                take(text.size());
                tuple.element(std::string(text));
                break;
            }
            case od::json_type::boolean: tuple.elements(get(value.get_bool()) ? options_.valueTrue : options_.valueFalse); break;
            case od::json_type::null: nullValue(value), tuple.elements(options_.valueNull); break;
            }
        }
        return tuple.finish();
    }

    // A tuple of one string; short strings (labels, splits, class names) share
    // their text, up to a bounded number of texts.
    HTuple stringTuple(std::string_view text) {
        if (text.size() > kSharedStringBytes) {
            take(kStringBytes + text.size());
            return tupleOfText(text, arena_);
        }
        std::string key(text);  // short: no allocation
        const auto found = strings_.find(key);
        if (found != strings_.end()) return found->second;
        take(kStringBytes);
        HTuple tuple = tupleOfText(key, arena_);
        if (strings_.size() < kSharedStrings) {
            take(kStringBytes);
            strings_.emplace(std::move(key), tuple);
        }
        return tuple;
    }

    // A number that is no 64-bit integer. simdjson refuses exponents of many
    // digits ("1e-0000000000000000000001", "0e99999999999999999999"): such a
    // number is read by from_chars, and one below the range of a real is zero.
    static double real(od::value& value) {
        double result = 0;
        const simdjson::error_code code = value.get_double().get(result);
        if (code == simdjson::SUCCESS) return result;
        if (code != simdjson::NUMBER_ERROR) throw Stop{code};
        std::string_view token = value.raw_json_token();
        token = token.substr(0, token.find_first_of(" \t\n\r,]}"));
        size_t i = 0;
        auto digits = [&] {
            const size_t first = i;
            while (i < token.size() && token[i] >= '0' && token[i] <= '9') ++i;
            return i - first;
        };
        const bool negative = !token.empty() && token[0] == '-';
        i = negative;
        const bool zero = token.find_first_not_of("0.", i) == token.find_first_of("eE");
        const size_t integerDigits = digits();
        if (integerDigits == 0 || (token[negative] == '0' && integerDigits > 1)) throw Stop{code};
        if (i < token.size() && token[i] == '.' && (++i, digits() == 0)) throw Stop{code};
        if (i == token.size() || (token[i] != 'e' && token[i] != 'E')) throw Stop{code};
        const bool below = ++i < token.size() && token[i] == '-';
        if (i < token.size() && (token[i] == '-' || token[i] == '+')) ++i;
        if (digits() == 0 || i != token.size()) throw Stop{code};
        const auto [end, error] = std::from_chars(token.data(), token.data() + token.size(), result);
        if (error == std::errc() && end == token.data() + token.size()) return result;
        if (error != std::errc::result_out_of_range || !(zero || below)) throw Stop{code};
        return negative ? -0.0 : 0.0;
    }

    static void nullValue(od::value& value) {
        if (!get(value.is_null())) throw Stop{simdjson::N_ATOM_ERROR};
    }

    // A value as a dictionary key holds it.
    HTuple held(od::value value, int depth) {
        tick();
        switch (get(value.type())) {
        case od::json_type::object: return HTuple(object(get(value.get_object()), depth + 1));
        case od::json_type::array:
            if (options_.arraysAsTuples) return arrayTuple(get(value.get_array()), depth + 1);
            return HTuple(arrayDict(get(value.get_array()), depth + 1));
        case od::json_type::number: {
            int64_t integer = 0;
            if (value.get_int64().get(integer) == simdjson::SUCCESS) return HTuple(Hlong{integer});
            return HTuple(real(value));
        }
        case od::json_type::string: return stringTuple(get(value.get_string()));
        case od::json_type::boolean: return get(value.get_bool()) ? options_.valueTrue : options_.valueFalse;
        case od::json_type::null: nullValue(value); return options_.valueNull;
        }
        throw Stop{simdjson::TAPE_ERROR};
    }

    static constexpr size_t kHugeArray = size_t{1} << 20;
    od::document& document_;
    const char* released_;
    bool releasedAny_ = false;
    uint64_t values_ = 0;
    static constexpr size_t kSharedStringBytes = 15, kSharedStrings = 4096;
    static constexpr size_t kLinearFields = 16;  // keys of an object searched linearly for repeats
    Budget& budget_;
    const DictReadOptions& options_;
    static constexpr size_t kShapes = 4096, kSharedArrayKeys = 4096;
    std::unordered_map<std::string, HTuple, TextHash> strings_;
    std::vector<Pending> pending_;
    std::string shape_;  // the keys of the object just read, each after its length
    std::unordered_map<std::string, Keys, TextHash> shapes_;
    Keys unshared_;
    std::vector<Keys> iota_;
    // The file's dictionaries and texts live here; each keeps it alive.
    Arena* arena_;
};

}  // namespace

bool matches(const uint8_t* head, size_t size) {
    size_t i = size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
    while (i < size && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r')) ++i;
    return i < size && (head[i] == '{' || head[i] == '[');
}

std::string lineColumn(const char* text, size_t offset) {
    uint64_t line = 1, column = 1;
    for (size_t i = 0; i < offset; ++i) {
        if (text[i] == '\n') {
            ++line;
            column = 1;
        } else if ((static_cast<unsigned char>(text[i]) & 0xC0) != 0x80) {
            ++column;
        }
    }
    return "line " + std::to_string(line) + ", column " + std::to_string(column);
}

namespace {

HHandle readText(const ByteSource& file, Budget& budget, const HTuple& names, const HTuple& values) {
    const DictReadOptions options = dictReadOptions(names, values, kProc);
    const uint64_t size = file.size();
    checkLimit(size, kLongestText, kProc, "JSON file of " + std::to_string(size) + " bytes", " bytes");
    budget.take(size + simdjson::SIMDJSON_PADDING, "JSON text of " + std::to_string(size) + " bytes");
    budget.take(size * kParserBytesPerByte, "the index of a JSON text of " + std::to_string(size) + " bytes");
    const std::unique_ptr<char[]> buffer(new char[size + simdjson::SIMDJSON_PADDING]);
    file.read(0, buffer.get(), size, "JSON", "text");
    std::memset(buffer.get() + size, 0, simdjson::SIMDJSON_PADDING);

    // A byte order mark is allowed and skipped; positions count from after it.
    const bool bom = size >= 3 && std::memcmp(buffer.get(), "\xEF\xBB\xBF", 3) == 0;
    const char* text = buffer.get() + (bom ? 3 : 0);
    const size_t length = size - (bom ? 3 : 0);
    if (!simdjson::validate_utf8(text, length)) {
        const size_t at = invalidUtf8At(reinterpret_cast<const unsigned char*>(text), length);
        invalid("invalid UTF-8 at byte offset " + std::to_string(at + (bom ? 3 : 0)) + " (" + lineColumn(text, at) +
                ")");
    }

    od::parser parser;
    od::document document;
    if (const simdjson::error_code code = parser.iterate(text, length, length + simdjson::SIMDJSON_PADDING).get(document))
        explain(text, length, code, nullptr);
    Reader reader(budget, options, document, text);
    try {
        HHandle root = reader.root(document);
        // Anything after the top-level value is an error; the index is at its end only when nothing follows.
        const char* after = nullptr;
        if (document.current_location().get(after) != simdjson::OUT_OF_BOUNDS) throw Stop{simdjson::TRAILING_CONTENT};
        return root;
    } catch (const Stop& stop) {
        const char* at = nullptr;
        if (document.current_location().get(at) != simdjson::SUCCESS) at = nullptr;
        if (reader.releasedText()) file.read(0, buffer.get(), size, "JSON", "text");  // pages given back read as zeros
        explain(text, length, stop.code, at);
    }
}

}  // namespace

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple& names, const HTuple& values) {
    HHandle dict;
    withDeepStack([&] { dict = readText(file, budget, names, values); }, kProc);
    return dict;
}

}  // namespace ixv::formats::json
