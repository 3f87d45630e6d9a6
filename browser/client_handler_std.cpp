#include "browser/client_handler_std.h"

namespace client {

ClientHandlerStd::ClientHandlerStd(Delegate* delegate, const std::string& startup_url)
    : ClientHandler(delegate, false, startup_url) {}

bool ClientHandlerStd::Release() const {
  if (!ref_count_.Release())
    return false;
  delete this;
  return true;
}

}  // namespace client
