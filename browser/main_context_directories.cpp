// The main context's folders. None is cached: every call asks again.
#include <direct.h>
#include <shlobj.h>
#include <windows.h>

#include "base/common_util.h"
#include "base/log.h"
#include "base/string_util.h"
#include "browser/main_context_impl.h"

namespace client {

std::string MainContextImpl::GetDownloadPath(const std::string& file_name) {
  wchar_t folder[MAX_PATH] = {};
  // The documents folder, created when missing.
  if (FAILED(SHGetFolderPathW(nullptr, CSIDL_PERSONAL | CSIDL_FLAG_CREATE, nullptr, SHGFP_TYPE_CURRENT, folder)))
    return std::string();
  return StringUtil::WideToUtf8String(folder) + "\\" + file_name;
}

std::string MainContextImpl::GetAppWorkingDirectory() {
  char folder[MAX_PATH + 1] = {};
  // In the ANSI code page.
  if (!_getcwd(folder, MAX_PATH)) return std::string();
  return std::string(folder) + "\\";
}

std::string MainContextImpl::GetAppDataWorkingDirectory() {
  const ATL::CStringW product_id = CommonUtil::GetProductId();
  const ATL::CStringW app_data = CommonUtil::GetProductAppDataPath();
  LogInfoW(L"Brivelo ProductId = %s, ProductAppDataPath = %s", static_cast<const wchar_t*>(product_id),
           static_cast<const wchar_t*>(app_data));
  const std::string directory = StringUtil::WideToUtf8String(static_cast<const wchar_t*>(app_data)) + "\\";
  // UTF-8 through the ANSI logger: only the log line garbles non-ANSI folders.
  LogInfoA("GetAppDataWorkingDirectory = %s", directory.c_str());
  return directory;
}

}  // namespace client
