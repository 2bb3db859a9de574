#include "DictFiles.h"

#include <filesystem>

#include "AdapterCore.h"
#include "HandleNodes.h"
#include "NumberText.h"
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

namespace {

// Whether the whole tree of `dict`, read from the file at `path`, fits the
// file's allowance; the limit's message in `error` when it does not.
bool treeFits(const HDict& dict, const std::wstring& path, std::wstring& error) {
    std::error_code failed;
    const uintmax_t size = std::filesystem::file_size(std::filesystem::path(toHString(path).TextA()), failed);
    const uint64_t fileBytes = failed ? 0 : static_cast<uint64_t>(size);
    const uint64_t allowance = fileBytes > (UINT64_MAX - kTreeFloorBytes) / kTreeBytesPerFileByte
                                   ? UINT64_MAX
                                   : kTreeFloorBytes + kTreeBytesPerFileByte * fileBytes;
    if (dictTreeCost(dict, allowance) <= allowance) return true;
    error = L"The tree of this dictionary file exceeds the limit of " + integerText(static_cast<long long>(allowance)) +
            L" bytes for a file of " + integerText(static_cast<long long>(fileBytes)) + L" bytes";
    return false;
}

}  // namespace

std::unique_ptr<NativeNode> readDictAndBuild(const std::wstring& path, const HTuple& names, const HTuple& values,
                                             std::wstring& error) {
    return reported(error, std::unique_ptr<NativeNode>(), [&]() -> std::unique_ptr<NativeNode> {
        HDict dict;
        dict.ReadDict(toHString(path), names, values);
        if (!treeFits(dict, path, error)) return nullptr;
        return buildDictNode(dict, std::wstring(), IxPathSegmentKind::Name, 0);
    });
}

std::unique_ptr<NativeNode> AdapterCore::parseFile(const std::wstring& path, std::wstring& error) {
    return readDictAndBuild(path, HTuple(), HTuple(), error);
}

std::unique_ptr<NativeNode> AdapterCore::parseFile(const std::wstring& path,
                                                   const std::vector<NativeJsonParam>& options,
                                                   std::wstring& error) {
    HTuple names, values;
    const bool made = reported(error, false, [&] {
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
        return true;
    });
    return made ? readDictAndBuild(path, names, values, error) : nullptr;
}

bool AdapterCore::convertDictFile(const std::wstring& inputPath, const std::wstring& outputPath,
                                  bool ignoreNonSerializable, std::wstring& error) {
    return reported(error, false, [&] {
        HDict dict;
        dict.ReadDict(toHString(inputPath), HTuple(), HTuple());
        HTuple names, values;
        if (ignoreNonSerializable) {
            names = HTuple("raise_error_if_content_not_serializable");
            values = HTuple("false");
        }
        dict.WriteDict(toHString(outputPath), names, values);
        return true;
    });
}
