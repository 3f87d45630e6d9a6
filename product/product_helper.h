// Ways into the product information:
// - ProductHelper objects: a front that owns one ProductHelperImpl (the statistics keep one).
// - The process-wide ProductHelper (GetProductHelper), loaded by InitProductHelper in the
//   browser process; made once, never freed.
// - The shared instance behind the static ProductHelper functions (GetSharedProductHelper):
//   stored once an initialisation finds a current product, then fixed for the process.
//
// Contracts:
// - Nothing here logs: the main log asks these functions for its own folder.
// - Lock order: shared instance, then an instance's own lock, then the holder of the
//   process-wide object. The holder's lock never encloses another lock.
// - A front whose ProductHelperImpl could not be allocated answers false and empty values.
#pragma once

#include <windows.h>

#include <memory>
#include <string>
#include <vector>

#include "compat/atlstr.h"
#include "product/file_version.h"
#include "product/product_helper_impl.h"

class ProductHelper {
 public:
  ProductHelper();
  ~ProductHelper();
  ProductHelper(const ProductHelper&) = delete;
  ProductHelper& operator=(const ProductHelper&) = delete;

  [[nodiscard]] bool Init(int levelsUp);
  [[nodiscard]] bool InitFromLibrary(const wchar_t* libraryPath);
  // Back to not loaded (the version and ProductInfo.dat path stay).
  void Uninit();

  // Values of the product; a null productId means the current product.
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
  std::wstring GetGeneralValueByKey(const wchar_t* key, const wchar_t* productId = nullptr);
  std::wstring GetProductId();
  std::wstring GetProductInfoVersion();
  std::vector<std::wstring> GetInstalledProductIds();
  std::wstring GetAppVersion(const wchar_t* productId = nullptr);
  std::wstring GetModuleVersion();

  // Answers of the shared instance for the current product; "" (0) without one. levelsUp is
  // used only while no instance is stored; a negative level gives "" at once.
  static ATL::CStringW GetAppDataDir(int levelsUp);
  static ATL::CStringW GetProductId(int levelsUp);
  static ATL::CStringW GetChannelId(int levelsUp);
  static ATL::CStringW GetInstallDate(int levelsUp);
  static ATL::CStringW GetConfigFile(int levelsUp);
  static ATL::CStringW GetDefaultStatUrl(int levelsUp);
  static ATL::CStringW GetCfgCenterVerUrl(int levelsUp);
  static ATL::CStringW GetCfgCenterDetailUrl(int levelsUp);
  static ATL::CStringW GetCfgCenterMsgWndClass(int levelsUp);
  static ATL::CStringW GetCfgCenterStubMsgWndClass(int levelsUp);
  static ATL::CStringW GetCfgCenterSingleMutex(int levelsUp);
  static ATL::CStringW GetDumpUrl(int levelsUp);
  static ATL::CStringW GetServicesUrl(int levelsUp);
  static ATL::CStringW GetShortApp(int levelsUp);
  static ATL::CStringW GetShortName(int levelsUp);
  static ATL::CStringW GetAppDataConfigFilePath(int levelsUp);
  static ATL::CStringW GetAppVersion(int levelsUp);
  // "product_index" read as _wtoi does.
  static int GetProductIndex(int levelsUp);

 private:
  ProductHelperImpl* m_pImpl;
};

// The process-wide ProductHelper, made on first use (null only when that allocation failed).
ProductHelper* GetProductHelper();
BOOL InitProductHelper(int levelsUp);
BOOL InitProductHelperFromLibrary(const wchar_t* libraryPath);
void UninitProductHelper();

// The shared instance; an empty pointer for a negative level or when no initialisation found a
// current product. Each call that finds none makes and initialises a new one.
std::shared_ptr<ProductHelperImpl> GetSharedProductHelper(int levelsUp);
