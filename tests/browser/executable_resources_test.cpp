// The executable's resources (browser/brivelo.rc), linked into a probe program: one manifest that
// the loader activates (common controls 6, run as the invoking user) and the version block whose
// file version the crash hand-off reports.
#include <windows.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "browser/brivelo_version.h"
#include "browser/module_file_version.h"
#include "tests/product/child_process.h"
#include "tests/tools/test_files.h"

namespace {

std::wstring Probe() { return ExeDir() + L"resource_probe.exe"; }

BOOL CALLBACK CollectName(HMODULE, LPCWSTR, LPWSTR name, LONG_PTR param) {
  auto* names = reinterpret_cast<std::vector<ULONG_PTR>*>(param);
  names->push_back(IS_INTRESOURCE(name) ? reinterpret_cast<ULONG_PTR>(name) : 0);
  return TRUE;
}

std::wstring QueryString(const std::vector<BYTE>& block, const wchar_t* path) {
  wchar_t* text = nullptr;
  UINT length = 0;
  if (!VerQueryValueW(block.data(), path, reinterpret_cast<void**>(&text), &length) || !text) return L"(none)";
  return std::wstring(text, length > 0 && text[length - 1] == 0 ? length - 1 : length);
}

TEST(ExecutableResources, OneManifestAskingForCommonControls6AsTheInvokingUser) {
  HMODULE image = LoadLibraryExW(Probe().c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  ASSERT_NE(nullptr, image);
  std::vector<ULONG_PTR> names;
  EnumResourceNamesW(image, MAKEINTRESOURCEW(24), CollectName, reinterpret_cast<LONG_PTR>(&names));
  // Exactly one, under the id the loader reads at process start.
  EXPECT_EQ(std::vector<ULONG_PTR>{1}, names);
  HRSRC found = FindResourceW(image, MAKEINTRESOURCEW(1), MAKEINTRESOURCEW(24));
  ASSERT_NE(nullptr, found);
  HGLOBAL loaded = LoadResource(image, found);
  ASSERT_NE(nullptr, loaded);
  const std::string manifest(static_cast<const char*>(LockResource(loaded)), SizeofResource(image, found));
  FreeLibrary(image);

  for (const char* part : {"name=\"Microsoft.Windows.Common-Controls\"", "version=\"6.0.0.0\"",
                           "publicKeyToken=\"6595b64144ccf1df\"", "type=\"win32\"",
                           "<requestedExecutionLevel level=\"asInvoker\" uiAccess=\"false\"/>"}) {
    EXPECT_NE(std::string::npos, manifest.find(part)) << part << "\n" << manifest;
  }
  // The loader takes it: the probe gets the side-by-side version 6 library, the same program
  // without the resources the system's older one.
  EXPECT_EQ(6u, RunChildForExitCode(L"\"" + Probe() + L"\""));
  EXPECT_EQ(5u, RunChildForExitCode(L"\"" + ExeDir() + L"resource_probe_plain.exe\""));
}

TEST(ExecutableResources, VersionBlockCarriesTheProductVersionTheCrashHandOffReports) {
  const std::wstring probe = Probe();
  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeW(probe.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<BYTE> block(size);
  ASSERT_TRUE(GetFileVersionInfoW(probe.c_str(), 0, size, block.data()));

  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT length = 0;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\", reinterpret_cast<void**>(&fixed), &length));
  ASSERT_GE(length, sizeof(VS_FIXEDFILEINFO));
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(BRIVELO_VERSION_MINOR, BRIVELO_VERSION_MAJOR)), fixed->dwFileVersionMS);
  EXPECT_EQ(static_cast<DWORD>(MAKELONG(BRIVELO_VERSION_REVISION, BRIVELO_VERSION_BUILD)), fixed->dwFileVersionLS);
  EXPECT_EQ(fixed->dwFileVersionMS, fixed->dwProductVersionMS);
  EXPECT_EQ(fixed->dwFileVersionLS, fixed->dwProductVersionLS);
  EXPECT_EQ(static_cast<DWORD>(VFT_APP), fixed->dwFileType);
  EXPECT_EQ(0u, fixed->dwFileFlags);

  // The string table is the one the translation table names, and agrees with the numbers.
  struct Translation {
    WORD language;
    WORD code_page;
  }* translation = nullptr;
  ASSERT_TRUE(VerQueryValueW(block.data(), L"\\VarFileInfo\\Translation", reinterpret_cast<void**>(&translation),
                             &length));
  ASSERT_EQ(sizeof(Translation), length);
  EXPECT_EQ(0x0409, translation->language);
  EXPECT_EQ(1200, translation->code_page);
  const std::wstring text = L"" BRIVELO_VERSION_TEXT;
  const wchar_t* table = L"\\StringFileInfo\\040904b0\\";
  EXPECT_EQ(text, QueryString(block, (std::wstring(table) + L"FileVersion").c_str()));
  EXPECT_EQ(text, QueryString(block, (std::wstring(table) + L"ProductVersion").c_str()));
  EXPECT_EQ(L"Brivelo", QueryString(block, (std::wstring(table) + L"ProductName").c_str()));
  EXPECT_EQ(L"Brivelo", QueryString(block, (std::wstring(table) + L"FileDescription").c_str()));
  EXPECT_EQ(L"Brivelo.exe", QueryString(block, (std::wstring(table) + L"OriginalFilename").c_str()));
  EXPECT_EQ(std::to_wstring(BRIVELO_VERSION_MAJOR) + L"." + std::to_wstring(BRIVELO_VERSION_MINOR) + L"." +
                std::to_wstring(BRIVELO_VERSION_BUILD) + L"." + std::to_wstring(BRIVELO_VERSION_REVISION),
            text);

  // What the crash hand-off passes as --ver.
  wchar_t reported[64] = {};
  ASSERT_TRUE(GetModuleFileVersion(probe.c_str(), reported, 64));
  EXPECT_EQ(text, reported);
}

}  // namespace
