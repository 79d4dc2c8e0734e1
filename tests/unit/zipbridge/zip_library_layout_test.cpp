// The records between the bridge and the ZIP engine libraries: the classic byte layout on
// 32-bit x86, the same field order with pointer-sized pointers on 64-bit targets.
#include <cstddef>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "zipbridge/zip_library.h"

namespace {

using namespace zipbridge;

struct TFieldRow {
  const char* Name;
  std::size_t Actual;
  std::size_t Classic;  // 32-bit layout
  std::size_t Wide;     // 64-bit layout
};

void CheckRows(const TFieldRow* rows, std::size_t n) {
  for (std::size_t i = 0; i < n; ++i) {
    const TFieldRow& r = rows[i];
    EXPECT_EQ(r.Actual, sizeof(void*) == 4 ? r.Classic : r.Wide) << r.Name;
  }
}

#define ROW(T, f, classic, wide) TFieldRow{#T "." #f, offsetof(T, f), classic, wide}

TEST(ZipLibraryLayout, CallbackRecord) {
  const TFieldRow rows[] = {
      ROW(TZipCallbackRecord, Window, 0, 0),     ROW(TZipCallbackRecord, Caller, 4, 8),
      ROW(TZipCallbackRecord, Version, 8, 16),   ROW(TZipCallbackRecord, Reserved, 12, 20),
      ROW(TZipCallbackRecord, Action, 16, 24),   ROW(TZipCallbackRecord, ErrorCode, 20, 28),
      ROW(TZipCallbackRecord, Size, 24, 32),     ROW(TZipCallbackRecord, Text, 28, 36),
      TFieldRow{"sizeof", sizeof(TZipCallbackRecord), 540, 552},
  };
  CheckRows(rows, std::size(rows));
  EXPECT_EQ(sizeof(TZipCallbackRecord::Text), 512u);
}

TEST(ZipLibraryLayout, ZipRequest) {
  const TFieldRow rows[] = {
      ROW(TZipRequest, Window, 0, 0),           ROW(TZipRequest, Caller, 4, 8),
      ROW(TZipRequest, Version, 8, 16),         ROW(TZipRequest, Callback, 12, 24),
      ROW(TZipRequest, Trace, 16, 32),          ROW(TZipRequest, Password, 20, 40),
      ROW(TZipRequest, StoreSuffixes, 24, 48),  ROW(TZipRequest, Encrypt, 28, 56),
      ROW(TZipRequest, SystemFiles, 32, 60),    ROW(TZipRequest, NoDirEntries, 44, 72),
      ROW(TZipRequest, Verbose, 52, 80),        ROW(TZipRequest, Quiet, 56, 84),
      ROW(TZipRequest, Level, 60, 88),          ROW(TZipRequest, JunkDirs, 72, 100),
      ROW(TZipRequest, Recurse, 76, 104),       ROW(TZipRequest, Grow, 80, 108),
      ROW(TZipRequest, ForceDos, 84, 112),      ROW(TZipRequest, Move, 88, 116),
      ROW(TZipRequest, Delete, 92, 120),        ROW(TZipRequest, Update, 96, 124),
      ROW(TZipRequest, Freshen, 100, 128),      ROW(TZipRequest, LatestTime, 108, 136),
      ROW(TZipRequest, SpecCount, 120, 148),    ROW(TZipRequest, ArchiveName, 124, 152),
      ROW(TZipRequest, TempDir, 128, 160),      ROW(TZipRequest, ArchiveComment, 132, 168),
      ROW(TZipRequest, ArchiveOnly, 136, 176),  ROW(TZipRequest, ResetArchive, 138, 178),
      ROW(TZipRequest, Specs, 140, 184),        ROW(TZipRequest, ExcludeCount, 148, 196),
      ROW(TZipRequest, Excludes, 152, 200),     ROW(TZipRequest, BaseDir, 156, 208),
      ROW(TZipRequest, Trailer, 212, 268),
      TFieldRow{"sizeof", sizeof(TZipRequest), 216, 272},
      TFieldRow{"spec entry", sizeof(TZipFileSpec), 104, 104},
  };
  CheckRows(rows, std::size(rows));
}

TEST(ZipLibraryLayout, UnzipRequest) {
  const TFieldRow rows[] = {
      ROW(TUnzipRequest, Window, 0, 0),            ROW(TUnzipRequest, Caller, 4, 8),
      ROW(TUnzipRequest, Version, 8, 16),          ROW(TUnzipRequest, Callback, 12, 24),
      ROW(TUnzipRequest, Trace, 16, 32),           ROW(TUnzipRequest, Password, 24, 40),
      ROW(TUnzipRequest, TestOnly, 28, 48),        ROW(TUnzipRequest, Quiet, 40, 60),
      ROW(TUnzipRequest, Verbose, 44, 64),         ROW(TUnzipRequest, Update, 48, 68),
      ROW(TUnzipRequest, Freshen, 52, 72),         ROW(TUnzipRequest, DirNames, 56, 76),
      ROW(TUnzipRequest, Overwrite, 60, 80),       ROW(TUnzipRequest, SpecCount, 64, 84),
      ROW(TUnzipRequest, ArchiveName, 68, 88),     ROW(TUnzipRequest, Specs, 72, 96),
      ROW(TUnzipRequest, MemoryTarget, 80, 108),   ROW(TUnzipRequest, MemoryAddress, 84, 112),
      ROW(TUnzipRequest, MemorySize, 88, 120),     ROW(TUnzipRequest, PasswordReqCount, 104, 136),
      ROW(TUnzipRequest, BaseDir, 108, 144),       ROW(TUnzipRequest, Trailer, 144, 184),
      TFieldRow{"sizeof", sizeof(TUnzipRequest), 148, 192},
      TFieldRow{"spec entry", sizeof(TUnzipFileSpec), 72, 72},
  };
  CheckRows(rows, std::size(rows));
}

TEST(ZipLibraryLayout, VersionTellsTheLayoutsApart) {
  EXPECT_EQ(kRequestVersion & 0xFFFF, 160);
  EXPECT_EQ((kRequestVersion & kWideLayoutFlag) != 0, sizeof(void*) == 8);
}

}  // namespace

#include "zipbridge/libs/lib_callback.h"
#include "zipbridge/zip_master.h"

namespace {

TEST(ZipLibraryText, FieldsAreCutToFitWithTheirTerminator) {
  using zipbridge::lib::CopyText;
  char field[512];
  std::memset(field, 'z', sizeof field);
  CopyText(field, sizeof field, std::string(600, 'n'));
  EXPECT_EQ(std::strlen(field), 511u);
  // Never in the middle of a UTF-8 sequence.
  char small[4];
  CopyText(small, sizeof small, "a\xC3\xA9\xC3\xA9");
  EXPECT_STREQ(small, "a\xC3\xA9");
  CopyText(small, sizeof small, "ab\xC3\xA9");
  EXPECT_STREQ(small, "ab");
}

}  // namespace

namespace zipbridge {
// Reaches the bridge's callback as a library would call it.
struct TZipMasterAccess {
  static std::int32_t Call(TZipMaster& z, TZipCallbackRecord& r) { return z.HandleCallback(r); }
};
}  // namespace zipbridge

namespace {

// The bridge's answers to a library go back through the record: a new name of 600
// characters arrives cut to 511, a password to 80, a request count to 15.
TEST(ZipLibraryText, BridgeCutsAnswersToTheirFields) {
  using namespace zipbridge;
  TZipMaster z;
  std::string seen;
  z.OnSetNewName = [&](TZipMaster&, std::string& name, bool& changed) {
    seen = name;
    name = std::string(600, 'q');
    changed = true;
  };
  z.OnPasswordError = [](TZipMaster&, std::string& pw, const std::string&, unsigned& count) {
    pw = std::string(100, 'p');
    count = 40;
  };
  TZipCallbackRecord r{};
  r.Caller = &z;
  r.Action = caNewName;
  std::strcpy(r.Text, "old/name.txt   ");
  EXPECT_EQ(TZipMasterAccess::Call(z, r), 0);
  EXPECT_EQ(seen, "old\\name.txt");
  EXPECT_EQ(r.Action, caPassword);
  EXPECT_EQ(std::strlen(r.Text), 511u);

  r = TZipCallbackRecord{};
  r.Caller = &z;
  r.Action = caPassword;
  r.Size = 3;
  std::strcpy(r.Text, "file.txt");
  EXPECT_EQ(TZipMasterAccess::Call(z, r), 0);
  EXPECT_EQ(r.ErrorCode, 1);
  EXPECT_EQ(std::strlen(r.Text), 80u);
  EXPECT_EQ(r.Size, 15u);

  // A cancel request answers -1.
  z.CancelRequested = true;
  r.Action = caProgress;
  EXPECT_EQ(TZipMasterAccess::Call(z, r), -1);
}

}  // namespace
