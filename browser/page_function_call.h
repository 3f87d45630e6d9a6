// Calls of page functions from the browser process: the process message that asks a view's
// renderer to call a function the page registered (or a callback key), and the call the
// browser makes on its own, which wants no answer.
//
// Threads: any thread that may send process messages to the browser's renderer (the main
// thread and CEF's UI thread in this program).
#pragma once

#include <list>
#include <string>
#include <vector>

#include "include/cef_browser.h"
#include "include/cef_process_message.h"

namespace client {

// The call message: [0] execute_id, [1] name, [2...] one text per argument, each cut at its
// first zero character. execute_id 0 asks the renderer for no answer. Null when the message
// cannot be created.
CefRefPtr<CefProcessMessage> MakePageFunctionCallMessage(int32 execute_id, const std::wstring& name,
                                                         const std::vector<std::wstring>& args);

// Asks the renderer of browser to call the page function name with args, in list order; no
// answer comes back. Nothing for an empty name; the message is made but not sent without a
// browser. Whether the renderer got it is not reported: the call is a notice to the page.
void CallPageFunction(CefRefPtr<CefBrowser> browser, const std::wstring& name, const std::list<std::wstring>& args);

}  // namespace client
