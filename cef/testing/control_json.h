// JSON forms shared by both ends of the control pipe.
#ifndef CEF_TESTING_CONTROL_JSON_H_
#define CEF_TESTING_CONTROL_JSON_H_

#include <json/json.h>

#include <string>

#include "engine/journal.h"
#include "engine/page_function.h"
#include "engine/renderer_call.h"
#include "include/cef_values.h"

namespace cefengine {

// {"seq", "process", "thread", "kind", "browser", "frame", "args": [...], "time_us"}. Frame ids travel as numbers.
Json::Value JournalEntryToJson(const JournalEntry& entry);
// The reverse; fields missing or of another type keep their defaults.
JournalEntry JournalEntryFromJson(const Json::Value& value);

// Page values nested deeper than this (objects in objects, values a function returns) are refused: the engine's
// channel could not carry them.
const int kMaxJsonPageValueDepth = 16;

// Reads a page value in the protocol's form (see engine/control_pipe.h). False with `error` naming the place
// (`where`, e.g. "args[1]", extended with ".obj[0]" etc. inside) and what is wrong; `value` is then unspecified.
// Never throws, whatever `json` holds.
[[nodiscard]] bool PageValueFromJson(const Json::Value& json, const std::string& where, PageValue* value,
                                     std::string* error);
// {"ran", "threw", "exception", "type", "value", "read_only"}.
Json::Value CallResultToJson(const RendererCallResult& result);
// A process message argument list as typed values: {"null": true}, {"bool": b}, {"int": n}, {"double": d},
// {"str": s}, {"binary": "<base64>"}, {"dict": {key: value, ...}}, {"list": [value, ...]}. Null list: [].
Json::Value ListValueToJson(CefRefPtr<CefListValue> list);
// The reverse, for an array of typed values (nested at most kMaxJsonPageValueDepth levels). False with `error` naming
// the place (`where`, extended with "[1].dict.key" etc.) and what is wrong; `list` is then unspecified. Never throws.
[[nodiscard]] bool ListValueFromJson(const Json::Value& json, const std::string& where, CefRefPtr<CefListValue>* list,
                                     std::string* error);

// Parses one line. False with `error` set for malformed text.
[[nodiscard]] bool ParseJsonLine(const std::string& line, Json::Value* out, std::string* error);
// One compact line ending with '\n'.
std::string WriteJsonLine(const Json::Value& value);

}  // namespace cefengine

#endif  // CEF_TESTING_CONTROL_JSON_H_
