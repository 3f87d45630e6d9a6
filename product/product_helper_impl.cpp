#include "product/product_helper_impl.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <cstring>

#include "base/file_util.h"
#include "base/log.h"
#include "base/string_cipher.h"
#include "product/file_version.h"
#include "product/product_info_key.h"

namespace {

// Copy buffers of the values and of the library's id, version and id-list answers.
const size_t kValueBytes = 4096;
const size_t kShortTextBytes = 1024;
// Registry values are read into 2048 bytes of a 2050-byte buffer, so they stay terminated.
const DWORD kRegistryBytes = 2048;

std::string ToUtf8(const std::wstring& text) { return StringCipher::WideToCodePage(text.c_str(), CP_UTF8); }

std::wstring FromUtf8(const std::string& text) { return StringCipher::CodePageToWide(text.c_str(), CP_UTF8); }

// At most capacity - 1 bytes of text, never ending inside a UTF-8 sequence.
std::string Bounded(const char* text, size_t capacity) {
  size_t length = strnlen(text, capacity);
  if (length < capacity) return std::string(text, length);
  size_t cut = capacity - 1;
  while (cut > 0 && (static_cast<unsigned char>(text[cut]) & 0xC0) == 0x80) --cut;
  return std::string(text, cut);
}

std::string BoundedString(const std::string& text, size_t capacity) {
  return Bounded(text.c_str(), capacity);
}

std::string TextOf(const CJsonHelper& entry, const char* key) {
  std::string text;
  entry.GetString(text, key, std::string());
  return text;
}

std::wstring RoamingAppData() {
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, FALSE)) return std::wstring();
  return buffer;
}

// The directory, plus the member when the directory exists. "" when the join does not fit.
std::wstring JoinWhenExists(const std::wstring& directory, const std::wstring& member) {
  if (directory.empty()) return std::wstring();
  wchar_t buffer[MAX_PATH + 1] = {};
  if (!PathAppendW(buffer, directory.c_str())) return std::wstring();
  if (PathFileExistsW(buffer) && !PathAppendW(buffer, member.c_str())) return std::wstring();
  return buffer;
}

std::wstring BaseDirectory(int levelsUp) {
  wchar_t buffer[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, buffer, MAX_PATH);
  PathRemoveFileSpecW(buffer);
  for (int i = 0; i < levelsUp; ++i) PathRemoveFileSpecW(buffer);
  return buffer;
}

const char* const kEntryKeyOfValue[kProductValueCount] = {
    "channel_reg_key",       // 0, registry
    "main_process_name",     // 1, joined to the install directory
    "install_date_reg_key",  // 2, registry
    "install_dir_reg_key",   // 3, registry
    "public_config_dir",     // 4
    "appdata_dir_name",      // 5
    "cfg_file_path",         // 6, joined to the install directory
    "stats_url",
    "cfg_center_ver_url",
    "cfg_center_detail_url",
    "cfg_center_msg_wnd_class",
    "cfg_center_stub_msg_wnd_class",
    "config_center_single_mutex",
    "dump_upload_url",
    "service_cfg_url",
    "app",
    "short_app",
    "short_name",
    nullptr,  // 18 to 21 are not in the file
    nullptr,
    nullptr,
    nullptr,
    "service_name",
    "service_path",           // 23, joined to the install directory
    "appdata_cfg_file_path",  // 24, joined to the application-data directory
};

}  // namespace

ProductHelperImpl::ProductHelperImpl()
    : m_pfnFreeStr(nullptr),
      m_pfnGetProductId(nullptr),
      m_pfnGetProductInfoVer(nullptr),
      m_pfnGetInstalledProductIdList(nullptr),
      m_pfnGetGeneralValue(nullptr),
      m_bLoaded(false) {}

ProductHelperImpl::~ProductHelperImpl() = default;

bool ProductHelperImpl::Init(int levelsUp) {
  if (FindProductInfoFile(levelsUp)) return true;
  wchar_t library[MAX_PATH + 1] = {};
  lstrcpynW(library, BaseDirectory(levelsUp).c_str(), MAX_PATH + 1);
  if (!PathAppendW(library, L"Utils\\product_helper.dll")) return false;
  return LoadProductHelperDll(library);
}

bool ProductHelperImpl::FindProductInfoFile(int levelsUp) {
  std::wstring base = BaseDirectory(levelsUp);
  std::wstring file = base + L"\\ProductInfo.dat";
  if (!PathFileExistsW(file.c_str())) {
    wchar_t buffer[MAX_PATH + 1] = {};
    lstrcpynW(buffer, base.c_str(), MAX_PATH + 1);
    if (!PathAppendW(buffer, L"utils\\ProductInfo.dat")) return false;
    file = buffer;
  }
  return LoadProductInfoFile(base.c_str(), file.c_str());
}

bool ProductHelperImpl::LoadProductInfoFile(const wchar_t* baseDir, const wchar_t* filePath) {
  _BaseModule::CAutoLocker locker(&m_lock);
  if (m_bLoaded) return true;
  if (!baseDir || !filePath) return false;
  m_strProductInfoPath = filePath;
  if (!PathFileExistsW(filePath)) return false;
  WIN32_FILE_ATTRIBUTE_DATA attributes = {};
  if (GetFileAttributesExW(filePath, GetFileExInfoStandard, &attributes) &&
      (attributes.nFileSizeHigh != 0 || attributes.nFileSizeLow > kMaxProductInfoBytes)) {
    LogErrorW(L"ProductHelperImpl::LoadProductInfoFile, %s is larger than %u bytes", filePath,
              static_cast<unsigned>(kMaxProductInfoBytes));
    return false;
  }
  std::string cipherText;
  if (!FileUtil::ReadFileToString(filePath, &cipherText)) return false;
  return LoadProductInfoDataLocked(baseDir, cipherText);
}

bool ProductHelperImpl::LoadProductInfoData(const wchar_t* baseDir, const std::string& cipherText) {
  _BaseModule::CAutoLocker locker(&m_lock);
  if (m_bLoaded) return true;
  if (!baseDir) return false;
  return LoadProductInfoDataLocked(baseDir, cipherText);
}

bool ProductHelperImpl::LoadProductInfoDataLocked(const wchar_t* baseDir, const std::string& cipherText) {
  if (cipherText.size() > kMaxProductInfoBytes) {
    LogErrorW(L"ProductHelperImpl::LoadProductInfoData, more than %u bytes", static_cast<unsigned>(kMaxProductInfoBytes));
    return false;
  }
  try {
    std::string plain;
    if (!StringCipher::DecryptData(cipherText, kProductInfoKey, &plain)) return false;
    CJsonHelper document;
    if (!document.Parse(plain)) return false;

    std::string version;
    document.GetString(version, "version", std::string());
    m_strProductInfoVersion = FromUtf8(version);

    const Json::Value& entries = document.GetNode("info");
    const Json::ArrayIndex count = entries.isArray() ? entries.size() : 0;
    if (count > kMaxProductEntries) {
      LogErrorW(L"ProductHelperImpl::LoadProductInfoData, %u entries, more than %u", static_cast<unsigned>(count),
                static_cast<unsigned>(kMaxProductEntries));
      return false;
    }
    // Built aside and swapped in, so a failure leaves nothing half loaded.
    std::map<std::wstring, CJsonHelper> loaded;
    std::wstring current;
    for (Json::ArrayIndex i = 0; i < count; ++i) {
      CJsonHelper entry(entries[i]);
      std::wstring productId = FromUtf8(TextOf(entry, "product_id"));
      std::wstring mainProcess = FromUtf8(TextOf(entry, "main_process_name"));
      wchar_t mainPath[MAX_PATH + 1] = {};
      lstrcpynW(mainPath, baseDir, MAX_PATH + 1);
      // A name that does not fit beside the base directory names no existing file.
      bool joined = PathAppendW(mainPath, mainProcess.c_str()) != FALSE;
      if (m_strProductId.empty() && current.empty() && joined && PathFileExistsW(mainPath)) current = productId;
      loaded[productId] = entry;
    }
    if (m_strProductId.empty()) m_strProductId = current;
    m_mapEntries.swap(loaded);
  } catch (const std::bad_alloc&) {
    LogErrorW(L"ProductHelperImpl::LoadProductInfoData, out of memory for %u bytes",
              static_cast<unsigned>(cipherText.size()));
    return false;
  }
  m_bLoaded = true;
  return true;
}

void ProductHelperImpl::Uninit() {
  _BaseModule::CAutoLocker locker(&m_lock);
  m_strProductId.clear();
  m_pfnFreeStr = nullptr;
  m_pfnGetProductId = nullptr;
  m_pfnGetProductInfoVer = nullptr;
  m_pfnGetInstalledProductIdList = nullptr;
  m_pfnGetGeneralValue = nullptr;
  m_vecValueGetters.clear();
  m_mapEntries.clear();
  m_bLoaded = false;
}

std::string ProductHelperImpl::TakeLibraryText(const char* answer, size_t capacity) {
  if (!answer) return std::string();
  std::string text = Bounded(answer, capacity);
  if (m_pfnFreeStr) m_pfnFreeStr(answer);
  return text;
}

std::wstring ProductHelperImpl::GetGeneralValue(ProductValueIndex index, const wchar_t* productId) {
  std::wstring id = productId ? std::wstring(productId) : m_strProductId;
  if (id.empty()) return std::wstring();
  std::string idUtf8 = ToUtf8(id);
  std::string value;
  if (!m_vecValueGetters.empty()) {
    for (const auto& getter : m_vecValueGetters) {
      if (getter.first != index) continue;
      if (getter.second) value = TakeLibraryText(getter.second(idUtf8.c_str()), kValueBytes);
      break;
    }
  } else if (!m_mapEntries.empty()) {
    value = BoundedString(GetProductInfoValue(index, id), kValueBytes);
  }
  return FromUtf8(value);
}

std::string ProductHelperImpl::GetProductInfoValue(int index, const std::wstring& productId) {
  auto found = m_mapEntries.find(productId);
  if (found == m_mapEntries.end() || index < 0 || index >= kProductValueCount) return std::string();
  const CJsonHelper& entry = found->second;
  const char* key = kEntryKeyOfValue[index];
  if (!key) return std::string();
  const wchar_t* id = productId.c_str();
  switch (index) {
    case kProductChannelId:
    case kProductInstallDate:
    case kProductInstallDir: {
      std::wstring subKey;
      HKEY root = SplitRegistryPath(FromUtf8(TextOf(entry, "reg_path")), &subKey);
      std::wstring valueName = FromUtf8(TextOf(entry, key));
      return ToUtf8(ReadRegistryString(root, subKey.c_str(), valueName.c_str()));
    }
    case kProductAppPath:
    case kProductConfigFile:
    case kProductServicePath:
      return ToUtf8(JoinWhenExists(GetGeneralValue(kProductInstallDir, id), FromUtf8(TextOf(entry, key))));
    case kProductAppDataConfigFilePath:
      return ToUtf8(JoinWhenExists(GetGeneralValue(kProductAppDataDir, id), FromUtf8(TextOf(entry, key))));
    case kProductPublicCfgDir: {
      std::wstring text = FromUtf8(TextOf(entry, key));
      const std::wstring placeholder = L"%appdata%";
      size_t at = text.find(placeholder);
      if (at == std::wstring::npos) return ToUtf8(text);
      std::wstring roaming = RoamingAppData();
      for (; at != std::wstring::npos; at = text.find(placeholder, at + roaming.size()))
        text.replace(at, placeholder.size(), roaming);
      return ToUtf8(text);
    }
    case kProductAppDataDir: {
      wchar_t buffer[MAX_PATH + 1] = {};
      lstrcpynW(buffer, RoamingAppData().c_str(), MAX_PATH + 1);
      if (!PathAppendW(buffer, FromUtf8(TextOf(entry, key)).c_str())) return std::string();
      return ToUtf8(buffer);
    }
    default:
      return TextOf(entry, key);
  }
}

std::wstring ProductHelperImpl::GetGeneralValueByKey(const wchar_t* key, const wchar_t* productId) {
  if (!key) return std::wstring();
  std::wstring id = productId ? std::wstring(productId) : m_strProductId;
  std::string idUtf8 = ToUtf8(id);
  std::string keyUtf8 = ToUtf8(key);
  std::string value;
  if (m_pfnGetGeneralValue) {
    value = TakeLibraryText(m_pfnGetGeneralValue(idUtf8.c_str(), keyUtf8.c_str()), kValueBytes);
  } else if (!m_mapEntries.empty()) {
    auto found = m_mapEntries.find(id);
    if (found != m_mapEntries.end()) {
      const CJsonHelper& entry = found->second;
      std::string text;
      if (entry.IsObject(keyUtf8) || entry.IsArray(keyUtf8)) {
        entry.ToString(text, keyUtf8);
      } else {
        entry.GetString(text, keyUtf8, std::string());
      }
      value = BoundedString(text, kValueBytes);
    }
  }
  return FromUtf8(value);
}

std::wstring ProductHelperImpl::GetProductId() {
  if (!m_strProductId.empty()) return m_strProductId;
  if (!m_pfnGetProductId) return std::wstring();
  return FromUtf8(TakeLibraryText(m_pfnGetProductId(), kShortTextBytes));
}

std::wstring ProductHelperImpl::GetProductInfoVersion() {
  if (!m_strProductInfoVersion.empty()) return m_strProductInfoVersion;
  if (!m_pfnGetProductInfoVer) return std::wstring();
  return FromUtf8(TakeLibraryText(m_pfnGetProductInfoVer(), kShortTextBytes));
}

std::vector<std::wstring> ProductHelperImpl::GetInstalledProductIds() {
  std::vector<std::wstring> ids;
  if (m_pfnGetInstalledProductIdList) {
    const char* answer = m_pfnGetInstalledProductIdList();
    if (!answer) return ids;
    return SplitString(FromUtf8(TakeLibraryText(answer, kShortTextBytes)), L";");
  }
  for (const auto& item : m_mapEntries) {
    std::wstring appPath = GetGeneralValue(kProductAppPath, item.first.c_str());
    if (!appPath.empty() && PathFileExistsW(appPath.c_str()))
      ids.push_back(FromUtf8(TextOf(item.second, "product_id")));
  }
  return ids;
}

std::wstring ProductHelperImpl::GetAppVersion(const wchar_t* productId) {
  std::wstring path = GetGeneralValue(kProductAppPath, productId);
  if (path.empty()) return std::wstring();
  ATL::CStringW text;
  (void)GetFileVersionString(ATL::CStringW(path.c_str()), text);
  return std::wstring(text.GetString());
}

std::wstring ProductHelperImpl::GetChannelId(const wchar_t* id) { return GetGeneralValue(kProductChannelId, id); }
std::wstring ProductHelperImpl::GetAppPath(const wchar_t* id) { return GetGeneralValue(kProductAppPath, id); }
std::wstring ProductHelperImpl::GetInstallDate(const wchar_t* id) { return GetGeneralValue(kProductInstallDate, id); }
std::wstring ProductHelperImpl::GetInstallDir(const wchar_t* id) { return GetGeneralValue(kProductInstallDir, id); }
std::wstring ProductHelperImpl::GetPublicCfgDir(const wchar_t* id) { return GetGeneralValue(kProductPublicCfgDir, id); }
std::wstring ProductHelperImpl::GetAppDataDir(const wchar_t* id) { return GetGeneralValue(kProductAppDataDir, id); }
std::wstring ProductHelperImpl::GetConfigFile(const wchar_t* id) { return GetGeneralValue(kProductConfigFile, id); }
std::wstring ProductHelperImpl::GetDefaultStatUrl(const wchar_t* id) {
  return GetGeneralValue(kProductDefaultStatUrl, id);
}
std::wstring ProductHelperImpl::GetCfgCenterVerUrl(const wchar_t* id) {
  return GetGeneralValue(kProductCfgCenterVerUrl, id);
}
std::wstring ProductHelperImpl::GetCfgCenterDetailUrl(const wchar_t* id) {
  return GetGeneralValue(kProductCfgCenterDetailUrl, id);
}
std::wstring ProductHelperImpl::GetCfgCenterMsgWndClass(const wchar_t* id) {
  return GetGeneralValue(kProductCfgCenterMsgWndClass, id);
}
std::wstring ProductHelperImpl::GetCfgCenterStubMsgWndClass(const wchar_t* id) {
  return GetGeneralValue(kProductCfgCenterStubMsgWndClass, id);
}
std::wstring ProductHelperImpl::GetCfgCenterSingleMutex(const wchar_t* id) {
  return GetGeneralValue(kProductCfgCenterSingleMutex, id);
}
std::wstring ProductHelperImpl::GetDumpUrl(const wchar_t* id) { return GetGeneralValue(kProductDumpUrl, id); }
std::wstring ProductHelperImpl::GetServicesUrl(const wchar_t* id) { return GetGeneralValue(kProductServicesUrl, id); }
std::wstring ProductHelperImpl::GetApp(const wchar_t* id) { return GetGeneralValue(kProductApp, id); }
std::wstring ProductHelperImpl::GetShortApp(const wchar_t* id) { return GetGeneralValue(kProductShortApp, id); }
std::wstring ProductHelperImpl::GetShortName(const wchar_t* id) { return GetGeneralValue(kProductShortName, id); }
std::wstring ProductHelperImpl::GetServiceName(const wchar_t* id) { return GetGeneralValue(kProductServiceName, id); }
std::wstring ProductHelperImpl::GetServicePath(const wchar_t* id) { return GetGeneralValue(kProductServicePath, id); }
std::wstring ProductHelperImpl::GetAppDataConfigFilePath(const wchar_t* id) {
  return GetGeneralValue(kProductAppDataConfigFilePath, id);
}

HKEY ProductHelperImpl::SplitRegistryPath(const std::wstring& text, std::wstring* subKey) {
  size_t slash = text.find(L'\\');
  std::wstring rootName = slash == std::wstring::npos ? text : text.substr(0, slash);
  if (subKey) *subKey = slash == std::wstring::npos ? text : text.substr(slash + 1);
  static const struct {
    const wchar_t* name;
    HKEY key;
  } kRoots[] = {
      {L"HKEY_LOCAL_MACHINE", HKEY_LOCAL_MACHINE}, {L"HKEY_CURRENT_USER", HKEY_CURRENT_USER},
      {L"HKEY_CLASSES_ROOT", HKEY_CLASSES_ROOT},   {L"HKEY_USERS", HKEY_USERS},
      {L"HKEY_CURRENT_CONFIG", HKEY_CURRENT_CONFIG},
  };
  for (const auto& root : kRoots) {
    if (rootName == root.name) return root.key;
  }
  return nullptr;
}

std::wstring ProductHelperImpl::ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName) {
  if (!root || !subKey || !valueName) return std::wstring();
  HKEY key = nullptr;
  if (RegOpenKeyExW(root, subKey, 0, KEY_READ | KEY_WOW64_32KEY, &key) != ERROR_SUCCESS) return std::wstring();
  BYTE buffer[kRegistryBytes + 2] = {};
  DWORD size = kRegistryBytes;
  LSTATUS status = RegGetValueW(key, nullptr, valueName, RRF_RT_ANY, nullptr, buffer, &size);
  RegCloseKey(key);
  if (status != ERROR_SUCCESS) return std::wstring();
  return std::wstring(reinterpret_cast<const wchar_t*>(buffer));
}

std::vector<std::wstring> ProductHelperImpl::SplitString(const std::wstring& text, const std::wstring& separator) {
  std::vector<std::wstring> pieces;
  if (text.empty()) return pieces;
  if (separator.empty()) {
    pieces.push_back(text);
    return pieces;
  }
  size_t start = 0;
  while (start < text.size()) {
    size_t at = text.find(separator, start);
    if (at == std::wstring::npos) {
      pieces.push_back(text.substr(start));
      break;
    }
    pieces.push_back(text.substr(start, at - start));
    start = at + separator.size();
  }
  return pieces;
}
