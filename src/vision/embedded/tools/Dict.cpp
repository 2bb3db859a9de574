#include "tools/Dict.h"

#include <cmath>
#include <functional>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/TupleData.h"

using HalconCpp::HHandle;
using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace ixv {

namespace {

// Dictionaries of up to this many keys are searched linearly: a record read
// from a file commonly has ten to twenty fields, and comparing that many keys
// costs less than building an index.
constexpr size_t kLinearKeys = 16;

// The entry lists of dictionaries being destroyed under an outer destructor of
// this thread, destroyed one after another by that outer one instead of
// recursively: a chain of 100,000 nested dictionaries needs no deep stack.
thread_local std::vector<std::vector<Dict::Entry>>* pendingEntries = nullptr;

}  // namespace

HTuple DictKey::tuple() const {
    if (isInteger()) return HTuple(integer());
    return tupleOfElements({text()});
}

DictKey DictKey::of(const HTuple& key, const char* proc, int position) {
    if (key.Length() != 1) raiseParCount(proc, position, "expected one key");
    const Element e = Access::data(key)->element(0);
    if (const Hlong* l = std::get_if<Hlong>(&e)) return DictKey(*l);
    if (const std::string* s = std::get_if<std::string>(&e)) return DictKey(*s);
    if (const double* d = std::get_if<double>(&e)) {
        if (std::isfinite(*d) && std::floor(*d) == *d && std::fabs(*d) < 9.2e18)
            return DictKey(static_cast<Hlong>(*d));
    }
    raiseParValue(proc, position, "a key is a string or an integer");
}

size_t DictKeyHash::operator()(const DictKey& key) const {
    if (key.isInteger()) return std::hash<Hlong>()(key.integer());
    return std::hash<std::string>()(key.text()) ^ 0x9e3779b97f4a7c15ull;
}

std::string keyText(const HTuple& key) {
    if (key.Length() != 1) return "(" + std::to_string(key.Length()) + " values)";
    const Element e = Access::data(key)->element(0);
    if (const Hlong* l = std::get_if<Hlong>(&e)) return std::to_string(*l);
    if (const std::string* s = std::get_if<std::string>(&e)) return "'" + *s + "'";
    return "(not a string or integer)";
}

Dict::~Dict() {
    if (pendingEntries) {
        pendingEntries->push_back(std::move(entries_));
        return;
    }
    std::vector<std::vector<Entry>> pending;
    pendingEntries = &pending;
    pending.push_back(std::move(entries_));
    while (!pending.empty()) {
        std::vector<Entry> entries = std::move(pending.back());
        pending.pop_back();
        entries.clear();  // may add the entries of dictionaries that die here
    }
    pendingEntries = nullptr;
}

HTuple Dict::keys() const {
    std::vector<Element> keys;
    keys.reserve(entries_.size());
    bool allIntegers = true;
    for (const Entry& entry : entries_) {
        allIntegers = allIntegers && entry.key.isInteger();
        if (entry.key.isInteger())
            keys.emplace_back(entry.key.integer());
        else
            keys.emplace_back(entry.key.text());
    }
    if (allIntegers) {
        std::vector<Hlong> integers;
        integers.reserve(entries_.size());
        for (const Entry& entry : entries_) integers.push_back(entry.key.integer());
        return tupleOfLongs(std::move(integers));
    }
    return tupleOfElements(std::move(keys));
}

namespace {

uint32_t hash32(const DictKey& key) {
    const uint64_t h = DictKeyHash()(key) * 0x9e3779b97f4a7c15ull;
    return static_cast<uint32_t>(h >> 32);
}

}  // namespace

const Dict::Entry* Dict::find(const DictKey& key) const {
    if (sequential_) {
        if (!key.isInteger() || key.integer() < 0 || static_cast<size_t>(key.integer()) >= entries_.size()) return nullptr;
        return &entries_[static_cast<size_t>(key.integer())];
    }
    if (slots_.empty()) {
        for (const Entry& entry : entries_)
            if (entry.key == key) return &entry;
        return nullptr;
    }
    const uint32_t h = hash32(key);
    const size_t mask = slots_.size() - 1;
    for (size_t at = h & mask;; at = (at + 1) & mask) {
        const uint64_t slot = slots_[at];
        if (slot == 0) return nullptr;
        if (static_cast<uint32_t>(slot >> 32) == h) {
            const Entry& entry = entries_[static_cast<uint32_t>(slot) - 1];
            if (entry.key == key) return &entry;
        }
    }
}

void Dict::insertSlot(uint64_t slot) {
    const size_t mask = slots_.size() - 1;
    size_t at = (slot >> 32) & mask;
    while (slots_[at] != 0) at = (at + 1) & mask;
    slots_[at] = slot;
}

void Dict::index(size_t i) {
    if (sequential_) {
        const DictKey& key = entries_[i].key;
        if (key.isInteger() && key.integer() == static_cast<Hlong>(i)) return;
        sequential_ = false;
    }
    if (entries_.size() <= kLinearKeys) return;
    if (slots_.empty() || entries_.size() * 2 > slots_.size()) {
        size_t capacity = 32;
        while (capacity < entries_.size() * 4) capacity *= 2;
        std::vector<uint64_t> old = std::move(slots_);
        slots_.assign(capacity, 0);
        if (old.empty()) {
            for (size_t j = 0; j < entries_.size(); ++j)
                insertSlot(uint64_t{hash32(entries_[j].key)} << 32 | (j + 1));
            return;
        }
        for (uint64_t slot : old)
            if (slot) insertSlot(slot);
    }
    insertSlot(uint64_t{hash32(entries_[i].key)} << 32 | (i + 1));
}

void Dict::set(DictKey key, DictValue value) {
    if (const Entry* existing = find(key)) {
        const_cast<Entry*>(existing)->value = std::move(value);
        return;
    }
    append(std::move(key), std::move(value));
}

void Dict::append(DictKey key, DictValue value) {
    entries_.push_back(Entry{std::move(key), std::move(value)});
    index(entries_.size() - 1);
}

void Dict::clear() {
    std::vector<Entry> old = std::move(entries_);
    entries_.clear();
    slots_.clear();
    sequential_ = true;
    old.clear();
}

const Dict::Entry& Dict::entryOf(const HTuple& key, const char* proc) const {
    const Entry* entry = find(DictKey::of(key, proc, 2));
    if (!entry) raise(proc, err::DictKeyMissing, "key " + keyText(key));
    return *entry;
}

const char* Dict::keyDataType(const HTuple& key, const char* proc) const {
    return entryOf(key, proc).value.isObject ? "object" : "tuple";
}

HTuple Dict::tupleAt(const HTuple& key, const char* proc) const {
    const Entry& entry = entryOf(key, proc);
    if (entry.value.isObject) raiseParValue(proc, 2, "key " + keyText(key) + " holds iconic objects, not a tuple");
    return entry.value.tuple;
}

HObject Dict::objectAt(const HTuple& key, const char* proc) const {
    const Entry& entry = entryOf(key, proc);
    if (!entry.value.isObject) raiseParValue(proc, 2, "key " + keyText(key) + " holds a tuple, not iconic objects");
    return entry.value.object;
}

std::shared_ptr<Dict> newDict() {
    return std::make_shared<Dict>();
}

HHandle handleOf(std::shared_ptr<Tool> tool) {
    return Access::handle(std::move(tool));
}

}  // namespace ixv
