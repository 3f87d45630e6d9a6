#include "browser/module_file_version.h"

#include <cwchar>
#include <vector>

namespace {

const DWORD kMaxVersionInfo = 16383;

}  // namespace

bool GetModuleFileVersion(const wchar_t* file, wchar_t* out, uint32_t capacity) {
  if (!file || !out || capacity == 0) return false;
  const DWORD size = GetFileVersionInfoSizeW(file, nullptr);
  if (size == 0 || size > kMaxVersionInfo) return false;
  std::vector<BYTE> block(size, 0);
  if (!GetFileVersionInfoW(file, 0, size, block.data())) return false;
  VS_FIXEDFILEINFO* info = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&info), &length) || !info ||
      length < sizeof(VS_FIXEDFILEINFO))
    return false;
  wchar_t text[64] = {};
  _snwprintf(text, 63, L"%d.%d.%d.%d", int(HIWORD(info->dwFileVersionMS)), int(LOWORD(info->dwFileVersionMS)),
             int(HIWORD(info->dwFileVersionLS)), int(LOWORD(info->dwFileVersionLS)));
  wmemset(out, 0, capacity);
  wcsncpy(out, text, capacity - 1);
  return true;
}
