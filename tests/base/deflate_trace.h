#pragma once

// Test helper: a plain raw-deflate decoder that records what a stream is made of (block types,
// and every literal and match), so tests can see the compressor's choices and not only its
// round trip. Slow and simple; for test inputs only.

#include <cstdint>
#include <string>
#include <vector>

namespace deflate_trace {

struct Symbol {
  bool match;
  uint8_t literal;
  uint32_t length;
  uint32_t distance;
  int code;          // the literal/length code that sent it
  int distanceCode;  // matches only
};

// A dynamic block's code tables as sent, and the code-length symbols (0-18) that sent them.
struct DynamicBlock {
  size_t firstSymbol = 0;  // the block's symbols are symbols[firstSymbol, endSymbol)
  size_t endSymbol = 0;
  std::vector<uint16_t> literalLengths;
  std::vector<uint16_t> distanceLengths;
  std::vector<uint16_t> codeLengthLengths;  // by code-length symbol, 19 entries
  std::vector<int> codeLengthSymbols;
};

struct Trace {
  bool ok = false;
  std::vector<int> blockTypes;  // 0 stored, 1 fixed, 2 dynamic
  std::vector<Symbol> symbols;  // stored bytes are not listed
  std::vector<DynamicBlock> dynamicBlocks;
  std::string output;
};

class Decoder {
 public:
  explicit Decoder(const std::string& stream) : m_in(stream) {}

  Trace Run() {
    Trace trace;
    bool last = false;
    while (!last) {
      if (!Bits(1, &m_value)) return trace;
      last = m_value != 0;
      uint32_t type = 0;
      if (!Bits(2, &type) || type == 3) return trace;
      trace.blockTypes.push_back(int(type));
      if (type == 0) {
        if (!Stored(&trace)) return trace;
        continue;
      }
      Huffman lit, dist;
      DynamicBlock block;
      if (type == 1) {
        FixedTables(&lit, &dist);
      } else if (!DynamicTables(&lit, &dist, &block)) {
        return trace;
      }
      block.firstSymbol = trace.symbols.size();
      if (!Codes(lit, dist, &trace)) return trace;
      block.endSymbol = trace.symbols.size();
      if (type == 2) trace.dynamicBlocks.push_back(std::move(block));
    }
    trace.ok = true;
    return trace;
  }

 private:
  struct Huffman {
    uint16_t count[16] = {};
    std::vector<uint16_t> symbol;
  };

  bool Bits(int need, uint32_t* out) {
    uint32_t value = 0;
    for (int i = 0; i < need; ++i) {
      if (m_pos >= m_in.size()) return false;
      const uint32_t bit = (uint8_t(m_in[m_pos]) >> m_bit) & 1;
      if (++m_bit == 8) m_bit = 0, ++m_pos;
      value |= bit << i;
    }
    *out = value;
    return true;
  }

  static void Build(Huffman* h, const uint16_t* lengths, int n) {
    for (int len = 0; len < 16; ++len) h->count[len] = 0;
    for (int s = 0; s < n; ++s) ++h->count[lengths[s]];
    uint16_t offs[16] = {};
    for (int len = 1; len < 15; ++len) offs[len + 1] = uint16_t(offs[len] + h->count[len]);
    h->symbol.assign(size_t(n), 0);
    for (int s = 0; s < n; ++s) {
      if (lengths[s] != 0) h->symbol[offs[lengths[s]]++] = uint16_t(s);
    }
  }

  // Canonical codes arrive most significant bit first.
  bool Decode(const Huffman& h, int* out) {
    int code = 0, first = 0, index = 0;
    for (int len = 1; len < 16; ++len) {
      uint32_t bit = 0;
      if (!Bits(1, &bit)) return false;
      code |= int(bit);
      const int count = h.count[len];
      if (code - count < first) {
        *out = h.symbol[size_t(index + (code - first))];
        return true;
      }
      index += count;
      first += count;
      first <<= 1;
      code <<= 1;
    }
    return false;
  }

  bool Stored(Trace* trace) {
    if (m_bit != 0) m_bit = 0, ++m_pos;  // to the next byte boundary
    if (m_pos > m_in.size() || m_in.size() - m_pos < 4) return false;
    const uint32_t len = uint8_t(m_in[m_pos]) | (uint32_t(uint8_t(m_in[m_pos + 1])) << 8);
    const uint32_t nlen = uint8_t(m_in[m_pos + 2]) | (uint32_t(uint8_t(m_in[m_pos + 3])) << 8);
    m_pos += 4;
    if (len != (~nlen & 0xFFFF) || m_in.size() - m_pos < len) return false;
    trace->output.append(m_in, m_pos, len);
    m_pos += len;
    return true;
  }

  static void FixedTables(Huffman* lit, Huffman* dist) {
    uint16_t lengths[288];
    int s = 0;
    for (; s < 144; ++s) lengths[s] = 8;
    for (; s < 256; ++s) lengths[s] = 9;
    for (; s < 280; ++s) lengths[s] = 7;
    for (; s < 288; ++s) lengths[s] = 8;
    Build(lit, lengths, 288);
    for (s = 0; s < 30; ++s) lengths[s] = 5;
    Build(dist, lengths, 30);
  }

  bool DynamicTables(Huffman* lit, Huffman* dist, DynamicBlock* block) {
    static const uint8_t kOrder[19] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};
    uint32_t nlen = 0, ndist = 0, ncode = 0;
    if (!Bits(5, &nlen) || !Bits(5, &ndist) || !Bits(4, &ncode)) return false;
    nlen += 257, ndist += 1, ncode += 4;
    if (nlen > 286 || ndist > 30) return false;
    uint16_t lengths[320] = {};
    for (uint32_t i = 0; i < ncode; ++i) {
      uint32_t v = 0;
      if (!Bits(3, &v)) return false;
      lengths[kOrder[i]] = uint16_t(v);
    }
    Huffman lencode;
    Build(&lencode, lengths, 19);
    block->codeLengthLengths.assign(lengths, lengths + 19);
    uint32_t index = 0;
    while (index < nlen + ndist) {
      int symbol = 0;
      if (!Decode(lencode, &symbol)) return false;
      block->codeLengthSymbols.push_back(symbol);
      if (symbol < 16) {
        lengths[index++] = uint16_t(symbol);
        continue;
      }
      uint16_t len = 0;
      uint32_t repeat = 0;
      if (symbol == 16) {
        if (index == 0 || !Bits(2, &repeat)) return false;
        len = lengths[index - 1];
        repeat += 3;
      } else if (symbol == 17) {
        if (!Bits(3, &repeat)) return false;
        repeat += 3;
      } else {
        if (!Bits(7, &repeat)) return false;
        repeat += 11;
      }
      if (index + repeat > nlen + ndist) return false;
      while (repeat-- > 0) lengths[index++] = len;
    }
    Build(lit, lengths, int(nlen));
    Build(dist, lengths + nlen, int(ndist));
    block->literalLengths.assign(lengths, lengths + nlen);
    block->distanceLengths.assign(lengths + nlen, lengths + nlen + ndist);
    return true;
  }

  bool Codes(const Huffman& lit, const Huffman& dist, Trace* trace) {
    static const uint16_t kLengthBase[29] = {3,  4,  5,  6,  7,  8,  9,  10, 11,  13,  15,  17,  19,  23, 27,
                                             31, 35, 43, 51, 59, 67, 83, 99, 115, 131, 163, 195, 227, 258};
    static const uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                             2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
    static const uint16_t kDistBase[30] = {1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
                                           193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
    static const uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4, 4, 5, 5, 6,
                                           6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
    for (;;) {
      int symbol = 0;
      if (!Decode(lit, &symbol)) return false;
      if (symbol < 256) {
        trace->symbols.push_back({false, uint8_t(symbol), 0, 0, symbol, 0});
        trace->output.push_back(char(symbol));
        continue;
      }
      if (symbol == 256) return true;
      symbol -= 257;
      if (symbol >= 29) return false;
      uint32_t extra = 0;
      if (!Bits(kLengthExtra[symbol], &extra)) return false;
      const uint32_t length = kLengthBase[symbol] + extra;
      int dsym = 0;
      if (!Decode(dist, &dsym) || dsym >= 30) return false;
      if (!Bits(kDistExtra[dsym], &extra)) return false;
      const uint32_t distance = kDistBase[dsym] + extra;
      if (distance > trace->output.size()) return false;
      trace->symbols.push_back({true, 0, length, distance, symbol + 257, dsym});
      for (uint32_t i = 0; i < length; ++i) trace->output.push_back(trace->output[trace->output.size() - distance]);
    }
  }

  const std::string& m_in;
  size_t m_pos = 0;
  int m_bit = 0;
  uint32_t m_value = 0;
};

inline Trace TraceStream(const std::string& stream) { return Decoder(stream).Run(); }

}  // namespace deflate_trace
