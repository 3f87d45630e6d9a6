#include "engine/channel_frame.h"

#include <cstring>

#include "engine/value_codec.h"

namespace cefengine {

namespace {

template <typename T>
void PutLE(std::string* out, T value) {
  for (size_t i = 0; i < sizeof(T); ++i)
    out->push_back(static_cast<char>((static_cast<uint64_t>(value) >> (8 * i)) & 0xFF));
}

template <typename T>
T GetLE(const uint8_t* p) {
  uint64_t v = 0;
  for (size_t i = 0; i < sizeof(T); ++i)
    v |= static_cast<uint64_t>(p[i]) << (8 * i);
  return static_cast<T>(v);
}

}  // namespace

const ValueData* ChannelFrame::At(size_t index) const {
  if (payload.type != VTYPE_LIST || !payload.list || index >= payload.list->items.size())
    return nullptr;
  return &payload.list->items[index];
}

std::wstring ChannelFrame::StringAt(size_t index) const {
  const ValueData* v = At(index);
  return v && v->type == VTYPE_STRING ? v->s : std::wstring();
}

int ChannelFrame::IntAt(size_t index) const {
  const ValueData* v = At(index);
  return v && v->type == VTYPE_INT ? v->i : 0;
}

bool ChannelFrame::BoolAt(size_t index) const {
  const ValueData* v = At(index);
  return v && v->type == VTYPE_BOOL ? v->b : false;
}

double ChannelFrame::DoubleAt(size_t index) const {
  const ValueData* v = At(index);
  if (!v)
    return 0;
  if (v->type == VTYPE_DOUBLE)
    return v->d;
  return v->type == VTYPE_INT ? v->i : 0;
}

const char* FrameTypeName(FrameType type) {
  switch (type) {
    case FrameType::kInit: return "Init";
    case FrameType::kBrowserCreated: return "BrowserCreated";
    case FrameType::kCommit: return "Commit";
    case FrameType::kFrameGone: return "FrameGone";
    case FrameType::kProcessMessage: return "ProcessMessage";
    case FrameType::kExecuteJavaScript: return "ExecuteJavaScript";
    case FrameType::kFocus: return "Focus";
    case FrameType::kBrowserDestroyed: return "BrowserDestroyed";
    case FrameType::kShutdown: return "Shutdown";
    case FrameType::kTest: return "Test";
    case FrameType::kCrash: return "Crash";
    case FrameType::kPing: return "Ping";
    case FrameType::kHello: return "Hello";
    case FrameType::kFrameReady: return "FrameReady";
    case FrameType::kRendererMessage: return "RendererMessage";
    case FrameType::kPageAction: return "PageAction";
    case FrameType::kTestResult: return "TestResult";
    case FrameType::kTestEvent: return "TestEvent";
    case FrameType::kPong: return "Pong";
  }
  return "?";
}

ValueData MakeString(const std::wstring& text) {
  ValueData v;
  v.type = VTYPE_STRING;
  v.s = text;
  return v;
}

ValueData MakeInt(int value) {
  ValueData v;
  v.type = VTYPE_INT;
  v.i = value;
  return v;
}

ValueData MakeBool(bool value) {
  ValueData v;
  v.type = VTYPE_BOOL;
  v.b = value;
  return v;
}

ValueData MakeDouble(double value) {
  ValueData v;
  v.type = VTYPE_DOUBLE;
  v.d = value;
  return v;
}

ValueData MakeListValue(std::vector<ValueData> items) {
  ValueData v;
  v.type = VTYPE_LIST;
  v.list = std::make_shared<ListData>();
  v.list->items = std::move(items);
  return v;
}

ValueData MakeDictValue(std::vector<std::pair<std::wstring, ValueData>> items) {
  ValueData v;
  v.type = VTYPE_DICTIONARY;
  v.dict = std::make_shared<DictData>();
  for (auto& item : items)
    v.dict->items[item.first] = std::move(item.second);
  return v;
}

ChannelFrame MakeFrame(FrameType type, int32_t browser_id, int64_t frame_id, std::vector<ValueData> items) {
  ChannelFrame frame;
  frame.type = type;
  frame.browser_id = browser_id;
  frame.frame_id = frame_id;
  frame.payload = MakeListValue(std::move(items));
  return frame;
}

bool EncodeFrame(const ChannelFrame& frame, std::string* out) {
  ValueData payload = frame.payload;
  if (payload.type != VTYPE_LIST || !payload.list)
    payload = MakeListValue({});
  std::string body;
  PutLE<uint16_t>(&body, static_cast<uint16_t>(frame.type));
  PutLE<uint16_t>(&body, frame.flags);
  PutLE<int32_t>(&body, frame.browser_id);
  PutLE<int64_t>(&body, frame.frame_id);
  if (!EncodeValue(payload, &body) || body.size() > kMaxFrameBody)
    return false;
  PutLE<uint32_t>(out, static_cast<uint32_t>(body.size()));
  out->append(body);
  return true;
}

DecodeStatus DecodeFrame(const uint8_t* data, size_t size, size_t* consumed, ChannelFrame* out) {
  if (size < 4)
    return DecodeStatus::kNeedMore;
  uint32_t length = GetLE<uint32_t>(data);
  if (length < kFrameHeaderSize - 4 || length > kMaxFrameBody)
    return DecodeStatus::kMalformed;
  if (size - 4 < length)
    return DecodeStatus::kNeedMore;
  const uint8_t* p = data + 4;
  ChannelFrame frame;
  frame.type = static_cast<FrameType>(GetLE<uint16_t>(p));
  frame.flags = GetLE<uint16_t>(p + 2);
  frame.browser_id = GetLE<int32_t>(p + 4);
  frame.frame_id = GetLE<int64_t>(p + 8);
  const uint8_t* payload = p + (kFrameHeaderSize - 4);
  size_t payload_size = length - (kFrameHeaderSize - 4);
  size_t offset = 0;
  if (!DecodeValue(payload, payload_size, &offset, &frame.payload) || offset != payload_size ||
      frame.payload.type != VTYPE_LIST || !frame.payload.list)
    return DecodeStatus::kMalformed;
  *out = std::move(frame);
  *consumed = 4 + static_cast<size_t>(length);
  return DecodeStatus::kFrame;
}

}  // namespace cefengine
