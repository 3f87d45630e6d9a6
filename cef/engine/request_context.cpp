#include "engine/request_context.h"

#include <algorithm>
#include <mutex>
#include <vector>

#include "engine/context.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/utf.h"
#include "include/cef_scheme.h"

namespace cefengine {

namespace {

// What contexts that share storage have in common.
struct Storage {
  std::wstring cache_path;
};

class RequestContextImpl : public CefRequestContext {
 public:
  RequestContextImpl(std::shared_ptr<Storage> storage, std::wstring cache_path,
                     CefRefPtr<CefRequestContextHandler> handler, bool global)
      : storage_(std::move(storage)), cache_path_(std::move(cache_path)), handler_(handler), global_(global) {}

  const std::shared_ptr<Storage>& storage() const { return storage_; }

  bool IsSame(CefRefPtr<CefRequestContext> other) override {
    return other.get() == static_cast<CefRequestContext*>(this);
  }
  bool IsSharingWith(CefRefPtr<CefRequestContext> other) override {
    RequestContextImpl* impl = dynamic_cast<RequestContextImpl*>(other.get());
    return impl && impl->storage_ == storage_;
  }
  bool IsGlobal() override { return global_; }
  CefRefPtr<CefRequestContextHandler> GetHandler() override { return handler_; }
  CefString GetCachePath() override { return cache_path_; }

  // Every context's default store is the process's one store.
  CefRefPtr<CefCookieManager> GetDefaultCookieManager(CefRefPtr<CefCompletionCallback> callback) override {
    return CefCookieManager::GetGlobalManager(callback);
  }

  // Scheme handler factories live in one process-wide table that every context shares.
  bool RegisterSchemeHandlerFactory(const CefString& scheme_name, const CefString& domain_name,
                                    CefRefPtr<CefSchemeHandlerFactory> factory) override {
    return CefRegisterSchemeHandlerFactory(scheme_name, domain_name, factory);
  }
  bool ClearSchemeHandlerFactories() override { return CefClearSchemeHandlerFactories(); }

 private:
  std::shared_ptr<Storage> storage_;
  const std::wstring cache_path_;  // as given, which may differ from the storage's in letter case
  CefRefPtr<CefRequestContextHandler> handler_;
  const bool global_;
  IMPLEMENT_REFCOUNTING(RequestContextImpl);
};

struct ContextsState {
  std::mutex mutex;
  CefRefPtr<RequestContextImpl> global;
  // Storage by cache path, so that contexts naming the same folder share it.
  std::vector<std::weak_ptr<Storage>> storages;
};

ContextsState& State() {
  static ContextsState* state = new ContextsState();
  return *state;
}

// Lock held.
std::shared_ptr<Storage> StorageFor(ContextsState& state, const std::wstring& cache_path) {
  state.storages.erase(std::remove_if(state.storages.begin(), state.storages.end(),
                                      [](const std::weak_ptr<Storage>& w) { return w.expired(); }),
                       state.storages.end());
  if (!cache_path.empty()) {
    for (const std::weak_ptr<Storage>& w : state.storages) {
      std::shared_ptr<Storage> s = w.lock();
      if (s && AsciiLower(s->cache_path) == AsciiLower(cache_path))
        return s;
    }
  }
  auto storage = std::make_shared<Storage>();
  storage->cache_path = cache_path;
  state.storages.push_back(storage);
  return storage;
}

}  // namespace

void StartRequestContexts(const std::wstring& cache_path) {
  OpenGlobalCookies();
  ContextsState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  state.storages.clear();
  state.global = new RequestContextImpl(StorageFor(state, cache_path), cache_path, nullptr, true);
}

void StopRequestContexts() {
  CefRefPtr<RequestContextImpl> global;
  {
    ContextsState& state = State();
    std::lock_guard<std::mutex> lock(state.mutex);
    global.swap(state.global);
    state.storages.clear();
  }
  CloseGlobalCookies();
}

CefRefPtr<CefRequestContext> ResolveRequestContext(CefRefPtr<CefRequestContext> context) {
  if (context)
    return context;
  ContextsState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  return state.global.get();
}

std::shared_ptr<CookieStore> CookieStoreFor(CefRefPtr<CefRequestContext> context) {
  context = ResolveRequestContext(context);
  if (!context || !GlobalCookieStore())
    return nullptr;
  CefRefPtr<CefRequestContextHandler> handler = context->GetHandler();
  CefRefPtr<CefCookieManager> manager = handler ? handler->GetCookieManager() : nullptr;
  if (!manager)
    return GlobalCookieStore();
  std::shared_ptr<CookieStore> store = StoreOfManager(manager);
  if (!store)
    LOG(WARNING) << "CookieStoreFor: the context's cookie manager is not the engine's; requests carry no cookies";
  return store;
}

}  // namespace cefengine

using namespace cefengine;

CefRefPtr<CefRequestContext> CefRequestContext::GetGlobalContext() {
  ContextsState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.global)
    LOG(WARNING) << "CefRequestContext::GetGlobalContext: the engine does not run";
  return state.global.get();
}

CefRefPtr<CefRequestContext> CefRequestContext::CreateContext(const CefRequestContextSettings& settings,
                                                              CefRefPtr<CefRequestContextHandler> handler) {
  ContextsState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  if (!state.global) {
    CEFENGINE_MISUSE("CefRequestContext::CreateContext while the engine does not run");
    return nullptr;
  }
  std::wstring cache_path = CefString(&settings.cache_path).ToWString();
  Record("CreateContext", 0, 0, {WideToUtf8(cache_path)});
  return new RequestContextImpl(StorageFor(state, cache_path), cache_path, handler, false);
}

CefRefPtr<CefRequestContext> CefRequestContext::CreateContext(CefRefPtr<CefRequestContext> other,
                                                              CefRefPtr<CefRequestContextHandler> handler) {
  ContextsState& state = State();
  std::lock_guard<std::mutex> lock(state.mutex);
  RequestContextImpl* impl = dynamic_cast<RequestContextImpl*>(other.get());
  if (!state.global || !impl) {
    CEFENGINE_MISUSE(state.global ? "CefRequestContext::CreateContext without a context to share with"
                                  : "CefRequestContext::CreateContext while the engine does not run");
    return nullptr;
  }
  std::wstring cache_path = impl->GetCachePath().ToWString();
  Record("CreateContext", 0, 0, {WideToUtf8(cache_path), "shared"});
  return new RequestContextImpl(impl->storage(), cache_path, handler, false);
}
