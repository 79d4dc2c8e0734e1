// The Extract operation of the main window: the dialog, the dispatch to the engine of the
// archive's kind, and the handlers of the engines' questions, progress and verdicts.
#include "app/extract_operation.h"

#include <algorithm>
#include <cstdlib>
#include <unordered_set>

#include "app/main_form.h"
#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/core/stream.h"
#include "engine/core/un_base.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "zipbridge/bzip2.h"

namespace app {

namespace {

using enum TStatusPanel;
using dialogs::TExtractFiles;

constexpr std::int64_t kZipProgressBlock = 32768;
constexpr int kDragDistance = 10;
constexpr unsigned kBridgePasswordRequests = 3;

std::string ErrorLine(int code, std::string_view extra) {
  std::string text(engine::ErrorText(code));
  if (text.empty()) text = "Error " + std::to_string(code);
  if (!extra.empty()) {
    text += ": ";
    text += extra;
  }
  return text;
}

// A stored member name ("\" between folders) as a path below `folder` on this system.
std::string NativeBelow(const std::string& folder, std::string_view name) {
  std::string rel(name);
  if (!platform::kIsWindows) std::replace(rel.begin(), rel.end(), '\\', '/');
  return folder + rel;
}

std::string_view NamePart(std::string_view stored) {
  const auto at = stored.find_last_of("\\/");
  return at == std::string_view::npos ? stored : stored.substr(at + 1);
}

// Restores a flag or pointer when a run ends, however it ends.
template <class T>
class TRestore {
 public:
  TRestore(T& slot, T value) : slot_(slot), old_(slot) { slot_ = value; }
  ~TRestore() { slot_ = old_; }
  TRestore(const TRestore&) = delete;
  TRestore& operator=(const TRestore&) = delete;

 private:
  T& slot_;
  T old_;
};

}  // namespace

// ---------------------------------------------------------------------------------------
// File specifications and texts

std::vector<std::string> ExtractFileSpecs(const TContentsModel& contents, TExtractFiles files,
                                          std::string_view mask, std::int64_t* sizeTotal) {
  std::vector<std::string> specs;
  std::int64_t total = 0;
  auto take = [&](const TFile& f) {
    if (f.IsUpEntry()) return;
    if (f.IsFolderEntry()) {
      specs.push_back(f.Path + f.Name + "*");
    } else {
      specs.push_back(f.Path + f.Name);
      if (f.SizeValue > 0) total += f.SizeValue;
    }
  };
  switch (files) {
    case TExtractFiles::efAll:
      specs.push_back("*.*");
      total = contents.TotalUnpacked;
      break;
    case TExtractFiles::efSelected:
      for (const TFile& f : contents.EntryTable)
        if (f.Selected) take(f);
      break;
    case TExtractFiles::efMask: {
      const std::string m = (mask.empty() || mask == ".") ? std::string("*.*") : std::string(mask);
      for (const TFile& f : contents.EntryTable) {
        if (f.IsUpEntry()) continue;
        // A folder pseudo entry is matched by its folder name.
        std::string_view name = f.Name;
        if (f.IsFolderEntry()) name.remove_suffix(1);
        if (MatchMask(name, m)) take(f);
      }
      break;
    }
  }
  if (sizeTotal) *sizeTotal = total;
  return specs;
}

std::string OverwriteSizeLine(std::int64_t size, double date, const TLocaleFormat& locale) {
  return "\r" + std::string(22, ' ') +
         (size < 0 ? std::string(kUnknownText) : ThousandsText(size, locale)) + " bytes, " +
         FormatEntryDate(date, locale);
}

std::int64_t ZipProgressUnit(std::int64_t total) {
  std::int64_t unit = kZipProgressBlock;
  while (total / unit >= 32765) unit *= 2;
  return unit;
}

// ---------------------------------------------------------------------------------------
// The command

IExtractPrompts* TMainForm::Prompts() {
  if (extractPrompts_) return extractPrompts_;
  return dynamic_cast<IExtractPrompts*>(&view_);
}

void TMainForm::ExtractButtonClick() {
  if (!IsArchiveOpen() || extractionRunning_) return;
  const std::vector<std::size_t> selected = view_.SelectedItems();
  Contents.SetSelection(selected);
  if (Contents.EntryCount() == 0) return;
  if (selected.size() == 1 && selected[0] < Contents.EntryCount() &&
      Contents.EntryTable[selected[0]].IsUpEntry())
    return;
  IExtractPrompts* prompts = Prompts();
  if (!prompts) return;

  password_.clear();
  ExtractForm.ZipMaster1.SetPassword("");
  overwriteAll_ = false;
  dialogs::TExtractContext context;
  context.ArchiveKind = archiveKind_;
  context.ArchivePath = currentArchive_;
  context.HasSelection = !selected.empty();
  context.ExtractOverwrite = settings_.ExtractOverwrite;
  context.EFolder = settings_.EFolder;
  context.RecentFolders.assign(settings_.ExtractDirs.begin(), settings_.ExtractDirs.end());
  ExtractForm.FormShow(context);
  prompts->ShowExtractDialog(ExtractForm);
  if (ExtractForm.Accepted()) RunExtraction(ExtractForm.Request());
}

void TMainForm::RunExtraction(const dialogs::TExtractRequest& request) {
  IExtractPrompts* prompts = Prompts();
  if (request.StoreOverwrite) settings_.ExtractOverwrite = request.Overwrite ? 1 : 0;
  if (prompts) {
    prompts->ResetLastOutput();
    prompts->EnableOperationMenus(false);
  }
  const std::string saved[2] = {statusTexts_[0], statusTexts_[1]};
  view_.SetLamp(TLamp::lpBusy);
  view_.ShowSecondPanel(false);
  view_.ShowProgress(true);
  view_.SetProgress(0, 100);

  overwriteAll_ = overwriteAll_ || request.Overwrite;
  extractCancelled_ = false;
  operationFailed_ = false;
  extractTarget_ = request.TargetFolder;
  extractUseFolders_ = request.UseFolderNames;
  extractSkipOlder_ = request.SkipOlder;

  const TArchiveKindRow* row = FindArchiveKind(archiveKind_);
  const TExtractEngine engineKind = row ? row->Extractor : TExtractEngine::eeNone;
  if (engineKind == TExtractEngine::eeBzip2) {
    const std::string name =
        Contents.EntryCount() > 0 ? Contents.EntryTable[0].Name : Bzip2EntryName();
    SetStatus(spFirst, std::string(kExtractingStatus) + name);
    if (!DecompressBzip2(extractTarget_ + name)) operationFailed_ = true;
  } else {
    std::int64_t total = 0;
    const std::vector<std::string> specs =
        ExtractFileSpecs(Contents, request.Files, request.Mask, &total);
    if (specs.empty()) {
      if (request.Files == TExtractFiles::efMask)
        view_.ShowMessageBox(std::string(kNoMaskMatchText), TMsgKind::mkError, TMsgButtons::mbOK);
    } else if (engineKind == TExtractEngine::eeZipMaster) {
      ExtractThroughBridge(request, specs, total);
    } else {
      // A multi-volume archive is entered at the volume of the first selected entry.
      std::string volume;
      if (request.Files == TExtractFiles::efSelected)
        for (const TFile& f : Contents.EntryTable)
          if (f.Selected && !f.IsUpEntry()) {
            volume = Contents.VolumeOf(f);
            break;
          }
      ExtractThroughDecoder(request, specs, volume);
    }
  }

  SetStatus(spFirst, saved[0]);
  SetStatus(spSecond, saved[1]);
  view_.ShowSecondPanel(true);
  view_.ShowProgress(false);
  view_.SetLamp(TLamp::lpReady);
  dialogs::RememberTargetFolder(settings_.ExtractDirs, extractTarget_);
  if (prompts) prompts->EnableOperationMenus(true);
}

bool TMainForm::DecompressBzip2(const std::string& target) {
  std::string error;
  try {
    if (!bzip2_) bzip2_ = std::make_unique<zipbridge::Tbzip2>();
    engine::TFileStream in, out;
    if (!in.Open(currentArchive_, platform::TFileAccess::faRead)) {
      error = ErrorLine(engine::kErrOpeningFile, currentArchive_);
    } else if (!out.Open(target, platform::TFileAccess::faCreate)) {
      error = ErrorLine(engine::kErrOpeningFile, target);
    } else {
      TRestore<bool> running(extractionRunning_, true);
      bzip2_->DecompressStream(in, out);
    }
  } catch (const engine::EBase& e) {
    error = e.what();
    platform::DeleteFile(target);
  }
  if (error.empty()) return true;
  view_.ShowMessageBox(error, TMsgKind::mkError, TMsgButtons::mbOK);
  return false;
}

// ---------------------------------------------------------------------------------------
// Decoders

bool TMainForm::ExtractThroughDecoder(const dialogs::TExtractRequest& request,
                                      const std::vector<std::string>& specs,
                                      const std::string& volume) {
  std::unique_ptr<engine::TUnBase> unit = MakeExtractor(archiveKind_);
  if (!unit) {
    view_.ShowMessageBox(ErrorLine(engine::kErrUnsupportedMethod, archiveKind_),
                         TMsgKind::mkError, TMsgButtons::mbOK);
    return false;
  }
  unit->SetArchiveFile(!volume.empty() && platform::FileExists(volume) ? volume : currentArchive_);
  unit->SetFileSpec(specs);
  unit->SetExtractDir(request.TargetFolder);
  unit->UseStoredDirs = request.UseFolderNames;
  unit->ConfirmOverwrites = true;
  unit->OverwriteMode = engine::TOverwriteMode::omOverwrite;
  if (!password_.empty()) unit->Passwords = {password_};
  unit->OnFileExists = [this](engine::TZipCommon& s, const std::string& fn, double date,
                              engine::TOverwriteMode& mode) { UnARCFileExists(s, fn, date, mode); };
  unit->OnProgress = [this](engine::TZipCommon& s, std::uint8_t f, std::uint8_t a) {
    ArcProgress(s, f, a);
  };
  unit->OnBegin = [this](engine::TZipCommon& s, const std::string& fn, int n, bool& extract) {
    UnARJ1Begin(s, fn, n, extract);
  };
  unit->OnEnd = [this](engine::TZipCommon& s, const std::string& fn, bool pass) {
    UnARJ1End(s, fn, pass);
  };
  unit->OnGetPassword = [this](engine::TZipCommon& s, const std::string& fn, std::string& pw,
                               bool& again) { UnARJ1GetPassword(s, fn, pw, again); };
  unit->OnError = [this](engine::TZipCommon& s, const std::string& fn, const std::string& msgEx,
                         const std::string& vol, int code) { UnARJ1Error(s, fn, msgEx, vol, code); };
  unit->OnNextVolume = DivED1.OnNextVolume;
  unit->OnGetZipFirstDisk = [this](engine::TZipCommon& s, bool& c) { UnZIPGetZipFirstDisk(s, c); };
  unit->OnGetZipLastDisk = [this](engine::TZipCommon& s, bool& c) { UnZIPGetZipLastDisk(s, c); };
  unit->OnGetZipNextDisk = [this](engine::TZipCommon& s, const std::string& v, bool& c) {
    UnZIPGetZipNextDisk(s, v, c);
  };

  progressMaximum_ = 100;
  view_.SetProgress(0, progressMaximum_);
  std::string failure;
  {
    TRestore<bool> running(extractionRunning_, true);
    TRestore<engine::TZipCommon*> engine(runningEngine_, unit.get());
    try {
      unit->Extract();
    } catch (const engine::E_RAISE& e) {
      if (!unit->Cancel() && !extractCancelled_) failure = ErrorLine(e.Code, e.FileName);
    } catch (const engine::EBase& e) {
      if (!unit->Cancel() && !extractCancelled_) failure = e.what();
    }
  }
  if (!failure.empty()) {
    view_.ShowMessageBox(failure, TMsgKind::mkError, TMsgButtons::mbOK);
    return false;
  }
  return unit->FailedCount() == 0 && !unit->Cancel();
}

std::string TMainForm::ExistingEntryLine(const std::string& existingPath,
                                         double fallbackDate) const {
  // The archive entry whose target + path + name is the existing file.
  for (const TFile& f : Contents.EntryTable) {
    if (f.IsFolderEntry() || f.IsUpEntry()) continue;
    const std::string candidate =
        NativeBelow(extractTarget_, extractUseFolders_ ? f.Path + f.Name : f.Name);
    if (SameTextCI(candidate, existingPath))
      return OverwriteSizeLine(f.SizeValue, f.Date, locale_);
  }
  // Not in the shown listing (another folder of the explorer style): the member's date.
  return OverwriteSizeLine(-1, fallbackDate, locale_);
}

void TMainForm::UnARCFileExists(engine::TZipCommon& sender, const std::string& fn,
                                double fileDate, engine::TOverwriteMode& mode) {
  using engine::TOverwriteMode;
  if (extractCancelled_) {
    mode = TOverwriteMode::omSkip;
    return;
  }
  const auto onDiskTime = platform::FileModTime(fn);
  if (extractSkipOlder_ && onDiskTime &&
      *onDiskTime + 1 >= engine::DateTimeToUnix(fileDate)) {  // DOS times step by 2 s
    mode = TOverwriteMode::omSkip;
    return;
  }
  if (overwriteAll_ || settings_.ExtractOverwrite == 1) {
    mode = TOverwriteMode::omOverwrite;
    return;
  }
  IExtractPrompts* prompts = Prompts();
  if (!prompts) {
    mode = TOverwriteMode::omSkip;
    return;
  }
  const std::int64_t size = platform::FileSize(fn).value_or(-1);
  const double date = onDiskTime ? engine::UnixToDateTime(*onDiskTime) : engine::kDate1980;
  const std::string text = "Confirm file Overwrite?\r\rReplace file: " + fn +
                           OverwriteSizeLine(size, date, locale_) + "\r\r" + "With file: " + fn +
                           ExistingEntryLine(fn, fileDate);
  switch (prompts->AskOverwrite(text)) {
    case TOverwriteAnswer::oaYes:
      mode = TOverwriteMode::omOverwrite;
      break;
    case TOverwriteAnswer::oaNo:
      mode = TOverwriteMode::omSkip;
      break;
    case TOverwriteAnswer::oaAll:
      mode = TOverwriteMode::omOverwrite;
      overwriteAll_ = true;
      break;
    case TOverwriteAnswer::oaCancel:
      mode = TOverwriteMode::omSkip;
      extractCancelled_ = true;
      sender.SetCancel(true);
      break;
  }
}

void TMainForm::ArcProgress(engine::TZipCommon&, std::uint8_t, std::uint8_t byArchive) {
  progressPosition_ = byArchive;
  view_.SetProgress(progressPosition_, 100);
}

void TMainForm::UnARJ1Begin(engine::TZipCommon&, const std::string& fn, int, bool&) {
  SetStatus(spFirst, std::string(kExtractingStatus) + fn);
  view_.RepaintStatus();
  view_.AppendLog(std::string(kExtractingLog) + fn);
}

void TMainForm::UnARJ1End(engine::TZipCommon&, const std::string&, bool crcPass) {
  view_.AppendLog(std::string(crcPass ? kLogOk : kLogCrcError));
}

void TMainForm::UnARJ1GetPassword(engine::TZipCommon&, const std::string& fn,
                                  std::string& password, bool& tryAgain) {
  if (extractCancelled_) {
    tryAgain = false;
    return;
  }
  const std::optional<std::string> answer = view_.AskPassword(fn);
  tryAgain = answer.has_value() && !answer->empty();
  if (tryAgain) {
    password = *answer;
    password_ = *answer;
  } else {
    password.clear();
  }
}

void TMainForm::UnARJ1Error(engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                            const std::string&, int code) {
  if (code == engine::kErrInvalidPassword) {
    view_.ShowMessageBox(std::string(kWrongPasswordText), TMsgKind::mkError, TMsgButtons::mbOK);
    if (archiveKind_ == ".arj" || archiveKind_ == ".ace") operationFailed_ = true;
    return;
  }
  if (code == engine::kErrUserAborted) return;
  std::string line = ErrorLine(code, msgEx);
  if (!fn.empty()) line += " (" + fn + ")";
  view_.AppendLog(line);
}

// ---------------------------------------------------------------------------------------
// The ZIP bridge

bool TMainForm::ExtractThroughBridge(const dialogs::TExtractRequest& request,
                                     const std::vector<std::string>& specs, std::int64_t total) {
  using zipbridge::ExtrOptsEnum;
  zipbridge::TZipMaster& z = ExtractForm.ZipMaster1;
  z.OnProgress = [this](zipbridge::TZipMaster& s, zipbridge::ProgressType t,
                        const std::string& name, std::uint32_t size) {
    ZipMaster1Progress(s, t, name, size);
  };
  z.OnMessage = [this](zipbridge::TZipMaster& s, int code, const std::string& text) {
    ZipMaster1Message(s, code, text);
  };
  z.OnCRC32Error = [this](zipbridge::TZipMaster& s, const std::string& f, std::uint32_t found,
                          std::uint32_t expected, bool& extract) {
    ZipMaster1CRC32Error(s, f, found, expected, extract);
  };
  z.OnExtractOverwrite = [this](zipbridge::TZipMaster& s, const std::string& f, bool older,
                                bool& overwrite) { ZipMaster1ExtractOverwrite(s, f, older, overwrite); };
  z.OnExtractSkipped = [this](zipbridge::TZipMaster& s, const std::string& f,
                              zipbridge::UnZipSkipTypes type, int error) {
    ZipMaster1ExtractSkipped(s, f, type, error);
  };
  z.OnPasswordError = [this](zipbridge::TZipMaster& s, std::string& pw, const std::string& f,
                             unsigned& count) { ZipMaster1PasswordError(s, pw, f, count); };
  // The handlers hold `this`: they go when the run ends.
  struct TUnbind {
    zipbridge::TZipMaster& z;
    ~TUnbind() {
      z.OnProgress = nullptr;
      z.OnMessage = nullptr;
      z.OnCRC32Error = nullptr;
      z.OnExtractOverwrite = nullptr;
      z.OnExtractSkipped = nullptr;
      z.OnPasswordError = nullptr;
    }
  } unbind{z};

  z.SetZipFileName(currentArchive_);
  if (z.ZipFileName().empty()) {
    view_.ShowMessageBox(z.LastMessage(), TMsgKind::mkError, TMsgButtons::mbOK);
    return false;
  }
  z.ExtrBaseDir = request.TargetFolder;
  z.FSpecArgs = specs;
  z.ExtrOptions.clear();
  if (request.UseFolderNames) z.ExtrOptions.insert(ExtrOptsEnum::ExtrDirNames);
  if (request.Overwrite) z.ExtrOptions.insert(ExtrOptsEnum::ExtrOverWrite);
  if (request.SkipOlder) z.ExtrOptions.insert(ExtrOptsEnum::ExtrUpdate);
  z.SetPassword(password_);
  z.SetPasswordReqCount(kBridgePasswordRequests);

  progressUnit_ = ZipProgressUnit(total);
  progressBytes_ = 0;
  progressPosition_ = 0;
  progressMaximum_ = std::max<std::int64_t>(1, total / progressUnit_);
  view_.SetProgress(0, progressMaximum_);
  {
    TRestore<bool> running(extractionRunning_, true);
    TRestore<zipbridge::TZipMaster*> bridge(runningBridge_, &z);
    z.ExtractEntries();
  }
  switch (z.LastErrorCode()) {
    // The library could not be used at all: nothing was extracted and nothing said so.
    case zipbridge::kZmUnzipNotFound:
    case zipbridge::kZmUnzipExecMissing:
    case zipbridge::kZmUnzipVersionMissing:
    case zipbridge::kZmLibraryTooOld:
    case zipbridge::kZmExtractDirFailed:
      view_.ShowMessageBox(z.LastMessage(), TMsgKind::mkError, TMsgButtons::mbOK);
      return false;
    default:
      return true;
  }
}

void TMainForm::ZipMaster1Progress(zipbridge::TZipMaster&, zipbridge::ProgressType type,
                                   const std::string& fileName, std::uint32_t fileSize) {
  using zipbridge::ProgressType;
  switch (type) {
    case ProgressType::NewFile:
      SetStatus(spFirst, std::string(kExtractingStatus) + "\"" + fileName + "\"");
      view_.RepaintStatus();
      break;
    case ProgressType::ProgressUpdate:
      progressBytes_ += std::min<std::int64_t>(fileSize, kZipProgressBlock);
      if (progressBytes_ >= progressUnit_) {
        progressPosition_ += progressBytes_ / progressUnit_;
        progressBytes_ %= progressUnit_;
        view_.SetProgress(std::min(progressPosition_, progressMaximum_), progressMaximum_);
      }
      break;
    case ProgressType::EndOfBatch:
      SetStatus(spFirst, "");
      break;
    default:
      break;
  }
}

void TMainForm::ZipMaster1Message(zipbridge::TZipMaster&, int errCode, const std::string& message) {
  if (message.find("Error writing to") != std::string::npos)
    view_.ShowMessageBox(std::string(kWriteErrorText), TMsgKind::mkError, TMsgButtons::mbOK);
  else
    view_.AppendLog(message);
  if (errCode != 0) password_.clear();
}

void TMainForm::ZipMaster1CRC32Error(zipbridge::TZipMaster&, const std::string& forFile,
                                     std::uint32_t, std::uint32_t, bool& doExtract) {
  if (extractCancelled_) {
    doExtract = false;
    return;
  }
  const TMsgResult answer =
      view_.ShowMessageBox("There is CRC error on file: " + forFile + "\r\rDo you want to skip" +
                               " this file?",
                           TMsgKind::mkError, TMsgButtons::mbYesNo);
  doExtract = answer != TMsgResult::mrYes;
}

void TMainForm::ZipMaster1ExtractOverwrite(zipbridge::TZipMaster& sender,
                                           const std::string& forFile, bool,
                                           bool& doOverwrite) {
  if (extractCancelled_) {
    doOverwrite = false;
    return;
  }
  if (overwriteAll_ || settings_.ExtractOverwrite == 1) {
    doOverwrite = true;
    return;
  }
  IExtractPrompts* prompts = Prompts();
  if (!prompts) {
    doOverwrite = false;
    return;
  }
  const std::string existing =
      NativeBelow(extractTarget_, extractUseFolders_ ? std::string_view(forFile) : NamePart(forFile));
  const auto onDisk = platform::FileModTime(existing);
  const std::string existingLine =
      OverwriteSizeLine(platform::FileSize(existing).value_or(-1),
                        onDisk ? engine::UnixToDateTime(*onDisk) : engine::kDate1980, locale_);
  std::string entryLine = OverwriteSizeLine(-1, engine::kDate1980, locale_);
  for (const zipbridge::ZipDirEntry& e : sender.Entries())
    if (SameTextCI(e.EntryName, forFile)) {
      entryLine = OverwriteSizeLine(static_cast<std::int64_t>(e.UnpackedSize),
                                    engine::DosDateToDateTime(e.DosDateTime), locale_);
      break;
    }
  const std::string text = "Confirm File Overwrite?\r\rReplace file:  " + existing + existingLine +
                           "\r\r" + "With file:        " + forFile + entryLine;
  switch (prompts->AskOverwrite(text)) {
    case TOverwriteAnswer::oaYes:
      doOverwrite = true;
      break;
    case TOverwriteAnswer::oaNo:
      doOverwrite = false;
      break;
    case TOverwriteAnswer::oaAll:
      doOverwrite = true;
      overwriteAll_ = true;
      break;
    case TOverwriteAnswer::oaCancel:
      doOverwrite = false;
      extractCancelled_ = true;
      sender.CancelRequested = true;
      break;
  }
}

void TMainForm::ZipMaster1ExtractSkipped(zipbridge::TZipMaster&, const std::string& forFile,
                                         zipbridge::UnZipSkipTypes skipType, int) {
  if (skipType != zipbridge::UnZipSkipTypes::stBadPassword || extractCancelled_) return;
  view_.ShowMessageBox("File \"" + forFile + "\" is skipped because" + "\r" +
                           "entered password for this file is incorrect.",
                       TMsgKind::mkError, TMsgButtons::mbOK);
  password_.clear();
}

void TMainForm::ZipMaster1PasswordError(zipbridge::TZipMaster&, std::string& newPassword,
                                        const std::string& forFile, unsigned& repeatCount) {
  newPassword.clear();
  if (extractCancelled_) {
    repeatCount = 0;
    return;
  }
  const std::optional<std::string> answer = view_.AskPassword(forFile);
  if (answer && !answer->empty()) {
    newPassword = *answer;
    password_ = *answer;
  } else {
    repeatCount = 0;
  }
}

// ---------------------------------------------------------------------------------------
// Interrupting a run

void TMainForm::ExtractInterruptCheck() {
  if (!extractionRunning_ || interruptAsking_ || extractCancelled_) return;
  TRestore<bool> asking(interruptAsking_, true);
  if (view_.ShowMessageBox(std::string(kInterruptText), TMsgKind::mkWarning,
                           TMsgButtons::mbYesNo) != TMsgResult::mrNo)
    return;
  extractCancelled_ = true;
  if (runningBridge_) runningBridge_->CancelRequested = true;
  if (runningEngine_) runningEngine_->SetCancel(true);
}

// ---------------------------------------------------------------------------------------
// Drag-out

void TMainForm::FileListMouseDown(int x, int y) {
  dragX_ = x;
  dragY_ = y;
  dragArmed_ = true;
}

bool TMainForm::FileListMouseMove(int x, int y, bool buttonHeld) {
  if (!buttonHeld) {
    dragArmed_ = false;
    return false;
  }
  if (!dragArmed_ || !IsArchiveOpen() || extractionRunning_) return false;
  if (std::abs(x - dragX_) < kDragDistance && std::abs(y - dragY_) < kDragDistance) return false;
  Contents.SetSelection(view_.SelectedItems());
  if (DragFileList().empty()) return false;
  dragArmed_ = false;
  return true;
}

std::vector<std::string> TMainForm::DragFileList() {
  if (tempFolder_.empty()) PrepareWorkingFolder();
  std::vector<std::string> files;
  std::unordered_set<std::string> seen;
  for (const TFile& f : Contents.EntryTable) {
    // Folder pseudo entries are not extracted by a drop, so they are not carried either.
    if (!f.Selected || f.IsUpEntry() || f.IsFolderEntry()) continue;
    if (seen.insert(LowerText(f.Name)).second) files.push_back(tempFolder_ + f.Name);
  }
  return files;
}

bool TMainForm::DropFileSource1Drop() {
  if (!IsArchiveOpen()) return false;
  if (tempFolder_.empty()) PrepareWorkingFolder();
  if (archiveKind_ == ".bz2")
    return Contents.EntryCount() > 0 && DecompressBzip2(tempFolder_ + Contents.EntryTable[0].Name);

  std::vector<std::string> specs;
  for (const TFile& f : Contents.EntryTable)
    if (f.Selected && !f.IsUpEntry() && !f.IsFolderEntry()) specs.push_back(f.Path + f.Name);
  if (specs.empty()) return false;
  dialogs::TExtractRequest request;
  request.TargetFolder = tempFolder_;
  request.Files = TExtractFiles::efSelected;
  request.Overwrite = true;
  request.UseFolderNames = false;
  TRestore<bool> all(overwriteAll_, true);
  TRestore<bool> skipOlder(extractSkipOlder_, false);
  extractCancelled_ = false;
  extractTarget_ = tempFolder_;
  extractUseFolders_ = false;
  const std::string saved[2] = {statusTexts_[0], statusTexts_[1]};
  bool ok;
  const TArchiveKindRow* row = FindArchiveKind(archiveKind_);
  if (row && row->Extractor == TExtractEngine::eeZipMaster) {
    ok = ExtractThroughBridge(request, specs, 0);
  } else {
    ok = ExtractThroughDecoder(request, specs, {});
  }
  SetStatus(spFirst, saved[0]);
  SetStatus(spSecond, saved[1]);
  return ok && !extractCancelled_;
}

}  // namespace app
