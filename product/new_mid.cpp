#include "product/new_mid.h"

#include <cwchar>
#include <string>

#include "product/machine_id_v2.h"
#include "product/static_singleton.h"

const IID IID_INewMID = {0x88D6FFD4, 0x88B6, 0x4943, {0xAF, 0x29, 0xC5, 0xCA, 0x67, 0xBA, 0xFC, 0xD1}};
const IID IID_IExtend = {0x191FF683, 0x45BC, 0x472E, {0xAA, 0xFF, 0x2F, 0x9E, 0x2B, 0x43, 0x4B, 0x56}};

namespace {

wchar_t g_szProcessMachineId[kNewMidMinCapacity];

void CopyBounded(wchar_t* buffer, size_t capacity, const wchar_t* text) {
  size_t n = wcslen(text);
  if (n >= capacity) n = capacity - 1;
  wmemcpy(buffer, text, n);
  buffer[n] = L'\0';
}

}  // namespace

const wchar_t* GetProcessMachineIdV2() {
  if (g_szProcessMachineId[0] == L'\0') {
    std::wstring id;
    ComputeMachineIdV2(&id);
    CopyBounded(g_szProcessMachineId, kNewMidMinCapacity, id.c_str());
  }
  return g_szProcessMachineId;
}

CKivMID2::CKivMID2() : m_bFilled(0), m_szNewMID() {}

CKivMID2::~CKivMID2() = default;

HRESULT CKivMID2::QueryInterface(REFIID iid, void** object) {
  if (!object) return E_POINTER;
  if (IsEqualIID(iid, IID_IUnknown) || IsEqualIID(iid, IID_INewMID)) {
    *object = static_cast<INewMID*>(this);
  } else if (IsEqualIID(iid, IID_IExtend)) {
    *object = static_cast<IExtend*>(this);
  } else {
    *object = nullptr;
    return E_NOINTERFACE;
  }
  AddRef();
  return S_OK;
}

BOOL CKivMID2::EnsureNewMID() {
  if (!InterlockedCompareExchange(&m_bFilled, 0, 0)) {
    _BaseModule::CAutoLocker guard(&m_csFill);
    if (!m_bFilled) {
      wmemset(m_szNewMID, 0, kNewMidMinCapacity);
      CopyBounded(m_szNewMID, kNewMidMinCapacity, GetProcessMachineIdV2());
      // The copy is complete before the flag says so; readers then take no lock.
      InterlockedExchange(&m_bFilled, 1);
    }
  }
  return m_szNewMID[0] != L'\0';
}

HRESULT CKivMID2::GetNewMID(wchar_t* buffer, UINT capacity) {
  // No room even for the terminator: refused, nothing written.
  if (!buffer || capacity == 0) return E_INVALIDARG;
  (void)EnsureNewMID();
  buffer[0] = L'\0';
  CopyBounded(buffer, capacity, m_szNewMID);
  return S_OK;
}

HRESULT NewMIDW_Kiv(wchar_t* buffer, UINT capacity) {
  if (!buffer || capacity < kNewMidMinCapacity) return E_INVALIDARG;
  CKivMID2* object = static_singleton_base<CKivMID2>::Instance();
  if (!object) return E_OUTOFMEMORY;
  return static_cast<INewMID*>(object)->GetNewMID(buffer, capacity);
}
