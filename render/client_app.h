// The CEF application base shared by every process kind of the one executable, and the
// classification of a process by its command line.
#pragma once

#include <vector>

#include "include/cef_app.h"

namespace client {

// Base of ClientAppBrowser, ClientAppRenderer and ClientAppOther. It supplies no reference
// counting of its own: each subclass does, so a ClientApp is never created by itself.
class ClientApp : public CefApp {
 public:
  // Process kinds as the process entry tells them apart. 2 is never produced.
  enum ProcessType {
    BrowserProcess = 0,
    RendererProcess = 1,
    OtherProcess = 3,
  };

  ClientApp();

  // Browser without a "type" switch, renderer for exactly "renderer" (letter case
  // significant), other for any other value, an empty one included. Reads the line only.
  static ProcessType GetProcessType(CefRefPtr<CefCommandLine> command_line);

  // Registers "zip", then "file": not standard, local, not display-isolated. A refused
  // registration does not stop the next one. Called by CEF once per process.
  void OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) override;

 protected:
  // Schemes whose responses may set cookies: "zip", then "file". Fixed at construction;
  // only the browser application hands it on (to the global cookie manager).
  std::vector<CefString> cookieable_schemes_;
};

}  // namespace client
