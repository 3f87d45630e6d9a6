#include "engine/context.h"

#include <windows.h>

#include <atomic>
#include <mutex>

#include "engine/browser_registry.h"
#include "engine/command_line_impl.h"
#include "engine/control_pipe.h"
#include "engine/journal.h"
#include "engine/logging.h"
#include "engine/pace.h"
#include "engine/renderer_link.h"
#include "engine/request_context.h"
#include "engine/scheme_factories.h"
#include "engine/scheme_registry.h"
#include "engine/startup_trace.h"
#include "engine/task_threads.h"

namespace cefengine {

namespace {

// Longest wait for one engine thread to end at shutdown.
const DWORD kThreadStopTimeoutMs = 10000;

struct ContextState {
  std::mutex mutex;
  bool initialized = false;
  bool single_threaded = false;
  DWORD init_thread = 0;
  CefSettings settings;
  std::wstring locale;
  CefRefPtr<CefApp> app;
  CefRefPtr<CefBrowserProcessHandler> browser_handler;
};

ContextState& State() {
  static ContextState* state = new ContextState();
  return *state;
}

std::atomic<bool> g_fail_next_initialize{false};

// BRIVELO_CEF_FAIL_INITIALIZE=1 makes every CefInitialize of the process fail, so that a test can see a launched
// program's start-up failure path (the process's own code cannot inject the fault there).
bool EnvironmentFailsInitialize() {
  wchar_t value[8] = {};
  DWORD n = GetEnvironmentVariableW(L"BRIVELO_CEF_FAIL_INITIALIZE", value, 8);
  return n == 1 && value[0] == L'1';
}

// Creates `path` and every missing parent.
bool CreateDirectoryTree(const std::wstring& path) {
  if (path.empty())
    return false;
  DWORD attrs = GetFileAttributesW(path.c_str());
  if (attrs != INVALID_FILE_ATTRIBUTES)
    return (attrs & FILE_ATTRIBUTE_DIRECTORY) != 0;
  size_t slash = path.find_last_of(L"\\/");
  if (slash != std::wstring::npos && slash > 0) {
    std::wstring parent = path.substr(0, slash);
    if (!(parent.size() == 2 && parent[1] == L':') && !CreateDirectoryTree(parent))
      return false;
  }
  return CreateDirectoryW(path.c_str(), nullptr) || GetLastError() == ERROR_ALREADY_EXISTS;
}

// The process line, parsed; `type` receives its "type" switch.
CefRefPtr<CommandLineImpl> ProcessLine(std::wstring* type) {
  CefRefPtr<CommandLineImpl> line = new CommandLineImpl();
  line->InitFromString(GetCommandLineW());
  *type = line->GetSwitchValue("type").ToWString();
  if (type->empty() && line->HasSwitch("type"))
    *type = L"?";  // "--type" without a value still marks a sub-process
  return line;
}

// The first calls every process makes into its application.
void PrepareProcess(CefRefPtr<CefApp> app, const std::wstring& type, CefRefPtr<CommandLineImpl> line) {
  std::wstring process_type = type == L"?" ? std::wstring() : type;
  Record("OnBeforeCommandLineProcessing", 0, 0, {CefString(process_type).ToString()});
  if (app)
    app->OnBeforeCommandLineProcessing(process_type, line.get());
  CefRefPtr<SchemeRegistrarImpl> registrar = new SchemeRegistrarImpl();
  Record("OnRegisterCustomSchemes");
  if (app)
    app->OnRegisterCustomSchemes(registrar.get());
  registrar->Invalidate();
  line->SetReadOnly(true);
  SetGlobalCommandLine(line);
}

class ContextInitializedTask : public CefTask {
 public:
  explicit ContextInitializedTask(CefRefPtr<CefBrowserProcessHandler> handler) : handler_(handler) {}
  void Execute() override {
    Record("OnContextInitialized");
    if (handler_)
      handler_->OnContextInitialized();
  }

 private:
  CefRefPtr<CefBrowserProcessHandler> handler_;
  IMPLEMENT_REFCOUNTING(ContextInitializedTask);
};

const CefThreadId kOwnThreads[] = {TID_IO, TID_FILE, TID_PROCESS_LAUNCHER};

}  // namespace

bool IsInitialized() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().initialized;
}

CefSettings CurrentSettings() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().settings;
}

std::wstring CurrentLocale() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().locale;
}

CefRefPtr<CefApp> CurrentApp() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().app;
}

CefRefPtr<CefBrowserProcessHandler> BrowserProcessHandler() {
  std::lock_guard<std::mutex> lock(State().mutex);
  return State().browser_handler;
}

void FailNextInitialize() {
  g_fail_next_initialize = true;
}

}  // namespace cefengine

using namespace cefengine;

int CefExecuteProcess(const CefMainArgs& args, CefRefPtr<CefApp> application, void* windows_sandbox_info) {
  NoteStartupStamp(StartupStamp::kExecuteProcess);
  std::wstring type;
  CefRefPtr<CommandLineImpl> line = ProcessLine(&type);
  if (type.empty()) {
    NoteRendererEntryPoint();  // this executable can be started as a renderer
    return -1;
  }
  SetMainThread();
  PrepareProcess(application, type, line);
  if (type == L"renderer") {
    std::wstring channel = line->GetSwitchValue("cefengine-channel").ToWString();
    if (channel.empty()) {
      LOG(ERROR) << "CefExecuteProcess: renderer without a channel";
      return 1;
    }
    return RunRendererProcess(args, application, channel);
  }
  // Other sub-process kinds (plugins, GPU) have nothing to run in this engine.
  return 0;
}

bool CefInitialize(const CefMainArgs& args, const CefSettings& settings, CefRefPtr<CefApp> application,
                   void* windows_sandbox_info) {
  NoteStartupStamp(StartupStamp::kInitializeBegin);
  ContextState& state = State();
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (state.initialized) {
      LOG(WARNING) << "CefInitialize called twice";
      return false;
    }
  }
  if (g_fail_next_initialize.exchange(false)) {
    LOG(ERROR) << "CefInitialize failed (injected fault)";
    return false;
  }
  if (EnvironmentFailsInitialize()) {
    LOG(ERROR) << "CefInitialize failed (BRIVELO_CEF_FAIL_INITIALIZE=1)";
    return false;
  }
  // Recording starts before the first entry, so a control client sees the whole start-up.
  EnableJournalForControlPipe();
  Record("CefInitialize");
  std::wstring type;
  CefRefPtr<CommandLineImpl> line = ProcessLine(&type);
  if (!type.empty()) {
    LOG(ERROR) << "CefInitialize called in a sub-process";
    return false;
  }
  if (settings.command_line_args_disabled) {
    CefRefPtr<CommandLineImpl> program_only = new CommandLineImpl();
    program_only->SetProgram(line->GetProgram());
    line = program_only;
  }
  SetMainThread();
  PrepareProcess(application, std::wstring(), line);

  std::wstring cache_path = CefString(&settings.cache_path).ToWString();
  if (!cache_path.empty() && !CreateDirectoryTree(cache_path))
    LOG(WARNING) << "CefInitialize could not create the cache folder " << CefString(cache_path).ToString();
  ConfigureLog(CefString(&settings.log_file).ToWString(), settings.log_severity);

  std::wstring locale = CefString(&settings.locale).ToWString();
  if (locale.empty())
    locale = line->GetSwitchValue("lang").ToWString();
  CefRefPtr<CefBrowserProcessHandler> handler = application ? application->GetBrowserProcessHandler() : nullptr;

  bool single_threaded = !settings.multi_threaded_message_loop;
  bool started = single_threaded ? AdoptCurrentThread(TID_UI) : StartThread(TID_UI, true);
  for (CefThreadId id : kOwnThreads)
    started = started && StartThread(id, false);
  if (!started) {
    LOG(ERROR) << "CefInitialize could not start the engine threads";
    for (CefThreadId id : kOwnThreads)
      StopThread(id, Paced(kThreadStopTimeoutMs));
    StopThread(TID_UI, Paced(kThreadStopTimeoutMs));
    SetGlobalCommandLine(nullptr);
    ClearCustomSchemes();
    ResetLog();
    return false;
  }
  StartRequestContexts(cache_path);
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    state.initialized = true;
    state.single_threaded = single_threaded;
    state.init_thread = GetCurrentThreadId();
    state.settings = settings;
    state.locale = locale;
    state.app = application;
    state.browser_handler = handler;
  }
  // The first task of the UI thread; whatever the caller posts afterwards runs after it.
  PostEngineTask(TID_UI, new ContextInitializedTask(handler), 0);
  StartControlPipeFromEnvironment();
  NoteStartupStamp(StartupStamp::kInitializeEnd);
  return true;
}

void CefShutdown() {
  ContextState& state = State();
  CefRefPtr<CefApp> app;
  CefRefPtr<CefBrowserProcessHandler> handler;
  {
    std::lock_guard<std::mutex> lock(state.mutex);
    if (!state.initialized) {
      CEFENGINE_MISUSE("CefShutdown without CefInitialize ignored");
      return;
    }
    if (state.init_thread != GetCurrentThreadId())
      LOG(WARNING) << "CefShutdown called on another thread than CefInitialize";
    state.initialized = false;
    app.swap(state.app);
    handler.swap(state.browser_handler);
    state.settings.Reset();
    state.locale.clear();
  }
  Record("CefShutdown");
  StopControlPipe();
  // Browsers still open end here: no DoClose, but each hears OnBeforeClose and its renderer link closes.
  DestroyAllBrowsersForShutdown();
  StopThread(TID_UI, Paced(kThreadStopTimeoutMs));
  for (CefThreadId id : kOwnThreads)
    StopThread(id, Paced(kThreadStopTimeoutMs));
  StopRequestContexts();
  SetGlobalCommandLine(nullptr);
  ClearCustomSchemes();
  ClearSchemeFactories();
  ResetLog();
}

void CefDoMessageLoopWork() {
  PumpPendingMessages();
}

void CefRunMessageLoop() {
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) {
    TranslateMessage(&msg);
    DispatchMessageW(&msg);
  }
}

void CefQuitMessageLoop() {
  if (CefCurrentlyOn(TID_UI)) {
    PostQuitMessage(0);
    return;
  }
  class QuitTask : public CefTask {
   public:
    void Execute() override { PostQuitMessage(0); }
    IMPLEMENT_REFCOUNTING(QuitTask);
  };
  CefPostTask(TID_UI, new QuitTask());
}

void CefSetOSModalLoop(bool osModalLoop) {}

void CefEnableHighDPISupport() {
  SetProcessDPIAware();
}
