// -a: add files to a ZIP archive (create it when missing) with the ZIP writer.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "engine/writers/zip_writer.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/console/commands.h"
#include "ui/console/engine_table.h"

namespace console {

namespace {

// The program's own texts ("\r" in them is a line break on a console).
constexpr const char* kTooFewParameters =
    "Error: There must be at least three parameters\n"
    "TESSLY -a <full_path_of_archive> <full_path_of_files_to_add>";
constexpr const char* kInvalidLevel = "Invalid compression level.";

std::string LowerExtension(const std::string& path) {
  std::string ext = platform::ExtensionPart(path);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return ext;
}

struct TAddOptions {
  int Level = 3;  // -c digit: 0 store, 1..4 the four deflate levels (3 = normal, the default)
  bool Update = false, Freshen = false, Move = false, FullPaths = false;
  std::string Archive;
  std::vector<std::string> Specs;
  std::string BadOption;
};

TAddOptions ParseAddArgs(const std::vector<std::string>& args) {
  TAddOptions o;
  for (const std::string& a : args) {
    if (a.size() < 2 || a[0] != '-') {
      if (o.Archive.empty())
        o.Archive = a;
      else
        o.Specs.push_back(a);
      continue;
    }
    const char c = static_cast<char>(std::tolower(static_cast<unsigned char>(a[1])));
    if (c == 'c') {
      if (a.size() == 3 && a[2] >= '0' && a[2] <= '4')
        o.Level = a[2] - '0';
      else
        std::fprintf(stderr, "%s\n", kInvalidLevel);  // the add goes on at the level it had
    } else if (a.size() == 2 && c == 'u') {
      o.Update = true;
    } else if (a.size() == 2 && c == 'f') {
      o.Freshen = true;
    } else if (a.size() == 2 && c == 'm') {
      o.Move = true;
    } else if (a.size() == 2 && c == 's') {
      o.FullPaths = true;
    } else if (o.BadOption.empty()) {
      o.BadOption = a;
    }
  }
  return o;
}

}  // namespace

int RunAdd(const std::vector<std::string>& args) {
  const TAddOptions o = ParseAddArgs(args);
  if (!o.BadOption.empty()) {
    if (o.BadOption.size() >= 2 && (o.BadOption[1] == 'v' || o.BadOption[1] == 'V'))
      std::fprintf(stderr, "%s: spanned archives are not available in this build\n",
                   o.BadOption.c_str());
    else
      std::fprintf(stderr, "Unknown option: %s\n", o.BadOption.c_str());
    return 2;
  }
  if (o.Archive.empty() || o.Specs.empty()) {
    std::fprintf(stderr, "%s\n", kTooFewParameters);
    return 2;
  }
  const std::string ext = LowerExtension(o.Archive);
  if (ext == ".cab" || ext == ".lha" || ext == ".lzh" || ext == ".bh") {
    std::fprintf(stderr, "%s: writing %s archives is not available in this build\n",
                 o.Archive.c_str(), ext.c_str());
    return 1;
  }

  std::unique_ptr<engine::TZip> zip =
      ext == ".jar" ? std::make_unique<engine::TJar>() : std::make_unique<engine::TZip>();
  engine::TZip& z = *zip;
  // An archive named without extension is a ".zip" one (the writer's own rule, applied here
  // so that whether it exists is asked of the right file).
  z.SetArchiveFile(ext.empty() ? o.Archive + ".zip" : o.Archive);
  const bool existed = platform::FileExists(z.ArchiveFile());
  std::vector<std::string> specs;
  for (const std::string& s : o.Specs)
    specs.push_back(platform::DirectoryExists(s) ? platform::JoinPath(s, "*.*") : s);
  z.SetFileSpec(specs);
  z.RecurseDirs = true;
  z.StoredDirNames = o.FullPaths ? engine::TStoredDirNames::sdAbsoluteNoDrv
                                 : engine::TStoredDirNames::sdNone;
  static constexpr engine::TDeflateType kTypes[] = {
      engine::TDeflateType::dtDeflateN, engine::TDeflateType::dtDeflateS,
      engine::TDeflateType::dtDeflateF, engine::TDeflateType::dtDeflateN,
      engine::TDeflateType::dtDeflateX};
  z.SetCompressMethod(o.Level == 0 ? engine::TCompressMethod::cmStore
                                   : engine::TCompressMethod::cmDeflate);
  z.SetDeflateType(kTypes[o.Level]);
  z.Switch = o.Move ? engine::TSwitch::swMove : engine::TSwitch::swAdd;
  z.AddUpdate = o.Update;
  z.AddFreshen = o.Freshen && !o.Update;
  z.DeleteOptions = engine::TDeleteOptions::doFinal;

  int failed = 0;
  int added = 0;
  z.OnError = [&](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                  const std::string&, int code) {
    const std::string who = fn.empty() ? z.ArchiveFile() : fn;
    std::fprintf(stderr, "%s: %s\n", who.c_str(), ErrorMessage(code, msgEx).c_str());
    ++failed;
  };
  z.OnEnd = [&](engine::TZipCommon&, const std::string& fn, bool) {
    ++added;
    std::printf("  adding: %s\n", fn.c_str());
  };
  // A plain add replaces a changed member; update and freshen let only newer files in (the
  // writer decides that before asking).
  z.OnReplaceFile = [](engine::TZipCommon&, const std::string&, const std::string&, double,
                       double, std::int64_t, std::int64_t, std::uint32_t, std::uint32_t,
                       bool& replace) { replace = true; };

  try {
    z.Compress();
  } catch (const engine::E_RAISE&) {
    ++failed;  // reported through OnError
  } catch (const engine::EBase& err) {
    std::fprintf(stderr, "%s: %s\n", z.ArchiveFile().c_str(), err.what());
    ++failed;
  }
  if (failed == 0 && !existed && !z.Replaced()) {
    std::fprintf(stderr, "%s: %s\n", z.ArchiveFile().c_str(),
                 std::string(engine::ErrorText(engine::kErrNothingToDo)).c_str());
    return 1;
  }
  for (const std::string& moved : z.MovedFiles()) std::printf("  moved: %s\n", moved.c_str());
  std::printf("%d added, %d failed\n", added, failed);
  return failed == 0 ? 0 : 1;
}

}  // namespace console
