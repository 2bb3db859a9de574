#include "base/Arena.h"

#include <sys/mman.h>

#include <algorithm>

namespace ixv {

namespace {

constexpr size_t kMaxBlock = size_t{1} << 24;

}  // namespace

Arena::~Arena() {
    while (last_) {
        Block* previous = last_->previous;
        ::munmap(last_, last_->size);
        last_ = previous;
    }
}

void Arena::grow(size_t least) {
    const size_t page = 4096;
    size_t size = std::max(next_, (least + sizeof(Block) + page - 1) & ~(page - 1));
    void* memory = ::mmap(nullptr, size, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (memory == MAP_FAILED) throw std::bad_alloc();
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
