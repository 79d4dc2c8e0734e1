// The ZIP and JAR decoders: the directory walk and the extraction of each selected member
// (stored, shrunk, reduced, imploded, deflated, Deflate64), with traditional PKWARE
// encryption and split sets.
#pragma once

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "engine/core/un_base.h"

namespace engine {

class Inflater;
class Exploder;
class Unshrinker;
class Unreducer;
class TZipSpan;

class TUnZIP : public TUnBase {
 public:
  TUnZIP();
  ~TUnZIP() override;

 protected:
  void ExtractArchive(IStream* archive) override;

 private:
  class MemberSource;
  class MemberSink;
  enum class TMemberOutcome : std::uint8_t { moDone, moSkipped, moGiveUp };
  // Where the archive's members are: the directory to read (central or local headers),
  // and how stored local header offsets map to positions of the input.
  struct TLayout {
    bool Central = true;
    std::int64_t Start = 0;   // first header to read
    std::int64_t Delta = 0;   // added to stored local header offsets
    TZipSpan* Span = nullptr; // split set: offsets are per disk
  };

  bool ScanCentral(IStream& in, const TLayout& layout);
  bool ScanLocal(IStream& in, const TLayout& layout);
  void ExtractItem(IStream& in, const TExtractItem& item, bool& endWalk);
  TMemberOutcome DecodeMember(IStream& in, const TExtractItem& item, std::uint16_t localFlags,
                              std::uint32_t localDate, std::int64_t dataPos, bool& pass);
  void RunCodec(IStream& in, const TExtractItem& item, std::uint16_t flags,
                std::int64_t packed, bool encrypted, bool& complete);

  std::vector<std::uint8_t> name_;
  std::vector<std::uint8_t> storedBuffer_;
  std::vector<std::uint8_t> extra_;
  std::unique_ptr<Inflater> inflater_, inflater64_;
  std::unique_ptr<Exploder> exploder_;
  std::unique_ptr<Unshrinker> unshrinker_;
  std::unique_ptr<Unreducer> unreducer_;
};

// The JAR decoder: the ZIP decoder under the name the JAR kind uses.
class TUnJar : public TUnZIP {};

}  // namespace engine
