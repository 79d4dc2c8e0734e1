// The contract between the ZIP bridge and its two ZIP engine libraries (ZIPDLL adds and
// deletes, UNZDLL extracts and tests): the request records, the callback record, the
// callback actions and the exported functions. Both sides are ours; this header is the
// only thing they share.
//
// Layout: on 32-bit x86 the records keep the classic byte layout exactly (offsets in the
// comments). On 64-bit targets the fields keep their order and every field that holds a
// pointer is pointer-sized, so the offsets after the first pointer differ; the version
// field then carries kWideLayoutFlag, so a library never misreads a record of the other
// layout. The unlisted bytes of the classic layout are explicit `Unused` fields, always 0.
// Booleans are 32-bit: -1 true, 0 false. Strings are UTF-8, zero-terminated, owned by the
// caller for the duration of one exec call; a library never keeps or frees them.
#pragma once

#include <cstddef>
#include <cstdint>

// The exports and the callback use the standard Windows calling convention; it only means
// something on 32-bit x86.
#if defined(__i386__)
#define TESSALY_ZIPLIB_CALL __attribute__((stdcall))
#else
#define TESSALY_ZIPLIB_CALL
#endif

namespace zipbridge {

using TLibBool = std::int32_t;
inline constexpr TLibBool kLibTrue = -1;
inline constexpr TLibBool kLibFalse = 0;
constexpr TLibBool LibBool(bool b) { return b ? kLibTrue : kLibFalse; }

// Version of the request and callback layouts, and of our libraries (times 100).
inline constexpr std::int32_t kLayoutVersion = 160;
inline constexpr std::int32_t kWideLayoutFlag = 0x10000;
inline constexpr std::int32_t kRequestVersion =
    kLayoutVersion | (sizeof(void*) == 8 ? kWideLayoutFlag : 0);
inline constexpr std::int32_t kLibraryVersion = 160;
// The lowest library versions that take the requests below.
inline constexpr std::int32_t kMinZipLibraryVersion = 151;
inline constexpr std::int32_t kMinUnzipLibraryVersion = 152;
// The last field of both requests, checked by the libraries.
inline constexpr std::int32_t kRequestTrailer = 7;
// Room of the callback record's text, terminator included.
inline constexpr std::size_t kCallbackTextSize = 512;
// Longest password a library takes.
inline constexpr std::size_t kMaxLibraryPassword = 80;
// Most password requests a library makes for one file.
inline constexpr std::int32_t kMaxPasswordRequests = 15;

// Callback actions (the record's Action field).
enum TCallbackAction : std::int32_t {
  caNewFile = 1,     // a file begins: Text name, Size its size
  caProgress = 2,    // Size more bytes done
  caEndOfBatch = 3,  // the run is over
  caMessage = 4,     // Text message, ErrorCode its code (0 for information)
  caTotalFiles = 5,  // Size files will be processed
  caTotalSize = 6,   // Size bytes will be processed
  caNewName = 7,     // may Text be stored under another name? back: Action 8 + new Text
  caPassword = 8,    // password for Text; ErrorCode bit 0 set on the ZIP side; Size: how
                     // many more times the library may ask. Back: Text + ErrorCode 1, or
                     // ErrorCode 0 and Size 0 for none
  caCrcError = 9,    // Text failed its CRC: ErrorCode found, Size expected CRC. Back in
                     // ErrorCode: 1 keep it, 0 do not, 2 nobody answered
  caOverwrite = 10,  // Text exists: ErrorCode bit 0 the existing file is older; Size the
                     // library's own answer. Back in Size: 1 overwrite, 0 keep
  caSkipped = 11,    // Text was skipped: Size the TUnZipSkipType, ErrorCode the error code
};

// Why UNZDLL skipped a file (caSkipped, Size field).
enum class TUnZipSkipType : std::int32_t {
  stOnFreshen = 1,     // freshen or update: the file on disk is not older
  stNoOverwrite = 2,   // the overwrite question was answered "keep"
  stBadPassword = 3,   // no password opened it
  stBadName = 4,       // the name would leave the target folder
  stExtractError = 5,  // the member could not be decoded or written
};

// Passed by pointer on every callback. Classic offsets in the comments.
struct TZipCallbackRecord {
  void* Window;              // 0   owner window of the request
  void* Caller;              // 4   the request's Caller, echoed
  std::int32_t Version;      // 8   the library's version
  std::int32_t Reserved;     // 12
  std::int32_t Action;       // 16  TCallbackAction
  std::int32_t ErrorCode;    // 20  error code or flags
  std::uint32_t Size;        // 24  size or count
  char Text[kCallbackTextSize];  // 28  file name or message, zero-terminated
};

// Returns 0 to go on; any other value stops the library's run.
using TZipCallback = std::int32_t(TESSALY_ZIPLIB_CALL*)(TZipCallbackRecord* record);

// One file specification of a ZIP request (104 bytes in both layouts).
struct TZipFileSpec {
  char* FileSpec;
  std::uint8_t Unused[104 - sizeof(char*)];
};

// One file specification of an UNZIP request (72 bytes in both layouts).
struct TUnzipFileSpec {
  char* FileSpec;
  std::uint8_t Unused[72 - sizeof(char*)];
};

// The ZIP request (216 bytes in the classic layout).
struct TZipRequest {
  void* Window;                  // 0   owner window; 0 when unattended
  void* Caller;                  // 4   echoed in every callback
  std::int32_t Version;          // 8   kRequestVersion
  TZipCallback Callback;         // 12
  TLibBool Trace;                // 16
  char* Password;                // 20  81-byte buffer
  char* StoreSuffixes;           // 24  ".gif:.png:..." stored without compression; may be 0
  TLibBool Encrypt;              // 28
  TLibBool SystemFiles;          // 32  include hidden and system files
  std::int32_t Unused36;         // 36
  std::int32_t Unused40;         // 40
  TLibBool NoDirEntries;         // 44  add no entries for folders
  std::int32_t Unused48;         // 48
  TLibBool Verbose;              // 52
  TLibBool Quiet;                // 56
  std::int32_t Level;            // 60  0..9
  std::int32_t Unused64;         // 64
  std::int32_t Unused68;         // 68
  TLibBool JunkDirs;             // 72  store file names without their folders
  std::uint16_t Recurse;         // 76  0xFFFF: search sub-folders
  std::uint16_t Unused78;        // 78
  TLibBool Grow;                 // 80  add to an existing archive
  TLibBool ForceDos;             // 84  8.3 upper-case names
  TLibBool Move;                 // 88  delete the sources that were added
  TLibBool Delete;               // 92  delete the named entries
  TLibBool Update;               // 96  add new files, replace older entries
  TLibBool Freshen;              // 100 replace older entries only
  std::int32_t Unused104;        // 104
  TLibBool LatestTime;           // 108 archive time := newest entry's
  std::int32_t Unused112;        // 112
  std::int32_t Unused116;        // 116
  std::int32_t SpecCount;        // 120
  char* ArchiveName;             // 124
  char* TempDir;                 // 128 may be 0
  char* ArchiveComment;          // 132 comment to keep; may be 0
  std::uint16_t ArchiveOnly;     // 136 1: only files with the archive bit
  std::uint16_t ResetArchive;    // 138 1: clear the archive bit of added files
  TZipFileSpec* Specs;           // 140 SpecCount entries
  std::int32_t Unused144;        // 144
  std::int32_t ExcludeCount;     // 148
  char** Excludes;               // 152 ExcludeCount pointers
  char* BaseDir;                 // 156 folder that relative specifications and stored
                                 //     names start from (the process's current folder is
                                 //     never used); may be 0 when every spec is absolute
  std::int32_t Unused160[13];    // 160
  std::int32_t Trailer;          // 212 kRequestTrailer
};

// The UNZIP request (148 bytes in the classic layout).
struct TUnzipRequest {
  void* Window;                  // 0
  void* Caller;                  // 4
  std::int32_t Version;          // 8
  TZipCallback Callback;         // 12
  TLibBool Trace;                // 16
  std::int32_t Unused20;         // 20
  char* Password;                // 24
  TLibBool TestOnly;             // 28
  std::int32_t Unused32;         // 32
  std::int32_t Unused36;         // 36
  TLibBool Quiet;                // 40
  TLibBool Verbose;              // 44
  TLibBool Update;               // 48
  TLibBool Freshen;              // 52
  TLibBool DirNames;             // 56  keep the stored folders
  TLibBool Overwrite;            // 60  overwrite without asking
  std::int32_t SpecCount;        // 64
  char* ArchiveName;             // 68
  TUnzipFileSpec* Specs;         // 72
  std::int32_t Unused76;         // 76
  TLibBool MemoryTarget;         // 80  always 0
  void* MemoryAddress;           // 84  always 0
  std::int32_t MemorySize;       // 88  always 0
  std::int32_t Unused92;         // 92
  std::int32_t Unused96;         // 96
  std::int32_t Unused100;        // 100
  std::int32_t PasswordReqCount; // 104 how often a password may be asked per file
  char* BaseDir;                 // 108 the extraction folder (must exist); the process's
                                 //     current folder is never used
  std::int32_t Unused112[8];     // 112
  std::int32_t Trailer;          // 144 kRequestTrailer
};

// The exports.
using TGetVersionFn = std::int32_t(TESSALY_ZIPLIB_CALL*)();
using TZipExecFn = std::int32_t(TESSALY_ZIPLIB_CALL*)(TZipRequest* request);
using TUnzipExecFn = std::int32_t(TESSALY_ZIPLIB_CALL*)(TUnzipRequest* request);
inline constexpr const char* kZipExecExport = "ZipDllExec";
inline constexpr const char* kZipVersionExport = "GetZipDllVersion";
inline constexpr const char* kUnzipExecExport = "UnzDllExec";
inline constexpr const char* kUnzipVersionExport = "GetUnzDllVersion";

// The classic layout is checked where it applies, so a 32-bit build that differs does not
// compile at all (the tests check both layouts field by field).
static_assert(sizeof(void*) != 4 ||
              (sizeof(TZipCallbackRecord) == 540 && offsetof(TZipCallbackRecord, Text) == 28 &&
               sizeof(TZipRequest) == 216 && offsetof(TZipRequest, Specs) == 140 &&
               offsetof(TZipRequest, Excludes) == 152 && offsetof(TZipRequest, Trailer) == 212 &&
               sizeof(TUnzipRequest) == 148 && offsetof(TUnzipRequest, PasswordReqCount) == 104 &&
               offsetof(TUnzipRequest, Trailer) == 144));
static_assert(sizeof(TZipFileSpec) == 104 && sizeof(TUnzipFileSpec) == 72);

}  // namespace zipbridge
