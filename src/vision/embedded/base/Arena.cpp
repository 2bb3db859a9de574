#include "base/Arena.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstdint>

namespace ixv {

namespace {

constexpr size_t kMaxBlock = size_t{1} << 24;
// Blocks from this size on are placed on whole huge pages and offered to the
// kernel's transparent huge pages: a load writes its arena once, right after
// mapping it, and a huge page is one page fault where 4 KiB pages take 512
// (clearing the memory costs the same per byte either way).
constexpr size_t kHugePage = size_t{2} << 20;
// Donated pages waiting to be used, at most.
constexpr size_t kMostSpare = size_t{2} << 20;

// `size` bytes mapped at a multiple of `align` (a power of two, a multiple
// of the page size), or null.
void* mapAligned(size_t size, size_t align) {
    void* memory = ::mmap(nullptr, size + align, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) return nullptr;
    const uintptr_t start = reinterpret_cast<uintptr_t>(memory);
    const uintptr_t at = (start + align - 1) & ~(uintptr_t(align) - 1);
    if (at > start) ::munmap(memory, at - start);
    if (start + align > at) ::munmap(reinterpret_cast<void*>(at + size), start + align - at);
    return reinterpret_cast<void*>(at);
}

}  // namespace

void* mapPages(size_t* size) {
    const size_t page = 4096;
    if (*size >= kHugePage) {
        *size = (*size + kHugePage - 1) & ~(kHugePage - 1);
        void* memory = mapAligned(*size, kHugePage);
        if (memory) ::madvise(memory, *size, MADV_HUGEPAGE);  // advice only: its failure changes nothing
        return memory;
    }
    *size = (*size + page - 1) & ~(page - 1);
    void* memory = ::mmap(nullptr, *size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    return memory == MAP_FAILED ? nullptr : memory;
}

Arena::~Arena() {
    dropSpare();
    while (last_) {
        Block* previous = last_->previous;
        ::munmap(last_, last_->size);
        last_ = previous;
    }
}

void Arena::donate(void* memory, size_t size) {
    if (size < sizeof(Block)) {
        ::munmap(memory, size);
        return;
    }
    // Of a long run (values far apart in the text), the last few megabytes
    // only: taken as one block, the whole run would stay resident with the
    // dictionaries, however little of it they fill.
    if (size > kMostSpare) {
        ::munmap(memory, size - kMostSpare);
        memory = static_cast<char*>(memory) + (size - kMostSpare);
        size = kMostSpare;
    }
    // The next pages of the same run join it, up to a few megabytes: pages
    // the arena does not take soon (a huge array filling a block of its own)
    // go back to the system, as they would without the arena.
    if (spare_ && reinterpret_cast<char*>(spare_) + spare_->size == memory && spare_->size + size <= kMostSpare) {
        spare_->size += size;
        return;
    }
    dropSpare();
    donated_ = true;
    spare_ = static_cast<Block*>(memory);
    spare_->previous = nullptr;
    spare_->size = size;
}

void Arena::dropSpare() {
    if (spare_) ::munmap(spare_, spare_->size);
    spare_ = nullptr;
}

void Arena::grow(size_t least) {
    if (spare_ && spare_->size >= least + sizeof(Block)) {
        Block* block = spare_;
        spare_ = nullptr;
        block->previous = last_;
        last_ = block;
        at_ = reinterpret_cast<char*>(block) + sizeof(Block);
        end_ = reinterpret_cast<char*>(block) + block->size;
        return;
    }
    // While pages come donated, fresh blocks are of one huge page: a large
    // one would be filled while donated pages wait, resident, for the next.
    size_t size = std::max(donated_ ? std::min(next_, kHugePage) : next_, least + sizeof(Block));
    void* memory = mapPages(&size);
    if (!memory) throw std::bad_alloc();
    Block* block = static_cast<Block*>(memory);
    block->previous = last_;
    block->size = size;
    last_ = block;
    at_ = static_cast<char*>(memory) + sizeof(Block);
    end_ = static_cast<char*>(memory) + size;
    mapped_ += size;
    next_ = std::min(next_ * 2, kMaxBlock);
}

}  // namespace ixv
