// TExtractForm: preparation of the Extract dialog, its options by archive kind, the target
// folder checks and the recent target folders.
#include "dialogs/extract_form.h"

#include <algorithm>
#include <cctype>

#include "engine/core/errors.h"
#include "platform/fs.h"
#include "platform/path.h"

namespace dialogs {

namespace {

// Windows folders compare without regard to case, POSIX folders exactly.
bool SameFolderText(std::string_view a, std::string_view b) {
  if (!platform::kIsWindows) return a == b;
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::tolower(static_cast<unsigned char>(a[i])) !=
        std::tolower(static_cast<unsigned char>(b[i])))
      return false;
  return true;
}

std::string Trimmed(std::string_view text) {
  const auto first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  const auto last = text.find_last_not_of(" \t");
  return std::string(text.substr(first, last - first + 1));
}

std::string WithTrailingSeparator(std::string folder) {
  if (!folder.empty() && !platform::IsPathSeparator(folder.back()))
    folder += platform::kPathSeparator;
  return folder;
}

// A folder as the recent list keeps it: without a trailing separator (a root keeps it),
// lower-cased where the file system ignores case. POSIX folders keep their case, or the
// remembered folder would be another one.
std::string RecentFolderText(std::string_view target) {
  std::string s(target);
  while (s.size() > 1 && platform::IsPathSeparator(s.back()) &&
         !(s.size() == 3 && s[1] == ':'))
    s.pop_back();
  if (platform::kIsWindows)
    for (char& c : s) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return s;
}

bool IsDriveLetterPath(std::string_view text) {
  return text.size() >= 2 && std::isalpha(static_cast<unsigned char>(text[0])) && text[1] == ':';
}

}  // namespace

void RememberTargetFolder(std::span<std::string> slots, std::string_view target) {
  if (slots.empty()) return;
  // Close up the empty slots first.
  std::stable_partition(slots.begin(), slots.end(), [](const std::string& s) { return !s.empty(); });
  const std::string text = RecentFolderText(target);
  if (text.empty()) return;
  auto it = std::find_if(slots.begin(), slots.end(),
                         [&](const std::string& s) { return SameFolderText(s, text); });
  if (it == slots.end()) it = slots.end() - 1;  // absent: the last slot is dropped
  std::rotate(slots.begin(), it, it + 1);
  slots.front() = text;
}

std::vector<std::string> SubFolders(std::string_view folder) {
  std::vector<std::string> out;
  for (const platform::TFindEntry& e : platform::FindFiles(folder)) {
    if (!e.IsDirectory()) continue;
    if (platform::kIsWindows ? (e.Attributes & (platform::kAttrHidden | platform::kAttrSystem)) != 0
                             : (!e.Name.empty() && e.Name[0] == '.'))
      continue;
    out.push_back(e.Name);
  }
  std::sort(out.begin(), out.end(), [](const std::string& a, const std::string& b) {
    return std::lexicographical_compare(
        a.begin(), a.end(), b.begin(), b.end(), [](char x, char y) {
          return std::tolower(static_cast<unsigned char>(x)) <
                 std::tolower(static_cast<unsigned char>(y));
        });
  });
  return out;
}

TExtractForm::TExtractForm() {
  DriveExists = [](std::string_view drive) {
    return platform::DirectoryExists(std::string(drive) + "\\");
  };
}

std::string TExtractForm::ArchiveFolder() const {
  return platform::DirectoryPart(context_.ArchivePath);
}

void TExtractForm::FormShow(const TExtractContext& context) {
  context_ = context;
  accepted_ = false;
  request_ = {};
  controls_ = {};
  const std::string& kind = context_.ArchiveKind;

  controls_.SelectedEnabled = context_.HasSelection;
  controls_.Files = context_.HasSelection ? TExtractFiles::efSelected : TExtractFiles::efAll;
  controls_.Mask.clear();

  controls_.Overwrite = context_.ExtractOverwrite == 1;
  controls_.SkipOlder = false;
  controls_.UseFolderNames = true;

  for (const std::string& f : context_.RecentFolders)
    if (!f.empty()) controls_.DestinationList.push_back(f);
  const std::string folder = ArchiveFolder();
  switch (context_.EFolder) {
    case 1: {
      const std::string name = platform::FileNamePart(context_.ArchivePath);
      const std::string stem = name.substr(0, name.find('.'));
      controls_.Destination = stem.empty() ? folder : platform::JoinPath(folder, stem);
      break;
    }
    case 2:
      // No remembered folder yet: the archive's folder rather than an empty box.
      controls_.Destination =
          controls_.DestinationList.empty() ? folder : controls_.DestinationList.front();
      break;
    default:
      controls_.Destination = folder;
      break;
  }

  // Options by kind.
  const bool bz2 = kind == ".bz2";
  controls_.FileChoiceEnabled = !bz2;
  if (bz2) {
    controls_.SelectedEnabled = false;
    controls_.Files = TExtractFiles::efAll;
  }
  controls_.UseFolderNamesEnabled = !bz2;
  controls_.SkipOlderEnabled =
      !bz2 && (kind == ".zip" || kind == ".exe" || kind == ".gz" || kind == ".tar" || kind == ".bh");
  if (kind == ".cab" || bz2) {
    controls_.OverwriteEnabled = false;
    controls_.Overwrite = true;
  }
  UpdateNewFolder();
}

void TExtractForm::UpdateNewFolder() {
  const std::string dest = Trimmed(controls_.Destination);
  controls_.NewFolderEnabled = !dest.empty() && platform::DirectoryExists(dest);
}

void TExtractForm::Changed() {
  if (View) View->ControlsChanged();
}

void TExtractForm::Message(const std::string& text, TDialogMessage kind) {
  if (View) View->ShowMessage(text, kind);
}

void TExtractForm::DestinationChange(std::string_view text) {
  controls_.Destination = std::string(text);
  const bool before = controls_.NewFolderEnabled;
  UpdateNewFolder();
  if (before != controls_.NewFolderEnabled) Changed();
}

void TExtractForm::SetFiles(TExtractFiles files) {
  if (!controls_.FileChoiceEnabled) return;
  if (files == TExtractFiles::efSelected && !controls_.SelectedEnabled) return;
  controls_.Files = files;
}

void TExtractForm::SetMask(std::string_view mask) { controls_.Mask = std::string(mask); }

void TExtractForm::SetOverwrite(bool on) {
  if (controls_.OverwriteEnabled) controls_.Overwrite = on;
}

void TExtractForm::SetSkipOlder(bool on) {
  if (controls_.SkipOlderEnabled) controls_.SkipOlder = on;
}

void TExtractForm::SetUseFolderNames(bool on) {
  if (controls_.UseFolderNamesEnabled) controls_.UseFolderNames = on;
}

void TExtractForm::TreeListChange(std::string_view folder) {
  controls_.Destination = std::string(folder);
  UpdateNewFolder();
  Changed();
}

bool TExtractForm::ExtractButtClick() {
  accepted_ = false;
  std::string dest = Trimmed(controls_.Destination);
  if (dest.empty()) return false;
  if (dest == ".") {
    dest = ArchiveFolder();
  } else if (IsDriveLetterPath(dest)) {
    if (!DriveExists(dest.substr(0, 2))) {
      Message(std::string(kDriveNotExistText), TDialogMessage::dmError);
      return false;
    }
  } else if (!platform::IsAbsolute(dest)) {
    // A relative folder is taken next to the archive, not in whatever folder the process
    // happens to be in.
    dest = platform::JoinPath(ArchiveFolder(), dest);
  }
  if (dest.empty()) dest = platform::CurrentDirectory();
  if (!platform::DirectoryExists(dest) && !platform::CreateDirectories(dest)) {
    Message(std::string(engine::ErrorText(engine::kErrUnableCreateDir)) + ": " + dest,
            TDialogMessage::dmError);
    return false;
  }

  request_ = {};
  request_.TargetFolder = WithTrailingSeparator(dest);
  request_.Files = controls_.Files;
  if (request_.Files == TExtractFiles::efSelected && !controls_.SelectedEnabled)
    request_.Files = TExtractFiles::efAll;
  if (!controls_.FileChoiceEnabled) request_.Files = TExtractFiles::efAll;
  const std::string mask = Trimmed(controls_.Mask);
  request_.Mask = (mask.empty() || mask == ".") ? std::string("*.*") : mask;
  request_.Overwrite = controls_.Overwrite;
  request_.SkipOlder = controls_.SkipOlderEnabled && controls_.SkipOlder;
  request_.UseFolderNames = controls_.UseFolderNamesEnabled ? controls_.UseFolderNames : false;
  request_.StoreOverwrite = context_.ArchiveKind != ".cab";
  accepted_ = true;
  return true;
}

void TExtractForm::NewFolderButtClick() {
  const std::string parent = Trimmed(controls_.Destination);
  if (!View || parent.empty() || !platform::DirectoryExists(parent)) return;
  const std::optional<std::string> answer = View->AskNewFolderName(parent);
  if (!answer) return;
  const std::string name = Trimmed(*answer);
  if (name.empty()) return;
  // One level below the destination: a name is not a path.
  const bool plain = name != "." && name != ".." &&
                     name.find_first_of("\\/:*?\"<>|") == std::string::npos;
  const std::string folder = platform::JoinPath(parent, name);
  if (!plain || (!platform::DirectoryExists(folder) && !platform::CreateDirectory(folder))) {
    Message(std::string(engine::ErrorText(engine::kErrUnableCreateDir)) + ": " + folder,
            TDialogMessage::dmError);
    return;
  }
  controls_.Destination = folder;
  UpdateNewFolder();
  Changed();
}

void TExtractForm::ExploreButtClick() {
  const std::string dest = Trimmed(controls_.Destination);
  if (View && !dest.empty() && platform::DirectoryExists(dest)) View->ExploreFolder(dest);
}

void TExtractForm::HelpButtClick() {
  if (View) View->ShowHelpTopic(kExtractHelpTopic);
}

}  // namespace dialogs
