#pragma once

#include <string>

// Package files as the "zip" URL scheme reads them.
//
// Plain: Base64 (no line breaks) of Blowfish-ECB, under the key's UTF-8 bytes, of the zip archive
// zero-padded to a multiple of 8.
// Signed: the plain package (body), then the RSA private-key encryption (PKCS#1 v1.5) of the
// body's MD5 as 32 upper-case hex digits, then the signature's byte count as 4 decimal digits.
// Such a package is requested with the key "rsa_" + key.

// False when the archive or key is empty.
[[nodiscard]] bool BuildPlainPackage(const std::string& zipArchive, const std::string& key, std::string* out);
// False when the plain package cannot be built or the private key cannot sign.
[[nodiscard]] bool BuildSignedPackage(const std::string& zipArchive, const std::string& key,
                                      const std::string& pemPrivateKey, std::string* out);
