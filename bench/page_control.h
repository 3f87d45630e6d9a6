// The page side of a running browser, played through the CEF layer's control pipe (engine/control_pipe.h), as the
// end-to-end tests play it. Calls are synchronous; one thread uses an object.
#pragma once

#include <json/json.h>

#include <string>

#include "testing/control_client.h"

namespace bench {

class PageControl {
 public:
  // Connects to the pipe the browser serves (its BRIVELO_CEF_CONTROL); false when it did not within timeout_ms.
  [[nodiscard]] bool Connect(const std::wstring& pipe, int timeout_ms);
  // A command; false (with the reason in error()) when it was refused or the pipe broke.
  [[nodiscard]] bool Call(const std::string& cmd, const Json::Value& args, Json::Value* result = nullptr);
  // The same with the arguments as JSON text.
  [[nodiscard]] bool CallJson(const std::string& cmd, const std::string& args, Json::Value* result = nullptr);
  // The id of the open browser whose URL is `url`; 0 when none.
  int BrowserShowing(const std::string& url);
  const std::string& error() const { return error_; }

 private:
  cefengine::test::ControlClient client_;
  std::string error_;
};

// JSON text parsed; null (and an error text in *error, when given) when it is not JSON.
Json::Value ParseJson(const std::string& text, std::string* error = nullptr);

}  // namespace bench
