// Paths and files the tool tests share: the folder of the test executables (where every built
// program sits) and temporary files of this process.
#pragma once

#include <windows.h>

#include <fstream>
#include <string>
#include <vector>

// The folder of the running executable, with its trailing separator.
inline std::wstring ExeDir() {
  wchar_t path[MAX_PATH];
  const DWORD n = GetModuleFileNameW(nullptr, path, MAX_PATH);
  const std::wstring file(path, n);
  return file.substr(0, file.find_last_of(L"\\/") + 1);
}

// A file in the temporary folder, named `name` followed by "." and this process's id.
inline std::wstring TempFile(const wchar_t* name) {
  wchar_t dir[MAX_PATH];
  GetTempPathW(MAX_PATH, dir);
  return std::wstring(dir) + name + L"." + std::to_wstring(GetCurrentProcessId());
}

// The lines of a text file; none when it cannot be read.
inline std::vector<std::string> ReadLines(const std::wstring& path) {
  std::vector<std::string> lines;
  std::ifstream in(path.c_str());
  std::string line;
  while (std::getline(in, line)) lines.push_back(line);
  return lines;
}
