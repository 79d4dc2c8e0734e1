// The one member of a UUE or XXE text: the name on its "begin" line.
#include <algorithm>
#include <cstring>

#include "engine/core/dates.h"
#include "engine/core/dir_common.h"
#include "engine/core/lister.h"
#include "platform/fs.h"

namespace engine {

namespace {

constexpr std::size_t kScan = 32768;
constexpr std::size_t kMaxName = 255;

class UueDirReader : public IDirReader {
 public:
  void Init(TListWalk& walk) override {
    TDivED& l = walk.Lister;
    walk.BlockSize = 0;  // no header walk: the member is known now
    std::string text(kScan, '\0');
    text.resize(walk.ReadUpTo(0, text.data(), kScan));
    std::size_t at = std::string::npos;
    for (std::size_t p = 0; p < text.size(); ) {
      if (text.compare(p, 6, "begin ") == 0) {
        at = p;
        break;
      }
      p = text.find('\n', p);
      if (p == std::string::npos) break;
      ++p;
    }
    if (at == std::string::npos) return;
    // "begin <mode> <name>": skip the word and the mode.
    std::size_t p = at + 6;
    while (p < text.size() && text[p] == ' ') ++p;
    while (p < text.size() && text[p] != ' ' && text[p] != '\n' && text[p] != '\r') ++p;
    while (p < text.size() && text[p] == ' ') ++p;
    std::size_t q = p;
    while (q < text.size() && q - p < kMaxName && text[q] != ' ' && text[q] != '\n' &&
           text[q] != '\r')
      ++q;
    TArchiveEntry& e = l.Entry;
    ConvertMemberName(std::string_view(text).substr(p, q - p), TNameCoding::ncUtf8OrOem,
                      e.FileName);
    l.NameRead(e.FileName);
    const auto t = platform::FileModTime(l.ArchiveFile());
    e.DateTime = t ? UnixToDateTime(*t) : kDate1980;
    e.PackedSize = e.UnpackedSize = walk.Size;
    e.CRC = 0;
    e.Encrypted = false;
    e.MethodName.clear();
    e.MethodCode = 0;
    e.InternalAttr = e.ExternalAttr = 32;
    e.Ratio = 0;
    e.VersionMadeBy = e.VersionNeeded = 0;
    l.ReportMember(walk, 0, true, true);
  }

  void Step(TListWalk& walk) override { walk.Stop(); }
};

}  // namespace

std::unique_ptr<IDirReader> MakeUueDirReader() { return std::make_unique<UueDirReader>(); }

}  // namespace engine
