// Browser side of the message router: turns query messages from page script into Handler::OnQuery
// calls and the handlers' answers back into messages for the page. Written against the public
// API only; every router call and every handler call happens on the UI thread.
//
// A query ends with its first answer unless it is persistent; a persistent query takes any
// number of successes and ends with a failure. When a query ends without an answer (handler
// removed, CancelPending, navigation of its frame) the page's side is told, so the renderer
// forgets it too; a closed browser or a dead renderer is not told anything.
#include "include/wrapper/cef_message_router.h"

#include <algorithm>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_closure_task.h"
#include "wrapper/message_router_messages.h"

namespace cefengine {
namespace {

using Handler = CefMessageRouterBrowserSide::Handler;

struct BrowserCore;

// The answer object handed to a handler; any thread. Holds the core weakly so that a handler
// keeping callbacks does not keep the router alive.
class QueryCallback : public CefMessageRouterBrowserSide::Callback {
 public:
  QueryCallback(std::weak_ptr<BrowserCore> core, int64 query_id) : core_(std::move(core)), query_id_(query_id) {}

  void Success(const CefString& response) override { Post(true, response, 0); }
  void Failure(int error_code, const CefString& error_message) override { Post(false, error_message, error_code); }

 private:
  void Post(bool success, const CefString& text, int error_code);

  const std::weak_ptr<BrowserCore> core_;
  const int64 query_id_;
  IMPLEMENT_REFCOUNTING(QueryCallback);
};

struct Query {
  CefRefPtr<CefBrowser> browser;
  CefRefPtr<CefFrame> frame;
  int browser_id = 0;
  int64 frame_id = 0;
  int context_id = 0;
  int request_id = 0;
  bool persistent = false;
  Handler* handler = nullptr;
};

// UI thread only.
struct BrowserCore {
  std::string query_message;
  std::string cancel_message;
  std::vector<Handler*> handlers;
  std::map<int64, Query> queries;  // by query id
  int64 next_query_id = 1;

  bool Registered(Handler* handler) const {
    return std::find(handlers.begin(), handlers.end(), handler) != handlers.end();
  }

  void SendAnswer(CefRefPtr<CefBrowser> browser, int context_id, int request_id, bool success,
                  const CefString& text, int error_code) {
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(query_message);
    if (!message) {
      LOG(WARNING) << "CefMessageRouterBrowserSide: cannot create the answer message";
      return;
    }
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    args->SetInt(router::kAnswerContext, context_id);
    args->SetInt(router::kAnswerRequestId, request_id);
    args->SetBool(router::kAnswerSuccess, success);
    if (success) {
      args->SetString(router::kAnswerResponse, text);
    } else {
      args->SetInt(router::kAnswerErrorCode, error_code);
      args->SetString(router::kAnswerErrorMessage, text);
    }
    if (!browser->SendProcessMessage(PID_RENDERER, message))
      LOG(WARNING) << "CefMessageRouterBrowserSide: the answer to query " << request_id << " was not sent";
  }

  void SendCancel(const Query& query) {
    CefRefPtr<CefProcessMessage> message =
        router::MakeCancelMessage(cancel_message, query.context_id, query.request_id);
    if (message)
      query.browser->SendProcessMessage(PID_RENDERER, message);
  }

  void Answer(int64 query_id, bool success, const CefString& text, int error_code) {
    auto it = queries.find(query_id);
    if (it == queries.end())
      return;  // answered, cancelled or never accepted
    Query query = it->second;
    if (!success || !query.persistent)
      queries.erase(it);
    SendAnswer(query.browser, query.context_id, query.request_id, success, text, error_code);
  }

  // Ends the matching queries; their handlers hear OnQueryCanceled. `tell_renderer` also
  // drops them on the page's side.
  void Cancel(const std::function<bool(const Query&)>& match, bool tell_renderer) {
    std::vector<std::pair<int64, Query>> ended;
    for (auto it = queries.begin(); it != queries.end();) {
      if (match(it->second)) {
        ended.emplace_back(it->first, it->second);
        it = queries.erase(it);
      } else {
        ++it;
      }
    }
    for (auto& e : ended) {
      if (tell_renderer)
        SendCancel(e.second);
      e.second.handler->OnQueryCanceled(e.second.browser, e.second.frame, e.first);
    }
  }

  void OnQueryMessage(std::shared_ptr<BrowserCore> self, CefRefPtr<CefBrowser> browser,
                      CefRefPtr<CefListValue> args) {
    if (args->GetSize() != router::kQueryArgCount || args->GetType(router::kQueryContext) != VTYPE_INT ||
        args->GetType(router::kQueryRequestId) != VTYPE_INT || args->GetType(router::kQueryRequest) != VTYPE_STRING ||
        args->GetType(router::kQueryPersistent) != VTYPE_BOOL || args->GetType(router::kQueryFrameLow) != VTYPE_INT ||
        args->GetType(router::kQueryFrameHigh) != VTYPE_INT) {
      LOG(WARNING) << "CefMessageRouterBrowserSide: malformed query message dropped";
      return;
    }
    Query query;
    query.browser = browser;
    query.browser_id = browser->GetIdentifier();
    query.frame_id = CefInt64Set(args->GetInt(router::kQueryFrameLow), args->GetInt(router::kQueryFrameHigh));
    query.frame = browser->GetFrame(query.frame_id);
    query.context_id = args->GetInt(router::kQueryContext);
    query.request_id = args->GetInt(router::kQueryRequestId);
    query.persistent = args->GetBool(router::kQueryPersistent);
    const CefString request = args->GetString(router::kQueryRequest);
    if (!query.frame) {
      LOG(WARNING) << "CefMessageRouterBrowserSide: query from a frame that is gone dropped";
      return;
    }

    const int64 query_id = next_query_id++;
    CefRefPtr<QueryCallback> callback = new QueryCallback(self, query_id);
    // A handler may add or remove handlers while it is asked.
    const std::vector<Handler*> asked = handlers;
    for (Handler* handler : asked) {
      if (!Registered(handler))
        continue;
      if (handler->OnQuery(browser, query.frame, query_id, request, query.persistent, callback.get())) {
        query.handler = handler;
        queries[query_id] = query;
        return;
      }
    }
    SendAnswer(browser, query.context_id, query.request_id, false, "Unhandled request", -1);
  }

  void OnCancelMessage(CefRefPtr<CefBrowser> browser, CefRefPtr<CefListValue> args) {
    if (args->GetSize() != router::kCancelArgCount || args->GetType(router::kCancelContext) != VTYPE_INT ||
        args->GetType(router::kCancelRequestId) != VTYPE_INT) {
      LOG(WARNING) << "CefMessageRouterBrowserSide: malformed cancel message dropped";
      return;
    }
    const int browser_id = browser->GetIdentifier();
    const int context_id = args->GetInt(router::kCancelContext);
    const int request_id = args->GetInt(router::kCancelRequestId);
    Cancel(
        [&](const Query& q) {
          return q.browser_id == browser_id && q.context_id == context_id &&
                 (request_id == router::kAllRequests || q.request_id == request_id);
        },
        false);
  }
};

void QueryCallback::Post(bool success, const CefString& text, int error_code) {
  std::weak_ptr<BrowserCore> core = core_;
  const int64 query_id = query_id_;
  // Always a task of its own, even on UI: a handler answering inside OnQuery is answered after
  // the query is registered.
  if (!CefPostTask(TID_UI, base::Closure([core, query_id, success, text, error_code]() {
        if (std::shared_ptr<BrowserCore> c = core.lock())
          c->Answer(query_id, success, text, error_code);
      }))) {
    LOG(WARNING) << "CefMessageRouterBrowserSide::Callback: the UI thread is gone";
  }
}

bool OnUI(const char* what) { return router::CalledOn(TID_UI, "CefMessageRouterBrowserSide", what); }

class BrowserSideRouter : public CefMessageRouterBrowserSide {
 public:
  explicit BrowserSideRouter(const CefMessageRouterConfig& config) : core_(std::make_shared<BrowserCore>()) {
    core_->query_message = router::QueryMessageName(config);
    core_->cancel_message = router::CancelMessageName(config);
  }

  bool AddHandler(Handler* handler, bool first) override {
    if (!OnUI("AddHandler") || !handler || core_->Registered(handler))
      return false;
    core_->handlers.insert(first ? core_->handlers.begin() : core_->handlers.end(), handler);
    return true;
  }

  bool RemoveHandler(Handler* handler) override {
    if (!OnUI("RemoveHandler") || !handler || !core_->Registered(handler))
      return false;
    std::shared_ptr<BrowserCore> keep = core_;
    keep->handlers.erase(std::find(keep->handlers.begin(), keep->handlers.end(), handler));
    keep->Cancel([handler](const Query& q) { return q.handler == handler; }, true);
    return true;
  }

  void CancelPending(CefRefPtr<CefBrowser> browser, Handler* handler) override {
    if (!OnUI("CancelPending"))
      return;
    const int browser_id = browser ? browser->GetIdentifier() : 0;
    std::shared_ptr<BrowserCore> keep = core_;
    keep->Cancel(
        [&](const Query& q) { return (!browser || q.browser_id == browser_id) && (!handler || q.handler == handler); },
        true);
  }

  int GetPendingCount(CefRefPtr<CefBrowser> browser, Handler* handler) override {
    if (!OnUI("GetPendingCount"))
      return 0;
    int count = 0;
    for (auto& kv : core_->queries) {
      const Query& q = kv.second;
      if ((!browser || q.browser_id == browser->GetIdentifier()) && (!handler || q.handler == handler))
        ++count;
    }
    return count;
  }

  void OnBeforeClose(CefRefPtr<CefBrowser> browser) override { DropBrowser(browser, "OnBeforeClose"); }
  void OnRenderProcessTerminated(CefRefPtr<CefBrowser> browser) override {
    DropBrowser(browser, "OnRenderProcessTerminated");
  }

  void OnBeforeBrowse(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame) override {
    if (!OnUI("OnBeforeBrowse") || !browser || !frame)
      return;
    const int browser_id = browser->GetIdentifier();
    const int64 frame_id = frame->GetIdentifier();
    std::shared_ptr<BrowserCore> keep = core_;
    // The page's side is told too: the navigation may still be cancelled and the page stay.
    keep->Cancel([&](const Query& q) { return q.browser_id == browser_id && q.frame_id == frame_id; }, true);
  }

  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    if (!browser || !message || source_process != PID_RENDERER)
      return false;
    const std::string name = message->GetName().ToString();
    if (name != core_->query_message && name != core_->cancel_message)
      return false;
    if (!OnUI("OnProcessMessageReceived"))
      return false;
    std::shared_ptr<BrowserCore> keep = core_;
    if (name == keep->query_message)
      keep->OnQueryMessage(keep, browser, message->GetArgumentList());
    else
      keep->OnCancelMessage(browser, message->GetArgumentList());
    return true;
  }

 private:
  // The renderer of `browser` is gone or going: nothing is sent to it.
  void DropBrowser(CefRefPtr<CefBrowser> browser, const char* what) {
    if (!OnUI(what) || !browser)
      return;
    const int browser_id = browser->GetIdentifier();
    std::shared_ptr<BrowserCore> keep = core_;
    keep->Cancel([&](const Query& q) { return q.browser_id == browser_id; }, false);
  }

  // Shared with the callbacks (weakly) and kept alive across handler calls, which may release
  // the router.
  std::shared_ptr<BrowserCore> core_;
};

}  // namespace
}  // namespace cefengine

CefRefPtr<CefMessageRouterBrowserSide> CefMessageRouterBrowserSide::Create(const CefMessageRouterConfig& config) {
  if (!cefengine::router::ValidConfig(config, "CefMessageRouterBrowserSide"))
    return nullptr;
  return new cefengine::BrowserSideRouter(config);
}
