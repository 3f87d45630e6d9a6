// Downloads a page starts: the item the client sees, the callbacks it answers through, and the file written once it
// said where.
#include <windows.h>

#include <algorithm>
#include <mutex>
#include <string>

#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/page_actions.h"
#include "engine/utf.h"
#include "include/cef_download_handler.h"

namespace cefengine {

namespace {

class DownloadItemImpl : public CefDownloadItem {
 public:
  DownloadItemImpl(uint32 id, const std::wstring& url, const std::wstring& suggested_name,
                   const std::wstring& mime_type, int64 total)
      : id_(id), url_(url), suggested_name_(suggested_name), mime_type_(mime_type), total_(total) {}

  bool IsValid() override { return true; }
  bool IsInProgress() override {
    std::lock_guard<std::mutex> hold(lock_);
    return in_progress_;
  }
  bool IsComplete() override {
    std::lock_guard<std::mutex> hold(lock_);
    return complete_;
  }
  bool IsCanceled() override {
    std::lock_guard<std::mutex> hold(lock_);
    return canceled_;
  }
  int64 GetTotalBytes() override { return total_; }
  int64 GetReceivedBytes() override {
    std::lock_guard<std::mutex> hold(lock_);
    return received_;
  }
  uint32 GetId() override { return id_; }
  CefString GetURL() override { return url_; }
  CefString GetSuggestedFileName() override { return suggested_name_; }
  CefString GetFullPath() override {
    std::lock_guard<std::mutex> hold(lock_);
    return full_path_;
  }
  CefString GetMimeType() override { return mime_type_; }

  void Start(const std::wstring& full_path) {
    std::lock_guard<std::mutex> hold(lock_);
    in_progress_ = true;
    full_path_ = full_path;
  }
  void Complete() {
    std::lock_guard<std::mutex> hold(lock_);
    in_progress_ = false;
    complete_ = true;
    received_ = total_;
  }
  // False when the download already ended.
  bool Cancel() {
    std::lock_guard<std::mutex> hold(lock_);
    if (complete_ || canceled_)
      return false;
    in_progress_ = false;
    canceled_ = true;
    return true;
  }

 private:
  const uint32 id_;
  const std::wstring url_;
  const std::wstring suggested_name_;
  const std::wstring mime_type_;
  const int64 total_;
  std::mutex lock_;
  bool in_progress_ = false;
  bool complete_ = false;
  bool canceled_ = false;
  int64 received_ = 0;
  std::wstring full_path_;
  IMPLEMENT_REFCOUNTING(DownloadItemImpl);
};

class DownloadItemCallbackImpl : public CefDownloadItemCallback {
 public:
  DownloadItemCallbackImpl(int browser_id, CefRefPtr<DownloadItemImpl> item) : browser_id_(browser_id), item_(item) {}
  // Takes effect before the file is written; a finished download stays as it is.
  void Cancel() override {
    Record("DownloadCancel", browser_id_, 0, {std::to_string(item_->GetId())});
    item_->Cancel();
  }
  void Pause() override { Record("DownloadPause", browser_id_, 0, {std::to_string(item_->GetId())}); }
  void Resume() override { Record("DownloadResume", browser_id_, 0, {std::to_string(item_->GetId())}); }

 private:
  const int browser_id_;
  const CefRefPtr<DownloadItemImpl> item_;
  IMPLEMENT_REFCOUNTING(DownloadItemCallbackImpl);
};

CefRefPtr<CefDownloadHandler> DownloadHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetDownloadHandler() : nullptr;
}

void Update(BrowserImpl* browser, CefRefPtr<DownloadItemImpl> item, CefRefPtr<DownloadItemCallbackImpl> callback) {
  const char* state = item->IsComplete() ? "complete" : item->IsCanceled() ? "cancelled" : "in progress";
  Record("OnDownloadUpdated", browser->id(), 0,
         {std::to_string(item->GetId()), state, std::to_string(item->GetReceivedBytes())});
  CefRefPtr<CefDownloadHandler> handler = DownloadHandlerOf(browser);
  if (handler && !browser->IsDestroyed())
    handler->OnDownloadUpdated(browser, item.get(), callback.get());
}

void EndCancelled(BrowserImpl* browser, CefRefPtr<DownloadItemImpl> item,
                  CefRefPtr<DownloadItemCallbackImpl> callback) {
  item->Cancel();
  SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
  Update(browser, item, callback);
}

// The suggested name without folders, so that it cannot leave the download folder.
std::wstring SafeLeafName(const std::wstring& name) {
  size_t slash = name.find_last_of(L"\\/:");
  std::wstring leaf = slash == std::wstring::npos ? name : name.substr(slash + 1);
  if (leaf.empty() || leaf == L"." || leaf == L"..")
    leaf = L"download";
  return leaf;
}

[[nodiscard]] bool WriteWholeFile(const std::wstring& path, const std::string& bytes) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (file == INVALID_HANDLE_VALUE)
    return false;
  size_t offset = 0;
  bool ok = true;
  while (ok && offset < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, 1u << 20));
    DWORD written = 0;
    ok = WriteFile(file, bytes.data() + offset, chunk, &written, nullptr) && written == chunk;
    offset += written;
  }
  ok = CloseHandle(file) && ok;
  if (!ok)
    DeleteFileW(path.c_str());
  return ok;
}

// UI: the client said where; the file is written now.
void RunDownload(BrowserImpl* browser, CefRefPtr<DownloadItemImpl> item, const std::string& bytes,
                 const std::wstring& path) {
  std::wstring full_path = path;
  if (full_path.empty()) {
    wchar_t temp[MAX_PATH + 1];
    DWORD length = GetTempPathW(MAX_PATH + 1, temp);
    full_path = std::wstring(temp, length <= MAX_PATH ? length : 0) + SafeLeafName(item->GetSuggestedFileName());
  }
  CefRefPtr<DownloadItemCallbackImpl> callback = new DownloadItemCallbackImpl(browser->id(), item);
  item->Start(full_path);
  Update(browser, item, callback);
  if (item->IsCanceled() || browser->IsDestroyed()) {
    if (!item->IsCanceled())
      item->Cancel();
    SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
    if (!browser->IsDestroyed())
      Update(browser, item, callback);
    return;
  }
  if (!WriteWholeFile(full_path, bytes)) {
    LOG(ERROR) << "Download " << item->GetId() << " could not be written to " << WideToUtf8(full_path) << " (error "
               << GetLastError() << ")";
    EndCancelled(browser, item, callback);
    return;
  }
  item->Complete();
  SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kGranted, full_path);
  Update(browser, item, callback);
}

class BeforeDownloadCallbackImpl : public CefBeforeDownloadCallback {
 public:
  BeforeDownloadCallbackImpl(BrowserImpl* browser, CefRefPtr<DownloadItemImpl> item, const std::string& bytes)
      : browser_(browser), item_(item), bytes_(bytes) {}
  // Released without Continue: the download never starts.
  ~BeforeDownloadCallbackImpl() override {
    if (continued_)
      return;
    CefRefPtr<BrowserImpl> browser = browser_;
    CefRefPtr<DownloadItemImpl> item = item_;
    Record("DownloadNotContinued", browser->id(), 0, {std::to_string(item->GetId())});
    auto cancel = [item](BrowserImpl* b) {
      EndCancelled(b, item, new DownloadItemCallbackImpl(b->id(), item));
    };
    if (OnUIThread()) {
      if (!browser->IsDestroyed())
        cancel(browser.get());
      else
        SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
      return;
    }
    if (!PostTo(TID_UI, [browser, item, cancel]() {
          if (!browser->IsDestroyed())
            cancel(browser.get());
          else
            SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
        }))
      SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
  }

  void Continue(const CefString& download_path, bool show_dialog) override {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (continued_) {
        CEFENGINE_MISUSE("CefBeforeDownloadCallback::Continue called twice; ignored");
        return;
      }
      continued_ = true;
    }
    Record("DownloadContinue", browser_->id(), 0,
           {std::to_string(item_->GetId()), download_path.ToString(), show_dialog ? "dialog" : "no dialog"});
    CefRefPtr<BrowserImpl> browser = browser_;
    CefRefPtr<DownloadItemImpl> item = item_;
    std::string bytes = bytes_;
    std::wstring path = download_path.ToWString();
    // Posted even on UI: a Continue made inside OnBeforeDownload starts the download after that call returned.
    if (!PostTo(TID_UI, [browser, item, bytes, path]() {
          if (!browser->IsDestroyed())
            RunDownload(browser.get(), item, bytes, path);
          else
            SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
        }))
      SettlePageRequest(static_cast<int>(item->GetId()), RequestState::kDenied);
  }

 private:
  std::mutex lock_;
  bool continued_ = false;
  const CefRefPtr<BrowserImpl> browser_;
  const CefRefPtr<DownloadItemImpl> item_;
  const std::string bytes_;
  IMPLEMENT_REFCOUNTING(BeforeDownloadCallbackImpl);
};

}  // namespace

int PageDownload(BrowserImpl* browser, const std::wstring& url, const std::wstring& suggested_name,
                 const std::string& bytes, const std::wstring& mime_type) {
  const int id = NewPageRequest();
  CefRefPtr<DownloadItemImpl> item =
      new DownloadItemImpl(static_cast<uint32>(id), url, suggested_name, mime_type, static_cast<int64>(bytes.size()));
  CefRefPtr<CefDownloadHandler> handler = browser->IsDestroyed() ? nullptr : DownloadHandlerOf(browser);
  if (!handler) {
    Record("DownloadDropped", browser->id(), 0, {std::to_string(id), WideToUtf8(url)});
    SettlePageRequest(id, RequestState::kDenied);
    return id;
  }
  Record("OnBeforeDownload", browser->id(), 0, {std::to_string(id), WideToUtf8(url), WideToUtf8(suggested_name)});
  handler->OnBeforeDownload(browser, item.get(), suggested_name, new BeforeDownloadCallbackImpl(browser, item, bytes));
  return id;
}

}  // namespace cefengine
