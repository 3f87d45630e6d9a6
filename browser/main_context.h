// The process-wide context of the browser process, reached through MainContext::Get().
#pragma once

#include <string>

#include "browser/osr_gl_renderer.h"
#include "include/cef_base.h"
#include "include/internal/cef_types_wrappers.h"

namespace IPC {
class Message;
}

namespace client {

class RootWindowManager;

class MainContext {
 public:
  // The registered instance, null when none exists. Not locked: the instance is created and
  // deleted on the main thread, and every thread-pool user (the host-process watch) must be
  // cancelled before it is deleted.
  static MainContext* Get() { return s_instance; }

  // Asks every root window to close; callable from any thread.
  virtual void Quit() = 0;
  // The application-data working folder followed by "console.log".
  virtual std::string GetConsoleLogPath() = 0;
  // The user's documents folder, a backslash and file_name, as UTF-8; empty when unknown.
  virtual std::string GetDownloadPath(const std::string& file_name) = 0;
  // The current directory followed by a backslash; empty when it cannot be read.
  virtual std::string GetAppWorkingDirectory() = 0;
  // The product's application-data folder followed by a backslash, as UTF-8.
  virtual std::string GetAppDataWorkingDirectory() = 0;
  // The ARGB background colour of the views. Any thread.
  virtual cef_color_t GetBackgroundColor() = 0;
  // Main thread, before Initialize. cmd is the value of the "cmd" switch.
  virtual void PopulateSettings(const CefString& cmd, CefSettings* settings) = 0;
  // Fills the settings of a new browser; main thread or CEF's UI thread.
  virtual void PopulateBrowserSettings(CefBrowserSettings* settings) = 0;
  // Fills the painting settings of an off-screen view; main thread or CEF's UI thread.
  virtual void PopulateOsrSettings(OsrRendererSettings* settings) = 0;
  // Null before a successful initialisation and after shutdown. The context owns it.
  virtual RootWindowManager* GetRootWindowManager() = 0;
  // sync: returns once the host has handled it; otherwise queued for the channel's sender
  // thread. Any thread.
  virtual void SendToHost(IPC::Message& message, bool sync) = 0;

  MainContext(const MainContext&) = delete;
  MainContext& operator=(const MainContext&) = delete;

 protected:
  MainContext() { s_instance = this; }
  virtual ~MainContext() { s_instance = nullptr; }

 private:
  static inline MainContext* s_instance = nullptr;
};

}  // namespace client
