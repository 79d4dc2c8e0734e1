// What both ZIP engine libraries share: sending callbacks to the caller, copying text into
// the callback record, and reading the request's strings.
#pragma once

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "zipbridge/zip_library.h"

namespace zipbridge::lib {

// Copies `text` into a fixed field of `size` bytes, cut so that the terminator fits, and
// never in the middle of a UTF-8 sequence.
inline void CopyText(char* field, std::size_t size, std::string_view text) {
  std::size_t n = std::min(text.size(), size - 1);
  if (n < text.size())
    while (n > 0 && (static_cast<unsigned char>(text[n]) & 0xC0) == 0x80) --n;
  std::memcpy(field, text.data(), n);
  std::memset(field + n, 0, size - n);
}

// The text of a callback record as a string (up to its terminator or the field's end).
inline std::string RecordText(const TZipCallbackRecord& r) {
  return std::string(r.Text, strnlen(r.Text, sizeof(r.Text)));
}

inline std::string RequestString(const char* s) { return s ? std::string(s) : std::string(); }

// Sends callbacks of one exec call. A callback that answers non-zero stops the run:
// Stopped() turns true and stays so.
class TCallbackSender {
 public:
  TCallbackSender(TZipCallback callback, void* window, void* caller)
      : callback_(callback), window_(window), caller_(caller) {}

  // Sends one action; the record stays readable afterwards through Record().
  bool Send(TCallbackAction action, std::int32_t code, std::uint32_t size, std::string_view text) {
    record_ = TZipCallbackRecord{};
    record_.Window = window_;
    record_.Caller = caller_;
    record_.Version = kLibraryVersion;
    record_.Action = action;
    record_.ErrorCode = code;
    record_.Size = size;
    CopyText(record_.Text, sizeof(record_.Text), text);
    if (!callback_) return !stopped_;
    if (callback_(&record_) != 0) stopped_ = true;
    return !stopped_;
  }
  bool Message(std::string_view text, std::int32_t code = 0) {
    return Send(caMessage, code, 0, text);
  }
  const TZipCallbackRecord& Record() const { return record_; }
  bool Stopped() const { return stopped_; }
  bool HasCallback() const { return callback_ != nullptr; }

 private:
  TZipCallback callback_;
  void* window_;
  void* caller_;
  TZipCallbackRecord record_{};
  bool stopped_ = false;
};

// A size for a 32-bit field: larger values are capped rather than wrapped.
inline std::uint32_t Size32(std::int64_t v) {
  if (v < 0) return 0;
  return v > 0xFFFFFFFFll ? 0xFFFFFFFFu : static_cast<std::uint32_t>(v);
}

}  // namespace zipbridge::lib
