// The reader handle and the common sequence of every load function, shared by
// the exported functions of AdapterApi.cpp.
#pragma once

#include <memory>
#include <new>
#include <string>

#include "AdapterCore/NativeNode.h"

struct ReaderHandle {
    std::unique_ptr<NativeNode> root;  // the tree of the last load; none before the first and after a failure
    std::wstring lastError;            // the message of the last failed operation
    std::wstring fullValueText;        // what ix_node_full_value_text returned last
};

// The message an operation leaves when memory runs out.
inline const wchar_t* outOfMemoryMessage() {
    return L"Not enough memory available";
}

// The common load sequence: with a handle and a path, empty the error, read
// the file with `load(path, lastError)`, install the result as the handle's
// tree (discarding the old tree whatever the outcome) and return it. With
// either argument missing nothing happens. No exception leaves this function.
template <class Load>
NativeNode* loadInto(ReaderHandle* handle, const wchar_t* path, Load&& load) noexcept {
    if (!handle || !path) return nullptr;
    std::unique_ptr<NativeNode> fresh;
    try {
        handle->lastError.clear();
        const std::wstring pathText(path);
        fresh = load(pathText, handle->lastError);
    } catch (const std::bad_alloc&) {
        fresh.reset();
        handle->lastError = outOfMemoryMessage();
    } catch (...) {
        fresh.reset();
        handle->lastError.clear();
    }
    std::unique_ptr<NativeNode> old = std::move(handle->root);
    handle->root = std::move(fresh);
    old.reset();
    return handle->root.get();
}
