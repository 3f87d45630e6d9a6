#include "browser/main_message_loop.h"

#include "include/wrapper/cef_closure_task.h"

namespace client {

namespace {
// Written only by the loop's constructor and destructor, on the main thread, while no other
// thread posts (the loop outlives CEF and every view).
MainMessageLoop* g_main_message_loop = nullptr;
}  // namespace

MainMessageLoop::MainMessageLoop() { g_main_message_loop = this; }

MainMessageLoop::~MainMessageLoop() { g_main_message_loop = nullptr; }

MainMessageLoop* MainMessageLoop::Get() { return g_main_message_loop; }

void MainMessageLoop::PostClosure(const base::Closure& closure) { PostTask(CefCreateClosureTask(closure)); }

}  // namespace client
