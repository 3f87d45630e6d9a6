// Replaces the global operator new and delete of the fuzz executable: every block carries its
// size in a header, live bytes and their peak are counted, and live memory is capped as the
// 32-bit product's address space caps it.
#include <atomic>
#include <cstddef>
#include <cstdlib>
#include <new>

#include "tools/fuzz/fuzz_harness.h"

namespace {

// Other threads (the C runtime's, a decoder's own) may allocate too.
std::atomic<size_t> g_nLive{0};
std::atomic<size_t> g_nPeak{0};

constexpr size_t kHeader = 2 * sizeof(void*) > alignof(std::max_align_t) ? 2 * sizeof(void*) : alignof(std::max_align_t);

void* Allocate(size_t size, size_t alignment) {
  if (size > fuzz::kLiveMemoryCap || g_nLive.load(std::memory_order_relaxed) + size > fuzz::kLiveMemoryCap) {
    return nullptr;
  }
  if (alignment < kHeader) alignment = kHeader;
  // [raw ... padding][original pointer][size][block], the block aligned.
  char* raw = static_cast<char*>(std::malloc(size + alignment + kHeader));
  if (!raw) return nullptr;
  size_t address = reinterpret_cast<size_t>(raw) + kHeader;
  address = (address + alignment - 1) & ~(alignment - 1);
  char* block = reinterpret_cast<char*>(address);
  reinterpret_cast<void**>(block)[-2] = raw;
  reinterpret_cast<size_t*>(block)[-1] = size;
  const size_t live = g_nLive.fetch_add(size, std::memory_order_relaxed) + size;
  size_t peak = g_nPeak.load(std::memory_order_relaxed);
  while (live > peak && !g_nPeak.compare_exchange_weak(peak, live, std::memory_order_relaxed)) {
  }
  return block;
}

void Release(void* p) {
  if (!p) return;
  char* block = static_cast<char*>(p);
  g_nLive.fetch_sub(reinterpret_cast<size_t*>(block)[-1], std::memory_order_relaxed);
  std::free(reinterpret_cast<void**>(block)[-2]);
}

void* AllocateOrThrow(size_t size, size_t alignment) {
  void* p = Allocate(size ? size : 1, alignment);
  if (!p) throw std::bad_alloc();
  return p;
}

}  // namespace

namespace fuzz {
size_t LiveBytes() { return g_nLive.load(); }
size_t PeakBytes() { return g_nPeak.load(); }
void ResetPeak() { g_nPeak.store(g_nLive.load()); }
}  // namespace fuzz

void* operator new(size_t size) { return AllocateOrThrow(size, 0); }
void* operator new[](size_t size) { return AllocateOrThrow(size, 0); }
void* operator new(size_t size, const std::nothrow_t&) noexcept { return Allocate(size ? size : 1, 0); }
void* operator new[](size_t size, const std::nothrow_t&) noexcept { return Allocate(size ? size : 1, 0); }
void* operator new(size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, size_t(alignment)); }
void* operator new[](size_t size, std::align_val_t alignment) { return AllocateOrThrow(size, size_t(alignment)); }
void* operator new(size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size ? size : 1, size_t(alignment));
}
void* operator new[](size_t size, std::align_val_t alignment, const std::nothrow_t&) noexcept {
  return Allocate(size ? size : 1, size_t(alignment));
}
void operator delete(void* p) noexcept { Release(p); }
void operator delete[](void* p) noexcept { Release(p); }
void operator delete(void* p, size_t) noexcept { Release(p); }
void operator delete[](void* p, size_t) noexcept { Release(p); }
void operator delete(void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete[](void* p, const std::nothrow_t&) noexcept { Release(p); }
void operator delete(void* p, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, std::align_val_t) noexcept { Release(p); }
void operator delete(void* p, size_t, std::align_val_t) noexcept { Release(p); }
void operator delete[](void* p, size_t, std::align_val_t) noexcept { Release(p); }
