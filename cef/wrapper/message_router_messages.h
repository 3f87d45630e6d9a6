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

}  // namespace router
}  // namespace cefengine

#endif  // CEF_WRAPPER_MESSAGE_ROUTER_MESSAGES_H_
