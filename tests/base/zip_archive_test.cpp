#include <windows.h>

#include "base/zip_archive.h"

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "base/string_cipher.h"
#include "tests/base/fixture_file.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

uint32_t Get32(const std::string& s, size_t at) {
  return uint32_t(uint8_t(s[at])) | (uint32_t(uint8_t(s[at + 1])) << 8) | (uint32_t(uint8_t(s[at + 2])) << 16) |
         (uint32_t(uint8_t(s[at + 3])) << 24);
}

void Set16(std::string* s, size_t at, uint32_t v) {
  (*s)[at] = char(v & 0xFF);
  (*s)[at + 1] = char((v >> 8) & 0xFF);
}

void Set32(std::string* s, size_t at, uint32_t v) {
  Set16(s, at, v & 0xFFFF);
  Set16(s, at + 2, v >> 16);
}

// Positions inside an archive made by BuildZipArchive without a comment.
size_t EndRecord(const std::string& zip) { return zip.rfind(std::string("PK\x05\x06", 4)); }
size_t CentralDirectory(const std::string& zip) { return Get32(zip, EndRecord(zip) + 16); }

ZipBuildEntry Entry(const std::string& name, const std::string& data, bool deflate = true) {
  ZipBuildEntry e;
  e.name = name;
  e.data = data;
  e.deflate = deflate;
  return e;
}

std::string Text(size_t size) {
  std::string s;
  for (size_t i = 0; i < size; ++i) s.push_back(char('a' + (i * 7) % 26));
  return s;
}

// Owns an opened archive and the bytes it borrows, for one test.
struct Opened {
  explicit Opened(std::string bytes)
      : block(std::move(bytes)), archive(ZipArchive::OpenFromMemory(block.data(), uint32_t(block.size()))) {}
  ~Opened() {
    if (archive != nullptr) {
      EXPECT_TRUE(ZipArchive::Close(archive));
    }
  }
  const std::string block;
  ZipArchive* archive;
};

struct OpenCase {
  const char* name;
  std::function<std::string()> make;
  bool opens;
  uint32_t count;
};

class ZipArchiveOpen : public ::testing::TestWithParam<OpenCase> {};

TEST_P(ZipArchiveOpen, AcceptsOnlyWellFormedDirectories) {
  const std::string bytes = GetParam().make();
  Opened opened(bytes);
  EXPECT_EQ(GetParam().opens, opened.archive != nullptr);
  EXPECT_EQ(GetParam().count, ZipArchive::GetEntryCount(opened.archive));
}

std::string OneEntry() { return BuildZipArchive({Entry("a.txt", Text(100))}); }

std::string Patched(std::string zip, size_t at, uint32_t value, int width) {
  if (width == 2) {
    Set16(&zip, at, value);
  } else {
    Set32(&zip, at, value);
  }
  return zip;
}

INSTANTIATE_TEST_SUITE_P(EndRecord, ZipArchiveOpen, ::testing::Values(
    OpenCase{"Plain", [] { return OneEntry(); }, true, 1},
    OpenCase{"SevenZeroBytesAfter", [] { return OneEntry() + std::string(7, '\0'); }, true, 1},
    OpenCase{"LargestComment", [] { return BuildZipArchive({Entry("a.txt", "x")}, std::string(65535, 'c')); }, true, 1},
    OpenCase{"EndRecordAtSearchLimit", [] { return OneEntry() + std::string(65535, '\0'); }, true, 1},
    OpenCase{"EndRecordBeyondSearchLimit", [] { return OneEntry() + std::string(65536, '\0'); }, false, 0},
    OpenCase{"NoEntries", [] { return BuildZipArchive({}); }, true, 0},
    OpenCase{"TwentyOneBytes", [] { return BuildZipArchive({}).substr(0, 21); }, false, 0},
    OpenCase{"NoEndRecord", [] { return std::string(100, 'x'); }, false, 0},
    OpenCase{"DiskNotZero", [] { std::string z = OneEntry(); return Patched(z, EndRecord(z) + 4, 1, 2); }, false, 0},
    OpenCase{"CountsDiffer", [] { std::string z = OneEntry(); return Patched(z, EndRecord(z) + 8, 2, 2); }, false, 0}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

// Offsets and lengths that point outside the archive fail the open or the extraction.
INSTANTIATE_TEST_SUITE_P(Bounds, ZipArchiveOpen, ::testing::Values(
    // 22 bytes claiming 65,535 entries: refused before anything is reserved for them.
    OpenCase{"CountAboveTheBytes", [] { std::string z(22, '\0'); z[0] = 'P'; z[1] = 'K'; z[2] = 5; z[3] = 6;
                                        Set16(&z, 8, 0xFFFF); Set16(&z, 10, 0xFFFF); return z; }, false, 0},
    OpenCase{"CentralDirectoryPastEnd",
             [] { std::string z = OneEntry(); return Patched(z, EndRecord(z) + 16, uint32_t(z.size()), 4); }, false, 0},
    OpenCase{"CentralDirectoryFarPastEnd",
             [] { std::string z = OneEntry(); return Patched(z, EndRecord(z) + 16, 0xFFFFFFF0u, 4); }, false, 0},
    OpenCase{"CentralRecordCutByEnd",
             [] { std::string z = OneEntry(); return Patched(z, EndRecord(z) + 16, uint32_t(z.size() - 40), 4); }, false, 0},
    OpenCase{"NameLengthOverruns",
             [] { std::string z = OneEntry(); return Patched(z, CentralDirectory(z) + 28, 0xFFFF, 2); }, false, 0},
    OpenCase{"CommentLengthOverruns",
             [] { std::string z = OneEntry(); return Patched(z, CentralDirectory(z) + 32, 0xFFFF, 2); }, false, 0},
    OpenCase{"WrongCentralSignature",
             [] { std::string z = OneEntry(); return Patched(z, CentralDirectory(z), 0x02014B51, 4); }, false, 0},
    OpenCase{"SecondRecordMissing",
             [] { std::string z = OneEntry(); z = Patched(z, EndRecord(z) + 8, 2, 2); return Patched(z, EndRecord(z) + 10, 2, 2); },
             false, 0}),
    [](const ::testing::TestParamInfo<OpenCase>& info) { return std::string(info.param.name); });

struct DataFault {
  const char* name;
  size_t field;  // offset inside the central record, or in the local header when local is true
  bool local;
  uint32_t value;
  int width;
};

class ZipArchiveDataBounds : public ::testing::TestWithParam<DataFault> {};

TEST_P(ZipArchiveDataBounds, ExtractionFailsCleanly) {
  const std::string data = Text(300);
  std::string zip = BuildZipArchive({Entry("a.txt", data)});
  const DataFault& f = GetParam();
  const size_t at = (f.local ? 0 : CentralDirectory(zip)) + f.field;
  zip = Patched(zip, at, f.value, f.width);
  Opened opened(zip);
  ASSERT_NE(nullptr, opened.archive);
  std::string out(data.size(), '\0');
  EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, reinterpret_cast<uint8_t*>(&out[0]), uint32_t(out.size())));
}

INSTANTIATE_TEST_SUITE_P(Table, ZipArchiveDataBounds, ::testing::Values(
    DataFault{"LocalHeaderPastEnd", 42, false, 0x7FFFFFF0u, 4},
    DataFault{"DataPastEnd", 20, false, 0x10000000u, 4},
    DataFault{"LocalNameLengthOverruns", 26, true, 0xFFFF, 2},
    DataFault{"LocalExtraLengthOverruns", 28, true, 0xFFFF, 2}),
    [](const ::testing::TestParamInfo<DataFault>& info) { return std::string(info.param.name); });

TEST(ZipArchive, LocalHeaderStartingInsideTheLastBytesFails) {
  std::string zip = BuildZipArchive({Entry("a.txt", "abc")});
  zip = Patched(zip, CentralDirectory(zip) + 42, uint32_t(zip.size() - 10), 4);
  Opened opened(zip);
  ASSERT_NE(nullptr, opened.archive);
  uint8_t out[3];
  EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, out, 3));
}

class ZipArchiveExtract : public ::testing::Test {
 protected:
  void SetUp() override {
    m_strData = Text(5000);
    ZipBuildEntry method12 = Entry("method12.bin", "abc");
    method12.methodOverride = 12;
    ZipBuildEntry folder = Entry("dir/", "");
    folder.externalAttributes = 0x10;
    m_strZip = BuildZipArchive({Entry("deflated.txt", m_strData), Entry("stored.txt", "stored!", false), method12,
                                Entry("empty-stored", "", false), Entry("empty-deflated", ""), folder});
    m_pArchive = ZipArchive::OpenFromMemory(m_strZip.data(), uint32_t(m_strZip.size()));
    ASSERT_NE(nullptr, m_pArchive);
  }
  void TearDown() override {
    if (m_pArchive) ZipArchive::Close(m_pArchive);
  }
  bool Extract(uint32_t index, std::string* buffer) {
    return ZipArchive::ExtractToBuffer(m_pArchive, index, reinterpret_cast<uint8_t*>(&(*buffer)[0]), uint32_t(buffer->size()));
  }

  std::string m_strData;
  std::string m_strZip;
  ZipArchive* m_pArchive = nullptr;
};

TEST_F(ZipArchiveExtract, DeflatedNeedsExactlyItsSize) {
  std::string exact(m_strData.size(), '\0');
  ASSERT_TRUE(Extract(0, &exact));
  EXPECT_EQ(m_strData, exact);
  std::string larger(m_strData.size() + 1, '\0');
  EXPECT_FALSE(Extract(0, &larger));
  std::string smaller(m_strData.size() - 1, '#');
  EXPECT_FALSE(Extract(0, &smaller));
  EXPECT_EQ(std::string(m_strData.size() - 1, '#'), smaller);  // refused before reading any data
  // Extraction is repeatable.
  std::string again(m_strData.size(), '\0');
  ASSERT_TRUE(Extract(0, &again));
  EXPECT_EQ(m_strData, again);
}

TEST_F(ZipArchiveExtract, StoredIntoLargerBufferLeavesTheRestUntouched) {
  std::string buffer(12, '#');
  ASSERT_TRUE(Extract(1, &buffer));
  EXPECT_EQ("stored!#####", buffer);
}

TEST_F(ZipArchiveExtract, UnknownMethodAndFolderFail) {
  std::string buffer(3, '\0');
  EXPECT_FALSE(Extract(2, &buffer));
  std::string folder(1, '\0');
  ZipEntryInfo info;
  ASSERT_TRUE(ZipArchive::GetEntry(m_pArchive, 5, &info));
  EXPECT_EQ(std::wstring(L"dir/"), info.name);
  EXPECT_EQ(0x10u, info.attributes & 0x10);
  EXPECT_FALSE(Extract(5, &folder));
  EXPECT_FALSE(Extract(6, &folder));  // past the last entry
}

TEST_F(ZipArchiveExtract, ZeroByteEntriesExtractIntoANonNullBuffer) {
  uint8_t anchor = 0x5A;
  EXPECT_TRUE(ZipArchive::ExtractToBuffer(m_pArchive, 3, &anchor, 0));
  EXPECT_TRUE(ZipArchive::ExtractToBuffer(m_pArchive, 4, &anchor, 0));
  EXPECT_EQ(0x5A, anchor);
  EXPECT_FALSE(ZipArchive::ExtractToBuffer(m_pArchive, 3, nullptr, 0));
}

TEST(ZipArchive, ChangedDataFailsTheCrcCheck) {
  for (bool deflate : {false, true}) {
    const std::string data = Text(64);
    std::string zip = BuildZipArchive({Entry("a.txt", data, deflate)});
    if (deflate) {
      // Flip the stored CRC: the data still inflates, the check must catch it.
      zip[CentralDirectory(zip) + 16] ^= 0x01;
    } else {
      zip[30 + 5 + 10] ^= 0x01;  // a byte of the stored data
    }
    Opened opened(zip);
    ASSERT_NE(nullptr, opened.archive);
    std::string out(data.size(), '\0');
    EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, reinterpret_cast<uint8_t*>(&out[0]), uint32_t(out.size())))
        << (deflate ? "deflated" : "stored");
  }
}

// A stored entry whose data is shorter than its claimed size, with the CRC of the short data:
// copying only the data and checking its CRC would report success with the rest of the
// buffer never written. Likewise a deflated stream that yields fewer or more bytes.
TEST(ZipArchive, DataThatIsNotExactlyTheClaimedSizeFails) {
  const std::string data = Text(40);
  for (const uint32_t claimed : {41u, 16u << 20}) {
    std::string zip = BuildZipArchive({Entry("short.bin", data, false)});
    zip = Patched(zip, CentralDirectory(zip) + 24, claimed, 4);
    Opened opened(zip);
    ASSERT_NE(nullptr, opened.archive);
    std::vector<uint8_t> out(claimed, 0xA5);
    EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, out.data(), claimed)) << claimed;
  }
  for (const uint32_t claimed : {39u, 41u}) {
    std::string zip = BuildZipArchive({Entry("deflated.bin", data)});
    zip = Patched(zip, CentralDirectory(zip) + 24, claimed, 4);
    Opened opened(zip);
    ASSERT_NE(nullptr, opened.archive);
    std::vector<uint8_t> out(claimed, 0xA5);
    EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, out.data(), claimed)) << claimed;
  }
  // A stored entry claiming fewer bytes than its data holds fails too.
  std::string zip = BuildZipArchive({Entry("long.bin", data, false)});
  zip = Patched(zip, CentralDirectory(zip) + 24, 39, 4);
  Opened opened(zip);
  std::vector<uint8_t> out(40, 0xA5);
  EXPECT_FALSE(ZipArchive::ExtractToBuffer(opened.archive, 0, out.data(), 40));
}

TEST(ZipArchive, NamesDecodeByTheirFlag) {
  ZipBuildEntry utf8 = Entry("\xE4\xB8\xAD", "1");
  ZipBuildEntry ansi = Entry("\xE4\xB8\xAD", "2");
  ansi.flags = 0;
  Opened opened(BuildZipArchive({utf8, ansi, Entry("dir/file.txt", "3"), Entry("dir/file.txt", "4")}));
  ASSERT_NE(nullptr, opened.archive);
  ASSERT_EQ(4u, ZipArchive::GetEntryCount(opened.archive));
  ZipEntryInfo info;
  ASSERT_TRUE(ZipArchive::GetEntry(opened.archive, 0, &info));
  EXPECT_EQ(std::wstring(L"\u4e2d"), info.name);
  ASSERT_TRUE(ZipArchive::GetEntry(opened.archive, 1, &info));
  wchar_t ansiName[8] = {};
  ASSERT_EQ(3, MultiByteToWideChar(CP_ACP, 0, "\xE4\xB8\xAD", 3, ansiName, 8));
  EXPECT_EQ(std::wstring(ansiName), info.name);

  uint32_t index = 99;
  ASSERT_TRUE(ZipArchive::FindEntry(opened.archive, L"DIR\\FILE.TXT", &index, &info));
  EXPECT_EQ(2u, index);  // duplicates are both listed; the first one is found
  EXPECT_EQ(2u, info.index);
  EXPECT_EQ(1u, info.uncompressedSize);
  ASSERT_TRUE(ZipArchive::GetEntry(opened.archive, 3, &info));
  EXPECT_EQ(std::wstring(L"dir/file.txt"), info.name);
  EXPECT_FALSE(ZipArchive::FindEntry(opened.archive, L"dir/file.tx", &index, nullptr));
}

TEST(ZipArchive, NamesThatDoNotFitTheNameFieldAreRefused) {
  Opened fits(BuildZipArchive({Entry(std::string(259, 'n'), "x")}));
  EXPECT_NE(nullptr, fits.archive);
  Opened tooLong(BuildZipArchive({Entry(std::string(260, 'n'), "x")}));
  EXPECT_EQ(nullptr, tooLong.archive);
}

TEST(ZipArchive, CloseLeavesTheCallersBlockIntact) {
  const std::string zip = BuildZipArchive({Entry("a.txt", Text(50))});
  std::string block = zip;
  ZipArchive* archive = ZipArchive::OpenFromMemory(block.data(), uint32_t(block.size()));
  ASSERT_NE(nullptr, archive);
  EXPECT_TRUE(ZipArchive::Close(archive));
  EXPECT_EQ(zip, block);
  EXPECT_FALSE(ZipArchive::Close(nullptr));
  EXPECT_EQ(nullptr, ZipArchive::OpenFromMemory(nullptr, 100));
}

class ZipArchiveFiles : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    m_strRoot = std::wstring(temp) + L"brivelo_zip_" + testing_fixtures::CurrentTestName();
    RemoveTree(m_strRoot);
    ASSERT_TRUE(CreateDirectoryW(m_strRoot.c_str(), nullptr));
  }
  void TearDown() override { RemoveTree(m_strRoot); }

  static void RemoveTree(const std::wstring& path) {
    WIN32_FIND_DATAW found;
    HANDLE find = FindFirstFileW((path + L"\\*").c_str(), &found);
    if (find != INVALID_HANDLE_VALUE) {
      do {
        const std::wstring name = found.cFileName;
        if (name == L"." || name == L"..") continue;
        const std::wstring child = path + L"\\" + name;
        if (found.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) {
          RemoveTree(child);
        } else {
          DeleteFileW(child.c_str());
        }
      } while (FindNextFileW(find, &found));
      FindClose(find);
    }
    RemoveDirectoryW(path.c_str());
  }
  static bool Exists(const std::wstring& path) { return GetFileAttributesW(path.c_str()) != INVALID_FILE_ATTRIBUTES; }
  static std::string Read(const std::wstring& path) {
    std::string data;
    if (!StringCipher::ReadFileData(path.c_str(), &data)) return std::string();
    return data;
  }

  std::wstring m_strRoot;
};

TEST_F(ZipArchiveFiles, ExtractToFileWritesDataAndTime) {
  ZipBuildEntry dated = Entry("a.txt", Text(3000));
  dated.dosDate = uint16_t(((2021 - 1980) << 9) | (6 << 5) | 15);
  dated.dosTime = uint16_t((9 << 11) | (30 << 5) | (20 / 2));
  const std::string zip = BuildZipArchive({dated, Entry("empty.txt", "", false)});
  Opened opened(zip);
  ASSERT_NE(nullptr, opened.archive);

  const std::wstring path = m_strRoot + L"\\sub\\a.txt";  // the folder is created
  ASSERT_TRUE(ZipArchive::ExtractToFile(opened.archive, 0, path));
  EXPECT_EQ(dated.data, Read(path));
  HANDLE file = CreateFileW(path.c_str(), GENERIC_READ, FILE_SHARE_READ, nullptr, OPEN_EXISTING, 0, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  FILETIME written, local;
  ASSERT_TRUE(GetFileTime(file, nullptr, nullptr, &written));
  CloseHandle(file);
  ASSERT_TRUE(FileTimeToLocalFileTime(&written, &local));
  WORD date = 0, time = 0;
  ASSERT_TRUE(FileTimeToDosDateTime(&local, &date, &time));
  EXPECT_EQ(dated.dosDate, date);
  EXPECT_EQ(dated.dosTime, time);

  const std::wstring empty = m_strRoot + L"\\empty.txt";
  ASSERT_TRUE(ZipArchive::ExtractToFile(opened.archive, 1, empty));
  EXPECT_TRUE(Exists(empty));
  WIN32_FILE_ATTRIBUTE_DATA attributes;
  ASSERT_TRUE(GetFileAttributesExW(empty.c_str(), GetFileExInfoStandard, &attributes));
  EXPECT_EQ(0u, attributes.nFileSizeLow);
}

TEST_F(ZipArchiveFiles, FailedExtractionLeavesNoFileAndEncryptedEntriesTouchNothing) {
  std::string zip = BuildZipArchive({Entry("a.txt", Text(100))});
  zip[CentralDirectory(zip) + 16] ^= 0x01;  // CRC mismatch
  ZipBuildEntry encrypted = Entry("secret.txt", "abc", false);
  encrypted.flags |= 0x0001;
  const std::string locked = BuildZipArchive({encrypted});

  Opened bad(zip);
  ASSERT_NE(nullptr, bad.archive);
  const std::wstring path = m_strRoot + L"\\a.txt";
  EXPECT_FALSE(ZipArchive::ExtractToFile(bad.archive, 0, path));
  EXPECT_FALSE(Exists(path));

  ASSERT_TRUE(StringCipher::WriteFileData(path.c_str(), "keep me"));
  Opened secret(locked);
  ASSERT_NE(nullptr, secret.archive);
  EXPECT_FALSE(ZipArchive::ExtractToFile(secret.archive, 0, path));
  EXPECT_EQ("keep me", Read(path));
}

TEST_F(ZipArchiveFiles, ExtractAllBuildsTheTreeAndRefusesEscapingNames) {
  ZipBuildEntry folder = Entry("web/", "");
  folder.externalAttributes = 0x10;
  Opened good(BuildZipArchive({folder, Entry("web/css/site.css", "body{}"), Entry("index.html", "<p>")}));
  ASSERT_NE(nullptr, good.archive);
  const std::wstring target = m_strRoot + L"\\out";
  ASSERT_TRUE(ZipArchive::ExtractAll(good.archive, target));
  EXPECT_EQ("body{}", Read(target + L"\\web\\css\\site.css"));
  EXPECT_EQ("<p>", Read(target + L"\\index.html"));

  for (const char* name : {"../escape.txt", "web/../../escape.txt", "/escape.txt", "\\escape.txt", "C:escape.txt",
                           "C:\\escape.txt"}) {
    Opened evil(BuildZipArchive({Entry(name, "x")}));
    ASSERT_NE(nullptr, evil.archive) << name;
    EXPECT_FALSE(ZipArchive::ExtractAll(evil.archive, target)) << name;
  }
  EXPECT_FALSE(Exists(m_strRoot + L"\\escape.txt"));
  EXPECT_FALSE(Exists(L"C:\\escape.txt"));
}

TEST_F(ZipArchiveFiles, OpenFileReadsThroughAMapping) {
  const std::string zip = BuildZipArchive({Entry("a.txt", "from a file")});
  const std::wstring path = m_strRoot + L"\\archive.zip";
  ASSERT_TRUE(StringCipher::WriteFileData(path.c_str(), zip));
  ZipArchive* archive = ZipArchive::OpenFile(path);
  ASSERT_NE(nullptr, archive);
  uint32_t index = 0;
  ZipEntryInfo info;
  ASSERT_TRUE(ZipArchive::FindEntry(archive, L"A.TXT", &index, &info));
  std::string out(info.uncompressedSize, '\0');
  EXPECT_TRUE(ZipArchive::ExtractToBuffer(archive, index, reinterpret_cast<uint8_t*>(&out[0]), uint32_t(out.size())));
  EXPECT_EQ("from a file", out);
  EXPECT_TRUE(ZipArchive::Close(archive));
  EXPECT_TRUE(DeleteFileW(path.c_str()));  // the mapping and the file are released
  EXPECT_EQ(nullptr, ZipArchive::OpenFile(path));
}

}  // namespace
