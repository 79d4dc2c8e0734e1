// LHA extraction: the header walk, then each selected member through its codec.
#include "engine/decoders/un_lha.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "engine/core/helpers.h"
#include "engine/core/safe_path.h"
#include "engine/decoders/larc_decoder.h"
#include "engine/decoders/lzh_block_decoder.h"
#include "engine/decoders/lzhuf_coder.h"
#include "engine/decoders/msb_bit_reader.h"
#include "engine/decoders/output_window.h"
#include "platform/fs.h"

namespace engine {

namespace {

constexpr std::size_t kBlockSize = 32768;
// LHARK 0.4d labels its own method "-lh7-" and is the one writer of -lh7- members that
// leaves the OS id of a level-1 header blank; its data is not the -lh7- stream.
constexpr std::uint8_t kLharkOsId = ' ';

struct TSelected {
  TExtractItem item;
  TLhaHeader header;
};

}  // namespace

TLhaMethod ClassifyLhaMethod(const TLhaHeader& h) {
  const char* id = h.Method;
  if (id[0] != '-' || id[4] != '-') return TLhaMethod::lmUnsupported;
  const std::string_view family(id + 1, 2);
  const char kind = id[3];
  if (family == "lh") {
    switch (kind) {
      case '0': return TLhaMethod::lmStored;
      case '1': return TLhaMethod::lmLzhuf;
      case 'd': return TLhaMethod::lmDirectory;
      case '7':
        if (h.Level == 1 && h.OsId == kLharkOsId) return TLhaMethod::lmUnsupported;
        return TLhaMethod::lmBlock;
      case '4': case '5': case '6':
        return TLhaMethod::lmBlock;
      default:
        return TLhaMethod::lmUnsupported;
    }
  }
  if (family == "lz") {
    switch (kind) {
      case '4': return TLhaMethod::lmStored;
      case '5': return TLhaMethod::lmLz5;
      case 's': return TLhaMethod::lmLzs;
      default: return TLhaMethod::lmUnsupported;
    }
  }
  if (family == "pm" && kind == '0') return TLhaMethod::lmStored;
  return TLhaMethod::lmUnsupported;
}

void TUnLHA::ExtractArchive(IStream* archive) {
  const std::int64_t fileSize = archive->Size();
  std::vector<TSelected> selected;
  std::vector<std::string> folders;

  // Directory pass: every header from the first one, until a header ends the archive.
  std::int64_t pos = LhaFirstHeader(*archive, StartOffset());
  while (!Cancel()) {
    TSelected s;
    const int r = ReadLhaHeader(*archive, pos, fileSize, s.header);
    if (r == kLhaEnd) break;
    if (r != 0) {
      // A damaged header ends the walk; the members found before it are still extracted.
      ++failedCount_;
      ReportError(ArchiveFile(), "", "0", r);
      break;
    }
    const TLhaHeader& h = s.header;
    std::string link;
    const std::string name = LhaStoredName(h, &link);
    if (h.IsDirectory()) {
      // Symbolic links are folder entries named "name|target": not created, as a link
      // could point anywhere.
      if (link.empty() && !name.empty() && IsSelected(name, false)) folders.push_back(name);
    } else if (IsSelected(name, false)) {
      s.item.Name = name;
      s.item.HeaderOffset = h.Offset;
      s.item.PackedSize = h.PackedSize;
      s.item.UnpackedSize = h.OriginalSize;
      s.item.Crc = h.Crc;
      s.item.Attributes = h.Attribute;
      s.item.DosDateTime = h.DosDateTime();
      AddItem(s.item);
      selected.push_back(std::move(s));
      if (CanStopAfterFirst()) break;
    }
    if (h.NextOffset <= pos) break;  // a header must move the walk on
    pos = h.NextOffset;
  }

  for (const TSelected& s : selected) {
    if (Cancel()) break;
    const TLhaHeader& h = s.header;
    const TExtractItem& item = s.item;
    if (!BuildEntryName(item.Name)) {
      SkipItem(item);
      continue;
    }
    const TLhaMethod method = ClassifyLhaMethod(h);
    if (method == TLhaMethod::lmUnsupported) {
      // Nothing is written for a method this engine cannot decode; the run goes on.
      ++failedCount_;
      ReportError(outputName_, "", "0", kErrUnsupportedMethod);
      Fire(OnEnd, OutputMode == 0 || OutputMode == 2 ? outputName_ : item.Name, false);
      SkipItem(item);
      continue;
    }
    std::string display = item.Name;
    bool skip = false;
    if (!ConfirmEntry(display, skip, h.DateTime())) break;
    if (skip) {
      SkipItem(item);
      continue;
    }
    bool pass = false;
    try {
      pass = DecodeMember(*archive, h, method);
    } catch (const EBase&) {
      // Reported through OnError where it was raised; this member has failed.
      pass = false;
    }
    CloseOutput(item.Attributes, item.DosDateTime);
    if (Cancel()) break;
    Verdict(pass, display);
  }

  if (CreateStoredFolders && UseStoredDirs && OutputMode == 0)
    for (const std::string& folder : folders) {
      if (Cancel()) break;
      CreateFolder(folder);
    }
}

bool TUnLHA::DecodeMember(IStream& archive, const TLhaHeader& h, TLhaMethod method) {
  State.Crc16Register = 0;
  if (!OpenOutput()) RaiseError(outputName_, "", "0", kErrOpeningFile);
  if (archive.Seek(h.DataOffset, TSeekOrigin::soBegin) != h.DataOffset)
    RaiseError(ArchiveFile(), "", "0", kErrSeek);

  // Input: never more than the member's packed size.
  std::int64_t packedLeft = std::max<std::int64_t>(0, h.PackedSize);
  auto source = [this, &archive, &packedLeft](std::uint8_t* dst, std::size_t capacity) -> std::size_t {
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(packedLeft, static_cast<std::int64_t>(capacity)));
    if (want == 0) return 0;
    const std::int64_t got = ReadBlock(&archive, want, kCrcNone, false, dst);
    if (got <= 0) return 0;
    packedLeft -= got;
    return static_cast<std::size_t>(got);
  };

  // Output: through the block writer with CRC-16; errors are kept, not thrown through
  // the codec.
  const std::int64_t size = std::max<std::int64_t>(0, h.OriginalSize);
  std::int64_t written = 0;
  int writeError = 0;
  ByteSinkFn sink = [this, &written, &writeError, size](const std::uint8_t* data,
                                                        std::size_t count) -> bool {
    if (count == 0) return true;
    try {
      // Without decryption the block writer leaves the bytes as they are.
      WriteBlock(output_, true, count, kCrc16, false, const_cast<std::uint8_t*>(data));
    } catch (const E_RAISE& e) {
      writeError = e.Code;
      return false;
    } catch (const EBase&) {
      writeError = kErrWritingFile;
      return false;
    }
    written += static_cast<std::int64_t>(count);
    remainingBytes_ -= static_cast<std::int64_t>(count);
    MemberProgress(written, size);
    return !Cancel();
  };

  int status = 0;
  const auto wanted = static_cast<std::uint64_t>(size);
  switch (method) {
    case TLhaMethod::lmStored: {
      std::vector<std::uint8_t> buffer(kBlockSize);
      while (written < size) {
        const std::size_t n = source(buffer.data(), static_cast<std::size_t>(
                                                        std::min<std::int64_t>(size - written, kBlockSize)));
        if (n == 0) {
          status = kErrReadingFile;
          break;
        }
        if (!sink(buffer.data(), n)) break;
      }
      break;
    }
    case TLhaMethod::lmLzhuf: {
      MsbBitReader in(source);
      auto coder = std::make_unique<LzhufCoder>();
      OutputWindow window(LzhufCoder::kRingBits, sink, LzhufCoder::kFill);
      status = coder->Decode(in, window, wanted);
      break;
    }
    case TLhaMethod::lmBlock: {
      const LzhParams* params = LzhParamsForMethod(h.Method);
      if (!params) RaiseError(outputName_, "", "0", kErrUnsupportedMethod);
      MsbBitReader in(source);
      auto decoder = std::make_unique<LzhBlockDecoder>(*params);
      auto window = decoder->MakeWindow(sink);
      status = decoder->Decode(in, *window, wanted);
      break;
    }
    case TLhaMethod::lmLz5:
    case TLhaMethod::lmLzs: {
      MsbBitReader in(source);
      auto decoder = std::make_unique<LArcDecoder>(method == TLhaMethod::lmLz5 ? TLArcMethod::lmLz5
                                                                               : TLArcMethod::lmLzs);
      OutputWindow window(16, sink);
      status = decoder->Decode(in, window, wanted);
      break;
    }
    default:
      RaiseError(outputName_, "", "0", kErrUnsupportedMethod);
  }
  if (writeError) RaiseError(outputName_, "", "0", writeError);
  if (Cancel()) return false;
  if (status != 0) RaiseError(outputName_, "", "0", status);
  return written == size && State.Crc16Register == h.Crc;
}

void TUnLHA::CreateFolder(const std::string& storedName) {
  if (ExtractDir().empty()) SetExtractDir("");
  const auto relative = SanitiseMemberPath(storedName, true);
  if (!relative) {
    MemberFailed(storedName, kErrInvalidFileName);
    return;
  }
  if (relative->empty()) return;
  const std::string base = ExtractDir();
  const std::string dir = JoinUnder(base, *relative);
  if (platform::DirectoryExists(dir)) return;
  if (CrossesLink(base, dir) || !platform::CreateDirectories(dir, RemoveSlash(base)))
    MemberFailed(storedName, kErrUnableCreateDir);
}

}  // namespace engine
