#ifndef CEF_INCLUDE_BASE_CEF_ATOMIC_REF_COUNT_H_
#define CEF_INCLUDE_BASE_CEF_ATOMIC_REF_COUNT_H_

#include <atomic>

namespace base {

// A thread-safe reference count starting at 0.
class AtomicRefCount {
 public:
  void Increment() const { count_.fetch_add(1, std::memory_order_relaxed); }
  // True when the count dropped to zero.
  bool Decrement() const { return count_.fetch_sub(1, std::memory_order_acq_rel) == 1; }
  bool IsOne() const { return count_.load(std::memory_order_acquire) == 1; }
  bool IsZero() const { return count_.load(std::memory_order_acquire) == 0; }

 private:
  mutable std::atomic<int> count_{0};
};

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_ATOMIC_REF_COUNT_H_
