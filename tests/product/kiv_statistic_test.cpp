// Sockets before <windows.h>: the loopback server needs winsock2.
#include <winsock2.h>

#include "product/kiv_statistic.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "folder_tree.h"
#include "loopback_http_server.h"
#include "owned_registry_key.h"
#include "product/machine_id_v1.h"
#include "product/new_mid.h"
#include "product/product_info_key.h"
#include "product_info_fixture.h"

namespace {

using product_fixture::ExeDir;
using product_fixture::Utf8;

std::string MachineId() {
  wchar_t mid[kMachineIdV1Chars] = {};
  EXPECT_TRUE(GetMachineIdV1W(mid, kMachineIdV1Chars));
  return Utf8(mid);
}

std::string MachineId2() {
  wchar_t mid2[kNewMidMinCapacity] = {};
  EXPECT_EQ(NewMIDW_Kiv(mid2, kNewMidMinCapacity), S_OK);
  return Utf8(mid2);
}

// A statistics object whose bucket lives under the test's own key.
class Statistic : public ::testing::Test {
 protected:
  Statistic() : m_key(HKEY_CURRENT_USER, L"stat") {}

  // The object initialised with the template; the bucket value is stored first unless null.
  std::unique_ptr<CKivStatistic> Make(const wchar_t* stored, const std::wstring& urlTemplate) {
    if (stored) m_key.SetString(L"", L"stat_rand", stored);
    auto statistic = std::make_unique<CKivStatistic>(StatisticBucketKey{HKEY_CURRENT_USER, m_key.Path(), 0});
    EXPECT_TRUE(statistic->Init(2, L"brivelo", urlTemplate.c_str()));
    return statistic;
  }

  OwnedRegistryKey m_key;
  LoopbackHttpServer m_server;
};

struct BucketCase {
  const char* name;
  const wchar_t* stored;
  UINT percentage;
  bool sent;
  const char* action;  // as it reaches the server
};

void PrintTo(const BucketCase& c, std::ostream* os) { *os << c.name; }

class StatisticBucket : public Statistic, public ::testing::WithParamInterface<BucketCase> {};

TEST_P(StatisticBucket, SendsOnlyWhenThePercentageReachesTheBucket) {
  const BucketCase& c = GetParam();
  auto statistic = Make(c.stored, m_server.Base() + L"/b.gif?a={action}");
  int result = statistic->ReportPercent(c.percentage, L"act", nullptr, FALSE, nullptr, nullptr);
  EXPECT_EQ(result, c.sent ? 1 : 0);
  std::vector<std::string> targets = m_server.Targets();
  if (c.sent) {
    ASSERT_EQ(targets.size(), 1u);
    EXPECT_EQ(targets[0], std::string("/b.gif?a=") + c.action);
  } else {
    EXPECT_TRUE(targets.empty());
  }
  EXPECT_EQ(m_key.GetString(L"", L"stat_rand"), c.stored);  // a readable bucket is never rewritten
}

INSTANTIATE_TEST_SUITE_P(
    Buckets, StatisticBucket,
    ::testing::Values(BucketCase{"Full37", L"37", 100, true, "act"}, BucketCase{"Below37", L"37", 30, false, ""},
                      BucketCase{"Half37", L"37", 50, true, "50per_act"},
                      BucketCase{"Exactly37", L"37", 37, true, "37per_act"},
                      BucketCase{"Full100", L"100", 100, true, "act"},
                      BucketCase{"Negative", L"-5", 100, false, ""}, BucketCase{"Above100", L"150", 100, false, ""},
                      BucketCase{"LeadingBlanks", L"  7x", 7, true, "7per_act"},
                      BucketCase{"LeadingBlanksBelow", L"  7x", 6, false, ""}),
    [](const ::testing::TestParamInfo<BucketCase>& info) { return std::string(info.param.name); });

struct DrawCase {
  const char* name;
  bool keyExists;
  const wchar_t* stored;  // null: no value
  bool dwordValue;
};

void PrintTo(const DrawCase& c, std::ostream* os) { *os << c.name; }

class StatisticDraw : public Statistic, public ::testing::WithParamInterface<DrawCase> {};

TEST_P(StatisticDraw, AnUnusableBucketIsDrawnAndStoredWhereTheKeyExists) {
  const DrawCase& c = GetParam();
  if (c.keyExists) RegCloseKey(m_key.Create(L""));
  if (c.stored) m_key.SetString(L"", L"stat_rand", c.stored);
  if (c.dwordValue) m_key.SetDword(L"", L"stat_rand", 42);
  auto statistic = Make(nullptr, m_server.Base() + L"/d.gif");
  DWORD bucket = statistic->Impl()->GetBucket();
  EXPECT_GE(bucket, 1u);
  EXPECT_LE(bucket, 100u);
  if (c.keyExists) {
    EXPECT_EQ(m_key.GetString(L"", L"stat_rand"), std::to_wstring(bucket));
    // The next object reads the stored bucket back.
    auto next = Make(nullptr, m_server.Base() + L"/d.gif");
    EXPECT_EQ(next->Impl()->GetBucket(), bucket);
  } else {
    EXPECT_FALSE(m_key.Exists());  // never created
  }
  EXPECT_EQ(statistic->Report(L"a", nullptr, FALSE, nullptr, nullptr), 1);
}

INSTANTIATE_TEST_SUITE_P(Draws, StatisticDraw,
                         ::testing::Values(DrawCase{"Missing", true, nullptr, false},
                                           DrawCase{"Zero", true, L"0", false}, DrawCase{"Empty", true, L"", false},
                                           DrawCase{"NotANumber", true, L"abc", false},
                                           DrawCase{"NotText", true, nullptr, true},
                                           DrawCase{"NoKey", false, nullptr, false}),
                         [](const ::testing::TestParamInfo<DrawCase>& info) { return std::string(info.param.name); });

TEST_F(Statistic, EveryPlaceholderIsReplacedWhereverItStands) {
  auto statistic = Make(L"1", L"{type}://127.0.0.1:" + std::to_wstring(m_server.Port()) +
                                  L"/u.gif?t={type}&a={action}&av={appver}&mv={modver}&m={mid}&m2={mid2}&p={pid}"
                                  L"&app={app}&again={mid}{mid2}");
  statistic->SetAppVersion(L"1.2.3.4");
  statistic->SetPid(L"chan");
  statistic->SetApp(L"kvd");
  EXPECT_EQ(statistic->Report(L"go", L"&ex1=cls", FALSE, L"http", nullptr), 1);
  std::string mid = MachineId(), mid2 = MachineId2();
  ASSERT_EQ(mid.size(), 32u);
  ASSERT_FALSE(mid2.empty());
  std::vector<std::string> targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 1u);
  // The test executable has no version block: "{modver}" is empty.
  EXPECT_EQ(targets[0], "/u.gif?t=http&a=go&av=1.2.3.4&mv=&m=" + mid + "&m2=" + mid2 + "&p=chan&app=kvd&again=" + mid +
                            mid2 + "&ex1=cls");
  // The default type, a template without placeholders, and an extra text that is only "&ex1=".
  EXPECT_EQ(statistic->Report(L"x", L"&ex1=", FALSE, nullptr, (m_server.Base() + L"/plain.gif").c_str()), 1);
  EXPECT_EQ(statistic->Report(L"x", nullptr, FALSE, nullptr, (m_server.Base() + L"/t/{type}.gif").c_str()), 1);
  targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 3u);
  EXPECT_EQ(targets[1], "/plain.gif&ex1=");
  EXPECT_EQ(targets[2], "/t/brivelo.gif");

  ATL::CStringW url(L"{action}/{type}/{pid}");
  statistic->ExpandUrl(url, L"t", L"a");
  EXPECT_STREQ(url.GetString(), L"a/t/chan");
}

TEST_F(Statistic, NothingIsSentBeforeInitOrWithoutAnAction) {
  m_key.SetString(L"", L"stat_rand", L"1");
  CKivStatistic statistic(StatisticBucketKey{HKEY_CURRENT_USER, m_key.Path(), 0});
  std::wstring url = m_server.Base() + L"/n.gif";
  EXPECT_EQ(statistic.Report(L"a", nullptr, FALSE, nullptr, url.c_str()), 0);
  EXPECT_FALSE(statistic.Init(-1, L"brivelo", url.c_str()));
  EXPECT_EQ(statistic.Report(L"a", nullptr, FALSE, nullptr, url.c_str()), 0);
  ASSERT_TRUE(statistic.Init(2, L"brivelo", url.c_str()));
  EXPECT_EQ(statistic.Report(nullptr, nullptr, FALSE, nullptr, url.c_str()), 0);
  EXPECT_TRUE(m_server.Targets().empty());
  // A second Init changes nothing.
  EXPECT_TRUE(statistic.Init(2, L"other", L"unused"));
  EXPECT_EQ(statistic.Report(L"a", nullptr, FALSE, nullptr, nullptr), 1);
  EXPECT_EQ(m_server.Targets(), std::vector<std::string>{"/n.gif"});
  statistic.Uninit();
  EXPECT_EQ(statistic.Report(L"a", nullptr, FALSE, nullptr, url.c_str()), 0);
}

TEST_F(Statistic, WithoutProductInformationTheUrlIsOnlyTheExtraText) {
  // No ProductInfo.dat two folders above the test executable, no template given.
  m_key.SetString(L"", L"stat_rand", L"1");
  CKivStatistic statistic(StatisticBucketKey{HKEY_CURRENT_USER, m_key.Path(), 0});
  ASSERT_TRUE(statistic.Init(2, L"brivelo", nullptr));
  BOOL outcome = TRUE;
  int calls = 0;
  EXPECT_EQ(statistic.ReportWithCallback(
                [&](BOOL sent) {
                  outcome = sent;
                  ++calls;
                },
                L"a", L"&ex1=cls", FALSE, nullptr, nullptr),
            1);
  EXPECT_EQ(calls, 1);
  EXPECT_FALSE(outcome);
  EXPECT_TRUE(m_server.Targets().empty());
}

BOOL Online() { return TRUE; }
BOOL Offline() { return FALSE; }

// One asynchronous report of action "bg" under the given network test: the outcome its callback
// heard, once the send thread has ended.
BOOL ReportInBackground(CKivStatistic* statistic, BOOL (*network)()) {
  statistic->Impl()->SetNetworkCheck(network);
  HANDLE done = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  BOOL outcome = 2;
  EXPECT_EQ(statistic->ReportWithCallback(
                [&](BOOL sent) {
                  outcome = sent;
                  SetEvent(done);
                },
                L"bg", nullptr, TRUE, nullptr, nullptr),
            1);
  EXPECT_EQ(WaitForSingleObject(done, 20000), WAIT_OBJECT_0);
  CloseHandle(done);
  for (int i = 0; i < 200 && statistic->GetPendingCount() != 0; ++i) Sleep(10);
  EXPECT_EQ(statistic->GetPendingCount(), 0);
  return outcome;
}

// The system's network test is replaced: the outcome depends on the loopback server alone,
// whatever connection this machine has.
TEST_F(Statistic, AnAsynchronousSendCallsBackAndIsCountedWhileItRuns) {
  auto statistic = Make(L"1", m_server.Base() + L"/async.gif?a={action}");
  EXPECT_EQ(ReportInBackground(statistic.get(), &Online), TRUE);
  EXPECT_EQ(m_server.Targets(), std::vector<std::string>{"/async.gif?a=bg"});
  statistic->DestroyWhenIdle();
  EXPECT_EQ(statistic->Impl(), nullptr);
  EXPECT_EQ(statistic->Report(L"a", nullptr, FALSE, nullptr, nullptr), 0);
}

TEST_F(Statistic, WithoutANetworkAnAsynchronousSendCallsBackAFailure) {
  auto statistic = Make(L"1", m_server.Base() + L"/offline.gif?a={action}");
  EXPECT_EQ(ReportInBackground(statistic.get(), &Offline), FALSE);
  EXPECT_TRUE(m_server.Targets().empty());
  statistic->DestroyWhenIdle();
}

TEST(StatisticProcessWide, OneObjectForEveryCaller) {
  CKivStatistic* first = GetKivStatistic();
  ASSERT_NE(first, nullptr);
  EXPECT_EQ(GetKivStatistic(), first);
}

// The probe copied to <root>\a\b finds ProductInfo.dat two folders up, in <root>.
class StatisticProduct : public Statistic {
 protected:
  StatisticProduct() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    m_strRoot = std::wstring(temp) + L"bst_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                std::to_wstring(reinterpret_cast<UINT_PTR>(this) & 0xFFFFFF);
    RemoveTree();
    CreateDirectoryW(m_strRoot.c_str(), nullptr);
    CreateDirectoryW((m_strRoot + L"\\a").c_str(), nullptr);
    CreateDirectoryW((m_strRoot + L"\\a\\b").c_str(), nullptr);
    CopyFileW((ExeDir() + L"\\stat_probe.exe").c_str(), Probe().c_str(), FALSE);
    CopyFileW((ExeDir() + L"\\host_stub.exe").c_str(), (m_strRoot + L"\\main.exe").c_str(), FALSE);
    m_key.SetString(L"Product", L"ch", L"chan7");
    m_key.SetString(L"Product", L"dir", m_strRoot);
  }
  ~StatisticProduct() override { RemoveTree(); }

  std::wstring Probe() const { return m_strRoot + L"\\a\\b\\stat_probe.exe"; }
  void WriteProductInfo() {
    std::string json = R"({"version":"1","info":[{"product_id":"kvd","main_process_name":"main.exe",)"
                       R"("reg_path":"HKEY_CURRENT_USER\\)" +
                       Escape(Utf8(m_key.Sub(L"Product"))) + R"(","channel_reg_key":"ch","install_dir_reg_key":"dir",)"
                       R"("stats_url":")" +
                       Utf8(m_server.Base()) +
                       R"(/s.gif?t={type}&a={action}&av={appver}&mv={modver}&m={mid}&m2={mid2}&p={pid}&app={app}"}]})";
    std::string base64;
    ASSERT_TRUE(StringCipher::EncryptData(json, kProductInfoKey, &base64));
    ASSERT_TRUE(StringCipher::WriteFileData((m_strRoot + L"\\ProductInfo.dat").c_str(), base64));
  }
  static std::string Escape(const std::string& text) {
    std::string out;
    for (char c : text) {
      if (c == '\\') out += '\\';
      out += c;
    }
    return out;
  }
  // Runs the probe (at most 60 seconds) and returns its "name=value" lines.
  std::map<std::string, std::string> RunProbe(const std::wstring& action, const std::wstring& extra) {
    std::map<std::string, std::string> answers;
    std::wstring outputPath = m_strRoot + L"\\probe.txt";
    DeleteFileW(outputPath.c_str());
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    PROCESS_INFORMATION process = {};
    std::wstring commandLine =
        L"\"" + Probe() + L"\" \"" + m_key.Path() + L"\" \"" + action + L"\" \"" + extra + L"\" \"" + outputPath + L"\"";
    BOOL started = CreateProcessW(Probe().c_str(), &commandLine[0], nullptr, nullptr, FALSE, CREATE_NO_WINDOW,
                                  nullptr, nullptr, &startup, &process);
    if (!started) {
      ADD_FAILURE() << "the probe did not start";
      return answers;
    }
    if (WaitForSingleObject(process.hProcess, 60000) != WAIT_OBJECT_0) {
      TerminateProcess(process.hProcess, 1);
      WaitForSingleObject(process.hProcess, 5000);
      ADD_FAILURE() << "the probe did not end";
    }
    DWORD exitCode = 1;
    GetExitCodeProcess(process.hProcess, &exitCode);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    std::string text;
    EXPECT_EQ(exitCode, 0u);
    EXPECT_TRUE(StringCipher::ReadFileData(outputPath.c_str(), &text));
    std::istringstream lines(text);
    std::string line;
    while (std::getline(lines, line)) {
      if (!line.empty() && line.back() == '\r') line.pop_back();
      size_t equals = line.find('=');
      if (equals != std::string::npos) answers[line.substr(0, equals)] = line.substr(equals + 1);
    }
    return answers;
  }
  void RemoveTree() { RemoveFolderTree(m_strRoot); }

  std::wstring m_strRoot;
};

TEST_F(StatisticProduct, AReportCarriesTheProductValuesAndTheSecondProcessKeepsTheBucket) {
  WriteProductInfo();
  RegCloseKey(m_key.Create(L""));  // the bucket key exists, without a value
  auto first = RunProbe(L"browser_non", L"&ex1=Cls");
  EXPECT_EQ(first["result"], "1");
  std::wstring stored = m_key.GetString(L"", L"stat_rand");
  EXPECT_EQ(Utf8(stored), first["bucket"]);
  int bucket = _wtoi(stored.c_str());
  EXPECT_GE(bucket, 1);
  EXPECT_LE(bucket, 100);
  auto second = RunProbe(L"parent_pro_non", L"&ex1=");
  EXPECT_EQ(second["bucket"], first["bucket"]);
  std::vector<std::string> targets = m_server.Targets();
  ASSERT_EQ(targets.size(), 2u);
  // The probes' identifiers, as a fresh process computes them: this process may hold a second
  // identifier that an earlier test computed from a fake machine.
  std::istringstream ids(product_fixture::RunProbeOutput(ExeDir() + L"\\machine_id_print.exe", L""));
  std::string mid, mid2;
  ids >> mid >> mid2;
  ASSERT_FALSE(mid2.empty()) << ids.str();
  std::string common = "&av=5.6.7.8&mv=3.1.4.1&m=" + mid + "&m2=" + mid2 + "&p=chan7&app=kvd";
  EXPECT_EQ(targets[0], "/s.gif?t=brivelo&a=browser_non" + common + "&ex1=Cls");
  EXPECT_EQ(targets[1], "/s.gif?t=brivelo&a=parent_pro_non" + common + "&ex1=");
}

}  // namespace
