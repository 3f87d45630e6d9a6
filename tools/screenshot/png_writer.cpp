#include "tools/screenshot/png_writer.h"

#include <zlib.h>

#include <vector>

namespace screenshot {

namespace {

void PutU32(std::string* out, uint32_t value) {
  out->push_back(static_cast<char>(value >> 24));
  out->push_back(static_cast<char>(value >> 16));
  out->push_back(static_cast<char>(value >> 8));
  out->push_back(static_cast<char>(value));
}

// Length, type, data and the CRC of type and data.
void PutChunk(std::string* out, const char type[4], const std::string& data) {
  PutU32(out, static_cast<uint32_t>(data.size()));
  const size_t start = out->size();
  out->append(type, 4);
  out->append(data);
  const uLong crc = crc32(0L, reinterpret_cast<const Bytef*>(out->data() + start), static_cast<uInt>(4 + data.size()));
  PutU32(out, static_cast<uint32_t>(crc));
}

}  // namespace

bool EncodePng(const uint32_t* pixels, int width, int height, int stride_pixels, std::string* png) {
  if (!pixels || !png || width < 1 || height < 1 || width > kMaxPngExtent || height > kMaxPngExtent ||
      stride_pixels < width)
    return false;
  // Each row: its filter byte (0, none), then R, G, B per pixel.
  const size_t row_bytes = 1 + 3 * static_cast<size_t>(width);
  std::vector<Bytef> raw(row_bytes * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    Bytef* row = &raw[row_bytes * static_cast<size_t>(y)];
    const uint32_t* source = pixels + static_cast<size_t>(y) * static_cast<size_t>(stride_pixels);
    row[0] = 0;
    for (int x = 0; x < width; ++x) {
      row[1 + 3 * x] = static_cast<Bytef>(source[x] >> 16);
      row[2 + 3 * x] = static_cast<Bytef>(source[x] >> 8);
      row[3 + 3 * x] = static_cast<Bytef>(source[x]);
    }
  }
  uLongf packed_size = compressBound(static_cast<uLong>(raw.size()));
  std::string packed(packed_size, '\0');
  if (compress2(reinterpret_cast<Bytef*>(&packed[0]), &packed_size, raw.data(), static_cast<uLong>(raw.size()),
                Z_BEST_COMPRESSION) != Z_OK)
    return false;
  packed.resize(packed_size);

  std::string header;
  PutU32(&header, static_cast<uint32_t>(width));
  PutU32(&header, static_cast<uint32_t>(height));
  header += std::string("\x08\x02\x00\x00\x00", 5);  // 8 bits per sample, RGB, deflate, filters 0, no interlace
  std::string out("\x89PNG\r\n\x1a\n", 8);
  PutChunk(&out, "IHDR", header);
  PutChunk(&out, "IDAT", packed);
  PutChunk(&out, "IEND", std::string());
  png->swap(out);
  return true;
}

}  // namespace screenshot
