#include "browser/main_message_loop_std.h"

#include "include/cef_app.h"

namespace client {

MainMessageLoopStd::MainMessageLoopStd() {}

MainMessageLoopStd::~MainMessageLoopStd() {}

int MainMessageLoopStd::Run() {
  CefRunMessageLoop();
  return 0;
}

void MainMessageLoopStd::Quit() { CefQuitMessageLoop(); }

void MainMessageLoopStd::PostTask(CefRefPtr<CefTask> task) { CefPostTask(TID_UI, task); }

bool MainMessageLoopStd::RunsTasksOnCurrentThread() const { return CefCurrentlyOn(TID_UI); }

void MainMessageLoopStd::SetCurrentModelessDialog(HWND hwnd_dialog) {}

}  // namespace client
