#include "base/json_helper.h"

#include <cmath>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <sstream>

#include "base/string_util.h"

namespace {

// Paths of this length or more lead nowhere; the scan buffers below hold one character less.
const size_t kMaxPath = 256;

const Json::Value& SharedNull() {
  static const Json::Value null;
  return null;
}

bool IsScalar(const Json::Value& value) {
  return value.isIntegral() || value.isDouble() || value.isBool();
}

// Text up to its first zero byte, from codePage. False when the platform refuses a non-empty
// text (an unknown code page, for example).
bool ConvertText(const std::string& text, UINT codePage, ATL::CStringW& out) {
  const char* start = text.c_str();
  if (!*start) {
    out.Empty();
    return true;
  }
  ATL::CStringW converted = StringUtil::MbToWide(start, codePage);
  if (converted.IsEmpty()) return false;
  out = converted;
  return true;
}

}  // namespace

CJsonHelper::CJsonHelper() = default;

CJsonHelper::CJsonHelper(const Json::Value& value) : m_root(value) {}

CJsonHelper::CJsonHelper(const CJsonHelper& other) : m_root(other.m_root) {}

CJsonHelper::CJsonHelper(const std::string& text) { (void)Parse(text); }

CJsonHelper& CJsonHelper::operator=(const CJsonHelper& other) {
  if (this != &other) m_root = other.m_root;
  return *this;
}

CJsonHelper CJsonHelper::operator=(const Json::Value& value) {
  m_root = value;
  return *this;
}

Json::Value& CJsonHelper::operator[](const std::string& key) { return m_root[key]; }

Json::Value& CJsonHelper::operator[](unsigned index) {
  return m_root[static_cast<Json::ArrayIndex>(index)];
}

void CJsonHelper::Clear() {
  if (m_root.isObject() || m_root.isArray()) m_root.clear();
}

bool CJsonHelper::Parse(const std::string& text) {
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  bool ok = false;
  try {
    ok = reader->parse(text.data(), text.data() + text.size(), &m_root, &errors);
  } catch (const Json::Exception&) {
    // Nesting beyond the reader's limit throws; it is a parse failure like any other.
    return false;
  }
  return ok && errors.empty() && (m_root.isObject() || m_root.isArray());
}

void CJsonHelper::ToString(std::string& out, const std::string& path) const {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  // Comments of the source document stay out: in text without line breaks a "//" comment
  // would swallow everything after it.
  builder["commentStyle"] = "None";
  std::unique_ptr<Json::StreamWriter> writer(builder.newStreamWriter());
  std::ostringstream stream;
  writer->write(GetNode(path), &stream);
  out = stream.str();
}

void CJsonHelper::ToStyledString(std::string& out, const std::string& path) const {
  out = GetNode(path).toStyledString();
}

const Json::Value& CJsonHelper::GetNode(const std::string& path) const {
  return ResolvePath(m_root, path);
}

void CJsonHelper::GetValue(Json::Value& out, const std::string& path) const { out = GetNode(path); }

int CJsonHelper::GetArraySize(const std::string& path) const {
  const Json::Value& value = GetNode(path);
  return value.isArray() ? static_cast<int>(value.size()) : 0;
}

bool CJsonHelper::HasValue(const std::string& path) const { return !GetNode(path).isNull(); }

bool CJsonHelper::IsArray(const std::string& path) const { return GetNode(path).isArray(); }

bool CJsonHelper::IsObject(const std::string& path) const { return GetNode(path).isObject(); }

bool CJsonHelper::IsString(const std::string& path) const { return GetNode(path).isString(); }

bool CJsonHelper::IsBool(const std::string& path) const { return GetNode(path).isBool(); }

bool CJsonHelper::IsNumeric(const std::string& path) const { return GetNode(path).isNumeric(); }

bool CJsonHelper::IsInt(const std::string& path) const { return GetNode(path).isInt(); }

bool CJsonHelper::IsInt64(const std::string& path) const { return GetNode(path).isInt64(); }

bool CJsonHelper::GetBoolStrict(const std::string& path, bool defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isBool()) return value.asBool();
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

bool CJsonHelper::GetBool(const std::string& path, bool defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    switch (value.type()) {
      case Json::intValue:
        return value.asInt64() != 0;
      case Json::uintValue:
        return value.asUInt64() != 0;
      case Json::realValue: {
        double d = value.asDouble();
        return !std::isnan(d) && d != 0.0;
      }
      case Json::booleanValue:
        return value.asBool();
      case Json::stringValue:
        return !value.asString().empty();
      case Json::objectValue:
        return value.size() != 0;
      default:
        break;
    }
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

int CJsonHelper::GetIntStrict(const std::string& path, int defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isInt()) return value.asInt();
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

int CJsonHelper::GetInt(const std::string& path, int defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (IsScalar(value)) return value.asInt();
    if (value.isString()) return atoi(value.asCString());
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

__int64 CJsonHelper::GetInt64(const std::string& path, __int64 defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isInt64()) return value.asInt64();
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

double CJsonHelper::GetDoubleStrict(const std::string& path, double defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isNumeric()) return value.asDouble();
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

double CJsonHelper::GetDouble(const std::string& path, double defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (IsScalar(value)) return value.asDouble();
    if (value.isString()) return atof(value.asCString());
  } catch (const Json::Exception&) {
  }
  return defaultValue;
}

void CJsonHelper::GetStringStrict(std::string& out, const std::string& path,
                                  const std::string& defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isString()) {
      out = value.asString();
      return;
    }
  } catch (const Json::Exception&) {
  }
  out = defaultValue;
}

void CJsonHelper::GetString(std::string& out, const std::string& path,
                            const std::string& defaultValue) const {
  try {
    const Json::Value& value = GetNode(path);
    if (value.isString() || IsScalar(value)) {
      out = value.asString();
      return;
    }
  } catch (const Json::Exception&) {
  }
  out = defaultValue;
}

void CJsonHelper::GetWStringStrict(ATL::CStringW& out, const std::string& path,
                                   const ATL::CStringW& defaultValue, UINT codePage) const {
  std::string text;
  if (!IsString(path)) {
    out = defaultValue;
    return;
  }
  GetStringStrict(text, path, std::string());
  if (!ConvertText(text, codePage, out)) out = defaultValue;
}

void CJsonHelper::GetWString(ATL::CStringW& out, const std::string& path,
                             const ATL::CStringW& defaultValue, UINT codePage) const {
  const Json::Value& value = GetNode(path);
  if (!value.isString() && !IsScalar(value)) {
    out = defaultValue;
    return;
  }
  std::string text;
  GetString(text, path, std::string());
  if (!ConvertText(text, codePage, out)) out = defaultValue;
}

const Json::Value& CJsonHelper::ResolvePath(const Json::Value& node, const std::string& path) {
  if (path.empty()) return node;
  if (path.size() >= kMaxPath) return SharedNull();
  if (node.isNull()) return SharedNull();
  try {
    char head[kMaxPath] = {};
    char tail[kMaxPath] = {};
    // The head runs to the first dot; the tail starts at the next non-blank and ends before a blank.
    int read = sscanf(path.c_str(), "%255[^.].%255s", head, tail);
    if (read == 1) return ResolveSegment(node, head);
    return ResolvePath(ResolveSegment(node, head), tail);
  } catch (const Json::Exception&) {
    return SharedNull();
  }
}

const Json::Value& CJsonHelper::ResolveSegment(const Json::Value& node, const std::string& segment) {
  if (!node.isObject() && !node.isArray()) return SharedNull();
  char name[kMaxPath] = {};
  char rest[kMaxPath] = {};
  int index = -1;
  int read = sscanf(segment.c_str(), "%255[^[][%d]%255s", name, &index, rest);
  if (read == 2) {
    // Const access throws when the node is an array; the caller turns that into null.
    const Json::Value& member = node[name];
    if (!member.isArray() || index < 0 || static_cast<Json::ArrayIndex>(index) >= member.size())
      return SharedNull();
    return member[static_cast<Json::ArrayIndex>(index)];
  }
  int element = -1;
  if (sscanf(segment.c_str(), "[%d]", &element) == 1) return node[element];
  return node[segment];
}

void JsonFormatText(std::string* out, const char* format, ...) {
  if (!out) return;
  out->clear();
  if (!format) return;
  char buffer[256] = {};
  va_list args;
  va_start(args, format);
  int written = vsnprintf(buffer, sizeof(buffer), format, args);
  va_end(args);
  if (written < 0 || written >= static_cast<int>(sizeof(buffer))) return;
  out->assign(buffer, static_cast<size_t>(written));
}
