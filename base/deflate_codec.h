#pragma once

#include <cstdint>

// One-shot raw deflate (RFC 1951: no zlib or gzip wrapper) of a memory buffer, with the zip
// form of its CRC-32 computed on the side.
//
// The settings are fixed at the strongest ones (32 KiB window, lazy matching, chains of up to
// 4096 candidates) and the block layout, block types and code trees are chosen by a fixed
// procedure, so the same input always gives the same bytes. Any raw inflater reads the output.
//
// Each call allocates its own state (about 430 KiB) and frees it before returning: calls on
// different threads are independent. Nothing throws or logs.
namespace DeflateCodec {

// Compresses size bytes at src into dst, which holds dstCapacity bytes. Returns the number of
// bytes written, or -1 when the state cannot be allocated or the output does not fit
// dstCapacity (dst may then be partly written). max(1024, 2 * size) bytes always suffice.
// *crc (not null) receives the CRC-32 of the source bytes whenever the result is not -1.
// src may be null only when size is 0.
[[nodiscard]] int32_t Compress(const uint8_t* src, uint32_t size, uint8_t* dst, uint32_t dstCapacity,
                               uint32_t* crc);

}  // namespace DeflateCodec
