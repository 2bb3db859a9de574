#include "tools/Dict.h"

#include <cmath>
#include <cstdlib>
#include <cstring>

#include "base/Access.h"
#include "base/Errors.h"
#include "base/Hash.h"
#include "base/TupleData.h"

using HalconCpp::HHandle;
using HalconCpp::HObject;
using HalconCpp::HTuple;

namespace ixv {

namespace {

// The value lists of dictionaries being destroyed under an outer destructor
// of this thread, destroyed one after another by that outer one instead of
// recursively: a chain of 100,000 nested dictionaries needs no deep stack.
thread_local std::vector<ValueList>* pendingValues = nullptr;
// How deep the destructors of this thread are nested; below the limit a
// dictionary that dies destroys its values at once, which needs no list of
// pending values (a root array of a million records would grow one by as many).
thread_local int destroyDepth = 0;
constexpr int kDeepestDestroy = 64;

bool integral(double d) {
    return std::isfinite(d) && std::floor(d) == d && std::fabs(d) < 9.2e18;
}

uint32_t hash32(const KeyRef& key) {
    const uint64_t h = key.isInteger ? hashInteger(key.integer) : hashText(key.text);
    return static_cast<uint32_t>(h ^ (h >> 32));
}

KeyRef keyAtOf(const TupleData& keys, size_t i) {
    if (keys.kind() == TupleData::Kind::Longs) return KeyRef{true, keys.longs()[i], {}};
    const Element& e = keys.mixed()[i];
    if (const Hlong* l = std::get_if<Hlong>(&e)) return KeyRef{true, *l, {}};
    return KeyRef{false, 0, std::get<std::string>(e)};
}

bool same(const KeyRef& a, const KeyRef& b) {
    return a.isInteger == b.isInteger && (a.isInteger ? a.integer == b.integer : a.text == b.text);
}

void insertSlot(Dict::Index& slots, uint64_t slot) {
    const size_t mask = slots.size() - 1;
    size_t at = (slot >> 32) & mask;
    while (slots[at] != 0) at = (at + 1) & mask;
    slots[at] = slot;
}

}  // namespace

void ValueList::reserve(size_t capacity) {
    if (capacity <= capacity_) return;
    if (capacity > UINT32_MAX) throw std::bad_alloc();
    HTuple* data = nullptr;
    if (capacity_ > 0) {
        // A tuple is a shared pointer or a number, and neither refers to its
        // own place: the values move as bytes. A long list (a large array at
        // the root of a file) grows in place or by moving its pages
        // (realloc), without copying its values into fresh pages.
        data = static_cast<HTuple*>(std::realloc(static_cast<void*>(data_), capacity * sizeof(HTuple)));
        if (!data) throw std::bad_alloc();
    } else {
        data = static_cast<HTuple*>(std::malloc(capacity * sizeof(HTuple)));
        if (!data) throw std::bad_alloc();
        for (uint32_t i = 0; i < count_; ++i) {
            new (&data[i]) HTuple(std::move(data_[i]));
            data_[i].~HTuple();
        }
    }
    data_ = data;
    capacity_ = static_cast<uint32_t>(capacity);
}

void ValueList::push_back(HTuple value) {
    if (count_ >= capacity_) reserve(count_ < 8 ? 8 : size_t{count_} * 2);
    new (&data_[count_]) HTuple(std::move(value));
    ++count_;
}

void ValueList::clear() {
    // A value may hold the last handle of a dictionary whose destructor
    // reads this list no more: the count drops before each value goes.
    while (count_ > 0) {
        --count_;
        data_[count_].~HTuple();
    }
}

void ValueList::reset() {
    clear();
    if (capacity_ > 0) std::free(static_cast<void*>(data_));
    data_ = nullptr;
    capacity_ = 0;
}

ValueList ValueList::inArena(HTuple* values, size_t count, Arena* arena) {
    ValueList list;
    if (count == 0) return list;
    list.data_ = static_cast<HTuple*>(arena->allocate(count * sizeof(HTuple), alignof(HTuple)));
    for (size_t i = 0; i < count; ++i) new (&list.data_[i]) HTuple(std::move(values[i]));
    list.count_ = static_cast<uint32_t>(count);
    return list;
}

DictKey DictKey::of(const HTuple& key, const char* proc, int position) {
    const KeyRef ref = keyRefOf(key, proc, position);
    return ref.isInteger ? DictKey(ref.integer) : DictKey(std::string(ref.text));
}

KeyRef keyRefOf(const HTuple& key, const char* proc, int position) {
    if (key.Length() != 1) raiseParCount(proc, position, "expected one key");
    if (const Hlong* l = singleInteger(key)) return KeyRef{true, *l, {}};
    if (std::string_view s; oneString(key, &s)) return KeyRef{false, 0, s};
    if (const double* d = singleReal(key); d && integral(*d)) return KeyRef{true, static_cast<Hlong>(*d), {}};
    raiseParValue(proc, position, "a key is a string or an integer");
}

std::string keyText(const HTuple& key) {
    if (key.Length() != 1) return "(" + std::to_string(key.Length()) + " values)";
    if (const Hlong* l = singleInteger(key)) return std::to_string(*l);
    if (std::string_view s; oneString(key, &s)) return "'" + std::string(s) + "'";
    return "(not a string or integer)";
}

Dict::~Dict() {
    if (pendingValues && destroyDepth >= kDeepestDestroy) {
        // Values placed in a file's arena are queued from the heap: the arena
        // may go with the last of its dictionaries before the queue reaches
        // them. Without the memory to queue them, they go at once.
        try {
            if (!values_.onHeap()) values_.reserve(values_.size());
            pendingValues->push_back(std::move(values_));
            return;
        } catch (const std::bad_alloc&) {
        }
    }
    if (pendingValues) {
        ++destroyDepth;
        values_.reset();
        --destroyDepth;
        return;
    }
    std::vector<Values> pending;
    pendingValues = &pending;
    destroyDepth = 1;
    pending.push_back(std::move(values_));
    while (!pending.empty()) {
        ValueList values = std::move(pending.back());
        pending.pop_back();
        values.reset();  // may add the values of dictionaries that die here
    }
    destroyDepth = 0;
    pendingValues = nullptr;
}

HTuple Dict::keys() const {
    return keys_ ? Access::tuple(keys_->keys) : HTuple();
}

DictKey Dict::keyAt(size_t i) const {
    const KeyRef key = keyAtOf(*keys_->keys, i);
    return key.isInteger ? DictKey(key.integer) : DictKey(std::string(key.text));
}

size_t Dict::find(const KeyRef& key) const {
    const size_t n = size();
    if (sequential_) {
        if (!key.isInteger || key.integer < 0 || static_cast<size_t>(key.integer) >= n) return npos;
        return static_cast<size_t>(key.integer);
    }
    const TupleData& keys = *keys_->keys;
    if (!keys_->index) {
        // A key taken out of this key tuple shares its text: found by its place.
        if (const std::vector<HTuple>* texts = key.isInteger ? nullptr : keys.texts.of(n))
            for (size_t i = 0; i < n; ++i)
                if (Access::text((*texts)[i]) == key.text.data()) return i;
        for (size_t i = 0; i < n; ++i)
            if (same(keyAtOf(keys, i), key)) return i;
        return npos;
    }
    const Index& slots = *keys_->index;
    const uint32_t h = hash32(key);
    const size_t mask = slots.size() - 1;
    for (size_t at = h & mask;; at = (at + 1) & mask) {
        const uint64_t slot = slots[at];
        if (slot == 0) return npos;
        if (static_cast<uint32_t>(slot >> 32) == h) {
            const size_t i = static_cast<uint32_t>(slot) - 1;
            if (same(keyAtOf(keys, i), key)) return i;
        }
    }
}

std::shared_ptr<const Dict::Index> Dict::indexOf(const TupleData& keys) {
    const size_t n = static_cast<size_t>(keys.size());
    if (n <= kLinearKeys) return nullptr;
    size_t capacity = 32;
    while (capacity < n * 4) capacity *= 2;
    auto slots = std::make_shared<Index>(capacity, 0);
    for (size_t j = 0; j < n; ++j) insertSlot(*slots, uint64_t{hash32(keyAtOf(keys, j))} << 32 | (j + 1));
    return slots;
}

HTuple Dict::valueAt(size_t i) const {
    if (!packed_) return values_[i];
    if (!packedReals_) return HTuple(static_cast<Hlong>(packed_[i]));
    double real = 0;
    std::memcpy(&real, &packed_[i], sizeof real);
    return HTuple(real);
}

void Dict::detach() {
    if (!packed_ && values_.onHeap()) return;
    ValueList values;
    values.reserve(size() + 1);
    for (size_t i = 0; i < size(); ++i) values.push_back(packed_ ? valueAt(i) : std::move(values_[i]));
    values_ = std::move(values);
    packed_ = nullptr;
    packedCount_ = 0;
}

void Dict::adoptNumbers(const uint64_t* bits, size_t count, bool reals, std::shared_ptr<const KeySet> keys,
                        Arena* arena) {
    clear();
    keys_ = count ? std::move(keys) : nullptr;
    if (!arena || count == 0 || count > UINT32_MAX) {
        for (size_t i = 0; i < count; ++i) {
            double real = 0;
            std::memcpy(&real, &bits[i], sizeof real);
            values_.push_back(reals ? HTuple(real) : HTuple(static_cast<Hlong>(bits[i])));
        }
        return;
    }
    uint64_t* packed = static_cast<uint64_t*>(arena->allocate(count * sizeof(uint64_t), alignof(uint64_t)));
    std::memcpy(packed, bits, count * sizeof(uint64_t));
    packed_ = packed;
    packedCount_ = static_cast<uint32_t>(count);
    packedReals_ = reals;
}

void Dict::set(DictKey key, DictValue value) {
    detach();
    const size_t at = find(key.ref());
    if (at == npos) {
        append(std::move(key), std::move(value));
        return;
    }
    values_[at] = std::move(value.tuple);
    if (value.isObject || objects_) {
        if (!objects_) objects_ = std::make_unique<Objects>(Objects{std::vector<bool>(values_.size()), std::vector<HObject>(values_.size())});
        objects_->held[at] = value.isObject;
        objects_->objects[at] = std::move(value.object);
    }
}

void Dict::append(DictKey key, DictValue value) {
    detach();
    // The keys, the key tuple and the index may be shared with other
    // dictionaries or with a caller's keys(): they change on a copy.
    if (!keys_ || keys_.use_count() > 1) keys_ = std::make_shared<KeySet>(keys_ ? *keys_ : KeySet{});
    KeySet& own = const_cast<KeySet&>(*keys_);  // made here, this dictionary's alone
    if (!own.keys)
        own.keys = std::make_shared<TupleData>();
    else if (own.keys.use_count() > 1)
        own.keys = std::make_shared<TupleData>(*own.keys);
    TupleData& keys = *own.keys;
    const size_t i = values_.size();
    if (sequential_ && !(key.isInteger() && key.integer() == static_cast<Hlong>(i))) sequential_ = false;
    if (key.isInteger() && keys.kind() == TupleData::Kind::Longs) {
        keys.pushLong(key.integer());
    } else if (key.isInteger()) {
        keys.mixedToChange().emplace_back(key.integer());
    } else {
        keys.mixedToChange().emplace_back(std::move(std::get<std::string>(key.value)));
    }
    values_.push_back(std::move(value.tuple));
    if (value.isObject || objects_) {
        if (!objects_) objects_ = std::make_unique<Objects>(Objects{std::vector<bool>(i), std::vector<HObject>(i)});
        objects_->held.push_back(value.isObject);
        objects_->objects.push_back(std::move(value.object));
    }
    if (sequential_ || values_.size() <= kLinearKeys) {
        own.index.reset();
        return;
    }
    if (!own.index || values_.size() * 2 > own.index->size()) {
        own.index = indexOf(keys);
        return;
    }
    auto index = own.index.use_count() > 1 ? std::make_shared<Index>(*own.index)
                                           : std::const_pointer_cast<Index>(own.index);
    insertSlot(*index, uint64_t{hash32(keyAtOf(keys, i))} << 32 | (i + 1));
    own.index = std::move(index);
}

void Dict::adopt(Values& values, std::shared_ptr<const KeySet> keys, bool sequential, Arena* arena) {
    clear();
    // A long list is taken as it is; a short one is moved into the arena,
    // and the caller keeps its room for the next.
    if (!arena || values.size() >= kKeptList)
        values_ = std::move(values);
    else
        values_ = ValueList::inArena(values.data(), values.size(), arena);
    values.clear();
    keys_ = values_.empty() ? nullptr : std::move(keys);
    sequential_ = sequential;
}

void Dict::clear() {
    Values old = std::move(values_);
    packed_ = nullptr;
    packedCount_ = 0;
    keys_.reset();
    objects_.reset();
    sequential_ = true;
    old.reset();
}

size_t Dict::positionOf(const HTuple& key, const char* proc) const {
    const size_t at = find(keyRefOf(key, proc, 2));
    if (at == npos) raise(proc, err::DictKeyMissing, "key " + keyText(key));
    return at;
}

const char* Dict::keyDataType(const HTuple& key, const char* proc) const {
    return holdsObject(positionOf(key, proc)) ? "object" : "tuple";
}

HTuple Dict::tupleAt(const HTuple& key, const char* proc) const {
    const size_t at = positionOf(key, proc);
    if (holdsObject(at)) raiseParValue(proc, 2, "key " + keyText(key) + " holds iconic objects, not a tuple");
    return valueAt(at);
}

HObject Dict::objectAt(const HTuple& key, const char* proc) const {
    const size_t at = positionOf(key, proc);
    if (!holdsObject(at)) raiseParValue(proc, 2, "key " + keyText(key) + " holds a tuple, not iconic objects");
    return objects_->objects[at];
}

std::shared_ptr<Dict> newDict(Arena* arena) {
    if (!arena) return std::make_shared<Dict>();
    return std::allocate_shared<Dict>(ArenaAllocator<Dict>(arena));
}

HHandle handleOf(std::shared_ptr<Tool> tool) {
    return Access::handle(std::move(tool));
}

}  // namespace ixv
