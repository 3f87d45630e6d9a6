#include "browser/crash_handler.h"

#include <gtest/gtest.h>

#include <map>
#include <string>
#include <vector>

#include "base/common_util.h"
#include "browser/module_file_version.h"
#include "tests/product/product_info_fixture.h"

namespace {

using product_fixture::ExeDir;
using product_fixture::ScratchTree;
using product_fixture::Utf8;

const bool kIs32Bit = sizeof(void*) == 4;

TEST(CrashHandoff, PepIsTheSignExtendedAddressOnlyFor32BitAddresses) {
  const struct {
    uint32_t address;
    uint64_t value;
  } cases[] = {
      {0x0019FA10u, 1702416ull},
      {0x7FFFFFFFu, 2147483647ull},
      {0x80001000u, 18446744071562072064ull},
      {0xFFFFFFFFu, 18446744073709551615ull},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(c.value, crash_handoff::SignExtendAddress32(c.address)) << c.address;
    // This process's own addresses: a 64-bit process passes them unchanged.
    const void* address = reinterpret_cast<const void*>(uintptr_t(c.address));
    EXPECT_EQ(kIs32Bit ? c.value : uint64_t(c.address), crash_handoff::ExceptionPointersValue(address));
  }
}

TEST(CrashHandoff, UploaderParameters) {
  wchar_t text[256] = {};
  ASSERT_TRUE(crash_handoff::FormatUploaderParameters(text, 256, 18446744071562072064ull, 4012, 4294967292u,
                                                      L"KivBrivelo", L"1.2.3.4", 0));
  EXPECT_STREQ(L"--pep=18446744071562072064 --pid=4012 --tid=4294967292 --src=KivBrivelo --ver=1.2.3.4 --rep=0",
               text);
  ASSERT_TRUE(crash_handoff::FormatUploaderParameters(text, 256, 1702416, 8, 12, L"", L"", -3));
  EXPECT_STREQ(L"--pep=1702416 --pid=8 --tid=12 --src= --ver= --rep=-3", text);
  // One unit short of the terminator: refused, and nothing half-written is left.
  const size_t length = wcslen(text);
  EXPECT_FALSE(crash_handoff::FormatUploaderParameters(text, length, 1702416, 8, 12, L"", L"", -3));
  EXPECT_STREQ(L"", text);
  EXPECT_TRUE(crash_handoff::FormatUploaderParameters(text, length + 1, 1702416, 8, 12, L"", L"", -3));
}

TEST(CrashHandoff, PatchMatchesThisArchitecture) {
  size_t size = 0;
  const uint8_t* bytes = crash_handoff::FilterPatch(&size);
  const std::vector<uint8_t> patch(bytes, bytes + size);
  if (kIs32Bit) {
    EXPECT_EQ((std::vector<uint8_t>{0x33, 0xC0, 0xC2, 0x04, 0x00}), patch);  // xor eax,eax; ret 4
  } else {
    EXPECT_EQ((std::vector<uint8_t>{0x33, 0xC0, 0xC3}), patch);  // xor eax,eax; ret
  }
}

TEST(CrashHandoff, WriteCodeKeepsTheProtection) {
  SYSTEM_INFO system = {};
  GetSystemInfo(&system);
  const SIZE_T page = system.dwPageSize;
  uint8_t* code = static_cast<uint8_t*>(VirtualAlloc(nullptr, page, MEM_COMMIT | MEM_RESERVE, PAGE_READWRITE));
  uint8_t* hidden = static_cast<uint8_t*>(VirtualAlloc(nullptr, page, MEM_COMMIT | MEM_RESERVE, PAGE_NOACCESS));
  ASSERT_NE(nullptr, code);
  ASSERT_NE(nullptr, hidden);
  memset(code, 0x90, page);
  DWORD previous = 0;
  ASSERT_TRUE(VirtualProtect(code, page, PAGE_EXECUTE_READ, &previous));

  const uint8_t bytes[] = {0x33, 0xC0, 0xC3};
  EXPECT_TRUE(CrashHandler::WriteCode(code + 8, bytes, sizeof(bytes)));
  EXPECT_EQ(0, memcmp(code + 8, bytes, sizeof(bytes)));
  EXPECT_EQ(0x90, code[7]);
  EXPECT_EQ(0x90, code[11]);
  MEMORY_BASIC_INFORMATION region = {};
  ASSERT_NE(0u, VirtualQuery(code, &region, sizeof(region)));
  EXPECT_EQ(DWORD(PAGE_EXECUTE_READ), region.Protect) << "the earlier protection is restored";

  const uint8_t other[] = {0xCC, 0xCC, 0xCC};
  EXPECT_FALSE(CrashHandler::WriteCode(nullptr, other, 3));
  EXPECT_FALSE(CrashHandler::WriteCode(code, nullptr, 3));
  EXPECT_FALSE(CrashHandler::WriteCode(code, other, 0));
  EXPECT_FALSE(CrashHandler::WriteCode(code, hidden, 3)) << "unreadable source bytes";
  EXPECT_EQ(0x90, code[0]);

  VirtualFree(code, 0, MEM_RELEASE);
  VirtualFree(hidden, 0, MEM_RELEASE);
  // Memory that is no longer there cannot be made writable.
  EXPECT_FALSE(CrashHandler::WriteCode(code, other, 3));
}

TEST(CrashHandoff, ModuleFileVersion) {
  const std::wstring fixture = ExeDir() + L"\\version_fixture.dll";
  wchar_t text[32];
  wmemset(text, L'#', 32);
  ASSERT_TRUE(GetModuleFileVersion(fixture.c_str(), text, 32));
  EXPECT_STREQ(L"1.2.3.4", text);
  EXPECT_EQ(L'\0', text[31]) << "the whole buffer is cleared";
  ASSERT_TRUE(GetModuleFileVersion(fixture.c_str(), text, 4));
  EXPECT_STREQ(L"1.2", text);
  ASSERT_TRUE(GetModuleFileVersion(fixture.c_str(), text, 1));
  EXPECT_STREQ(L"", text);

  wcscpy(text, L"kept");
  EXPECT_FALSE(GetModuleFileVersion(fixture.c_str(), text, 0));
  EXPECT_FALSE(GetModuleFileVersion(nullptr, text, 32));
  EXPECT_FALSE(GetModuleFileVersion(fixture.c_str(), nullptr, 32));
  EXPECT_FALSE(GetModuleFileVersion((ExeDir() + L"\\argv_echo_child.exe").c_str(), text, 32)) << "no version block";
  EXPECT_FALSE(GetModuleFileVersion((ExeDir() + L"\\missing.dll").c_str(), text, 32));
  EXPECT_STREQ(L"kept", text);

  // Its limit is 16383 bytes, twice the common utilities' limit.
  const std::wstring medium = ExeDir() + L"\\version_fixture_medium.dll";
  const std::wstring huge = ExeDir() + L"\\version_fixture_huge.dll";
  const DWORD mediumSize = GetFileVersionInfoSizeW(medium.c_str(), nullptr);
  ASSERT_GT(mediumSize, 8191u);
  ASSERT_LE(mediumSize, 16383u);
  ASSERT_GT(GetFileVersionInfoSizeW(huge.c_str(), nullptr), 16383u);
  EXPECT_TRUE(GetModuleFileVersion(medium.c_str(), text, 32));
  EXPECT_STREQ(L"1.2.3.4", text);
  EXPECT_FALSE(CommonUtil::QueryFileVersion(medium.c_str(), nullptr, nullptr, nullptr, TRUE));
  EXPECT_FALSE(GetModuleFileVersion(huge.c_str(), text, 32));
}

TEST(CrashHandoff, UploaderSearchOrder) {
  // exe = root\gp\p\exe; the candidates, in order.
  const wchar_t* const candidates[] = {L"gp\\p\\exe\\Traskel.exe", L"gp\\p\\exe\\Utils\\Traskel.exe",
                                       L"gp\\p\\Traskel.exe", L"gp\\p\\Utils\\Traskel.exe", L"gp\\Traskel.exe"};
  const struct {
    std::vector<int> present;
    int chosen;
  } cases[] = {
      {{0, 1, 2, 3, 4}, 0}, {{1, 2}, 1}, {{2, 3, 4}, 2}, {{3, 4}, 3}, {{4}, 4}, {{}, 4},
  };
  for (const auto& c : cases) {
    ScratchTree tree;
    tree.Folder(L"gp\\p\\exe\\Utils");
    tree.Folder(L"gp\\p\\Utils");
    for (int index : c.present) product_fixture::Touch(tree.Path(candidates[index]));
    wchar_t found[MAX_PATH + 1] = {};
    ASSERT_TRUE(crash_handoff::FindUploader(tree.Path(L"gp\\p\\exe").c_str(), found));
    EXPECT_EQ(tree.Path(candidates[c.chosen]), found) << c.present.size() << " present";
  }
}

// A crashing process in a tree root\gp\p\exe with stand-in uploaders.
class CrashRun : public ::testing::Test {
 protected:
  void SetUp() override { m_strChild = product_fixture::PlaceProbe(Exe(), L"crash_child.exe"); }

  std::wstring Exe() { return m_tree.Folder(L"gp\\p\\exe"); }
  void PlaceUploader(const std::wstring& folder) {
    ASSERT_TRUE(CopyFileW((ExeDir() + L"\\traskel_standin.exe").c_str(), (folder + L"\\Traskel.exe").c_str(), FALSE));
  }
  // The uploader's record in folder, empty when it did not run there.
  std::map<std::string, std::string> UploaderRecord(const std::wstring& folder) {
    return product_fixture::ReadAnswers(folder + L"\\traskel_record.txt");
  }

  // The record once the uploader has written all of it ("alive_after" comes last), waiting for
  // an uploader the crashed process did not wait for; empty when none came within a minute.
  std::map<std::string, std::string> WholeUploaderRecord(const std::wstring& folder) {
    for (ULONGLONG end = GetTickCount64() + 60000;; Sleep(50)) {
      auto record = UploaderRecord(folder);
      if (record.count("alive_after")) return record;
      if (GetTickCount64() >= end) return {};
    }
  }

  struct Run {
    DWORD exitCode = 0;
    std::map<std::string, std::string> answers;  // pid, main_thread and what the mode prints
  };
  Run Crash(const wchar_t* mode) {
    Run run;
    run.answers = product_fixture::ParseAnswers(product_fixture::RunProbeOutput(m_strChild, mode, &run.exitCode));
    return run;
  }

  ScratchTree m_tree;
  std::wstring m_strChild;
};

TEST_F(CrashRun, UploaderBesideTheExecutableGetsTheCrashAndIsWaitedFor) {
  PlaceUploader(Exe());
  PlaceUploader(m_tree.Folder(L"gp\\p\\exe\\Utils"));
  Run run = Crash(L"crash");
  EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), run.exitCode);
  auto record = UploaderRecord(Exe());
  EXPECT_EQ(run.answers["pid"], record["pid"]);
  EXPECT_EQ(run.answers["main_thread"], record["tid"]);
  EXPECT_EQ("KivBrivelo", record["src"]);
  EXPECT_EQ("1.2.3.4", record["ver"]) << "the executable's own file version";
  EXPECT_EQ("0", record["rep"]);
  EXPECT_EQ("C0000005", record["code"]) << "--pep points at the crash's exception information";
  EXPECT_EQ("1", record["alive_before"]);
  EXPECT_EQ("1", record["alive_after"]) << "the crashing process waits for the uploader";
  EXPECT_EQ("--pep=" + record["pep"] + " --pid=" + record["pid"] + " --tid=" + record["tid"] +
                " --src=KivBrivelo --ver=1.2.3.4 --rep=0",
            record["args"]);
  EXPECT_TRUE(UploaderRecord(Exe() + L"\\Utils").empty()) << "only the first uploader found is started";
}

TEST_F(CrashRun, AnUploaderThatHangsDoesNotKeepTheCrashedProcessAlive) {
  PlaceUploader(Exe());
  product_fixture::Touch(Exe() + L"\\traskel_hang");
  Run run = Crash(L"bounded");
  EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), run.exitCode);
  auto record = WholeUploaderRecord(Exe());
  ASSERT_FALSE(record.empty()) << "the uploader never wrote its whole record";
  EXPECT_EQ(run.answers["pid"], record["pid"]);
  HANDLE uploader = OpenProcess(SYNCHRONIZE | PROCESS_TERMINATE, FALSE, std::stoul(record["self"]));
  ASSERT_NE(nullptr, uploader);
  EXPECT_EQ(DWORD(WAIT_TIMEOUT), WaitForSingleObject(uploader, 0)) << "the crashed process ended first";
  TerminateProcess(uploader, 0);
  WaitForSingleObject(uploader, 5000);
  CloseHandle(uploader);
}

TEST_F(CrashRun, TheThreadThatCrashedIsNamed) {
  PlaceUploader(m_tree.Folder(L"gp"));
  Run run = Crash(L"thread");
  EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), run.exitCode);
  auto record = UploaderRecord(m_tree.Path(L"gp"));
  ASSERT_FALSE(run.answers["thread"].empty());
  EXPECT_NE(run.answers["main_thread"], run.answers["thread"]);
  EXPECT_EQ(run.answers["thread"], record["tid"]);
  EXPECT_EQ(run.answers["pid"], record["pid"]);
}

TEST_F(CrashRun, WithoutUploaderTheProcessStillEnds) {
  Run run = Crash(L"crash");
  EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), run.exitCode);
}

TEST_F(CrashRun, LaterFiltersChangeNothing) {
  PlaceUploader(Exe());
  Run run = Crash(L"override");
  size_t size = 0;
  const uint8_t* patch = crash_handoff::FilterPatch(&size);
  char hex[3];
  std::string expected;
  for (size_t i = 0; i < size; ++i) {
    snprintf(hex, sizeof(hex), "%02X", patch[i]);
    expected += hex;
  }
  EXPECT_EQ(expected, run.answers["patch"].substr(0, expected.size()));
  EXPECT_EQ("null", run.answers["previous"]);
  if (kIs32Bit) {
    EXPECT_EQ("0", run.answers["stack"]) << "the patch pops the caller's argument";
  }
  EXPECT_EQ(DWORD(EXCEPTION_ACCESS_VIOLATION), run.exitCode) << "the later filter would have ended with 77";
  EXPECT_EQ("C0000005", UploaderRecord(Exe())["code"]);
}

TEST_F(CrashRun, UndoingThePatchRestoresTheFunction) {
  Run run = Crash(L"restore");
  EXPECT_EQ(0u, run.exitCode);
}

}  // namespace
