#include <windows.h>

#include "base/zip_archive.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstring>
#include <set>
#include <string>
#include <vector>

#include "base/deflate_codec.h"
#include "base/zip_block_allocator.h"
#include "tests/base/log_test_support.h"

namespace {

using log_test::ReadBytes;
using log_test::TempFolder;
using log_test::WriteBytes;

std::string Pattern(size_t size, uint32_t seed) {
  std::string s(size, '\0');
  uint32_t x = seed;
  for (size_t i = 0; i < size; ++i) {
    x = x * 1103515245u + 12345u;
    // Mostly text-like with some noise, so that it compresses a little.
    s[i] = (x >> 28) < 12 ? char('a' + (i / 7) % 26) : char(x >> 16);
  }
  return s;
}

uint16_t Get16(const std::string& s, size_t at) { return uint16_t(uint8_t(s[at]) | (uint8_t(s[at + 1]) << 8)); }

std::string Extract(ZipArchive* archive, uint32_t index) {
  ZipEntryInfo info = {};
  if (!ZipArchive::GetEntry(archive, index, &info)) return "<no entry>";
  std::string data(info.uncompressedSize, '\0');
  std::vector<uint8_t> buffer(info.uncompressedSize + 1);
  if (!ZipArchive::ExtractToBuffer(archive, index, buffer.data(), info.uncompressedSize)) return "<failed>";
  return std::string(buffer.begin(), buffer.begin() + info.uncompressedSize);
}

std::vector<std::wstring> EntryNames(ZipArchive* archive) {
  std::vector<std::wstring> names;
  for (uint32_t i = 0; i < ZipArchive::GetEntryCount(archive); ++i) {
    ZipEntryInfo info = {};
    if (ZipArchive::GetEntry(archive, i, &info)) names.push_back(info.name);
  }
  return names;
}

class ZipWriter : public ::testing::Test {
 protected:
  std::wstring Path(const wchar_t* name) const { return m_folder.Path() + L"\\" + name; }
  TempFolder m_folder;
};

TEST_F(ZipWriter, OneBufferRoundTripsWithTheExpectedLayout) {
  const std::wstring zip = Path(L"one.zip");
  ZipArchive* writer = ZipArchive::CreateFile(zip);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(ZipArchive::AddBuffer(writer, reinterpret_cast<const uint8_t*>("abc"), 3, L"a.txt"));
  // A writer is not a reader.
  ZipEntryInfo info = {};
  EXPECT_FALSE(ZipArchive::GetEntry(writer, 0, &info));
  ASSERT_TRUE(ZipArchive::Close(writer));

  uint8_t deflated[1024];
  uint32_t crc = 0;
  const int32_t c = DeflateCodec::Compress(reinterpret_cast<const uint8_t*>("abc"), 3, deflated, sizeof(deflated), &crc);
  ASSERT_GT(c, 0);
  const std::string bytes = ReadBytes(zip);
  EXPECT_EQ(bytes.size(), size_t(30 + 5 + c + 46 + 5 + 22));
  EXPECT_EQ(bytes.compare(0, 4, "PK\x03\x04"), 0);
  EXPECT_EQ(Get16(bytes, 4), 20);  // version needed
  EXPECT_EQ(Get16(bytes, 6), 0);   // flags: ANSI name, no descriptor
  EXPECT_EQ(Get16(bytes, 8), 8);   // deflated
  EXPECT_EQ(bytes.compare(30, 5, "a.txt"), 0);
  const size_t central = 30 + 5 + size_t(c);
  EXPECT_EQ(bytes.compare(central, 4, "PK\x01\x02"), 0);
  EXPECT_EQ(Get16(bytes, central + 4), 20);  // made by: MS-DOS attributes, 2.0

  ZipArchive* reader = ZipArchive::OpenFile(zip);
  ASSERT_NE(reader, nullptr);
  ASSERT_TRUE(ZipArchive::GetEntry(reader, 0, &info));
  EXPECT_STREQ(info.name, L"a.txt");
  EXPECT_EQ(info.attributes, 0x20u);
  EXPECT_EQ(info.compressedSize, uint32_t(c));
  EXPECT_EQ(Extract(reader, 0), "abc");  // the reader checks the CRC-32
  EXPECT_TRUE(ZipArchive::Close(reader));
}

TEST_F(ZipWriter, FoldersEmptyFilesAndLargeEntriesRoundTrip) {
  const std::wstring folder = Path(L"F");
  ASSERT_TRUE(CreateDirectoryW(folder.c_str(), nullptr));
  ASSERT_TRUE(CreateDirectoryW((folder + L"\\s").c_str(), nullptr));
  const std::string x = Pattern(70000, 1);
  WriteBytes(folder + L"\\x.bin", x);
  WriteBytes(Path(L"empty.txt"), "");
  // Above 2 MiB of compression room, so its block comes from a temporary file.
  const std::string large = Pattern(1500000, 2);

  const std::wstring zip = Path(L"tree.zip");
  ZipArchive* writer = ZipArchive::CreateFile(zip);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(ZipArchive::AddPath(writer, folder, L""));
  EXPECT_TRUE(ZipArchive::AddPath(writer, Path(L"empty.txt"), L"renamed/empty.txt"));
  EXPECT_TRUE(ZipArchive::AddBuffer(writer, reinterpret_cast<const uint8_t*>(large.data()), uint32_t(large.size()),
                                    L"large.bin"));
  EXPECT_TRUE(ZipArchive::AddBuffer(writer, reinterpret_cast<const uint8_t*>(""), 0, L"nothing.bin"));
  ASSERT_TRUE(ZipArchive::Close(writer));

  ZipArchive* reader = ZipArchive::OpenFile(zip);
  ASSERT_NE(reader, nullptr);
  const std::vector<std::wstring> names = EntryNames(reader);
  ASSERT_EQ(names.size(), 6u);
  EXPECT_EQ(names[0], L"F/");  // the folder first, then what it holds in listing order
  EXPECT_EQ(std::set<std::wstring>(names.begin() + 1, names.begin() + 3),
            (std::set<std::wstring>{L"F/x.bin", L"F/s/"}));
  EXPECT_EQ(std::vector<std::wstring>(names.begin() + 3, names.end()),
            (std::vector<std::wstring>{L"renamed/empty.txt", L"large.bin", L"nothing.bin"}));

  uint32_t index = 0;
  ZipEntryInfo info = {};
  ASSERT_TRUE(ZipArchive::FindEntry(reader, L"F/s/", &index, &info));
  EXPECT_EQ(info.attributes, 0x10u);
  EXPECT_EQ(info.uncompressedSize, 0u);
  ASSERT_TRUE(ZipArchive::FindEntry(reader, L"F/x.bin", &index, &info));
  EXPECT_EQ(Extract(reader, index), x);
  EXPECT_LT(info.compressedSize, info.uncompressedSize);
  ASSERT_TRUE(ZipArchive::FindEntry(reader, L"large.bin", &index, &info));
  EXPECT_TRUE(Extract(reader, index) == large);
  for (const wchar_t* name : {L"renamed/empty.txt", L"nothing.bin"}) {
    ASSERT_TRUE(ZipArchive::FindEntry(reader, name, &index, &info)) << name;
    EXPECT_EQ(info.compressedSize, 0u);
    EXPECT_EQ(info.uncompressedSize, 0u);
    EXPECT_EQ(Extract(reader, index), "");
  }
  EXPECT_TRUE(ZipArchive::Close(reader));

  // Stored, not deflated: method 0 in the local header of the empty file.
  const std::string bytes = ReadBytes(zip);
  const size_t local = bytes.find("renamed/empty.txt") - 30;
  EXPECT_EQ(Get16(bytes, local + 8), 0);
}

TEST_F(ZipWriter, RefusedAddsLeaveTheArchiveUsable) {
  const std::wstring zip = Path(L"refusals.zip");
  ZipArchive* writer = ZipArchive::CreateFile(zip);
  ASSERT_NE(writer, nullptr);
  const uint8_t* data = reinterpret_cast<const uint8_t*>("data");
  EXPECT_FALSE(ZipArchive::AddBuffer(writer, data, 4, L""));
  EXPECT_FALSE(ZipArchive::AddBuffer(writer, nullptr, 4, L"null.bin"));
  EXPECT_FALSE(ZipArchive::AddBuffer(nullptr, data, 4, L"x"));
  EXPECT_FALSE(ZipArchive::AddPath(writer, Path(L"missing.txt"), L""));
  // A name the ANSI code page (1252 here) cannot hold would be written with "?" in it.
  EXPECT_FALSE(ZipArchive::AddBuffer(writer, data, 4, L"\x4E2D\x6587.txt"));
  // 259 units fit the name field with its terminator; 260 do not.
  EXPECT_FALSE(ZipArchive::AddBuffer(writer, data, 4, std::wstring(260, L'n')));
  EXPECT_TRUE(ZipArchive::AddBuffer(writer, data, 4, std::wstring(259, L'n')));
  EXPECT_TRUE(ZipArchive::AddBuffer(writer, data, 4, L"caf\xE9.txt"));  // in code page 1252

  // A file of 4 GiB (sparse, so it costs no disk) cannot be described with 32-bit sizes.
  const std::wstring huge = Path(L"huge.bin");
  HANDLE file = CreateFileW(huge.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  LARGE_INTEGER end;
  end.QuadPart = 0x100000001LL;
  EXPECT_TRUE(SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file));
  CloseHandle(file);
  EXPECT_FALSE(ZipArchive::AddPath(writer, huge, L""));
  ASSERT_TRUE(ZipArchive::Close(writer));

  ZipArchive* reader = ZipArchive::OpenFile(zip);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(EntryNames(reader), (std::vector<std::wstring>{std::wstring(259, L'n'), L"caf\xE9.txt"}));
  EXPECT_EQ(Extract(reader, 1), "data");
  EXPECT_FALSE(ZipArchive::AddBuffer(reader, data, 4, L"into-a-reader"));
  EXPECT_TRUE(ZipArchive::Close(reader));
}

TEST_F(ZipWriter, TheEntryCountStopsAtWhatTheEndRecordCanCount) {
  const std::wstring zip = Path(L"many.zip");
  ZipArchive* writer = ZipArchive::CreateFile(zip);
  ASSERT_NE(writer, nullptr);
  const uint8_t byte = 'x';
  bool all = true;
  for (int i = 0; i < 0xFFFF && all; ++i) {
    all = ZipArchive::AddBuffer(writer, &byte, 0, L"e" + std::to_wstring(i));
  }
  EXPECT_TRUE(all);
  EXPECT_FALSE(ZipArchive::AddBuffer(writer, &byte, 1, L"one-too-many"));
  ASSERT_TRUE(ZipArchive::Close(writer));
  ZipArchive* reader = ZipArchive::OpenFile(zip);
  ASSERT_NE(reader, nullptr);
  EXPECT_EQ(ZipArchive::GetEntryCount(reader), 0xFFFFu);
  EXPECT_TRUE(ZipArchive::Close(reader));
}

TEST_F(ZipWriter, LastWriteTimeSurvivesToTwoSeconds) {
  const std::wstring source = Path(L"dated.txt");
  WriteBytes(source, "dated");
  // 2021-06-15 10:20:31 local time: the MS-DOS form keeps even seconds only.
  SYSTEMTIME localTime = {2021, 6, 2, 15, 10, 20, 31, 0};
  FILETIME local, utc;
  ASSERT_TRUE(SystemTimeToFileTime(&localTime, &local) && LocalFileTimeToFileTime(&local, &utc));
  HANDLE file = CreateFileW(source.c_str(), FILE_WRITE_ATTRIBUTES, 0, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  ASSERT_TRUE(SetFileTime(file, nullptr, nullptr, &utc));
  CloseHandle(file);

  const std::wstring zip = Path(L"dated.zip");
  ZipArchive* writer = ZipArchive::CreateFile(zip);
  ASSERT_NE(writer, nullptr);
  EXPECT_TRUE(ZipArchive::AddPath(writer, source, L""));
  ASSERT_TRUE(ZipArchive::Close(writer));

  ZipArchive* reader = ZipArchive::OpenFile(zip);
  ASSERT_NE(reader, nullptr);
  const std::wstring target = Path(L"out\\dated.txt");
  EXPECT_TRUE(ZipArchive::ExtractToFile(reader, 0, target));
  EXPECT_TRUE(ZipArchive::Close(reader));

  file = CreateFileW(target.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(file, INVALID_HANDLE_VALUE);
  FILETIME restored;
  ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &restored));
  CloseHandle(file);
  ULARGE_INTEGER a, b;
  a.LowPart = utc.dwLowDateTime, a.HighPart = utc.dwHighDateTime;
  b.LowPart = restored.dwLowDateTime, b.HighPart = restored.dwHighDateTime;
  const ULONGLONG gap = a.QuadPart > b.QuadPart ? a.QuadPart - b.QuadPart : b.QuadPart - a.QuadPart;
  EXPECT_LE(gap, 20000000ull);  // 2 s in 100 ns units
  EXPECT_EQ(ReadBytes(target), "dated");
}

// The mem*.tmp files in the temporary folder, with their sizes.
std::set<std::pair<std::wstring, DWORD>> MemFiles() {
  wchar_t temp[MAX_PATH + 1] = {};
  GetTempPathW(MAX_PATH, temp);
  std::set<std::pair<std::wstring, DWORD>> files;
  WIN32_FIND_DATAW found;
  HANDLE find = FindFirstFileW((std::wstring(temp) + L"mem*.tmp").c_str(), &found);
  if (find == INVALID_HANDLE_VALUE) return files;
  do {
    files.insert({found.cFileName, found.nFileSizeLow});
  } while (FindNextFileW(find, &found));
  FindClose(find);
  return files;
}

// The files in after that are not in before.
std::vector<std::pair<std::wstring, DWORD>> Added(const std::set<std::pair<std::wstring, DWORD>>& before,
                                                  const std::set<std::pair<std::wstring, DWORD>>& after) {
  std::vector<std::pair<std::wstring, DWORD>> added;
  std::set_difference(after.begin(), after.end(), before.begin(), before.end(), std::back_inserter(added));
  return added;
}

TEST(ZipBlockAllocator, SmallBlocksFromTheHeapLargeOnesFromTemporaryFiles) {
  ZipBlockAllocator allocator;
  const auto before = MemFiles();
  void* heap = allocator.Alloc(0x200000);
  ASSERT_NE(heap, nullptr);
  EXPECT_TRUE(Added(before, MemFiles()).empty());

  void* mapped = allocator.Alloc(0x200001);
  ASSERT_NE(mapped, nullptr);
  const auto added = Added(before, MemFiles());
  ASSERT_EQ(added.size(), 1u);
  EXPECT_EQ(added[0].second, 0x200001u);
  memset(mapped, 0x5A, 0x200001);  // the whole view is writable

  EXPECT_TRUE(allocator.Free(mapped));
  EXPECT_EQ(MemFiles().count(added[0]), 0u);  // deleted with its last handle
  EXPECT_TRUE(allocator.Free(heap));
  EXPECT_FALSE(allocator.Free(heap));  // no longer in the table
  int local = 0;
  EXPECT_FALSE(allocator.Free(&local));
}

TEST(ZipBlockAllocator, ReallocKeepsOrCopies) {
  ZipBlockAllocator allocator;
  uint8_t* block = static_cast<uint8_t*>(allocator.Realloc(nullptr, 100));
  ASSERT_NE(block, nullptr);
  for (int i = 0; i < 100; ++i) block[i] = uint8_t(i);
  EXPECT_EQ(allocator.Realloc(block, 50), block);
  EXPECT_EQ(allocator.Realloc(block, 100), block);

  uint8_t* grown = static_cast<uint8_t*>(allocator.Realloc(block, 200));
  ASSERT_NE(grown, nullptr);
  EXPECT_NE(grown, block);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(grown[i], uint8_t(i)) << i;
  EXPECT_FALSE(allocator.Free(block));  // released by the move

  // From the heap into a temporary file, the bytes come along.
  uint8_t* mapped = static_cast<uint8_t*>(allocator.Realloc(grown, 0x300000));
  ASSERT_NE(mapped, nullptr);
  for (int i = 0; i < 100; ++i) ASSERT_EQ(mapped[i], uint8_t(i)) << i;
  int local = 0;
  EXPECT_EQ(allocator.Realloc(&local, 10), nullptr);
  EXPECT_TRUE(allocator.Free(mapped));
}

}  // namespace
