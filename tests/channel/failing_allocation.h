// While an instance lives, every pickle buffer allocation of this process fails (the pickle's
// allocator seam), as when memory runs out.
#pragma once

#include <cstddef>

#include "channel/pickle.h"

class FailingPickleAllocations {
 public:
  FailingPickleAllocations() : m_pfnPrevious(Pickle::SetReallocFunction(&Refuse)) {}
  ~FailingPickleAllocations() { Pickle::SetReallocFunction(m_pfnPrevious); }
  FailingPickleAllocations(const FailingPickleAllocations&) = delete;
  FailingPickleAllocations& operator=(const FailingPickleAllocations&) = delete;

 private:
  static void* Refuse(void*, size_t) { return nullptr; }

  Pickle::ReallocFunction m_pfnPrevious;
};
