#include "product/volume_ctrl_module.h"

#include <shlwapi.h>

#include <atomic>
#include <string>

#include "base/common_util.h"
#include "base/critical_section.h"
#include "base/log.h"
#include "product/signer_verification.h"

namespace {

// Made on first use, so no static initialiser of another file can find it unconstructed.
_BaseModule::CCriticalSection& VolumeCtrlLock() {
  static _BaseModule::CCriticalSection s_lock;
  return s_lock;
}

std::atomic<VolumeCtrlModule*> g_pVolumeCtrlModule{nullptr};

std::wstring ParentFolder(const std::wstring& folder) {
  wchar_t buffer[MAX_PATH + 1] = {};
  lstrcpynW(buffer, folder.c_str(), MAX_PATH + 1);
  PathRemoveFileSpecW(buffer);
  return buffer;
}

std::wstring Join(const std::wstring& folder, const wchar_t* name) {
  if (!folder.empty() && folder.back() == L'\\') return folder + name;
  return folder + L"\\" + name;
}

template <typename Function>
Function Export(HMODULE module, const char* name) {
  return reinterpret_cast<Function>(reinterpret_cast<void*>(GetProcAddress(module, name)));
}

}  // namespace

VolumeCtrlModule* VolumeCtrlModule::GetInstance() {
  VolumeCtrlModule* instance = g_pVolumeCtrlModule.load(std::memory_order_acquire);
  if (instance) return instance;
  _BaseModule::CAutoLocker locker(&VolumeCtrlLock());
  instance = g_pVolumeCtrlModule.load(std::memory_order_acquire);
  if (instance) return instance;
  instance = new VolumeCtrlModule();
  if (instance->Load(L"VolumeCtrl.dll") || instance->Load(L"KivVolumeCtrl.dll")) instance->BindEntryPoints();
  // Sequentially consistent: a full barrier before other threads can see the record.
  g_pVolumeCtrlModule.store(instance, std::memory_order_seq_cst);
  return instance;
}

bool VolumeCtrlModule::Load(const wchar_t* file_name) {
  if (m_hModule) return true;
  if (!file_name) return false;
  const std::wstring dir = CommonUtil::GetExeDir().GetString();
  const std::wstring parent = ParentFolder(dir);
  std::wstring path = Join(dir, file_name);
  if (!CommonUtil::FileExists(path.c_str(), FALSE)) {
    path = Join(parent, file_name);
    if (!CommonUtil::FileExists(path.c_str(), FALSE)) path = Join(Join(ParentFolder(parent), L"Utils"), file_name);
  }
  if (!CommonUtil::FileExists(path.c_str(), FALSE)) {
    LogInfoW(L"VolumeCtrl not exist:%s", path.c_str());
    return false;
  }
  LogInfoW(L"VolumeCtrl:%s", path.c_str());
  m_hModule = SafeLoadLibrary(path.c_str());
  return m_hModule != nullptr;
}

void VolumeCtrlModule::BindEntryPoints() {
  KivVolumeCtrl_Init = Export<InitFunction>(m_hModule, "KivVolumeCtrl_Init");
  if (KivVolumeCtrl_Init) KivVolumeCtrl_Init();
  KivVolumeCtrl_Uninit = Export<UninitFunction>(m_hModule, "KivVolumeCtrl_Uninit");
  KivVolumeCtrl_MuteApp = Export<MuteAppFunction>(m_hModule, "KivVolumeCtrl_MuteApp");
  KivVolumeCtrl_IsAppMuted = Export<IsAppMutedFunction>(m_hModule, "KivVolumeCtrl_IsAppMuted");
}

bool VolumeCtrlModule::MuteApp(bool mute) const {
  return KivVolumeCtrl_MuteApp && KivVolumeCtrl_MuteApp(mute ? 1 : 0) > 0;
}
