// Where the simulated machine keeps its small records that are read in bulk (the
// entries of folders and keys, and the files' own records): in slabs of their own,
// apart from the files' contents. The entries of a folder then lie close together, as
// a file system's index keeps them, not one to a page between the contents written
// after each; a listing of a large folder reads them without a cache and an address
// translation miss apiece.
#pragma once

#include <cstddef>
#include <memory>
#include <mutex>
#include <new>

#if defined(__SANITIZE_ADDRESS__)
#define SIM_BLOCK_POOL_BYPASS 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define SIM_BLOCK_POOL_BYPASS 1
#endif
#endif
#ifndef SIM_BLOCK_POOL_BYPASS
#define SIM_BLOCK_POOL_BYPASS 0
#endif

namespace sim {

// Blocks of `kSize` bytes, aligned for any type, from 64 KiB slabs that stay for the
// life of the process; a freed block is handed out again. Safe from any thread.
// Under the address sanitizer every block comes from the heap instead, so that a use
// after free is still caught.
template <size_t kSize>
class BlockPool {
 public:
  static void* Allocate() {
    if (SIM_BLOCK_POOL_BYPASS) return ::operator new(kSize);
    Pool& pool = Instance();
    std::lock_guard<std::mutex> lock(pool.mutex);
    if (!pool.free) pool.Grow();
    FreeBlock* block = pool.free;
    pool.free = block->next;
    return block;
  }

  static void Release(void* block) {
    if (!block) return;
    if (SIM_BLOCK_POOL_BYPASS) return ::operator delete(block);
    Pool& pool = Instance();
    std::lock_guard<std::mutex> lock(pool.mutex);
    FreeBlock* freed = ::new (block) FreeBlock;
    freed->next = pool.free;
    pool.free = freed;
  }

 private:
  struct FreeBlock {
    FreeBlock* next = nullptr;
  };
  static constexpr size_t kAlign = alignof(std::max_align_t);
  static constexpr size_t kUsed = kSize < sizeof(FreeBlock) ? sizeof(FreeBlock) : kSize;
  static constexpr size_t kBlock = (kUsed + kAlign - 1) / kAlign * kAlign;
  static constexpr size_t kSlab = 64 * 1024;
  static_assert(kBlock <= kSlab, "a block larger than a slab");

  struct Pool {
    std::mutex mutex;
    FreeBlock* free = nullptr;
    void Grow() {
      char* slab = static_cast<char*>(::operator new(kSlab));
      for (size_t at = kSlab / kBlock; at-- > 0;) {
        FreeBlock* block = ::new (slab + at * kBlock) FreeBlock;
        block->next = free;
        free = block;
      }
    }
  };

  // Never destroyed: records may outlive the static objects (a machine held by one).
  static Pool& Instance() {
    static Pool* pool = new Pool;
    return *pool;
  }
};

// An allocator for std::allocate_shared: one object (with its count) from the pool of
// its size, anything else from the heap.
template <typename T>
struct PoolAllocator {
  typedef T value_type;
  PoolAllocator() = default;
  template <typename U>
  PoolAllocator(const PoolAllocator<U>&) {}

  T* allocate(size_t n) {
    if (n == 1) return static_cast<T*>(BlockPool<sizeof(T)>::Allocate());
    return static_cast<T*>(::operator new(n * sizeof(T)));
  }
  void deallocate(T* block, size_t n) {
    if (n == 1) return BlockPool<sizeof(T)>::Release(block);
    ::operator delete(block);
  }
  template <typename U>
  bool operator==(const PoolAllocator<U>&) const {
    return true;
  }
  template <typename U>
  bool operator!=(const PoolAllocator<U>&) const {
    return false;
  }
};

}  // namespace sim
