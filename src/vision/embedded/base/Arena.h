// Memory for the values of one dictionary file, handed out in order and given
// back to the system whole.
//
// A reader makes one arena per file and allocates the dictionaries, their
// value lists and their texts from it. Every shared block allocated from it
// keeps it alive (see ArenaAllocator), so the arena lives until the last
// of them dies, however the host shares them out; then its blocks, mapped from
// the system, are unmapped at once. Nothing is freed one by one: millions of
// small blocks would otherwise be left in the allocator's free lists, and the
// resident size would not come down after the dictionary is destroyed.
//
// Allocation is for one thread (the reader); references may be taken and
// dropped from any thread.
#pragma once

#include <atomic>
#include <cstddef>
#include <cstdint>
#include <new>
#include <type_traits>

namespace ixv {

// Whole pages for `*size` bytes, mapped from the system (`*size` rounded up to
// what was mapped); from 2 MiB on, placed on whole huge pages and offered to
// the kernel's transparent huge pages. Null when the system refuses.
void* mapPages(size_t* size);

class Arena {
public:
    // A new arena with one reference, the caller's.
    static Arena* make() { return new Arena(); }

    void retain() noexcept { refs_.fetch_add(1, std::memory_order_relaxed); }
    void release() noexcept {
        if (refs_.fetch_sub(1, std::memory_order_acq_rel) == 1) delete this;
    }

    void* allocate(size_t bytes, size_t align) {
        uintptr_t at = (reinterpret_cast<uintptr_t>(at_) + align - 1) & ~(uintptr_t(align) - 1);
        if (at + bytes > reinterpret_cast<uintptr_t>(end_)) {
            grow(bytes + align);
            at = (reinterpret_cast<uintptr_t>(at_) + align - 1) & ~(uintptr_t(align) - 1);
        }
        at_ = reinterpret_cast<char*>(at + bytes);
        return reinterpret_cast<void*>(at);
    }

    // Bytes mapped so far.
    size_t mapped() const { return mapped_; }

    // Hands over `size` bytes of whole pages mapped by the caller (mmap), no
    // longer needed there and still resident: the arena fills them before it
    // maps fresh pages, which the system would first have to clear, and
    // unmaps them with its blocks. For the reader's text behind its position.
    void donate(void* memory, size_t size);
    // Unmaps what was donated and not yet used.
    void dropSpare();

    Arena(const Arena&) = delete;
    Arena& operator=(const Arena&) = delete;

private:
    Arena() = default;
    ~Arena();
    void grow(size_t least);

    struct Block {
        Block* previous;
        size_t size;
    };
    std::atomic<size_t> refs_{1};
    Block* last_ = nullptr;
    Block* spare_ = nullptr;  // donated pages not yet used, one run
    bool donated_ = false;    // once pages come donated, fresh blocks stay small
    char* at_ = nullptr;
    char* end_ = nullptr;
    size_t next_ = size_t{1} << 18;  // doubles up to kMaxBlock
    size_t mapped_ = 0;
};

// A standard allocator over an arena, or over the heap when it has none (a
// dictionary made by CreateDict). Each allocation from an arena holds a
// reference to it, given back when the block is deallocated (for the shared
// blocks of dictionaries, tuples and texts: the last thing done with them), so
// copies of the allocator are plain pointers: making and destroying a shared
// block costs one reference count each way, not one per copy the standard
// library makes of its allocator.
template <class T>
class ArenaAllocator {
public:
    using value_type = T;

    ArenaAllocator() noexcept = default;
    explicit ArenaAllocator(Arena* arena) noexcept : arena_(arena) {}
    template <class U>
    ArenaAllocator(const ArenaAllocator<U>& other) noexcept : arena_(other.arena()) {}

    T* allocate(size_t n) {
        if (n > SIZE_MAX / sizeof(T)) throw std::bad_alloc();
        if (!arena_) return static_cast<T*>(::operator new(n * sizeof(T)));
        T* block = static_cast<T*>(arena_->allocate(n * sizeof(T), alignof(T)));
        arena_->retain();
        return block;
    }
    void deallocate(T* p, size_t) noexcept {
        if (arena_)
            arena_->release();  // may unmap the block: nothing touches it after
        else
            ::operator delete(p);
    }

    Arena* arena() const noexcept { return arena_; }
    template <class U>
    bool operator==(const ArenaAllocator<U>& other) const noexcept { return arena_ == other.arena(); }
    template <class U>
    bool operator!=(const ArenaAllocator<U>& other) const noexcept { return arena_ != other.arena(); }

    // Containers keep their own allocator when assigned or swapped.
    using propagate_on_container_copy_assignment = std::false_type;
    using propagate_on_container_move_assignment = std::true_type;
    using propagate_on_container_swap = std::true_type;

private:
    Arena* arena_ = nullptr;
};

}  // namespace ixv
