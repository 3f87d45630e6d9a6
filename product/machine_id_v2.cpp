#include "product/machine_id_v2.h"

#include <openssl/sha.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <cwchar>

#include "base/string_cipher.h"
#include "product/disk_query.h"
#include "product/disk_serial_text.h"
#include "product/machine_platform.h"
#include "product/machine_registry.h"
#include "product/ndis_query.h"
#include "product/processor_text.h"

namespace {

const wchar_t kNetworkCardsKey[] = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards";
const wchar_t kNetworkClassKey[] =
    L"SYSTEM\\CurrentControlSet\\Control\\Class\\{4D36E972-E325-11CE-BFC1-08002BE10318}";
const wchar_t kRandomPrefix[] = L"ffffffff";

constexpr DWORD kOidPhysicalMediumEx = 0x00010213;
constexpr DWORD kOidPhysicalMedium = 0x00010202;
constexpr DWORD kBusTypePci = 5;
constexpr DWORD kRetryDelayMs = 500;
constexpr DWORD kMaxNetworkCards = 100;
constexpr DWORD kMaxClassKeys = 256;

CProcessorTextCache g_cpuText;

bool ContainsNoCase(const std::wstring& text, const wchar_t* word) {
  std::wstring lower(text), needle(word);
  for (auto& c : lower) c = static_cast<wchar_t>(towlower(c));
  for (auto& c : needle) c = static_cast<wchar_t>(towlower(c));
  return lower.find(needle) != std::wstring::npos;
}

std::string TrimSpaces(const std::string& text) {
  size_t begin = text.find_first_not_of(' ');
  if (begin == std::string::npos) return std::string();
  size_t end = text.find_last_not_of(' ');
  return text.substr(begin, end - begin + 1);
}

// A zero-terminated text of at most maxLength bytes at offset within buffer.
std::string TextAt(const BYTE* buffer, size_t bufferSize, size_t offset, size_t maxLength) {
  if (offset >= bufferSize) return std::string();
  const char* begin = reinterpret_cast<const char*>(buffer + offset);
  return std::string(begin, strnlen(begin, std::min(maxLength, bufferSize - offset)));
}

DWORD ReadDword(const BYTE* at) {
  DWORD value = 0;
  memcpy(&value, at, sizeof(value));
  return value;
}

std::wstring FormatMaskAndCheck(const std::wstring& body, DWORD mask) {
  wchar_t maskDigits[8] = {};
  _snwprintf(maskDigits, 7, L"%02x", static_cast<unsigned>(mask & 0xFF));
  std::string covered = StringCipher::WideToCodePage((body + maskDigits).c_str(), CP_ACP);
  BYTE check = Crc8(reinterpret_cast<const BYTE*>(covered.data()), covered.size());
  wchar_t tail[8] = {};
  _snwprintf(tail, 7, L"%02x%02x", static_cast<unsigned>(mask & 0xFF), static_cast<unsigned>(check));
  return body + tail;
}

bool IsElevatedForMachineId() {
  DWORD major = 0, minor = 0;
  MachinePlatform().GetOsVersion(&major, &minor);
  if (major < 6) return true;
  BOOL elevated = FALSE;
  // A token that cannot be asked counts as elevated.
  if (!MachinePlatform().QueryTokenElevation(&elevated)) return true;
  return elevated != FALSE;
}

bool IsZeroBody(const std::wstring& text) {
  return text.compare(0, 40, std::wstring(40, L'0')) == 0;
}

}  // namespace

BYTE Crc8(const BYTE* data, size_t length) {
  BYTE crc = 0;
  for (size_t i = 0; i < length; ++i) {
    crc ^= data[i];
    for (int bit = 0; bit < 8; ++bit) crc = (crc & 1) ? static_cast<BYTE>((crc >> 1) ^ 0x8C) : static_cast<BYTE>(crc >> 1);
  }
  return crc;
}

BOOL MakeRandomIdBody(std::wstring* text) {
  GUID guid = {};
  if (FAILED(MachinePlatform().CreateGuid(&guid))) return FALSE;
  const BYTE* bytes = reinterpret_cast<const BYTE*>(&guid);
  std::wstring body = kRandomPrefix;
  for (size_t i = 0; i < sizeof(guid); ++i) {
    wchar_t digits[4] = {};
    _snwprintf(digits, 3, L"%02x", bytes[i]);
    body += digits;
  }
  *text = body;
  return TRUE;
}

BOOL BuildMachineIdV2Text(const MachineIdV2Parts& parts, std::wstring* text, BOOL elevated) {
  text->clear();
  DWORD mask = parts.dwMask;
  BOOL hashed = FALSE;
  if (!(parts.dwMask & (kMachinePartAdapter | kMachinePartDisk))) {
    // The processor alone names a model, not a machine: never hashed on its own.
    if (MakeRandomIdBody(text)) mask = kMachineBodyRandom;
  } else {
    std::string input;
    if (parts.dwMask & kMachinePartAdapter) input += parts.strAdapter;
    if (parts.dwMask & kMachinePartDisk) input += parts.strDisk;
    if (parts.dwMask & kMachinePartCpu) input += parts.strCpu;
    unsigned char digest[SHA_DIGEST_LENGTH];
    SHA_CTX context;
    SHA1_Init(&context);
    SHA1_Update(&context, input.data(), input.size());
    SHA1_Final(digest, &context);
    for (unsigned char byte : digest) {
      wchar_t digits[4] = {};
      _snwprintf(digits, 3, L"%02x", byte);
      *text += digits;
    }
    mask = parts.dwMask | kMachineBodyHashed;
    hashed = TRUE;
  }
  if (text->empty()) {
    *text = std::wstring(40, L'0');
  } else if (!elevated && _wcsnicmp(text->c_str(), kRandomPrefix, 8) != 0) {
    text->replace(0, 8, L"eeeeeeee");
  }
  *text = FormatMaskAndCheck(*text, mask);
  return hashed;
}

BOOL ReadStoredMachineIdV2(std::wstring* text, BOOL* random) {
  *random = FALSE;
  HKEY key = OpenRegKey(HKEY_LOCAL_MACHINE, kMachineStoreKey, KEY_QUERY_VALUE);
  if (!key) return FALSE;
  wchar_t value[50] = {};
  DWORD type = 0;
  DWORD size = sizeof(value);
  LSTATUS status = MachinePlatform().QueryValue(key, L"m2", &type, reinterpret_cast<BYTE*>(value), &size);
  CloseRegKey(key);
  if (status != ERROR_SUCCESS || (type != REG_SZ && type != REG_EXPAND_SZ) || size % 2 != 0) {
    return FALSE;
  }
  size_t units = size / sizeof(wchar_t);
  if (units != kMachineIdV2Chars + 1 || value[kMachineIdV2Chars] != L'\0' ||
      wcslen(value) != kMachineIdV2Chars) {
    return FALSE;
  }
  std::wstring stored(value);
  unsigned long expected = wcstoul(stored.substr(42, 2).c_str(), nullptr, 16);
  std::string narrow = StringCipher::WideToCodePage(stored.c_str(), CP_THREAD_ACP);
  if (narrow.size() < 42) return FALSE;
  if (Crc8(reinterpret_cast<const BYTE*>(narrow.data()), 42) != expected) return FALSE;
  *text = stored;
  *random = _wcsnicmp(stored.c_str(), kRandomPrefix, 8) == 0 ? TRUE : FALSE;
  return TRUE;
}

BOOL StoreMachineIdV2(const std::wstring& text, const std::wstring& previous) {
  HKEY key = OpenRegKey(HKEY_LOCAL_MACHINE, kMachineStoreKey, KEY_SET_VALUE);
  if (!key && MachinePlatform().CreateKey(HKEY_LOCAL_MACHINE, kMachineStoreKey,
                                          KEY_WRITE | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) {
    return FALSE;
  }
  auto write = [key](const wchar_t* name, const std::wstring& value) {
    return MachinePlatform().SetValue(key, name, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                                      static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t))) ==
           ERROR_SUCCESS;
  };
  if (!previous.empty() && _wcsicmp(previous.c_str(), text.c_str()) != 0) {
    (void)write(L"m2_old", previous);
  }
  BOOL ok = write(L"m2", text) ? TRUE : FALSE;
  CloseRegKey(key);
  return ok;
}

void ComputeMachineIdV2(std::wstring* id) {
  const bool elevated = IsElevatedForMachineId();
  std::wstring stored;
  BOOL storedRandom = FALSE;
  const bool valid = ReadStoredMachineIdV2(&stored, &storedRandom) != FALSE;
  if (valid && !elevated) {
    *id = stored;
    return;
  }

  MachineIdV2Parts parts;
  CollectHardwareParts(&parts, kMachineAllParts);
  const DWORD firstMask = parts.dwMask;
  const DWORD machineParts = kMachinePartAdapter | kMachinePartDisk;

  std::wstring text;
  bool built = false;
  if (firstMask & machineParts) {
    if (valid) {
      BuildMachineIdV2Text(parts, &text, elevated);
      if (_wcsicmp(text.c_str(), stored.c_str()) == 0) {
        *id = text;
        return;
      }
      built = true;
    }
  } else if (valid && storedRandom) {
    *id = stored;
    return;
  }

  bool rebuild = !built;
  if ((firstMask & machineParts) != machineParts) {
    MachinePlatform().Wait(kRetryDelayMs);
    CollectHardwareParts(&parts, kMachineAllParts);
    rebuild = !(parts.dwMask == firstMask && built);
  }
  if (rebuild) {
    BOOL hashed = BuildMachineIdV2Text(parts, &text, elevated);
    if (!hashed && valid && storedRandom) {
      *id = stored;
      return;
    }
  }
  // A zero body (no GUID could be made) would be the same on every such machine: it is
  // returned for this process but never stored.
  if (!IsZeroBody(text)) (void)StoreMachineIdV2(text, valid ? stored : std::wstring());
  *id = text;
}

void CollectHardwareParts(MachineIdV2Parts* parts, DWORD wanted) {
  DWORD fetch = wanted & ~parts->dwMask;
  if (fetch & kMachinePartAdapter) {
    std::string text;
    if ((GetAdapterMacFromNetworkCards(&text) || GetAdapterMacFromAdapterList(&text)) &&
        !text.empty()) {
      parts->strAdapter = text;
      parts->dwMask |= kMachinePartAdapter;
    }
  }
  if (fetch & kMachinePartDisk) {
    std::string text;
    if (GetSystemDiskText(&text) && !text.empty()) {
      parts->strDisk = text;
      parts->dwMask |= kMachinePartDisk;
    }
  }
  if (fetch & kMachinePartCpu) {
    std::string text;
    GetCpuIdentText(&text);
    if (!text.empty()) {
      parts->strCpu = text;
      parts->dwMask |= kMachinePartCpu;
    }
  }
}

BOOL GetAdapterMacFromNetworkCards(std::string* text) {
  HKEY cards = OpenRegKey(HKEY_LOCAL_MACHINE, kNetworkCardsKey, KEY_ENUMERATE_SUB_KEYS);
  if (!cards) return FALSE;
  std::string wired, wireless;
  ForEachSubkey(cards, kMaxNetworkCards, KEY_QUERY_VALUE, [&](HKEY card, const std::wstring&) {
    std::wstring service;
    if (!ReadRegString(card, L"ServiceName", 260, &service)) return true;
    BOOL onPci = FALSE, isWireless = FALSE;
    if (ClassifyNetworkAdapter(service, &onPci, &isWireless) && !onPci) return true;
    std::string address;
    if (!QueryAdapterPermanentMac(service, &address, &isWireless)) return true;
    std::string& kept = isWireless ? wireless : wired;
    if (kept.empty() || address < kept) kept = address;
    return true;
  });
  CloseRegKey(cards);
  if (!wired.empty()) {
    *text = wired;
  } else if (!wireless.empty()) {
    *text = wireless;
  } else {
    return FALSE;
  }
  return TRUE;
}

BOOL ClassifyNetworkAdapter(const std::wstring& serviceName, BOOL* onPci, BOOL* wireless) {
  *onPci = FALSE;
  *wireless = FALSE;
  HKEY adapters = OpenRegKey(HKEY_LOCAL_MACHINE, kNetworkClassKey, KEY_ENUMERATE_SUB_KEYS);
  if (!adapters) return FALSE;
  ForEachSubkey(adapters, kMaxClassKeys, KEY_QUERY_VALUE | KEY_ENUMERATE_SUB_KEYS, [&](HKEY adapter, const std::wstring&) {
    std::wstring instance;
    if (!ReadRegString(adapter, L"NetCfgInstanceId", 260, &instance) ||
        _wcsicmp(instance.c_str(), serviceName.c_str()) != 0) {
      return true;
    }
    std::wstring busType;
    (void)ReadRegString(adapter, L"BusType", 260, &busType);
    if (wcstoul(busType.c_str(), nullptr, 10) == kBusTypePci) {
      *onPci = TRUE;
      std::wstring description;
      if (ReadRegString(adapter, L"DriverDesc", 260, &description) &&
          ContainsNoCase(description, L"Wireless")) {
        *wireless = TRUE;
      } else if (HKEY interfaces = OpenRegKey(adapter, L"NDI\\Interfaces", KEY_QUERY_VALUE)) {
        std::wstring lowerRange;
        if (ReadRegString(interfaces, L"LowerRange", 260, &lowerRange) &&
            (ContainsNoCase(lowerRange, L"wlan") || ContainsNoCase(lowerRange, L"vwifi"))) {
          *wireless = TRUE;
        }
        CloseRegKey(interfaces);
      }
    }
    return false;  // found
  });
  CloseRegKey(adapters);
  return TRUE;
}

BOOL ListPciAdapterIds(std::vector<std::wstring>* ids) {
  HKEY adapters = OpenRegKey(HKEY_LOCAL_MACHINE, kNetworkClassKey, KEY_ENUMERATE_SUB_KEYS);
  if (!adapters) return FALSE;
  ForEachSubkey(adapters, kMaxClassKeys, KEY_QUERY_VALUE, [ids](HKEY adapter, const std::wstring&) {
    std::wstring busType, instance;
    if (ReadRegString(adapter, L"BusType", 260, &busType) &&
        wcstoul(busType.c_str(), nullptr, 10) == kBusTypePci &&
        ReadRegString(adapter, L"NetCfgInstanceId", 260, &instance)) {
      ids->push_back(instance);
    }
    return true;
  });
  CloseRegKey(adapters);
  return ids->empty() ? FALSE : TRUE;
}

BOOL GetAdapterMacFromAdapterList(std::string* text) {
  text->clear();
  std::vector<std::wstring> ids;
  if (!ListPciAdapterIds(&ids)) return FALSE;
  std::vector<BYTE> buffer(sizeof(IP_ADAPTER_INFO));
  ULONG size = static_cast<ULONG>(buffer.size());
  ULONG result = MachinePlatform().GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (result == ERROR_BUFFER_OVERFLOW) {
    buffer.assign(size, 0);
    result = MachinePlatform().GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (result != ERROR_SUCCESS) return FALSE;

  bool chosenWired = false;
  for (const IP_ADAPTER_INFO* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data());
       adapter; adapter = adapter->Next) {
    if (adapter->AddressLength != kAdapterAddressBytes) continue;
    std::wstring name = StringCipher::CodePageToWide(adapter->AdapterName, CP_ACP);
    bool listed = false;
    for (const auto& id : ids) listed = listed || _wcsicmp(name.c_str(), id.c_str()) == 0;
    if (!listed) continue;
    bool wireless;
    if (adapter->Type == IF_TYPE_IEEE80211) {
      wireless = true;
    } else if (adapter->Type == MIB_IF_TYPE_ETHERNET) {
      std::wstring description = StringCipher::CodePageToWide(adapter->Description, CP_ACP);
      wireless = ContainsNoCase(description, L"wifi") || ContainsNoCase(description, L"wireless");
    } else {
      continue;
    }
    std::string address = FormatAdapterAddress(adapter->Address);
    if (text->empty()) {
      *text = address;
      chosenWired = !wireless;
    } else if (chosenWired && wireless) {
      continue;
    } else if (!chosenWired && !wireless) {
      *text = address;
      chosenWired = true;
    } else if (address < *text) {
      *text = address;
    }
  }
  return text->empty() ? FALSE : TRUE;
}

BOOL QueryAdapterPermanentMac(const std::wstring& serviceName, std::string* text, BOOL* wireless) {
  std::wstring path = L"\\\\.\\" + serviceName;
  HANDLE device = MachinePlatform().OpenDevice(path.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (device == INVALID_HANDLE_VALUE) return FALSE;
  bool usable = true;
  DWORD medium = 0;
  if (QueryNdisOid(device, kOidPhysicalMediumEx, &medium, sizeof(medium)) && medium != 0) {
    if (medium == 1 || medium == 9) {
      *wireless = TRUE;
    } else if (medium != 14) {
      usable = false;
    }
  } else {
    medium = 0;
    if (QueryNdisOid(device, kOidPhysicalMedium, &medium, sizeof(medium))) {
      switch (medium) {
        case 2: case 3: case 7: case 8: case 10: case 12: case 16: case 17: case 18:
          usable = false;  // modems, phone lines, WAN, Bluetooth, IrDA...
          break;
        case 1: case 9:
          *wireless = TRUE;
          break;
        default:
          *wireless = FALSE;
          break;
      }
    }
  }
  std::string address;
  usable = usable && QueryPermanentAddressText(device, &address);
  MachinePlatform().CloseDevice(device);
  if (!usable) return FALSE;
  *text = address;
  return TRUE;
}

BOOL QueryAtaIdentify(BYTE drive, std::string* serial, std::string* model) {
  HANDLE device = MachinePlatform().OpenDevice(PhysicalDrivePath(drive).c_str(), GENERIC_READ | GENERIC_WRITE,
                                               FILE_SHARE_READ | FILE_SHARE_WRITE);
  if (device == INVALID_HANDLE_VALUE) return FALSE;
  BYTE version[24];
  DWORD returned = 0;
  bool ok = SmartGetVersion(device, version);
  BYTE request[32] = {};
  request[10] = 0xEC;  // IDENTIFY DEVICE
  BYTE answer[529] = {};
  ok = ok && MachinePlatform().IoControl(device, kSmartRcvDriveData, request, sizeof(request), answer,
                                         sizeof(answer), &returned);
  MachinePlatform().CloseDevice(device);
  if (!ok) return FALSE;
  auto field = [&answer](size_t from, size_t length) {
    BYTE bytes[64] = {};
    memcpy(bytes, answer + 16 + from, length);
    FixAtaString(bytes, length);
    return TrimBlankSpace(std::string(reinterpret_cast<const char*>(bytes), strnlen(reinterpret_cast<const char*>(bytes), length)));
  };
  *serial = field(20, 20);
  *model = field(54, 40);
  return TRUE;
}

BOOL GetSystemDiskText(std::string* text) {
  DWORD major = 0, minor = 0;
  MachinePlatform().GetOsVersion(&major, &minor);
  const BOOL swap = (major < 6 || (major == 6 && minor < 2)) ? TRUE : FALSE;
  for (int drive = 0; drive < kMaxDrives; ++drive) {
    HANDLE device = MachinePlatform().OpenDevice(PhysicalDrivePath(drive).c_str(), 0, FILE_SHARE_READ | FILE_SHARE_WRITE);
    if (device == INVALID_HANDLE_VALUE) continue;
    BYTE descriptor[1001] = {};  // one byte more than asked for keeps every text terminated
    bool ok = QueryStorageDescriptor(device, descriptor, 1000);
    MachinePlatform().CloseDevice(device);
    if (!ok) continue;
    const BYTE removable = descriptor[10];
    const DWORD busType = ReadDword(descriptor + 28);
    if (removable || busType == 1 || busType == 4 || busType == 7 || busType == 10 ||
        busType == 14 || busType == 15) {
      continue;  // SCSI, 1394, USB, SAS, virtual and file-backed disks do not name the machine
    }
    std::string serial, model;
    if (QueryAtaIdentify(static_cast<BYTE>(drive), &serial, &model) && !serial.empty()) {
      *text = serial + model;
      return TRUE;
    }
    const DWORD size = ReadDword(descriptor + 4);
    const DWORD vendorOffset = ReadDword(descriptor + 12);
    const DWORD productOffset = ReadDword(descriptor + 16);
    const DWORD serialOffset = ReadDword(descriptor + 24);
    if (serialOffset >= size || vendorOffset >= size || productOffset >= size) continue;
    std::string disk;
    if (serialOffset != 0) {
      DecodeDescriptorSerial(TextAt(descriptor, 1000, serialOffset, 259).c_str(), &disk, swap);
    }
    if (disk.empty()) continue;
    if (productOffset != 0) {
      disk += TrimSpaces(TextAt(descriptor, 1000, productOffset, 1000));
    } else if (vendorOffset != 0) {
      disk += TrimSpaces(TextAt(descriptor, 1000, vendorOffset, 1000));
    }
    *text = disk;
    return TRUE;
  }
  return FALSE;
}

void GetCpuIdentText(std::string* text) {
  *text = g_cpuText.Get([] {
    char vendor[13] = {};
    unsigned maxLeaf = 0;
    if (!ReadProcessorVendor(vendor, &maxLeaf)) return std::string();
    unsigned regs[4] = {};
    unsigned signature = 0;
    if (maxLeaf >= 1 && MachinePlatform().Cpuid(1, regs)) signature = regs[0];
    char brand[49] = {};
    if (MachinePlatform().Cpuid(0x80000000, regs) && regs[0] >= 0x80000004) {
      for (unsigned leaf = 0; leaf < 3; ++leaf) {
        if (!MachinePlatform().Cpuid(0x80000002 + leaf, regs)) break;
        memcpy(brand + leaf * 16, regs, 16);
      }
    }
    char formatted[256] = {};
    snprintf(formatted, sizeof(formatted), "%s,%x,%s", TrimSpaces(vendor).c_str(), signature,
             TrimSpaces(brand).c_str());
    return std::string(formatted);
  });
}
