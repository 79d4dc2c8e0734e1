// libFuzzer target: a whole ZIP decoder run (directory walk, passwords, every method) over
// the input as an archive file, writing nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/decoders/un_zip.h"
#include "fuzz/fuzz_input_file.h"

namespace {

// Stops overlapping members from decoding the same data again and again: after this much
// output the run is cancelled.
constexpr std::int64_t kOutputBudget = 64 << 20;

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteInputFile("un_zip_fuzz", data, size);
  if (path.empty()) return 0;

  engine::TUnZIP e;
  e.SetArchiveFile(path);
  if (!engine::IsZipFamily(e.ArcType())) return 0;
  e.SetFileSpec({"*.*"});
  e.Passwords = {"pw"};
  e.OnGetPassword = [](engine::TZipCommon&, const std::string&, std::string& pw, bool&) { pw = "x"; };
  std::int64_t produced = 0;
  e.WriteBlockProc = [&](engine::IStream*, bool doCrc, std::size_t count, int crcKind, bool,
                         std::uint8_t* buffer) -> std::int64_t {
    if (doCrc) e.UpdateCrc(crcKind, buffer, count);
    produced += static_cast<std::int64_t>(count);
    if (produced > kOutputBudget) e.SetCancel(true);
    return static_cast<std::int64_t>(count);
  };
  try {
    e.Verify();
  } catch (const engine::EBase&) {
  }
  return 0;
}
