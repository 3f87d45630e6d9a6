#include "product/product_helper.h"

#include <shlobj.h>

#include <map>
#include <string>

#include <gtest/gtest.h>

#include "product_info_fixture.h"

using product_fixture::PlaceProbe;
using product_fixture::RunProbe;
using product_fixture::ScratchTree;
using product_fixture::Touch;
using product_fixture::Utf8;
using product_fixture::WriteProductInfo;

namespace {

std::string Document(const std::string& version, const std::string& mainProcess) {
  return R"({"version":")" + version + R"(","info":[{"product_id":"kvd","main_process_name":")" + mainProcess +
         R"(","appdata_dir_name":"BpTest","product_index":"3","update_sign_url":"http://127.0.0.1/cs.dat"}]})";
}

std::string RoamingJoined(const char* name) {
  wchar_t buffer[MAX_PATH + 1] = {};
  SHGetSpecialFolderPathW(nullptr, buffer, CSIDL_APPDATA, FALSE);
  return Utf8(buffer) + "\\" + name;
}

// Where the files lie below the base folder, and what a fresh object makes of them.
struct PlacementCase {
  const char* name;
  bool inBase;
  bool inUtils;
  const char* baseSuffix;  // appended to the base file's Base64 text
  const char* init;
  const char* version;
  const wchar_t* path;  // relative to the base folder
};

void PrintTo(const PlacementCase& c, std::ostream* os) { *os << c.name; }

class ProductHelperPlacement : public ::testing::TestWithParam<PlacementCase> {};

TEST_P(ProductHelperPlacement, PicksTheFileBesideOrInUtils) {
  const PlacementCase& c = GetParam();
  ScratchTree tree;
  std::wstring base = tree.Folder(L"base");
  std::wstring probe = PlaceProbe(tree.Folder(L"base\\bin"));
  if (c.inBase) WriteProductInfo(base + L"\\ProductInfo.dat", Document("base", "bin"), c.baseSuffix);
  if (c.inUtils) WriteProductInfo(tree.Folder(L"base\\utils") + L"\\ProductInfo.dat", Document("utils", "bin"));
  auto answers = RunProbe(probe, L"impl 1");
  EXPECT_EQ(answers["init"], c.init);
  EXPECT_EQ(answers["version"], c.version);
  EXPECT_EQ(answers["path"], Utf8(base + L"\\" + c.path));
  EXPECT_EQ(answers["id"], c.init[0] == '1' ? "kvd" : "");
}

INSTANTIATE_TEST_SUITE_P(
    Table, ProductHelperPlacement,
    ::testing::Values(PlacementCase{"BaseOnly", true, false, "", "1", "base", L"ProductInfo.dat"},
                      PlacementCase{"UtilsOnly", false, true, "", "1", "utils", L"utils\\ProductInfo.dat"},
                      PlacementCase{"BothBaseWins", true, true, "", "1", "base", L"ProductInfo.dat"},
                      // A damaged base file is not replaced by the utils file; the library is tried.
                      PlacementCase{"TrailingNewline", true, true, "\n", "0", "", L"ProductInfo.dat"},
                      PlacementCase{"BadBase64", true, false, "*", "0", "", L"ProductInfo.dat"},
                      PlacementCase{"Neither", false, false, "", "0", "", L"utils\\ProductInfo.dat"}),
    [](const ::testing::TestParamInfo<PlacementCase>& info) { return std::string(info.param.name); });

TEST(ProductHelperShared, LevelSearchStoresTheFirstLevelWithAProduct) {
  ScratchTree tree;
  std::wstring top = tree.Folder(L"L2");
  std::wstring probe = PlaceProbe(tree.Folder(L"L2\\L1\\L0"));
  WriteProductInfo(top + L"\\ProductInfo.dat", Document("1", "L1\\\\L0\\\\product_probe.exe"));
  auto a = RunProbe(probe, L"shared 0 1 2 0 5 -1");
  std::string appData = RoamingJoined("BpTest");
  EXPECT_EQ(a["L0.appdata"], "");
  EXPECT_EQ(a["L0.stored"], "0");
  EXPECT_EQ(a["L1.id"], "");
  EXPECT_EQ(a["L1.stored"], "0");
  EXPECT_EQ(a["L2.appdata"], appData);
  EXPECT_EQ(a["L2.id"], "kvd");
  EXPECT_EQ(a["L2.index"], "3");
  EXPECT_EQ(a["L2.stored"], "1");
  // Stored for the process: any level answers from it.
  EXPECT_EQ(a["L3.appdata"], appData);
  EXPECT_EQ(a["L4.id"], "kvd");
  // A negative level answers nothing, even now.
  EXPECT_EQ(a["L5.appdata"], "");
  EXPECT_EQ(a["L5.id"], "");
  EXPECT_EQ(a["L5.index"], "0");
  EXPECT_EQ(a["L5.stored"], "0");
}

TEST(ProductHelperShared, NoCurrentProductIsNotStoredAndTheNextCallRetries) {
  ScratchTree tree;
  std::wstring folder = tree.Folder(L"app");
  std::wstring probe = PlaceProbe(folder);
  WriteProductInfo(folder + L"\\ProductInfo.dat", Document("1", "main.exe"));
  auto a = RunProbe(probe, L"shared -1 0 \"touch:" + folder + L"\\main.exe\" 0");
  EXPECT_EQ(a["L0.id"], "");  // -1 did not look at level 0
  EXPECT_EQ(a["L1.id"], "");  // loads, but main.exe is missing
  EXPECT_EQ(a["L1.stored"], "0");
  EXPECT_EQ(a["L3.id"], "kvd");
  EXPECT_EQ(a["L3.stored"], "1");
}

TEST(ProductHelperShared, ParallelFirstCallsShareOneInstance) {
  ScratchTree tree;
  std::wstring folder = tree.Folder(L"app");
  std::wstring probe = PlaceProbe(folder);
  WriteProductInfo(folder + L"\\ProductInfo.dat", Document("1", "product_probe.exe"));
  auto a = RunProbe(probe, L"parallel 16 0");
  EXPECT_EQ(a["instances"], "1");
  EXPECT_EQ(a["null"], "0");
  EXPECT_EQ(a["ids"], "1");
  EXPECT_EQ(a["id"], "kvd");
}

TEST(ProductHelperGlobal, ProcessWideObjectLoadsOnceAndUninitKeepsTheVersion) {
  ScratchTree tree;
  std::wstring top = tree.Folder(L"L2");
  std::wstring probe = PlaceProbe(tree.Folder(L"L2\\L1\\L0"));
  WriteProductInfo(top + L"\\ProductInfo.dat", Document("9.9", ""));
  auto a = RunProbe(probe, L"global 2");
  EXPECT_EQ(a["before"], "");
  EXPECT_EQ(a["init1"], "1");
  EXPECT_EQ(a["init2"], "1");
  EXPECT_EQ(a["same"], "1");
  EXPECT_EQ(a["id"], "kvd");
  EXPECT_EQ(a["update"], "http://127.0.0.1/cs.dat");
  EXPECT_EQ(a["afterUninit"], "");
  EXPECT_EQ(a["versionKept"], "9.9");
}

TEST(ProductHelperGlobal, FrontAnswersFromItsOwnObject) {
  ScratchTree tree;
  ProductHelper helper;
  EXPECT_EQ(helper.GetProductId(), L"");
  EXPECT_EQ(helper.GetGeneralValueByKey(L"x"), L"");
  EXPECT_TRUE(helper.GetInstalledProductIds().empty());
  // The test executable's folders hold no product information and no library binds.
  EXPECT_FALSE(helper.Init(0));
  EXPECT_FALSE(helper.InitFromLibrary(tree.Path(L"product_helper.dll").c_str()));
  EXPECT_EQ(helper.GetAppVersion(), L"");
  helper.Uninit();
}

}  // namespace
