// Lists arbitrary bytes as an archive of every kind detection can find in them: the lister
// must end without a crash, a hang or a sanitizer report.
#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <string>

#include "engine/core/lister.h"

namespace {

const std::string& InputPath() {
  static const std::string path = "/tmp/lister_fuzz_" + std::to_string(getpid()) + ".bin";
  return path;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  FILE* f = std::fopen(InputPath().c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  engine::TDivED lister;
  lister.ShowBlankDirs = (size & 1) != 0;
  lister.SetFileSpec({"*.*"});
  std::size_t seen = 0;
  lister.OnRead = [&](engine::TZipCommon& s, std::int64_t, int) {
    seen += s.Entry.FileName.size() + s.Entry.MethodName.size();
  };
  lister.OnError = [](engine::TZipCommon&, const std::string&, const std::string&,
                      const std::string&, int) {};
  // Volumes other than the input itself do not exist; asking must still end.
  lister.OnNextVolume = [](engine::TZipCommon&, std::string&, const std::string&, bool exists,
                           bool& cancel) { cancel = !exists; };
  lister.SetArchiveFile(InputPath());
  lister.Activate();
  return seen == static_cast<std::size_t>(-1);
}
