// Channel frames over a byte-mode duplex named pipe between the browser process and one renderer.
//
// The browser end creates the pipe (Listen) and accepts exactly one client; the renderer end opens it (Connect).
// Each end runs one reader thread that decodes the byte stream into frames and hands them to its delegate in
// arrival order. Sends may come from any thread: a frame is encoded first and then written whole under one lock,
// so frames never interleave and leave in the order the Send calls took the lock. A listening end keeps what is
// sent before its client arrives and writes it first, in order, once the client connected.
#ifndef CEF_ENGINE_PIPE_TRANSPORT_H_
#define CEF_ENGINE_PIPE_TRANSPORT_H_

#include <windows.h>

#include <atomic>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "engine/channel_frame.h"

namespace cefengine {

class PipeTransport : public std::enable_shared_from_this<PipeTransport> {
 public:
  enum class CloseReason {
    kBroken,     // the peer closed its end or went away
    kMalformed,  // the peer sent bytes that are not frames; the stream cannot be trusted any more
    kNoPeer,     // a listening end got no client in time, or the watched process ended before connecting
  };

  class Delegate {
   public:
    virtual ~Delegate() = default;
    // Reader thread: each frame, in arrival order. Must not call Stop() and wait for it.
    virtual void OnPipeFrame(const ChannelFrame& frame) = 0;
    // Reader thread, at most once, never after Stop(): the stream ended. Nothing more is read afterwards.
    virtual void OnPipeClosed(CloseReason reason) = 0;
  };

  // The browser end: creates `name` (one instance, local clients only). Null, with an ERROR, when it cannot.
  static std::shared_ptr<PipeTransport> Listen(const std::wstring& name);
  // The renderer end: opens `name`, waiting at most `timeout_ms` while it is busy. Null, with an ERROR, on failure.
  static std::shared_ptr<PipeTransport> Connect(const std::wstring& name, DWORD timeout_ms);

  ~PipeTransport();

  // Starts the reader thread. `delegate` is held weakly: events stop once it is gone. False when already started
  // or the thread cannot start. Any thread.
  [[nodiscard]] bool Start(std::weak_ptr<Delegate> delegate);
  // Listening end only, any thread: the client must connect and send its first frame before `timeout_ms` from now,
  // and while `process` (when not null; the transport keeps its own handle) is alive; else OnPipeClosed(kNoPeer).
  void SetConnectLimit(HANDLE process, DWORD timeout_ms);
  // Any thread. False when the stream is closed or broken; the frame is then dropped. May block while the pipe's
  // buffer is full (the peer's reader drains it, or Stop() ends the wait with false).
  [[nodiscard]] bool Send(const ChannelFrame& frame);
  // Ends the reader thread (waits for it unless called on it) and a Send blocked on a full pipe, closes the pipe,
  // drops unsent frames. Idempotent.
  void Stop();
  // True once the peer is there (at once for a connecting end).
  bool IsConnected();

 private:
  PipeTransport(HANDLE pipe, bool listening);
  static unsigned __stdcall ReaderMain(void* param);
  void ReadLoop();
  enum class IoWait { kDone, kStopped, kNoPeer };
  // Reader thread: waits for `io_event`, Stop(), or the connect limit to run out.
  IoWait WaitForIo(HANDLE io_event);
  // Reader thread: waits for the client. False when the wait ended another way (reason in `*reason`).
  bool WaitForClient(CloseReason* reason);
  // Writes all of `bytes`; call with write_mutex_ held.
  bool WriteAll(const std::string& bytes);
  void Report(CloseReason reason);

  HANDLE pipe_;         // closed by Stop() once the reader ended, else by the destructor
  const bool listening_;
  HANDLE stop_event_;   // manual-reset, set by Stop()
  HANDLE limit_event_;  // auto-reset, set when the connect limit changes
  HANDLE write_event_;  // for overlapped writes, under write_mutex_
  HANDLE thread_ = nullptr;
  DWORD thread_id_ = 0;
  std::weak_ptr<Delegate> delegate_;

  std::atomic<bool> stopping_{false};  // set first thing by Stop(), without the write lock

  std::mutex write_mutex_;  // guards the fields below and every write
  bool connected_ = false;
  bool broken_ = false;
  std::string outbox_;      // frames sent before the client connected

  std::mutex limit_mutex_;  // guards the connect limit
  HANDLE watch_process_ = nullptr;        // owned
  std::vector<HANDLE> retired_handles_;  // owned; earlier watch handles, closed with the transport
  ULONGLONG deadline_ = 0;  // 0: none
  bool first_frame_seen_ = false;
};

}  // namespace cefengine

#endif  // CEF_ENGINE_PIPE_TRANSPORT_H_
