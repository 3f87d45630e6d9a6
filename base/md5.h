#pragma once

#include <windows.h>

#include <cstdint>

// MD5 (RFC 1321) with an optional seed that shifts the initial state (seed 0 is standard MD5),
// and helpers that give a digest as 32 upper-case hexadecimal digits.
//
// No shared state: every call works on its own context, so any thread may call. Nothing throws
// or logs.

// The state of one running digest; owned by the caller, nothing allocated.
struct Md5Context {
  uint32_t count[2];   // bits hashed so far, low word first
  uint32_t state[4];   // A, B, C, D
  uint8_t buffer[64];  // the block being filled; fill index = (count[0] / 8) % 64
  uint8_t digest[16];  // written by Md5Final: the state words little-endian, A first
};

void Md5Init(Md5Context* context, uint32_t seed);
void Md5Update(Md5Context* context, const void* data, uint32_t length);
// Writes context->digest. The context is not reset: a second call goes on from the padded state.
void Md5Final(Md5Context* context);
void Md5Transform(uint32_t state[4], const uint32_t block[16]);

// Standard MD5 of a zero-terminated text (terminator excluded) as 16 raw bytes.
void Md5DigestString(const char* text, uint8_t out[16]);

// Digest of length (>= 1) bytes as 32 upper-case hexadecimal digits and a terminator; out must
// hold at least 33 characters. On refusal (null pointers, length < 1, out shorter than 33) the
// result is FALSE and the wide form leaves out untouched; the narrow form zeroes out only after
// its checks have passed.
BOOL GetBufferMd5Hex(const BYTE* data, int length, wchar_t* out, int outChars);
BOOL GetBufferMd5HexA(const BYTE* data, int length, char* out, int outSize);

// Digest of a whole file, read through read-only views of at most 4 MiB at 64-bit offsets, so
// files of any size need bounded address space. FALSE when the file cannot be opened, sized,
// mapped or read to its end (a view failing part-way never yields the digest of a prefix);
// the narrow form's output then holds only zeros.
BOOL GetFileMd5Hex(const wchar_t* path, wchar_t* out, int outChars);
BOOL GetFileMd5HexA(const wchar_t* path, char* out, int outSize);
