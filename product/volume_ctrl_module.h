// The product family's volume-control library, which mutes the audio of the calling process.
//
// One record per process, made by the first GetInstance and never freed. Making it loads
// "VolumeCtrl.dll", else "KivVolumeCtrl.dll", each looked for in this order:
//   <exe folder>\<name>, <exe folder>\..\<name>, <exe folder>\..\..\Utils\<name>
// and loaded only when it passes VerifyFileSigner (the file held against writes from the check
// until it is mapped, SafeLoadLibrary); then KivVolumeCtrl_Init runs once and the
// entry points are bound. The library is never unloaded.
//
// Contracts:
// - GetInstance may be called from any thread; the first callers wait while the record is made
//   (under the process's volume-control lock) and all see the same complete record.
// - The entry points are set before the record is published and never change afterwards, so
//   they are read without a lock. Each is null when no library was loaded or it lacks that
//   export: test before calling (or use MuteApp).
// - Logs "VolumeCtrl not exist:%s" for a name found nowhere (the last place looked), and
//   "VolumeCtrl:%s" for the file it checks and loads.
#pragma once

#include <windows.h>

class VolumeCtrlModule {
 public:
  typedef int(WINAPI* InitFunction)();
  typedef int(WINAPI* UninitFunction)();
  // mute 1 mutes this process, 0 unmutes it; a result above 0 is success.
  typedef int(WINAPI* MuteAppFunction)(int mute);
  typedef int(WINAPI* IsAppMutedFunction)();

  // The process's record; never null. The pointer stays valid until the process ends.
  static VolumeCtrlModule* GetInstance();

  // KivVolumeCtrl_MuteApp(1 or 0) when the library offers it; true when it answered above 0,
  // false when it answered 0 or less or the entry point is missing. Any thread, no lock.
  [[nodiscard]] bool MuteApp(bool mute) const;

  // The loaded library, null when none could be loaded.
  HMODULE Module() const { return m_hModule; }

  InitFunction KivVolumeCtrl_Init = nullptr;  // called once, right after loading
  UninitFunction KivVolumeCtrl_Uninit = nullptr;
  MuteAppFunction KivVolumeCtrl_MuteApp = nullptr;
  IsAppMutedFunction KivVolumeCtrl_IsAppMuted = nullptr;

 private:
  VolumeCtrlModule() = default;
  VolumeCtrlModule(const VolumeCtrlModule&) = delete;
  VolumeCtrlModule& operator=(const VolumeCtrlModule&) = delete;

  // Finds file_name in the three places and loads it after the signer check. True when the
  // record has a module (also when an earlier call loaded one). Only while the record is made.
  bool Load(const wchar_t* file_name);
  // Calls KivVolumeCtrl_Init and binds the other entry points of the loaded module.
  void BindEntryPoints();

  HMODULE m_hModule = nullptr;
};
