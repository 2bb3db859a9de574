// The reader handle and the common sequence of every load function, shared by
// the exported functions of AdapterApi.cpp.
#pragma once

#include <exception>
#include <memory>
#include <new>
#include <string>

#include "AdapterCore/NativeNode.h"
#include "AdapterCore/StringBridge.h"

struct ReaderHandle {
    std::unique_ptr<NativeNode> root;  // the tree of the last load; none before the first and after a failure
    std::wstring lastError;            // the message of the last failed operation
    std::wstring fullValueText;        // what ix_node_full_value_text returned last
    IxLoadKind lastLoadKind = IxLoadKind::None;  // the load the last load function ran
};

// The message an operation leaves when memory runs out.
inline const wchar_t* outOfMemoryMessage() {
    return L"Not enough memory available";
}

// The message for the exception being handled: its what() for a
// std::exception, a fixed text otherwise. Building it may itself run out of
// memory; then `outOfMemory`, made before anything could fail, is moved in,
// so that nothing here allocates after a std::bad_alloc.
inline void describeCurrentException(std::wstring& message, std::wstring& outOfMemory) noexcept {
    try {
        try {
            throw;
        } catch (const std::bad_alloc&) {
            message = std::move(outOfMemory);
        } catch (const std::exception& e) {
            message = fromHString(HalconCpp::HString(e.what()));
            if (message.empty()) message = L"Unexpected error while reading the file";
        } catch (...) {
            message = L"Unexpected error while reading the file";
        }
    } catch (...) {
        message = std::move(outOfMemory);
    }
}

// The common load sequence: with a handle and a path, empty the error, read
// the file with `load(path, error)`, install the result as the handle's tree
// (discarding the old tree whatever the outcome) and the error as its
// lastError, and return the tree. With either argument missing nothing
// happens. No exception leaves this function and the failure path allocates
// nothing: moving strings cannot throw.
template <class Load>
NativeNode* loadInto(ReaderHandle* handle, const wchar_t* path, Load&& load) noexcept {
    if (!handle || !path) return nullptr;
    std::unique_ptr<NativeNode> fresh;
    std::wstring error, outOfMemory;
    handle->lastError.clear();
    try {
        outOfMemory = outOfMemoryMessage();
        const std::wstring pathText(path);
        fresh = load(pathText, error);
    } catch (...) {
        fresh.reset();
        describeCurrentException(error, outOfMemory);
    }
    handle->lastError = std::move(error);
    std::unique_ptr<NativeNode> old = std::move(handle->root);
    handle->root = std::move(fresh);
    old.reset();
    return handle->root.get();
}
