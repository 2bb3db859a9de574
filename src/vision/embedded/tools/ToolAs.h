// The template part of Tool.h.
#pragma once

#include <type_traits>
#include <typeinfo>

#include "base/Access.h"
#include "base/Errors.h"

namespace ixv {

template <class T>
T& toolAs(const HalconCpp::HHandle& handle, const char* proc) {
    const auto& tool = Access::tool(handle);
    if (!tool) raise(proc, err::NullHandle);
    T* typed = nullptr;
    if constexpr (std::is_final_v<T>) {  // no class derives from it: its exact type, without a cast's search
        const auto& object = *tool;  // named, so that typeid reads no expression with effects
        typed = typeid(object) == typeid(T) ? static_cast<T*>(tool.get()) : nullptr;
    } else {
        typed = dynamic_cast<T*>(tool.get());
    }
    if (!typed) raise(proc, err::WrongHandleType, std::string("expected a ") + T::kSemType + ", got a " + tool->semType());
    return *typed;
}

}  // namespace ixv
