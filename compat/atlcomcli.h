// ATL-shaped smart pointer for COM-style reference-counted objects (AddRef / Release).
// Not thread-safe itself; the object's counting decides what may cross threads.
#pragma once

#include <objbase.h>
#include <unknwn.h>
#include <windows.h>

#include <memory>

namespace ATL {

template <typename T>
class CComPtr {
 public:
  CComPtr() = default;
  CComPtr(T* lp) : p(lp) {  // NOLINT: implicit as in ATL; takes a reference of its own
    if (p) p->AddRef();
  }
  CComPtr(const CComPtr& other) : CComPtr(other.p) {}
  CComPtr(CComPtr&& other) noexcept : p(other.p) { other.p = nullptr; }
  ~CComPtr() { Release(); }

  T* operator=(T* lp) {
    if (lp != p) {
      if (lp) lp->AddRef();
      T* old = p;
      p = lp;
      if (old) old->Release();
    }
    return p;
  }
  T* operator=(const CComPtr& other) { return *this = other.p; }
  T* operator=(CComPtr&& other) noexcept {
    // operator& is overloaded: compare real addresses.
    if (std::addressof(other) != this) {
      Release();
      p = other.p;
      other.p = nullptr;
    }
    return p;
  }

  operator T*() const { return p; }  // NOLINT: implicit as in ATL
  T& operator*() const { return *p; }
  T* operator->() const { return p; }
  // For out-parameters; use on an empty pointer (a held reference would be leaked).
  T** operator&() { return &p; }
  bool operator!() const { return p == nullptr; }

  // Drops the reference (if any) and becomes empty.
  void Release() {
    T* old = p;
    if (old) {
      p = nullptr;
      old->Release();
    }
  }
  // Takes over a reference the caller owns (no AddRef); the old one is released.
  void Attach(T* lp) {
    if (p != lp) {
      Release();
      p = lp;
    }
  }
  // Hands the reference to the caller without releasing it.
  T* Detach() {
    T* old = p;
    p = nullptr;
    return old;
  }
  // A new reference for the caller: E_POINTER for a null destination.
  HRESULT CopyTo(T** target) const {
    if (!target) return E_POINTER;
    *target = p;
    if (p) p->AddRef();
    return S_OK;
  }
  HRESULT CoCreateInstance(REFCLSID clsid, IUnknown* outer = nullptr, DWORD context = CLSCTX_ALL) {
    return ::CoCreateInstance(clsid, outer, context, __uuidof(T), reinterpret_cast<void**>(&p));
  }
  template <typename Q>
  HRESULT QueryInterface(Q** target) const {
    if (!p) return E_POINTER;
    return p->QueryInterface(__uuidof(Q), reinterpret_cast<void**>(target));
  }

  T* p = nullptr;
};

}  // namespace ATL

#ifndef _ATL_NO_AUTOMATIC_NAMESPACE
using namespace ATL;
#endif
