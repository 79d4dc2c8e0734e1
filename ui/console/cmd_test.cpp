// -test: checks every member of an archive without writing anything.
#include <algorithm>
#include <cstdio>
#include <string>
#include <vector>

#include "engine/decoders/zip_check.h"
#include "platform/fs.h"
#include "ui/console/commands.h"
#include "ui/console/engine_table.h"

namespace console {

int RunTest(const std::vector<std::string>& args) {
  const TCommandArgs parsed = ParseCommandArgs(args);
  if (!parsed.BadOption.empty() || parsed.Positional.size() != 1) {
    if (!parsed.BadOption.empty()) std::fprintf(stderr, "Unknown option: %s\n", parsed.BadOption.c_str());
    std::fprintf(stderr, "Usage: tessaly -test [-pPASSWORD] ARCHIVE\n");
    return 2;
  }
  const std::string& archive = parsed.Positional[0];
  if (!platform::FileExists(archive)) {
    std::fprintf(stderr, "%s: %s\n", archive.c_str(),
                 std::string(engine::ErrorText(engine::kErrFileNotFound)).c_str());
    return 1;
  }

  engine::TZipCheck check;
  check.SetArchiveFile(archive);
  check.SetFileSpec({"*.*"});
  check.Passwords = parsed.Passwords;
  int passed = 0, failed = 0, errors = 0;
  // The member under test (from OnBegin) and the first error reported for it.
  std::string member, memberError;
  // A member that ended without a status (refused before decoding) still gets its line.
  auto flushMember = [&] {
    if (!member.empty() && !memberError.empty()) {
      ++failed;
      std::printf("%s: %s\n", member.c_str(), memberError.c_str());
    }
    member.clear();
    memberError.clear();
  };
  check.OnBegin = [&](engine::TZipCommon&, const std::string& fn, int, bool&) {
    flushMember();
    member = fn;
  };
  check.OnError = [&](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                      const std::string&, int code) {
    const std::string text = ErrorMessage(code, msgEx);
    if (!member.empty()) {
      if (memberError.empty()) memberError = text;
      return;
    }
    ++errors;
    std::printf("%s: %s\n", fn.empty() ? archive.c_str() : fn.c_str(), text.c_str());
  };
  check.OnStatus = [&](engine::TZipCheck&, const std::string& fn, bool ok) {
    if (ok) {
      ++passed;
      std::printf("%s: OK\n", fn.c_str());
    } else {
      ++failed;
      const std::string text = memberError.empty()
                                   ? std::string(engine::ErrorText(engine::kErrCrcCheck))
                                   : memberError;
      std::printf("%s: %s\n", fn.c_str(), text.c_str());
    }
    member.clear();
    memberError.clear();
  };
  if (HaveTerminal()) {
    check.OnGetPassword = [](engine::TZipCommon&, const std::string& fn, std::string& password,
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
  check.Test();
  flushMember();
  const bool allGood = failed == 0 && errors == 0 && check.FailedCount() == 0;
  std::printf("%d member%s tested: %d OK, %d failed\n", passed + failed,
              passed + failed == 1 ? "" : "s", passed, std::max(failed, check.FailedCount()));
  return allGood ? 0 : 1;
}

}  // namespace console
