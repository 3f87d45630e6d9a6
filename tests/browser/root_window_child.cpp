// Test helper: a browser process of its own (main loop, main context with the engine, a host
// window) that plays one way a root window ends the process, which a test cannot survive.
//
//   root_window_child <mode> <log file> <statistics URL template or -> [argument] [switches]
//
// Modes:
//   host_gone_at_creation  the host window is gone before the view is made
//   host_gone_at_close     the view exists, its window goes with the host's window tree, then the
//                          context quits (as when the host's process ends)
//   popup_close            a pop-up (developer-tools) root window is closed
//   end_session <pid>      the view gets the host's end-of-session message (0x11AD); the process
//                          <pid> (0: none) is recorded as started by this one
//   mute                   the view mutes and unmutes the process
//   sleep                  waits a minute (a child to be ended)
// Exit codes: 0 when the process ended itself as the product does; 2 when the browser process
// could not start; 3 when a mode that must end the process came back; 40 + the message's result
// for end_session; 50 when mute came back; 9 for sleep.
#include <windows.h>

#include <functional>
#include <memory>
#include <string>

#include "base/log.h"
#include "browser/child_processes.h"
#include "browser/main_context_impl.h"
#include "browser/main_message_loop_multithreaded_win.h"
#include "browser/root_window_manager.h"
#include "include/cef_app.h"
#include "product/kiv_statistic.h"
#include "testing/cefengine_testing.h"
#include "tests/browser/function_task.h"
#include "tests/cef/browser_test_support.h"

namespace {

namespace test = cefengine::test;

// The window class name the tests look for in reports and log lines.
const wchar_t kViewClass[] = L"Host Class/1";

scoped_refptr<client::RootWindow> CreateView(client::MainContextImpl& context, HWND parent) {
  std::unique_ptr<StartupSettings> settings(new StartupSettings());
  settings->url = "about:blank";
  settings->parent_wnd = parent;
  settings->tab_rect = CefRect(0, 0, 200, 100);
  settings->web_view_id = 0x0100;
  settings->class_name = kViewClass;
  return context.GetRootWindowManager()->CreateRootWindow(std::move(settings));
}

bool WaitForBrowser(scoped_refptr<client::RootWindow> root) {
  return test::WaitFor([&] { return root->GetBrowser() != nullptr; }, 10000);
}

// host: the host's window, which outlives the views.
int RunMode(const std::wstring& mode, const std::wstring& argument, client::MainContextImpl& context, HWND host) {
  if (mode == L"host_gone_at_creation") {
    HWND doomed = nullptr;
    {
      browser_test::HostWindow gone;
      doomed = gone.hwnd();
    }
    CreateView(context, doomed);
    return 3;
  }

  if (mode == L"popup_close") {
    scoped_refptr<client::RootWindow> popup;
    CefWindowInfo info;
    CefRefPtr<CefClient> client;
    CefBrowserSettings settings;
    test::RunOn(TID_UI, [&] {
      popup = context.GetRootWindowManager()->CreateRootWindowAsPopup(false, false, CefPopupFeatures(), info, client,
                                                                      settings);
    });
    if (!popup) return 2;
    // It joins the manager through the main thread.
    if (!test::WaitFor([&] { return context.GetRootWindowManager()->GetRootWindowCount() == 1; })) return 2;
    popup->Close(false);
    return 3;
  }

  scoped_refptr<client::RootWindow> root = CreateView(context, host);
  if (!WaitForBrowser(root)) return 2;

  if (mode == L"host_gone_at_close") {
    // No message is pumped in between: the browser's own end cannot come first.
    DestroyWindow(host);
    context.Quit();
    return 3;
  }
  if (mode == L"end_session") {
    const DWORD pid = static_cast<DWORD>(_wtoi(argument.c_str()));
    if (pid) {
      HANDLE process = OpenProcess(PROCESS_TERMINATE | SYNCHRONIZE, FALSE, pid);
      if (!process || !g_childProcesses.Append(process)) return 2;
    }
    return 40 + static_cast<int>(SendMessageW(root->GetWindowHandle(), 0x11AD, 0, 0));
  }
  if (mode == L"mute") {
    root->Mute(true);
    root->Mute(false);
    return 50;
  }
  return 2;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc < 4) return 2;
  const std::wstring mode = argv[1];
  if (mode == L"sleep") {
    Sleep(60000);
    return 9;
  }
  SetLogFilePath(argv[2]);
  AddLogLevels(15);
  const std::wstring url_template = argv[3];
  if (url_template != L"-") {
    CKivStatistic* statistic = GetKivStatistic();
    if (!statistic || !statistic->Init(0, L"brivelo", url_template.c_str())) return 2;
  }
  const std::wstring argument = argc > 4 ? argv[4] : L"";

  client::MainMessageLoopMultithreadedWin loop;
  CefRefPtr<CefCommandLine> command_line = CefCommandLine::CreateCommandLine();
  command_line->InitFromString(GetCommandLineW());
  client::MainContextImpl context(command_line, true);
  CefSettings settings;
  context.PopulateSettings(CefString(), &settings);
  CefString(&settings.cache_path) = "";
  const std::wstring channel = L"root-child-" + std::to_wstring(GetCurrentProcessId());
  if (!context.Initialize(CefMainArgs(GetModuleHandleW(nullptr)), settings, nullptr, nullptr, channel)) return 2;

  int code = 3;
  browser_test::HostWindow host;
  loop.PostTask(new FunctionTask([&] {
    code = RunMode(mode, argument, context, host.hwnd());
    // A mode that had to end the process failed: closing its view now would end it as well.
    if (code == 3) TerminateProcess(GetCurrentProcess(), 3);
    client::RootWindowManager* manager = context.GetRootWindowManager();
    manager->CloseAllWindows(false);
    test::WaitFor([&] { return manager->GetRootWindowCount() == 0; }, 10000);
    context.Shutdown();
    PostQuitMessage(0);
  }));
  loop.Run();
  return code;
}
