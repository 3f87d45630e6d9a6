#include "base/file_util.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>

namespace FileUtil {
namespace {

const DWORD kCreateExisting = ERROR_ALREADY_EXISTS;  // 183
const DWORD kCreateFileExists = ERROR_FILE_EXISTS;   // 80

class ScopedHandle {
 public:
  explicit ScopedHandle(HANDLE handle) : m_hHandle(handle) {}
  ~ScopedHandle() {
    if (m_hHandle != INVALID_HANDLE_VALUE) CloseHandle(m_hHandle);
  }
  ScopedHandle(const ScopedHandle&) = delete;
  ScopedHandle& operator=(const ScopedHandle&) = delete;
  HANDLE Get() const { return m_hHandle; }
  bool IsValid() const { return m_hHandle != INVALID_HANDLE_VALUE; }

 private:
  HANDLE m_hHandle;
};

ATL::CStringW SpecialFolder(int csidl) {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, csidl, FALSE)) return ATL::CStringW();
  return ATL::CStringW(buffer);
}

ATL::CStringW SubFolder(const ATL::CStringW& folder, const wchar_t* sub, BOOL create) {
  ATL::CStringW path = CombinePath(folder, sub, FALSE);
  if (create && !path.IsEmpty()) {
    (void)CreateDirectoryTree(path);
    if (!PathFileExistsW(path)) return ATL::CStringW();
  }
  return path;
}

// The index of the last component's first character.
int LastComponentStart(const ATL::CStringW& path) {
  int slash = path.ReverseFind(L'\\');
  return slash < 0 ? 0 : slash + 1;
}

// Last dot within the last component, or -1.
int LastComponentDot(const ATL::CStringW& path) {
  int dot = path.ReverseFind(L'.');
  return dot >= LastComponentStart(path) ? dot : -1;
}

template <typename Char, typename FindData, typename Callback, typename Ops>
void Walk(const Char* folder, BOOL recursive, const Callback& callback, const Ops& ops) {
  std::basic_string<Char> pattern(folder);
  pattern += ops.pattern;
  FindData entry;
  HANDLE search = ops.findFirst(pattern.c_str(), &entry);
  if (search == INVALID_HANDLE_VALUE) return;
  do {
    const Char* name = entry.cFileName;
    if (ops.isDots(name)) continue;
    if (callback) {
      BOOL stop = FALSE;
      callback(entry, &stop);
      if (stop) break;
    }
    if (recursive && (entry.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)) {
      // A child whose joined path does not fit would be some other folder after the cut: skip it.
      Char child[MAX_PATH] = {};
      size_t length = std::char_traits<Char>::length(folder);
      if (length >= MAX_PATH) continue;
      std::char_traits<Char>::copy(child, folder, length);
      if (!ops.append(child, name)) continue;
      Callback copy(callback);
      Walk<Char, FindData>(child, recursive, copy, ops);
    }
  } while (ops.findNext(search, &entry));
  FindClose(search);
}

struct WideOps {
  const wchar_t* pattern = L"/*.*";
  HANDLE findFirst(const wchar_t* p, WIN32_FIND_DATAW* d) const { return FindFirstFileW(p, d); }
  BOOL findNext(HANDLE h, WIN32_FIND_DATAW* d) const { return FindNextFileW(h, d); }
  bool isDots(const wchar_t* n) const { return IsDotEntry(n); }
  bool append(wchar_t* path, const wchar_t* name) const { return PathAppendW(path, name) != FALSE; }
};

struct NarrowOps {
  const char* pattern = "/*.*";
  HANDLE findFirst(const char* p, WIN32_FIND_DATAA* d) const { return FindFirstFileA(p, d); }
  BOOL findNext(HANDLE h, WIN32_FIND_DATAA* d) const { return FindNextFileA(h, d); }
  bool isDots(const char* n) const { return !strcmp(n, ".") || !strcmp(n, ".."); }
  bool append(char* path, const char* name) const { return PathAppendA(path, name) != FALSE; }
};

}  // namespace

BOOL ReadFileToString(const wchar_t* path, std::string* out) {
  if (!path || !out || !PathFileExistsW(path) || PathIsDirectoryW(path)) return FALSE;
  ScopedHandle file(CreateFileW(path, GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return FALSE;
  LARGE_INTEGER size = {};
  if (!GetFileSizeEx(file.Get(), &size) || size.HighPart != 0) return FALSE;
  DWORD bytes = size.LowPart;
  try {
    out->resize(bytes);
  } catch (const std::bad_alloc&) {
    return FALSE;
  } catch (const std::length_error&) {
    return FALSE;
  }
  if (bytes == 0) return TRUE;
  DWORD read = 0;
  BOOL ok = ReadFile(file.Get(), &(*out)[0], bytes, &read, nullptr);
  return ok && read == bytes;
}

BOOL WriteBufferToFile(const wchar_t* path, const void* data, DWORD size) {
  if (!data || size == 0 || !path) return FALSE;
  if (!CreateDirectoryTree(GetAncestorFolder(path, 1))) return FALSE;
  ScopedHandle file(CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr,
                                CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr));
  if (!file.IsValid()) return FALSE;
  DWORD written = 0;
  return WriteFile(file.Get(), data, size, &written, nullptr) && written == size;
}

bool CreateDirectoryTree(const wchar_t* folder) {
  if (!folder || PathIsRelativeW(folder)) return false;
  if (PathIsRootW(folder)) return true;
  int result = SHCreateDirectoryExW(nullptr, folder, nullptr);
  return result == ERROR_SUCCESS || static_cast<DWORD>(result) == kCreateFileExists ||
         static_cast<DWORD>(result) == kCreateExisting;
}

bool IsDotEntry(const wchar_t* name) { return !wcscmp(name, L".") || !wcscmp(name, L".."); }

void EnumDirectory(const wchar_t* folder, BOOL recursive, EnumCallback callback) {
  if (!folder) return;
  Walk<wchar_t, WIN32_FIND_DATAW>(folder, recursive, callback, WideOps());
}

void EnumDirectoryA(const char* folder, BOOL recursive, EnumCallbackA callback) {
  if (!folder) return;
  Walk<char, WIN32_FIND_DATAA>(folder, recursive, callback, NarrowOps());
}

ATL::CStringW RemoveTrailingBackslash(const ATL::CStringW& path) {
  if (!path.IsEmpty() && path[path.GetLength() - 1] == L'\\') return path.Left(path.GetLength() - 1);
  return path;
}

ATL::CStringW AddTrailingBackslash(const ATL::CStringW& path) {
  if (path.IsEmpty() || path[path.GetLength() - 1] == L'\\') return path;
  return path + L'\\';
}

ATL::CStringW GetFileExtension(const ATL::CStringW& path) {
  int dot = LastComponentDot(path);
  return dot < 0 ? ATL::CStringW() : path.Mid(dot);
}

ATL::CStringW GetFileName(const ATL::CStringW& path, BOOL withExtension) {
  int slash = path.ReverseFind(L'\\');
  if (slash < 0) return ATL::CStringW();
  int dot = withExtension ? -1 : LastComponentDot(path);
  int end = dot < 0 ? path.GetLength() : dot;
  return path.Mid(slash + 1, end - slash - 1);
}

ATL::CStringW GetParentFolder(const ATL::CStringW& path) {
  int slash = path.ReverseFind(L'\\');
  return slash < 0 ? ATL::CStringW() : path.Left(slash);
}

ATL::CStringW GetAncestorFolder(const ATL::CStringW& path, int levels) {
  ATL::CStringW result(path);
  if (result.IsEmpty()) return result;
  wchar_t* buffer = result.GetBuffer(result.GetLength());
  for (int i = 0; i < levels; ++i) {
    if (!PathRemoveFileSpecW(buffer)) break;
  }
  result.ReleaseBuffer();
  return result;
}

void SplitPath(const ATL::CStringW& path, ATL::CStringW& drive, ATL::CStringW& folder,
               ATL::CStringW& name, ATL::CStringW& extension) {
  wchar_t d[3] = {}, f[256] = {}, n[256] = {}, e[256] = {};
  if (_wsplitpath_s(path, d, 3, f, 256, n, 256, e, 256) != 0) {
    d[0] = f[0] = n[0] = e[0] = L'\0';
  }
  drive = d;
  folder = f;
  name = n;
  extension = e;
}

ATL::CStringW GetModuleFolder(HMODULE module) {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetModuleFileNameW(module, buffer, MAX_PATH);
  PathRemoveFileSpecW(buffer);
  return ATL::CStringW(buffer);
}

ATL::CStringW GetModuleSubFolder(HMODULE module, const wchar_t* sub, BOOL create) {
  return SubFolder(GetModuleFolder(module), sub, create);
}

ATL::CStringW GetExeFolder() { return GetModuleFolder(nullptr); }

ATL::CStringW GetExeSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetExeFolder(), sub, create);
}

ATL::CStringW GetLocalAppDataFolder() { return SpecialFolder(CSIDL_LOCAL_APPDATA); }

ATL::CStringW GetLocalAppDataSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetLocalAppDataFolder(), sub, create);
}

ATL::CStringW GetAppDataFolder() { return SpecialFolder(CSIDL_APPDATA); }

ATL::CStringW GetAppDataSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetAppDataFolder(), sub, create);
}

ATL::CStringW GetDesktopFolder() { return SpecialFolder(CSIDL_DESKTOPDIRECTORY); }

ATL::CStringW GetDesktopSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetDesktopFolder(), sub, create);
}

ATL::CStringW GetProgramsFolder() { return SpecialFolder(CSIDL_PROGRAMS); }

ATL::CStringW GetProgramsSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetProgramsFolder(), sub, create);
}

ATL::CStringW GetTempFolder() {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, buffer);
  return ATL::CStringW(buffer);
}

ATL::CStringW GetTempSubFolder(const wchar_t* sub, BOOL create) {
  return SubFolder(GetTempFolder(), sub, create);
}

ATL::CStringW CombinePath(const wchar_t* base, const wchar_t* sub, BOOL create) {
  if (!base || !sub) return ATL::CStringW();
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!PathCombineW(buffer, base, sub)) return ATL::CStringW();
  if (create) {
    (void)CreateDirectoryTree(buffer);
    if (!PathFileExistsW(buffer)) return ATL::CStringW();
  }
  return ATL::CStringW(buffer);
}

}  // namespace FileUtil
