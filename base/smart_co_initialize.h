// Initialises COM for the calling thread for the life of the scope. Construct and destroy on
// the same thread.
#pragma once

#include <objbase.h>
#include <windows.h>

class CSmartCoInitialize {
 public:
  CSmartCoInitialize() : m_hrInit(CoInitialize(nullptr)) {}
  // Only a successful CoInitialize is balanced: after a failure (RPC_E_CHANGED_MODE when the
  // thread already chose another apartment) an uninitialise would undo someone else's.
  ~CSmartCoInitialize() {
    if (m_hrInit == S_OK || m_hrInit == S_FALSE) CoUninitialize();
  }
  CSmartCoInitialize(const CSmartCoInitialize&) = delete;
  CSmartCoInitialize& operator=(const CSmartCoInitialize&) = delete;

 private:
  HRESULT m_hrInit;
};
