// Growable serialization buffer of the host channel and its checking read cursor.
//
// Byte format (little-endian, shared with the host application, so it must not change):
// a header of GetHeaderSize() bytes whose first u32 is payload_size, then the payload.
// Every item starts at the first 4-byte boundary (counted from the payload start) after the
// previous item; the gap is zero. payload_size counts the last item WITHOUT its padding, so a
// block on the wire is exactly header size + payload_size bytes.
//
//   int32   4 bytes                      int64   8 bytes, aligned to 4 only
//   bool    one 4-byte slot, first byte  uint16  one 4-byte slot, first two bytes
//   wstring int32 count of UTF-16 units, the units, padding
//   string  int32 count of bytes, the bytes, padding
//   data    int32 length, the bytes, padding
//
// Thread use: one pickle (and one reader) is used by one thread at a time.
//
// Running out of memory never ends the process: a pickle whose first buffer, or a copy whose
// buffer, cannot be allocated is unusable (IsUsable() false: it takes no writes and every read
// fails), and a write that cannot grow the buffer returns false and marks the pickle as missing
// items (HasFailedWrite()), which the channel refuses to send.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>

class Pickle {
 public:
  // Owned, writable, empty pickle. The header size is rounded up to a multiple of 4; the
  // first buffer holds 64 bytes (more when the header alone needs it).
  explicit Pickle(int header_size);
  Pickle();  // header size 4

  // Read-only view over a received block [data, data + length). The bytes are borrowed and
  // must outlive the view. The header size is length - payload_size; the view is unusable
  // (IsUsable() false, every read fails) when that is 0, not a multiple of 4, or when
  // payload_size exceeds length.
  Pickle(const char* data, int length);

  // Copies are owned and writable, also when copied from a read-only view. A copy whose buffer
  // cannot be allocated is unusable (so is the target of such an assignment).
  Pickle(const Pickle& other);
  Pickle& operator=(const Pickle& other);
  virtual ~Pickle();

  // Appends length bytes as one item. False (pickle unchanged but for HasFailedWrite) when
  // length is negative or the buffer cannot grow.
  [[nodiscard]] bool WriteBytes(const void* data, int length);
  [[nodiscard]] bool WriteInt(int32_t value) { return WriteBytes(&value, sizeof(value)); }
  [[nodiscard]] bool WriteInt64(int64_t value) { return WriteBytes(&value, sizeof(value)); }
  // An int32 length item, then the bytes. False for a negative length.
  [[nodiscard]] bool WriteData(const char* data, int length);
  [[nodiscard]] bool WriteString(const std::string& text);
  [[nodiscard]] bool WriteString16(const std::wstring& text);

  // Writes an int32 length and reserves length zeroed bytes for the caller to fill. Returns
  // where to write them, valid until the next write to this pickle; null for a negative
  // length or when the buffer cannot grow. Only the newest such block can be trimmed.
  [[nodiscard]] char* BeginWriteData(int length);
  // Shortens the newest data block to new_length; nothing when new_length is negative or
  // larger than the block's recorded length.
  void TrimWriteData(int new_length);

  // Reallocates the owned buffer to new_capacity rounded up to 64, keeping its contents.
  // False (unchanged) when the allocation fails, and for a read-only view or an unusable pickle.
  [[nodiscard]] bool Resize(uint32_t new_capacity);

  // The allocator of every pickle buffer: realloc(block, bytes), a null block asking for a new
  // one; std::realloc unless replaced. Blocks are freed with std::free, so a replacement hands out
  // the C run time's blocks or null. Replacing it is for tests of allocation failures; returns
  // the previous one. Any thread.
  using ReallocFunction = void* (*)(void* block, size_t bytes);
  static ReallocFunction SetReallocFunction(ReallocFunction function);

  // For consecutive messages in one buffer: the end of the one starting at start, or null when
  // fewer than 4 bytes remain or it would reach past end.
  static const char* FindNext(uint32_t header_size, const char* start, const char* end);

  // The whole block (header then payload); valid until the next write. Null when unusable.
  const char* GetData() const { return m_pHeader; }
  // Bytes of the block as it travels: header size + payload_size (0 when unusable).
  uint32_t GetSize() const { return m_pHeader ? m_nHeaderSize + GetPayloadSize() : 0; }
  uint32_t GetHeaderSize() const { return m_nHeaderSize; }
  uint32_t GetPayloadSize() const;
  const char* GetPayload() const { return m_pHeader ? m_pHeader + m_nHeaderSize : nullptr; }
  bool IsUsable() const { return m_pHeader != nullptr; }
  bool IsReadOnly() const { return m_nCapacity == kCapacityReadOnly; }
  // A write (or BeginWriteData) failed because the buffer could not grow: items are missing.
  // Carried by copies.
  bool HasFailedWrite() const { return m_bWriteFailed; }

 protected:
  // The header as raw bytes, for derived classes that keep fields in it. Owned pickles only;
  // null when unusable.
  char* MutableHeader() { return m_pHeader; }

 private:
  static constexpr uint32_t kCapacityReadOnly = 0xFFFFFFFFu;

  // Reserves room for one item of length bytes at the next 4-byte boundary and counts it in
  // payload_size; returns where its bytes go, or null when the buffer cannot grow.
  char* BeginWrite(uint32_t length);
  // Zeroes the padding after an item of length bytes that ends at the payload's end.
  void EndWrite(char* dest, uint32_t length);
  void SetPayloadSize(uint32_t size);
  void FreeBuffer();
  // Allocates or reallocates the owned buffer to exactly capacity bytes; false (unchanged) on
  // failure.
  bool Reallocate(uint32_t capacity);
  // Leaves the pickle owned, empty and unusable.
  void BecomeUnusable();
  // Marks the pickle as missing an item; returns false for the writer to return.
  bool WriteFailed();

  char* m_pHeader = nullptr;             // start of the block; null for an unusable view
  uint32_t m_nHeaderSize = 0;            // multiple of 4
  uint32_t m_nCapacity = 0;              // owned bytes, or kCapacityReadOnly
  uint32_t m_nVariableBufferOffset = 0;  // offset of the newest data block's length word; 0 none
  bool m_bWriteFailed = false;
};

// Checking cursor over a pickle's payload. It keeps pointers into the pickle, which must
// outlive it and not be written meanwhile. A failed read of a fixed-size item leaves the cursor
// where it was; a length-prefixed item that fails after its count leaves it after the count.
// After the last item (whose padding was not sent) the cursor may pass the end, and every
// later read fails.
class PickleReader {
 public:
  explicit PickleReader(const Pickle& pickle);

  [[nodiscard]] bool ReadInt(int* result);
  [[nodiscard]] bool ReadInt64(int64_t* result);
  [[nodiscard]] bool ReadBool(bool* result);
  [[nodiscard]] bool ReadUInt16(uint16_t* result);
  [[nodiscard]] bool ReadString16(std::wstring* result);
  [[nodiscard]] bool ReadString(std::string* result);
  // *data points into the pickle. Both outputs are set to null and 0 first.
  [[nodiscard]] bool ReadData(const char** data, int* length);
  // length >= 0 bytes; the cursor moves by length rounded up to 4.
  [[nodiscard]] bool ReadBytes(const char** data, int length);
  // As ReadBytes; returns the old cursor, null on failure.
  const char* Advance(int length);

  // Bytes left before the end; negative once the cursor has passed it.
  std::ptrdiff_t Remaining() const;

 private:
  bool ReadFixed(void* result, std::size_t size, std::size_t advance);
  bool ReadLength(int* length, int unit);
  void Skip(std::size_t bytes);

  const char* m_pRead;
  const char* m_pEnd;  // null when the pickle is unusable
};
