// Usage statistics: named events reported to the product family's statistics server.
//
// A report is one GET of an address built from the product's statistics URL template: the
// placeholders "{type}", "{action}", "{appver}", "{modver}", "{mid}", "{mid2}", "{pid}" and
// "{app}" are replaced wherever they occur, and an extra text is appended as it is. Whether it is
// sent is decided by a per-machine sampling bucket of 1 to 100 ("stat_rand" under
// HKEY_LOCAL_MACHINE "SOFTWARE\Harnstave", 32-bit view): a report of percentage p goes out only
// when p >= bucket (unsigned), so a stored bucket above 100, or a negative one, suppresses every
// report. The answer lands in a download cache file that is deleted at once; it is not read.
//
// Threads: Init, Uninit, storing a new bucket and every callback run under the object's lock.
// Report reads the object without it: initialise before the first report. A synchronous report
// blocks its thread for the whole request. Nothing here logs.
#pragma once

#include <windows.h>

#include <functional>
#include <string>

#include "base/critical_section.h"
#include "compat/atlstr.h"
#include "product/registry_host_override_store.h"

class ProductHelper;

// Called with the outcome of one send (TRUE when the request succeeded). Empty: no callback.
typedef std::function<void(BOOL)> StatisticCallback;

// Where the sampling bucket lives. The key is never created; a process that cannot write it
// keeps its own bucket.
struct StatisticBucketKey {
  HKEY root;
  std::wstring subKey;
  REGSAM view;  // KEY_WOW64_32KEY in the product
};
StatisticBucketKey DefaultStatisticBucketKey();

// "stat_rand" of an open key as _wtoi reads it; 0 when missing, of another type, larger than 520
// bytes, of odd size or not terminated.
int ReadStatisticBucket(HKEY key);
// A fresh bucket from 1 to 100: the C runtime's generator seeded with GetTickCount.
DWORD DrawStatisticBucket();

// The values that go into a report's URL.
class CKivStatisticBaseInfo {
 public:
  ATL::CStringW m_strMid;     // "{mid}"
  ATL::CStringW m_strMid2;    // "{mid2}"
  ATL::CStringW m_strPid;     // "{pid}": channel id of the current product
  ATL::CStringW m_strModver;  // "{modver}": version of the running executable
  ATL::CStringW m_strApp;     // "{app}": id of the current product
  ATL::CStringW m_strAppver;  // "{appver}": version of the product's main executable
};

// Network test of the asynchronous sends: a connection the system reports, else an adapter
// with a gateway.
BOOL IsNetworkAvailable();
BOOL HasGatewayAdapter();

class CKivStatisticImpl : private CKivStatisticBaseInfo {
 public:
  explicit CKivStatisticImpl(const StatisticBucketKey& bucketKey = DefaultStatisticBucketKey());
  virtual ~CKivStatisticImpl();
  CKivStatisticImpl(const CKivStatisticImpl&) = delete;
  CKivStatisticImpl& operator=(const CKivStatisticImpl&) = delete;

  // Loads the object's own product information `levels` folders above the executable, takes
  // the default type and template (null: the product's "stats_url"), fills the base values and
  // the bucket. FALSE only for levels < 0; a second call changes nothing.
  BOOL Init(int levels, const wchar_t* type, const wchar_t* urlTemplate);
  void FillBaseInfo();
  // 0 when nothing was attempted (sampled out, not initialised, null action), else SendUrl's.
  int Report(UINT percentage, const wchar_t* action, const wchar_t* type, const wchar_t* urlTemplate, BOOL async,
             const wchar_t* extra, const StatisticCallback& callback);
  virtual int SendUrl(const wchar_t* url, BOOL async, const StatisticCallback& callback);
  // 0 for a null URL, else 1 (also when no thread could be started). With a file path the
  // answer is stored there (at most 519 units); without, in a cache file that is deleted.
  virtual int DownloadUrl(const wchar_t* url, const wchar_t* filePath, BOOL async,
                          const StatisticCallback& callback, DWORD reserved);
  // The placeholders of url replaced, with type and action taken as they are.
  void ExpandUrl(ATL::CStringW& url, const wchar_t* type, const wchar_t* action);
  ATL::CStringW MapAppText(const ATL::CStringW& text);
  ATL::CStringW MapPidText(const ATL::CStringW& text);
  void Uninit();

  // One request on the calling thread; the callback, when given, gets its outcome.
  void SendStatisticUrl(const wchar_t* url, const wchar_t* filePath, const StatisticCallback& callback);

  BOOL ShouldReport(UINT percentage) const { return percentage >= m_nBucket; }
  void SetSubstitution(int on) { m_bSubstitution = on; }
  void SetAppVersion(const wchar_t* text) { m_strAppver = text; }
  void SetPid(const wchar_t* text) { m_strPid = text; }
  void SetApp(const wchar_t* text) { m_strApp = text; }
  // When name is not empty: the override name, and the host-override store filled for the
  // product levelsUp folders up / for the product given.
  BOOL SetOverrideProduct(const wchar_t* name, int levelsUp);
  BOOL SetOverrideProductEx(const wchar_t* name, const wchar_t* product);
  LONG GetPendingCount() const { return m_nPending; }
  // The test an asynchronous send makes before its request (IsNetworkAvailable unless
  // replaced). Set before the first report.
  void SetNetworkCheck(BOOL (*check)()) { m_pfnNetworkCheck = check ? check : &IsNetworkAvailable; }
  CKivStatisticBaseInfo* GetBaseInfo() { return this; }
  DWORD GetBucket() const { return m_nBucket; }
  BOOL IsInitialized() const { return m_nLevels >= 0; }

 private:
  struct SendRecord;
  static unsigned __stdcall StatisticSendThread(void* argument);
  void ReplacePlaceholders(ATL::CStringW& url, const ATL::CStringW& type, const ATL::CStringW& action);
  ATL::CStringW MapText(const ATL::CStringW& text, bool shortName);
  DWORD LoadBucket();

  DWORD m_nBucket;
  BOOL m_bSubstitution;
  int m_nLevels;
  volatile LONG m_nPending;
  ATL::CStringW m_strUrlTemplate;
  ATL::CStringW m_strDefaultType;
  _BaseModule::CCriticalSection m_lock;
  ATL::CStringW m_strOverrideName;
  RegistryHostOverrideStore m_hostOverride;
  ProductHelper* m_pProduct;
  StatisticBucketKey m_bucketKey;
  BOOL (*m_pfnNetworkCheck)() = &IsNetworkAvailable;
};

// The front the system uses. Without an implementation (allocation failed) every operation does
// nothing and returns 0 or empty.
class CKivStatistic {
 public:
  CKivStatistic();
  explicit CKivStatistic(const StatisticBucketKey& bucketKey);
  // The implementation stays (the object lives until the process ends); DestroyWhenIdle frees it.
  ~CKivStatistic() = default;
  CKivStatistic(const CKivStatistic&) = delete;
  CKivStatistic& operator=(const CKivStatistic&) = delete;

  BOOL Init(int levels, const wchar_t* type, const wchar_t* urlTemplate);
  // Percentage 100, no callback.
  int Report(const wchar_t* action, const wchar_t* extra, BOOL async, const wchar_t* type,
             const wchar_t* urlTemplate);
  int ReportWithCallback(const StatisticCallback& callback, const wchar_t* action, const wchar_t* extra, BOOL async,
                         const wchar_t* type, const wchar_t* urlTemplate);
  int ReportPercent(UINT percentage, const wchar_t* action, const wchar_t* extra, BOOL async, const wchar_t* type,
                    const wchar_t* urlTemplate);
  int SendUrl(const wchar_t* url, BOOL async);
  int SendUrlWithCallback(const StatisticCallback& callback, const wchar_t* url, BOOL async);
  void ExpandUrl(ATL::CStringW& url, const wchar_t* type, const wchar_t* action);
  BOOL ShouldReport(UINT percentage);
  ATL::CStringW GetAppText(const ATL::CStringW& text);
  ATL::CStringW GetPidText(const ATL::CStringW& text);
  void SetSubstitution(int on);
  void SetAppVersion(const wchar_t* text);
  void SetPid(const wchar_t* text);
  void SetApp(const wchar_t* text);
  BOOL SetOverrideProduct(const wchar_t* name, int levelsUp);
  BOOL SetOverrideProductEx(const wchar_t* name, const wchar_t* product);
  LONG GetPendingCount();
  CKivStatisticBaseInfo* GetBaseInfo();
  void Uninit();
  // Frees the implementation when no asynchronous send runs; the object must not be used after.
  void DestroyWhenIdle();

  CKivStatisticImpl* Impl() const { return m_pImpl; }

 private:
  CKivStatisticImpl* m_pImpl;
};

// The process-wide object, created by the first caller; never destroyed. Null only when that
// allocation failed.
CKivStatistic* GetKivStatistic();
