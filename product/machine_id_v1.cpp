#include "product/machine_id_v1.h"

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "base/string_cipher.h"
#include "product/disk_query.h"
#include "product/disk_serial_text.h"
#include "product/machine_platform.h"
#include "product/machine_registry.h"
#include "product/md5_v1.h"
#include "product/ndis_query.h"
#include "product/processor_text.h"

namespace {

const wchar_t kStoreKey[] = L"Software\\Harnstave";
const char kFailedText[] = "Mid2Failed";

CProcessorTextCache g_cpuText;

// Copies text into out (size bytes, always terminated when size > 0); true when it all fit.
bool CopyText(char* out, UINT size, const char* text) {
  if (size == 0) return false;
  size_t n = strlen(text);
  if (n >= size) {
    memcpy(out, text, size - 1);
    out[size - 1] = '\0';
    return false;
  }
  memcpy(out, text, n + 1);
  return true;
}

void AppendText(char* text, size_t capacity, const char* part) {
  size_t used = strlen(text);
  size_t n = strlen(part);
  if (used + n >= capacity) n = capacity - 1 - used;
  memcpy(text + used, part, n);
  text[used + n] = '\0';
}

void PutDword(BYTE* at, DWORD value) { memcpy(at, &value, sizeof(value)); }

// The serial from IDENTIFY data, copied into out; true when it fit.
bool SerialFromIdentify(const BYTE* identify, char* out, UINT size) {
  char text[1024] = {};
  IdentifyWordsToText(identify, 10, 19, text);
  return CopyText(out, size, text);
}

// Stored values are 8-bit text in the ANSI code page.
bool ReadStoreValue(const wchar_t* name, size_t maxChars, std::string* text) {
  HKEY key = OpenRegKey(HKEY_LOCAL_MACHINE, kStoreKey, KEY_QUERY_VALUE);
  if (!key) return false;
  std::wstring value;
  bool ok = ReadRegString(key, name, maxChars, &value);
  CloseRegKey(key);
  if (ok) *text = StringCipher::WideToCodePage(value.c_str(), CP_ACP);
  return ok;
}

// Written as REG_SZ of exactly the given characters, without a terminator; the key is created
// when missing.
void WriteStoreValue(const wchar_t* name, const std::string& text) {
  HKEY key = nullptr;
  if (MachinePlatform().CreateKey(HKEY_LOCAL_MACHINE, kStoreKey, KEY_SET_VALUE | KEY_WOW64_32KEY,
                                  &key) != ERROR_SUCCESS) {
    return;
  }
  std::wstring wide = StringCipher::CodePageToWide(text.c_str(), CP_ACP);
  (void)MachinePlatform().SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(wide.data()),
                                   static_cast<DWORD>(wide.size() * sizeof(wchar_t)));
  CloseRegKey(key);
}

}  // namespace

BOOL GetMachineIdV1W(wchar_t* buffer, UINT count) {
  if (!buffer || count < kMachineIdV1Chars) return FALSE;
  char narrow[260] = {};
  ComputeMachineIdV1(narrow, sizeof(narrow));
  memset(buffer, 0, count * sizeof(wchar_t));
  MultiByteToWideChar(CP_THREAD_ACP, 0, narrow, -1, buffer, static_cast<int>(count));
  return TRUE;
}

BOOL GetMachineIdV1A(char* buffer, UINT size) {
  if (!buffer || size < kMachineIdV1Chars) return FALSE;
  memset(buffer, 0, size);
  ComputeMachineIdV1(buffer, size);
  return TRUE;
}

void ComputeMachineIdV1(char* out, UINT size) {
  if (!out || size < kMachineIdV1Chars) return;
  if (ReadStoredMachineIdV1(out, size)) return;

  char text[4096] = {};
  (void)GetCachedCpuIdText(text, sizeof(text));

  BOOL (*const diskReaders[])(char*, UINT) = {ReadDiskSerialSmart, ReadDiskSerialScsi,
                                              ReadDiskSerialStorageQuery, ReadDiskSerialSmartDirect};
  for (auto reader : diskReaders) {
    char serial[100] = {};
    if (reader(serial, sizeof(serial))) {
      TrimTrailingBlanks(serial);
      AppendText(text, sizeof(text), serial);
      break;
    }
  }

  char address[100] = {};
  BOOL haveAddress = ReadAdapterAddressNetworkCards(address, sizeof(address));
  if (!haveAddress) {
    memset(address, 0, sizeof(address));
    haveAddress = ReadAdapterAddressNetbios(address, sizeof(address));
  }
  if (haveAddress) AppendText(text, sizeof(text), address);

  // Without any hardware part every machine would share one identifier: it is returned for
  // this call but never stored, so the hardware is asked again next time.
  bool failed = text[0] == '\0';
  MachineIdV1Digest(failed ? kFailedText : text, out, size);
  if (!failed) StoreMachineIdV1(out);
}

BOOL ReadStoredMachineIdV1(char* out, UINT size) {
  if (!out || size < kMachineIdV1Chars) return FALSE;
  std::string stored;
  if (!ReadStoreValue(L"mid", 1024, &stored)) return FALSE;
  stored = stored.c_str();  // the text ends at its first zero
  if (stored.size() != 64) return FALSE;
  std::string id = stored.substr(0, 32);
  char check[33] = {};
  MachineIdV1Digest(id.c_str(), check, sizeof(check));
  if (lstrcmpiA(check, stored.c_str() + 32) != 0) return FALSE;
  return CopyText(out, size, id.c_str()) ? TRUE : FALSE;
}

void MachineIdV1Digest(const char* text, char* out, UINT size) {
  if (!out || size == 0) return;
  memset(out, 0, size);
  char cut[260] = {};
  snprintf(cut, sizeof(cut), "%s", text ? text : "");
  Md5V1Context context;
  Md5V1Init(&context);
  Md5V1Update(&context, reinterpret_cast<const unsigned char*>(cut), strlen(cut));
  // Finalised twice on purpose: the stored identifiers are this digest, not plain MD5.
  Md5V1Final(&context);
  Md5V1Final(&context);
  char digits[33] = {};
  for (int i = 0; i < 16; ++i) snprintf(digits + i * 2, 3, "%02x", context.digest[i]);
  snprintf(out, size, "%s", digits);
}

void StoreMachineIdV1(const char* id) {
  char check[33] = {};
  MachineIdV1Digest(id, check, sizeof(check));
  std::string value = std::string(id) + check;
  std::string previous;
  if (ReadStoreValue(L"mid", 256, &previous)) {
    previous = previous.c_str();
    if (strcmp(previous.c_str(), id) != 0) WriteStoreValue(L"mid_old", previous);
  }
  WriteStoreValue(L"mid", value);
}

BOOL GetCachedCpuIdText(char* out, UINT size) {
  std::string text = g_cpuText.Get([] {
    char read[128] = {};
    return GetCpuIdText(read, sizeof(read)) ? std::string(read) : std::string();
  });
  if (text.empty()) return FALSE;
  (void)CopyText(out, size, text.c_str());
  return TRUE;
}

BOOL GetCpuIdText(char* out, UINT size) {
  char vendor[13] = {};
  unsigned regs[4] = {};
  if (!ReadProcessorVendor(vendor, nullptr) || !MachinePlatform().Cpuid(1, regs)) return FALSE;
  char text[64] = {};
  snprintf(text, sizeof(text), "%s:%08x", vendor, regs[3]);
  return CopyText(out, size, text) ? TRUE : FALSE;
}

BOOL ReadDiskSerialSmart(char* out, UINT size) {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE device = MachinePlatform().OpenDevice(PhysicalDrivePath(drive).c_str(),
                                                 GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (device == INVALID_HANDLE_VALUE) continue;
    BYTE version[24];
    BYTE deviceMap = 0;
    if (!SmartGetVersion(device, version) || (deviceMap = version[3]) == 0) {
      MachinePlatform().CloseDevice(device);
      continue;
    }
    // SENDCMDINPARAMS: buffer size, the IDE registers, the drive number.
    BYTE request[33] = {};
    PutDword(request, kIdentifySize);
    request[5] = 1;                                                     // sector count
    request[6] = 1;                                                     // sector number
    request[9] = static_cast<BYTE>(0xA0 | ((drive & 1) << 4));          // drive/head
    request[10] = ((deviceMap >> drive) & 0x10) ? 0xA1 : 0xEC;          // packet or ATA identify
    request[12] = static_cast<BYTE>(drive);
    BYTE answer[16 + kIdentifySize] = {};
    DWORD returned = 0;
    BOOL ok = MachinePlatform().IoControl(device, kSmartRcvDriveData, request, 32, answer,
                                          sizeof(answer), &returned);
    MachinePlatform().CloseDevice(device);
    if (ok && SerialFromIdentify(answer + 16, out, size)) return TRUE;
  }
  return FALSE;
}

BOOL ReadDiskSerialScsi(char* out, UINT size) {
  for (int controller = 0; controller < kMaxDrives; ++controller) {
    wchar_t port[32] = {};
    _snwprintf(port, 31, L"\\\\.\\Scsi%d:", controller);
    HANDLE device = MachinePlatform().OpenDevice(port,
                                                 GENERIC_READ | GENERIC_WRITE,
                                                 FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (device == INVALID_HANDLE_VALUE) continue;
    for (int drive = 0; drive < 2; ++drive) {
      // SRB_IO_CONTROL (28 bytes) followed by SENDCMDINPARAMS; the answer overwrites both.
      BYTE buffer[557] = {};
      PutDword(buffer, 28);
      memcpy(buffer + 4, "SCSIDISK", 8);
      PutDword(buffer + 12, 10000);
      PutDword(buffer + 16, 0x001B0501);
      PutDword(buffer + 24, 529);
      buffer[28 + 10] = 0xEC;
      buffer[28 + 12] = static_cast<BYTE>(drive);
      DWORD returned = 0;
      BOOL ok = MachinePlatform().IoControl(device, kIoctlScsiMiniport, buffer, 60, buffer,
                                            sizeof(buffer), &returned);
      const BYTE* identify = buffer + 44;
      if (ok && identify[54] != 0 && SerialFromIdentify(identify, out, size)) {
        MachinePlatform().CloseDevice(device);
        return TRUE;
      }
    }
    MachinePlatform().CloseDevice(device);
  }
  return FALSE;
}

BOOL ReadDiskSerialStorageQuery(char* out, UINT size) {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE device = MachinePlatform().OpenDevice(PhysicalDrivePath(drive).c_str(),
                                                 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (device == INVALID_HANDLE_VALUE) continue;
    std::vector<BYTE> answer(10000, 0);
    bool ok = QueryStorageDescriptor(device, answer.data(), static_cast<DWORD>(answer.size()));
    MachinePlatform().CloseDevice(device);
    if (!ok) continue;
    LONG offset = 0;
    memcpy(&offset, answer.data() + 24, sizeof(offset));  // the serial-number offset
    char serial[1000];
    DecodeDeviceSerialText(answer.data(), static_cast<DWORD>(answer.size()), offset, TRUE, serial,
                           sizeof(serial));
    if (CopyText(out, size, serial)) return TRUE;
  }
  return FALSE;
}

BOOL ReadDiskSerialSmartDirect(char* out, UINT size) {
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE device = MachinePlatform().OpenDevice(
        PhysicalDrivePath(drive).c_str(), GENERIC_READ | GENERIC_WRITE,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE);
    if (device == INVALID_HANDLE_VALUE) continue;
    BYTE version[24];
    if (!SmartGetVersion(device, version)) {
      MachinePlatform().CloseDevice(device);
      continue;
    }
    BYTE buffer[545] = {};
    buffer[10] = 0xEC;  // IDENTIFY DEVICE
    DWORD returned = 0;
    BOOL ok = MachinePlatform().IoControl(device, kSmartRcvDriveData, buffer, 33, buffer,
                                          sizeof(buffer), &returned);
    MachinePlatform().CloseDevice(device);
    if (ok && SerialFromIdentify(buffer + 16, out, size)) return TRUE;
  }
  return FALSE;
}

BOOL ReadAdapterAddressNetworkCards(char* out, UINT size) {
  if (!out || size == 0) return FALSE;
  HKEY cards = OpenRegKey(HKEY_LOCAL_MACHINE,
                          L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards",
                          KEY_ENUMERATE_SUB_KEYS);
  if (!cards) return FALSE;
  std::string smallest;
  bool found = false;
  ForEachSubkey(cards, MAXDWORD, KEY_QUERY_VALUE, [&](HKEY card, const std::wstring&) {
    std::wstring service;
    char address[100] = {};
    if (ReadRegString(card, L"ServiceName", 260, &service) &&
        QueryAdapterPermanentAddress(StringCipher::WideToCodePage(service.c_str(), CP_ACP).c_str(),
                                     address, sizeof(address))) {
      if (!found || lstrcmpA(address, smallest.c_str()) < 0) smallest = address;
      found = true;
    }
    return true;
  });
  CloseRegKey(cards);
  return found && CopyText(out, size, smallest.c_str()) ? TRUE : FALSE;
}

BOOL QueryAdapterPermanentAddress(const char* serviceName, char* out, UINT size) {
  char path[260] = {};
  snprintf(path, sizeof(path), "\\\\.\\%s", serviceName);
  HANDLE device = MachinePlatform().OpenDevice(StringCipher::CodePageToWide(path, CP_ACP).c_str(),
                                               GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (device == INVALID_HANDLE_VALUE) return FALSE;
  std::string address;
  bool ok = QueryPermanentAddressText(device, &address);
  MachinePlatform().CloseDevice(device);
  return ok && CopyText(out, size, address.c_str()) ? TRUE : FALSE;
}

BOOL ReadAdapterAddressNetbios(char* out, UINT size) {
  LANA_ENUM lanas = {};
  NCB ncb = {};
  ncb.ncb_command = NCBENUM;
  ncb.ncb_buffer = reinterpret_cast<PUCHAR>(&lanas);
  ncb.ncb_length = sizeof(lanas);
  if (MachinePlatform().Netbios(&ncb) != NRC_GOODRET) return FALSE;
  UCHAR lana = lanas.lana[0];

  ncb = NCB();
  ncb.ncb_command = NCBRESET;
  ncb.ncb_lana_num = lana;
  (void)MachinePlatform().Netbios(&ncb);

  BYTE status[600] = {};
  ncb = NCB();
  ncb.ncb_command = NCBASTAT;
  ncb.ncb_lana_num = lana;
  memcpy(ncb.ncb_callname, "*               ", NCBNAMSZ);  // "*", 14 blanks, a zero
  ncb.ncb_callname[NCBNAMSZ - 1] = 0;
  ncb.ncb_buffer = status;
  ncb.ncb_length = sizeof(status);
  if (MachinePlatform().Netbios(&ncb) != NRC_GOODRET) return FALSE;
  return CopyText(out, size, FormatAdapterAddress(status).c_str()) ? TRUE : FALSE;
}
