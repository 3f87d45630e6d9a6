#include "engine/value_codec.h"

#include <cstring>
#include <new>

#include "engine/process_message_impl.h"
#include "include/base/cef_logging.h"

namespace cefengine {

namespace {

void PutU32(std::string* out, uint32_t v) {
  for (int i = 0; i < 4; ++i)
    out->push_back(static_cast<char>((v >> (8 * i)) & 0xFF));
}

void PutString(std::string* out, const std::wstring& s) {
  PutU32(out, static_cast<uint32_t>(s.size()));
  for (wchar_t c : s) {
    out->push_back(static_cast<char>(c & 0xFF));
    out->push_back(static_cast<char>((c >> 8) & 0xFF));
  }
}

bool Encode(const ValueData& v, std::string* out, int depth) {
  if (depth > kMaxValueDepth)
    return false;
  out->push_back(static_cast<char>(v.type));
  switch (v.type) {
    case VTYPE_BOOL:
      out->push_back(v.b ? 1 : 0);
      return true;
    case VTYPE_INT:
      PutU32(out, static_cast<uint32_t>(v.i));
      return true;
    case VTYPE_DOUBLE: {
      uint64_t bits;
      memcpy(&bits, &v.d, 8);
      PutU32(out, static_cast<uint32_t>(bits));
      PutU32(out, static_cast<uint32_t>(bits >> 32));
      return true;
    }
    case VTYPE_STRING:
      PutString(out, v.s);
      return true;
    case VTYPE_BINARY:
      PutU32(out, static_cast<uint32_t>(v.binary->size()));
      out->append(reinterpret_cast<const char*>(v.binary->data()), v.binary->size());
      return true;
    case VTYPE_DICTIONARY:
      PutU32(out, static_cast<uint32_t>(v.dict->items.size()));
      for (const auto& item : v.dict->items) {
        PutString(out, item.first);
        if (!Encode(item.second, out, depth + 1))
          return false;
      }
      return true;
    case VTYPE_LIST:
      PutU32(out, static_cast<uint32_t>(v.list->items.size()));
      for (const auto& item : v.list->items)
        if (!Encode(item, out, depth + 1))
          return false;
      return true;
    default:  // VTYPE_NULL (an invalid value travels as null)
      out->back() = static_cast<char>(VTYPE_NULL);
      return true;
  }
}

// What the decoded form of one item costs beyond its own bytes, for the budget below.
const size_t kListItemCost = sizeof(ValueData);
const size_t kDictItemCost = sizeof(ValueData) + sizeof(std::wstring) + 4 * sizeof(void*);  // map node
const size_t kContainerCost = 64;  // shared block and container header

class Reader {
 public:
  Reader(const uint8_t* data, size_t size, size_t offset)
      : data_(data), size_(size), pos_(offset), budget_(kDecodeCostFactor * (size - offset) + kDecodeCostAllowance) {}
  size_t pos() const { return pos_; }
  size_t left() const { return size_ - pos_; }

  bool U8(uint8_t* v) {
    if (left() < 1)
      return false;
    *v = data_[pos_++];
    return true;
  }
  bool U32(uint32_t* v) {
    if (left() < 4)
      return false;
    *v = 0;
    for (int i = 0; i < 4; ++i)
      *v |= static_cast<uint32_t>(data_[pos_ + i]) << (8 * i);
    pos_ += 4;
    return true;
  }
  // Takes `cost` bytes of decoded form from the budget; false when it would run out.
  bool Charge(size_t cost) {
    if (cost > budget_)
      return false;
    budget_ -= cost;
    return true;
  }
  bool String(std::wstring* s) {
    uint32_t n;
    if (!U32(&n) || left() / 2 < n || !Charge(sizeof(wchar_t) * static_cast<size_t>(n)))
      return false;
    s->resize(n);
    for (uint32_t i = 0; i < n; ++i)
      (*s)[i] = static_cast<wchar_t>(data_[pos_ + 2 * i] | (data_[pos_ + 2 * i + 1] << 8));
    pos_ += 2 * static_cast<size_t>(n);
    return true;
  }
  bool Bytes(size_t n, std::vector<uint8_t>* out) {
    if (left() < n)
      return false;
    out->assign(data_ + pos_, data_ + pos_ + n);
    pos_ += n;
    return true;
  }

  bool Value(ValueData* v, int depth) {
    if (depth > kMaxValueDepth)
      return false;
    uint8_t tag;
    if (!U8(&tag))
      return false;
    *v = ValueData();
    v->type = static_cast<cef_value_type_t>(tag);
    switch (tag) {
      case VTYPE_NULL:
        return true;
      case VTYPE_BOOL: {
        uint8_t b;
        if (!U8(&b) || b > 1)
          return false;
        v->b = b != 0;
        return true;
      }
      case VTYPE_INT: {
        uint32_t i;
        if (!U32(&i))
          return false;
        v->i = static_cast<int32_t>(i);
        return true;
      }
      case VTYPE_DOUBLE: {
        uint32_t lo, hi;
        if (!U32(&lo) || !U32(&hi))
          return false;
        uint64_t bits = (static_cast<uint64_t>(hi) << 32) | lo;
        memcpy(&v->d, &bits, 8);
        return true;
      }
      case VTYPE_STRING:
        return String(&v->s);
      case VTYPE_BINARY: {
        uint32_t n;
        auto bytes = std::make_shared<std::vector<uint8_t>>();
        if (!U32(&n) || left() < n || !Charge(kContainerCost + n) || !Bytes(n, bytes.get()))
          return false;
        v->binary = bytes;
        return true;
      }
      case VTYPE_DICTIONARY: {
        uint32_t n;
        // Each entry needs at least 4 (key count) + 1 (tag) bytes.
        if (!U32(&n) || left() / 5 < n || !Charge(kContainerCost + kDictItemCost * n))
          return false;
        v->dict = std::make_shared<DictData>();
        auto& items = v->dict->items;
        for (uint32_t i = 0; i < n; ++i) {
          std::wstring key;
          ValueData child;
          if (!String(&key) || !Value(&child, depth + 1))
            return false;
          // Keys travel in ascending order: each one goes at the end, in constant time, and a
          // key out of order or repeated is malformed.
          if (!items.empty() && !(items.rbegin()->first < key))
            return false;
          items.emplace_hint(items.end(), std::move(key), std::move(child));
        }
        return true;
      }
      case VTYPE_LIST: {
        uint32_t n;
        if (!U32(&n) || left() < n || n > kMaxListSize || !Charge(kContainerCost + kListItemCost * n))
          return false;
        v->list = std::make_shared<ListData>();
        v->list->items.reserve(n);
        for (uint32_t i = 0; i < n; ++i) {
          ValueData child;
          if (!Value(&child, depth + 1))
            return false;
          v->list->items.push_back(std::move(child));
        }
        return true;
      }
      default:
        return false;
    }
  }

 private:
  const uint8_t* data_;
  size_t size_;
  size_t pos_;
  size_t budget_;
};

}  // namespace

bool EncodeValue(const ValueData& value, std::string* out) {
  std::string encoded;
  if (!Encode(value, &encoded, 0))
    return false;
  out->append(encoded);
  return true;
}

bool DecodeValue(const uint8_t* data, size_t size, size_t* offset, ValueData* out) {
  if (!data || *offset > size)
    return false;
  Reader reader(data, size, *offset);
  try {
    if (!reader.Value(out, 0))
      return false;
  } catch (const std::bad_alloc&) {
    LOG(ERROR) << "DecodeValue: out of memory for a value of " << (size - *offset) << " bytes";
    *out = ValueData();
    return false;
  }
  *offset = reader.pos();
  return true;
}

bool EncodeProcessMessage(CefRefPtr<CefProcessMessage> message, std::string* out) {
  auto* impl = dynamic_cast<ProcessMessageImpl*>(message.get());
  if (!impl)
    return false;
  ValueData name;
  name.type = VTYPE_STRING;
  name.s = impl->name();
  ValueData args;
  args.type = VTYPE_LIST;
  args.list = impl->arguments();
  std::string encoded;
  if (!EncodeValue(name, &encoded) || !EncodeValue(args, &encoded))
    return false;
  out->append(encoded);
  return true;
}

CefRefPtr<CefProcessMessage> DecodeProcessMessage(const void* data, size_t size) {
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  size_t offset = 0;
  ValueData name, args;
  if (!DecodeValue(bytes, size, &offset, &name) || name.type != VTYPE_STRING ||
      !DecodeValue(bytes, size, &offset, &args) || args.type != VTYPE_LIST || offset != size)
    return nullptr;
  return new ProcessMessageImpl(name.s, args.list, true);
}

}  // namespace cefengine
