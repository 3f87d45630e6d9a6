#include "render/sync_caller_v8_handler.h"

#include <windows.h>

#include <string>

#include "base/common_util.h"
#include "base/log.h"
#include "product/host_product_info.h"
#include "render/process_messages.h"

namespace client {
namespace render_sync_call {

namespace {

volatile LONG g_executeId = 0;

// Script never hands over a null pointer, but a value may be script's null.
bool IsPresent(const CefRefPtr<CefV8Value>& value) {
  return value && !value->IsNull();
}

// Only strings carry text: a number or an object gives "".
CefString TextOf(const CefRefPtr<CefV8Value>& value) {
  return value ? value->GetStringValue() : CefString();
}

bool SendToBrowser(const CefRefPtr<CefV8Context>& context, const CefRefPtr<CefProcessMessage>& message) {
  CefRefPtr<CefBrowser> browser = context->GetBrowser();
  return browser && browser->SendProcessMessage(PID_BROWSER, message);
}

CefRefPtr<CefV8Value> IdText(int id) {
  return CefV8Value::CreateString(std::to_wstring(id));
}

// `prefix` and `value` in `digits` upper-case hexadecimal digits.
void AppendHexEscape(std::wstring* out, const wchar_t* prefix, unsigned value, int digits) {
  static const wchar_t kDigits[] = L"0123456789ABCDEF";
  *out += prefix;
  for (int shift = 4 * (digits - 1); shift >= 0; shift -= 4)
    *out += kDigits[(value >> shift) & 0xF];
}

// A page's text for the main log with its control characters (C0, DEL, C1 and the Unicode line
// and paragraph separators) written as escapes, so that it cannot start lines of its own; the
// rest of the text, backslashes included, is kept as it stands.
std::wstring EscapeControlCharacters(const std::wstring& text) {
  std::wstring out;
  out.reserve(text.size());
  for (wchar_t c : text) {
    if (c == L'\r')
      out += L"\\r";
    else if (c == L'\n')
      out += L"\\n";
    else if (c == L'\t')
      out += L"\\t";
    else if (c < 0x20 || (c >= 0x7F && c <= 0x9F))
      AppendHexEscape(&out, L"\\x", c, 2);
    else if (c == 0x2028 || c == 0x2029)
      AppendHexEscape(&out, L"\\u", c, 4);
    else
      out += c;
  }
  return out;
}

}  // namespace

int TakeExecuteId() {
  return static_cast<int>(InterlockedIncrement(&g_executeId));
}

SynCallerV8Handler::SynCallerV8Handler(std::shared_ptr<FunctionRegistry> registry) : registry_(std::move(registry)) {}

bool SynCallerV8Handler::Execute(const CefString& name, CefRefPtr<CefV8Value> object,
                                 const CefV8ValueList& arguments, CefRefPtr<CefV8Value>& retval,
                                 CefString& exception) {
  const std::wstring method = name.ToWString();
  LogInfoW(L"external.Execute name=%s", method.c_str());

  Outcome outcome = Outcome::kServed;
  if (method == L"GetChannel") {
    retval = CefV8Value::CreateString(HostProductInfo::GetChannel(L"..\\").GetString());
  } else if (method == L"GetMID") {
    retval = CefV8Value::CreateString(HostProductInfo::GetMid().GetString());
  } else if (method == L"GetVersion") {
    retval = CefV8Value::CreateString(HostProductInfo::GetHostVersion(L"..\\").GetString());
  } else if (method == L"GetKernelType") {
    retval = CefV8Value::CreateString("cef");
  } else if (method == L"GetKernelVersion") {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    retval = CefV8Value::CreateString(CommonUtil::GetFileVersion(path, FALSE).GetString());
  } else if (method == L"Log") {
    outcome = Log(arguments);
  } else if (method == L"RegisterFunction") {
    outcome = RegisterFunction(arguments);
  } else if (method == L"UnregisterAllFunction") {
    outcome = UnregisterAllFunction();
  } else if (method == L"UnregisterAllFunctionEx") {
    outcome = UnregisterAllFunctionEx();
  } else if (method == L"Execute") {
    outcome = ExecuteHostMethod(arguments, retval);
  } else if (method == L"RegisterDragAreaList") {
    outcome = SendText(process_message::kDragAreaList, arguments);
  } else if (method == L"SetBrowserPos") {
    outcome = SendText(process_message::kSetBrowserPos, arguments);
  } else {
    outcome = CallAddedMethod(name, arguments, retval);
  }

  switch (outcome) {
    case Outcome::kServed:
      return true;
    case Outcome::kInvalidArguments:
      exception = L"Invalid arguments: " + method;
      break;
    case Outcome::kInvalidCallee:
      exception = "Invalid callee function";
      break;
    case Outcome::kFailed:
      exception = L"Unknown method call: " + method;
      break;
  }
  // The page gets undefined, never an exception: only the log shows the failed call.
  retval = nullptr;
  return false;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::Log(const CefV8ValueList& arguments) {
  if (arguments.size() != 1 || !IsPresent(arguments[0]))
    return Outcome::kInvalidArguments;
  LogInfoW(L"external.Log: %s", EscapeControlCharacters(TextOf(arguments[0]).ToWString()).c_str());
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::RegisterFunction(const CefV8ValueList& arguments) {
  if (arguments.empty() || !IsPresent(arguments[0]))
    return Outcome::kInvalidArguments;
  CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
  if (!arguments[0]->IsFunction() || !context)
    return Outcome::kInvalidArguments;

  const CefString function_name = arguments[0]->GetFunctionName();
  CefString key;
  if (arguments.size() >= 2 && IsPresent(arguments[1]))
    key = TextOf(arguments[1]);
  if (key.empty())
    key = function_name;
  LogInfoW(L"external.RegisterFunction(%s, %s)", function_name.ToWString().c_str(), key.ToWString().c_str());

  // One function per key in the whole renderer: the newest registration wins.
  RemoveExistRegisteredFunction(*registry_, key);
  registry_->Get(context)[key] = arguments[0];
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::UnregisterAllFunction() {
  // Also drops the context's pending callbacks, which share its entry.
  CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
  if (context)
    registry_->Erase(context);
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::UnregisterAllFunctionEx() {
  for (FunctionRegistry::Entry& entry : registry_->entries())
    entry.value.clear();
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::ExecuteHostMethod(const CefV8ValueList& arguments,
                                                                  CefRefPtr<CefV8Value>& retval) {
  if (arguments.size() < 2 || !IsPresent(arguments[0]) || !IsPresent(arguments[1]) || !arguments[1]->IsFunction())
    return Outcome::kInvalidArguments;
  const CefString method = TextOf(arguments[0]);
  if (method.empty())
    return Outcome::kInvalidCallee;

  const CefString key = MakeCallbackKey(arguments[1]);
  const int id = TakeExecuteId();
  LogInfoW(L"external.Execute.%s, callback:%s, execute_id=%d", method.ToWString().c_str(), key.ToWString().c_str(),
           id);
  // From here on a failure leaves the id used, and the callback stored once it is.
  CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
  if (!context)
    return Outcome::kFailed;
  RegisterCallbackFunction(*registry_, context, key, arguments[1]);

  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(process_message::kCallHost);
  if (!message)
    return Outcome::kFailed;
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  list->SetSize(arguments.size() + 1);
  list->SetInt(process_message::kCallHostExecuteId, id);
  list->SetString(process_message::kCallHostMethod, method);
  list->SetString(process_message::kCallHostCallbackKey, key);
  for (size_t i = 2; i < arguments.size(); ++i)
    list->SetString(process_message::kCallHostFirstArgument + i - 2, TextOf(arguments[i]));
  if (!SendToBrowser(context, message))
    return Outcome::kFailed;
  retval = IdText(id);
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::SendText(const char* message_name,
                                                         const CefV8ValueList& arguments) {
  if (arguments.size() != 1 || !IsPresent(arguments[0]))
    return Outcome::kInvalidArguments;
  CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
  if (!context)
    return Outcome::kFailed;
  // Nothing for the page to act on: a message that cannot be made or sent is only missed.
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(message_name);
  if (!message)
    return Outcome::kServed;
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  list->SetSize(1);
  list->SetString(0, TextOf(arguments[0]));
  SendToBrowser(context, message);
  return Outcome::kServed;
}

SynCallerV8Handler::Outcome SynCallerV8Handler::CallAddedMethod(const CefString& name,
                                                                const CefV8ValueList& arguments,
                                                                CefRefPtr<CefV8Value>& retval) {
  CefRefPtr<CefV8Context> context = CefV8Context::GetCurrentContext();
  if (!context)
    return Outcome::kFailed;
  CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(process_message::kCallHost);
  if (!message)
    return Outcome::kFailed;

  const bool has_callback = !arguments.empty() && IsPresent(arguments[0]) && arguments[0]->IsFunction();
  const size_t first_argument = has_callback ? 1 : 0;
  CefRefPtr<CefListValue> list = message->GetArgumentList();
  list->SetSize(arguments.size() - first_argument + process_message::kCallHostFirstArgument);
  int id = 0;
  CefString key;
  if (has_callback) {
    id = TakeExecuteId();
    key = MakeCallbackKey(arguments[0]);
    LogInfoW(L"external.%s, callback:%s, execute_id=%d", name.ToWString().c_str(), key.ToWString().c_str(), id);
    RegisterCallbackFunction(*registry_, context, key, arguments[0]);
  }
  list->SetInt(process_message::kCallHostExecuteId, id);
  list->SetString(process_message::kCallHostMethod, name);
  list->SetString(process_message::kCallHostCallbackKey, key);
  for (size_t i = first_argument; i < arguments.size(); ++i)
    list->SetString(process_message::kCallHostFirstArgument + i - first_argument, TextOf(arguments[i]));
  if (!SendToBrowser(context, message))
    return Outcome::kFailed;
  // The message carries 0 when no callback waits; the page sees -1.
  retval = IdText(has_callback ? id : -1);
  return Outcome::kServed;
}

}  // namespace render_sync_call
}  // namespace client
