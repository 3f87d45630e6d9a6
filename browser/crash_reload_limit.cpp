#include "browser/crash_reload_limit.h"

namespace client {

bool CrashReloadLimit::TryReload(uint64_t now_ms) {
  while (!reloads_.empty() && now_ms - reloads_.front() >= kWindowMs)
    reloads_.pop_front();
  if (reloads_.size() >= static_cast<size_t>(kMaxReloads))
    return false;
  reloads_.push_back(now_ms);
  return true;
}

}  // namespace client
