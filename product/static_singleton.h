// Process-wide objects built on first use without a lock object of their own: the first
// caller moves a state word from 0 to 1 and builds, later callers poll it with Sleep(1) until
// it reads 2 (built) or 3 (the constructor threw). The object lives in static storage and is
// destroyed at process exit.
#pragma once

#include <windows.h>

#include <cstdlib>
#include <new>

template <typename T>
class static_singleton_base {
 public:
  // The one object; safe from any thread. The pointer stays valid until process exit. Null for
  // every caller, this one and all later ones, when the constructor threw: no exception leaves.
  static T* Instance() {
    // Zero-initialised static storage: nothing runs before the first call.
    alignas(T) static unsigned char s_storage[sizeof(T)];
    T* instance = s_pInstance;
    if (instance) return instance;
    if (InterlockedCompareExchange(&s_nState, 1, 0) == 0) {
      try {
        new (&s_storage) T();
      } catch (...) {
        InterlockedExchange(&s_nState, kFailed);
        return nullptr;
      }
      s_pStorage = reinterpret_cast<T*>(&s_storage);
      atexit(&Destroy);
      InterlockedExchange(&s_nState, kBuilt);
    } else {
      LONG state;
      while ((state = InterlockedCompareExchange(&s_nState, 0, 0)) != kBuilt && state != kFailed) Sleep(1);
      if (state == kFailed) return nullptr;
    }
    instance = reinterpret_cast<T*>(&s_storage);
    s_pInstance = instance;
    return instance;
  }

 private:
  static constexpr LONG kBuilt = 2;
  static constexpr LONG kFailed = 3;

  static void Destroy() { s_pStorage->~T(); }

  static T* s_pStorage;
  static volatile LONG s_nState;
  static T* volatile s_pInstance;
};

template <typename T>
T* static_singleton_base<T>::s_pStorage = nullptr;
template <typename T>
volatile LONG static_singleton_base<T>::s_nState = 0;
template <typename T>
T* volatile static_singleton_base<T>::s_pInstance = nullptr;
