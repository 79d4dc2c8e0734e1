// Temporary files, deletion, folder helpers and multi-volume names.
#include "engine/core/helpers.h"

#include <cctype>

#include "engine/core/errors.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace engine {
namespace {

// Index just past the last separator of `path` (0 when there is none); on Windows a drive
// colon ends the folder part too.
std::size_t FileNameStart(std::string_view path) {
  for (std::size_t i = path.size(); i > 0; --i) {
    const char c = path[i - 1];
    if (platform::IsPathSeparator(c) || (platform::kIsWindows && c == ':')) return i;
  }
  return 0;
}

}  // namespace

std::string CreateTempFileName(std::string_view tempDir) {
  const std::string dir = tempDir.empty() ? platform::TempDirectory() : std::string(tempDir);
  auto name = platform::CreateTempFileName(dir, kTempFilePrefix);
  if (!name) throw E_RAISE(kErrOpeningFile, dir);
  return *name;
}

TTempFileStream::TTempFileStream(std::string_view tempDir)
    : fileName_(CreateTempFileName(tempDir)) {
  if (!Open(fileName_, platform::TFileAccess::faCreate, platform::TShareMode::smExclusive)) {
    platform::DeleteFile(fileName_);
    throw E_RAISE(kErrOpeningFile, fileName_);
  }
}

TTempFileStream::~TTempFileStream() {
  if (committed_) return;
  Close();
  platform::DeleteFile(fileName_);
}

bool TTempFileStream::Commit() {
  if (committed_) return true;
  if (IsOpen() && !Close()) return false;
  committed_ = true;
  return true;
}

bool TTempFileStream::CommitTo(std::string_view target) {
  if (committed_) return false;
  if (IsOpen() && !Close()) return false;
  if (!platform::ReplaceFile(fileName_, target)) return false;
  fileName_.assign(target);
  committed_ = true;
  return true;
}

bool DeleteFileEx(std::string_view name, bool undo) {
  (void)undo;  // the recycle bin needs a shell service of the platform layer
  return platform::DeleteFile(name);
}

bool DirectoryExists(std::string_view path) {
  return path.empty() || platform::DirectoryExists(path);
}

void ForceDirectories(std::string_view path, std::string_view trustedBase) {
  if (path.empty()) throw EBase(std::string(ErrorText(kErrUnableCreateDir)));
  const std::string target = RemoveSlash(path);
  if (platform::DirectoryExists(target)) return;
  std::string base = RemoveSlash(trustedBase);
  if (base.empty()) {
    // Trust the folders above the deepest one that exists; that one and everything made
    // below it must be real folders, not links.
    std::string existing = target;
    while (!existing.empty() && !platform::DirectoryExists(existing)) {
      const std::string parent = platform::DirectoryPart(existing);
      if (parent == existing) break;
      existing = parent;
    }
    base = existing.empty() ? std::string() : platform::DirectoryPart(existing);
    if (base == existing) base.clear();
  }
  platform::CreateDirectories(target, base);  // a failure shows when the folder is used
}

bool IsPlainWritableFile(std::string_view name) {
  const auto attributes = platform::FileAttributes(name);
  if (!attributes) return false;
  constexpr std::uint32_t kNotPlain = platform::kAttrReadOnly | platform::kAttrHidden |
                                      platform::kAttrSystem | platform::kAttrDirectory |
                                      platform::kAttrVolumeLabel;
  return (*attributes & kNotPlain) == 0;
}

std::string AppendSlash(std::string_view path) {
  std::string result(path);
  if (!result.empty() && !platform::IsPathSeparator(result.back()))
    result += platform::kPathSeparator;
  return result;
}

std::string RemoveSlash(std::string_view path) {
  if (path.size() > 1 && platform::IsPathSeparator(path.back())) path.remove_suffix(1);
  return std::string(path);
}

std::optional<TVolumeSuffix> ParseVolumeSuffix(std::string_view name, TArcType type) {
  using enum TArcType;
  TVolumeSuffix result;
  std::string_view fallback;
  switch (type) {
    case atACE: result.Letter = 'C'; fallback = "Ace"; break;
    case atArj: result.Letter = 'a'; fallback = "Arj"; break;
    case atRar: case atRarExe: result.Letter = 'r'; fallback = "Rar"; break;
    default: return std::nullopt;
  }
  const std::string_view fileName = name.substr(FileNameStart(name));
  const std::size_t dot = fileName.rfind('.');
  std::string_view ext = dot == std::string_view::npos ? fallback : fileName.substr(dot + 1);
  if (ext.empty()) ext = fallback;

  // The run of digits that ends the extension is this volume's number ('a03' -> 3).
  std::size_t first = ext.size();
  while (first > 0 && std::isdigit(static_cast<unsigned char>(ext[first - 1]))) --first;
  if (first == ext.size()) {
    result.Number = type == atArj ? 1 : 0;
    return result;
  }
  std::int64_t number = 0;
  for (std::size_t i = first; i < ext.size() && number < INT32_MAX; ++i)
    number = number * 10 + (ext[i] - '0');
  if (number >= INT32_MAX) number = INT32_MAX - 1;
  result.Letter = ext[0];
  result.Number = static_cast<std::int32_t>(number + 1);
  return result;
}

std::string VolumeFileName(std::string_view name, int number, char letter,
                           std::int32_t volumeNumber) {
  if (name.empty() || number < 0) return {};
  const std::size_t start = FileNameStart(name);
  std::string_view fileName = name.substr(start);
  // Only the last extension is the volume's: 'my.backup.r00' continues as 'my.backup.r01'.
  const std::size_t dot = fileName.rfind('.');
  if (dot != std::string_view::npos) fileName = fileName.substr(0, dot);
  std::string result(name.substr(0, start));
  result += fileName;
  result += '.';
  if (number <= 9) {
    result += letter;
    result += '0';
  } else if (volumeNumber < 100) {
    result += letter;
  }
  result += std::to_string(number);
  return result;
}

}  // namespace engine
