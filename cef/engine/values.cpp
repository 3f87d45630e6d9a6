#include <cstring>

#include "engine/logging.h"
#include "engine/values_impl.h"

namespace cefengine {

namespace {

CefRefPtr<CefValue> WrapValue(const ValueData& v, bool read_only) {
  // A standalone value holds its own copy; containers in it stay shared with the parent.
  return new ValueImpl(v, read_only);
}

bool RefuseReadOnly(bool read_only, const char* what) {
  if (!read_only)
    return false;
  CEFENGINE_MISUSE(std::string(what) + " on a read-only value ignored");
  return true;
}

// A negative list index is the caller's mistake; it must not reach the size_t arithmetic.
bool RefuseNegative(int index, const char* what) {
  if (index >= 0)
    return false;
  CEFENGINE_MISUSE(std::string(what) + " with a negative index ignored");
  return true;
}

ValueData MakeBool(bool b) {
  ValueData v;
  v.type = VTYPE_BOOL;
  v.b = b;
  return v;
}
ValueData MakeInt(int i) {
  ValueData v;
  v.type = VTYPE_INT;
  v.i = i;
  return v;
}
ValueData MakeDouble(double d) {
  ValueData v;
  v.type = VTYPE_DOUBLE;
  v.d = d;
  return v;
}
ValueData MakeString(const CefString& s) {
  ValueData v;
  v.type = VTYPE_STRING;
  v.s = s.ToWString();
  return v;
}

bool GetBoolOf(const ValueData* v) {
  return v && v->type == VTYPE_BOOL ? v->b : false;
}
int GetIntOf(const ValueData* v) {
  return v && v->type == VTYPE_INT ? v->i : 0;
}
double GetDoubleOf(const ValueData* v) {
  if (!v)
    return 0;
  if (v->type == VTYPE_DOUBLE)
    return v->d;
  return v->type == VTYPE_INT ? v->i : 0;
}
CefString GetStringOf(const ValueData* v) {
  return v && v->type == VTYPE_STRING ? CefString(v->s) : CefString();
}
CefRefPtr<CefBinaryValue> GetBinaryOf(const ValueData* v) {
  return v && v->type == VTYPE_BINARY ? new BinaryValueImpl(v->binary, true) : nullptr;
}
CefRefPtr<CefDictionaryValue> GetDictOf(const ValueData* v, bool read_only) {
  return v && v->type == VTYPE_DICTIONARY ? new DictionaryValueImpl(v->dict, true, read_only) : nullptr;
}
CefRefPtr<CefListValue> GetListOf(const ValueData* v, bool read_only) {
  return v && v->type == VTYPE_LIST ? new ListValueImpl(v->list, true, read_only) : nullptr;
}

}  // namespace

ValueData CopyValue(const ValueData& v) {
  ValueData c = v;
  if (v.type == VTYPE_LIST) {
    c.list = std::make_shared<ListData>();
    for (const auto& item : v.list->items)
      c.list->items.push_back(CopyValue(item));
  } else if (v.type == VTYPE_DICTIONARY) {
    c.dict = std::make_shared<DictData>();
    for (const auto& item : v.dict->items)
      c.dict->items.emplace(item.first, CopyValue(item.second));
  }
  return c;
}

bool EqualValues(const ValueData& a, const ValueData& b) {
  if (a.type != b.type)
    return false;
  switch (a.type) {
    case VTYPE_BOOL:
      return a.b == b.b;
    case VTYPE_INT:
      return a.i == b.i;
    case VTYPE_DOUBLE:
      return a.d == b.d;
    case VTYPE_STRING:
      return a.s == b.s;
    case VTYPE_BINARY:
      return *a.binary == *b.binary;
    case VTYPE_LIST:
      if (a.list->items.size() != b.list->items.size())
        return false;
      for (size_t i = 0; i < a.list->items.size(); ++i)
        if (!EqualValues(a.list->items[i], b.list->items[i]))
          return false;
      return true;
    case VTYPE_DICTIONARY: {
      if (a.dict->items.size() != b.dict->items.size())
        return false;
      auto ia = a.dict->items.begin();
      auto ib = b.dict->items.begin();
      for (; ia != a.dict->items.end(); ++ia, ++ib)
        if (ia->first != ib->first || !EqualValues(ia->second, ib->second))
          return false;
      return true;
    }
    default:
      return true;
  }
}

bool ValueDataOf(CefRefPtr<CefValue> value, ValueData* out) {
  auto* impl = dynamic_cast<ValueImpl*>(value.get());
  if (!impl)
    return false;
  *out = CopyValue(impl->data());
  return true;
}

bool ListDataOf(CefRefPtr<CefListValue> value, ValueData* out) {
  auto* impl = dynamic_cast<ListValueImpl*>(value.get());
  if (!impl)
    return false;
  ValueData v;
  v.type = VTYPE_LIST;
  v.list = impl->data();
  *out = CopyValue(v);
  return true;
}

bool DictDataOf(CefRefPtr<CefDictionaryValue> value, ValueData* out) {
  auto* impl = dynamic_cast<DictionaryValueImpl*>(value.get());
  if (!impl)
    return false;
  ValueData v;
  v.type = VTYPE_DICTIONARY;
  v.dict = impl->data();
  *out = CopyValue(v);
  return true;
}

bool BinaryDataOf(CefRefPtr<CefBinaryValue> value, ValueData* out) {
  auto* impl = dynamic_cast<BinaryValueImpl*>(value.get());
  if (!impl)
    return false;
  out->type = VTYPE_BINARY;
  out->binary = impl->data();
  return true;
}

CefRefPtr<CefListValue> MakeList(std::shared_ptr<ListData> data, bool read_only) {
  return new ListValueImpl(std::move(data), false, read_only);
}

// --- CefBinaryValue ---

bool BinaryValueImpl::IsSame(CefRefPtr<CefBinaryValue> that) {
  auto* other = dynamic_cast<BinaryValueImpl*>(that.get());
  return other && other->data_ == data_;
}

bool BinaryValueImpl::IsEqual(CefRefPtr<CefBinaryValue> that) {
  auto* other = dynamic_cast<BinaryValueImpl*>(that.get());
  return other && *other->data_ == *data_;
}

CefRefPtr<CefBinaryValue> BinaryValueImpl::Copy() {
  return new BinaryValueImpl(std::make_shared<const std::vector<uint8_t>>(*data_), false);
}

size_t BinaryValueImpl::GetData(void* buffer, size_t buffer_size, size_t data_offset) {
  if (!buffer || data_offset >= data_->size())
    return 0;
  size_t n = data_->size() - data_offset;
  if (n > buffer_size)
    n = buffer_size;
  memcpy(buffer, data_->data() + data_offset, n);
  return n;
}

// --- CefListValue ---

const ValueData* ListValueImpl::At(int index) const {
  return index >= 0 && static_cast<size_t>(index) < data_->items.size() ? &data_->items[static_cast<size_t>(index)]
                                                                       : nullptr;
}

bool ListValueImpl::Put(int index, ValueData value) {
  if (RefuseReadOnly(read_only_, "CefListValue::Set") || RefuseNegative(index, "CefListValue::Set"))
    return false;
  const size_t at = static_cast<size_t>(index);
  if (at >= kMaxListSize)
    return false;
  if (at >= data_->items.size())
    data_->items.resize(at + 1);
  data_->items[at] = std::move(value);
  return true;
}

bool ListValueImpl::IsSame(CefRefPtr<CefListValue> that) {
  auto* other = dynamic_cast<ListValueImpl*>(that.get());
  return other && other->data_ == data_;
}

bool ListValueImpl::IsEqual(CefRefPtr<CefListValue> that) {
  ValueData a, b;
  return ListDataOf(this, &a) && ListDataOf(that, &b) && EqualValues(a, b);
}

CefRefPtr<CefListValue> ListValueImpl::Copy() {
  ValueData v;
  ListDataOf(this, &v);
  return new ListValueImpl(v.list, false, false);
}

bool ListValueImpl::SetSize(size_t size) {
  if (RefuseReadOnly(read_only_, "CefListValue::SetSize") || size > kMaxListSize)
    return false;
  data_->items.resize(size);
  return true;
}

bool ListValueImpl::Clear() {
  if (RefuseReadOnly(read_only_, "CefListValue::Clear"))
    return false;
  data_->items.clear();
  return true;
}

bool ListValueImpl::Remove(int index) {
  if (RefuseReadOnly(read_only_, "CefListValue::Remove") || RefuseNegative(index, "CefListValue::Remove") ||
      static_cast<size_t>(index) >= data_->items.size())
    return false;
  data_->items.erase(data_->items.begin() + static_cast<std::ptrdiff_t>(index));
  return true;
}

CefValueType ListValueImpl::GetType(int index) {
  const ValueData* v = At(index);
  return v ? v->type : VTYPE_INVALID;
}

CefRefPtr<CefValue> ListValueImpl::GetValue(int index) {
  const ValueData* v = At(index);
  return v ? WrapValue(*v, read_only_) : nullptr;
}

bool ListValueImpl::GetBool(int index) {
  return GetBoolOf(At(index));
}
int ListValueImpl::GetInt(int index) {
  return GetIntOf(At(index));
}
double ListValueImpl::GetDouble(int index) {
  return GetDoubleOf(At(index));
}
CefString ListValueImpl::GetString(int index) {
  return GetStringOf(At(index));
}
CefRefPtr<CefBinaryValue> ListValueImpl::GetBinary(int index) {
  return GetBinaryOf(At(index));
}
CefRefPtr<CefDictionaryValue> ListValueImpl::GetDictionary(int index) {
  return GetDictOf(At(index), read_only_);
}
CefRefPtr<CefListValue> ListValueImpl::GetList(int index) {
  return GetListOf(At(index), read_only_);
}

bool ListValueImpl::SetValue(int index, CefRefPtr<CefValue> value) {
  ValueData v;
  return ValueDataOf(value, &v) && Put(index, std::move(v));
}
bool ListValueImpl::SetNull(int index) {
  return Put(index, ValueData());
}
bool ListValueImpl::SetBool(int index, bool value) {
  return Put(index, MakeBool(value));
}
bool ListValueImpl::SetInt(int index, int value) {
  return Put(index, MakeInt(value));
}
bool ListValueImpl::SetDouble(int index, double value) {
  return Put(index, MakeDouble(value));
}
bool ListValueImpl::SetString(int index, const CefString& value) {
  return Put(index, MakeString(value));
}
bool ListValueImpl::SetBinary(int index, CefRefPtr<CefBinaryValue> value) {
  ValueData v;
  return BinaryDataOf(value, &v) && Put(index, std::move(v));
}
bool ListValueImpl::SetDictionary(int index, CefRefPtr<CefDictionaryValue> value) {
  ValueData v;
  return DictDataOf(value, &v) && Put(index, std::move(v));
}
bool ListValueImpl::SetList(int index, CefRefPtr<CefListValue> value) {
  ValueData v;
  return ListDataOf(value, &v) && Put(index, std::move(v));
}

// --- CefDictionaryValue ---

const ValueData* DictionaryValueImpl::At(const CefString& key) const {
  auto it = data_->items.find(key.ToWString());
  return it == data_->items.end() ? nullptr : &it->second;
}

bool DictionaryValueImpl::Put(const CefString& key, ValueData value) {
  if (RefuseReadOnly(read_only_, "CefDictionaryValue::Set"))
    return false;
  data_->items[key.ToWString()] = std::move(value);
  return true;
}

bool DictionaryValueImpl::IsSame(CefRefPtr<CefDictionaryValue> that) {
  auto* other = dynamic_cast<DictionaryValueImpl*>(that.get());
  return other && other->data_ == data_;
}

bool DictionaryValueImpl::IsEqual(CefRefPtr<CefDictionaryValue> that) {
  ValueData a, b;
  return DictDataOf(this, &a) && DictDataOf(that, &b) && EqualValues(a, b);
}

CefRefPtr<CefDictionaryValue> DictionaryValueImpl::Copy(bool exclude_empty_children) {
  ValueData v;
  DictDataOf(this, &v);
  if (exclude_empty_children) {
    for (auto it = v.dict->items.begin(); it != v.dict->items.end();) {
      const ValueData& child = it->second;
      bool empty = (child.type == VTYPE_LIST && child.list->items.empty()) ||
                   (child.type == VTYPE_DICTIONARY && child.dict->items.empty());
      it = empty ? v.dict->items.erase(it) : std::next(it);
    }
  }
  return new DictionaryValueImpl(v.dict, false, false);
}

bool DictionaryValueImpl::Clear() {
  if (RefuseReadOnly(read_only_, "CefDictionaryValue::Clear"))
    return false;
  data_->items.clear();
  return true;
}

bool DictionaryValueImpl::HasKey(const CefString& key) {
  return At(key) != nullptr;
}

bool DictionaryValueImpl::GetKeys(KeyList& keys) {
  keys.clear();
  for (const auto& item : data_->items)
    keys.push_back(item.first);
  return true;
}

bool DictionaryValueImpl::Remove(const CefString& key) {
  if (RefuseReadOnly(read_only_, "CefDictionaryValue::Remove"))
    return false;
  return data_->items.erase(key.ToWString()) > 0;
}

CefValueType DictionaryValueImpl::GetType(const CefString& key) {
  const ValueData* v = At(key);
  return v ? v->type : VTYPE_INVALID;
}

CefRefPtr<CefValue> DictionaryValueImpl::GetValue(const CefString& key) {
  const ValueData* v = At(key);
  return v ? WrapValue(*v, read_only_) : nullptr;
}

bool DictionaryValueImpl::GetBool(const CefString& key) {
  return GetBoolOf(At(key));
}
int DictionaryValueImpl::GetInt(const CefString& key) {
  return GetIntOf(At(key));
}
double DictionaryValueImpl::GetDouble(const CefString& key) {
  return GetDoubleOf(At(key));
}
CefString DictionaryValueImpl::GetString(const CefString& key) {
  return GetStringOf(At(key));
}
CefRefPtr<CefBinaryValue> DictionaryValueImpl::GetBinary(const CefString& key) {
  return GetBinaryOf(At(key));
}
CefRefPtr<CefDictionaryValue> DictionaryValueImpl::GetDictionary(const CefString& key) {
  return GetDictOf(At(key), read_only_);
}
CefRefPtr<CefListValue> DictionaryValueImpl::GetList(const CefString& key) {
  return GetListOf(At(key), read_only_);
}

bool DictionaryValueImpl::SetValue(const CefString& key, CefRefPtr<CefValue> value) {
  ValueData v;
  return ValueDataOf(value, &v) && Put(key, std::move(v));
}
bool DictionaryValueImpl::SetNull(const CefString& key) {
  return Put(key, ValueData());
}
bool DictionaryValueImpl::SetBool(const CefString& key, bool value) {
  return Put(key, MakeBool(value));
}
bool DictionaryValueImpl::SetInt(const CefString& key, int value) {
  return Put(key, MakeInt(value));
}
bool DictionaryValueImpl::SetDouble(const CefString& key, double value) {
  return Put(key, MakeDouble(value));
}
bool DictionaryValueImpl::SetString(const CefString& key, const CefString& value) {
  return Put(key, MakeString(value));
}
bool DictionaryValueImpl::SetBinary(const CefString& key, CefRefPtr<CefBinaryValue> value) {
  ValueData v;
  return BinaryDataOf(value, &v) && Put(key, std::move(v));
}
bool DictionaryValueImpl::SetDictionary(const CefString& key, CefRefPtr<CefDictionaryValue> value) {
  ValueData v;
  return DictDataOf(value, &v) && Put(key, std::move(v));
}
bool DictionaryValueImpl::SetList(const CefString& key, CefRefPtr<CefListValue> value) {
  ValueData v;
  return ListDataOf(value, &v) && Put(key, std::move(v));
}

// --- CefValue ---

bool ValueImpl::Put(ValueData value) {
  if (RefuseReadOnly(read_only_, "CefValue::Set"))
    return false;
  *data_ = std::move(value);
  return true;
}

bool ValueImpl::IsSame(CefRefPtr<CefValue> that) {
  auto* other = dynamic_cast<ValueImpl*>(that.get());
  return other && other->data_ == data_;
}

bool ValueImpl::IsEqual(CefRefPtr<CefValue> that) {
  auto* other = dynamic_cast<ValueImpl*>(that.get());
  return other && EqualValues(*data_, *other->data_);
}

CefRefPtr<CefValue> ValueImpl::Copy() {
  return new ValueImpl(CopyValue(*data_), false);
}

bool ValueImpl::GetBool() {
  return GetBoolOf(data_.get());
}
int ValueImpl::GetInt() {
  return GetIntOf(data_.get());
}
double ValueImpl::GetDouble() {
  return GetDoubleOf(data_.get());
}
CefString ValueImpl::GetString() {
  return GetStringOf(data_.get());
}
CefRefPtr<CefBinaryValue> ValueImpl::GetBinary() {
  return GetBinaryOf(data_.get());
}
CefRefPtr<CefDictionaryValue> ValueImpl::GetDictionary() {
  return GetDictOf(data_.get(), read_only_);
}
CefRefPtr<CefListValue> ValueImpl::GetList() {
  return GetListOf(data_.get(), read_only_);
}
bool ValueImpl::SetNull() {
  return Put(ValueData());
}
bool ValueImpl::SetBool(bool value) {
  return Put(MakeBool(value));
}
bool ValueImpl::SetInt(int value) {
  return Put(MakeInt(value));
}
bool ValueImpl::SetDouble(double value) {
  return Put(MakeDouble(value));
}
bool ValueImpl::SetString(const CefString& value) {
  return Put(MakeString(value));
}
bool ValueImpl::SetBinary(CefRefPtr<CefBinaryValue> value) {
  ValueData v;
  return BinaryDataOf(value, &v) && Put(std::move(v));
}
bool ValueImpl::SetDictionary(CefRefPtr<CefDictionaryValue> value) {
  ValueData v;
  return DictDataOf(value, &v) && Put(std::move(v));
}
bool ValueImpl::SetList(CefRefPtr<CefListValue> value) {
  ValueData v;
  return ListDataOf(value, &v) && Put(std::move(v));
}

}  // namespace cefengine

CefRefPtr<CefValue> CefValue::Create() {
  return new cefengine::ValueImpl();
}

CefRefPtr<CefBinaryValue> CefBinaryValue::Create(const void* data, size_t data_size) {
  if (!data && data_size)
    return nullptr;
  const uint8_t* bytes = static_cast<const uint8_t*>(data);
  return new cefengine::BinaryValueImpl(std::make_shared<const std::vector<uint8_t>>(bytes, bytes + data_size), false);
}

CefRefPtr<CefDictionaryValue> CefDictionaryValue::Create() {
  return new cefengine::DictionaryValueImpl(std::make_shared<cefengine::DictData>(), false, false);
}

CefRefPtr<CefListValue> CefListValue::Create() {
  return new cefengine::ListValueImpl(std::make_shared<cefengine::ListData>(), false, false);
}
