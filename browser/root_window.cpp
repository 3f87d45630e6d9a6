#include "browser/root_window.h"

#include "browser/main_context.h"
#include "browser/main_message_loop.h"
#include "browser/root_window_manager.h"
#include "include/base/cef_bind.h"

namespace client {

void DeleteOnMainThread::Destruct(const RootWindow* window) {
  if (MainMessageLoop::Get()->RunsTasksOnCurrentThread()) {
    delete window;
  } else {
    // The count is already 0: the closure carries the bare pointer, not a reference.
    MainMessageLoop::Get()->PostClosure(base::Bind(&DeleteOnMainThread::Destruct, window));
  }
}

scoped_refptr<RootWindow> RootWindow::GetForBrowser(int browser_id) {
  MainContext* context = MainContext::Get();
  RootWindowManager* manager = context ? context->GetRootWindowManager() : nullptr;
  return manager ? manager->GetWindowForBrowser(browser_id) : nullptr;
}

}  // namespace client
