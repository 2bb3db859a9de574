#include "ValueText.h"

#include "AdapterCore.h"
#include "NumberText.h"
#include "StringBridge.h"

using HalconCpp::HTuple;

NativeValue stringifyTupleElement(const HTuple& tuple, Hlong index, const HTuple& stringFlags, const HTuple& intFlags) {
    NativeValue value;
    if (stringFlags[index].L() != 0) {
        value.type = IxValueType::String;
        value.text = fromHString(tuple[index].S());
    } else if (intFlags[index].L() != 0) {
        value.type = IxValueType::Integer;
        value.intValue = tuple[index].L();
    } else {
        value.type = IxValueType::Real;
        value.realValue = tuple[index].D();
    }
    return value;
}

std::wstring formatValueElement(const NativeValue& value) {
    switch (value.type) {
    case IxValueType::String:
        return L"'" + oneLine(value.text.str()) + L"'";
    case IxValueType::Integer:
        return integerText(value.intValue);
    case IxValueType::Real:
        return generalText(value.realValue, 6);
    }
    return std::wstring();
}

std::wstring buildInlinePreview(const std::vector<NativeValue>& values, int32_t count) {
    if (count == 0) return L"[]";
    if (count == 1) return values.empty() ? std::wstring() : formatValueElement(values.front());
    const size_t shown = values.size() < 4 ? values.size() : 4;
    std::wstring text = L"[";
    for (size_t i = 0; i < shown; ++i) {
        if (i > 0) text += L", ";
        text += formatValueElement(values[i]);
    }
    if (count > static_cast<int64_t>(shown)) text += L", ...";
    text += L"]";
    return text;
}

std::wstring ensureDecimalPoint(std::wstring text) {
    if (text.find_first_of(L".eE") == std::wstring::npos && text.find(L"inf") == std::wstring::npos &&
        text.find(L"nan") == std::wstring::npos)
        text += L".0";
    return text;
}

std::wstring formatGeometryValue(double value) {
    return ensureDecimalPoint(generalText(value, 15));
}

std::wstring AdapterCore::fullValueText(const NativeNode* node) {
    if (!node || node->kind != IxNodeKind::Value) return std::wstring();
    const HTuple& tuple = node->tuple;
    const Hlong n = tuple.Length();
    if (n == 0) return L"[]";
    const HTuple stringFlags = tuple.TupleIsStringElem();
    const HTuple intFlags = tuple.TupleIsIntElem();
    if (n == 1) return formatValueElement(stringifyTupleElement(tuple, 0, stringFlags, intFlags));
    std::wstring text = L"[";
    for (Hlong i = 0; i < n; ++i) {
        if (i > 0) text += L", ";
        text += formatValueElement(stringifyTupleElement(tuple, i, stringFlags, intFlags));
    }
    text += L"]";
    return text;
}
