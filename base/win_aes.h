#pragma once

#include <windows.h>

#include <wincrypt.h>

#include <cstddef>
#include <cstdint>
#include <exception>
#include <string>

// What WinAES raises when told to (kThrowErrors): the failing step's text, for example
// "Encrypt(1): IV has not been set".
class WinAESException : public std::exception {
 public:
  WinAESException(const char* message, DWORD lastError) : m_strMessage(message), m_dwLastError(lastError) {}
  const char* what() const noexcept override { return m_strMessage.c_str(); }
  // The thread's last error when the step failed.
  DWORD LastError() const { return m_dwLastError; }

 private:
  std::string m_strMessage;
  DWORD m_dwLastError;
};

// AES in CBC mode with 16-, 24- or 32-byte keys and a 16-byte IV through the platform's
// RSA-and-AES cryptographic provider. Encryption pads with PKCS#5 to a whole number of blocks
// and decryption removes the padding.
//
// Errors: every method returns false, with the reason in the thread's last error where the
// step names one (NTE_BAD_KEY, NTE_BAD_DATA, NTE_BUFFER_TOO_SMALL, NTE_INVALID_PARAMETER for a
// missing IV, NTE_BUFFERS_OVERLAP, ERROR_INVALID_USER_BUFFER, or the provider's own), or, with
// kThrowErrors, raises a WinAESException instead. "in/out" sizes hold the capacity on entry
// and the result on return; a failed encryption or decryption step leaves 0 there.
//
// One object is used by one thread at a time. After SetKey or SetKeyWithIv's key step the IV
// must be set again; every Encrypt and Decrypt is a whole message (the CBC chain starts from
// the IV each time).
class WinAES {
 public:
  enum Flags : uint32_t {
    kCreateKeySet = 1,     // may create the key container
    kDeleteKeySet = 8,     // deletes the key container at destruction
    kThrowErrors = 16,     // failures raise WinAESException
  };

  // Acquires a provider for the container; without a name a temporary container that is
  // deleted again at destruction. A failed acquisition leaves an object that can only fail
  // (or throws with kThrowErrors).
  explicit WinAES(const wchar_t* container = nullptr, uint32_t flags = 0);
  // Takes over a provider handle (released at destruction).
  explicit WinAES(HCRYPTPROV provider);
  virtual ~WinAES();
  WinAES(const WinAES&) = delete;
  WinAES& operator=(const WinAES&) = delete;

  // Releases the current provider and key and acquires a provider for another container.
  bool AcquireContext(const wchar_t* container);
  // The provider with one more reference, which the caller releases; 0 when there is none.
  HCRYPTPROV GetProvider();

  bool SetKey(const BYTE* key, int size);
  bool SetIv(const BYTE* iv, int size);
  bool SetKeyWithIv(const BYTE* key, int keySize, const BYTE* iv, int ivSize);

  // In place: the plain bytes at the start of buffer become the cipher text. capacity must be
  // at least MaxCipherTextSize(plainSize).
  bool Encrypt(BYTE* buffer, size_t capacity, size_t plainSize, size_t* cipherSize);
  // Into cipher (in/out size), which must not overlap plain.
  bool Encrypt(const BYTE* plain, size_t plainSize, BYTE* cipher, size_t* cipherSize);
  // Into a new zeroed buffer that the caller releases with delete[]; null on failure.
  bool Encrypt(const BYTE* plain, size_t plainSize, BYTE** cipher, size_t* cipherSize);
  // Sets key and IV, then the copying form. False at once for a null argument or a plain text
  // longer than the capacity.
  bool Encrypt(const BYTE* plain, size_t plainSize, const BYTE* key, int keySize, const BYTE* iv, int ivSize,
               BYTE* cipher, size_t* cipherSize);

  bool Decrypt(BYTE* buffer, size_t capacity, size_t cipherSize, size_t* plainSize);
  bool Decrypt(const BYTE* cipher, size_t cipherSize, BYTE* plain, size_t* plainSize);
  bool Decrypt(const BYTE* cipher, size_t cipherSize, BYTE** plain, size_t* plainSize);
  bool Decrypt(const BYTE* cipher, size_t cipherSize, const BYTE* key, int keySize, const BYTE* iv, int ivSize,
               BYTE* plain, size_t* plainSize);

  bool GenerateRandom(BYTE* buffer, int size);

  // (plainSize with its low 4 bits cleared) + 16: always true.
  static bool MaxCipherTextSize(size_t plainSize, size_t* cipherSize);
  // False when cipherSize is not a multiple of 16; else the same size.
  static bool MaxPlainTextSize(size_t cipherSize, size_t* plainSize);
  // The SDK name of a CryptoAPI or system error ("NTE_BAD_KEY"), or "Unknown". Static text.
  static const char* ErrorToString(DWORD code);

 private:
  bool Acquire();
  void DestroyKey();
  void ReleaseProvider();
  // Applies the error policy to a failure caught inside a method.
  bool Failed(const WinAESException& error);

  HCRYPTPROV m_hProvider = 0;
  HCRYPTKEY m_hKey = 0;
  std::wstring m_strContainer;  // empty: none
  bool m_bIvSet = false;
  uint32_t m_nFlags = 0;
  int m_nProviderRow = -1;
  bool m_bContainerUsed = false;  // the provider was acquired for m_strContainer
};
