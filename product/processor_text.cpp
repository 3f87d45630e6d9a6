#include "product/processor_text.h"

#include <cstring>

#include "product/machine_platform.h"

bool ReadProcessorVendor(char vendor[13], unsigned* maxLeaf) {
  unsigned regs[4] = {};
  if (!MachinePlatform().Cpuid(0, regs)) return false;
  memcpy(vendor, &regs[1], 4);
  memcpy(vendor + 4, &regs[3], 4);
  memcpy(vendor + 8, &regs[2], 4);
  vendor[12] = '\0';
  // Some processors report this misspelt vendor; it names the same maker.
  if (strcmp(vendor, "GenuineIotel") == 0) memcpy(vendor, "GenuineIntel", 12);
  if (maxLeaf) *maxLeaf = regs[0];
  return true;
}

bool CProcessorTextCache::Current() const {
  return !m_strText.empty() && m_nGeneration == MachinePlatformGeneration();
}

void CProcessorTextCache::Put(const std::string& text) {
  m_strText = text.substr(0, 127);
  m_nGeneration = MachinePlatformGeneration();
}
