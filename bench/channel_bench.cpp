// Throughput of the host channel between two processes, each figure beside a raw WM_COPYDATA
// loop between the same two processes in the same run (the ratio is what to watch):
//   async: events queued by the peer and received here, per second;
//   sync:  synchronous round trips from here to the peer, per second.
// The four loops run in turn for several rounds; each ratio is the median of the rounds' ratios
// of a loop and its raw twin run moments apart, so load from other processes skews it less.
// Targets: each at least 0.9x its raw twin.
//
//   brivelo_channel_bench [count [rounds]]   (the peer is this executable, started with "peer <id>")
#include <windows.h>

#include <algorithm>
#include <cstdlib>
#include <string>
#include <vector>

#include "bench/bench_report.h"
#include "channel/channel.h"

namespace {

constexpr uint32_t kStartAsync = 0x21;  // here -> peer: int count; peer queues count events
constexpr uint32_t kStartRaw = 0x22;    // here -> peer: int count; peer sends count raw blocks
constexpr uint32_t kEvent = 0x23;
constexpr uint32_t kPing = 0x24;

const wchar_t kRawClass[] = L"BriveloBenchRaw";
// Each figure against its raw twin.
const double kTargetRatio = 0.9;
volatile LONG g_nRawReceived = 0;

LRESULT CALLBACK RawProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp) {
  if (msg == WM_COPYDATA) {
    InterlockedIncrement(&g_nRawReceived);
    return TRUE;
  }
  return DefWindowProcW(hwnd, msg, wp, lp);
}

HWND CreateRawWindow(const std::wstring& title) {
  WNDCLASSEXW wc = {};
  wc.cbSize = sizeof(wc);
  wc.lpfnWndProc = RawProc;
  wc.hInstance = GetModuleHandleW(nullptr);
  wc.lpszClassName = kRawClass;
  RegisterClassExW(&wc);
  return CreateWindowExW(0, kRawClass, title.c_str(), WS_POPUP, 0, 0, 1, 1, nullptr, nullptr, wc.hInstance, nullptr);
}

// A block of the same size as the channel's events.
void SendRaw(HWND target, HWND from) {
  static char block[24] = {8, 0, 0, 0, 2};
  COPYDATASTRUCT cds{kCopyDataAsync, sizeof(block), block};
  SendMessageW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(from), reinterpret_cast<LPARAM>(&cds));
}

bool PumpUntil(volatile LONG* counter, LONG target, DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (*counter < target) {
    if (GetTickCount64() >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 10, QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

class Counter : public IChannelListener {
 public:
  explicit Counter(int routing) : m_nRouting(routing) {}
  void OnMessageReceived(const IPC::Message& message) override {
    if (message.GetType() == kEvent) InterlockedIncrement(&m_nEvents);
  }
  int GetRoutingId() override { return m_nRouting; }
  volatile LONG m_nEvents = 0;
  int m_nRouting;
};

class PeerListener : public IChannelListener {
 public:
  PeerListener(CChannel* channel, const std::wstring& id) : m_pChannel(channel), m_strId(id) {}
  void OnMessageReceived(const IPC::Message& message) override {
    PickleReader reader(message);
    int count = 0;
    if (message.GetType() == kStartAsync && reader.ReadInt(&count)) {
      for (int i = 0; i < count; ++i) {
        IPC::Message event(kRoutingIdHost, kEvent, 2);
        (void)event.WriteInt(i);
        (void)m_pChannel->Send(&event, true, false);
      }
    } else if (message.GetType() == kStartRaw && reader.ReadInt(&count)) {
      HWND host = FindWindowW(kRawClass, (L"host." + m_strId).c_str());
      HWND own = FindWindowW(kRawClass, (L"peer." + m_strId).c_str());
      for (int i = 0; i < count; ++i) SendRaw(host, own);
    }
  }
  int GetRoutingId() override { return kRoutingIdBrowser; }

 private:
  CChannel* m_pChannel;
  std::wstring m_strId;
};

int RunPeer(const std::wstring& id) {
  CChannel channel;
  channel.Init(id.c_str());
  CreateRawWindow(L"peer." + id);
  PeerListener listener(&channel, id);
  channel.AddListener(&listener);
  MSG msg;
  while (GetMessageW(&msg, nullptr, 0, 0) > 0) DispatchMessageW(&msg);
  return 0;
}

bool SendCommand(CChannel* channel, uint32_t type, int value) {
  IPC::Message message(kRoutingIdBrowser, type, 2);
  (void)message.WriteInt(value);
  return channel->Send(&message, false, true);
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  if (argc >= 3 && std::wstring(argv[1]) == L"peer") return RunPeer(argv[2]);
  const int count = argc >= 2 ? _wtoi(argv[1]) : 5000;
  const int rounds = argc >= 3 ? std::max(1, _wtoi(argv[2])) : 9;

  const std::wstring id = L"bench." + std::to_wstring(GetCurrentProcessId());
  CChannel channel;
  channel.InitStub(id.c_str());
  Counter counter(kRoutingIdHost);
  channel.AddListener(&counter);
  HWND own_raw = CreateRawWindow(L"host." + id);

  wchar_t exe[MAX_PATH];
  GetModuleFileNameW(nullptr, exe, MAX_PATH);
  std::wstring command = L"\"" + std::wstring(exe) + L"\" peer " + id;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, FALSE, 0, nullptr, nullptr, &si, &pi)) return 2;
  HWND peer_raw = nullptr;
  for (int i = 0; i < 500 && !peer_raw; ++i) {
    Sleep(10);
    peer_raw = FindWindowW(kRawClass, (L"peer." + id).c_str());
  }
  const std::wstring peer_name = kBrowserChannelPrefix + id;
  if (!peer_raw || !FindWindowW(peer_name.c_str(), peer_name.c_str())) return 3;

  // Each loop beside its raw twin, round after round: a round's ratio compares two loops run
  // moments apart, and the median round is the figure.
  const bench::MachineLoad load;
  std::vector<double> async_rates, raw_async_rates, sync_rates, raw_sync_rates, async_ratios, sync_ratios;
  for (int round = 0; round < rounds; ++round) {
    // The counters only grow: each has counted the earlier rounds too.
    const LONG received_after = (round + 1) * count;
    double start = bench::Now();
    if (!SendCommand(&channel, kStartAsync, count) || !PumpUntil(&counter.m_nEvents, received_after, 120000)) return 4;
    async_rates.push_back(count / (bench::Now() - start));

    start = bench::Now();
    if (!SendCommand(&channel, kStartRaw, count) || !PumpUntil(&g_nRawReceived, received_after, 120000)) return 5;
    raw_async_rates.push_back(count / (bench::Now() - start));

    start = bench::Now();
    for (int i = 0; i < count; ++i) {
      if (!SendCommand(&channel, kPing, i)) return 6;
    }
    sync_rates.push_back(count / (bench::Now() - start));

    start = bench::Now();
    for (int i = 0; i < count; ++i) SendRaw(peer_raw, own_raw);
    raw_sync_rates.push_back(count / (bench::Now() - start));
    async_ratios.push_back(async_rates.back() / raw_async_rates.back());
    sync_ratios.push_back(sync_rates.back() / raw_sync_rates.back());
  }

  bool met = bench::ReportRatio("channel", "async events", bench::Median(async_rates), bench::Median(raw_async_rates),
                                "events/s", bench::Median(async_ratios), bench::Target::kAtLeast, kTargetRatio);
  met &= bench::ReportRatio("channel", "sync round trips", bench::Median(sync_rates), bench::Median(raw_sync_rates),
                            "round trips/s", bench::Median(sync_ratios), bench::Target::kAtLeast, kTargetRatio);
  bench::ReportLoad("channel", load);
  TerminateProcess(pi.hProcess, 0);
  CloseHandle(pi.hProcess);
  CloseHandle(pi.hThread);
  return met ? 0 : 3;
}
