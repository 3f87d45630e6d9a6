// Tests of several processes share one screen and one cursor. A test that moves the cursor, clicks
// through SendInput or runs a system drag holds a PointerLease meanwhile, and also while its
// windows stand where such a drag looks: tests run side by side then neither move the cursor
// under each other nor drop onto each other's windows.
#pragma once

#include "tests/base/named_lease.h"

class PointerLease : public NamedLease {
 public:
  PointerLease() : NamedLease(L"Brivelo.Tests.ScreenPointer", "the screen's pointer") {}
};
