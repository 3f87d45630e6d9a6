// The main loop for CEF's single-threaded mode: CEF's own loop runs on the main thread, which
// is then CEF's UI thread. The browser process always runs CEF multi-threaded, so it never
// creates this loop.
#pragma once

#include "browser/main_message_loop.h"

namespace client {

class MainMessageLoopStd : public MainMessageLoop {
 public:
  MainMessageLoopStd();
  ~MainMessageLoopStd() override;

  int Run() override;
  void Quit() override;
  void PostTask(CefRefPtr<CefTask> task) override;
  bool RunsTasksOnCurrentThread() const override;
  // No dialogs are routed in this mode.
  void SetCurrentModelessDialog(HWND hwnd_dialog) override;
};

}  // namespace client
