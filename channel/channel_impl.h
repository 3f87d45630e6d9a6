// The window, send queue and sender thread behind CChannel. See channel/channel.h for the
// frame and the threading rules.
#pragma once

#include <windows.h>

#include <atomic>
#include <cstdint>
#include <deque>
#include <list>
#include <map>
#include <vector>

#include "base/critical_section.h"
#include "channel/channel.h"
#include "channel/channel_window.h"
#include "channel/ipc_message.h"
#include "compat/atlstr.h"

class CChannelImpl : public CChannelWindow {
 public:
  // Bounds of what waits for the sender thread (queued, or taken and not yet delivered), far
  // above normal traffic (a page sends a few events a second, each of some hundred bytes). An
  // asynchronous send that would pass either is refused: the message is dropped and counted, with
  // an error line. Bytes count the messages' blocks (16 + payload_size each).
  static constexpr size_t kMaxQueuedMessages = 100000;
  static constexpr uint64_t kMaxQueuedBytes = 64ull * 1024 * 1024;

  struct QueueState {
    size_t messages;  // waiting for the sender thread, or being sent
    uint64_t bytes;
    uint64_t dropped_messages;  // refused since the channel began, the queue being full
    uint64_t dropped_bytes;
  };

  explicit CChannelImpl(const wchar_t* own_name);
  ~CChannelImpl() override;

  // Creates the window (once; TRUE at once when it exists) and looks the peer up.
  BOOL Init(const wchar_t* peer_name);
  void AddListener(IChannelListener* listener);
  void RemoveListener(IChannelListener* listener);
  [[nodiscard]] bool Send(IPC::Message* message, bool async, bool sync);
  [[nodiscard]] bool Send(int32_t routing, uint32_t type, const char* data, int length, bool async, bool sync);
  // One WM_COPYDATA to the peer now. False only when no peer window exists.
  [[nodiscard]] bool SendImpl(IPC::Message& message, bool sync);
  // Sends everything queued, in order, until a send finds no peer window; sender thread only.
  void OnSendEvent();
  // See CChannel::WaitUntilSent.
  [[nodiscard]] bool WaitUntilSent(DWORD timeout_ms);
  // Any thread.
  QueueState GetQueueState();
  void WatchPeerProcess(HANDLE process);
  // See CChannel::SetPeerProcessId.
  void SetPeerProcessId(DWORD process_id);
  void Unit();

  // Deletes the object, unless a sender thread that did not stop in time may still use it:
  // then it is left alive on purpose.
  void Release();

  BOOL ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) override;

 private:
  struct WaitRecord {
    HANDLE hProcess;
    HANDLE hWait;
    HWND hWnd;
  };

  static DWORD WINAPI SenderThreadProc(LPVOID param);
  static VOID CALLBACK OnPeerProcessSignaled(PVOID param, BOOLEAN timed_out);
  void SenderLoop();
  bool StartSenderLocked();
  // Puts a copy of the message at the end of the queue within the bounds; false (logged) when
  // it cannot be copied or the queue is full.
  bool Enqueue(const IPC::Message& message);
  // One message of a batch is off the sender's hands (delivered, or dropped as never sendable).
  void Delivered(uint32_t size);
  // The listeners as they are now; false (logged) when there is no memory for the copy.
  bool CopyListeners(std::vector<IChannelListener*>* listeners);
  // False only when the target window no longer exists; a peer that fails to take the
  // block otherwise still counts as sent.
  bool SendCopyData(HWND target, COPYDATASTRUCT* data);
  // Whether the window may take messages: always when no peer process is known, else when
  // that process owns it. Logs a refused window once.
  bool IsPeerOwned(HWND window);
  // The first window of the peer's name that IsPeerOwned accepts; null when none.
  HWND FindPeerWindow();
  void Dispatch(const char* data, DWORD length);
  // Keeps a copy of an asynchronous block and makes sure one wake-up is pending.
  void QueueReceived(HWND hWnd, const COPYDATASTRUCT& data);
  // Dispatches every queued block, oldest first.
  void DispatchReceived();
  void OnPeerExit(WPARAM posted_record);
  // Ends the peer watch; waits for a running wait callback. Caller holds m_csWait.
  void EndPeerWatchLocked();

  ATL::CStringW m_strPeerName;
  ATL::CStringW m_strOwnName;
  std::atomic<HWND> m_hPeerWnd{nullptr};  // refreshed by whichever sender finds it stale
  std::atomic<DWORD> m_nPeerProcessId{0};  // 0: any process
  HANDLE m_hPeerProcessPin = nullptr;      // keeps that process id from being reused
  // The last windows of other processes logged as refused (a ring), so each is logged once.
  _BaseModule::CCriticalSection m_csRefused;
  HWND m_arrRefused[8] = {};
  size_t m_nRefusedNext = 0;
  std::atomic<BOOL> m_bInUnit{FALSE};
  BOOL m_bSessionEnding = FALSE;

  _BaseModule::CCriticalSection m_csListeners;
  std::map<IChannelListener*, int> m_mapListeners;

  _BaseModule::CCriticalSection m_csQueue;  // also guards the thread and event handles
  // A list: the sender takes it whole and gives back what it could not send by splicing, which
  // neither copies nor allocates.
  std::list<IPC::Message> m_queSend;
  HANDLE m_hSenderThread = nullptr;
  HANDLE m_hStopEvent = nullptr;  // manual reset
  HANDLE m_hSendEvent = nullptr;  // auto reset
  bool m_bSenderAbandoned = false;  // did not stop within the shutdown wait
  bool m_bRetryPending = false;     // the front found no peer window and waits for it
  size_t m_nUnsent = 0;             // queued or taken by the sender, and not yet delivered
  uint64_t m_nUnsentBytes = 0;
  uint64_t m_nDroppedMessages = 0;  // refused by the bounds
  uint64_t m_nDroppedBytes = 0;
  uint64_t m_nDroppedInRun = 0;     // refused since the queue last took a message

  // Asynchronous blocks received and not yet dispatched. Window thread only: the window never
  // takes a pointer from a posted message, so a stray wake-up from another process only
  // dispatches what this process received itself.
  std::deque<std::vector<char>> m_queReceived;
  bool m_bWakePending = false;  // a WM_CHANNEL_ASYNC_COPYDATA is posted and not yet handled

  _BaseModule::CCriticalSection m_csWait;
  HANDLE m_hPeerProcess = nullptr;
  WaitRecord* m_pWaitRecord = nullptr;
};
