// The Extract operation of the main window: what the Extract dialog needs from the window
// (IExtractPrompts), the file specifications of a request, and the texts of the engines'
// questions. TMainForm runs the steps (ExtractButtonClick and the engine handlers, in
// extract_operation.cpp).
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "app/contents_model.h"
#include "app/display_texts.h"
#include "dialogs/extract_form.h"

namespace app {

// Texts of the operation (used as they are).
inline constexpr std::string_view kInterruptText = "Archive Operation Interrupted. Continue?";
inline constexpr std::string_view kNoMaskMatchText =
    "No files in the open archive match the specified files.";
inline constexpr std::string_view kWrongPasswordText = "Error: The password is incorrect.";
inline constexpr std::string_view kWriteErrorText = "Error writing. Posible casue: Disk full";
inline constexpr std::string_view kExtractingStatus = "Extracting ";
inline constexpr std::string_view kExtractingLog = "Extracting: ";
inline constexpr std::string_view kLogOk = "                --> OK";
inline constexpr std::string_view kLogCrcError = "                --> CRC ERROR";

// The answers of the overwrite question.
enum class TOverwriteAnswer : std::uint8_t { oaYes, oaNo, oaAll, oaCancel };

// What the extraction needs of the main window beyond IMainView. The Win32 main view
// implements it next to IMainView; TMainForm finds it by dynamic_cast of its view unless
// SetExtractPrompts names another object. Without it the Extract command does nothing.
class IExtractPrompts {
 public:
  virtual ~IExtractPrompts() = default;
  // Shows the Extract dialog modally over the main window (disabled meanwhile) after
  // TExtractForm::FormShow; returns when it closes. form.Accepted() tells what to do.
  virtual void ShowExtractDialog(dialogs::TExtractForm& form) = 0;
  // Confirmation with the buttons Yes, No, All and Cancel, captioned like every box.
  virtual TOverwriteAnswer AskOverwrite(const std::string& text) = 0;
  // Enables "Vie&w Last Output..." and empties the log window.
  virtual void ResetLastOutput() = 0;
  // The toolbar and the File and Actions menus (disabled while an extraction runs).
  virtual void EnableOperationMenus(bool enabled) = 0;
};

// The file specifications of a request, each as stored path + name ("\" between folders):
//   efSelected  every selected entry except the up entry;
//   efAll       the single file pattern "*.*";
//   efMask      every entry whose name MatchMask accepts.
// A folder pseudo entry stands for every member below it: path + name + "*" (the engines'
// "*" crosses folder levels; "*.*" would miss members under a dotted folder name).
// `sizeTotal` (may be null) receives the sum of the unpacked sizes of the chosen file
// entries. Empty for efSelected without a selection and for a mask nothing matches.
std::vector<std::string> ExtractFileSpecs(const TContentsModel& contents,
                                          dialogs::TExtractFiles files, std::string_view mask,
                                          std::int64_t* sizeTotal = nullptr);

// One side of the overwrite question: "\r" + 22 spaces + size + " bytes, " + date.
std::string OverwriteSizeLine(std::int64_t size, double date, const TLocaleFormat& locale);

// The ZIP progress unit: 32768 bytes, doubled until total / unit is below 32765.
std::int64_t ZipProgressUnit(std::int64_t total);

}  // namespace app
