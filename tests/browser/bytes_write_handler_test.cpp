#include "browser/bytes_write_handler.h"

#include <cstdint>
#include <cstring>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "include/cef_stream.h"

using client::BytesWriteHandler;

namespace {

// Refuses every reallocation while `fail` is set. The bytes a reallocation adds hold 0xCD, as
// memory from the heap may hold anything.
class FailingAllocationHandler : public BytesWriteHandler {
 public:
  explicit FailingAllocationHandler(uint32_t grow) : BytesWriteHandler(grow), capacity_(grow) {}
  bool fail = false;
  int reallocations = 0;

 protected:
  void* Reallocate(void* block, size_t bytes) override {
    ++reallocations;
    if (fail)
      return nullptr;
    void* grown = BytesWriteHandler::Reallocate(block, bytes);
    if (grown && bytes > capacity_)
      memset(static_cast<char*>(grown) + capacity_, 0xCD, bytes - capacity_);
    if (grown)
      capacity_ = bytes;
    return grown;
  }

 private:
  size_t capacity_;
};

std::string Contents(CefRefPtr<BytesWriteHandler> handler) {
  return std::string(static_cast<const char*>(handler->GetData()), static_cast<size_t>(handler->GetDataSize()));
}

// The capacity, read as the farthest position Seek accepts.
int64 Capacity(CefRefPtr<BytesWriteHandler> handler) {
  const int64 position = handler->Tell();
  EXPECT_EQ(handler->Seek(0, SEEK_END), 0);
  const int64 capacity = handler->Tell();
  EXPECT_EQ(handler->Seek(position, SEEK_SET), 0);
  return capacity;
}

TEST(BytesWriteHandler, GrowsByAtLeastTheStepWhenAWriteReachesTheEnd) {
  struct Case {
    std::vector<size_t> writes;
    int64 capacity;
  } cases[] = {
      {{100}, 200},      // exactly filling the block grows it too
      {{10}, 100},       // room left: no growth
      {{10, 95}, 200},   // 105 > 100: grows by max(95, 100)
      {{250}, 350},      // a write larger than the step grows by itself
      {{0}, 100},        // nothing written, nothing grown
  };
  for (const Case& c : cases) {
    CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(100);
    std::string expected;
    for (size_t size : c.writes) {
      std::string chunk(size, static_cast<char>('a' + expected.size() % 26));
      EXPECT_EQ(handler->Write(chunk.data(), 1, size), size);
      expected += chunk;
    }
    EXPECT_EQ(Capacity(handler), c.capacity) << c.writes.size() << " writes, first " << c.writes[0];
    EXPECT_EQ(handler->Tell(), static_cast<int64>(expected.size()));
    EXPECT_EQ(Contents(handler), expected);
  }
}

TEST(BytesWriteHandler, WritesThroughAStreamWriterAndCountsElements) {
  CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(4);
  CefRefPtr<CefStreamWriter> writer = CefStreamWriter::CreateForHandler(handler.get());
  ASSERT_TRUE(writer);
  const uint16_t words[3] = {0x4241, 0x4443, 0x4645};
  EXPECT_EQ(writer->Write(words, sizeof(uint16_t), 3), 3u);
  EXPECT_EQ(Contents(handler), "ABCDEF");
  EXPECT_FALSE(handler->MayBlock());
  EXPECT_EQ(handler->Flush(), 0);
}

TEST(BytesWriteHandler, EmptyWritesBelowTheCapacityReturnTheirCountAndWriteNothing) {
  CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(16);
  ASSERT_EQ(handler->Write("abc", 1, 3), 3u);
  EXPECT_EQ(handler->Write("xyz", 0, 7), 7u);
  EXPECT_EQ(handler->Write("xyz", 1, 0), 0u);
  EXPECT_EQ(Contents(handler), "abc");
  EXPECT_EQ(Capacity(handler), 16);
}

TEST(BytesWriteHandler, SeekStaysWithinTheCapacity) {
  struct Case {
    int64 start;
    int64 offset;
    int whence;
    int result;
    int64 position;
  } cases[] = {
      {0, 50, SEEK_SET, 0, 50},    {0, 100, SEEK_SET, 0, 100}, {7, 101, SEEK_SET, -1, 7},
      {7, -1, SEEK_SET, -1, 7},    {40, 20, SEEK_CUR, 0, 60},  {40, -40, SEEK_CUR, 0, 0},
      {40, 61, SEEK_CUR, -1, 40},  {40, -41, SEEK_CUR, -1, 40}, {0, -30, SEEK_END, 0, 70},
      {0, 30, SEEK_END, 0, 70},    {0, 100, SEEK_END, 0, 0},   {5, 101, SEEK_END, -1, 5},
      {5, 0, 3, -1, 5},            {5, INT64_MAX, SEEK_CUR, -1, 5},
      {5, INT64_MIN, SEEK_END, -1, 5},
  };
  for (const Case& c : cases) {
    CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(100);
    ASSERT_EQ(handler->Seek(c.start, SEEK_SET), 0);
    EXPECT_EQ(handler->Seek(c.offset, c.whence), c.result) << c.offset << " whence " << c.whence;
    EXPECT_EQ(handler->Tell(), c.position) << c.offset << " whence " << c.whence;
  }
}

TEST(BytesWriteHandler, AWriteAfterSeekingBackOverwritesInPlace) {
  CefRefPtr<BytesWriteHandler> handler = new BytesWriteHandler(8);
  ASSERT_EQ(handler->Write("abcdef", 1, 6), 6u);
  ASSERT_EQ(handler->Seek(2, SEEK_SET), 0);
  ASSERT_EQ(handler->Write("XYZWVUT", 1, 7), 7u);  // 2 + 7 passes the 8 bytes: grows
  EXPECT_EQ(Contents(handler), "abXYZWVUT");
}

// What a forward seek skipped is handed out as zeros, never as whatever the heap left there:
// in the first block (filled with 0xCD here through the block's address) and in grown ones.
TEST(BytesWriteHandler, BytesSkippedByASeekReadAsZero) {
  CefRefPtr<FailingAllocationHandler> handler = new FailingAllocationHandler(8);
  memset(handler->GetData(), 0xCD, 8);
  ASSERT_EQ(handler->Seek(3, SEEK_SET), 0);
  ASSERT_EQ(handler->Write("ab", 1, 2), 2u);
  EXPECT_EQ(Contents(handler), std::string(3, '\0') + "ab");
  // Into the grown block, past its end: the bytes between are cleared as well.
  ASSERT_EQ(handler->Seek(8, SEEK_SET), 0);
  ASSERT_EQ(handler->Write("c", 1, 1), 1u);  // fills the block exactly: grows it
  ASSERT_EQ(handler->reallocations, 1);
  ASSERT_EQ(handler->Seek(12, SEEK_SET), 0);
  ASSERT_EQ(handler->Write("d", 1, 1), 1u);
  EXPECT_EQ(Contents(handler), std::string(3, '\0') + "ab" + std::string(3, '\0') + "c" + std::string(3, '\0') + "d");
  // Seeking back and writing keeps what lies behind; a seek to the end without a write hands
  // out zeros up to there.
  ASSERT_EQ(handler->Seek(0, SEEK_SET), 0);
  ASSERT_EQ(handler->Write("Z", 1, 1), 1u);
  ASSERT_EQ(handler->Seek(0, SEEK_END), 0);
  EXPECT_EQ(handler->GetDataSize(), 16);
  EXPECT_EQ(Contents(handler), "Z" + std::string(2, '\0') + "ab" + std::string(3, '\0') + "c" + std::string(3, '\0') +
                                   "d" + std::string(3, '\0'));
}

TEST(BytesWriteHandler, AFailedGrowthWritesNothingAndKeepsWhatWasWritten) {
  CefRefPtr<FailingAllocationHandler> handler = new FailingAllocationHandler(8);
  ASSERT_EQ(handler->Write("12345", 1, 5), 5u);
  handler->fail = true;
  EXPECT_EQ(handler->Write("6789", 1, 4), 0u);
  EXPECT_EQ(handler->Grow(1), 0u);
  EXPECT_EQ(handler->Tell(), 5);
  EXPECT_EQ(Contents(handler), "12345");
  EXPECT_EQ(Capacity(handler), 8);
  handler->fail = false;
  EXPECT_EQ(handler->Write("6789", 1, 4), 4u);
  EXPECT_EQ(Contents(handler), "123456789");
  EXPECT_EQ(handler->Grow(3), 16u + 8u);  // grows by the step, not by less
}

// A byte count beyond 32 bits is refused whole instead of being cut to fewer bytes.
TEST(BytesWriteHandler, ASizeOverflowWritesNothingAndReportsZero) {
  CefRefPtr<FailingAllocationHandler> handler = new FailingAllocationHandler(16);
  ASSERT_EQ(handler->Write("ab", 1, 2), 2u);
  const char byte = 'x';
  // 0x10000 * 0x10001 = 0x100010000: 0x10000 in 32 bits.
  EXPECT_EQ(handler->Write(&byte, 0x10000, 0x10001), 0u);
  EXPECT_EQ(handler->Write(&byte, 0x80000000u, 2), 0u);
  EXPECT_EQ(handler->reallocations, 0);
  EXPECT_EQ(Contents(handler), "ab");
}

// With no growth step an empty write at a full block never reallocates to nothing.
TEST(BytesWriteHandler, AZeroStepHandlerNeverReallocatesToZeroBytes) {
  CefRefPtr<FailingAllocationHandler> handler = new FailingAllocationHandler(0);
  EXPECT_NE(handler->GetData(), nullptr);
  EXPECT_EQ(handler->Write("", 1, 0), 0u);
  EXPECT_EQ(handler->Write("", 0, 3), 3u);
  EXPECT_EQ(handler->reallocations, 0);
  EXPECT_EQ(handler->Write("hello", 1, 5), 5u);
  EXPECT_EQ(handler->reallocations, 1);
  EXPECT_EQ(Contents(handler), "hello");
}

}  // namespace
