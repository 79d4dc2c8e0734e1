// Static-Huffman LZSS block decoder (-lh4- to -lh7- streams and their ARJ, ZOO, BH uses).
#include "engine/decoders/lzh_block_decoder.h"

#include <algorithm>
#include <cstring>

#include "engine/core/errors.h"

namespace engine {

namespace {

constexpr unsigned kCRootBits = 12;
constexpr unsigned kPtRootBits = 8;
constexpr unsigned kPRootBits = 10;
constexpr unsigned kMaxMatch = 256;

// Copies a match inside the ring where neither source nor destination wraps. The word
// copies may write up to 7 bytes past the match: the ring has slack for that, and the
// bytes overwritten ahead of the match are older than any distance can reach because
// the ring is at least twice the history.
inline void CopyMatch(std::uint8_t* ring, std::size_t pos, std::size_t src, unsigned length) {
  std::uint8_t* dst = ring + pos;
  const std::uint8_t* from = ring + src;
  if (src > pos || pos - src >= 8) {
    for (unsigned k = 0; k < length; k += 8) std::memcpy(dst + k, from + k, 8);
  } else if (pos - src == 1) {
    std::memset(dst, *from, length);
  } else {
    for (unsigned k = 0; k < length; ++k) dst[k] = from[k];
  }
}

}  // namespace

const LzhParams* LzhParamsForMethod(const char* id) {
  if (id[0] != '-' || id[1] != 'l' || id[2] != 'h' || id[4] != '-') return nullptr;
  switch (id[3]) {
    case '4':
      return &kLzhLh4;
    case '5':
      return &kLzhLh5;
    case '6':
      return &kLzhLh6;
    case '7':
      return &kLzhLh7;
    default:
      return nullptr;
  }
}

LzhBlockDecoder::LzhBlockDecoder(const LzhParams& params)
    : params_(params),
      ptTable_(kPtRootBits, kNT),
      cTable_(kCRootBits, kNC),
      pTable_(kPRootBits, std::max(params.positionCodes, 1u)) {
  // Position codes beyond 17 would give distances the ring cannot hold.
  params_.positionCodes = std::min(params_.positionCodes, 17u);
  params_.dictBits = std::min(params_.dictBits, 16u);
}

unsigned LzhBlockDecoder::RingBits() const { return std::max(16u, params_.dictBits + 1); }

std::unique_ptr<OutputWindow> LzhBlockDecoder::MakeWindow(ByteSinkFn sink) const {
  return std::make_unique<OutputWindow>(RingBits(), std::move(sink), params_.fill);
}

// Lengths of the code-length code (special = 3: a 2-bit run of zeros follows the third
// length) or of the position code (special = -1). A count of 0 sends one symbol that
// every lookup yields without consuming bits.
int LzhBlockDecoder::ReadPtLengths(MsbBitReader& in, unsigned limit, unsigned countBits,
                                   int special, HuffmanTable& table) {
  const unsigned n = in.Read(countBits);
  if (n == 0) {
    const unsigned symbol = in.Read(countBits);
    if (symbol >= limit) return kErrBadHuffmanCode;
    table.SetConstant(symbol);
    return 0;
  }
  if (n > limit) return kErrBadHuffmanCode;
  std::fill_n(lengths_, limit, 0);
  unsigned i = 0;
  while (i < n) {
    in.Refill();
    unsigned len = in.Peek(3);
    if (len < 7) {
      in.Consume(3);
    } else {
      // 7 and above: one 1-bit per extra unit, then a 0-bit.
      in.Consume(3);
      while (in.Peek(1) == 1) {
        in.Consume(1);
        if (++len > HuffmanTable::kMaxLength) return kErrBadHuffmanCode;
      }
      in.Consume(1);
    }
    lengths_[i++] = static_cast<std::uint8_t>(len);
    if (static_cast<int>(i) == special) {
      // Zero lengths already in place; a run past the count only re-zeros the tail.
      i = std::min(i + in.Read(2), limit);
    }
  }
  return table.Build(lengths_, limit) ? 0 : kErrBadHuffmanCode;
}

int LzhBlockDecoder::ReadCLengths(MsbBitReader& in) {
  const unsigned n = in.Read(kCBit);
  if (n == 0) {
    const unsigned symbol = in.Read(kCBit);
    if (symbol >= kNC) return kErrBadHuffmanCode;
    cTable_.SetConstant(symbol);
    return 0;
  }
  if (n > kNC) return kErrBadHuffmanCode;
  std::fill_n(lengths_, kNC, 0);
  unsigned i = 0;
  while (i < n) {
    in.Refill();
    const std::uint32_t e = ptTable_.Lookup(in.Bits());
    if (e & HuffmanTable::kInvalid) return kErrBadHuffmanCode;
    in.Consume(HuffmanTable::Length(e));
    const unsigned c = HuffmanTable::Symbol(e);
    if (c > 2) {
      lengths_[i++] = static_cast<std::uint8_t>(c - 2);
    } else {
      const unsigned run = c == 0 ? 1 : c == 1 ? in.Read(4) + 3 : in.Read(kCBit) + 20;
      i = std::min(i + run, n);
    }
  }
  return cTable_.Build(lengths_, kNC) ? 0 : kErrBadHuffmanCode;
}

int LzhBlockDecoder::ReadBlockHeader(MsbBitReader& in) {
  blockLeft_ = in.Read(16);
  int status = 0;
  if (blockLeft_ == 0) {
    status = kErrCorruptInput;  // the stream ends before the member's size
  } else if ((status = ReadPtLengths(in, kNT, kTBit, 3, ptTable_)) == 0 &&
             (status = ReadCLengths(in)) == 0) {
    status = ReadPtLengths(in, params_.positionCodes, params_.positionBits, -1, pTable_);
  }
  if (in.Overrun()) status = kErrReadingFile;
  if (status != 0) blockLeft_ = 0;
  return status;
}

int LzhBlockDecoder::Decode(MsbBitReader& in, OutputWindow& out, std::uint64_t size) {
  std::uint8_t* const ring = out.Data();
  const std::size_t ringSize = out.Size();
  const std::size_t mask = out.Mask();
  std::uint64_t remaining = size;
  int status = 0;

  while (remaining > 0) {
    if (blockLeft_ == 0 && (status = ReadBlockHeader(in)) != 0) break;

    // Fast loop. Entry conditions, checked per symbol: 8 input bytes readable at `cur`
    // (one refill then holds >= 57 bits: a 16-bit symbol, a 16-bit position code and at
    // most 15 extra bits), the longest match fits before the ring's end, and at least
    // that many bytes remain to be produced.
    {
      std::uint64_t bits = in.Bits();
      unsigned count = in.Count();
      const std::uint8_t* cur = in.Cursor();
      const std::uint8_t* const end = in.End();
      std::size_t pos = out.Pos();
      std::uint32_t left = blockLeft_;
      while (left != 0 && end - cur >= 8 && pos <= ringSize - kMaxMatch && remaining >= kMaxMatch) {
        bits |= MsbBitReader::LoadBe64(cur) >> count;
        cur += (63 - count) >> 3;
        count |= 56;
        const std::uint32_t e = cTable_.Lookup(bits);
        if (e & HuffmanTable::kInvalid) break;  // the careful path reports it
        const unsigned symbol = HuffmanTable::Symbol(e);
        const unsigned clen = HuffmanTable::Length(e);
        if (symbol < 256) {
          bits <<= clen;
          count -= clen;
          --left;
          ring[pos++] = static_cast<std::uint8_t>(symbol);
          --remaining;
          continue;
        }
        const std::uint64_t afterC = bits << clen;
        const std::uint32_t pe = pTable_.Lookup(afterC);
        if (pe & HuffmanTable::kInvalid) break;
        bits = afterC;
        count -= clen;
        --left;
        const unsigned plen = HuffmanTable::Length(pe);
        bits <<= plen;
        count -= plen;
        const unsigned j = HuffmanTable::Symbol(pe);
        std::size_t distance = j;
        if (j > 1) {
          const unsigned extra = j - 1;
          distance = (std::size_t{1} << extra) + static_cast<std::size_t>(bits >> (64 - extra));
          bits <<= extra;
          count -= extra;
        }
        const unsigned length = symbol - 253;
        const std::size_t src = (pos - distance - 1) & mask;
        if (src + length <= ringSize) {
          CopyMatch(ring, pos, src, length);
        } else {
          for (unsigned k = 0; k < length; ++k) ring[pos + k] = ring[(src + k) & mask];
        }
        pos += length;
        remaining -= length;
      }
      in.Bits() = bits;
      in.Count() = count;
      in.Cursor() = cur;
      out.Pos() = pos;
      blockLeft_ = left;
    }
    if (out.Pos() == ringSize && !out.Flush()) break;
    if (remaining == 0 || blockLeft_ == 0) continue;

    // Careful path: one symbol, any position in input and ring, clipped at the end.
    in.Refill();
    const std::uint32_t e = cTable_.Lookup(in.Bits());
    if (e & HuffmanTable::kInvalid) {
      status = kErrCorruptInput;
      break;
    }
    in.Consume(HuffmanTable::Length(e));
    --blockLeft_;
    const unsigned symbol = HuffmanTable::Symbol(e);
    if (symbol < 256) {
      out.Put(static_cast<std::uint8_t>(symbol));
      --remaining;
    } else {
      const std::uint32_t pe = pTable_.Lookup(in.Bits());
      if (pe & HuffmanTable::kInvalid) {
        status = kErrCorruptInput;
        break;
      }
      in.Consume(HuffmanTable::Length(pe));
      const unsigned j = HuffmanTable::Symbol(pe);
      std::size_t distance = j;
      if (j > 1) distance = (std::size_t{1} << (j - 1)) + in.Read(j - 1);
      const std::size_t src = (out.Pos() - distance - 1) & mask;
      const unsigned length =
          static_cast<unsigned>(std::min<std::uint64_t>(symbol - 253, remaining));
      for (unsigned k = 0; k < length; ++k) out.Put(ring[(src + k) & mask]);
      remaining -= length;
    }
    if (out.Failed()) break;
    if (in.Overrun()) {
      status = kErrReadingFile;
      break;
    }
  }
  out.Flush();
  if (out.Failed()) return kErrWritingFile;
  return status;
}

int LzhBlockDecoder::DecodeBuffer(const LzhParams& params, std::span<const std::uint8_t> packed,
                                  std::uint64_t size, std::vector<std::uint8_t>& output) {
  output.clear();
  LzhBlockDecoder decoder(params);
  MsbBitReader in(packed);
  auto window = decoder.MakeWindow([&output](const std::uint8_t* data, std::size_t count) {
    output.insert(output.end(), data, data + count);
    return true;
  });
  return decoder.Decode(in, *window, size);
}

}  // namespace engine
