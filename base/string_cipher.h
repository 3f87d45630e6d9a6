#pragma once

// <windows.h> first: winbase.h maps EncryptFile/DecryptFile to their W forms, and every unit
// that declares or calls the members below must see the same mapping.
#include <windows.h>

#include <cstdint>
#include <string>

#include "compat/atlstr.h"

// The library's text cipher: Base64 (strict RFC 4648, no line breaks) of Blowfish-ECB under the
// UTF-8 bytes of a key text, the plain bytes zero-padded to a multiple of 8. Also the UTF-16 <->
// code-page conversions that the whole program uses.
//
// Stateless: any thread may call any function. Nothing throws or logs; failures are results.
// A wrong key is not detected here: it deciphers to bytes that the caller's own checks reject.
// An empty key is refused.
namespace StringCipher {

// Deciphers a Base64 text into every deciphered byte, zero padding included. *out is replaced
// only on success. False for an empty or refused text, an empty key, or no memory.
[[nodiscard]] bool DecryptData(const std::string& base64, const std::string& key, std::string* out);

// DecryptData over a caller's buffer, in place: on success the first *plainLength bytes of text
// are what DecryptData gives for the same length bytes (which it never exceeds). On failure the
// bytes of text are unspecified. Nothing is allocated, so any size the caller could hold works.
[[nodiscard]] bool DecryptInPlace(char* text, uint32_t length, const std::string& key, uint32_t* plainLength);

// Enciphers the plain bytes (at least one) into Base64 text in *outBase64.
[[nodiscard]] bool EncryptData(const std::string& plain, const std::string& key, std::string* outBase64);

// EncryptData over a raw buffer; a null pointer or a size of 0 fails.
[[nodiscard]] bool EncryptBytes(const void* data, uint32_t size, const std::string& key, std::string* outBase64);

// Both texts go through UTF-8 (each up to its first zero unit). The result is the deciphered
// text up to its first zero byte; empty on any failure.
ATL::CStringW DecryptString(const ATL::CStringW& base64, const ATL::CStringW& key);

// The Base64 cipher text of a text's UTF-8 bytes; empty on any failure (an empty text fails).
ATL::CStringW EncryptString(const ATL::CStringW& plain, const ATL::CStringW& key);

// Read a whole file (1 byte to just under 5 MiB) / create or truncate one and write data to it.
[[nodiscard]] bool ReadFileData(const wchar_t* path, std::string* out);
[[nodiscard]] bool WriteFileData(const wchar_t* path, const std::string& data);

// The file at source holds Base64 cipher text / plain bytes; target receives the deciphered
// bytes / the cipher text. False when reading, the cipher or writing fails.
[[nodiscard]] bool DecryptFile(const ATL::CStringW& source, const std::string& key, const ATL::CStringW& target);
[[nodiscard]] bool EncryptFile(const ATL::CStringW& source, const std::string& key, const ATL::CStringW& target);

// AES-CBC through the platform's provider (see base/win_aes.h) under the first 16 bytes of key
// and of iv; either text holding fewer than 16 bytes is refused. The cipher text travels as
// strict Base64 (as for DecryptData); padding is PKCS#5. *out / *outBase64 are replaced only on
// success. An empty input fails.
[[nodiscard]] bool AesDecryptData(const std::string& base64, const std::string& key, const std::string& iv,
                                  std::string* out);
[[nodiscard]] bool AesEncryptData(const std::string& plain, const std::string& key, const std::string& iv,
                                  std::string* outBase64);
// As DecryptFile, with AesDecryptData.
[[nodiscard]] bool AesDecryptFile(const ATL::CStringW& source, const std::string& key, const std::string& iv,
                                  const ATL::CStringW& target);

// Platform conversions of a zero-terminated text; a null or empty text, or one that cannot be
// converted, gives an empty result. The result ends at the first zero.
std::string WideToCodePage(const wchar_t* text, UINT codePage);
std::wstring CodePageToWide(const char* text, UINT codePage);

// Base64 through the platform's CryptoAPI (CRYPT_STRING_BASE64). The platform decoder is lenient:
// it skips blanks and line breaks. *size / *length give the capacity on entry and the bytes /
// characters produced on return.
BOOL CryptBase64DecodeA(const char* text, DWORD length, BYTE* out, DWORD* size);
BOOL CryptBase64DecodeW(const wchar_t* text, DWORD length, BYTE* out, DWORD* size);
// The decoded bytes up to their first zero, read as UTF-8; empty on failure.
std::wstring CryptBase64DecodeToWide(const std::wstring& text);
// Text without line breaks and a terminator; FALSE when it does not fit *length characters
// with its terminator.
BOOL CryptBase64EncodeA(const BYTE* data, DWORD size, char* out, DWORD* length);
BOOL CryptBase64EncodeW(const BYTE* data, DWORD size, wchar_t* out, DWORD* length);
// The Base64 text of the text's UTF-8 bytes; empty on failure.
std::wstring CryptBase64EncodeWide(const std::wstring& text);

}  // namespace StringCipher
