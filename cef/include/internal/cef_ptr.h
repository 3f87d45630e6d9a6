#ifndef CEF_INCLUDE_INTERNAL_CEF_PTR_H_
#define CEF_INCLUDE_INTERNAL_CEF_PTR_H_

#include "include/base/cef_ref_counted.h"

// Smart pointer for engine and client objects (anything derived from CefBase). Same rules as
// scoped_refptr: one reference per pointer object, comparisons by address.
template <class T>
class CefRefPtr : public scoped_refptr<T> {
 public:
  typedef scoped_refptr<T> parent;

  CefRefPtr() : parent() {}
  CefRefPtr(T* p) : parent(p) {}
  CefRefPtr(const CefRefPtr<T>& r) : parent(r) {}
  CefRefPtr(CefRefPtr<T>&& r) noexcept : parent(std::move(r)) {}
  template <typename U>
  CefRefPtr(const scoped_refptr<U>& r) : parent(r.get()) {}

  CefRefPtr<T>& operator=(T* p) {
    parent::operator=(p);
    return *this;
  }
  CefRefPtr<T>& operator=(const CefRefPtr<T>& r) {
    parent::operator=(r.get());
    return *this;
  }
  CefRefPtr<T>& operator=(CefRefPtr<T>&& r) noexcept {
    parent::operator=(std::move(r));
    return *this;
  }
  template <typename U>
  CefRefPtr<T>& operator=(const scoped_refptr<U>& r) {
    parent::operator=(r.get());
    return *this;
  }
};

#endif  // CEF_INCLUDE_INTERNAL_CEF_PTR_H_
