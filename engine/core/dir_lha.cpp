// Directory of LHA/LZH archives, header levels 0 to 3. The headers are read by the same
// length-checked reader the LHA decoder uses (lha_header.h), through the walk's buffer.
#include <algorithm>

#include "engine/core/dir_common.h"
#include "engine/core/lha_header.h"
#include "engine/core/lister.h"
#include "engine/core/method_names.h"

namespace engine {

namespace {

// The walk's buffered reader seen as a read-only stream, so the header reader costs a
// memcpy per field instead of a seek and a read call. Read errors raise as the walk's do.
class TWalkStream : public IStream {
 public:
  explicit TWalkStream(TListWalk& walk) : walk_(walk) {}
  std::int64_t Read(void* buffer, std::size_t count) override {
    const std::size_t n = walk_.ReadUpTo(pos_, buffer, count);
    pos_ += static_cast<std::int64_t>(n);
    return static_cast<std::int64_t>(n);
  }
  std::int64_t Write(const void*, std::size_t) override { return -1; }
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override {
    const std::int64_t base =
        origin == TSeekOrigin::soBegin ? 0 : origin == TSeekOrigin::soCurrent ? pos_ : walk_.Size;
    if (offset < -base) return -1;
    pos_ = base + offset;
    return pos_;
  }
  std::int64_t Position() override { return pos_; }
  std::int64_t Size() override { return walk_.Size; }

 private:
  TListWalk& walk_;
  std::int64_t pos_ = 0;
};

// Bytes of a base header: the walk stops when fewer than these remain.
constexpr std::size_t kBlock = 22;

class LhaDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    walk.BlockSize = kBlock;
    TWalkStream in(walk);
    walk.Cur = LhaFirstHeader(in, walk.Lister.StartOffset());
  }

  void Step(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    TWalkStream in(walk);
    const int r = ReadLhaHeader(in, walk.HeaderPos, walk.Size, h_);
    if (r == kLhaEnd) return walk.Stop();
    if (r != 0) {
      if (!walk.Reported) l.ReportError(l.ArchiveFile(), "", "0", r);
      return walk.Stop();
    }

    // A Unix symbolic link is listed as the link itself, without its target.
    l.Entry.FileName = LhaStoredName(h_);
    l.NameRead(l.Entry.FileName);

    if (l.IsSelected(l.Entry.FileName, true)) {
      TArchiveEntry& e = l.Entry;
      e.DateTime = h_.DateTime();
      e.VersionMadeBy = e.VersionNeeded = 0;
      e.UnpackedSize = h_.OriginalSize;
      e.PackedSize = std::min(h_.PackedSize, e.UnpackedSize);
      e.CRC = h_.Crc;
      e.Encrypted = false;
      e.MethodCode = static_cast<std::uint8_t>(h_.Method[3]);
      e.MethodName = MethodName(l.ArcType(), e.MethodCode, 0, 0);
      e.InternalAttr = 32;
      e.ExternalAttr = h_.Attribute;
      l.ReportMember(walk, walk.HeaderPos);
    }
    // The data's end, even past the end of the file: the frame then reports the
    // truncation (the header reader itself ends such a walk at the file's end).
    walk.Cur = h_.DataOffset + h_.PackedSize;
  }

 private:
  TLhaHeader h_;
};

}  // namespace

std::unique_ptr<IDirReader> MakeLhaDirReader() { return std::make_unique<LhaDirReader>(); }

}  // namespace engine
