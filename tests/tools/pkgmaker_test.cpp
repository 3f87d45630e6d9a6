#include <windows.h>

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

#include "base/embedded_key.h"
#include "base/md5.h"
#include "base/rsa_cipher.h"
#include "base/string_cipher.h"
#include "base/zip_archive.h"
#include "tests/base/fixture_file.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

using testing_fixtures::FixturePath;
using testing_fixtures::ReadFixture;

namespace {

// Reads a package the way the "zip" URL scheme does and returns the named entry's bytes;
// fails the test on any step that the scheme would refuse.
std::string ReadEntry(const std::string& file, const std::string& key, bool sign, const std::wstring& entry) {
  std::string body = file;
  if (sign) {
    if (file.size() < 4) return "<short>";
    const int n = atoi(file.substr(file.size() - 4).c_str());
    if (n < 0 || size_t(n) > file.size() - 4) return "<length field>";
    const std::string signature = file.substr(file.size() - 4 - size_t(n), size_t(n));
    body = file.substr(0, file.size() - 4 - size_t(n));
    std::string digest;
    if (!RsaCipher::PublicDecrypt(signature, &digest, RsaCipher::GetEmbeddedKey())) return "<signature>";
    wchar_t expected[260] = {};
    const std::string text = body.substr(0, body.find('\0'));
    if (!GetBufferMd5Hex(reinterpret_cast<const BYTE*>(text.data()), int(text.size()), expected, 260)) return "<digest>";
    if (_wcsicmp(StringCipher::CodePageToWide(digest.c_str(), CP_UTF8).c_str(), expected) != 0) return "<mismatch>";
  }
  std::string zip;
  if (!StringCipher::DecryptData(body, key, &zip)) return "<cipher>";
  ZipArchive* archive = ZipArchive::OpenFromMemory(zip.data(), uint32_t(zip.size()));
  if (archive == nullptr) return "<archive>";
  std::string data = "<entry>";
  for (uint32_t i = 0; i < ZipArchive::GetEntryCount(archive); ++i) {
    ZipEntryInfo info;
    if (!ZipArchive::GetEntry(archive, i, &info) || entry != info.name) continue;
    std::string buffer(size_t(info.uncompressedSize) + 1, '\0');
    if (ZipArchive::ExtractToBuffer(archive, i, reinterpret_cast<uint8_t*>(&buffer[0]), info.uncompressedSize)) {
      data = buffer.substr(0, info.uncompressedSize);
    }
  }
  ZipArchive::Close(archive);
  return data;
}

std::string Archive() {
  ZipBuildEntry page;
  page.name = "html/index.html";
  page.data = "<html>\xE4\xB8\xAD</html>";
  ZipBuildEntry empty;
  empty.name = "empty.txt";
  return BuildZipArchive({page, empty});
}

TEST(PackageBuilder, PlainPackageIsBase64OfTheEncipheredArchive) {
  std::string package;
  ASSERT_TRUE(BuildPlainPackage(Archive(), "K\xC3\xA9y", &package));
  EXPECT_EQ(std::string::npos, package.find_first_not_of(
                                   "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/="));
  EXPECT_EQ(0u, package.size() % 4);
  EXPECT_EQ("<html>\xE4\xB8\xAD</html>", ReadEntry(package, "K\xC3\xA9y", false, L"html/index.html"));
  EXPECT_EQ("", ReadEntry(package, "K\xC3\xA9y", false, L"empty.txt"));
  EXPECT_EQ("<archive>", ReadEntry(package, "other", false, L"html/index.html"));
  EXPECT_FALSE(BuildPlainPackage(Archive(), "", &package));
}

TEST(PackageBuilder, SignedPackageVerifiesWithTheEmbeddedKey) {
  const std::string privateKey = ReadFixture(L"dev_package_private_key.pem");
  ASSERT_FALSE(privateKey.empty());
  std::string package;
  ASSERT_TRUE(BuildSignedPackage(Archive(), "K", privateKey, &package));
  EXPECT_EQ("0128", package.substr(package.size() - 4));
  EXPECT_EQ("<html>\xE4\xB8\xAD</html>", ReadEntry(package, "K", true, L"html/index.html"));

  // A changed body no longer matches the signed digest.
  std::string tampered = package;
  tampered[10] = tampered[10] == 'A' ? 'B' : 'A';
  EXPECT_EQ("<mismatch>", ReadEntry(tampered, "K", true, L"html/index.html"));
  // A key pair other than the embedded one does not verify.
  std::string otherPrivate, otherPublic;
  ASSERT_TRUE(RsaCipher::GenerateKeyPair(1024, &otherPrivate, &otherPublic));
  ASSERT_TRUE(BuildSignedPackage(Archive(), "K", otherPrivate, &package));
  EXPECT_EQ("<signature>", ReadEntry(package, "K", true, L"html/index.html"));
}

class PackageMakerTool : public ::testing::Test {
 protected:
  void SetUp() override {
    wchar_t module[MAX_PATH];
    ASSERT_NE(0u, GetModuleFileNameW(nullptr, module, MAX_PATH));
    m_strTool = module;
    m_strTool = m_strTool.substr(0, m_strTool.find_last_of(L"\\/") + 1) + L"brivelo_pkgmaker.exe";
    wchar_t temp[MAX_PATH];
    ASSERT_NE(0u, GetTempPathW(MAX_PATH, temp));
    m_strRoot = std::wstring(temp) + L"brivelo_pkgmaker_" + testing_fixtures::CurrentTestName();
    CreateDirectoryW(m_strRoot.c_str(), nullptr);
    CreateDirectoryW((m_strRoot + L"\\site").c_str(), nullptr);
    CreateDirectoryW((m_strRoot + L"\\site\\css").c_str(), nullptr);
    ASSERT_TRUE(StringCipher::WriteFileData((m_strRoot + L"\\site\\index.html").c_str(), "<p>hi</p>"));
    ASSERT_TRUE(StringCipher::WriteFileData((m_strRoot + L"\\site\\css\\a.css").c_str(), "p{}"));
  }
  void TearDown() override {
    DeleteFileW((m_strRoot + L"\\site\\css\\a.css").c_str());
    DeleteFileW((m_strRoot + L"\\site\\index.html").c_str());
    DeleteFileW((m_strRoot + L"\\ui.pak").c_str());
    RemoveDirectoryW((m_strRoot + L"\\site\\css").c_str());
    RemoveDirectoryW((m_strRoot + L"\\site").c_str());
    RemoveDirectoryW(m_strRoot.c_str());
  }

  // Runs the tool with arguments; returns its exit code and collects its standard output.
  DWORD Run(const std::wstring& arguments, std::string* output) {
    SECURITY_ATTRIBUTES inherit = {sizeof(inherit), nullptr, TRUE};
    HANDLE read = nullptr, write = nullptr;
    if (!CreatePipe(&read, &write, &inherit, 0)) return 999;
    SetHandleInformation(read, HANDLE_FLAG_INHERIT, 0);
    STARTUPINFOW startup = {};
    startup.cb = sizeof(startup);
    startup.dwFlags = STARTF_USESTDHANDLES;
    startup.hStdOutput = write;
    startup.hStdError = GetStdHandle(STD_ERROR_HANDLE);
    PROCESS_INFORMATION process = {};
    std::wstring line = L"\"" + m_strTool + L"\" " + arguments;
    if (!CreateProcessW(m_strTool.c_str(), &line[0], nullptr, nullptr, TRUE, 0, nullptr, nullptr, &startup, &process)) {
      CloseHandle(read);
      CloseHandle(write);
      return 998;
    }
    CloseHandle(write);
    char chunk[512];
    DWORD got = 0;
    while (ReadFile(read, chunk, sizeof(chunk), &got, nullptr) && got > 0) output->append(chunk, got);
    CloseHandle(read);
    WaitForSingleObject(process.hProcess, 60000);
    DWORD code = 997;
    GetExitCodeProcess(process.hProcess, &code);
    CloseHandle(process.hThread);
    CloseHandle(process.hProcess);
    return code;
  }

  std::wstring m_strTool;
  std::wstring m_strRoot;
};

TEST_F(PackageMakerTool, PacksAFolderPlainAndSigned) {
  std::string output;
  const std::wstring package = m_strRoot + L"\\ui.pak";
  ASSERT_EQ(0u, Run(L"pack --key K --out \"" + package + L"\" \"" + m_strRoot + L"\\site\"", &output));
  std::string file;
  ASSERT_TRUE(StringCipher::ReadFileData(package.c_str(), &file));
  EXPECT_EQ("<p>hi</p>", ReadEntry(file, "K", false, L"index.html"));
  EXPECT_EQ("p{}", ReadEntry(file, "K", false, L"css/a.css"));

  ASSERT_EQ(0u, Run(L"pack --key K --sign \"" + FixturePath(L"dev_package_private_key.pem") + L"\" --out \"" +
                        package + L"\" \"" + m_strRoot + L"\\site\\index.html\"",
                    &output));
  ASSERT_TRUE(StringCipher::ReadFileData(package.c_str(), &file));
  EXPECT_EQ("<p>hi</p>", ReadEntry(file, "K", true, L"index.html"));

  EXPECT_NE(0u, Run(L"pack --key K --out \"" + package + L"\" \"" + m_strRoot + L"\\missing\"", &output));
  EXPECT_EQ(2u, Run(L"pack --out \"" + package + L"\"", &output));
}

TEST_F(PackageMakerTool, EmbedKeyReproducesTheProgramsConstant) {
  std::string output;
  ASSERT_EQ(0u, Run(L"embed-key \"" + FixturePath(L"dev_package_public_key.pem") + L"\"", &output));
  const std::string constant = StringCipher::WideToCodePage(kEmbeddedPublicKeyText, CP_UTF8);
  EXPECT_EQ(344u, constant.size());
  while (!output.empty() && (output.back() == '\n' || output.back() == '\r')) output.pop_back();
  EXPECT_EQ(constant, output);
  EXPECT_NE(0u, Run(L"embed-key \"" + FixturePath(L"dev_package_private_key.pem") + L"\"", &output));
}

}  // namespace
