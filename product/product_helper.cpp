#include "product/product_helper.h"

#include <atomic>
#include <cstdlib>
#include <new>

#include "base/critical_section.h"

namespace {

// Made on first use, so that callers running during static initialisation find them ready;
// they live until exit.
_BaseModule::CCriticalSection& HolderLock() {
  static _BaseModule::CCriticalSection lock;
  return lock;
}

_BaseModule::CCriticalSection& SharedLock() {
  static _BaseModule::CCriticalSection lock;
  return lock;
}

std::atomic<ProductHelper*> g_productHelper(nullptr);

// Published through the flag: the pointer is written once, before the flag, and never again
// until static destruction.
std::shared_ptr<ProductHelperImpl> g_sharedHelper;
std::atomic<bool> g_sharedReady(false);

template <typename Answer>
ATL::CStringW SharedAnswer(int levelsUp, Answer answer) {
  std::shared_ptr<ProductHelperImpl> shared = GetSharedProductHelper(levelsUp);
  if (!shared) return ATL::CStringW();
  return ATL::CStringW(answer(*shared).c_str());
}

ATL::CStringW SharedValue(int levelsUp, ProductValueIndex index) {
  return SharedAnswer(levelsUp, [index](ProductHelperImpl& impl) { return impl.GetGeneralValue(index, nullptr); });
}

}  // namespace

ProductHelper::ProductHelper() : m_pImpl(new (std::nothrow) ProductHelperImpl()) {}

ProductHelper::~ProductHelper() { delete m_pImpl; }

bool ProductHelper::Init(int levelsUp) { return m_pImpl && m_pImpl->Init(levelsUp); }

bool ProductHelper::InitFromLibrary(const wchar_t* libraryPath) {
  return m_pImpl && m_pImpl->LoadProductHelperDll(libraryPath);
}

void ProductHelper::Uninit() {
  if (m_pImpl) m_pImpl->Uninit();
}

#define PRODUCT_HELPER_FORWARD(Name)                        \
  std::wstring ProductHelper::Name(const wchar_t* productId) { \
    return m_pImpl ? m_pImpl->Name(productId) : std::wstring(); \
  }
PRODUCT_HELPER_FORWARD(GetChannelId)
PRODUCT_HELPER_FORWARD(GetAppPath)
PRODUCT_HELPER_FORWARD(GetInstallDate)
PRODUCT_HELPER_FORWARD(GetInstallDir)
PRODUCT_HELPER_FORWARD(GetPublicCfgDir)
PRODUCT_HELPER_FORWARD(GetAppDataDir)
PRODUCT_HELPER_FORWARD(GetConfigFile)
PRODUCT_HELPER_FORWARD(GetDefaultStatUrl)
PRODUCT_HELPER_FORWARD(GetCfgCenterVerUrl)
PRODUCT_HELPER_FORWARD(GetCfgCenterDetailUrl)
PRODUCT_HELPER_FORWARD(GetCfgCenterMsgWndClass)
PRODUCT_HELPER_FORWARD(GetCfgCenterStubMsgWndClass)
PRODUCT_HELPER_FORWARD(GetCfgCenterSingleMutex)
PRODUCT_HELPER_FORWARD(GetDumpUrl)
PRODUCT_HELPER_FORWARD(GetServicesUrl)
PRODUCT_HELPER_FORWARD(GetApp)
PRODUCT_HELPER_FORWARD(GetShortApp)
PRODUCT_HELPER_FORWARD(GetShortName)
PRODUCT_HELPER_FORWARD(GetServiceName)
PRODUCT_HELPER_FORWARD(GetServicePath)
PRODUCT_HELPER_FORWARD(GetAppDataConfigFilePath)
PRODUCT_HELPER_FORWARD(GetAppVersion)
#undef PRODUCT_HELPER_FORWARD

std::wstring ProductHelper::GetGeneralValueByKey(const wchar_t* key, const wchar_t* productId) {
  return m_pImpl ? m_pImpl->GetGeneralValueByKey(key, productId) : std::wstring();
}

std::wstring ProductHelper::GetProductId() { return m_pImpl ? m_pImpl->GetProductId() : std::wstring(); }

std::wstring ProductHelper::GetProductInfoVersion() {
  return m_pImpl ? m_pImpl->GetProductInfoVersion() : std::wstring();
}

std::vector<std::wstring> ProductHelper::GetInstalledProductIds() {
  return m_pImpl ? m_pImpl->GetInstalledProductIds() : std::vector<std::wstring>();
}

std::wstring ProductHelper::GetModuleVersion() { return m_pImpl ? ::GetModuleVersion() : std::wstring(); }

ATL::CStringW ProductHelper::GetAppDataDir(int levelsUp) { return SharedValue(levelsUp, kProductAppDataDir); }

ATL::CStringW ProductHelper::GetProductId(int levelsUp) {
  return SharedAnswer(levelsUp, [](ProductHelperImpl& impl) { return impl.GetProductId(); });
}

ATL::CStringW ProductHelper::GetChannelId(int levelsUp) { return SharedValue(levelsUp, kProductChannelId); }
ATL::CStringW ProductHelper::GetInstallDate(int levelsUp) { return SharedValue(levelsUp, kProductInstallDate); }
ATL::CStringW ProductHelper::GetConfigFile(int levelsUp) { return SharedValue(levelsUp, kProductConfigFile); }
ATL::CStringW ProductHelper::GetDefaultStatUrl(int levelsUp) { return SharedValue(levelsUp, kProductDefaultStatUrl); }
ATL::CStringW ProductHelper::GetCfgCenterVerUrl(int levelsUp) {
  return SharedValue(levelsUp, kProductCfgCenterVerUrl);
}
ATL::CStringW ProductHelper::GetCfgCenterDetailUrl(int levelsUp) {
  return SharedValue(levelsUp, kProductCfgCenterDetailUrl);
}
ATL::CStringW ProductHelper::GetCfgCenterMsgWndClass(int levelsUp) {
  return SharedValue(levelsUp, kProductCfgCenterMsgWndClass);
}
ATL::CStringW ProductHelper::GetCfgCenterStubMsgWndClass(int levelsUp) {
  return SharedValue(levelsUp, kProductCfgCenterStubMsgWndClass);
}
ATL::CStringW ProductHelper::GetCfgCenterSingleMutex(int levelsUp) {
  return SharedValue(levelsUp, kProductCfgCenterSingleMutex);
}
ATL::CStringW ProductHelper::GetDumpUrl(int levelsUp) { return SharedValue(levelsUp, kProductDumpUrl); }
ATL::CStringW ProductHelper::GetServicesUrl(int levelsUp) { return SharedValue(levelsUp, kProductServicesUrl); }
ATL::CStringW ProductHelper::GetShortApp(int levelsUp) { return SharedValue(levelsUp, kProductShortApp); }
ATL::CStringW ProductHelper::GetShortName(int levelsUp) { return SharedValue(levelsUp, kProductShortName); }
ATL::CStringW ProductHelper::GetAppDataConfigFilePath(int levelsUp) {
  return SharedValue(levelsUp, kProductAppDataConfigFilePath);
}

ATL::CStringW ProductHelper::GetAppVersion(int levelsUp) {
  return SharedAnswer(levelsUp, [](ProductHelperImpl& impl) { return impl.GetAppVersion(nullptr); });
}

int ProductHelper::GetProductIndex(int levelsUp) {
  std::shared_ptr<ProductHelperImpl> shared = GetSharedProductHelper(levelsUp);
  if (!shared) return 0;
  return _wtoi(shared->GetGeneralValueByKey(L"product_index", nullptr).c_str());
}

ProductHelper* GetProductHelper() {
  ProductHelper* helper = g_productHelper.load(std::memory_order_acquire);
  if (helper) return helper;
  _BaseModule::CAutoLocker locker(&HolderLock());
  helper = g_productHelper.load(std::memory_order_acquire);
  if (!helper) {
    helper = new (std::nothrow) ProductHelper();
    g_productHelper.store(helper, std::memory_order_seq_cst);
  }
  return helper;
}

BOOL InitProductHelper(int levelsUp) {
  ProductHelper* helper = GetProductHelper();
  return helper && helper->Init(levelsUp);
}

BOOL InitProductHelperFromLibrary(const wchar_t* libraryPath) {
  ProductHelper* helper = GetProductHelper();
  return helper && helper->InitFromLibrary(libraryPath);
}

void UninitProductHelper() {
  ProductHelper* helper = GetProductHelper();
  if (helper) helper->Uninit();
}

std::shared_ptr<ProductHelperImpl> GetSharedProductHelper(int levelsUp) {
  if (levelsUp < 0) return std::shared_ptr<ProductHelperImpl>();
  if (!g_sharedReady.load(std::memory_order_acquire)) {
    _BaseModule::CAutoLocker locker(&SharedLock());
    if (!g_sharedReady.load(std::memory_order_acquire)) {
      std::shared_ptr<ProductHelperImpl> candidate;
      try {
        candidate = std::make_shared<ProductHelperImpl>();
      } catch (const std::bad_alloc&) {
        return std::shared_ptr<ProductHelperImpl>();
      }
      if (candidate->Init(levelsUp) && !candidate->GetProductId().empty()) {
        g_sharedHelper = candidate;
        g_sharedReady.store(true, std::memory_order_release);
      }
    }
  }
  if (!g_sharedReady.load(std::memory_order_acquire)) return std::shared_ptr<ProductHelperImpl>();
  return g_sharedHelper;
}
