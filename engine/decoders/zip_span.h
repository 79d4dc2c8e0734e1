// The segments of a split ZIP set (name.z01, name.z02, ..., name.zip) read as one stream.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/stream.h"

namespace engine {

// Reads the segments of a split set as if they were one file. ZIP offsets are relative to
// the segment ("disk") that holds them; DiskStart turns them into positions of this
// stream. Only one segment file is open at a time. Read-only: Write fails.
class TZipSpan final : public IStream {
 public:
  // The names of a set whose last segment is `lastName` and whose last disk has the
  // 0-based number `lastDisk`: disks 0..lastDisk-1 are `lastName` with the extension
  // ".z01", ".z02", ... (".z100" from the hundredth on; the letter's case follows the last
  // segment's extension), disk `lastDisk` is `lastName` itself.
  static std::vector<std::string> SegmentNames(std::string_view lastName, int lastDisk);
  // For a first segment ("set.z01"): the names of the whole set, the existing ".zNN"
  // segments in order followed by the ".zip" one. Empty when `name` is not a ".z01"
  // segment or the ".zip" segment is missing.
  static std::vector<std::string> SetFromFirstSegment(std::string_view name);

  // Takes the segment names and their sizes; false when one cannot be found (its name is
  // then in MissingName()).
  bool Open(std::vector<std::string> names);
  const std::string& MissingName() const { return missing_; }

  int DiskCount() const { return static_cast<int>(names_.size()); }
  // Position in this stream of offset 0 of disk `disk`; -1 for a disk the set lacks.
  std::int64_t DiskStart(int disk) const;

  std::int64_t Read(void* buffer, std::size_t count) override;
  std::int64_t Write(const void* buffer, std::size_t count) override;
  std::int64_t Seek(std::int64_t offset, TSeekOrigin origin) override;
  std::int64_t Position() override { return pos_; }
  std::int64_t Size() override { return total_; }

 private:
  bool Select(int disk);

  std::vector<std::string> names_;
  std::vector<std::int64_t> starts_;  // starts_[i] = sum of the sizes of disks 0..i-1
  std::int64_t total_ = 0;
  std::int64_t pos_ = 0;
  int current_ = -1;
  TFileStream file_;
  std::string missing_;
};

}  // namespace engine
