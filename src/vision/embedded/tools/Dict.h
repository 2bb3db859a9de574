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
#include <variant>
#include <vector>

#include "HObject.h"
#include "HTuple.h"
#include "tools/Tool.h"

namespace ixv {

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
    HalconCpp::HTuple tuple() const;
    // The key of a key tuple: exactly one string or integer (a real with an
    // integral value is taken as the integer); else a wrong parameter value.
    static DictKey of(const HalconCpp::HTuple& key, const char* proc, int position);
};

struct DictKeyHash {
    size_t operator()(const DictKey& key) const;
};

// What a key holds.
struct DictValue {
    bool isObject = false;
    HalconCpp::HTuple tuple;
    HalconCpp::HObject object;

    static DictValue of(HalconCpp::HTuple t) { return DictValue{false, std::move(t), {}}; }
    static DictValue of(HalconCpp::HObject o) { return DictValue{true, {}, std::move(o)}; }
};

class Dict final : public Tool {
public:
    static constexpr const char* kSemType = "dict";
    struct Entry {
        DictKey key;
        DictValue value;
    };

    Dict() = default;
    ~Dict() override;
    Dict(const Dict&) = delete;
    Dict& operator=(const Dict&) = delete;

    const char* semType() const override { return kSemType; }
    HalconCpp::HTuple keys() const override;
    const char* keyDataType(const HalconCpp::HTuple& key, const char* proc) const override;
    HalconCpp::HTuple tupleAt(const HalconCpp::HTuple& key, const char* proc) const override;
    HalconCpp::HObject objectAt(const HalconCpp::HTuple& key, const char* proc) const override;

    const std::vector<Entry>& entries() const { return entries_; }
    size_t size() const { return entries_.size(); }
    // The entry of a key, or null.
    const Entry* find(const DictKey& key) const;
    // Sets a key: replaces the value of an existing key in place, else appends.
    void set(DictKey key, DictValue value);
    // Appends a key the caller knows to be new (array indices of a reader).
    void append(DictKey key, DictValue value);
    // Room for `count` entries in all (a reader that knows an array's length).
    void reserve(size_t count) { entries_.reserve(count); }
    // Removes every key (ClearHandle).
    void clear();

private:
    const Entry& entryOf(const HalconCpp::HTuple& key, const char* proc) const;
    // Adds entry `i` to the index, building or growing the index as needed.
    void index(size_t i);
    void insertSlot(uint64_t slot);

    std::vector<Entry> entries_;
    // True while the keys are exactly 0..n-1 in order (an array read from a
    // file): a key is then found at its own position, without an index.
    bool sequential_ = true;
    // Built once, unless sequential, the dictionary outgrows a linear search: open addressing,
    // each slot the key's 32-bit hash above the entry's position + 1 (0: empty).
    std::vector<uint64_t> slots_;
};

// A new, empty dictionary and its handle.
std::shared_ptr<Dict> newDict();
HalconCpp::HHandle handleOf(std::shared_ptr<Tool> tool);

}  // namespace ixv
