// A browser process for the control-pipe tests, built like the product's entry point: CefExecuteProcess first (so
// this executable also serves its own --type=renderer sub-processes), then the engine, which serves the pipe named
// by BRIVELO_CEF_CONTROL, until a client sends "quit". Exit code 0 after an orderly shutdown, 2 when CefInitialize
// failed, 3 when nobody said "quit" within two minutes; as a renderer, what CefExecuteProcess returned.
//
// It adds "create_browser" {url}: a windowless browser loading that URL, created on UI; the answer comes before the
// browser exists. The browser's client cancels popups, leaves alerts to the engine, answers confirm and prompt
// dialogs a little later (accepted, input "typed"), paints into nothing, lets downloads lapse, and answers a process
// message "echo" from the renderer with "echo-reply" and the same arguments.
//
// Renderer side: every document gets a read-only global object "probe" with
//   probe.callBack(fn, args...)  calls fn(args...) and returns its result; an exception fn throws passes through
//   probe.send(name, args...)    sends the browser a process message `name` with the arguments (strings, ints,
//                                doubles and bools as such, anything else as null)
//   probe.name                   the read-only string "control-probe"
#include <windows.h>

#include "engine/control_pipe.h"
#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"
#include "include/cef_process_message.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_task.h"
#include "include/cef_v8.h"

namespace {

// Milliseconds before the client answers a confirm or prompt dialog.
const int64 kDialogAnswerDelayMs = 100;

class CallBackHandler : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    if (arguments.empty() || !arguments[0]->IsFunction()) {
      exception = "probe.callBack needs a function";
      return true;
    }
    CefV8ValueList rest(arguments.begin() + 1, arguments.end());
    CefRefPtr<CefV8Value> result = arguments[0]->ExecuteFunction(nullptr, rest);
    if (arguments[0]->HasException()) {
      exception = arguments[0]->GetException()->GetMessage();
      return true;
    }
    retval = result;
    return true;
  }
  IMPLEMENT_REFCOUNTING(CallBackHandler);
};

class SendHandler : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    if (arguments.empty() || !arguments[0]->IsString()) {
      exception = "probe.send needs a message name";
      return true;
    }
    CefRefPtr<CefProcessMessage> message = CefProcessMessage::Create(arguments[0]->GetStringValue());
    CefRefPtr<CefListValue> list = message->GetArgumentList();
    for (size_t i = 1; i < arguments.size(); ++i) {
      CefRefPtr<CefV8Value> value = arguments[i];
      if (value->IsString())
        list->SetString(i - 1, value->GetStringValue());
      else if (value->IsInt())
        list->SetInt(i - 1, value->GetIntValue());
      else if (value->IsDouble())
        list->SetDouble(i - 1, value->GetDoubleValue());
      else if (value->IsBool())
        list->SetBool(i - 1, value->GetBoolValue());
      else
        list->SetNull(i - 1);
    }
    CefRefPtr<CefBrowser> browser = CefV8Context::GetCurrentContext()->GetBrowser();
    retval = CefV8Value::CreateBool(browser && browser->SendProcessMessage(PID_BROWSER, message));
    return true;
  }
  IMPLEMENT_REFCOUNTING(SendHandler);
};

class ProbeRenderHandler : public CefRenderProcessHandler {
 public:
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    CefRefPtr<CefV8Value> probe = CefV8Value::CreateObject(nullptr);
    probe->SetValue("callBack", CefV8Value::CreateFunction("callBack", new CallBackHandler()),
                    V8_PROPERTY_ATTRIBUTE_NONE);
    probe->SetValue("send", CefV8Value::CreateFunction("send", new SendHandler()), V8_PROPERTY_ATTRIBUTE_NONE);
    probe->SetValue("name", CefV8Value::CreateString("control-probe"), V8_PROPERTY_ATTRIBUTE_READONLY);
    context->GetGlobal()->SetValue("probe", probe, V8_PROPERTY_ATTRIBUTE_READONLY);
  }
  IMPLEMENT_REFCOUNTING(ProbeRenderHandler);
};

class AnswerDialogTask : public CefTask {
 public:
  explicit AnswerDialogTask(CefRefPtr<CefJSDialogCallback> callback) : callback_(callback) {}
  void Execute() override { callback_->Continue(true, "typed"); }

 private:
  CefRefPtr<CefJSDialogCallback> callback_;
  IMPLEMENT_REFCOUNTING(AnswerDialogTask);
};

class ProbeClient : public CefClient,
                    public CefLifeSpanHandler,
                    public CefJSDialogHandler,
                    public CefKeyboardHandler,
                    public CefRenderHandler,
                    public CefDownloadHandler {
 public:
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefJSDialogHandler> GetJSDialogHandler() override { return this; }
  CefRefPtr<CefKeyboardHandler> GetKeyboardHandler() override { return this; }
  CefRefPtr<CefRenderHandler> GetRenderHandler() override { return this; }
  CefRefPtr<CefDownloadHandler> GetDownloadHandler() override { return this; }

  bool OnBeforePopup(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, const CefString& target_url,
                     const CefString& target_frame_name, WindowOpenDisposition target_disposition, bool user_gesture,
                     const CefPopupFeatures& popup_features, CefWindowInfo& window_info,
                     CefRefPtr<CefClient>& client, CefBrowserSettings& settings,
                     bool* no_javascript_access) override {
    return true;
  }

  bool OnJSDialog(CefRefPtr<CefBrowser> browser, const CefString& origin_url, const CefString& accept_lang,
                  JSDialogType dialog_type, const CefString& message_text, const CefString& default_prompt_text,
                  CefRefPtr<CefJSDialogCallback> callback, bool& suppress_message) override {
    if (dialog_type == JSDIALOGTYPE_ALERT)
      return false;
    return CefPostDelayedTask(TID_UI, new AnswerDialogTask(callback), kDialogAnswerDelayMs);
  }

  bool GetViewRect(CefRefPtr<CefBrowser> browser, CefRect& rect) override {
    rect = CefRect(0, 0, 320, 200);
    return true;
  }
  void OnPaint(CefRefPtr<CefBrowser> browser, PaintElementType type, const RectList& dirty_rects, const void* buffer,
               int width, int height) override {}

  void OnBeforeDownload(CefRefPtr<CefBrowser> browser, CefRefPtr<CefDownloadItem> download_item,
                        const CefString& suggested_name, CefRefPtr<CefBeforeDownloadCallback> callback) override {}

  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    if (message->GetName() != "echo")
      return false;
    CefRefPtr<CefProcessMessage> reply = CefProcessMessage::Create("echo-reply");
    CefRefPtr<CefListValue> args = message->GetArgumentList();
    for (size_t i = 0; args && i < args->GetSize(); ++i)
      reply->GetArgumentList()->SetValue(i, args->GetValue(i)->Copy());
    return browser->SendProcessMessage(PID_RENDERER, reply);
  }

  IMPLEMENT_REFCOUNTING(ProbeClient);
};

class ProbeApp : public CefApp, public CefBrowserProcessHandler {
 public:
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return render_handler_; }

 private:
  CefRefPtr<CefRenderProcessHandler> render_handler_ = new ProbeRenderHandler();
  IMPLEMENT_REFCOUNTING(ProbeApp);
};

}  // namespace

int main() {
  CefMainArgs main_args(GetModuleHandleW(nullptr));
  CefRefPtr<ProbeApp> app = new ProbeApp();
  // A renderer (or another sub-process) of this very program ends here, before any control pipe exists.
  int sub_process_exit = CefExecuteProcess(main_args, app.get(), nullptr);
  if (sub_process_exit >= 0)
    return sub_process_exit;

  HANDLE quit = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  cefengine::RegisterControlCommand("quit", [quit](const Json::Value&, Json::Value* result, std::string*) {
    SetEvent(quit);
    *result = true;
    return true;
  });
  cefengine::RegisterControlCommand("create_browser", [](const Json::Value& args, Json::Value* result,
                                                         std::string* error) {
    if (!args["url"].isString()) {
      *error = "create_browser needs a url";
      return false;
    }
    CefWindowInfo info;
    info.SetAsWindowless(nullptr, false);
    *result = CefBrowserHost::CreateBrowser(info, new ProbeClient(), args["url"].asString(), CefBrowserSettings(),
                                            nullptr);
    return true;
  });
  CefSettings settings;
  settings.multi_threaded_message_loop = 1;
  settings.windowless_rendering_enabled = 1;
  settings.log_severity = LOGSEVERITY_DISABLE;
  if (!CefInitialize(main_args, settings, app.get(), nullptr))
    return 2;
  bool asked = WaitForSingleObject(quit, 120000) == WAIT_OBJECT_0;
  CefShutdown();
  return asked ? 0 : 3;
}
