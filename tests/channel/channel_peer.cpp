// Second process for the channel tests: the browser end of a channel, driven by the test
// (the host end) through a few private message types, or a plain window owner.
//
//   channel_peer browser <id>   browser end; announces itself, then answers the test
//   channel_peer hold <title>   owns a window with that title until killed
//   channel_peer squat <name>   owns a window whose class and title are the name (a channel
//                               window's name) until killed, and counts what it is sent
#include <windows.h>

#include <string>
#include <thread>
#include <vector>

#include "channel/channel.h"
#include "tests/channel/channel_peer_codes.h"

namespace {

CChannel* g_pChannel = nullptr;

void SendBack(uint32_t type, std::initializer_list<int> values, bool sync) {
  IPC::Message message(kRoutingIdHost, type, 2);
  for (int v : values) (void)message.WriteInt(v);
  (void)g_pChannel->Send(&message, !sync, sync);
}

void Burst(int count, int threads) {
  std::vector<std::thread> senders;
  for (int t = 0; t < threads; ++t) {
    senders.emplace_back([t, count] {
      for (int i = 0; i < count; ++i) SendBack(peer_codes::kBurstItem, {t, i}, false);
    });
  }
  for (std::thread& sender : senders) sender.join();
  SendBack(peer_codes::kBurstDone, {count * threads}, false);
}

// Acknowledges every message it receives: (listener id, routing, type, received inside the
// sender's call).
class AckListener : public IChannelListener {
 public:
  explicit AckListener(int routing_id) : m_nRoutingId(routing_id) {}

  void OnMessageReceived(const IPC::Message& message) override {
    const BOOL in_send = InSendMessage();
    const uint32_t type = message.GetType();
    SendBack(peer_codes::kAck, {m_nRoutingId, message.GetRouting(), static_cast<int>(type), in_send ? 1 : 0}, false);
    if (m_nRoutingId != kRoutingIdBrowser) return;
    PickleReader reader(message);
    if (type == peer_codes::kStartBurst) {
      int count = 0, threads = 0;
      (void)reader.ReadInt(&count);
      (void)reader.ReadInt(&threads);
      Burst(count, threads);
    } else if (type == peer_codes::kEchoSync) {
      // Sent while the host may still be inside its own send to us: must not deadlock.
      SendBack(peer_codes::kEchoReply, {1}, true);
    } else if (type == peer_codes::kQuit) {
      PostQuitMessage(0);
    }
  }
  int GetRoutingId() override { return m_nRoutingId; }

 private:
  int m_nRoutingId;
};

int RunBrowser(const wchar_t* id) {
  CChannel channel;
  g_pChannel = &channel;
  channel.Init(id);
  AckListener browser(kRoutingIdBrowser), other(peer_codes::kOtherRoutingId);
  channel.AddListener(&browser);
  channel.AddListener(&other);
  SendBack(peer_codes::kHello, {static_cast<int>(GetCurrentProcessId())}, true);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  channel.Unit();
  return 0;
}

int RunHold(const wchar_t* title) {
  HWND window = CreateWindowExW(0, L"STATIC", title, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr);
  if (!window) return 2;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

LONG g_nCopies = 0;

LRESULT CALLBACK SquatProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    ++g_nCopies;
    return TRUE;
  }
  if (msg == peer_codes::kSquatCount) return g_nCopies;
  return DefWindowProcW(hwnd, msg, wp, lp);
}

int RunSquat(const wchar_t* name) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = SquatProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = name;
  if (!RegisterClassExW(&wc)) return 2;
  HWND window = CreateWindowExW(0, name, name, WS_POPUP, 0, 0, 10, 10, nullptr, nullptr, wc.hInstance, nullptr);
  if (!window) return 2;
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"browser") return RunBrowser(argv[2]);
  if (argc >= 3 && std::wstring(argv[1]) == L"hold") return RunHold(argv[2]);
  if (argc >= 3 && std::wstring(argv[1]) == L"squat") return RunSquat(argv[2]);
  return 3;
}
