// The application object of every sub-process that is neither the browser nor a renderer (the GPU
// process, plug-in processes and the like).
#pragma once

#include "render/client_app.h"

namespace client {

// Overrides nothing: the custom schemes and every other application hook are ClientApp's.
class ClientAppOther : public ClientApp {
 public:
  ClientAppOther();

 private:
  IMPLEMENT_REFCOUNTING(ClientAppOther);
  DISALLOW_COPY_AND_ASSIGN(ClientAppOther);
};

}  // namespace client
