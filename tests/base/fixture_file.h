#pragma once

// Test helpers: files under tests/fixtures, read whole; per-test file names.

#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "base/string_cipher.h"

namespace testing_fixtures {

// The running test's name as a wide text, for files that tests running in parallel must not share.
inline std::wstring CurrentTestName() {
  const char* name = ::testing::UnitTest::GetInstance()->current_test_info()->name();
  return std::wstring(name, name + strlen(name));
}

inline std::wstring FixturePath(const wchar_t* name) {
  return std::wstring(L"" BRIVELO_FIXTURES_DIR L"/") + name;
}

inline std::string ReadFixture(const wchar_t* name) {
  std::string data;
  if (!StringCipher::ReadFileData(FixturePath(name).c_str(), &data)) return std::string();
  return data;
}

}  // namespace testing_fixtures
