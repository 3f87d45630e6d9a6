#pragma once

#include <map>
#include <string>

// Block-wise RSA over libcrypto with PEM keys held in memory: public keys in the PKCS#1
// "RSA PUBLIC KEY" form, private keys as "RSA PRIVATE KEY" without a pass phrase. Every
// operation uses PKCS#1 v1.5 padding. Keys may be at most 2048 bits (256-byte blocks).
//
// No shared mutable state: each call reads its key anew and keeps nothing, so any thread may
// call. Nothing throws or logs; failures are results.
namespace RsaCipher {

// The program's own public key as PEM text (UTF-8), deciphered anew at every call from its
// enciphered constant; empty when it cannot be deciphered.
std::string GetEmbeddedKey();

// Each input is cut into blocks (k bytes to decrypt, k - 11 bytes to encrypt, k = the modulus
// size; the last block may be shorter) and the results are joined in *out.
// An empty input or key: false with *out untouched. Otherwise *out is cleared first, and any
// key that cannot be read or is over 2048 bits, or any block that fails, gives false with *out
// empty: a partial result is never reported as success.
[[nodiscard]] bool PublicDecrypt(const std::string& input, std::string* out, const std::string& pemPublicKey);
[[nodiscard]] bool PublicEncrypt(const std::string& input, std::string* out, const std::string& pemPublicKey);
[[nodiscard]] bool PrivateDecrypt(const std::string& input, std::string* out, const std::string& pemPrivateKey);
[[nodiscard]] bool PrivateEncrypt(const std::string& input, std::string* out, const std::string& pemPrivateKey);

// A new key pair of max(bits, 512) bits with public exponent 65537, as PEM texts.
[[nodiscard]] bool GenerateKeyPair(int bits, std::string* pemPrivateKey, std::string* pemPublicKey);

}  // namespace RsaCipher

// Padding modes by the library's mode number, and the bytes each padding takes from a block.
// Read-only after first use.
const std::map<int, int>& RsaPaddingByMode();
const std::map<int, int>& RsaOverheadByMode();
