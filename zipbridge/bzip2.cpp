// bzip2 stream wrapper.
#include "zipbridge/bzip2.h"

#include <vector>

namespace zipbridge {

namespace {
constexpr const char* kLoadError = "Error load OCI dll !!!";

void Check(int result) {
  if (result < 0 || result > platform::kBzStreamEnd) throw EBzip2(Bzip2ResultName(result));
}

void WriteAll(engine::IStream& target, const std::vector<char>& buf, std::size_t n) {
  if (n && target.Write(buf.data(), n) != static_cast<std::int64_t>(n))
    throw engine::E_RAISE(engine::kErrWritingFile);
}
}  // namespace

std::string Bzip2ResultName(int result) {
  switch (result) {
    case -1: return "BZ_SEQUENCE_ERROR";
    case -2: return "BZ_PARAM_ERROR";
    case -3: return "BZ_MEM_ERROR";
    case -4: return "BZ_DATA_ERROR";
    case -5: return "BZ_DATA_ERROR_MAGIC";
    case -6: return "BZ_IO_ERROR";
    case -7: return "BZ_UNEXPECTED_EOF";
    case -8: return "BZ_OUTBUFF_FULL";
    default: return "BZ_UNKNOWN_ERROR";
  }
}

Tbzip2::Tbzip2() {
  if (!lib_.Load()) throw EBzip2(kLoadError);
}

void Tbzip2::SetBlockSize(int value) {
  if (value >= 1 && value <= 9) blockSize_ = value;
}

void Tbzip2::SetBufferSize(int value) {
  if (value >= 1 && value <= 4096) bufferSize_ = value;
}

void Tbzip2::CompressStream(engine::IStream& source, engine::IStream& target) {
  const std::size_t size = static_cast<std::size_t>(bufferSize_) * 1024;
  std::vector<char> in(size), out(size);
  source.Seek(0, engine::TSeekOrigin::soBegin);
  platform::TBzStream s;
  Check(lib_.CompressInit(&s, blockSize_, 0, 0));
  try {
    for (;;) {
      const std::int64_t got = source.Read(in.data(), size);
      if (got < 0) throw engine::E_RAISE(engine::kErrReadingFile);
      if (got == 0) break;
      s.next_in = in.data();
      s.avail_in = static_cast<unsigned>(got);
      while (s.avail_in > 0) {
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(size);
        Check(lib_.Compress(&s, platform::kBzRun));
        WriteAll(target, out, size - s.avail_out);
      }
    }
    int r;
    do {
      s.next_out = out.data();
      s.avail_out = static_cast<unsigned>(size);
      r = lib_.Compress(&s, platform::kBzFinish);
      Check(r);
      WriteAll(target, out, size - s.avail_out);
    } while (r != platform::kBzStreamEnd);
  } catch (...) {
    lib_.CompressEnd(&s);
    throw;
  }
  lib_.CompressEnd(&s);
}

void Tbzip2::DecompressStream(engine::IStream& source, engine::IStream& target) {
  const std::size_t size = static_cast<std::size_t>(bufferSize_) * 1024;
  std::vector<char> in(size), out(size);
  std::int64_t streamStart = 0;
  for (;;) {
    source.Seek(streamStart, engine::TSeekOrigin::soBegin);
    platform::TBzStream s;
    Check(lib_.DecompressInit(&s, 0, 0));
    int r = platform::kBzOk;
    bool eof = false;
    try {
      while (r != platform::kBzStreamEnd) {
        if (s.avail_in == 0 && !eof) {
          const std::int64_t got = source.Read(in.data(), size);
          if (got < 0) throw engine::E_RAISE(engine::kErrReadingFile);
          eof = got == 0;
          s.next_in = in.data();
          s.avail_in = static_cast<unsigned>(got);
        }
        s.next_out = out.data();
        s.avail_out = static_cast<unsigned>(size);
        r = lib_.Decompress(&s);
        Check(r);
        WriteAll(target, out, size - s.avail_out);
        if (eof && s.avail_in == 0 && r != platform::kBzStreamEnd && s.avail_out == size)
          throw EBzip2(Bzip2ResultName(-7));  // the input ended inside the stream
      }
    } catch (...) {
      lib_.DecompressEnd(&s);
      throw;
    }
    lib_.DecompressEnd(&s);
    // Another stream follows when the next bytes begin with its signature (bzip2 writes
    // concatenated streams for concatenated input and reads them back as one).
    streamStart = source.Position() - static_cast<std::int64_t>(s.avail_in);
    char sig[3];
    if (source.Seek(streamStart, engine::TSeekOrigin::soBegin) != streamStart ||
        source.Read(sig, 3) != 3 || sig[0] != 'B' || sig[1] != 'Z' || sig[2] != 'h')
      break;
  }
}

}  // namespace zipbridge
