// Command-line options of the tools, "--name=value" one argument each.
#pragma once

#include <string>

// True when `arg` starts with `prefix` (such as L"--out="); *value is then the rest.
inline bool OptionValue(const std::wstring& arg, const wchar_t* prefix, std::wstring* value) {
  const std::wstring p = prefix;
  if (arg.compare(0, p.size(), p) != 0) return false;
  *value = arg.substr(p.size());
  return true;
}
