// The one table of engine error texts.
#include "engine/core/errors.h"

#include <algorithm>
#include <array>
#include <utility>

namespace engine {
namespace {

struct TErrorRow {
  int code;
  std::string_view text;
};

// Sorted by code. The texts are the program's own, spelling included.
constexpr std::array kErrorTable = {
    TErrorRow{kErrBadFileHeader, "Bad file header"},
    TErrorRow{kErrBadBlock, "Bad block"},
    TErrorRow{kErrBadHuffmanCode, "Bad Huffman code"},
    TErrorRow{kErrIncorrectNumberOfBits, "Incorrect number of bits"},
    TErrorRow{kErrBrokenMultiVolume, "Broken multi-volume chain"},
    TErrorRow{kErrWritingFile, "Error writing to file"},
    TErrorRow{kErrClosingFile, "Error closing file"},
    TErrorRow{kErrIncompleteCodeSet, "Incomplete code set"},
    TErrorRow{kErrCorruptInput, "Corrupt input"},
    TErrorRow{kErrCreatingDir, "Error creating dir"},
    TErrorRow{kErrCrcCheck, "File fails CRC check"},
    TErrorRow{kErrInvalidDecodeTree, "File contains invalid decode tree"},
    TErrorRow{kErrUnableCreateDir, "Unable to create directory"},
    TErrorRow{kErrDiskFull, "Disk full"},
    TErrorRow{kErrNotAccessible, "is not accessible."},
    TErrorRow{kErrEofNotFound, "EOF not found"},
    TErrorRow{kErrUnexpectedEol, "Unexpected end of line"},
    TErrorRow{kErrEolNotFound, "EOL not found"},
    TErrorRow{kErrSameNames, "Same input and output file-names"},
    TErrorRow{kErrFileNotFound, "File not found"},
    TErrorRow{kErrOpeningFile, "Error opening file"},
    TErrorRow{kErrReadingFile, "Error reading file or unexpected end of file"},
    TErrorRow{kErrHeaderCrc, "Header CRC error"},
    TErrorRow{kErrHeaderId, "Header ID error"},
    TErrorRow{kErrLineBeforeBegin, "Line found before 'BEGIN'"},
    TErrorRow{kErrInvalidArcType, "Invalid or unsupported archive type for this operation"},
    TErrorRow{kErrInvalidFileName, "Invalid file name"},
    TErrorRow{kErrBadLengths, "Bad lengths"},
    TErrorRow{kErrInconsistentLocalHeader, "Inconsistant local header"},
    TErrorRow{kErrMaxVolumes, "Maximum volumes 999"},
    TErrorRow{kErrOutOfMemory, "Out of memory"},
    TErrorRow{kErrUnrarNotFound, "Unrar.dll not found"},
    TErrorRow{kErrCabinetNotFound, "Cabinet.dll not found"},
    TErrorRow{kErrAceNotFound, "Ace.dll not found"},
    TErrorRow{kErrMultiPartGzip, "Multi-Part GZIP files not supported"},
    TErrorRow{kErrEventNotAssigned, "Required event not assigned"},
    TErrorRow{kErrPasswordProtected, "Password protected"},
    TErrorRow{kErrSeek, "Seek error"},
    TErrorRow{kErrAmbiguousShannonFano, "Ambiguous Shannon-Fano decode tree encountered"},
    TErrorRow{kErrStackOverflow, "Stack overflow"},
    TErrorRow{kErrUnsupportedMethod, "Unsupported compression method"},
    TErrorRow{kErrUnknownFileType, "Unknown file type"},
    TErrorRow{kErrUserAborted, "User Aborted"},
    TErrorRow{kErrVersion, "Version error"},
    TErrorRow{kErrInvalidPassword, "Invalid password"},
    TErrorRow{kErrPasswordFailed, "Password failed"},
    TErrorRow{kErrNothingToDo, "Nothing to do"},
    TErrorRow{kErrDirNotExistCreate, "Directory does not exist... Create?"},
};

static_assert(std::is_sorted(kErrorTable.begin(), kErrorTable.end(),
                             [](const TErrorRow& a, const TErrorRow& b) { return a.code < b.code; }));

}  // namespace

std::string_view ErrorText(int code) {
  auto it = std::lower_bound(kErrorTable.begin(), kErrorTable.end(), code,
                             [](const TErrorRow& row, int c) { return row.code < c; });
  if (it != kErrorTable.end() && it->code == code) return it->text;
  return {};
}

}  // namespace engine
