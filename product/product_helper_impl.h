// Product information of the installed product family: the current product, the version of
// the information and some twenty-five named values per product, read from ProductInfo.dat or,
// when that file cannot be used, from the companion product-information library.
//
// ProductInfo.dat lies in the base directory (the executable's folder with `levelsUp` more
// components removed), else in its "utils" folder. It is Base64 of Blowfish-ECB ciphertext
// under kProductInfoKey of a UTF-8 JSON document {"version": ..., "info": [entry, ...]},
// zero-padded to whole 8-byte blocks. The current product is the first entry whose
// base\main_process_name exists.
//
// Contracts:
// - Nothing here logs: the product information is read while the main log is being set up.
// - Failures are results: false, an empty string or an empty list.
// - Loading (Init, LoadProductInfoFile, LoadProductHelperDll) and Uninit take the object's lock.
//   The getters take none: the object must be loaded before other threads read it.
// - Library answers are copied (at most 4095 bytes for values, 1023 for ids, versions and id
//   lists, cut at a UTF-8 character boundary) and each non-null answer is handed back to the
//   library's free_str once.
// - Values are read anew on every call (registry, shell folders, path tests); nothing is cached.
#pragma once

#include <windows.h>

#include <map>
#include <string>
#include <utility>
#include <vector>

#include "base/json_helper.h"
#include "base/critical_section.h"

// Indexes of the product values; the getter of each is named in ProductHelperImpl.
enum ProductValueIndex {
  kProductChannelId = 0,
  kProductAppPath = 1,
  kProductInstallDate = 2,
  kProductInstallDir = 3,
  kProductPublicCfgDir = 4,
  kProductAppDataDir = 5,
  kProductConfigFile = 6,
  kProductDefaultStatUrl = 7,
  kProductCfgCenterVerUrl = 8,
  kProductCfgCenterDetailUrl = 9,
  kProductCfgCenterMsgWndClass = 10,
  kProductCfgCenterStubMsgWndClass = 11,
  kProductCfgCenterSingleMutex = 12,
  kProductDumpUrl = 13,
  kProductServicesUrl = 14,
  kProductApp = 15,
  kProductShortApp = 16,
  kProductShortName = 17,
  kProductDriveName = 18,
  kProductDrivePath = 19,
  kProductTdiDriveName = 20,
  kProductTdiDrivePath = 21,
  kProductServiceName = 22,
  kProductServicePath = 23,
  kProductAppDataConfigFilePath = 24,
  kProductValueCount = 25,
};

class ProductHelperImpl {
 public:
  // Entry points of the product-information library (C calling convention, UTF-8 texts; every
  // returned text belongs to the library and goes back through free_str).
  typedef void(__cdecl* FreeStrFunc)(const char* text);
  typedef const char*(__cdecl* GetTextFunc)();
  typedef const char*(__cdecl* GetValueFunc)(const char* productId);
  typedef const char*(__cdecl* GetGeneralValueFunc)(const char* productId, const char* key);

  ProductHelperImpl();
  ~ProductHelperImpl();
  ProductHelperImpl(const ProductHelperImpl&) = delete;
  ProductHelperImpl& operator=(const ProductHelperImpl&) = delete;

  // ProductInfo.dat of the base directory `levelsUp` levels above the executable's folder, else
  // the library "Utils\product_helper.dll" there. True once loaded (also on every later call).
  [[nodiscard]] bool Init(int levelsUp);
  // Picks base\ProductInfo.dat, or base\utils\ProductInfo.dat when the first is missing.
  [[nodiscard]] bool FindProductInfoFile(int levelsUp);
  // True when the file deciphers to a JSON object or array; also when no entry is current. A file
  // above kMaxProductInfoBytes or with more than kMaxProductEntries entries is refused (logged).
  [[nodiscard]] bool LoadProductInfoFile(const wchar_t* baseDir, const wchar_t* filePath);
  // The same for the file's bytes, read already.
  [[nodiscard]] bool LoadProductInfoData(const wchar_t* baseDir, const std::string& cipherText);
  // A real file lists the product family in some kilobytes; these bound what a planted one costs.
  static const size_t kMaxProductInfoBytes = 1u << 20;
  static const size_t kMaxProductEntries = 4096;
  // Binds the companion library after its signer check.
  [[nodiscard]] bool LoadProductHelperDll(const wchar_t* libraryPath);
  // Back to not loaded; the version and the ProductInfo.dat path stay, a library stays loaded.
  void Uninit();

  // A null productId means the current product; an empty id gives "".
  std::wstring GetGeneralValue(ProductValueIndex index, const wchar_t* productId);
  // Any member of the product's entry; a dotted or indexed key reaches nested members, and an
  // object or array gives its compact JSON text.
  std::wstring GetGeneralValueByKey(const wchar_t* key, const wchar_t* productId);
  std::wstring GetProductId();
  std::wstring GetProductInfoVersion();
  std::vector<std::wstring> GetInstalledProductIds();
  // File version of the product's main executable (value 1), or "".
  std::wstring GetAppVersion(const wchar_t* productId);

  std::wstring GetChannelId(const wchar_t* productId = nullptr);
  std::wstring GetAppPath(const wchar_t* productId = nullptr);
  std::wstring GetInstallDate(const wchar_t* productId = nullptr);
  std::wstring GetInstallDir(const wchar_t* productId = nullptr);
  std::wstring GetPublicCfgDir(const wchar_t* productId = nullptr);
  std::wstring GetAppDataDir(const wchar_t* productId = nullptr);
  std::wstring GetConfigFile(const wchar_t* productId = nullptr);
  std::wstring GetDefaultStatUrl(const wchar_t* productId = nullptr);
  std::wstring GetCfgCenterVerUrl(const wchar_t* productId = nullptr);
  std::wstring GetCfgCenterDetailUrl(const wchar_t* productId = nullptr);
  std::wstring GetCfgCenterMsgWndClass(const wchar_t* productId = nullptr);
  std::wstring GetCfgCenterStubMsgWndClass(const wchar_t* productId = nullptr);
  std::wstring GetCfgCenterSingleMutex(const wchar_t* productId = nullptr);
  std::wstring GetDumpUrl(const wchar_t* productId = nullptr);
  std::wstring GetServicesUrl(const wchar_t* productId = nullptr);
  std::wstring GetApp(const wchar_t* productId = nullptr);
  std::wstring GetShortApp(const wchar_t* productId = nullptr);
  std::wstring GetShortName(const wchar_t* productId = nullptr);
  std::wstring GetServiceName(const wchar_t* productId = nullptr);
  std::wstring GetServicePath(const wchar_t* productId = nullptr);
  std::wstring GetAppDataConfigFilePath(const wchar_t* productId = nullptr);

  // The ProductInfo.dat path that the last load tried.
  std::wstring GetProductInfoPath() const { return m_strProductInfoPath; }

  // "HKEY_LOCAL_MACHINE\sub\key" into its predefined root (exact-case names; null for others)
  // and subkey; a text without a backslash is both root name and subkey.
  static HKEY SplitRegistryPath(const std::wstring& text, std::wstring* subKey);
  // A value of at most 2048 bytes in the 32-bit registry view, as UTF-16 up to its first zero.
  static std::wstring ReadRegistryString(HKEY root, const wchar_t* subKey, const wchar_t* valueName);
  // The pieces between separators; none for "", no empty piece after a final separator.
  static std::vector<std::wstring> SplitString(const std::wstring& text, const std::wstring& separator);

 private:
  friend class ProductHelperImplTestAccess;

  bool LoadProductInfoDataLocked(const wchar_t* baseDir, const std::string& cipherText);
  std::string GetProductInfoValue(int index, const std::wstring& productId);
  // Copies a library answer (bounded) and hands it back to free_str; "" for null.
  std::string TakeLibraryText(const char* answer, size_t capacity);

  std::wstring m_strProductId;
  std::wstring m_strProductInfoVersion;
  std::vector<std::pair<int, GetValueFunc>> m_vecValueGetters;
  FreeStrFunc m_pfnFreeStr;
  GetTextFunc m_pfnGetProductId;
  GetTextFunc m_pfnGetProductInfoVer;
  GetTextFunc m_pfnGetInstalledProductIdList;
  GetGeneralValueFunc m_pfnGetGeneralValue;
  bool m_bLoaded;
  _BaseModule::CCriticalSection m_lock;
  std::wstring m_strProductInfoPath;
  std::map<std::wstring, CJsonHelper> m_mapEntries;
};
