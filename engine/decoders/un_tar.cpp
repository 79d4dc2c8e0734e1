// Tar extraction.
#include "engine/decoders/un_tar.h"

#include <algorithm>

#include "engine/core/dates.h"
#include "engine/core/tar_header.h"
#include "platform/codepage.h"

namespace engine {

namespace {
bool IsValidUtf8(const std::string& s) {
  std::size_t i = 0;
  while (i < s.size()) {
    const auto c = static_cast<unsigned char>(s[i]);
    const int n = c < 0x80 ? 0 : (c >> 5) == 6 ? 1 : (c >> 4) == 14 ? 2 : (c >> 3) == 30 ? 3 : -1;
    if (n < 0 || i + static_cast<std::size_t>(n) >= s.size() + (n == 0 ? 1 : 0)) return false;
    for (int k = 1; k <= n; ++k)
      if ((static_cast<unsigned char>(s[i + static_cast<std::size_t>(k)]) >> 6) != 2) return false;
    i += static_cast<std::size_t>(n) + 1;
  }
  return true;
}

std::string StoredName(const std::string& raw) {
  // Tar names are bytes; valid UTF-8 stays as it is, anything else is taken as OEM text.
  std::string name = IsValidUtf8(raw) ? raw : platform::OemToUtf8(raw);
  std::replace(name.begin(), name.end(), '/', '\\');
  while (!name.empty() && name.back() == ' ') name.pop_back();
  return name;
}
}  // namespace

void TUnTAR::ExtractArchive(IStream* archive) {
  extracted_.clear();
  const std::int64_t size = archive->Size();
  // Directory pass, from the start of the file whatever the start offset.
  struct TSelected {
    TExtractItem item;
    TTarMember member;
  };
  std::vector<TSelected> selected;
  std::int64_t pos = 0;
  TTarMember m;
  while (!Cancel()) {
    const TTarRead r = ReadTarMember(*archive, pos, size, m);
    if (r == TTarRead::trEnd || r == TTarRead::trEof) break;
    if (r == TTarRead::trBadHeader) {
      // A damaged block: go on with the next one, looking for a header that checks.
      pos += kTarBlock;
      continue;
    }
    const std::string name = StoredName(m.Name);
    const bool isFolder = m.Type == '5' || (!name.empty() && name.back() == '\\');
    if (!isFolder && m.Type != 'V' && IsSelected(name, false)) {
      TExtractItem item;
      item.Name = name;
      item.HeaderOffset = m.HeaderOffset;
      item.PackedSize = item.UnpackedSize = m.Size;
      item.DosDateTime = DateTimeToDosDate(UnixToDateTime(m.ModTime));
      AddItem(item);
      selected.push_back({item, m});
      if (CanStopAfterFirst()) break;
    }
    if (m.NextOffset <= pos) break;
    pos = m.NextOffset;
  }

  for (const TSelected& s : selected) {
    if (Cancel()) break;
    const TTarMember& mem = s.member;
    if (mem.Type == '2') {
      // Symbolic links are not created: a link could point anywhere, outside the target
      // folder included.
      SkipItem(s.item);
      continue;
    }
    if (!BuildEntryName(s.item.Name)) {
      SkipItem(s.item);
      continue;
    }
    std::string display = s.item.Name;
    bool skip = false;
    if (!ConfirmEntry(display, skip, UnixToDateTime(mem.ModTime))) break;
    if (skip) {
      SkipItem(s.item);
      continue;
    }
    if (!OpenOutput()) RaiseError(outputName_, "", "0", kErrOpeningFile);
    bool pass = true;
    try {
      if (mem.Type == '1') {
        // A hard link gets the content of the member it names, when that was extracted.
        auto it = extracted_.find(StoredName(mem.LinkName));
        if (it != extracted_.end()) {
          TFileStream src;
          if (src.Open(it->second, platform::TFileAccess::faRead)) {
            IStream* saved = archive_;
            archive_ = &src;
            ArchiveStream = &src;
            CopyStored(src.Size(), false, kCrcNone);
            archive_ = saved;
            ArchiveStream = saved;
          }
        }
      } else {
        if (archive->Seek(mem.DataOffset, TSeekOrigin::soBegin) != mem.DataOffset)
          RaiseError(ArchiveFile(), "", "0", kErrSeek);
        CopyStored(mem.Size, false, kCrcNone);
      }
    } catch (const EBase&) {
      pass = false;
    }
    CloseOutput(32, s.item.DosDateTime);
    extracted_[s.item.Name] = outputName_;
    Verdict(pass, s.item.Name);
  }
}

}  // namespace engine
