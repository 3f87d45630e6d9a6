// The first machine identifier: 32 lower-case hexadecimal digits derived from the processor,
// the first disk serial and a network-adapter address, stored machine-wide with a check value
// under HKEY_LOCAL_MACHINE "Software\Harnstave" "mid" (the replaced value in "mid_old").
//
// Threads: only the processor-text cache is locked. Two computations must not run at the same
// time in one process; the callers ask from one thread at a time. Nothing is logged: the main
// log may still be starting up when the identifier is first asked for.
#pragma once

#include <windows.h>

// 32 digits and the terminator.
constexpr UINT kMachineIdV1Chars = 33;

// The identifier as UTF-16 into buffer (count units, zero-filled first). FALSE, touching
// nothing, for a null buffer or a count below 33.
[[nodiscard]] BOOL GetMachineIdV1W(wchar_t* buffer, UINT count);
// The narrow form; FALSE, touching nothing, for a null buffer or a size below 33.
[[nodiscard]] BOOL GetMachineIdV1A(char* buffer, UINT size);

// The stored identifier when it is valid, else computed from the hardware and stored (unless
// no hardware part could be read). Does nothing for a null out or a size below 33.
void ComputeMachineIdV1(char* out, UINT size);

// The stored identifier when "mid" holds 64 characters whose second half is the digest of
// the first (letter case ignored); its first 32 characters are copied as stored.
[[nodiscard]] BOOL ReadStoredMachineIdV1(char* out, UINT size);

// The digest D of text (cut to 259 bytes) as 32 lower-case digits into out, zero-filled first
// and bounded to size - 1 characters.
void MachineIdV1Digest(const char* text, char* out, UINT size);

// Writes "mid" = id + D(id) (64 characters, no terminator); a different previous value goes
// to "mid_old". Write failures are ignored.
void StoreMachineIdV1(const char* id);

// Processor part "vendor:EDX of leaf 1" ("%s:%08x"); cached after the first success.
[[nodiscard]] BOOL GetCachedCpuIdText(char* out, UINT size);
[[nodiscard]] BOOL GetCpuIdText(char* out, UINT size);

// Disk serial readers, asked in this order; each TRUE with the serial (possibly empty)
// copied completely into out.
[[nodiscard]] BOOL ReadDiskSerialSmart(char* out, UINT size);
[[nodiscard]] BOOL ReadDiskSerialScsi(char* out, UINT size);
[[nodiscard]] BOOL ReadDiskSerialStorageQuery(char* out, UINT size);
[[nodiscard]] BOOL ReadDiskSerialSmartDirect(char* out, UINT size);

// Adapter address readers (12 upper-case digits): the smallest permanent address among the
// NetworkCards adapters, else the first Netbios adapter's.
[[nodiscard]] BOOL ReadAdapterAddressNetworkCards(char* out, UINT size);
[[nodiscard]] BOOL QueryAdapterPermanentAddress(const char* serviceName, char* out, UINT size);
[[nodiscard]] BOOL ReadAdapterAddressNetbios(char* out, UINT size);
