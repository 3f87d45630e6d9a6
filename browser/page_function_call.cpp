#include "browser/page_function_call.h"

#include "render/process_messages.h"

namespace client {

CefRefPtr<CefProcessMessage> MakePageFunctionCallMessage(int32 execute_id, const std::wstring& name,
                                                         const std::vector<std::wstring>& args) {
  CefRefPtr<CefProcessMessage> call = CefProcessMessage::Create(process_message::kCallFunction);
  if (!call) return nullptr;
  CefRefPtr<CefListValue> list = call->GetArgumentList();
  list->SetSize(args.size() + process_message::kCallFunctionFirstArgument);
  list->SetInt(process_message::kCallFunctionExecuteId, execute_id);
  list->SetString(process_message::kCallFunctionName, name);
  for (size_t i = 0; i < args.size(); ++i) {
    // A text ends at its first zero character.
    list->SetString(i + process_message::kCallFunctionFirstArgument, std::wstring(args[i].c_str()));
  }
  return call;
}

void CallPageFunction(CefRefPtr<CefBrowser> browser, const std::wstring& name, const std::list<std::wstring>& args) {
  if (name.empty()) return;
  CefRefPtr<CefProcessMessage> call =
      MakePageFunctionCallMessage(0, name, std::vector<std::wstring>(args.begin(), args.end()));
  if (!call) return;
  if (browser) browser->SendProcessMessage(PID_RENDERER, call);
}

}  // namespace client
