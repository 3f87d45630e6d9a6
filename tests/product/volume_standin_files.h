// The stand-ins of the volume-control library that the build makes (tests/product/CMakeLists.txt)
// and the record of their calls. Place a copy under the name the program looks for
// ("VolumeCtrl.dll" or "KivVolumeCtrl.dll"); each copy appends its calls, from every process
// that loads it, to volume_calls.log in its own folder, one line "<process id> <call>[ <arg>]":
// "Init", "Uninit", "IsAppMuted", "MuteApp 1", "MuteApp 0". KivVolumeCtrl_MuteApp answers the
// decimal value of the environment variable BRIVELO_VOLUME_MUTE_RESULT, else 1.
#pragma once

#include <windows.h>

#include <shlwapi.h>

#include <fstream>
#include <string>
#include <vector>

namespace volume_standin {

inline std::wstring BuildFolder() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

// Signed by a trusted signer: passes the signer check, so the program loads it.
inline std::wstring Trusted() { return BuildFolder() + L"\\signer_fixtures\\volume_ctrl_trusted.dll"; }
// The same library without a signature: refused by the signer check on Windows 8 and later.
inline std::wstring Unsigned() { return BuildFolder() + L"\\volume_ctrl_standin.dll"; }
// Trusted, exporting only KivVolumeCtrl_MuteApp.
inline std::wstring MuteOnlyTrusted() { return BuildFolder() + L"\\signer_fixtures\\volume_ctrl_mute_only_trusted.dll"; }

// The recorded calls of the copies in `folder`, without the process ids when withPid is false.
inline std::vector<std::string> Calls(const std::wstring& folder, bool withPid = false) {
  std::vector<std::string> calls;
  std::ifstream in((folder + L"\\volume_calls.log").c_str());
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!withPid && line.find(' ') != std::string::npos) line = line.substr(line.find(' ') + 1);
    calls.push_back(line);
  }
  return calls;
}

}  // namespace volume_standin
