#include "engine/pipe_transport.h"

#include <process.h>

#include <algorithm>
#include <vector>

#include "engine/logging.h"
#include "engine/utf.h"
#include "include/internal/cef_string.h"

#ifndef PIPE_REJECT_REMOTE_CLIENTS
#define PIPE_REJECT_REMOTE_CLIENTS 0x00000008
#endif

namespace cefengine {

namespace {

const DWORD kPipeBufferSize = 64 * 1024;
const DWORD kReadChunk = 64 * 1024;
const DWORD kWriteChunk = 1024 * 1024;

// Waits until `ov` completed after CancelIo, so its memory may go.
void CancelAndDrain(HANDLE pipe, OVERLAPPED* ov) {
  CancelIo(pipe);
  DWORD ignored = 0;
  GetOverlappedResult(pipe, ov, &ignored, TRUE);
}

}  // namespace

PipeTransport::PipeTransport(HANDLE pipe, bool listening)
    : pipe_(pipe),
      listening_(listening),
      stop_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)),
      limit_event_(CreateEventW(nullptr, FALSE, FALSE, nullptr)),
      write_event_(CreateEventW(nullptr, TRUE, FALSE, nullptr)) {
  connected_ = !listening;
}

PipeTransport::~PipeTransport() {
  Stop();
  if (thread_) {
    if (GetCurrentThreadId() != thread_id_)
      WaitForSingleObject(thread_, INFINITE);
    CloseHandle(thread_);
  }
  if (pipe_ != INVALID_HANDLE_VALUE)
    CloseHandle(pipe_);
  if (watch_process_)
    CloseHandle(watch_process_);
  for (HANDLE h : retired_handles_)
    CloseHandle(h);
  CloseHandle(stop_event_);
  CloseHandle(limit_event_);
  CloseHandle(write_event_);
}

std::shared_ptr<PipeTransport> PipeTransport::Listen(const std::wstring& name) {
  DWORD open_mode = PIPE_ACCESS_DUPLEX | FILE_FLAG_OVERLAPPED | FILE_FLAG_FIRST_PIPE_INSTANCE;
  DWORD pipe_mode = PIPE_TYPE_BYTE | PIPE_READMODE_BYTE | PIPE_WAIT;
  HANDLE pipe = CreateNamedPipeW(name.c_str(), open_mode, pipe_mode | PIPE_REJECT_REMOTE_CLIENTS, 1, kPipeBufferSize,
                                 kPipeBufferSize, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE && GetLastError() == ERROR_INVALID_PARAMETER)  // systems without the flag
    pipe = CreateNamedPipeW(name.c_str(), open_mode, pipe_mode, 1, kPipeBufferSize, kPipeBufferSize, 0, nullptr);
  if (pipe == INVALID_HANDLE_VALUE) {
    LOG(ERROR) << "PipeTransport::Listen CreateNamedPipeW " << WideToUtf8(name) << " failed: " << GetLastError();
    return nullptr;
  }
  return std::shared_ptr<PipeTransport>(new PipeTransport(pipe, true));
}

std::shared_ptr<PipeTransport> PipeTransport::Connect(const std::wstring& name, DWORD timeout_ms) {
  for (;;) {
    HANDLE pipe = CreateFileW(name.c_str(), GENERIC_READ | GENERIC_WRITE, 0, nullptr, OPEN_EXISTING,
                              FILE_FLAG_OVERLAPPED, nullptr);
    if (pipe != INVALID_HANDLE_VALUE)
      return std::shared_ptr<PipeTransport>(new PipeTransport(pipe, false));
    DWORD error = GetLastError();
    if (error != ERROR_PIPE_BUSY || !WaitNamedPipeW(name.c_str(), timeout_ms)) {
      LOG(ERROR) << "PipeTransport::Connect " << WideToUtf8(name) << " failed: " << error;
      return nullptr;
    }
  }
}

bool PipeTransport::Start(std::weak_ptr<Delegate> delegate) {
  if (thread_)
    return false;
  delegate_ = std::move(delegate);
  auto* self = new std::shared_ptr<PipeTransport>(shared_from_this());
  unsigned id = 0;
  uintptr_t handle = _beginthreadex(nullptr, 0, &PipeTransport::ReaderMain, self, 0, &id);
  if (!handle) {
    delete self;
    LOG(ERROR) << "PipeTransport::Start could not start the reader thread";
    return false;
  }
  thread_ = reinterpret_cast<HANDLE>(handle);
  thread_id_ = id;
  return true;
}

void PipeTransport::SetConnectLimit(HANDLE process, DWORD timeout_ms) {
  HANDLE own = nullptr;
  if (process && !DuplicateHandle(GetCurrentProcess(), process, GetCurrentProcess(), &own, SYNCHRONIZE, FALSE, 0))
    own = nullptr;
  {
    std::lock_guard<std::mutex> lock(limit_mutex_);
    // The reader may be waiting on the previous handle: it is closed with the transport, not now.
    if (watch_process_)
      retired_handles_.push_back(watch_process_);
    watch_process_ = own;
    deadline_ = GetTickCount64() + timeout_ms;
  }
  SetEvent(limit_event_);
}

bool PipeTransport::Send(const ChannelFrame& frame) {
  std::string bytes;
  if (!EncodeFrame(frame, &bytes)) {
    LOG(ERROR) << "PipeTransport::Send cannot encode a " << FrameTypeName(frame.type) << " frame";
    return false;
  }
  std::lock_guard<std::mutex> lock(write_mutex_);
  if (broken_ || stopping_)
    return false;
  if (!connected_) {
    outbox_.append(bytes);
    return true;
  }
  if (!WriteAll(bytes)) {
    broken_ = true;
    return false;
  }
  return true;
}

void PipeTransport::Stop() {
  if (stopping_.exchange(true))
    return;
  // Before taking the write lock: a sender holding it while the peer's buffer is full ends its wait on this.
  SetEvent(stop_event_);
  {
    std::lock_guard<std::mutex> lock(write_mutex_);
    outbox_.clear();
  }
  if (thread_ && GetCurrentThreadId() == thread_id_)
    return;  // the reader ends after the current event; the destructor closes the pipe
  if (thread_)
    WaitForSingleObject(thread_, INFINITE);
  std::lock_guard<std::mutex> lock(write_mutex_);
  if (pipe_ != INVALID_HANDLE_VALUE) {
    CloseHandle(pipe_);
    pipe_ = INVALID_HANDLE_VALUE;
  }
}

bool PipeTransport::IsConnected() {
  std::lock_guard<std::mutex> lock(write_mutex_);
  return connected_ && !broken_;
}

unsigned __stdcall PipeTransport::ReaderMain(void* param) {
  auto* self = static_cast<std::shared_ptr<PipeTransport>*>(param);
  (*self)->ReadLoop();
  delete self;
  return 0;
}

bool PipeTransport::WriteAll(const std::string& bytes) {
  size_t offset = 0;
  while (offset < bytes.size()) {
    DWORD chunk = static_cast<DWORD>(std::min<size_t>(bytes.size() - offset, kWriteChunk));
    OVERLAPPED ov = {};
    ResetEvent(write_event_);
    ov.hEvent = write_event_;
    if (!WriteFile(pipe_, bytes.data() + offset, chunk, nullptr, &ov)) {
      if (GetLastError() != ERROR_IO_PENDING)
        return false;
      HANDLE waits[2] = {write_event_, stop_event_};
      if (WaitForMultipleObjects(2, waits, FALSE, INFINITE) != WAIT_OBJECT_0) {
        CancelAndDrain(pipe_, &ov);
        return false;
      }
    }
    DWORD written = 0;
    if (!GetOverlappedResult(pipe_, &ov, &written, TRUE) || written == 0)
      return false;
    offset += written;
  }
  return true;
}

void PipeTransport::Report(CloseReason reason) {
  {
    std::lock_guard<std::mutex> lock(write_mutex_);
    broken_ = true;
    if (stopping_)
      return;
  }
  if (std::shared_ptr<Delegate> delegate = delegate_.lock())
    delegate->OnPipeClosed(reason);
}

bool PipeTransport::WaitForClient(CloseReason* reason) {
  OVERLAPPED ov = {};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  bool connected = false;
  *reason = CloseReason::kBroken;
  if (ConnectNamedPipe(pipe_, &ov)) {
    connected = true;
  } else {
    DWORD error = GetLastError();
    if (error == ERROR_PIPE_CONNECTED) {
      connected = true;
    } else if (error == ERROR_IO_PENDING) {
      IoWait wait = WaitForIo(ov.hEvent);
      if (wait == IoWait::kDone) {
        DWORD ignored = 0;
        connected = GetOverlappedResult(pipe_, &ov, &ignored, FALSE) != FALSE;
      } else {
        CancelAndDrain(pipe_, &ov);
        // Stopping is not reported; a missed limit is kNoPeer.
        *reason = wait == IoWait::kStopped ? CloseReason::kBroken : CloseReason::kNoPeer;
      }
    }
  }
  CloseHandle(ov.hEvent);
  return connected;
}

PipeTransport::IoWait PipeTransport::WaitForIo(HANDLE io_event) {
  for (;;) {
    HANDLE waits[4] = {io_event, stop_event_, limit_event_, nullptr};
    DWORD count = 3;
    DWORD timeout = INFINITE;
    {
      // The connect limit holds until the peer's first frame arrived.
      std::lock_guard<std::mutex> lock(limit_mutex_);
      if (!first_frame_seen_) {
        if (watch_process_)
          waits[count++] = watch_process_;
        if (deadline_) {
          ULONGLONG now = GetTickCount64();
          timeout = deadline_ > now ? static_cast<DWORD>(deadline_ - now) : 0;
        }
      }
    }
    DWORD r = WaitForMultipleObjects(count, waits, FALSE, timeout);
    if (r == WAIT_OBJECT_0)
      return IoWait::kDone;
    if (r == WAIT_OBJECT_0 + 1)
      return IoWait::kStopped;
    if (r != WAIT_OBJECT_0 + 2)
      return IoWait::kNoPeer;  // timed out, or the watched process ended
    // The limit changed: wait again with the new one.
  }
}

void PipeTransport::ReadLoop() {
  // A connecting end is connected from the start and queues nothing: its reader must go straight to reading and
  // never wait for the write lock, which a sender holds while the peer's buffer is full. The peer may be a listening
  // end whose reader is writing its own queue and waits for this reader to take it.
  if (listening_) {
    CloseReason reason = CloseReason::kBroken;
    if (!WaitForClient(&reason)) {
      Report(reason);
      return;
    }
    bool flushed = true;
    {
      std::lock_guard<std::mutex> lock(write_mutex_);
      if (stopping_)
        return;
      connected_ = true;
      if (!outbox_.empty()) {
        flushed = WriteAll(outbox_);
        broken_ = broken_ || !flushed;
        outbox_.clear();
      }
    }
    if (!flushed) {
      Report(CloseReason::kBroken);
      return;
    }
  }

  OVERLAPPED ov = {};
  ov.hEvent = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  std::vector<char> chunk(kReadChunk);
  std::string buffer;
  bool ended = false;
  while (!ended) {
    ResetEvent(ov.hEvent);
    DWORD got = 0;
    if (!ReadFile(pipe_, chunk.data(), kReadChunk, nullptr, &ov) && GetLastError() != ERROR_IO_PENDING) {
      Report(CloseReason::kBroken);
      break;
    }
    IoWait wait = WaitForIo(ov.hEvent);
    if (wait != IoWait::kDone) {
      CancelAndDrain(pipe_, &ov);
      if (wait == IoWait::kNoPeer)
        Report(CloseReason::kNoPeer);
      break;
    }
    if (!GetOverlappedResult(pipe_, &ov, &got, FALSE)) {
      Report(CloseReason::kBroken);
      break;
    }
    buffer.append(chunk.data(), got);
    size_t offset = 0;
    while (!ended) {
      ChannelFrame frame;
      size_t consumed = 0;
      DecodeStatus status = DecodeFrame(reinterpret_cast<const uint8_t*>(buffer.data()) + offset,
                                        buffer.size() - offset, &consumed, &frame);
      if (status == DecodeStatus::kNeedMore)
        break;
      if (status == DecodeStatus::kMalformed) {
        LOG(ERROR) << "PipeTransport: malformed frame from the peer; closing the channel";
        Report(CloseReason::kMalformed);
        ended = true;
        break;
      }
      offset += consumed;
      {
        std::lock_guard<std::mutex> lock(limit_mutex_);
        first_frame_seen_ = true;
      }
      if (WaitForSingleObject(stop_event_, 0) == WAIT_OBJECT_0) {
        ended = true;
        break;
      }
      if (std::shared_ptr<Delegate> delegate = delegate_.lock())
        delegate->OnPipeFrame(frame);
    }
    buffer.erase(0, offset);
  }
  CloseHandle(ov.hEvent);
}

}  // namespace cefengine
