// PNG files from 32-bit pixels: 8-bit RGB, no interlacing, every row with filter 0, the image
// data compressed by zlib in one IDAT chunk.
//
// Contracts: any thread; pure (no I/O). Pixels are read as 0x00RRGGBB words (the byte order of a
// 32-bit BGRA DIB); the top byte is ignored.
#pragma once

#include <cstdint>
#include <string>

namespace screenshot {

// Largest width or height accepted (PNG allows 2^31 - 1; a screen is far smaller).
constexpr int kMaxPngExtent = 16384;

// Encodes `height` rows of `width` pixels, top row first; the row after `row` starts
// `stride_pixels` pixels later (at least width). False, with *png untouched, for a size outside
// 1..kMaxPngExtent, a null pointer, a short stride, or when zlib fails.
[[nodiscard]] bool EncodePng(const uint32_t* pixels, int width, int height, int stride_pixels, std::string* png);

}  // namespace screenshot
