// Texts of disk answers: ATA IDENTIFY words and storage-descriptor serial numbers. Pure
// functions over caller buffers; any thread.
#pragma once

#include <windows.h>

#include <cstddef>
#include <string>

// Bytes of the ATA IDENTIFY data block (512 bytes) from the disk answers.
constexpr size_t kIdentifySize = 512;

// IDENTIFY words firstWord..lastWord as text: each little-endian word gives its high byte,
// then its low byte; trailing blanks go, but never the first character. text must hold
// 2 * (lastWord - firstWord + 1) + 1 bytes; the text ends at its first zero byte.
void IdentifyWordsToText(const BYTE* identify, int firstWord, int lastWord, char* text);

// Removes trailing blanks in place, down to an empty text when it is all blanks.
void TrimTrailingBlanks(char* text);

// The serial text that a storage descriptor answer (answer, answerSize bytes) holds at offset:
// hexadecimal digits decoded to the printable bytes they encode, else the printable text as it
// stands, else empty; with swap, the characters are exchanged in pairs (an odd last one drops
// out). out (outSize >= 1 bytes) always ends terminated; an offset of 0 or below, or outside
// the answer, gives an empty text. Reading stops at the end of the answer.
void DecodeDeviceSerialText(const BYTE* answer, DWORD answerSize, LONG offset, BOOL swap,
                            char* out, size_t outSize);

// A descriptor serial of 4 to 40 characters: 40 hexadecimal digits become the 20 bytes they
// encode (up to the first zero byte), anything else is kept; with swap the byte pairs are
// exchanged (FixAtaString); white space is trimmed at both ends. Other lengths leave result
// unchanged.
void DecodeDescriptorSerial(const char* text, std::string* result, BOOL swap);

// An ATA string in place: leading spaces move to the end, then the two bytes of every pair
// are exchanged. Only for an even length of at least 2.
void FixAtaString(BYTE* bytes, size_t length);

// The text without white space (C locale) at either end.
std::string TrimBlankSpace(const std::string& text);

// C-locale character classes, safe for any byte value.
inline bool IsPrintableByte(unsigned char c) { return c >= 0x20 && c <= 0x7E; }
inline bool IsBlankSpace(unsigned char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }
