// TUnLHA: extracts members of LHA/LZH archives (and the LArc and PMarc archives that
// share their headers), self-extracting ones included.
#pragma once

#include <cstdint>
#include <string>

#include "engine/core/lha_header.h"
#include "engine/core/un_base.h"

namespace engine {

// How a member's data is coded, from its method id.
enum class TLhaMethod : std::uint8_t {
  lmStored,       // -lh0-, -lz4-, -pm0-
  lmLzhuf,        // -lh1-
  lmBlock,        // -lh4- to -lh7-
  lmLz5,          // LArc -lz5-
  lmLzs,          // LArc -lzs-
  lmDirectory,    // -lhd-
  lmUnsupported,  // anything else (-lh2-, -lh3-, -pm2-, LHARK's -lh7-...)
};

TLhaMethod ClassifyLhaMethod(const TLhaHeader& h);

class TUnLHA : public TUnBase {
 public:
  // Folder entries (-lhd-) become empty folders under ExtractDir when UseStoredDirs is on
  // and files are written; no event is raised for them.
  bool CreateStoredFolders = true;

 protected:
  void ExtractArchive(IStream* archive) override;

 private:
  bool DecodeMember(IStream& archive, const TLhaHeader& h, TLhaMethod method);
  void CreateFolder(const std::string& storedName);
};

}  // namespace engine
