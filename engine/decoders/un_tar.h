// TUnTAR: extracts members of tar archives (stored data, 512-byte headers).
#pragma once

#include <map>
#include <string>

#include "engine/core/un_base.h"

namespace engine {

class TUnTAR : public TUnBase {
 protected:
  void ExtractArchive(IStream* archive) override;

 private:
  // Output paths of the members extracted in this run, by stored name (for hard links).
  std::map<std::string, std::string> extracted_;
};

}  // namespace engine
