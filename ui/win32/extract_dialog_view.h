// The Extract dialog (IDD_EXTRACT) over TExtractForm, its create-folder dialog, the
// overwrite question with Yes, No, All and Cancel, and TExtractPrompts, the main window's
// side of the Extract operation.
#pragma once

#include "platform/win32/windows_api.h"

#include <functional>
#include <string>

#include "app/extract_operation.h"
#include "dialogs/extract_form.h"

namespace win32ui {

class TMainFormView;

// Shows the Extract dialog for `form` (after its FormShow) modally over `owner`.
// `onInit` (may be empty) runs once the dialog's controls are filled: tests script it.
void ShowExtractDialog(HWND owner, dialogs::TExtractForm& form,
                       const std::function<void(HWND dialog)>& onInit = {});

// The overwrite question; Esc and closing the box answer Cancel.
app::TOverwriteAnswer AskOverwriteDialog(HWND owner, const std::string& text);

// The create-folder dialog: a folder name for below `parent`; nullopt when cancelled.
std::optional<std::string> AskNewFolderDialog(HWND owner, const std::string& parent);

// The main window's side of the Extract operation. Install() makes TMainForm use it and
// installs the yield hook: while an extraction runs, pending messages are pumped at each
// engine progress point, and a click or key press in the main window asks whether to go
// on (TMainForm::ExtractInterruptCheck).
class TExtractPrompts final : public app::IExtractPrompts {
 public:
  explicit TExtractPrompts(TMainFormView& view) : view_(view) {}
  ~TExtractPrompts() override;
  void Install();

  // Tests script the dialogs here.
  std::function<void(HWND dialog)> OnDialogInit;
  std::function<app::TOverwriteAnswer(const std::string&)> OverwriteOverride;
  // Empties the log window ("View Last Output"); the main view's part.
  std::function<void()> OnResetLastOutput;

  void ShowExtractDialog(dialogs::TExtractForm& form) override;
  app::TOverwriteAnswer AskOverwrite(const std::string& text) override;
  void ResetLastOutput() override;
  void EnableOperationMenus(bool enabled) override;

 private:
  void PumpDuringRun();
  TMainFormView& view_;
  bool installed_ = false;
  ULONGLONG lastPaint_ = 0;
};

}  // namespace win32ui
