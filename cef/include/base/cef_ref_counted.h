// Reference-counted base classes and the smart pointer that holds them.
#ifndef CEF_INCLUDE_BASE_CEF_REF_COUNTED_H_
#define CEF_INCLUDE_BASE_CEF_REF_COUNTED_H_

#include <cstddef>
#include <utility>

#include "include/base/cef_atomic_ref_count.h"
#include "include/base/cef_macros.h"

// Holds one reference to a T that has AddRef()/Release(). Copying takes another reference.
// The implicit conversion to T* gives comparisons (and map ordering) by address.
template <class T>
class scoped_refptr {
 public:
  typedef T element_type;

  scoped_refptr() : ptr_(nullptr) {}
  scoped_refptr(T* p) : ptr_(p) {
    if (ptr_)
      ptr_->AddRef();
  }
  scoped_refptr(const scoped_refptr<T>& r) : ptr_(r.ptr_) {
    if (ptr_)
      ptr_->AddRef();
  }
  template <typename U>
  scoped_refptr(const scoped_refptr<U>& r) : ptr_(r.get()) {
    if (ptr_)
      ptr_->AddRef();
  }
  scoped_refptr(scoped_refptr<T>&& r) noexcept : ptr_(r.ptr_) { r.ptr_ = nullptr; }
  ~scoped_refptr() {
    if (ptr_)
      ptr_->Release();
  }

  T* get() const { return ptr_; }
  operator T*() const { return ptr_; }
  T& operator*() const { return *ptr_; }
  T* operator->() const { return ptr_; }

  scoped_refptr<T>& operator=(T* p) {
    // AddRef first so that assigning the same object is safe.
    if (p)
      p->AddRef();
    T* old = ptr_;
    ptr_ = p;
    if (old)
      old->Release();
    return *this;
  }
  scoped_refptr<T>& operator=(const scoped_refptr<T>& r) { return *this = r.ptr_; }
  template <typename U>
  scoped_refptr<T>& operator=(const scoped_refptr<U>& r) {
    return *this = r.get();
  }
  scoped_refptr<T>& operator=(scoped_refptr<T>&& r) noexcept {
    if (this != &r) {
      T* old = ptr_;
      ptr_ = r.ptr_;
      r.ptr_ = nullptr;
      if (old)
        old->Release();
    }
    return *this;
  }

  void swap(T** pp) {
    T* p = ptr_;
    ptr_ = *pp;
    *pp = p;
  }
  void swap(scoped_refptr<T>& r) { swap(&r.ptr_); }

 protected:
  T* ptr_;
};

template <typename T>
scoped_refptr<T> make_scoped_refptr(T* t) {
  return scoped_refptr<T>(t);
}

namespace base {

namespace subtle {
class RefCountedThreadSafeBase {
 public:
  bool HasOneRef() const { return ref_count_.IsOne(); }

 protected:
  RefCountedThreadSafeBase() {}
  ~RefCountedThreadSafeBase() {}
  void AddRef() const { ref_count_.Increment(); }
  // True when the last reference went away.
  bool Release() const { return ref_count_.Decrement(); }

 private:
  AtomicRefCount ref_count_;
  DISALLOW_COPY_AND_ASSIGN(RefCountedThreadSafeBase);
};
}  // namespace subtle

template <class T, typename Traits>
class RefCountedThreadSafe;

// Deletes the object on the thread that dropped the last reference.
template <typename T>
struct DefaultRefCountedThreadSafeTraits {
  static void Destruct(const T* x) {
    RefCountedThreadSafe<T, DefaultRefCountedThreadSafeTraits>::DeleteInternal(x);
  }
};

// Thread-safe counting; when the count reaches zero Traits::Destruct decides how and where the
// object dies (e.g. CefDeleteOnUIThread). A class with a private destructor befriends
// base::RefCountedThreadSafe<T> (and its traits).
template <class T, typename Traits = DefaultRefCountedThreadSafeTraits<T>>
class RefCountedThreadSafe : public subtle::RefCountedThreadSafeBase {
 public:
  RefCountedThreadSafe() {}
  void AddRef() const { subtle::RefCountedThreadSafeBase::AddRef(); }
  void Release() const {
    if (subtle::RefCountedThreadSafeBase::Release())
      Traits::Destruct(static_cast<const T*>(this));
  }

 protected:
  ~RefCountedThreadSafe() {}

 private:
  friend struct DefaultRefCountedThreadSafeTraits<T>;
  static void DeleteInternal(const T* x) { delete x; }
  DISALLOW_COPY_AND_ASSIGN(RefCountedThreadSafe);
};

// Single-threaded flavour with the same interface.
template <class T>
class RefCounted : public subtle::RefCountedThreadSafeBase {
 public:
  RefCounted() {}
  void AddRef() const { subtle::RefCountedThreadSafeBase::AddRef(); }
  void Release() const {
    if (subtle::RefCountedThreadSafeBase::Release())
      delete static_cast<const T*>(this);
  }

 protected:
  ~RefCounted() {}

 private:
  DISALLOW_COPY_AND_ASSIGN(RefCounted);
};

}  // namespace base

#endif  // CEF_INCLUDE_BASE_CEF_REF_COUNTED_H_
