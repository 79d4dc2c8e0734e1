// -e, -es and -et: extract one archive into a folder with the engine of its kind.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/zip_common.h"
#include "engine/decoders/un_gzip.h"
#include "engine/decoders/un_tar.h"
#include "zipbridge/bzip2.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/console/commands.h"
#include "ui/console/engine_table.h"
#include "ui/console/zip_bridge_commands.h"

namespace console {

namespace {

// An engine used only for what assignment of ArchiveFile tells.
class TKindProbe : public engine::TZipCommon {};

// Counts of one extraction, for the exit status.
struct TExtractTally {
  int Extracted = 0;
  int Failed = 0;
  int Skipped = 0;
  bool ErrorSinceBegin = false;
};

// The lower-cased name of a file, for telling kinds by their extensions.
std::string LowerName(const std::string& path) {
  std::string name = platform::FileNamePart(path);
  for (char& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return name;
}

bool EndsWith(const std::string& s, const std::string& tail) {
  return s.size() >= tail.size() && s.compare(s.size() - tail.size(), tail.size(), tail) == 0;
}

std::string StemOf(const std::string& path) {
  std::string name = platform::FileNamePart(path);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
}

// Runs one extraction with the console's questions and reports; returns the exit status.
int RunEngine(engine::TUnBase& e, const std::string& archive, const std::string& target,
              const TCommandArgs& parsed) {
  const bool interactive = HaveTerminal();
  TExtractTally tally;
  e.SetArchiveFile(archive);
  e.SetExtractDir(target);
  e.SetFileSpec({"*.*"});
  e.UseStoredDirs = true;
  e.Passwords = parsed.Passwords;
  e.ConfirmOverwrites = true;
  e.OverwriteMode = engine::TOverwriteMode::omOverwrite;

  e.OnBegin = [&](engine::TZipCommon&, const std::string&, int, bool&) {
    tally.ErrorSinceBegin = false;
  };
  e.OnError = [&](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                  const std::string&, int code) {
    const std::string who = fn.empty() ? archive : fn;
    std::fprintf(stderr, "%s: %s\n", who.c_str(), ErrorMessage(code, msgEx).c_str());
    tally.ErrorSinceBegin = true;
    ++tally.Failed;
  };
  e.OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool pass) {
    if (pass) {
      ++tally.Extracted;
      std::printf("  extracted: %s\n", fn.c_str());
      return;
    }
    // A member that failed without an error of its own failed its checksum.
    if (!tally.ErrorSinceBegin) {
      std::fprintf(stderr, "%s: %s\n", fn.c_str(),
                   std::string(engine::ErrorText(engine::kErrCrcCheck)).c_str());
      ++tally.Failed;
    }
    tally.ErrorSinceBegin = false;
  };
  e.OnFileExists = [&](engine::TZipCommon& sender, const std::string& fn, double,
                       engine::TOverwriteMode& mode) {
    if (interactive) {
      while (true) {
        const auto answer = AskLine("Replace " + fn + "? [y]es, [n]o, [a]ll: ");
        const char c = answer && !answer->empty() ? static_cast<char>(std::tolower((*answer)[0])) : 'n';
        if (c == 'y') {
          mode = engine::TOverwriteMode::omOverwrite;
          return;
        }
        if (c == 'a') {
          mode = engine::TOverwriteMode::omOverwrite;
          sender.ConfirmOverwrites = false;
          return;
        }
        if (c == 'n' || !answer) break;
      }
    }
    mode = engine::TOverwriteMode::omSkip;
    ++tally.Skipped;
    std::fprintf(stderr, "%s: exists, skipped\n", fn.c_str());
  };
  if (interactive) {
    e.OnGetPassword = [](engine::TZipCommon&, const std::string& fn, std::string& password,
                         bool& tryAgain) {
      const auto line = AskLine("Password for " + fn + " (empty to give up): ");
      if (!line || line->empty()) {
        tryAgain = false;
        password.clear();
        return;
      }
      password = *line;
    };
  }

  try {
    e.Extract();
  } catch (const engine::E_RAISE&) {
    // Reported through OnError.
    ++tally.Failed;
  } catch (const engine::EBase& err) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), err.what());
    ++tally.Failed;
  }
  tally.Failed = std::max(tally.Failed, e.FailedCount());
  std::printf("%d extracted, %d failed, %d skipped\n", tally.Extracted, tally.Failed,
              tally.Skipped);
  return tally.Failed == 0 && tally.Skipped == 0 ? 0 : 1;
}

// A private temporary folder that goes away with everything in it.
class TScratchFolder {
 public:
  TScratchFolder() {
    if (auto d = platform::CreateTempDirectory("tessaly")) path_ = *d;
  }
  ~TScratchFolder() {
    if (path_.empty()) return;
    for (const auto& f : platform::FindFiles(path_, "*")) platform::DeleteFile(platform::JoinPath(path_, f.Name));
    platform::RemoveDirectory(path_);
  }
  const std::string& Path() const { return path_; }

 private:
  std::string path_;
};

// Decompresses a bzip2 file whole into `output`; false (reported) when that fails.
bool Bunzip(const std::string& archive, const std::string& output) {
  try {
    zipbridge::Tbzip2 bz;
    engine::TFileStream in, out;
    if (!in.Open(archive, platform::TFileAccess::faRead)) {
      std::fprintf(stderr, "%s: %s\n", archive.c_str(), std::string(engine::ErrorText(engine::kErrOpeningFile)).c_str());
      return false;
    }
    if (!out.Open(output, platform::TFileAccess::faCreate)) {
      std::fprintf(stderr, "%s: %s\n", output.c_str(), std::string(engine::ErrorText(engine::kErrOpeningFile)).c_str());
      return false;
    }
    bz.DecompressStream(in, out);
    return out.Close();
  } catch (const engine::EBase& err) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(), err.what());
    platform::DeleteFile(output);
    return false;
  }
}

// Decodes the tar inside a gzip or compress file into `folder`; the tar's path, or "".
std::string Gunzip(const std::string& archive, const std::string& folder) {
  engine::TUnGZIP gz;
  gz.SetArchiveFile(archive);
  gz.SetExtractDir(folder);
  gz.SetFileSpec({"*.*"});
  gz.ConfirmOverwrites = false;
  bool pass = false;
  gz.OnEnd = [&](engine::TZipCommon&, const std::string&, bool p) { pass = p; };
  gz.OnError = [&](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                   const std::string&, int code) {
    std::fprintf(stderr, "%s: %s\n", fn.empty() ? archive.c_str() : fn.c_str(),
                 ErrorMessage(code, msgEx).c_str());
  };
  try {
    gz.Extract();
  } catch (const engine::EBase&) {
    return {};
  }
  return pass ? gz.DecodedFile() : std::string();
}

// Extracts one archive: compressed tars and bzip2 files first go through their stream
// decoder into a private temporary folder (nothing is written beside the archive), then
// the engine of the archive's kind extracts.
int ExtractArchiveFile(const std::string& archive, const std::string& target,
                       const TCommandArgs& parsed) {
  const std::string lower = LowerName(archive);
  TScratchFolder scratch;
  std::string source = archive;
  const bool tgz = EndsWith(lower, ".tgz") || EndsWith(lower, ".tar.gz") ||
                   EndsWith(lower, ".tar.z") || EndsWith(lower, ".taz");
  const bool tbz = EndsWith(lower, ".tbz") || EndsWith(lower, ".tbz2") ||
                   EndsWith(lower, ".tar.bz2") || EndsWith(lower, ".tar.bz");
  const bool bz = !tbz && (EndsWith(lower, ".bz2") || EndsWith(lower, ".bz"));
  if ((tgz || tbz) && scratch.Path().empty()) {
    std::fprintf(stderr, "%s\n", std::string(engine::ErrorText(engine::kErrOpeningFile)).c_str());
    return 1;
  }
  if (tgz) {
    source = Gunzip(archive, scratch.Path());
    if (source.empty()) return 1;
  } else if (tbz) {
    source = platform::JoinPath(scratch.Path(), StemOf(archive) + ".tar");
    if (!Bunzip(archive, source)) return 1;
  } else if (bz) {
    // A plain bzip2 file: its content under the archive's name without the last
    // extension (".out" when no extension is left).
    std::string name = StemOf(archive);
    if (name.find('.') == std::string::npos) name += ".out";
    const std::string output = platform::JoinPath(target, name);
    if (platform::FileExists(output) && !HaveTerminal()) {
      std::fprintf(stderr, "%s: exists, skipped\n", output.c_str());
      return 1;
    }
    if (!Bunzip(archive, output)) return 1;
    std::printf("  extracted: %s\n1 extracted, 0 failed, 0 skipped\n", output.c_str());
    return 0;
  }

  TKindProbe probe;
  probe.SetArchiveFile(source);
  // The ZIP kinds go through the ZIP bridge.
  if (engine::IsZipFamily(probe.ArcType())) return ExtractThroughZipBridge(source, target, parsed);
  std::unique_ptr<engine::TUnBase> engine = MakeExtractor(probe.ArcType());
  if (!engine) {
    std::fprintf(stderr, "%s: Unsupported archive type\n", archive.c_str());
    return 1;
  }
  return RunEngine(*engine, source, target, parsed);
}

}  // namespace

int RunExtract(const std::string& sw, const std::vector<std::string>& args) {
  const TCommandArgs parsed = ParseCommandArgs(args);
  if (!parsed.BadOption.empty() || parsed.Positional.empty() || parsed.Positional.size() > 2) {
    if (!parsed.BadOption.empty()) std::fprintf(stderr, "Unknown option: %s\n", parsed.BadOption.c_str());
    std::fprintf(stderr, "Usage: tessaly %s [-pPASSWORD] ARCHIVE [FOLDER]\n", sw.c_str());
    return 2;
  }
  const std::string& archive = parsed.Positional[0];
  if (!platform::FileExists(archive)) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(),
                 std::string(engine::ErrorText(engine::kErrFileNotFound)).c_str());
    return 1;
  }
  std::string target = parsed.Positional.size() > 1 ? parsed.Positional[1]
                                                    : platform::DirectoryPart(archive);
  if (target.empty()) target = platform::CurrentDirectory();
  if (sw == "-es") target = platform::JoinPath(target, StemOf(archive));
  if (!platform::DirectoryExists(target) && !platform::CreateDirectories(target)) {
    std::fprintf(stderr, "%s: %s\n", target.c_str(),
                 std::string(engine::ErrorText(engine::kErrUnableCreateDir)).c_str());
    return 1;
  }

  return ExtractArchiveFile(archive, target, parsed);
}

}  // namespace console
