// The host-command dispatcher: the main context's channel-listener side. Every command runs on
// the main thread; items missing from a command read as 0, false or an empty text.
#include <windows.h>

#include <cwchar>
#include <string>
#include <utility>
#include <vector>

#include "base/log.h"
#include "browser/draw_drag_areas.h"
#include "browser/host_cookies.h"
#include "browser/host_protocol.h"
#include "browser/main_context_impl.h"
#include "browser/page_function_call.h"
#include "browser/root_window_manager.h"
#include "browser/root_window_win.h"
#include "channel/startup_settings.h"
#include "include/base/cef_bind.h"
#include "include/cef_command_line.h"
#include "include/cef_cookie.h"
#include "include/cef_process_message.h"
#include "render/process_messages.h"

namespace client {

namespace {

// The browser command of command 7 that flips the draw-drag-areas flag.
const wchar_t kDrawDragAreaListCommand[] = L"DrawDragAreaList";
const wchar_t kExecuteJavaScript[] = L"ExecuteJavaScript";
// Put in front of a create-view text: takes the program's place, so that every token of the
// host's text is read as a switch or an argument.
const wchar_t kCreateWebViewPrefix[] = L" --programe-placement ";

// The command's items in the order of its layout.
std::vector<PayloadItem> ReadItems(const IPC::Message& message, HostCommand code) {
  return DecodePayload(message, FindHostCommand(code)->layout);
}

int IntItem(const std::vector<PayloadItem>& items, size_t index) { return static_cast<int>(items[index].number); }

}  // namespace

void MainContextImpl::OnMessageReceived(const IPC::Message& message) {
  const uint32_t type = message.GetType();
  const int view = static_cast<int>(ViewOfType(type));
  switch (CodeOfType(type)) {
    case MsgToBrowserLoadUrl: OnMsgToBrowserLoadUrl(message, view); break;
    case MsgToBrowserSetCookie: OnMsgToBrowserSetCookie(message, view); break;
    case MsgToBrowserSetBounds: OnMsgToBrowserSetBounds(message, view); break;
    case MsgToBrowserShow: OnMsgToBrowserShow(message, view); break;
    case MsgToBrowserClose: OnMsgToBrowserClose(message, view); break;
    case MsgToBrowserMute: OnMsgToBrowserMute(message, view); break;
    case MsgToBrowserCallFunction: OnMsgToBrowserCallFunction(message, view); break;
    case MsgToBrowserGetCookies: OnMsgToBrowserGetCookies(message, view); break;
    case MsgToBrowserRegisterFunction: OnMsgToBrowserRegisterFunction(message, view); break;
    case MsgToBrowserCreateWebView: OnMsgToBrowserCreateWebView(message, view); break;
    case MsgToBrowserSetCookieSchemes: OnMsgToBrowserSetCookieSchemes(message, view); break;
    case MsgToBrowserDeleteCookies: OnMsgToBrowserDeleteCookies(message, view); break;
    case MsgToBrowserGoBack: OnMsgToBrowserGoBack(message, view); break;
    case MsgToBrowserGoForward: OnMsgToBrowserGoForward(message, view); break;
    case MsgToBrowserReload: OnMsgToBrowserReload(message, view); break;
    case MsgToBrowserReloadIgnoreCache: OnMsgToBrowserReloadIgnoreCache(message, view); break;
    case MsgToBrowserStopLoad: OnMsgToBrowserStopLoad(message, view); break;
    case MsgToBrowserSetReferer: OnMsgToBrowserSetReferer(message, view); break;
    case MsgToBrowserSetWorkArea: OnMsgToBrowserSetWorkArea(message, view); break;
    default: break;  // Codes 8, 11, 12 and those above 22 mean nothing.
  }
}

scoped_refptr<RootWindow> MainContextImpl::FindRootWindow(int view) {
  return root_window_manager_ ? root_window_manager_->GetRootWindowByWebViewId(view) : nullptr;
}

CefRefPtr<CefBrowser> MainContextImpl::FindBrowser(int view) {
  scoped_refptr<RootWindow> root_window = FindRootWindow(view);
  return root_window ? root_window->GetBrowser() : nullptr;
}

void MainContextImpl::OnMsgToBrowserLoadUrl(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserLoadUrl);
  const std::wstring& url = items[0].text;
  const std::wstring& cookie = items[1].text;
  LogDebugW(L"MainContextImpl::OnMsgToBrowserLoadUrl, web_view_id=%x,this=%p, url=%s, cookie=%s", view, this,
            url.c_str(), cookie.c_str());
  // Cookies are kept even for a view that does not exist (yet).
  SetCookies(url, cookie);
  if (scoped_refptr<RootWindow> root_window = FindRootWindow(view)) root_window->LoadUrl(url);
}

void MainContextImpl::OnMsgToBrowserSetCookie(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserSetCookie);
  LogDebugW(L"MainContextImpl::OnMsgToBrowserSetCookie, this=%p, url=%s, cookie=%s", this, items[0].text.c_str(),
            items[1].text.c_str());
  SetCookies(items[0].text, items[1].text);
}

void MainContextImpl::OnMsgToBrowserSetBounds(const IPC::Message& message, int view) {
  LogDebugW(L"MainContextImpl::OnMsgToBrowserSetBounds, this=%p", this);
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserSetBounds);
  if (scoped_refptr<RootWindow> root_window = FindRootWindow(view))
    root_window->SetBounds(IntItem(items, 0), IntItem(items, 1), IntItem(items, 2), IntItem(items, 3));
}

void MainContextImpl::OnMsgToBrowserShow(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserShow);
  scoped_refptr<RootWindow> root_window = FindRootWindow(view);
  if (!root_window) return;
  if (IntItem(items, 0))
    root_window->Show(RootWindow::ShowNormal);
  else
    root_window->Hide();
}

void MainContextImpl::OnMsgToBrowserClose(const IPC::Message& message, int view) {
  scoped_refptr<RootWindow> root_window = FindRootWindow(view);
  if (!root_window) return;
  HWND hwnd = root_window->GetWindowHandle();
  if (IsWindow(hwnd)) {
    LogInfoW(L"MainContextImpl::rootWin->Close: valid=%p", hwnd);
    root_window->Close(false);
    return;
  }
  // The view's window went with the host's window tree.
  const int count = root_window_manager_->GetRootWindowCount();
  LogInfoW(L"root window invalid\uFF0C root wnd count: %d", count);
  if (count <= 1) {
    LogErrorW(L"root wndu invalid ,quit");
    Quit();
  }
}

void MainContextImpl::OnMsgToBrowserMute(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserMute);
  if (scoped_refptr<RootWindow> root_window = FindRootWindow(view)) root_window->Mute(items[0].number != 0);
}

void MainContextImpl::OnMsgToBrowserCallFunction(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserCallFunction);
  const int64_t execute_id = items[0].number;
  const std::wstring& name = items[1].text;
  std::vector<std::wstring> args;
  for (size_t i = 2; i < items.size(); ++i) args.push_back(items[i].text);

  scoped_refptr<RootWindow> root_window = FindRootWindow(view);
  if (!root_window) {
    SendCallResult(view, execute_id, kCallNoWebView, std::wstring());
    return;
  }
  CefRefPtr<CefBrowser> browser = root_window->GetBrowser();
  if (!browser) {
    SendCallResult(view, execute_id, kCallNoBrowser, std::wstring());
    return;
  }

  if (name.empty()) {
    // A browser command, named by the first further text.
    std::wstring result;
    if (!args.empty() && args[0] == kDrawDragAreaListCommand) result = ToggleDrawDragAreas() ? L"true" : L"false";
    SendCallResult(view, execute_id, kCallBrowserCommand, result);
    return;
  }

  if (name == kExecuteJavaScript && !args.empty()) {
    // Script run by the browser itself; the host gets no answer of any kind.
    if (args.size() < 3) {
      CefRefPtr<CefFrame> frame = browser->GetMainFrame();
      if (frame) {
        std::wstring script_url = frame->GetURL().ToWString();
        if (args.size() == 2) {
          LogInfoW(L"ExecuteJavaScript %s on %s", args[1].c_str(), script_url.c_str());
          script_url = args[1];
        }
        frame->ExecuteJavaScript(args[0], script_url, 0);
      }
    } else {
      const int64 frame_id = _wcstoi64(args[2].c_str(), nullptr, 10);
      LogInfoW(L"ExecuteJavaScript frame: %lld", static_cast<long long>(frame_id));
      CefRefPtr<CefFrame> frame = browser->GetFrame(frame_id);
      if (frame) {
        frame->ExecuteJavaScript(args[0], frame->GetURL(), 0);
        LogInfoW(L"ExecuteJavaScript frame: %s", args[0].c_str());
      } else {
        LogInfoW(L"ExecuteJavaScript frame is nullptr");
      }
    }
    LogInfoW(L"ExecuteJavaScript %s", args[0].c_str());
    return;
  }

  CefRefPtr<CefProcessMessage> call = MakePageFunctionCallMessage(ExecuteIdToRenderer(execute_id), name, args);
  if (!call) {
    SendCallResult(view, execute_id, kCallCreateMessageFailed, std::wstring());
    return;
  }
  // On success the renderer answers later.
  if (!browser->SendProcessMessage(PID_RENDERER, call))
    SendCallResult(view, execute_id, kCallSendFailed, std::wstring());
}

void MainContextImpl::SendCallResult(int view, int64_t execute_id, int32_t status, const std::wstring& result) {
  IPC::Message answer = MakeCallResultEvent(static_cast<uint32_t>(view), execute_id, status, result);
  SendToHost(answer, false);
}

void MainContextImpl::OnMsgToBrowserGetCookies(const IPC::Message& message, int view) {
  if (!cookie_reads_enabled_.load()) return;
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserGetCookies);
  // A task per request, so that overlapping requests never mix their answers.
  CefRefPtr<VisitCookieTask> task = new VisitCookieTask();
  task->SetCallback(base::Bind(&MainContextImpl::SendCookies, base::Unretained(this), view));
  VisitCookieTask::PostVisit(task, items[0].text, IntItem(items, 1));
}

void MainContextImpl::SendCookies(int view, const std::wstring& cookies, const std::wstring& url) {
  IPC::Message answer = MakeCookiesEvent(static_cast<uint32_t>(view), url, cookies);
  SendToHost(answer, false);
}

void MainContextImpl::OnMsgToBrowserRegisterFunction(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserRegisterFunction);
  const std::wstring& name = items[0].text;
  if (name.empty()) return;
  CefRefPtr<CefBrowser> browser = FindBrowser(view);
  if (!browser) return;
  CefRefPtr<CefProcessMessage> registration = CefProcessMessage::Create(process_message::kRegisterFunction);
  if (!registration) return;
  CefRefPtr<CefListValue> list = registration->GetArgumentList();
  list->SetSize(1);
  list->SetString(0, name);
  browser->SendProcessMessage(PID_RENDERER, registration);
  LogInfoW(L"browser send msg to render to register: %s", name.c_str());
}

void MainContextImpl::OnMsgToBrowserCreateWebView(const IPC::Message& message, int view) {
  // The new view's id comes from its own "web_view_id" switch, not from the command's type.
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserCreateWebView);
  const std::wstring text = kCreateWebViewPrefix + items[0].text;
  LogInfoW(L"MainContextImpl recv create web view: cmd=%s", text.c_str());

  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(text);
  std::unique_ptr<StartupSettings> settings(new StartupSettings());
  (void)settings->ParseCommandLine(command_line);
  if (!root_window_manager_) return;

  // Commands and events name a view by its id alone: a second view of an id would take the
  // first one's commands or lose its own, and the host could not tell their events apart. Any
  // answer would read as the first view's, so none is sent.
  const int id = settings->web_view_id;
  if (root_window_manager_->GetRootWindowByWebViewId(id)) {
    LogErrorW(L"MainContextImpl::OnMsgToBrowserCreateWebView, web_view_id=%x in use, view not created", id);
    return;
  }
  // A class that Windows refuses would end the process at the window's creation, and one of
  // another window procedure would make a view that never closes. The host hears that the view
  // it asked for is gone, as for any view whose window and browser are both gone.
  if (!RootWindowWin::RegisterWindowClass(settings->class_name, settings->transparent_window)) {
    // The name's head only: a line beyond the log's limit would be dropped whole.
    LogErrorW(L"MainContextImpl::OnMsgToBrowserCreateWebView, web_view_id=%x, class_name=%.64s (%u units) unusable, "
              L"view not created",
              id, settings->class_name.c_str(), static_cast<unsigned>(settings->class_name.size()));
    IPC::Message gone = MakeWindowDestroyedEvent(static_cast<uint32_t>(id));
    SendToHost(gone, false);
    return;
  }
  root_window_manager_->CreateRootWindow(std::move(settings));
}

void MainContextImpl::OnMsgToBrowserSetCookieSchemes(const IPC::Message& message, int view) {
  SetCookieSchemes(ReadItems(message, MsgToBrowserSetCookieSchemes)[0].text);
}

void MainContextImpl::OnMsgToBrowserDeleteCookies(const IPC::Message& message, int view) {
  // Passed on as received: an empty url deletes every cookie, an empty name every host cookie.
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserDeleteCookies);
  CefRefPtr<CefCookieManager> manager = CefCookieManager::GetGlobalManager(nullptr);
  if (manager) manager->DeleteCookies(items[0].text, items[1].text, nullptr);
}

void MainContextImpl::OnMsgToBrowserGoBack(const IPC::Message& message, int view) {
  if (CefRefPtr<CefBrowser> browser = FindBrowser(view)) browser->GoBack();
}

void MainContextImpl::OnMsgToBrowserGoForward(const IPC::Message& message, int view) {
  if (CefRefPtr<CefBrowser> browser = FindBrowser(view)) browser->GoForward();
}

void MainContextImpl::OnMsgToBrowserReload(const IPC::Message& message, int view) {
  if (CefRefPtr<CefBrowser> browser = FindBrowser(view)) browser->Reload();
}

void MainContextImpl::OnMsgToBrowserReloadIgnoreCache(const IPC::Message& message, int view) {
  if (CefRefPtr<CefBrowser> browser = FindBrowser(view)) browser->ReloadIgnoreCache();
}

void MainContextImpl::OnMsgToBrowserStopLoad(const IPC::Message& message, int view) {
  if (CefRefPtr<CefBrowser> browser = FindBrowser(view)) browser->StopLoad();
}

void MainContextImpl::OnMsgToBrowserSetReferer(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserSetReferer);
  LogDebugW(L"MainContextImpl::OnMsgToBrowserSetReferer, web_view_id=%x,this=%p, referer=%s", view, this,
            items[0].text.c_str());
  if (scoped_refptr<RootWindow> root_window = FindRootWindow(view)) root_window->SetReferrer(items[0].text);
}

void MainContextImpl::OnMsgToBrowserSetWorkArea(const IPC::Message& message, int view) {
  const std::vector<PayloadItem> items = ReadItems(message, MsgToBrowserSetWorkArea);
  const int x = IntItem(items, 0), y = IntItem(items, 1), width = IntItem(items, 2), height = IntItem(items, 3);
  LogDebugW(L"MainContextImpl::OnMsgToBrowserSetWorkArea, web_view_id=%x,this=%p, workarea=(%d,%d,%d,%d)", view,
            this, x, y, width, height);
  if (scoped_refptr<RootWindow> root_window = FindRootWindow(view)) root_window->SetWorkArea(x, y, width, height);
}

}  // namespace client
