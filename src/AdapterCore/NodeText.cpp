#include "NodeText.h"

#include <new>

#include "StringBridge.h"

NodeText::NodeText(std::wstring_view text) : NodeText() {
    if (text.empty()) return;
    if (text.size() >= UINT32_MAX) throw std::bad_alloc();
    void* memory = ::operator new(sizeof(Block) + (text.size() + 1) * sizeof(wchar_t));
    Block* made = new (memory) Block;
    made->references.store(1, std::memory_order_relaxed);
    made->size = static_cast<uint32_t>(text.size());
    text.copy(made->chars(), text.size());
    made->chars()[text.size()] = L'\0';
    bits_ = reinterpret_cast<uintptr_t>(made) | 1u;
}

void NodeText::release() noexcept {
    if (!owned()) return;
    Block* last = block();
    if (last->references.fetch_sub(1, std::memory_order_acq_rel) != 1) return;
    last->~Block();
    ::operator delete(last);
}

std::ostream& operator<<(std::ostream& out, const NodeText& text) {
    return out << toHString(text.str()).TextA();
}
