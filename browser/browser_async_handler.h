// The browser side's answers to page queries through CEF's message router ("cefQuery"): only
// the binding test, a query starting "BindingTest" answered with the rest reversed.
#pragma once

#include <set>

#include "include/wrapper/cef_message_router.h"

namespace browser_aysnc_handler {

// Adds one new handler to `handlers`. The set's owner registers each handler with its router
// and deletes them when the router goes.
void CreateMessageHandlers(std::set<CefMessageRouterBrowserSide::Handler*>& handlers);

}  // namespace browser_aysnc_handler
