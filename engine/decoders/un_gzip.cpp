// gzip and Unix compress extraction.
#include "engine/decoders/un_gzip.h"

#include <algorithm>

#include "engine/core/dates.h"
#include "engine/decoders/codec_io.h"
#include "engine/decoders/inflate.h"
#include "engine/decoders/lzw_decoder.h"
#include "platform/codepage.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

constexpr std::size_t kMaxStoredName = 255;
constexpr std::size_t kBlock = 32768;

enum : std::uint8_t {
  kFlagHeaderCrc = 0x02,   // FHCRC; in files with the old magic 1F 9E: a multi-part file
  kFlagExtra = 0x04,
  kFlagName = 0x08,
  kFlagComment = 0x10,
  kFlagEncrypted = 0x20,
};

// Reads the archive through the engine's block reader.
class TBlockSource final : public IByteSource {
 public:
  TBlockSource(TUnBase& engine, IStream* in, std::int64_t limit)
      : engine_(engine), in_(in), left_(limit) {}
  std::size_t Read(std::uint8_t* buffer, std::size_t capacity) override {
    const auto want = static_cast<std::size_t>(std::min<std::int64_t>(left_, static_cast<std::int64_t>(capacity)));
    if (want == 0) return 0;
    const std::int64_t got = engine_.ReadBlock(in_, want, kCrcNone, false, buffer);
    if (got <= 0) return 0;
    left_ -= got;
    read_ += got;
    return static_cast<std::size_t>(got);
  }
  std::int64_t BytesRead() const { return read_; }

 private:
  TUnBase& engine_;
  IStream* in_;
  std::int64_t left_;
  std::int64_t read_ = 0;
};

}  // namespace

// Writes decoded blocks through the block writer, updating CRC-32 and progress.
class TGzipSink final : public IByteSink {
 public:
  TGzipSink(std::function<void(const std::uint8_t*, std::size_t)> write) : write_(std::move(write)) {}
  bool Write(const std::uint8_t* data, std::size_t count) override {
    write_(data, count);
    return true;
  }

 private:
  std::function<void(const std::uint8_t*, std::size_t)> write_;
};

void TUnGZIP::ExtractArchive(IStream* archive) {
  decodedFile_.clear();
  const std::int64_t fileSize = archive->Size();
  std::uint8_t h[10] = {};
  if (archive->Seek(0, TSeekOrigin::soBegin) != 0 || !archive->ReadExact(h, 10))
    RaiseError(ArchiveFile(), "", "0", kErrHeaderId);
  const unsigned magic = h[0] << 8 | h[1];
  if (magic != 0x1F1E && magic != 0x1F8B && magic != 0x1F9D && magic != 0x1F9E && magic != 0x1FA0)
    RaiseError(ArchiveFile(), "", "0", kErrHeaderId);

  const bool gzip = magic == 0x1F8B || magic == 0x1F9E;
  std::string name;
  std::int64_t dataStart = 10;
  std::uint32_t memberDate = 0;
  const auto archiveDate = platform::FileModTime(ArchiveFile());
  const std::uint32_t archiveDos =
      archiveDate ? DateTimeToDosDate(UnixToDateTime(*archiveDate)) : 0;
  if (gzip) {
    const std::uint8_t flags = h[3];
    std::uint8_t b[2];
    if (flags & kFlagExtra) {
      if (!archive->ReadExact(b, 2)) RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
      dataStart += 2 + ReadLe16(b);
      if (dataStart > fileSize || archive->Seek(dataStart, TSeekOrigin::soBegin) != dataStart)
        RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
    }
    // Zero-terminated texts: the name (kept, at most 255 characters) and the comment.
    auto readText = [&](bool keep) {
      std::string text;
      std::uint8_t c = 0;
      while (true) {
        if (!archive->ReadExact(&c, 1)) RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
        ++dataStart;
        if (c == 0) break;
        if (keep && text.size() < kMaxStoredName) text += static_cast<char>(c);
      }
      return text;
    };
    if (flags & kFlagName) name = platform::OemToUtf8(readText(true));
    if (flags & kFlagComment) readText(false);
    if (magic == 0x1F8B && (flags & kFlagHeaderCrc)) dataStart += 2;
    const std::uint32_t mtime = ReadLe32(h + 4);
    memberDate = mtime ? DateTimeToDosDate(UnixToDateTime(mtime)) : archiveDos;
    if (memberDate == 0) memberDate = DateTimeToDosDate(kDate1980);
  } else {
    memberDate = archiveDos;
  }
  if (name.empty()) {
    // Derived from the archive: its file name up to the first dot ('data.tar.gz': 'data').
    const std::string base = platform::FileNamePart(ArchiveFile());
    name = base.substr(0, base.find('.'));
    if (name.empty()) name = base;
  }
  std::replace(name.begin(), name.end(), '/', '\\');

  TExtractItem item;
  item.Name = name;
  item.Method = h[2];
  item.Flags = h[3];
  item.PackedSize = item.UnpackedSize = fileSize;
  item.DosDateTime = memberDate;
  AddItem(item);

  if (!BuildEntryName(name)) return;
  std::string display = name;
  bool skip = false;
  if (!ConfirmEntry(display, skip, DosDateToDateTime(memberDate)) || skip) return;

  if (magic == 0x1F1E || magic == 0x1FA0) {
    MemberFailed(ArchiveFile(), kErrUnsupportedMethod);
    return;
  }
  if (magic == 0x1F9E && (h[3] & kFlagHeaderCrc)) RaiseError(ArchiveFile(), "", "0", kErrMultiPartGzip);
  if (gzip && (h[3] & kFlagEncrypted)) RaiseError(ArchiveFile(), "", "0", kErrPasswordProtected);
  if (OutputMode == 0 && !OpenOutput()) RaiseError(outputName_, "", "0", kErrOpeningFile);
  if (OutputMode != 0) OpenOutput();

  bool pass = false;
  try {
    if (gzip) {
      std::uint32_t crc = 0, stored = 1;
      pass = DecodeGzipMembers(archive, dataStart, crc, stored);
    } else {
      pass = DecodeCompress(archive);
    }
  } catch (const EBase&) {
    pass = false;
  }
  CloseOutput(32, memberDate);
  if (OutputMode == 0) decodedFile_ = outputName_;
  Verdict(pass, name);

  if (pass && UnTar && OutputMode == 0) {
    UnTar->SetArchiveFile(outputName_);
    if (UnTar->ArcType() == TArcType::atTar) {
      UnTar->UseStoredDirs = true;
      UnTar->SetExtractDir(TarExtractDir.empty() ? ExtractDir() : TarExtractDir);
      UnTar->SetFileSpec(FileSpec());
      UnTar->Extract();
    }
  }
}

bool TUnGZIP::DecodeGzipMembers(IStream* archive, std::int64_t dataStart, std::uint32_t& crcOut,
                                std::uint32_t& storedCrc) {
  const std::int64_t fileSize = archive->Size();
  std::int64_t pos = dataStart;
  bool allPass = true;
  std::int64_t produced = 0;
  TGzipSink sink([&](const std::uint8_t* data, std::size_t n) {
    // Without decryption the block writer leaves the buffer as it is.
    WriteBlock(output_, true, n, kCrc32, false, const_cast<std::uint8_t*>(data));
    produced += static_cast<std::int64_t>(n);
    remainingBytes_ = std::max<std::int64_t>(0, fileSize - pos);
    MemberProgress(std::min(pos, fileSize), fileSize);
    if (Cancel()) throw E_RAISE(kErrUserAborted, ArchiveFile());
  });
  // Concatenated members make one output, as gzip -d gives it.
  for (int member = 0;; ++member) {
    State.Crc32Register = 0xFFFFFFFFu;
    const std::uint8_t method = member == 0 ? static_cast<std::uint8_t>(items_.front().Method) : 8;
    if (archive->Seek(pos, TSeekOrigin::soBegin) != pos) RaiseError(ArchiveFile(), "", "0", kErrSeek);
    const std::int64_t before = produced;
    if (method == 8) {
      Inflater inflater;
      TBlockSource source(*this, archive, fileSize - pos);
      const CodecStatus st = inflater.Decode(source, sink);
      if (st != CodecStatus::csEnd) {
        RaiseError(outputName_, "", "0", IsCodecError(st) ? ErrorCode(st) : kErrBadBlock);
      }
      pos += source.BytesRead() - static_cast<std::int64_t>(inflater.UnusedInput().size());
    } else if (method == 0) {
      const std::int64_t size = fileSize - pos - 8;
      if (size < 0) RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
      CopyStored(size, false, kCrc32);
      pos += size;
    } else {
      RaiseError(outputName_, "", "0", kErrUnsupportedMethod);
    }
    std::uint8_t trailer[8];
    if (archive->Seek(pos, TSeekOrigin::soBegin) != pos || !archive->ReadExact(trailer, 8))
      RaiseError(ArchiveFile(), "", "0", kErrReadingFile);
    pos += 8;
    crcOut = State.Crc32Register ^ 0xFFFFFFFFu;
    storedCrc = ReadLe32(trailer);
    const auto size32 = static_cast<std::uint32_t>(produced - before);
    if (crcOut != storedCrc || size32 != ReadLe32(trailer + 4)) allPass = false;

    // Another member follows when the next bytes are a gzip header; padding zeros end it.
    std::uint8_t next[10];
    if (pos + 18 > fileSize || archive->Seek(pos, TSeekOrigin::soBegin) != pos ||
        !archive->ReadExact(next, 10) || next[0] != 0x1F || next[1] != 0x8B || next[2] != 8)
      break;
    std::int64_t p = pos + 10;
    const std::uint8_t flags = next[3];
    if (flags & kFlagEncrypted) break;
    if (flags & kFlagExtra) {
      std::uint8_t b[2];
      if (!archive->ReadExact(b, 2)) break;
      p += 2 + ReadLe16(b);
      if (p > fileSize || archive->Seek(p, TSeekOrigin::soBegin) != p) break;
    }
    for (const std::uint8_t bit : {kFlagName, kFlagComment}) {
      if (!(flags & bit)) continue;
      std::uint8_t c = 1;
      while (c != 0) {
        if (!archive->ReadExact(&c, 1)) return false;
        ++p;
      }
    }
    if (flags & kFlagHeaderCrc) p += 2;
    pos = p;
  }
  return allPass;
}

bool TUnGZIP::DecodeCompress(IStream* archive) {
  State.Crc32Register = 0;
  if (archive->Seek(0, TSeekOrigin::soBegin) != 0) return false;
  const std::int64_t fileSize = archive->Size();
  std::int64_t consumed = 0;
  LzwDecoder lzw;
  const int result = lzw.Decode(
      [&](std::uint8_t* dst, std::size_t capacity) -> std::size_t {
        const std::int64_t got =
            ReadBlock(archive, std::min(capacity, kBlock), kCrcNone, false, dst);
        if (got <= 0) return 0;
        consumed += got;
        ProgressByFile = ProgressByArchive = static_cast<std::uint8_t>(Percent(consumed, fileSize));
        if (ProgressProc) ProgressProc();
        return static_cast<std::size_t>(got);
      },
      [&](const std::uint8_t* data, std::size_t n) -> bool {
        WriteBlock(output_, true, n, kCrc32, false, const_cast<std::uint8_t*>(data));
        return !Cancel();
      });
  if (result != 0) {
    ReportError(outputName_, "", "0", result);
    return false;
  }
  return !Cancel();
}

}  // namespace engine
