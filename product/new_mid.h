// The entry to the second machine identifier: NewMIDW_Kiv hands out the text through the
// COM-shaped INewMID of one process-wide CKivMID2, which computes it at most once per process.
#pragma once

#include <windows.h>
#include <unknwn.h>

#include "base/critical_section.h"

// {88D6FFD4-88B6-4943-AF29-C5CA67BAFCD1}
extern const IID IID_INewMID;
// {191FF683-45BC-472E-AAFF-2F9E2B434B56}
extern const IID IID_IExtend;

// The smallest buffer NewMIDW_Kiv takes, in UTF-16 units.
constexpr UINT kNewMidMinCapacity = 50;

struct IExtend : public IUnknown {
  virtual HRESULT STDMETHODCALLTYPE Extend1(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend2(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend3(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend4(DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend5(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend6(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend7(DWORD, DWORD, DWORD) = 0;
  virtual HRESULT STDMETHODCALLTYPE Extend8(DWORD, DWORD, DWORD, DWORD) = 0;
};

struct INewMID : public IUnknown {
  // S_OK with the identifier copied into buffer (cut to capacity - 1 units, terminated);
  // E_INVALIDARG, writing nothing, for a null buffer or a capacity of 0.
  virtual HRESULT STDMETHODCALLTYPE GetNewMID(wchar_t* buffer, UINT capacity) = 0;
};

// Extension operations that this object does not offer.
class CEmptyExtendImpl : public IExtend {
 public:
  HRESULT STDMETHODCALLTYPE Extend1(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend2(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend3(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend4(DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend5(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend6(DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
  HRESULT STDMETHODCALLTYPE Extend7(DWORD a, DWORD b, DWORD c) override { return Extend8(a, 0, b, c); }
  HRESULT STDMETHODCALLTYPE Extend8(DWORD, DWORD, DWORD, DWORD) override { return E_NOTIMPL; }
};

// A static object: AddRef and Release do not count and it is never freed through them.
class CKivMID2 : public CEmptyExtendImpl, public INewMID {
 public:
  CKivMID2();
  virtual ~CKivMID2();

  HRESULT STDMETHODCALLTYPE QueryInterface(REFIID iid, void** object) override;
  ULONG STDMETHODCALLTYPE AddRef() override { return 2; }
  ULONG STDMETHODCALLTYPE Release() override { return 1; }

  HRESULT STDMETHODCALLTYPE GetNewMID(wchar_t* buffer, UINT capacity) override;

  // Fills the object's copy as GetNewMID does; TRUE when it then holds an identifier.
  BOOL EnsureNewMID();

 private:
  _BaseModule::CCriticalSection m_csFill;
  volatile LONG m_bFilled;
  wchar_t m_szNewMID[kNewMidMinCapacity];
};

// E_INVALIDARG, writing nothing, for a null buffer or a capacity below 50 units; else the
// identifier (44 characters, terminated) and S_OK. Any thread; the first call computes the
// identifier and may take over half a second.
[[nodiscard]] HRESULT NewMIDW_Kiv(wchar_t* buffer, UINT capacity);

// The identifier of this process, computed on first use. Runs only under CKivMID2's lock.
const wchar_t* GetProcessMachineIdV2();
