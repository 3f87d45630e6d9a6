// Root of every engine and client interface: intrusive, thread-safe reference counting.
#ifndef CEF_INCLUDE_CEF_BASE_H_
#define CEF_INCLUDE_CEF_BASE_H_

#include "include/base/cef_atomic_ref_count.h"
#include "include/base/cef_build.h"
#include "include/base/cef_logging.h"
#include "include/base/cef_macros.h"
#include "include/internal/cef_ptr.h"
#include "include/internal/cef_types_wrappers.h"
#include "include/internal/cef_win.h"

// Interfaces derive virtually from CefBase so that an object implementing several of them has
// one count. Release() returns true when it deleted the object.
class CefBase {
 public:
  virtual void AddRef() const = 0;
  virtual bool Release() const = 0;
  virtual bool HasOneRef() const = 0;

 protected:
  virtual ~CefBase() {}
};

// The count behind IMPLEMENT_REFCOUNTING; starts at 0.
class CefRefCount {
 public:
  CefRefCount() {}
  void AddRef() const { ref_count_.Increment(); }
  bool Release() const { return ref_count_.Decrement(); }
  bool HasOneRef() const { return ref_count_.IsOne(); }

 private:
  base::AtomicRefCount ref_count_;
  DISALLOW_COPY_AND_ASSIGN(CefRefCount);
};

// Implements CefBase for ClassName: deletes the object when the last reference goes.
#define IMPLEMENT_REFCOUNTING(ClassName)                        \
 public:                                                        \
  void AddRef() const OVERRIDE { ref_count_.AddRef(); }         \
  bool Release() const OVERRIDE {                               \
    if (ref_count_.Release()) {                                 \
      delete static_cast<const ClassName*>(this);               \
      return true;                                              \
    }                                                           \
    return false;                                               \
  }                                                             \
  bool HasOneRef() const OVERRIDE { return ref_count_.HasOneRef(); } \
                                                                \
 private:                                                       \
  CefRefCount ref_count_;

// Kept for code written against older releases; the count is always atomic.
#define IMPLEMENT_LOCKING(ClassName)

#endif  // CEF_INCLUDE_CEF_BASE_H_
