// TDivED, the archive lister: reads an archive's directory without extracting anything and
// reports each selected member through OnRead with its values in Entry.
#pragma once

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>

#include "engine/core/stream.h"
#include "engine/core/zip_common.h"

namespace engine {

struct TListWalk;

using TOnReadFile = std::function<void(TZipCommon& sender, const std::string& filename)>;
using TOnTotals = std::function<void(TZipCommon& sender, int numFiles)>;

class TDivED : public TZipCommon {
 public:
  TDivED();

  // Folder members (ZIP, ARC, ARJ, RAR directories) are reported only when set; they are
  // never counted in the totals.
  bool ShowBlankDirs = false;

  TOnReadFile OnReadFile;        // every member header read, selected or not
  TNotifyEvent OnReadBegin;      // just before each OnRead
  TNotifyEvent OnReadEnd;        // just after each OnRead
  TOnTotals OnTotals;            // once at the end; TotalPackedSize etc. are set before

  // Lists ArchiveFile (type and start offset from detection). Returns 1 when the walk ran
  // (a damaged first header is reported through OnError and still returns 1), 0 when an
  // error ended the listing before or during the walk (reported through OnError first).
  // OnRead must be assigned. Count and the totals survive the call.
  int Activate();

  // ---- used by the directory readers during Activate ----

  // Raises OnReadFile with `name`.
  void NameRead(const std::string& name) { Fire(OnReadFile, name); }
  // Reports Entry: when `counted`, Count and the totals grow first; Filenum is Count.
  // Ratio is computed here from the sizes unless `keepRatio`.
  void ReportMember(TListWalk& walk, std::int64_t offset, bool counted = true,
                    bool keepRatio = false);
  // Moves the walk to the next volume of an ACE, ARJ or RAR set through OnNextVolume.
  // False when there is no handler or the user refused (Cancel is then set).
  bool OpenNextVolume(TListWalk& walk);
  // Moves the walk to the volume `path` (a cabinet named by the previous one) after asking
  // OnNextVolume; false when refused (Cancel set) or when `path` was visited in this run.
  bool OpenNamedVolume(TListWalk& walk, const std::string& path, const std::string& diskName);
  // Name of the volume being read now.
  const std::string& CurrentVolume() const { return volumeName_; }

  // `path` itself when it exists, else a file in its folder whose name matches ignoring
  // case (sets name their volumes in another case than the files carry), else `path`.
  static std::string ResolveCaseInsensitive(const std::string& path);

 private:
  bool RequestNextVolume(std::string& name, int number);
  bool SwitchTo(TListWalk& walk, const std::string& path);
  void ListWalk(TListWalk& walk);

  std::unique_ptr<TFileStream> file_;
  std::string volumeName_;
  std::vector<std::string> visited_;
};

}  // namespace engine
