// An application that adds switches to the engine's global command line while it starts.
#pragma once

#include <string>
#include <utility>
#include <vector>

#include "include/cef_app.h"

class SwitchApp : public CefApp {
 public:
  // Names with values; an empty value adds the switch alone.
  explicit SwitchApp(std::vector<std::pair<std::string, std::string>> switches) : switches_(std::move(switches)) {}
  // One switch without a value.
  explicit SwitchApp(const std::string& name) : switches_{{name, std::string()}} {}

  void OnBeforeCommandLineProcessing(const CefString& process_type, CefRefPtr<CefCommandLine> command_line) override {
    for (const auto& s : switches_) {
      if (s.second.empty())
        command_line->AppendSwitch(s.first);
      else
        command_line->AppendSwitchWithValue(s.first, s.second);
    }
  }

 private:
  std::vector<std::pair<std::string, std::string>> switches_;
  IMPLEMENT_REFCOUNTING(SwitchApp);
};
