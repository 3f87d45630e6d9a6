#include "render/client_app_other.h"

namespace client {

ClientAppOther::ClientAppOther() {}

}  // namespace client
