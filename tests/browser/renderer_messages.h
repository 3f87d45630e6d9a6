// What a browser sent its renderer, as text for comparisons: each process message's arguments in
// order, "int:N" for integers, "bool:B" (1 or 0) for booleans, strings as they are.
#pragma once

#include <string>
#include <vector>

#include "include/cef_values.h"
#include "testing/browser_testing.h"

inline std::vector<std::string> ArgumentTexts(CefRefPtr<CefListValue> args) {
  std::vector<std::string> out;
  for (size_t i = 0; i < args->GetSize(); ++i) {
    switch (args->GetType(i)) {
      case VTYPE_INT: out.push_back("int:" + std::to_string(args->GetInt(i))); break;
      case VTYPE_BOOL: out.push_back(std::string("bool:") + (args->GetBool(i) ? "1" : "0")); break;
      default: out.push_back(args->GetString(i).ToString()); break;
    }
  }
  return out;
}

// The arguments of every process message of one name the browser sent its renderer, in order.
inline std::vector<std::vector<std::string>> RendererMessages(CefRefPtr<CefBrowser> browser, const std::string& name) {
  std::vector<std::vector<std::string>> out;
  for (const auto& message : cefengine::test::MessagesSentToRenderer(browser))
    if (message.first == name) out.push_back(ArgumentTexts(message.second));
  return out;
}
