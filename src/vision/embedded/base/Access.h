// The embedded library's way into its own classes: the vendor classes keep
// their internals private and name this struct their friend, so that nothing
// beyond the vendor's interface appears in namespace HalconCpp.
#pragma once

#include <cstring>
#include <memory>
#include <string>
#include <string_view>

#include "HBase.h"
#include "HObject.h"
#include "HTuple.h"

namespace ixv {

class Tool;
struct TupleData;
struct ObjectList;

struct Access {
    static HalconCpp::HException exception(const char* proc, Herror code, std::string message) {
        return HalconCpp::HException(HalconCpp::HString(std::string(proc ? proc : "")), code,
                                     HalconCpp::HString(std::move(message)));
    }
    static HalconCpp::HString string(std::string text) { return HalconCpp::HString(std::move(text)); }

    // A tuple in shared storage (see TupleData.h for reading any tuple).
    static HalconCpp::HTuple tuple(std::shared_ptr<TupleData> data) {
        HalconCpp::HTuple result;
        result.data_ = std::move(data);
        return result;
    }

    // A tuple placed in a file's arena, lent by the dictionary that will hold
    // it (`data` is an ixv::PlacedTuple; see HTuple.h).
    static HalconCpp::HTuple lent(const TupleData* data) {
        HalconCpp::HTuple result;
        result.data_.~shared_ptr();
        result.placed_ = data;
        result.one_ = HalconCpp::HTuple::One::Lent;
        return result;
    }

    // A tuple's storage, or null when it holds its one value inline or is empty.
    static const TupleData* stored(const HalconCpp::HTuple& t) {
        using One = HalconCpp::HTuple::One;
        if (t.one_ == One::None) return static_cast<const TupleData*>(t.data_.get());
        return t.one_ >= One::Lent ? t.placed_ : nullptr;
    }
    // True for a tuple placed in an arena (a view of PlacedTuple).
    static bool placed(const HalconCpp::HTuple& t) { return t.one_ >= HalconCpp::HTuple::One::Lent; }
    static const Hlong* integer(const HalconCpp::HTuple& t) {
        return t.one_ == HalconCpp::HTuple::One::Integer ? &t.integer_ : nullptr;
    }
    static const double* real(const HalconCpp::HTuple& t) {
        return t.one_ == HalconCpp::HTuple::One::Real ? &t.real_ : nullptr;
    }
    // The text of a tuple of one string: its block holds the length (4 bytes)
    // and the bytes, followed by a zero.
    static const char* text(const HalconCpp::HTuple& t) {
        return t.one_ == HalconCpp::HTuple::One::String ? static_cast<const char*>(t.data_.get()) + 4 : nullptr;
    }
    static std::string_view textView(const HalconCpp::HTuple& t) {
        const char* block = static_cast<const char*>(t.data_.get());
        uint32_t size = 0;
        std::memcpy(&size, block, 4);
        return std::string_view(block + 4, size);
    }
    // The shared storage of a tuple that is neither inline nor placed.
    static const std::shared_ptr<void>& share(const HalconCpp::HTuple& t) { return t.data_; }
    static bool isHandle(const HalconCpp::HTuple& t) { return t.one_ == HalconCpp::HTuple::One::Handle; }
    // The tool of a tuple that holds one handle inline.
    static std::shared_ptr<Tool> handleTool(const HalconCpp::HTuple& t) { return std::static_pointer_cast<Tool>(t.data_); }
    static std::shared_ptr<Tool> takeTool(HalconCpp::HTuple& t) { return std::static_pointer_cast<Tool>(std::move(t.data_)); }
    static HalconCpp::HTuple ofText(std::shared_ptr<void> block) {
        HalconCpp::HTuple result;
        result.data_ = std::move(block);
        result.one_ = HalconCpp::HTuple::One::String;
        return result;
    }

    static const std::shared_ptr<Tool>& tool(const HalconCpp::HHandle& handle) { return handle.tool_; }
    static HalconCpp::HHandle handle(std::shared_ptr<Tool> tool) {
        HalconCpp::HHandle result;
        result.tool_ = std::move(tool);
        return result;
    }

    static const std::shared_ptr<const ObjectList>& objects(const HalconCpp::HObject& object) {
        return object.objects_;
    }
    static void setObjects(HalconCpp::HObject& object, std::shared_ptr<const ObjectList> list) {
        object.objects_ = std::move(list);
    }
};

}  // namespace ixv
