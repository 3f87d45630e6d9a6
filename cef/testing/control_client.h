// The test side of the control pipe (engine/control_pipe.h): connects to a running browser process and calls its
// commands. One client object per connection; calls are synchronous and must come from one thread at a time.
#ifndef CEF_TESTING_CONTROL_CLIENT_H_
#define CEF_TESTING_CONTROL_CLIENT_H_

#include <windows.h>
#include <json/json.h>

#include <string>
#include <vector>

#include "engine/journal.h"

namespace cefengine {
namespace test {

class ControlClient {
 public:
  ControlClient() = default;
  ~ControlClient();
  ControlClient(const ControlClient&) = delete;
  ControlClient& operator=(const ControlClient&) = delete;

  // Connects to `name` (a bare name means \\.\pipe\<name>), retrying until the server listens or `timeout_ms`
  // passes.
  [[nodiscard]] bool Connect(const std::wstring& name, int timeout_ms);
  void Disconnect();

  // Sends one command and waits for its answer. False with `error` set when the server refused it or the pipe
  // broke (then the client is disconnected).
  [[nodiscard]] bool Call(const std::string& cmd, const Json::Value& args, Json::Value* result, std::string* error);

  // Journal entries with seq >= from; empty when the call failed. Read in pages (500 entries unless set otherwise),
  // so that no answer outgrows the longest line the client takes.
  std::vector<JournalEntry> Journal(uint64_t from = 0);
  void SetJournalPage(int entries) { journal_page_ = entries > 0 ? entries : 1; }
  // True when `count` entries of `kind` were recorded within `timeout_ms` (waited for by the server).
  bool WaitFor(const std::string& kind, size_t count, int timeout_ms);

 private:
  HANDLE pipe_ = INVALID_HANDLE_VALUE;
  int next_id_ = 1;
  int journal_page_ = 500;
  std::string pending_;
};

}  // namespace test
}  // namespace cefengine

#endif  // CEF_TESTING_CONTROL_CLIENT_H_
