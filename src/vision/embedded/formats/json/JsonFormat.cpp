// Reading JSON dictionary files.
//
// The file is read once into a padded buffer taken from the budget, checked
// to be UTF-8 (simdjson's validator) and walked once by a reader of our own,
// building the dictionaries as the values come: no index and no tree of the
// whole document is ever built. Numeric arrays
// read as tuples become one array of integers or reals, reserved to its
// length; equal small integers and short strings share one tuple. The walk
// recurses once per nesting level (about 700 bytes of stack, several times
// that in a sanitizer build) and refuses the 513th; on a host thread with
// less stack left than 512 levels may need, it runs on a thread of its own
// (withDeepStack).
//
// When the reader stops, a small checker (below, used on that
// path only) finds the first problem in document order and says what it is
// and where: "Invalid JSON: expected ',' or '}' at line 3, column 14".
#include "formats/json/JsonFormat.h"

#include <simdjson.h>
#include <sys/mman.h>
#include <unistd.h>

#include <algorithm>
#include <charconv>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string_view>
#include <unordered_map>
#include <vector>

#include "Utf8.h"
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
// The numbers of an array read before the rest of it is counted ahead: fewer
// are collected in a reused buffer, where counting would cost more than it saves.
constexpr size_t kCountedAhead = 256;
// Zeros after the text: the reader looks a few bytes ahead without a bound
// check, and a zero ends every token.
constexpr size_t kPadding = 64;
// The longest text read (positions and counts in 32 bits stay within it).
constexpr uint64_t kLongestText = 0xFFFFFFFFull - kPadding;

// The reader stopped: what it met, or nesting beyond the limit. The checker
// below says what and where; this is its last resort.
struct Stop {
    const char* what;
};

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

// The power of ten of a number's first significant digit, roughly: above
// zero for numbers too large, far below for numbers too small. `integer` is
// the first digit, the number ends at `end`.
long magnitude(const char* integer, long integerDigits, const char* end) {
    const char* at = integer + integerDigits;
    long exponent = 0;
    const char* e = std::find_if(integer, end, [](char c) { return c == 'e' || c == 'E'; });
    if (e != end) {
        const char* digitsAt = e + 1 + (e[1] == '+' || e[1] == '-');
        while (digitsAt + 1 < end && *digitsAt == '0') ++digitsAt;  // "1e0000000000000000001" is 1e1
        const std::string_view text(digitsAt, static_cast<size_t>(end - digitsAt));
        exponent = text.size() > 9 ? 999999999 : std::stol(std::string(text));
        if (e[1] == '-') exponent = -exponent;
    }
    if (!(integerDigits == 1 && *integer == '0')) return integerDigits + exponent;
    long zeros = 0;
    if (at < end && *at == '.')
        for (const char* f = at + 1; f < e && *f == '0'; ++f) ++zeros;
    return exponent - zeros;
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
                if (e == '\0' || !std::strchr("\"\\/bfnrt", e)) return failed(invalidEscape(p_ + 1));
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
    // "invalid escape '\q'": the whole character after the backslash (the
    // text is UTF-8), or its code point when it is a control character.
    std::string invalidEscape(const char* at) const {
        const unsigned char c = static_cast<unsigned char>(*at);
        if (c < 0x20) {
            const char hex[] = "0123456789ABCDEF";
            return std::string("invalid escape: '\\' before the control character U+00") + hex[c >> 4] + hex[c & 15];
        }
        const size_t length = c < 0x80 ? 1 : c < 0xE0 ? 2 : c < 0xF0 ? 3 : 4;
        return "invalid escape '\\" + std::string(at, std::min<size_t>(length, static_cast<size_t>(end_ - at))) + "'";
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
        if (error == std::errc::result_out_of_range && magnitude(integer, integerDigits, p_) > 0)
            return failed("number " + std::string(start, p_) + " beyond the range of a real", start);
        return true;
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

// Why the reader stopped, said as precisely as the checker can.
[[noreturn]] void explain(const char* text, size_t size, const char* what, const char* stoppedAt) {
    const Problem problem = Checker(text, size).run();
    if (!problem.what.empty()) invalid(problem.what + " at " + lineColumn(text, problem.offset));
    // The checker finds nothing the reader refuses; should it, the reader's words, where
    // it stopped or, at the end of the text, on the last character (a column inside its line).
    size_t offset = stoppedAt && stoppedAt >= text && stoppedAt < text + size ? size_t(stoppedAt - text) : size;
    if (offset == size) {
        while (offset > 0 && (text[offset - 1] == ' ' || text[offset - 1] == '\t' || text[offset - 1] == '\r' ||
                              text[offset - 1] == '\n'))
            --offset;
        if (offset > 0) --offset;
    }
    invalid(std::string(what) + " at " + lineColumn(text, offset));
}

// ---------------------------------------------------------------------------
// Building the dictionaries.

// The elements of one array read as a tuple: integers alone stay an array of
// integers, reals alone an array of reals, anything else a list of values.
//
// Numbers go to `warm` (the caller's buffer, kept from one array to the next)
// and are placed in the arena at the end, behind the tuple's storage; no
// look-ahead is spent on the many short arrays of a file. An array longer than
// the buffer is given room in the arena for the count of its numbers ahead
// (expect()), so that a long one is written once, where it stays.
class TupleBuilder {
public:
    TupleBuilder(Budget& budget, Arena* arena, std::vector<uint64_t>& warm, Dict::Values& held)
        : budget_(budget), arena_(arena), held_(held) {
        if (warm.size() < kCountedAhead) warm.resize(kCountedAhead);
        values_ = warm.data();
        room_ = warm.size();
    }
    // True when the next number needs room beyond the warm buffer: the one
    // time the rest is counted ahead (room in the arena grows by doubling
    // after, so that a long array is not scanned again at every fill).
    bool full() const { return count_ == room_ && !inArena_ && kind_ != TupleData::Kind::Mixed; }
    // Room in the arena for the numbers so far and `ahead` more; with none
    // known ahead (0), twice the room.
    void expect(size_t ahead) {
        const size_t room = ahead > 0 ? count_ + ahead : std::max<size_t>(kCountedAhead, 2 * room_);
        take(8 * (room - (inArena_ ? room_ : 0)));
        void* values = arena_->allocate(8 * room, 8);
        std::memcpy(values, values_, 8 * count_);
        values_ = static_cast<uint64_t*>(values);
        room_ = room;
        inArena_ = true;
    }
    void integer(Hlong value) {
        if (kind_ != TupleData::Kind::Longs) return element(HTuple(value));
        push(&value);
    }
    void real(double value) {
        if (kind_ == TupleData::Kind::Longs && count_ == 0) kind_ = TupleData::Kind::Doubles;
        if (kind_ != TupleData::Kind::Doubles) return element(HTuple(value));
        push(&value);
    }
    // Any other element, as a tuple of one value: collected in `held` (the
    // caller's list, whose values move as bytes when it grows) until the end,
    // when the list and the elements made of it are both held: each is charged.
    // The numbers before the first such element stay where they are.
    void element(HTuple value) {
        if (kind_ != TupleData::Kind::Mixed) {
            take(kElementBytes * count_);
            held_.clear();
            leadingKind_ = kind_;
            kind_ = TupleData::Kind::Mixed;
        }
        take(kHeldElementBytes);
        held_.push_back(std::move(value));
    }
    // The values of true, false or null: numbers keep the tuple numeric.
    void elements(const HTuple& values) {
        for (Hlong i = 0; i < values.Length(); ++i) {
            HTuple one(values[i]);
            if (const Hlong* l = Access::integer(one))
                integer(*l);
            else if (const double* d = Access::real(one))
                real(*d);
            else
                element(std::move(one));
        }
    }
    HTuple finish() {
        if (kind_ == TupleData::Kind::Mixed) {
            std::vector<Element> elements;
            elements.reserve(count_ + held_.size());
            for (size_t i = 0; i < count_; ++i) {
                if (leadingKind_ == TupleData::Kind::Longs)
                    elements.emplace_back(static_cast<Hlong>(values_[i]));
                else
                    elements.emplace_back(realOf(values_[i]));
            }
            for (size_t i = 0; i < held_.size(); ++i) elements.push_back(takeElement(held_[i]));
            held_.clear();
            return tupleOfElements(std::move(elements));
        }
        if (count_ == 0) return tupleOfLongs({});
        if (count_ == 1) return number(values_[0]);
        // Lent to the dictionary that will hold it (see HTuple.h).
        PlacedTuple* data = nullptr;
        if (inArena_) {
            data = new (arena_->allocate(sizeof(PlacedTuple), alignof(PlacedTuple))) PlacedTuple(arena_);
        } else {
            take(8 * count_);
            void* block = arena_->allocate(sizeof(PlacedTuple) + 8 * count_, alignof(PlacedTuple));
            data = new (block) PlacedTuple(arena_);
            void* values = static_cast<char*>(block) + sizeof(PlacedTuple);
            std::memcpy(values, values_, 8 * count_);
            values_ = static_cast<uint64_t*>(values);
        }
        if (kind_ == TupleData::Kind::Longs)
            data->viewLongs(reinterpret_cast<const Hlong*>(values_), count_);
        else
            data->viewDoubles(reinterpret_cast<const double*>(values_), count_);
        return Access::lent(data);
    }

private:
    static constexpr uint64_t kHeldElementBytes = kElementBytes + kValueBytes;
    void take(uint64_t bytes) {
        budget_.take(bytes, [] { return std::string("the dictionary read from the JSON file"); });
    }
    // An integer or a real, as the tuple will read it.
    void push(const void* value) {
        if (count_ == room_) expect(0);
        std::memcpy(&values_[count_++], value, 8);
    }
    static double realOf(uint64_t bits) {
        double real = 0;
        std::memcpy(&real, &bits, sizeof real);
        return real;
    }
    HTuple number(uint64_t bits) const {
        if (kind_ == TupleData::Kind::Longs) return HTuple(static_cast<Hlong>(bits));
        return HTuple(realOf(bits));
    }
    Budget& budget_;
    Arena* arena_;
    Dict::Values& held_;  // Mixed
    TupleData::Kind kind_ = TupleData::Kind::Longs;
    TupleData::Kind leadingKind_ = TupleData::Kind::Longs;  // Mixed: of the numbers before the first other element
    uint64_t* values_;  // Longs, Doubles: the warm buffer, or room in the arena
    size_t count_ = 0;
    size_t room_;
    bool inArena_ = false;
};

// The text's buffer. A large one is mapped on whole huge pages offered to the
// kernel's transparent huge pages (its first touch, by the read, takes far
// fewer page faults so), and the reader hands the pages behind its position
// over to the file's arena as it goes: the dictionaries fill pages the text
// held instead of fresh ones, which the system would first have to clear.
class TextBuffer {
public:
    explicit TextBuffer(size_t size) {
        constexpr size_t kMappedText = size_t{4} << 20;
        if (size >= kMappedText) {
            mapped_ = size;
            data_ = static_cast<char*>(mapPages(&mapped_));
        } else {
            data_ = static_cast<char*>(std::malloc(size));
        }
        if (!data_) throw std::bad_alloc();
    }
    ~TextBuffer() {
        if (!mapped_) {
            std::free(data_);
            return;
        }
        // All but the pages handed over, which the arena unmaps.
        char* const end = data_ + mapped_;
        char* const from = handedFrom_ ? handedFrom_ : end;
        char* const to = handedFrom_ ? handedTo_ : end;
        if (from > data_) ::munmap(data_, size_t(from - data_));
        if (end > to) ::munmap(to, size_t(end - to));
    }
    TextBuffer(const TextBuffer&) = delete;
    TextBuffer& operator=(const TextBuffer&) = delete;
    char* get() const { return data_; }

    // Gives back whole pages [from, to) of the text, each range after the
    // last: to `arena` when the buffer was mapped, else to the system.
    bool giveBack(char* from, char* to, Arena* arena) {
        if (!mapped_) return ::madvise(from, size_t(to - from), MADV_DONTNEED) == 0;
        if (handedFrom_ && from > handedTo_) ::munmap(handedTo_, size_t(from - handedTo_));
        if (!handedFrom_) handedFrom_ = from;
        handedTo_ = to;
        arena->donate(from, size_t(to - from));
        return true;
    }

private:
    char* data_ = nullptr;
    size_t mapped_ = 0;  // 0 for a buffer from malloc
    char* handedFrom_ = nullptr;
    char* handedTo_ = nullptr;
};

// The reader: one walk over the text, building the dictionaries as the
// values come. It refuses what the checker refuses and nothing else; the
// checker then says what and where.
class Reader {
public:
    Reader(Budget& budget, const DictReadOptions& options, const char* text, size_t length, TextBuffer& buffer)
        : p_(text), end_(text + length), released_(text), budget_(budget), options_(options), buffer_(buffer),
          arena_(Arena::make()) {}
    ~Reader() {
        arena_->dropSpare();
        arena_->release();
    }
    Reader(const Reader&) = delete;
    Reader& operator=(const Reader&) = delete;

    // True once text before the walk's position has been given back.
    bool releasedText() const { return releasedAny_; }
    const char* position() const { return p_; }

    // The top-level object or array, and nothing but white space after it.
    HHandle root() {
        skipSpace();
        HHandle root;
        if (*p_ == '{')
            root = object(1);
        else if (*p_ == '[')
            root = arrayDict(1);
        else
            stop("the top level must be an object or an array");
        skipSpace();
        if (p_ != end_) stop("unexpected content after the top-level value");
        return root;
    }

private:
    [[noreturn]] static void stop(const char* what) { throw Stop{what}; }

    void take(uint64_t bytes) {
        budget_.take(bytes, [] { return std::string("the dictionary read from the JSON file"); });
    }

    static bool space(char c) { return c == ' ' || c == '\n' || c == '\r' || c == '\t'; }
    void skipSpace() {
        while (space(*p_)) ++p_;
    }
    // After a number or a literal: white space, a separator, a closing bracket or the end.
    bool delimited() const {
        const char c = *p_;
        return space(c) || c == ',' || c == ']' || c == '}' || p_ == end_;
    }
    // After a value in an object or array: true for ',', false for the closing bracket.
    bool more(char close) {
        skipSpace();
        if (*p_ == ',') {
            ++p_;
            return true;
        }
        if (*p_ != close) stop(close == '}' ? "expected ',' or '}'" : "expected ',' or ']'");
        ++p_;
        return false;
    }

    // The walk reads text behind its position no more: numbers are parsed
    // where they stand, strings copied or unescaped as they are read. Every
    // 64 Ki values the whole pages of text behind the position (but one)
    // are handed over to the file's arena (see TextBuffer), at least 1 MB at
    // a time, so that the text is gone by the time the dictionaries are
    // whole: for a dataset description, whose dictionaries are several times
    // the text, it lowers the peak by nearly the text's size. The error path
    // reads the file again when it needs the text.
    void tick() {
        if (__builtin_expect(++values_ & 0xFFFF, 1)) return;
        releaseConsumedText();
    }
    __attribute__((noinline)) void releaseConsumedText() {
        static const uintptr_t page = static_cast<uintptr_t>(::sysconf(_SC_PAGESIZE));
        const uintptr_t from = (reinterpret_cast<uintptr_t>(released_) + page - 1) & ~(page - 1);
        const uintptr_t to = (reinterpret_cast<uintptr_t>(p_) & ~(page - 1)) - page;
        if (to <= from || to - from < (uintptr_t{1} << 20)) return;
        if (buffer_.giveBack(reinterpret_cast<char*>(from), reinterpret_cast<char*>(to), arena_)) {
            released_ = reinterpret_cast<const char*>(to);
            releasedAny_ = true;
        }
    }

    static void enter(int depth) {
        if (depth > Limits::nestingDepth) stop("nesting too deep");
    }
    std::shared_ptr<Dict> dict() {
        take(kDictBytes);
        return newDict(arena_);
    }

    // --- Tokens -----------------------------------------------------------

    static int hexDigit(char c) {
        return c >= '0' && c <= '9' ? c - '0' : c >= 'a' && c <= 'f' ? c - 'a' + 10 : c >= 'A' && c <= 'F' ? c - 'A' + 10 : -1;
    }
    // Four hexadecimal digits at `at` (the padding ends them), or -1.
    static int hex4(const char* at) {
        int value = 0;
        for (int i = 0; i < 4; ++i) {
            const int digit = hexDigit(at[i]);
            if (digit < 0) return -1;
            value = value * 16 + digit;
        }
        return value;
    }

    // A string at '"': a view of the text when it holds no escape, else its
    // text unescaped into `scratch`. Valid only until the next string.
    std::string_view string(std::string& scratch) {
        const char* start = ++p_;
        for (;;) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return std::string_view(start, size_t(p_ - 1 - start));
            }
            if (c == '\\') break;
            if (c < 0x20) stop("a control character or the end in a string");
            ++p_;
        }
        scratch.assign(start, size_t(p_ - start));
        for (;;) {
            const unsigned char c = static_cast<unsigned char>(*p_);
            if (c == '"') {
                ++p_;
                return scratch;
            }
            if (c < 0x20) stop("a control character or the end in a string");
            if (c != '\\') {
                const char* run = p_;
                while (static_cast<unsigned char>(*p_) >= 0x20 && *p_ != '"' && *p_ != '\\') ++p_;
                scratch.append(run, size_t(p_ - run));
                continue;
            }
            const char e = p_[1];
            p_ += 2;
            switch (e) {
            case '"': scratch += '"'; break;
            case '\\': scratch += '\\'; break;
            case '/': scratch += '/'; break;
            case 'b': scratch += '\b'; break;
            case 'f': scratch += '\f'; break;
            case 'n': scratch += '\n'; break;
            case 'r': scratch += '\r'; break;
            case 't': scratch += '\t'; break;
            case 'u': {
                uint32_t code = static_cast<uint32_t>(hex4(p_));
                if (static_cast<int>(code) < 0) stop("an invalid \\u escape");
                p_ += 4;
                if (code >= 0xDC00 && code <= 0xDFFF) stop("an unpaired surrogate");
                if (code >= 0xD800 && code <= 0xDBFF) {
                    const int low = p_[0] == '\\' && p_[1] == 'u' ? hex4(p_ + 2) : -1;
                    if (low < 0xDC00 || low > 0xDFFF) stop("an unpaired surrogate");
                    code = 0x10000 + ((code - 0xD800) << 10) + (static_cast<uint32_t>(low) - 0xDC00);
                    p_ += 6;
                }
                appendUtf8Code(scratch, code);
                break;
            }
            default: stop("an invalid escape");
            }
        }
    }

    // A number at '-' or a digit: true and `*integer` for an integer within
    // 64 bits, false and `*real` for any other; one beyond the range of a
    // real stops the reader, one below it reads as zero.
    bool number(Hlong* integer, double* real) {
        const char* start = p_;
        const bool negative = *p_ == '-';
        p_ += negative;
        const char* digits = p_;
        // The first 19 digits summed (beyond them the sum would overflow);
        // `lost` once a digit is left out.
        uint64_t value = 0;
        int summed = 0;
        bool lost = false;
        auto sum = [&] {
            if (summed < 19)
                value = value * 10 + uint64_t(*p_ - '0'), ++summed;
            else
                lost = true;
            ++p_;
        };
        if (*p_ == '0')
            ++p_;
        else if (*p_ >= '1' && *p_ <= '9')
            while (*p_ >= '0' && *p_ <= '9') sum();
        else
            stop("an invalid number");
        const long integerDigits = p_ - digits;
        bool isReal = false;
        int exponent = 0;  // of ten, applied to `value`
        if (*p_ == '.') {
            ++p_;
            if (!(*p_ >= '0' && *p_ <= '9')) stop("an invalid number");
            while (*p_ >= '0' && *p_ <= '9') {
                exponent -= summed < 19;
                sum();
            }
            isReal = true;
        }
        if (*p_ == 'e' || *p_ == 'E') {
            ++p_;
            const bool below = *p_ == '-';
            if (*p_ == '+' || *p_ == '-') ++p_;
            if (!(*p_ >= '0' && *p_ <= '9')) stop("an invalid number");
            int e = 0;
            for (; *p_ >= '0' && *p_ <= '9'; ++p_)
                if (e < 100000) e = e * 10 + (*p_ - '0');
            exponent += below ? -e : e;
            isReal = true;
        }
        if (!delimited()) stop("an invalid number");
        if (!isReal && integerDigits <= 19 && value <= uint64_t{INT64_MAX} + negative) {
            *integer = negative ? static_cast<Hlong>(0 - value) : static_cast<Hlong>(value);
            return true;
        }
        // Digits and a power of ten both exact in a double: one rounding, the
        // correct one (most reals of a file: "123.45", "1e-3").
        static constexpr double kPowers[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,  1e8,  1e9,  1e10, 1e11,
                                             1e12, 1e13, 1e14, 1e15, 1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
        if (!lost && value < (uint64_t{1} << 53) && exponent >= -22 && exponent <= 22) {
            const double d = static_cast<double>(value);
            *real = exponent < 0 ? d / kPowers[-exponent] : d * kPowers[exponent];
            if (negative) *real = -*real;
            return false;
        }
        const auto [end, error] = std::from_chars(start, p_, *real);
        if (error == std::errc::result_out_of_range) {
            // Zero whatever its exponent, or below the range of a real: zero.
            const char* nonZero = std::find_if(digits, p_, [](char c) { return (c >= '1' && c <= '9') || c == 'e' || c == 'E'; });
            const bool zero = nonZero == p_ || *nonZero == 'e' || *nonZero == 'E';
            if (!zero && magnitude(digits, integerDigits, p_) > 0) stop("a number beyond the range of a real");
            *real = negative ? -0.0 : 0.0;
        } else if (error != std::errc() || end != p_) {
            stop("an invalid number");
        }
        return false;
    }

    // true, false or null at 't', 'f' or 'n': 1, 0 or 2.
    int literal() {
        int which = -1;
        if (std::memcmp(p_, "true", 4) == 0)
            which = 1, p_ += 4;
        else if (std::memcmp(p_, "false", 5) == 0)
            which = 0, p_ += 5;
        else if (std::memcmp(p_, "null", 4) == 0)
            which = 2, p_ += 4;
        if (which < 0 || !delimited()) stop("expected a value");
        return which;
    }
    const HTuple& literalValue(int which) const {
        return which == 1 ? options_.valueTrue : which == 0 ? options_.valueFalse : options_.valueNull;
    }

    // The number of elements of a long array of scalars from the one at the
    // reader's position to the end, counted on the text ahead so that the
    // array's storage is allocated once; 0 when a container follows, where
    // counting stops, and for an array the reader will refuse at an element
    // that is missing or starts no value. Short arrays are not counted: the
    // scan costs more than their few numbers in a warm buffer.
    size_t scalarCount() const {
        size_t commas = 0;
        bool any = false;  // an element since the last comma
        for (const char* q = p_;; ++q) {
            const char c = *q;
            if (c == ']') return any ? commas + 1 : 0;
            if (c == ',') {
                if (!any) return 0;  // no element before it: the reader stops there
                ++commas;
                any = false;
            } else if (c == '"') {
                any = true;
                for (++q; *q != '"'; ++q) {
                    if (*q == '\\') ++q;
                    if (q >= end_) return 0;
                }
            } else if (c == '[' || c == '{' || q >= end_) {
                return 0;
            } else if (!space(c)) {
                if (!any && !((c >= '0' && c <= '9') || c == '-' || c == 't' || c == 'f' || c == 'n'))
                    return 0;  // no value starts so: the reader stops there
                any = true;
            }
        }
    }

    // --- Dictionaries -----------------------------------------------------

    // The values of the object or array being read at each depth, collected
    // before the dictionary is made so that its value list is allocated once,
    // at its length; the lists keep their room for the next container.
    struct Pending {
        Dict::Values values;
        std::vector<uint64_t> bits;     // the values of an array of numbers alone
        std::vector<uint64_t> numbers;  // room for the numbers of an array read as a tuple
        // The keys of an object, copied here as they come (the text behind
        // the walk is given back), each as its offset and length; their views
        // once the object is read; once the object is too long to search
        // linearly, an open-addressed index of their positions: one slot of
        // 8 bytes a key (its hash above, its position + 1 below), no node.
        std::string nameBytes;
        std::vector<std::pair<size_t, size_t>> spans;
        std::vector<std::string_view> names;
        std::vector<uint64_t> index;
        // The keys of the last object read at this depth: records come in
        // runs of one shape, and an object whose keys match them one by one
        // needs no search for repeated keys and no lookup of its shape.
        std::shared_ptr<const Dict::KeySet> shape;

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
        // An object of very many keys is its own shape: looking it up would
        // copy all its keys once more, for a match that seldom comes.
        const bool shareable = names.size() <= kShapeKeys;
        shape_.clear();
        for (size_t i = 0; shareable && i < names.size(); ++i) {
            const uint32_t size = static_cast<uint32_t>(names[i].size());
            shape_.append(reinterpret_cast<const char*>(&size), sizeof size).append(names[i]);
        }
        if (const auto found = shareable ? shapes_.find(shape_) : shapes_.end(); found != shapes_.end()) {
            shareKeyTexts(*found->second->keys);
            return found->second;
        }
        auto keys = std::make_shared<TupleData>();
        std::vector<Element>& elements = keys->mixedToChange();
        elements.reserve(names.size());
        take(names.size() * kKeyBytes + shape_.size());
        for (std::string_view name : names) elements.emplace_back(std::string(name));
        Keys made = std::make_shared<const Dict::KeySet>(Dict::KeySet{keys, Dict::indexOf(*keys)});
        if (!shareable || shapes_.size() >= kShapes) {
            unshared_ = std::move(made);
            return unshared_;
        }
        take(shape_.size() + 64);
        return shapes_.emplace(shape_, std::move(made)).first->second;
    }

    // The keys of a shape met again (records): one string tuple ready per
    // key, in the arena, so that a reader of the dictionaries takes keys out
    // without copying their texts. Made once per shape, while only this
    // reader sees it.
    void shareKeyTexts(TupleData& keys) {
        constexpr size_t kMostKeys = 256;
        const size_t n = keys.mixed().size();
        if (keys.texts.of(n) || n > kMostKeys) return;
        take(n * (sizeof(HTuple) + kStringBytes));
        auto texts = std::make_unique<std::vector<HTuple>>();
        texts->reserve(n);
        for (const Element& e : keys.mixed()) {
            const std::string* text = std::get_if<std::string>(&e);
            if (!text) return;
            texts->push_back(tupleOfText(*text, arena_));
        }
        keys.texts.tuples = std::move(texts);
    }

    Keys arrayKeys(size_t n) {
        if (n < iota_.size() && iota_[n]) return iota_[n];
        take(8 * n + kTupleBytes);
        std::vector<Hlong> indices(n);
        for (size_t i = 0; i < n; ++i) indices[i] = static_cast<Hlong>(i);
        auto tuple = std::make_shared<TupleData>();
        tuple->setLongs(std::move(indices));
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

    static uint32_t keyHash(std::string_view key) {
        const uint64_t h = hashText(key);
        return static_cast<uint32_t>(h ^ (h >> 32));
    }

    static void indexSlot(std::vector<uint64_t>& index, uint64_t slot) {
        const size_t mask = index.size() - 1;
        size_t at = (slot >> 32) & mask;
        while (index[at] != 0) at = (at + 1) & mask;
        index[at] = slot;
    }

    // Indexes key `i` of `p` (the last one read), the index made or grown
    // (to four slots a key) when the object outgrows a linear search.
    static void indexKey(Pending& p, size_t i) {
        const size_t n = i + 1;
        if (p.index.empty() && n <= kLinearFields) return;
        if (n * 2 > p.index.size()) {
            size_t capacity = 64;
            while (capacity < n * 4) capacity *= 2;
            p.index.assign(capacity, 0);
            for (size_t j = 0; j < n; ++j) indexSlot(p.index, uint64_t{keyHash(p.name(j))} << 32 | (j + 1));
            return;
        }
        indexSlot(p.index, uint64_t{keyHash(p.name(i))} << 32 | (i + 1));
    }

    // The place of a key already read in this object, or null.
    static HTuple* repeated(Pending& p, std::string_view key) {
        if (p.index.empty()) {
            for (size_t i = 0; i < p.spans.size(); ++i)
                if (p.name(i) == key) return &p.values[i];
            return nullptr;
        }
        const uint32_t h = keyHash(key);
        const size_t mask = p.index.size() - 1;
        for (size_t at = h & mask;; at = (at + 1) & mask) {
            const uint64_t slot = p.index[at];
            if (slot == 0) return nullptr;
            const size_t i = static_cast<uint32_t>(slot) - 1;
            if (static_cast<uint32_t>(slot >> 32) == h && p.name(i) == key) return &p.values[i];
        }
    }

    // A dictionary of an object's fields (at '{'), in document order; a
    // repeated key keeps its first place and takes the last value.
    HHandle object(int depth) {
        enter(depth);
        ++p_;
        Pending& p = pending(depth);
        const std::vector<Element>* expected = p.shape ? &p.shape->keys->mixed() : nullptr;
        bool onShape = expected != nullptr;
        skipSpace();
        if (*p_ == '}') {
            ++p_;
        } else {
            do {
                skipSpace();
                if (*p_ != '"') stop("expected a string key");
                const std::string_view key = string(scratch_);
                if (onShape) {
                    const size_t n = p.spans.size();
                    const std::string* known = n < expected->size() ? std::get_if<std::string>(&(*expected)[n]) : nullptr;
                    onShape = known && *known == key;
                }
                skipSpace();
                if (*p_ != ':') stop("expected ':' after the key");
                ++p_;
                skipSpace();
                const size_t at = p.nameBytes.size();
                p.nameBytes.append(key);
                take(kValueBytes);
                HTuple value = held(depth);
                const std::string_view name(p.nameBytes.data() + at, key.size());
                if (HTuple* same = onShape ? nullptr : repeated(p, name)) {
                    *same = std::move(value);
                    p.nameBytes.resize(at);
                    continue;
                }
                p.values.push_back(std::move(value));
                p.spans.emplace_back(at, key.size());
                indexKey(p, p.spans.size() - 1);
            } while (more('}'));
        }
        if (!onShape || p.spans.size() != expected->size()) {
            for (size_t i = 0; i < p.spans.size(); ++i) p.names.push_back(p.name(i));
            p.shape = objectKeys(p.names);
        } else {
            shareKeyTexts(*p.shape->keys);
        }
        return handleOf(dictOf(p.values, p.shape, false));
    }

    // A dictionary with the keys 0..n-1 (at '['), each holding an element as
    // a key holds a value. Numbers alone, all integers or all reals (box
    // coordinates, labels), are collected as 8-byte values and kept so.
    HHandle arrayDict(int depth) {
        enter(depth);
        ++p_;
        Pending& p = pending(depth);
        p.bits.clear();
        enum { None, Integers, Reals, Values } kind = None;
        bool counted = false;  // the rest of a long array counted ahead, once
        skipSpace();
        if (*p_ == ']') {
            ++p_;
        } else {
            do {
                skipSpace();
                take(kValueBytes);
                HTuple value;
                if (kind != Values && (*p_ == '-' || (*p_ >= '0' && *p_ <= '9'))) {
                    // A number, the common case: straight to its bits; a
                    // long array of them is given room for all, counted ahead.
                    tick();
                    if (!counted && p.bits.size() == p.bits.capacity() && p.bits.size() >= kCountedAhead) {
                        p.bits.reserve(p.bits.size() + scalarCount());
                        counted = true;
                    }
                    Hlong integer = 0;
                    double real = 0;
                    const bool isInteger = number(&integer, &real);
                    if (kind == None) kind = isInteger ? Integers : Reals;
                    if ((kind == Integers) == isInteger) {
                        uint64_t bits = 0;
                        std::memcpy(&bits, isInteger ? static_cast<const void*>(&integer) : &real, sizeof bits);
                        p.bits.push_back(bits);
                        continue;
                    }
                    value = isInteger ? HTuple(integer) : HTuple(real);
                } else {
                    value = held(depth);
                }
                if (kind != Values) {
                    const Hlong* integer = Access::integer(value);
                    const double* real = Access::real(value);
                    if (kind == None && (integer || real)) kind = integer ? Integers : Reals;
                    if ((kind == Integers && integer) || (kind == Reals && real)) {
                        uint64_t bits = 0;
                        std::memcpy(&bits, integer ? static_cast<const void*>(integer) : real, sizeof bits);
                        p.bits.push_back(bits);
                        continue;
                    }
                    p.values.reserve(p.bits.size() + 1);
                    for (uint64_t bits : p.bits) {
                        double d = 0;
                        std::memcpy(&d, &bits, sizeof d);
                        p.values.push_back(kind == Integers ? HTuple(static_cast<Hlong>(bits)) : HTuple(d));
                    }
                    kind = Values;
                }
                p.values.push_back(std::move(value));
            } while (more(']'));
        }
        if (kind == Values || kind == None)
            return handleOf(dictOf(p.values, arrayKeys(p.values.size()), true));
        std::shared_ptr<Dict> dict = this->dict();
        dict->adoptNumbers(p.bits.data(), p.bits.size(), kind == Reals, arrayKeys(p.bits.size()), arena_);
        return handleOf(std::move(dict));
    }

    // An array as a tuple (at '['); objects and arrays inside it become
    // dictionary handles.
    HTuple arrayTuple(int depth) {
        enter(depth);
        ++p_;
        take(kTupleBytes);
        Pending& p = pending(depth);
        TupleBuilder tuple(budget_, arena_, p.numbers, p.values);
        skipSpace();
        if (*p_ == ']') {
            ++p_;
            return tuple.finish();
        }
        do {
            skipSpace();
            tick();
            switch (*p_) {
            case '{': tuple.element(HTuple(object(depth + 1))); break;
            case '[': tuple.element(HTuple(arrayDict(depth + 1))); break;
            case '"': tuple.element(stringTuple(string(scratch_))); break;
            case 't':
            case 'f':
            case 'n': tuple.elements(literalValue(literal())); break;
            default: {
                if (*p_ != '-' && !(*p_ >= '0' && *p_ <= '9')) stop("expected a value");
                // A long array of numbers: room for it whole, counted ahead.
                if (tuple.full()) tuple.expect(scalarCount());
                Hlong integer = 0;
                double real = 0;
                if (number(&integer, &real))
                    tuple.integer(integer);
                else
                    tuple.real(real);
            }
            }
        } while (more(']'));
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

    // A value as a dictionary key holds it.
    HTuple held(int depth) {
        tick();
        switch (*p_) {
        case '{': return HTuple(object(depth + 1));
        case '[':
            if (options_.arraysAsTuples) return arrayTuple(depth + 1);
            return HTuple(arrayDict(depth + 1));
        case '"': return stringTuple(string(scratch_));
        case 't':
        case 'f':
        case 'n': return literalValue(literal());
        default: break;
        }
        if (*p_ != '-' && !(*p_ >= '0' && *p_ <= '9')) stop("expected a value");
        Hlong integer = 0;
        double real = 0;
        if (number(&integer, &real)) return HTuple(integer);
        return HTuple(real);
    }

    const char* p_;
    const char* end_;
    const char* released_;
    bool releasedAny_ = false;
    uint64_t values_ = 0;
    std::string scratch_;  // a string with escapes, unescaped
    static constexpr size_t kSharedStringBytes = 15, kSharedStrings = 4096;
    static constexpr size_t kLinearFields = 16;  // keys of an object searched linearly for repeats
    Budget& budget_;
    const DictReadOptions& options_;
    TextBuffer& buffer_;
    static constexpr size_t kShapeKeys = 4096;
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

// A JSON text: an object or an array, or a top-level string, number or
// literal, which the reader then refuses as no dictionary.
bool matches(const uint8_t* head, size_t size) {
    size_t i = size >= 3 && head[0] == 0xEF && head[1] == 0xBB && head[2] == 0xBF ? 3 : 0;
    while (i < size && (head[i] == ' ' || head[i] == '\t' || head[i] == '\n' || head[i] == '\r')) ++i;
    if (i == size) return false;
    if (std::strchr("{[\"-0123456789", head[i]) && head[i] != 0) return true;
    for (const char* literal : {"true", "false", "null"}) {
        const size_t n = std::strlen(literal);
        if (size - i >= n && std::memcmp(head + i, literal, n) == 0 &&
            (size - i == n || (head[i + n] != 0 && std::strchr(" \t\r\n", head[i + n]))))
            return true;
    }
    return false;
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
    budget.take(size + kPadding, "JSON text of " + std::to_string(size) + " bytes");
    TextBuffer buffer(size + kPadding);
    file.read(0, buffer.get(), size, "JSON", "text");
    std::memset(buffer.get() + size, 0, kPadding);

    // A byte order mark is allowed and skipped; positions count from after it.
    const bool bom = size >= 3 && std::memcmp(buffer.get(), "\xEF\xBB\xBF", 3) == 0;
    const char* text = buffer.get() + (bom ? 3 : 0);
    const size_t length = size - (bom ? 3 : 0);
    if (!simdjson::validate_utf8(text, length)) {
        const size_t at = invalidUtf8At(reinterpret_cast<const unsigned char*>(text), length);
        invalid("invalid UTF-8 at byte offset " + std::to_string(at + (bom ? 3 : 0)) + " (" + lineColumn(text, at) +
                ")");
    }

    Reader reader(budget, options, text, length, buffer);
    try {
        return reader.root();
    } catch (const Stop& stop) {
        if (!reader.releasedText()) explain(text, length, stop.what, reader.position());
        // Pages behind the walk hold the arena's values now: the text again, in a buffer of its own.
        const size_t at = size_t(reader.position() - text);
        std::vector<char> again(size + kPadding, '\0');
        file.read(0, again.data(), size, "JSON", "text");
        const char* const textAgain = again.data() + (bom ? 3 : 0);
        explain(textAgain, length, stop.what, textAgain + at);
    }
}

}  // namespace

HHandle readHandle(const ByteSource& file, Budget& budget, const HTuple& names, const HTuple& values) {
    HHandle dict;
    withDeepStack([&] { dict = readText(file, budget, names, values); }, kProc);
    return dict;
}

}  // namespace ixv::formats::json
