// The "zip" scheme as a page meets it: the browser application starts the engine, and every
// request goes through the engine's loader to the registered factory.
#include <windows.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "base/md5.h"
#include "browser/client_scheme_handler_factory.h"
#include "base/rsa_cipher.h"
#include "base/string_cipher.h"
#include "testing/cefengine_testing.h"
#include "testing/network_testing.h"
#include "tests/base/fixture_file.h"
#include "tests/browser/browser_app_engine.h"
#include "tests/channel/log_capture.h"
#include "tools/pkgmaker/package_builder.h"
#include "tools/pkgmaker/zip_builder.h"

namespace {

namespace test = cefengine::test;

// A key with a non-ASCII letter: the cipher takes its UTF-8 bytes, the URL carries it escaped.
const char kKey[] = "K\xC3\xA9y-7";
const char kPage[] = "<html><title>ui</title></html>";

std::wstring Wide(const std::string& utf8) {
  return StringCipher::CodePageToWide(utf8.c_str(), CP_UTF8);
}

std::string Utf8(const std::wstring& text) {
  return StringCipher::WideToCodePage(text.c_str(), CP_UTF8);
}

// As a browser writes the URL: "%", "?", "#", blanks, controls and non-ASCII bytes escaped.
std::string Escape(const std::string& text) {
  std::string out;
  for (unsigned char c : text) {
    if (c == '%' || c == '?' || c == '#' || c <= ' ' || c >= 0x80) {
      char escape[4];
      snprintf(escape, sizeof(escape), "%%%02X", c);
      out += escape;
    } else {
      out += char(c);
    }
  }
  return out;
}

std::wstring ZipUrl(const std::string& key, const std::wstring& path, const std::string& entry) {
  return Wide("zip://" + Escape(key) + "|" + Escape(Utf8(path)) + "|/" + Escape(entry));
}

ZipBuildEntry Entry(const std::string& name, const std::string& data, bool deflate = true) {
  ZipBuildEntry entry;
  entry.name = name;
  entry.data = data;
  entry.deflate = deflate;
  return entry;
}

std::string PlainPackage(const std::string& zip, const std::string& key = kKey) {
  std::string package;
  EXPECT_TRUE(BuildPlainPackage(zip, key, &package));
  return package;
}

std::string PrivateKey() {
  const std::string pem = testing_fixtures::ReadFixture(L"dev_package_private_key.pem");
  EXPECT_FALSE(pem.empty());
  return pem;
}

// A signed package whose parts a test may spoil: the signed text, the length field's text.
std::string SignedPackage(const std::string& body, const std::string& signed_text, const char* length_format = "%04u") {
  std::string signature;
  EXPECT_TRUE(RsaCipher::PrivateEncrypt(signed_text, &signature, PrivateKey()));
  char field[16];
  snprintf(field, sizeof(field), length_format, unsigned(signature.size()));
  return body + signature + field;
}

std::string Md5Hex(const std::string& bytes) {
  char hex[33] = {};
  EXPECT_TRUE(GetBufferMd5HexA(reinterpret_cast<const BYTE*>(bytes.data()), int(bytes.size()), hex, sizeof(hex)));
  return hex;
}

std::string Lower(std::string text) {
  for (char& c : text) c = char(tolower(static_cast<unsigned char>(c)));
  return text;
}

// Writes a package file under the test's file folder and returns its full path.
std::wstring PutFile(const std::wstring& name, const std::string& bytes) {
  EXPECT_FALSE(test::AddFile(name, bytes).empty()) << Utf8(name);
  return test::FileRoot() + L"\\" + name;
}

void ExpectServed(const std::wstring& url, const std::string& body, const std::wstring& mime_type) {
  const test::FetchResult result = test::FetchUrl(url);
  ASSERT_TRUE(result.ended) << Utf8(url);
  ASSERT_EQ(ERR_NONE, result.error) << Utf8(url);
  EXPECT_EQ(200, result.status) << Utf8(url);
  EXPECT_EQ(L"OK", result.status_text) << Utf8(url);
  EXPECT_EQ(mime_type, result.mime_type) << Utf8(url);
  EXPECT_EQ(body, result.body) << Utf8(url);
}

void ExpectNotServed(const std::wstring& url) {
  const test::FetchResult result = test::FetchUrl(url);
  ASSERT_TRUE(result.ended) << Utf8(url);
  EXPECT_EQ(ERR_UNKNOWN_URL_SCHEME, result.error) << Utf8(url);
}

// Offsets into an archive made by BuildZipArchive.
size_t CentralRecordOf(const std::string& zip, const std::string& name) {
  for (size_t at = zip.find("PK\x01\x02"); at != std::string::npos; at = zip.find("PK\x01\x02", at + 4)) {
    const size_t length = uint8_t(zip[at + 28]) | (uint8_t(zip[at + 29]) << 8);
    if (zip.compare(at + 46, length, name) == 0) return at;
  }
  ADD_FAILURE() << "no central record for " << name;
  return 0;
}

void Patch32(std::string* zip, size_t at, uint32_t value) {
  for (int i = 0; i < 4; ++i) (*zip)[at + i] = char((value >> (8 * i)) & 0xFF);
}

const size_t kCentralCrc = 16;
const size_t kCentralUncompressedSize = 24;
const size_t kEndEntryCounts = 8;  // on this disk, then in all, 16 bits each
const size_t kEndCentralOffset = 16;

// The engine started by the browser application, as the process entry starts it.
class ZipScheme : public ::testing::Test {
 protected:
  void SetUp() override { ASSERT_TRUE(browser_test::StartEngineWithBrowserApp()); }
  void TearDown() override {
    CefShutdown();
    test::RemoveFiles();
  }

  // One archive as a plain package under kKey and as a signed one; the paths of both files.
  void PutPlainAndSigned(const std::string& zip, std::wstring* plain, std::wstring* signed_path) {
    *plain = PutFile(L"plain.pak", PlainPackage(zip));
    std::string signed_package;
    EXPECT_TRUE(BuildSignedPackage(zip, kKey, PrivateKey(), &signed_package));
    *signed_path = PutFile(L"signed.pak", signed_package);
  }
};

TEST_F(ZipScheme, PlainPackageServesEveryEntryWithTheTypeOfItsExtension) {
  const std::string script = "var a = 1;\n";
  const std::string name_cn = "\xE4\xB8\xAD\xE6\x96\x87/\xE9\xA1\xB5.html";  // UTF-8 flagged name
  const std::string zip = BuildZipArchive({
      Entry("html/index.html", kPage),
      Entry("js/app.js", script, false),
      Entry(name_cn, "<p>\xE4\xB8\xAD</p>"),
      Entry("css/site.CSS", "body{}", false),
      Entry("img/logo.png", std::string("\x89PNG\r\n\x1A\n\0\0", 10), false),
      Entry("README", "readme"),
      Entry("data.unknownext", "bytes"),
      Entry("a.b c", "blank resets the extension"),
      Entry("dot.", "trailing dot"),
  });
  const std::wstring path = PutFile(L"my pages\\ui.pak", PlainPackage(zip));
  struct Case {
    std::string entry;
    std::string body;
    const wchar_t* mime_type;
  } cases[] = {
      {"html/index.html", kPage, L"text/html"},
      {"js/app.js", script, L"application/javascript"},
      {name_cn, "<p>\xE4\xB8\xAD</p>", L"text/html"},
      {"css/site.CSS", "body{}", L"text/css"},
      {"img/logo.png", std::string("\x89PNG\r\n\x1A\n\0\0", 10), L"image/png"},
      {"README", "readme", L"application/octet-stream"},
      {"data.unknownext", "bytes", L"application/octet-stream"},
      {"a.b c", "blank resets the extension", L"application/octet-stream"},
      {"dot.", "trailing dot", L"application/octet-stream"},
  };
  for (const Case& c : cases) ExpectServed(ZipUrl(kKey, path, c.entry), c.body, c.mime_type);
}

TEST_F(ZipScheme, UrlIsUnescapedThenSplit) {
  const std::string zip = BuildZipArchive({
      Entry("html/index.html", kPage),
      Entry("html/Index.html", "capital"),
      Entry("A.txt", "letter A"),
      Entry("a+b.txt", "plus"),
      Entry("page.html?v=1", "query in the name"),
      Entry("|/odd.txt", "separator in the name"),
  });
  const std::wstring path = PutFile(L"ui.pak", PlainPackage(zip));
  const std::wstring base = Wide("zip://" + Escape(kKey) + "|" + Escape(Utf8(path)));
  const wchar_t* const none = nullptr;
  struct Case {
    std::wstring url;
    const wchar_t* mime_type;  // null: not served
    std::string body;
  } cases[] = {
      {base + L"|/html/index.html", L"text/html", kPage},
      {base + L"|/html/Index.html", L"text/html", "capital"},
      {base + L"|/HTML/index.html", none},
      {base + L"|//html/index.html", none},
      {base + L"|/%41.txt", L"text/plain", "letter A"},
      {base + L"|/%61.txt", none},
      {base + L"|/a+b.txt", L"text/plain", "plus"},
      {base + L"|/a%2Bb.txt", L"text/plain", "plus"},
      {base + L"|/a b.txt", none},
      {base + L"%7C%2Fhtml/index.html", L"text/html", kPage},
      {base + L"%7c%2fhtml/index.html", L"text/html", kPage},
      {base + L"|/html/index.html?v=1", none},
      {base + L"|/html/index.html#top", none},
      {base + L"|/page.html?v=1", L"application/octet-stream", "query in the name"},
      {base + L"|/|/odd.txt", L"text/plain", "separator in the name"},
      {base + L"|/html/index.html%4", none},
      {base + L"|/html/index.html%", none},
      {base + L"|/html/%zzindex.html", none},
      {base + L"|/html/index.html%00", none},
      {base + L"|/html/index.html%0D", none},
      {base + L"|/html/%0Aindex.html", none},
      {base + L"|html/index.html", none},
      {base + L"|/", none},
      {Wide("zip://" + Escape(kKey)) + L"|/html/index.html", none},
  };
  for (const Case& c : cases) {
    if (c.mime_type != nullptr)
      ExpectServed(c.url, c.body, c.mime_type);
    else
      ExpectNotServed(c.url);
  }
}

TEST_F(ZipScheme, UnescapedUrlMayBeAtMost2083Bytes) {
  const std::string zip = BuildZipArchive({Entry("i.html", kPage)});
  // The cipher takes the first 72 key bytes only, so one package serves keys of any length
  // beyond that; written as escapes, such keys make long URLs.
  const std::string head = "long" + std::string(68, 'A');
  const std::wstring path = PutFile(L"long.pak", PlainPackage(zip, head));
  const size_t fixed = std::string("zip://|").size() + Utf8(path).size() + std::string("|/i.html").size();
  ASSERT_LT(fixed + head.size(), 2083u);
  auto url_with_key_of = [&](size_t key_length) {
    std::string escaped = "long";
    for (size_t i = 4; i < key_length; ++i) escaped += "%41";
    return Wide("zip://" + escaped + "|" + Escape(Utf8(path)) + "|/i.html");
  };
  ExpectServed(url_with_key_of(head.size()), kPage, L"text/html");
  ExpectServed(url_with_key_of(2083 - fixed), kPage, L"text/html");
  ExpectNotServed(url_with_key_of(2084 - fixed));
}

TEST_F(ZipScheme, SignedPackageServesOnlyWhenItsSignatureMatchesItsBody) {
  const std::string zip = BuildZipArchive({Entry("index.html", kPage)});
  const std::string body = PlainPackage(zip);
  const std::string digest = Md5Hex(body);
  std::string signature;
  ASSERT_TRUE(RsaCipher::PrivateEncrypt(digest, &signature, PrivateKey()));
  ASSERT_EQ(128u, signature.size());
  std::string changed_body = body;
  changed_body[10] = changed_body[10] == 'A' ? 'B' : 'A';
  std::string changed_signature = signature;
  changed_signature[64] ^= 0x01;
  std::string other_private, other_public;
  ASSERT_TRUE(RsaCipher::GenerateKeyPair(1024, &other_private, &other_public));
  std::string foreign_signature;
  ASSERT_TRUE(RsaCipher::PrivateEncrypt(digest, &foreign_signature, other_private));

  struct Case {
    const char* what;
    std::string file;
    bool served;
  } cases[] = {
      {"upper-case digest", SignedPackage(body, digest), true},
      {"lower-case digest", SignedPackage(body, Lower(digest)), true},
      {"digest and a zero byte", SignedPackage(body, digest + std::string(1, '\0')), true},
      {"length field \" 128\"", SignedPackage(body, digest, "%4u"), true},
      {"length field \"+128\"", SignedPackage(body, digest, "+%03u"), true},
      {"length field 9999", body + signature + "9999", false},
      {"length field -128", body + signature + "-128", false},
      {"length field 0000", body + signature + "0000", false},
      {"length field one short", body + signature + "0127", false},
      {"length field without digits", body + signature + "abcd", false},
      {"file of 3 bytes", "128", false},
      {"length field alone", "0000", false},
      {"empty body", signature + "0128", false},
      {"one body byte changed", changed_body + signature + "0128", false},
      {"one signature byte changed", body + changed_signature + "0128", false},
      {"signed by another key", body + foreign_signature + "0128", false},
      {"digest of another body", SignedPackage(body, Md5Hex(changed_body)), false},
      {"digest cut short", SignedPackage(body, digest.substr(0, 31)), false},
      {"digest with more after it", SignedPackage(body, digest + "0"), false},
  };
  int index = 0;
  for (const Case& c : cases) {
    SCOPED_TRACE(c.what);
    const std::wstring path = PutFile(L"signed" + std::to_wstring(index++) + L".pak", c.file);
    if (c.served)
      ExpectServed(ZipUrl(std::string("rsa_") + kKey, path, "index.html"), kPage, L"text/html");
    else
      ExpectNotServed(ZipUrl(std::string("rsa_") + kKey, path, "index.html"));
  }
}

TEST_F(ZipScheme, PlainAndSignedRequestsOfOneFileAreSeparateLoads) {
  const std::string zip = BuildZipArchive({Entry("index.html", kPage)});
  std::wstring plain, signed_path;
  PutPlainAndSigned(zip, &plain, &signed_path);
  const std::string signed_key = std::string("rsa_") + kKey;

  ExpectServed(ZipUrl(kKey, plain, "index.html"), kPage, L"text/html");
  // Not the cached plain package: the second load looks for a signature and finds none.
  ExpectNotServed(ZipUrl(signed_key, plain, "index.html"));

  ExpectServed(ZipUrl(signed_key, signed_path, "index.html"), kPage, L"text/html");
  // Read as plain, the trailer spoils the Base64 text.
  ExpectNotServed(ZipUrl(kKey, signed_path, "index.html"));
  // The prefix is matched with its letter case.
  ExpectNotServed(ZipUrl(std::string("RSA_") + kKey, signed_path, "index.html"));
}

TEST_F(ZipScheme, LoadedPackagesStayCachedAndFailedOnesAreTriedAgain) {
  const std::string first = BuildZipArchive({Entry("index.html", "first")});
  const std::string second = BuildZipArchive({Entry("index.html", "second"), Entry("new.html", "new")});
  const std::wstring path = PutFile(L"cache\\ui.pak", "not a package");
  ExpectNotServed(ZipUrl(kKey, path, "index.html"));

  PutFile(L"cache\\ui.pak", PlainPackage(first));
  ExpectServed(ZipUrl(kKey, path, "index.html"), "first", L"text/html");

  PutFile(L"cache\\ui.pak", PlainPackage(second));
  ExpectServed(ZipUrl(kKey, path, "index.html"), "first", L"text/html");
  ExpectNotServed(ZipUrl(kKey, path, "new.html"));
  ASSERT_TRUE(DeleteFileW(path.c_str()));
  ExpectServed(ZipUrl(kKey, path, "index.html"), "first", L"text/html");
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = wchar_t(towupper(c));
  return text;
}

// Restores the process's current folder at the end of a test that changes it.
class CurrentFolder {
 public:
  CurrentFolder() {
    wchar_t folder[MAX_PATH] = {};
    GetCurrentDirectoryW(MAX_PATH, folder);
    saved_ = folder;
  }
  ~CurrentFolder() { SetCurrentDirectoryW(saved_.c_str()); }

 private:
  std::wstring saved_;
};

// A package of "index.html" ("first") loaded under kKey, then changed on disk: a request that read
// the file again would be served "second" and a "new.html". Returns the file's path.
std::wstring PutLoadedThenChanged(const std::wstring& name) {
  const std::wstring path = PutFile(name, PlainPackage(BuildZipArchive({Entry("index.html", "first")})));
  ExpectServed(ZipUrl(kKey, path, "index.html"), "first", L"text/html");
  PutFile(name, PlainPackage(BuildZipArchive({Entry("index.html", "second"), Entry("new.html", "new")})));
  return path;
}

TEST_F(ZipScheme, EveryPathToOneFileIsServedFromOneLoad) {
  const std::string second = BuildZipArchive({Entry("index.html", "second"), Entry("new.html", "new")});
  const std::wstring path = PutLoadedThenChanged(L"Cache Folder\\UI Package.pak");

  const std::wstring root = test::FileRoot();
  ASSERT_TRUE(root.size() > 3 && root[1] == L':' && root[2] == L'\\') << Utf8(root);
  CurrentFolder restore;
  ASSERT_TRUE(SetCurrentDirectoryW(root.c_str()));
  std::wstring lower_drive = path;
  lower_drive[0] = wchar_t(towlower(lower_drive[0]));
  std::wstring slashes = path;
  for (wchar_t& c : slashes)
    if (c == L'\\') c = L'/';
  wchar_t short_path[MAX_PATH] = {};
  ASSERT_NE(0u, GetShortPathNameW(path.c_str(), short_path, MAX_PATH));
  const std::wstring aliases[] = {
      Upper(path),
      lower_drive,
      slashes,
      root + L"\\Cache Folder\\..\\Cache Folder\\.\\UI Package.pak",
      root + L"\\nothing\\..\\Cache Folder\\UI Package.pak",
      path + L".",
      path + L" ",
      L"Cache Folder\\UI Package.pak",
      L".\\cache folder/ui package.pak",
      root.substr(0, 2) + L"Cache Folder\\UI Package.pak",  // relative to the drive's current folder
      root.substr(2) + L"\\Cache Folder\\UI Package.pak",  // rooted on the current drive
      short_path,
  };
  for (const std::wstring& alias : aliases) {
    SCOPED_TRACE(Utf8(alias));
    ExpectServed(ZipUrl(kKey, alias, "index.html"), "first", L"text/html");
    ExpectNotServed(ZipUrl(kKey, alias, "new.html"));
  }
  // Another file with the same content is a package of its own.
  const std::wstring copy = PutFile(L"Cache Folder\\UI Package 2.pak", PlainPackage(second));
  ExpectServed(ZipUrl(kKey, copy, "new.html"), "new", L"text/html");
  ExpectServed(ZipUrl(kKey, path, "index.html"), "first", L"text/html");
}

// The cipher reads a key's first 72 bytes and repeats a shorter one: a page could name one
// package with endless keys that open it, each of which was a load and a copy of its own.
TEST_F(ZipScheme, KeysThatDecipherAlikeAreServedFromOneLoad) {
  const std::wstring path = PutLoadedThenChanged(L"keys\\ui.pak");

  const std::string key = kKey;
  std::string past_72_bytes;
  while (past_72_bytes.size() < 72) past_72_bytes += key;
  past_72_bytes.resize(72);
  const std::string alike[] = {key + key, key + key + key, past_72_bytes, past_72_bytes + "anything"};
  for (const std::string& other : alike) {
    SCOPED_TRACE(other);
    ExpectServed(ZipUrl(other, path, "index.html"), "first", L"text/html");
    ExpectNotServed(ZipUrl(other, path, "new.html"));
  }
  // A key that deciphers otherwise is a load of its own, which fails on the file as it is now.
  ExpectNotServed(ZipUrl(key + "x", path, "index.html"));
  // So is a signed request of the same key.
  ExpectNotServed(ZipUrl("rsa_" + key + key, path, "index.html"));
}

TEST_F(ZipScheme, PathsOffTheLocalDrivesAreRefusedAndLogged) {
  const std::string zip = BuildZipArchive({Entry("index.html", kPage)});
  const std::wstring path = PutFile(L"ui.pak", PlainPackage(zip));
  std::wstring slashes = path;
  for (wchar_t& c : slashes)
    if (c == L'\\') c = L'/';
  const std::wstring after_drive = path.substr(2);  // "\users\...\ui.pak"
  LogCapture log;
  const std::wstring refused[] = {
      L"\\\\?\\" + path,
      L"//?/" + slashes,
      L"\\\\.\\" + path,
      L"\\??\\" + path,
      L"/?" L"?/" + slashes,
      L"\\\\?\\GLOBALROOT\\Device\\Null",
      L"\\\\localhost\\C$" + after_drive,
      L"//127.0.0.1/share/ui.pak",
      L"\\/localhost/share/ui.pak",
      L"\\\\?\\UNC\\localhost\\C$" + after_drive,
      L"NUL",
      test::FileRoot() + L"\\CON",
  };
  for (const std::wstring& form : refused) {
    SCOPED_TRACE(Utf8(form));
    ExpectNotServed(ZipUrl(kKey, form, "index.html"));
    EXPECT_EQ(1u, log.Count(L"FileDecoder::FullPackagePath refused " + form + L": not a file on a local drive"));
  }
  ExpectServed(ZipUrl(kKey, path, "index.html"), kPage, L"text/html");
  EXPECT_EQ(std::wstring::npos, log.Find(L"refused " + path));
}

TEST_F(ZipScheme, EntriesThatDoNotExtractAreSkipped) {
  ZipBuildEntry folder = Entry("dir/", "", false);
  folder.externalAttributes = 0x10;
  ZipBuildEntry marked_folder = Entry("marked.txt", "a file marked as a folder", false);
  marked_folder.externalAttributes = 0x10;
  ZipBuildEntry unknown_method = Entry("method.txt", "method 12", false);
  unknown_method.methodOverride = 12;
  std::string zip = BuildZipArchive({
      Entry("page.html", "earlier"),
      folder,
      marked_folder,
      unknown_method,
      Entry("bad-crc.txt", "checksum", false),
      Entry("empty.txt", "", false),
      Entry("empty.css", ""),
      Entry("page.html", "later"),
  });
  Patch32(&zip, CentralRecordOf(zip, "bad-crc.txt") + kCentralCrc, 0x12345678);
  const std::wstring path = PutFile(L"content.pak", PlainPackage(zip));

  ExpectServed(ZipUrl(kKey, path, "page.html"), "later", L"text/html");
  ExpectServed(ZipUrl(kKey, path, "empty.txt"), "", L"text/plain");
  ExpectServed(ZipUrl(kKey, path, "empty.css"), "", L"text/css");
  for (const char* skipped : {"dir/", "dir", "marked.txt", "method.txt", "bad-crc.txt"})
    ExpectNotServed(ZipUrl(kKey, path, skipped));
}

TEST_F(ZipScheme, PackageWithoutAnExtractableEntryFails) {
  ZipBuildEntry folder = Entry("dir/", "", false);
  folder.externalAttributes = 0x10;
  std::string broken = BuildZipArchive({folder, Entry("bad.txt", "checksum", false)});
  Patch32(&broken, CentralRecordOf(broken, "bad.txt") + kCentralCrc, 0);
  const std::wstring only_broken = PutFile(L"broken.pak", PlainPackage(broken));
  const std::wstring no_entries = PutFile(L"none.pak", PlainPackage(BuildZipArchive({}, "an archive of nothing")));
  ExpectNotServed(ZipUrl(kKey, only_broken, "bad.txt"));
  ExpectNotServed(ZipUrl(kKey, only_broken, "dir/"));
  ExpectNotServed(ZipUrl(kKey, no_entries, ""));
}

TEST_F(ZipScheme, WrongKeysAndUnreadableFilesGiveNoResource) {
  const std::string zip = BuildZipArchive({Entry("index.html", kPage)});
  std::wstring plain, signed_path;
  PutPlainAndSigned(zip, &plain, &signed_path);
  std::string wrapped = PlainPackage(zip);
  wrapped.insert(wrapped.size() / 2, "\r\n");
  CreateDirectoryW((test::FileRoot() + L"\\folder.pak").c_str(), nullptr);

  struct Case {
    std::string key;
    std::wstring path;
  } cases[] = {
      {"other", plain},
      {"k\xC3\xA9y-7", plain},
      {"", plain},
      {"rsa_", plain},
      {"rsa_", signed_path},
      {"", signed_path},
      {kKey, PutFile(L"wrapped.pak", wrapped)},
      {kKey, PutFile(L"empty.pak", "")},
      {kKey, PutFile(L"short.pak", "QUJD")},
      {kKey, test::FileRoot() + L"\\missing.pak"},
      {kKey, test::FileRoot() + L"\\folder.pak"},
      {kKey, L""},
  };
  for (const Case& c : cases) ExpectNotServed(ZipUrl(c.key, c.path, "index.html"));
  ExpectServed(ZipUrl(kKey, plain, "index.html"), kPage, L"text/html");
}

TEST_F(ZipScheme, DamagedArchivesGiveNoResourceAndTheProcessGoesOn) {
  const std::string good = BuildZipArchive({Entry("huge.txt", "claims 4 GiB"), Entry("ok.txt", "fine")});
  std::string huge_claim = good;
  Patch32(&huge_claim, CentralRecordOf(huge_claim, "huge.txt") + kCentralUncompressedSize, 0xFFFFFFF0);
  const std::wstring claim_path = PutFile(L"claim.pak", PlainPackage(huge_claim));
  ExpectServed(ZipUrl(kKey, claim_path, "ok.txt"), "fine", L"text/plain");
  ExpectNotServed(ZipUrl(kKey, claim_path, "huge.txt"));

  const size_t end_record = good.rfind("PK\x05\x06");
  ASSERT_NE(std::string::npos, end_record);
  int index = 0;
  for (uint32_t offset : {0xFFFFFF00u, 0x7FFFFFFFu, 0x10u, uint32_t(end_record - 8)}) {
    for (bool many_entries : {false, true}) {
      std::string wild = good;
      Patch32(&wild, end_record + kEndCentralOffset, offset);
      if (many_entries) Patch32(&wild, end_record + kEndEntryCounts, 0xFFFFFFFF);
      ExpectNotServed(ZipUrl(kKey, PutFile(L"wild" + std::to_wstring(index++) + L".pak", PlainPackage(wild)), "ok.txt"));
    }
  }

  // Noise around an end record with random fields, as a wrong key may leave it.
  uint32_t seed = 135;
  for (int round = 0; round < 24; ++round) {
    std::string noise;
    for (int i = 0; i < 300; ++i) {
      seed = seed * 1103515245u + 12345u;
      noise += char(seed >> 24);
      if (i == 150) noise += std::string("PK\x05\x06\0\0\0\0", 8);
      if (i == 40 && round % 2) noise += "PK\x01\x02";
    }
    ExpectNotServed(ZipUrl(kKey, PutFile(L"noise" + std::to_wstring(round) + L".pak", PlainPackage(noise)), "ok.txt"));
  }
  ExpectServed(ZipUrl(kKey, PutFile(L"good.pak", PlainPackage(good)), "ok.txt"), "fine", L"text/plain");
}

std::string Noise(size_t size, uint32_t seed) {
  std::string noise(size, '\0');
  for (char& c : noise) {
    seed = seed * 1103515245u + 12345u;
    c = char(seed >> 24);
  }
  return noise;
}

// Claims that each pass the plausibility bound (each under deflate's best ratio to its data) but
// together pass the product's bound of 512 MiB: refused before anything is allocated for them.
TEST_F(ZipScheme, EntriesClaimingMoreThanThePackageBoundFailThePackage) {
  LogCapture log;
  std::string four_gib = BuildZipArchive({Entry("big.bin", Noise(4 * 1024 * 1024 + 4096, 4)), Entry("ok.txt", "fine")});
  Patch32(&four_gib, CentralRecordOf(four_gib, "big.bin") + kCentralUncompressedSize, 0xFFFFFFF0);
  std::vector<ZipBuildEntry> thirds = {Entry("ok.txt", "fine")};
  for (int i = 0; i < 3; ++i) thirds.push_back(Entry("part" + std::to_string(i), Noise(256 * 1024, 7 + i)));
  std::string three_parts = BuildZipArchive(thirds);
  for (int i = 0; i < 3; ++i)
    Patch32(&three_parts, CentralRecordOf(three_parts, "part" + std::to_string(i)) + kCentralUncompressedSize, 180u << 20);
  int index = 0;
  for (const std::string& zip : {four_gib, three_parts}) {
    const std::wstring path = PutFile(L"big" + std::to_wstring(index++) + L".pak", PlainPackage(zip));
    ExpectNotServed(ZipUrl(kKey, path, "ok.txt"));
    EXPECT_EQ(1u, log.Count(L"FileDecoder::ExtractEntries refused " + path + L": entries of "));
  }
  EXPECT_EQ(1u, log.Count(L": entries of 4294967284 bytes, over the 536870912 a package may extract to"));
  EXPECT_EQ(1u, log.Count(L": entries of 566231044 bytes, over the 536870912 a package may extract to"));
  ExpectServed(ZipUrl(kKey, PutFile(L"small.pak", PlainPackage(BuildZipArchive({Entry("ok.txt", "fine")}))), "ok.txt"),
               "fine", L"text/plain");
}

// The product's file bound, on a sparse file: refused from its size, without being read.
TEST_F(ZipScheme, PackageFileOverThe256MiBBoundIsRefused) {
  LogCapture log;
  const std::wstring path = PutFile(L"huge.pak", "");
  HANDLE file = CreateFileW(path.c_str(), GENERIC_WRITE, 0, nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
  ASSERT_NE(INVALID_HANDLE_VALUE, file);
  LARGE_INTEGER end;
  end.QuadPart = (256 << 20) + 1;
  const bool sized = SetFilePointerEx(file, end, nullptr, FILE_BEGIN) && SetEndOfFile(file);
  CloseHandle(file);
  ASSERT_TRUE(sized);
  ExpectNotServed(ZipUrl(kKey, path, "index.html"));
  EXPECT_EQ(1u, log.Count(L"FileDecoder::Open refused " + path + L": 268435457 bytes, over the 268435456 a package may have"));
}

// The factory with lowered bounds, as the engine would call it: each bound is inclusive, a package
// over one is refused and not remembered, and packages within them load beside it.
TEST(ZipPackageLimits, PackagesOverEitherBoundAreRefusedWhileOthersLoad) {
  const size_t kExtracted = 64 * 1024;
  std::string text;
  while (text.size() < kExtracted) text += "<p>within the bounds</p>\n";
  text.resize(kExtracted);
  const std::string fits = PlainPackage(BuildZipArchive({Entry("a.html", text.substr(0, 1000)), Entry("b.html", text.substr(1000))}));
  const std::string large_file = PlainPackage(BuildZipArchive({Entry("a.html", Noise(40 * 1024, 9))}));
  const std::string expands = PlainPackage(BuildZipArchive({Entry("a.html", text), Entry("b.html", "1")}));
  ASSERT_LT(fits.size(), large_file.size());
  ASSERT_LT(expands.size(), fits.size());

  LogCapture log;
  const client::PackageLimits limits = {fits.size(), kExtracted};
  CefRefPtr<client::ClientSchemeHandlerFactory> factory = new client::ClientSchemeHandlerFactory(limits);
  const std::wstring key = Wide(kKey);
  client::FileDecoder::DataBuffer entry;
  const std::wstring large_path = PutFile(L"limits\\large.pak", large_file);
  EXPECT_FALSE(factory->GetEntryData(large_path, key, L"a.html", &entry));
  EXPECT_EQ(1u, log.Count(L"FileDecoder::Open refused " + large_path + L": " + std::to_wstring(large_file.size()) +
                          L" bytes, over the " + std::to_wstring(fits.size()) + L" a package may have"));
  const std::wstring expands_path = PutFile(L"limits\\expands.pak", expands);
  EXPECT_FALSE(factory->GetEntryData(expands_path, key, L"a.html", &entry));
  EXPECT_EQ(1u, log.Count(L"FileDecoder::ExtractEntries refused " + expands_path + L": entries of 65537 bytes, over the 65536 a package may extract to"));

  const std::wstring fits_path = PutFile(L"limits\\fits.pak", fits);
  ASSERT_TRUE(factory->GetEntryData(fits_path, key, L"b.html", &entry));
  EXPECT_EQ(text.substr(1000), std::string(reinterpret_cast<const char*>(entry.data.get()), entry.size));

  // Refused packages are not remembered: once within the bounds, the same files load.
  PutFile(L"limits\\large.pak", fits);
  PutFile(L"limits\\expands.pak", fits);
  EXPECT_TRUE(factory->GetEntryData(large_path, key, L"a.html", &entry));
  EXPECT_TRUE(factory->GetEntryData(expands_path, key, L"a.html", &entry));
  test::RemoveFiles();
}

}  // namespace
