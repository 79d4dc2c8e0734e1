// TUnGZIP: extracts the member of a gzip or Unix compress file, and hands a decoded tar
// archive to an attached TUnTAR.
#pragma once

#include <string>

#include "engine/core/un_base.h"
#include "engine/decoders/un_tar.h"

namespace engine {

class TUnGZIP : public TUnBase {
 public:
  // When set and the decoded member is a tar archive, its members are extracted too.
  TUnTAR* UnTar = nullptr;
  // Where the attached TUnTAR extracts; this engine's ExtractDir when empty.
  std::string TarExtractDir;
  // The output path of the decoded member of the last run.
  const std::string& DecodedFile() const { return decodedFile_; }

 protected:
  void ExtractArchive(IStream* archive) override;

 private:
  bool DecodeGzipMembers(IStream* archive, std::int64_t dataStart, std::uint32_t& crcOut,
                         std::uint32_t& storedCrc);
  bool DecodeCompress(IStream* archive);
  std::string decodedFile_;
};

}  // namespace engine
