#include "engine/pipe_transport.h"

#include <windows.h>

#include <atomic>
#include <map>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

namespace cefengine {
namespace {

const DWORD kWaitMs = 15000;

std::wstring UniquePipeName(const wchar_t* tag) {
  static std::atomic<int> counter{0};
  return L"\\\\.\\pipe\\cefengine-test-" + std::to_wstring(GetCurrentProcessId()) + L"-" + tag + L"-" +
         std::to_wstring(++counter);
}

// Collects what a pipe end receives; waits are bounded.
class Collector : public PipeTransport::Delegate {
 public:
  Collector() : changed_(CreateEventW(nullptr, FALSE, FALSE, nullptr)) {}
  ~Collector() override { CloseHandle(changed_); }

  void OnPipeFrame(const ChannelFrame& frame) override {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.push_back(frame);
    SetEvent(changed_);
  }
  void OnPipeClosed(PipeTransport::CloseReason reason) override {
    std::lock_guard<std::mutex> lock(mutex_);
    ++closed_count_;
    reason_ = reason;
    SetEvent(changed_);
  }

  bool WaitFrames(size_t count) {
    return WaitUntil([&] { return frames_.size() >= count; });
  }
  bool WaitClosed() {
    return WaitUntil([&] { return closed_count_ > 0; });
  }
  std::vector<ChannelFrame> frames() {
    std::lock_guard<std::mutex> lock(mutex_);
    return frames_;
  }
  int closed_count() {
    std::lock_guard<std::mutex> lock(mutex_);
    return closed_count_;
  }
  PipeTransport::CloseReason reason() {
    std::lock_guard<std::mutex> lock(mutex_);
    return reason_;
  }

 private:
  template <typename Pred>
  bool WaitUntil(Pred pred) {
    ULONGLONG end = GetTickCount64() + kWaitMs;
    for (;;) {
      {
        std::lock_guard<std::mutex> lock(mutex_);
        if (pred())
          return true;
      }
      ULONGLONG now = GetTickCount64();
      if (now >= end)
        return false;
      WaitForSingleObject(changed_, static_cast<DWORD>(end - now));
    }
  }

  HANDLE changed_;
  std::mutex mutex_;
  std::vector<ChannelFrame> frames_;
  int closed_count_ = 0;
  PipeTransport::CloseReason reason_ = PipeTransport::CloseReason::kBroken;
};

// A payload whose bytes say who sent it and in which position, so damage or reordering shows.
std::wstring Pattern(int sender, int seq, size_t length) {
  std::wstring text(length, L'\0');
  for (size_t i = 0; i < length; ++i)
    text[i] = static_cast<wchar_t>(L'A' + (sender * 7 + seq * 13 + static_cast<int>(i)) % 26);
  return text;
}

ChannelFrame SenderFrame(int sender, int seq) {
  // Every fifth frame is larger than the pipe's buffer, so writes of several threads would overlap without the lock.
  size_t length = seq % 5 == 0 ? 70000 : 1 + static_cast<size_t>(seq % 40);
  return MakeFrame(FrameType::kProcessMessage, sender, seq,
                   {MakeInt(sender), MakeInt(seq), MakeString(Pattern(sender, seq, length))});
}

// A listening end with its reader running; null when either failed.
std::shared_ptr<PipeTransport> Listening(const std::wstring& name, std::shared_ptr<Collector> in) {
  std::shared_ptr<PipeTransport> server = PipeTransport::Listen(name);
  return server && server->Start(in) ? server : nullptr;
}

struct Pair {
  std::shared_ptr<PipeTransport> server;
  std::shared_ptr<PipeTransport> client;
  std::shared_ptr<Collector> server_in = std::make_shared<Collector>();
  std::shared_ptr<Collector> client_in = std::make_shared<Collector>();
};

Pair Connected(const wchar_t* tag) {
  Pair pair;
  std::wstring name = UniquePipeName(tag);
  pair.server = PipeTransport::Listen(name);
  EXPECT_TRUE(pair.server);
  EXPECT_TRUE(pair.server->Start(pair.server_in));
  pair.client = PipeTransport::Connect(name, 2000);
  EXPECT_TRUE(pair.client);
  EXPECT_TRUE(pair.client->Start(pair.client_in));
  return pair;
}

TEST(PipeTransport, ConcurrentSendersKeepTheirOrderAndFramesStayWhole) {
  Pair pair = Connected(L"concurrent");
  ASSERT_TRUE(pair.server && pair.client);
  const int kSenders = 4;
  const int kFramesEach = 60;
  std::vector<std::thread> senders;
  std::atomic<int> failures{0};
  for (int s = 1; s <= kSenders; ++s) {
    senders.emplace_back([&, s] {
      for (int seq = 0; seq < kFramesEach; ++seq)
        if (!pair.client->Send(SenderFrame(s, seq)))
          ++failures;
    });
  }
  for (auto& t : senders)
    t.join();
  EXPECT_EQ(failures.load(), 0);
  ASSERT_TRUE(pair.server_in->WaitFrames(kSenders * kFramesEach));

  std::map<int, int> next_seq;
  for (const ChannelFrame& frame : pair.server_in->frames()) {
    int sender = frame.IntAt(0);
    int seq = frame.IntAt(1);
    ASSERT_EQ(frame.browser_id, sender);
    ASSERT_EQ(frame.frame_id, seq);
    EXPECT_EQ(seq, next_seq[sender]) << "sender " << sender;
    next_seq[sender] = seq + 1;
    ASSERT_EQ(frame.StringAt(2), SenderFrame(sender, seq).StringAt(2)) << "sender " << sender << " seq " << seq;
  }
  for (int s = 1; s <= kSenders; ++s)
    EXPECT_EQ(next_seq[s], kFramesEach);
  EXPECT_EQ(pair.server_in->closed_count(), 0);
}

TEST(PipeTransport, BothDirectionsCarryFramesAtOnce) {
  Pair pair = Connected(L"duplex");
  ASSERT_TRUE(pair.server && pair.client);
  std::thread up([&] {
    for (int seq = 0; seq < 40; ++seq)
      EXPECT_TRUE(pair.client->Send(SenderFrame(1, seq)));
  });
  for (int seq = 0; seq < 40; ++seq)
    EXPECT_TRUE(pair.server->Send(SenderFrame(2, seq)));
  up.join();
  ASSERT_TRUE(pair.server_in->WaitFrames(40));
  ASSERT_TRUE(pair.client_in->WaitFrames(40));
  std::vector<ChannelFrame> down = pair.client_in->frames();
  for (int seq = 0; seq < 40; ++seq)
    EXPECT_EQ(down[seq].IntAt(1), seq);
}

// The listening end's reader first writes what was queued before the client came, more than the pipe holds; the
// client meanwhile sends more than the pipe holds too, before its own reader runs. Each reader must still take what
// the other end writes.
TEST(PipeTransport, ReadersTakeFramesWhileBothEndsAreBlockedWriting) {
  std::wstring name = UniquePipeName(L"crossed");
  auto server_in = std::make_shared<Collector>();
  std::shared_ptr<PipeTransport> server = Listening(name, server_in);
  ASSERT_TRUE(server);
  for (int seq = 0; seq < 4; ++seq)
    EXPECT_TRUE(server->Send(SenderFrame(2, seq * 5)));  // frames larger than the pipe's buffer
  std::shared_ptr<PipeTransport> client = PipeTransport::Connect(name, 2000);
  ASSERT_TRUE(client);
  auto client_in = std::make_shared<Collector>();
  auto sent = std::make_shared<std::atomic<int>>(0);
  std::thread up([client, sent] {
    for (int seq = 0; seq < 4; ++seq)
      *sent += client->Send(SenderFrame(1, seq * 5)) ? 1 : 0;
  });
  Sleep(100);  // the client's sender is now blocked on the full pipe
  ASSERT_TRUE(client->Start(client_in));
  bool both = client_in->WaitFrames(4) && server_in->WaitFrames(4);
  if (!both) {
    client->Stop();  // ends the blocked sender
    server->Stop();
  }
  up.join();
  ASSERT_TRUE(both);
  EXPECT_EQ(*sent, 4);
  std::vector<ChannelFrame> down = client_in->frames();
  std::vector<ChannelFrame> upward = server_in->frames();
  for (int seq = 0; seq < 4; ++seq) {
    EXPECT_EQ(down[seq].IntAt(1), seq * 5);
    EXPECT_EQ(upward[seq].IntAt(1), seq * 5);
  }
  client->Stop();
  server->Stop();
}

TEST(PipeTransport, FramesSentBeforeTheClientArriveFirstAndInOrder) {
  std::wstring name = UniquePipeName(L"early");
  auto server_in = std::make_shared<Collector>();
  std::shared_ptr<PipeTransport> server = Listening(name, server_in);
  ASSERT_TRUE(server);
  EXPECT_FALSE(server->IsConnected());
  for (int seq = 0; seq < 5; ++seq)
    EXPECT_TRUE(server->Send(SenderFrame(9, seq)));

  std::shared_ptr<PipeTransport> client = PipeTransport::Connect(name, 2000);
  ASSERT_TRUE(client);
  auto client_in = std::make_shared<Collector>();
  ASSERT_TRUE(client->Start(client_in));
  EXPECT_TRUE(server->Send(SenderFrame(9, 5)));
  ASSERT_TRUE(client_in->WaitFrames(6));
  std::vector<ChannelFrame> frames = client_in->frames();
  for (int seq = 0; seq < 6; ++seq)
    EXPECT_EQ(frames[seq].IntAt(1), seq);
  EXPECT_TRUE(server->IsConnected());
}

TEST(PipeTransport, PeerGoingAwayIsReportedOnceAndSendsFailAfterwards) {
  Pair pair = Connected(L"broken");
  ASSERT_TRUE(pair.server && pair.client);
  ASSERT_TRUE(pair.client->Send(SenderFrame(1, 1)));
  ASSERT_TRUE(pair.server_in->WaitFrames(1));
  pair.client->Stop();
  ASSERT_TRUE(pair.server_in->WaitClosed());
  EXPECT_EQ(pair.server_in->reason(), PipeTransport::CloseReason::kBroken);
  EXPECT_FALSE(pair.server->Send(SenderFrame(1, 2)));
  // The end that stopped reports nothing about itself.
  EXPECT_EQ(pair.client_in->closed_count(), 0);
  EXPECT_FALSE(pair.client->Send(SenderFrame(1, 3)));
  pair.server->Stop();
  EXPECT_EQ(pair.server_in->closed_count(), 1);
}

TEST(PipeTransport, BytesThatAreNotFramesCloseTheStream) {
  std::wstring name = UniquePipeName(L"garbage");
  auto server_in = std::make_shared<Collector>();
  std::shared_ptr<PipeTransport> server = Listening(name, server_in);
  ASSERT_TRUE(server);
  HANDLE raw = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(raw, INVALID_HANDLE_VALUE);
  // One good frame, then a header announcing an impossible length.
  std::string bytes;
  ASSERT_TRUE(EncodeFrame(SenderFrame(3, 0), &bytes));
  bytes.append("\xFF\xFF\xFF\xFF\x05\x00\x00\x00", 8);
  DWORD written = 0;
  ASSERT_TRUE(WriteFile(raw, bytes.data(), static_cast<DWORD>(bytes.size()), &written, nullptr));
  ASSERT_TRUE(server_in->WaitClosed());
  EXPECT_EQ(server_in->reason(), PipeTransport::CloseReason::kMalformed);
  ASSERT_EQ(server_in->frames().size(), 1u);
  EXPECT_EQ(server_in->frames()[0].IntAt(0), 3);
  CloseHandle(raw);
}

TEST(PipeTransport, ListeningEndWithoutClientGivesNoPeer) {
  std::wstring name = UniquePipeName(L"nopeer");
  auto server_in = std::make_shared<Collector>();
  std::shared_ptr<PipeTransport> server = Listening(name, server_in);
  ASSERT_TRUE(server);
  server->SetConnectLimit(nullptr, 100);
  ASSERT_TRUE(server_in->WaitClosed());
  EXPECT_EQ(server_in->reason(), PipeTransport::CloseReason::kNoPeer);
}

TEST(PipeTransport, ListeningEndGivesUpWhenTheWatchedProcessEnds) {
  std::wstring name = UniquePipeName(L"exited");
  auto server_in = std::make_shared<Collector>();
  std::shared_ptr<PipeTransport> server = Listening(name, server_in);
  ASSERT_TRUE(server);
  // A process that ends at once and never connects.
  wchar_t system_dir[MAX_PATH];
  GetSystemDirectoryW(system_dir, MAX_PATH);
  std::wstring line = L"\"" + std::wstring(system_dir) + L"\\cmd.exe\" /c exit 0";
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  PROCESS_INFORMATION pi = {};
  ASSERT_TRUE(CreateProcessW(nullptr, &line[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW, nullptr, nullptr, &si,
                             &pi));
  CloseHandle(pi.hThread);
  server->SetConnectLimit(pi.hProcess, 60000);
  CloseHandle(pi.hProcess);  // the transport keeps its own handle
  ASSERT_TRUE(server_in->WaitClosed());
  EXPECT_EQ(server_in->reason(), PipeTransport::CloseReason::kNoPeer);
}

TEST(PipeTransport, StopEndsQuietlyAndOnlyOnce) {
  Pair pair = Connected(L"stop");
  ASSERT_TRUE(pair.server && pair.client);
  pair.server->Stop();
  pair.server->Stop();
  EXPECT_EQ(pair.server_in->closed_count(), 0);
  EXPECT_FALSE(pair.server->Send(SenderFrame(1, 1)));
  ASSERT_TRUE(pair.client_in->WaitClosed());
  EXPECT_EQ(pair.client_in->reason(), PipeTransport::CloseReason::kBroken);
}

}  // namespace
}  // namespace cefengine
