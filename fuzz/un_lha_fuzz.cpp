// libFuzzer target: a whole LHA decoder run (header walk, every method) over the input as
// an archive file, writing nothing.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/decoders/un_lha.h"
#include "fuzz/fuzz_input_file.h"

namespace {

// Headers may state sizes up to 4 GiB of output: after this much the run is cancelled.
constexpr std::int64_t kOutputBudget = 64 << 20;

bool IsLhaType(engine::TArcType t) {
  using enum engine::TArcType;
  return t == atLha || t == atLhaExe || t == atLzh || t == atLzhExe;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteInputFile("un_lha_fuzz", data, size);
  if (path.empty()) return 0;

  engine::TUnLHA e;
  e.SetArchiveFile(path);
  if (!IsLhaType(e.ArcType())) return 0;
  e.SetFileSpec({"*.*"});
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
