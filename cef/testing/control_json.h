// JSON forms shared by both ends of the control pipe.
#ifndef CEF_TESTING_CONTROL_JSON_H_
#define CEF_TESTING_CONTROL_JSON_H_

#include <json/json.h>

#include <string>

#include "engine/journal.h"

namespace cefengine {

// {"seq", "process", "thread", "kind", "browser", "frame", "args": [...]}. Frame ids travel as numbers.
Json::Value JournalEntryToJson(const JournalEntry& entry);
// The reverse; fields missing or of another type keep their defaults.
JournalEntry JournalEntryFromJson(const Json::Value& value);

// Parses one line. False with `error` set for malformed text.
[[nodiscard]] bool ParseJsonLine(const std::string& line, Json::Value* out, std::string* error);
// One compact line ending with '\n'.
std::string WriteJsonLine(const Json::Value& value);

}  // namespace cefengine

#endif  // CEF_TESTING_CONTROL_JSON_H_
