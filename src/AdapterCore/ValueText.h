// How values read as text: one value, the inline preview of a node's values,
// and reals that must read as reals.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "NativeNode.h"

// One tuple element as a NativeValue: a string when the string flag says so,
// else an integer when the integer flag says so, else a real. The flags are the
// tuple's TupleIsStringElem and TupleIsIntElem, computed once by the caller.
NativeValue stringifyTupleElement(const HalconCpp::HTuple& tuple, Hlong index, const HalconCpp::HTuple& stringFlags,
                                  const HalconCpp::HTuple& intFlags);

// 'text' for strings, "%lld" for integers, "%g" for reals.
std::wstring formatValueElement(const NativeValue& value);

// "[]" for no elements, the single value bare, else up to four values in
// brackets with ", ..." when `count` exceeds what is shown.
std::wstring buildInlinePreview(const std::vector<NativeValue>& values, int32_t count);

// Appends ".0" to a number that would otherwise read as an integer.
std::wstring ensureDecimalPoint(std::wstring text);

// "%.15g", always reading as a real.
std::wstring formatGeometryValue(double value);
