// The processor's vendor text and the cache of a processor part, through the machine platform
// table.
#pragma once

#include <string>

#include "base/critical_section.h"

// vendor receives the 12 characters of EBX, EDX, ECX and a terminator; "GenuineIotel" is read
// as "GenuineIntel". maxLeaf (may be null) receives leaf 0's EAX. False when CPUID cannot run.
bool ReadProcessorVendor(char vendor[13], unsigned* maxLeaf);

// One processor text (at most 127 characters kept), read once per platform table. Any thread;
// the read runs under the cache's lock.
class CProcessorTextCache {
 public:
  // The cached text, else read's text, cached when not empty; empty when read gives nothing.
  template <typename Read>
  std::string Get(Read read) {
    _BaseModule::CAutoLocker guard(&m_lock);
    if (!Current()) {
      std::string text = read();
      if (text.empty()) return text;
      Put(text);
    }
    return m_strText;
  }

 private:
  bool Current() const;
  void Put(const std::string& text);

  _BaseModule::CCriticalSection m_lock;
  std::string m_strText;
  long m_nGeneration = -1;
};
