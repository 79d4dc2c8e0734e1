// libFuzzer target: a UU/XX/base64 decoder run over the input as a text file, writing
// nothing. No next volume is asked for.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/decoders/uu_decode.h"

namespace {

const std::string& InputPath() {
  static const std::string path = [] {
    char name[] = "/tmp/uu_decode_fuzz_XXXXXX";
    const int fd = mkstemp(name);
    if (fd >= 0) close(fd);
    return std::string(name);
  }();
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  const std::string& path = InputPath();
  FILE* f = std::fopen(path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

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
