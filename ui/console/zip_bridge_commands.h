// The console's ZIP work through the ZIP bridge (TZipMaster and its two libraries): listing,
// extraction and adding for the ZIP kinds (.zip, .jar, self-extracting .exe, spanned sets).
#pragma once

#include <string>
#include <vector>

#include "engine/core/lister.h"
#include "ui/console/engine_table.h"

namespace console {

// Lists `archive` from the bridge's own directory through the lister's OnRead and OnTotals
// handlers (so the output is the lister's). False (reported on stderr) when it fails.
bool ListThroughZipBridge(engine::TDivED& lister, const std::string& archive);

// Extracts every member into `target` (folder names kept); the exit status: 0 only when
// every member was extracted.
int ExtractThroughZipBridge(const std::string& archive, const std::string& target,
                            const TCommandArgs& parsed);

// Adds the files of `specs` (folders stand for their whole tree) at bridge level 0..9;
// the exit status: 0 only when the archive was written.
struct TZipBridgeAdd {
  std::string Archive;
  std::vector<std::string> Specs;
  int Level = 7;
  bool Update = false, Freshen = false, Move = false, DirNames = false;
};
int AddThroughZipBridge(const TZipBridgeAdd& request);

}  // namespace console
