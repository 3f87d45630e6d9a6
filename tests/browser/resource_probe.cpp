// Test helper: reports which common-controls library the process got. Built twice, with the
// executable's resources (brivelo.rc) and without, so the manifest's effect shows in the
// difference. Prints the library's path and exits with 6 when it is version 6 (the side-by-side
// "Microsoft.Windows.Common-Controls" 6 assembly, or a library that reports 6 or later), 5 for
// an older one, 1 when none loaded. (Wine's version 6 library reports 5.81 as its version, so
// its side-by-side folder tells it apart.)
#include <windows.h>

#include <shlwapi.h>

#include <cstdio>
#include <cwctype>
#include <string>

namespace {

using DllGetVersionFn = HRESULT(CALLBACK*)(DLLVERSIONINFO*);

}  // namespace

int main() {
  HMODULE comctl = LoadLibraryW(L"comctl32.dll");
  if (!comctl) return 1;
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(comctl, path, MAX_PATH);
  std::wstring lower = path;
  for (wchar_t& c : lower) c = static_cast<wchar_t>(towlower(c));
  std::printf("%ls\n", path);
  const bool side_by_side_6 = lower.find(L"\\winsxs\\") != std::wstring::npos &&
                              lower.find(L"microsoft.windows.common-controls_6595b64144ccf1df_6.") != std::wstring::npos;
  auto get_version = reinterpret_cast<DllGetVersionFn>(reinterpret_cast<void*>(GetProcAddress(comctl, "DllGetVersion")));
  DLLVERSIONINFO info = {};
  info.cbSize = sizeof(info);
  const bool reports_6 = get_version && get_version(&info) == S_OK && info.dwMajorVersion >= 6;
  return side_by_side_6 || reports_6 ? 6 : 5;
}
