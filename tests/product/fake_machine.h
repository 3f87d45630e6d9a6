// A canned machine for the machine identifiers: an in-memory registry, devices answering
// control codes, an adapter list, Netbios, CPUID, token elevation, OS version and GUIDs.
// Installed with SetMachinePlatform for the life of a FakeMachineScope.
#pragma once

#include <windows.h>
#include <iptypes.h>

#include <algorithm>
#include <cstring>
#include <cwctype>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "product/machine_platform.h"

namespace fake {

inline std::wstring Lower(std::wstring text) {
  for (auto& c : text) c = static_cast<wchar_t>(towlower(c));
  return text;
}

// Device answer: (control code, input, output area) -> call result; *returned = bytes answered.
using DeviceHandler = std::function<BOOL(DWORD code, const std::vector<BYTE>& in, BYTE* out,
                                         DWORD outSize, DWORD* returned)>;

struct AdapterEntry {
  std::string name;
  std::string description;
  UINT type;
  std::vector<BYTE> address;
};

enum class Elevation { kElevated, kNotElevated, kUnknown };

class FakeMachine : public CMachinePlatform {
 public:
  // --- registry -------------------------------------------------------------------------
  struct Value {
    DWORD type;
    std::vector<BYTE> data;
  };
  struct Key {
    std::map<std::wstring, Value> values;  // by lower-case name
    std::vector<std::wstring> subkeys;     // names as created, in order
  };

  // path is below HKEY_LOCAL_MACHINE, e.g. L"SOFTWARE\\Harnstave".
  void AddKey(const std::wstring& path) {
    std::wstring full = L"hklm";
    size_t start = 0;
    while (start <= path.size()) {
      size_t end = path.find(L'\\', start);
      if (end == std::wstring::npos) end = path.size();
      std::wstring part = path.substr(start, end - start);
      if (!part.empty()) {
        Key& parent = keys_[full];
        std::wstring child = full + L"\\" + Lower(part);
        if (!keys_.count(child)) parent.subkeys.push_back(part);
        full = child;
        keys_[full];
      }
      start = end + 1;
    }
  }
  void SetRaw(const std::wstring& path, const std::wstring& name, DWORD type,
              const std::vector<BYTE>& data) {
    AddKey(path);
    keys_[Full(path)].values[Lower(name)] = Value{type, data};
  }
  void SetString(const std::wstring& path, const std::wstring& name, const std::wstring& text,
                 DWORD type = REG_SZ) {
    const BYTE* bytes = reinterpret_cast<const BYTE*>(text.c_str());
    SetRaw(path, name, type, std::vector<BYTE>(bytes, bytes + (text.size() + 1) * sizeof(wchar_t)));
  }
  // The value as text (up to its first zero unit); "<none>" when missing.
  std::wstring GetString(const std::wstring& path, const std::wstring& name) const {
    auto key = keys_.find(Full(path));
    if (key == keys_.end()) return L"<none>";
    auto value = key->second.values.find(Lower(name));
    if (value == key->second.values.end()) return L"<none>";
    std::wstring text(value->second.data.size() / 2, L'\0');
    if (!text.empty()) memcpy(&text[0], value->second.data.data(), text.size() * 2);
    return std::wstring(text.c_str());
  }
  size_t ValueBytes(const std::wstring& path, const std::wstring& name) const {
    auto key = keys_.find(Full(path));
    if (key == keys_.end()) return 0;
    auto value = key->second.values.find(Lower(name));
    return value == key->second.values.end() ? 0 : value->second.data.size();
  }

  bool readOnlyRegistry = false;  // a process that may not write HKEY_LOCAL_MACHINE
  int registryWrites = 0;
  bool used64BitView = false;     // an HKEY_LOCAL_MACHINE key opened without KEY_WOW64_32KEY

  LSTATUS OpenKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key) override {
    std::wstring path;
    if (!Resolve(root, subkey, access, &path) || !keys_.count(path)) return ERROR_FILE_NOT_FOUND;
    *key = NewHandle(path);
    return ERROR_SUCCESS;
  }
  LSTATUS CreateKey(HKEY root, const wchar_t* subkey, REGSAM access, HKEY* key) override {
    std::wstring path;
    if (!Resolve(root, subkey, access, &path)) return ERROR_FILE_NOT_FOUND;
    if (!keys_.count(path)) {
      if (readOnlyRegistry) return ERROR_ACCESS_DENIED;
      AddKey(path.substr(5));
    }
    *key = NewHandle(path);
    return ERROR_SUCCESS;
  }
  LSTATUS QueryValue(HKEY key, const wchar_t* name, DWORD* type, BYTE* data, DWORD* size) override {
    const Key& k = keys_[handles_.at(Index(key))];
    auto value = k.values.find(Lower(name ? name : L""));
    if (value == k.values.end()) return ERROR_FILE_NOT_FOUND;
    if (type) *type = value->second.type;
    DWORD needed = static_cast<DWORD>(value->second.data.size());
    if (data && *size < needed) {
      *size = needed;
      return ERROR_MORE_DATA;
    }
    if (data) memcpy(data, value->second.data.data(), needed);
    *size = needed;
    return ERROR_SUCCESS;
  }
  LSTATUS SetValue(HKEY key, const wchar_t* name, DWORD type, const BYTE* data, DWORD size) override {
    if (readOnlyRegistry) return ERROR_ACCESS_DENIED;
    ++registryWrites;
    keys_[handles_.at(Index(key))].values[Lower(name)] = Value{type, std::vector<BYTE>(data, data + size)};
    return ERROR_SUCCESS;
  }
  LSTATUS EnumKey(HKEY key, DWORD index, wchar_t* name, DWORD* nameChars) override {
    const Key& k = keys_[handles_.at(Index(key))];
    if (index >= k.subkeys.size()) return ERROR_NO_MORE_ITEMS;
    const std::wstring& sub = k.subkeys[index];
    if (sub.size() >= *nameChars) return ERROR_MORE_DATA;
    wcscpy(name, sub.c_str());
    *nameChars = static_cast<DWORD>(sub.size());
    return ERROR_SUCCESS;
  }
  LSTATUS CloseKey(HKEY) override { return ERROR_SUCCESS; }

  // --- devices --------------------------------------------------------------------------
  void AddDevice(const std::wstring& path, DeviceHandler handler) { devices_[Lower(path)] = std::move(handler); }
  std::vector<std::wstring> opened;  // device paths opened, in order
  std::vector<DWORD> controlCodes;   // control codes asked, in order

  HANDLE OpenDevice(const wchar_t* path, DWORD, DWORD) override {
    std::wstring lower = Lower(path);
    opened.push_back(lower);
    if (!devices_.count(lower)) return INVALID_HANDLE_VALUE;
    deviceHandles_.push_back(lower);
    return reinterpret_cast<HANDLE>(static_cast<UINT_PTR>(0x10000 + deviceHandles_.size() - 1));
  }
  BOOL IoControl(HANDLE device, DWORD code, const void* in, DWORD inSize, void* out, DWORD outSize,
                 DWORD* returned) override {
    controlCodes.push_back(code);
    const std::wstring& path = deviceHandles_.at(reinterpret_cast<UINT_PTR>(device) - 0x10000);
    std::vector<BYTE> input(static_cast<const BYTE*>(in), static_cast<const BYTE*>(in) + (in ? inSize : 0));
    *returned = 0;
    return devices_[path](code, input, static_cast<BYTE*>(out), outSize, returned);
  }
  void CloseDevice(HANDLE) override {}

  // --- adapters and Netbios --------------------------------------------------------------
  std::vector<AdapterEntry> adapterList;
  std::vector<BYTE> netbiosAddress;  // empty: Netbios is not there

  ULONG GetAdaptersInfo(IP_ADAPTER_INFO* list, ULONG* size) override {
    if (adapterList.empty()) return ERROR_NO_DATA;
    ULONG needed = static_cast<ULONG>(adapterList.size() * sizeof(IP_ADAPTER_INFO));
    if (*size < needed) {
      *size = needed;
      return ERROR_BUFFER_OVERFLOW;
    }
    memset(list, 0, needed);
    for (size_t i = 0; i < adapterList.size(); ++i) {
      IP_ADAPTER_INFO& info = list[i];
      info.Next = i + 1 < adapterList.size() ? &list[i + 1] : nullptr;
      strncpy(info.AdapterName, adapterList[i].name.c_str(), sizeof(info.AdapterName) - 1);
      strncpy(info.Description, adapterList[i].description.c_str(), sizeof(info.Description) - 1);
      info.Type = adapterList[i].type;
      info.AddressLength = static_cast<UINT>(adapterList[i].address.size());
      memcpy(info.Address, adapterList[i].address.data(), adapterList[i].address.size());
    }
    return ERROR_SUCCESS;
  }
  UCHAR Netbios(NCB* ncb) override {
    if (netbiosAddress.empty()) return 0x40;
    if (ncb->ncb_command == NCBENUM) {
      LANA_ENUM* lanas = reinterpret_cast<LANA_ENUM*>(ncb->ncb_buffer);
      lanas->length = 1;
      lanas->lana[0] = 3;
    } else if (ncb->ncb_command == NCBASTAT) {
      if (ncb->ncb_lana_num != 3 || ncb->ncb_callname[0] != '*') return 0x23;
      memcpy(ncb->ncb_buffer, netbiosAddress.data(), netbiosAddress.size());
    }
    return 0;
  }

  // --- processor, elevation, version, GUIDs, waiting -------------------------------------
  bool cpuidWorks = true;
  std::string vendor = "GenuineIntel";
  unsigned leaf1Eax = 0x000906EA;
  unsigned leaf1Edx = 0xBFEBFBFF;
  std::string brand = "  Example CPU @ 3.00GHz  ";
  bool Cpuid(unsigned leaf, unsigned regs[4]) override {
    if (!cpuidWorks) return false;
    memset(regs, 0, 16);
    if (leaf == 0) {
      regs[0] = 0x16;
      char v[12] = {};
      memcpy(v, vendor.data(), std::min<size_t>(12, vendor.size()));
      memcpy(&regs[1], v, 4);
      memcpy(&regs[3], v + 4, 4);
      memcpy(&regs[2], v + 8, 4);
    } else if (leaf == 1) {
      regs[0] = leaf1Eax;
      regs[3] = leaf1Edx;
    } else if (leaf == 0x80000000) {
      regs[0] = brand.empty() ? 0x80000001 : 0x80000004;
    } else if (leaf >= 0x80000002 && leaf <= 0x80000004) {
      char b[48] = {};
      memcpy(b, brand.data(), std::min<size_t>(48, brand.size()));
      memcpy(regs, b + (leaf - 0x80000002) * 16, 16);
    }
    return true;
  }

  Elevation elevation = Elevation::kElevated;
  int elevationQueries = 0;
  std::function<void()> onElevationQuery;
  BOOL QueryTokenElevation(BOOL* elevated) override {
    ++elevationQueries;
    if (onElevationQuery) onElevationQuery();
    if (elevation == Elevation::kUnknown) return FALSE;
    *elevated = elevation == Elevation::kElevated;
    return TRUE;
  }

  DWORD osMajor = 10, osMinor = 0;
  void GetOsVersion(DWORD* major, DWORD* minor) override {
    *major = osMajor;
    *minor = osMinor;
  }

  bool guidWorks = true;
  GUID guid = {0x04030201, 0x0605, 0x0807, {0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F, 0x10}};
  HRESULT CreateGuid(GUID* out) override {
    if (!guidWorks) return E_FAIL;
    *out = guid;
    return S_OK;
  }

  std::vector<DWORD> waits;
  std::function<void()> onWait;
  void Wait(DWORD milliseconds) override {
    waits.push_back(milliseconds);
    if (onWait) onWait();
  }

 private:
  static std::wstring Full(const std::wstring& path) { return L"hklm\\" + Lower(path); }
  bool Resolve(HKEY root, const wchar_t* subkey, REGSAM access, std::wstring* path) {
    if (root == HKEY_LOCAL_MACHINE) {
      if (!(access & KEY_WOW64_32KEY)) used64BitView = true;
      *path = L"hklm";
    } else {
      *path = handles_.at(Index(root));
    }
    if (subkey && *subkey) *path += L"\\" + Lower(subkey);
    return true;
  }
  HKEY NewHandle(const std::wstring& path) {
    handles_.push_back(path);
    return reinterpret_cast<HKEY>(static_cast<UINT_PTR>(0x1000 + handles_.size() - 1));
  }
  static size_t Index(HKEY key) { return reinterpret_cast<UINT_PTR>(key) - 0x1000; }

  std::map<std::wstring, Key> keys_;
  std::vector<std::wstring> handles_;
  std::map<std::wstring, DeviceHandler> devices_;
  std::vector<std::wstring> deviceHandles_;
};

// Installs a machine for one scope.
class FakeMachineScope {
 public:
  explicit FakeMachineScope(FakeMachine* machine) : previous_(SetMachinePlatform(machine)) {}
  ~FakeMachineScope() { SetMachinePlatform(previous_); }

 private:
  CMachinePlatform* previous_;
};

// --- device answers ------------------------------------------------------------------------

// An ATA string field: bytes as the drive stores them (each word high byte first), padded with
// blanks.
inline void PutAtaString(BYTE* identify, int firstWord, int words, const std::string& text) {
  std::string padded = text;
  padded.resize(words * 2, ' ');
  for (int i = 0; i < words; ++i) {
    identify[(firstWord + i) * 2] = static_cast<BYTE>(padded[i * 2 + 1]);
    identify[(firstWord + i) * 2 + 1] = static_cast<BYTE>(padded[i * 2]);
  }
}

inline std::vector<BYTE> IdentifyBlock(const std::string& serial, const std::string& model) {
  std::vector<BYTE> block(512, 0);
  PutAtaString(block.data(), 10, 10, serial);
  PutAtaString(block.data(), 27, 20, model);
  return block;
}

constexpr DWORD kSmartGetVersion = 0x00074080;
constexpr DWORD kSmartRcvDriveData = 0x0007C088;
constexpr DWORD kScsiMiniport = 0x0004D008;
constexpr DWORD kStorageQuery = 0x002D1400;
constexpr DWORD kNdisQuery = 0x00170002;

inline void Answer(BYTE* out, DWORD outSize, DWORD* returned, const std::vector<BYTE>& bytes) {
  DWORD n = std::min<DWORD>(outSize, static_cast<DWORD>(bytes.size()));
  memcpy(out, bytes.data(), n);
  *returned = n;
}

// A storage descriptor: removable flag, bus type, and texts placed after the header (an empty
// text gets offset 0).
inline std::vector<BYTE> StorageDescriptor(bool removable, DWORD busType, const std::string& vendor,
                                           const std::string& product, const std::string& serial) {
  std::vector<BYTE> d(40, 0);
  auto put = [&d](DWORD at, DWORD value) { memcpy(&d[at], &value, 4); };
  put(0, 1);
  d[10] = removable ? 1 : 0;
  put(28, busType);
  auto text = [&d, &put](DWORD field, const std::string& t) {
    if (t.empty()) return;
    put(field, static_cast<DWORD>(d.size()));
    d.insert(d.end(), t.begin(), t.end());
    d.push_back(0);
  };
  text(12, vendor);
  text(16, product);
  text(24, serial);
  put(4, static_cast<DWORD>(d.size()));
  return d;
}

// A disk drive: SMART answers with identify (when given) and the storage query with descriptor
// (when given).
inline DeviceHandler Disk(std::vector<BYTE> identify, std::vector<BYTE> descriptor,
                          BYTE deviceMap = 1) {
  return [identify, descriptor, deviceMap](DWORD code, const std::vector<BYTE>&, BYTE* out,
                                           DWORD outSize, DWORD* returned) -> BOOL {
    if (code == kSmartGetVersion && !identify.empty()) {
      std::vector<BYTE> version(24, 0);
      version[0] = 1;
      version[3] = deviceMap;
      Answer(out, outSize, returned, version);
      return TRUE;
    }
    if (code == kSmartRcvDriveData && !identify.empty()) {
      std::vector<BYTE> answer(16, 0);
      answer.insert(answer.end(), identify.begin(), identify.end());
      Answer(out, outSize, returned, answer);
      return TRUE;
    }
    if (code == kStorageQuery && !descriptor.empty()) {
      Answer(out, outSize, returned, descriptor);
      return TRUE;
    }
    SetLastError(ERROR_INVALID_FUNCTION);
    return FALSE;
  };
}

// A SCSI port whose drive 0 answers the miniport identify.
inline DeviceHandler ScsiPort(std::vector<BYTE> identify) {
  return [identify](DWORD code, const std::vector<BYTE>& in, BYTE* out, DWORD outSize,
                    DWORD* returned) -> BOOL {
    if (code != kScsiMiniport || in.size() < 60 || in[28 + 12] != 0) return FALSE;
    std::vector<BYTE> answer(in.begin(), in.begin() + 28);
    answer.resize(44, 0);
    answer.insert(answer.end(), identify.begin(), identify.end());
    Answer(out, outSize, returned, answer);
    return TRUE;
  };
}

// An adapter device: the permanent address (addressBytes of it answered) and, when not 0,
// the physical medium answers.
inline DeviceHandler Adapter(std::vector<BYTE> address, DWORD mediumEx = 0, DWORD medium = 0) {
  return [address, mediumEx, medium](DWORD code, const std::vector<BYTE>& in, BYTE* out,
                                     DWORD outSize, DWORD* returned) -> BOOL {
    if (code != kNdisQuery || in.size() != 4) return FALSE;
    DWORD oid;
    memcpy(&oid, in.data(), 4);
    std::vector<BYTE> answer;
    if (oid == 0x01010101) answer = address;
    if (oid == 0x00010213 && mediumEx) answer.assign(reinterpret_cast<const BYTE*>(&mediumEx), reinterpret_cast<const BYTE*>(&mediumEx) + 4);
    if (oid == 0x00010202 && medium) answer.assign(reinterpret_cast<const BYTE*>(&medium), reinterpret_cast<const BYTE*>(&medium) + 4);
    if (answer.empty()) return FALSE;
    Answer(out, outSize, returned, answer);
    return TRUE;
  };
}

// Registers an adapter under NetworkCards (subkey index) with its device.
inline void AddNetworkCard(FakeMachine* machine, int index, const std::wstring& service,
                           DeviceHandler device) {
  std::wstring key = L"SOFTWARE\\Microsoft\\Windows NT\\CurrentVersion\\NetworkCards\\" + std::to_wstring(index);
  machine->SetString(key, L"ServiceName", service);
  machine->AddDevice(L"\\\\.\\" + service, std::move(device));
}

inline std::vector<BYTE> Mac(BYTE a, BYTE b, BYTE c, BYTE d, BYTE e, BYTE f) { return {a, b, c, d, e, f}; }

}  // namespace fake
