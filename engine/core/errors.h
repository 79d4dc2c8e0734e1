// Engine error codes (each the number of its message) and the exceptions that carry them.
#pragma once

#include <cstdint>
#include <stdexcept>
#include <string>
#include <string_view>

namespace engine {

enum : int {
  kErrBadFileHeader = 25108,
  kErrBadBlock = 25109,
  kErrBadHuffmanCode = 25120,
  kErrIncorrectNumberOfBits = 25134,
  kErrBrokenMultiVolume = 25135,
  kErrWritingFile = 25136,
  kErrClosingFile = 25137,
  kErrIncompleteCodeSet = 25138,
  kErrCorruptInput = 25139,
  kErrCreatingDir = 25150,
  kErrCrcCheck = 25151,
  kErrInvalidDecodeTree = 25152,
  kErrUnableCreateDir = 25154,
  kErrDiskFull = 25157,
  kErrNotAccessible = 25158,
  kErrEofNotFound = 25159,
  kErrUnexpectedEol = 25167,
  kErrEolNotFound = 25168,
  kErrSameNames = 25171,
  kErrFileNotFound = 25172,
  kErrOpeningFile = 25235,
  kErrReadingFile = 25236,
  kErrHeaderCrc = 25237,
  kErrHeaderId = 25238,
  kErrLineBeforeBegin = 25240,
  kErrInvalidArcType = 25242,
  kErrInvalidFileName = 25243,
  kErrBadLengths = 25247,
  kErrInconsistentLocalHeader = 25248,
  kErrMaxVolumes = 25250,
  kErrOutOfMemory = 25253,
  kErrUnrarNotFound = 25258,
  kErrCabinetNotFound = 25259,
  kErrAceNotFound = 25260,
  kErrMultiPartGzip = 25262,
  kErrEventNotAssigned = 25270,
  kErrPasswordProtected = 25290,
  kErrSeek = 25292,
  kErrAmbiguousShannonFano = 25293,
  kErrStackOverflow = 25298,
  kErrUnsupportedMethod = 25326,
  kErrUnknownFileType = 25327,
  kErrUserAborted = 25400,
  kErrVersion = 25402,
  kErrInvalidPassword = 26517,
  kErrPasswordFailed = 26522,
  kErrNothingToDo = 26859,
  kErrDirNotExistCreate = 26899,
};

// The message text of an error code, exactly as the program shows it; "" for an unknown code.
std::string_view ErrorText(int code);

// Base of every exception the program raises itself.
class EBase : public std::runtime_error {
 public:
  explicit EBase(const std::string& message) : std::runtime_error(message) {}
};

// An engine error: the code, the file (archive or member) it concerns, an extra word
// and the volume number as text.
class E_RAISE : public EBase {
 public:
  explicit E_RAISE(int code, std::string fileName = {}, std::string msgEx = {},
                   std::string volumeId = "0")
      : EBase(std::string(ErrorText(code))),
        Code(code), FileName(std::move(fileName)), MsgEx(std::move(msgEx)),
        VolumeID(std::move(volumeId)) {}
  int Code;
  std::string FileName;
  std::string MsgEx;
  std::string VolumeID;
};

}  // namespace engine
