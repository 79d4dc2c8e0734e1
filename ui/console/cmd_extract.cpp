// -e, -es and -et: extract one archive into a folder with the engine of its kind.
#include <algorithm>
#include <cctype>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/core/zip_common.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/console/commands.h"
#include "ui/console/engine_table.h"

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

std::string StemOf(const std::string& path) {
  std::string name = platform::FileNamePart(path);
  const auto dot = name.rfind('.');
  if (dot != std::string::npos && dot > 0) name.resize(dot);
  return name;
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
  TKindProbe probe;
  probe.SetArchiveFile(archive);
  std::unique_ptr<engine::TUnBase> engine = MakeExtractor(probe.ArcType());
  if (!engine) {
    std::fprintf(stderr, "%s: Unsupported archive type\n", archive.c_str());
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

  engine::TUnBase& e = *engine;
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

}  // namespace console
