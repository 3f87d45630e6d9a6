// The second machine identifier: 44 lower-case hexadecimal characters, a 40-digit body (the
// SHA-1 of adapter address, disk and processor texts, or a random body when neither adapter
// nor disk can be read), a mask byte naming the body's sources and a CRC-8 check byte. Stored
// machine-wide under HKEY_LOCAL_MACHINE "SOFTWARE\Harnstave" "m2" (previous text "m2_old"),
// 32-bit registry view. A process that is not elevated takes a valid stored text as it is; an
// elevated one recomputes and replaces it when the hardware gives a different text.
//
// Threads: the functions here may run on any thread, but one computation at a time per
// process (NewMIDW_Kiv guarantees that); the processor-text cache has its own lock. Nothing is
// logged.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

// Bits of the source mask byte.
constexpr DWORD kMachinePartAdapter = 0x01;
constexpr DWORD kMachinePartDisk = 0x02;
constexpr DWORD kMachinePartCpu = 0x08;
constexpr DWORD kMachineBodyRandom = 0x10;
constexpr DWORD kMachineBodyHashed = 0x20;
constexpr DWORD kMachineAllParts = kMachinePartAdapter | kMachinePartDisk | kMachinePartCpu;

// 44 characters.
constexpr size_t kMachineIdV2Chars = 44;

struct MachineIdV2Parts {
  std::string strAdapter;  // 12 upper-case hexadecimal digits, or empty
  std::string strDisk;     // serial followed by model or product, or empty
  std::string strCpu;      // "vendor,signature,brand", or empty
  DWORD dwMask = 0;        // the part bits whose text was obtained non-empty
};

// The identifier for this process (see the decision rules in the source); stores it when
// needed. Always yields 44 characters.
void ComputeMachineIdV2(std::wstring* id);

// The text from the parts; TRUE only for a hashed body. Random body "ffffffff" + GUID bytes
// when neither adapter nor disk is present; forty zeros when no GUID can be made.
BOOL BuildMachineIdV2Text(const MachineIdV2Parts& parts, std::wstring* text, BOOL elevated);
// "ffffffff" and the 16 bytes of a new GUID in memory order; FALSE leaves text unchanged.
BOOL MakeRandomIdBody(std::wstring* text);
// CRC-8/MAXIM (reflected polynomial 0x8C, initial value 0).
BYTE Crc8(const BYTE* data, size_t length);

// The stored "m2" when it is a 44-character string whose check byte agrees; random is set
// when it begins with "ffffffff" (letter case ignored).
[[nodiscard]] BOOL ReadStoredMachineIdV2(std::wstring* text, BOOL* random);
// Writes "m2" (and "m2_old" = previous when not empty and different ignoring case), creating
// the key when needed; TRUE when "m2" was written.
BOOL StoreMachineIdV2(const std::wstring& text, const std::wstring& previous);

// Fetches the parts of wanted that parts does not hold yet.
void CollectHardwareParts(MachineIdV2Parts* parts, DWORD wanted);

// Adapter address: the smallest wired (else wireless) permanent address among the
// NetworkCards adapters on the PCI bus; else from the system's adapter list.
[[nodiscard]] BOOL GetAdapterMacFromNetworkCards(std::string* text);
[[nodiscard]] BOOL GetAdapterMacFromAdapterList(std::string* text);
// FALSE when the network class key cannot be read; else TRUE with the adapter's bus and
// wireless verdict (both FALSE for an adapter not listed there).
BOOL ClassifyNetworkAdapter(const std::wstring& serviceName, BOOL* onPci, BOOL* wireless);
// NetCfgInstanceId of every network-class adapter on the PCI bus; TRUE when any.
BOOL ListPciAdapterIds(std::vector<std::wstring>* ids);
// The adapter's permanent address; the physical medium may fail the adapter or set or clear
// wireless.
[[nodiscard]] BOOL QueryAdapterPermanentMac(const std::wstring& serviceName, std::string* text,
                                            BOOL* wireless);

// Disk: serial and model of the first fixed, non-virtual, non-SCSI/USB/1394/SAS drive.
[[nodiscard]] BOOL GetSystemDiskText(std::string* text);
[[nodiscard]] BOOL QueryAtaIdentify(BYTE drive, std::string* serial, std::string* model);

// Processor: "%s,%x,%s" of vendor, signature and brand; cached after the first non-empty text.
void GetCpuIdentText(std::string* text);
