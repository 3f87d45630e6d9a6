#include "product/kiv_statistic.h"

#include <iphlpapi.h>
#include <process.h>
#include <urlmon.h>
#include <wininet.h>

#include <cstdlib>
#include <new>
#include <vector>

#include "product/file_version.h"
#include "product/machine_id_v1.h"
#include "product/new_mid.h"
#include "product/product_helper.h"

namespace {

// The bucket value as stored: at most 520 bytes with its terminator.
constexpr DWORD kBucketValueBytes = 520;
constexpr size_t kSendPathUnits = 520;

}  // namespace

StatisticBucketKey DefaultStatisticBucketKey() {
  return StatisticBucketKey{HKEY_LOCAL_MACHINE, L"SOFTWARE\\Harnstave", KEY_WOW64_32KEY};
}

int ReadStatisticBucket(HKEY key) {
  // Two spare zero bytes keep the text terminated whatever was read.
  BYTE data[kBucketValueBytes + 2] = {};
  DWORD type = 0;
  DWORD size = kBucketValueBytes;
  if (RegQueryValueExW(key, L"stat_rand", nullptr, &type, data, &size) != ERROR_SUCCESS) return 0;
  if (type != REG_SZ && type != REG_EXPAND_SZ) return 0;
  if (size % sizeof(wchar_t) != 0) return 0;
  if (size > 0 && (data[size - 1] != 0 || data[size - 2] != 0)) return 0;
  return _wtoi(reinterpret_cast<const wchar_t*>(data));
}

DWORD DrawStatisticBucket() {
  srand(GetTickCount());
  return static_cast<DWORD>(rand() % 100 + 1);
}

struct CKivStatisticImpl::SendRecord {
  CKivStatisticImpl* owner;
  ATL::CStringW url;
  wchar_t filePath[kSendPathUnits];
  BOOL ownsCopies;
  StatisticCallback callback;
};

CKivStatisticImpl::CKivStatisticImpl(const StatisticBucketKey& bucketKey)
    : m_nBucket(0),
      m_bSubstitution(FALSE),
      m_nLevels(-1),
      m_nPending(0),
      m_pProduct(nullptr),
      m_bucketKey(bucketKey) {}

CKivStatisticImpl::~CKivStatisticImpl() {
  m_hostOverride.Release();
  if (m_pProduct) {
    m_pProduct->Uninit();
    delete m_pProduct;
  }
}

BOOL CKivStatisticImpl::Init(int levels, const wchar_t* type, const wchar_t* urlTemplate) {
  if (levels < 0) return FALSE;
  _BaseModule::CAutoLocker lock(&m_lock);
  if (m_nLevels >= 0) return TRUE;
  ProductHelper* product = new (std::nothrow) ProductHelper();
  if (product && !product->Init(levels)) {
    product->Uninit();
    delete product;
    product = nullptr;
  }
  m_pProduct = product;
  m_nLevels = levels;
  if (type) m_strDefaultType = type;
  if (urlTemplate)
    m_strUrlTemplate = urlTemplate;
  else if (m_pProduct)
    m_strUrlTemplate = m_pProduct->GetDefaultStatUrl().c_str();
  FillBaseInfo();
  m_nBucket = LoadBucket();
  return TRUE;
}

DWORD CKivStatisticImpl::LoadBucket() {
  HKEY key = nullptr;
  // Read access is enough to read: a process without write rights still keeps the machine's
  // bucket, including one that suppresses every report.
  if (RegOpenKeyExW(m_bucketKey.root, m_bucketKey.subKey.c_str(), 0, KEY_READ | m_bucketKey.view, &key) !=
      ERROR_SUCCESS)
    return DrawStatisticBucket();
  DWORD bucket = static_cast<DWORD>(ReadStatisticBucket(key));
  RegCloseKey(key);
  if (bucket != 0) return bucket;
  bucket = DrawStatisticBucket();
  if (RegOpenKeyExW(m_bucketKey.root, m_bucketKey.subKey.c_str(), 0, KEY_WRITE | m_bucketKey.view, &key) ==
      ERROR_SUCCESS) {
    wchar_t text[16] = {};
    _snwprintf(text, 15, L"%d", static_cast<int>(bucket));
    RegSetValueExW(key, L"stat_rand", 0, REG_SZ, reinterpret_cast<const BYTE*>(text),
                   static_cast<DWORD>((wcslen(text) + 1) * sizeof(wchar_t)));
    RegCloseKey(key);
  }
  return bucket;
}

void CKivStatisticImpl::FillBaseInfo() {
  if (m_strMid.IsEmpty()) {
    wchar_t buffer[MAX_PATH] = {};
    (void)GetMachineIdV1W(buffer, MAX_PATH);  // whatever the buffer then holds
    m_strMid = buffer;
  }
  if (m_strMid2.IsEmpty()) {
    wchar_t buffer[MAX_PATH] = {};
    (void)NewMIDW_Kiv(buffer, MAX_PATH);
    m_strMid2 = buffer;
  }
  if (m_pProduct) {
    m_strApp = m_pProduct->GetProductId().c_str();
    m_strAppver = m_pProduct->GetAppVersion(nullptr).c_str();
    m_strPid = m_pProduct->GetChannelId().c_str();
  }
  if (m_strModver.IsEmpty()) {
    wchar_t path[MAX_PATH] = {};
    GetModuleFileNameW(nullptr, path, MAX_PATH);
    ATL::CStringW version;
    if (GetFileVersionString(path, version)) m_strModver = version;
  }
}

void CKivStatisticImpl::ReplacePlaceholders(ATL::CStringW& url, const ATL::CStringW& type,
                                            const ATL::CStringW& action) {
  const ATL::CStringW pid = m_bSubstitution ? MapPidText(m_strPid) : m_strPid;
  const ATL::CStringW app = m_bSubstitution ? MapAppText(m_strApp) : m_strApp;
  const struct {
    const wchar_t* placeholder;
    const ATL::CStringW& value;
  } table[] = {
      {L"{type}", type},          {L"{action}", action}, {L"{appver}", m_strAppver}, {L"{modver}", m_strModver},
      {L"{mid}", m_strMid},       {L"{mid2}", m_strMid2}, {L"{pid}", pid},           {L"{app}", app},
  };
  // Wherever a placeholder stands, the very first characters included.
  for (const auto& row : table) url.Replace(row.placeholder, row.value);
}

int CKivStatisticImpl::Report(UINT percentage, const wchar_t* action, const wchar_t* type, const wchar_t* urlTemplate,
                              BOOL async, const wchar_t* extra, const StatisticCallback& callback) {
  if (percentage < m_nBucket) return 0;
  if (m_nLevels < 0 || !action) return 0;
  ATL::CStringW url = urlTemplate ? ATL::CStringW(urlTemplate) : m_strUrlTemplate;
  ATL::CStringW actionText(action);
  if (percentage != 100) actionText.Format(L"%dper_%s", static_cast<int>(percentage), action);
  ReplacePlaceholders(url, type ? ATL::CStringW(type) : m_strDefaultType, actionText);
  if (extra) url += extra;
  return SendUrl(url, async, callback);
}

int CKivStatisticImpl::SendUrl(const wchar_t* url, BOOL async, const StatisticCallback& callback) {
  if (url && !m_strOverrideName.IsEmpty()) {
    ATL::CStringW rewritten = m_hostOverride.RewriteUrl(m_strOverrideName, url);
    return DownloadUrl(rewritten, nullptr, async, callback, 0);
  }
  return DownloadUrl(url, nullptr, async, callback, 0);
}

int CKivStatisticImpl::DownloadUrl(const wchar_t* url, const wchar_t* filePath, BOOL async,
                                   const StatisticCallback& callback, DWORD reserved) {
  (void)reserved;
  if (!url) return 0;
  if (!async) {
    SendStatisticUrl(url, filePath, callback);
    return 1;
  }
  SendRecord* record = new (std::nothrow) SendRecord();
  if (!record) return 1;
  record->owner = this;
  record->url = url;
  record->filePath[0] = L'\0';
  if (filePath) {
    if (wcslen(filePath) >= kSendPathUnits) {
      delete record;
      return 1;
    }
    wcscpy_s(record->filePath, kSendPathUnits, filePath);
  }
  record->ownsCopies = TRUE;
  record->callback = callback;
  // Counted before the start: the thread may end before _beginthreadex returns.
  InterlockedIncrement(&m_nPending);
  uintptr_t thread = _beginthreadex(nullptr, 0, &CKivStatisticImpl::StatisticSendThread, record, 0, nullptr);
  if (thread) {
    CloseHandle(reinterpret_cast<HANDLE>(thread));
  } else {
    InterlockedDecrement(&m_nPending);
    delete record;
  }
  return 1;
}

unsigned __stdcall CKivStatisticImpl::StatisticSendThread(void* argument) {
  SendRecord* record = static_cast<SendRecord*>(argument);
  if (!record) return 0;
  CKivStatisticImpl* owner = record->owner;
  if (owner && !record->url.IsEmpty()) {
    // Without a network the request is not tried, and the callback hears of that as a failure
    // rather than never.
    const bool online = owner->m_pfnNetworkCheck() != FALSE;
    owner->SendStatisticUrl(online ? record->url.GetString() : nullptr, record->filePath, record->callback);
  }
  delete record;
  if (owner) InterlockedDecrement(&owner->m_nPending);
  return 0;
}

void CKivStatisticImpl::SendStatisticUrl(const wchar_t* url, const wchar_t* filePath,
                                         const StatisticCallback& callback) {
  BOOL outcome = FALSE;
  if (url && *url) {
    if (filePath && *filePath) {
      outcome = SUCCEEDED(URLDownloadToFileW(nullptr, url, filePath, 0, nullptr));
    } else {
      wchar_t cacheFile[MAX_PATH] = {};
      if (SUCCEEDED(URLDownloadToCacheFileW(nullptr, url, cacheFile, MAX_PATH, 0, nullptr))) {
        DeleteFileW(cacheFile);
        outcome = TRUE;
      }
    }
  }
  if (callback && m_nLevels >= 0) {
    _BaseModule::CAutoLocker lock(&m_lock);
    if (m_nLevels >= 0) callback(outcome);
  }
}

void CKivStatisticImpl::ExpandUrl(ATL::CStringW& url, const wchar_t* type, const wchar_t* action) {
  ReplacePlaceholders(url, ATL::CStringW(type), ATL::CStringW(action));
}

ATL::CStringW CKivStatisticImpl::MapText(const ATL::CStringW& text, bool shortName) {
  if (!m_pProduct) return text;
  std::wstring current = m_pProduct->GetProductId();
  std::wstring value = shortName ? m_pProduct->GetShortName(text) : m_pProduct->GetApp(text);
  if (value.empty()) return text;
  ATL::CStringW mapped(text);
  mapped.Replace(current.c_str(), value.c_str());
  return mapped;
}

ATL::CStringW CKivStatisticImpl::MapAppText(const ATL::CStringW& text) { return MapText(text, false); }

ATL::CStringW CKivStatisticImpl::MapPidText(const ATL::CStringW& text) { return MapText(text, true); }

BOOL CKivStatisticImpl::SetOverrideProduct(const wchar_t* name, int levelsUp) {
  if (!name || !*name) return FALSE;
  _BaseModule::CAutoLocker lock(&m_lock);
  m_strOverrideName = name;
  return m_hostOverride.LoadForProductLevel(levelsUp);
}

BOOL CKivStatisticImpl::SetOverrideProductEx(const wchar_t* name, const wchar_t* product) {
  if (!name || !*name) return FALSE;
  _BaseModule::CAutoLocker lock(&m_lock);
  m_strOverrideName = name;
  return m_hostOverride.LoadForProduct(ATL::CStringW(product));
}

void CKivStatisticImpl::Uninit() {
  _BaseModule::CAutoLocker lock(&m_lock);
  m_nLevels = -1;
  if (m_pProduct) {
    m_pProduct->Uninit();
    delete m_pProduct;
    m_pProduct = nullptr;
  }
  if (RegistryHostOverrideRecord* record = m_hostOverride.Record()) {
    record->m_mapEntries.clear();
    record->m_nOemFlag = 0;
  }
}

BOOL HasGatewayAdapter() {
  ULONG size = 648;
  std::vector<BYTE> buffer(size);
  DWORD status = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  if (status == ERROR_BUFFER_OVERFLOW) {
    buffer.assign(size, 0);
    status = GetAdaptersInfo(reinterpret_cast<IP_ADAPTER_INFO*>(buffer.data()), &size);
  }
  if (status != ERROR_SUCCESS) return FALSE;
  for (const IP_ADAPTER_INFO* adapter = reinterpret_cast<const IP_ADAPTER_INFO*>(buffer.data()); adapter;
       adapter = adapter->Next) {
    if (adapter->GatewayList.IpAddress.String[0]) return TRUE;
  }
  return FALSE;
}

BOOL IsNetworkAvailable() {
  DWORD flags = 0;
  if (InternetGetConnectedState(&flags, 0) &&
      (flags & (INTERNET_CONNECTION_MODEM | INTERNET_CONNECTION_LAN | INTERNET_CONNECTION_PROXY)))
    return TRUE;
  return HasGatewayAdapter();
}

CKivStatistic::CKivStatistic() : m_pImpl(new (std::nothrow) CKivStatisticImpl()) {}

CKivStatistic::CKivStatistic(const StatisticBucketKey& bucketKey)
    : m_pImpl(new (std::nothrow) CKivStatisticImpl(bucketKey)) {}

BOOL CKivStatistic::Init(int levels, const wchar_t* type, const wchar_t* urlTemplate) {
  return m_pImpl ? m_pImpl->Init(levels, type, urlTemplate) : FALSE;
}

int CKivStatistic::Report(const wchar_t* action, const wchar_t* extra, BOOL async, const wchar_t* type,
                          const wchar_t* urlTemplate) {
  return m_pImpl ? m_pImpl->Report(100, action, type, urlTemplate, async, extra, StatisticCallback()) : 0;
}

int CKivStatistic::ReportWithCallback(const StatisticCallback& callback, const wchar_t* action, const wchar_t* extra,
                                      BOOL async, const wchar_t* type, const wchar_t* urlTemplate) {
  return m_pImpl ? m_pImpl->Report(100, action, type, urlTemplate, async, extra, callback) : 0;
}

int CKivStatistic::ReportPercent(UINT percentage, const wchar_t* action, const wchar_t* extra, BOOL async,
                                 const wchar_t* type, const wchar_t* urlTemplate) {
  return m_pImpl ? m_pImpl->Report(percentage, action, type, urlTemplate, async, extra, StatisticCallback()) : 0;
}

int CKivStatistic::SendUrl(const wchar_t* url, BOOL async) {
  return m_pImpl ? m_pImpl->SendUrl(url, async, StatisticCallback()) : 0;
}

int CKivStatistic::SendUrlWithCallback(const StatisticCallback& callback, const wchar_t* url, BOOL async) {
  return m_pImpl ? m_pImpl->SendUrl(url, async, callback) : 0;
}

void CKivStatistic::ExpandUrl(ATL::CStringW& url, const wchar_t* type, const wchar_t* action) {
  if (m_pImpl) m_pImpl->ExpandUrl(url, type, action);
}

BOOL CKivStatistic::ShouldReport(UINT percentage) { return m_pImpl ? m_pImpl->ShouldReport(percentage) : FALSE; }

ATL::CStringW CKivStatistic::GetAppText(const ATL::CStringW& text) {
  return m_pImpl ? m_pImpl->MapAppText(text) : ATL::CStringW();
}

ATL::CStringW CKivStatistic::GetPidText(const ATL::CStringW& text) {
  return m_pImpl ? m_pImpl->MapPidText(text) : ATL::CStringW();
}

void CKivStatistic::SetSubstitution(int on) {
  if (m_pImpl) m_pImpl->SetSubstitution(on);
}

void CKivStatistic::SetAppVersion(const wchar_t* text) {
  if (m_pImpl) m_pImpl->SetAppVersion(text);
}

void CKivStatistic::SetPid(const wchar_t* text) {
  if (m_pImpl) m_pImpl->SetPid(text);
}

void CKivStatistic::SetApp(const wchar_t* text) {
  if (m_pImpl) m_pImpl->SetApp(text);
}

BOOL CKivStatistic::SetOverrideProduct(const wchar_t* name, int levelsUp) {
  return m_pImpl ? m_pImpl->SetOverrideProduct(name, levelsUp) : FALSE;
}

BOOL CKivStatistic::SetOverrideProductEx(const wchar_t* name, const wchar_t* product) {
  return m_pImpl ? m_pImpl->SetOverrideProductEx(name, product) : FALSE;
}

LONG CKivStatistic::GetPendingCount() { return m_pImpl ? m_pImpl->GetPendingCount() : 0; }

CKivStatisticBaseInfo* CKivStatistic::GetBaseInfo() { return m_pImpl ? m_pImpl->GetBaseInfo() : nullptr; }

void CKivStatistic::Uninit() {
  if (m_pImpl) m_pImpl->Uninit();
}

void CKivStatistic::DestroyWhenIdle() {
  if (m_pImpl && m_pImpl->GetPendingCount() < 1) {
    delete m_pImpl;
    m_pImpl = nullptr;
  }
}

namespace {
_BaseModule::CCriticalSection g_statisticLock;
CKivStatistic* volatile g_pStatistic = nullptr;
}  // namespace

CKivStatistic* GetKivStatistic() {
  if (g_pStatistic) return g_pStatistic;
  _BaseModule::CAutoLocker lock(&g_statisticLock);
  if (!g_pStatistic) {
    CKivStatistic* statistic = new (std::nothrow) CKivStatistic();
    MemoryBarrier();
    g_pStatistic = statistic;
  }
  return g_pStatistic;
}
