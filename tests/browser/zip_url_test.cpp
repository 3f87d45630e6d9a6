#include "browser/zip_url.h"

#include <cstdint>
#include <regex>
#include <string>

#include <gtest/gtest.h>

#include "base/string_cipher.h"

namespace {

std::wstring Wide(const std::string& utf8) {
  return StringCipher::CodePageToWide(utf8.c_str(), CP_UTF8);
}

TEST(ZipUrlUnescape, DecodesEveryEscapeAndRefusesBrokenOnes) {
  struct Case {
    std::string url;
    bool ok;
    std::string expected;
  } cases[] = {
      {"zip://k|p|/%41", true, "zip://k|p|/A"},
      {"%4a%4A%7c%2F%7C", true, "JJ|/|"},
      {"%E4%B8%AD.html", true, "\xE4\xB8\xAD.html"},
      {"a+b%2Bc", true, "a+b+c"},
      {"%25", true, "%"},
      {"%2541", true, "%41"},  // one pass only
      {"%0D%0A", true, "\r\n"},
      {"", true, ""},
      {"x%4", false, ""},
      {"x%", false, ""},
      {"%zz", false, ""},
      {"%4g", false, ""},
      {"%g4", false, ""},
      {"% 41", false, ""},
      {"a%00b", false, ""},
  };
  for (const Case& c : cases) {
    std::string out = "stale";
    EXPECT_EQ(c.ok, client::UnescapeZipUrl(c.url, &out)) << c.url;
    EXPECT_EQ(c.expected, out) << c.url;
  }
}

TEST(ZipUrlUnescape, AcceptsUpTo2083BytesAfterUnescaping) {
  std::string out;
  EXPECT_TRUE(client::UnescapeZipUrl(std::string(2083, 'a'), &out));
  EXPECT_EQ(2083u, out.size());
  EXPECT_FALSE(client::UnescapeZipUrl(std::string(2084, 'a'), &out));
  EXPECT_TRUE(out.empty());
  // Escapes count as the one byte they stand for.
  std::string escaped;
  for (int i = 0; i < 2083; ++i) escaped += "%41";
  EXPECT_TRUE(client::UnescapeZipUrl(escaped, &out));
  EXPECT_EQ(std::string(2083, 'A'), out);
  EXPECT_FALSE(client::UnescapeZipUrl(escaped + "%41", &out));
}

struct Split {
  bool ok = false;
  std::wstring scheme, key, path, entry;
};

Split ByParser(const std::string& text) {
  Split s;
  s.ok = client::ParseZipUrl(text, &s.scheme, &s.key, &s.path, &s.entry);
  return s;
}

// The expression the splitter stands in for, as the scheme always specified it.
Split ByRegex(const std::string& text) {
  static const std::regex expression("^(.*?)://(.*?)\\|(.*?)\\|/(.*?)$", std::regex::ECMAScript);
  Split s;
  std::smatch match;
  const std::string terminated = text.substr(0, text.find('\0'));
  s.ok = std::regex_match(terminated, match, expression) && match.size() == 5;
  if (s.ok) {
    s.scheme = Wide(match[1].str());
    s.key = Wide(match[2].str());
    s.path = Wide(match[3].str());
    s.entry = Wide(match[4].str());
  }
  return s;
}

void ExpectSameSplit(const std::string& text) {
  const Split ours = ByParser(text);
  const Split theirs = ByRegex(text);
  ASSERT_EQ(theirs.ok, ours.ok) << text;
  if (!ours.ok) return;
  EXPECT_EQ(theirs.scheme, ours.scheme) << text;
  EXPECT_EQ(theirs.key, ours.key) << text;
  EXPECT_EQ(theirs.path, ours.path) << text;
  EXPECT_EQ(theirs.entry, ours.entry) << text;
}

TEST(ZipUrlSplit, GivesTheLazyGroups) {
  struct Case {
    const char* text;
    bool ok;
    const wchar_t *scheme, *key, *path, *entry;
  } cases[] = {
      {"zip://K|D:\\p\\ui.pak|/html/index.html", true, L"zip", L"K", L"D:\\p\\ui.pak", L"html/index.html"},
      {"zip://k|a|b|/c/d", true, L"zip", L"k", L"a|b", L"c/d"},
      {"zip://k|p|//x", true, L"zip", L"k", L"p", L"/x"},
      {"zip://k|p|/a|/b|c", true, L"zip", L"k", L"p", L"a|/b|c"},
      {"zip://|p|/e", true, L"zip", L"", L"p", L"e"},
      {"zip://k||/e", true, L"zip", L"k", L"", L"e"},
      {"zip://k|p|/", true, L"zip", L"k", L"p", L""},
      {"a://b://k|p|/e", true, L"a", L"b://k", L"p", L"e"},
      {"://k|p|/e", true, L"", L"k", L"p", L"e"},
      {"zip://rsa_K|C:/x y/ui.pak|/index.html?v=1#top", true, L"zip", L"rsa_K", L"C:/x y/ui.pak",
       L"index.html?v=1#top"},
      {"zip://k|\xE4\xB8\xAD|/\xE4\xB8\xAD.html", true, L"zip", L"k", L"\x4E2D", L"\x4E2D.html"},
      {"zip://k|p|x", false},
      {"zip://k|/x", false},
      {"zip:/k|p|/x", false},
      {"zip://kp/x", false},
      {"zip://k|p|/x\n", false},
      {"zip://k\r|p|/x", false},
      {"\nzip://k|p|/x", false},
      {"|/zip://k|p", false},
      {"", false},
  };
  for (const Case& c : cases) {
    const Split s = ByParser(c.text);
    ASSERT_EQ(c.ok, s.ok) << c.text;
    if (c.ok) {
      EXPECT_EQ(c.scheme, s.scheme) << c.text;
      EXPECT_EQ(c.key, s.key) << c.text;
      EXPECT_EQ(c.path, s.path) << c.text;
      EXPECT_EQ(c.entry, s.entry) << c.text;
    }
    ExpectSameSplit(c.text);
  }
}

TEST(ZipUrlSplit, StopsAtTheFirstZeroByte) {
  const Split s = ByParser(std::string("zip://k|p|/e\0|/x", 16));
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(L"e", s.entry);
  EXPECT_FALSE(ByParser(std::string("zip://k|p\0|/e", 13)).ok);
}

// Every text of up to 7 characters over the alphabet that matters, and random longer ones,
// split as the regular expression splits them.
TEST(ZipUrlSplit, AgreesWithTheRegularExpression) {
  const char alphabet[] = {':', '/', '|', 'a', '\n'};
  const int size = sizeof(alphabet);
  for (int length = 0; length <= 7; ++length) {
    int combinations = 1;
    for (int i = 0; i < length; ++i) combinations *= size;
    for (int n = 0; n < combinations; ++n) {
      std::string text;
      for (int i = 0, rest = n; i < length; ++i, rest /= size) text += alphabet[rest % size];
      ExpectSameSplit(text);
      if (::testing::Test::HasFatalFailure()) return;
    }
  }
  uint32_t seed = 2083;
  const char wide_alphabet[] = {':', '/', '/', '|', '|', 'a', 'b', '\r', '%', ' '};
  for (int round = 0; round < 3000; ++round) {
    seed = seed * 1103515245u + 12345u;
    const size_t length = 8 + (seed >> 16) % 40;
    std::string text = round % 2 ? "zip://" : "";
    while (text.size() < length) {
      seed = seed * 1103515245u + 12345u;
      // Line breaks rarely, so that most texts can match.
      char c = wide_alphabet[(seed >> 16) % sizeof(wide_alphabet)];
      if (c == '\r' && (seed >> 8) % 8 != 0) c = 'c';
      text += c;
    }
    ExpectSameSplit(text);
    if (::testing::Test::HasFatalFailure()) return;
  }
}

TEST(ZipUrlSplit, HandlesTheLongestUrlWithoutRecursion) {
  std::string text = "zip://" + std::string(2000, '|') + "p|/" + std::string(70, '|');
  const Split s = ByParser(text);
  ASSERT_TRUE(s.ok);
  EXPECT_EQ(L"", s.key);
  EXPECT_EQ(std::wstring(1999, L'|') + L"p", s.path);
  EXPECT_EQ(std::wstring(70, L'|'), s.entry);
}

}  // namespace
