// The console's ZIP work through the ZIP bridge.
#include "ui/console/zip_bridge_commands.h"

#include <algorithm>
#include <cctype>
#include <cstdio>

#include "engine/core/dates.h"
#include "engine/core/method_names.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "zipbridge/zip_master.h"

namespace console {

namespace {

using zipbridge::TZipMaster;

// Messages of the bridge and its libraries go to standard error; those with a code count as
// failures.
struct TBridgeReport {
  int Failed = 0;
  int Skipped = 0;
  void Attach(TZipMaster& z) {
    z.OnMessage = [this](TZipMaster&, int code, const std::string& text) {
      std::fprintf(stderr, "%s\n", text.c_str());
      if (code != 0) ++Failed;
    };
  }
};

// A member name as this system writes paths.
std::string Shown(std::string name) {
  std::replace(name.begin(), name.end(), '\\', platform::kPathSeparator);
  return name;
}

}  // namespace

bool ListThroughZipBridge(engine::TDivED& lister, const std::string& archive) {
  TZipMaster z;
  z.SetZipFileName(archive);
  if (z.ZipFileName().empty()) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), z.LastMessage().c_str());
    return false;
  }
  const engine::TArcType type = lister.ArcType();
  lister.Count = 0;
  lister.TotalPackedSize = lister.TotalUnpackedSize = 0;
  for (const zipbridge::ZipDirEntry& d : z.Entries()) {
    engine::TArchiveEntry& e = lister.Entry;
    e = engine::TArchiveEntry{};
    e.FileName = d.EntryName;
    e.PackedSize = static_cast<std::int64_t>(d.PackedSize);
    e.UnpackedSize = static_cast<std::int64_t>(d.UnpackedSize);
    e.Ratio = engine::CompressionRatio(e.PackedSize, e.UnpackedSize);
    e.CRC = d.CRC32;
    e.DateTime = engine::DosDateToDateTime(d.DosDateTime);
    e.MethodCode = d.CompressionMethod;
    e.MethodName = engine::MethodName(type, d.CompressionMethod, d.GeneralFlags, d.ExtFileAttrib);
    e.Encrypted = d.IsEncrypted != 0;
    e.VersionMadeBy = static_cast<std::uint16_t>(d.MadeByVersion | (d.HostVersionNo << 8));
    e.VersionNeeded = d.VersionNeeded;
    e.InternalAttr = d.IntFileAttrib;
    e.ExternalAttr = d.ExtFileAttrib;
    // Folders (the directory attribute) are shown with a trailing separator but not
    // counted, as the lister does.
    const bool folder = (d.ExtFileAttrib & 0x10) != 0;
    if (folder && !lister.ShowBlankDirs) continue;
    if (folder && (e.FileName.empty() || e.FileName.back() != '\\')) e.FileName += '\\';
    if (!folder) {
      ++lister.Count;
      lister.TotalPackedSize += e.PackedSize;
      lister.TotalUnpackedSize += e.UnpackedSize;
    }
    if (lister.OnRead) lister.OnRead(lister, static_cast<std::int64_t>(d.RelOffLocalHdr), lister.Count);
  }
  lister.TotalRatio = engine::CompressionRatio(lister.TotalPackedSize, lister.TotalUnpackedSize);
  if (lister.OnTotals) lister.OnTotals(lister, lister.Count);
  return true;
}

int ExtractThroughZipBridge(const std::string& archive, const std::string& target,
                            const TCommandArgs& parsed) {
  TZipMaster z;
  TBridgeReport report;
  report.Attach(z);
  z.SetZipFileName(archive);
  if (z.ZipFileName().empty()) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), z.LastMessage().c_str());
    return 1;
  }
  const bool interactive = HaveTerminal();
  int files = 0;
  for (const auto& e : z.Entries())
    if (!e.EntryName.empty() && e.EntryName.back() != '\\') ++files;

  // The -p passwords in turn for each file, then (on a terminal) the user.
  const std::vector<std::string>& passwords = parsed.Passwords;
  if (!passwords.empty()) z.SetPassword(passwords.front());
  std::string askedFor;
  std::size_t next = 1;
  z.SetPasswordReqCount(static_cast<unsigned>(passwords.size()) + (interactive ? 3 : 0));
  z.OnPasswordError = [&](TZipMaster&, std::string& password, const std::string& forFile,
                          unsigned&) {
    if (forFile != askedFor) {
      askedFor = forFile;
      next = 1;
    }
    if (next < passwords.size()) {
      password = passwords[next++];
      return;
    }
    if (!interactive) return;
    const auto line = AskLine("Password for " + forFile + " (empty to give up): ");
    if (line) password = *line;
  };
  z.OnExtractOverwrite = [&](TZipMaster&, const std::string& forFile, bool, bool& overwrite) {
    if (interactive) {
      const auto answer = AskLine("Replace " + forFile + "? [y]es, [n]o: ");
      overwrite = answer && !answer->empty() && std::tolower(static_cast<unsigned char>((*answer)[0])) == 'y';
    } else {
      overwrite = false;
    }
  };
  z.OnExtractSkipped = [&](TZipMaster&, const std::string& forFile, zipbridge::UnZipSkipTypes type, int) {
    ++report.Skipped;
    if (type == zipbridge::UnZipSkipTypes::stNoOverwrite || type == zipbridge::UnZipSkipTypes::stOnFreshen)
      std::fprintf(stderr, "%s: exists, skipped\n", Shown(forFile).c_str());
    else if (type == zipbridge::UnZipSkipTypes::stBadPassword)
      std::fprintf(stderr, "%s: %s\n", Shown(forFile).c_str(),
                   std::string(engine::ErrorText(engine::kErrPasswordProtected)).c_str());
  };
  z.OnProgress = [](TZipMaster&, zipbridge::ProgressType type, const std::string& name, std::uint32_t) {
    if (type == zipbridge::ProgressType::NewFile) std::printf("  extracting: %s\n", Shown(name).c_str());
  };
  z.ExtrBaseDir = target;
  z.ExtrOptions = {zipbridge::ExtrOptsEnum::ExtrDirNames};
  z.FSpecArgs = {"*.*"};
  z.ExtractEntries();
  const int extracted = z.SucceededCount();
  if (extracted == 0 && files > 0 && report.Failed == 0 && report.Skipped == 0 && z.LastErrorCode() != 0)
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), z.LastMessage().c_str());
  const int failed = std::max(report.Failed, files - extracted - report.Skipped);
  std::printf("%d extracted, %d failed, %d skipped\n", extracted, failed, report.Skipped);
  return extracted == files && report.Failed == 0 && report.Skipped == 0 ? 0 : 1;
}

int AddThroughZipBridge(const TZipBridgeAdd& request) {
  std::string archive = request.Archive;
  if (platform::DirectoryPart(archive).empty())
    archive = platform::JoinPath(platform::CurrentDirectory(), archive);
  if (platform::ExtensionPart(archive).empty()) archive += ".zip";
  TZipMaster z;
  TBridgeReport report;
  report.Attach(z);
  z.Unattended = true;
  const bool existed = platform::FileExists(archive);
  z.SetZipFileName(archive);
  if (existed && z.ZipFileName().empty()) {
    // Not a ZIP archive the bridge can read: left alone.
    std::fprintf(stderr, "%s: %s\n", archive.c_str(),
                 std::string(engine::ErrorText(engine::kErrBadFileHeader)).c_str());
    return 1;
  }
  if (z.ZipFileName().empty()) z.SetZipFileName(archive);
  using zipbridge::AddOptsEnum;
  z.AddOptions = {AddOptsEnum::AddRecurseDirs, AddOptsEnum::AddHiddenFiles};
  if (request.Update) z.AddOptions.insert(AddOptsEnum::AddUpdate);
  if (request.Freshen) z.AddOptions.insert(AddOptsEnum::AddFreshen);
  if (request.Move) z.AddOptions.insert(AddOptsEnum::AddMove);
  if (request.DirNames) z.AddOptions.insert(AddOptsEnum::AddDirNames);
  z.AddCompLevel = request.Level;
  for (const std::string& s : request.Specs)
    z.FSpecArgs.push_back(platform::DirectoryExists(s) ? platform::JoinPath(s, "*.*") : s);
  z.OnProgress = [](TZipMaster&, zipbridge::ProgressType type, const std::string& name, std::uint32_t) {
    if (type == zipbridge::ProgressType::NewFile) std::printf("  adding: %s\n", Shown(name).c_str());
  };
  z.AddFiles();
  const bool written = z.SucceededCount() > 0;
  if (!written && report.Failed == 0 && z.LastErrorCode() != 0)
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), z.LastMessage().c_str());
  std::printf("%d added, %d failed\n", z.SucceededCount(), report.Failed);
  if (!written && !existed) return 1;
  return report.Failed == 0 ? 0 : 1;
}

}  // namespace console
