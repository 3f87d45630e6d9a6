// The running system's version, read once per process: the system's own version functions,
// raised to the product version of the kernel file where that is newer (compatibility shims
// may report an older version to the process).
#pragma once

#include <windows.h>

#include "product/static_singleton.h"

class COSVersionCheck : public static_singleton_base<COSVersionCheck> {
 public:
  COSVersionCheck();
  virtual ~COSVersionCheck();

  // Fills record; always TRUE. Sets the source word: 0 from the version functions, 1 raised
  // from the kernel file.
  BOOL ReadVersion(OSVERSIONINFOEXW* record);

  const OSVERSIONINFOEXW& Version() const { return m_osVersion; }
  int Source() const { return m_nSource; }

 private:
  int m_nSource;  // -1 not read yet
  OSVERSIONINFOEXW m_osVersion;
};

// IsWow64Process of the current process, looked up at run time; FALSE when missing or failing.
BOOL IsRunningUnderWow64();
