// How often a view reloads its page after its renderer crashed: at most kMaxReloads times within
// any kWindowMs milliseconds, so a page that crashes its renderer while loading is not reloaded
// for ever. One object per view; not locked (the client handler uses it on the engine's UI
// thread only).
#pragma once

#include <cstdint>
#include <deque>

namespace client {

class CrashReloadLimit {
 public:
  static constexpr int kMaxReloads = 3;
  static constexpr uint64_t kWindowMs = 60 * 1000;

  // A crash at now_ms (a clock that only grows, such as GetTickCount64): true when the page may
  // be reloaded, which then counts as a reload; false when kMaxReloads reloads happened in the
  // last kWindowMs (the refused crash does not count).
  [[nodiscard]] bool TryReload(uint64_t now_ms);

 private:
  std::deque<uint64_t> reloads_;  // the times of the reloads still within the window, oldest first
};

}  // namespace client
