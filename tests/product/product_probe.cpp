// Test helper: answers product-information questions for the folder it is started from, one
// "name=value" line (UTF-8) per answer. The product information depends on where the
// executable lies, so the tests copy this program into folder trees of their own.
//
//   product_probe impl <levels>               Init of a fresh object, the id, version, path and values
//   product_probe shared <step>...            steps: a level (static answers at that level) or
//                                             touch:<path> (creates an empty file)
//   product_probe parallel <threads> <level>  first calls from many threads at once
//   product_probe global <levels>             the process-wide object, initialised twice
#include <windows.h>

#include <shellapi.h>

#include <cstdio>
#include <cstdlib>
#include <set>
#include <string>
#include <thread>
#include <vector>

#include "base/string_cipher.h"
#include "product/product_helper.h"

namespace {

void Print(const std::string& name, const std::wstring& value) {
  std::string text = StringCipher::WideToCodePage(value.c_str(), CP_UTF8);
  printf("%s=%s\n", name.c_str(), text.c_str());
}

int Impl(int levels) {
  ProductHelperImpl impl;
  bool ok = impl.Init(levels);
  Print("init", ok ? L"1" : L"0");
  Print("id", impl.GetProductId());
  Print("version", impl.GetProductInfoVersion());
  Print("path", impl.GetProductInfoPath());
  Print("appdata", impl.GetAppDataDir());
  return 0;
}

int Shared(int argc, wchar_t** argv) {
  for (int i = 0; i < argc; ++i) {
    std::wstring step = argv[i];
    if (step.compare(0, 6, L"touch:") == 0) {
      HANDLE file = CreateFileW(step.substr(6).c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, 0, nullptr);
      if (file != INVALID_HANDLE_VALUE) CloseHandle(file);
      continue;
    }
    int level = _wtoi(step.c_str());
    std::string prefix = "L" + std::to_string(i) + ".";
    Print(prefix + "appdata", ProductHelper::GetAppDataDir(level).GetString());
    Print(prefix + "id", ProductHelper::GetProductId(level).GetString());
    Print(prefix + "index", std::to_wstring(ProductHelper::GetProductIndex(level)));
    Print(prefix + "stored", GetSharedProductHelper(level) ? L"1" : L"0");
  }
  return 0;
}

int Parallel(int threads, int level) {
  std::vector<std::thread> workers;
  std::vector<ProductHelperImpl*> instances(static_cast<size_t>(threads), nullptr);
  std::vector<std::wstring> ids(static_cast<size_t>(threads));
  HANDLE start = CreateEventW(nullptr, TRUE, FALSE, nullptr);
  for (int i = 0; i < threads; ++i) {
    workers.emplace_back([&, i] {
      WaitForSingleObject(start, INFINITE);
      ids[static_cast<size_t>(i)] = ProductHelper::GetProductId(level).GetString();
      instances[static_cast<size_t>(i)] = GetSharedProductHelper(level).get();
    });
  }
  SetEvent(start);
  for (auto& w : workers) w.join();
  CloseHandle(start);
  std::set<ProductHelperImpl*> distinct(instances.begin(), instances.end());
  std::set<std::wstring> distinctIds(ids.begin(), ids.end());
  Print("instances", std::to_wstring(distinct.size()));
  Print("null", distinct.count(nullptr) ? L"1" : L"0");
  Print("ids", std::to_wstring(distinctIds.size()));
  Print("id", ids.empty() ? L"" : ids[0]);
  return 0;
}

int Global(int levels) {
  ProductHelper* first = GetProductHelper();
  Print("before", first->GetProductId());
  Print("init1", InitProductHelper(levels) ? L"1" : L"0");
  Print("init2", InitProductHelper(levels) ? L"1" : L"0");
  Print("same", GetProductHelper() == first ? L"1" : L"0");
  Print("id", first->GetProductId());
  Print("update", first->GetGeneralValueByKey(L"update_sign_url"));
  UninitProductHelper();
  Print("afterUninit", first->GetProductId());
  Print("versionKept", first->GetProductInfoVersion());
  return 0;
}

}  // namespace

int main() {
  int argc = 0;
  wchar_t** argv = CommandLineToArgvW(GetCommandLineW(), &argc);
  if (!argv || argc < 3) return 2;
  std::wstring command = argv[1];
  if (command == L"impl") return Impl(_wtoi(argv[2]));
  if (command == L"shared") return Shared(argc - 2, argv + 2);
  if (command == L"parallel" && argc >= 4) return Parallel(_wtoi(argv[2]), _wtoi(argv[3]));
  if (command == L"global") return Global(_wtoi(argv[2]));
  return 2;
}
