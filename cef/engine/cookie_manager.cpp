// CefCookieManager over a CookieStore: changes apply at once on the calling thread; visitors and
// completion callbacks run on the IO thread.
#include <functional>
#include <mutex>
#include <string>

#include "engine/context.h"
#include "engine/cookie_store.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/task_threads.h"
#include "engine/utf.h"
#include "include/cef_parser.h"

namespace cefengine {

namespace {

void PostToIo(std::function<void()> fn) {
  PostFunction(TID_IO, std::move(fn));
}

// Visits a snapshot of the matching cookies; the snapshot is taken when the visit starts, so
// cookies changed by the visitor itself do not disturb the count.
void RunVisit(const std::shared_ptr<CookieStore>& store, bool all, const std::wstring& url, bool include_http_only,
              CefRefPtr<CefCookieVisitor> visitor) {
  if (!store->IsOpen())
    return;
  std::vector<StoredCookie> cookies;
  if (all)
    cookies = store->All();
  else if (!store->Match(url, include_http_only, &cookies))
    return;
  const int total = static_cast<int>(cookies.size());
  for (int i = 0; i < total; ++i) {
    CefCookie cookie = cookies[i].ToCefCookie();
    bool delete_cookie = false;
    Record("Visit", 0, 0, {WideToUtf8(cookies[i].name), std::to_string(i), std::to_string(total)});
    bool go_on = visitor->Visit(cookie, i, total, delete_cookie);
    if (delete_cookie)
      store->DeleteById(cookies[i].id);
    if (!go_on)
      break;
  }
}

class VisitTask : public CefTask {
 public:
  VisitTask(std::shared_ptr<CookieStore> store, bool all, std::wstring url, bool include_http_only,
            CefRefPtr<CefCookieVisitor> visitor)
      : store_(std::move(store)),
        all_(all),
        url_(std::move(url)),
        include_http_only_(include_http_only),
        visitor_(visitor) {}
  void Execute() override {
    RunVisit(store_, all_, url_, include_http_only_, visitor_);
    visitor_ = nullptr;  // released here, on the IO thread
  }

 private:
  std::shared_ptr<CookieStore> store_;
  bool all_;
  std::wstring url_;
  bool include_http_only_;
  CefRefPtr<CefCookieVisitor> visitor_;
  IMPLEMENT_REFCOUNTING(VisitTask);
};

class CookieManagerImpl : public CefCookieManager {
 public:
  explicit CookieManagerImpl(std::shared_ptr<CookieStore> store) : store_(std::move(store)) {}

  const std::shared_ptr<CookieStore>& store() const { return store_; }

  void SetSupportedSchemes(const std::vector<CefString>& schemes, CefRefPtr<CefCompletionCallback> callback) override {
    if (!Usable("SetSupportedSchemes"))
      return;
    std::vector<std::wstring> list;
    std::vector<std::string> args;
    for (const CefString& s : schemes) {
      list.push_back(s.ToWString());
      args.push_back(s.ToString());
    }
    store_->SetSupportedSchemes(list);
    Record("SetSupportedSchemes", 0, 0, args);
    if (callback)
      PostToIo([callback] {
        Record("OnComplete", 0, 0, {"SetSupportedSchemes"});
        callback->OnComplete();
      });
  }

  bool VisitAllCookies(CefRefPtr<CefCookieVisitor> visitor) override {
    if (!Usable("VisitAllCookies"))
      return false;
    if (!visitor) {
      CEFENGINE_MISUSE("CefCookieManager::VisitAllCookies without a visitor");
      return false;
    }
    Record("VisitAllCookies");
    return StartVisit(new VisitTask(store_, true, std::wstring(), true, visitor));
  }

  bool VisitUrlCookies(const CefString& url, bool includeHttpOnly, CefRefPtr<CefCookieVisitor> visitor) override {
    if (!Usable("VisitUrlCookies"))
      return false;
    if (!visitor) {
      CEFENGINE_MISUSE("CefCookieManager::VisitUrlCookies without a visitor");
      return false;
    }
    CefURLParts parts;
    if (url.empty() || !CefParseURL(url, parts)) {
      LOG(WARNING) << "CefCookieManager::VisitUrlCookies: invalid URL \"" << url.ToString() << "\"";
      return false;
    }
    Record("VisitUrlCookies", 0, 0, {url.ToString(), FlagText(includeHttpOnly)});
    return StartVisit(new VisitTask(store_, false, url.ToWString(), includeHttpOnly, visitor));
  }

  bool SetCookie(const CefString& url, const CefCookie& cookie, CefRefPtr<CefSetCookieCallback> callback) override {
    if (!Usable("SetCookie"))
      return false;
    CookieStore::SetResult result = store_->Set(url.ToWString(), cookie);
    if (result == CookieStore::SetResult::kInvalidUrl) {
      LOG(WARNING) << "CefCookieManager::SetCookie: invalid URL \"" << url.ToString() << "\"";
      return false;
    }
    const bool ok = result != CookieStore::SetResult::kRefused;
    Record("SetCookie", 0, 0,
           {url.ToString(), CefString(&cookie.name).ToString(), CefString(&cookie.value).ToString(),
            CefString(&cookie.domain).ToString(), CefString(&cookie.path).ToString(), FlagText(ok)});
    if (!ok)
      LOG(WARNING) << "CefCookieManager::SetCookie refused cookie \"" << CefString(&cookie.name).ToString()
                   << "\" for " << url.ToString();
    if (callback)
      PostToIo([callback, ok] {
        Record("OnComplete", 0, 0, {"SetCookie", FlagText(ok)});
        callback->OnComplete(ok);
      });
    return true;
  }

  bool DeleteCookies(const CefString& url, const CefString& cookie_name,
                     CefRefPtr<CefDeleteCookiesCallback> callback) override {
    if (!Usable("DeleteCookies"))
      return false;
    int deleted = 0;
    if (!store_->Delete(url.ToWString(), cookie_name.ToWString(), &deleted)) {
      LOG(WARNING) << "CefCookieManager::DeleteCookies: invalid URL \"" << url.ToString() << "\"";
      return false;
    }
    Record("DeleteCookies", 0, 0, {url.ToString(), cookie_name.ToString(), std::to_string(deleted)});
    if (callback)
      PostToIo([callback, deleted] {
        Record("OnComplete", 0, 0, {"DeleteCookies", std::to_string(deleted)});
        callback->OnComplete(deleted);
      });
    return true;
  }

  // Nothing is kept on disk, so there is nothing to write.
  bool FlushStore(CefRefPtr<CefCompletionCallback> callback) override {
    if (!Usable("FlushStore"))
      return false;
    if (callback)
      PostToIo([callback] {
        Record("OnComplete", 0, 0, {"FlushStore"});
        callback->OnComplete();
      });
    return true;
  }

 private:
  // A manager kept past CefShutdown is a dead object.
  bool Usable(const char* method) const {
    if (store_->IsOpen())
      return true;
    CEFENGINE_MISUSE(std::string("CefCookieManager::") + method + " after shutdown");
    return false;
  }

  // Runs the visit at once when already on the IO thread, else posts it there.
  static bool StartVisit(CefRefPtr<VisitTask> task) {
    if (CurrentlyOn(TID_IO)) {
      task->Execute();
      return true;
    }
    return PostEngineTask(TID_IO, task.get(), 0);
  }

  std::shared_ptr<CookieStore> store_;
  IMPLEMENT_REFCOUNTING(CookieManagerImpl);
};

struct GlobalCookies {
  std::mutex mutex;
  std::shared_ptr<CookieStore> store;
  CefRefPtr<CookieManagerImpl> manager;
};

GlobalCookies& Globals() {
  static GlobalCookies* globals = new GlobalCookies();
  return *globals;
}

}  // namespace

void OpenGlobalCookies() {
  GlobalCookies& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  if (g.store)
    g.store->Close();
  g.store = std::make_shared<CookieStore>();
  g.manager = new CookieManagerImpl(g.store);
}

void CloseGlobalCookies() {
  std::shared_ptr<CookieStore> store;
  CefRefPtr<CookieManagerImpl> manager;
  {
    GlobalCookies& g = Globals();
    std::lock_guard<std::mutex> lock(g.mutex);
    store.swap(g.store);
    manager.swap(g.manager);
  }
  if (store)
    store->Close();
}

std::shared_ptr<CookieStore> GlobalCookieStore() {
  GlobalCookies& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  return g.store;
}

CefRefPtr<CefCookieManager> GlobalCookieManager() {
  GlobalCookies& g = Globals();
  std::lock_guard<std::mutex> lock(g.mutex);
  return g.manager.get();
}

std::shared_ptr<CookieStore> StoreOfManager(CefRefPtr<CefCookieManager> manager) {
  CookieManagerImpl* impl = dynamic_cast<CookieManagerImpl*>(manager.get());
  return impl ? impl->store() : nullptr;
}

}  // namespace cefengine

CefRefPtr<CefCookieManager> CefCookieManager::GetGlobalManager(CefRefPtr<CefCompletionCallback> callback) {
  CefRefPtr<CefCookieManager> manager = cefengine::GlobalCookieManager();
  if (!manager) {
    LOG(WARNING) << "CefCookieManager::GetGlobalManager: the engine does not run";
    return nullptr;
  }
  if (callback)
    cefengine::PostToIo([callback] {
      cefengine::Record("OnComplete", 0, 0, {"GetGlobalManager"});
      callback->OnComplete();
    });
  return manager;
}
