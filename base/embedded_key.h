#pragma once

// Constants enciphered into the program (see embedded_key.cpp for how to replace them).

// Cipher key text, 32 upper-case hexadecimal digits: the string-cipher key of the embedded
// public key text and of the trusted-signer list.
extern const wchar_t kEmbeddedCipherKey[];

// The PEM text of the program's package-signing public key, enciphered with the string cipher
// under kEmbeddedCipherKey (344 Base64 characters for a 1024-bit key).
extern const wchar_t kEmbeddedPublicKeyText[];
