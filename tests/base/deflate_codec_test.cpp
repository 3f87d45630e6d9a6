#include "base/deflate_codec.h"

#include <zlib.h>

#include <algorithm>
#include <cstring>
#include <ostream>
#include <queue>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "tests/base/deflate_trace.h"

namespace {

class Random {
 public:
  explicit Random(uint32_t seed) : m_state(seed) {}
  uint32_t Next() {
    m_state ^= m_state << 13;
    m_state ^= m_state >> 17;
    m_state ^= m_state << 5;
    return m_state;
  }
  std::string Bytes(size_t n, uint32_t modulo = 256) {
    std::string s(n, '\0');
    for (char& c : s) c = char(Next() % modulo);
    return s;
  }

 private:
  uint32_t m_state;
};

// The compressor's output for data, with the destination the zip writer reserves.
std::string Compress(const std::string& data, uint32_t* crc = nullptr) {
  const uint32_t capacity = std::max<uint32_t>(1024, uint32_t(data.size()) * 2);
  std::string out(capacity, '\0');
  uint32_t c = 0;
  const int32_t n = DeflateCodec::Compress(reinterpret_cast<const uint8_t*>(data.data()), uint32_t(data.size()),
                                           reinterpret_cast<uint8_t*>(&out[0]), capacity, &c);
  EXPECT_GE(n, 0);
  out.resize(n < 0 ? 0 : size_t(n));
  if (crc != nullptr) *crc = c;
  return out;
}

// zlib's raw inflate with a 32 KiB window: an independent reader of the stream.
bool Inflate(const std::string& stream, size_t expectedSize, std::string* out) {
  z_stream z;
  memset(&z, 0, sizeof(z));
  if (inflateInit2(&z, -15) != Z_OK) return false;
  out->assign(expectedSize + 16, '\0');
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(stream.data()));
  z.avail_in = uInt(stream.size());
  z.next_out = reinterpret_cast<Bytef*>(&(*out)[0]);
  z.avail_out = uInt(out->size());
  const int result = inflate(&z, Z_FINISH);
  out->resize(z.total_out);
  const bool consumedAll = z.avail_in == 0;
  inflateEnd(&z);
  return result == Z_STREAM_END && consumedAll;
}

std::string Text(size_t size) {
  static const char* const kWords[] = {"window ", "host ",    "channel ", "message ", "page ",  "the ",
                                       "of ",     "archive ", "entry ",   "block ",   "tree\n", "code, "};
  Random random(7);
  std::string s;
  while (s.size() < size) s += kWords[random.Next() % 12];
  s.resize(size);
  return s;
}

// Random bytes with a copy of an earlier chunk at the given distance, repeated along the input.
std::string Echoes(size_t size, uint32_t distance) {
  Random random(11);
  std::string s = random.Bytes(size);
  for (size_t at = distance + 5000; at + 1000 <= size; at += distance + 7000) {
    const std::string chunk = s.substr(at - distance, 1000);
    s.replace(at, 1000, chunk);
  }
  return s;
}

// Eighteen byte values with the Fibonacci counts 1, 2, 3, 5, ... 2584 and then 4156 (the block's
// end code adds the second 1): alone their Huffman code is a chain 18 deep. Each byte of that
// chain is followed by two carrier bytes whose pair never repeats, so no three bytes repeat and
// every byte stays a literal; the 32,757 bytes fill one block.
std::string FibonacciLiterals() {
  std::string chain;
  uint32_t previous = 1, count = 1;
  for (char value = 0; value < 18; ++value) {
    chain += std::string(value == 17 ? count - 25 : count, value);
    const uint32_t next = previous + count;
    previous = count;
    count = next;
  }
  Random random(5);
  for (size_t i = chain.size(); i > 1; --i) std::swap(chain[i - 1], chain[random.Next() % i]);
  std::string data;
  for (size_t i = 0; i < chain.size(); ++i) {
    data += chain[i];
    data += char(32 + i % 96);
    data += char(128 + i / 96);
  }
  return data;
}

// Bytes drawn with Zipf weights (the value of rank r weighs 1,000,000 / r), ranks spread over the
// byte values at random: the literal code lengths spread over many values, few of them next to
// an equal one, and the code-length code comes out deeper than 7 bits.
std::string ZipfBytes(size_t size, uint32_t seed) {
  Random random(seed);
  std::vector<int> byRank(256);
  for (int i = 0; i < 256; ++i) byRank[size_t(i)] = i;
  for (int i = 255; i > 0; --i) std::swap(byRank[size_t(i)], byRank[random.Next() % uint32_t(i + 1)]);
  std::vector<uint64_t> cumulative;
  uint64_t total = 0;
  for (uint64_t rank = 1; rank <= 256; ++rank) cumulative.push_back(total += 1000000 / rank);
  std::string data;
  for (size_t i = 0; i < size; ++i) {
    const uint64_t x = random.Next() % total;
    data += char(byRank[size_t(std::upper_bound(cumulative.begin(), cumulative.end(), x) - cumulative.begin())]);
  }
  return data;
}

struct Input {
  const char* name;
  std::string data;
};

void PrintTo(const Input& input, std::ostream* os) { *os << input.name; }

std::vector<Input> Corpus() {
  Random random(3);
  std::string mixed;
  for (int i = 0; i < 40; ++i) {
    mixed += random.Bytes(random.Next() % 9000);
    mixed += std::string(random.Next() % 700, char(random.Next()));
    mixed += Text(random.Next() % 12000);
  }
  return {
      {"empty", std::string()},
      {"one_byte", std::string("x")},
      {"two_bytes", std::string("xy")},
      {"zeros_100000", std::string(100000, '\0')},
      {"random_100000", Random(5).Bytes(100000)},
      {"text_50000", Text(50000)},
      {"small_alphabet_70000", Random(9).Bytes(70000, 4)},
      {"echoes_near_the_window_edge", Echoes(300000, 32506)},
      {"echoes_just_beyond_the_window", Echoes(300000, 32507)},
      {"mixed_runs_text_and_noise", mixed},
      {"long_runs_of_258_and_more", std::string(259, 'a') + std::string(258, 'b') + std::string(1000, 'a')},
  };
}

class DeflateCorpus : public ::testing::TestWithParam<Input> {};

TEST_P(DeflateCorpus, InflatesBackWithZipCrcAndInWindowDistances) {
  const std::string& data = GetParam().data;
  uint32_t crc = 0;
  const std::string stream = Compress(data, &crc);
  ASSERT_FALSE(stream.empty());

  std::string inflated;
  ASSERT_TRUE(Inflate(stream, data.size(), &inflated));
  EXPECT_TRUE(inflated == data);
  EXPECT_EQ(crc, uint32_t(crc32(crc32(0, Z_NULL, 0), reinterpret_cast<const Bytef*>(data.data()), uInt(data.size()))));

  const deflate_trace::Trace trace = deflate_trace::TraceStream(stream);
  ASSERT_TRUE(trace.ok);
  EXPECT_TRUE(trace.output == data);
  uint32_t farthest = 0;
  for (const deflate_trace::Symbol& symbol : trace.symbols) {
    if (symbol.match) farthest = std::max(farthest, symbol.distance);
  }
  EXPECT_LE(farthest, 32506u);

  // The same input always gives the same bytes.
  EXPECT_TRUE(Compress(data) == stream);
}

INSTANTIATE_TEST_SUITE_P(Inputs, DeflateCorpus, ::testing::ValuesIn(Corpus()),
                         [](const ::testing::TestParamInfo<Input>& info) { return std::string(info.param.name); });

// The longest code an unlimited Huffman code gives these frequencies, ties going to the shallower
// node as in the compressor (which gives the shallowest of the possible trees).
int UnlimitedDepth(const std::vector<uint32_t>& frequencies) {
  using Node = std::pair<uint64_t, int>;  // frequency, depth
  std::priority_queue<Node, std::vector<Node>, std::greater<Node>> heap;
  for (uint32_t f : frequencies) {
    if (f != 0) heap.push({f, 0});
  }
  if (heap.size() < 2) return 1;
  while (heap.size() > 1) {
    const Node a = heap.top();
    heap.pop();
    const Node b = heap.top();
    heap.pop();
    heap.push({a.first + b.first, std::max(a.second, b.second) + 1});
  }
  return heap.top().second;
}

struct DepthCase {
  const char* name;
  std::string data;
  bool codeLengthTree;  // else the literal/length tree
};

void PrintTo(const DepthCase& c, std::ostream* os) { *os << c.name; }

class DeflateLengthLimit : public ::testing::TestWithParam<DepthCase> {};

// Frequencies whose Huffman code is deeper than the format allows (15 bits, 7 for the
// code-length code) must be cut down to a complete code of that depth: zlib refuses an
// over-subscribed or incomplete one.
TEST_P(DeflateLengthLimit, DeepCodesAreCutToTheLimitAndStillInflate) {
  const DepthCase& c = GetParam();
  const std::string stream = Compress(c.data);
  std::string inflated;
  ASSERT_TRUE(Inflate(stream, c.data.size(), &inflated));
  EXPECT_TRUE(inflated == c.data);

  const deflate_trace::Trace trace = deflate_trace::TraceStream(stream);
  ASSERT_TRUE(trace.ok);
  ASSERT_FALSE(trace.dynamicBlocks.empty());
  const int limit = c.codeLengthTree ? 7 : 15;
  int deepest = 0;
  for (const deflate_trace::DynamicBlock& block : trace.dynamicBlocks) {
    std::vector<uint32_t> frequencies(c.codeLengthTree ? 19 : 286);
    if (c.codeLengthTree) {
      for (int symbol : block.codeLengthSymbols) ++frequencies[size_t(symbol)];
    } else {
      for (size_t i = block.firstSymbol; i < block.endSymbol; ++i) ++frequencies[size_t(trace.symbols[i].code)];
      ++frequencies[256];
    }
    const std::vector<uint16_t>& sent = c.codeLengthTree ? block.codeLengthLengths : block.literalLengths;
    EXPECT_LE(*std::max_element(sent.begin(), sent.end()), limit);
    deepest = std::max(deepest, UnlimitedDepth(frequencies));
  }
  EXPECT_GT(deepest, limit) << "the input no longer needs the length limit";
}

INSTANTIATE_TEST_SUITE_P(
    Trees, DeflateLengthLimit,
    ::testing::Values(DepthCase{"literal_codes_beyond_15_bits", FibonacciLiterals(), false},
                      DepthCase{"code_length_codes_beyond_7_bits", ZipfBytes(1500, 23757), true}),
    [](const ::testing::TestParamInfo<DepthCase>& info) { return std::string(info.param.name); });

TEST(DeflateCodec, OutputSizesFollowTheData) {
  EXPECT_LT(Compress(std::string(100000, '\0')).size(), 400u);
  // Incompressible data goes into stored blocks: a few bytes of framing per block.
  const std::string random = Random(5).Bytes(100000);
  EXPECT_LE(Compress(random).size(), random.size() + 300);
  EXPECT_LT(Compress(Text(50000)).size(), 20000u);
}

TEST(DeflateCodec, EmptyAndOneByteInputsAreSingleFixedBlocks) {
  const std::string empty = Compress(std::string());
  EXPECT_EQ(empty, std::string("\x03\x00", 2));  // final fixed block holding only its end code

  const deflate_trace::Trace one = deflate_trace::TraceStream(Compress("x"));
  ASSERT_TRUE(one.ok);
  EXPECT_EQ(one.blockTypes, std::vector<int>{1});
  ASSERT_EQ(one.symbols.size(), 1u);
  EXPECT_FALSE(one.symbols[0].match);
}

TEST(DeflateCodec, TheWindowEdgeIsReachedButNotPassed) {
  // An echo at exactly the farthest distance is found; one byte farther it costs its full size.
  const deflate_trace::Trace edge = deflate_trace::TraceStream(Compress(Echoes(100000, 32506)));
  ASSERT_TRUE(edge.ok);
  EXPECT_TRUE(std::any_of(edge.symbols.begin(), edge.symbols.end(),
                          [](const deflate_trace::Symbol& s) { return s.match && s.distance == 32506; }));
  const size_t atEdge = Compress(Echoes(100000, 32506)).size();
  const size_t beyond = Compress(Echoes(100000, 32507)).size();
  EXPECT_LT(atEdge + 1500, beyond);
}

// What covers a position of the input: the symbol, or null.
const deflate_trace::Symbol* SymbolAt(const deflate_trace::Trace& trace, size_t position) {
  size_t at = 0;
  for (const deflate_trace::Symbol& symbol : trace.symbols) {
    const size_t span = symbol.match ? symbol.length : 1;
    if (position < at + span) return at == position ? &symbol : nullptr;
    at += span;
  }
  return nullptr;
}

struct RepeatCase {
  const char* name;
  std::string marker;
  size_t gap;     // filler bytes after the first copy
  bool matched;   // the second copy is sent as one match
};

void PrintTo(const RepeatCase& c, std::ostream* os) { *os << c.name; }

class DeflateShortRepeat : public ::testing::TestWithParam<RepeatCase> {};

// Three-byte matches farther back than 4096 bytes cost more than their literals.
TEST_P(DeflateShortRepeat, FarThreeByteRepeatsStayLiterals) {
  const RepeatCase& c = GetParam();
  // Filler from 0x00-0x7F never continues or repeats the high-byte markers. Position 0 is the
  // chains' "none", so the first copy starts a little later.
  const size_t firstCopy = 10;
  std::string data = Random(13).Bytes(firstCopy, 0x80) + c.marker + "a" + Random(17).Bytes(c.gap, 0x80);
  const size_t second = data.size();
  data += c.marker + "b" + Random(19).Bytes(300, 0x80);

  const deflate_trace::Trace trace = deflate_trace::TraceStream(Compress(data));
  ASSERT_TRUE(trace.ok);
  ASSERT_TRUE(trace.output == data);
  const deflate_trace::Symbol* first = SymbolAt(trace, second);
  ASSERT_NE(first, nullptr);
  if (c.matched) {
    EXPECT_TRUE(first->match);
    EXPECT_EQ(first->length, c.marker.size());
    EXPECT_EQ(first->distance, second - firstCopy);
  } else {
    for (size_t i = 0; i < c.marker.size(); ++i) {
      const deflate_trace::Symbol* s = SymbolAt(trace, second + i);
      ASSERT_NE(s, nullptr) << i;
      EXPECT_FALSE(s->match) << i;
      EXPECT_EQ(s->literal, uint8_t(c.marker[i])) << i;
    }
  }
}

INSTANTIATE_TEST_SUITE_P(
    Distances, DeflateShortRepeat,
    ::testing::Values(RepeatCase{"three_bytes_5000_back", "\xF0\xF1\xF2", 4996, false},
                      RepeatCase{"four_bytes_5000_back", "\xF0\xF1\xF2\xF3", 4995, true},
                      RepeatCase{"three_bytes_4000_back", "\xF0\xF1\xF2", 3996, true}),
    [](const ::testing::TestParamInfo<RepeatCase>& info) { return std::string(info.param.name); });

TEST(DeflateCodec, AnUndersizedDestinationFailsWithoutOverrun) {
  const std::string data = Random(23).Bytes(20000);
  const std::string full = Compress(data);
  const uint32_t needed = uint32_t(full.size());
  const uint8_t* src = reinterpret_cast<const uint8_t*>(data.data());

  for (uint32_t capacity : {needed - 1, needed / 2, 1u, 0u}) {
    std::vector<uint8_t> dst(capacity + 64, 0xEE);
    uint32_t crc = 0xAAAAAAAA;
    EXPECT_EQ(DeflateCodec::Compress(src, uint32_t(data.size()), dst.data(), capacity, &crc), -1) << capacity;
    EXPECT_TRUE(std::all_of(dst.begin() + capacity, dst.end(), [](uint8_t b) { return b == 0xEE; })) << capacity;
  }
  std::vector<uint8_t> exact(needed);
  uint32_t crc = 0;
  ASSERT_EQ(DeflateCodec::Compress(src, uint32_t(data.size()), exact.data(), needed, &crc), int32_t(needed));
  EXPECT_EQ(std::string(exact.begin(), exact.end()), full);
}

}  // namespace
