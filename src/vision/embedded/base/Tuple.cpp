#include <algorithm>
#include <atomic>
#include <cstring>
#include <string>

#include "base/Access.h"
#include "base/Arena.h"
#include "base/Errors.h"
#include "Operators.h"
#include "tools/Tool.h"
#include "base/TupleData.h"

using HalconCpp::HHandle;
using HalconCpp::HString;
using HalconCpp::HTuple;
using HalconCpp::HTupleElement;

namespace ixv {

const std::vector<Element>& TupleData::noElements() {
    static const std::vector<Element> none;
    return none;
}

void TupleData::destroyStorage() noexcept {
    if (kind_ == Kind::Mixed)
        mixed_.~vector();
    else if (kind_ == Kind::Doubles)
        doubles_.~vector();
    else if (kind_ == Kind::Longs)
        longs_.~vector();
}

void TupleData::reset(Kind kind) noexcept {
    destroyStorage();
    kind_ = kind;
    if (kind == Kind::Mixed)
        new (&mixed_) std::vector<Element>();
    else if (kind == Kind::Doubles)
        new (&doubles_) std::vector<double>();
    else if (kind == Kind::Longs)
        new (&longs_) std::vector<Hlong>();
    else
        repeated_ = 0;
    viewed_ = false;
    count_ = 0;
    values_ = nullptr;
}

void TupleData::sync() {
    viewed_ = false;
    if (kind_ == Kind::Doubles) {
        values_ = doubles_.data();
        count_ = doubles_.size();
    } else if (kind_ == Kind::Longs) {
        values_ = longs_.data();
        count_ = longs_.size();
    } else if (kind_ == Kind::Repeated) {
        values_ = &repeated_;
    }
}

void TupleData::own() {
    if (!viewed_) return;
    if (kind_ == Kind::Doubles)
        doubles_.assign(doubles(), doubles() + count_);
    else
        longs_.assign(longs(), longs() + count_);
    sync();
}

TupleData::TupleData(const TupleData& other) : longs_() {
    *this = other;
}

TupleData& TupleData::operator=(const TupleData& other) {
    if (this == &other) return *this;
    reset(other.kind_);
    switch (other.kind_) {
    case Kind::Longs: longs_.assign(other.longs(), other.longs() + other.count_); break;
    case Kind::Doubles: doubles_.assign(other.doubles(), other.doubles() + other.count_); break;
    case Kind::Repeated:
        repeated_ = other.repeated_;
        count_ = other.count_;
        break;
    case Kind::Mixed: mixed_ = other.mixed_; break;
    }
    sync();
    texts = other.texts;
    return *this;
}

TupleData& TupleData::operator=(TupleData&& other) {
    if (this == &other) return *this;
    if (other.viewed_) {
        // The values live as long as the other TupleData's block, not this one's.
        *this = static_cast<const TupleData&>(other);
        other.reset(Kind::Longs);
        return *this;
    }
    reset(other.kind_);
    switch (other.kind_) {
    case Kind::Doubles: doubles_ = std::move(other.doubles_); break;
    case Kind::Mixed: mixed_ = std::move(other.mixed_); break;
    case Kind::Longs: longs_ = std::move(other.longs_); break;
    case Kind::Repeated: repeated_ = other.repeated_; break;
    }
    count_ = other.count_;
    values_ = other.kind_ == Kind::Repeated ? &repeated_ : other.values_;
    texts = std::move(other.texts);
    other.reset(Kind::Longs);
    return *this;
}

size_t TupleData::capacity() const {
    if (viewed_) return 0;
    switch (kind_) {
    case Kind::Doubles: return doubles_.capacity();
    case Kind::Mixed: return mixed_.capacity();
    case Kind::Repeated: return 1;
    case Kind::Longs: break;
    }
    return longs_.capacity();
}

void TupleData::setLongs(std::vector<Hlong> values) {
    reset(Kind::Longs);
    longs_ = std::move(values);
    sync();
}

void TupleData::setDoubles(std::vector<double> values) {
    reset(Kind::Doubles);
    doubles_ = std::move(values);
    sync();
}

void TupleData::setRepeated(Hlong value, Hlong count) {
    reset(Kind::Repeated);
    repeated_ = value;
    count_ = static_cast<size_t>(count);
    sync();
}

void TupleData::viewLongs(const Hlong* values, size_t count) {
    reset(Kind::Longs);
    viewed_ = true;
    values_ = values;
    count_ = count;
}

void TupleData::viewDoubles(const double* values, size_t count) {
    reset(Kind::Doubles);
    viewed_ = true;
    values_ = values;
    count_ = count;
}

void TupleData::pushLong(Hlong value) {
    own();
    longs_.push_back(value);
    sync();
}

Element TupleData::element(Hlong index) const {
    switch (kind_) {
    case Kind::Longs: return longs()[index];
    case Kind::Doubles: return doubles()[index];
    case Kind::Repeated: return longs()[0];
    case Kind::Mixed: break;
    }
    return mixed_[static_cast<size_t>(index)];
}

void TupleData::expand() {
    if (kind_ != Kind::Repeated) return;
    // Made before the change: without the memory, the tuple stays as it was.
    setLongs(std::vector<Hlong>(count_, repeated_));
}

void TupleData::makeMixed() {
    if (kind_ == Kind::Mixed) return;
    expand();
    std::vector<Element> elements;
    elements.reserve(count_);
    if (kind_ == Kind::Longs)
        for (size_t i = 0; i < count_; ++i) elements.emplace_back(longs()[i]);
    else
        for (size_t i = 0; i < count_; ++i) elements.emplace_back(doubles()[i]);
    reset(Kind::Mixed);
    mixed_ = std::move(elements);
}

void TupleData::append(const TupleData& other) {
    if (other.size() == 0) return;
    if (&other == this) {
        const TupleData copy = other;
        append(copy);
        return;
    }
    if (size() == 0) {
        *this = other;
        return;
    }
    if (other.kind_ == Kind::Repeated) {
        TupleData expanded = other;
        expanded.expand();
        append(expanded);
        return;
    }
    expand();
    own();
    if (kind_ == other.kind_ && kind_ == Kind::Longs) {
        longs_.insert(longs_.end(), other.longs(), other.longs() + other.count_);
        sync();
    } else if (kind_ == other.kind_ && kind_ == Kind::Doubles) {
        doubles_.insert(doubles_.end(), other.doubles(), other.doubles() + other.count_);
        sync();
    } else {
        makeMixed();
        // Grown geometrically: reserving just the new size on every append
        // would copy the whole list each time.
        const size_t needed = mixed_.size() + static_cast<size_t>(other.size());
        if (needed > mixed_.capacity()) mixed_.reserve(std::max(needed, 2 * mixed_.capacity()));
        for (Hlong i = 0; i < other.size(); ++i) mixed_.push_back(other.element(i));
    }
}

// A tuple of one value is held inline, however it was made.
HTuple tupleOfLongs(std::vector<Hlong> values) {
    if (values.size() == 1) return HTuple(values[0]);
    auto data = std::make_shared<TupleData>();
    data->setLongs(std::move(values));
    return Access::tuple(std::move(data));
}

HTuple tupleOfDoubles(std::vector<double> values) {
    if (values.size() == 1) return HTuple(values[0]);
    auto data = std::make_shared<TupleData>();
    data->setDoubles(std::move(values));
    return Access::tuple(std::move(data));
}

HTuple tupleOfElements(std::vector<Element> values) {
    if (values.size() == 1) {
        switch (values[0].index()) {
        case 0: return HTuple(std::get<Hlong>(values[0]));
        case 1: return HTuple(std::get<double>(values[0]));
        case 2: return tupleOfText(std::get<std::string>(values[0]));
        default: return HTuple(std::get<HalconCpp::HHandle>(values[0]));
        }
    }
    auto data = std::make_shared<TupleData>();
    data->mixedToChange() = std::move(values);
    return Access::tuple(std::move(data));
}

HTuple tupleOfRepeated(Hlong value, Hlong count) {
    if (count <= 0) return tupleOfLongs({});
    auto data = std::make_shared<TupleData>();
    data->setRepeated(value, count);
    return Access::tuple(std::move(data));
}

HTuple tupleOfStrings(const std::vector<std::string>& values) {
    std::vector<Element> elements(values.begin(), values.end());
    return tupleOfElements(std::move(elements));
}

}  // namespace ixv

namespace ixv {

const TupleData* storedOf(const HTuple& tuple) {
    return Access::stored(tuple);
}

const Hlong* singleInteger(const HTuple& tuple) {
    if (const Hlong* l = Access::integer(tuple)) return l;
    const TupleData* data = Access::stored(tuple);
    if (!data || data->size() != 1) return nullptr;
    if (data->kind() == TupleData::Kind::Longs || data->kind() == TupleData::Kind::Repeated) return &data->longs()[0];
    return data->kind() == TupleData::Kind::Mixed ? std::get_if<Hlong>(&data->mixed()[0]) : nullptr;
}

const double* singleReal(const HTuple& tuple) {
    if (const double* d = Access::real(tuple)) return d;
    const TupleData* data = Access::stored(tuple);
    if (!data || data->size() != 1) return nullptr;
    if (data->kind() == TupleData::Kind::Doubles) return &data->doubles()[0];
    return data->kind() == TupleData::Kind::Mixed ? std::get_if<double>(&data->mixed()[0]) : nullptr;
}

bool oneString(const HTuple& tuple, std::string_view* text) {
    if (Access::text(tuple)) {
        *text = Access::textView(tuple);
        return true;
    }
    const TupleData* data = Access::stored(tuple);
    if (!data || data->kind() != TupleData::Kind::Mixed || data->mixed().size() != 1) return false;
    const std::string* s = std::get_if<std::string>(&data->mixed()[0]);
    if (s) *text = *s;
    return s != nullptr;
}

Element elementOf(const HTuple& tuple, Hlong index) {
    if (const TupleData* data = Access::stored(tuple)) return data->element(index);
    if (const Hlong* l = Access::integer(tuple)) return *l;
    if (const double* d = Access::real(tuple)) return *d;
    if (Access::text(tuple)) return std::string(Access::textView(tuple));
    return Access::handle(Access::handleTool(tuple));
}

Element takeElement(HTuple& tuple) {
    if (!Access::isHandle(tuple)) return elementOf(tuple, 0);
    Element e = Access::handle(Access::takeTool(tuple));
    tuple = HTuple();
    return e;
}

std::shared_ptr<const TupleData> storageOf(const HTuple& tuple) {
    if (tuple.Length() == 0) return nullptr;
    if (const TupleData* data = Access::stored(tuple)) {
        if (!Access::placed(tuple)) return std::static_pointer_cast<const TupleData>(Access::share(tuple));
        // A placed tuple's values stay where they are: the block keeps their arena.
        Arena* arena = static_cast<const PlacedTuple*>(data)->arena;
        arena->retain();
        try {
            return std::shared_ptr<const TupleData>(data, [arena](const TupleData*) { arena->release(); });
        } catch (...) {
            arena->release();
            throw;
        }
    }
    auto data = std::make_shared<TupleData>();
    if (const Hlong* l = Access::integer(tuple))
        data->setLongs({*l});
    else if (const double* d = Access::real(tuple))
        data->setDoubles({*d});
    else
        data->mixedToChange() = {elementOf(tuple, 0)};
    return data;
}

namespace {

// A text block of N bytes with its reference count in one allocation.
template <size_t N>
struct TextBlock {
    char bytes[N];
};

template <size_t N>
std::shared_ptr<char> textBlock(Arena* arena) {
    std::shared_ptr<TextBlock<N>> block = std::allocate_shared<TextBlock<N>>(ArenaAllocator<TextBlock<N>>(arena));
    char* bytes = block->bytes;
    return std::shared_ptr<char>(std::move(block), bytes);
}

}  // namespace

HTuple tupleOfText(std::string_view text, Arena* arena) {
    if (text.size() > UINT32_MAX - 8) throw std::bad_alloc();
    const size_t bytes = 4 + text.size() + 1;
    // Short texts (keys, labels, file names) take one block with the
    // reference count; in an arena, both are the arena's, freed with it.
    std::shared_ptr<char> block;
    if (bytes <= 16)
        block = textBlock<16>(arena);
    else if (bytes <= 32)
        block = textBlock<32>(arena);
    else if (bytes <= 64)
        block = textBlock<64>(arena);
    else if (arena)
        block = std::shared_ptr<char>(static_cast<char*>(arena->allocate(bytes, 4)), [](char*) {}, ArenaAllocator<char>(arena));
    else
        block = std::shared_ptr<char>(new char[bytes], std::default_delete<char[]>());
    char* at = block.get();
    const uint32_t size = static_cast<uint32_t>(text.size());
    std::memcpy(at, &size, 4);
    std::memcpy(at + 4, text.data(), text.size());
    at[4 + text.size()] = '\0';
    return Access::ofText(std::move(block));
}

}  // namespace ixv

namespace {

using ixv::Element;
using ixv::TupleData;

// Tuples that per-element queries give again and again ("integer", "dict",
// ...) are made once, before any thread can ask, and shared: copies share
// storage until changed, so a caller cannot alter the shared one.
const char* const kSharedNames[] = {"integer", "real", "string", "handle", "any", "dict", "matrix",
                                    "object_model_3d", "dl_model", "tuple", "object"};

[[noreturn]] void wrongType(const char* wanted, const Element& held) {
    static const char* const names[] = {"integer", "real", "string", "handle"};
    ixv::raise("tuple_access", ixv::err::TupleElementType,
               std::string("read as ") + wanted + ", holds " + names[held.index()]);
}

const char* semTypeOf(const Element& e) {
    switch (e.index()) {
    case 0: return "integer";
    case 1: return "real";
    case 2: return "string";
    default: return ixv::handleSemType(std::get<HHandle>(e));
    }
}

// Which of integer, real, string, handle (the index of Element) a tuple's
// elements are when all are of one: -1 for a mixed or empty tuple.
int uniformKind(const HTuple& tuple) {
    if (ixv::Access::integer(tuple)) return 0;
    if (ixv::Access::real(tuple)) return 1;
    if (ixv::Access::text(tuple)) return 2;
    if (ixv::Access::isHandle(tuple)) return 3;
    const TupleData* data = ixv::Access::stored(tuple);
    if (!data || data->size() == 0) return -1;
    switch (data->kind()) {
    case TupleData::Kind::Longs:
    case TupleData::Kind::Repeated: return 0;
    case TupleData::Kind::Doubles: return 1;
    case TupleData::Kind::Mixed: break;
    }
    const size_t first = data->mixed()[0].index();
    for (const Element& e : data->mixed())
        if (e.index() != first) return -1;
    return static_cast<int>(first);
}

// Flags of one integer 0/1 per element, for the element kind `kind`.
HTuple flagsOf(const HTuple& tuple, size_t kind) {
    const Hlong n = tuple.Length();
    if (n == 0) return ixv::tupleOfLongs({});
    const TupleData* data = ixv::Access::stored(tuple);
    if (!data || data->kind() != TupleData::Kind::Mixed) return n == 1 ? HTuple(Hlong{uniformKind(tuple) == int(kind)}) : ixv::tupleOfRepeated(uniformKind(tuple) == int(kind), n);
    if (n == 1) return HTuple(Hlong{data->mixed()[0].index() == kind});
    std::vector<Hlong> flags;
    flags.reserve(static_cast<size_t>(n));
    bool same = true;
    for (const Element& e : data->mixed()) {
        flags.push_back(e.index() == kind ? 1 : 0);
        same = same && flags.back() == flags.front();
    }
    // Every element is of the one kind or none is: one flag for all, held once.
    if (same) return ixv::tupleOfRepeated(flags.front(), n);
    return ixv::tupleOfLongs(std::move(flags));
}

}  // namespace

namespace ixv {

HTuple sharedString(const char* text) {
    static const std::vector<HTuple> tuples = [] {
        std::vector<HTuple> all;
        for (const char* name : kSharedNames) all.push_back(tupleOfText(name));
        return all;
    }();
    for (size_t i = 0; i < tuples.size(); ++i)
        if (std::strcmp(kSharedNames[i], text) == 0) return tuples[i];
    return HTuple(text);
}

}  // namespace ixv

namespace HalconCpp {

int HTupleElement::I() const {
    return static_cast<int>(L());
}

Hlong HTupleElement::L() const {
    if (const Hlong* l = ixv::Access::integer(*tuple_)) return *l;
    if (const TupleData* data = ixv::Access::stored(*tuple_)) {
        if (data->kind() == TupleData::Kind::Longs) return data->longs()[static_cast<size_t>(index_)];
        if (data->kind() == TupleData::Kind::Repeated) return data->longs()[0];
        if (data->kind() == TupleData::Kind::Mixed)
            if (const Hlong* l = std::get_if<Hlong>(&data->mixed()[static_cast<size_t>(index_)])) return *l;
    }
    wrongType("integer", ixv::elementOf(*tuple_, index_));
}

double HTupleElement::D() const {
    if (const double* d = ixv::Access::real(*tuple_)) return *d;
    if (const TupleData* data = ixv::Access::stored(*tuple_)) {
        if (data->kind() == TupleData::Kind::Doubles) return data->doubles()[static_cast<size_t>(index_)];
        if (data->kind() == TupleData::Kind::Mixed)
            if (const double* d = std::get_if<double>(&data->mixed()[static_cast<size_t>(index_)])) return *d;
    }
    wrongType("real", ixv::elementOf(*tuple_, index_));
}

// The whole text, bytes after a NUL included, as the tuple holds it.
HString HTupleElement::S() const {
    if (ixv::Access::text(*tuple_)) return ixv::Access::string(std::string(ixv::Access::textView(*tuple_)));
    if (const TupleData* data = ixv::Access::stored(*tuple_); data && data->kind() == TupleData::Kind::Mixed)
        if (const std::string* s = std::get_if<std::string>(&data->mixed()[static_cast<size_t>(index_)]))
            return ixv::Access::string(*s);
    wrongType("string", ixv::elementOf(*tuple_, index_));
}

const char* HTupleElement::C() const {
    if (const char* s = ixv::Access::text(*tuple_)) return s;
    if (const TupleData* data = ixv::Access::stored(*tuple_); data && data->kind() == TupleData::Kind::Mixed)
        if (const std::string* s = std::get_if<std::string>(&data->mixed()[static_cast<size_t>(index_)])) return s->c_str();
    wrongType("string", ixv::elementOf(*tuple_, index_));
}

HHandle HTupleElement::H() const {
    if (ixv::Access::isHandle(*tuple_)) return ixv::Access::handle(ixv::Access::handleTool(*tuple_));
    if (const TupleData* data = ixv::Access::stored(*tuple_); data && data->kind() == TupleData::Kind::Mixed)
        if (const HHandle* h = std::get_if<HHandle>(&data->mixed()[static_cast<size_t>(index_)])) return *h;
    wrongType("handle", ixv::elementOf(*tuple_, index_));
}

HTuple::HTuple(int value) : HTuple(static_cast<Hlong>(value)) {}
HTuple::HTuple(float value) : HTuple(static_cast<double>(value)) {}
HTuple::HTuple(const char* value) : HTuple(ixv::tupleOfText(value ? value : "")) {}
HTuple::HTuple(const HString& value) : HTuple(ixv::tupleOfText(std::string_view(value.TextA(), value.LengthA()))) {}
HTuple::HTuple(const HHandle& value) : data_(ixv::Access::tool(value)), one_(One::Handle) {}

HTuple::HTuple(const Hlong* l, Hlong num)
    : HTuple(ixv::tupleOfLongs(l && num > 0 ? std::vector<Hlong>(l, l + num) : std::vector<Hlong>())) {}

HTuple::HTuple(const double* d, Hlong num)
    : HTuple(ixv::tupleOfDoubles(d && num > 0 ? std::vector<double>(d, d + num) : std::vector<double>())) {}

HTuple::HTuple(const HTupleElement& element) : data_() {
    const HTuple& from = *element.tuple_;
    if (from.single()) {
        *this = from;
        return;
    }
    const TupleData& data = *ixv::Access::stored(from);
    switch (data.kind()) {
    case TupleData::Kind::Longs: *this = HTuple(data.longs()[static_cast<size_t>(element.index_)]); return;
    case TupleData::Kind::Repeated: *this = HTuple(data.longs()[0]); return;
    case TupleData::Kind::Doubles: *this = HTuple(data.doubles()[static_cast<size_t>(element.index_)]); return;
    case TupleData::Kind::Mixed: break;
    }
    const size_t at = static_cast<size_t>(element.index_);
    if (const std::vector<HTuple>* texts = data.texts.of(data.mixed().size())) {
        *this = (*texts)[at];
        return;
    }
    const Element& e = data.mixed()[at];
    switch (e.index()) {
    case 0: *this = HTuple(std::get<Hlong>(e)); break;
    case 1: *this = HTuple(std::get<double>(e)); break;
    case 2: *this = ixv::tupleOfText(std::get<std::string>(e)); break;
    default: *this = HTuple(std::get<HHandle>(e)); break;
    }
}

Hlong HTuple::storedLength() const {
    return ixv::Access::stored(*this)->size();
}

HTuple HTuple::storedFlags(int kind) const {
    return flagsOf(*this, static_cast<size_t>(kind));
}

void HTuple::outOfRange(Hlong index) const {
    ixv::raise("tuple_access", ixv::err::TupleIndex,
               "index " + std::to_string(index) + ", length " + std::to_string(Length()));
}

HTuple& HTuple::Append(const HTuple& tuple) {
    if (tuple.Length() == 0) return *this;
    if (Length() == 0) {
        *this = tuple;  // shared until either side changes
        return *this;
    }
    std::shared_ptr<TupleData> data;
    if (one_ != One::None || data_.use_count() > 1)
        data = std::make_shared<TupleData>(single() ? *ixv::storageOf(*this) : *ixv::Access::stored(*this));
    else {
        // The last other owner may have dropped its copy on another thread
        // just now: its reads of the storage come before this change.
        std::atomic_thread_fence(std::memory_order_acquire);
        data = std::static_pointer_cast<TupleData>(data_);
    }
    if (const TupleData* other = ixv::Access::stored(tuple))
        data->append(*other);
    else
        data->append(*ixv::storageOf(tuple));
    *this = ixv::Access::tuple(std::move(data));
    return *this;
}

void HTuple::hold() noexcept {
    static_cast<const ixv::PlacedTuple*>(placed_)->arena->retain();
}

void HTuple::letGo() noexcept {
    static_cast<const ixv::PlacedTuple*>(placed_)->arena->release();
}

void HTuple::Clear() {
    *this = HTuple();
}


HTuple HTuple::TupleSemType() const {
    const int kind = uniformKind(*this);
    if (kind < 0) {
        // Empty, or of several kinds: "handle" when all are handles of different types.
        return ixv::sharedString("any");
    }
    if (kind < 3) return ixv::sharedString(kSharedNames[kind]);
    if (one_ == One::Handle) return ixv::sharedString(ixv::handleSemType(ixv::Access::handle(ixv::Access::handleTool(*this))));
    const auto& mixed = ixv::Access::stored(*this)->mixed();
    const char* first = semTypeOf(mixed[0]);
    for (const Element& e : mixed)
        if (std::strcmp(semTypeOf(e), first) != 0) return ixv::sharedString("handle");
    return ixv::sharedString(first);
}

HTuple HTuple::TupleSemTypeElem() const {
    const Hlong n = Length();
    if (n == 0) return HTuple();
    if (n == 1) return TupleSemType();
    const int kind = uniformKind(*this);
    if (kind == 0 || kind == 1) return ixv::tupleOfStrings(std::vector<std::string>(n, kSharedNames[kind]));
    std::vector<Element> names;
    names.reserve(static_cast<size_t>(n));
    for (const Element& e : ixv::Access::stored(*this)->mixed()) names.emplace_back(std::string(semTypeOf(e)));
    return ixv::tupleOfElements(std::move(names));
}

HTuple HTuple::TupleLength() const {
    return HTuple(Length());
}

void TupleSemType(const HTuple& T, HTuple* SemType) {
    if (SemType) *SemType = T.TupleSemType();
}

void TupleSemTypeElem(const HTuple& T, HTuple* SemTypes) {
    if (SemTypes) *SemTypes = T.TupleSemTypeElem();
}

void TupleIsIntElem(const HTuple& T, HTuple* IsInt) {
    if (IsInt) *IsInt = T.TupleIsIntElem();
}

void TupleIsStringElem(const HTuple& T, HTuple* IsString) {
    if (IsString) *IsString = T.TupleIsStringElem();
}

void TupleIsHandleElem(const HTuple& T, HTuple* IsHandle) {
    if (IsHandle) *IsHandle = T.TupleIsHandleElem();
}

}  // namespace HalconCpp
