#include "DictFiles.h"

#include "AdapterCore.h"
#include "HandleNodes.h"
#include "StringBridge.h"

using namespace HalconCpp;

const char* jsonParamName(IxJsonParamKey key) {
    switch (key) {
    case IxJsonParamKey::JsonValueTrue: return "json_value_true";
    case IxJsonParamKey::JsonValueFalse: return "json_value_false";
    case IxJsonParamKey::JsonValueNull: return "json_value_null";
    case IxJsonParamKey::ConvertJsonArraysTo: return "convert_json_arrays_to";
    }
    return "";
}

std::unique_ptr<NativeNode> readDictAndBuild(const std::wstring& path, const HTuple& names, const HTuple& values,
                                             std::wstring& error) {
    try {
        HDict dict;
        dict.ReadDict(toHString(path), names, values);
        DeferNestedDictionaries defer;
        return buildDictNode(dict, std::wstring(), IxPathSegmentKind::Name, 0);
    } catch (const HException& e) {
        error = fromHString(e.ErrorMessage());
        return nullptr;
    }
}

std::unique_ptr<NativeNode> AdapterCore::parseFile(const std::wstring& path, std::wstring& error) {
    return readDictAndBuild(path, HTuple(), HTuple(), error);
}

std::unique_ptr<NativeNode> AdapterCore::parseFile(const std::wstring& path,
                                                   const std::vector<NativeJsonParam>& options,
                                                   std::wstring& error) {
    HTuple names, values;
    try {
        for (const NativeJsonParam& option : options) {
            // The name goes in first: an option of an unknown type adds a
            // name without a value, and the reading says what it makes of that.
            names.Append(HTuple(jsonParamName(option.key)));
            switch (option.type) {
            case IxValueType::Integer: values.Append(HTuple(static_cast<Hlong>(option.intValue))); break;
            case IxValueType::Real: values.Append(HTuple(option.realValue)); break;
            case IxValueType::String: values.Append(HTuple(toHString(option.text))); break;
            }
        }
    } catch (const HException& e) {
        error = fromHString(e.ErrorMessage());
        return nullptr;
    }
    return readDictAndBuild(path, names, values, error);
}

bool AdapterCore::convertDictFile(const std::wstring& inputPath, const std::wstring& outputPath,
                                  bool ignoreNonSerializable, std::wstring& error) {
    try {
        HDict dict;
        dict.ReadDict(toHString(inputPath), HTuple(), HTuple());
        HTuple names, values;
        if (ignoreNonSerializable) {
            names = HTuple("raise_error_if_content_not_serializable");
            values = HTuple("false");
        }
        dict.WriteDict(toHString(outputPath), names, values);
        return true;
    } catch (const HException& e) {
        error = fromHString(e.ErrorMessage());
        return false;
    }
}

void AdapterCore::buildPendingChildren(const NativeNode* node) {
    // The tree belongs to the reader handle and is used by one thread at a
    // time; its nodes are never constant objects.
    if (node && node->pendingChildren) ::buildPendingChildren(const_cast<NativeNode&>(*node));
}
