// Dictionaries: ordered keys, each a string or an integer, each holding a tuple
// or iconic objects. Setting a key that exists replaces its value in place;
// a new key goes to the end.
//
// A dictionary may hold handles of other dictionaries in its tuples, and so
// nest without bound or even contain itself (SetDictTuple allows it, as the
// vendor's does). Destroying a deeply nested dictionary uses no stack per
// level; a dictionary that contains itself lives until ClearHandle empties it.
#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "HObject.h"
#include "HTuple.h"
#include "base/Arena.h"
#include "tools/Tool.h"

namespace ixv {

struct TupleData;

// A key looked up: an integer or a string, viewed where it is held.
struct KeyRef {
    bool isInteger = true;
    Hlong integer = 0;
    std::string_view text;
};

// One key: an integer or a string.
struct DictKey {
    std::variant<Hlong, std::string> value;

    DictKey() = default;
    DictKey(Hlong integer) : value(integer) {}
    DictKey(std::string text) : value(std::move(text)) {}

    bool isInteger() const { return value.index() == 0; }
    Hlong integer() const { return std::get<Hlong>(value); }
    const std::string& text() const { return std::get<std::string>(value); }
    bool operator==(const DictKey& other) const { return value == other.value; }
    KeyRef ref() const { return isInteger() ? KeyRef{true, integer(), {}} : KeyRef{false, 0, text()}; }
    // The key of a key tuple: exactly one string or integer (a real with an
    // integral value is taken as the integer); else a wrong parameter value.
    static DictKey of(const HalconCpp::HTuple& key, const char* proc, int position);
};

// The same, viewed in the key tuple, which must outlive it.
KeyRef keyRefOf(const HalconCpp::HTuple& key, const char* proc, int position);

// What a key is set to.
struct DictValue {
    bool isObject = false;
    HalconCpp::HTuple tuple;
    HalconCpp::HObject object;

    static DictValue of(HalconCpp::HTuple t) { return DictValue{false, std::move(t), {}}; }
    static DictValue of(HalconCpp::HObject o) { return DictValue{true, {}, std::move(o)}; }
};

// A list of values, grown on the heap or placed whole in a file's arena (and
// then never freed one by one): 16 bytes where a std::vector with an arena
// allocator takes 32.
class ValueList {
public:
    ValueList() = default;
    ValueList(ValueList&& other) noexcept { *this = std::move(other); }
    ValueList& operator=(ValueList&& other) noexcept {
        if (this != &other) {
            reset();
            data_ = other.data_;
            count_ = other.count_;
            capacity_ = other.capacity_;
            other.data_ = nullptr;
            other.count_ = other.capacity_ = 0;
        }
        return *this;
    }
    ValueList(const ValueList&) = delete;
    ValueList& operator=(const ValueList&) = delete;
    ~ValueList() { reset(); }

    size_t size() const { return count_; }
    bool empty() const { return count_ == 0; }
    HalconCpp::HTuple* data() { return data_; }
    HalconCpp::HTuple& operator[](size_t i) { return data_[i]; }
    const HalconCpp::HTuple& operator[](size_t i) const { return data_[i]; }
    // On the heap (or empty), as opposed to placed in an arena.
    bool onHeap() const { return capacity_ > 0 || !data_; }
    void push_back(HalconCpp::HTuple value);
    void reserve(size_t capacity);
    // Destroys the values, keeps the room.
    void clear();
    // Destroys the values and gives the room back.
    void reset();
    // Moves the values into one block of `arena`, exactly their size.
    static ValueList inArena(HalconCpp::HTuple* values, size_t count, Arena* arena);

private:
    HalconCpp::HTuple* data_ = nullptr;
    uint32_t count_ = 0;
    uint32_t capacity_ = 0;  // 0 for values placed in an arena
};

// A dictionary keeps its keys as one tuple, in order (integers, or a list of
// integers and strings), and its values as a list of tuples, each of one
// value held inline: a key holding a number costs its 24-byte tuple. The key
// tuple and the key index depend on the keys alone, so dictionaries with the
// same keys (the records of a file, the arrays of one length) share them,
// as one block; keys() hands the key tuple out without a copy. Iconic
// objects, rare, are kept aside.
class Dict final : public Tool {
public:
    static constexpr const char* kSemType = "dict";
    static constexpr size_t npos = static_cast<size_t>(-1);
    // Dictionaries of up to this many keys are searched linearly: a record
    // read from a file commonly has ten to twenty fields, and comparing that
    // many keys costs less than building an index.
    static constexpr size_t kLinearKeys = 16;
    using Index = std::vector<uint64_t>;
    // The keys and their index (null for keys short enough to search).
    struct KeySet {
        std::shared_ptr<TupleData> keys;
        std::shared_ptr<const Index> index;
    };
    using Values = ValueList;
    // Lists of at least this many values are adopted as they are.
    static constexpr size_t kKeptList = 4096;

    Dict() = default;
    ~Dict() override;
    Dict(const Dict&) = delete;
    Dict& operator=(const Dict&) = delete;

    const char* semType() const override { return kSemType; }
    HalconCpp::HTuple keys() const override;
    const char* keyDataType(const HalconCpp::HTuple& key, const char* proc) const override;
    HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const override;
    HalconCpp::HObject objectAt(const HalconCpp::HTuple& key, const char* proc) const override;

    size_t size() const { return packed_ ? packedCount_ : values_.size(); }
    // True while the keys are exactly 0..n-1 in order (an array read from a file).
    bool sequential() const { return sequential_; }
    DictKey keyAt(size_t i) const;
    bool holdsObject(size_t i) const { return objects_ && objects_->held[i]; }
    HalconCpp::HTuple valueAt(size_t i) const;
    const HalconCpp::HObject& objectsAt(size_t i) const { return objects_->objects[i]; }
    // The position of a key, or npos.
    size_t find(const KeyRef& key) const;
    bool contains(const DictKey& key) const { return find(key.ref()) != npos; }
    // Sets a key: replaces the value of an existing key in place, else appends.
    void set(DictKey key, DictValue value);
    // Appends a key the caller knows to be new.
    void append(DictKey key, DictValue value);
    // Takes a whole dictionary's values at once: `keys` holds one key per
    // value (integers or a list of integers and strings) with its index, and
    // `sequential` says that the keys are 0..n-1; they may be shared with
    // other dictionaries. Values on the heap of many elements are taken as
    // they are (a long array), others moved into `arena` (the file's, in
    // which the dictionary was made and which it keeps alive) when given.
    void adopt(Values& values, std::shared_ptr<const KeySet> keys, bool sequential, Arena* arena);
    // Takes the values of keys 0..n-1, all integers or all reals, as one
    // array (a JSON array of numbers read as a dictionary), in `arena` as
    // above; `keys` as above.
    void adoptNumbers(const uint64_t* bits, size_t count, bool reals, std::shared_ptr<const KeySet> keys,
                      Arena* arena);
    // The index of a key tuple, or null for one short enough to search.
    static std::shared_ptr<const Index> indexOf(const TupleData& keys);
    // Removes every key (ClearHandle).
    void clear();

private:
    // The position of a key; error 2894 when the dictionary lacks it.
    size_t positionOf(const HalconCpp::HTuple& key, const char* proc) const;
    // Before a change: moves the values of a dictionary read from a file
    // out of the file's arena (which is filled by its reader alone, and so
    // never by two threads changing two of its dictionaries) onto the heap.
    void detach();

    Values values_;
    // Or, for a dictionary of numbers alone read from a file: their bits, 8
    // bytes a value instead of a tuple's 24, in the arena of the file (which
    // the dictionary keeps alive).
    const uint64_t* packed_ = nullptr;
    uint32_t packedCount_ = 0;
    bool packedReals_ = false;
    bool sequential_ = true;
    std::shared_ptr<const KeySet> keys_;  // null while empty
    struct Objects {
        std::vector<bool> held;
        std::vector<HalconCpp::HObject> objects;
    };
    std::unique_ptr<Objects> objects_;  // null while no key holds objects
};

// A new, empty dictionary (in `arena` when given) and its handle.
std::shared_ptr<Dict> newDict(Arena* arena = nullptr);
HalconCpp::HHandle handleOf(std::shared_ptr<Tool> tool);

}  // namespace ixv
