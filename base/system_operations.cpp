#include "base/system_operations.h"

#include <psapi.h>
#include <shellapi.h>
#include <shlwapi.h>
#include <strsafe.h>

#include <cstring>

#include "base/common_util.h"
#include "base/file_util.h"
#include "base/log.h"
#include "base/string_util.h"

namespace {

constexpr size_t kMaxPathUnits = MAX_PATH;
constexpr wchar_t kFeatureControlKey[] = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\";
constexpr DWORD kUrlMonOptionUserAgent = 0x10000001;
constexpr DWORD kUrlMonOptionUserAgentRefresh = 0x10000002;

using UrlMkSetSessionOptionFn = HRESULT(WINAPI*)(DWORD option, LPVOID buffer, DWORD length, DWORD reserved);
using ChangeWindowMessageFilterFn = BOOL(WINAPI*)(UINT message, DWORD flag);

// Keeps the first failure of a run of deletions.
void Note(DWORD* firstError, DWORD error) {
  if (*firstError == ERROR_SUCCESS) *firstError = error != ERROR_SUCCESS ? error : ERROR_GEN_FAILURE;
}

void DeleteEntry(const std::wstring& path, DWORD attributes, DWORD* firstError);

// Everything inside the folder, then the folder. A link (junction or symbolic link) is removed
// as an entry of its own; what it points to stays.
void DeleteTree(const std::wstring& folder, DWORD attributes, DWORD* firstError) {
  if ((attributes & FILE_ATTRIBUTE_REPARSE_POINT) == 0) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        if (!FileUtil::IsDotEntry(found.cFileName)) DeleteEntry(folder + L"\\" + found.cFileName, found.dwFileAttributes, firstError);
      } while (FindNextFileW(find, &found));
      FindClose(find);
    } else {
      Note(firstError, GetLastError());
    }
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) SetFileAttributesW(folder.c_str(), attributes & ~FILE_ATTRIBUTE_READONLY);
  if (!RemoveDirectoryW(folder.c_str())) Note(firstError, GetLastError());
}

void DeleteEntry(const std::wstring& path, DWORD attributes, DWORD* firstError) {
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) != 0) {
    DeleteTree(path, attributes, firstError);
    return;
  }
  if ((attributes & FILE_ATTRIBUTE_READONLY) != 0) SetFileAttributesW(path.c_str(), FILE_ATTRIBUTE_NORMAL);
  if (!DeleteFileW(path.c_str())) Note(firstError, GetLastError());
}

// A text value of at most 256 units; "" is a value too.
bool ReadVersionValue(HKEY key, const wchar_t* name, ATL::CStringW* out) {
  wchar_t text[257] = {};
  DWORD type = 0;
  DWORD size = 512;
  if (RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(text), &size) != ERROR_SUCCESS) return false;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return false;
  if (size == 0) {
    out->Empty();
    return true;
  }
  if (size % 2 != 0 || text[size / 2 - 1] != L'\0') return false;
  *out = text;
  return true;
}

}  // namespace

namespace CommonUtil {

int DeleteDirectory(const std::wstring& directory) {
  if (directory.size() < 4 || directory.size() > kMaxPathUnits) return -1;
  LogDebugW(L"CommonUtil::DeleteDirectory, '%s'", directory.c_str());
  const DWORD attributes = GetFileAttributesW(directory.c_str());
  if (attributes == INVALID_FILE_ATTRIBUTES) return -int(GetLastError());
  if ((attributes & FILE_ATTRIBUTE_DIRECTORY) == 0) return -int(ERROR_DIRECTORY);
  DWORD firstError = ERROR_SUCCESS;
  DeleteTree(directory, attributes, &firstError);
  return -int(firstError);
}

int DeleteDirectory(const std::string& directory) {
  return DeleteDirectory(StringUtil::MbToWString(directory, CP_ACP));
}

BOOL ForceDeleteFile(const ATL::CStringW& path) {
  if (DeleteFileW(path) || !PathFileExistsW(path)) return TRUE;
  if (SetFileAttributesW(path, FILE_ATTRIBUTE_NORMAL) && DeleteFileW(path)) return TRUE;

  // In use: move it out of the way under a fresh name beside the executable, then delete or
  // schedule that.
  wchar_t fresh[MAX_PATH + 1] = {};
  if (GetTempFileNameW(GetExeDir(), L"", 0, fresh) == 0) return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  DeleteFileW(fresh);  // only the name is wanted
  if (!MoveFileW(path, fresh)) return MoveFileExW(path, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
  if (DeleteFileW(fresh)) return TRUE;
  return MoveFileExW(fresh, nullptr, MOVEFILE_DELAY_UNTIL_REBOOT);
}

BOOL RunApp(const wchar_t* path, const wchar_t* parameters, int showCommand, BOOL checkSigner, BOOL wait,
            DWORD* exitCode, DWORD timeoutMs) {
  if (path == nullptr || *path == L'\0' || wcslen(path) > kMaxPathUnits || !PathFileExistsW(path)) return FALSE;
  wchar_t file[1024] = {};
  if (FAILED(StringCchPrintfW(file, 1023, L"\"%s\"", path))) return FALSE;

  SHELLEXECUTEINFOW info;
  memset(&info, 0, sizeof(info));
  info.cbSize = sizeof(info);
  info.fMask = SEE_MASK_NOCLOSEPROCESS | SEE_MASK_FLAG_NO_UI;
  info.lpVerb = L"open";
  info.lpFile = file;
  info.lpParameters = parameters;
  info.nShow = showCommand;

  if (checkSigner && !FileExists(path, TRUE)) {
    OutputDebugStringW(L"RunApp check Ulv sign fail. \n");
    return FALSE;
  }
  const BOOL started = ShellExecuteExW(&info);
  if (started && wait && info.hProcess != nullptr) WaitForSingleObject(info.hProcess, timeoutMs);
  if (exitCode != nullptr) {
    if (!started) return FALSE;
    *exitCode = STILL_ACTIVE;
    if (info.hProcess != nullptr) GetExitCodeProcess(info.hProcess, exitCode);
  }
  if (started && info.hProcess != nullptr) CloseHandle(info.hProcess);
  return started;
}

ATL::CStringW GetIEVersion() {
  HKEY key = nullptr;
  // The 32-bit view, as the 32-bit product reads it under WOW64, in both builds.
  if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, L"SOFTWARE\\Microsoft\\Internet Explorer", 0, KEY_READ | KEY_WOW64_32KEY,
                    &key) != ERROR_SUCCESS) {
    return ATL::CStringW();
  }
  ATL::CStringW version;
  if (!ReadVersionValue(key, L"svcVersion", &version) && !ReadVersionValue(key, L"Version", &version)) version.Empty();
  RegCloseKey(key);
  return version;
}

ATL::CStringW MajorVersionOf(const ATL::CStringW& version) {
  const int dot = version.Find(L'.');
  return dot > 0 ? version.Left(dot) : version;
}

ATL::CStringW GetIEMajorVersion() { return MajorVersionOf(GetIEVersion()); }

DWORD EmulationModeFor(const ATL::CStringW& version) {
  if (version.Find(L"11.") == 0) return 11001;
  if (version.Find(L"10.") == 0) return 10001;
  if (version.Find(L"9.") == 0) return 9999;
  return 8888;  // "8." and everything older or unknown
}

BOOL SetBrowserEmulation() { return SetFeatureControl(L"FEATURE_BROWSER_EMULATION", EmulationModeFor(GetIEVersion())); }

BOOL SetFeatureControl(const ATL::CStringW& feature, DWORD value) {
  const ATL::CStringW exe = GetExePath();
  const wchar_t* name = PathFindFileNameW(exe);
  if (name == nullptr || *name == L'\0') return FALSE;
  return SetFeatureControlValue(HKEY_LOCAL_MACHINE, feature, name, value) ||
         SetFeatureControlValue(HKEY_CURRENT_USER, feature, name, value);
}

BOOL SetFeatureControlValue(HKEY root, const ATL::CStringW& feature, const wchar_t* valueName, DWORD value) {
  if (valueName == nullptr) return FALSE;
  HKEY key = nullptr;
  // The 32-bit view, where the 32-bit browser engine of the product's process looks.
  if (RegCreateKeyExW(root, ATL::CStringW(kFeatureControlKey) + feature, 0, nullptr, REG_OPTION_NON_VOLATILE,
                      KEY_SET_VALUE | KEY_WOW64_32KEY, nullptr, &key, nullptr) != ERROR_SUCCESS) {
    return FALSE;
  }
  const LONG set = RegSetValueExW(key, valueName, 0, REG_DWORD, reinterpret_cast<const BYTE*>(&value), sizeof(value));
  RegCloseKey(key);
  return set == ERROR_SUCCESS;
}

BOOL SetUserAgent(const char* userAgent) {
  if (userAgent == nullptr) return FALSE;
  HMODULE urlmon = LoadLibraryW(L"urlmon.dll");
  if (urlmon == nullptr) return FALSE;
  BOOL ok = FALSE;
  auto setOption =
      reinterpret_cast<UrlMkSetSessionOptionFn>(reinterpret_cast<void*>(GetProcAddress(urlmon, "UrlMkSetSessionOption")));
  if (setOption != nullptr && setOption(kUrlMonOptionUserAgentRefresh, nullptr, 0, 0) == S_OK) {
    ok = setOption(kUrlMonOptionUserAgent, const_cast<char*>(userAgent), DWORD(strlen(userAgent)), 0) == S_OK;
  }
  FreeLibrary(urlmon);
  return ok;
}

BOOL AllowWindowMessage(UINT message, BOOL allow) {
  HMODULE user32 = LoadLibraryW(L"user32.dll");
  if (user32 == nullptr) return FALSE;
  BOOL ok = FALSE;
  auto changeFilter = reinterpret_cast<ChangeWindowMessageFilterFn>(
      reinterpret_cast<void*>(GetProcAddress(user32, "ChangeWindowMessageFilter")));
  if (changeFilter != nullptr) ok = changeFilter(message, allow ? MSGFLT_ADD : MSGFLT_REMOVE);
  FreeLibrary(user32);
  return ok;
}

ATL::CStringW GetProcessImagePath(DWORD processId) {
  HANDLE process = OpenProcess(PROCESS_QUERY_INFORMATION | PROCESS_VM_READ, FALSE, processId);
  if (process == nullptr) return ATL::CStringW();
  ATL::CStringW path;
  HMODULE first = nullptr;
  DWORD needed = 0;
  wchar_t name[MAX_PATH + 1] = {};
  if (EnumProcessModules(process, &first, sizeof(first), &needed) &&
      GetModuleFileNameExW(process, first, name, MAX_PATH) > 0) {
    path = name;
  }
  CloseHandle(process);
  return path;
}

BOOL LoadResourceData(HMODULE module, WORD id, const wchar_t* type, std::string* out) {
  if (out == nullptr) return FALSE;
  HRSRC resource = FindResourceW(module, MAKEINTRESOURCEW(id), type);
  if (resource == nullptr) return FALSE;
  const DWORD size = SizeofResource(module, resource);
  if (size == 0) return FALSE;
  HGLOBAL loaded = LoadResource(module, resource);
  const void* bytes = loaded != nullptr ? LockResource(loaded) : nullptr;
  if (bytes == nullptr) return FALSE;
  out->assign(static_cast<const char*>(bytes), size);
  return TRUE;
}

BOOL GetFileCreationTime(const wchar_t* path, FILETIME* out) {
  if (path == nullptr || out == nullptr) return FALSE;
  HANDLE file = CreateFileW(path, GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return FALSE;
  FILETIME created = {};
  const BOOL ok = GetFileTime(file, &created, nullptr, nullptr);
  *out = ok ? created : FILETIME{};
  CloseHandle(file);
  return ok;
}

}  // namespace CommonUtil
