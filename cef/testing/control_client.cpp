#include "testing/control_client.h"

#include "engine/control_pipe.h"
#include "testing/control_json.h"

namespace cefengine {
namespace test {

ControlClient::~ControlClient() {
  Disconnect();
}

bool ControlClient::Connect(const std::wstring& name, int timeout_ms) {
  Disconnect();
  std::wstring path = name.find(L'\\') == std::wstring::npos ? L"\\\\.\\pipe\\" + name : name;
  ULONGLONG end = GetTickCount64() + static_cast<ULONGLONG>(timeout_ms);
  for (;;) {
    pipe_ = CreateFileW(path.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
    if (pipe_ != INVALID_HANDLE_VALUE)
      return true;
    if (GetTickCount64() >= end)
      return false;
    // Not created yet, or busy with another client.
    Sleep(20);
  }
}

void ControlClient::Disconnect() {
  if (pipe_ != INVALID_HANDLE_VALUE)
    CloseHandle(pipe_);
  pipe_ = INVALID_HANDLE_VALUE;
  pending_.clear();
}

bool ControlClient::Call(const std::string& cmd, const Json::Value& args, Json::Value* result, std::string* error) {
  if (pipe_ == INVALID_HANDLE_VALUE) {
    *error = "not connected";
    return false;
  }
  Json::Value request;
  int id = next_id_++;
  request["id"] = id;
  request["cmd"] = cmd;
  request["args"] = args;
  std::string line = WriteJsonLine(request);
  DWORD written = 0;
  if (!WriteFile(pipe_, line.data(), static_cast<DWORD>(line.size()), &written, nullptr) || written != line.size()) {
    *error = "pipe write failed";
    Disconnect();
    return false;
  }
  size_t newline;
  while ((newline = pending_.find('\n')) == std::string::npos) {
    char buffer[4096];
    DWORD n = 0;
    if (!ReadFile(pipe_, buffer, sizeof(buffer), &n, nullptr) || n == 0 || pending_.size() > kMaxControlLine) {
      *error = "pipe read failed";
      Disconnect();
      return false;
    }
    pending_.append(buffer, n);
  }
  std::string answer = pending_.substr(0, newline);
  pending_.erase(0, newline + 1);
  Json::Value reply;
  if (!ParseJsonLine(answer, &reply, error) || !reply.isObject() || reply["id"] != id) {
    if (error->empty())
      *error = "unexpected answer";
    Disconnect();
    return false;
  }
  if (!reply["ok"].asBool()) {
    *error = reply["error"].asString();
    return false;
  }
  *result = reply["result"];
  return true;
}

std::vector<JournalEntry> ControlClient::Journal(uint64_t from) {
  std::vector<JournalEntry> entries;
  for (;;) {
    Json::Value args;
    args["from"] = Json::UInt64(from);
    args["limit"] = journal_page_;
    Json::Value result;
    std::string error;
    if (!Call("journal", args, &result, &error) || !result.isArray())
      return std::vector<JournalEntry>();
    for (const Json::Value& v : result)
      entries.push_back(JournalEntryFromJson(v));
    // A short page is the end; a full one may have more behind it.
    if (result.size() < static_cast<Json::ArrayIndex>(journal_page_))
      return entries;
    from = entries.back().seq + 1;
  }
}

bool ControlClient::WaitFor(const std::string& kind, size_t count, int timeout_ms) {
  Json::Value args;
  args["kind"] = kind;
  args["count"] = Json::UInt64(count);
  args["timeout_ms"] = timeout_ms;
  Json::Value result;
  std::string error;
  return Call("wait", args, &result, &error) && result.asBool();
}

}  // namespace test
}  // namespace cefengine
