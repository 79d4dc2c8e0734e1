// Engine helpers around files and folders: temporary files, deletion, folder creation,
// trailing separators, and the names of the volumes of multi-volume ACE, ARJ and RAR sets.
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

#include "engine/core/stream.h"
#include "engine/core/types.h"

namespace engine {

// Prefix of every temporary file the engines create.
inline constexpr std::string_view kTempFilePrefix = "doz";

// Creates a new, empty, uniquely named file starting with "doz" in `tempDir` (the system's
// temporary folder when `tempDir` is empty) and returns its path. Raises E_RAISE with
// kErrOpeningFile ("Error opening file") when no such file can be made.
std::string CreateTempFileName(std::string_view tempDir);

// A file stream on a fresh temporary file (see CreateTempFileName), opened for reading and
// writing with exclusive sharing. The file is deleted when the stream is destroyed unless
// Commit() or CommitTo() kept it. Raises E_RAISE(kErrOpeningFile) when it cannot be made.
class TTempFileStream : public TFileStream {
 public:
  explicit TTempFileStream(std::string_view tempDir);
  ~TTempFileStream() override;
  TTempFileStream(const TTempFileStream&) = delete;
  TTempFileStream& operator=(const TTempFileStream&) = delete;

  const std::string& FileName() const { return fileName_; }
  bool Committed() const { return committed_; }
  // Closes the stream and keeps the file where it is; false when closing failed (the file
  // is then still deleted on destruction).
  bool Commit();
  // Closes the stream and renames the file over `target` in one step (both must be on one
  // volume: writers make their temporary file beside the archive). False when closing or
  // renaming failed; the file is then deleted on destruction and `target` is untouched.
  bool CommitTo(std::string_view target);

 private:
  std::string fileName_;
  bool committed_ = false;
};

// Deletes a file; true on success. With `undo` the file should go to the recycle bin: that
// needs the shell (a platform service not offered yet), so for now it is deleted outright
// on every platform.
bool DeleteFileEx(std::string_view name, bool undo);

// True for an empty path or an existing folder.
bool DirectoryExists(std::string_view path);

// Creates `path` and every missing folder above it. An empty path raises EBase with the text
// of kErrUnableCreateDir ("Unable to create directory"); other failures are left for the
// caller to notice (DirectoryExists). Symbolic links and reparse points are never followed
// below `trustedBase` (a folder that is `path` or above it): a link there stops the creation.
// Without a base, the deepest existing folder of `path` must be a real folder, so a link
// placed earlier (say, extracted from an archive) cannot redirect new folders elsewhere.
void ForceDirectories(std::string_view path, std::string_view trustedBase = {});

// False when the file is missing or has the read-only, hidden, system, directory or volume
// label attribute.
bool IsPlainWritableFile(std::string_view name);

// A non-empty path that does not end in a separator gets the platform separator.
std::string AppendSlash(std::string_view path);
// One trailing separator is dropped (a path that is only a separator is kept).
std::string RemoveSlash(std::string_view path);

// The letter of generated volume extensions and the number of the next volume, as taken
// from the name of an archive of a multi-volume set.
struct TVolumeSuffix {
  char Letter = 'r';
  std::int32_t Number = 0;
};

// For atACE ('C'), atArj ('a'), atRar and atRarExe ('r'): the volume letter and number that
// `name` implies. The digits at the end of the extension give the number of this volume and
// the extension's first letter replaces the default letter ('x.a03' -> 'a', 4: the next
// volume); without digits the number is 1 for ARJ ('x.arj') and 0 for the others.
// nullopt for other types, which keep their volume state.
std::optional<TVolumeSuffix> ParseVolumeSuffix(std::string_view name, TArcType type);

// The name of volume `number` of the set `name` belongs to: the folder and the file name
// of `name` without its last extension, then "." + letter + two digits for numbers below 10
// ('set.r05'); from 10 on "." + letter + number ('set.r12'), or "." + number alone when
// `volumeNumber` (the engine's current one) is 100 or more ('set.123'). "" for an empty name
// or a negative number.
std::string VolumeFileName(std::string_view name, int number, char letter,
                           std::int32_t volumeNumber);

}  // namespace engine
