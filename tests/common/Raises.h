// What a call raises: the vision library's error number or message, or 0 / ""
// when it returns normally.
#pragma once

#include <string>

#include "HalconCpp.h"

template <class F>
Herror errorOf(F&& f) {
    try {
        f();
    } catch (const HalconCpp::HException& e) {
        return e.ErrorCode();
    }
    return 0;
}

template <class F>
std::string messageOf(F&& f) {
    try {
        f();
    } catch (const HalconCpp::HException& e) {
        return e.ErrorMessage().TextA();
    }
    return "";
}
