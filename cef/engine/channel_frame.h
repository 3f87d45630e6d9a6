// Frames exchanged between the browser process and a renderer.
//
// Wire form (little-endian):
//   uint32 length      bytes that follow this field (header rest + payload), at most kMaxFrameBody
//   uint16 type        a FrameType
//   uint16 flags       0 (reserved)
//   int32  browser_id  0 when the frame is not about one browser
//   int64  frame_id    0 when the frame is not about one frame
//   payload            one value in the byte form of engine/value_codec.h, always a list
//
// Payload layouts (list positions). Frame ids inside payloads travel as doubles (exact below 2^53).
//   browser -> renderer
//     kInit              [0] extra info (list), [1] settings (dict: "locale" string,
//                        "uncaught_exception_stack_size" int, "journal" bool: forward journal entries as TestEvent)
//     kBrowserCreated    frame_id = main frame id; [0] is_popup (bool)
//     kCommit            frame_id = the frame; [0] parent frame id (double, 0 for the main frame), [1] name,
//                        [2] url, [3] is_main (bool), [4] title, [5] inline script texts (list of strings, document
//                        order), [6] focus state (int, FocusState)
//     kFrameGone         frame_id = the frame; []
//     kProcessMessage    [0] name, [1] arguments (list)
//     kExecuteJavaScript frame_id; [0] code, [1] script url, [2] start line (int)
//     kFocus             frame_id; [0] focus state (int, FocusState)
//     kBrowserDestroyed  []
//     kShutdown          []
//     kTest              frame_id = the frame; [0] request id (int), [1] command (EncodeRendererCommand of
//                        engine/renderer_call.h)
//     kCrash             []: the renderer ends as a crash would (a main frame navigated to "chrome://crash")
//     kPing              [0] request id (int): the renderer's thread answers kPong at once
//   renderer -> browser
//     kHello             [0] process id (int), [1] the renderer's own command line (string)
//     kFrameReady        frame_id = the frame; []
//     kRendererMessage   [0] name, [1] arguments (list)
//     kPageAction        [0] kind (string), [1] arguments (list)
//     kTestResult        [0] request id (int), [1] result (EncodeCallResult of engine/renderer_call.h)
//     kPong              [0] the request id of the kPing
//     kTestEvent         [0] journal entry (dict: "seq" double, "thread" string, "kind" string, "frame" double,
//                        "args" list of strings, "time" double: microseconds of the performance counter)
#ifndef CEF_ENGINE_CHANNEL_FRAME_H_
#define CEF_ENGINE_CHANNEL_FRAME_H_

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "engine/values_impl.h"

namespace cefengine {

enum class FrameType : uint16_t {
  kInit = 1,
  kBrowserCreated = 2,
  kCommit = 3,
  kFrameGone = 4,
  kProcessMessage = 5,
  kExecuteJavaScript = 6,
  kFocus = 7,
  kBrowserDestroyed = 8,
  kShutdown = 9,
  kTest = 10,
  kCrash = 11,
  kPing = 12,
  kHello = 101,
  kFrameReady = 102,
  kRendererMessage = 103,
  kPageAction = 104,
  kTestResult = 105,
  kTestEvent = 106,
  kPong = 107,
};

enum FocusState { FOCUS_NONE = 0, FOCUS_EDITABLE = 1, FOCUS_PLAIN = 2 };

// Largest frame body accepted; a longer announced length means a broken peer.
const uint32_t kMaxFrameBody = 64u * 1024u * 1024u;
// Bytes before the payload, the length field included.
const size_t kFrameHeaderSize = 4 + 2 + 2 + 4 + 8;

struct ChannelFrame {
  FrameType type = FrameType::kShutdown;
  uint16_t flags = 0;
  int32_t browser_id = 0;
  int64_t frame_id = 0;
  ValueData payload;  // a list; an empty payload is an empty list

  // Payload access: a missing position or another type gives the default value.
  const ValueData* At(size_t index) const;
  std::wstring StringAt(size_t index) const;
  int IntAt(size_t index) const;
  bool BoolAt(size_t index) const;
  double DoubleAt(size_t index) const;
};

// Name of a frame type for logs and the journal ("Commit", "Hello", ...); "?" for unknown values.
const char* FrameTypeName(FrameType type);

// Payload builders.
ValueData MakeString(const std::wstring& text);
ValueData MakeInt(int value);
ValueData MakeBool(bool value);
ValueData MakeDouble(double value);
ValueData MakeListValue(std::vector<ValueData> items);
ValueData MakeDictValue(std::vector<std::pair<std::wstring, ValueData>> items);

// A frame with a list payload made of `items`.
ChannelFrame MakeFrame(FrameType type, int32_t browser_id, int64_t frame_id, std::vector<ValueData> items = {});

// Appends the wire form of `frame` to `out`. False (out unchanged) when the payload cannot be encoded or is too long.
[[nodiscard]] bool EncodeFrame(const ChannelFrame& frame, std::string* out);

enum class DecodeStatus { kFrame, kNeedMore, kMalformed };
// Reads one frame from the start of `data`. kFrame: `*out` filled and `*consumed` set to its wire size;
// kNeedMore: the bytes hold only part of a frame; kMalformed: the stream cannot be trusted any more (bad length,
// unknown payload form, trailing payload bytes, or a payload that is not a list).
DecodeStatus DecodeFrame(const uint8_t* data, size_t size, size_t* consumed, ChannelFrame* out);

}  // namespace cefengine

#endif  // CEF_ENGINE_CHANNEL_FRAME_H_
