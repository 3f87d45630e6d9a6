// The client handler of a windowed browser: the shared handler with its reference count.
#pragma once

#include <string>

#include "browser/client_handler.h"
#include "browser/interlocked_ref_count.h"

namespace client {

class ClientHandlerStd : public ClientHandler {
 public:
  // Main thread. delegate: the browser window, not owned.
  ClientHandlerStd(Delegate* delegate, const std::string& startup_url);

  // Any thread; the last Release deletes the handler on the releasing thread.
  void AddRef() const override { ref_count_.AddRef(); }
  bool Release() const override;
  bool HasOneRef() const override { return ref_count_.HasOneRef(); }

 protected:
  ~ClientHandlerStd() override {}

 private:
  InterlockedRefCount ref_count_;
};

}  // namespace client
