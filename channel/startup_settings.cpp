#include "channel/startup_settings.h"

#include <cstdio>
#include <cstdlib>

#include "include/cef_parser.h"

namespace {

// "%d,%d,%d,%d"; fields the scan does not reach keep their values.
void ScanRect(const std::string& text, CefRect* rect) {
  std::sscanf(text.c_str(), "%d,%d,%d,%d", &rect->x, &rect->y, &rect->width, &rect->height);
}

}  // namespace

StartupSettings::~StartupSettings() = default;

bool StartupSettings::ParseCommandLine(CefRefPtr<CefCommandLine> command_line) {
  if (command_line->HasSwitch("url")) url = command_line->GetSwitchValue("url").ToString();
  if (url.empty()) url = "about:blank";

  if (command_line->HasSwitch("background-color")) {
    CefParseCSSColor(command_line->GetSwitchValue("background-color"), false, background_color);
  }

  const std::string parent = command_line->GetSwitchValue("parent_wnd").ToString();
  if (!parent.empty()) {
    // Unsigned 32 bits: window handles may be 0x80000000 or above. The handle is widened the
    // way 64-bit Windows widens 32-bit handles (sign extension).
    const uint32_t value = static_cast<uint32_t>(std::strtoul(parent.c_str(), nullptr, 16));
    parent_wnd = reinterpret_cast<HWND>(static_cast<LONG_PTR>(static_cast<int32_t>(value)));
  }

  ScanRect(command_line->GetSwitchValue("tab_rect").ToString(), &tab_rect);
  tab_ids = command_line->GetSwitchValue("tab_ids").ToWString();

  const std::wstring class_value = command_line->GetSwitchValue("class_name").ToWString();
  if (!class_value.empty()) class_name = class_value;

  transparent_window = command_line->HasSwitch("transparent_window");

  const std::string view = command_line->GetSwitchValue("web_view_id").ToString();
  if (!view.empty()) web_view_id = static_cast<int32_t>(std::strtol(view.c_str(), nullptr, 10));

  sc_init_hide = command_line->HasSwitch("sc_init_hide");
  self_adaption_dpi = command_line->HasSwitch("self_adaption_dpi");
  referrer = command_line->GetSwitchValue("referrer").ToWString();
  enable_setparent = command_line->HasSwitch("enable_setparent");

  if (command_line->HasSwitch("workarea")) ScanRect(command_line->GetSwitchValue("workarea").ToString(), &workarea);
  return true;
}
