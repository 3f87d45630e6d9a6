// The factory of root windows, alone in its file: a test executable that defines
// RootWindow::Create itself links its own factory in place of this one.
#include "browser/root_window.h"
#include "browser/root_window_win.h"

namespace client {

scoped_refptr<RootWindow> RootWindow::Create() { return new RootWindowWin(); }

}  // namespace client
