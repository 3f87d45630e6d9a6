#include "product/signer_verification.h"

#include <gtest/gtest.h>

#include <string>

#include "base/common_util.h"
#include "child_process.h"
#include "product_info_fixture.h"
#include "signer_fixture_files.h"
#include "signer_test_store.h"

namespace {

using signer_fixtures::Path;

// Stand-ins for the platform's answers that Wine cannot give: the system version, a trust
// result other than the real one, and over-long signer names.
struct FakePlatform {
  static DWORD s_major, s_minor;
  static BOOL s_versionReadable;
  static int s_probes;
  static LONG s_trustOverride;  // 1: use the real result
  static int s_closes;
  static int s_nameLength;      // -1: the certificate's real name

  static void Reset(DWORD major, DWORD minor) {
    s_major = major;
    s_minor = minor;
    s_versionReadable = TRUE;
    s_probes = 0;
    s_trustOverride = 1;
    s_closes = 0;
    s_nameLength = -1;
  }
  static BOOL WINAPI ReadVersion(DWORD* major, DWORD* minor, DWORD* build) {
    ++s_probes;
    *major = s_major;
    *minor = s_minor;
    *build = 7601;
    return s_versionReadable;
  }
  static LONG WINAPI VerifyTrust(HWND window, GUID* action, LPVOID data) {
    const LONG real = DefaultSignerCheckPlatform().VerifyTrust(window, action, data);
    if (static_cast<WINTRUST_DATA*>(data)->dwStateAction == WTD_STATEACTION_CLOSE) {
      ++s_closes;
      return real;
    }
    return s_trustOverride == 1 ? real : s_trustOverride;
  }
  static DWORD WINAPI GetCertName(PCCERT_CONTEXT certificate, DWORD type, DWORD flags, void* parameter, LPWSTR name,
                           DWORD chars) {
    if (s_nameLength < 0) return CertGetNameStringW(certificate, type, flags, parameter, name, chars);
    // Like the platform: as much as fits, terminated, and the count of what was written.
    DWORD length = DWORD(s_nameLength) < chars - 1 ? DWORD(s_nameLength) : chars - 1;
    for (DWORD i = 0; i < length; ++i) name[i] = L'n';
    name[length] = 0;
    return length + 1;
  }
  static SignerCheckPlatform Platform() {
    SignerCheckPlatform platform = DefaultSignerCheckPlatform();
    platform.ReadNtVersion = &ReadVersion;
    platform.VerifyTrust = &VerifyTrust;
    platform.GetCertName = &GetCertName;
    return platform;
  }
};
DWORD FakePlatform::s_major, FakePlatform::s_minor;
BOOL FakePlatform::s_versionReadable;
int FakePlatform::s_probes;
LONG FakePlatform::s_trustOverride;
int FakePlatform::s_closes;
int FakePlatform::s_nameLength;

struct FileCase {
  const wchar_t* file;
  BOOL onWindows7;
  BOOL onWindows10;
};

class SignerFileTest : public ::testing::TestWithParam<FileCase> {};

TEST_P(SignerFileTest, AnswersPerSystemVersion) {
  const FileCase& c = GetParam();
  const std::wstring path = Path(c.file);
  TestSignerStore store;
  {
    FakePlatform::Reset(6, 1);
    CSignerCheck check(FakePlatform::Platform(), store.Store());
    EXPECT_EQ(c.onWindows7, check.VerifyFileSigner(path.c_str()));
  }
  {
    FakePlatform::Reset(10, 0);
    CSignerCheck check(FakePlatform::Platform(), store.Store());
    EXPECT_EQ(c.onWindows10, check.VerifyFileSigner(path.c_str()));
  }
}

INSTANTIATE_TEST_SUITE_P(Files, SignerFileTest,
                         ::testing::Values(FileCase{L"missing.dll", FALSE, FALSE},
                                           FileCase{L"ph_full_unsigned.dll", TRUE, FALSE},
                                           FileCase{L"ph_full_trusted.dll", TRUE, TRUE},
                                           FileCase{L"ph_full_other.dll", TRUE, FALSE},
                                           FileCase{L"ph_full_tampered.dll", TRUE, FALSE}),
                         [](const ::testing::TestParamInfo<FileCase>& info) {
                           std::string name;
                           for (const wchar_t* c = info.param.file; *c && *c != L'.'; ++c) name += char(*c);
                           return name;
                         });

TEST(SignerVerification, VersionIsProbedOnceAtTheFirstExistingFile) {
  TestSignerStore store;
  FakePlatform::Reset(10, 0);
  CSignerCheck check(FakePlatform::Platform(), store.Store());
  EXPECT_FALSE(check.VerifyFileSigner(Path(L"missing.dll").c_str()));
  EXPECT_FALSE(check.VerifyFileSigner(nullptr));
  EXPECT_EQ(0, FakePlatform::s_probes);
  EXPECT_FALSE(check.VerifyFileSigner(Path(L"ph_full_unsigned.dll").c_str()));
  EXPECT_TRUE(check.VerifyFileSigner(Path(L"ph_full_trusted.dll").c_str()));
  EXPECT_EQ(1, FakePlatform::s_probes);

  // Version 6.2 is the first checked one; an unreadable version leaves the check off for good.
  struct VersionCase {
    DWORD major, minor;
    BOOL readable;
    BOOL unsignedPasses;
  } versions[] = {{6, 2, TRUE, FALSE}, {6, 1, TRUE, TRUE}, {5, 9, TRUE, TRUE}, {7, 0, TRUE, FALSE}, {10, 0, FALSE, TRUE}};
  for (const VersionCase& v : versions) {
    FakePlatform::Reset(v.major, v.minor);
    FakePlatform::s_versionReadable = v.readable;
    CSignerCheck versioned(FakePlatform::Platform(), store.Store());
    EXPECT_EQ(v.unsignedPasses, versioned.VerifyFileSigner(Path(L"ph_full_unsigned.dll").c_str())) << v.major << "." << v.minor;
  }
}

TEST(SignerVerification, TrustResultsDecideBeforeTheName) {
  TestSignerStore store;
  struct TrustCase {
    LONG result;
    BOOL expected;
  } cases[] = {{1, TRUE}, {0, TRUE}, {LONG(CERT_E_EXPIRED), TRUE}, {LONG(CERT_E_UNTRUSTEDROOT), FALSE},
               {LONG(TRUST_E_NOSIGNATURE), FALSE}, {LONG(TRUST_E_BAD_DIGEST), FALSE}};
  for (const TrustCase& c : cases) {
    FakePlatform::Reset(10, 0);
    FakePlatform::s_trustOverride = c.result;
    CSignerCheck check(FakePlatform::Platform(), store.Store());
    EXPECT_EQ(c.expected, check.VerifyFileSigner(Path(L"ph_full_trusted.dll").c_str())) << std::hex << c.result;
    EXPECT_EQ(1, FakePlatform::s_closes) << "the verification state is released";
  }
}

TEST(SignerVerification, NameLengthAndEmptyNameRules) {
  TestSignerStore store;
  // Listed names of 510 and 511 units, and every form of an empty entry.
  store.SetRegistryList(L"1", L"[\"" + std::wstring(510, L'n') + L"\",\"" + std::wstring(511, L'n') + L"\",null,\"\"]");
  struct NameCase {
    int length;
    BOOL expected;
  } cases[] = {{510, TRUE}, {511, FALSE}, {600, FALSE}, {0, FALSE}};
  for (const NameCase& c : cases) {
    FakePlatform::Reset(10, 0);
    FakePlatform::s_nameLength = c.length;
    CSignerCheck check(FakePlatform::Platform(), store.Store());
    EXPECT_EQ(c.expected, check.VerifyFileSigner(Path(L"ph_full_other.dll").c_str())) << c.length;
  }
}

TEST(SignerVerification, BuiltInDigestsIgnoreLetterCaseAndTheListAddsNames) {
  TestSignerStore store;
  CSignerCheck check(DefaultSignerCheckPlatform(), store.Store());
  EXPECT_TRUE(check.IsTrustedSignerName(L"Harnstave Network Technology Co., Ltd."));
  EXPECT_TRUE(check.IsTrustedSignerName(L"HARNSTAVE NETWORK TECHNOLOGY CO., LTD."));
  EXPECT_TRUE(check.IsTrustedSignerName(L"harnstave holdings limited"));
  EXPECT_FALSE(check.IsTrustedSignerName(L"Harnstave Network Technology Co., Ltd"));
  EXPECT_FALSE(check.IsTrustedSignerName(L"Quillmere Test Signer"));
  EXPECT_FALSE(check.IsTrustedSignerName(L""));
  store.SetRegistryList(L"1", L"[\"quillmere test signer\"]");
  EXPECT_TRUE(check.IsTrustedSignerName(L"Quillmere Test Signer"));
  EXPECT_TRUE(check.VerifyFileSigner(Path(L"ph_full_other.dll").c_str()));
}

TEST(SignerVerification, ExpectedSignerNameCheck) {
  TestSignerStore store;
  CSignerCheck check(DefaultSignerCheckPlatform(), store.Store());
  const std::wstring trusted = Path(L"ph_full_trusted.dll");
  EXPECT_TRUE(check.VerifyFileSignerName(trusted.c_str(), L"harnstave network technology co., ltd."));
  EXPECT_FALSE(check.VerifyFileSignerName(trusted.c_str(), signer_fixtures::OtherSignerName()));
  EXPECT_TRUE(check.VerifyFileSignerName(trusted.c_str(), nullptr));
  EXPECT_FALSE(check.VerifyFileSignerName(Path(L"ph_full_unsigned.dll").c_str(), L"anyone"));
  EXPECT_FALSE(check.VerifyFileSignerName(Path(L"missing.dll").c_str(), L"anyone"));
}

TEST(SignerVerification, ProcessWideCheckOnThisSystem) {
  // The test prefix reports Windows 10, so the check is active here.
  EXPECT_TRUE(VerifyFileSigner(Path(L"ph_full_trusted.dll").c_str()));
  EXPECT_FALSE(VerifyFileSigner(Path(L"ph_full_unsigned.dll").c_str()));
  EXPECT_FALSE(VerifyFileSigner(Path(L"ph_full_tampered.dll").c_str()));
  EXPECT_TRUE(VerifyFileEmbeddedSigner(Path(L"ph_full_trusted.dll").c_str()));
  EXPECT_FALSE(VerifyFileEmbeddedSigner(Path(L"ph_full_unsigned.dll").c_str()));
  const std::wstring unsignedPath = Path(L"ph_full_unsigned.dll");
  // The common utilities' checked file test runs this same check.
  EXPECT_TRUE(CommonUtil::FileExists(Path(L"ph_full_trusted.dll").c_str(), TRUE));
  EXPECT_FALSE(CommonUtil::FileExists(unsignedPath.c_str(), TRUE));
  EXPECT_TRUE(CommonUtil::FileExists(unsignedPath.c_str(), FALSE));
  EXPECT_EQ(nullptr, SafeLoadLibrary(unsignedPath.c_str()));
  EXPECT_EQ(nullptr, GetModuleHandleW(L"ph_full_unsigned.dll"));
  HMODULE loaded = SafeLoadLibraryEx(Path(L"ph_full_trusted.dll").c_str(), nullptr, 0);
  EXPECT_NE(nullptr, loaded);
  if (loaded) FreeLibrary(loaded);
}

// While the signature is checked, the file can be neither rewritten nor replaced nor deleted, so
// the library that is loaded is the one that passed.
struct SwapAttempt {
  static DWORD s_writeError, s_deleteError, s_renameError;
  static LONG WINAPI VerifyTrust(HWND window, GUID* action, LPVOID data) {
    const WINTRUST_DATA* trust = static_cast<WINTRUST_DATA*>(data);
    if (trust->dwStateAction == WTD_STATEACTION_VERIFY) {
      const wchar_t* path = trust->pFile->pcwszFilePath;
      HANDLE writer = CreateFileW(path, GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr,
                                  OPEN_EXISTING, 0, nullptr);
      s_writeError = writer == INVALID_HANDLE_VALUE ? GetLastError() : 0;
      if (writer != INVALID_HANDLE_VALUE) CloseHandle(writer);
      s_deleteError = DeleteFileW(path) ? 0 : GetLastError();
      const std::wstring moved = std::wstring(path) + L".moved";
      s_renameError = MoveFileW(path, moved.c_str()) ? 0 : GetLastError();
    }
    return DefaultSignerCheckPlatform().VerifyTrust(window, action, data);
  }
};
DWORD SwapAttempt::s_writeError, SwapAttempt::s_deleteError, SwapAttempt::s_renameError;

TEST(SignerVerification, TheCheckedFileIsHeldUntilItIsLoaded) {
  product_fixture::ScratchTree tree;
  const std::wstring library = tree.Path(L"held_trusted.dll");
  ASSERT_TRUE(CopyFileW(Path(L"ph_full_trusted.dll").c_str(), library.c_str(), FALSE));
  TestSignerStore store;
  SignerCheckPlatform platform = FakePlatform::Platform();
  FakePlatform::Reset(10, 0);
  platform.VerifyTrust = &SwapAttempt::VerifyTrust;
  CSignerCheck check(platform, store.Store());

  HMODULE module = check.LoadVerifiedLibrary(library.c_str());
  ASSERT_NE(nullptr, module);
  EXPECT_EQ(DWORD(ERROR_SHARING_VIOLATION), SwapAttempt::s_writeError);
  EXPECT_NE(DWORD(0), SwapAttempt::s_deleteError);
  EXPECT_NE(DWORD(0), SwapAttempt::s_renameError);
  EXPECT_EQ(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((library + L".moved").c_str()));
  FreeLibrary(module);

  // Released afterwards: once unloaded, the file is an ordinary file again.
  EXPECT_TRUE(DeleteFileW(library.c_str()));
  // A file that another holder keeps open for writing is not loaded.
  ASSERT_TRUE(CopyFileW(Path(L"ph_full_trusted.dll").c_str(), library.c_str(), FALSE));
  HANDLE writer = CreateFileW(library.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                              OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, writer);
  EXPECT_EQ(nullptr, check.LoadVerifiedLibrary(library.c_str()));
  CloseHandle(writer);
}

// Wine reports the system version that its per-program settings name, so a child process can
// see Windows 7 while this one sees Windows 10.
TEST(SignerVerification, RealVersionProbeTurnsTheCheckOffBeforeWindows8) {
  const wchar_t kSettings[] = L"Software\\Wine\\AppDefaults\\signer_check_child.exe";
  auto runChild = [](const std::wstring& file) {
    std::wstring command = L"signer_check_child.exe \"" + Path(file.c_str()) + L"\"";
    return RunChildForExitCode(command);
  };
  struct VersionCase {
    const wchar_t* version;
    DWORD unsignedFile, trustedFile, missingFile;
  } cases[] = {{L"win7", 1, 1, 0}, {L"win10", 0, 1, 0}};
  for (const VersionCase& c : cases) {
    ASSERT_EQ(ERROR_SUCCESS, RegSetKeyValueW(HKEY_CURRENT_USER, kSettings, L"Version", REG_SZ, c.version,
                                             DWORD((wcslen(c.version) + 1) * sizeof(wchar_t))));
    EXPECT_EQ(c.unsignedFile, runChild(L"ph_full_unsigned.dll")) << c.version;
    EXPECT_EQ(c.trustedFile, runChild(L"ph_full_trusted.dll")) << c.version;
    EXPECT_EQ(c.missingFile, runChild(L"missing.dll")) << c.version;
  }
  RegDeleteTreeW(HKEY_CURRENT_USER, kSettings);
}

}  // namespace
