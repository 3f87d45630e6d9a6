// Fixtures of the product-information tests: ProductInfo.dat files written with the program's
// own cipher and key, scratch folder trees, and runs of the product_probe helper.
#pragma once

#include <windows.h>

#include <shellapi.h>
#include <shlwapi.h>

#include <fstream>
#include <iterator>
#include <map>
#include <sstream>
#include <string>

#include <gtest/gtest.h>

#include "base/string_cipher.h"
#include "folder_tree.h"
#include "compat/atlstr.h"
#include "product/product_info_key.h"

namespace product_fixture {

// The file as the program reads it: Base64 of the Blowfish-ECB ciphertext of the UTF-8 JSON
// (zero-padded to whole blocks), plus `suffix` (for damaged files).
inline void WriteProductInfo(const std::wstring& path, const std::string& json, const std::string& suffix = "") {
  std::string base64;
  ASSERT_TRUE(StringCipher::EncryptData(json, kProductInfoKey, &base64));
  ASSERT_TRUE(StringCipher::WriteFileData(path.c_str(), base64 + suffix));
}

inline void Touch(const std::wstring& path) {
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE) << ATL::CStringA(path.c_str()).GetString();
  CloseHandle(file);
}

inline std::wstring ExeDir() {
  wchar_t path[MAX_PATH + 1] = {};
  GetModuleFileNameW(nullptr, path, MAX_PATH);
  PathRemoveFileSpecW(path);
  return path;
}

// A scratch folder under the temporary folder, named after the running test; removed at the end.
class ScratchTree {
 public:
  ScratchTree() {
    wchar_t temp[MAX_PATH + 1] = {};
    GetTempPathW(MAX_PATH, temp);
    const ::testing::TestInfo* info = ::testing::UnitTest::GetInstance()->current_test_info();
    std::string name = std::string(info->test_suite_name()) + "_" + info->name();
    for (char& c : name) {
      if (!isalnum(static_cast<unsigned char>(c))) c = '_';
    }
    const std::wstring base = std::wstring(temp) + L"bp_" + std::to_wstring(GetCurrentProcessId()) + L"_" +
                              std::wstring(name.begin(), name.end());
    m_strRoot = base;
    Remove();
    // A tree that could not be removed (an earlier one of this test, or of a process that had
    // the same id) is left alone and a fresh name taken: Wine refuses to delete a hard link to
    // an executable while any process runs that file under any of its names.
    for (int n = 2; GetFileAttributesW(m_strRoot.c_str()) != INVALID_FILE_ATTRIBUTES; ++n) {
      m_strRoot = base + L"_" + std::to_wstring(n);
      Remove();
    }
    CreateDirectoryW(m_strRoot.c_str(), nullptr);
  }
  ~ScratchTree() { Remove(); }
  ScratchTree(const ScratchTree&) = delete;
  ScratchTree& operator=(const ScratchTree&) = delete;

  const std::wstring& Root() const { return m_strRoot; }
  // Creates the folder (and its parents) below the root and returns its path.
  std::wstring Folder(const std::wstring& relative) const {
    std::wstring path = m_strRoot;
    size_t start = 0;
    while (start <= relative.size()) {
      size_t end = relative.find(L'\\', start);
      if (end == std::wstring::npos) end = relative.size();
      path += L"\\" + relative.substr(start, end - start);
      CreateDirectoryW(path.c_str(), nullptr);
      start = end + 1;
    }
    return path;
  }
  std::wstring Path(const std::wstring& relative) const { return m_strRoot + L"\\" + relative; }

 private:
  void Remove() { RemoveFolderTree(m_strRoot); }

  std::wstring m_strRoot;
};

// Copies a helper program of the tests (product_probe.exe unless named) into `folder` and returns
// the copy's path.
inline std::wstring PlaceProbe(const std::wstring& folder, const std::wstring& name = L"product_probe.exe") {
  std::wstring source = ExeDir() + L"\\" + name;
  std::wstring target = folder + L"\\" + name;
  EXPECT_TRUE(CopyFileW(source.c_str(), target.c_str(), FALSE)) << "copy of the probe failed";
  return target;
}

// Runs the probe with the arguments and returns what it wrote to its standard output and error.
// The probe must end with code 0, unless exitCode is given to receive its code.
inline std::string RunProbeOutput(const std::wstring& probe, const std::wstring& arguments,
                                  DWORD* exitCode = nullptr) {
  SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
  HANDLE readEnd = nullptr, writeEnd = nullptr;
  if (!CreatePipe(&readEnd, &writeEnd, &inherit, 0)) {
    ADD_FAILURE() << "CreatePipe failed";
    return std::string();
  }
  SetHandleInformation(readEnd, HANDLE_FLAG_INHERIT, 0);
  STARTUPINFOW startup = {};
  startup.cb = sizeof(startup);
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = writeEnd;
  startup.hStdError = writeEnd;
  startup.hStdInput = GetStdHandle(STD_INPUT_HANDLE);
  PROCESS_INFORMATION process = {};
  std::wstring commandLine = L"\"" + probe + L"\" " + arguments;
  BOOL started = CreateProcessW(probe.c_str(), &commandLine[0], nullptr, nullptr, TRUE, CREATE_NO_WINDOW, nullptr,
                                nullptr, &startup, &process);
  CloseHandle(writeEnd);
  if (!started) {
    CloseHandle(readEnd);
    ADD_FAILURE() << "the probe did not start";
    return std::string();
  }
  std::string output;
  char chunk[4096];
  DWORD read = 0;
  while (ReadFile(readEnd, chunk, sizeof(chunk), &read, nullptr) && read > 0) output.append(chunk, read);
  CloseHandle(readEnd);
  EXPECT_EQ(WaitForSingleObject(process.hProcess, 60000), WAIT_OBJECT_0);
  DWORD code = 1;
  GetExitCodeProcess(process.hProcess, &code);
  if (exitCode) {
    *exitCode = code;
  } else {
    EXPECT_EQ(code, 0u) << output;
  }
  CloseHandle(process.hThread);
  CloseHandle(process.hProcess);
  return output;
}

// The "name=value" lines of a probe's output (the last value of a repeated name).
inline std::map<std::string, std::string> ParseAnswers(const std::string& output) {
  std::map<std::string, std::string> answers;
  std::istringstream lines(output);
  std::string line;
  while (std::getline(lines, line)) {
    while (!line.empty() && line.back() == '\r') line.pop_back();
    size_t equals = line.find('=');
    if (equals != std::string::npos) answers[line.substr(0, equals)] = line.substr(equals + 1);
  }
  return answers;
}

// The "name=value" lines of a file that a helper wrote; empty when there is none.
inline std::map<std::string, std::string> ReadAnswers(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return ParseAnswers(std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()));
}

// Runs the probe with the arguments and returns its "name=value" lines (UTF-8 values).
inline std::map<std::string, std::string> RunProbe(const std::wstring& probe, const std::wstring& arguments) {
  return ParseAnswers(RunProbeOutput(probe, arguments));
}

inline std::string Utf8(const std::wstring& text) { return StringCipher::WideToCodePage(text.c_str(), CP_UTF8); }

}  // namespace product_fixture
