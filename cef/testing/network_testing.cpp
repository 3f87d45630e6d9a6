#include "testing/network_testing.h"

#include <windows.h>

#include <memory>
#include <mutex>

#include "engine/builtin_schemes.h"
#include "engine/resource_loader.h"
#include "engine/scheme_factories.h"
#include "testing/cefengine_testing.h"

namespace cefengine {
namespace test {

namespace {

bool IsAbsolutePath(const std::wstring& path) {
  return (path.size() >= 3 && path[1] == L':' && (path[2] == L'\\' || path[2] == L'/')) ||
         (path.size() >= 2 && (path[0] == L'\\' || path[0] == L'/') && (path[1] == L'\\' || path[1] == L'/'));
}

std::wstring FullPath(const std::wstring& path) {
  std::wstring full = IsAbsolutePath(path) ? path : FileRoot() + L"\\" + path;
  for (wchar_t& c : full)
    if (c == L'/')
      c = L'\\';
  return full;
}

void CreateParents(const std::wstring& file) {
  for (size_t at = file.find(L'\\', 3); at != std::wstring::npos; at = file.find(L'\\', at + 1))
    CreateDirectoryW(file.substr(0, at).c_str(), nullptr);
}

void RemoveTree(const std::wstring& folder) {
  WIN32_FIND_DATAW data;
  HANDLE find = FindFirstFileW((folder + L"\\*").c_str(), &data);
  if (find != INVALID_HANDLE_VALUE) {
    do {
      std::wstring name = data.cFileName;
      if (name == L"." || name == L"..")
        continue;
      std::wstring child = folder + L"\\" + name;
      if (data.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY)
        RemoveTree(child);
      else
        DeleteFileW(child.c_str());
    } while (FindNextFileW(find, &data));
    FindClose(find);
  }
  RemoveDirectoryW(folder.c_str());
}

// Keeps the outcome of one load for the thread waiting in FetchUrl.
class FetchObserver : public ResourceLoadObserver {
 public:
  bool OnRedirect(const std::wstring& new_url) override { return true; }
  void OnComplete(const LoadOutcome& outcome) override {
    std::lock_guard<std::mutex> lock(mutex_);
    outcome_ = outcome;
    ended_ = true;
  }
  bool Ended() {
    std::lock_guard<std::mutex> lock(mutex_);
    return ended_;
  }
  LoadOutcome Outcome() {
    std::lock_guard<std::mutex> lock(mutex_);
    return outcome_;
  }

 private:
  std::mutex mutex_;
  bool ended_ = false;
  LoadOutcome outcome_;
};

}  // namespace

FetchResult FetchUrl(const std::wstring& url, int timeout_ms) {
  FetchResult result;
  std::shared_ptr<FetchObserver> observer = std::make_shared<FetchObserver>();
  LoadParams params;
  params.request = MakeRequest(url, L"GET", L"", RT_SUB_RESOURCE, TT_EXPLICIT);
  std::shared_ptr<ResourceLoad> load = StartResourceLoad(params, observer);
  if (!load)
    return result;
  if (!WaitFor([observer] { return observer->Ended(); }, timeout_ms)) {
    load->Cancel();
    return result;
  }
  const LoadOutcome outcome = observer->Outcome();
  result.ended = true;
  result.error = outcome.error;
  result.error_text = outcome.error_text;
  result.status = outcome.response_status;
  result.status_text = outcome.status_text;
  result.mime_type = outcome.mime_type;
  result.body = outcome.body;
  return result;
}

void SetHttpResponse(const std::wstring& url, int status, const std::wstring& mime_type, const std::string& body,
                     const CefResponse::HeaderMap& headers, cef_errorcode_t cert_error) {
  TestHttpResponse response;
  response.status = status;
  response.mime_type = mime_type;
  response.body = body;
  response.headers = headers;
  response.cert_error = cert_error;
  SetTestHttpResponse(url, response);
}

void ClearHttpResponses() {
  ClearTestHttpResponses();
}

void FailNextLoad(const std::wstring& url, cef_errorcode_t code) {
  FailNextLoadOf(url, code, ErrorCodeText(code));
}

void FailNextLoad(const std::wstring& url, cef_errorcode_t code, const std::wstring& text) {
  FailNextLoadOf(url, code, text);
}

void HoldLoads(bool hold) {
  SetLoadsHeld(hold);
}

bool ReleaseLoad(const std::wstring& url) {
  return ReleaseHeldLoad(url);
}

void ReleaseAll() {
  ReleaseAllHeldLoads();
}

std::vector<std::wstring> HeldLoads() {
  return HeldLoadUrls();
}

std::wstring AddFile(const std::wstring& path, const std::string& bytes) {
  std::wstring full = FullPath(path);
  CreateParents(full);
  HANDLE file = CreateFileW(full.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return std::wstring();
  DWORD written = 0;
  BOOL ok = bytes.empty() || WriteFile(file, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr);
  CloseHandle(file);
  if (!ok || written != bytes.size())
    return std::wstring();
  return FileUrlFromPath(full);
}

std::wstring FileUrl(const std::wstring& path) {
  return FileUrlFromPath(FullPath(path));
}

std::wstring FileRoot() {
  wchar_t temp[MAX_PATH] = {};
  GetTempPathW(MAX_PATH, temp);
  std::wstring root = temp;
  if (!root.empty() && root.back() == L'\\')
    root.pop_back();
  return root + L"\\cefengine-files-" + std::to_wstring(GetCurrentProcessId());
}

void RemoveFiles() {
  RemoveTree(FileRoot());
}

std::vector<SchemeFactoryInfo> SchemeFactories() {
  std::vector<SchemeFactoryInfo> out;
  for (const auto& entry : SchemeFactoryEntries())
    out.push_back(SchemeFactoryInfo{entry.scheme, entry.domain, entry.factory});
  return out;
}

std::vector<std::wstring> OsExecutions() {
  return OsExecutionUrls();
}

void ResetNetwork() {
  ClearTestHttpResponses();
  ResetLoadControls();
}

}  // namespace test
}  // namespace cefengine
