// UU, XX and base64 text decoding.
#include "engine/decoders/uu_decode.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

constexpr std::size_t kBlockSize = 32768;
// Longest line kept; the rest of a longer line is read and dropped. Encoded lines are
// at most 80 characters, "begin" lines hold a name of at most a few hundred.
constexpr std::size_t kMaxLine = 4096;
// Characters of an encoded line as encoders write them (a full line takes 61, some add a
// check character): data still going on past this is a line that lost its end.
constexpr std::size_t kEncodedLineMax = 80;
// Prompts for one volume before the request counts as refused.
constexpr int kMaxVolumePrompts = 100;

constexpr std::string_view kXxAlphabet =
    "+-0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz";

std::string UuAlphabet() {
  std::string t(1, '`');
  for (char c = 0x21; c <= 0x5F; ++c) t += c;
  return t;
}

bool StartsWith(const std::string& s, std::string_view prefix) {
  return s.size() >= prefix.size() && s.compare(0, prefix.size(), prefix) == 0;
}

// "end" alone on its line (trailing blanks allowed): a data line may start with "end".
bool IsEndLine(const std::string& line) {
  if (!StartsWith(line, "end")) return false;
  return std::all_of(line.begin() + 3, line.end(), [](char c) { return c == ' ' || c == '\t'; });
}

int Base64Value(unsigned char c) {
  if (c >= 'A' && c <= 'Z') return c - 'A';
  if (c >= 'a' && c <= 'z') return c - 'a' + 26;
  if (c >= '0' && c <= '9') return c - '0' + 52;
  if (c == '+') return 62;
  if (c == '/') return 63;
  return -1;
}

bool IsBase64Line(const std::string& line) {
  if (line.empty()) return false;
  return std::all_of(line.begin(), line.end(),
                     [](char c) { return Base64Value(static_cast<unsigned char>(c)) >= 0 || c == '='; });
}

// "begin <mode> <name>" (or "begin-base64 <mode> <name>"): the name is the rest of the
// line after the mode, trailing blanks dropped.
std::string BeginName(const std::string& line, std::size_t skip) {
  std::size_t p = skip;
  while (p < line.size() && line[p] == ' ') ++p;
  while (p < line.size() && line[p] != ' ') ++p;
  while (p < line.size() && line[p] == ' ') ++p;
  std::size_t q = line.size();
  while (q > p && (line[q - 1] == ' ' || line[q - 1] == '\t')) --q;
  std::string name;
  ConvertMemberName(std::string_view(line).substr(p, q - p), TNameCoding::ncUtf8OrOem, name);
  return name;
}

}  // namespace

// Lines of one volume, read in blocks through the block reader.
class TUUDecode::TLineReader {
 public:
  explicit TLineReader(TUUDecode& engine) : engine_(engine), buffer_(kBlockSize) {}

  void Reset(IStream* in) {
    in_ = in;
    size_ = in->Size();
    consumed_ = 0;
    pos_ = len_ = 0;
    eof_ = false;
    pushedBack_ = false;
    in->Seek(0, TSeekOrigin::soBegin);
  }

  // The next line without its line feed and carriage returns; false when the volume has
  // no more bytes.
  bool ReadLine(std::string& line) {
    if (pushedBack_) {
      pushedBack_ = false;
      line = pushed_;
      return true;
    }
    line.clear();
    bool any = false;
    while (true) {
      if (pos_ == len_ && !Fill()) return any;
      any = true;
      const std::uint8_t* start = buffer_.data() + pos_;
      const auto* lf = static_cast<const std::uint8_t*>(std::memchr(start, '\n', len_ - pos_));
      const std::size_t n = lf ? static_cast<std::size_t>(lf - start) : len_ - pos_;
      for (std::size_t i = 0; i < n && line.size() < kMaxLine; ++i)
        if (start[i] != '\r') line += static_cast<char>(start[i]);
      pos_ += n;
      if (lf) {
        ++pos_;
        return true;
      }
    }
  }

  void PushBack(const std::string& line) {
    pushed_ = line;
    pushedBack_ = true;
  }

 private:
  bool Fill() {
    if (eof_) return false;
    const auto want = static_cast<std::size_t>(
        std::min<std::int64_t>(std::max<std::int64_t>(size_ - consumed_, 0), kBlockSize));
    const std::int64_t got = want == 0 ? 0 : engine_.ReadBlock(in_, want, kCrcNone, false, buffer_.data());
    if (got <= 0) {
      eof_ = true;
      return false;
    }
    consumed_ += got;
    pos_ = 0;
    len_ = static_cast<std::size_t>(got);
    const auto percent = static_cast<std::uint8_t>(Percent(consumed_, size_));
    engine_.ProgressByFile = engine_.ProgressByArchive = percent;
    if (engine_.ProgressProc) engine_.ProgressProc();
    return true;
  }

  TUUDecode& engine_;
  IStream* in_ = nullptr;
  std::vector<std::uint8_t> buffer_;
  std::int64_t size_ = 0, consumed_ = 0;
  std::size_t pos_ = 0, len_ = 0;
  bool eof_ = false;
  bool pushedBack_ = false;
  std::string pushed_;
};

void TUUDecode::SetVolumeStartNum(int value) {
  volumeStartNum_ = static_cast<std::uint8_t>(std::clamp(value, 0, 10));
}

void TUUDecode::SetArchiveFile(std::string_view name) {
  TUnBase::SetArchiveFile(name);
  if (arcType_ == TArcType::atUue || archiveFile_.empty()) return;
  TFileStream f;
  if (!f.Open(archiveFile_, platform::TFileAccess::faRead)) return;
  std::string text(static_cast<std::size_t>(std::min<std::int64_t>(f.Size(), kBlockSize)), '\0');
  const std::int64_t got = f.Read(text.data(), text.size());
  text.resize(got > 0 ? static_cast<std::size_t>(got) : 0);
  for (std::size_t p = 0, line = 0; p < text.size() && line < static_cast<std::size_t>(MaxHeaderLines); ++line) {
    if (text.compare(p, 13, "begin-base64 ") == 0) {
      arcType_ = TArcType::atUue;
      startOffset_ = 0;
      return;
    }
    p = text.find('\n', p);
    if (p == std::string::npos) break;
    ++p;
  }
}

std::string TUUDecode::NextVolumeFileName(int number) const {
  const std::string digits = std::to_string(number);
  const std::string& archive = ArchiveFile();
  const std::string file = platform::FileNamePart(archive);
  const std::string dir = archive.substr(0, archive.size() - file.size());
  // The extension starts at the first dot of the file name (folders may hold dots).
  const std::size_t dot = file.find('.');
  const std::string base = dot == std::string::npos ? file : file.substr(0, dot);
  const std::string ext = dot == std::string::npos ? std::string() : file.substr(dot);
  if (NextVolumeName == TNextVolumeName::nvChangeExt) {
    if (ext.empty()) return archive + digits;
    const std::size_t keep = digits.size() >= 4 ? 1 : 4 - digits.size();
    return dir + base + ext.substr(0, std::min(keep, ext.size())) + digits;
  }
  if (VolumeLongFilenames) {
    const std::size_t cut = std::min(digits.size(), base.size());
    return dir + base.substr(0, base.size() - cut) + digits + ext;
  }
  const std::size_t keep = digits.size() >= 8 ? 0 : 8 - digits.size();
  return dir + base.substr(0, std::min(keep, base.size())) + digits + ext;
}

void TUUDecode::UseAlphabet(std::string_view table) {
  table_.assign(table);
  reverse_.fill(-2);
  for (std::size_t i = table.size(); i-- > 0;)  // the first occurrence wins
    reverse_[static_cast<unsigned char>(table[i])] = static_cast<std::int8_t>(i);
  reverse_[' '] = 0;
}

// A line the current alphabet could have encoded: its length character's count fits the
// line's length (trailing blanks, which code 0, may have been stripped by a mailer; one
// or two check characters may follow) and every character is of the alphabet.
bool TUUDecode::IsDataLine(const std::string& line, bool strict) const {
  if (coding_ == TCoding::ceBase64) return IsBase64Line(line);
  if (line.empty()) return false;
  const int n = reverse_[static_cast<unsigned char>(line[0])];
  if (n < 0) return false;
  const std::size_t expected = 1 + 4 * ((static_cast<std::size_t>(n) + 2) / 3);
  if (line.size() > expected + 2) return false;
  if (strict ? line.size() < expected : line.size() + 4 < expected) return false;
  for (std::size_t i = 1; i < std::min(line.size(), expected); ++i)
    if (reverse_[static_cast<unsigned char>(line[i])] < 0) return false;
  return true;
}

// Picks the alphabet from the first data line: a full line's length character names it
// ("M" uuencode, "h" xxencode); a shorter first line (a file under 45 bytes) is tried
// against both alphabets. False when neither fits.
bool TUUDecode::SettleAlphabet(const std::string& first, const std::string& headerTable) {
  if (!headerTable.empty()) {
    coding_ = TCoding::ceTable;
    UseAlphabet(headerTable);
    fullLineChar_ = first.empty() ? headerTable[45] : first[0];
    return true;
  }
  const std::string uu = UuAlphabet();
  coding_ = TCoding::ceUu;
  UseAlphabet(uu);
  fullLineChar_ = 'M';
  if (!first.empty() && first[0] == 'M' && IsDataLine(first, false)) return true;
  coding_ = TCoding::ceXx;
  UseAlphabet(kXxAlphabet);
  fullLineChar_ = 'h';
  if (!first.empty() && first[0] == 'h' && IsDataLine(first, false)) return true;
  for (const TCoding c : {TCoding::ceUu, TCoding::ceXx}) {
    coding_ = c;
    UseAlphabet(c == TCoding::ceUu ? std::string_view(uu) : kXxAlphabet);
    fullLineChar_ = c == TCoding::ceUu ? 'M' : 'h';
    if (IsDataLine(first, true)) return true;
  }
  return false;
}

void TUUDecode::Put(std::uint8_t byte) {
  out_.push_back(byte);
  if (out_.size() == kBlockSize) Flush();
}

void TUUDecode::Flush() {
  if (out_.empty()) return;
  WriteBlock(output_, false, out_.size(), kCrcNone, false, out_.data());
  written_ += static_cast<std::int64_t>(out_.size());
  out_.clear();
}

void TUUDecode::DecodeLine(const std::string& line) {
  if (line.empty()) return;
  const int n = reverse_[static_cast<unsigned char>(line[0])];
  if (n <= 0) return;  // outside the alphabet, or a line of no bytes
  auto value = [&](std::size_t i) -> unsigned {
    const int v = i < line.size() ? reverse_[static_cast<unsigned char>(line[i])] : 0;
    return v < 0 ? 0u : static_cast<unsigned>(v);
  };
  int left = n;
  for (std::size_t i = 1; left > 0; i += 4) {
    const unsigned c0 = value(i), c1 = value(i + 1), c2 = value(i + 2), c3 = value(i + 3);
    const std::uint8_t b[3] = {static_cast<std::uint8_t>(c0 << 2 | c1 >> 4),
                               static_cast<std::uint8_t>(c1 << 4 | c2 >> 2),
                               static_cast<std::uint8_t>(c2 << 6 | c3)};
    for (int k = 0; k < 3 && left > 0; ++k, --left) Put(b[k]);
  }
}

void TUUDecode::DecodeBase64Line(const std::string& line) {
  for (const char ch : line) {
    if (ch == '=') {
      // Padding: what is left in the bit store is not data.
      base64Done_ = true;
      return;
    }
    const int v = Base64Value(static_cast<unsigned char>(ch));
    if (v < 0) continue;
    base64Bits_ = (base64Bits_ << 6) | static_cast<unsigned>(v);
    base64Count_ += 6;
    if (base64Count_ >= 8) {
      base64Count_ -= 8;
      Put(static_cast<std::uint8_t>(base64Bits_ >> base64Count_));
    }
  }
}

bool TUUDecode::RequestVolume(std::string& name, int number) {
  const std::string id = std::to_string(number);
  if (number > 999) {
    ReportError(name, "", id, kErrMaxVolumes);
    return false;
  }
  if (name.empty()) {
    ReportError(name, "", id, kErrInvalidFileName);
    return false;
  }
  if (!OnNextVolume) return AutoNextVolume && platform::FileExists(name);
  bool exists = platform::FileExists(name);
  for (int prompt = 0; prompt < kMaxVolumePrompts; ++prompt) {
    bool cancel = true;
    timer_.Pause();
    OnNextVolume(*this, name, id, exists, cancel);
    timer_.Resume();
    if (cancel) return false;
    if (platform::FileExists(name)) return true;
    exists = false;
  }
  return false;
}

// Moves to the next volume and past its preamble: up to a "begin" line (decoding goes on
// after it) or the first line that is data. False when the volume was refused.
bool TUUDecode::OpenNextVolume(TLineReader& reader, int& number) {
  ++number;
  std::string name = NextVolumeFileName(number);
  if (!RequestVolume(name, number)) return false;
  const std::string id = std::to_string(number);
  if (volume_.IsOpen()) {
    ArchiveStream = archive_;
    if (!volume_.Close()) RaiseError(name, "", id, kErrClosingFile);
  }
  if (!volume_.Open(name, platform::TFileAccess::faRead)) RaiseError(name, "", id, kErrOpeningFile);
  // The block reader reads the archive stream: the volume stands in for the first one.
  ArchiveStream = &volume_;
  reader.Reset(&volume_);
  std::string line;
  while (reader.ReadLine(line)) {
    if (StartsWith(line, "begin ") || StartsWith(line, "begin-base64 ")) break;
    if (IsEndLine(line) || (coding_ == TCoding::ceBase64 && StartsWith(line, "====")) ||
        IsDataLine(line, line.empty() || line[0] != fullLineChar_)) {
      reader.PushBack(line);
      break;
    }
  }
  return true;
}

void TUUDecode::ExtractArchive(IStream* archive) {
  out_.clear();
  out_.reserve(kBlockSize);
  written_ = 0;
  base64Bits_ = 0;
  base64Count_ = 0;
  base64Done_ = false;
  TLineReader reader(*this);
  reader.Reset(archive);

  // Header: up to the "begin" line, with optional "size" and "table" lines before it.
  std::string line, storedName;
  std::string headerTable;
  bool found = false;
  std::int64_t statedSize = -1;
  coding_ = TCoding::ceXx;
  for (int n = 0; n < MaxHeaderLines && reader.ReadLine(line); ++n) {
    if (StartsWith(line, "begin ")) {
      storedName = BeginName(line, 6);
      found = true;
      break;
    }
    if (StartsWith(line, "begin-base64 ")) {
      storedName = BeginName(line, 13);
      coding_ = TCoding::ceBase64;
      found = true;
      break;
    }
    if (StartsWith(line, "size") && line.size() > 5) {
      char* end = nullptr;
      const long long v = std::strtoll(line.c_str() + 5, &end, 10);
      if (end != line.c_str() + 5 && v >= 0) statedSize = v;
    } else if (StartsWith(line, "table")) {
      // The alphabet in two lines of 32 characters.
      std::string a, b;
      if (reader.ReadLine(a) && reader.ReadLine(b) && a.size() >= 32 && b.size() >= 32) {
        headerTable = a.substr(0, 32) + b.substr(0, 32);
      }
      n += 2;
    }
    // "charmap" lines (a character set name) and any other text are passed over.
  }
  if (!found) RaiseError(ArchiveFile(), "", "0", kErrBadFileHeader);

  std::string first;
  const bool haveFirst = reader.ReadLine(first);
  if (coding_ != TCoding::ceBase64) {
    if (!SettleAlphabet(haveFirst ? first : std::string(), headerTable) &&
        !(haveFirst && IsEndLine(first)))
      RaiseError(ArchiveFile(), "", ArchiveFile(), kErrUnsupportedMethod);
  }
  if (haveFirst) reader.PushBack(first);

  if (!BuildEntryName(storedName)) return;
  const auto archiveTime = platform::FileModTime(ArchiveFile());
  const double archiveDate = archiveTime ? UnixToDateTime(*archiveTime) : kDate1980;
  TExtractItem item;
  item.Name = storedName;
  item.PackedSize = item.UnpackedSize = archive->Size();
  item.DosDateTime = DateTimeToDosDate(archiveDate);
  AddItem(item);
  std::string display = storedName;
  bool skip = false;
  if (!ConfirmEntry(display, skip, archiveDate)) return;
  const std::string fn = OutputMode == 0 || OutputMode == 2 ? outputName_ : display;
  if (skip) {
    Fire(OnEnd, fn, true);
    return;
  }
  if (!OpenOutput()) RaiseError(outputName_, "", "0", kErrOpeningFile);

  bool ended = false, raised = false;
  bool lineOverrun = false;  // a full line ran on into more data: some of it was dropped
  int number = volumeStartNum_;
  try {
    while (!Cancel()) {
      if (!reader.ReadLine(line)) {
        // The data goes on in the next volume.
        if (!OpenNextVolume(reader, number)) break;
        continue;
      }
      if (coding_ == TCoding::ceBase64) {
        if (StartsWith(line, "====")) {
          ended = true;
          break;
        }
        if (!base64Done_) DecodeBase64Line(line);
        continue;
      }
      if (IsEndLine(line)) {
        ended = true;
        break;
      }
      DecodeLine(line);
      if (line.size() > kEncodedLineMax && line[0] == fullLineChar_ &&
          reverse_[static_cast<unsigned char>(line[kEncodedLineMax])] >= 0) {
        // Most likely two lines joined where a line end was lost: the second is not decoded.
        lineOverrun = true;
        ReportError(volume_.IsOpen() ? volume_.File().Path() : ArchiveFile(), "",
                    std::to_string(number), kErrUnexpectedEol);
      }
    }
    Flush();
  } catch (const EBase&) {
    // Reported where it was raised.
    ended = false;
    raised = true;
  }
  ArchiveStream = archive;
  if (volume_.IsOpen()) volume_.Close();
  // The text stopped (cancelled, or no next volume) before its "end" line: the file is
  // incomplete.
  if (!ended && !raised) ReportError(outputName_, "", std::to_string(number), kErrEolNotFound);
  CloseOutput(32, item.DosDateTime);
  const bool pass = ended && !lineOverrun && (statedSize < 0 || statedSize == written_);
  if (!pass) ++failedCount_;
  Fire(OnEnd, fn, pass);
}

}  // namespace engine
