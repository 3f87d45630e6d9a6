#include "engine/page_actions.h"

#include <map>
#include <mutex>
#include <utility>

#include "engine/browser_input.h"
#include "engine/context.h"
#include "engine/drag_data_impl.h"
#include "engine/frame_impl.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/osr_painting.h"
#include "engine/utf.h"
#include "include/cef_command_line.h"
#include "include/cef_parser.h"
#include "include/cef_request_context_handler.h"

namespace cefengine {

namespace {

// Runs `fn` on UI with the browser kept alive: inline when already there, else posted; dropped once the browser is
// destroyed.
void OnUi(BrowserImpl* browser, std::function<void(BrowserImpl*)> fn) {
  CefRefPtr<BrowserImpl> keep(browser);
  if (OnUIThread()) {
    if (!keep->IsDestroyed())
      fn(keep.get());
    return;
  }
  if (!PostTo(TID_UI, [keep, fn]() {
        if (!keep->IsDestroyed())
          fn(keep.get());
      }))
    LOG(WARNING) << "Page action dropped: the UI thread does not run";
}

// --- Request outcomes ---

std::mutex g_requests_lock;
int g_next_request = 1;
std::map<int, RequestOutcome>& Requests() {
  static std::map<int, RequestOutcome>* requests = new std::map<int, RequestOutcome>();
  return *requests;
}

// --- Page state per browser ---

struct PageExtrasState {
  bool has_beforeunload = false;
  bool has_cursor = false;
  cef_cursor_type_t cursor = CT_POINTER;
  bool fullscreen = false;
  // The engine's open context menu.
  bool menu_open = false;
  CefRefPtr<MenuModelImpl> menu;
  CefRefPtr<CefContextMenuParams> menu_params;
};

std::mutex g_page_lock;
std::map<int, PageExtrasState>& Pages() {
  static std::map<int, PageExtrasState>* pages = new std::map<int, PageExtrasState>();
  return *pages;
}

CefRefPtr<CefDisplayHandler> DisplayHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetDisplayHandler() : nullptr;
}

CefRefPtr<CefJSDialogHandler> DialogHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetJSDialogHandler() : nullptr;
}

CefRefPtr<CefContextMenuHandler> MenuHandlerOf(BrowserImpl* browser) {
  CefRefPtr<CefClient> client = browser->client();
  return client ? client->GetContextMenuHandler() : nullptr;
}

// --- Callbacks handed to the client ---

// Answers one dialog (alert/confirm/prompt or beforeunload). The first Continue counts; a callback released without
// one answers "cancelled". `answer` runs on UI.
class DialogCallback : public CefJSDialogCallback {
 public:
  typedef std::function<void(BrowserImpl* browser, bool success, const std::wstring& input)> Answer;
  DialogCallback(BrowserImpl* browser, Answer answer) : browser_(browser), answer_(std::move(answer)) {}
  ~DialogCallback() override { Deliver(false, std::wstring(), true); }

  void Continue(bool success, const CefString& user_input) override {
    Deliver(success, user_input.ToWString(), false);
  }
  // The engine answered the dialog itself: the callback answers nothing, not even when released.
  void Disarm() {
    std::lock_guard<std::mutex> hold(lock_);
    answered_ = true;
    answer_ = nullptr;
  }

 private:
  void Deliver(bool success, const std::wstring& input, bool released) {
    Answer answer;
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (answered_) {
        if (!released)
          CEFENGINE_MISUSE("CefJSDialogCallback::Continue called twice; ignored");
        return;
      }
      answered_ = true;
      answer = std::move(answer_);
    }
    if (released)
      Record("DialogCallbackReleased", browser_->id());
    CefRefPtr<BrowserImpl> browser = browser_;
    OnUi(browser.get(), [answer, success, input](BrowserImpl* b) { answer(b, success, input); });
  }

  std::mutex lock_;
  bool answered_ = false;
  const CefRefPtr<BrowserImpl> browser_;
  Answer answer_;
  IMPLEMENT_REFCOUNTING(DialogCallback);
};

class GeolocationCallback : public CefGeolocationCallback {
 public:
  GeolocationCallback(int browser_id, int request_id) : browser_id_(browser_id), request_id_(request_id) {}
  ~GeolocationCallback() override { Answer(false, true); }
  void Continue(bool allow) override { Answer(allow, false); }

 private:
  void Answer(bool allow, bool released) {
    if (SettlePageRequest(request_id_, allow ? RequestState::kGranted : RequestState::kDenied))
      Record("GeolocationAnswer", browser_id_, 0,
             {std::to_string(request_id_), allow ? "granted" : "denied", released ? "released" : "continued"});
  }
  const int browser_id_;
  const int request_id_;
  IMPLEMENT_REFCOUNTING(GeolocationCallback);
};

class QuotaCallback : public CefRequestCallback {
 public:
  QuotaCallback(int browser_id, int request_id) : browser_id_(browser_id), request_id_(request_id) {}
  ~QuotaCallback() override { Answer(false, "released"); }
  void Continue(bool allow) override { Answer(allow, "continued"); }
  void Cancel() override { Answer(false, "cancelled"); }

 private:
  void Answer(bool allow, const char* how) {
    if (SettlePageRequest(request_id_, allow ? RequestState::kGranted : RequestState::kDenied))
      Record("QuotaAnswer", browser_id_, 0, {std::to_string(request_id_), allow ? "granted" : "denied", how});
  }
  const int browser_id_;
  const int request_id_;
  IMPLEMENT_REFCOUNTING(QuotaCallback);
};

class ContextMenuParams : public CefContextMenuParams {
 public:
  ContextMenuParams(int x, int y, int type_flags, const std::wstring& link_url, const std::wstring& page_url,
                    const std::wstring& frame_url)
      : x_(x), y_(y), type_flags_(type_flags), link_url_(link_url), page_url_(page_url), frame_url_(frame_url) {}
  int GetXCoord() override { return x_; }
  int GetYCoord() override { return y_; }
  TypeFlags GetTypeFlags() override { return static_cast<TypeFlags>(type_flags_); }
  CefString GetLinkUrl() override { return link_url_; }
  CefString GetPageUrl() override { return page_url_; }
  CefString GetFrameUrl() override { return frame_url_; }
  bool IsEditable() override { return (type_flags_ & CM_TYPEFLAG_EDITABLE) != 0; }

 private:
  const int x_, y_, type_flags_;
  const std::wstring link_url_, page_url_, frame_url_;
  IMPLEMENT_REFCOUNTING(ContextMenuParams);
};

// Runs `command_id` as the client chose it: OnContextMenuCommand, else the engine's own command; then the menu is
// dismissed.
void RunMenuCommand(BrowserImpl* browser, CefRefPtr<CefContextMenuParams> params, int command_id,
                    cef_event_flags_t flags) {
  CefRefPtr<CefFrame> frame = browser->GetMainFrame();
  CefRefPtr<CefContextMenuHandler> handler = MenuHandlerOf(browser);
  bool handled = handler && handler->OnContextMenuCommand(browser, frame, params, command_id, flags);
  Record("OnContextMenuCommand", browser->id(), 0, {std::to_string(command_id), FlagText(handled)});
  if (!handled && !browser->IsDestroyed()) {
    Record("EngineMenuCommand", browser->id(), 0, {std::to_string(command_id)});
    switch (command_id) {
      case MENU_ID_BACK: browser->GoBack(); break;
      case MENU_ID_FORWARD: browser->GoForward(); break;
      case MENU_ID_RELOAD: browser->Reload(); break;
      case MENU_ID_RELOAD_NOCACHE: browser->ReloadIgnoreCache(); break;
      case MENU_ID_STOPLOAD: browser->StopLoad(); break;
      default: break;  // editing, printing and source views have nothing to act on here
    }
  }
  handler = MenuHandlerOf(browser);
  if (handler && !browser->IsDestroyed())
    handler->OnContextMenuDismissed(browser, frame);
  Record("OnContextMenuDismissed", browser->id());
}

class RunMenuCallback : public CefRunContextMenuCallback {
 public:
  RunMenuCallback(BrowserImpl* browser, CefRefPtr<CefContextMenuParams> params) : browser_(browser), params_(params) {}
  ~RunMenuCallback() override { Finish(-1, EVENTFLAG_NONE); }
  void Continue(int command_id, EventFlags event_flags) override { Finish(command_id, event_flags); }
  void Cancel() override { Finish(-1, EVENTFLAG_NONE); }
  // The client did not take the menu: the engine shows its own, and this callback answers nothing.
  void Disarm() {
    std::lock_guard<std::mutex> hold(lock_);
    done_ = true;
  }

 private:
  void Finish(int command_id, EventFlags flags) {
    {
      std::lock_guard<std::mutex> hold(lock_);
      if (done_)
        return;
      done_ = true;
    }
    CefRefPtr<CefContextMenuParams> params = params_;
    OnUi(browser_.get(), [params, command_id, flags](BrowserImpl* b) {
      if (command_id >= 0) {
        RunMenuCommand(b, params, command_id, flags);
        return;
      }
      CefRefPtr<CefContextMenuHandler> handler = MenuHandlerOf(b);
      if (handler)
        handler->OnContextMenuDismissed(b, b->GetMainFrame());
      Record("OnContextMenuDismissed", b->id());
    });
  }
  std::mutex lock_;
  bool done_ = false;
  const CefRefPtr<BrowserImpl> browser_;
  const CefRefPtr<CefContextMenuParams> params_;
  IMPLEMENT_REFCOUNTING(RunMenuCallback);
};

class WebPluginInfo : public CefWebPluginInfo {
 public:
  WebPluginInfo(const std::wstring& name, const std::wstring& path, const std::wstring& version,
                const std::wstring& description)
      : name_(name), path_(path), version_(version), description_(description) {}
  CefString GetName() override { return name_; }
  CefString GetPath() override { return path_; }
  CefString GetVersion() override { return version_; }
  CefString GetDescription() override { return description_; }

 private:
  const std::wstring name_, path_, version_, description_;
  IMPLEMENT_REFCOUNTING(WebPluginInfo);
};

// --- Plugins ---

const wchar_t kFlashMimeType[] = L"application/x-shockwave-flash";
const wchar_t kPdfMimeType[] = L"application/pdf";

std::mutex g_plugin_lock;
std::map<std::wstring, cef_plugin_policy_t>& PluginPolicies() {
  static std::map<std::wstring, cef_plugin_policy_t>* policies = new std::map<std::wstring, cef_plugin_policy_t>();
  return *policies;
}

std::wstring LowerAscii(std::wstring text) {
  for (wchar_t& c : text)
    if (c >= L'A' && c <= L'Z')
      c = static_cast<wchar_t>(c - L'A' + L'a');
  return text;
}

std::wstring OriginOf(const std::wstring& url) {
  CefURLParts parts;
  if (!CefParseURL(url, parts))
    return std::wstring();
  return CefString(&parts.origin).ToWString();
}

std::wstring SubprocessPath() {
  CefSettings settings = CurrentSettings();
  std::wstring path = CefString(&settings.browser_subprocess_path).ToWString();
  if (!path.empty())
    return path;
  wchar_t own[MAX_PATH * 2];
  DWORD length = GetModuleFileNameW(nullptr, own, MAX_PATH * 2);
  return std::wstring(own, length < MAX_PATH * 2 ? length : 0);
}

// PROCESS_LAUNCHER: starts the plugin process; OnPluginCrashed on UI when nothing started.
void LaunchPluginProcess(CefRefPtr<BrowserImpl> browser, std::wstring line, std::wstring plugin_path) {
  Record("PluginProcessLaunch", browser->id(), 0, {WideToUtf8(line)});
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  PROCESS_INFORMATION process = {};
  std::vector<wchar_t> writable(line.begin(), line.end());
  writable.push_back(L'\0');
  BOOL created = CreateProcessW(nullptr, writable.data(), nullptr, nullptr, FALSE, 0, nullptr, nullptr, &startup,
                                &process);
  // Someone between us and the system may claim success without a process.
  bool started = created && process.hProcess != nullptr;
  if (process.hThread)
    CloseHandle(process.hThread);
  if (process.hProcess)
    CloseHandle(process.hProcess);
  if (started)
    return;
  LOG(ERROR) << "The plugin process did not start (error " << (created ? 0 : GetLastError()) << ")";
  OnUi(browser.get(), [plugin_path](BrowserImpl* b) {
    CefRefPtr<CefClient> client = b->client();
    CefRefPtr<CefRequestHandler> handler = client ? client->GetRequestHandler() : nullptr;
    Record("OnPluginCrashed", b->id(), 0, {WideToUtf8(plugin_path)});
    if (handler)
      handler->OnPluginCrashed(b, plugin_path);
  });
}

// IO: the policy question and, for an allowed Flash plugin, its process.
void LoadPlugin(CefRefPtr<BrowserImpl> browser, const std::wstring& mime_type, const std::wstring& url,
                const std::wstring& top_origin) {
  if (browser->IsDestroyed())
    return;
  CefRefPtr<CefCommandLine> global = CefCommandLine::GetGlobalCommandLine();
  const bool flash = LowerAscii(mime_type) == kFlashMimeType;
  std::wstring flash_path = global ? global->GetSwitchValue("ppapi-flash-path").ToWString() : std::wstring();
  std::wstring flash_version = global ? global->GetSwitchValue("ppapi-flash-version").ToWString() : std::wstring();
  CefRefPtr<CefWebPluginInfo> info =
      flash ? new WebPluginInfo(L"Shockwave Flash", flash_path, flash_version, L"Shockwave Flash (PPAPI)")
            : new WebPluginInfo(mime_type, std::wstring(), std::wstring(), mime_type);

  cef_plugin_policy_t policy = PluginStartPolicy(mime_type);
  CefRefPtr<CefRequestContext> context = browser->GetRequestContext();
  CefRefPtr<CefRequestContextHandler> handler = context ? context->GetHandler() : nullptr;
  bool changed = handler && handler->OnBeforePluginLoad(mime_type, url, top_origin, info, &policy);
  Record("OnBeforePluginLoad", browser->id(), 0,
         {WideToUtf8(mime_type), WideToUtf8(url), WideToUtf8(top_origin), FlagText(changed), std::to_string(policy)});
  if (policy != PLUGIN_POLICY_ALLOW) {
    Record("PluginBlocked", browser->id(), 0, {WideToUtf8(mime_type), std::to_string(policy)});
    return;
  }
  Record("PluginAllowed", browser->id(), 0, {WideToUtf8(mime_type)});
  if (!flash || !global || !global->HasSwitch("ppapi-flash-path"))
    return;

  CefRefPtr<CefCommandLine> line = CefCommandLine::CreateCommandLine();
  line->SetProgram(SubprocessPath());
  line->AppendSwitchWithValue("type", "ppapi");
  line->AppendSwitch("ppapi-flash-args");
  line->AppendSwitchWithValue("ppapi-flash-path", flash_path);
  line->AppendSwitchWithValue("ppapi-flash-version", flash_version);
  CefRefPtr<CefBrowserProcessHandler> process_handler = BrowserProcessHandler();
  if (process_handler)
    process_handler->OnBeforeChildProcessLaunch(line);
  Record("OnBeforeChildProcessLaunch", browser->id(), 0, {"ppapi"});
  std::wstring text = line->GetCommandLineString().ToWString();
  if (!PostTo(TID_PROCESS_LAUNCHER, [browser, text, flash_path]() { LaunchPluginProcess(browser, text, flash_path); }))
    LOG(ERROR) << "The plugin process cannot start: no launcher thread";
}

// --- The browser extras ---

class PageExtras : public BrowserExtras {
 public:
  void OnDocumentCommitted(BrowserImpl* browser, FrameImpl* frame, const ScannedDocument& document) override {
    if (frame->is_main()) {
      {
        std::lock_guard<std::mutex> hold(g_page_lock);
        PageExtrasState& state = Pages()[browser->id()];
        state.has_beforeunload = false;
        state.menu_open = false;
        state.menu = nullptr;
        state.menu_params = nullptr;
      }
      HidePopupWidget(browser);
      PaintView(browser);
      if (document.has_regions)
        PageDraggableRegions(browser, document.regions);
    }
    for (const ScannedDocument::Plugin& plugin : document.plugins)
      PageEmbedPlugin(browser, plugin.mime_type, plugin.url);
  }

  void OnTitleChanged(BrowserImpl* browser) override { PaintView(browser); }

  void BeforeUnload(BrowserImpl* browser, bool is_reload, std::function<void(bool proceed)> done) override {
    RunBeforeUnload(browser, is_reload, std::move(done));
  }

  bool OnWindowKeyMessage(BrowserImpl* browser, const MSG& message) override {
    return HandleWindowKeyMessage(browser, message);
  }

  bool OnWindowSetCursor(BrowserImpl* browser) override {
    if (browser->IsMouseCursorChangeDisabled())
      return false;
    cef_cursor_type_t type;
    {
      std::lock_guard<std::mutex> hold(g_page_lock);
      auto it = Pages().find(browser->id());
      if (it == Pages().end() || !it->second.has_cursor)
        return false;
      type = it->second.cursor;
    }
    SetCursor(CursorForType(type));
    Record("WindowCursor", browser->id(), 0, {std::to_string(type)});
    return true;
  }

  bool OnPageAction(BrowserImpl* browser, int64 frame_id, const std::wstring& kind,
                    const ChannelFrame& frame) override {
    const ValueData* args = frame.At(1);
    auto arg_string = [args](size_t i) -> std::wstring {
      return args && args->list && i < args->list->items.size() && args->list->items[i].type == VTYPE_STRING
                 ? args->list->items[i].s
                 : std::wstring();
    };
    auto arg_int = [args](size_t i) -> int {
      return args && args->list && i < args->list->items.size() && args->list->items[i].type == VTYPE_INT
                 ? args->list->items[i].i
                 : 0;
    };
    auto arg_bool = [args](size_t i) -> bool {
      return args && args->list && i < args->list->items.size() && args->list->items[i].type == VTYPE_BOOL &&
             args->list->items[i].b;
    };
    if (kind == L"console") {
      PageConsole(browser, arg_string(0), arg_string(1), arg_int(2));
      return true;
    }
    if (kind == L"beforeunload") {
      PageBeforeUnload(browser, arg_bool(0));
      return true;
    }
    return false;
  }

  void OnBrowserDestroyed(BrowserImpl* browser) override {
    {
      std::lock_guard<std::mutex> hold(g_page_lock);
      Pages().erase(browser->id());
    }
    ForgetPaintState(browser->id());
    ForgetInputState(browser->id());
  }

  void WasResized(BrowserImpl* browser) override {
    BrowserExtras::WasResized(browser);
    OnUi(browser, [](BrowserImpl* b) { PaintView(b); });
  }

  void WasHidden(BrowserImpl* browser, bool hidden) override {
    BrowserExtras::WasHidden(browser, hidden);  // keeps the browser's hidden state
    if (!hidden)
      OnUi(browser, [](BrowserImpl* b) { PaintView(b); });
  }

  void NotifyScreenInfoChanged(BrowserImpl* browser) override {
    BrowserExtras::NotifyScreenInfoChanged(browser);
    OnUi(browser, [](BrowserImpl* b) { PaintView(b); });
  }

  void Invalidate(BrowserImpl* browser, cef_paint_element_type_t type) override {
    BrowserExtras::Invalidate(browser, type);
    OnUi(browser, [type](BrowserImpl* b) {
      if (type == PET_POPUP)
        PaintPopup(b);
      else
        PaintView(b);
    });
  }

  void SendKeyEvent(BrowserImpl* browser, const CefKeyEvent& event) override {
    OnUi(browser, [event](BrowserImpl* b) { HandleSendKeyEvent(b, event); });
  }

  void DragTargetDragEnter(BrowserImpl* browser, CefRefPtr<CefDragData> drag_data, const CefMouseEvent& event,
                           cef_drag_operations_mask_t allowed_ops) override {
    OnUi(browser, [drag_data, event, allowed_ops](BrowserImpl* b) { DragEnter(b, drag_data, event, allowed_ops); });
  }

  void DragTargetDragOver(BrowserImpl* browser, const CefMouseEvent& event,
                          cef_drag_operations_mask_t allowed_ops) override {
    OnUi(browser, [event, allowed_ops](BrowserImpl* b) { DragOver(b, event, allowed_ops); });
  }

  void DragTargetDragLeave(BrowserImpl* browser) override {
    OnUi(browser, [](BrowserImpl* b) { DragLeave(b); });
  }

  void DragTargetDrop(BrowserImpl* browser, const CefMouseEvent& event) override {
    OnUi(browser, [event](BrowserImpl* b) { DragDrop(b, event); });
  }
};

}  // namespace

std::shared_ptr<BrowserExtras> CreatePageExtras() {
  return std::make_shared<PageExtras>();
}

// --- Request outcomes ---

int NewPageRequest() {
  std::lock_guard<std::mutex> hold(g_requests_lock);
  int id = g_next_request++;
  Requests()[id].state = RequestState::kPending;
  return id;
}

bool SettlePageRequest(int request_id, RequestState state, const std::wstring& text) {
  std::lock_guard<std::mutex> hold(g_requests_lock);
  auto it = Requests().find(request_id);
  if (it == Requests().end() || it->second.state != RequestState::kPending)
    return false;
  it->second.state = state;
  it->second.text = text;
  return true;
}

RequestOutcome PageRequestOutcome(int request_id) {
  std::lock_guard<std::mutex> hold(g_requests_lock);
  auto it = Requests().find(request_id);
  return it == Requests().end() ? RequestOutcome() : it->second;
}

// --- Display ---

void PageFullscreen(BrowserImpl* browser, bool fullscreen) {
  if (browser->IsDestroyed())
    return;
  {
    std::lock_guard<std::mutex> hold(g_page_lock);
    Pages()[browser->id()].fullscreen = fullscreen;
  }
  Record("OnFullscreenModeChange", browser->id(), 0, {FlagText(fullscreen)});
  CefRefPtr<CefDisplayHandler> handler = DisplayHandlerOf(browser);
  if (handler)
    handler->OnFullscreenModeChange(browser, fullscreen);
}

void PageConsole(BrowserImpl* browser, const std::wstring& message, const std::wstring& source, int line) {
  if (browser->IsDestroyed())
    return;
  CefRefPtr<CefDisplayHandler> handler = DisplayHandlerOf(browser);
  bool handled = handler && handler->OnConsoleMessage(browser, message, source, line);
  Record("OnConsoleMessage", browser->id(), 0, {WideToUtf8(message), WideToUtf8(source), std::to_string(line), FlagText(handled)});
  if (!handled)
    LOG(INFO) << "Console: \"" << WideToUtf8(message) << "\", source: " << WideToUtf8(source) << " (" << line << ")";
}

void PageTooltip(BrowserImpl* browser, const std::wstring& text) {
  if (browser->IsDestroyed())
    return;
  CefRefPtr<CefDisplayHandler> handler = DisplayHandlerOf(browser);
  CefString shown(text);
  bool handled = handler && handler->OnTooltip(browser, shown);
  Record("OnTooltip", browser->id(), 0, {WideToUtf8(text), FlagText(handled)});
  if (!handled)
    Record("TooltipShown", browser->id(), 0, {shown.ToString()});
}

HCURSOR CursorForType(cef_cursor_type_t type) {
  LPCWSTR id = IDC_ARROW;
  switch (type) {
    case CT_CROSS: id = IDC_CROSS; break;
    case CT_HAND: id = IDC_HAND; break;
    case CT_IBEAM: case CT_VERTICALTEXT: id = IDC_IBEAM; break;
    case CT_WAIT: id = IDC_WAIT; break;
    case CT_HELP: id = IDC_HELP; break;
    case CT_EASTRESIZE: case CT_WESTRESIZE: case CT_EASTWESTRESIZE: case CT_COLUMNRESIZE: id = IDC_SIZEWE; break;
    case CT_NORTHRESIZE: case CT_SOUTHRESIZE: case CT_NORTHSOUTHRESIZE: case CT_ROWRESIZE: id = IDC_SIZENS; break;
    case CT_NORTHEASTRESIZE: case CT_SOUTHWESTRESIZE: case CT_NORTHEASTSOUTHWESTRESIZE: id = IDC_SIZENESW; break;
    case CT_NORTHWESTRESIZE: case CT_SOUTHEASTRESIZE: case CT_NORTHWESTSOUTHEASTRESIZE: id = IDC_SIZENWSE; break;
    case CT_MOVE: case CT_MIDDLEPANNING: id = IDC_SIZEALL; break;
    case CT_PROGRESS: id = IDC_APPSTARTING; break;
    case CT_NODROP: case CT_NOTALLOWED: id = IDC_NO; break;
    default: break;
  }
  return LoadCursorW(nullptr, id);
}

void PageCursor(BrowserImpl* browser, cef_cursor_type_t type) {
  if (browser->IsDestroyed())
    return;
  {
    std::lock_guard<std::mutex> hold(g_page_lock);
    PageExtrasState& state = Pages()[browser->id()];
    state.has_cursor = true;
    state.cursor = type;
  }
  if (browser->IsMouseCursorChangeDisabled()) {
    Record("CursorChangeSuppressed", browser->id(), 0, {std::to_string(type)});
    return;
  }
  if (!browser->windowless())
    return;  // the window shows it on its next WM_SETCURSOR
  CefRefPtr<CefRenderHandler> handler = RenderHandlerOf(browser);
  Record("OnCursorChange", browser->id(), 0, {std::to_string(type)});
  if (handler)
    handler->OnCursorChange(browser, CursorForType(type), type, CefCursorInfo());
}

// --- Context menu ---

void PageContextMenu(BrowserImpl* browser, int type_flags, int x, int y, const std::wstring& link_url) {
  if (browser->IsDestroyed())
    return;
  CefRefPtr<CefFrame> frame = browser->GetMainFrame();
  std::wstring page_url = browser->page_state().url;
  std::wstring frame_url = frame ? frame->GetURL().ToWString() : page_url;
  CefRefPtr<CefContextMenuParams> params =
      new ContextMenuParams(x, y, type_flags, link_url, page_url, frame_url);
  CefRefPtr<MenuModelImpl> model = new MenuModelImpl();
  AddDefaultMenuItems(model.get(), type_flags);

  CefRefPtr<CefContextMenuHandler> handler = MenuHandlerOf(browser);
  if (handler)
    handler->OnBeforeContextMenu(browser, frame, params, model.get());
  Record("OnBeforeContextMenu", browser->id(), 0, {std::to_string(type_flags), std::to_string(model->GetCount())});
  if (browser->IsDestroyed())
    return;
  if (model->CommandCount() == 0) {
    Record("ContextMenuSuppressed", browser->id());
    return;
  }
  handler = MenuHandlerOf(browser);
  CefRefPtr<RunMenuCallback> callback = new RunMenuCallback(browser, params);
  if (handler && handler->RunContextMenu(browser, frame, params, model.get(), callback.get())) {
    Record("RunContextMenu", browser->id(), 0, {"client"});
    return;
  }
  callback->Disarm();
  std::vector<std::string> ids;
  for (const MenuItem& item : model->items())
    ids.push_back(std::to_string(item.command_id));
  Record("ContextMenuShown", browser->id(), 0, ids);
  std::lock_guard<std::mutex> hold(g_page_lock);
  PageExtrasState& state = Pages()[browser->id()];
  state.menu_open = true;
  state.menu = model;
  state.menu_params = params;
}

bool ChooseMenuCommand(BrowserImpl* browser, int command_id) {
  CefRefPtr<CefContextMenuParams> params;
  {
    std::lock_guard<std::mutex> hold(g_page_lock);
    auto it = Pages().find(browser->id());
    if (it == Pages().end() || !it->second.menu_open)
      return false;
    if (command_id >= 0 && !it->second.menu->HasCommand(command_id))
      return false;
    params = it->second.menu_params;
    it->second.menu_open = false;
    it->second.menu = nullptr;
    it->second.menu_params = nullptr;
  }
  if (browser->IsDestroyed())
    return false;
  if (command_id >= 0) {
    RunMenuCommand(browser, params, command_id, EVENTFLAG_NONE);
    return true;
  }
  CefRefPtr<CefContextMenuHandler> handler = MenuHandlerOf(browser);
  if (handler)
    handler->OnContextMenuDismissed(browser, browser->GetMainFrame());
  Record("OnContextMenuDismissed", browser->id());
  return true;
}

bool OpenMenuItems(int browser_id, std::vector<MenuItem>* items) {
  std::lock_guard<std::mutex> hold(g_page_lock);
  auto it = Pages().find(browser_id);
  if (it == Pages().end() || !it->second.menu_open)
    return false;
  *items = it->second.menu->items();
  return true;
}

// --- Drags ---

void PageStartDrag(BrowserImpl* browser, CefRefPtr<CefDragData> data, cef_drag_operations_mask_t allowed_ops, int x,
                   int y) {
  if (browser->IsDestroyed() || !data)
    return;
  Record("PageStartDrag", browser->id(), 0,
         {DescribeDragData(data), std::to_string(allowed_ops), std::to_string(x), std::to_string(y)});
  CefRefPtr<CefRenderHandler> handler = browser->windowless() ? RenderHandlerOf(browser) : nullptr;
  CefRefPtr<CefDragData> seen = data->Clone();
  if (DragDataImpl* impl = dynamic_cast<DragDataImpl*>(seen.get()))
    impl->SetReadOnly();
  bool started = handler && handler->StartDragging(browser, seen, allowed_ops, x, y);
  Record("StartDragging", browser->id(), 0, {FlagText(started)});
  if (!started)
    Record("DragSourceEnded", browser->id());
}

void PageDraggableRegions(BrowserImpl* browser, const std::vector<CefDraggableRegion>& regions) {
  if (browser->IsDestroyed())
    return;
  Record("OnDraggableRegionsChanged", browser->id(), 0, {std::to_string(regions.size())});
  CefRefPtr<CefClient> client = browser->client();
  CefRefPtr<CefDragHandler> handler = client ? client->GetDragHandler() : nullptr;
  if (handler)
    handler->OnDraggableRegionsChanged(browser, regions);
}

// --- Permission requests ---

int PageGeolocation(BrowserImpl* browser, const std::wstring& requesting_url) {
  const int id = NewPageRequest();
  if (browser->IsDestroyed()) {
    SettlePageRequest(id, RequestState::kDenied);
    return id;
  }
  CefRefPtr<CefClient> client = browser->client();
  CefRefPtr<CefGeolocationHandler> handler = client ? client->GetGeolocationHandler() : nullptr;
  CefRefPtr<GeolocationCallback> callback = new GeolocationCallback(browser->id(), id);
  bool will_answer = handler && handler->OnRequestGeolocationPermission(browser, requesting_url, id, callback.get());
  Record("OnRequestGeolocationPermission", browser->id(), 0,
         {WideToUtf8(requesting_url), std::to_string(id), FlagText(will_answer)});
  if (!will_answer)
    callback->Continue(false);
  return id;
}

int PageQuota(BrowserImpl* browser, const std::wstring& origin_url, int64 new_size) {
  const int id = NewPageRequest();
  CefRefPtr<BrowserImpl> keep(browser);
  bool posted = PostTo(TID_IO, [keep, origin_url, new_size, id]() {
    if (keep->IsDestroyed()) {
      SettlePageRequest(id, RequestState::kDenied);
      return;
    }
    CefRefPtr<CefClient> client = keep->client();
    CefRefPtr<CefRequestHandler> handler = client ? client->GetRequestHandler() : nullptr;
    CefRefPtr<QuotaCallback> callback = new QuotaCallback(keep->id(), id);
    bool will_answer = handler && handler->OnQuotaRequest(keep.get(), origin_url, new_size, callback.get());
    Record("OnQuotaRequest", keep->id(), 0,
           {WideToUtf8(origin_url), std::to_string(new_size), std::to_string(id), FlagText(will_answer)});
    if (!will_answer)
      callback->Continue(false);
  });
  if (!posted)
    SettlePageRequest(id, RequestState::kDenied);
  return id;
}

// --- Dialogs ---

int PageAlert(BrowserImpl* browser, cef_jsdialog_type_t type, const std::wstring& message,
              const std::wstring& default_prompt) {
  const int id = NewPageRequest();
  if (browser->IsDestroyed()) {
    SettlePageRequest(id, RequestState::kDenied);
    return id;
  }
  CefRefPtr<CefJSDialogHandler> handler = DialogHandlerOf(browser);
  std::wstring origin = OriginOf(browser->page_state().url);
  std::wstring accept_lang = CefString(&browser->settings().accept_language_list).ToWString();
  CefRefPtr<DialogCallback> callback =
      new DialogCallback(browser, [id](BrowserImpl* b, bool success, const std::wstring& input) {
        if (!SettlePageRequest(id, success ? RequestState::kGranted : RequestState::kDenied, input))
          return;
        Record("JSDialogAnswer", b->id(), 0, {std::to_string(id), FlagText(success), WideToUtf8(input)});
        CefRefPtr<CefJSDialogHandler> h = DialogHandlerOf(b);
        if (h)
          h->OnDialogClosed(b);
      });
  bool suppress = false;
  bool custom = handler && handler->OnJSDialog(browser, origin, accept_lang, type, message, default_prompt,
                                               callback.get(), suppress);
  Record("OnJSDialog", browser->id(), 0,
         {std::to_string(type), WideToUtf8(message), std::to_string(id), FlagText(custom), FlagText(suppress)});
  if (custom)
    return id;
  callback->Disarm();
  RequestState state = suppress ? RequestState::kSuppressed : RequestState::kAutoDismissed;
  SettlePageRequest(id, state);
  Record(suppress ? "DialogSuppressed" : "DialogAutoDismissed", browser->id(), 0, {std::to_string(id)});
  return id;
}

void PageBeforeUnload(BrowserImpl* browser, bool has_handler) {
  std::lock_guard<std::mutex> hold(g_page_lock);
  Pages()[browser->id()].has_beforeunload = has_handler;
}

void RunBeforeUnload(BrowserImpl* browser, bool is_reload, std::function<void(bool proceed)> done) {
  bool has_handler;
  {
    std::lock_guard<std::mutex> hold(g_page_lock);
    auto it = Pages().find(browser->id());
    has_handler = it != Pages().end() && it->second.has_beforeunload;
  }
  if (!has_handler || browser->IsDestroyed()) {
    done(true);
    return;
  }
  CefRefPtr<CefJSDialogHandler> handler = DialogHandlerOf(browser);
  CefRefPtr<DialogCallback> callback =
      new DialogCallback(browser, [done](BrowserImpl* b, bool success, const std::wstring&) {
        Record("BeforeUnloadAnswer", b->id(), 0, {FlagText(success)});
        CefRefPtr<CefJSDialogHandler> h = DialogHandlerOf(b);
        if (h)
          h->OnDialogClosed(b);
        done(success);
      });
  bool custom = handler && handler->OnBeforeUnloadDialog(browser, L"Is it OK to leave/reload this page?", is_reload,
                                                         callback.get());
  Record("OnBeforeUnloadDialog", browser->id(), 0, {FlagText(is_reload), FlagText(custom)});
  if (custom)
    return;
  // The engine's own dialog accepts at once.
  callback->Disarm();
  done(true);
}

// --- Plugins ---

void PageEmbedPlugin(BrowserImpl* browser, const std::wstring& mime_type, const std::wstring& url) {
  CefRefPtr<BrowserImpl> keep(browser);
  std::wstring top_origin = OriginOf(browser->page_state().url);
  if (!PostTo(TID_IO, [keep, mime_type, url, top_origin]() { LoadPlugin(keep, mime_type, url, top_origin); }))
    LOG(WARNING) << "Plugin not loaded: the IO thread does not run";
}

void SetPluginStartPolicy(const std::wstring& mime_type, cef_plugin_policy_t policy) {
  std::lock_guard<std::mutex> hold(g_plugin_lock);
  PluginPolicies()[LowerAscii(mime_type)] = policy;
}

cef_plugin_policy_t PluginStartPolicy(const std::wstring& mime_type) {
  std::wstring key = LowerAscii(mime_type);
  std::lock_guard<std::mutex> hold(g_plugin_lock);
  auto it = PluginPolicies().find(key);
  if (it != PluginPolicies().end())
    return it->second;
  return key == kPdfMimeType ? PLUGIN_POLICY_BLOCK : PLUGIN_POLICY_ALLOW;
}

}  // namespace cefengine
