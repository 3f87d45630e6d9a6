// Network-adapter queries shared by both machine identifiers, through the machine platform
// table.
#pragma once

#include <windows.h>

#include <string>

constexpr DWORD kIoctlNdisQueryGlobalStats = 0x00170002;
constexpr DWORD kOidPermanentAddress = 0x01010101;  // OID_802_3_PERMANENT_ADDRESS
constexpr DWORD kAdapterAddressBytes = 6;

// One OID of an open adapter device into out (size bytes). TRUE when the call succeeds and
// answers at least one byte; returned (may be null) receives the byte count.
BOOL QueryNdisOid(HANDLE device, DWORD oid, void* out, DWORD size, DWORD* returned = nullptr);

// The permanent address of an open adapter device as 12 upper-case hexadecimal digits.
// False unless the adapter answers a whole address (6 bytes): a shorter answer would
// otherwise be read as an address ending in zeros.
bool QueryPermanentAddressText(HANDLE device, std::string* text);

// "%02X" of each of the six bytes.
std::string FormatAdapterAddress(const BYTE* address);
