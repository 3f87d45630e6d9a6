// Byte form of values and process messages, as they travel between processes.
//   value   = tag:uint8 (a cef_value_type_t) + data
//   null    = -
//   bool    = uint8 (0 or 1)
//   int     = int32
//   double  = 8 bytes IEEE 754
//   string  = uint32 count of UTF-16 units + units (uint16 each)
//   binary  = uint32 size + bytes
//   dict    = uint32 count + count * (string key + value), keys ascending
//   list    = uint32 count + count * value
//   message = string name + list arguments
// All integers little-endian. Nesting deeper than kMaxValueDepth is refused, and so are dict
// keys out of ascending order. Decoding reserves nothing that the bytes cannot hold, and the
// decoded form of n bytes may take at most kDecodeCostFactor * n + kDecodeCostAllowance bytes
// (counted from the announced sizes before anything is allocated): beyond that the bytes are
// refused as malformed, so work and memory stay linear in the input.
#ifndef CEF_ENGINE_VALUE_CODEC_H_
#define CEF_ENGINE_VALUE_CODEC_H_

#include <cstddef>
#include <cstdint>
#include <string>

#include "engine/values_impl.h"
#include "include/cef_process_message.h"

namespace cefengine {

const int kMaxValueDepth = 64;
const size_t kDecodeCostFactor = 8;
const size_t kDecodeCostAllowance = 8u << 20;

// Appends the encoding of `value` to `out`. False (out unchanged) when nested too deeply.
[[nodiscard]] bool EncodeValue(const ValueData& value, std::string* out);
// Decodes one value at `*offset`, advancing it. False for truncated or malformed input, an
// unknown tag, too deep nesting, a decoded form over the budget or a failed allocation (logged);
// `*out` is then unspecified and `*offset` unchanged. Never throws.
[[nodiscard]] bool DecodeValue(const uint8_t* data, size_t size, size_t* offset, ValueData* out);

// A message (name and a copy of its arguments). False for a foreign or null message.
[[nodiscard]] bool EncodeProcessMessage(CefRefPtr<CefProcessMessage> message, std::string* out);
// A read-only message, or null for malformed bytes (the whole buffer must be used).
CefRefPtr<CefProcessMessage> DecodeProcessMessage(const void* data, size_t size);

}  // namespace cefengine

#endif  // CEF_ENGINE_VALUE_CODEC_H_
