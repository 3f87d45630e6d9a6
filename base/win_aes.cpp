#include "base/win_aes.h"

#include <cstdio>
#include <cstring>
#include <memory>
#include <new>

namespace {

constexpr wchar_t kTemporaryContainer[] = L"Temporary - OK to Delete";
constexpr wchar_t kProviderName[] = L"Microsoft Enhanced RSA and AES Cryptographic Provider";
constexpr DWORD kProviderType = 24;  // PROV_RSA_AES

struct ProviderRow {
  const wchar_t* name;
  DWORD type;
  DWORD flags;
};
constexpr ProviderRow kProviderRows[] = {
    {kProviderName, kProviderType, 0},
    {kProviderName, kProviderType, CRYPT_NEWKEYSET},
    {kProviderName, kProviderType, CRYPT_VERIFYCONTEXT},
};

constexpr DWORD kBlockSize = 16;
constexpr DWORD kErrorBadKey = 0x80090003;          // NTE_BAD_KEY
constexpr DWORD kErrorBadData = 0x80090005;         // NTE_BAD_DATA
constexpr DWORD kErrorInvalidParameter = 0x80090027;  // NTE_INVALID_PARAMETER
constexpr DWORD kErrorBufferTooSmall = 0x80090028;  // NTE_BUFFER_TOO_SMALL
constexpr DWORD kErrorBuffersOverlap = 0x8009002B;  // NTE_BUFFERS_OVERLAP
constexpr DWORD kErrorInvalidUserBuffer = 1784;     // ERROR_INVALID_USER_BUFFER

// A plain-text key blob: header, key length, and room for the longest key.
#pragma pack(push, 1)
struct PlainKeyBlob {
  BLOBHEADER header;
  DWORD keyLength;
  BYTE key[32];
};
#pragma pack(pop)
static_assert(sizeof(PlainKeyBlob) == 44, "the import takes 12 bytes of header and the key");

[[noreturn]] void Throw(const char* text, DWORD lastError) {
  SetLastError(lastError);
  throw WinAESException(text, lastError);
}

// Fails with the last error left as it is (the platform's, where a call failed).
[[noreturn]] void ThrowLast(const char* text) { Throw(text, GetLastError()); }

// "<prefix> - NTE_BAD_DATA (0x80090005)" for the current last error.
[[noreturn]] void ThrowWithErrorName(const char* prefix) {
  const DWORD error = GetLastError();
  char text[256];
  snprintf(text, sizeof(text), "%s - %s (0x%lx)", prefix, WinAES::ErrorToString(error),
           static_cast<unsigned long>(error));
  Throw(text, error);
}

bool IsKeySize(int size) { return size == 16 || size == 24 || size == 32; }

// The allocating forms: a copying form run into a new zeroed buffer of size bytes, which goes
// to *out only when it succeeds (it is freed on failure, also when an error is raised).
template <typename Copy>
bool IntoNewBuffer(size_t size, BYTE** out, size_t* outSize, Copy copy) {
  *out = nullptr;
  std::unique_ptr<BYTE[]> buffer(new (std::nothrow) BYTE[size]());
  if (!buffer) {
    SetLastError(ERROR_NOT_ENOUGH_MEMORY);
    *outSize = 0;
    return false;
  }
  *outSize = size;
  if (!copy(buffer.get(), outSize)) return false;
  *out = buffer.release();
  return true;
}

// Whether the ranges [a, a + aSize] and [b, b + bSize] touch; meeting ends count.
bool Touch(const void* a, size_t aSize, const void* b, size_t bSize) {
  const uintptr_t x = reinterpret_cast<uintptr_t>(a);
  const uintptr_t y = reinterpret_cast<uintptr_t>(b);
  return !(x + aSize < y || y + bSize < x);
}

}  // namespace

WinAES::WinAES(const wchar_t* container, uint32_t flags) : m_nFlags(flags) {
  if (container == nullptr) {
    m_nFlags |= kDeleteKeySet;
    container = kTemporaryContainer;
  }
  m_strContainer = container;
  if (!Acquire() && (m_nFlags & kThrowErrors) != 0) {
    throw WinAESException("AcquireContext: CryptAcquireContext failed", GetLastError());
  }
}

WinAES::WinAES(HCRYPTPROV provider) : m_hProvider(provider), m_nFlags(kCreateKeySet | kDeleteKeySet) {}

WinAES::~WinAES() {
  DestroyKey();
  ReleaseProvider();
}

void WinAES::DestroyKey() {
  if (m_hKey != 0) {
    CryptDestroyKey(m_hKey);
    m_hKey = 0;
  }
  m_bIvSet = false;
}

void WinAES::ReleaseProvider() {
  if (m_hProvider != 0) {
    CryptReleaseContext(m_hProvider, 0);
    m_hProvider = 0;
  }
  // Only a container that this object opened or created is deleted: a provider that fell back
  // to no container never touched it.
  if ((m_nFlags & kDeleteKeySet) != 0 && m_nProviderRow >= 0 && m_bContainerUsed) {
    const ProviderRow& row = kProviderRows[m_nProviderRow];
    HCRYPTPROV unused = 0;
    CryptAcquireContextW(&unused, m_strContainer.c_str(), row.name, row.type, CRYPT_DELETEKEYSET);
  }
  m_nProviderRow = -1;
  m_bContainerUsed = false;
}

bool WinAES::Acquire() {
  // With the container first, then without one.
  for (int pass = 0; pass < 2; ++pass) {
    const wchar_t* container = pass == 0 && !m_strContainer.empty() ? m_strContainer.c_str() : nullptr;
    for (int row = 0; row < int(sizeof(kProviderRows) / sizeof(kProviderRows[0])); ++row) {
      const ProviderRow& r = kProviderRows[row];
      if ((r.flags & CRYPT_NEWKEYSET) != 0 && (m_nFlags & kCreateKeySet) == 0) continue;
      if (CryptAcquireContextW(&m_hProvider, container, nullptr, r.type, r.flags)) {
        m_nProviderRow = row;
        m_bContainerUsed = container != nullptr;
        return true;
      }
      m_hProvider = 0;
    }
  }
  return false;
}

bool WinAES::AcquireContext(const wchar_t* container) {
  DestroyKey();
  ReleaseProvider();
  m_strContainer = container != nullptr ? container : L"";
  if (Acquire()) return true;
  if ((m_nFlags & kThrowErrors) != 0) {
    throw WinAESException("AcquireContext: CryptAcquireContext failed", GetLastError());
  }
  return false;
}

HCRYPTPROV WinAES::GetProvider() {
  if (m_hProvider == 0 || !CryptContextAddRef(m_hProvider, nullptr, 0)) return 0;
  return m_hProvider;
}

bool WinAES::Failed(const WinAESException& error) {
  SetLastError(error.LastError());
  if ((m_nFlags & kThrowErrors) != 0) throw error;
  return false;
}

bool WinAES::SetKey(const BYTE* key, int size) {
  PlainKeyBlob blob;
  SecureZeroMemory(&blob, sizeof(blob));
  try {
    DestroyKey();
    if (m_hProvider == 0) ThrowLast("SetKey: Provider is not valid");
    if (key == nullptr) ThrowLast("SetKey: Key buffer is NULL");
    if (!IsKeySize(size)) ThrowLast("SetKey: Key size is not valid");
    blob.header.bType = PLAINTEXTKEYBLOB;
    blob.header.bVersion = CUR_BLOB_VERSION;
    blob.header.reserved = 0;
    blob.header.aiKeyAlg = size == 16 ? CALG_AES_128 : size == 24 ? CALG_AES_192 : CALG_AES_256;
    blob.keyLength = DWORD(size);
    memcpy(blob.key, key, size_t(size));
    if (!CryptImportKey(m_hProvider, reinterpret_cast<const BYTE*>(&blob), DWORD(12 + size), 0, 0, &m_hKey)) {
      m_hKey = 0;
      ThrowLast("SetKey: Import key failed");
    }
    DWORD mode = CRYPT_MODE_CBC;
    if (!CryptSetKeyParam(m_hKey, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0)) {
      ThrowLast("SetKey: Set CBC mode failed");
    }
    SecureZeroMemory(&blob, sizeof(blob));
    return true;
  } catch (const WinAESException& error) {
    SecureZeroMemory(&blob, sizeof(blob));
    return Failed(error);
  }
}

bool WinAES::SetIv(const BYTE* iv, int size) {
  try {
    if (m_hKey == 0) ThrowLast("SetIv: key is not valid");
    if (iv == nullptr) ThrowLast("SetIv: IV buffer is NULL");
    if (size != int(kBlockSize)) ThrowLast("SetIv: IV block size is not valid");
    if (!CryptSetKeyParam(m_hKey, KP_IV, iv, 0)) ThrowLast("SetIv: Set IV failed");
    DWORD mode = CRYPT_MODE_CBC;
    if (!CryptSetKeyParam(m_hKey, KP_MODE, reinterpret_cast<const BYTE*>(&mode), 0)) {
      ThrowLast("SetIv: Set CBC mode failed");
    }
    m_bIvSet = true;
    return true;
  } catch (const WinAESException& error) {
    m_bIvSet = false;
    return Failed(error);
  }
}

bool WinAES::SetKeyWithIv(const BYTE* key, int keySize, const BYTE* iv, int ivSize) {
  try {
    DestroyKey();
    if (m_hProvider == 0) ThrowLast("SetKeyWithIv: Provider is not valid");
    if (key == nullptr) ThrowLast("SetKeyWithIv: Key buffer is not valid");
    if (!IsKeySize(keySize)) ThrowLast("SetKeyWithIv: Key size is not valid");
    if (iv == nullptr) ThrowLast("SetKeyWithIv: IV buffer is not valid");
    if (ivSize != int(kBlockSize)) ThrowLast("SetKeyWithIv: IV size is not valid");
    // The inner steps report for themselves when errors are raised.
    if (!SetKey(key, keySize)) ThrowLast("SetKeyWithIv: SetKey failed");
    if (!SetIv(iv, ivSize)) ThrowLast("SetKeyWithIv: SetIv failed");
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::Encrypt(BYTE* buffer, size_t capacity, size_t plainSize, size_t* cipherSize) {
  try {
    if (m_hKey == 0) Throw("Encrypt(1): Key is not valid", kErrorBadKey);
    if (buffer == nullptr || cipherSize == nullptr) Throw("Encrypt(1): Buffer is NULL", kErrorInvalidUserBuffer);
    size_t needed = 0;
    MaxCipherTextSize(plainSize, &needed);
    if (capacity < needed || needed > MAXDWORD) Throw("Encrypt(1): Buffer is too small", kErrorBufferTooSmall);
    if (!m_bIvSet) Throw("Encrypt(1): IV has not been set", kErrorInvalidParameter);
    DWORD length = DWORD(plainSize);
    const DWORD room = capacity > MAXDWORD ? MAXDWORD : DWORD(capacity);
    if (!CryptEncrypt(m_hKey, 0, TRUE, 0, buffer, &length, room)) {
      *cipherSize = 0;
      ThrowWithErrorName("Encrypt(1): CryptEncrypt failed");
    }
    *cipherSize = length;
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::Decrypt(BYTE* buffer, size_t capacity, size_t cipherSize, size_t* plainSize) {
  try {
    if (m_hKey == 0) Throw("Decrypt(1): Key is not valid", kErrorBadKey);
    if (buffer == nullptr || plainSize == nullptr) Throw("Decrypt(1): Buffer is NULL", kErrorInvalidUserBuffer);
    if (cipherSize % kBlockSize != 0 || cipherSize > MAXDWORD) {
      Throw("Decrypt(1): Data size is not a multple of block size", kErrorBadData);
    }
    // Unsigned 32-bit arithmetic: an empty cipher text needs an impossible capacity.
    if (!(capacity > size_t(uint32_t(cipherSize) - kBlockSize))) {
      Throw("Decrypt(1): Buffer is too small", kErrorBufferTooSmall);
    }
    if (!m_bIvSet) Throw("Decrypt(1): IV has not been set", kErrorInvalidParameter);
    DWORD length = DWORD(cipherSize);
    if (!CryptDecrypt(m_hKey, 0, TRUE, 0, buffer, &length)) {
      *plainSize = 0;
      ThrowWithErrorName("Decrypt(1): CryptDecrypt failed");
    }
    *plainSize = length;
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::Encrypt(const BYTE* plain, size_t plainSize, BYTE* cipher, size_t* cipherSize) {
  try {
    if (plain == nullptr && plainSize != 0) {
      Throw("Encrypt(2): Plain text buffer is not valid", kErrorInvalidUserBuffer);
    }
    if (cipher == nullptr || cipherSize == nullptr) {
      Throw("Encrypt(2): Cipher text buffer is not valid", kErrorInvalidUserBuffer);
    }
    const size_t capacity = *cipherSize;
    if (Touch(cipher, capacity, plain, plainSize)) Throw("Encrypt(2): Buffers overlap", kErrorBuffersOverlap);
    if (plainSize > capacity) ThrowLast("Encrypt(2): Unable to prepare plaintext buffer");
    if (plainSize > 0) memcpy(cipher, plain, plainSize);
    if (!Encrypt(cipher, capacity, plainSize, cipherSize)) {
      *cipherSize = 0;
      ThrowWithErrorName("Encrypt(2): Encryption failed");
    }
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::Decrypt(const BYTE* cipher, size_t cipherSize, BYTE* plain, size_t* plainSize) {
  try {
    if (cipher == nullptr || plain == nullptr || plainSize == nullptr) {
      Throw("Decrypt(2): Buffer is NULL", kErrorInvalidUserBuffer);
    }
    const size_t capacity = *plainSize;
    if (Touch(cipher, cipherSize, plain, capacity)) Throw("Decrypt(2): Buffers overlap", kErrorBuffersOverlap);
    if (cipherSize > capacity) {
      ThrowLast("Decrypt(2): Unable to prepare decryption buffer");
    }
    if (cipherSize > 0) memcpy(plain, cipher, cipherSize);
    if (!Decrypt(plain, cipherSize, cipherSize, plainSize)) {
      *plainSize = 0;
      ThrowWithErrorName("Decrypt(2): Decryption failed");
    }
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::Encrypt(const BYTE* plain, size_t plainSize, BYTE** cipher, size_t* cipherSize) {
  if (cipher == nullptr || cipherSize == nullptr) return Encrypt(plain, plainSize, static_cast<BYTE*>(nullptr), cipherSize);
  size_t size = 0;
  MaxCipherTextSize(plainSize, &size);
  return IntoNewBuffer(size, cipher, cipherSize,
                       [&](BYTE* buffer, size_t* length) { return Encrypt(plain, plainSize, buffer, length); });
}

bool WinAES::Decrypt(const BYTE* cipher, size_t cipherSize, BYTE** plain, size_t* plainSize) {
  if (plain == nullptr || plainSize == nullptr) return Decrypt(cipher, cipherSize, static_cast<BYTE*>(nullptr), plainSize);
  size_t size = 0;
  MaxCipherTextSize(cipherSize, &size);
  return IntoNewBuffer(size, plain, plainSize,
                       [&](BYTE* buffer, size_t* length) { return Decrypt(cipher, cipherSize, buffer, length); });
}

bool WinAES::Encrypt(const BYTE* plain, size_t plainSize, const BYTE* key, int keySize, const BYTE* iv, int ivSize,
                     BYTE* cipher, size_t* cipherSize) {
  if (plain == nullptr || key == nullptr || iv == nullptr || cipher == nullptr || cipherSize == nullptr ||
      plainSize > *cipherSize) {
    return false;
  }
  return SetKeyWithIv(key, keySize, iv, ivSize) && Encrypt(plain, plainSize, cipher, cipherSize);
}

bool WinAES::Decrypt(const BYTE* cipher, size_t cipherSize, const BYTE* key, int keySize, const BYTE* iv, int ivSize,
                     BYTE* plain, size_t* plainSize) {
  if (cipher == nullptr || key == nullptr || iv == nullptr || plain == nullptr || plainSize == nullptr ||
      cipherSize > *plainSize) {
    return false;
  }
  return SetKeyWithIv(key, keySize, iv, ivSize) && Decrypt(cipher, cipherSize, plain, plainSize);
}

bool WinAES::GenerateRandom(BYTE* buffer, int size) {
  try {
    if (m_hProvider == 0) ThrowLast("GenerateRandom: Provider is not valid");
    if (buffer == nullptr || size < 0) Throw("GenerateRandom: Buffer is NULL", kErrorInvalidUserBuffer);
    if (!CryptGenRandom(m_hProvider, DWORD(size), buffer)) ThrowLast("GenerateRandom: CryptGenRandom failed");
    return true;
  } catch (const WinAESException& error) {
    return Failed(error);
  }
}

bool WinAES::MaxCipherTextSize(size_t plainSize, size_t* cipherSize) {
  *cipherSize = (plainSize & ~size_t(kBlockSize - 1)) + kBlockSize;
  return true;
}

bool WinAES::MaxPlainTextSize(size_t cipherSize, size_t* plainSize) {
  if (cipherSize % kBlockSize != 0) return false;
  *plainSize = cipherSize;
  return true;
}

const char* WinAES::ErrorToString(DWORD code) {
  struct Name {
    DWORD code;
    const char* text;
  };
  static const Name kNames[] = {
      {5, "ERROR_ACCESS_DENIED"},
      {6, "ERROR_INVALID_HANDLE"},
      {55, "ERROR_DEV_NOT_EXIST"},
      {87, "ERROR_INVALID_PARAMETER"},
      {0x80090001, "NTE_BAD_UID"},
      {0x80090002, "NTE_BAD_HASH"},
      {0x80090003, "NTE_BAD_KEY"},
      {0x80090004, "NTE_BAD_LEN"},
      {0x80090005, "NTE_BAD_DATA"},
      {0x80090007, "NTE_BAD_VER"},
      {0x80090008, "NTE_BAD_ALGID"},
      {0x80090009, "NTE_BAD_FLAGS"},
      {0x8009000A, "NTE_BAD_TYPE"},
      {0x8009000B, "NTE_BAD_KEY_STATE"},
      {0x8009000C, "NTE_BAD_HASH_STATE"},
      {0x8009000D, "NTE_NO_KEY"},
      {0x8009000E, "NTE_NO_MEMORY"},
      {0x8009000F, "NTE_EXISTS"},
      {0x80090010, "NTE_PERM"},
      {0x80090011, "NTE_NOT_FOUND"},
      {0x80090012, "NTE_DOUBLE_ENCRYPT"},
      {0x80090013, "NTE_BAD_PROVIDER"},
      {0x80090014, "NTE_BAD_PROV_TYPE"},
      {0x80090016, "NTE_BAD_KEYSET"},
      {0x80090017, "NTE_PROV_TYPE_NOT_DEF"},
      {0x80090018, "NTE_PROV_TYPE_ENTRY_BAD"},
      {0x80090019, "NTE_KEYSET_NOT_DEF"},
      {0x8009001A, "NTE_KEYSET_ENTRY_BAD"},
      {0x8009001F, "NTE_BAD_KEYSET_PARAM"},
      {0x80090020, "NTE_FAIL"},
      {0x80090021, "NTE_SYS_ERR"},
      {0x80090022, "NTE_SILENT_CONTEXT"},
      {0x80090025, "NTE_FIXEDPARAMETER"},
      {0x80090026, "NTE_INVALID_HANDLE"},
      {0x80090027, "NTE_INVALID_PARAMETER"},
      {0x80090028, "NTE_BUFFER_TOO_SMALL"},
      {0x8009002B, "NTE_BUFFERS_OVERLAP"},
      {0x8009002C, "NTE_DECRYPTION_FAILURE"},
      {0x8009002D, "NTE_INTERNAL_ERROR"},
  };
  for (const Name& name : kNames) {
    if (name.code == code) return name.text;
  }
  return "Unknown";
}
