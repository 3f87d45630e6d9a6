// A variable of the test process's environment, set for one test and restored when it goes.
#pragma once

#include <windows.h>

#include <string>

class ScopedEnvironment {
 public:
  // value null: the variable is removed for the time being.
  ScopedEnvironment(const wchar_t* name, const wchar_t* value) : name_(name) {
    wchar_t old[MAX_PATH * 2];
    const DWORD n = GetEnvironmentVariableW(name, old, MAX_PATH * 2);
    had_ = n > 0 && n < MAX_PATH * 2;
    if (had_) old_ = old;
    SetEnvironmentVariableW(name, value);
  }
  ScopedEnvironment(const wchar_t* name, const std::wstring& value) : ScopedEnvironment(name, value.c_str()) {}
  ~ScopedEnvironment() { SetEnvironmentVariableW(name_, had_ ? old_.c_str() : nullptr); }
  ScopedEnvironment(const ScopedEnvironment&) = delete;
  ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

 private:
  const wchar_t* name_;
  bool had_ = false;
  std::wstring old_;
};
