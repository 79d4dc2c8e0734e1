// Split ZIP sets as one stream.
#include "engine/decoders/zip_span.h"

#include <algorithm>
#include <cctype>

#include "platform/fs.h"
#include "platform/path.h"

namespace engine {

namespace {

// `name` without its extension, and the extension (with its dot).
void SplitExtension(std::string_view name, std::string& stem, std::string& ext) {
  const std::string file = platform::FileNamePart(name);
  const auto dot = file.rfind('.');
  if (dot == std::string::npos) {
    stem = std::string(name);
    ext.clear();
    return;
  }
  const std::size_t cut = name.size() - (file.size() - dot);
  stem = std::string(name.substr(0, cut));
  ext = std::string(name.substr(cut));
}

std::string SegmentExtension(char letter, int number) {
  std::string digits = std::to_string(number);
  if (digits.size() < 2) digits.insert(0, 1, '0');
  return std::string(".") + letter + digits;
}

}  // namespace

std::vector<std::string> TZipSpan::SegmentNames(std::string_view lastName, int lastDisk) {
  std::string stem, ext;
  SplitExtension(lastName, stem, ext);
  const char letter = ext.size() >= 2 && std::isupper(static_cast<unsigned char>(ext[1])) ? 'Z' : 'z';
  std::vector<std::string> names;
  for (int disk = 0; disk < lastDisk; ++disk) names.push_back(stem + SegmentExtension(letter, disk + 1));
  names.emplace_back(lastName);
  return names;
}

std::vector<std::string> TZipSpan::SetFromFirstSegment(std::string_view name) {
  std::string stem, ext;
  SplitExtension(name, stem, ext);
  if (ext.size() != 4 || (ext[1] != 'z' && ext[1] != 'Z') || ext.substr(2) != "01") return {};
  std::vector<std::string> names;
  // A set of more than 65535 disks cannot be described by a ZIP end record.
  for (int disk = 1; disk <= 65535; ++disk) {
    const std::string segment = stem + SegmentExtension(ext[1], disk);
    if (!platform::FileExists(segment)) break;
    names.push_back(segment);
  }
  for (const char* last : {".zip", ".ZIP", ".Zip"}) {
    if (platform::FileExists(stem + last)) {
      names.push_back(stem + last);
      return names;
    }
  }
  return {};
}

bool TZipSpan::Open(std::vector<std::string> names) {
  names_ = std::move(names);
  starts_.clear();
  total_ = pos_ = 0;
  current_ = -1;
  if (file_.IsOpen()) file_.Close();
  for (const std::string& name : names_) {
    const auto size = platform::FileSize(name);
    if (!size) {
      missing_ = name;
      return false;
    }
    starts_.push_back(total_);
    total_ += *size;
  }
  starts_.push_back(total_);
  return true;
}

std::int64_t TZipSpan::DiskStart(int disk) const {
  if (disk < 0 || disk >= DiskCount()) return -1;
  return starts_[static_cast<std::size_t>(disk)];
}

bool TZipSpan::Select(int disk) {
  if (disk == current_) return true;
  if (file_.IsOpen()) file_.Close();
  current_ = -1;
  if (!file_.Open(names_[static_cast<std::size_t>(disk)], platform::TFileAccess::faRead,
                  platform::TShareMode::smDenyWrite))
    return false;
  current_ = disk;
  return true;
}

std::int64_t TZipSpan::Read(void* buffer, std::size_t count) {
  auto* out = static_cast<std::uint8_t*>(buffer);
  std::size_t done = 0;
  while (done < count && pos_ < total_) {
    // The disk holding pos_: the last one whose start is not above it.
    const auto it = std::upper_bound(starts_.begin(), starts_.end() - 1, pos_);
    const int disk = static_cast<int>(it - starts_.begin()) - 1;
    if (!Select(disk)) return done ? static_cast<std::int64_t>(done) : -1;
    const std::int64_t inDisk = pos_ - starts_[static_cast<std::size_t>(disk)];
    const std::int64_t left = starts_[static_cast<std::size_t>(disk) + 1] - pos_;
    if (file_.Seek(inDisk, TSeekOrigin::soBegin) != inDisk)
      return done ? static_cast<std::int64_t>(done) : -1;
    const std::size_t want = static_cast<std::size_t>(std::min<std::int64_t>(left, static_cast<std::int64_t>(count - done)));
    const std::int64_t got = file_.Read(out + done, want);
    if (got <= 0) return done ? static_cast<std::int64_t>(done) : got;
    done += static_cast<std::size_t>(got);
    pos_ += got;
  }
  return static_cast<std::int64_t>(done);
}

std::int64_t TZipSpan::Write(const void*, std::size_t) { return -1; }

std::int64_t TZipSpan::Seek(std::int64_t offset, TSeekOrigin origin) {
  std::int64_t base = 0;
  if (origin == TSeekOrigin::soCurrent) base = pos_;
  if (origin == TSeekOrigin::soEnd) base = total_;
  const std::int64_t p = base + offset;
  if (p < 0) return -1;
  pos_ = p;
  return p;
}

}  // namespace engine
