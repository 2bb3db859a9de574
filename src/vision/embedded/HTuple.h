// Handles and tuples of the embedded vision library.
//
// A tuple is an ordered list of integers, reals, strings and handles. Copies
// share their storage until one of them changes, so a node that keeps a tuple
// of a million elements costs one reference count; a tuple of one value (most
// values a dictionary holds) keeps it inline.
#pragma once

#include <memory>
#include <new>

#include "HBase.h"

namespace ixv {
class Tool;
struct TupleData;
}  // namespace ixv

namespace HalconCpp {

// A reference-counted handle to a tool (a dictionary, a matrix, a 3D object
// model, a deep-learning model). Copies share the tool; it dies with the last.
class HHandle {
public:
    HHandle() = default;
    HHandle(const HHandle&) = default;
    HHandle(HHandle&&) noexcept = default;
    HHandle& operator=(const HHandle&) = default;
    HHandle& operator=(HHandle&&) noexcept = default;
    virtual ~HHandle() = default;

    bool IsInitialized() const { return tool_ != nullptr; }

protected:
    friend struct ixv::Access;
    std::shared_ptr<ixv::Tool> tool_;
};

class HTuple;

// A read view of one element of a tuple; it refers to the tuple, which must
// outlive it (as the vendor's does). Reading it as another type than the one
// it holds throws HException.
class HTupleElement {
public:
    int I() const;
    Hlong L() const;
    double D() const;
    HString S() const;
    HHandle H() const;
    const char* C() const;

private:
    friend class HTuple;
    friend struct ixv::Access;
    HTupleElement(const HTuple& tuple, Hlong index) : tuple_(&tuple), index_(index) {}
    const HTuple* tuple_;
    Hlong index_ = 0;
};

class HTuple {
public:
    HTuple() : data_() {}
    HTuple(int value);
    HTuple(Hlong value) : integer_(value), one_(One::Integer) {}
    HTuple(float value);
    HTuple(double value) : real_(value), one_(One::Real) {}
    HTuple(const char* value);
    HTuple(const HString& value);
    HTuple(const HHandle& value);
    HTuple(const Hlong* l, Hlong num);
    HTuple(const double* d, Hlong num);
    HTuple(const HTupleElement& element);
    HTuple(const HTuple& other) : one_(other.one_) {
        if (other.shared()) {
            new (&data_) std::shared_ptr<void>(other.data_);
        } else if (one_ >= One::Lent) {
            placed_ = other.placed_;
            one_ = One::Held;
            hold();
        } else {
            integer_ = other.integer_;
        }
    }
    HTuple(HTuple&& other) noexcept : one_(other.one_) {
        if (other.shared()) {
            new (&data_) std::shared_ptr<void>(std::move(other.data_));
        } else {
            if (one_ >= One::Lent)
                placed_ = other.placed_;
            else
                integer_ = other.integer_;
            new (&other.data_) std::shared_ptr<void>();
        }
        other.one_ = One::None;
    }
    HTuple& operator=(const HTuple& other) {
        if (this != &other) *this = HTuple(other);
        return *this;
    }
    HTuple& operator=(HTuple&& other) noexcept {
        if (this == &other) return *this;
        HTuple taken(std::move(other));  // `other` may be owned by this tuple's old value
        destroy();
        new (this) HTuple(std::move(taken));
        return *this;
    }
    ~HTuple() { destroy(); }

    // The queries asked once per value of a dictionary walk are answered
    // here for a tuple held inline; stored tuples go out of line.
    Hlong Length() const { return single() ? 1 : one_ != One::None || data_ ? storedLength() : 0; }
    HTuple& Append(const HTuple& tuple);
    void Clear();
    HTupleElement operator[](Hlong index) { return static_cast<const HTuple&>(*this)[index]; }
    HTupleElement operator[](Hlong index) const {
        if (index < 0 || index >= Length()) outOfRange(index);
        return HTupleElement(*this, index);
    }

    HTuple TupleIsIntElem() const { return single() ? HTuple(Hlong{one_ == One::Integer}) : storedFlags(0); }
    HTuple TupleIsStringElem() const { return single() ? HTuple(Hlong{one_ == One::String}) : storedFlags(2); }
    HTuple TupleIsHandleElem() const { return single() ? HTuple(Hlong{one_ == One::Handle}) : storedFlags(3); }
    HTuple TupleSemType() const;
    HTuple TupleSemTypeElem() const;
    HTuple TupleLength() const;

private:
    friend class HTupleElement;
    friend struct ixv::Access;
    // A tuple of one integer, real, string or handle holds it here, without
    // storage of its own (the string and the handle's tool are shared); any
    // other tuple lives in a shared ixv::TupleData (null when empty). A
    // number takes the place of the pointer: 24 bytes a tuple.
    //
    // The arrays of numbers a file's dictionaries hold are placed in the
    // file's arena (ixv::PlacedTuple) with no reference count of their own:
    // the dictionary holding one keeps the arena, and so the values, alive.
    // Such a Lent tuple lives only in a value list of a dictionary of that
    // arena (moves keep it Lent; the library never moves a value out of a
    // dictionary but to destroy it); a copy is Held: it keeps the arena
    // alive by a reference of its own.
    enum class One : unsigned char { None, Integer, Real, String, Handle, Lent, Held };
    bool shared() const { return one_ == One::None || one_ == One::String || one_ == One::Handle; }
    bool single() const { return one_ != One::None && one_ < One::Lent; }
    Hlong storedLength() const;
    HTuple storedFlags(int kind) const;
    [[noreturn]] void outOfRange(Hlong index) const;
    // A copy of a placed tuple: a reference to its arena taken, or given back.
    void hold() noexcept;
    void letGo() noexcept;
    void destroy() noexcept {
        if (shared())
            data_.~shared_ptr();
        else if (one_ == One::Held)
            letGo();
    }
    union {
        std::shared_ptr<void> data_;  // None: TupleData; String: text block; Handle: ixv::Tool
        Hlong integer_;
        double real_;
        const ixv::TupleData* placed_;  // Lent, Held: an ixv::PlacedTuple
    };
    One one_ = One::None;
};

}  // namespace HalconCpp
