// The value tree behind CefValue, CefListValue, CefDictionaryValue and CefBinaryValue.
// Containers share their data with the objects handed out for their children, so a change
// through a child object shows in the parent (as the API expects); setting a container copies it.
#ifndef CEF_ENGINE_VALUES_IMPL_H_
#define CEF_ENGINE_VALUES_IMPL_H_

#include <cstdint>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "include/cef_values.h"

namespace cefengine {

struct ListData;
struct DictData;

struct ValueData {
  cef_value_type_t type = VTYPE_NULL;
  bool b = false;
  int i = 0;
  double d = 0;
  std::wstring s;
  std::shared_ptr<const std::vector<uint8_t>> binary;
  std::shared_ptr<ListData> list;
  std::shared_ptr<DictData> dict;
};

struct ListData {
  std::vector<ValueData> items;
};

struct DictData {
  std::map<std::wstring, ValueData> items;
};

// Deep copy (binary bytes are immutable and stay shared).
ValueData CopyValue(const ValueData& v);
bool EqualValues(const ValueData& a, const ValueData& b);

// Largest index a list accepts; beyond it SetX / SetSize fail instead of allocating.
const size_t kMaxListSize = 1u << 20;

class BinaryValueImpl : public CefBinaryValue {
 public:
  explicit BinaryValueImpl(std::shared_ptr<const std::vector<uint8_t>> data, bool owned)
      : data_(std::move(data)), owned_(owned) {}
  const std::shared_ptr<const std::vector<uint8_t>>& data() const { return data_; }

  bool IsValid() override { return true; }
  bool IsOwned() override { return owned_; }
  bool IsSame(CefRefPtr<CefBinaryValue> that) override;
  bool IsEqual(CefRefPtr<CefBinaryValue> that) override;
  CefRefPtr<CefBinaryValue> Copy() override;
  size_t GetSize() override { return data_->size(); }
  size_t GetData(void* buffer, size_t buffer_size, size_t data_offset) override;

 private:
  std::shared_ptr<const std::vector<uint8_t>> data_;
  bool owned_;
  IMPLEMENT_REFCOUNTING(BinaryValueImpl);
};

class ListValueImpl : public CefListValue {
 public:
  ListValueImpl(std::shared_ptr<ListData> data, bool owned, bool read_only)
      : data_(std::move(data)), owned_(owned), read_only_(read_only) {}
  const std::shared_ptr<ListData>& data() const { return data_; }

  bool IsValid() override { return true; }
  bool IsOwned() override { return owned_; }
  bool IsReadOnly() override { return read_only_; }
  bool IsSame(CefRefPtr<CefListValue> that) override;
  bool IsEqual(CefRefPtr<CefListValue> that) override;
  CefRefPtr<CefListValue> Copy() override;
  bool SetSize(size_t size) override;
  size_t GetSize() override { return data_->items.size(); }
  bool Clear() override;
  bool Remove(int index) override;
  CefValueType GetType(int index) override;
  CefRefPtr<CefValue> GetValue(int index) override;
  bool GetBool(int index) override;
  int GetInt(int index) override;
  double GetDouble(int index) override;
  CefString GetString(int index) override;
  CefRefPtr<CefBinaryValue> GetBinary(int index) override;
  CefRefPtr<CefDictionaryValue> GetDictionary(int index) override;
  CefRefPtr<CefListValue> GetList(int index) override;
  bool SetValue(int index, CefRefPtr<CefValue> value) override;
  bool SetNull(int index) override;
  bool SetBool(int index, bool value) override;
  bool SetInt(int index, int value) override;
  bool SetDouble(int index, double value) override;
  bool SetString(int index, const CefString& value) override;
  bool SetBinary(int index, CefRefPtr<CefBinaryValue> value) override;
  bool SetDictionary(int index, CefRefPtr<CefDictionaryValue> value) override;
  bool SetList(int index, CefRefPtr<CefListValue> value) override;

 private:
  const ValueData* At(int index) const;
  bool Put(int index, ValueData value);

  std::shared_ptr<ListData> data_;
  bool owned_;
  bool read_only_;
  IMPLEMENT_REFCOUNTING(ListValueImpl);
};

class DictionaryValueImpl : public CefDictionaryValue {
 public:
  DictionaryValueImpl(std::shared_ptr<DictData> data, bool owned, bool read_only)
      : data_(std::move(data)), owned_(owned), read_only_(read_only) {}
  const std::shared_ptr<DictData>& data() const { return data_; }

  bool IsValid() override { return true; }
  bool IsOwned() override { return owned_; }
  bool IsReadOnly() override { return read_only_; }
  bool IsSame(CefRefPtr<CefDictionaryValue> that) override;
  bool IsEqual(CefRefPtr<CefDictionaryValue> that) override;
  CefRefPtr<CefDictionaryValue> Copy(bool exclude_empty_children) override;
  size_t GetSize() override { return data_->items.size(); }
  bool Clear() override;
  bool HasKey(const CefString& key) override;
  bool GetKeys(KeyList& keys) override;
  bool Remove(const CefString& key) override;
  CefValueType GetType(const CefString& key) override;
  CefRefPtr<CefValue> GetValue(const CefString& key) override;
  bool GetBool(const CefString& key) override;
  int GetInt(const CefString& key) override;
  double GetDouble(const CefString& key) override;
  CefString GetString(const CefString& key) override;
  CefRefPtr<CefBinaryValue> GetBinary(const CefString& key) override;
  CefRefPtr<CefDictionaryValue> GetDictionary(const CefString& key) override;
  CefRefPtr<CefListValue> GetList(const CefString& key) override;
  bool SetValue(const CefString& key, CefRefPtr<CefValue> value) override;
  bool SetNull(const CefString& key) override;
  bool SetBool(const CefString& key, bool value) override;
  bool SetInt(const CefString& key, int value) override;
  bool SetDouble(const CefString& key, double value) override;
  bool SetString(const CefString& key, const CefString& value) override;
  bool SetBinary(const CefString& key, CefRefPtr<CefBinaryValue> value) override;
  bool SetDictionary(const CefString& key, CefRefPtr<CefDictionaryValue> value) override;
  bool SetList(const CefString& key, CefRefPtr<CefListValue> value) override;

 private:
  const ValueData* At(const CefString& key) const;
  bool Put(const CefString& key, ValueData value);

  std::shared_ptr<DictData> data_;
  bool owned_;
  bool read_only_;
  IMPLEMENT_REFCOUNTING(DictionaryValueImpl);
};

class ValueImpl : public CefValue {
 public:
  ValueImpl() : data_(std::make_shared<ValueData>()) {}
  explicit ValueImpl(ValueData data, bool read_only)
      : data_(std::make_shared<ValueData>(std::move(data))), read_only_(read_only) {}
  const ValueData& data() const { return *data_; }

  bool IsValid() override { return true; }
  bool IsOwned() override { return false; }
  bool IsReadOnly() override { return read_only_; }
  bool IsSame(CefRefPtr<CefValue> that) override;
  bool IsEqual(CefRefPtr<CefValue> that) override;
  CefRefPtr<CefValue> Copy() override;
  CefValueType GetType() override { return data_->type; }
  bool GetBool() override;
  int GetInt() override;
  double GetDouble() override;
  CefString GetString() override;
  CefRefPtr<CefBinaryValue> GetBinary() override;
  CefRefPtr<CefDictionaryValue> GetDictionary() override;
  CefRefPtr<CefListValue> GetList() override;
  bool SetNull() override;
  bool SetBool(bool value) override;
  bool SetInt(int value) override;
  bool SetDouble(double value) override;
  bool SetString(const CefString& value) override;
  bool SetBinary(CefRefPtr<CefBinaryValue> value) override;
  bool SetDictionary(CefRefPtr<CefDictionaryValue> value) override;
  bool SetList(CefRefPtr<CefListValue> value) override;

 private:
  bool Put(ValueData value);

  std::shared_ptr<ValueData> data_;
  bool read_only_ = false;
  IMPLEMENT_REFCOUNTING(ValueImpl);
};

// Value data of an API object (a deep copy); false for null or foreign objects.
bool ValueDataOf(CefRefPtr<CefValue> value, ValueData* out);
bool ListDataOf(CefRefPtr<CefListValue> value, ValueData* out);
bool DictDataOf(CefRefPtr<CefDictionaryValue> value, ValueData* out);
bool BinaryDataOf(CefRefPtr<CefBinaryValue> value, ValueData* out);

// A new list object over `data` (not copied).
CefRefPtr<CefListValue> MakeList(std::shared_ptr<ListData> data, bool read_only);

}  // namespace cefengine

#endif  // CEF_ENGINE_VALUES_IMPL_H_
