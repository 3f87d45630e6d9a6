#include "product/product_helper_impl.h"

#include <shlobj.h>
#include <shlwapi.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "product/file_version.h"
#include "product_info_fixture.h"

using product_fixture::ScratchTree;
using product_fixture::Touch;
using product_fixture::Utf8;
using product_fixture::WriteProductInfo;

// Fills the library fields the way a bound library would.
class ProductHelperImplTestAccess {
 public:
  static void Bind(ProductHelperImpl& impl, ProductHelperImpl::FreeStrFunc freeStr,
                   ProductHelperImpl::GetTextFunc productId, ProductHelperImpl::GetGeneralValueFunc general,
                   const std::vector<std::pair<int, ProductHelperImpl::GetValueFunc>>& getters) {
    impl.m_pfnFreeStr = freeStr;
    impl.m_pfnGetProductId = productId;
    impl.m_pfnGetProductInfoVer = productId;
    impl.m_pfnGetInstalledProductIdList = productId;
    impl.m_pfnGetGeneralValue = general;
    impl.m_vecValueGetters = getters;
  }
};

namespace {

std::wstring Roaming() {
  wchar_t buffer[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, FALSE);
  return buffer;
}

// Backslashes doubled for a JSON string.
std::string JsonEscape(const std::string& text) {
  std::string out;
  for (char c : text) {
    if (c == '\\') out += '\\';
    out += c;
  }
  return out;
}

// The file's bytes for a document.
std::string Cipher(const std::string& json) {
  std::string cipher;
  EXPECT_TRUE(StringCipher::EncryptData(json, kProductInfoKey, &cipher));
  return cipher;
}

// Loads a document from a scratch base folder without going through the executable's folder.
bool LoadDocument(ProductHelperImpl& impl, const ScratchTree& tree, const std::string& json) {
  std::wstring file = tree.Path(L"ProductInfo.dat");
  WriteProductInfo(file, json);
  return impl.LoadProductInfoFile(tree.Root().c_str(), file.c_str());
}

TEST(ProductHelperImpl, CurrentProductIsTheFirstEntryWhoseExecutableExists) {
  ScratchTree tree;
  Touch(tree.Path(L"second.exe"));
  Touch(tree.Path(L"third.exe"));
  ProductHelperImpl impl;
  ASSERT_TRUE(LoadDocument(impl, tree, R"({"version":"7.1","info":[
      {"product_id":"first","main_process_name":"missing.exe","app":"a1"},
      {"product_id":"second","main_process_name":"second.exe","app":"a2"},
      {"product_id":"third","main_process_name":"third.exe","app":"a3"}]})"));
  EXPECT_EQ(impl.GetProductId(), L"second");
  EXPECT_EQ(impl.GetProductInfoVersion(), L"7.1");
  EXPECT_EQ(impl.GetApp(), L"a2");
  EXPECT_EQ(impl.GetApp(L"first"), L"a1");  // named products come from their own entries
  EXPECT_EQ(impl.GetApp(L"unknown"), L"");
}

TEST(ProductHelperImpl, EntryWithoutExecutableNameBecomesCurrentAndLaterDuplicatesWin) {
  ScratchTree tree;
  Touch(tree.Path(L"dup.exe"));
  ProductHelperImpl impl;
  ASSERT_TRUE(LoadDocument(impl, tree, R"({"version":12,"info":[
      {"product_id":"nomatch","main_process_name":"missing.exe"},
      {"product_id":"dup","main_process_name":"dup.exe","app":"early"},
      {"product_id":"dup","main_process_name":"missing.exe","app":"late"},
      {"product_id":"bare","app":"bare-app"}]})"));
  EXPECT_EQ(impl.GetProductId(), L"dup");
  EXPECT_EQ(impl.GetApp(), L"late");
  EXPECT_EQ(impl.GetProductInfoVersion(), L"12");  // a number is taken as text

  ProductHelperImpl other;
  ScratchTree second;
  ASSERT_TRUE(LoadDocument(other, second, R"({"info":[{"product_id":"x","main_process_name":"no.exe"},
      {"product_id":"bare","app":"bare-app"}]})"));
  EXPECT_EQ(other.GetProductId(), L"bare");  // the base folder itself exists
}

TEST(ProductHelperImpl, DocumentWithoutCurrentProductLoadsWithEmptyId) {
  struct Case {
    const char* json;
    bool loads;
  } cases[] = {
      {R"({"version":"1","info":[{"product_id":"p","main_process_name":"none.exe","app":"x"}]})", true},
      {R"({"version":"1","info":[]})", true},
      {R"({"version":"1"})", true},
      {R"({"version":"1","info":{"product_id":"p"}})", true},
      {R"([1,2])", true},
      {R"("text")", false},
      {R"({"version":)", false},
  };
  for (const Case& c : cases) {
    ScratchTree tree;
    ProductHelperImpl impl;
    EXPECT_EQ(LoadDocument(impl, tree, c.json), c.loads) << c.json;
    EXPECT_EQ(impl.GetProductId(), L"") << c.json;
    for (int i = 0; i < kProductValueCount; ++i)
      EXPECT_EQ(impl.GetGeneralValue(static_cast<ProductValueIndex>(i), nullptr), L"") << c.json;
  }
  ScratchTree tree;
  ProductHelperImpl impl;
  ASSERT_TRUE(LoadDocument(impl, tree, cases[0].json));
  EXPECT_EQ(impl.GetApp(L"p"), L"x");
}

TEST(ProductHelperImpl, LoadIsIdempotentAndUninitKeepsVersionAndPath) {
  ScratchTree tree;
  Touch(tree.Path(L"a.exe"));
  ProductHelperImpl impl;
  ASSERT_TRUE(LoadDocument(impl, tree, R"({"version":"v1","info":[{"product_id":"a","main_process_name":"a.exe"}]})"));
  std::wstring firstPath = impl.GetProductInfoPath();

  std::wstring other = tree.Path(L"other.dat");
  WriteProductInfo(other, R"({"version":"v2","info":[{"product_id":"b"}]})");
  EXPECT_TRUE(impl.LoadProductInfoFile(tree.Root().c_str(), other.c_str()));
  EXPECT_EQ(impl.GetProductId(), L"a");
  EXPECT_EQ(impl.GetProductInfoVersion(), L"v1");
  EXPECT_EQ(impl.GetProductInfoPath(), firstPath);

  impl.Uninit();
  EXPECT_EQ(impl.GetProductId(), L"");
  EXPECT_EQ(impl.GetProductInfoVersion(), L"v1");
  EXPECT_EQ(impl.GetProductInfoPath(), firstPath);
  EXPECT_EQ(impl.GetGeneralValueByKey(L"product_id", L"a"), L"");
  EXPECT_TRUE(impl.LoadProductInfoFile(tree.Root().c_str(), other.c_str()));
  EXPECT_EQ(impl.GetProductId(), L"b");
  EXPECT_EQ(impl.GetProductInfoVersion(), L"v2");
  EXPECT_EQ(impl.GetProductInfoPath(), other);
}

// A real file lists the product family in some kilobytes: a planted one of a million entries
// (4 MB) is refused by its size before anything is deciphered, and one under the size limit with
// more entries than the limit is refused after parsing; one at the limit loads.
TEST(ProductHelperImpl, OversizedDocumentsAreRefused) {
  ScratchTree tree;
  std::string million = R"({"info":[{})";
  for (int i = 1; i < 1000000; ++i) million += ",{}";
  million += "]}";
  ProductHelperImpl impl;
  EXPECT_FALSE(LoadDocument(impl, tree, million));
  auto entries = [](size_t count) {
    std::string json = R"({"info":[)";
    for (size_t i = 0; i < count; ++i) json += (i ? ",{\"product_id\":\"p" : "{\"product_id\":\"p") + std::to_string(i) + "\"}";
    return json + "]}";
  };
  ProductHelperImpl over;
  EXPECT_FALSE(over.LoadProductInfoData(tree.Root().c_str(), Cipher(entries(ProductHelperImpl::kMaxProductEntries + 1))));
  ProductHelperImpl at;
  EXPECT_TRUE(at.LoadProductInfoData(tree.Root().c_str(), Cipher(entries(ProductHelperImpl::kMaxProductEntries))));
  EXPECT_EQ(at.GetGeneralValueByKey(L"product_id", L"p4095"), L"p4095");
}

TEST(ProductHelperImpl, UnusableFilesDoNotLoad) {
  ScratchTree tree;
  ProductHelperImpl impl;
  std::wstring file = tree.Path(L"ProductInfo.dat");
  EXPECT_FALSE(impl.LoadProductInfoFile(tree.Root().c_str(), file.c_str()));  // missing
  EXPECT_EQ(impl.GetProductInfoPath(), file);
  const std::string damaged[] = {"\n", "\r\n", "=", "!"};
  for (const std::string& suffix : damaged) {
    WriteProductInfo(file, R"({"info":[{"product_id":"p"}]})", suffix);
    EXPECT_FALSE(impl.LoadProductInfoFile(tree.Root().c_str(), file.c_str()));
  }
  ASSERT_TRUE(StringCipher::WriteFileData(file.c_str(), "{\"info\":[]}"));  // plain JSON
  EXPECT_FALSE(impl.LoadProductInfoFile(tree.Root().c_str(), file.c_str()));
  std::string cipher;
  ASSERT_TRUE(StringCipher::EncryptData(R"({"info":[]})", "another key", &cipher));
  ASSERT_TRUE(StringCipher::WriteFileData(file.c_str(), cipher));
  EXPECT_FALSE(impl.LoadProductInfoFile(tree.Root().c_str(), file.c_str()));
  EXPECT_EQ(impl.GetProductId(), L"");
}

// A product with registry values in both views, an install folder and application-data folders.
class ProductHelperImplValues : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strKey = L"SOFTWARE\\BriveloTests\\Product_" + std::to_wstring(GetCurrentProcessId());
    m_strInstall = m_tree.Folder(L"install");
    m_tree.Folder(L"install\\cfg");
    Touch(m_tree.Path(L"KIVVireDaredo.exe"));
    SetValues(KEY_WOW64_32KEY, L"ch-32");
    SetValues(KEY_WOW64_64KEY, L"ch-64");
    m_strAppDataName = L"BriveloTestKvd_" + std::to_wstring(GetCurrentProcessId());

    std::string reg = JsonEscape("HKEY_LOCAL_MACHINE\\" + Utf8(m_strKey));
    std::string lowerReg = JsonEscape("hkey_local_machine\\" + Utf8(m_strKey));
    std::string json = R"({"version":"3.0","info":[{"product_id":"kvd","main_process_name":"KIVVireDaredo.exe",
      "reg_path":")" + reg + R"(","channel_reg_key":"Channel","install_date_reg_key":"InstallDate",
      "install_dir_reg_key":"InstallDir","public_config_dir":"%appdata%\\Pub\\%appdata%",
      "appdata_dir_name":")" + Utf8(m_strAppDataName) + R"(","cfg_file_path":"cfg\\main.ini",
      "stats_url":"http://127.0.0.1/s?type={type}","cfg_center_ver_url":"ver","cfg_center_detail_url":"detail",
      "cfg_center_msg_wnd_class":"wnd","cfg_center_stub_msg_wnd_class":"stub","config_center_single_mutex":"mutex",
      "dump_upload_url":"dump","service_cfg_url":"svcurl","app":"kvdapp","short_app":"ka","short_name":"kv",
      "service_name":"svc","service_path":"bin\\svc.exe","appdata_cfg_file_path":"user.ini",
      "update_sign_url":"http://127.0.0.1/cs.dat","product_index":"3","nested":{"a":[1,2],"b":{"c":"\u00e9"}},
      "num":5,"flag":true,"nothing":null},
      {"product_id":"lower","reg_path":")" + lowerReg + R"(","channel_reg_key":"Channel",
       "public_config_dir":"%APPDATA%\\x","install_dir_reg_key":"Missing","main_process_name":"x.exe"},
      {"product_id":"gone","reg_path":")" + reg + R"(","install_dir_reg_key":"GoneDir","main_process_name":"x.exe",
       "cfg_file_path":"cfg\\main.ini"},
      {"product_id":"noslash","reg_path":"HKEY_CURRENT_USER","channel_reg_key":"Channel"}]})";
    ASSERT_TRUE(LoadDocument(m_impl, m_tree, json));
    ASSERT_EQ(m_impl.GetProductId(), L"kvd");
  }
  void TearDown() override {
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_strKey.c_str(), KEY_WOW64_32KEY, 0);
    RegDeleteKeyExW(HKEY_LOCAL_MACHINE, m_strKey.c_str(), KEY_WOW64_64KEY, 0);
    RemoveDirectoryW((Roaming() + L"\\" + m_strAppDataName).c_str());
  }
  void SetValues(REGSAM view, const std::wstring& channel) {
    HKEY key = nullptr;
    ASSERT_EQ(RegCreateKeyExW(HKEY_LOCAL_MACHINE, m_strKey.c_str(), 0, nullptr, 0, KEY_ALL_ACCESS | view, nullptr,
                              &key, nullptr),
              ERROR_SUCCESS);
    auto set = [key](const wchar_t* name, const std::wstring& value) {
      RegSetValueExW(key, name, 0, REG_SZ, reinterpret_cast<const BYTE*>(value.c_str()),
                     static_cast<DWORD>((value.size() + 1) * sizeof(wchar_t)));
    };
    set(L"Channel", channel);
    set(L"InstallDate", L"20260101");
    set(L"InstallDir", m_strInstall);
    set(L"GoneDir", m_tree.Path(L"gone"));
    RegCloseKey(key);
  }

  ScratchTree m_tree;
  ProductHelperImpl m_impl;
  std::wstring m_strKey;
  std::wstring m_strInstall;
  std::wstring m_strAppDataName;
};

TEST_F(ProductHelperImplValues, IndexedValuesOfTheCurrentProduct) {
  std::wstring roaming = Roaming();
  std::wstring appData = roaming + L"\\" + m_strAppDataName;
  const std::wstring expected[kProductValueCount] = {
      L"ch-32",  // the 32-bit registry view
      m_strInstall + L"\\KIVVireDaredo.exe",
      L"20260101",
      m_strInstall,
      roaming + L"\\Pub\\" + roaming,
      appData,  // whether or not the folder exists
      m_strInstall + L"\\cfg\\main.ini",
      L"http://127.0.0.1/s?type={type}",
      L"ver", L"detail", L"wnd", L"stub", L"mutex", L"dump", L"svcurl", L"kvdapp", L"ka", L"kv",
      L"", L"", L"", L"",  // not in the file
      L"svc",
      m_strInstall + L"\\bin\\svc.exe",
      appData,  // the application-data folder does not exist yet: no member joined
  };
  for (int i = 0; i < kProductValueCount; ++i)
    EXPECT_EQ(m_impl.GetGeneralValue(static_cast<ProductValueIndex>(i), nullptr), expected[i]) << "value " << i;
  EXPECT_EQ(m_impl.GetChannelId(), expected[0]);
  EXPECT_EQ(m_impl.GetAppDataConfigFilePath(L"kvd"), expected[24]);

  // Nothing is cached: the folder appears, the joined value follows; the registry is read anew.
  ASSERT_TRUE(CreateDirectoryW(appData.c_str(), nullptr));
  EXPECT_EQ(m_impl.GetAppDataConfigFilePath(), appData + L"\\user.ini");
  SetValues(KEY_WOW64_32KEY, L"changed");
  EXPECT_EQ(m_impl.GetChannelId(), L"changed");
  EXPECT_EQ(m_impl.GetGeneralValue(static_cast<ProductValueIndex>(25), nullptr), L"");
}

TEST_F(ProductHelperImplValues, EdgeValuesOfOtherEntries) {
  EXPECT_EQ(m_impl.GetChannelId(L"lower"), L"");  // root names are exact-case
  EXPECT_EQ(m_impl.GetPublicCfgDir(L"lower"), L"%APPDATA%\\x");
  EXPECT_EQ(m_impl.GetAppPath(L"lower"), L"");  // no install folder value
  EXPECT_EQ(m_impl.GetAppPath(L"gone"), m_tree.Path(L"gone"));  // missing folder: the folder alone
  EXPECT_EQ(m_impl.GetConfigFile(L"gone"), m_tree.Path(L"gone"));
  EXPECT_EQ(m_impl.GetChannelId(L"noslash"), L"");  // "HKEY_CURRENT_USER" as root and subkey
  EXPECT_EQ(m_impl.GetChannelId(L""), L"");
}

TEST_F(ProductHelperImplValues, ValuesByKey) {
  struct Case {
    const wchar_t* key;
    const wchar_t* value;
  } cases[] = {
      {L"product_index", L"3"},
      {L"update_sign_url", L"http://127.0.0.1/cs.dat"},
      {L"nested.a", L"[1,2]"},
      {L"nested", L"{\"a\":[1,2],\"b\":{\"c\":\"\u00e9\"}}"},  // compact, UTF-8 unescaped
      {L"nested.b.c", L"\u00e9"},
      {L"nested.a[1]", L"2"},
      {L"num", L"5"},
      {L"flag", L"true"},
      {L"nothing", L""},
      {L"absent", L""},
  };
  for (const Case& c : cases) EXPECT_EQ(m_impl.GetGeneralValueByKey(c.key, nullptr), c.value) << Utf8(c.key);
  EXPECT_EQ(m_impl.GetGeneralValueByKey(L"app", L"lower"), L"");
  EXPECT_EQ(m_impl.GetGeneralValueByKey(L"product_id", L"gone"), L"gone");
  EXPECT_EQ(m_impl.GetGeneralValueByKey(nullptr, nullptr), L"");
}

TEST_F(ProductHelperImplValues, AppVersionIsTheVersionOfTheMainExecutable) {
  EXPECT_EQ(m_impl.GetAppVersion(nullptr), L"");  // install\KIVVireDaredo.exe is missing
  std::wstring fixture = product_fixture::ExeDir() + L"\\version_string_fixture.dll";
  ASSERT_TRUE(CopyFileW(fixture.c_str(), (m_strInstall + L"\\KIVVireDaredo.exe").c_str(), FALSE));
  EXPECT_EQ(m_impl.GetAppVersion(nullptr), file_version::IsNative64Bit() ? L"1.2.3.4" : L"5.6.7.8");
  EXPECT_EQ(m_impl.GetAppVersion(L"lower"), L"");
}

TEST_F(ProductHelperImplValues, InstalledProductsAreThoseWhoseExecutableExists) {
  EXPECT_EQ(m_impl.GetInstalledProductIds(), std::vector<std::wstring>());  // install\KIVVireDaredo.exe missing
  Touch(m_strInstall + L"\\KIVVireDaredo.exe");
  EXPECT_EQ(m_impl.GetInstalledProductIds(), std::vector<std::wstring>{L"kvd"});
}

TEST(ProductHelperImpl, RegistryPathsAndSplitting) {
  std::wstring sub;
  EXPECT_EQ(ProductHelperImpl::SplitRegistryPath(L"HKEY_CURRENT_USER\\Software\\X", &sub), HKEY_CURRENT_USER);
  EXPECT_EQ(sub, L"Software\\X");
  EXPECT_EQ(ProductHelperImpl::SplitRegistryPath(L"HKEY_USERS", &sub), HKEY_USERS);  // root and subkey
  EXPECT_EQ(sub, L"HKEY_USERS");
  EXPECT_EQ(ProductHelperImpl::SplitRegistryPath(L"HKEY_CLASSES_ROOT\\.txt", &sub), HKEY_CLASSES_ROOT);
  EXPECT_EQ(ProductHelperImpl::SplitRegistryPath(L"HKEY_CURRENT_CONFIG\\x", &sub), HKEY_CURRENT_CONFIG);
  EXPECT_EQ(ProductHelperImpl::SplitRegistryPath(L"HKLM\\x", &sub), nullptr);

  using Pieces = std::vector<std::wstring>;
  EXPECT_EQ(ProductHelperImpl::SplitString(L"", L";"), Pieces());
  EXPECT_EQ(ProductHelperImpl::SplitString(L"a;;b;", L";"), (Pieces{L"a", L"", L"b"}));
  EXPECT_EQ(ProductHelperImpl::SplitString(L";a", L";"), (Pieces{L"", L"a"}));
  EXPECT_EQ(ProductHelperImpl::SplitString(L"one", L";"), Pieces{L"one"});
}

// Stand-in library entry points for the library branch of the getters.
int g_freed = 0;
std::string g_lastFreed;
void __cdecl FreeStr(const char* text) {
  ++g_freed;
  g_lastFreed = text;
}
std::string g_longValue;
const char* __cdecl LongValue(const char*) { return g_longValue.c_str(); }
const char* __cdecl NullValue(const char*) { return nullptr; }
std::string g_longId;
const char* __cdecl LongId() { return g_longId.c_str(); }
std::string g_lastKey;
const char* __cdecl General(const char* id, const char* key) {
  g_lastKey = std::string(id) + "|" + key;
  return "general";
}

TEST(ProductHelperImpl, LibraryAnswersAreBoundedAndHandedBack) {
  // 2-byte characters across the copy limits, so a byte cut would split one.
  g_longValue.clear();
  for (int i = 0; i < 2100; ++i) g_longValue += "\xC3\xA9";
  g_longId = "pq" + g_longValue.substr(0, 1200);
  g_freed = 0;
  ProductHelperImpl impl;
  ProductHelperImplTestAccess::Bind(impl, &FreeStr, &LongId, &General,
                                    {{kProductChannelId, &LongValue}, {kProductAppPath, &NullValue},
                                     {kProductInstallDate, nullptr}});
  std::wstring id = impl.GetProductId();
  EXPECT_EQ(id, L"pq" + std::wstring(510, L'\u00e9'));  // 1022 bytes: the 1023rd would split a character
  EXPECT_EQ(g_freed, 1);
  std::wstring value = impl.GetChannelId(L"p");
  EXPECT_EQ(value, std::wstring(2047, L'\u00e9'));  // 4094 bytes of at most 4095
  EXPECT_EQ(g_freed, 2);
  EXPECT_EQ(g_lastFreed, g_longValue);  // the library's own pointer came back
  EXPECT_EQ(impl.GetAppPath(L"p"), L"");        // null answer: nothing to free
  EXPECT_EQ(impl.GetInstallDate(L"p"), L"");    // no entry point
  EXPECT_EQ(impl.GetInstallDir(L"p"), L"");     // no pair for the index
  EXPECT_EQ(g_freed, 2);
  EXPECT_EQ(impl.GetGeneralValueByKey(L"k", L"p"), L"general");
  EXPECT_EQ(g_lastKey, "p|k");
  EXPECT_EQ(g_freed, 3);
  EXPECT_EQ(impl.GetChannelId(L""), L"");  // an empty id asks nothing
  EXPECT_EQ(g_freed, 3);
  EXPECT_EQ(impl.GetInstalledProductIds().size(), 1u);
  EXPECT_EQ(g_freed, 4);
}

}  // namespace
