#include "base/rsa_cipher.h"

#include <windows.h>

#include <climits>
#include <new>
#include <vector>

#include <openssl/bio.h>
#include <openssl/bn.h>
#include <openssl/pem.h>
#include <openssl/rsa.h>

#include "base/embedded_key.h"
#include "base/string_cipher.h"

namespace {

// Every operation of the library uses this mode: PKCS#1 v1.5.
constexpr int kMode = 1;
// Largest modulus the block operations accept, in bytes (2048 bits).
constexpr int kMaxModulusBytes = 256;

using RsaCall = int (*)(int length, const unsigned char* from, unsigned char* to, RSA* rsa, int padding);

enum class KeyKind { kPublic, kPrivate };

int ModeValue(const std::map<int, int>& table, int fallback) {
  const auto it = table.find(kMode);
  return it == table.end() ? fallback : it->second;
}

RSA* ReadKey(const std::string& pem, KeyKind kind) {
  if (pem.size() > size_t(INT_MAX)) return nullptr;
  BIO* bio = BIO_new_mem_buf(pem.data(), int(pem.size()));
  if (bio == nullptr) return nullptr;
  RSA* rsa = kind == KeyKind::kPublic ? PEM_read_bio_RSAPublicKey(bio, nullptr, nullptr, nullptr)
                                      : PEM_read_bio_RSAPrivateKey(bio, nullptr, nullptr, nullptr);
  BIO_free(bio);
  return rsa;
}

bool RunBlocks(const std::string& input, std::string* out, const std::string& pem, KeyKind kind,
               bool encrypting, RsaCall call) {
  if (out == nullptr || input.empty() || pem.empty()) return false;
  out->clear();
  RSA* rsa = ReadKey(pem, kind);
  if (rsa == nullptr) return false;

  bool ok = false;
  const int k = RSA_size(rsa);
  const int overhead = encrypting ? ModeValue(RsaOverheadByMode(), 11) : 0;
  const int padding = ModeValue(RsaPaddingByMode(), RSA_PKCS1_PADDING);
  // A modulus over 2048 bits would not fit the per-block result.
  if (k > overhead && k <= kMaxModulusBytes) {
    const size_t block = size_t(k - overhead);
    try {
      std::string result;
      unsigned char field[kMaxModulusBytes];
      ok = true;
      for (size_t offset = 0; offset < input.size(); offset += block) {
        const size_t length = input.size() - offset < block ? input.size() - offset : block;
        const int produced = call(int(length), reinterpret_cast<const unsigned char*>(input.data() + offset),
                                  field, rsa, padding);
        if (produced <= 0 || produced > k) {
          ok = false;
          break;
        }
        result.append(reinterpret_cast<const char*>(field), size_t(produced));
      }
      if (ok) out->swap(result);
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  RSA_free(rsa);
  return ok;
}

bool ReadPending(BIO* bio, std::string* out) {
  const long pending = BIO_pending(bio);
  if (pending <= 0 || pending > INT_MAX - 1) return false;
  std::vector<char> buffer(size_t(pending) + 1, '\0');
  if (BIO_read(bio, buffer.data(), int(pending)) != int(pending)) return false;
  out->assign(buffer.data());
  return true;
}

}  // namespace

const std::map<int, int>& RsaPaddingByMode() {
  // Mode 2 was SSLv23 padding, which libcrypto no longer offers; nothing looks it up.
  static const std::map<int, int> table = {
      {1, RSA_PKCS1_PADDING}, {2, 2}, {3, RSA_NO_PADDING}, {4, RSA_PKCS1_OAEP_PADDING}, {5, RSA_X931_PADDING}};
  return table;
}

const std::map<int, int>& RsaOverheadByMode() {
  static const std::map<int, int> table = {{1, 11}, {2, 0}, {3, 0}, {4, 41}, {5, 0}};
  return table;
}

namespace RsaCipher {

std::string GetEmbeddedKey() {
  const ATL::CStringW pem = StringCipher::DecryptString(kEmbeddedPublicKeyText, kEmbeddedCipherKey);
  return StringCipher::WideToCodePage(pem, CP_UTF8);
}

bool PublicDecrypt(const std::string& input, std::string* out, const std::string& pemPublicKey) {
  return RunBlocks(input, out, pemPublicKey, KeyKind::kPublic, false, RSA_public_decrypt);
}

bool PublicEncrypt(const std::string& input, std::string* out, const std::string& pemPublicKey) {
  return RunBlocks(input, out, pemPublicKey, KeyKind::kPublic, true, RSA_public_encrypt);
}

bool PrivateDecrypt(const std::string& input, std::string* out, const std::string& pemPrivateKey) {
  return RunBlocks(input, out, pemPrivateKey, KeyKind::kPrivate, false, RSA_private_decrypt);
}

bool PrivateEncrypt(const std::string& input, std::string* out, const std::string& pemPrivateKey) {
  return RunBlocks(input, out, pemPrivateKey, KeyKind::kPrivate, true, RSA_private_encrypt);
}

bool GenerateKeyPair(int bits, std::string* pemPrivateKey, std::string* pemPublicKey) {
  if (pemPrivateKey == nullptr || pemPublicKey == nullptr) return false;
  RSA* rsa = RSA_new();
  BIGNUM* exponent = BN_new();
  BIO* privateBio = BIO_new(BIO_s_mem());
  BIO* publicBio = BIO_new(BIO_s_mem());
  bool ok = rsa != nullptr && exponent != nullptr && privateBio != nullptr && publicBio != nullptr &&
            BN_set_word(exponent, RSA_F4) == 1 &&
            RSA_generate_key_ex(rsa, bits < 512 ? 512 : bits, exponent, nullptr) == 1 &&
            PEM_write_bio_RSAPrivateKey(privateBio, rsa, nullptr, nullptr, 0, nullptr, nullptr) == 1 &&
            PEM_write_bio_RSAPublicKey(publicBio, rsa) == 1;
  if (ok) {
    try {
      std::string privateText, publicText;
      ok = ReadPending(privateBio, &privateText) && ReadPending(publicBio, &publicText);
      if (ok) {
        pemPrivateKey->swap(privateText);
        pemPublicKey->swap(publicText);
      }
    } catch (const std::bad_alloc&) {
      ok = false;
    }
  }
  BIO_free(publicBio);
  BIO_free(privateBio);
  BN_free(exponent);
  RSA_free(rsa);
  return ok;
}

}  // namespace RsaCipher
