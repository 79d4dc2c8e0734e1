// TUUDecode: decodes the one file held in a uuencoded, xxencoded or base64 ("begin-base64")
// text, following the data across volume files when the text was split.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "engine/core/un_base.h"

namespace engine {

// How the name of the next volume of a split text is made from the first one's.
enum class TNextVolumeName : std::uint8_t {
  nvChangeFilename,  // digits at the end of the file name ('part.uue' -> 'part2.uue')
  nvChangeExt,       // digits at the end of the extension ('part.uue' -> 'part.uu2')
};

class TUUDecode : public TUnBase {
 public:
  // "begin" is looked for in this many lines from the start of the text.
  int MaxHeaderLines = 100;
  TNextVolumeName NextVolumeName = TNextVolumeName::nvChangeExt;
  // nvChangeFilename: digits replace the end of a long file name (else the name is cut
  // to eight characters with the digits).
  bool VolumeLongFilenames = false;
  // The number before the first continuation volume: 1 asks for 'part.uu2' after
  // 'part.uue'. Values above 10 are stored as 10.
  std::uint8_t VolumeStartNum() const { return volumeStartNum_; }
  void SetVolumeStartNum(int value);
  // When OnNextVolume is not assigned: go on with the next volume when its file exists
  // (else the decoding stops at the end of the current volume and fails).
  bool AutoNextVolume = false;

  // Name of continuation volume `number` of ArchiveFile.
  std::string NextVolumeFileName(int number) const;

  // Also recognises a base64 text ("begin-base64" line), which detection does not type.
  void SetArchiveFile(std::string_view name) override;

 protected:
  void ExtractArchive(IStream* archive) override;

 private:
  class TLineReader;
  enum class TCoding : std::uint8_t { ceUu, ceXx, ceTable, ceBase64 };

  void UseAlphabet(std::string_view table);
  bool IsDataLine(const std::string& line, bool strict) const;
  bool SettleAlphabet(const std::string& firstLine, const std::string& headerTable);
  void DecodeLine(const std::string& line);
  void DecodeBase64Line(const std::string& line);
  void Put(std::uint8_t byte);
  void Flush();
  bool RequestVolume(std::string& name, int number);
  bool OpenNextVolume(TLineReader& reader, int& number);

  std::uint8_t volumeStartNum_ = 1;
  TCoding coding_ = TCoding::ceXx;
  std::array<std::int8_t, 256> reverse_{};
  char fullLineChar_ = 'h';
  std::string table_;
  std::vector<std::uint8_t> out_;
  std::int64_t written_ = 0;
  std::uint32_t base64Bits_ = 0;
  int base64Count_ = 0;
  bool base64Done_ = false;
  TFileStream volume_;
};

}  // namespace engine
