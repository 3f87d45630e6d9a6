// The process-wide context of the browser process, reached through MainContext::Get().
// Only what the host-process watch needs is declared so far; the context's other operations
// join it when the context itself is built.
#pragma once

namespace client {

class MainContext {
 public:
  // The registered instance, null when none exists. Not locked: the instance is created and
  // deleted on the main thread, and every thread-pool user (the host-process watch) must be
  // cancelled before it is deleted.
  static MainContext* Get() { return s_instance; }

  // Asks every root window to close; callable from any thread.
  virtual void Quit() = 0;

  MainContext(const MainContext&) = delete;
  MainContext& operator=(const MainContext&) = delete;

 protected:
  MainContext() { s_instance = this; }
  virtual ~MainContext() { s_instance = nullptr; }

 private:
  static inline MainContext* s_instance = nullptr;
};

}  // namespace client
