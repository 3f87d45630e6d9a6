// The libraries the loader loads with Brivelo.exe, before its entry point runs, in every process
// it starts (the browser and each renderer). Libraries that only some paths need load when those
// paths first run: the tooltip's common controls, the signer check's trust and certificate
// libraries, the statistics downloads' and the adapter query's; each cost every start its load time.
#include <windows.h>

#include <cctype>
#include <set>
#include <string>

#include <gtest/gtest.h>

#include "tests/tools/test_files.h"

namespace {

// Names (lower case) of the DLLs in the import directory of the image at `path`; empty when it
// cannot be read. The image is mapped as an image resource: sections at their addresses, nothing run.
std::set<std::string> ImportedLibraries(const std::wstring& path) {
  std::set<std::string> names;
  HMODULE module = LoadLibraryExW(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE);
  if (!module) return names;
  const BYTE* base = reinterpret_cast<const BYTE*>(reinterpret_cast<ULONG_PTR>(module) & ~static_cast<ULONG_PTR>(3));
  const auto* dos = reinterpret_cast<const IMAGE_DOS_HEADER*>(base);
  const auto* nt = reinterpret_cast<const IMAGE_NT_HEADERS*>(base + dos->e_lfanew);
  const IMAGE_DATA_DIRECTORY& directory = nt->OptionalHeader.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT];
  if (directory.VirtualAddress != 0) {
    for (const auto* entry = reinterpret_cast<const IMAGE_IMPORT_DESCRIPTOR*>(base + directory.VirtualAddress);
         entry->Name != 0; ++entry) {
      std::string name = reinterpret_cast<const char*>(base + entry->Name);
      for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
      names.insert(name);
    }
  }
  FreeLibrary(module);
  return names;
}

TEST(ExecutableImports, LibrariesOnlySomePathsNeedAreNotLoadedWithTheExecutable) {
  const std::set<std::string> imports = ImportedLibraries(ExeDir() + L"Brivelo.exe");
  // The reader works: the executable cannot start without these.
  ASSERT_EQ(1u, imports.count("kernel32.dll")) << ::testing::PrintToString(imports);
  ASSERT_EQ(1u, imports.count("user32.dll")) << ::testing::PrintToString(imports);
  for (const char* library : {"comctl32.dll", "crypt32.dll", "wintrust.dll", "urlmon.dll", "iphlpapi.dll"}) {
    EXPECT_EQ(0u, imports.count(library)) << library << " loads with the executable";
  }
}

}  // namespace
