// A text of a node: immutable once made, one pointer wide. A string literal
// is pointed to where it stands (most type labels are literals); any other
// text is copied once into a block of its own, which copies of the text share.
// A tree holds millions of texts, most of them short: a std::wstring costs 32
// bytes beside its characters, and a heap block of its own for more than three.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <ostream>
#include <string>
#include <string_view>

class NodeText {
public:
    NodeText() noexcept : NodeText(L"") {}
    // A string literal (or another array that lives as long as the program).
    template <size_t N>
    NodeText(const wchar_t (&literal)[N]) noexcept : bits_(reinterpret_cast<uintptr_t>(literal)) {}
    NodeText(std::wstring_view text);
    NodeText(const std::wstring& text) : NodeText(std::wstring_view(text)) {}
    NodeText(const NodeText& other) noexcept : bits_(other.bits_) { retain(); }
    NodeText(NodeText&& other) noexcept : bits_(other.bits_) { other.bits_ = reinterpret_cast<uintptr_t>(L""); }
    NodeText& operator=(NodeText other) noexcept {
        std::swap(bits_, other.bits_);
        return *this;
    }
    ~NodeText() { release(); }

    const wchar_t* c_str() const noexcept {
        return owned() ? block()->chars() : reinterpret_cast<const wchar_t*>(bits_);
    }
    std::wstring_view view() const noexcept {
        return owned() ? std::wstring_view(block()->chars(), block()->size) : std::wstring_view(c_str());
    }
    operator std::wstring_view() const noexcept { return view(); }
    size_t size() const noexcept { return view().size(); }
    bool empty() const noexcept { return c_str()[0] == L'\0'; }
    std::wstring str() const { return std::wstring(view()); }

    friend bool operator==(const NodeText& a, std::wstring_view b) noexcept { return a.view() == b; }
    friend bool operator==(std::wstring_view a, const NodeText& b) noexcept { return a == b.view(); }
    friend bool operator!=(const NodeText& a, std::wstring_view b) noexcept { return !(a == b); }
    friend std::wostream& operator<<(std::wostream& out, const NodeText& text) { return out << text.view(); }
    // For test messages: the text as UTF-8.
    friend std::ostream& operator<<(std::ostream& out, const NodeText& text);

private:
    // The characters follow the block, NUL-terminated.
    struct Block {
        std::atomic<uint32_t> references;
        uint32_t size;
        wchar_t* chars() noexcept { return reinterpret_cast<wchar_t*>(this + 1); }
    };
    bool owned() const noexcept { return (bits_ & 1u) != 0; }
    Block* block() const noexcept { return reinterpret_cast<Block*>(bits_ & ~uintptr_t{1}); }
    void retain() noexcept {
        if (owned()) block()->references.fetch_add(1, std::memory_order_relaxed);
    }
    void release() noexcept;

    uintptr_t bits_;  // a literal's address, or a block's address with bit 0 set
};
