// A renderer sub-process running the product's renderer application, for the tests that drive a
// browser whose renderer is a real child process. Its version block says 4.3.2.1.
#include <windows.h>

#include "include/cef_app.h"
#include "render/client_app_renderer.h"

int main() {
  CefRefPtr<client::ClientAppRenderer> app = new client::ClientAppRenderer();
  return CefExecuteProcess(CefMainArgs(GetModuleHandleW(nullptr)), app.get(), nullptr);
}
