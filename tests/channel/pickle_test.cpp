#include "channel/ipc_message.h"
#include "channel/pickle.h"

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/channel/failing_allocation.h"
#include "tests/channel/wire_bytes.h"

using wire_bytes::FromHex;
using wire_bytes::Hex;
using wire_bytes::Strip;

namespace {

// ---- Golden bytes of whole messages -------------------------------------------------------

struct GoldenCase {
  const char* name;
  std::function<void(IPC::Message&)> write;
  const char* payload_hex;  // the payload as it travels (no trailing padding)
};

void PrintTo(const GoldenCase& c, std::ostream* os) { *os << c.name; }

class MessageGolden : public ::testing::TestWithParam<GoldenCase> {};

TEST_P(MessageGolden, BlockIsHeaderThenPaddedItemsWithoutLastPadding) {
  const GoldenCase& c = GetParam();
  IPC::Message message(kRoutingIdHost, 0x105, 2);
  c.write(message);
  const std::vector<char> payload = FromHex(c.payload_hex);
  ASSERT_EQ(message.GetSize(), 16u + payload.size());
  EXPECT_EQ(message.GetPayloadSize(), payload.size());
  // payload_size, routing 2, type 0x105; flags are checked on their own.
  const uint32_t size = static_cast<uint32_t>(payload.size());
  EXPECT_EQ(Hex(message.GetData(), 12), Hex(&size, 4) + "02000000" + "05010000");
  EXPECT_EQ(Hex(message.GetData() + 16, payload.size()), Strip(c.payload_hex));
}

INSTANTIATE_TEST_SUITE_P(
    Items, MessageGolden,
    ::testing::Values(
        GoldenCase{"Empty", [](IPC::Message&) {}, ""},
        GoldenCase{"WStringThenInt32",
                   [](IPC::Message& m) {
                     ASSERT_TRUE(m.WriteString16(L"abc"));
                     ASSERT_TRUE(m.WriteInt(7));
                   },
                   "03000000 610062006300 0000 07000000"},
        GoldenCase{"Int32ThenInt64AlignedTo4",
                   [](IPC::Message& m) {
                     ASSERT_TRUE(m.WriteInt(-1));
                     ASSERT_TRUE(m.WriteInt64(0x0102030405060708LL));
                   },
                   "ffffffff 0807060504030201"},
        GoldenCase{"OneWString3Units",
                   [](IPC::Message& m) { ASSERT_TRUE(m.WriteString16(L"xyz")); },
                   "03000000 780079007a00"},
        GoldenCase{"EmptyWString", [](IPC::Message& m) { ASSERT_TRUE(m.WriteString16(L"")); }, "00000000"},
        GoldenCase{"NarrowStringAndData",
                   [](IPC::Message& m) {
                     ASSERT_TRUE(m.WriteString("hello"));
                     ASSERT_TRUE(m.WriteData("\x01\x02", 2));
                   },
                   "05000000 68656c6c6f 000000 02000000 0102"},
        GoldenCase{"NonAsciiUtf16", [](IPC::Message& m) { ASSERT_TRUE(m.WriteString16(L"\u4e2d\U0001F600")); },
                   "03000000 2d4e 3dd8 00de"}),
    [](const ::testing::TestParamInfo<GoldenCase>& info) { return std::string(info.param.name); });

// ---- Reader rules -------------------------------------------------------------------------

enum class Op { Int, Int64, Bool, UInt16, WString, String, Data, Bytes4 };

struct Step {
  Op op;
  bool ok;
  int64_t value;  // expected value for Int/Int64/Bool/UInt16 and the text length otherwise
};

struct ReaderCase {
  const char* name;
  const char* payload_hex;  // payload_size = these bytes
  std::vector<Step> steps;
};

void PrintTo(const ReaderCase& c, std::ostream* os) { *os << c.name; }

class ReaderRules : public ::testing::TestWithParam<ReaderCase> {};

TEST_P(ReaderRules, ReadsSucceedOrFailWithoutSkippingWhatFollows) {
  const ReaderCase& c = GetParam();
  std::vector<char> block = FromHex(c.payload_hex);
  const uint32_t size = static_cast<uint32_t>(block.size());
  std::vector<char> header(16, 0);
  memcpy(header.data(), &size, 4);
  block.insert(block.begin(), header.begin(), header.end());
  IPC::Message view(block.data(), static_cast<int>(block.size()));
  ASSERT_TRUE(view.IsUsable());
  PickleReader reader(view);
  for (size_t i = 0; i < c.steps.size(); ++i) {
    const Step& s = c.steps[i];
    int64_t got = -12345;
    bool ok = false;
    switch (s.op) {
      case Op::Int: { int v = -12345; ok = reader.ReadInt(&v); got = v; break; }
      case Op::Int64: { int64_t v = -12345; ok = reader.ReadInt64(&v); got = v; break; }
      case Op::Bool: { bool v = false; ok = reader.ReadBool(&v); got = v; break; }
      case Op::UInt16: { uint16_t v = 0; ok = reader.ReadUInt16(&v); got = v; break; }
      case Op::WString: { std::wstring v; ok = reader.ReadString16(&v); got = static_cast<int64_t>(v.size()); break; }
      case Op::String: { std::string v; ok = reader.ReadString(&v); got = static_cast<int64_t>(v.size()); break; }
      case Op::Data: {
        const char* d = reinterpret_cast<const char*>(1);
        int n = -1;
        ok = reader.ReadData(&d, &n);
        got = n;
        if (!ok) {
          EXPECT_EQ(d, nullptr) << "step " << i;
          EXPECT_EQ(n, 0) << "step " << i;
        }
        break;
      }
      case Op::Bytes4: { const char* d = nullptr; ok = reader.ReadBytes(&d, 4); got = ok ? 4 : 0; break; }
    }
    EXPECT_EQ(ok, s.ok) << "step " << i;
    if (ok && s.ok) {
      EXPECT_EQ(got, s.value) << "step " << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReaderRules,
    ::testing::Values(
        ReaderCase{"Int32WithThreeBytesLeftFailsThenBoolSucceeds", "07000000 010000",
                   {{Op::Int, true, 7}, {Op::Int, false, 0}, {Op::Bool, true, 1}, {Op::Bool, false, 0}}},
        ReaderCase{"LastBoolWithOneCountedByte", "00", {{Op::Bool, true, 0}, {Op::Bool, false, 0}}},
        ReaderCase{"BoolTakesFirstByteOnlyAndUInt16TwoBytes", "00ff0000 3412ffff",
                   {{Op::Bool, true, 0}, {Op::UInt16, true, 0x1234}}},
        ReaderCase{"Int64WithSevenBytesLeftFailsInPlace", "01000000 02000000 030000",
                   {{Op::Int64, true, 0x0000000200000001LL}, {Op::Int64, false, 0}, {Op::Int, false, 0},
                    {Op::UInt16, true, 3}}},
        ReaderCase{"WStringCountMinusOneFailsAfterCount", "ffffffff 2a000000",
                   {{Op::WString, false, 0}, {Op::Int, true, 42}}},
        ReaderCase{"WStringCountOverflowFailsAfterCount", "00000040 2a000000",
                   {{Op::WString, false, 0}, {Op::Int, true, 42}}},
        ReaderCase{"WStringLongerThanPayloadFailsAfterCount", "03000000 2a000000",
                   {{Op::WString, false, 0}, {Op::Int, true, 42}}},
        ReaderCase{"DataAndStringLongerThanPayloadFail", "09000000 05000000 616263",
                   {{Op::Data, false, 0}, {Op::String, false, 0}}},
        ReaderCase{"EveryReadFailsAfterPaddedLastItem", "01000000 4100",
                   {{Op::WString, true, 1}, {Op::Bool, false, 0}, {Op::Int, false, 0}, {Op::WString, false, 0},
                    {Op::Bytes4, false, 0}}},
        ReaderCase{"ItemsReadBackInOrder", "02000000 41004200 05000000 61626364 65000000 03000000 010203",
                   {{Op::WString, true, 2}, {Op::String, true, 5}, {Op::Data, true, 3}, {Op::Int, false, 0}}}),
    [](const ::testing::TestParamInfo<ReaderCase>& info) { return std::string(info.param.name); });

// ---- Views over received blocks ------------------------------------------------------------

struct ViewCase {
  const char* name;
  int length;
  uint32_t payload_size;
  bool usable;
  uint32_t header_size;
};

void PrintTo(const ViewCase& c, std::ostream* os) { *os << c.name; }

class ReceivedView : public ::testing::TestWithParam<ViewCase> {};

TEST_P(ReceivedView, HeaderSizeIsLengthMinusPayloadSize) {
  const ViewCase& c = GetParam();
  std::vector<char> block(static_cast<size_t>(c.length > 4 ? c.length : 4), 0);
  memcpy(block.data(), &c.payload_size, 4);
  if (c.length >= 16) block[4] = 1;  // routing
  IPC::Message view(block.data(), c.length);
  EXPECT_EQ(view.IsUsable(), c.usable);
  EXPECT_EQ(view.GetHeaderSize(), c.header_size);
  if (c.usable) {
    EXPECT_EQ(view.GetPayload(), block.data() + c.header_size);
    EXPECT_EQ(view.GetRouting(), 1);
  } else {
    EXPECT_EQ(view.GetData(), nullptr);
    EXPECT_EQ(view.GetRouting(), 0);
    int v;
    PickleReader reader(view);
    EXPECT_FALSE(reader.ReadInt(&v));
  }
}

INSTANTIATE_TEST_SUITE_P(
    Cases, ReceivedView,
    ::testing::Values(ViewCase{"ExactBlock", 26, 10, true, 16}, ViewCase{"EmptyMessage", 16, 0, true, 16},
                      ViewCase{"FourExtraBytesMovePayloadTo20", 20, 0, true, 20},
                      ViewCase{"PayloadSizeAboveLength", 16, 20, false, 0},
                      ViewCase{"PayloadSizeEqualsLength", 16, 16, false, 0},
                      ViewCase{"HeaderNotMultipleOf4", 18, 0, false, 0},
                      ViewCase{"FifteenBytes", 15, 0, false, 0}, ViewCase{"ThreeBytes", 3, 0, false, 0}),
    [](const ::testing::TestParamInfo<ViewCase>& info) { return std::string(info.param.name); });

// ---- Reference numbers ---------------------------------------------------------------------

TEST(MessageFlags, ReferenceNumbersCountUpAndCarryTheProcessId) {
  IPC::Message first(1, 1, 2);
  IPC::Message second(1, 1, 2);
  IPC::Message plain;
  IPC::Message third(1, 1, 2);
  const uint32_t pid_bits = static_cast<uint32_t>(GetCurrentProcessId()) & 0x3FFu;
  for (const IPC::Message* m : {&first, &second, &third}) {
    EXPECT_EQ(m->GetFlags() & 0xFFu, 2u);
    EXPECT_EQ(m->GetFlags() >> 22, pid_bits);
  }
  EXPECT_EQ(plain.GetFlags() >> 22, pid_bits);
  const auto counter = [](const IPC::Message& m) { return (m.GetFlags() >> 8) & 0x3FFFu; };
  EXPECT_EQ((counter(second) - counter(first)) & 0x3FFFu, 1u);
  EXPECT_EQ((counter(plain) - counter(second)) & 0x3FFFu, 1u) << "the plain constructor counts too";
  EXPECT_EQ((counter(third) - counter(second)) & 0x3FFFu, 2u);
  EXPECT_EQ(plain.GetRouting(), 0);
  EXPECT_EQ(plain.GetType(), 0u);
  EXPECT_EQ(plain.GetFlags() & 0xFFu, 0u);
}

TEST(MessageFlags, PriorityIsOredNotMasked) {
  IPC::Message message(0, 0, 0xFFFFFF00u);
  EXPECT_EQ(message.GetFlags(), 0xFFFFFF00u);
  IPC::Message low(0, 0, 0x1FFu);
  EXPECT_EQ(low.GetFlags() & 0x1FFu, 0x1FFu);
}

// ---- Growth, copies, data blocks -----------------------------------------------------------

TEST(PickleBuffer, ManyItemsSurviveGrowth) {
  IPC::Message message(1, 1, 2);
  for (int i = 0; i < 100; ++i) ASSERT_TRUE(message.WriteInt(i * 3));
  ASSERT_TRUE(message.WriteString16(std::wstring(300, L'q')));
  EXPECT_EQ(message.GetPayloadSize(), 400u + 4u + 600u);
  PickleReader reader(message);
  for (int i = 0; i < 100; ++i) {
    int v = -1;
    ASSERT_TRUE(reader.ReadInt(&v));
    ASSERT_EQ(v, i * 3);
  }
  std::wstring text;
  ASSERT_TRUE(reader.ReadString16(&text));
  EXPECT_EQ(text, std::wstring(300, L'q'));
}

TEST(PickleBuffer, CopyOfReceivedViewIsOwnedAndWritable) {
  std::vector<char> block = FromHex("06000000 01000000 07010000 00000000 01000000 4100");
  std::vector<char> before = block;
  IPC::Message copy;
  {
    IPC::Message view(block.data(), static_cast<int>(block.size()));
    ASSERT_TRUE(view.IsReadOnly());
    IPC::Message copied(view);
    EXPECT_FALSE(copied.IsReadOnly());
    ASSERT_TRUE(copied.WriteInt(9));
    copy = copied;
  }
  EXPECT_EQ(block, before) << "the view's bytes are never written";
  EXPECT_EQ(copy.GetType(), 0x107u);
  EXPECT_EQ(Hex(copy.GetPayload(), copy.GetPayloadSize()), Strip("01000000 4100 0000 09000000"));
}

TEST(PickleBuffer, AssignmentAcrossHeaderSizesTakesTheSourceHeader) {
  IPC::Message message(2, 0x201, 2);
  ASSERT_TRUE(message.WriteString16(L"page"));
  Pickle small;
  ASSERT_TRUE(small.WriteInt(5));
  small = message;
  EXPECT_EQ(small.GetHeaderSize(), 16u);
  ASSERT_EQ(small.GetSize(), message.GetSize());
  EXPECT_EQ(Hex(small.GetData(), small.GetSize()), Hex(message.GetData(), message.GetSize()));

  std::vector<char> block(message.GetData(), message.GetData() + message.GetSize());
  IPC::Message view(block.data(), static_cast<int>(block.size()));
  view = IPC::Message(1, 3, 2);  // a read-only target lets go of the foreign bytes
  EXPECT_FALSE(view.IsReadOnly());
  EXPECT_EQ(view.GetType(), 3u);
  EXPECT_EQ(Hex(block.data(), block.size()), Hex(message.GetData(), message.GetSize()));
}

TEST(PickleBuffer, DataBlockCanBeFilledAndTrimmedButNotGrown) {
  Pickle pickle;
  char* dest = pickle.BeginWriteData(6);
  ASSERT_NE(dest, nullptr);
  memcpy(dest, "abcdef", 6);
  EXPECT_EQ(pickle.GetPayloadSize(), 10u);
  pickle.TrimWriteData(7);
  pickle.TrimWriteData(-1);
  EXPECT_EQ(pickle.GetPayloadSize(), 10u);
  pickle.TrimWriteData(2);
  EXPECT_EQ(pickle.GetPayloadSize(), 6u);
  EXPECT_EQ(pickle.BeginWriteData(-1), nullptr);
  EXPECT_FALSE(pickle.WriteData("x", -1));
  EXPECT_EQ(pickle.GetPayloadSize(), 6u);
  PickleReader reader(pickle);
  const char* data = nullptr;
  int length = 0;
  ASSERT_TRUE(reader.ReadData(&data, &length));
  EXPECT_EQ(std::string(data, static_cast<size_t>(length)), "ab");
}

// ---- Running out of memory ---------------------------------------------------------------

// Nothing ends the process: what cannot get its buffer is unusable, a write that cannot grow
// the buffer fails and marks the pickle, and copies carry that mark.
TEST(PickleBuffer, AllocationFailuresLeaveUnusableOrMarkedPicklesInsteadOfEndingTheProcess) {
  IPC::Message full(kRoutingIdHost, 0x105, 2);
  ASSERT_TRUE(full.WriteString16(L"page"));
  const std::string full_bytes = Hex(full.GetData(), full.GetSize());
  IPC::Message grown(kRoutingIdHost, 0x106, 2);
  ASSERT_TRUE(grown.WriteInt(1));
  IPC::Message assigned_to(kRoutingIdHost, 0x107, 2);
  {
    FailingPickleAllocations failing;

    IPC::Message fresh(kRoutingIdHost, 0x108, 2);
    EXPECT_FALSE(fresh.IsUsable());
    EXPECT_EQ(fresh.GetSize(), 0u);
    EXPECT_EQ(fresh.GetType(), 0u);
    EXPECT_FALSE(fresh.WriteInt(1));
    EXPECT_EQ(fresh.BeginWriteData(4), nullptr);
    fresh.TrimWriteData(0);
    fresh.SetHeaderValues(1, 2, 3);
    EXPECT_FALSE(fresh.Resize(1024));
    EXPECT_TRUE(fresh.HasFailedWrite());
    int value = 0;
    PickleReader reader(fresh);
    EXPECT_FALSE(reader.ReadInt(&value));

    IPC::Message copy(full);
    EXPECT_FALSE(copy.IsUsable());
    assigned_to = full;
    EXPECT_FALSE(assigned_to.IsUsable());
    EXPECT_EQ(Hex(full.GetData(), full.GetSize()), full_bytes) << "the source is untouched";

    // 48 bytes of payload fit the first buffer; more needs it to grow.
    const uint32_t size_before = grown.GetSize();
    EXPECT_FALSE(grown.WriteString16(std::wstring(40, L'x')));
    EXPECT_FALSE(grown.WriteData("abc", 100));
    EXPECT_EQ(grown.GetSize(), size_before) << "a failed write leaves the items as they were";
    EXPECT_TRUE(grown.HasFailedWrite());
    EXPECT_FALSE(full.HasFailedWrite());
  }
  IPC::Message copy_of_marked(grown);
  EXPECT_TRUE(copy_of_marked.IsUsable());
  EXPECT_TRUE(copy_of_marked.HasFailedWrite());
  assigned_to = full;
  EXPECT_EQ(Hex(assigned_to.GetData(), assigned_to.GetSize()), full_bytes) << "usable again once memory is back";
}

TEST(PickleBuffer, FindNextWalksConsecutiveMessages) {
  IPC::Message a(1, 1, 2), b(1, 2, 2);
  ASSERT_TRUE(a.WriteString16(L"x"));
  ASSERT_TRUE(b.WriteInt(1));
  std::vector<char> buffer(a.GetData(), a.GetData() + a.GetSize());
  buffer.insert(buffer.end(), b.GetData(), b.GetData() + b.GetSize());
  const char* begin = buffer.data();
  const char* end = begin + buffer.size();
  const char* next = Pickle::FindNext(16, begin, end);
  EXPECT_EQ(next, begin + a.GetSize());
  EXPECT_EQ(Pickle::FindNext(16, next, end), end);
  EXPECT_EQ(Pickle::FindNext(16, next, end - 1), nullptr);
  EXPECT_EQ(Pickle::FindNext(16, end - 3, end), nullptr);
  EXPECT_EQ(Pickle::FindNext(0xFFFFFFF0u, begin, end), nullptr);
}

}  // namespace
