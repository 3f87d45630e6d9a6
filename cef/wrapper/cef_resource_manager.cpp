// The resource manager: an ordered list of providers asked in turn for each request, all on the
// IO thread. Written against the public API only.
//
// Threads: providers, the pending-request bookkeeping and the handler map live on IO. The
// public setters may be called on any thread and hop to IO. A request's Continue/Stop may be
// called on any thread; the answer is always applied in a task of its own on IO, so a provider
// that answers inside OnRequest never re-enters the search.
//
// Cancellation: a provider holding a request hears OnRequestCanceled when
//   - it is removed (RemoveProviders / RemoveAllProviders); the request then goes on to the next
//     provider, so the load is not left hanging;
//   - the load went away as far as the public API shows it: its frame is no longer valid (frame
//     gone, browser closed), its request turned read-only before the manager answered (the load
//     ended: stopped, replaced by another navigation), or the same request was offered again;
//     checked on every manager call on IO and by a sweep that runs while requests are pending.
//     (The request callback's reference count says nothing: its owner is the engine's business.)
//   - the manager dies; the load is then let through (Continue(true)) to the engine's defaults.
// A handler found but never collected by GetResourceHandler is dropped by the same checks.
#include "include/wrapper/cef_resource_manager.h"

#include <algorithm>
#include <cstring>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "include/base/cef_lock.h"
#include "include/base/cef_logging.h"
#include "include/cef_parser.h"
#include "include/cef_response.h"
#include "include/wrapper/cef_closure_task.h"

namespace cefengine {
namespace {

// How often pending requests are checked for loads that went away.
const int64 kSweepIntervalMs = 100;

bool PostToIO(std::function<void()> fn) { return CefPostTask(TID_IO, base::Closure(std::move(fn))); }

std::string DefaultUrlFilter(const std::string& url) {
  const size_t cut = url.find_first_of("?#");
  return cut == std::string::npos ? url : url.substr(0, cut);
}

std::string DefaultMimeTypeResolver(const std::string& url) {
  const std::string path = DefaultUrlFilter(url);
  const size_t slash = path.find_last_of('/');
  const size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash))
    return std::string();
  return CefGetMimeType(path.substr(dot + 1)).ToString();
}

// Serves a fixed body with status 200; the handler of AddContentProvider.
class ContentHandler : public CefResourceHandler {
 public:
  ContentHandler(const std::string& content, const std::string& mime_type)
      : content_(content), mime_type_(mime_type) {}

  bool ProcessRequest(CefRefPtr<CefRequest> request, CefRefPtr<CefCallback> callback) override {
    callback->Continue();
    return true;
  }
  void GetResponseHeaders(CefRefPtr<CefResponse> response, int64& response_length, CefString& redirectUrl) override {
    response->SetStatus(200);
    response->SetStatusText("OK");
    response->SetMimeType(mime_type_);
    response_length = static_cast<int64>(content_.size());
  }
  bool ReadResponse(void* data_out, int bytes_to_read, int& bytes_read, CefRefPtr<CefCallback> callback) override {
    bytes_read = 0;
    if (offset_ >= content_.size() || bytes_to_read <= 0)
      return false;
    const size_t n = std::min(content_.size() - offset_, static_cast<size_t>(bytes_to_read));
    memcpy(data_out, content_.data() + offset_, n);
    offset_ += n;
    bytes_read = static_cast<int>(n);
    return true;
  }
  void Cancel() override {}

 private:
  const std::string content_;
  const std::string mime_type_;
  size_t offset_ = 0;
  IMPLEMENT_REFCOUNTING(ContentHandler);
};

class ContentProvider : public CefResourceManager::Provider {
 public:
  ContentProvider(const std::string& url, const std::string& content, const std::string& mime_type)
      : url_(url), content_(content), mime_type_(mime_type) {}

  bool OnRequest(scoped_refptr<CefResourceManager::Request> request) override {
    if (request->url() != url_)
      return false;
    std::string mime = mime_type_;
    if (mime.empty() && !request->mime_type_resolver().is_null())
      mime = request->mime_type_resolver().Run(url_);
    request->Continue(new ContentHandler(content_, mime));
    return true;
  }

 private:
  const std::string url_;
  const std::string content_;
  const std::string mime_type_;
};

struct ProviderEntry {
  std::unique_ptr<CefResourceManager::Provider> provider;
  int order = 0;
  std::string identifier;
};

struct Core;

// What one request carries; shared by the Request object and the manager's bookkeeping.
struct RequestData {
  std::weak_ptr<Core> core;
  std::string url;
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
  CefRefPtr<CefRequest> request;
  CefRefPtr<CefRequestCallback> callback;
  uint64 identifier = 0;
  CefResourceManager::UrlFilter url_filter;
  CefResourceManager::MimeTypeResolver mime_type_resolver;

  // IO only: the provider the request waits for (null while it is not waiting).
  ProviderEntry* holder = nullptr;

  // Guards `offer` and `done`, which Continue/Stop read on any thread.
  base::Lock lock;
  // Bumped at every offer; an answer given for an earlier offer is stale.
  int offer = 0;
  bool done = false;

  int NextOffer() {
    base::AutoLock hold(lock);
    return ++offer;
  }
  void End() {
    base::AutoLock hold(lock);
    ++offer;
    done = true;
  }
  // The answer a provider may give now: false when the request ended.
  bool CurrentOffer(int* current) {
    base::AutoLock hold(lock);
    *current = offer;
    return !done;
  }
  // The request is writable while the engine waits for the manager's answer; the engine makes it
  // read-only when the load ends.
  bool LoadGone() { return (frame && !frame->IsValid()) || (request && request->IsReadOnly()); }
};

struct Pending {
  scoped_refptr<CefResourceManager::Request> request;
  std::shared_ptr<RequestData> data;
};

// The manager's IO-side state. Requests point at it weakly, so a provider that keeps a request
// does not keep the manager alive. Every method runs on IO.
struct Core {
  std::weak_ptr<Core> self;
  // Ordered by `order`, then by insertion.
  std::vector<std::unique_ptr<ProviderEntry>> providers;
  // Requests being offered, by request identifier.
  std::map<uint64, Pending> pending;
  struct Found {
    CefRefPtr<CefResourceHandler> handler;
    CefRefPtr<CefFrame> frame;
  };
  // Handlers waiting for GetResourceHandler, by request identifier.
  std::map<uint64, Found> handlers;
  CefResourceManager::UrlFilter url_filter = CefResourceManager::UrlFilter(&DefaultUrlFilter);
  CefResourceManager::MimeTypeResolver mime_type_resolver =
      CefResourceManager::MimeTypeResolver(&DefaultMimeTypeResolver);
  bool sweep_scheduled = false;

  ~Core() {
    std::map<uint64, Pending> left;
    left.swap(pending);
    for (auto& it : left) {
      Pending& p = it.second;
      ProviderEntry* holder = p.data->holder;
      p.data->holder = nullptr;
      p.data->End();
      if (holder)
        holder->provider->OnRequestCanceled(p.request);
      p.data->callback->Continue(true);
    }
  }

  size_t IndexOf(const ProviderEntry* entry) const {
    for (size_t i = 0; i < providers.size(); ++i) {
      if (providers[i].get() == entry)
        return i;
    }
    return providers.size();
  }

  void Insert(std::unique_ptr<ProviderEntry> entry) {
    auto at = std::upper_bound(providers.begin(), providers.end(), entry->order,
                               [](int order, const std::unique_ptr<ProviderEntry>& e) { return order < e->order; });
    providers.insert(at, std::move(entry));
  }

  // Offers the request to the providers from `start` on until one takes it.
  void Offer(Pending p, size_t start) {
    std::shared_ptr<Core> keep = self.lock();  // a provider may drop the manager's last reference
    for (size_t i = start; i < providers.size(); ++i) {
      ProviderEntry* entry = providers[i].get();
      p.data->NextOffer();
      p.data->holder = entry;
      if (entry->provider->OnRequest(p.request))
        return;
      p.data->holder = nullptr;
      // OnRequest may have added providers on IO: continue after this entry wherever it is now.
      i = IndexOf(entry);
    }
    Finish(p, nullptr);
  }

  // Ends the search; a found handler waits for GetResourceHandler.
  void Finish(const Pending& p, CefRefPtr<CefResourceHandler> handler) {
    p.data->End();
    p.data->holder = nullptr;
    auto it = pending.find(p.data->identifier);
    if (it == pending.end() || it->second.data != p.data)
      return;  // ended meanwhile; its load is someone else's now
    pending.erase(it);
    if (handler)
      handlers[p.data->identifier] = Found{handler, p.data->frame};
    p.data->callback->Continue(true);
    ScheduleSweep();
  }

  // The load went away: the holder hears of it, nobody continues the load.
  void Drop(uint64 identifier) {
    auto it = pending.find(identifier);
    if (it == pending.end())
      return;
    Pending p = it->second;
    pending.erase(it);
    ProviderEntry* holder = p.data->holder;
    p.data->holder = nullptr;
    p.data->End();
    if (holder)
      holder->provider->OnRequestCanceled(p.request);
  }

  // Removes the providers with `identifier` (null: all). Requests they hold hear
  // OnRequestCanceled and go on to the next remaining provider.
  void Remove(const std::string* identifier) {
    std::shared_ptr<Core> keep = self.lock();
    struct Moved {
      Pending p;
      ProviderEntry* from;
      ProviderEntry* next;  // the remaining provider after `from`; null: none
    };
    std::vector<Moved> moved;
    std::vector<std::unique_ptr<ProviderEntry>> gone, kept;
    for (auto& entry : providers) {
      if (identifier && entry->identifier != *identifier) {
        for (Moved& m : moved) {
          if (!m.next)
            m.next = entry.get();
        }
        kept.push_back(std::move(entry));
        continue;
      }
      for (auto& kv : pending) {
        if (kv.second.data->holder == entry.get()) {
          kv.second.data->holder = nullptr;
          kv.second.data->NextOffer();  // a late answer of the removed provider is stale
          moved.push_back(Moved{kv.second, entry.get(), nullptr});
        }
      }
      gone.push_back(std::move(entry));
    }
    providers.swap(kept);
    for (Moved& m : moved)
      m.from->provider->OnRequestCanceled(m.p.request);
    gone.clear();
    for (Moved& m : moved) {
      auto it = pending.find(m.p.data->identifier);
      if (it == pending.end() || it->second.data != m.p.data || it->second.data->holder)
        continue;  // ended or moved meanwhile
      Offer(m.p, m.next ? IndexOf(m.next) : providers.size());
    }
  }

  // Drops requests and found handlers whose load went away.
  void Sweep() {
    std::vector<uint64> gone;
    for (auto& kv : pending) {
      if (kv.second.data->LoadGone())
        gone.push_back(kv.first);
    }
    for (uint64 id : gone)
      Drop(id);
    for (auto it = handlers.begin(); it != handlers.end();) {
      if (it->second.frame && !it->second.frame->IsValid())
        it = handlers.erase(it);
      else
        ++it;
    }
  }

  // Keeps a sweep coming while something could still go away unnoticed.
  void ScheduleSweep() {
    if (sweep_scheduled)
      return;
    bool watch = !pending.empty();
    for (auto& kv : handlers)
      watch = watch || kv.second.frame;
    if (!watch)
      return;
    std::weak_ptr<Core> weak = self;
    sweep_scheduled = CefPostDelayedTask(TID_IO, base::Closure([weak]() {
                                           std::shared_ptr<Core> core = weak.lock();
                                           if (!core)
                                             return;
                                           core->sweep_scheduled = false;
                                           core->Sweep();
                                           core->ScheduleSweep();
                                         }),
                                         kSweepIntervalMs);
  }
};

std::shared_ptr<Core> NewCore() {
  std::shared_ptr<Core> core = std::make_shared<Core>();
  core->self = core;
  return core;
}

// Applies a provider's answer on IO; `stop` ends the search, else `handler` (null: next provider).
void Answer(const Pending& p, int offer, bool stop, CefRefPtr<CefResourceHandler> handler) {
  std::shared_ptr<Core> core = p.data->core.lock();
  if (!core)
    return;  // the manager died and let the load through
  int current = 0;
  if (!p.data->CurrentOffer(&current) || current != offer || !p.data->holder)
    return;  // stale: the request moved on, was cancelled or already answered
  ProviderEntry* holder = p.data->holder;
  p.data->holder = nullptr;
  core->Sweep();
  if (core->pending.find(p.data->identifier) == core->pending.end())
    return;
  if (stop || handler)
    core->Finish(p, handler);
  else
    core->Offer(p, core->IndexOf(holder) + 1);
}

}  // namespace
}  // namespace cefengine

using cefengine::Core;
using cefengine::Pending;
using cefengine::ProviderEntry;
using cefengine::RequestData;

struct CefResourceManager::Request::State {
  std::shared_ptr<RequestData> data;
};

struct CefResourceManager::State {
  std::shared_ptr<Core> core = cefengine::NewCore();
};

// --- Request ---

CefResourceManager::Request::Request(std::unique_ptr<State> state) : state_(std::move(state)) {}
CefResourceManager::Request::~Request() {}

std::string CefResourceManager::Request::url() const { return state_->data->url; }
CefRefPtr<CefBrowser> CefResourceManager::Request::browser() const { return state_->data->browser; }
CefRefPtr<CefFrame> CefResourceManager::Request::frame() const { return state_->data->frame; }
CefRefPtr<CefRequest> CefResourceManager::Request::request() const { return state_->data->request; }
const CefResourceManager::UrlFilter& CefResourceManager::Request::url_filter() const {
  return state_->data->url_filter;
}
const CefResourceManager::MimeTypeResolver& CefResourceManager::Request::mime_type_resolver() const {
  return state_->data->mime_type_resolver;
}

void CefResourceManager::Request::Continue(CefRefPtr<CefResourceHandler> handler) {
  int offer = 0;
  if (!state_->data->CurrentOffer(&offer))
    return;
  Pending p{this, state_->data};
  if (!cefengine::PostToIO([p, offer, handler]() { cefengine::Answer(p, offer, false, handler); }))
    LOG(WARNING) << "CefResourceManager::Request::Continue: the IO thread is gone";
}

void CefResourceManager::Request::Stop() {
  int offer = 0;
  if (!state_->data->CurrentOffer(&offer))
    return;
  Pending p{this, state_->data};
  if (!cefengine::PostToIO([p, offer]() { cefengine::Answer(p, offer, true, nullptr); }))
    LOG(WARNING) << "CefResourceManager::Request::Stop: the IO thread is gone";
}

// --- Manager ---

CefResourceManager::CefResourceManager() : state_(new State()) {}

CefResourceManager::~CefResourceManager() {}

void CefResourceManager::AddContentProvider(const std::string& url, const std::string& content,
                                            const std::string& mime_type, int order, const std::string& identifier) {
  AddProvider(new cefengine::ContentProvider(url, content, mime_type), order, identifier);
}

void CefResourceManager::AddProvider(Provider* provider, int order, const std::string& identifier) {
  if (!provider) {
    LOG(WARNING) << "CefResourceManager::AddProvider: null provider";
    return;
  }
  std::shared_ptr<ProviderEntry> entry = std::make_shared<ProviderEntry>();
  entry->provider.reset(provider);
  entry->order = order;
  entry->identifier = identifier;
  std::shared_ptr<Core> core = state_->core;
  auto insert = [core, entry]() {
    std::unique_ptr<ProviderEntry> owned(new ProviderEntry());
    owned->provider = std::move(entry->provider);
    owned->order = entry->order;
    owned->identifier = entry->identifier;
    core->Insert(std::move(owned));
  };
  if (CefCurrentlyOn(TID_IO)) {
    insert();
  } else if (!cefengine::PostToIO(insert)) {
    // Nothing runs on IO any more: the provider dies here rather than leak.
    LOG(WARNING) << "CefResourceManager::AddProvider: the IO thread is gone";
  }
}

void CefResourceManager::RemoveProviders(const std::string& identifier) {
  std::shared_ptr<Core> core = state_->core;
  // Always a task of its own: a provider may ask for its own removal from inside OnRequest.
  if (!cefengine::PostToIO([core, identifier]() { core->Remove(&identifier); }))
    LOG(WARNING) << "CefResourceManager::RemoveProviders: the IO thread is gone";
}

void CefResourceManager::RemoveAllProviders() {
  std::shared_ptr<Core> core = state_->core;
  if (!cefengine::PostToIO([core]() { core->Remove(nullptr); }))
    LOG(WARNING) << "CefResourceManager::RemoveAllProviders: the IO thread is gone";
}

void CefResourceManager::SetMimeTypeResolver(const MimeTypeResolver& resolver) {
  std::shared_ptr<Core> core = state_->core;
  auto set = [core, resolver]() {
    core->mime_type_resolver =
        resolver.is_null() ? MimeTypeResolver(&cefengine::DefaultMimeTypeResolver) : resolver;
  };
  if (CefCurrentlyOn(TID_IO))
    set();
  else if (!cefengine::PostToIO(set))
    LOG(WARNING) << "CefResourceManager::SetMimeTypeResolver: the IO thread is gone";
}

void CefResourceManager::SetUrlFilter(const UrlFilter& filter) {
  std::shared_ptr<Core> core = state_->core;
  auto set = [core, filter]() {
    core->url_filter = filter.is_null() ? UrlFilter(&cefengine::DefaultUrlFilter) : filter;
  };
  if (CefCurrentlyOn(TID_IO))
    set();
  else if (!cefengine::PostToIO(set))
    LOG(WARNING) << "CefResourceManager::SetUrlFilter: the IO thread is gone";
}

cef_return_value_t CefResourceManager::OnBeforeResourceLoad(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                                                            CefRefPtr<CefRequest> request,
                                                            CefRefPtr<CefRequestCallback> callback) {
  if (!CefCurrentlyOn(TID_IO) || !request || !callback) {
    LOG(WARNING) << "CefResourceManager::OnBeforeResourceLoad: needs the IO thread, a request and a callback";
    return RV_CONTINUE;
  }
  std::shared_ptr<Core> core = state_->core;
  core->Sweep();
  const uint64 identifier = request->GetIdentifier();
  // The same request again: whatever was under way for it is stale.
  core->Drop(identifier);
  core->handlers.erase(identifier);

  std::shared_ptr<RequestData> data = std::make_shared<RequestData>();
  data->core = core;
  data->url = core->url_filter.Run(request->GetURL().ToString());
  data->browser = browser;
  data->frame = frame;
  data->request = request;
  data->callback = callback;
  data->identifier = identifier;
  data->url_filter = core->url_filter;
  data->mime_type_resolver = core->mime_type_resolver;
  std::unique_ptr<Request::State> state(new Request::State());
  state->data = data;
  Pending p{new Request(std::move(state)), data};
  core->pending[identifier] = p;
  core->Offer(p, 0);
  core->ScheduleSweep();
  return RV_CONTINUE_ASYNC;
}

CefRefPtr<CefResourceHandler> CefResourceManager::GetResourceHandler(CefRefPtr<CefBrowser> browser,
                                                                     CefRefPtr<CefFrame> frame,
                                                                     CefRefPtr<CefRequest> request) {
  if (!CefCurrentlyOn(TID_IO) || !request) {
    LOG(WARNING) << "CefResourceManager::GetResourceHandler: needs the IO thread and a request";
    return nullptr;
  }
  std::shared_ptr<Core> core = state_->core;
  core->Sweep();
  auto it = core->handlers.find(request->GetIdentifier());
  if (it == core->handlers.end())
    return nullptr;
  CefRefPtr<CefResourceHandler> handler = it->second.handler;
  core->handlers.erase(it);
  return handler;
}
