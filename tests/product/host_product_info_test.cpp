#include "product/host_product_info.h"

#include <shellapi.h>
#include <shlwapi.h>

#include <string>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "folder_tree.h"
#include "owned_registry_key.h"
#include "product/machine_id_v1.h"

namespace {

constexpr wchar_t kTestKeyText[] = L"{6B1D2E3F-4A5B-4C6D-8E7F-90A1B2C3D4E5}";

std::wstring Encipher(const std::wstring& plain) {
  return StringCipher::EncryptString(plain.c_str(), kTestKeyText).GetString();
}

std::wstring ExeDir() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

void Touch(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  CloseHandle(file);
}

// A layout below the executable's folder: <relative>\top\host is the installation folder, its
// parent <relative>\top holds the sibling products' executables. Registry sources go to the
// test's own key; the enciphered names are test values under a test key text.
class HostProduct : public ::testing::Test {
 protected:
  HostProduct() : m_key(HKEY_CURRENT_USER, L"host") {
    m_strRelative = L"hp_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                    std::to_wstring(reinterpret_cast<UINT_PTR>(this) & 0xFFFFFF);
    m_strTop = ExeDir() + L"\\" + m_strRelative;
    RemoveTree();
    CreateDirectoryW(m_strTop.c_str(), nullptr);
    CreateDirectoryW((m_strTop + L"\\host").c_str(), nullptr);
    HostProductSources sources;
    sources.hostRoot = HKEY_CURRENT_USER;
    sources.hostKey = m_key.Sub(L"Host");
    sources.morvaneRoot = HKEY_CURRENT_USER;
    sources.morvaneKey = m_key.Sub(L"Morvane");
    sources.pelmaRoot = HKEY_CURRENT_USER;
    sources.keyText = kTestKeyText;
    sources.embedMarker = Encipher(L"\\embed\\marker.dat");
    sources.pelmaExe = Encipher(L"Pelma_Main.exe");
    sources.pelmaUserKey = Encipher(m_key.Sub(L"Pelma"));
    m_previous = SetHostProductSources(sources);
  }
  ~HostProduct() override {
    SetHostProductSources(m_previous);
    RemoveTree();
  }

  std::wstring Dir() const { return m_strTop + L"\\host"; }
  std::wstring Relative() const { return m_strRelative + L"\\host"; }
  void PlaceHost() {
    std::wstring source = ExeDir() + L"\\host_stub.exe";
    ASSERT_TRUE(CopyFileW(source.c_str(), (Dir() + L"\\KIVVireDaredo.exe").c_str(), FALSE));
  }
  void PlaceMarker() {
    CreateDirectoryW((Dir() + L"\\embed").c_str(), nullptr);
    Touch(Dir() + L"\\embed\\marker.dat");
  }
  void PlaceMorvane() { Touch(m_strTop + L"\\Ostrevana_CN.exe"); }
  void PlacePelma() { Touch(m_strTop + L"\\Pelma_Main.exe"); }

  void RemoveTree() { RemoveFolderTree(m_strTop); }

  OwnedRegistryKey m_key;
  std::wstring m_strRelative;
  std::wstring m_strTop;
  HostProductSources m_previous;
};

struct ChannelCase {
  const char* name;
  bool host, marker, morvane, pelma;
  const wchar_t* vendorId;   // host "VendorID"; null: missing
  const wchar_t* subPid;     // host "SubPID"
  const wchar_t* morvaneId;  // "VendorID" of the Morvane key
  const wchar_t* pelmaPid;   // "pid" of the pelma user key
  const wchar_t* channel;
};

void PrintTo(const ChannelCase& c, std::ostream* os) { *os << c.name; }

class HostChannel : public HostProduct, public ::testing::WithParamInterface<ChannelCase> {};

TEST_P(HostChannel, ChannelOfTheInstallationFolder) {
  const ChannelCase& c = GetParam();
  if (c.host) PlaceHost();
  if (c.marker) PlaceMarker();
  if (c.morvane) PlaceMorvane();
  if (c.pelma) PlacePelma();
  if (c.vendorId) m_key.SetString(L"Host", L"VendorID", c.vendorId);
  if (c.subPid) m_key.SetString(L"Host", L"SubPID", c.subPid);
  if (c.morvaneId) m_key.SetString(L"Morvane", L"VendorID", c.morvaneId);
  if (c.pelmaPid) m_key.SetString(L"Pelma", L"pid", c.pelmaPid);
  EXPECT_STREQ(HostProductInfo::GetChannel(Relative().c_str()).GetString(), c.channel);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, HostChannel,
    ::testing::Values(
        ChannelCase{"NoHost", false, true, true, true, L"v", L"s", L"m", L"p", L"morvane__morvane"},
        ChannelCase{"VendorOnly", true, false, false, false, L"v", nullptr, nullptr, nullptr, L"v__v"},
        ChannelCase{"SubPidOnly", true, false, false, false, nullptr, L"s", nullptr, nullptr, L"morvane__s"},
        ChannelCase{"EmptyVendor", true, false, false, false, L"", L"s", nullptr, nullptr, L"morvane__s"},
        ChannelCase{"Both", true, false, true, true, L"v", L"s", L"m", L"p", L"v__s"},
        ChannelCase{"EmbeddedMorvane", true, true, true, false, L"v", L"s", L"m", nullptr, L"morvaneembed__m"},
        ChannelCase{"EmbeddedMorvaneNoVendor", true, true, true, false, L"v", nullptr, nullptr, nullptr,
                    L"morvaneembed__morvane"},
        ChannelCase{"EmbeddedMorvaneEmptyVendor", true, true, true, false, nullptr, nullptr, L"", nullptr,
                    L"morvaneembed__morvane"},
        ChannelCase{"EmbeddedBothNoPid", true, true, true, true, nullptr, nullptr, L"m", nullptr, L"pelmaembed__pelma"},
        ChannelCase{"EmbeddedPelma", true, true, false, true, nullptr, nullptr, nullptr, L"p", L"pelmaembed__p"},
        ChannelCase{"EmbeddedNeither", true, true, false, false, L"v", L"s", nullptr, nullptr, L"morvane__morvane"}),
    [](const ::testing::TestParamInfo<ChannelCase>& info) { return std::string(info.param.name); });

TEST_F(HostProduct, WithoutSuppliedProductDataTheMarkerIsNeverSeen) {
  PlaceHost();
  PlaceMarker();
  PlaceMorvane();
  m_key.SetString(L"Host", L"VendorID", L"v");
  HostProductSources sources = GetHostProductSources();
  sources.keyText.clear();
  sources.embedMarker.clear();
  sources.pelmaExe.clear();
  sources.pelmaUserKey.clear();
  SetHostProductSources(sources);
  EXPECT_FALSE(IsEmbeddedInstall(Dir().c_str()));
  EXPECT_STREQ(HostProductInfo::GetChannel(Relative().c_str()).GetString(), L"v__v");
}

TEST_F(HostProduct, DetectGivesTheInstallDateAndLeavesOutputsWithoutAHost) {
  ATL::CStringW product(L"x"), vendor(L"y"), date(L"z");
  EXPECT_STREQ(DetectHostProduct(Dir().c_str(), &product, &vendor, &date).GetString(), L"");
  EXPECT_STREQ(product.GetString(), L"x");  // nothing written without the host executable
  PlaceHost();
  PlaceMarker();
  PlaceMorvane();
  m_key.SetString(L"Morvane", L"InstallDate", L"20260101");
  EXPECT_STREQ(DetectHostProduct(Dir().c_str(), &product, &vendor, &date).GetString(), L"morvaneembed__morvane");
  EXPECT_STREQ(date.GetString(), L"20260101");
  PlacePelma();
  m_key.SetString(L"Pelma", L"InstallDate", L"20261212");
  EXPECT_STREQ(DetectHostProduct(Dir().c_str(), &product, &vendor, &date).GetString(), L"pelmaembed__pelma");
  EXPECT_STREQ(date.GetString(), L"20261212");
  EXPECT_STREQ(HostProductInfo::DetectFromRelativeDir(Relative().c_str(), nullptr, nullptr, nullptr).GetString(),
               L"pelmaembed__pelma");
}

TEST_F(HostProduct, HostVersionIsTheFixedVersionOfTheHostExecutable) {
  EXPECT_STREQ(HostProductInfo::GetHostVersion(Relative().c_str()).GetString(), L"");
  PlaceHost();
  EXPECT_STREQ(HostProductInfo::GetHostVersion(Relative().c_str()).GetString(), L"5.6.7.8");
  // A host executable without a version block.
  Touch(Dir() + L"\\KIVVireDaredo.exe");
  EXPECT_STREQ(HostProductInfo::GetHostVersion(Relative().c_str()).GetString(), L"");
}

TEST(HostProductInfo, ParentOfTheExecutableFolderHoldsNoHost) {
  EXPECT_STREQ(HostProductInfo::GetChannel(L"..\\").GetString(), L"morvane__morvane");
  EXPECT_STREQ(HostProductInfo::GetHostVersion(L"..\\").GetString(), L"");
}

TEST(HostProductInfo, MidIsTheFirstMachineIdentifier) {
  wchar_t expected[kMachineIdV1Chars] = {};
  ASSERT_TRUE(GetMachineIdV1W(expected, kMachineIdV1Chars));
  ATL::CStringW mid = HostProductInfo::GetMid();
  EXPECT_EQ(mid.GetLength(), 32);
  EXPECT_STREQ(mid.GetString(), expected);
}

}  // namespace

namespace {

TEST_F(HostProduct, RegistryReadersOfTheHostAndItsSiblings) {
  EXPECT_STREQ(GetChannelFromRegistry().GetString(), L"morvane__morvane");
  EXPECT_STREQ(GetHostExePath().GetString(), L"");
  m_key.SetString(L"Host", L"VendorID", L"v");
  m_key.SetString(L"Host", L"Setup Path", Dir());
  m_key.SetString(L"Host", L"InstallDate", L"20250505");
  m_key.SetString(L"Morvane", L"Setup Path", m_strTop);
  EXPECT_STREQ(GetChannelFromRegistry().GetString(), L"v__v");
  EXPECT_STREQ(GetHostInstallDir().GetString(), (Dir() + L"\\").c_str());
  EXPECT_STREQ(GetHostInstallDate().GetString(), L"20250505");
  EXPECT_STREQ(GetHostExePath().GetString(), L"");  // the folder holds no host executable yet
  PlaceHost();
  EXPECT_STREQ(GetHostExePath().GetString(), (Dir() + L"\\KIVVireDaredo.exe").c_str());
  EXPECT_STREQ(GetHostVersionFromRegistry().GetString(), L"5.6.7.8");
  EXPECT_STREQ(GetMorvaneInstallDir().GetString(), (m_strTop + L"\\").c_str());
  EXPECT_STREQ(GetMorvaneVersion().GetString(), L"");
  EXPECT_FALSE(IsLiteWithoutMorvane(Dir().c_str()));
  Touch(m_strTop + L"\\KivLite.exe");
  EXPECT_TRUE(IsLiteWithoutMorvane(Dir().c_str()));
  PlaceMorvane();
  EXPECT_FALSE(IsLiteWithoutMorvane(Dir().c_str()));
}

}  // namespace
