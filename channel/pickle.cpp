#include "channel/pickle.h"

#include <atomic>
#include <climits>
#include <cstdlib>
#include <cstring>

namespace {

constexpr uint32_t kFirstCapacity = 64;
constexpr uint32_t kCapacityUnit = 64;

uint64_t AlignUp(uint64_t value, uint64_t unit) { return (value + unit - 1) / unit * unit; }

void* CRealloc(void* block, size_t bytes) { return std::realloc(block, bytes); }

std::atomic<Pickle::ReallocFunction> g_pfnRealloc{&CRealloc};

}  // namespace

Pickle::ReallocFunction Pickle::SetReallocFunction(ReallocFunction function) {
  return g_pfnRealloc.exchange(function ? function : &CRealloc);
}

Pickle::Pickle(int header_size) {
  if (header_size < 0) header_size = 0;
  m_nHeaderSize = static_cast<uint32_t>(AlignUp(static_cast<uint32_t>(header_size), 4));
  const uint32_t capacity = static_cast<uint32_t>(
      AlignUp(m_nHeaderSize > kFirstCapacity ? m_nHeaderSize : kFirstCapacity, kCapacityUnit));
  if (!Reallocate(capacity)) return;  // unusable
  std::memset(m_pHeader, 0, m_nHeaderSize);
}

Pickle::Pickle() : Pickle(4) {}

Pickle::Pickle(const char* data, int length) {
  m_nCapacity = kCapacityReadOnly;
  uint32_t header_size = 0;
  if (data && length >= 4) {
    uint32_t payload_size;
    std::memcpy(&payload_size, data, sizeof(payload_size));
    // Unsigned: a payload_size above length wraps far above length and is caught below.
    header_size = static_cast<uint32_t>(length) - payload_size;
    if (header_size > static_cast<uint32_t>(length)) header_size = 0;
  }
  if (header_size == 0 || header_size % 4 != 0) {
    m_nHeaderSize = 0;
    m_pHeader = nullptr;
    return;
  }
  m_nHeaderSize = header_size;
  m_pHeader = const_cast<char*>(data);  // never written: read-only views are not written to
}

Pickle::Pickle(const Pickle& other)
    : m_nHeaderSize(other.m_nHeaderSize),
      m_nVariableBufferOffset(other.m_nVariableBufferOffset),
      m_bWriteFailed(other.m_bWriteFailed) {
  if (!other.m_pHeader) {
    m_nCapacity = kCapacityReadOnly;
    m_pHeader = nullptr;
    return;
  }
  const uint32_t size = other.GetSize();
  if (!Reallocate(static_cast<uint32_t>(AlignUp(size, kCapacityUnit)))) {
    BecomeUnusable();
    return;
  }
  std::memcpy(m_pHeader, other.m_pHeader, size);
}

Pickle& Pickle::operator=(const Pickle& other) {
  if (this == &other) return *this;
  if (!other.m_pHeader) {
    FreeBuffer();
    m_nHeaderSize = 0;
    m_nCapacity = kCapacityReadOnly;
    m_nVariableBufferOffset = 0;
    return *this;
  }
  if (IsReadOnly()) {
    m_pHeader = nullptr;  // foreign bytes: let go without freeing
    m_nCapacity = 0;
  }
  if (m_nHeaderSize != other.m_nHeaderSize) {
    FreeBuffer();
    m_nHeaderSize = other.m_nHeaderSize;
  }
  const uint32_t size = other.GetSize();
  if (!Reallocate(static_cast<uint32_t>(AlignUp(size, kCapacityUnit)))) {
    BecomeUnusable();
    return *this;
  }
  std::memcpy(m_pHeader, other.m_pHeader, size);
  m_nVariableBufferOffset = other.m_nVariableBufferOffset;
  m_bWriteFailed = other.m_bWriteFailed;
  return *this;
}

Pickle::~Pickle() { FreeBuffer(); }

void Pickle::FreeBuffer() {
  if (!IsReadOnly()) std::free(m_pHeader);
  m_pHeader = nullptr;
  m_nCapacity = 0;
}

void Pickle::BecomeUnusable() {
  FreeBuffer();
  m_nVariableBufferOffset = 0;
}

bool Pickle::Reallocate(uint32_t capacity) {
  if (IsReadOnly() || capacity == 0) return false;
  char* buffer = static_cast<char*>(g_pfnRealloc.load()(m_pHeader, capacity));
  if (!buffer) return false;
  m_pHeader = buffer;
  m_nCapacity = capacity;
  return true;
}

uint32_t Pickle::GetPayloadSize() const {
  if (!m_pHeader) return 0;
  uint32_t size;
  std::memcpy(&size, m_pHeader, sizeof(size));
  return size;
}

void Pickle::SetPayloadSize(uint32_t size) { std::memcpy(m_pHeader, &size, sizeof(size)); }

bool Pickle::Resize(uint32_t new_capacity) {
  if (!m_pHeader) return false;
  const uint64_t capacity = AlignUp(new_capacity, kCapacityUnit);
  if (capacity >= kCapacityReadOnly) return false;
  return Reallocate(static_cast<uint32_t>(capacity ? capacity : kCapacityUnit));
}

char* Pickle::BeginWrite(uint32_t length) {
  if (!m_pHeader || IsReadOnly()) return nullptr;
  const uint32_t payload_size = GetPayloadSize();
  const uint64_t offset = AlignUp(payload_size, 4);
  const uint64_t needed = m_nHeaderSize + offset + length;
  if (offset + length > UINT32_MAX) return nullptr;
  if (needed > m_nCapacity) {
    const uint64_t doubled = static_cast<uint64_t>(m_nCapacity) * 2;
    const uint64_t grown = AlignUp(doubled > needed ? doubled : needed, kCapacityUnit);
    if (grown >= kCapacityReadOnly || !Reallocate(static_cast<uint32_t>(grown))) return nullptr;
  }
  char* payload = m_pHeader + m_nHeaderSize;
  // A copy does not carry the last item's padding; the gap must still read as zero.
  std::memset(payload + payload_size, 0, static_cast<size_t>(offset - payload_size));
  SetPayloadSize(static_cast<uint32_t>(offset + length));
  return payload + offset;
}

void Pickle::EndWrite(char* dest, uint32_t length) {
  if (length % 4 != 0) std::memset(dest + length, 0, 4 - length % 4);
}

bool Pickle::WriteFailed() {
  m_bWriteFailed = true;
  return false;
}

bool Pickle::WriteBytes(const void* data, int length) {
  if (length < 0) return WriteFailed();
  // The padding after the item is written too, so reserve it.
  const uint32_t padded = static_cast<uint32_t>(AlignUp(static_cast<uint32_t>(length), 4));
  char* dest = BeginWrite(padded);
  if (!dest) return WriteFailed();
  SetPayloadSize(static_cast<uint32_t>(dest - GetPayload()) + static_cast<uint32_t>(length));
  if (length) std::memcpy(dest, data, static_cast<size_t>(length));
  EndWrite(dest, static_cast<uint32_t>(length));
  return true;
}

bool Pickle::WriteData(const char* data, int length) {
  if (length < 0) return WriteFailed();
  const uint32_t before = GetPayloadSize();
  if (!WriteInt(length)) return false;
  if (!WriteBytes(data, length)) {
    SetPayloadSize(before);
    return false;
  }
  return true;
}

bool Pickle::WriteString(const std::string& text) {
  if (text.size() > static_cast<size_t>(INT_MAX)) return WriteFailed();
  return WriteData(text.data(), static_cast<int>(text.size()));
}

bool Pickle::WriteString16(const std::wstring& text) {
  static_assert(sizeof(wchar_t) == 2, "UTF-16 wide characters");
  if (text.size() > static_cast<size_t>(INT_MAX / 2)) return WriteFailed();
  const int count = static_cast<int>(text.size());
  const uint32_t before = GetPayloadSize();
  if (!WriteInt(count)) return false;
  if (!WriteBytes(text.data(), count * 2)) {
    SetPayloadSize(before);
    return false;
  }
  return true;
}

char* Pickle::BeginWriteData(int length) {
  if (length < 0) {
    WriteFailed();
    return nullptr;
  }
  const uint32_t before = GetPayloadSize();
  if (!WriteInt(length)) return nullptr;
  const uint32_t length_word = m_nHeaderSize + GetPayloadSize() - 4;
  const uint32_t padded = static_cast<uint32_t>(AlignUp(static_cast<uint32_t>(length), 4));
  char* dest = BeginWrite(padded);
  if (!dest) {
    SetPayloadSize(before);
    WriteFailed();
    return nullptr;
  }
  SetPayloadSize(static_cast<uint32_t>(dest - GetPayload()) + static_cast<uint32_t>(length));
  std::memset(dest, 0, padded);
  m_nVariableBufferOffset = length_word;
  return dest;
}

void Pickle::TrimWriteData(int new_length) {
  if (!m_pHeader || m_nVariableBufferOffset == 0 || new_length < 0) return;
  int32_t recorded;
  std::memcpy(&recorded, m_pHeader + m_nVariableBufferOffset, sizeof(recorded));
  if (new_length > recorded) return;
  SetPayloadSize(GetPayloadSize() - static_cast<uint32_t>(recorded - new_length));
  std::memcpy(m_pHeader + m_nVariableBufferOffset, &new_length, sizeof(new_length));
}

const char* Pickle::FindNext(uint32_t header_size, const char* start, const char* end) {
  if (!start || !end || end < start || end - start < 4) return nullptr;
  uint32_t payload_size;
  std::memcpy(&payload_size, start, sizeof(payload_size));
  const uint64_t total = static_cast<uint64_t>(header_size) + payload_size;
  if (total > static_cast<uint64_t>(end - start)) return nullptr;
  return start + total;
}

PickleReader::PickleReader(const Pickle& pickle)
    : m_pRead(pickle.GetPayload()),
      m_pEnd(pickle.IsUsable() ? pickle.GetPayload() + pickle.GetPayloadSize() : nullptr) {}

std::ptrdiff_t PickleReader::Remaining() const {
  if (!m_pEnd) return -1;
  // Integer arithmetic: the cursor may stand a few bytes past the end of the block.
  return static_cast<std::ptrdiff_t>(reinterpret_cast<uintptr_t>(m_pEnd) - reinterpret_cast<uintptr_t>(m_pRead));
}

void PickleReader::Skip(std::size_t bytes) {
  m_pRead = reinterpret_cast<const char*>(reinterpret_cast<uintptr_t>(m_pRead) + bytes);
}

bool PickleReader::ReadFixed(void* result, std::size_t size, std::size_t advance) {
  if (Remaining() < static_cast<std::ptrdiff_t>(size)) return false;
  std::memcpy(result, m_pRead, size);
  Skip(advance);
  return true;
}

bool PickleReader::ReadInt(int* result) { return ReadFixed(result, 4, 4); }

bool PickleReader::ReadInt64(int64_t* result) { return ReadFixed(result, 8, 8); }

bool PickleReader::ReadBool(bool* result) {
  unsigned char byte;
  if (!ReadFixed(&byte, 1, 4)) return false;
  *result = byte != 0;
  return true;
}

bool PickleReader::ReadUInt16(uint16_t* result) { return ReadFixed(result, 2, 4); }

bool PickleReader::ReadLength(int* length, int unit) {
  int count;
  if (!ReadInt(&count)) return false;
  if (count < 0 || count > INT_MAX / unit) return false;
  if (Remaining() < static_cast<std::ptrdiff_t>(count) * unit) return false;
  *length = count * unit;
  return true;
}

bool PickleReader::ReadString16(std::wstring* result) {
  int bytes;
  if (!ReadLength(&bytes, 2)) return false;
  const char* data = Advance(bytes);
  result->resize(static_cast<size_t>(bytes) / 2);
  if (bytes) std::memcpy(&(*result)[0], data, static_cast<size_t>(bytes));
  return true;
}

bool PickleReader::ReadString(std::string* result) {
  int bytes;
  if (!ReadLength(&bytes, 1)) return false;
  const char* data = Advance(bytes);
  result->assign(data, static_cast<size_t>(bytes));
  return true;
}

bool PickleReader::ReadData(const char** data, int* length) {
  *data = nullptr;
  *length = 0;
  int bytes;
  if (!ReadLength(&bytes, 1)) return false;
  *data = Advance(bytes);
  *length = bytes;
  return true;
}

bool PickleReader::ReadBytes(const char** data, int length) {
  const char* old = Advance(length);
  if (!old) return false;
  *data = old;
  return true;
}

const char* PickleReader::Advance(int length) {
  if (length < 0 || Remaining() < length) return nullptr;
  const char* old = m_pRead;
  Skip((static_cast<std::size_t>(length) + 3) / 4 * 4);
  return old;
}
