// Child process for the start-up and renderer tests: runs CefExecuteProcess with its own command line.
//
// Started without a channel, it reports through the exit code what happened:
//   -1 (as returned) : browser process, and the application was not called
//   77               : browser process, but the application was called (a fault)
//   100 + r          : sub-process returning r, the application saw the process type
//   50 + r           : sub-process returning r, the application saw another type
// Started as a renderer of a test browser (with --cefengine-channel), it returns what CefExecuteProcess returned, and
// its render process handler answers process messages:
//   "echo"   -> "echo-reply" with a copy of the arguments
//   "extra"  -> "extra-reply" with the extra info OnRenderThreadCreated was given
//   "frames" -> "frames-reply" with [browser id, main frame URL, frame count, GetHost() is null]
//   "exit"   -> ends the process at once with the exit code in argument 0
// Other names are left unhandled. A focus change sends "focus-changed" with [frame URL, a node was given, the node is
// editable]. Every document gets a global function "probeCount" (returns how many arguments it
// was given) and a read-only string "probeUrl" (the frame's URL). With --probe-exit-at-once it ends with 5 before
// doing anything.
#include <windows.h>

#include <cwchar>

#include "include/cef_app.h"
#include "include/cef_dom.h"
#include "include/cef_render_process_handler.h"
#include "include/cef_v8.h"

namespace {

class CountHandler : public CefV8Handler {
 public:
  bool Execute(const CefString& name, CefRefPtr<CefV8Value> object, const CefV8ValueList& arguments,
               CefRefPtr<CefV8Value>& retval, CefString& exception) override {
    retval = CefV8Value::CreateInt(static_cast<int32>(arguments.size()));
    return true;
  }
  IMPLEMENT_REFCOUNTING(CountHandler);
};

class ProbeRenderHandler : public CefRenderProcessHandler {
 public:
  void OnContextCreated(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                        CefRefPtr<CefV8Context> context) override {
    CefRefPtr<CefV8Value> global = context->GetGlobal();
    global->SetValue("probeCount", CefV8Value::CreateFunction("probeCount", new CountHandler()),
                     V8_PROPERTY_ATTRIBUTE_NONE);
    global->SetValue("probeUrl", CefV8Value::CreateString(frame->GetURL()), V8_PROPERTY_ATTRIBUTE_READONLY);
  }

  void OnRenderThreadCreated(CefRefPtr<CefListValue> extra_info) override { extra_ = extra_info->Copy(); }

  void OnFocusedNodeChanged(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame,
                            CefRefPtr<CefDOMNode> node) override {
    CefRefPtr<CefProcessMessage> report = CefProcessMessage::Create("focus-changed");
    CefRefPtr<CefListValue> out = report->GetArgumentList();
    out->SetString(0, frame ? frame->GetURL() : CefString());
    out->SetBool(1, node != nullptr);
    out->SetBool(2, node && node->IsEditable());
    browser->SendProcessMessage(PID_BROWSER, report);
  }

  bool OnProcessMessageReceived(CefRefPtr<CefBrowser> browser, CefProcessId source_process,
                                CefRefPtr<CefProcessMessage> message) override {
    std::string name = message->GetName().ToString();
    CefRefPtr<CefProcessMessage> reply;
    if (name == "echo") {
      reply = CefProcessMessage::Create("echo-reply");
      CefRefPtr<CefListValue> in = message->GetArgumentList();
      CefRefPtr<CefListValue> out = reply->GetArgumentList();
      for (size_t i = 0; i < in->GetSize(); ++i)
        out->SetValue(i, in->GetValue(i)->Copy());
    } else if (name == "extra") {
      reply = CefProcessMessage::Create("extra-reply");
      if (extra_)
        reply->GetArgumentList()->SetList(0, extra_->Copy());
    } else if (name == "frames") {
      reply = CefProcessMessage::Create("frames-reply");
      CefRefPtr<CefListValue> out = reply->GetArgumentList();
      out->SetInt(0, browser->GetIdentifier());
      CefRefPtr<CefFrame> main = browser->GetMainFrame();
      out->SetString(1, main ? main->GetURL() : CefString());
      out->SetInt(2, static_cast<int>(browser->GetFrameCount()));
      out->SetBool(3, browser->GetHost() == nullptr);
    } else if (name == "exit") {
      ExitProcess(static_cast<UINT>(message->GetArgumentList()->GetInt(0)));
    } else {
      return false;
    }
    return browser->SendProcessMessage(PID_BROWSER, reply);
  }

 private:
  CefRefPtr<CefListValue> extra_;
  IMPLEMENT_REFCOUNTING(ProbeRenderHandler);
};

class ProbeApp : public CefApp {
 public:
  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> cl) override {
    type = process_type;
    called = true;
  }
  CefRefPtr<CefRenderProcessHandler> GetRenderProcessHandler() override { return render_handler_; }

  CefString type;
  bool called = false;

 private:
  CefRefPtr<CefRenderProcessHandler> render_handler_ = new ProbeRenderHandler();
  IMPLEMENT_REFCOUNTING(ProbeApp);
};

}  // namespace

int main() {
  // A renderer launch that never reaches its browser.
  if (wcsstr(GetCommandLineW(), L"--probe-exit-at-once"))
    return 5;
  CefRefPtr<ProbeApp> app = new ProbeApp();
  int result = CefExecuteProcess(CefMainArgs(GetModuleHandleW(nullptr)), app.get(), nullptr);
  if (result < 0)
    return app->called ? 77 : -1;
  CefRefPtr<CefCommandLine> line = CefCommandLine::GetGlobalCommandLine();
  if (line->HasSwitch("cefengine-channel"))
    return result;
  CefString expected = line->GetSwitchValue("type");
  return (app->type == expected ? 100 : 50) + result;
}
