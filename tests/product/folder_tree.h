// Removes a scratch folder and everything below it; a missing folder is fine.
#pragma once

#include <windows.h>
#include <shellapi.h>

#include <string>

inline void RemoveFolderTree(const std::wstring& root) {
  std::wstring from = root;
  from.push_back(L'\0');  // the list of names ends with an empty one
  SHFILEOPSTRUCTW op = {};
  op.wFunc = FO_DELETE;
  op.pFrom = from.c_str();
  op.fFlags = FOF_NO_UI;
  SHFileOperationW(&op);
}
