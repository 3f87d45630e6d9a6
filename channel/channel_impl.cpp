#include "channel/channel_impl.h"

#include <cstring>
#include <new>
#include <vector>

#include "base/log.h"

namespace {

// While the front message finds no peer window, the sender thread looks again this often
// (and at every new send) instead of spinning.
constexpr DWORD kPeerRetryMs = 250;
constexpr DWORD kSendTimeoutMs = 5000;
constexpr DWORD kSentPollMs = 2;
constexpr DWORD kSenderStopWaitMs = 10000;
// While the queue stays full, every this many dropped messages write one more line.
constexpr uint64_t kDropLogInterval = 1000;

}  // namespace

CChannelImpl::CChannelImpl(const wchar_t* own_name) : m_strOwnName(own_name) {}

CChannelImpl::~CChannelImpl() {
  if (!m_bInUnit) Unit();
  {
    _BaseModule::CAutoLocker lock(&m_csWait);
    EndPeerWatchLocked();
  }
  if (m_hPeerProcessPin) CloseHandle(m_hPeerProcessPin);
}

void CChannelImpl::Release() {
  bool abandoned;
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    abandoned = m_bSenderAbandoned;
  }
  if (abandoned) {
    LogErrorW(L"CChannelImpl::Release, sender thread still running, channel kept alive");
    return;
  }
  delete this;
}

BOOL CChannelImpl::Init(const wchar_t* peer_name) {
  if (m_hWnd && IsWindow(m_hWnd)) return TRUE;
  if (peer_name) m_strPeerName = peer_name;
  m_hPeerWnd = FindPeerWindow();
  HWND hwnd = CreateTopLevel(m_strOwnName, m_strOwnName, WS_POPUP);
  if (hwnd) SetWindowTextW(hwnd, m_strOwnName);
  return hwnd && IsWindow(hwnd);
}

void CChannelImpl::AddListener(IChannelListener* listener) {
  if (!listener) return;
  _BaseModule::CAutoLocker lock(&m_csListeners);
  m_mapListeners.emplace(listener, 1);
}

void CChannelImpl::RemoveListener(IChannelListener* listener) {
  _BaseModule::CAutoLocker lock(&m_csListeners);
  m_mapListeners.erase(listener);
}

bool CChannelImpl::Send(IPC::Message* message, bool async, bool sync) {
  if (!message) return false;
  if (m_bInUnit) {
    LogErrorW(L"Send Failed,CChannelImpl Already Uninit");
    return false;
  }
  // Out of memory while it was built: the host would read the missing items as defaults.
  if (!message->IsUsable() || message->HasFailedWrite()) {
    LogErrorW(L"CChannelImpl::Send, message type=%d lost items when memory ran out, not sent",
              static_cast<int>(message->GetType()));
    return false;
  }
  if (!async) return SendImpl(*message, sync);
  return Enqueue(*message);
}

bool CChannelImpl::Enqueue(const IPC::Message& message) {
  // Copied outside the lock, into a node of its own that is spliced in below.
  std::list<IPC::Message> node;
  try {
    node.emplace_back(message);
  } catch (const std::bad_alloc&) {
  }
  if (node.empty() || !node.front().IsUsable()) {
    LogErrorW(L"CChannelImpl::Send, no memory for a copy of message type=%d (%u bytes), not sent",
              static_cast<int>(message.GetType()), static_cast<unsigned>(message.GetSize()));
    return false;
  }
  const uint32_t size = node.front().GetSize();
  QueueState full{};
  bool log_drop = false;
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    // Checked again under the lock that Unit takes to close the events.
    if (m_bInUnit) {
      LogErrorW(L"Send Failed,CChannelImpl Already Uninit");
      return false;
    }
    if (!StartSenderLocked()) return false;
    if (m_nUnsent >= kMaxQueuedMessages || m_nUnsentBytes + size > kMaxQueuedBytes) {
      ++m_nDroppedMessages;
      m_nDroppedBytes += size;
      log_drop = ++m_nDroppedInRun % kDropLogInterval == 1;
      full = QueueState{m_nUnsent, m_nUnsentBytes, m_nDroppedMessages, m_nDroppedBytes};
    } else {
      m_nDroppedInRun = 0;
      // One wake-up for a burst: the sender takes everything queued when it wakes. A front that
      // waits for the peer window is tried again at every new send.
      const bool wake = m_queSend.empty() || m_bRetryPending;
      m_queSend.splice(m_queSend.end(), node);
      ++m_nUnsent;
      m_nUnsentBytes += size;
      if (wake) SetEvent(m_hSendEvent);
      return true;
    }
  }
  if (log_drop) {
    LogErrorW(L"CChannelImpl::Send, send queue full (%u messages, %I64u bytes): message type=%d dropped, "
              L"%I64u messages (%I64u bytes) dropped in all",
              static_cast<unsigned>(full.messages), full.bytes, static_cast<int>(message.GetType()),
              full.dropped_messages, full.dropped_bytes);
  }
  return false;
}

bool CChannelImpl::Send(int32_t routing, uint32_t type, const char* data, int length, bool async, bool sync) {
  IPC::Message message(routing, type, 2);
  // A failed write marks the message, which Send then refuses with a log line.
  if (data && length != 0) (void)message.WriteData(data, length);
  return Send(&message, async, sync);
}

bool CChannelImpl::StartSenderLocked() {
  if (m_hSenderThread) return true;
  if (!m_hStopEvent) m_hStopEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  if (!m_hSendEvent) m_hSendEvent = CreateEventW(nullptr, FALSE, FALSE, nullptr);
  if (!m_hStopEvent || !m_hSendEvent) return false;
  m_hSenderThread = CreateThread(nullptr, 0, &CChannelImpl::SenderThreadProc, this, 0, nullptr);
  return m_hSenderThread != nullptr;
}

bool CChannelImpl::SendCopyData(HWND target, COPYDATASTRUCT* data) {
  DWORD_PTR answer = 0;
  if (SendMessageTimeoutW(target, WM_COPYDATA, reinterpret_cast<WPARAM>(m_hWnd), reinterpret_cast<LPARAM>(data),
                          SMTO_NOTIMEOUTIFNOTHUNG, kSendTimeoutMs, &answer)) {
    return true;
  }
  const DWORD error = GetLastError();
  LogDebugW(L"CChannelImpl::SendImpl, SendMessageTimeout failed, error=%d", static_cast<int>(error));
  return error != ERROR_INVALID_WINDOW_HANDLE;
}

bool CChannelImpl::IsPeerOwned(HWND window) {
  const DWORD expected = m_nPeerProcessId;
  if (expected == 0) return true;
  DWORD owner = 0;
  GetWindowThreadProcessId(window, &owner);
  if (owner == expected) return true;
  if (owner == 0) return false;  // gone
  {
    _BaseModule::CAutoLocker lock(&m_csRefused);
    for (HWND logged : m_arrRefused) {
      if (logged == window) return false;
    }
    m_arrRefused[m_nRefusedNext] = window;
    m_nRefusedNext = (m_nRefusedNext + 1) % (sizeof(m_arrRefused) / sizeof(m_arrRefused[0]));
  }
  LogErrorW(L"CChannelImpl::SendImpl, window %p of the peer's name belongs to process %d, not to the peer "
            L"process %d: not used",
            window, static_cast<int>(owner), static_cast<int>(expected));
  return false;
}

HWND CChannelImpl::FindPeerWindow() {
  // Any process can make a window of the peer's name: every one of them is looked at, so that
  // an impostor found first does not hide the peer's own.
  for (HWND window = nullptr; (window = FindWindowExW(nullptr, window, m_strPeerName, m_strPeerName)) != nullptr;) {
    if (IsPeerOwned(window)) return window;
  }
  return nullptr;
}

bool CChannelImpl::SendImpl(IPC::Message& message, bool sync) {
  COPYDATASTRUCT data;
  data.dwData = kCopyDataAsync + (sync ? 1 : 0);
  data.cbData = message.GetSize();
  data.lpData = const_cast<char*>(message.GetData());
  // The window found last is tried first; only a send that finds it gone looks the peer up
  // again. With a peer process known its owner is checked at every send too: the handle of a
  // window that has gone may come back as another process's window.
  HWND peer = m_hPeerWnd;
  if (peer && !IsPeerOwned(peer)) peer = nullptr;
  if (!peer || !SendCopyData(peer, &data)) {
    peer = FindPeerWindow();
    m_hPeerWnd = peer;
    if (!peer) return false;
    SendCopyData(peer, &data);
  }
  if (message.GetRouting() == kRoutingIdBroadcast && m_hWnd) SendCopyData(m_hWnd, &data);
  return true;
}

DWORD WINAPI CChannelImpl::SenderThreadProc(LPVOID param) {
  static_cast<CChannelImpl*>(param)->SenderLoop();
  return 0;
}

void CChannelImpl::SenderLoop() {
  HANDLE events[2];
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    events[0] = m_hStopEvent;  // first: a signalled stop wins
    events[1] = m_hSendEvent;
  }
  for (;;) {
    bool retry;
    {
      _BaseModule::CAutoLocker lock(&m_csQueue);
      retry = m_bRetryPending;
    }
    const DWORD wait = WaitForMultipleObjects(2, events, FALSE, retry ? kPeerRetryMs : INFINITE);
    if (wait == WAIT_OBJECT_0) {
      LogInfoW(L"OnStopEvent");
      return;
    }
    if (wait == WAIT_OBJECT_0 + 1 || wait == WAIT_TIMEOUT) {
      if (wait != WAIT_TIMEOUT) LogDebugW(L"OnSendEvent");
      OnSendEvent();
      continue;
    }
    if (wait == WAIT_FAILED) {
      LogErrorW(L"WaitForMultipleObjects Ret:WAIT_FAILED");
    } else {
      LogErrorW(L"WaitForMultipleObjects Ret:%d", static_cast<int>(wait));
    }
    return;
  }
}

void CChannelImpl::OnSendEvent() {
  std::list<IPC::Message> batch;
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    batch.swap(m_queSend);
    m_bRetryPending = false;
  }
  while (!batch.empty()) {
    // Unit drops what is still queued; it is not waited for behind a long batch.
    if (m_bInUnit) return;
    IPC::Message& message = batch.front();
    const uint32_t type = message.GetType();
    const uint32_t size = message.GetSize();
    if (type == 0) {  // never sent
      batch.pop_front();
      Delivered(size);
      continue;
    }
    const bool sent = SendImpl(message, false);
    LogDebugW(L"send msg: type=%d, web_view_id=%d, send_suc=%d", static_cast<int>(type & 0xFF),
              static_cast<int>(type & 0xFF00), sent ? 1 : 0);
    if (!sent) {
      // No peer window yet: the rest goes back in front of what was queued meanwhile, in order,
      // and waits (a short time, or for the next send) rather than cycle through the queue.
      _BaseModule::CAutoLocker lock(&m_csQueue);
      m_queSend.splice(m_queSend.begin(), batch);
      ResetEvent(m_hSendEvent);
      m_bRetryPending = true;
      return;
    }
    batch.pop_front();
    Delivered(size);
  }
}

void CChannelImpl::Delivered(uint32_t size) {
  _BaseModule::CAutoLocker lock(&m_csQueue);
  --m_nUnsent;
  m_nUnsentBytes -= size;
}

CChannelImpl::QueueState CChannelImpl::GetQueueState() {
  _BaseModule::CAutoLocker lock(&m_csQueue);
  return QueueState{m_nUnsent, m_nUnsentBytes, m_nDroppedMessages, m_nDroppedBytes};
}

bool CChannelImpl::WaitUntilSent(DWORD timeout_ms) {
  const ULONGLONG end = GetTickCount64() + timeout_ms;
  for (;;) {
    {
      _BaseModule::CAutoLocker lock(&m_csQueue);
      if (m_nUnsent == 0) return true;
      // Without a peer window nothing moves; without a sender nothing ever will.
      if (m_bRetryPending || m_bInUnit || !m_hSenderThread) return false;
    }
    if (GetTickCount64() >= end) return false;
    Sleep(kSentPollMs);
  }
}

void CChannelImpl::Unit() {
  LogInfoW(L"CChannelImpl::Unit Begin");
  if (m_bInUnit.exchange(TRUE)) {
    LogInfoW(L"CChannelImpl::Unit, m_bInUnit");
    return;
  }
  HANDLE thread;
  HANDLE stop;
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    thread = m_hSenderThread;
    stop = m_hStopEvent;
  }
  bool stopped = true;
  if (thread && stop) {
    LogInfoW(L"Begin SetEvent OnStopEvent");
    SetEvent(stop);
    stopped = WaitForSingleObject(thread, kSenderStopWaitMs) == WAIT_OBJECT_0;
    LogInfoW(L"WaitForSingleObject SetEvent OnStopEvent");
  }
  {
    _BaseModule::CAutoLocker lock(&m_csQueue);
    if (stopped) {
      if (m_hSenderThread) CloseHandle(m_hSenderThread);
      m_hSenderThread = nullptr;
      if (m_hSendEvent) CloseHandle(m_hSendEvent);
      if (m_hStopEvent) CloseHandle(m_hStopEvent);
      m_hSendEvent = m_hStopEvent = nullptr;
    } else {
      // The thread may still be inside a send to a slow peer: its events, queue and this
      // object stay alive; the signalled stop event ends it when it returns.
      m_bSenderAbandoned = true;
    }
  }
  if (m_hWnd) SendMessageW(m_hWnd, WM_CHANNEL_DESTROY, 0, 0);
  LogInfoW(L"CChannelImpl::Unit End");
}

bool CChannelImpl::CopyListeners(std::vector<IChannelListener*>* listeners) {
  try {
    _BaseModule::CAutoLocker lock(&m_csListeners);
    listeners->reserve(m_mapListeners.size());
    for (const auto& entry : m_mapListeners) listeners->push_back(entry.first);
  } catch (const std::bad_alloc&) {
    LogErrorW(L"CChannelImpl::CopyListeners, no memory for the listener list");
    return false;
  }
  return true;
}

void CChannelImpl::Dispatch(const char* data, DWORD length) {
  std::vector<IChannelListener*> listeners;
  if (!CopyListeners(&listeners)) return;
  if (!data || length < IPC::Message::kHeaderSize || length > 0x7FFFFFFFu) return;
  IPC::Message message(data, static_cast<int>(length));
  if (!message.IsUsable()) return;
  const int routing = message.GetRouting();
  for (IChannelListener* listener : listeners) {
    if (routing == kRoutingIdBroadcast || listener->GetRoutingId() == routing) listener->OnMessageReceived(message);
  }
}

void CChannelImpl::QueueReceived(HWND hWnd, const COPYDATASTRUCT& data) {
  try {
    const char* bytes = static_cast<const char*>(data.lpData);
    m_queReceived.emplace_back(bytes, bytes + data.cbData);
  } catch (const std::bad_alloc&) {
    LogErrorW(L"CChannelImpl::QueueReceived, no memory for %u bytes, block dropped", static_cast<unsigned>(data.cbData));
    return;
  }
  if (m_bWakePending) return;  // the pending wake-up dispatches this block too
  if (PostMessageW(hWnd, WM_CHANNEL_ASYNC_COPYDATA, 0, 0)) {
    m_bWakePending = true;
  } else {
    LogErrorW(L"CChannelImpl::QueueReceived, PostMessage failed, error=%d", static_cast<int>(GetLastError()));
  }
}

void CChannelImpl::DispatchReceived() {
  // Cleared first: a block that arrives while a listener runs posts its own wake-up, or is
  // taken by this loop, whichever comes first.
  m_bWakePending = false;
  // A listener may end the channel: what is still queued then goes with the window.
  while (!m_bInUnit && !m_queReceived.empty()) {
    std::vector<char> block = std::move(m_queReceived.front());
    m_queReceived.pop_front();
    Dispatch(block.data(), static_cast<DWORD>(block.size()));
  }
}

BOOL CChannelImpl::ProcessWindowMessage(HWND hWnd, UINT uMsg, WPARAM wParam, LPARAM lParam, LRESULT& lResult) {
  switch (uMsg) {
    case WM_COPYDATA: {
      const COPYDATASTRUCT* data = reinterpret_cast<const COPYDATASTRUCT*>(lParam);
      lResult = TRUE;
      if (!data || !data->lpData || data->cbData == 0) return TRUE;
      if (data->dwData == kCopyDataAsync) {
        QueueReceived(hWnd, *data);
      } else if (data->dwData == kCopyDataSync) {
        Dispatch(static_cast<const char*>(data->lpData), data->cbData);
      }
      return TRUE;
    }
    case WM_CHANNEL_ASYNC_COPYDATA:
      // Carries nothing: any process can post it, and then it only drains this queue.
      DispatchReceived();
      lResult = 0;
      return TRUE;
    case WM_CHANNEL_DESTROY:
      // Only the channel's own shutdown destroys the window, not a message from elsewhere.
      if (m_bInUnit) DestroyWindow(hWnd);
      lResult = 0;
      return TRUE;
    case WM_CHANNEL_PEER_EXIT:
      OnPeerExit(wParam);
      lResult = 1;
      return TRUE;
    case WM_QUERYENDSESSION:
      m_bSessionEnding = TRUE;
      lResult = TRUE;
      return TRUE;
    case WM_CREATE:
    case WM_TIMER:
      lResult = 0;
      return TRUE;
    default:
      return FALSE;
  }
}

void CChannelImpl::WatchPeerProcess(HANDLE process) {
  _BaseModule::CAutoLocker lock(&m_csWait);
  EndPeerWatchLocked();
  if (!process) return;
  m_hPeerProcess = process;
  m_pWaitRecord = new WaitRecord{process, nullptr, m_hWnd};
  if (!RegisterWaitForSingleObject(&m_pWaitRecord->hWait, process, &CChannelImpl::OnPeerProcessSignaled,
                                   m_pWaitRecord, INFINITE, WT_EXECUTEONLYONCE | WT_EXECUTELONGFUNCTION)) {
    m_pWaitRecord->hWait = nullptr;
    LogErrorW(L"RegisterProcessWaitExit Failed,handle :%d", static_cast<int>(reinterpret_cast<INT_PTR>(process)));
  }
}

void CChannelImpl::SetPeerProcessId(DWORD process_id) {
  HANDLE pin = process_id ? OpenProcess(SYNCHRONIZE, FALSE, process_id) : nullptr;
  if (process_id && !pin) {
    LogErrorW(L"CChannelImpl::SetPeerProcessId, process %d not opened, error=%d; its id alone is compared",
              static_cast<int>(process_id), static_cast<int>(GetLastError()));
  }
  if (m_hPeerProcessPin) CloseHandle(m_hPeerProcessPin);
  m_hPeerProcessPin = pin;
  m_nPeerProcessId = process_id;
  // Found before the process was known: checked again at the next send.
  m_hPeerWnd = nullptr;
  LogInfoW(L"CChannelImpl::SetPeerProcessId, process=%d", static_cast<int>(process_id));
}

void CChannelImpl::EndPeerWatchLocked() {
  if (!m_pWaitRecord) return;
  // Blocking form: a callback that is running still reads the record.
  if (m_pWaitRecord->hWait) UnregisterWaitEx(m_pWaitRecord->hWait, INVALID_HANDLE_VALUE);
  if (m_hPeerProcess) CloseHandle(m_hPeerProcess);
  m_hPeerProcess = nullptr;
  delete m_pWaitRecord;
  m_pWaitRecord = nullptr;
}

VOID CALLBACK CChannelImpl::OnPeerProcessSignaled(PVOID param, BOOLEAN timed_out) {
  WaitRecord* record = static_cast<WaitRecord*>(param);
  if (!timed_out) {
    LogInfoW(L"Remote Browser Process Quit");
    PostMessageW(record->hWnd, WM_CHANNEL_PEER_EXIT, reinterpret_cast<WPARAM>(record), 0);
  }
  LogInfoW(L"RegisterProcessWaitExit_End(%p, %d)", record->hProcess, timed_out ? 1 : 0);
}

void CChannelImpl::OnPeerExit(WPARAM posted_record) {
  {
    // The posted record may be gone already (the watch was ended or replaced meanwhile): it
    // is only compared, never read; the stored one is used.
    _BaseModule::CAutoLocker lock(&m_csWait);
    if (!m_pWaitRecord || reinterpret_cast<WPARAM>(m_pWaitRecord) != posted_record) return;
    EndPeerWatchLocked();
  }
  std::vector<IChannelListener*> listeners;
  if (!CopyListeners(&listeners)) return;
  for (IChannelListener* listener : listeners) {
    if (IChannelListener2* listener2 = dynamic_cast<IChannelListener2*>(listener)) {
      listener2->OnPeerProcessExit(m_bSessionEnding != FALSE);
    }
  }
}
