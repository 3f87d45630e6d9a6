// The host application as the benches play it: the host simulator's kind of host window, the host end of the
// channel, and the browser (or another program) started inside it the way the host simulator starts it, in a job
// object with everything it starts. Events are kept with the moment they arrived.
//
// The host end is the bench's own window of the channel's name and protocol, lean as a host's own would be: it hands
// every message to the bench inside the browser's send, and its commands go out with one SendMessage, so the
// figures hold the browser's work and no queue or thread of a host (the system's own host end posts each
// asynchronous message to itself first and sends through a thread of its own).
//
// Threads: everything on the one thread that made the host; waits pump its messages (the channel window and the
// host window live on it, and the browser's sends reach the host only while it pumps).
#pragma once

#include <windows.h>

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "browser/host_protocol.h"
#include "channel/channel.h"
#include "tools/hostsim/host_launch.h"

namespace bench {

struct HostEvent {
  uint32_t code = 0;
  uint32_t view = 0;
  double time = 0;    // bench::Now() when it arrived
  bool sync = false;  // sent synchronously (it arrived inside the browser's SendMessage)
  std::vector<client::PayloadItem> items;  // by the event's layout; empty for an unknown code

  int64_t Number(size_t index) const { return index < items.size() ? items[index].number : 0; }
  std::wstring Text(size_t index) const { return index < items.size() ? items[index].text : std::wstring(); }
};

class BenchHost {
 public:
  // Opens the host window and the host end of a channel named after `tag` and this process.
  explicit BenchHost(const std::wstring& tag);
  // Kill().
  ~BenchHost();
  BenchHost(const BenchHost&) = delete;
  BenchHost& operator=(const BenchHost&) = delete;

  const std::wstring& id() const { return id_; }
  HWND window() const { return window_; }

  // Starts `launch.exe` with hostsim's command line for this host (launch.id is replaced by id()); the variables of
  // `environment` are set for it and everything it starts. False when it could not be started; the previous
  // program must have been ended (Kill or WaitForExit).
  [[nodiscard]] bool Launch(hostsim::BrowserLaunch launch,
                            const std::vector<std::pair<std::wstring, std::wstring>>& environment = {});
  // bench::Now() just before the process was created.
  double launch_time() const { return launch_time_; }
  HANDLE process() const { return process_; }
  DWORD process_id() const { return process_id_; }

  // Pumps messages until an event `code` of `view` (-1: any view) that `match` accepts (null: any) has arrived and
  // not been taken yet; takes it. False after timeout_ms.
  [[nodiscard]] bool WaitForEvent(uint32_t code, int view, DWORD timeout_ms, HostEvent* event = nullptr,
                                  const std::function<bool(const HostEvent&)>& match = nullptr);
  // Events `code` of `view` (-1: any) that arrived since the last ClearEvents, taken or not.
  size_t CountEvents(uint32_t code, int view) const;
  // Forgets every event so far.
  void ClearEvents();
  // Pumps messages until `done` holds (true) or timeout_ms passed (false). `done` is asked after every message and
  // every few milliseconds, and at once when `handle` (if not null) is signalled.
  bool PumpUntil(const std::function<bool()>& done, DWORD timeout_ms, HANDLE handle = nullptr);

  // A host command, sent at once: the browser handles a synchronous one before this returns, an asynchronous one
  // (as the host simulator sends them) later in its main loop. False when the browser's channel window is missing.
  [[nodiscard]] bool Send(uint32_t view, client::HostCommand code, const std::vector<client::PayloadItem>& items,
                          bool sync = false);
  // Called with every event as it arrives, before it is kept (so it may answer at once, as a host would).
  void SetEventHook(std::function<void(const HostEvent&)> hook) { hook_ = std::move(hook); }

  // Pumps until the program ended; false after timeout_ms.
  [[nodiscard]] bool WaitForExit(DWORD timeout_ms);
  // Ends the program and everything it started, and waits for them.
  void Kill();

  // Items for Send.
  static client::PayloadItem Int(int64_t value, char kind = 'i');
  static client::PayloadItem Text(const std::wstring& text);

  // Every message of the browser for the host, as it arrives; `sync` is its send's flag.
  void OnMessageReceived(const IPC::Message& message, bool sync);

 private:
  static LRESULT CALLBACK ChannelProc(HWND hwnd, UINT msg, WPARAM wp, LPARAM lp);

  std::wstring id_;
  HWND window_ = nullptr;
  HWND channel_window_ = nullptr;  // the host end
  HWND peer_ = nullptr;            // the browser's channel window, looked up again when a send finds it gone
  std::vector<HostEvent> events_;
  size_t first_untaken_ = 0;
  std::vector<bool> taken_;
  std::function<void(const HostEvent&)> hook_;
  HANDLE job_ = nullptr;
  HANDLE process_ = nullptr;
  DWORD process_id_ = 0;
  double launch_time_ = 0;
};

// A folder of its own under %TEMP% for what the started programs write (set as their TMP and TEMP, so the product
// folder and CEF's cache are the bench's), removed with everything in it at the end.
class ScratchFolder {
 public:
  explicit ScratchFolder(const std::wstring& tag);
  ~ScratchFolder();
  const std::wstring& path() const { return path_; }

 private:
  std::wstring path_;
};

// The folder of the running executable, with a trailing backslash.
std::wstring ExeFolder();

}  // namespace bench
