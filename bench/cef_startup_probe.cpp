// The start-up bench's anchor: the CEF layer alone, started by the bench's host the way the host starts the browser
// (same command line, same host window). It initialises CEF with the browser process's settings, makes one child
// window in the host's window and one windowed browser in it (as a view's root window does), and tells the host
// the moment CEF reports the browser (code 1) and its first main-frame load end (code 5), each as one synchronous
// WM_COPYDATA to the host's channel window sent on CEF's UI thread. Then it waits to be ended.
//
// Like the product's entry, it calls CefExecuteProcess first: it serves its own renderer sub-process.
#include <windows.h>

#include <string>

#include "browser/host_protocol.h"
#include "channel/channel.h"
#include "include/cef_app.h"
#include "include/cef_browser.h"
#include "include/cef_client.h"

namespace {

HWND g_host_channel = nullptr;

// One event to the host, as the browser sends its synchronous ones.
void Tell(uint32_t code, uint32_t view) {
  if (!g_host_channel) return;
  IPC::Message message(kRoutingIdHost, client::MakeMessageType(view, code), client::kHostMessagePriority);
  (void)message.WriteInt64(0);
  COPYDATASTRUCT data{kCopyDataSync, static_cast<DWORD>(message.GetSize()), const_cast<char*>(message.GetData())};
  DWORD_PTR result = 0;
  SendMessageTimeoutW(g_host_channel, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&data), SMTO_NORMAL, 5000, &result);
}

class ProbeApp : public CefApp, public CefBrowserProcessHandler {
 public:
  // The switches the product's browser process adds.
  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) override {
    if (!process_type.empty()) return;
    command_line->AppendSwitchWithValue("ppapi-flash-version", "24.0.0.221");
    command_line->AppendSwitchWithValue("ppapi-flash-path", "pepflashplayer.dll");
    command_line->AppendSwitch("--disable-extensions");
    command_line->AppendSwitchWithValue("--lang", "zh-CN");
  }
  CefRefPtr<CefBrowserProcessHandler> GetBrowserProcessHandler() override { return this; }
  IMPLEMENT_REFCOUNTING(ProbeApp);
};

class ProbeClient : public CefClient, public CefLifeSpanHandler, public CefLoadHandler {
 public:
  explicit ProbeClient(uint32_t view) : view_(view) {}
  CefRefPtr<CefLifeSpanHandler> GetLifeSpanHandler() override { return this; }
  CefRefPtr<CefLoadHandler> GetLoadHandler() override { return this; }
  void OnAfterCreated(CefRefPtr<CefBrowser> browser) override { Tell(client::MsgToHostBrowserCreated, view_); }
  void OnLoadEnd(CefRefPtr<CefBrowser> browser, CefRefPtr<CefFrame> frame, int status) override {
    if (frame->IsMain() && !load_ended_) {
      load_ended_ = true;
      Tell(client::MsgToHostLoadEnd, view_);
    }
  }

 private:
  const uint32_t view_;
  bool load_ended_ = false;
  IMPLEMENT_REFCOUNTING(ProbeClient);
};

LRESULT CALLBACK ViewWindowProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) { return DefWindowProcW(hwnd, msg, wp, lp); }

}  // namespace

int WINAPI wWinMain(HINSTANCE instance, HINSTANCE, PWSTR, int) {
  CefMainArgs main_args(instance);
  CefRefPtr<ProbeApp> app = new ProbeApp();
  const int result = CefExecuteProcess(main_args, app.get(), nullptr);
  if (result >= 0) return result;

  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->InitFromString(GetCommandLineW());
  HWND parent = reinterpret_cast<HWND>(
      static_cast<UINT_PTR>(wcstoull(line->GetSwitchValue("parent_wnd").ToWString().c_str(), nullptr, 16)));
  const std::wstring channel = kStubChannelPrefix + line->GetSwitchValue("tab_ids").ToWString();
  g_host_channel = FindWindowW(channel.c_str(), channel.c_str());
  const uint32_t view = static_cast<uint32_t>(_wtoi(line->GetSwitchValue("web_view_id").ToWString().c_str()));
  int x = 0, y = 0, width = 800, height = 600;
  swscanf(line->GetSwitchValue("tab_rect").ToWString().c_str(), L"%d,%d,%d,%d", &x, &y, &width, &height);

  // The browser process's settings: the cache under the product folder, CEF's own log off.
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  CefSettings settings;
  settings.no_sandbox = 1;
  settings.multi_threaded_message_loop = 1;
  settings.background_color = 0xFFFFFFFF;
  CefString(&settings.cache_path) = std::wstring(temp) + L"Grallomix\\cef_cache";
  CefString(&settings.log_file) = "disable.log";
  settings.log_severity = static_cast<cef_log_severity_t>(99);
  if (!CefInitialize(main_args, settings, app.get(), nullptr)) return 2;

  // The view's window inside the host's, and the browser inside it.
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.style = CS_HREDRAW | CS_VREDRAW;
  wc.lpfnWndProc = ViewWindowProc;
  wc.hInstance = instance;
  wc.hCursor = LoadCursorW(nullptr, IDC_ARROW);
  wc.hbrBackground = static_cast<HBRUSH>(GetStockObject(WHITE_BRUSH));
  wc.lpszClassName = L"BriveloStartupProbe";
  RegisterClassExW(&wc);
  HWND view_window = CreateWindowExW(0, wc.lpszClassName, L"", WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS, x, y,
                                     width, height, parent, nullptr, instance, nullptr);
  RECT client_rect = {};
  GetClientRect(view_window, &client_rect);
  CefWindowInfo window_info;
  window_info.style = WS_CHILD | WS_CLIPCHILDREN | WS_CLIPSIBLINGS | WS_TABSTOP | WS_VISIBLE;
  window_info.parent_window = view_window;
  window_info.width = client_rect.right;
  window_info.height = client_rect.bottom;
  CefBrowserSettings browser_settings;
  CefBrowserHost::CreateBrowser(window_info, new ProbeClient(view), line->GetSwitchValue("url"), browser_settings,
                                nullptr);
  ShowWindow(view_window, SW_SHOW);

  // Until the host ends it.
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
  return 0;
}
