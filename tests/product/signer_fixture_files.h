// Paths of the signed test files that the build makes (make_signed_fixtures.sh), relative to
// the test's working folder, and small file helpers around them.
#pragma once

#include <windows.h>

#include <fstream>
#include <iterator>
#include <string>

namespace signer_fixtures {

// The display name of the trusted leaf: a built-in trusted signer, in another letter case.
inline const wchar_t* TrustedSignerName() { return L"HARNSTAVE Network Technology Co., Ltd."; }
inline const wchar_t* OtherSignerName() { return L"Quillmere Test Signer"; }

inline std::wstring Path(const wchar_t* name) { return std::wstring(L"signer_fixtures\\") + name; }

inline std::string ReadBytes(const std::wstring& path) {
  std::ifstream in(path.c_str(), std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

inline bool WriteBytes(const std::wstring& path, const std::string& bytes) {
  std::ofstream out(path.c_str(), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), std::streamsize(bytes.size()));
  return bool(out);
}

// First line of a text fixture, without its line end.
inline std::string ReadLine(const std::wstring& path) {
  std::string text = ReadBytes(path);
  return text.substr(0, text.find_first_of("\r\n"));
}

// File offset of the security data directory entry (file offset, size) of a PE image.
inline size_t SecurityEntryOffset(const std::string& image) {
  DWORD ntOffset = 0;
  memcpy(&ntOffset, image.data() + 60, 4);
  WORD magic = 0;
  memcpy(&magic, image.data() + ntOffset + 24, 2);
  return ntOffset + (magic == IMAGE_NT_OPTIONAL_HDR64_MAGIC ? 168 : 152);
}

}  // namespace signer_fixtures
