#include "base/smart_logger.h"

#include <shlobj.h>
#include <shlwapi.h>
// Keeps the CRT's _vsnwprintf usable next to the strsafe functions.
#define STRSAFE_NO_DEPRECATE
#include <strsafe.h>

#include <cstdio>
#include <cstdlib>
#include <cwchar>
#include <io.h>
#include <share.h>

namespace {

const uint32_t kDefaultMaxSize = 512000;
const size_t kMaxPendingLines = 100;
const uint64_t kMaxKeptTail = 102400;
const size_t kBannerUnits = 512;
const int kMaxFormattedMessage = 510;

// Writes a banner ("Start Log" / "Truncate Log") stamped with the current local time.
void WriteBanner(FILE* file, const wchar_t* title) {
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t banner[kBannerUnits] = {};
  StringCchPrintfW(banner, kBannerUnits,
                   L"\r\n================== %s [%06d:%06d]: %04d-%02d-%02d %02d:%02d:%02d "
                   L"==================\n ",
                   title, static_cast<int>(GetCurrentProcessId()),
                   static_cast<int>(GetCurrentThreadId()), now.wYear, now.wMonth, now.wDay,
                   now.wHour, now.wMinute, now.wSecond);
  fwrite(banner, sizeof(wchar_t), wcslen(banner), file);
}

const unsigned char kByteOrderMark[2] = {0xFF, 0xFE};

}  // namespace

CSmartLogger::CSmartLogger() : m_bFirstWrite(1), m_nMaxSize(kDefaultMaxSize) {
  wchar_t folder[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, folder, CSIDL_APPDATA, FALSE);
  PathAppendW(folder, L"KIVVireDaredo");
  wchar_t file[MAX_PATH + 1] = {};
  PathCombineW(file, folder, L"Log\\KIVVireDaredo.log");
  SetFilePath(file);
}

CSmartLogger::~CSmartLogger() {
  _BaseModule::CAutoLocker guard(&m_lock);
  m_vecLines.clear();
}

int CSmartLogger::AddLine(const wchar_t* tag, const CStringW& message) {
  _BaseModule::CAutoLocker guard(&m_lock);
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t prefix[512] = {};
  StringCbPrintfW(prefix, sizeof(prefix), L"%04d-%02d-%02d %02d:%02d:%02d.%03d [%06d:%06d][%s] ",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<int>(GetCurrentProcessId()),
                  static_cast<int>(GetCurrentThreadId()), tag ? tag : L"");
  CStringW line = prefix + message;
  if (!line.IsEmpty() && line[line.GetLength() - 1] != L'\n') line += L'\n';
  m_vecLines.push_back(line);
  if (m_vecLines.size() > kMaxPendingLines) WriteToFile();
  return static_cast<int>(m_vecLines.size());
}

int CSmartLogger::AddLineV(const wchar_t* tag, const wchar_t* format, va_list args) {
  _BaseModule::CAutoLocker guard(&m_lock);
  if (!format) return static_cast<int>(m_vecLines.size());
  SYSTEMTIME now;
  GetLocalTime(&now);
  wchar_t prefix[512] = {};
  StringCbPrintfW(prefix, sizeof(prefix), L"%04d-%02d-%02d %02d:%02d:%02d.%03d [%06d:%06d][%s]",
                  now.wYear, now.wMonth, now.wDay, now.wHour, now.wMinute, now.wSecond,
                  now.wMilliseconds, static_cast<int>(GetCurrentProcessId()),
                  static_cast<int>(GetCurrentThreadId()), tag ? tag : L"");
  // On overflow _vsnwprintf leaves the first 510 units in place: the message is cut there.
  wchar_t message[kMaxFormattedMessage + 1] = {};
  _vsnwprintf(message, kMaxFormattedMessage, format, args);
  message[kMaxFormattedMessage] = L'\0';
  CStringW line(prefix);
  line += message;
  size_t length = wcslen(message);
  if (length == 0 || message[length - 1] != L'\n') line += L'\n';
  m_vecLines.push_back(line);
  return static_cast<int>(m_vecLines.size());
}

int CSmartLogger::Flush() {
  _BaseModule::CAutoLocker guard(&m_lock);
  return WriteToFile();
}

int CSmartLogger::WriteToFile() {
  int result = 0;
  if (!PathFileExistsW(m_strLogDir)) SHCreateDirectoryExW(nullptr, m_strLogDir, nullptr);
  FILE* file = PathFileExistsW(m_strLogDir) ? _wfsopen(m_strLogFile, L"ab", _SH_DENYNO) : nullptr;
  if (file) {
    result = 1;
    if (_filelengthi64(_fileno(file)) == 0) fwrite(kByteOrderMark, 1, sizeof(kByteOrderMark), file);
    if (m_bFirstWrite) {
      m_bFirstWrite = 0;
      WriteBanner(file, L"Start Log");
    }
    for (const CStringW& line : m_vecLines)
      fwrite(line.GetString(), sizeof(wchar_t), static_cast<size_t>(line.GetLength()), file);
    fflush(file);
    int64_t size = _filelengthi64(_fileno(file));
    fclose(file);
    if (m_nMaxSize > 0 && size >= static_cast<int64_t>(m_nMaxSize))
      Truncate(static_cast<uint64_t>(size));
  }
  m_vecLines.clear();
  return result;
}

void CSmartLogger::Truncate(uint64_t size) {
  uint64_t keep = size / 2 < kMaxKeptTail ? size / 2 : kMaxKeptTail;
  keep &= ~static_cast<uint64_t>(1);  // whole UTF-16 units
  unsigned char* tail = static_cast<unsigned char*>(calloc(static_cast<size_t>(keep) + 2, 1));
  if (!tail) return;
  bool tailRead = keep == 0;
  if (FILE* in = _wfsopen(m_strLogFile, L"rb", _SH_DENYNO)) {
    if (_fseeki64(in, static_cast<int64_t>(size - keep), SEEK_SET) == 0 && keep > 0)
      tailRead = fread(tail, static_cast<size_t>(keep), 1, in) == 1;
    fclose(in);
  }
  // Without the tail a rewrite would throw the whole log away; the check repeats with the
  // next message instead.
  if (tailRead) {
    if (FILE* out = _wfsopen(m_strLogFile, L"wb", _SH_DENYNO)) {
      fwrite(kByteOrderMark, 1, sizeof(kByteOrderMark), out);
      WriteBanner(out, L"Truncate Log");
      fwrite(tail, 1, static_cast<size_t>(keep), out);
      fclose(out);
    }
  }
  free(tail);
}

void CSmartLogger::SetFilePath(const CStringW& path) {
  m_strLogFile = path;
  CStringW dir(path);
  PathRemoveFileSpecW(dir.GetBuffer(MAX_PATH));
  dir.ReleaseBuffer();
  m_strLogDir = dir;
}

void CSmartLogger::SetMaxSize(uint32_t bytes) { m_nMaxSize = bytes; }

void CSmartLogger::Clear() {
  _BaseModule::CAutoLocker guard(&m_lock);
  m_vecLines.clear();
}

uint64_t CSmartLogger::GetFileSize(const CStringW& path) {
  if (path.IsEmpty()) return 0;
  HANDLE file = CreateFileW(path, GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                            FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE) return 0;
  LARGE_INTEGER size = {};
  BOOL ok = GetFileSizeEx(file, &size);
  CloseHandle(file);
  return ok ? static_cast<uint64_t>(size.QuadPart) : 0;
}
