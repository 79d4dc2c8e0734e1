// libFuzzer target: a UU/XX/base64 decoder run over the input as a text file, writing
// nothing. No next volume is asked for.
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/decoders/uu_decode.h"
#include "fuzz/fuzz_input_file.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string path = fuzz::WriteInputFile("uu_decode_fuzz", data, size);
  if (path.empty()) return 0;

  engine::TUUDecode e;
  e.SetArchiveFile(path);
  if (e.ArcType() != engine::TArcType::atUue) return 0;
  e.WriteBlockProc = [](engine::IStream*, bool, std::size_t count, int, bool,
                        std::uint8_t*) -> std::int64_t { return static_cast<std::int64_t>(count); };
  try {
    e.Verify();
  } catch (const engine::EBase&) {
  }
  return 0;
}
