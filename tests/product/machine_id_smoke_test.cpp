// Both machine identifiers on this machine's real devices and registry. Under Wine the disk
// answers as a SCSI disk without a serial and SMART is unsupported, so the identifiers come
// from the processor and the network adapters.
#include <windows.h>

#include <gtest/gtest.h>

#include <cctype>
#include <string>

#include "product/machine_id_v1.h"
#include "product/machine_id_v2.h"
#include "product/os_version_check.h"

namespace {

bool IsLowerHex(const std::string& text) {
  for (char c : text) {
    if (!isdigit(static_cast<unsigned char>(c)) && (c < 'a' || c > 'f')) return false;
  }
  return true;
}

// Runs the printer beside this executable and returns what it wrote.
std::string RunPrinter() {
  wchar_t path[MAX_PATH] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  std::wstring command(path);
  command = command.substr(0, command.find_last_of(L'\\') + 1) + L"machine_id_print.exe";

  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &inherit, 0)) return "<no pipe>";
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = write;
  startup.hStdError = write;
  PROCESS_INFORMATION process = {};
  std::wstring line = L"\"" + command + L"\"";
  BOOL started = CreateProcessW(command.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr,
                                nullptr, &startup, &process);
  CloseHandle(write);
  std::string output;
  if (started) {
    char chunk[256];
    DWORD got = 0;
    while (ReadFile(read, chunk, sizeof(chunk), &got, nullptr) && got > 0) output.append(chunk, got);
    WaitForSingleObject(process.hProcess, 60000);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
  } else {
    output = "<not started>";
  }
  CloseHandle(read);
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  return output;
}

TEST(MachineIdSmoke, RealMachineGivesStableIdentifiersAcrossProcesses) {
  char first[260] = {};
  ASSERT_TRUE(GetMachineIdV1A(first, sizeof(first)));
  EXPECT_EQ(strlen(first), 32u);
  EXPECT_TRUE(IsLowerHex(first)) << first;
  EXPECT_NE(std::string(first), "30908dae359c9665d70190674e7dc5a0") << "no hardware part was read";

  std::wstring second;
  ComputeMachineIdV2(&second);
  ASSERT_EQ(second.size(), 44u);
  std::string secondNarrow(second.begin(), second.end());
  EXPECT_TRUE(IsLowerHex(secondNarrow)) << secondNarrow;
  std::cout << "first " << first << ", second " << secondNarrow << " (mask " << secondNarrow.substr(40, 2)
            << ")\n";

  // Every Wine process is elevated, so both identifiers were stored and read back as stored.
  char stored[64] = {};
  EXPECT_TRUE(ReadStoredMachineIdV1(stored, sizeof(stored)));
  EXPECT_STREQ(stored, first);
  std::wstring storedSecond;
  BOOL random = FALSE;
  EXPECT_TRUE(ReadStoredMachineIdV2(&storedSecond, &random));
  EXPECT_EQ(storedSecond, second);

  const std::string expected = std::string(first) + " " + secondNarrow;
  EXPECT_EQ(RunPrinter(), expected);
  EXPECT_EQ(RunPrinter(), expected);
}

TEST(MachineIdSmoke, OperatingSystemVersionIsRead) {
  const OSVERSIONINFOEXW& version = COSVersionCheck::Instance()->Version();
  EXPECT_EQ(version.dwOSVersionInfoSize, sizeof(OSVERSIONINFOEXW));
  EXPECT_GE(version.dwMajorVersion, 6u);  // the test prefix reports Windows 10
  EXPECT_TRUE(COSVersionCheck::Instance()->Source() == 0 || COSVersionCheck::Instance()->Source() == 1);
  EXPECT_EQ(COSVersionCheck::Instance(), COSVersionCheck::Instance());
}

}  // namespace
