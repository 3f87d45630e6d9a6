#include "base/zip_crc.h"

#include <gtest/gtest.h>
#include <zlib.h>

#include <string>
#include <vector>

namespace {

std::vector<uint8_t> Noise(size_t size, uint32_t seed) {
  std::vector<uint8_t> bytes(size);
  for (uint8_t& b : bytes) {
    seed = seed * 1103515245u + 12345u;
    b = uint8_t(seed >> 24);
  }
  return bytes;
}

uint32_t Reference(uint32_t crc, const uint8_t* data, size_t length) {
  return uint32_t(crc32(crc, data, uInt(length)));
}

TEST(ZipCrc32, KnownValues) {
  const std::string text = "123456789";
  EXPECT_EQ(0xCBF43926u, ZipCrc32(0, reinterpret_cast<const uint8_t*>(text.data()), text.size()));
  EXPECT_EQ(0u, ZipCrc32(0, nullptr, 0));
  const std::vector<uint8_t> zeros(4096, 0);
  EXPECT_EQ(Reference(0, zeros.data(), zeros.size()), ZipCrc32(0, zeros.data(), zeros.size()));
  const std::vector<uint8_t> ones(1000, 0xFF);
  EXPECT_EQ(Reference(0, ones.data(), ones.size()), ZipCrc32(0, ones.data(), ones.size()));
}

// Every length around the 16- and 64-byte steps, at every alignment, from a fresh start and
// continued from an earlier value.
TEST(ZipCrc32, EqualsZlibForEveryLengthAndAlignment) {
  const std::vector<uint8_t> bytes = Noise(600, 32);
  for (size_t offset = 0; offset < 16; ++offset) {
    for (size_t length = 0; offset + length <= 340; ++length) {
      const uint8_t* p = bytes.data() + offset;
      ASSERT_EQ(Reference(0, p, length), ZipCrc32(0, p, length)) << offset << "+" << length;
      ASSERT_EQ(Reference(0x9E3779B9u, p, length), ZipCrc32(0x9E3779B9u, p, length)) << offset << "+" << length;
    }
  }
}

TEST(ZipCrc32, LongBuffersAndSplitsGiveTheWholeValue) {
  const std::vector<uint8_t> bytes = Noise(3 * 1024 * 1024 + 77, 7);
  const uint32_t whole = Reference(0, bytes.data(), bytes.size());
  EXPECT_EQ(whole, ZipCrc32(0, bytes.data(), bytes.size()));
  for (size_t split : {size_t(1), size_t(63), size_t(64), size_t(1000), size_t(65536 + 5), bytes.size() - 17}) {
    const uint32_t first = ZipCrc32(0, bytes.data(), split);
    EXPECT_EQ(whole, ZipCrc32(first, bytes.data() + split, bytes.size() - split)) << split;
  }
}

}  // namespace
