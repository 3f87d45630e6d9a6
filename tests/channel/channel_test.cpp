#include "channel/channel.h"
#include "channel/channel_impl.h"

#include <windows.h>

#include <algorithm>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

#include "tests/channel/channel_peer_codes.h"
#include "tests/channel/failing_allocation.h"
#include "tests/channel/log_capture.h"
#include "tests/channel/peer_process.h"

namespace {

using namespace peer_codes;

std::wstring UniqueId(const wchar_t* what) {
  static int counter = 0;
  return std::wstring(what) + L"." + std::to_wstring(GetCurrentProcessId()) + L"." + std::to_wstring(++counter);
}

// Runs this thread's message loop until done() or the time is up; returns done().
bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms = 10000) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  while (!done()) {
    const ULONGLONG now = GetTickCount64();
    if (now >= end) return false;
    MsgWaitForMultipleObjects(0, nullptr, FALSE, static_cast<DWORD>(end - now < 50 ? end - now : 50), QS_ALLINPUT);
    MSG msg;
    while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
  }
  return true;
}

void PumpFor(DWORD ms) {
  PumpUntil([] { return false; }, ms);
}

struct Received {
  int routing;
  uint32_t type;
  std::vector<int> ints;
  bool in_send;
};

class Recorder : public IChannelListener {
 public:
  explicit Recorder(int routing_id) : m_nRoutingId(routing_id) {}
  void OnMessageReceived(const IPC::Message& message) override {
    Received r{message.GetRouting(), message.GetType(), {}, InSendMessage() != FALSE};
    PickleReader reader(message);
    int v;
    while (reader.ReadInt(&v)) r.ints.push_back(v);
    m_vecReceived.push_back(r);
    if (m_fnOnMessage) m_fnOnMessage(message);
  }
  int GetRoutingId() override { return m_nRoutingId; }

  size_t Count(uint32_t type) const {
    size_t n = 0;
    for (const Received& r : m_vecReceived) n += r.type == type;
    return n;
  }
  const Received* Last(uint32_t type) const {
    for (auto it = m_vecReceived.rbegin(); it != m_vecReceived.rend(); ++it) {
      if (it->type == type) return &*it;
    }
    return nullptr;
  }

  int m_nRoutingId;
  std::vector<Received> m_vecReceived;
  std::function<void(const IPC::Message&)> m_fnOnMessage;
};

IPC::Message MakeMessage(int routing, uint32_t type, std::initializer_list<int> values) {
  IPC::Message m(routing, type, 2);
  for (int v : values) EXPECT_TRUE(m.WriteInt(v));
  return m;
}

// The test process as the host end, with a peer process as the browser end.
class ChannelTwoProcess : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strId = UniqueId(L"two");
    m_channel.InitStub(m_strId.c_str());
    m_channel.AddListener(&m_host);
    m_pPeer.reset(new PeerProcess(L"browser", m_strId));
    ASSERT_NE(m_pPeer->m_hProcess, nullptr);
    ASSERT_TRUE(PumpUntil([&] { return m_host.Count(kHello) == 1; }));
    m_hPeerWnd = FindWindowW((kBrowserChannelPrefix + m_strId).c_str(), (kBrowserChannelPrefix + m_strId).c_str());
    ASSERT_NE(m_hPeerWnd, nullptr);
  }
  void TearDown() override {
    m_channel.Unit();
    m_pPeer.reset();
  }

  bool Send(int routing, uint32_t type, std::initializer_list<int> values, bool async) {
    IPC::Message m = MakeMessage(routing, type, values);
    return m_channel.Send(&m, async, !async);
  }
  // Acks of the peer's listeners for messages of the given type: {listener, routing, in_send}.
  std::vector<std::vector<int>> AcksFor(uint32_t type) const {
    std::vector<std::vector<int>> acks;
    for (const Received& r : m_host.m_vecReceived) {
      if (r.type == kAck && r.ints.size() == 4 && static_cast<uint32_t>(r.ints[2]) == type) {
        acks.push_back({r.ints[0], r.ints[1], r.ints[3]});
      }
    }
    return acks;
  }
  bool WaitAck(uint32_t type) {
    return PumpUntil([&] { return !AcksFor(type).empty(); });
  }

  std::wstring m_strId;
  CChannel m_channel;
  Recorder m_host{kRoutingIdHost};
  std::unique_ptr<PeerProcess> m_pPeer;
  HWND m_hPeerWnd = nullptr;
};

TEST_F(ChannelTwoProcess, SyncArrivesInsideTheSendersCallAsyncLater) {
  const Received* hello = m_host.Last(kHello);
  ASSERT_NE(hello, nullptr);
  EXPECT_TRUE(hello->in_send) << "the peer's synchronous send is handled inside its call";
  EXPECT_EQ(hello->routing, kRoutingIdHost);

  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x120, {}, false));
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x121, {}, true));
  ASSERT_TRUE(WaitAck(0x121));
  ASSERT_TRUE(WaitAck(0x120));
  EXPECT_EQ(AcksFor(0x120), (std::vector<std::vector<int>>{{1, 1, 1}}));
  EXPECT_EQ(AcksFor(0x121), (std::vector<std::vector<int>>{{1, 1, 0}}));

  // The peer answers synchronously while this thread is still inside its own sync send.
  bool in_call = true;
  bool reply_inside_call = false;
  m_host.m_fnOnMessage = [&](const IPC::Message& m) {
    if (m.GetType() == kEchoReply) reply_inside_call = in_call;
  };
  ASSERT_TRUE(Send(kRoutingIdBrowser, kEchoSync, {}, false));
  in_call = false;
  EXPECT_TRUE(reply_inside_call);
  EXPECT_EQ(m_host.Count(kEchoReply), 1u);
}

TEST_F(ChannelTwoProcess, AsyncSendsFromSeveralThreadsArriveOnceInOrder) {
  constexpr int kCount = 150, kThreads = 4;
  ASSERT_TRUE(Send(kRoutingIdBrowser, kStartBurst, {kCount, kThreads}, true));
  ASSERT_TRUE(PumpUntil([&] { return m_host.Count(kBurstDone) == 1; }));
  std::vector<int> next(kThreads, 0);
  bool done_seen = false;
  for (const Received& r : m_host.m_vecReceived) {
    if (r.type == kBurstDone) done_seen = true;
    if (r.type != kBurstItem) continue;
    EXPECT_FALSE(done_seen) << "an item arrived after the closing message";
    ASSERT_EQ(r.ints.size(), 2u);
    EXPECT_FALSE(r.in_send);
    ASSERT_LT(r.ints[0], kThreads);
    EXPECT_EQ(r.ints[1], next[r.ints[0]]) << "thread " << r.ints[0];
    next[r.ints[0]] = r.ints[1] + 1;
  }
  EXPECT_EQ(next, std::vector<int>(kThreads, kCount));

  // The other direction: this process's threads queue, the peer acknowledges in order.
  std::vector<std::thread> senders;
  for (int t = 0; t < kThreads; ++t) {
    senders.emplace_back([&, t] {
      for (int i = 0; i < 50; ++i) {
        IPC::Message m = MakeMessage(kRoutingIdBrowser, 0x1000u * (t + 1) + i, {});
        EXPECT_TRUE(m_channel.Send(&m, true, false));
      }
    });
  }
  for (std::thread& s : senders) s.join();
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x77, {}, true));
  ASSERT_TRUE(WaitAck(0x77));
  std::vector<int> seen(kThreads, 0);
  for (const Received& r : m_host.m_vecReceived) {
    if (r.type != kAck || r.ints.size() != 4 || r.ints[0] != 1 || r.ints[2] < 0x1000) continue;
    const int t = r.ints[2] / 0x1000 - 1;
    EXPECT_EQ(r.ints[2] % 0x1000, seen[t]) << "thread " << t;
    ++seen[t];
  }
  EXPECT_EQ(seen, std::vector<int>(kThreads, 50));
}

TEST_F(ChannelTwoProcess, RoutingReachesOnlyMatchingListeners) {
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x130, {}, true));
  ASSERT_TRUE(Send(kOtherRoutingId, 0x131, {}, true));
  ASSERT_TRUE(Send(kRoutingIdBroadcast, 0x132, {}, true));
  ASSERT_TRUE(Send(kRoutingIdHost, 0x133, {}, true));
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x13F, {}, true));
  ASSERT_TRUE(WaitAck(0x13F));
  EXPECT_EQ(AcksFor(0x130), (std::vector<std::vector<int>>{{1, 1, 0}}));
  EXPECT_EQ(AcksFor(0x131), (std::vector<std::vector<int>>{{3, 3, 0}}));
  std::vector<std::vector<int>> both = AcksFor(0x132);
  std::sort(both.begin(), both.end());
  EXPECT_EQ(both, (std::vector<std::vector<int>>{{1, 0, 0}, {3, 0, 0}}));
  EXPECT_TRUE(AcksFor(0x133).empty()) << "routing 2 reaches nobody at the browser end";
  // Broadcast also reached this side's own listener; routed messages did not.
  EXPECT_EQ(m_host.Count(0x132), 1u);
  EXPECT_EQ(m_host.Count(0x130) + m_host.Count(0x131) + m_host.Count(0x133), 0u);
}

TEST_F(ChannelTwoProcess, MalformedBlocksAreAnsweredTrueAndDropped) {
  struct Raw {
    const char* name;
    ULONG_PTR dwData;
    std::vector<char> bytes;
    DWORD cbData;
    bool null_data;
  };
  IPC::Message good = MakeMessage(kRoutingIdBrowser, 0x140, {1});
  std::vector<char> good_bytes(good.GetData(), good.GetData() + good.GetSize());
  std::vector<char> too_big = good_bytes;
  too_big[0] = 9;  // payload_size above the block
  std::vector<char> odd_header = good_bytes;
  odd_header.push_back(0);
  odd_header.push_back(0);
  const std::vector<Raw> cases = {
      {"unknown dwData", 0x1234, good_bytes, static_cast<DWORD>(good_bytes.size()), false},
      {"null data", kCopyDataSync, good_bytes, static_cast<DWORD>(good_bytes.size()), true},
      {"15 bytes sync", kCopyDataSync, good_bytes, 15, false},
      {"15 bytes async", kCopyDataAsync, good_bytes, 15, false},
      {"payload_size above cbData", kCopyDataSync, too_big, static_cast<DWORD>(too_big.size()), false},
      {"header not a multiple of 4", kCopyDataAsync, odd_header, static_cast<DWORD>(odd_header.size()), false},
  };
  for (const Raw& c : cases) {
    COPYDATASTRUCT cds{c.dwData, c.cbData, c.null_data ? nullptr : const_cast<char*>(c.bytes.data())};
    DWORD_PTR answer = 0;
    ASSERT_TRUE(SendMessageTimeoutW(m_hPeerWnd, WM_COPYDATA, 0, reinterpret_cast<LPARAM>(&cds), SMTO_NORMAL, 5000,
                                    &answer))
        << c.name;
    EXPECT_EQ(answer, static_cast<DWORD_PTR>(TRUE)) << c.name;
  }
  // A type-0 message is taken from the queue and never sent.
  IPC::Message zero = MakeMessage(kRoutingIdBrowser, 0, {});
  ASSERT_TRUE(m_channel.Send(&zero, true, false));
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x14F, {}, true));
  ASSERT_TRUE(WaitAck(0x14F));
  PumpFor(200);
  EXPECT_TRUE(AcksFor(0x140).empty());
  EXPECT_TRUE(AcksFor(0).empty());
}

// Any process can find a channel window and post to it. The private wake-up carries no
// pointer to trust and the destroy message is honoured only during the channel's own Unit:
// posted from here with garbage among real asynchronous traffic, neither harms the peer.
TEST_F(ChannelTwoProcess, HostilePostsFromAnotherProcessAreHarmless) {
  std::atomic<bool> stop{false};
  std::thread hostile([&] {
    for (int i = 0; !stop && i < 2000; ++i) {
      PostMessageW(m_hPeerWnd, WM_CHANNEL_ASYNC_COPYDATA, static_cast<WPARAM>(0x1234 + i),
                   static_cast<LPARAM>(0x7FFF0000 + 16 * i));
      PostMessageW(m_hPeerWnd, WM_CHANNEL_DESTROY, 0, 0);
      if (i % 16 == 0) Sleep(1);
    }
  });
  // A failed assertion returns early: the poster must still be stopped and joined, or the
  // test process ends in std::terminate and its report is lost.
  struct StopAndJoin {
    std::atomic<bool>& stop;
    std::thread& thread;
    ~StopAndJoin() {
      stop = true;
      if (thread.joinable()) thread.join();
    }
  } stop_and_join{stop, hostile};
  constexpr int kCount = 300;
  for (int i = 0; i < kCount; ++i) {
    IPC::Message m = MakeMessage(kRoutingIdBrowser, 0x2000u + i, {i});
    ASSERT_TRUE(m_channel.Send(&m, true, false));
  }
  ASSERT_TRUE(Send(kRoutingIdBrowser, kStartBurst, {kCount, 2}, true));
  ASSERT_TRUE(PumpUntil([&] { return m_host.Count(kBurstDone) == 1; }, 20000));
  stop = true;
  hostile.join();
  ASSERT_TRUE(Send(kRoutingIdBrowser, 0x2FFF, {}, true));
  ASSERT_TRUE(WaitAck(0x2FFF));

  EXPECT_EQ(WaitForSingleObject(m_pPeer->m_hProcess, 0), static_cast<DWORD>(WAIT_TIMEOUT)) << "the peer is alive";
  EXPECT_TRUE(IsWindow(m_hPeerWnd)) << "the peer's window still exists";
  std::vector<int> acked;
  for (const Received& r : m_host.m_vecReceived) {
    if (r.type == kAck && r.ints.size() == 4 && r.ints[0] == 1 && r.ints[2] >= 0x2000 && r.ints[2] < 0x2FFF) {
      acked.push_back(r.ints[2] - 0x2000);
    }
  }
  std::vector<int> expected(kCount);
  for (int i = 0; i < kCount; ++i) expected[i] = i;
  EXPECT_EQ(acked, expected) << "every queued message arrived once, in order";
  std::vector<int> next(2, 0);
  for (const Received& r : m_host.m_vecReceived) {
    if (r.type != kBurstItem || r.ints.size() != 2 || r.ints[0] < 0 || r.ints[0] > 1) continue;
    EXPECT_EQ(r.ints[1], next[r.ints[0]]);
    next[r.ints[0]] = r.ints[1] + 1;
  }
  EXPECT_EQ(next, std::vector<int>(2, kCount));
}

// Stray wake-ups and destroy requests posted to this process's own window: the queue of
// received blocks is drained in order and the window stays until Unit.
TEST(ChannelLifecycle, StrayWakeUpsAndDestroyRequestsLeaveTheWindowWorking) {
  const std::wstring id = UniqueId(L"stray");
  CChannel browser, stub;
  browser.Init(id.c_str());
  stub.InitStub(id.c_str());
  const std::wstring name = kBrowserChannelPrefix + id;
  HWND window = FindWindowW(name.c_str(), name.c_str());
  ASSERT_NE(window, nullptr);
  Recorder recorder(kRoutingIdBrowser);
  browser.AddListener(&recorder);
  for (int i = 0; i < 50; ++i) {
    IPC::Message m = MakeMessage(kRoutingIdBrowser, 0x600u + i, {});
    ASSERT_TRUE(stub.Send(&m, true, false));
    PostMessageW(window, WM_CHANNEL_ASYNC_COPYDATA, 0, static_cast<LPARAM>(0x10 + i));
    PostMessageW(window, WM_CHANNEL_DESTROY, 0, 0);
  }
  ASSERT_TRUE(PumpUntil([&] { return recorder.m_vecReceived.size() >= 50; }));
  PumpFor(100);
  ASSERT_EQ(recorder.m_vecReceived.size(), 50u);
  for (int i = 0; i < 50; ++i) EXPECT_EQ(recorder.m_vecReceived[i].type, 0x600u + i);
  EXPECT_TRUE(IsWindow(window));
  browser.Unit();
  EXPECT_FALSE(IsWindow(window)) << "the channel's own Unit still destroys it";
}

class ExitListener : public IChannelListener2 {
 public:
  void OnMessageReceived(const IPC::Message&) override {}
  int GetRoutingId() override { return kRoutingIdHost; }
  void OnPeerProcessExit(bool session_ending) override {
    ++m_nExits;
    m_bSessionEnding = session_ending;
  }
  int m_nExits = 0;
  bool m_bSessionEnding = true;
};

HANDLE SynchronizeHandle(HANDLE process) {
  HANDLE copy = nullptr;
  DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &copy, SYNCHRONIZE, FALSE, 0);
  return copy;
}

TEST_F(ChannelTwoProcess, PeerProcessExitReachesSecondListenersOnce) {
  ExitListener exits;
  m_channel.AddListener(&exits);
  m_channel.WatchPeerProcess(SynchronizeHandle(m_pPeer->m_hProcess));
  m_pPeer->Kill();
  ASSERT_TRUE(PumpUntil([&] { return exits.m_nExits == 1; }));
  PumpFor(300);
  EXPECT_EQ(exits.m_nExits, 1);
  EXPECT_FALSE(exits.m_bSessionEnding);
}

TEST_F(ChannelTwoProcess, EndedPeerWatchNeverFires) {
  ExitListener exits;
  m_channel.AddListener(&exits);
  m_channel.WatchPeerProcess(SynchronizeHandle(m_pPeer->m_hProcess));
  m_channel.WatchPeerProcess(nullptr);
  m_pPeer->Kill();
  PumpFor(1000);
  EXPECT_EQ(exits.m_nExits, 0);
}

// Both ends in this process: the browser end appears only after messages were queued.
TEST(ChannelNoPeer, QueuedMessagesWaitWithoutSpinningThenArriveInOrder) {
  const std::wstring id = UniqueId(L"nopeer");
  CChannel stub;
  stub.InitStub(id.c_str());
  IPC::Message lost = MakeMessage(kRoutingIdBrowser, 0x200, {});
  EXPECT_FALSE(stub.Send(&lost, false, true)) << "a sync send without a peer reports failure";
  for (uint32_t type = 0x201; type <= 0x205; ++type) {
    IPC::Message m = MakeMessage(kRoutingIdBrowser, type, {});
    ASSERT_TRUE(stub.Send(&m, true, false));
  }
  FILETIME creation, exit, kernel0, user0, kernel1, user1;
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel0, &user0));
  PumpFor(1500);
  ASSERT_TRUE(GetProcessTimes(GetCurrentProcess(), &creation, &exit, &kernel1, &user1));
  const auto ticks = [](const FILETIME& f) { return (static_cast<ULONGLONG>(f.dwHighDateTime) << 32) | f.dwLowDateTime; };
  const ULONGLONG cpu_ms = (ticks(kernel1) - ticks(kernel0) + ticks(user1) - ticks(user0)) / 10000;
  EXPECT_LT(cpu_ms, 500u) << "the sender thread must wait, not spin, while no peer exists";

  CChannel browser;
  Recorder recorder(kRoutingIdBrowser);
  browser.Init(id.c_str());
  browser.AddListener(&recorder);
  ASSERT_TRUE(PumpUntil([&] { return recorder.m_vecReceived.size() >= 5; }));
  PumpFor(100);
  std::vector<uint32_t> types;
  for (const Received& r : recorder.m_vecReceived) types.push_back(r.type);
  EXPECT_EQ(types, (std::vector<uint32_t>{0x201, 0x202, 0x203, 0x204, 0x205}));
}

// The host's types and first items, in arrival order; for floods too large to keep whole.
class TypeRecorder : public IChannelListener {
 public:
  void OnMessageReceived(const IPC::Message& message) override {
    PickleReader reader(message);
    int first = -1;
    (void)reader.ReadInt(&first);
    m_vecReceived.push_back({message.GetType(), first});
  }
  int GetRoutingId() override { return kRoutingIdHost; }
  std::vector<std::pair<uint32_t, int>> m_vecReceived;
};

struct QueueBoundCase {
  const char* name;
  int data_bytes;    // one data item of this many bytes in each message; 0: one int
  size_t fit;        // messages the bounds let in
  bool host_appears;  // then the queue drains (at some thousand messages a second under Wine)
};

void PrintTo(const QueueBoundCase& c, std::ostream* os) { *os << c.name; }

class ChannelSendQueue : public ::testing::TestWithParam<QueueBoundCase> {};

// With no host window, messages queue up to the bound and the rest are dropped, counted and
// logged (one line per thousand, not one each); once a host window appears the queued ones go
// out in order and later messages are queued and sent as usual. Without a host, Unit drops them.
TEST_P(ChannelSendQueue, QueueStaysWithinItsBoundUntilAHostAppears) {
  const QueueBoundCase& c = GetParam();
  LogCapture log;
  const std::wstring id = UniqueId(L"bound");
  CChannelImpl* impl = new CChannelImpl((kBrowserChannelPrefix + id).c_str());
  ASSERT_TRUE(impl->Init((kStubChannelPrefix + id).c_str()));
  const std::vector<char> data(static_cast<size_t>(c.data_bytes), 'd');
  const auto make = [&](uint32_t type, int index) {
    IPC::Message m(kRoutingIdHost, type, 2);
    EXPECT_TRUE(c.data_bytes == 0 ? m.WriteInt(index) : m.WriteData(data.data(), c.data_bytes));
    return m;
  };
  const size_t dropped = 3;
  for (size_t i = 0; i < c.fit + dropped; ++i) {
    IPC::Message m = make(0x800, static_cast<int>(i));
    EXPECT_EQ(impl->Send(&m, true, false), i < c.fit) << i;
  }
  CChannelImpl::QueueState state = impl->GetQueueState();
  EXPECT_EQ(state.messages, c.fit);
  EXPECT_LE(state.messages, CChannelImpl::kMaxQueuedMessages);
  EXPECT_LE(state.bytes, CChannelImpl::kMaxQueuedBytes);
  EXPECT_EQ(state.dropped_messages, dropped);
  EXPECT_EQ(log.Count(L"CChannelImpl::Send, send queue full"), 1u);
  if (!c.host_appears) {
    impl->Unit();
    impl->Release();
    return;
  }

  CChannel host;
  TypeRecorder recorder;
  host.InitStub(id.c_str());
  host.AddListener(&recorder);
  ASSERT_TRUE(PumpUntil([&] { return recorder.m_vecReceived.size() >= c.fit; }, 120000));
  for (uint32_t type : {0x801u, 0x802u}) {
    IPC::Message later = make(type, 0);
    EXPECT_TRUE(impl->Send(&later, true, false));
  }
  ASSERT_TRUE(PumpUntil([&] { return recorder.m_vecReceived.size() >= c.fit + 2; }));
  ASSERT_EQ(recorder.m_vecReceived.size(), c.fit + 2);
  for (size_t i = 0; i < c.fit && c.data_bytes == 0; ++i) {
    ASSERT_EQ(recorder.m_vecReceived[i], std::make_pair(0x800u, static_cast<int>(i)));
  }
  EXPECT_EQ(recorder.m_vecReceived[c.fit].first, 0x801u);
  EXPECT_EQ(recorder.m_vecReceived[c.fit + 1].first, 0x802u);
  // The sender counts the last one as delivered just after the host took it.
  EXPECT_TRUE(PumpUntil([&] { return impl->GetQueueState().messages == 0; }));
  state = impl->GetQueueState();
  EXPECT_EQ(state.bytes, 0u);
  EXPECT_EQ(state.dropped_messages, dropped);
  impl->Unit();
  impl->Release();
}

INSTANTIATE_TEST_SUITE_P(
    Bounds, ChannelSendQueue,
    ::testing::Values(
        QueueBoundCase{"ManySmallMessages", 0, CChannelImpl::kMaxQueuedMessages, false},
        // 16 header bytes and 4 of length with each MiB: 63 fit in 64 MiB.
        QueueBoundCase{"FewLargeMessages", 1 << 20, CChannelImpl::kMaxQueuedBytes / ((1 << 20) + 20), true}),
    [](const ::testing::TestParamInfo<QueueBoundCase>& info) { return std::string(info.param.name); });

// A message that cannot be copied for the queue, or that lost items while it was built, is
// refused with a log line; the channel goes on working once memory is back.
TEST(ChannelSendQueueMemory, MessagesThatCannotBeCopiedOrBuiltAreRefusedWithALogLine) {
  LogCapture log;
  const std::wstring id = UniqueId(L"nomem");
  CChannel browser, stub;
  browser.Init(id.c_str());
  stub.InitStub(id.c_str());
  Recorder host(kRoutingIdHost);
  stub.AddListener(&host);
  IPC::Message built = MakeMessage(kRoutingIdHost, 0x701, {1});
  IPC::Message marked = MakeMessage(kRoutingIdHost, 0x702, {2});
  {
    FailingPickleAllocations failing;
    EXPECT_FALSE(browser.Send(&built, true, false)) << "the queue's copy cannot be made";
    EXPECT_FALSE(marked.WriteString16(std::wstring(40, L'x')));
    EXPECT_FALSE(browser.Send(&marked, true, false));
    EXPECT_FALSE(browser.Send(&marked, false, true));
    IPC::Message fresh(kRoutingIdHost, 0x703, 2);
    EXPECT_FALSE(browser.Send(&fresh, true, false));
    EXPECT_FALSE(browser.Send(kRoutingIdHost, 0x704, "abc", 3, true, false));
    EXPECT_TRUE(browser.Send(&built, false, true)) << "a synchronous send copies nothing";
  }
  EXPECT_EQ(log.Count(L"CChannelImpl::Send, no memory for a copy of message type=1793"), 1u);
  EXPECT_EQ(log.Count(L"lost items when memory ran out, not sent"), 4u);
  ASSERT_TRUE(browser.Send(&built, true, false));
  ASSERT_TRUE(PumpUntil([&] { return host.Count(0x701) == 2; }));
  PumpFor(100);
  EXPECT_EQ(host.Count(0x702) + host.Count(0x703) + host.Count(0x704), 0u);
}

// Whether the squatter's window has been sent anything.
LRESULT CopiesReceivedBy(HWND squat) {
  DWORD_PTR copies = 0;
  if (!SendMessageTimeoutW(squat, kSquatCount, 0, 0, SMTO_NORMAL, 5000, &copies)) return -1;
  return static_cast<LRESULT>(copies);
}

// Another process owns a window of the host's channel name before the host's window exists,
// beside it, and after it has gone. Once the channel knows the host's process (this one), the
// squatter gets nothing, and the host gets every event: those queued before it came and those
// sent while the squatter's window exists.
TEST(ChannelPeerProcess, AWindowOfThePeersNameInAnotherProcessGetsNothing) {
  LogCapture log;
  const std::wstring id = UniqueId(L"squat");
  const std::wstring host_name = kStubChannelPrefix + id;
  PeerProcess squatter(L"squat", host_name);
  ASSERT_NE(squatter.m_hProcess, nullptr);
  HWND squat = nullptr;
  ASSERT_TRUE(PumpUntil([&] { return (squat = FindWindowW(host_name.c_str(), host_name.c_str())) != nullptr; }));

  CChannel browser;
  browser.Init(id.c_str());
  browser.SetPeerProcessId(GetCurrentProcessId());
  const auto send = [&](uint32_t type, bool sync) {
    IPC::Message m = MakeMessage(kRoutingIdHost, type, {static_cast<int>(type)});
    return browser.Send(&m, !sync, sync);
  };
  EXPECT_FALSE(send(0x900, true)) << "no window of the host's process yet";
  for (uint32_t type = 0x901; type <= 0x903; ++type) EXPECT_TRUE(send(type, false));
  PumpFor(600);  // the sender looks again every 250 ms
  EXPECT_EQ(CopiesReceivedBy(squat), 0);

  std::vector<uint32_t> received;
  {
    CChannel host;
    Recorder recorder(kRoutingIdHost);
    recorder.m_fnOnMessage = [&](const IPC::Message& m) { received.push_back(m.GetType()); };
    host.InitStub(id.c_str());
    host.AddListener(&recorder);
    EXPECT_TRUE(send(0x904, true));
    for (uint32_t type = 0x905; type <= 0x907; ++type) EXPECT_TRUE(send(type, false));
    ASSERT_TRUE(PumpUntil([&] { return received.size() == 7; }));
    host.Unit();
  }
  EXPECT_EQ(received, (std::vector<uint32_t>{0x904, 0x901, 0x902, 0x903, 0x905, 0x906, 0x907}));

  // The host's window has gone: the squatter's is the only one of the name again.
  EXPECT_FALSE(send(0x908, true));
  EXPECT_TRUE(send(0x909, false));
  PumpFor(600);
  EXPECT_EQ(CopiesReceivedBy(squat), 0);
  EXPECT_EQ(log.Count(L"of the peer's name belongs to process " + std::to_wstring(squatter.m_nProcessId) +
                      L", not to the peer process " + std::to_wstring(GetCurrentProcessId()) + L": not used"),
            1u)
      << "one line for the squatter's window, not one for each look";
  browser.Unit();
}

TEST(ChannelLifecycle, InitOnceUnitOnceAndLongIdsCutAlike) {
  const std::wstring id = UniqueId(L"life") + std::wstring(300, L'x');
  CChannel browser, stub;
  browser.Init(id.c_str());
  browser.Init(id.c_str());
  browser.Init(nullptr);
  stub.InitStub(id.c_str());
  const std::wstring browser_name = (kBrowserChannelPrefix + id).substr(0, 255);
  int windows = 0;
  for (HWND w = nullptr; (w = FindWindowExW(nullptr, w, browser_name.c_str(), browser_name.c_str())) != nullptr;) {
    ++windows;
    wchar_t title[400] = {};
    EXPECT_EQ(GetWindowTextW(w, title, 400), 255);
    EXPECT_EQ(GetWindowLongW(w, GWL_STYLE) & (WS_POPUP | WS_VISIBLE | WS_CHILD), static_cast<LONG>(WS_POPUP));
  }
  EXPECT_EQ(windows, 1);

  Recorder recorder(kRoutingIdBrowser);
  browser.AddListener(&recorder);
  browser.AddListener(&recorder);  // held once
  IPC::Message m = MakeMessage(kRoutingIdBrowser, 0x301, {7});
  ASSERT_TRUE(stub.Send(&m, false, true));
  ASSERT_EQ(recorder.m_vecReceived.size(), 1u);
  EXPECT_EQ(recorder.m_vecReceived[0].ints, std::vector<int>{7});

  browser.RemoveListener(&recorder);
  ASSERT_TRUE(stub.Send(&m, false, true));
  EXPECT_EQ(recorder.m_vecReceived.size(), 1u);

  browser.Unit();
  EXPECT_EQ(FindWindowW(browser_name.c_str(), browser_name.c_str()), nullptr);
  EXPECT_FALSE(browser.Send(&m, true, false));
  EXPECT_FALSE(stub.Send(&m, false, true)) << "the peer window is gone";
}

TEST(ChannelLifecycle, ImplRefusesSendsAfterUnitAndUnitRunsOnce) {
  LogCapture log;
  CChannelImpl* impl = new CChannelImpl((kBrowserChannelPrefix + UniqueId(L"impl")).c_str());
  ASSERT_TRUE(impl->Init(L"nobody.at.all"));
  IPC::Message m = MakeMessage(kRoutingIdHost, 0x401, {});
  EXPECT_TRUE(impl->Send(&m, true, false));
  impl->Unit();
  EXPECT_EQ(impl->m_hWnd, nullptr);
  impl->Unit();
  EXPECT_FALSE(impl->Send(&m, true, false));
  EXPECT_FALSE(impl->Send(&m, false, true));
  impl->Release();
  EXPECT_EQ(log.Count(L"CChannelImpl::Unit Begin"), 2u);
  EXPECT_EQ(log.Count(L"CChannelImpl::Unit, m_bInUnit"), 1u);
  EXPECT_EQ(log.Count(L"CChannelImpl::Unit End"), 1u);
  EXPECT_EQ(log.Count(L"Begin SetEvent OnStopEvent"), 1u);
  EXPECT_EQ(log.Count(L"WaitForSingleObject SetEvent OnStopEvent"), 1u);
  EXPECT_EQ(log.Count(L"OnStopEvent"), 3u) << "the two lines above and the sender thread's own";
  EXPECT_EQ(log.Count(L"Send Failed,CChannelImpl Already Uninit"), 2u);
}

// A listener may send and add listeners from inside its call without a deadlock.
TEST(ChannelLifecycle, ListenersMaySendAndAddListenersWhileCalled) {
  const std::wstring id = UniqueId(L"reenter");
  CChannel browser, stub;
  browser.Init(id.c_str());
  stub.InitStub(id.c_str());
  Recorder at_stub(kRoutingIdHost), late(kRoutingIdBrowser), first(kRoutingIdBrowser);
  stub.AddListener(&at_stub);
  first.m_fnOnMessage = [&](const IPC::Message& m) {
    if (m.GetType() != 0x501) return;
    browser.AddListener(&late);
    IPC::Message reply = MakeMessage(kRoutingIdHost, 0x502, {});
    EXPECT_TRUE(browser.Send(&reply, false, true));
    IPC::Message queued = MakeMessage(kRoutingIdHost, 0x503, {});
    EXPECT_TRUE(browser.Send(&queued, true, false));
  };
  browser.AddListener(&first);
  IPC::Message m = MakeMessage(kRoutingIdBrowser, 0x501, {});
  ASSERT_TRUE(stub.Send(&m, false, true));
  EXPECT_EQ(at_stub.Count(0x502), 1u);
  ASSERT_TRUE(PumpUntil([&] { return at_stub.Count(0x503) == 1; }));
  IPC::Message again = MakeMessage(kRoutingIdBrowser, 0x504, {});
  ASSERT_TRUE(stub.Send(&again, false, true));
  EXPECT_EQ(late.Count(0x504), 1u);
}

}  // namespace

namespace {

// A host end on a thread of its own that pumps only every 20 ms, so each asynchronous message
// waits for it; counts what its listener gets.
class SlowHost {
 public:
  explicit SlowHost(const std::wstring& id) : m_thread([this, id] { Run(id); }) {
    while (!m_bReady) Sleep(1);
  }
  ~SlowHost() {
    m_bStop = true;
    m_thread.join();
  }
  int Received() const { return m_nReceived; }

 private:
  void Run(const std::wstring& id) {
    CChannel stub;
    Recorder recorder(kRoutingIdHost);
    recorder.m_fnOnMessage = [this](const IPC::Message&) { ++m_nReceived; };
    stub.InitStub(id.c_str());
    stub.AddListener(&recorder);
    m_bReady = true;
    while (!m_bStop) {
      Sleep(20);
      MSG msg;
      while (PeekMessageW(&msg, nullptr, 0, 0, PM_REMOVE)) DispatchMessageW(&msg);
    }
    stub.Unit();
  }

  std::atomic<bool> m_bReady{false};
  std::atomic<bool> m_bStop{false};
  std::atomic<int> m_nReceived{0};
  std::thread m_thread;
};

}  // namespace

// A process that ends itself right after its last events waits for them first: what is still
// queued when the channel stops is dropped.
TEST(ChannelLifecycle, WaitUntilSentHandsEveryQueuedMessageToASlowPeer) {
  const std::wstring id = UniqueId(L"drain");
  SlowHost host(id);
  CChannel browser;
  browser.Init(id.c_str());
  EXPECT_TRUE(browser.WaitUntilSent(0)) << "nothing queued";
  for (int i = 0; i < 10; ++i) {
    IPC::Message m = MakeMessage(kRoutingIdHost, 0x300 + i, {i});
    ASSERT_TRUE(browser.Send(&m, true, false));
  }
  EXPECT_TRUE(browser.WaitUntilSent(10000));
  browser.Unit();
  EXPECT_TRUE(PumpUntil([&] { return host.Received() == 10; }, 2000)) << host.Received();
}

TEST(ChannelLifecycle, WaitUntilSentGivesUpAtOnceWithoutAPeerOrAnOpenChannel) {
  CChannel closed;
  EXPECT_FALSE(closed.WaitUntilSent(0));

  const std::wstring id = UniqueId(L"drain.nopeer");
  CChannel browser;
  browser.Init(id.c_str());
  IPC::Message m = MakeMessage(kRoutingIdHost, 0x300, {});
  ASSERT_TRUE(browser.Send(&m, true, false));
  const ULONGLONG start = GetTickCount64();
  EXPECT_FALSE(browser.WaitUntilSent(60000));
  EXPECT_LT(GetTickCount64() - start, 30000u) << "no peer window: nothing to wait for";
  browser.Unit();
  EXPECT_FALSE(browser.WaitUntilSent(0));
}
