#include <algorithm>
#include <cstring>
#include <string>

#include "base/Access.h"
#include "base/Errors.h"
#include "Operators.h"
#include "tools/Tool.h"
#include "base/TupleData.h"

using HalconCpp::HHandle;
using HalconCpp::HString;
using HalconCpp::HTuple;
using HalconCpp::HTupleElement;

namespace ixv {

Hlong TupleData::size() const {
    switch (kind) {
    case Kind::Longs: return static_cast<Hlong>(longs.size());
    case Kind::Doubles: return static_cast<Hlong>(doubles.size());
    case Kind::Mixed: return static_cast<Hlong>(mixed.size());
    case Kind::Repeated: return repeats;
    }
    return 0;
}

Element TupleData::element(Hlong index) const {
    switch (kind) {
    case Kind::Longs: return longs[static_cast<size_t>(index)];
    case Kind::Doubles: return doubles[static_cast<size_t>(index)];
    case Kind::Repeated: return longs[0];
    case Kind::Mixed: break;
    }
    return mixed[static_cast<size_t>(index)];
}

void TupleData::expand() {
    if (kind != Kind::Repeated) return;
    const Hlong value = longs[0];
    longs.assign(static_cast<size_t>(repeats), value);
    repeats = 0;
    kind = Kind::Longs;
}

void TupleData::makeMixed() {
    if (kind == Kind::Mixed) return;
    expand();
    mixed.reserve(static_cast<size_t>(size()));
    for (Hlong v : longs) mixed.emplace_back(v);
    for (double v : doubles) mixed.emplace_back(v);
    longs = {};
    doubles = {};
    kind = Kind::Mixed;
}

void TupleData::append(const TupleData& other) {
    if (other.size() == 0) return;
    if (size() == 0) {
        *this = other;
        return;
    }
    if (other.kind == Kind::Repeated) {
        TupleData expanded = other;
        expanded.expand();
        append(expanded);
        return;
    }
    expand();
    if (kind == other.kind && kind == Kind::Longs) {
        longs.insert(longs.end(), other.longs.begin(), other.longs.end());
    } else if (kind == other.kind && kind == Kind::Doubles) {
        doubles.insert(doubles.end(), other.doubles.begin(), other.doubles.end());
    } else {
        makeMixed();
        // Grown geometrically: reserving just the new size on every append
        // would copy the whole list each time.
        const size_t needed = mixed.size() + static_cast<size_t>(other.size());
        if (needed > mixed.capacity()) mixed.reserve(std::max(needed, 2 * mixed.capacity()));
        for (Hlong i = 0; i < other.size(); ++i) mixed.push_back(other.element(i));
    }
}

HTuple tupleOfLongs(std::vector<Hlong> values) {
    auto data = std::make_shared<TupleData>();
    data->longs = std::move(values);
    return Access::tuple(std::move(data));
}

HTuple tupleOfDoubles(std::vector<double> values) {
    auto data = std::make_shared<TupleData>();
    data->kind = TupleData::Kind::Doubles;
    data->doubles = std::move(values);
    return Access::tuple(std::move(data));
}

HTuple tupleOfElements(std::vector<Element> values) {
    auto data = std::make_shared<TupleData>();
    data->kind = TupleData::Kind::Mixed;
    data->mixed = std::move(values);
    return Access::tuple(std::move(data));
}

HTuple tupleOfRepeated(Hlong value, Hlong count) {
    if (count <= 0) return tupleOfLongs({});
    auto data = std::make_shared<TupleData>();
    data->kind = TupleData::Kind::Repeated;
    data->longs = {value};
    data->repeats = count;
    return Access::tuple(std::move(data));
}

HTuple tupleOfStrings(const std::vector<std::string>& values) {
    std::vector<Element> elements(values.begin(), values.end());
    return tupleOfElements(std::move(elements));
}

}  // namespace ixv

namespace {

using ixv::Element;
using ixv::TupleData;

HTuple single(Element value) {
    return ixv::tupleOfElements({std::move(value)});
}

// Tuples that per-element queries give again and again ({0}, {1}, "integer",
// "dict", ...) are made once and shared: copies share storage until changed,
// so a caller cannot alter the shared one. This saves two allocations per
// query, which matters when a tree of millions of keys asks them per key.
const HTuple& sharedFlag(bool set) {
    static const HTuple zero = ixv::tupleOfLongs({0}), one = ixv::tupleOfLongs({1});
    return set ? one : zero;
}

}  // namespace

namespace ixv {

HTuple sharedString(const char* text) {
    static const char* const known[] = {"integer", "real", "string", "handle", "any", "dict", "matrix",
                                        "object_model_3d", "dl_model", "tuple", "object"};
    static const std::vector<HTuple> tuples = [] {
        std::vector<HTuple> all;
        for (const char* name : known) all.push_back(tupleOfElements({std::string(name)}));
        return all;
    }();
    for (size_t i = 0; i < tuples.size(); ++i)
        if (std::strcmp(known[i], text) == 0) return tuples[i];
    return tupleOfElements({std::string(text)});
}

}  // namespace ixv

namespace {

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

// Flags of one integer 0/1 per element, from a test on the element.
template <class Test>
HTuple flagsOf(const std::shared_ptr<TupleData>& data, Test test) {
    std::vector<Hlong> flags;
    const Hlong n = data ? data->size() : 0;
    if (n == 0) return ixv::tupleOfLongs(std::move(flags));
    if (n == 1) return sharedFlag(test(data->element(0)));
    flags.reserve(static_cast<size_t>(n));
    if (data->kind == TupleData::Kind::Mixed) {
        for (const Element& e : data->mixed) flags.push_back(test(e) ? 1 : 0);
    } else {
        // Every element is of the one kind: one flag for all, held once.
        return ixv::tupleOfRepeated(test(data->element(0)) ? 1 : 0, n);
    }
    return ixv::tupleOfLongs(std::move(flags));
}

}  // namespace

namespace HalconCpp {

int HTupleElement::I() const {
    return static_cast<int>(L());
}

Hlong HTupleElement::L() const {
    if (data_->kind == TupleData::Kind::Longs) return data_->longs[static_cast<size_t>(index_)];
    if (data_->kind == TupleData::Kind::Repeated) return data_->longs[0];
    Element e = data_->element(index_);
    if (e.index() != 0) wrongType("integer", e);
    return std::get<Hlong>(e);
}

double HTupleElement::D() const {
    if (data_->kind == TupleData::Kind::Doubles) return data_->doubles[static_cast<size_t>(index_)];
    Element e = data_->element(index_);
    if (e.index() != 1) wrongType("real", e);
    return std::get<double>(e);
}

HString HTupleElement::S() const {
    return ixv::Access::string(C());
}

const char* HTupleElement::C() const {
    if (data_->kind != TupleData::Kind::Mixed) wrongType("string", data_->element(index_));
    const Element& e = data_->mixed[static_cast<size_t>(index_)];
    if (e.index() != 2) wrongType("string", e);
    return std::get<std::string>(e).c_str();
}

HHandle HTupleElement::H() const {
    if (data_->kind != TupleData::Kind::Mixed) wrongType("handle", data_->element(index_));
    const Element& e = data_->mixed[static_cast<size_t>(index_)];
    if (e.index() != 3) wrongType("handle", e);
    return std::get<HHandle>(e);
}

HTuple::HTuple(int value) : HTuple(static_cast<Hlong>(value)) {}
HTuple::HTuple(Hlong value) {
    // Small integers, the common flags, counts and JSON values, share their storage.
    constexpr Hlong low = -128, high = 1023;
    static const std::vector<HTuple> small = [] {
        std::vector<HTuple> all;
        all.reserve(high - low + 1);
        for (Hlong v = low; v <= high; ++v) all.push_back(ixv::tupleOfLongs({v}));
        return all;
    }();
    *this = value >= low && value <= high ? small[static_cast<size_t>(value - low)] : ixv::tupleOfLongs({value});
}
HTuple::HTuple(float value) : HTuple(static_cast<double>(value)) {}
HTuple::HTuple(double value) : HTuple(ixv::tupleOfDoubles({value})) {}
HTuple::HTuple(const char* value) : HTuple(single(std::string(value ? value : ""))) {}
HTuple::HTuple(const HString& value) : HTuple(single(std::string(value.TextA(), value.LengthA()))) {}
HTuple::HTuple(const HHandle& value) : HTuple(single(value)) {}

HTuple::HTuple(const Hlong* l, Hlong num)
    : HTuple(ixv::tupleOfLongs(l && num > 0 ? std::vector<Hlong>(l, l + num) : std::vector<Hlong>())) {}

HTuple::HTuple(const double* d, Hlong num)
    : HTuple(ixv::tupleOfDoubles(d && num > 0 ? std::vector<double>(d, d + num) : std::vector<double>())) {}

HTuple::HTuple(const HTupleElement& element) : HTuple(single(element.data_->element(element.index_))) {}

Hlong HTuple::Length() const {
    return data_ ? data_->size() : 0;
}

HTuple& HTuple::Append(const HTuple& tuple) {
    if (tuple.Length() == 0) return *this;
    if (Length() == 0) {
        data_ = tuple.data_;  // shared until either side changes
        return *this;
    }
    if (data_.use_count() > 1) data_ = std::make_shared<TupleData>(*data_);
    data_->append(*tuple.data_);
    return *this;
}

void HTuple::Clear() {
    data_.reset();
}

HTupleElement HTuple::operator[](Hlong index) {
    return static_cast<const HTuple&>(*this)[index];
}

HTupleElement HTuple::operator[](Hlong index) const {
    if (index < 0 || index >= Length())
        ixv::raise("tuple_access", ixv::err::TupleIndex,
                   "index " + std::to_string(index) + ", length " + std::to_string(Length()));
    return HTupleElement(data_, index);
}

HTuple HTuple::TupleIsIntElem() const {
    return flagsOf(data_, [](const Element& e) { return e.index() == 0; });
}

HTuple HTuple::TupleIsStringElem() const {
    return flagsOf(data_, [](const Element& e) { return e.index() == 2; });
}

HTuple HTuple::TupleIsHandleElem() const {
    return flagsOf(data_, [](const Element& e) { return e.index() == 3; });
}

HTuple HTuple::TupleSemType() const {
    const Hlong n = Length();
    if (n == 0) return ixv::sharedString("any");
    if (data_->kind == TupleData::Kind::Longs || data_->kind == TupleData::Kind::Repeated)
        return ixv::sharedString("integer");
    if (data_->kind == TupleData::Kind::Doubles) return ixv::sharedString("real");
    const char* first = semTypeOf(data_->mixed[0]);
    bool allHandles = true;
    bool allSame = true;
    for (const Element& e : data_->mixed) {
        allHandles = allHandles && e.index() == 3;
        allSame = allSame && std::strcmp(semTypeOf(e), first) == 0;
    }
    if (allSame) return ixv::sharedString(first);
    return ixv::sharedString(allHandles ? "handle" : "any");
}

HTuple HTuple::TupleSemTypeElem() const {
    const Hlong n = Length();
    if (n == 0) return HTuple();
    if (n == 1) return TupleSemType();
    if (data_->kind == TupleData::Kind::Longs || data_->kind == TupleData::Kind::Repeated)
        return ixv::tupleOfStrings(std::vector<std::string>(n, "integer"));
    if (data_->kind == TupleData::Kind::Doubles) return ixv::tupleOfStrings(std::vector<std::string>(n, "real"));
    std::vector<Element> names;
    names.reserve(static_cast<size_t>(n));
    for (const Element& e : data_->mixed) names.emplace_back(std::string(semTypeOf(e)));
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
