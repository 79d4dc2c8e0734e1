// -a: add files to a ZIP archive (create it when missing) through the ZIP bridge.
#include <cctype>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "platform/fs.h"
#include "platform/path.h"
#include "ui/console/commands.h"
#include "ui/console/engine_table.h"
#include "ui/console/zip_bridge_commands.h"

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

  // ZIP archives are written through the ZIP bridge: -c0..-c4 are its levels 0, 2, 4, 7, 9.
  static constexpr int kBridgeLevels[] = {0, 2, 4, 7, 9};
  TZipBridgeAdd add;
  add.Archive = o.Archive;
  add.Specs = o.Specs;
  add.Level = kBridgeLevels[o.Level];
  add.Update = o.Update;
  add.Freshen = o.Freshen;
  add.Move = o.Move;
  add.DirNames = o.FullPaths;
  return AddThroughZipBridge(add);
}

}  // namespace console
