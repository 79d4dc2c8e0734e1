// Raw deflate compressor: hash-chain matching (greedy or lazy per level) and block coding.
#include "engine/writers/deflate_coder.h"

#include <algorithm>
#include <cstring>

#include "engine/writers/deflate_huffman.h"

namespace engine {

namespace {

using deflate_detail::BitWriter;

constexpr int kWSize = 32768;  // history a match may reach
constexpr int kWMask = kWSize - 1;
constexpr int kWindowSize = 2 * kWSize;  // the buffer holds two windows; the upper moves down
constexpr int kMinMatch = 3;
constexpr int kMaxMatch = 258;
// Bytes kept ahead of the scan position while more input may come, so that a match of full
// length and the hash of the byte after it can always be formed.
constexpr int kMinLookahead = kMaxMatch + kMinMatch + 1;
constexpr int kMaxDist = kWSize - kMinLookahead;
// Matches of the minimum length this far back cost more than the three literals.
constexpr int kTooFar = 4096;
// Slack after the window: match comparison reads 8-byte words up to 8 bytes past the end.
constexpr int kWindowPad = kMaxMatch + 16;
constexpr int kHashBits = 15;
constexpr int kHashSize = 1 << kHashBits;
constexpr int kHash4Bits = 16;
constexpr int kHash4Size = 1 << kHash4Bits;
// Symbols per block (literals and matches together); the block ends when it is full.
constexpr int kSymbolBufSize = 32767;
// At levels above 2, every this many symbols the block may end early (see TruncateBlock).
constexpr int kTruncateCheck = 4096;

constexpr int kLiteralCodes = 286;
constexpr int kDistanceCodes = 30;
constexpr int kCodeLengthCodes = 19;
constexpr int kEndOfBlock = 256;
constexpr int kMaxBits = 15;
constexpr int kMaxCodeLengthBits = 7;

// Parameters per level 1-9: a match at least `good` long cuts the next search to a quarter
// of `chain`; lazy levels search again only after matches shorter than `lazy` (greedy
// levels hash every position of matches up to `lazy` long and jump over longer ones); a
// match of `nice` length ends the search; `chain` is the longest hash-chain walk.
struct LevelConfig {
  int good;
  int lazy;
  int nice;
  int chain;
};
constexpr LevelConfig kLevelConfig[10] = {
    {0, 0, 0, 0},         {4, 4, 8, 4},         {4, 5, 16, 8},     {4, 6, 32, 32},
    {4, 4, 16, 16},       {8, 16, 32, 32},      {8, 16, 128, 128}, {8, 32, 128, 256},
    {32, 128, 258, 1024}, {32, 258, 258, 4096},
};

constexpr std::uint8_t kLengthExtra[29] = {0, 0, 0, 0, 0, 0, 0, 0, 1, 1, 1, 1, 2, 2, 2,
                                           2, 3, 3, 3, 3, 4, 4, 4, 4, 5, 5, 5, 5, 0};
constexpr std::uint16_t kLengthBase[29] = {3,  4,  5,  6,   7,   8,   9,   10,  11, 13,
                                           15, 17, 19, 23,  27,  31,  35,  43,  51, 59,
                                           67, 83, 99, 115, 131, 163, 195, 227, 258};
constexpr std::uint8_t kDistExtra[30] = {0, 0, 0, 0, 1, 1, 2, 2,  3,  3,  4,  4,  5,  5,  6,
                                         6, 7, 7, 8, 8, 9, 9, 10, 10, 11, 11, 12, 12, 13, 13};
constexpr std::uint16_t kDistBase[30] = {
    1,   2,   3,   4,   5,   7,    9,    13,   17,   25,   33,   49,   65,    97,    129,
    193, 257, 385, 513, 769, 1025, 1537, 2049, 3073, 4097, 6145, 8193, 12289, 16385, 24577};
constexpr std::uint8_t kCodeLengthOrder[kCodeLengthCodes] = {16, 17, 18, 0, 8,  7, 9,  6, 10, 5,
                                                             11, 4,  12, 3, 13, 2, 14, 1, 15};

// Tables built once per process: length code of every length, distance code of every
// distance (two-level, as distances above 256 share codes per 128), and the fixed code.
struct StaticTables {
  std::uint8_t lengthCode[256];  // by length - 3
  std::uint8_t distCode[512];    // by distance - 1 below 256, else 256 + ((distance - 1) >> 7)
  std::uint8_t fixedLitLens[288];
  std::uint16_t fixedLitCodes[288];
  std::uint8_t fixedDistLens[kDistanceCodes];
  std::uint16_t fixedDistCodes[kDistanceCodes];

  StaticTables() {
    for (int code = 0; code < 29; ++code) {
      const int n = 1 << kLengthExtra[code];
      for (int i = 0; i < n; ++i) {
        const int len = kLengthBase[code] + i;
        if (len <= kMaxMatch) lengthCode[len - 3] = static_cast<std::uint8_t>(code);
      }
    }
    lengthCode[255] = 28;  // 258 has its own code, not 227 + 31 under code 27
    for (int code = 0; code < kDistanceCodes; ++code) {
      const int n = 1 << kDistExtra[code];
      for (int i = 0; i < n; ++i) {
        const int d = kDistBase[code] - 1 + i;
        if (d < 256)
          distCode[d] = static_cast<std::uint8_t>(code);
        else
          distCode[256 + (d >> 7)] = static_cast<std::uint8_t>(code);
      }
    }
    for (int i = 0; i < 288; ++i) fixedLitLens[i] = i < 144 ? 8 : i < 256 ? 9 : i < 280 ? 7 : 8;
    deflate_detail::BuildCanonicalCodes(fixedLitLens, 288, fixedLitCodes);
    for (int i = 0; i < kDistanceCodes; ++i) fixedDistLens[i] = 5;
    deflate_detail::BuildCanonicalCodes(fixedDistLens, kDistanceCodes, fixedDistCodes);
  }
};

const StaticTables& Tables() {
  static const StaticTables tables;
  return tables;
}

inline int DistCode(const StaticTables& t, unsigned distMinus1) {
  return distMinus1 < 256 ? t.distCode[distMinus1] : t.distCode[256 + (distMinus1 >> 7)];
}

inline std::uint32_t Load32(const std::uint8_t* p) {
  std::uint32_t v;
  std::memcpy(&v, p, 4);
  return v;
}
inline std::uint64_t Load64(const std::uint8_t* p) {
  std::uint64_t v;
  std::memcpy(&v, p, 8);
  return v;
}

// Hash of the three bytes at p: the classic shift-and-xor hash ((h << 5) ^ byte, three
// times, 15 bits), computed directly instead of rolling. The greedy levels chain on it: a
// stronger hash puts fewer strangers in each chain, but with their very short chains that
// makes the search reach older, slightly longer matches whose far distances cost more than
// they save (measured: 5 % larger output on database pages).
inline std::uint32_t Hash3(const std::uint8_t* p) {
  return ((static_cast<std::uint32_t>(p[0]) << 10) ^ (static_cast<std::uint32_t>(p[1]) << 5) ^
          p[2]) &
         (kHashSize - 1);
}

// Multiplicative hash of the four bytes at p, for the chains of the lazy levels.
inline std::uint32_t Hash4(const std::uint8_t* p) {
  return (Load32(p) * 0x9E3779B1u) >> (32 - kHash4Bits);
}

// Length of the common prefix of a and b, at most `maxLen`. Reads up to 8 bytes past
// a + maxLen and b + maxLen.
inline int MatchLength(const std::uint8_t* a, const std::uint8_t* b, int maxLen) {
  int len = 0;
  for (;;) {
    const std::uint64_t x = Load64(a + len) ^ Load64(b + len);
    if (x != 0) {
      len += __builtin_ctzll(x) >> 3;
      return len < maxLen ? len : maxLen;
    }
    len += 8;
    if (len >= maxLen) return maxLen;
  }
}

}  // namespace

class DeflateCoder::Impl {
 public:
  Impl(int level, TSink sink, bool allowStoredMethod)
      : level_(std::clamp(level, 1, 9)),
        cfg_(kLevelConfig[level_]),
        sink_(std::move(sink)),
        allowStoredMethod_(allowStoredMethod),
        window_(std::make_unique<std::uint8_t[]>(kWindowSize + kWindowPad)),
        head_(std::make_unique<std::uint16_t[]>(kHash4Size)),
        head3_(std::make_unique<std::uint16_t[]>(kHashSize)),
        prev_(std::make_unique<std::uint16_t[]>(kWSize)),
        symbols_(std::make_unique<std::uint32_t[]>(kSymbolBufSize)) {
    Tables();
    Reset();
  }

  void Reset() {
    std::memset(head_.get(), 0, sizeof(std::uint16_t) * kHash4Size);
    std::memset(head3_.get(), 0, sizeof(std::uint16_t) * kHashSize);
    strStart_ = 0;
    lookahead_ = 0;
    blockStart_ = 0;
    matchStart_ = 0;
    matchLength_ = kMinMatch - 1;
    matchAvailable_ = false;
    ResetBlock();
    bitWriterBits_ = 0;
    bitWriterCount_ = 0;
    bytesIn_ = 0;
    bytesOut_ = 0;
    stored_ = false;
    finished_ = false;
  }

  void Write(std::span<const std::uint8_t> data) {
    bytesIn_ += data.size();
    while (!data.empty()) {
      if (strStart_ >= kWSize + kMaxDist) Slide();
      const std::size_t room = static_cast<std::size_t>(kWindowSize - (strStart_ + lookahead_));
      const std::size_t n = std::min(room, data.size());
      std::memcpy(window_.get() + strStart_ + lookahead_, data.data(), n);
      lookahead_ += static_cast<int>(n);
      data = data.subspan(n);
      Compress(false);
    }
  }

  void Finish() {
    if (finished_) return;
    if (strStart_ >= kWSize + kMaxDist) Slide();
    Compress(true);
    FlushBlock(true);
    finished_ = true;
  }

  bool IsStored() const { return stored_; }
  std::uint64_t BytesIn() const { return bytesIn_; }
  std::uint64_t BytesOut() const { return bytesOut_; }
  int Level() const { return level_; }

 private:
  void ResetBlock() {
    std::memset(litFreq_, 0, sizeof(litFreq_));
    std::memset(distFreq_, 0, sizeof(distFreq_));
    symbolCount_ = 0;
    matchCount_ = 0;
  }

  // Moves the upper half of the buffer down; positions that fall out of the window become
  // the empty link 0 (position 0 itself is therefore never a match source).
  void Slide() {
    SaveBlockBeforeSlide();
    std::memcpy(window_.get(), window_.get() + kWSize, kWSize);
    strStart_ -= kWSize;
    matchStart_ -= kWSize;
    blockStart_ -= kWSize;
    auto slide = [](std::uint16_t* p, int n) {
      for (int i = 0; i < n; ++i)
        p[i] = static_cast<std::uint16_t>(p[i] >= kWSize ? p[i] - kWSize : 0);
    };
    slide(head_.get(), kHash4Size);
    slide(head3_.get(), kHashSize);
    slide(prev_.get(), kWSize);
  }

  // A block that starts in the lower half loses its bytes with the slide and then cannot be
  // sent stored any more: incompressible data would grow by the fixed code's 9-bit
  // literals. So such a block ends here when it would be stored. Between steps of lazy
  // parsing the byte before strStart_ is not tallied yet; it opens the next block.
  void SaveBlockBeforeSlide() {
    if (blockStart_ < 0 || blockStart_ >= kWSize || symbolCount_ == 0) return;
    const int end = strStart_ - (matchAvailable_ ? 1 : 0);
    // Cheap filter: a block that could be stored has at least 7 of 8 bytes as literals.
    if (static_cast<std::int64_t>(end - blockStart_) * 7 >
        static_cast<std::int64_t>(symbolCount_) * 8)
      return;
    FlushBlock(false, end, true);
  }

  // Greedy levels: links position `pos` into its 3-byte hash chain; returns the previous
  // chain head.
  inline unsigned Insert(int pos) {
    const std::uint32_t h = Hash3(window_.get() + pos);
    const unsigned old = head_[h];
    prev_[pos & kWMask] = static_cast<std::uint16_t>(old);
    head_[h] = static_cast<std::uint16_t>(pos);
    return old;
  }

  // Lazy levels: chains join positions that share four bytes, so the long walks of these
  // levels visit only candidates that can beat a 3-byte match; a chainless table keeps the
  // latest position of each 3-byte string for the 3-byte matches. Returns the previous
  // chain head and sets `head3` to the latest position with the same three bytes' hash.
  inline unsigned InsertDual(int pos, unsigned& head3) {
    const std::uint8_t* const p = window_.get() + pos;
    const std::uint32_t h3 = Hash3(p);
    head3 = head3_[h3];
    head3_[h3] = static_cast<std::uint16_t>(pos);
    const std::uint32_t h = Hash4(p);
    const unsigned old = head_[h];
    prev_[pos & kWMask] = static_cast<std::uint16_t>(old);
    head_[h] = static_cast<std::uint16_t>(pos);
    return old;
  }
  inline void InsertDual(int pos) {
    unsigned head3;
    InsertDual(pos, head3);
  }

  // Walks the chain from `curMatch` for a match longer than `bestLen` (>= 2) at strStart_;
  // returns the best length found (bestLen when none is longer) and sets matchStart_.
  // `prevLength`, the match already in hand, decides whether the walk is cut short.
  inline int LongestMatch(unsigned curMatch, int bestLen, int prevLength) {
    const std::uint8_t* const window = window_.get();
    const std::uint16_t* const prev = prev_.get();
    const int maxLen = std::min(kMaxMatch, lookahead_);
    if (bestLen >= maxLen) return bestLen;
    unsigned chain = static_cast<unsigned>(cfg_.chain);
    if (prevLength >= cfg_.good) chain >>= 2;
    const int nice = std::min(cfg_.nice, lookahead_);
    const unsigned limit = strStart_ > kMaxDist ? static_cast<unsigned>(strStart_ - kMaxDist) : 0;
    const std::uint8_t* const scan = window + strStart_;
    // A candidate can only win if it agrees on the byte at bestLen and the three before it
    // (the first three bytes when nothing is found yet): one 32-bit compare rejects most.
    int off = bestLen - 3;
    std::uint32_t mask = 0xFFFFFFFFu;
    if (off < 0) {
      off = 0;
      mask = 0x00FFFFFFu;
    }
    std::uint32_t scanEnd = Load32(scan + off) & mask;
    int matchStart = matchStart_;
    do {
      const std::uint8_t* const match = window + curMatch;
      if ((Load32(match + off) & mask) != scanEnd) continue;
      const int len = MatchLength(scan, match, maxLen);
      if (len > bestLen) {
        matchStart = static_cast<int>(curMatch);
        bestLen = len;
        if (len >= nice) break;
        off = bestLen - 3;
        mask = 0xFFFFFFFFu;
        scanEnd = Load32(scan + off);
      }
    } while ((curMatch = prev[curMatch & kWMask]) > limit && --chain != 0);
    matchStart_ = matchStart;
    return bestLen;
  }

  inline bool TallyLiteral(unsigned c) {
    symbols_[symbolCount_++] = c;
    litFreq_[c]++;
    return BlockFull();
  }

  inline bool TallyMatch(unsigned dist, unsigned len) {
    const StaticTables& t = Tables();
    symbols_[symbolCount_++] = (dist << 8) | (len - kMinMatch);
    litFreq_[257 + t.lengthCode[len - kMinMatch]]++;
    distFreq_[DistCode(t, dist - 1)]++;
    ++matchCount_;
    return BlockFull();
  }

  inline bool BlockFull() const {
    if (symbolCount_ == kSymbolBufSize) return true;
    if (level_ > 2 && (symbolCount_ & (kTruncateCheck - 1)) == 0) return TruncateBlock();
    return false;
  }

  // Ends a block early when it is mostly literals that code well: a new block with a code
  // fitted to what follows will probably do better.
  bool TruncateBlock() const {
    std::uint64_t outLength = static_cast<std::uint64_t>(symbolCount_) * 8;
    for (int d = 0; d < kDistanceCodes; ++d)
      outLength += static_cast<std::uint64_t>(distFreq_[d]) * (5 + kDistExtra[d]);
    outLength >>= 3;
    const std::int64_t inLength = strStart_ - blockStart_;
    return matchCount_ < symbolCount_ / 2 && static_cast<std::int64_t>(outLength) < inLength / 2;
  }

  void Compress(bool finishing) {
    if (level_ <= 3)
      CompressGreedy(finishing);
    else
      CompressLazy(finishing);
  }

  // While more input may come, steps stop short of the end of the data and at the point
  // where the window must slide, so that the slide (and the block it may end) always falls
  // between the same two steps whatever the sizes of the pieces written.
  bool MustStop(bool finishing) const {
    return finishing ? lookahead_ == 0
                     : lookahead_ < kMinLookahead || strStart_ >= kWSize + kMaxDist;
  }

  // Levels 1-3: take every match of 3 or more at once.
  void CompressGreedy(bool finishing) {
    while (!MustStop(finishing)) {
      unsigned hashHead = 0;
      if (lookahead_ >= kMinMatch) hashHead = Insert(strStart_);
      int matchLength = 0;
      if (hashHead != 0 && strStart_ - static_cast<int>(hashHead) <= kMaxDist)
        matchLength = LongestMatch(hashHead, kMinMatch - 1, kMinMatch - 1);
      bool flush;
      if (matchLength >= kMinMatch) {
        flush = TallyMatch(static_cast<unsigned>(strStart_ - matchStart_),
                           static_cast<unsigned>(matchLength));
        lookahead_ -= matchLength;
        if (matchLength <= cfg_.lazy && lookahead_ >= kMinMatch) {
          for (int i = 1; i < matchLength; ++i) Insert(strStart_ + i);
        }
        strStart_ += matchLength;
      } else {
        flush = TallyLiteral(window_[strStart_]);
        --lookahead_;
        ++strStart_;
      }
      if (flush) FlushBlock(false);
    }
  }

  // Levels 4-9: hold each match back one byte in case the next position starts a longer one.
  void CompressLazy(bool finishing) {
    while (!MustStop(finishing)) {
      unsigned hashHead = 0;
      unsigned head3 = 0;
      if (lookahead_ >= kMinMatch) hashHead = InsertDual(strStart_, head3);
      const int prevLength = matchLength_;
      const int prevMatch = matchStart_;
      int matchLength = kMinMatch - 1;
      if (prevLength < cfg_.lazy) {
        int best = prevLength;
        if (best < kMinMatch && head3 != 0 && strStart_ - static_cast<int>(head3) <= kTooFar &&
            ((Load32(window_.get() + head3) ^ Load32(window_.get() + strStart_)) & 0xFFFFFF) == 0) {
          best = kMinMatch;
          matchStart_ = static_cast<int>(head3);
        }
        if (hashHead != 0 && strStart_ - static_cast<int>(hashHead) <= kMaxDist)
          best = LongestMatch(hashHead, best, prevLength);
        matchLength = best;
        if (matchLength == kMinMatch && strStart_ - matchStart_ > kTooFar)
          matchLength = kMinMatch - 1;
      }
      if (prevLength >= kMinMatch && matchLength <= prevLength) {
        // The previous match wins; hash the positions it covers (up to where three bytes
        // remain) and go on after it.
        const int maxInsert = strStart_ + lookahead_ - kMinMatch;
        const bool flush = TallyMatch(static_cast<unsigned>(strStart_ - 1 - prevMatch),
                                      static_cast<unsigned>(prevLength));
        lookahead_ -= prevLength - 1;
        const int end = strStart_ + prevLength - 1;  // first position after the match
        const int insertEnd = std::min(end, maxInsert + 1);
        for (int pos = strStart_ + 1; pos < insertEnd; ++pos) InsertDual(pos);
        strStart_ = end;
        matchAvailable_ = false;
        matchLength_ = kMinMatch - 1;
        if (flush) FlushBlock(false);
      } else if (matchAvailable_) {
        // The previous position goes out as a literal; the current match may be improved.
        matchLength_ = matchLength;
        const bool flush = TallyLiteral(window_[strStart_ - 1]);
        if (flush) FlushBlock(false);
        ++strStart_;
        --lookahead_;
      } else {
        matchLength_ = matchLength;
        matchAvailable_ = true;
        ++strStart_;
        --lookahead_;
      }
    }
    if (finishing && matchAvailable_) {
      TallyLiteral(window_[strStart_ - 1]);
      matchAvailable_ = false;
    }
  }

  // ---- Block coding ----

  // Run-length coded code lengths of the dynamic header: symbol | extra value << 5.
  struct DynamicHeader {
    std::uint8_t litLens[kLiteralCodes];
    std::uint8_t distLens[kDistanceCodes];
    std::uint16_t litCodes[kLiteralCodes];
    std::uint16_t distCodes[kDistanceCodes];
    std::uint8_t clLens[kCodeLengthCodes];
    std::uint16_t clCodes[kCodeLengthCodes];
    std::uint16_t items[kLiteralCodes + kDistanceCodes];
    int itemCount = 0;
    int hlit = 0;
    int hdist = 0;
    int hclen = 0;
  };

  static void RunLengthCode(DynamicHeader& h, std::uint32_t* clFreq) {
    std::uint8_t all[kLiteralCodes + kDistanceCodes];
    std::memcpy(all, h.litLens, h.hlit);
    std::memcpy(all + h.hlit, h.distLens, h.hdist);
    const int total = h.hlit + h.hdist;
    int n = 0;
    auto emit = [&](unsigned sym, unsigned extra) {
      h.items[n++] = static_cast<std::uint16_t>(sym | (extra << 5));
      clFreq[sym]++;
    };
    for (int i = 0; i < total;) {
      const std::uint8_t v = all[i];
      int run = 1;
      while (i + run < total && all[i + run] == v) ++run;
      i += run;
      if (v == 0) {
        while (run >= 11) {
          const int k = std::min(run, 138);
          emit(18, static_cast<unsigned>(k - 11));
          run -= k;
        }
        if (run >= 3) {
          emit(17, static_cast<unsigned>(run - 3));
          run = 0;
        }
      } else {
        emit(v, 0);
        --run;
        while (run >= 3) {
          const int k = std::min(run, 6);
          emit(16, static_cast<unsigned>(k - 3));
          run -= k;
        }
      }
      while (run-- > 0) emit(v, 0);
    }
    h.itemCount = n;
  }

  // Sends the buffered symbols as one block (stored, fixed or dynamic, the smallest) and
  // hands the finished bytes to the sink.
  void FlushBlock(bool last) { FlushBlock(last, strStart_, false); }

  // Sends the symbols tallied for window bytes [blockStart_, end). With `onlyIfStored`, the
  // block is sent only when it would go out as a stored block (see SaveBlockBeforeSlide).
  void FlushBlock(bool last, int end, bool onlyIfStored) {
    const StaticTables& t = Tables();
    litFreq_[kEndOfBlock] = 1;

    DynamicHeader h;
    deflate_detail::BuildCodeLengths(litFreq_, kLiteralCodes, kMaxBits, h.litLens);
    deflate_detail::BuildCodeLengths(distFreq_, kDistanceCodes, kMaxBits, h.distLens);
    h.hlit = kLiteralCodes;
    while (h.hlit > 257 && h.litLens[h.hlit - 1] == 0) --h.hlit;
    h.hdist = kDistanceCodes;
    while (h.hdist > 1 && h.distLens[h.hdist - 1] == 0) --h.hdist;
    std::uint32_t clFreq[kCodeLengthCodes] = {};
    RunLengthCode(h, clFreq);
    deflate_detail::BuildCodeLengths(clFreq, kCodeLengthCodes, kMaxCodeLengthBits, h.clLens);
    h.hclen = kCodeLengthCodes;
    while (h.hclen > 4 && h.clLens[kCodeLengthOrder[h.hclen - 1]] == 0) --h.hclen;

    // Sizes in bits of the block under each code (the three header bits included).
    std::uint64_t extraBits = 0;
    std::uint64_t dynBits = 3 + 5 + 5 + 4 + 3 * static_cast<std::uint64_t>(h.hclen);
    std::uint64_t fixBits = 3;
    for (int s = 0; s < kLiteralCodes; ++s) {
      dynBits += static_cast<std::uint64_t>(litFreq_[s]) * h.litLens[s];
      fixBits += static_cast<std::uint64_t>(litFreq_[s]) * t.fixedLitLens[s];
    }
    for (int c = 0; c < 29; ++c)
      extraBits += static_cast<std::uint64_t>(litFreq_[257 + c]) * kLengthExtra[c];
    for (int d = 0; d < kDistanceCodes; ++d) {
      dynBits += static_cast<std::uint64_t>(distFreq_[d]) * h.distLens[d];
      fixBits += static_cast<std::uint64_t>(distFreq_[d]) * 5;
      extraBits += static_cast<std::uint64_t>(distFreq_[d]) * kDistExtra[d];
    }
    dynBits += extraBits;
    fixBits += extraBits;
    static constexpr std::uint8_t kClExtra[kCodeLengthCodes] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                                                0, 0, 0, 0, 0, 0, 2, 3, 7};
    for (int s = 0; s < kCodeLengthCodes; ++s)
      dynBits += static_cast<std::uint64_t>(clFreq[s]) * (h.clLens[s] + kClExtra[s]);

    const std::uint64_t dynBytes = (dynBits + 7) >> 3;
    const std::uint64_t fixBytes = (fixBits + 7) >> 3;
    const std::uint64_t opt = std::min(dynBytes, fixBytes);
    const std::int64_t storedLen = end - blockStart_;
    const bool inWindow = blockStart_ >= 0;
    if (onlyIfStored && !(inWindow && static_cast<std::uint64_t>(storedLen) + 4 <= opt)) {
      litFreq_[kEndOfBlock] = 0;
      return;
    }
    const std::uint8_t* blockBytes = inWindow ? window_.get() + blockStart_ : nullptr;

    if (last && allowStoredMethod_ && inWindow && bytesOut_ == 0 && bitWriterCount_ == 0 &&
        static_cast<std::uint64_t>(storedLen) <= opt && dynBytes < fixBytes) {
      // The whole member, uncompressed and unframed: the writer records method "stored".
      stored_ = true;
      Emit(blockBytes, static_cast<std::size_t>(storedLen));
    } else if (inWindow && static_cast<std::uint64_t>(storedLen) + 4 <= opt) {
      WriteStoredBlocks(blockBytes, static_cast<std::size_t>(storedLen), last);
    } else if (fixBytes == opt) {
      WriteFixedBlock(last, static_cast<std::size_t>(fixBits));
    } else {
      WriteDynamicBlock(h, last, static_cast<std::size_t>(dynBits));
    }
    ResetBlock();
    blockStart_ = end;
  }

  // Makes room for `bits` more bits plus the bit writer's 8-byte slack.
  BitWriter StartOutput(std::size_t bits) {
    const std::size_t need = bits / 8 + 64;
    if (out_.size() < need) out_.resize(need);
    BitWriter bw;
    bw.bits = bitWriterBits_;
    bw.count = bitWriterCount_;
    bw.out = out_.data();
    return bw;
  }

  // Sends the whole bytes written, keeping a partial byte pending (or padding it when last).
  void EndOutput(BitWriter& bw, bool last) {
    if (last)
      bw.AlignToByte();
    else
      bw.Flush();
    bitWriterBits_ = bw.bits;
    bitWriterCount_ = bw.count;
    Emit(out_.data(), static_cast<std::size_t>(bw.out - out_.data()));
  }

  void Emit(const std::uint8_t* data, std::size_t n) {
    if (n == 0) return;
    bytesOut_ += n;
    if (sink_) sink_(std::span<const std::uint8_t>(data, n));
  }

  void WriteStoredBlocks(const std::uint8_t* data, std::size_t len, bool last) {
    // A stored block holds at most 65535 bytes.
    do {
      const std::size_t n = std::min<std::size_t>(len, 65535);
      const bool final = last && n == len;
      BitWriter bw = StartOutput(n * 8 + 64);
      bw.Put(final ? 1 : 0, 3);
      bw.AlignToByte();
      std::uint8_t* p = bw.out;
      p[0] = static_cast<std::uint8_t>(n);
      p[1] = static_cast<std::uint8_t>(n >> 8);
      p[2] = static_cast<std::uint8_t>(~n);
      p[3] = static_cast<std::uint8_t>(~n >> 8);
      std::memcpy(p + 4, data, n);
      bw.out = p + 4 + n;
      EndOutput(bw, false);
      data += n;
      len -= n;
    } while (len > 0);
  }

  void WriteFixedBlock(bool last, std::size_t bits) {
    const StaticTables& t = Tables();
    BitWriter bw = StartOutput(bits);
    bw.Put(last ? 3 : 2, 3);
    WriteSymbols(bw, t.fixedLitCodes, t.fixedLitLens, t.fixedDistCodes, t.fixedDistLens);
    EndOutput(bw, last);
  }

  void WriteDynamicBlock(DynamicHeader& h, bool last, std::size_t bits) {
    deflate_detail::BuildCanonicalCodes(h.litLens, kLiteralCodes, h.litCodes);
    deflate_detail::BuildCanonicalCodes(h.distLens, kDistanceCodes, h.distCodes);
    deflate_detail::BuildCanonicalCodes(h.clLens, kCodeLengthCodes, h.clCodes);
    BitWriter bw = StartOutput(bits);
    bw.Put(last ? 5 : 4, 3);
    bw.Put(static_cast<std::uint64_t>(h.hlit - 257), 5);
    bw.Put(static_cast<std::uint64_t>(h.hdist - 1), 5);
    bw.Put(static_cast<std::uint64_t>(h.hclen - 4), 4);
    bw.Flush();
    for (int i = 0; i < h.hclen; ++i) {
      bw.Put(h.clLens[kCodeLengthOrder[i]], 3);
      bw.Flush();
    }
    static constexpr std::uint8_t kClExtra[3] = {2, 3, 7};
    for (int i = 0; i < h.itemCount; ++i) {
      const unsigned sym = h.items[i] & 31;
      bw.Put(h.clCodes[sym], h.clLens[sym]);
      if (sym >= 16) bw.Put(h.items[i] >> 5, kClExtra[sym - 16]);
      bw.Flush();
    }
    WriteSymbols(bw, h.litCodes, h.litLens, h.distCodes, h.distLens);
    EndOutput(bw, last);
  }

  void WriteSymbols(BitWriter& bw, const std::uint16_t* litCodes, const std::uint8_t* litLens,
                    const std::uint16_t* distCodes, const std::uint8_t* distLens) {
    const StaticTables& t = Tables();
    // Length code and extra bits merged into one value per length, built per block.
    std::uint32_t lenBits[256];
    std::uint8_t lenCount[256];
    for (int l = 0; l < 256; ++l) {
      const int code = t.lengthCode[l];
      const int sym = 257 + code;
      lenBits[l] = litCodes[sym] |
                   (static_cast<std::uint32_t>(l + kMinMatch - kLengthBase[code]) << litLens[sym]);
      lenCount[l] = static_cast<std::uint8_t>(litLens[sym] + kLengthExtra[code]);
    }
    const std::uint32_t* syms = symbols_.get();
    const int count = symbolCount_;
    for (int i = 0; i < count; ++i) {
      const std::uint32_t v = syms[i];
      if (v < 256) {
        bw.Put(litCodes[v], litLens[v]);
      } else {
        const unsigned l = v & 0xFF;
        bw.Put(lenBits[l], lenCount[l]);
        const unsigned d = (v >> 8) - 1;
        const int dc = DistCode(t, d);
        bw.Put(distCodes[dc] | (static_cast<std::uint64_t>(d + 1 - kDistBase[dc]) << distLens[dc]),
               distLens[dc] + kDistExtra[dc]);
      }
      bw.Flush();
    }
    bw.Put(litCodes[kEndOfBlock], litLens[kEndOfBlock]);
    bw.Flush();
  }

  const int level_;
  const LevelConfig cfg_;
  TSink sink_;
  const bool allowStoredMethod_;

  std::unique_ptr<std::uint8_t[]> window_;
  std::unique_ptr<std::uint16_t[]> head_;   // chain heads (3-byte hash greedy, 4-byte lazy)
  std::unique_ptr<std::uint16_t[]> head3_;  // lazy levels: latest position per 3-byte hash
  std::unique_ptr<std::uint16_t[]> prev_;
  std::unique_ptr<std::uint32_t[]> symbols_;  // literal, or distance << 8 | (length - 3)
  std::vector<std::uint8_t> out_;

  int strStart_ = 0;    // scan position in the window
  int lookahead_ = 0;   // valid bytes from strStart_ on
  int blockStart_ = 0;  // window position of the current block's first byte (< 0: gone)
  int matchStart_ = 0;
  int matchLength_ = kMinMatch - 1;  // lazy parsing: match found at the previous position
  bool matchAvailable_ = false;      // lazy parsing: the previous byte is not yet sent

  std::uint32_t litFreq_[kLiteralCodes] = {};
  std::uint32_t distFreq_[kDistanceCodes] = {};
  int symbolCount_ = 0;
  int matchCount_ = 0;

  std::uint64_t bitWriterBits_ = 0;
  int bitWriterCount_ = 0;
  std::uint64_t bytesIn_ = 0;
  std::uint64_t bytesOut_ = 0;
  bool stored_ = false;
  bool finished_ = false;
};

int DeflateCoder::LevelOf(TDeflateType type) {
  switch (type) {
    case TDeflateType::dtDeflateS:
      return 1;
    case TDeflateType::dtDeflateF:
      return 2;
    case TDeflateType::dtDeflateN:
      return 7;
    case TDeflateType::dtDeflateX:
      return 9;
  }
  return 7;
}

DeflateCoder::DeflateCoder(TDeflateType type, TSink sink, bool allowStoredMethod)
    : DeflateCoder(LevelOf(type), std::move(sink), allowStoredMethod) {}

DeflateCoder::DeflateCoder(int level, TSink sink, bool allowStoredMethod)
    : impl_(std::make_unique<Impl>(level, std::move(sink), allowStoredMethod)) {}

DeflateCoder::~DeflateCoder() = default;

void DeflateCoder::Write(std::span<const std::uint8_t> data) { impl_->Write(data); }
void DeflateCoder::Finish() { impl_->Finish(); }
void DeflateCoder::Reset() { impl_->Reset(); }
bool DeflateCoder::IsStored() const { return impl_->IsStored(); }
std::uint64_t DeflateCoder::BytesIn() const { return impl_->BytesIn(); }
std::uint64_t DeflateCoder::BytesOut() const { return impl_->BytesOut(); }
int DeflateCoder::Level() const { return impl_->Level(); }

std::vector<std::uint8_t> DeflateBuffer(std::span<const std::uint8_t> in, int level) {
  std::vector<std::uint8_t> out;
  out.reserve(in.size() / 2 + 64);
  DeflateCoder coder(level, [&out](std::span<const std::uint8_t> block) {
    out.insert(out.end(), block.begin(), block.end());
  });
  coder.Write(in);
  coder.Finish();
  return out;
}

std::vector<std::uint8_t> DeflateBuffer(std::span<const std::uint8_t> in, TDeflateType type) {
  return DeflateBuffer(in, DeflateCoder::LevelOf(type));
}

}  // namespace engine
