// Dictionaries and deep-learning models seen through their handles, as the
// vendor's classes show them.
#pragma once

#include "HObject.h"
#include "HTuple.h"

namespace HalconCpp {

class HDict : public HHandle {
public:
    // An empty, unopened handle; ReadDict fills it.
    HDict() = default;
    // The same tool seen as a dictionary; a handle of another kind throws on first use.
    HDict(const HHandle& handle) : HHandle(handle) {}

    void ReadDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue);
    void ReadDict(const char* FileName, const HTuple& GenParamName, const HTuple& GenParamValue);
    void WriteDict(const HString& FileName, const HTuple& GenParamName, const HTuple& GenParamValue) const;
    void WriteDict(const char* FileName, const HTuple& GenParamName, const HTuple& GenParamValue) const;

    HTuple GetDictParam(const HString& GenParamName, const HTuple& Key) const;
    HTuple GetDictParam(const char* GenParamName, const char* Key) const;
    HTuple GetDictTuple(const HTuple& Key) const;
    HObject GetDictObject(const HTuple& Key) const;
};

}  // namespace HalconCpp
