#include "engine/channel_frame.h"

#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "engine/renderer_link.h"
#include "engine/value_codec.h"
#include "tools/fuzz/hostile_frames.h"

using namespace cefengine;

namespace {

ChannelFrame CommitFrame() {
  return MakeFrame(FrameType::kCommit, 7, 0x123456789LL,
                   {MakeDouble(4), MakeString(L"name"), MakeString(L"zip://a/b.html"), MakeBool(true),
                    MakeString(L"T\u00e9"), MakeListValue({MakeString(L"var a = 1;")}), MakeInt(FOCUS_EDITABLE)});
}

TEST(ChannelFrame, RoundTripKeepsHeaderAndTypedPayload) {
  std::string wire;
  ASSERT_TRUE(EncodeFrame(CommitFrame(), &wire));
  // Length prefix counts everything after itself.
  uint32_t length = static_cast<uint8_t>(wire[0]) | static_cast<uint8_t>(wire[1]) << 8 |
                    static_cast<uint8_t>(wire[2]) << 16 | static_cast<uint32_t>(static_cast<uint8_t>(wire[3])) << 24;
  EXPECT_EQ(wire.size() - 4, length);

  ChannelFrame out;
  size_t consumed = 0;
  ASSERT_EQ(DecodeStatus::kFrame,
            DecodeFrame(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), &consumed, &out));
  EXPECT_EQ(wire.size(), consumed);
  EXPECT_EQ(FrameType::kCommit, out.type);
  EXPECT_EQ(7, out.browser_id);
  EXPECT_EQ(0x123456789LL, out.frame_id);
  EXPECT_EQ(4.0, out.DoubleAt(0));
  EXPECT_EQ(L"name", out.StringAt(1));
  EXPECT_TRUE(out.BoolAt(3));
  EXPECT_EQ(L"T\u00e9", out.StringAt(4));
  ASSERT_NE(nullptr, out.At(5));
  EXPECT_EQ(1u, out.At(5)->list->items.size());
  EXPECT_EQ(FOCUS_EDITABLE, out.IntAt(6));
  // Wrong type or missing position: defaults.
  EXPECT_EQ(L"", out.StringAt(3));
  EXPECT_EQ(0, out.IntAt(99));
}

TEST(ChannelFrame, StreamOfFramesDecodesOneAtATimeAndWaitsForMissingBytes) {
  std::string wire;
  ASSERT_TRUE(EncodeFrame(CommitFrame(), &wire));
  ASSERT_TRUE(EncodeFrame(MakeFrame(FrameType::kShutdown, 0, 0), &wire));
  const uint8_t* data = reinterpret_cast<const uint8_t*>(wire.data());
  ChannelFrame out;
  size_t consumed = 0;
  for (size_t cut : {size_t(0), size_t(3), size_t(10), size_t(25)})
    EXPECT_EQ(DecodeStatus::kNeedMore, DecodeFrame(data, cut, &consumed, &out)) << cut;
  ASSERT_EQ(DecodeStatus::kFrame, DecodeFrame(data, wire.size(), &consumed, &out));
  ASSERT_EQ(DecodeStatus::kFrame, DecodeFrame(data + consumed, wire.size() - consumed, &consumed, &out));
  EXPECT_EQ(FrameType::kShutdown, out.type);
  ASSERT_NE(nullptr, out.payload.list);
  EXPECT_TRUE(out.payload.list->items.empty());
}

TEST(ChannelFrame, BrokenStreamsAreRefused) {
  std::string good;
  ASSERT_TRUE(EncodeFrame(MakeFrame(FrameType::kHello, 1, 0, {MakeInt(42), MakeString(L"x")}), &good));
  ChannelFrame out;
  size_t consumed = 0;
  auto decode = [&](const std::string& s) {
    return DecodeFrame(reinterpret_cast<const uint8_t*>(s.data()), s.size(), &consumed, &out);
  };

  std::string too_long = good;
  too_long[3] = '\x7f';  // announces far more than any frame may hold
  EXPECT_EQ(DecodeStatus::kMalformed, decode(too_long));

  std::string too_short("\x04\x00\x00\x00\x01\x00\x00\x00", 8);  // shorter than the header
  EXPECT_EQ(DecodeStatus::kMalformed, decode(too_short));

  std::string trailing = good;
  trailing[0] = static_cast<char>(trailing[0] + 1);  // one payload byte more than the value uses
  trailing.push_back('\0');
  EXPECT_EQ(DecodeStatus::kMalformed, decode(trailing));

  // A payload that is a single string instead of a list.
  std::string not_list = good.substr(0, kFrameHeaderSize);
  not_list += std::string("\x05\x00\x00\x00\x00", 5);  // VTYPE_STRING, zero units
  uint32_t body = static_cast<uint32_t>(not_list.size() - 4);
  not_list[0] = static_cast<char>(body);
  not_list[1] = not_list[2] = not_list[3] = 0;
  EXPECT_EQ(DecodeStatus::kMalformed, decode(not_list));
}

using hostile_frames::PutCount;
using hostile_frames::Frame;

// Counts read from the bytes may not reserve more than the bytes can hold, nested or not: a
// 1 MiB frame of nested lists each announcing as many items as bytes remain, and a dict
// announcing as many entries as could fit, are refused at once, not decoded into gigabytes.
TEST(ChannelFrame, HostileCountsAreRefusedBeforeAnythingLargeIsReserved) {
  const size_t kSize = 1u << 20;
  ChannelFrame out;
  size_t consumed = 0;
  for (const std::string& wire : {Frame(hostile_frames::NestedLists(kSize)),
                                  Frame(hostile_frames::AnnouncedDict(kSize, static_cast<uint32_t>((kSize - 10) / 5)))}) {
    EXPECT_EQ(DecodeStatus::kMalformed,
              DecodeFrame(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), &consumed, &out));
  }
}

// Dict keys travel in ascending order; one out of order or repeated is malformed.
TEST(ChannelFrame, DictKeysMustAscend) {
  auto dict_of = [](std::initializer_list<const char*> keys) {
    std::string payload(1, static_cast<char>(VTYPE_LIST));
    PutCount(&payload, 1);
    payload.push_back(static_cast<char>(VTYPE_DICTIONARY));
    PutCount(&payload, static_cast<uint32_t>(keys.size()));
    for (const char* key : keys) {
      PutCount(&payload, static_cast<uint32_t>(strlen(key)));
      for (const char* c = key; *c; ++c) {
        payload.push_back(*c);
        payload.push_back('\0');
      }
      payload.push_back(static_cast<char>(VTYPE_NULL));
    }
    return Frame(payload);
  };
  ChannelFrame out;
  size_t consumed = 0;
  for (const auto& c : {std::make_pair(dict_of({"a", "b", "ba"}), DecodeStatus::kFrame),
                        std::make_pair(dict_of({"b", "a"}), DecodeStatus::kMalformed),
                        std::make_pair(dict_of({"a", "a"}), DecodeStatus::kMalformed)}) {
    EXPECT_EQ(c.second, DecodeFrame(reinterpret_cast<const uint8_t*>(c.first.data()), c.first.size(), &consumed, &out));
  }
  std::string wire;
  ASSERT_TRUE(EncodeFrame(MakeFrame(FrameType::kTestEvent, 0, 0,
                                    {MakeDictValue({{L"z", MakeInt(1)}, {L"a", MakeInt(2)}, {L"\u00e9", MakeInt(3)}})}),
                          &wire));
  ASSERT_EQ(DecodeStatus::kFrame, DecodeFrame(reinterpret_cast<const uint8_t*>(wire.data()), wire.size(), &consumed, &out));
  EXPECT_EQ(3u, out.At(0)->dict->items.size());
}

class RecordingEvents : public RendererLinkEvents {
 public:
  void OnRendererFrame(const ChannelFrame& frame) override { frames.push_back(frame); }
  void OnRendererTerminated(cef_termination_status_t status) override { terminated.push_back(status); }
  std::vector<ChannelFrame> frames;
  std::vector<cef_termination_status_t> terminated;
};

TEST(RecordingRendererLink, RecordsSentFramesAndDeliversInjectedOnesUntilClosed) {
  ResetRecordedLinks();
  auto events = std::make_shared<RecordingEvents>();
  std::shared_ptr<RendererLink> link = CreateRendererLink(31, events);
  ASSERT_TRUE(link->IsConnected());
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kBrowserCreated, 31, 5, {MakeBool(false)})));
  ASSERT_TRUE(link->Send(MakeFrame(FrameType::kProcessMessage, 31, 0, {MakeString(L"m"), MakeListValue({})})));
  std::vector<ChannelFrame> sent = RecordedFrames(31, true);
  ASSERT_EQ(2u, sent.size());
  EXPECT_EQ(FrameType::kBrowserCreated, sent[0].type);
  EXPECT_EQ(FrameType::kProcessMessage, sent[1].type);
  EXPECT_TRUE(RecordedFrames(31, false).empty());

  EXPECT_TRUE(InjectRendererFrame(MakeFrame(FrameType::kFrameReady, 31, 5)));
  EXPECT_FALSE(InjectRendererFrame(MakeFrame(FrameType::kFrameReady, 32, 5)));  // no such browser
  ASSERT_EQ(1u, events->frames.size());

  link->Close();
  EXPECT_FALSE(link->Send(MakeFrame(FrameType::kShutdown, 31, 0)));
  EXPECT_FALSE(InjectRendererFrame(MakeFrame(FrameType::kFrameReady, 31, 5)));
  EXPECT_FALSE(TerminateRecordedRenderer(31, TS_PROCESS_CRASHED));
  EXPECT_EQ(1u, events->frames.size());
  EXPECT_TRUE(events->terminated.empty());
}

TEST(RecordingRendererLink, TerminationIsReportedOnceAndEndsTheLink) {
  ResetRecordedLinks();
  auto events = std::make_shared<RecordingEvents>();
  std::shared_ptr<RendererLink> link = CreateRendererLink(40, events);
  EXPECT_TRUE(TerminateRecordedRenderer(40, TS_PROCESS_WAS_KILLED));
  EXPECT_FALSE(TerminateRecordedRenderer(40, TS_PROCESS_CRASHED));
  ASSERT_EQ(1u, events->terminated.size());
  EXPECT_EQ(TS_PROCESS_WAS_KILLED, events->terminated[0]);
  EXPECT_FALSE(link->Send(MakeFrame(FrameType::kShutdown, 40, 0)));
}

}  // namespace
