#include "render/client_app.h"

#include "include/cef_command_line.h"
#include "include/cef_scheme.h"

namespace client {

ClientApp::ClientApp() {
  cookieable_schemes_.push_back("zip");
  cookieable_schemes_.push_back("file");
}

ClientApp::ProcessType ClientApp::GetProcessType(CefRefPtr<CefCommandLine> command_line) {
  if (!command_line->HasSwitch("type"))
    return BrowserProcess;
  const std::string process_type = command_line->GetSwitchValue("type").ToString();
  if (process_type == "renderer")
    return RendererProcess;
  return OtherProcess;
}

void ClientApp::OnRegisterCustomSchemes(CefRefPtr<CefSchemeRegistrar> registrar) {
  // The results are not needed: a scheme the engine refuses simply stays unserved.
  registrar->AddCustomScheme("zip", false, true, false);
  registrar->AddCustomScheme("file", false, true, false);
}

}  // namespace client
