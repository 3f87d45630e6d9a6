// The process messages of the message router, shared by its browser and renderer sides.
//
//   renderer -> browser  <query>Msg   [context id, request id, request, persistent, frame id low, frame id high]
//   renderer -> browser  <cancel>Msg  [context id, request id]      request id -1: every query of the context
//   browser -> renderer  <query>Msg   [context id, request id, true, response]
//                                     [context id, request id, false, error code, error message]
//   browser -> renderer  <cancel>Msg  [context id, request id]      the browser side dropped the query
//
// <query> and <cancel> are the page function names of CefMessageRouterConfig. Context ids are
// the renderer side's own numbers; request ids count per context from 1.
#ifndef CEF_WRAPPER_MESSAGE_ROUTER_MESSAGES_H_
#define CEF_WRAPPER_MESSAGE_ROUTER_MESSAGES_H_

#include <string>

#include "include/base/cef_logging.h"
#include "include/cef_task.h"
#include "include/wrapper/cef_message_router.h"

namespace cefengine {
namespace router {

// Argument positions.
enum QueryArg { kQueryContext = 0, kQueryRequestId, kQueryRequest, kQueryPersistent, kQueryFrameLow, kQueryFrameHigh,
                kQueryArgCount };
enum CancelArg { kCancelContext = 0, kCancelRequestId, kCancelArgCount };
enum AnswerArg { kAnswerContext = 0, kAnswerRequestId, kAnswerSuccess, kAnswerResponse, kAnswerErrorCode = kAnswerResponse,
                 kAnswerErrorMessage };

// Request id of a renderer cancel that covers every query of its context.
const int kAllRequests = -1;

inline std::string QueryMessageName(const CefMessageRouterConfig& config) {
  return config.js_query_function.ToString() + "Msg";
}
inline std::string CancelMessageName(const CefMessageRouterConfig& config) {
  return config.js_cancel_function.ToString() + "Msg";
}

// False, with a WARNING naming `side` and `what`, unless the caller runs on `thread`.
inline bool CalledOn(CefThreadId thread, const char* side, const char* what) {
  if (CefCurrentlyOn(thread))
    return true;
  LOG(WARNING) << side << "::" << what << " called on the wrong thread";
  return false;
}

// Both page function names set and different; else a WARNING naming `side`.
inline bool ValidConfig(const CefMessageRouterConfig& config, const char* side) {
  if (!config.js_query_function.empty() && !config.js_cancel_function.empty() &&
      config.js_query_function != config.js_cancel_function)
    return true;
  LOG(WARNING) << side << "::Create: the page function names must differ and not be empty";
  return false;
}

// A cancel message [context id, request id] named `name`; null when it cannot be made.
inline CefRefPtr<CefProcessMessage> MakeCancelMessage(const std::string& name, int context_id, int request_id) {
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(name);
  if (message) {
    message->GetArgumentList()->SetInt(kCancelContext, context_id);
    message->GetArgumentList()->SetInt(kCancelRequestId, request_id);
  }
  return message;
}

}  // namespace router
}  // namespace cefengine

#endif  // CEF_WRAPPER_MESSAGE_ROUTER_MESSAGES_H_
