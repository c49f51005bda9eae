// Allocator of the scan FIFO. A double-ended queue whose front and back keep moving through
// its storage frees one block and allocates another every few scans; this allocator keeps a
// few freed blocks for reuse, so that queueing and delivering in steady state needs no new
// memory. Any thread may allocate and free; the cache has a lock of its own, innermost.
#pragma once

#include <cstddef>
#include <new>

namespace qds::OPOS {

namespace fifo_detail {
// A cached block of exactly bytes, or null.
void* TakeBlock(size_t bytes) noexcept;
// Keeps a block from ::operator new for reuse (the cache frees what it cannot keep).
void PutBlock(void* block, size_t bytes) noexcept;
}  // namespace fifo_detail

template <typename T>
class CFifoAllocator {
  public:
    using value_type = T;

    CFifoAllocator() noexcept = default;
    template <typename U>
    CFifoAllocator(const CFifoAllocator<U>&) noexcept {}

    T* allocate(size_t n) {
        if (void* p = fifo_detail::TakeBlock(n * sizeof(T))) return static_cast<T*>(p);
        return static_cast<T*>(::operator new(n * sizeof(T)));
    }
    void deallocate(T* p, size_t n) noexcept { fifo_detail::PutBlock(p, n * sizeof(T)); }
};

template <typename T, typename U>
bool operator==(const CFifoAllocator<T>&, const CFifoAllocator<U>&) noexcept {
    return true;
}
template <typename T, typename U>
bool operator!=(const CFifoAllocator<T>&, const CFifoAllocator<U>&) noexcept {
    return false;
}

}  // namespace qds::OPOS
