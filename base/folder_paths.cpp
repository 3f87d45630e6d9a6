#include "base/folder_paths.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdarg>
#include <cstdint>
#include <cstdio>
#include <ctime>

#include "base/file_util.h"
#include "base/string_util.h"

namespace {

constexpr size_t kMaxPathUnits = MAX_PATH;  // without the terminator

// base + tail, or "" when the joined path does not fit.
std::wstring JoinWithin(const wchar_t* base, const std::wstring& tail) {
  std::wstring joined(base);
  if (joined.size() + tail.size() > kMaxPathUnits) return std::wstring();
  return joined + tail;
}

std::wstring AppDataBase() {
  wchar_t base[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, base, CSIDL_APPDATA, FALSE);  // a failure leaves it empty
  return base;
}

// The folder, created with its missing parents when asked; "" when it is then missing.
ATL::CStringW MadeFolder(const std::wstring& path, BOOL create) {
  if (path.empty()) return ATL::CStringW();
  if (create) {
    SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
    if (!PathFileExistsW(path.c_str())) return ATL::CStringW();
  }
  return ATL::CStringW(path.c_str());
}

ATL::CStringW CopyInto(const ATL::CStringW& folder, const wchar_t* source, ATL::CStringW* folderOut) {
  // Nothing to copy: fail before anything is made in the folder.
  if (folder.IsEmpty() || source == nullptr || *source == L'\0') return ATL::CStringW();
  const wchar_t* name = PathFindFileNameW(source);
  ATL::CStringW target = folder + L"\\" + name;
  if (PathFileExistsW(target) && !DeleteFileW(target)) {
    // The old copy is in use: this copy gets a name of its own.
    target.Format(L"%s\\%s-%d", folder.GetString(), name, static_cast<int>(static_cast<uint32_t>(time(nullptr))));
  }
  if (!CopyFileW(source, target, FALSE)) return ATL::CStringW();
  if (folderOut != nullptr) *folderOut = folder;
  return target;
}

void PrintExeDirPath(std::wstring* out, const wchar_t* format, va_list args) {
  wchar_t name[MAX_PATH + 1] = {};
  if (format != nullptr) _vsnwprintf(name, MAX_PATH, format, args);  // cut at 260, terminated by the zeroed end
  CommonUtil::MakeExeDirPath(name, out);
}

}  // namespace

namespace CommonUtil {

ATL::CStringW GetAppDataDir(const ATL::CStringW& sub, BOOL create) {
  return MadeFolder(JoinWithin(AppDataBase().c_str(), sub.GetString()), create);
}

int MakeAppDataDirW(const std::wstring& sub, std::wstring* out) {
  const std::wstring path = JoinWithin(AppDataBase().c_str(), sub);
  if (out != nullptr) *out = path;
  if (path.empty()) return ERROR_FILENAME_EXCED_RANGE;
  return SHCreateDirectoryExW(nullptr, path.c_str(), nullptr);
}

int MakeAppDataDirA(const std::string& sub, std::string* out) {
  char base[MAX_PATH + 1] = {};
  SHGetFolderPathA(nullptr, CSIDL_APPDATA, nullptr, 0, base);
  std::string path = base;
  if (path.size() + sub.size() > kMaxPathUnits) {
    path.clear();
  } else {
    path += sub;
  }
  if (out != nullptr) *out = path;
  if (path.empty()) return ERROR_FILENAME_EXCED_RANGE;
  return SHCreateDirectoryExA(nullptr, path.c_str(), nullptr);
}

ATL::CStringW GetTempDir(const ATL::CStringW& sub, BOOL create) {
  const ATL::CStringW base = FileUtil::GetTempFolder();
  if (base.IsEmpty()) return ATL::CStringW();
  return MadeFolder(JoinWithin(base, sub.GetString()), create);
}

void GetTempFilePathW(const std::wstring& name, std::wstring* out) {
  if (out == nullptr) return;
  wchar_t base[MAX_PATH + 1] = {};
  const DWORD length = GetTempPathW(MAX_PATH, base);
  *out = length > MAX_PATH ? std::wstring() : JoinWithin(base, name);
}

void GetTempFilePathA(const std::string& name, std::string* out) {
  if (out == nullptr) return;
  std::wstring path;
  GetTempFilePathW(StringUtil::MbToWString(name, CP_ACP), &path);
  *out = StringUtil::WideToMbString(path, CP_ACP);
}

ATL::CStringW CopyToAppDataDir(const wchar_t* source, const wchar_t* sub, ATL::CStringW* folderOut) {
  if (source == nullptr) return ATL::CStringW();
  return CopyInto(GetAppDataDir(sub, TRUE), source, folderOut);
}

ATL::CStringW CopyToTempDir(const wchar_t* source, const wchar_t* sub, ATL::CStringW* folderOut) {
  if (source == nullptr) return ATL::CStringW();
  return CopyInto(GetTempDir(sub, TRUE), source, folderOut);
}

void MakeExeDirPath(const std::wstring& name, std::wstring* out) {
  if (out == nullptr) return;
  wchar_t exe[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  *PathFindFileNameW(exe) = L'\0';
  *out = JoinWithin(exe, name);
}

void MakeExeDirPathA(const std::string& name, std::string* out) {
  if (out == nullptr) return;
  std::wstring path;
  MakeExeDirPath(StringUtil::MbToWString(name, CP_ACP), &path);
  *out = StringUtil::WideToMbString(path, CP_ACP);
}

ATL::CStringW FormatExeDirPath(const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring path;
  PrintExeDirPath(&path, format, args);
  va_end(args);
  return ATL::CStringW(path.c_str());
}

void FormatExeDirPathW(std::wstring* out, const wchar_t* format, ...) {
  if (out == nullptr) return;
  va_list args;
  va_start(args, format);
  PrintExeDirPath(out, format, args);
  va_end(args);
}

void FormatExeDirPathA(std::string* out, const char* format, ...) {
  if (out == nullptr) return;
  char name[MAX_PATH + 1] = {};
  if (format != nullptr) {
    va_list args;
    va_start(args, format);
    _vsnprintf(name, MAX_PATH, format, args);
    va_end(args);
  }
  MakeExeDirPathA(name, out);
}

ATL::CStringW GetExeDirPath(const wchar_t* name) { return FormatExeDirPath(L"%s", name != nullptr ? name : L""); }

std::string SystemDirPathA(const char* name) {
  char folder[MAX_PATH + 1] = {};
  const UINT length = GetSystemDirectoryA(folder, MAX_PATH);
  if (length == 0 || length >= MAX_PATH) return std::string();
  std::string path(folder, length);
  if (path.back() != '\\') path += '\\';
  path += name ? name : "";
  return path.size() <= MAX_PATH ? path : std::string();
}

}  // namespace CommonUtil
