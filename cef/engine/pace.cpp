#include "engine/pace.h"

#include <cwchar>

namespace cefengine {

namespace {

const int kMaxPace = 50;

int ReadPace() {
  wchar_t value[8] = {};
  const DWORD n = GetEnvironmentVariableW(L"BRIVELO_CEF_PACE", value, 8);
  if (n == 0 || n >= 8)
    return 1;
  wchar_t* end = nullptr;
  const long pace = wcstol(value, &end, 10);
  if (end == value || *end != L'\0' || pace < 1 || pace > kMaxPace)
    return 1;
  return static_cast<int>(pace);
}

}  // namespace

int Pace() {
  static const int pace = ReadPace();
  return pace;
}

DWORD Paced(DWORD ms) {
  const unsigned long long paced = static_cast<unsigned long long>(ms) * static_cast<unsigned long long>(Pace());
  return paced >= INFINITE ? INFINITE - 1 : static_cast<DWORD>(paced);
}

}  // namespace cefengine
