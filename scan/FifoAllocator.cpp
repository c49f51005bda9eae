#include "scan/FifoAllocator.h"

#include "platform/sync.h"

namespace qds::OPOS::fifo_detail {

namespace {

// A handful of blocks covers the queue's storage blocks and its block map of several
// service objects.
constexpr size_t kCachedBlocks = 8;

class CBlockCache {
  public:
    void* Take(size_t bytes) {
        plat::CLock lock(m_cs);
        for (Slot& s : m_slots) {
            if (s.block != nullptr && s.bytes == bytes) {
                void* p = s.block;
                s.block = nullptr;
                return p;
            }
        }
        return nullptr;
    }
    // Keeps the block; when every slot is taken, the oldest kept block is freed instead,
    // so the sizes in use now win over those of queues long gone.
    void Put(void* block, size_t bytes) {
        void* evicted = nullptr;
        {
            plat::CLock lock(m_cs);
            Slot* slot = nullptr;
            for (Slot& s : m_slots) {
                if (s.block == nullptr) {
                    slot = &s;
                    break;
                }
            }
            if (slot == nullptr) {
                slot = &m_slots[m_next];
                m_next = (m_next + 1) % kCachedBlocks;
                evicted = slot->block;
            }
            slot->block = block;
            slot->bytes = bytes;
        }
        if (evicted != nullptr) ::operator delete(evicted);
    }

  private:
    struct Slot {
        void* block = nullptr;
        size_t bytes = 0;
    };
    plat::CCriticalSection m_cs;
    Slot m_slots[kCachedBlocks];
    size_t m_next = 0;  // next slot to evict
};

// Never destroyed: a queue freed during process exit (or by a late receive callback) may
// still hand its blocks back after the static destructors have run.
CBlockCache& Cache() {
    static CBlockCache* s_cache = new CBlockCache;
    return *s_cache;
}

}  // namespace

void* TakeBlock(size_t bytes) noexcept {
    return Cache().Take(bytes);
}

void PutBlock(void* block, size_t bytes) noexcept {
    Cache().Put(block, bytes);
}

}  // namespace qds::OPOS::fifo_detail
