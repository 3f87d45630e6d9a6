// Renderer side of the message router: the page functions window.cefQuery and
// window.cefQueryCancel (names from the config), the queries they start, and the answers the
// browser side sends back. Written against the public API only; TID_RENDERER throughout.
//
// Each context gets a number of its own; request ids count per context from 1. An answer runs
// the page's onSuccess / onFailure inside the context that made the query. A released context
// forgets its queries and tells the browser side, whose handlers then hear OnQueryCanceled.
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_message_router.h"
#include "wrapper/message_router_messages.h"

namespace cefengine {
namespace {

const char kInvalidArguments[] = "Invalid arguments";

struct PageQuery {
  CefRefPtr<CefV8Value> on_success;
  CefRefPtr<CefV8Value> on_failure;
  bool persistent = false;
};

struct ContextState {
  int context_id = 0;
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
  CefRefPtr<CefV8Context> context;
  int next_request_id = 1;
  std::map<int, PageQuery> queries;  // by request id
};

struct RendererCore {
  std::string query_function;
  std::string cancel_function;
  std::string query_message;
  std::string cancel_message;
  std::map<int, ContextState> contexts;  // by context id
  int next_context_id = 1;

  ContextState* Find(CefRefPtr<CefV8Context> context) {
    if (!context)
      return nullptr;
    for (auto& kv : contexts) {
      if (kv.second.context->IsSame(context))
        return &kv.second;
    }
    return nullptr;
  }

  ContextState* Find(int browser_id, int context_id) {
    auto it = contexts.find(context_id);
    if (it == contexts.end() || it->second.browser->GetIdentifier() != browser_id)
      return nullptr;
    return &it->second;
  }

  bool SendCancel(ContextState& state, int request_id) {
    CefRefPtr<CefProcessMessage> message = router::MakeCancelMessage(cancel_message, state.context_id, request_id);
    return message && state.browser->SendProcessMessage(PID_BROWSER, message);
  }

  // cefQuery({request, persistent, onSuccess, onFailure}) -> request id.
  bool Query(ContextState& state, const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
             CefString& exception) {
    if (arguments.size() != 1 || !arguments[0] || !arguments[0]->IsObject()) {
      exception = kInvalidArguments;
      return true;
    }
    CefRefPtr<CefV8Value> options = arguments[0];
    CefRefPtr<CefV8Value> request = Member(options, "request");
    CefRefPtr<CefV8Value> persistent = Member(options, "persistent");
    CefRefPtr<CefV8Value> on_success = Member(options, "onSuccess");
    CefRefPtr<CefV8Value> on_failure = Member(options, "onFailure");
    if (!request || !request->IsString() || (persistent && !persistent->IsBool()) ||
        (on_success && !on_success->IsFunction()) || (on_failure && !on_failure->IsFunction())) {
      exception = kInvalidArguments;
      return true;
    }

    const int request_id = state.next_request_id++;
    PageQuery query;
    query.on_success = on_success;
    query.on_failure = on_failure;
    query.persistent = persistent && persistent->GetBoolValue();

    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(query_message);
    bool sent = false;
    if (message) {
      const int64 frame_id = state.frame ? state.frame->GetIdentifier() : 0;
      CefRefPtr<CefListValue> args = message->GetArgumentList();
      args->SetInt(router::kQueryContext, state.context_id);
      args->SetInt(router::kQueryRequestId, request_id);
      args->SetString(router::kQueryRequest, request->GetStringValue());
      args->SetBool(router::kQueryPersistent, query.persistent);
      args->SetInt(router::kQueryFrameLow, CefInt64GetLow(frame_id));
      args->SetInt(router::kQueryFrameHigh, CefInt64GetHigh(frame_id));
      sent = state.browser->SendProcessMessage(PID_BROWSER, message);
    }
    if (sent)
      state.queries[request_id] = query;
    else
      LOG(WARNING) << "CefMessageRouterRendererSide: query " << request_id << " could not be sent";
    retval = CefV8Value::CreateInt(request_id);
    return true;
  }

  // cefQueryCancel(id) -> true when the query was pending.
  bool CancelQuery(ContextState& state, const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
                   CefString& exception) {
    if (arguments.size() != 1 || !arguments[0] || !arguments[0]->IsInt()) {
      exception = kInvalidArguments;
      return true;
    }
    const int request_id = arguments[0]->GetIntValue();
    const bool pending = state.queries.erase(request_id) > 0;
    if (pending)
      SendCancel(state, request_id);
    retval = CefV8Value::CreateBool(pending);
    return true;
  }

  // An answer from the browser side: the page's callback runs inside its context.
  void Answer(int browser_id, CefRefPtr<CefListValue> args) {
    if (args->GetSize() < 4 || args->GetType(router::kAnswerContext) != VTYPE_INT ||
        args->GetType(router::kAnswerRequestId) != VTYPE_INT || args->GetType(router::kAnswerSuccess) != VTYPE_BOOL) {
      LOG(WARNING) << "CefMessageRouterRendererSide: malformed answer dropped";
      return;
    }
    ContextState* state = Find(browser_id, args->GetInt(router::kAnswerContext));
    if (!state)
      return;
    auto it = state->queries.find(args->GetInt(router::kAnswerRequestId));
    if (it == state->queries.end())
      return;  // cancelled by the page meanwhile
    PageQuery query = it->second;
    const bool success = args->GetBool(router::kAnswerSuccess);
    // Ended before the page's callback runs: the callback may start new queries.
    if (!success || !query.persistent)
      state->queries.erase(it);
    CefRefPtr<CefV8Context> context = state->context;

    CefV8ValueList call;
    CefRefPtr<CefV8Value> callback;
    if (success) {
      callback = query.on_success;
      call.push_back(CefV8Value::CreateString(args->GetString(router::kAnswerResponse)));
    } else {
      callback = query.on_failure;
      call.push_back(CefV8Value::CreateInt(args->GetInt(router::kAnswerErrorCode)));
      call.push_back(CefV8Value::CreateString(args->GetString(router::kAnswerErrorMessage)));
    }
    if (callback && context->IsValid())
      callback->ExecuteFunctionWithContext(context, nullptr, call);
  }

  static CefRefPtr<CefV8Value> Member(CefRefPtr<CefV8Value> object, const char* key) {
    if (!object->HasValue(key))
      return nullptr;
    CefRefPtr<CefV8Value> value = object->GetValue(key);
    // An explicit undefined counts as absent, as it would for page script.
    if (!value || value->IsUndefined())
      return nullptr;
    return value;
  }
};

// The native side of the two page functions.
class PageFunctions : public CefV8Handler {
 public:
  explicit PageFunctions(std::weak_ptr<RendererCore> core) : core_(std::move(core)) {}

  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    std::shared_ptr<RendererCore> core = core_.lock();
    if (!core)
      return false;  // the router is gone: the functions do nothing
    ContextState* state = core->Find(CefV8Context::GetCurrentContext());
    if (!state)
      return false;
    if (name == core->query_function)
      return core->Query(*state, arguments, retval, exception);
    if (name == core->cancel_function)
      return core->CancelQuery(*state, arguments, retval, exception);
    return false;
  }

 private:
  const std::weak_ptr<RendererCore> core_;
  IMPLEMENT_REFCOUNTING(PageFunctions);
};

bool OnRenderer(const char* what) { return router::CalledOn(TID_RENDERER, "CefMessageRouterRendererSide", what); }

class RendererSideRouter : public CefMessageRouterRendererSide {
 public:
  explicit RendererSideRouter(const CefMessageRouterConfig& config) : core_(std::make_shared<RendererCore>()) {
    core_->query_function = config.js_query_function.ToString();
    core_->cancel_function = config.js_cancel_function.ToString();
    core_->query_message = router::QueryMessageName(config);
    core_->cancel_message = router::CancelMessageName(config);
    functions_ = new PageFunctions(core_);
  }

  int GetPendingCount(CefRefPtr<CefBrowser> browser, CefRefPtr<CefV8Context> context) override {
    if (!OnRenderer("GetPendingCount"))
      return 0;
    int count = 0;
    for (auto& kv : core_->contexts) {
      const ContextState& state = kv.second;
      if (browser && state.browser->GetIdentifier() != browser->GetIdentifier())
        continue;
      if (context && !state.context->IsSame(context))
        continue;
      count += static_cast<int>(state.queries.size());
    }
    return count;
  }

  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    if (!OnRenderer("OnContextCreated") || !browser || !context || core_->Find(context))
      return;
    // Objects can only be made inside the context.
    if (!context->Enter()) {
      LOG(WARNING) << "CefMessageRouterRendererSide::OnContextCreated: the context cannot be entered";
      return;
    }
    CefRefPtr<CefV8Value> global = context->GetGlobal();
    const cef_v8_propertyattribute_t attributes = static_cast<cef_v8_propertyattribute_t>(
        V8_PROPERTY_ATTRIBUTE_READONLY | V8_PROPERTY_ATTRIBUTE_DONTENUM | V8_PROPERTY_ATTRIBUTE_DONTDELETE);
    CefRefPtr<CefV8Value> query = CefV8Value::CreateFunction(core_->query_function, functions_.get());
    CefRefPtr<CefV8Value> cancel = CefV8Value::CreateFunction(core_->cancel_function, functions_.get());
    const bool installed = global && query && cancel && global->SetValue(core_->query_function, query, attributes) &&
                           global->SetValue(core_->cancel_function, cancel, attributes);
    context->Exit();
    if (!installed) {
      LOG(WARNING) << "CefMessageRouterRendererSide::OnContextCreated: the page functions were not installed";
      return;
    }
    ContextState state;
    state.context_id = core_->next_context_id++;
    state.browser = browser;
    state.frame = frame;
    state.context = context;
    core_->contexts[state.context_id] = state;
  }

  void OnContextReleased(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                         CefRefPtr<CefV8Context> context) override {
    if (!OnRenderer("OnContextReleased"))
      return;
    ContextState* state = core_->Find(context);
    if (!state)
      return;
    if (!state->queries.empty())
      core_->SendCancel(*state, router::kAllRequests);
    core_->contexts.erase(state->context_id);
  }

  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    if (!browser || !message || source_process != PID_BROWSER)
      return false;
    const std::string name = message->GetName().ToString();
    if (name != core_->query_message && name != core_->cancel_message)
      return false;
    if (!OnRenderer("OnProcessMessageReceived"))
      return false;
    std::shared_ptr<RendererCore> keep = core_;  // a page callback may release the router
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    if (name == keep->query_message) {
      keep->Answer(browser->GetIdentifier(), args);
    } else if (args->GetSize() == router::kCancelArgCount) {
      if (ContextState* state = keep->Find(browser->GetIdentifier(), args->GetInt(router::kCancelContext)))
        state->queries.erase(args->GetInt(router::kCancelRequestId));
    }
    return true;
  }

 private:
  std::shared_ptr<RendererCore> core_;
  CefRefPtr<PageFunctions> functions_;
};

}  // namespace
}  // namespace cefengine

CefRefPtr<CefMessageRouterRendererSide> CefMessageRouterRendererSide::Create(const CefMessageRouterConfig& config) {
  if (!cefengine::router::ValidConfig(config, "CefMessageRouterRendererSide"))
    return nullptr;
  return new cefengine::RendererSideRouter(config);
}
