// The processor's vendor text from CPUID leaf 0, through the machine platform table.
#pragma once

// vendor receives the 12 characters of EBX, EDX, ECX and a terminator; "GenuineIotel" is read
// as "GenuineIntel". maxLeaf (may be null) receives leaf 0's EAX. False when CPUID cannot run.
bool ReadProcessorVendor(char vendor[13], unsigned* maxLeaf);
