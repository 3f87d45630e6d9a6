// The host channel: one hidden top-level window per side, messages carried as WM_COPYDATA.
//
//   browser end (CChannel::Init)     own window "KivVireDaredo.Browser.MsgClass." + id
//   host end    (CChannel::InitStub) own window "KivVireDaredo.BrowserStub.MsgClass." + id
//
// The window's class name and title are both the name; the peer is found by class and title
// (and, once SetPeerProcessId names its process, only among that process's windows). Names are
// cut at 255 characters, the longest window class name Windows registers, so that a long id
// still opens the channel on both ends alike. Each message is one WM_COPYDATA to the peer
// window: wParam = own window, dwData kCopyDataAsync or kCopyDataSync, cbData = 16 +
// payload_size.
//
// Threads: Init/InitStub, the window, the dispatch and every listener call run on the thread
// that called Init (it must pump messages). Send may be called from any thread. Listeners are
// called with no channel lock held, so they may send or add listeners.
#pragma once

#include <windows.h>

#include <cstdint>

#include "channel/ipc_message.h"

// dwData of the WM_COPYDATA frame.
constexpr ULONG_PTR kCopyDataAsync = 0x8888;  // receiver copies, returns at once, handles later
constexpr ULONG_PTR kCopyDataSync = 0x8889;   // receiver handles the message inside the send

// Private messages of the channel window. Any process can post them, so none carries
// anything the window trusts.
constexpr UINT WM_CHANNEL_ASYNC_COPYDATA = WM_USER + 100;  // wake-up: dispatch the received queue
constexpr UINT WM_CHANNEL_DESTROY = WM_USER + 101;         // honoured only inside Unit
constexpr UINT WM_CHANNEL_PEER_EXIT = WM_USER + 102;

// Channel names, for the peer side and for tests.
constexpr wchar_t kBrowserChannelPrefix[] = L"KivVireDaredo.Browser.MsgClass.";
constexpr wchar_t kStubChannelPrefix[] = L"KivVireDaredo.BrowserStub.MsgClass.";
constexpr int kMaxChannelNameLength = 255;

class IChannelListener {
 public:
  virtual ~IChannelListener() = default;
  // The message is a read-only view valid only during the call; copy it to keep it.
  virtual void OnMessageReceived(const IPC::Message& message) = 0;
  // Messages with routing id 0 reach every listener; others only listeners with that id.
  virtual int GetRoutingId() = 0;
};

class IChannelListener2 : public IChannelListener {
 public:
  // The watched peer process ended (see CChannel::WatchPeerProcess). session_ending: the
  // channel window has seen WM_QUERYENDSESSION.
  virtual void OnPeerProcessExit(bool session_ending) = 0;
};

class CChannelImpl;

class CChannel {
 public:
  CChannel();
  virtual ~CChannel();
  CChannel(const CChannel&) = delete;
  CChannel& operator=(const CChannel&) = delete;

  // Opens the browser end / the host end. Nothing when id is null or the channel is already
  // open. Call on the thread that is to receive messages.
  void Init(const wchar_t* id);
  void InitStub(const wchar_t* id);

  // A listener is held once and not owned; it must stay alive until removed or Unit.
  void AddListener(IChannelListener* listener);
  void RemoveListener(IChannelListener* listener);

  // async: queue a copy for the sender thread (sent in order with kCopyDataAsync); true when
  // queued. Otherwise sent now on the calling thread with kCopyDataSync when sync is true;
  // false when no peer window exists (the message is then lost). A peer that fails to take
  // the message still counts as sent. False after Unit and before Init.
  [[nodiscard]] bool Send(IPC::Message* message, bool async, bool sync);
  // A message (routing, type, priority 2) with one data item of the bytes, when there are any.
  [[nodiscard]] bool Send(int32_t routing, uint32_t type, const char* data, int length, bool async, bool sync);

  // Waits until every asynchronous message queued so far has been handed to the peer, for at
  // most timeout_ms. False at once when the queue waits for a missing peer window or the channel
  // is not open or stopping; false when the time ran out. Not from the sender thread or from a
  // listener (the peer may be sending to this thread).
  [[nodiscard]] bool WaitUntilSent(DWORD timeout_ms);

  // Watches the peer's process (the handle is owned from now on) and tells every
  // IChannelListener2 when it ends; a null handle ends the watch.
  void WatchPeerProcess(HANDLE process);

  // From now on messages go only to a peer window that belongs to this process (the browser
  // end passes the host's); a window of the peer's name in any other process is passed over,
  // with a log line, and the peer is looked for again at the next send. 0, the state after
  // Init: no peer process is known, and the first window of the peer's name is taken. The
  // channel keeps the process open, so its id cannot pass to another process meanwhile. Call
  // after Init, before the messages it is to guard.
  void SetPeerProcessId(DWORD process_id);

  // Stops the sender thread (queued messages are dropped) and destroys the window. Must run
  // on the thread that called Init, or while that thread pumps messages.
  void Unit();

 private:
  void Open(const wchar_t* own_prefix, const wchar_t* peer_prefix, const wchar_t* id);

  CChannelImpl* m_pChannelImpl;
};
