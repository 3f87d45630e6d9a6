// Path access to one JSON document held in memory.
//
// A path names object members by key and array elements by an index in brackets, joined by
// dots: "info[2].reg_path". The empty path is the root. Paths of 256 characters or more lead
// nowhere.
//
// Contracts:
// - Resolution never throws and never changes the document: a path that leads nowhere gives a
//   process-wide null value, returned by const reference (valid for the life of the process;
//   other references stay valid until the document changes).
// - The typed getters return the caller's default when the path leads nowhere, when the value
//   has another type or when a conversion fails; no jsoncpp exception leaves them.
// - operator[] is jsoncpp's own non-const access (it creates members and elements); a root of
//   another type makes jsoncpp throw, which reaches the caller.
// - One helper is used by one thread at a time; the shared null value is only read.
#pragma once

#include <windows.h>

#include <string>

#include <json/json.h>

#include "compat/atlstr.h"

class CJsonHelper {
 public:
  CJsonHelper();
  CJsonHelper(const Json::Value& value);  // NOLINT: a value converts to a helper
  CJsonHelper(const CJsonHelper& other);
  // Parses as Parse does and keeps whatever the reader stored, whatever it reports.
  explicit CJsonHelper(const std::string& text);

  CJsonHelper& operator=(const CJsonHelper& other);
  CJsonHelper operator=(const Json::Value& value);

  Json::Value& operator[](const std::string& key);
  Json::Value& operator[](unsigned index);

  // Empties an object or array root (its type stays); other roots are left alone.
  void Clear();
  // True only when the whole text parses without error and the root is an object or an array.
  // Zero bytes after the document are ignored. On failure the root keeps what the reader stored.
  [[nodiscard]] bool Parse(const std::string& text);
  // Compact UTF-8 text of the value at the path (no blanks, no line breaks, no comments,
  // non-ASCII unescaped).
  void ToString(std::string& out, const std::string& path = std::string()) const;
  void ToStyledString(std::string& out, const std::string& path = std::string()) const;

  const Json::Value& GetNode(const std::string& path) const;
  void GetValue(Json::Value& out, const std::string& path) const;
  int GetArraySize(const std::string& path) const;
  bool HasValue(const std::string& path) const;
  bool IsArray(const std::string& path) const;
  bool IsObject(const std::string& path) const;
  bool IsString(const std::string& path) const;
  bool IsBool(const std::string& path) const;
  bool IsNumeric(const std::string& path) const;
  // An integer, or a real without fraction, within the signed 32-bit (64-bit) range.
  bool IsInt(const std::string& path) const;
  bool IsInt64(const std::string& path) const;

  // Strict forms accept only the matching type; loose forms also convert the other scalar
  // types (a string through atoi / atof). GetBool: numbers are true when not zero (NaN is
  // false), a string or an object is true when not empty, an array gives the default.
  bool GetBoolStrict(const std::string& path, bool defaultValue) const;
  bool GetBool(const std::string& path, bool defaultValue) const;
  int GetIntStrict(const std::string& path, int defaultValue) const;
  int GetInt(const std::string& path, int defaultValue) const;
  __int64 GetInt64(const std::string& path, __int64 defaultValue) const;
  double GetDoubleStrict(const std::string& path, double defaultValue) const;
  double GetDouble(const std::string& path, double defaultValue) const;
  void GetStringStrict(std::string& out, const std::string& path, const std::string& defaultValue) const;
  // Strings as they are; numbers and booleans as jsoncpp's text of them.
  void GetString(std::string& out, const std::string& path, const std::string& defaultValue) const;
  // As the narrow forms, converted from codePage up to the first zero byte; a conversion the
  // platform refuses gives the default.
  void GetWStringStrict(ATL::CStringW& out, const std::string& path, const ATL::CStringW& defaultValue,
                        UINT codePage) const;
  void GetWString(ATL::CStringW& out, const std::string& path, const ATL::CStringW& defaultValue,
                  UINT codePage) const;

  static const Json::Value& ResolvePath(const Json::Value& node, const std::string& path);
  static const Json::Value& ResolveSegment(const Json::Value& node, const std::string& segment);

 private:
  Json::Value m_root;
};

// printf-style text of at most 255 characters into *out (C99 rules); a longer result or a
// formatting error gives "". A null out is ignored.
void JsonFormatText(std::string* out, const char* format, ...);
