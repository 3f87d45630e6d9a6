// Renderer-to-browser frames (the channel frame and the value codec under it). A frame that
// decodes must be exactly its announced size and encode back to the same bytes.
#include <cstring>
#include <memory>
#include <string>
#include <vector>

#include "engine/channel_frame.h"
#include "engine/value_codec.h"
#include "tools/fuzz/fuzz_drivers.h"
#include "tools/fuzz/hostile_frames.h"

namespace fuzz {

namespace {

using namespace cefengine;

ValueData Binary(size_t size) {
  ValueData v;
  v.type = VTYPE_BINARY;
  auto bytes = std::make_shared<std::vector<uint8_t>>(size);
  for (size_t i = 0; i < size; ++i) (*bytes)[i] = static_cast<uint8_t>(i * 31);
  v.binary = bytes;
  return v;
}

std::string Encoded(const ChannelFrame& frame) {
  std::string wire;
  (void)EncodeFrame(frame, &wire);
  return wire;
}

std::vector<std::string> Seeds() {
  ValueData nested = MakeListValue({MakeInt(1)});
  for (int i = 0; i < 6; ++i) nested = MakeListValue({nested, MakeString(L"level"), MakeDouble(i)});
  return {
      Encoded(MakeFrame(FrameType::kCommit, 7, 0x123456789LL,
                        {MakeDouble(4), MakeString(L"name"), MakeString(L"zip://a/b.html"), MakeBool(true),
                         MakeString(L"T\u00e9"), MakeListValue({MakeString(L"var a = 1;")}), MakeInt(FOCUS_EDITABLE)})),
      Encoded(MakeFrame(FrameType::kInit, 0, 0,
                        {MakeListValue({}), MakeDictValue({{L"locale", MakeString(L"en-US")},
                                                           {L"uncaught_exception_stack_size", MakeInt(10)},
                                                           {L"journal", MakeBool(false)}})})),
      Encoded(MakeFrame(FrameType::kRendererMessage, 3, 0,
                        {MakeString(L"external.call"), MakeListValue({Binary(40), MakeInt(-1), nested})})),
      Encoded(MakeFrame(FrameType::kTestEvent, 0, 0,
                        {MakeDictValue({{L"seq", MakeDouble(12)}, {L"thread", MakeString(L"UI")},
                                        {L"args", MakeListValue({MakeString(L"a"), MakeString(L"b")})}})})),
      Encoded(MakeFrame(FrameType::kShutdown, 0, 0)),
  };
}

using hostile_frames::PutCount;

std::vector<std::string> Crafted() {
  // A 64 MiB dictionary of distinct keys in ascending order (the largest frame there is).
  const size_t kDictSize = kMaxFrameBody - (kFrameHeaderSize - 4);
  std::string dict(1, static_cast<char>(VTYPE_LIST));
  PutCount(&dict, 1);
  dict.push_back(static_cast<char>(VTYPE_DICTIONARY));
  const size_t countAt = dict.size();
  PutCount(&dict, 0);
  uint32_t keys = 0;
  for (; dict.size() + 9 <= kDictSize; ++keys) {
    PutCount(&dict, 2);
    const uint32_t high = 0x20 + (keys >> 16);  // two units that ascend with keys
    dict.push_back(static_cast<char>(high & 0xFF));
    dict.push_back(static_cast<char>(high >> 8));
    dict.push_back(static_cast<char>(keys & 0xFF));
    dict.push_back(static_cast<char>((keys >> 8) & 0xFF));
    dict.push_back(static_cast<char>(VTYPE_NULL));
  }
  for (int i = 0; i < 4; ++i) dict[countAt + i] = static_cast<char>(keys >> (8 * i));
  dict.resize(kDictSize, static_cast<char>(VTYPE_NULL));
  return {hostile_frames::Frame(hostile_frames::NestedLists(1u << 20)), hostile_frames::Frame(dict)};
}

void Check(const std::string& input, CaseReport* report) {
  ChannelFrame frame;
  size_t consumed = 0;
  const uint8_t* bytes = reinterpret_cast<const uint8_t*>(input.data());
  if (DecodeFrame(bytes, input.size(), &consumed, &frame) != DecodeStatus::kFrame) return;
  if (consumed > input.size() || consumed < kFrameHeaderSize) {
    report->Violation("consumed " + std::to_string(consumed) + " of " + std::to_string(input.size()) + " bytes");
    return;
  }
  std::string again;
  if (!EncodeFrame(frame, &again) || again.size() != consumed || std::memcmp(again.data(), bytes, consumed) != 0) {
    report->Violation("the decoded frame does not encode back to its bytes");
  }
}

}  // namespace

const Driver kFrameDriver = {"frame", 1u << 20, &Seeds, &Crafted, &Check};

}  // namespace fuzz
