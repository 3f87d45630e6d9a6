#include "base/deflate_codec.h"

#include <zlib.h>

#include <cstring>
#include <memory>
#include <new>

namespace {

// Matching.
constexpr uint32_t kWindowHalf = 32768;  // WSIZE: the farthest a match may reach back
constexpr uint32_t kWindowMask = kWindowHalf - 1;
constexpr uint32_t kWindowSize = 2 * kWindowHalf;
constexpr uint32_t kHashSize = 32768;
constexpr uint32_t kHashMask = kHashSize - 1;
constexpr uint32_t kHashShift = 5;  // three shifts push a byte out of the 15-bit hash
constexpr uint32_t kMinMatch = 3;
constexpr uint32_t kMaxMatch = 258;
constexpr uint32_t kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr uint32_t kMaxDist = kWindowHalf - kMinLookahead;  // 32,506
constexpr uint32_t kTooFar = 4096;  // a 3-byte match farther back costs more than its literals
constexpr uint32_t kNil = 0;
constexpr uint32_t kGoodMatch = 32;
constexpr uint32_t kMaxLazyMatch = 258;
constexpr uint32_t kNiceMatch = 258;
constexpr uint32_t kMaxChain = 4096;

// Symbol buffers of one block.
constexpr uint32_t kLitBufSize = 0x8000;
constexpr uint32_t kDistBufSize = 0x8000;

// Codes.
constexpr int kMaxBits = 15;
constexpr int kMaxBlBits = 7;
constexpr int kLengthCodes = 29;
constexpr int kLiterals = 256;
constexpr int kEndBlock = 256;
constexpr int kLCodes = kLiterals + 1 + kLengthCodes;  // 286
constexpr int kDCodes = 30;
constexpr int kBlCodes = 19;
constexpr int kHeapSize = 2 * kLCodes + 1;  // 573
constexpr int kRep3To6 = 16;
constexpr int kRepZero3To10 = 17;
constexpr int kRepZero11To138 = 18;
constexpr int kStoredBlock = 0;
constexpr int kStaticTrees = 1;
constexpr int kDynamicTrees = 2;

constexpr uint32_t kStagingSize = 16384;

constexpr int kExtraLengthBits[kLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                               2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr int kExtraDistBits[kDCodes] = {0, 0, 0, 0, 1, 1, 2, 2, 3, 3, 4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr int kExtraBlBits[kBlCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 2, 3, 7};
constexpr uint8_t kBlOrder[kBlCodes] = {16, 17, 18, 0, 8, 7, 9, 6, 10, 5, 11, 4, 12, 3, 13, 2, 14, 1, 15};

struct TreeNode {
  uint16_t freq;
  uint16_t code;
  uint16_t dad;
  uint16_t len;
};

struct TreeDesc {
  TreeNode* dynTree;
  const TreeNode* staticTree;  // null for the code-length tree
  const int* extraBits;
  int extraBase;
  int elems;
  int maxLength;
  int maxCode;
};

// Tables derived once per call from the RFC's extra-bit counts, and the fixed-code trees.
struct CodeTables {
  uint8_t lengthCode[256];  // match length - 3 -> length code
  uint8_t distCode[512];    // distances below 256 directly, above through distance >> 7
  int baseLength[kLengthCodes];
  int baseDist[kDCodes];
  TreeNode staticLTree[kLCodes + 2];
  TreeNode staticDTree[kDCodes];
};

uint32_t ReverseBits(uint32_t code, int length) {
  uint32_t result = 0;
  do {
    result |= code & 1;
    code >>= 1;
    result <<= 1;
  } while (--length > 0);
  return result >> 1;
}

// Canonical codes from the length counts, bit-reversed for least-significant-bit-first output.
void GenerateCodes(TreeNode* tree, int maxCode, const uint16_t* blCount) {
  uint16_t nextCode[kMaxBits + 1];
  uint16_t code = 0;
  for (int bits = 1; bits <= kMaxBits; ++bits) {
    code = uint16_t((code + blCount[bits - 1]) << 1);
    nextCode[bits] = code;
  }
  for (int n = 0; n <= maxCode; ++n) {
    const int len = tree[n].len;
    if (len == 0) continue;
    tree[n].code = uint16_t(ReverseBits(nextCode[len]++, len));
  }
}

void InitTables(CodeTables* t) {
  int length = 0;
  int code = 0;
  for (code = 0; code < kLengthCodes - 1; ++code) {
    t->baseLength[code] = length;
    for (int n = 0; n < (1 << kExtraLengthBits[code]); ++n) t->lengthCode[length++] = uint8_t(code);
  }
  t->baseLength[kLengthCodes - 1] = 0;
  // Length 258 has a code of its own, in place of the last entry of code 27.
  t->lengthCode[length - 1] = uint8_t(code);

  int dist = 0;
  for (code = 0; code < 16; ++code) {
    t->baseDist[code] = dist;
    for (int n = 0; n < (1 << kExtraDistBits[code]); ++n) t->distCode[dist++] = uint8_t(code);
  }
  dist >>= 7;
  for (; code < kDCodes; ++code) {
    t->baseDist[code] = dist << 7;
    for (int n = 0; n < (1 << (kExtraDistBits[code] - 7)); ++n) t->distCode[256 + dist++] = uint8_t(code);
  }

  uint16_t blCount[kMaxBits + 1] = {};
  int n = 0;
  for (; n <= 143; ++n) t->staticLTree[n].len = 8, ++blCount[8];
  for (; n <= 255; ++n) t->staticLTree[n].len = 9, ++blCount[9];
  for (; n <= 279; ++n) t->staticLTree[n].len = 7, ++blCount[7];
  for (; n <= 287; ++n) t->staticLTree[n].len = 8, ++blCount[8];
  GenerateCodes(t->staticLTree, kLCodes + 1, blCount);
  for (n = 0; n < kDCodes; ++n) {
    t->staticDTree[n].len = 5;
    t->staticDTree[n].code = uint16_t(ReverseBits(uint32_t(n), 5));
  }
}

// Bits go least significant first through a 16-bit accumulator and a staging buffer into the
// caller's destination. A write past the destination's capacity is not made; it marks the
// whole call as failed.
class BitWriter {
 public:
  BitWriter(uint8_t* dst, uint32_t capacity, uint8_t* staging)
      : m_dst(dst), m_capacity(capacity), m_staging(staging) {}

  void SendBits(uint32_t value, int length) {
    if (m_bitCount > 16 - length) {
      m_bitBuffer = uint16_t(m_bitBuffer | (value << m_bitCount));
      PutShort(m_bitBuffer);
      m_bitBuffer = uint16_t(value >> (16 - m_bitCount));
      m_bitCount += length - 16;
    } else {
      m_bitBuffer = uint16_t(m_bitBuffer | (value << m_bitCount));
      m_bitCount += length;
    }
  }

  void SendCode(int symbol, const TreeNode* tree) { SendBits(tree[symbol].code, tree[symbol].len); }

  // Byte alignment; the staging buffer goes out with it.
  void Windup() {
    if (m_bitCount > 8) {
      PutShort(m_bitBuffer);
    } else if (m_bitCount > 0) {
      PutByte(uint8_t(m_bitBuffer));
    }
    m_bitBuffer = 0;
    m_bitCount = 0;
    FlushStaging();
  }

  // A stored block's body: aligned, LEN and its complement, then the bytes themselves.
  void CopyStored(const uint8_t* bytes, uint32_t length) {
    Windup();
    PutShort(uint16_t(length));
    PutShort(uint16_t(~length));
    FlushStaging();
    WriteOut(bytes, length);
  }

  bool Overflowed() const { return m_overflow; }
  uint32_t Written() const { return m_written; }

 private:
  void PutByte(uint8_t b) {
    if (m_staged == kStagingSize) FlushStaging();
    m_staging[m_staged++] = b;
  }
  void PutShort(uint16_t w) {
    if (m_staged + 1 >= kStagingSize) FlushStaging();
    m_staging[m_staged++] = uint8_t(w & 0xFF);
    m_staging[m_staged++] = uint8_t(w >> 8);
  }
  void FlushStaging() {
    WriteOut(m_staging, m_staged);
    m_staged = 0;
  }
  void WriteOut(const uint8_t* bytes, uint32_t length) {
    if (length == 0 || m_overflow) return;
    if (length > m_capacity - m_written) {
      m_overflow = true;
      return;
    }
    memcpy(m_dst + m_written, bytes, length);
    m_written += length;
  }

  uint8_t* m_dst;
  uint32_t m_capacity;
  uint32_t m_written = 0;
  bool m_overflow = false;
  uint8_t* m_staging;
  uint32_t m_staged = 0;
  uint16_t m_bitBuffer = 0;
  int m_bitCount = 0;
};

class Deflater {
 public:
  Deflater(const uint8_t* src, uint32_t size, BitWriter* out) : m_src(src), m_srcSize(size), m_out(out) {
    InitTables(&m_tables);
    m_lDesc = {m_dynLTree, m_tables.staticLTree, kExtraLengthBits, kLiterals + 1, kLCodes, kMaxBits, 0};
    m_dDesc = {m_dynDTree, m_tables.staticDTree, kExtraDistBits, 0, kDCodes, kMaxBits, 0};
    m_blDesc = {m_blTree, nullptr, kExtraBlBits, 0, kBlCodes, kMaxBlBits, 0};
    InitBlock();
  }

  void Run() {
    StartMatching();
    LazyMatch();
  }

 private:
  // ---- Input and window ----

  uint32_t ReadInput(uint8_t* into, uint32_t wanted) {
    const uint32_t left = m_srcSize - m_srcPos;
    const uint32_t n = wanted < left ? wanted : left;
    if (n > 0) memcpy(into, m_src + m_srcPos, n);
    m_srcPos += n;
    return n;
  }

  void StartMatching() {
    m_lookahead = ReadInput(m_window, kWindowSize);
    if (m_lookahead == 0) {
      m_eofile = true;
      return;
    }
    while (m_lookahead < kMinLookahead && !m_eofile) FillWindow();
    m_insH = ((uint32_t(m_window[0]) << kHashShift) ^ m_window[1]) & kHashMask;
  }

  void FillWindow() {
    uint32_t more = kWindowSize - m_lookahead - m_strStart;
    if (m_strStart >= kWindowHalf + kMaxDist) {
      memcpy(m_window, m_window + kWindowHalf, kWindowHalf);
      m_matchStart -= kWindowHalf;
      m_strStart -= kWindowHalf;
      m_blockStart -= int32_t(kWindowHalf);
      for (uint32_t n = 0; n < kHashSize; ++n) {
        const uint32_t m = m_head[n];
        m_head[n] = m >= kWindowHalf ? m - kWindowHalf : kNil;
      }
      for (uint32_t n = 0; n < kWindowHalf; ++n) {
        const uint32_t m = m_prev[n];
        m_prev[n] = m >= kWindowHalf ? m - kWindowHalf : kNil;
      }
      more += kWindowHalf;
    }
    const uint32_t n = ReadInput(m_window + m_strStart + m_lookahead, more);
    if (n == 0) {
      m_eofile = true;
    } else {
      m_lookahead += n;
    }
  }

  // Positions with fewer than three bytes of input left are not hashed; the last head found
  // stays in m_hashHead.
  void InsertString(uint32_t s) {
    m_insH = ((m_insH << kHashShift) ^ m_window[s + kMinMatch - 1]) & kHashMask;
    m_hashHead = m_head[m_insH];
    m_prev[s & kWindowMask] = m_hashHead;
    m_head[m_insH] = s;
  }

  uint32_t LongestMatch(uint32_t curMatch) {
    uint32_t chain = m_prevLength >= kGoodMatch ? kMaxChain >> 2 : kMaxChain;
    const uint8_t* scan = m_window + m_strStart;
    uint32_t bestLen = m_prevLength;
    const uint32_t limit = m_strStart > kMaxDist ? m_strStart - kMaxDist : kNil;
    const uint8_t* strend = m_window + m_strStart + kMaxMatch;
    uint8_t scanEnd1 = scan[bestLen - 1];
    uint8_t scanEnd = scan[bestLen];
    do {
      const uint8_t* match = m_window + curMatch;
      if (match[bestLen] != scanEnd || match[bestLen - 1] != scanEnd1 || match[0] != scan[0] ||
          match[1] != scan[1]) {
        continue;
      }
      const uint8_t* s = scan + 2;
      match += 2;
      while (s < strend && *s == *match) {
        ++s;
        ++match;
      }
      const uint32_t len = uint32_t(s - scan);
      if (len > bestLen) {
        m_matchStart = curMatch;
        bestLen = len;
        if (len >= m_niceMatch) break;
        scanEnd1 = scan[bestLen - 1];
        scanEnd = scan[bestLen];
      }
    } while ((curMatch = m_prev[curMatch & kWindowMask]) > limit && --chain != 0);
    return bestLen;
  }

  void FlushBlock(bool last) {
    const uint8_t* buf = m_blockStart >= 0 ? m_window + m_blockStart : nullptr;
    EmitBlock(buf, uint32_t(int32_t(m_strStart) - m_blockStart), last);
    m_blockStart = int32_t(m_strStart);
  }

  void LazyMatch() {
    m_matchLength = kMinMatch - 1;
    while (m_lookahead != 0) {
      if (m_lookahead >= kMinMatch) InsertString(m_strStart);
      m_prevLength = m_matchLength;
      m_prevMatch = m_matchStart;
      m_matchLength = kMinMatch - 1;

      // The unsigned difference also rejects a head left over from before a slide.
      if (m_hashHead != kNil && m_prevLength < kMaxLazyMatch && m_strStart - m_hashHead <= kMaxDist) {
        if (m_niceMatch > m_lookahead) m_niceMatch = m_lookahead;
        m_matchLength = LongestMatch(m_hashHead);
        if (m_matchLength > m_lookahead) m_matchLength = m_lookahead;
        if (m_matchLength == kMinMatch && m_strStart - m_matchStart > kTooFar) m_matchLength = kMinMatch - 1;
      }

      if (m_prevLength >= kMinMatch && m_matchLength <= m_prevLength) {
        const bool flush = Tally(m_strStart - 1 - m_prevMatch, m_prevLength - kMinMatch);
        const uint32_t lastHashable = m_strStart + m_lookahead - kMinMatch;
        for (uint32_t p = m_strStart + 1; p <= m_strStart + m_prevLength - 2; ++p) {
          if (p <= lastHashable) InsertString(p);
        }
        m_strStart += m_prevLength - 1;
        m_lookahead -= m_prevLength - 1;
        m_matchAvailable = false;
        m_matchLength = kMinMatch - 1;
        if (flush) FlushBlock(false);
      } else if (m_matchAvailable) {
        if (Tally(0, m_window[m_strStart - 1])) FlushBlock(false);
        ++m_strStart;
        --m_lookahead;
      } else {
        m_matchAvailable = true;
        ++m_strStart;
        --m_lookahead;
      }
      while (m_lookahead < kMinLookahead && !m_eofile) FillWindow();
    }
    if (m_matchAvailable) Tally(0, m_window[m_strStart - 1]);
    FlushBlock(true);
  }

  // ---- Symbols of the current block ----

  uint8_t DistCode(uint32_t dist) const {
    return dist < 256 ? m_tables.distCode[dist] : m_tables.distCode[256 + (dist >> 7)];
  }

  // dist 0 records the literal lc; otherwise a match of length lc + 3 at distance dist.
  // True when the block should be flushed now.
  bool Tally(uint32_t dist, uint32_t lc) {
    m_lBuf[m_lastLit++] = uint8_t(lc);
    if (dist == 0) {
      ++m_dynLTree[lc].freq;
    } else {
      --dist;
      ++m_dynLTree[m_tables.lengthCode[lc] + kLiterals + 1].freq;
      ++m_dynDTree[DistCode(dist)].freq;
      m_dBuf[m_lastDist++] = uint16_t(dist);
      m_flags = uint8_t(m_flags | m_flagBit);
    }
    m_flagBit = uint8_t(m_flagBit << 1);
    if ((m_lastLit & 7) == 0) {
      m_flagBuf[m_lastFlags++] = m_flags;
      m_flags = 0;
      m_flagBit = 1;
    }
    if ((m_lastLit & 0xFFF) == 0) {
      // Flush early when matches are rare and the block already compresses well.
      uint64_t outLength = uint64_t(m_lastLit) * 8;
      const uint64_t inLength = uint64_t(int64_t(m_strStart) - m_blockStart);
      for (int dcode = 0; dcode < kDCodes; ++dcode) {
        outLength += uint64_t(m_dynDTree[dcode].freq) * uint64_t(5 + kExtraDistBits[dcode]);
      }
      outLength >>= 3;
      if (m_lastDist < m_lastLit / 2 && outLength < inLength / 2) return true;
    }
    return m_lastLit == kLitBufSize - 1 || m_lastDist == kDistBufSize;
  }

  void InitBlock() {
    for (int n = 0; n < kLCodes; ++n) m_dynLTree[n].freq = 0;
    for (int n = 0; n < kDCodes; ++n) m_dynDTree[n].freq = 0;
    for (int n = 0; n < kBlCodes; ++n) m_blTree[n].freq = 0;
    m_dynLTree[kEndBlock].freq = 1;
    m_optLen = 0;
    m_staticLen = 0;
    m_lastLit = 0;
    m_lastDist = 0;
    m_lastFlags = 0;
    m_flags = 0;
    m_flagBit = 1;
  }

  // ---- Trees ----

  bool Smaller(const TreeNode* tree, int n, int m) const {
    return tree[n].freq < tree[m].freq || (tree[n].freq == tree[m].freq && m_depth[n] <= m_depth[m]);
  }

  void DownHeap(const TreeNode* tree, int k) {
    const int v = m_heap[k];
    int j = k << 1;
    while (j <= m_heapLen) {
      if (j < m_heapLen && Smaller(tree, m_heap[j + 1], m_heap[j])) ++j;
      if (Smaller(tree, v, m_heap[j])) break;
      m_heap[k] = m_heap[j];
      k = j;
      j <<= 1;
    }
    m_heap[k] = v;
  }

  // Lengths from the tree shape, limited to the descriptor's maximum; opt_len and static_len
  // grow by the block's cost under these lengths and under the fixed ones.
  void GenerateBitLengths(TreeDesc* desc) {
    TreeNode* tree = desc->dynTree;
    const int maxCode = desc->maxCode;
    const int maxLength = desc->maxLength;
    int overflow = 0;
    for (int bits = 0; bits <= kMaxBits; ++bits) m_blCount[bits] = 0;

    tree[m_heap[m_heapMax]].len = 0;  // the root
    int h = m_heapMax + 1;
    for (; h < kHeapSize; ++h) {
      const int n = m_heap[h];
      int bits = tree[tree[n].dad].len + 1;
      if (bits > maxLength) {
        bits = maxLength;
        ++overflow;
      }
      tree[n].len = uint16_t(bits);
      if (n > maxCode) continue;  // an inner node
      ++m_blCount[bits];
      const int xbits = n >= desc->extraBase ? desc->extraBits[n - desc->extraBase] : 0;
      const uint32_t f = tree[n].freq;
      m_optLen += f * uint32_t(bits + xbits);
      if (desc->staticTree != nullptr) m_staticLen += f * uint32_t(desc->staticTree[n].len + xbits);
    }
    if (overflow == 0) return;

    // Move leaves up from the overflowing depths, two at a time.
    do {
      int bits = maxLength - 1;
      while (m_blCount[bits] == 0) --bits;
      --m_blCount[bits];
      m_blCount[bits + 1] = uint16_t(m_blCount[bits + 1] + 2);
      --m_blCount[maxLength];
      overflow -= 2;
    } while (overflow > 0);

    // Hand the lengths out again, longest first, in the order the leaves left the heap.
    for (int bits = maxLength; bits != 0; --bits) {
      int n = m_blCount[bits];
      while (n != 0) {
        const int m = m_heap[--h];
        if (m > maxCode) continue;
        if (tree[m].len != bits) {
          m_optLen = uint32_t(int64_t(m_optLen) + (int64_t(bits) - tree[m].len) * int64_t(tree[m].freq));
          tree[m].len = uint16_t(bits);
        }
        --n;
      }
    }
  }

  void BuildTree(TreeDesc* desc) {
    TreeNode* tree = desc->dynTree;
    const TreeNode* stree = desc->staticTree;
    const int elems = desc->elems;
    int maxCode = -1;
    int node = elems;
    m_heapLen = 0;
    m_heapMax = kHeapSize;

    for (int n = 0; n < elems; ++n) {
      if (tree[n].freq != 0) {
        m_heap[++m_heapLen] = maxCode = n;
        m_depth[n] = 0;
      } else {
        tree[n].len = 0;
      }
    }
    // A code needs two symbols at least: force some with frequency 1.
    while (m_heapLen < 2) {
      const int added = maxCode < 2 ? ++maxCode : 0;
      m_heap[++m_heapLen] = added;
      tree[added].freq = 1;
      m_depth[added] = 0;
      --m_optLen;
      if (stree != nullptr) m_staticLen -= stree[added].len;
    }
    desc->maxCode = maxCode;

    for (int n = m_heapLen / 2; n >= 1; --n) DownHeap(tree, n);

    do {
      const int n = m_heap[1];
      m_heap[1] = m_heap[m_heapLen--];
      DownHeap(tree, 1);
      const int m = m_heap[1];
      m_heap[--m_heapMax] = n;
      m_heap[--m_heapMax] = m;
      tree[node].freq = uint16_t(tree[n].freq + tree[m].freq);
      m_depth[node] = uint8_t((m_depth[n] >= m_depth[m] ? m_depth[n] : m_depth[m]) + 1);
      tree[n].dad = tree[m].dad = uint16_t(node);
      m_heap[1] = node++;
      DownHeap(tree, 1);
    } while (m_heapLen >= 2);
    m_heap[--m_heapMax] = m_heap[1];

    GenerateBitLengths(desc);
    GenerateCodes(tree, maxCode, m_blCount);
  }

  // A tree's code lengths in run-length form: emit(symbol, extra bits, extra value) for each
  // code-length symbol, in order. Runs of one length repeat it with code 16 (3-6), runs of
  // zeros use codes 17 (3-10) and 18 (11-138); shorter runs are sent as single lengths.
  template <typename Emit>
  static void ForEachCodeLength(const TreeNode* tree, int maxCode, Emit emit) {
    int prevLen = -1;
    int nextLen = tree[0].len;
    int count = 0;
    int maxCount = 7;
    int minCount = 4;
    if (nextLen == 0) maxCount = 138, minCount = 3;
    for (int n = 0; n <= maxCode; ++n) {
      const int curLen = nextLen;
      nextLen = tree[n + 1].len;  // the guard after maxCode ends every run there
      if (++count < maxCount && curLen == nextLen) continue;
      if (count < minCount) {
        for (; count > 0; --count) emit(curLen, 0, 0);
      } else if (curLen != 0) {
        if (curLen != prevLen) {
          emit(curLen, 0, 0);
          --count;
        }
        emit(kRep3To6, 2, count - 3);
      } else if (count <= 10) {
        emit(kRepZero3To10, 3, count - 3);
      } else {
        emit(kRepZero11To138, 7, count - 11);
      }
      count = 0;
      prevLen = curLen;
      if (nextLen == 0) {
        maxCount = 138, minCount = 3;
      } else if (curLen == nextLen) {
        maxCount = 6, minCount = 3;
      } else {
        maxCount = 7, minCount = 4;
      }
    }
  }

  // Counts the code-length symbols that SendTree will send for a tree's lengths.
  void ScanTree(TreeNode* tree, int maxCode) {
    tree[maxCode + 1].len = 0xFFFF;  // guard
    ForEachCodeLength(tree, maxCode, [this](int symbol, int, int) { ++m_blTree[symbol].freq; });
  }

  void SendTree(const TreeNode* tree, int maxCode) {
    ForEachCodeLength(tree, maxCode, [this](int symbol, int extraBits, int extra) {
      m_out->SendCode(symbol, m_blTree);
      if (extraBits != 0) m_out->SendBits(uint32_t(extra), extraBits);
    });
  }

  // The code-length tree; returns the index in kBlOrder of the last length to send.
  int BuildBlTree() {
    ScanTree(m_dynLTree, m_lDesc.maxCode);
    ScanTree(m_dynDTree, m_dDesc.maxCode);
    BuildTree(&m_blDesc);
    int maxBlIndex = kBlCodes - 1;
    for (; maxBlIndex >= 3; --maxBlIndex) {
      if (m_blTree[kBlOrder[maxBlIndex]].len != 0) break;
    }
    m_optLen += 3 * uint32_t(maxBlIndex + 1) + 5 + 5 + 4;
    return maxBlIndex;
  }

  void SendAllTrees(int lCodes, int dCodes, int blCodes) {
    m_out->SendBits(uint32_t(lCodes - 257), 5);
    m_out->SendBits(uint32_t(dCodes - 1), 5);
    m_out->SendBits(uint32_t(blCodes - 4), 4);
    for (int rank = 0; rank < blCodes; ++rank) m_out->SendBits(m_blTree[kBlOrder[rank]].len, 3);
    SendTree(m_dynLTree, lCodes - 1);
    SendTree(m_dynDTree, dCodes - 1);
  }

  void CompressBlock(const TreeNode* ltree, const TreeNode* dtree) {
    uint32_t lx = 0, dx = 0, fx = 0;
    uint8_t flag = 0;
    while (lx < m_lastLit) {
      if ((lx & 7) == 0) flag = m_flagBuf[fx++];
      int lc = m_lBuf[lx++];
      if ((flag & 1) == 0) {
        m_out->SendCode(lc, ltree);
      } else {
        int code = m_tables.lengthCode[lc];
        m_out->SendCode(code + kLiterals + 1, ltree);
        int extra = kExtraLengthBits[code];
        if (extra != 0) m_out->SendBits(uint32_t(lc - m_tables.baseLength[code]), extra);
        uint32_t dist = m_dBuf[dx++];
        code = DistCode(dist);
        m_out->SendCode(code, dtree);
        extra = kExtraDistBits[code];
        if (extra != 0) m_out->SendBits(dist - uint32_t(m_tables.baseDist[code]), extra);
      }
      flag = uint8_t(flag >> 1);
    }
    m_out->SendCode(kEndBlock, ltree);
  }

  // One block as stored, fixed or dynamic, whichever is smallest (ties to the fixed codes).
  // buf is the block's input when it is still in the window, else null.
  void EmitBlock(const uint8_t* buf, uint32_t storedLen, bool last) {
    m_flagBuf[m_lastFlags] = m_flags;
    BuildTree(&m_lDesc);
    BuildTree(&m_dDesc);
    const int maxBlIndex = BuildBlTree();

    uint32_t optLenB = (m_optLen + 3 + 7) >> 3;
    const uint32_t staticLenB = (m_staticLen + 3 + 7) >> 3;
    if (staticLenB <= optLenB) optLenB = staticLenB;

    const uint32_t lastBit = last ? 1 : 0;
    // A stored block's 16-bit length bounds it; a longer block never comes out smaller stored.
    if (buf != nullptr && storedLen <= 0xFFFF && storedLen + 4 <= optLenB) {
      m_out->SendBits((kStoredBlock << 1) + lastBit, 3);
      m_out->CopyStored(buf, storedLen);
    } else if (staticLenB == optLenB) {
      m_out->SendBits((kStaticTrees << 1) + lastBit, 3);
      CompressBlock(m_tables.staticLTree, m_tables.staticDTree);
    } else {
      m_out->SendBits((kDynamicTrees << 1) + lastBit, 3);
      SendAllTrees(m_lDesc.maxCode + 1, m_dDesc.maxCode + 1, maxBlIndex + 1);
      CompressBlock(m_dynLTree, m_dynDTree);
    }
    InitBlock();
    if (last) m_out->Windup();
  }

  const uint8_t* m_src;
  uint32_t m_srcSize;
  uint32_t m_srcPos = 0;
  BitWriter* m_out;

  // Past its end the window has room for one longest match: near the end of the input a
  // match is compared beyond the last byte and then cut to the lookahead.
  uint8_t m_window[kWindowSize + kMaxMatch] = {};
  uint32_t m_prev[kWindowHalf] = {};
  uint32_t m_head[kHashSize] = {};
  uint32_t m_insH = 0;
  uint32_t m_hashHead = kNil;
  uint32_t m_strStart = 0;
  uint32_t m_lookahead = 0;
  uint32_t m_matchStart = 0;
  uint32_t m_matchLength = 0;
  uint32_t m_prevLength = 0;
  uint32_t m_prevMatch = 0;
  bool m_matchAvailable = false;
  int32_t m_blockStart = 0;
  bool m_eofile = false;
  uint32_t m_niceMatch = kNiceMatch;

  uint8_t m_lBuf[kLitBufSize] = {};
  uint16_t m_dBuf[kDistBufSize] = {};
  uint8_t m_flagBuf[kLitBufSize / 8 + 1] = {};
  uint32_t m_lastLit = 0;
  uint32_t m_lastDist = 0;
  uint32_t m_lastFlags = 0;
  uint8_t m_flags = 0;
  uint8_t m_flagBit = 1;

  CodeTables m_tables = {};
  TreeNode m_dynLTree[kHeapSize] = {};
  TreeNode m_dynDTree[2 * kDCodes + 1] = {};
  TreeNode m_blTree[2 * kBlCodes + 1] = {};
  TreeDesc m_lDesc = {};
  TreeDesc m_dDesc = {};
  TreeDesc m_blDesc = {};
  int m_heap[kHeapSize] = {};
  int m_heapLen = 0;
  int m_heapMax = 0;
  uint8_t m_depth[kHeapSize] = {};
  uint16_t m_blCount[kMaxBits + 1] = {};
  uint32_t m_optLen = 0;
  uint32_t m_staticLen = 0;
};

}  // namespace

namespace DeflateCodec {

int32_t Compress(const uint8_t* src, uint32_t size, uint8_t* dst, uint32_t dstCapacity, uint32_t* crc) {
  if ((src == nullptr && size != 0) || dst == nullptr || crc == nullptr || size > uint32_t(INT32_MAX)) return -1;
  std::unique_ptr<uint8_t[]> staging(new (std::nothrow) uint8_t[kStagingSize]);
  if (!staging) return -1;
  BitWriter out(dst, dstCapacity, staging.get());
  std::unique_ptr<Deflater> state(new (std::nothrow) Deflater(src, size, &out));
  if (!state) return -1;
  state->Run();
  if (out.Overflowed()) return -1;
  *crc = uint32_t(crc32(crc32(0L, Z_NULL, 0), src, size));
  return int32_t(out.Written());
}

}  // namespace DeflateCodec
