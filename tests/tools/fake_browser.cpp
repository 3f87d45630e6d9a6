// A stand-in for the browser executable in host simulator tests: it opens the browser end
// of the channel named by --tab_ids, writes every command it receives as one JSON line to the
// file named by --record, and answers a few commands the way the browser would: a load with the
// page's events and a call of the host, a created view with its event 1 and the events of its
// start page, a close with event 2, after which it ends. With
// --record-env=NAME;NAME... it first records those environment variables as
// {"env":{"NAME":"value" or null,...}}.
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <string>

#include "browser/host_protocol.h"
#include "channel/channel.h"
#include "tools/hostsim/event_json.h"
#include "tools/json_text.h"

using namespace client;

namespace {

// The value of --name in a command line whose first word is the program.
std::wstring SwitchValueIn(const wchar_t* command_line, const wchar_t* name) {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(command_line, &argc);
  if (!argv) return std::wstring();
  const std::wstring prefix = std::wstring(L"--") + name + L"=";
  std::wstring value;
  for (int i = 1; i < argc; ++i) {
    const std::wstring arg = argv[i];
    if (arg.compare(0, prefix.size(), prefix) == 0) value = arg.substr(prefix.size());
  }
  LocalFree(argv);
  return value;
}

std::wstring SwitchValue(const wchar_t* name) { return SwitchValueIn(GetCommandLineW(), name); }

FILE* g_pRecord = nullptr;

void Record(const std::string& line) {
  if (!g_pRecord) return;
  std::fprintf(g_pRecord, "%s\n", line.c_str());
  std::fflush(g_pRecord);
}

class FakeBrowser : public IChannelListener {
 public:
  explicit FakeBrowser(CChannel* channel) : m_pChannel(channel) {}

  void OnMessageReceived(const IPC::Message& message) override {
    Record(CommandToJson(message));
    const uint32_t code = CodeOfType(message.GetType());
    const uint32_t view = ViewOfType(message.GetType());
    if (code == MsgToBrowserLoadUrl) {
      const std::wstring url = DecodePayload(message, FindHostCommand(code)->layout)[0].text;
      SendLoad(view, url);
      Send(MakeCallHostEvent(view, 9, L"hostMethod", L"cbKey", {L"x"}));
    } else if (code == MsgToBrowserCreateWebView) {
      const std::wstring switches = L"browser " + DecodePayload(message, FindHostCommand(code)->layout)[0].text;
      const uint32_t created_view =
          static_cast<uint32_t>(wcstol(SwitchValueIn(switches.c_str(), L"web_view_id").c_str(), nullptr, 10));
      HWND root = CreateWindowExW(0, L"STATIC", L"fake root", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
      IPC::Message created = MakeBrowserCreatedEvent(created_view, root);
      (void)m_pChannel->Send(&created, false, true);
      const std::wstring url = SwitchValueIn(switches.c_str(), L"url");
      SendLoad(created_view, url.empty() ? L"about:blank" : url);
    } else if (code == MsgToBrowserClose) {
      IPC::Message destroyed = MakeWindowDestroyedEvent(view);
      (void)m_pChannel->Send(&destroyed, false, true);
      PostQuitMessage(0);
    }
  }
  int GetRoutingId() override { return kRoutingIdBrowser; }

 private:
  void Send(IPC::Message message) { (void)m_pChannel->Send(&message, true, false); }
  void SendLoad(uint32_t view, const std::wstring& url) {
    Send(MakeLoadingStateEvent(view, false, false, true));
    Send(MakeAddressChangeEvent(view, url));
    Send(MakeTitleChangeEvent(view, L"title \"of\" " + url));
    Send(MakeLoadEndEvent(view, url));
  }
  CChannel* m_pChannel;
};

}  // namespace

int wmain() {
  const std::wstring record = SwitchValue(L"record");
  if (!record.empty()) g_pRecord = _wfopen(record.c_str(), L"ab");
  const HWND parent = HwndFromWire(static_cast<int64_t>(wcstoul(SwitchValue(L"parent_wnd").c_str(), nullptr, 16)));
  const uint32_t view = static_cast<uint32_t>(wcstol(SwitchValue(L"web_view_id").c_str(), nullptr, 10));
  DWORD parent_process = 0;
  GetWindowThreadProcessId(parent, &parent_process);
  Record("{\"start\":" + std::to_string(view) + ",\"parentIsWindow\":" + std::to_string(IsWindow(parent) ? 1 : 0) +
         ",\"parentOfOtherProcess\":" + std::to_string(parent_process != GetCurrentProcessId() ? 1 : 0) +
         ",\"url\":" + JsonString(SwitchValue(L"url")) + "}");

  const std::wstring env_names = SwitchValue(L"record-env");
  if (!env_names.empty()) {
    std::string env;
    for (size_t start = 0; start <= env_names.size();) {
      size_t end = env_names.find(L';', start);
      if (end == std::wstring::npos) end = env_names.size();
      const std::wstring name = env_names.substr(start, end - start);
      wchar_t value[512] = {};
      const DWORD n = GetEnvironmentVariableW(name.c_str(), value, 512);
      env += (env.empty() ? "" : ",") + JsonString(name) + ":" +
             (n == 0 || n >= 512 ? std::string("null") : JsonString(std::wstring(value, n)));
      start = end + 1;
    }
    Record("{\"env\":{" + env + "}}");
  }

  CChannel channel;
  channel.Init(SwitchValue(L"tab_ids").c_str());
  FakeBrowser browser(&channel);
  channel.AddListener(&browser);
  HWND root = CreateWindowExW(0, L"STATIC", L"fake root", WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  IPC::Message created = MakeBrowserCreatedEvent(view, root);
  (void)channel.Send(&created, false, true);

  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  channel.Unit();
  if (g_pRecord) std::fclose(g_pRecord);
  return 0;
}
