// The host simulator against a stand-in browser process: the events it is sent come out as
// JSON lines, and the commands of its script reach the browser end in order.
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/tools/test_files.h"

namespace {

// Runs hostsim with the arguments; returns its exit code and standard output lines.
int RunHostsim(const std::wstring& args, std::vector<std::string>* out_lines, DWORD timeout_ms = 60000) {
  SECURITY_ATTRIBUTES sa = {sizeof(sa), nullptr, TRUE};
  HANDLE read = nullptr, write = nullptr;
  if (!CreatePipe(&read, &write, &sa, 0)) return -1;
  SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
  std::wstring command = L"\"" + ExeDir() + L"hostsim.exe\" " + args;
  STARTUPINFOW si = {};
  si.cb = sizeof(si);
  si.dwFlags = STARTF_USESTDHANDLES;
  si.hStdOutput = write;
  si.hStdError = GetStdHandle(STD_ERROR_HANDLE);
  si.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION pi = {};
  if (!CreateProcessW(nullptr, &command[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &si, &pi)) return -1;
  CloseHandle(write);
  CloseHandle(pi.hThread);
  std::string text;
  char buffer[4096];
  DWORD n = 0;
  while (ReadFile(read, buffer, sizeof(buffer), &n, nullptr) && n) text.append(buffer, n);
  CloseHandle(read);
  DWORD code = 999;
  if (WaitForSingleObject(pi.hProcess, timeout_ms) == WAIT_OBJECT_0) GetExitCodeProcess(pi.hProcess, &code);
  else TerminateProcess(pi.hProcess, 998);
  CloseHandle(pi.hProcess);
  std::istringstream lines(text);
  std::string line;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    out_lines->push_back(line);
  }
  return static_cast<int>(code);
}

bool Has(const std::vector<std::string>& lines, const std::string& line) {
  for (const std::string& l : lines) {
    if (l == line) return true;
  }
  return false;
}

std::string Joined(const std::vector<std::string>& lines) {
  std::string all;
  for (const std::string& l : lines) all += l + "\n";
  return all;
}

TEST(Hostsim, PrintsEventsAndDeliversScriptedCommandsInOrder) {
  const std::wstring script = TempFile(L"hostsim_script.txt");
  const std::wstring record = TempFile(L"hostsim_record.txt");
  DeleteFileW(record.c_str());
  {
    std::ofstream s(script.c_str());
    s << "# a whole session\n"
         "wait BrowserCreated 256 20000\n"
         "load 256 \"http://example.test/a b\" \"k=v; n=2\"\n"
         "wait MsgToHostLoadEnd 256 20000\n"
         "bounds 256 1 -2 300 400\n"
         "call 256 5 fn \"arg one\" two\n"
         "nav 256 back\n"
         "mute 256 0\n"
         "cookies get 256 http://example.test/ 1\n"
         "create \"--url=about:blank --parent_wnd={parent} --web_view_id=512\"\n"
         "wait CallHost * 20000\n"
         "sleep 300\n"
         "close 256\n";
  }
  std::vector<std::string> out;
  const int code = RunHostsim(L"--exe=\"" + ExeDir() + L"fake_browser.exe\" --id=hostsim.test." +
                                  std::to_wstring(GetCurrentProcessId()) + L" --script=\"" + script +
                                  L"\" --auto-answer=ok \"--switch=--record=" + record + L"\"",
                              &out);
  EXPECT_EQ(code, 0) << Joined(out);

  EXPECT_TRUE(Has(out, "{\"event\":\"MsgToHostLoadingState\",\"code\":16,\"view\":256,\"canGoBack\":0,"
                       "\"canGoForward\":0,\"isLoading\":1}"))
      << Joined(out);
  EXPECT_TRUE(Has(out, "{\"event\":\"MsgToHostTitleChange\",\"code\":7,\"view\":256,"
                       "\"title\":\"title \\\"of\\\" http://example.test/a b\"}"));
  EXPECT_TRUE(Has(out, "{\"event\":\"MsgToHostLoadEnd\",\"code\":5,\"view\":256,\"url\":\"http://example.test/a b\"}"));
  EXPECT_TRUE(Has(out, "{\"event\":\"MsgToHostCallHost\",\"code\":10,\"view\":256,\"id\":9,\"method\":\"hostMethod\","
                       "\"callback\":\"cbKey\",\"args\":[\"x\"]}"));
  // The stand-in sends its last event synchronously, so that it arrives before the stand-in ends.
  EXPECT_TRUE(Has(out, "{\"event\":\"MsgToHostWindowDestroyed\",\"code\":2,\"view\":256,\"sync\":true}"));
  EXPECT_TRUE(Has(out, "{\"hostsim\":\"browser-exit\",\"code\":0}"));
  ASSERT_FALSE(out.empty());
  EXPECT_EQ(out.front().rfind("{\"hostsim\":\"launch\"", 0), 0u);
  EXPECT_EQ(out[1].rfind("{\"event\":\"MsgToHostBrowserCreated\",\"code\":1,\"view\":256,\"hwnd\":", 0), 0u);
  // Event 1 came synchronously (the lines above, through the stand-in's queue, have no mark).
  EXPECT_NE(out[1].find(",\"sync\":true}"), std::string::npos) << out[1];

  std::vector<std::string> received = ReadLines(record);
  const std::string answer =
      "{\"command\":\"MsgToBrowserCallFunction\",\"code\":7,\"view\":256,\"id\":9,\"function\":\"cbKey\","
      "\"args\":[\"ok\"]}";
  EXPECT_TRUE(Has(received, answer)) << "auto-answer of the page's call";
  // A new host window of the simulator stood in for {parent}.
  std::vector<std::string> scripted;
  for (std::string line : received) {
    const size_t at = line.find("--parent_wnd=");
    if (at != std::string::npos) {
      const size_t end = line.find(' ', at);
      const std::string hex = line.substr(at + 13, end - at - 13);
      EXPECT_EQ(hex.find_first_not_of("0123456789ABCDEF"), std::string::npos) << hex;
      EXPECT_NE(std::strtoul(hex.c_str(), nullptr, 16), 0ul) << hex;
      line.replace(at + 13, end - at - 13, "PARENT");
    }
    if (line != answer) scripted.push_back(line);
  }
  const std::vector<std::string> expected = {
      "{\"start\":256,\"parentIsWindow\":1,\"parentOfOtherProcess\":1,\"url\":\"about:blank\"}",
      "{\"command\":\"MsgToBrowserLoadUrl\",\"code\":1,\"view\":256,\"url\":\"http://example.test/a b\","
      "\"cookie\":\"k=v; n=2\"}",
      "{\"command\":\"MsgToBrowserSetBounds\",\"code\":3,\"view\":256,\"x\":1,\"y\":-2,\"width\":300,\"height\":400}",
      "{\"command\":\"MsgToBrowserCallFunction\",\"code\":7,\"view\":256,\"id\":5,\"function\":\"fn\","
      "\"args\":[\"arg one\",\"two\"]}",
      "{\"command\":\"MsgToBrowserGoBack\",\"code\":16,\"view\":256}",
      "{\"command\":\"MsgToBrowserMute\",\"code\":6,\"view\":256,\"mute\":0}",
      "{\"command\":\"MsgToBrowserGetCookies\",\"code\":9,\"view\":256,\"url\":\"http://example.test/\","
      "\"includeHttpOnly\":1}",
      "{\"command\":\"MsgToBrowserCreateWebView\",\"code\":13,\"view\":0,"
      "\"switches\":\"--url=about:blank --parent_wnd=PARENT --web_view_id=512\"}",
      "{\"command\":\"MsgToBrowserClose\",\"code\":5,\"view\":256}",
  };
  EXPECT_EQ(scripted, expected) << Joined(received);
  DeleteFileW(script.c_str());
  DeleteFileW(record.c_str());
}

TEST(Hostsim, ReportsBadCommandsAndWaitTimeoutsInItsExitCode) {
  const std::wstring script = TempFile(L"hostsim_bad.txt");
  {
    std::ofstream s(script.c_str());
    s << "frobnicate 256\n"
         "bounds 256 1 2\n"
         "wait LoadEnd 256 200\n"
         "quit\n";
  }
  std::vector<std::string> out;
  const int code = RunHostsim(L"--no-launch --script=\"" + script + L"\"", &out);
  EXPECT_EQ(code, 1) << Joined(out);
  EXPECT_TRUE(Has(out, "{\"hostsim\":\"error\",\"line\":1,\"text\":\"unknown command 'frobnicate'\"}")) << Joined(out);
  EXPECT_TRUE(Has(out, "{\"hostsim\":\"error\",\"line\":2,\"text\":\"wrong number of words for 'bounds'\"}"));
  EXPECT_TRUE(Has(out, "{\"hostsim\":\"wait-timeout\",\"line\":3,\"text\":\"wait LoadEnd 256 200\"}"));
  DeleteFileW(script.c_str());
}

}  // namespace
