// Handles and tuples of the embedded vision library.
//
// A tuple is an ordered list of integers, reals, strings and handles. Copies
// share their storage until one of them changes, so a node that keeps a tuple
// of a million elements costs one reference count.
#pragma once

#include <memory>

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

// A read view of one element of a tuple. Reading it as another type than the
// one it holds throws HException.
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
    HTupleElement(std::shared_ptr<const ixv::TupleData> data, Hlong index)
        : data_(std::move(data)), index_(index) {}
    std::shared_ptr<const ixv::TupleData> data_;
    Hlong index_ = 0;
};

class HTuple {
public:
    HTuple() = default;
    HTuple(int value);
    HTuple(Hlong value);
    HTuple(float value);
    HTuple(double value);
    HTuple(const char* value);
    HTuple(const HString& value);
    HTuple(const HHandle& value);
    HTuple(const Hlong* l, Hlong num);
    HTuple(const double* d, Hlong num);
    HTuple(const HTupleElement& element);
    HTuple(const HTuple&) = default;
    HTuple(HTuple&&) noexcept = default;
    HTuple& operator=(const HTuple&) = default;
    HTuple& operator=(HTuple&&) noexcept = default;
    ~HTuple() = default;

    Hlong Length() const;
    HTuple& Append(const HTuple& tuple);
    void Clear();
    HTupleElement operator[](Hlong index);
    HTupleElement operator[](Hlong index) const;

    HTuple TupleIsIntElem() const;
    HTuple TupleIsStringElem() const;
    HTuple TupleIsHandleElem() const;
    HTuple TupleSemType() const;
    HTuple TupleSemTypeElem() const;
    HTuple TupleLength() const;

private:
    friend struct ixv::Access;
    std::shared_ptr<ixv::TupleData> data_;
};

}  // namespace HalconCpp
