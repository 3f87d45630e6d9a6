// The factory of root windows, alone in its file: a test executable that defines
// RootWindow::Create itself links its own factory in place of this one.
#include "browser/root_window.h"

#include "include/base/cef_logging.h"

namespace client {

scoped_refptr<RootWindow> RootWindow::Create() {
  // The Windows root window is not part of this build yet.
  LOG(FATAL) << "RootWindow::Create: no root window implementation";
  return nullptr;
}

}  // namespace client
