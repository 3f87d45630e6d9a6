#include "engine/v8_context.h"

#include <algorithm>
#include <mutex>

#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/task_threads.h"
#include "engine/v8_value.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

struct Registry {
  std::mutex mutex;
  std::vector<std::shared_ptr<ContextState>> live;  // creation order
};

Registry& TheRegistry() {
  static Registry* registry = new Registry();
  return *registry;
}

// A plain pointer keeps the thread-local trivial; the vector goes when the stack empties.
thread_local std::vector<std::shared_ptr<ContextState>>* t_entered = nullptr;

bool OnContextThread(const ContextState& state, const char* method) {
  if (GetCurrentThreadId() == state.thread)
    return true;
  CEFENGINE_MISUSE(std::string("CefV8Context::") + method + " called off the context's thread");
  return false;
}

class V8ContextImpl : public CefV8Context {
 public:
  explicit V8ContextImpl(std::shared_ptr<ContextState> state) : state_(std::move(state)) {}
  const std::shared_ptr<ContextState>& state() const { return state_; }

  bool IsValid() override { return OnContextThread(*state_, "IsValid") && state_->valid; }
  CefRefPtr<CefBrowser> GetBrowser() override { return state_->browser; }
  CefRefPtr<CefFrame> GetFrame() override { return state_->frame; }
  CefRefPtr<CefV8Value> GetGlobal() override {
    if (!OnContextThread(*state_, "GetGlobal"))
      return nullptr;
    // Also for a released context: its global is then an invalid value, so a walk over released
    // contexts finds nothing instead of a null pointer.
    return WrapValue(state_->global);
  }
  bool Enter() override {
    if (!OnContextThread(*state_, "Enter") || !state_->valid)
      return false;
    PushEnteredContext(state_);
    return true;
  }
  bool Exit() override {
    if (!OnContextThread(*state_, "Exit"))
      return false;
    if (!PopEnteredContext(state_)) {
      CEFENGINE_MISUSE("CefV8Context::Exit without a matching Enter");
      return false;
    }
    return true;
  }
  bool IsSame(CefRefPtr<CefV8Context> that) override { return ContextStateOf(that) == state_; }
  bool Eval(const CefString& code, CefRefPtr<CefV8Value>& retval, CefRefPtr<CefV8Exception>& exception) override {
    retval = nullptr;
    exception = nullptr;
    if (!OnContextThread(*state_, "Eval") || !state_->valid)
      return false;
    // This engine models values but has no interpreter: report it like a script error.
    Record("Eval", state_->browser_id, state_->frame_id, {code.ToString()});
    LOG(WARNING) << "CefV8Context::Eval is not available: the engine has no script interpreter";
    exception = CreateV8Exception(L"Eval is not available: the engine has no script interpreter");
    return false;
  }

 private:
  std::shared_ptr<ContextState> state_;
  IMPLEMENT_REFCOUNTING(V8ContextImpl);
};

}  // namespace

CefRefPtr<CefV8Context> WrapContext(std::shared_ptr<ContextState> state) {
  if (!state)
    return nullptr;
  return new V8ContextImpl(std::move(state));
}

std::shared_ptr<ContextState> ContextStateOf(CefRefPtr<CefV8Context> context) {
  auto* impl = dynamic_cast<V8ContextImpl*>(context.get());
  return impl ? impl->state() : nullptr;
}

void PushEnteredContext(std::shared_ptr<ContextState> context) {
  if (!t_entered)
    t_entered = new std::vector<std::shared_ptr<ContextState>>();
  t_entered->push_back(std::move(context));
}

bool PopEnteredContext(const std::shared_ptr<ContextState>& context) {
  if (!t_entered || t_entered->empty() || t_entered->back() != context)
    return false;
  t_entered->pop_back();
  if (t_entered->empty()) {
    delete t_entered;
    t_entered = nullptr;
  }
  return true;
}

std::shared_ptr<ContextState> InnermostContext() {
  return t_entered ? t_entered->back() : nullptr;
}

CefRefPtr<CefV8Context> CreateFrameContext(int64 context_id, CefRefPtr<CefBrowser> browser,
                                           CefRefPtr<CefFrame> frame) {
  if (!CurrentlyOn(TID_RENDERER)) {
    LOG(ERROR) << "CreateFrameContext called off the renderer thread";
    return nullptr;
  }
  if (context_id == 0) {
    LOG(ERROR) << "CreateFrameContext with context id 0";
    return nullptr;
  }
  auto state = std::make_shared<ContextState>();
  state->id = context_id;
  state->browser = browser;
  state->frame = frame;
  state->browser_id = browser ? browser->GetIdentifier() : 0;
  state->frame_id = frame ? frame->GetIdentifier() : 0;
  state->thread = GetCurrentThreadId();
  state->global = NewGlobalObject(state);
  Registry& registry = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    for (const auto& live : registry.live) {
      if (live->id == context_id) {
        LOG(ERROR) << "CreateFrameContext: context id " << context_id << " is already live";
        return nullptr;
      }
    }
    registry.live.push_back(state);
  }
  return WrapContext(state);
}

bool ReleaseFrameContext(int64 context_id) {
  std::shared_ptr<ContextState> state;
  Registry& registry = TheRegistry();
  {
    std::lock_guard<std::mutex> lock(registry.mutex);
    auto it = std::find_if(registry.live.begin(), registry.live.end(),
                           [context_id](const std::shared_ptr<ContextState>& s) { return s->id == context_id; });
    if (it == registry.live.end())
      return false;
    // The model is not locked: only the context's own thread may take it apart.
    if (GetCurrentThreadId() != (*it)->thread) {
      CEFENGINE_MISUSE("ReleaseFrameContext called off the context's thread");
      return false;
    }
    state = *it;
    registry.live.erase(it);
  }
  InvalidateContext(state);
  return true;
}

CefRefPtr<CefV8Context> FindContext(int64 context_id) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (const auto& live : registry.live) {
    if (live->id == context_id)
      return WrapContext(live);
  }
  return nullptr;
}

CefRefPtr<CefV8Context> FindFrameContext(int browser_id, int64 frame_id) {
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (auto it = registry.live.rbegin(); it != registry.live.rend(); ++it) {
    if ((*it)->browser_id == browser_id && (*it)->frame_id == frame_id)
      return WrapContext(*it);
  }
  return nullptr;
}

std::vector<int64> LiveContextIds(int browser_id) {
  std::vector<int64> ids;
  Registry& registry = TheRegistry();
  std::lock_guard<std::mutex> lock(registry.mutex);
  for (const auto& live : registry.live) {
    if (browser_id == 0 || live->browser_id == browser_id)
      ids.push_back(live->id);
  }
  return ids;
}

int64 ContextId(CefRefPtr<CefV8Context> context) {
  std::shared_ptr<ContextState> state = ContextStateOf(context);
  return state ? state->id : 0;
}

}  // namespace cefengine

// static
CefRefPtr<CefV8Context> CefV8Context::GetCurrentContext() {
  // Every function call enters its own context, so the running code's context is the innermost.
  return cefengine::WrapContext(cefengine::InnermostContext());
}

// static
CefRefPtr<CefV8Context> CefV8Context::GetEnteredContext() {
  return cefengine::WrapContext(cefengine::InnermostContext());
}

// static
bool CefV8Context::InContext() {
  return cefengine::InnermostContext() != nullptr;
}
