// What the loader maps and loads with Brivelo.exe, before its entry point runs, in every process
// it starts (the browser and each renderer). Libraries that only some paths need load when those
// paths first run: the tooltip's common controls, the signer check's trust and certificate
// libraries, the statistics downloads' and the adapter query's; each cost every start its load time.
// The debug information lies beside the executable: inside, every start would map it too.
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <set>
#include <string>
#include <vector>

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

// Names of the sections in the image file at `path`, long names ("/offset") read from the COFF
// string table; empty when the file is not an image.
std::vector<std::string> SectionNames(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  const std::string file((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::vector<std::string> names;
  IMAGE_DOS_HEADER dos = {};
  if (file.size() < sizeof(dos)) return names;
  memcpy(&dos, file.data(), sizeof(dos));
  const size_t headerAt = size_t(dos.e_lfanew) + sizeof(DWORD);
  IMAGE_FILE_HEADER header = {};
  if (dos.e_lfanew < 0 || headerAt + sizeof(header) > file.size()) return names;
  memcpy(&header, file.data() + headerAt, sizeof(header));
  const size_t strings = size_t(header.PointerToSymbolTable) + size_t(header.NumberOfSymbols) * 18;
  size_t at = headerAt + sizeof(header) + header.SizeOfOptionalHeader;
  for (WORD i = 0; i < header.NumberOfSections && at + sizeof(IMAGE_SECTION_HEADER) <= file.size(); ++i) {
    IMAGE_SECTION_HEADER section = {};
    memcpy(&section, file.data() + at, sizeof(section));
    at += sizeof(section);
    std::string name(reinterpret_cast<const char*>(section.Name), strnlen(reinterpret_cast<const char*>(section.Name), 8));
    if (name.size() > 1 && name[0] == '/') {
      const size_t offset = strings + strtoul(name.c_str() + 1, nullptr, 10);
      name = offset < file.size() ? std::string(file.c_str() + offset) : std::string();
    }
    names.push_back(name);
  }
  return names;
}

TEST(ExecutableImports, DebugInformationLiesBesideTheExecutable) {
  const std::vector<std::string> names = SectionNames(ExeDir() + L"Brivelo.exe");
  ASSERT_NE(names.end(), std::find(names.begin(), names.end(), ".text")) << ::testing::PrintToString(names);
  for (const std::string& name : names) EXPECT_NE(0, name.compare(0, 7, ".debug_")) << name << " is mapped with it";
  EXPECT_NE(names.end(), std::find(names.begin(), names.end(), ".gnu_debuglink")) << ::testing::PrintToString(names);
  EXPECT_NE(INVALID_FILE_ATTRIBUTES, GetFileAttributesW((ExeDir() + L"Brivelo.exe.debug").c_str()));
}

}  // namespace
