#include "base/system_operations.h"

#include <shlwapi.h>
#include <urlmon.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/common_util.h"
#include "tests/base/ie_version_key.h"
#include "tests/base/log_test_support.h"

namespace {

using log_test::TempFolder;
using log_test::WriteBytes;

std::wstring BesideExe(const wchar_t* name) { return std::wstring(CommonUtil::GetExeDir().GetString()) + L"\\" + name; }

TEST(DeleteDirectory, RefusesShortAndLongPaths) {
  EXPECT_EQ(CommonUtil::DeleteDirectory(std::wstring(L"C:\\")), -1);
  EXPECT_EQ(CommonUtil::DeleteDirectory(std::wstring()), -1);
  EXPECT_EQ(CommonUtil::DeleteDirectory(std::string("C:")), -1);
  EXPECT_EQ(CommonUtil::DeleteDirectory(L"C:\\" + std::wstring(258, L'x')), -1);
  EXPECT_TRUE(PathIsDirectoryW(L"C:\\"));
}

TEST(DeleteDirectory, DeletesTheWholeTreeWithoutACommandLine) {
  TempFolder scratch;
  const std::wstring root = scratch.Path() + L"\\tree with spaces";
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\sub folder").c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((root + L"\\sub folder\\deeper").c_str(), nullptr));
  WriteBytes(root + L"\\a file.txt", "a");
  WriteBytes(root + L"\\sub folder\\deeper\\b.txt", "b");
  WriteBytes(root + L"\\sub folder\\read only.txt", "r");
  SetFileAttributesW((root + L"\\sub folder\\read only.txt").c_str(), FILE_ATTRIBUTE_READONLY);
  // Names that a command interpreter would have read as syntax are plain names here.
  const std::wstring odd = scratch.Path() + L"\\100%PATH% & x";
  ASSERT_TRUE(CreateDirectoryW(odd.c_str(), nullptr));
  WriteBytes(odd + L"\\c.txt", "c");
  const std::wstring survivor = scratch.Path() + L"\\PATH";
  ASSERT_TRUE(CreateDirectoryW(survivor.c_str(), nullptr));

  EXPECT_EQ(CommonUtil::DeleteDirectory(root), 0);
  EXPECT_FALSE(PathFileExistsW(root.c_str()));
  EXPECT_EQ(CommonUtil::DeleteDirectory(odd), 0);
  EXPECT_FALSE(PathFileExistsW(odd.c_str()));
  EXPECT_TRUE(PathIsDirectoryW(survivor.c_str()));

  // A quote cannot break out of anything either: it names no folder.
  EXPECT_LT(CommonUtil::DeleteDirectory(scratch.Path() + L"\\x\" & rd /s /q \"" + survivor), 0);
  EXPECT_TRUE(PathIsDirectoryW(survivor.c_str()));
  EXPECT_EQ(CommonUtil::DeleteDirectory(scratch.Path() + L"\\missing"), -int(ERROR_FILE_NOT_FOUND));
  WriteBytes(scratch.Path() + L"\\plain.txt", "p");
  EXPECT_EQ(CommonUtil::DeleteDirectory(scratch.Path() + L"\\plain.txt"), -int(ERROR_DIRECTORY));
}

TEST(DeleteDirectory, AFileInUseIsReportedAndTheRestDeleted) {
  TempFolder scratch;
  const std::wstring root = scratch.Path() + L"\\busy";
  ASSERT_TRUE(CreateDirectoryW(root.c_str(), nullptr));
  WriteBytes(root + L"\\held.txt", "h");
  WriteBytes(root + L"\\free.txt", "f");
  HANDLE held = CreateFileW((root + L"\\held.txt").c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0,
                            nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_EQ(CommonUtil::DeleteDirectory(root), -int(ERROR_SHARING_VIOLATION));
  EXPECT_FALSE(PathFileExistsW((root + L"\\free.txt").c_str()));
  CloseHandle(held);
  EXPECT_EQ(CommonUtil::DeleteDirectory(root), 0);
}

// Saves the machine's pending renames and puts them back, so that a scheduled deletion made by
// a test does not outlive it.
class PendingRenames {
 public:
  PendingRenames() {
    if (RegOpenKeyExW(HKEY_LOCAL_MACHINE, kKey, 0, KEY_QUERY_VALUE | KEY_SET_VALUE, &m_key) != ERROR_SUCCESS) return;
    DWORD size = 0;
    if (RegQueryValueExW(m_key, kValue, nullptr, &m_type, nullptr, &size) == ERROR_SUCCESS) {
      m_saved.resize(size);
      m_had = RegQueryValueExW(m_key, kValue, nullptr, &m_type, m_saved.data(), &size) == ERROR_SUCCESS;
    }
  }
  ~PendingRenames() {
    if (m_key == nullptr) return;
    if (m_had) {
      RegSetValueExW(m_key, kValue, 0, m_type, m_saved.data(), DWORD(m_saved.size()));
    } else {
      RegDeleteValueW(m_key, kValue);
    }
    RegCloseKey(m_key);
  }

 private:
  static constexpr const wchar_t* kKey = L"SYSTEM\\CurrentControlSet\\Control\\Session Manager";
  static constexpr const wchar_t* kValue = L"PendingFileRenameOperations";
  HKEY m_key = nullptr;
  DWORD m_type = REG_MULTI_SZ;
  std::vector<BYTE> m_saved;
  bool m_had = false;
};

TEST(ForceDeleteFile, MissingReadOnlyAndInUseFiles) {
  TempFolder scratch;
  EXPECT_TRUE(CommonUtil::ForceDeleteFile((scratch.Path() + L"\\missing.txt").c_str()));

  const std::wstring readOnly = scratch.Path() + L"\\read-only.txt";
  WriteBytes(readOnly, "r");
  ASSERT_TRUE(SetFileAttributesW(readOnly.c_str(), FILE_ATTRIBUTE_READONLY));
  EXPECT_TRUE(CommonUtil::ForceDeleteFile(readOnly.c_str()));
  EXPECT_FALSE(PathFileExistsW(readOnly.c_str()));

  // Open without delete sharing: it can neither be deleted nor moved, so it is scheduled.
  PendingRenames restore;
  const std::wstring busy = scratch.Path() + L"\\busy.txt";
  WriteBytes(busy, "b");
  HANDLE held = CreateFileW(busy.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(held, INVALID_HANDLE_VALUE);
  EXPECT_TRUE(CommonUtil::ForceDeleteFile(busy.c_str()));
  EXPECT_TRUE(PathFileExistsW(busy.c_str()));
  CloseHandle(held);
}

// Replaces the signer check for one test.
class SignerStub {
 public:
  explicit SignerStub(BOOL answer) {
    s_answer = answer;
    s_calls = 0;
    CommonUtil::ProductServices services = CommonUtil::DefaultProductServices();
    services.verifyFileSigner = &Verify;
    m_previous = CommonUtil::SetProductServices(services);
  }
  ~SignerStub() { CommonUtil::SetProductServices(m_previous); }
  static int Calls() { return s_calls; }

 private:
  static BOOL Verify(const wchar_t*) {
    ++s_calls;
    return s_answer;
  }
  static BOOL s_answer;
  static int s_calls;
  CommonUtil::ProductServices m_previous;
};
BOOL SignerStub::s_answer = FALSE;
int SignerStub::s_calls = 0;

TEST(RunApp, WaitsForTheExitCodeOrReportsStillActive) {
  const std::wstring child = BesideExe(L"run_app_child.exe");
  ASSERT_TRUE(PathFileExistsW(child.c_str()));
  DWORD code = 0;
  EXPECT_TRUE(CommonUtil::RunApp(child.c_str(), L"7 0", SW_HIDE, FALSE, TRUE, &code, 30000));
  EXPECT_EQ(code, 7u);
  EXPECT_TRUE(CommonUtil::RunApp(child.c_str(), L"0 3000", SW_HIDE, FALSE, TRUE, &code, 100));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));
  EXPECT_TRUE(CommonUtil::RunApp(child.c_str(), L"0 0", SW_HIDE, FALSE, FALSE, &code, 0));
  EXPECT_EQ(code, DWORD(STILL_ACTIVE));  // not waited for

  EXPECT_FALSE(CommonUtil::RunApp(nullptr, nullptr, SW_HIDE, FALSE, FALSE, nullptr, 0));
  EXPECT_FALSE(CommonUtil::RunApp(L"", nullptr, SW_HIDE, FALSE, FALSE, nullptr, 0));
  EXPECT_FALSE(CommonUtil::RunApp(BesideExe(L"missing.exe").c_str(), nullptr, SW_HIDE, FALSE, FALSE, &code, 0));
}

TEST(RunApp, AFailingSignerCheckStartsNothing) {
  TempFolder scratch;
  const std::wstring marker = scratch.Path() + L"\\started";
  const std::wstring child = BesideExe(L"run_app_child.exe");
  const std::wstring parameters = L"0 0 \"" + marker + L"\"";
  {
    SignerStub signer(FALSE);
    DWORD code = 0;
    EXPECT_FALSE(CommonUtil::RunApp(child.c_str(), parameters.c_str(), SW_HIDE, TRUE, TRUE, &code, 30000));
    EXPECT_EQ(SignerStub::Calls(), 1);
  }
  EXPECT_FALSE(PathFileExistsW(marker.c_str()));
  {
    SignerStub signer(TRUE);
    DWORD code = 1;
    EXPECT_TRUE(CommonUtil::RunApp(child.c_str(), parameters.c_str(), SW_HIDE, TRUE, TRUE, &code, 30000));
    EXPECT_EQ(code, 0u);
  }
  EXPECT_TRUE(PathFileExistsW(marker.c_str()));
}

TEST(RunApp, PathsUpTo260CharactersAreAccepted) {
  // Existing files whose paths are 260 and 261 characters long; the signer check shows which
  // ones got past the length check (it answers no, so nothing starts).
  TempFolder scratch;
  const std::wstring base = scratch.Path() + L"\\";
  ASSERT_LT(base.size() + 10, 260u);
  std::vector<std::wstring> paths;
  for (size_t length : {260u, 261u}) {
    const std::wstring path = base + std::wstring(length - base.size() - 4, L'p') + L".exe";
    ASSERT_EQ(path.size(), length);
    ASSERT_TRUE(CopyFileW(BesideExe(L"run_app_child.exe").c_str(), (L"\\\\?\\" + path).c_str(), FALSE)) << length;
    paths.push_back(path);
  }
  SignerStub signer(FALSE);
  EXPECT_FALSE(CommonUtil::RunApp(paths[0].c_str(), nullptr, SW_HIDE, TRUE, FALSE, nullptr, 0));
  EXPECT_EQ(SignerStub::Calls(), 1);
  EXPECT_FALSE(CommonUtil::RunApp(paths[1].c_str(), nullptr, SW_HIDE, TRUE, FALSE, nullptr, 0));
  EXPECT_EQ(SignerStub::Calls(), 1);
  for (const std::wstring& path : paths) DeleteFileW((L"\\\\?\\" + path).c_str());
}

TEST(BrowserEngine, EmulationModesAndMajorVersions) {
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"11.0.9600.18376"), 11001u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"10.0.1"), 10001u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"9.11"), 9999u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"8.0"), 8888u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"7.0"), 8888u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L""), 8888u);
  EXPECT_EQ(CommonUtil::EmulationModeFor(L"111.0"), 8888u);  // begins with "11" but not "11."
  EXPECT_EQ(CommonUtil::MajorVersionOf(L"11.0.9600"), L"11");
  EXPECT_EQ(CommonUtil::MajorVersionOf(L".5"), L".5");
  EXPECT_EQ(CommonUtil::MajorVersionOf(L"7"), L"7");
}

// What the installed engine's version is read from: "svcVersion" where it is a text, else
// "Version", both in the 32-bit view only.
TEST(BrowserEngine, VersionComesFromTheKeyOfThe32BitView) {
  struct Case {
    const char* name;
    const wchar_t* svc;      // nullptr: no such value
    bool svcIsNumber;        // svcVersion written as a DWORD instead
    const wchar_t* version;  // nullptr: no such value
    const wchar_t* expected;
    const wchar_t* major;
  };
  const std::wstring overlong(256, L'1');  // with its terminating zero over 512 bytes
  const Case cases[] = {
      {"svcVersion first", L"11.0.9600.18376", false, L"9.11.9600.18376", L"11.0.9600.18376", L"11"},
      {"Version without svcVersion", nullptr, false, L"9.0.8112.16421", L"9.0.8112.16421", L"9"},
      {"svcVersion not a text", nullptr, true, L"8.0.7601.17514", L"8.0.7601.17514", L"8"},
      {"svcVersion too long", overlong.c_str(), false, L"10.0.1", L"10.0.1", L"10"},
      {"an empty svcVersion counts", L"", false, L"10.0.1", L"", L""},
      {"neither", nullptr, false, nullptr, L"", L""},
  };
  IEVersionKey key;
  for (const Case& c : cases) {
    if (c.svcIsNumber) {
      key.SetDword(KEY_WOW64_32KEY, L"svcVersion", 11);
    } else {
      key.SetText(KEY_WOW64_32KEY, L"svcVersion", c.svc);
    }
    key.SetText(KEY_WOW64_32KEY, L"Version", c.version);
    EXPECT_EQ(std::wstring(CommonUtil::GetIEVersion().GetString()), c.expected) << c.name;
    EXPECT_EQ(std::wstring(CommonUtil::GetIEMajorVersion().GetString()), c.major) << c.name;
  }

  // A version written only in the 64-bit view is not the 32-bit product's engine.
  key.SetText(KEY_WOW64_32KEY, L"svcVersion", nullptr);
  key.SetText(KEY_WOW64_32KEY, L"Version", nullptr);
  key.SetText(KEY_WOW64_64KEY, L"svcVersion", L"11.0.64");
  EXPECT_EQ(std::wstring(CommonUtil::GetIEVersion().GetString()), L"");
}

// A DWORD value in the 32-bit registry view, where the product reads and writes.
LONG ReadDword32(HKEY root, const wchar_t* subKey, const wchar_t* name, DWORD* value) {
  HKEY key = nullptr;
  LONG status = RegOpenKeyExW(root, subKey, 0, KEY_QUERY_VALUE | KEY_WOW64_32KEY, &key);
  if (status != ERROR_SUCCESS) return status;
  DWORD type = 0, size = sizeof(*value);
  status = RegQueryValueExW(key, name, nullptr, &type, reinterpret_cast<BYTE*>(value), &size);
  RegCloseKey(key);
  return status == ERROR_SUCCESS && type != REG_DWORD ? ERROR_INVALID_DATA : status;
}

TEST(BrowserEngine, FeatureValuesAreWrittenForThisExecutable) {
  const wchar_t* key = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BRIVELO_TEST";
  EXPECT_FALSE(CommonUtil::SetFeatureControlValue(HKEY_CURRENT_USER, L"FEATURE_BRIVELO_TEST", nullptr, 1));
  EXPECT_TRUE(CommonUtil::SetFeatureControlValue(HKEY_CURRENT_USER, L"FEATURE_BRIVELO_TEST", L"x.exe", 5));
  DWORD value = 0;
  EXPECT_EQ(ReadDword32(HKEY_CURRENT_USER, key, L"x.exe", &value), ERROR_SUCCESS);
  EXPECT_EQ(value, 5u);
  RegDeleteKeyW(HKEY_CURRENT_USER, key);

  const std::wstring exe = PathFindFileNameW(std::wstring(CommonUtil::GetExePath().GetString()).c_str());
  const wchar_t* emulation = L"Software\\Microsoft\\Internet Explorer\\Main\\FeatureControl\\FEATURE_BROWSER_EMULATION";
  IEVersionKey engine;
  engine.SetText(KEY_WOW64_32KEY, L"svcVersion", L"10.0.9200.16384");
  ASSERT_TRUE(CommonUtil::SetBrowserEmulation());
  // The machine-wide value when it could be written, else the user's.
  value = 0;
  HKEY written = HKEY_LOCAL_MACHINE;
  if (ReadDword32(written, emulation, exe.c_str(), &value) != ERROR_SUCCESS) {
    written = HKEY_CURRENT_USER;
    ASSERT_EQ(ReadDword32(written, emulation, exe.c_str(), &value), ERROR_SUCCESS);
  }
  EXPECT_EQ(value, 10001u);
  HKEY key32 = nullptr;
  if (RegOpenKeyExW(written, emulation, 0, KEY_SET_VALUE | KEY_WOW64_32KEY, &key32) == ERROR_SUCCESS) {
    RegDeleteValueW(key32, exe.c_str());
    RegCloseKey(key32);
  }
}

TEST(SystemSettings, UserAgentAndMessageFilter) {
  // The result says whether the agent took effect. (Wine's URL library refuses the refresh
  // option, and the agent is then left alone; Windows accepts both options.)
  const char* agent = "Brivelo-Test-Agent/1.0";
  const BOOL set = CommonUtil::SetUserAgent(agent);
  char current[256] = {};
  DWORD size = sizeof(current);
  ASSERT_EQ(ObtainUserAgentString(0, current, &size), S_OK);
  EXPECT_EQ(set != FALSE, std::string(current) == agent) << current;
  EXPECT_FALSE(CommonUtil::SetUserAgent(nullptr));
  // Wine accepts every filter change.
  EXPECT_TRUE(CommonUtil::AllowWindowMessage(WM_USER + 5, TRUE));
  EXPECT_TRUE(CommonUtil::AllowWindowMessage(WM_USER + 5, FALSE));
}

TEST(SystemReaders, ImagePathResourcesAndCreationTime) {
  EXPECT_EQ(CommonUtil::GetProcessImagePath(GetCurrentProcessId()).CompareNoCase(CommonUtil::GetExePath()), 0);
  EXPECT_EQ(CommonUtil::GetProcessImagePath(0xFFFFFFF0), L"");

  HMODULE fixture = LoadLibraryExW(BesideExe(L"version_fixture.dll").c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(fixture, nullptr);
  std::string bytes = "unchanged";
  EXPECT_FALSE(CommonUtil::LoadResourceData(fixture, 77, RT_VERSION, &bytes));
  EXPECT_EQ(bytes, "unchanged");
  ASSERT_TRUE(CommonUtil::LoadResourceData(fixture, 1, RT_VERSION, &bytes));
  const std::string key(reinterpret_cast<const char*>(L"VS_VERSION_INFO"), 15 * sizeof(wchar_t));
  EXPECT_NE(bytes.find(key), std::string::npos);
  EXPECT_EQ(size_t(*reinterpret_cast<const uint16_t*>(bytes.data())), bytes.size());  // the block's own length
  FreeLibrary(fixture);

  TempFolder scratch;
  const std::wstring file = scratch.Path() + L"\\created.txt";
  FILETIME before;
  GetSystemTimeAsFileTime(&before);
  WriteBytes(file, "c");
  FILETIME created = {};
  ASSERT_TRUE(CommonUtil::GetFileCreationTime(file.c_str(), &created));
  ULARGE_INTEGER a, b;
  a.LowPart = before.dwLowDateTime, a.HighPart = before.dwHighDateTime;
  b.LowPart = created.dwLowDateTime, b.HighPart = created.dwHighDateTime;
  EXPECT_GE(b.QuadPart + 20000000ull, a.QuadPart);  // within two seconds (file-system rounding)
  EXPECT_LE(b.QuadPart, a.QuadPart + 600000000ull);
  EXPECT_FALSE(CommonUtil::GetFileCreationTime((scratch.Path() + L"\\missing").c_str(), &created));
  EXPECT_FALSE(CommonUtil::GetFileCreationTime(nullptr, &created));
}

}  // namespace
