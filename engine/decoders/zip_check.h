// The archive test: runs the decoder of the archive's kind over every selected member with
// a block writer that only keeps the checksum, and reports each member's result.
#pragma once

#include <functional>
#include <memory>
#include <string>

#include "engine/core/un_base.h"

namespace engine {

class TZipCheck;

// Member tested: the test component, the member's stored name and whether it passed.
using TOnIntegrityStatus =
    std::function<void(TZipCheck& sender, const std::string& fileName, bool passed)>;
// After each member's status: the test component and the member's stored name.
using TOnIntegrityEnd = std::function<void(TZipCheck& sender, const std::string& fileName)>;

// The decoder that tests archives of `type`; null for the kinds that cannot be tested.
std::unique_ptr<TUnBase> MakeTestDecoder(TArcType type);

class TZipCheck : public TZipCommon {
 public:
  TZipCheck();

  // Tests the members of ArchiveFile that match FileSpec; returns the number tested.
  // Reports "Invalid or unsupported archive type for this operation" for a missing name or
  // a kind that cannot be tested and "Required event not assigned" ("OnStatus") without a
  // status handler, and returns 0; the decoder's own errors reach OnError.
  int Test();

  // Cancels the running test (the decoder stops after its current block).
  void SetCancel(bool value);

  TOnIntegrityStatus OnStatus;
  // Hides the engine's checksum event: the test's end event carries no verdict (OnStatus
  // has it).
  TOnIntegrityEnd OnEnd;

  // Members that failed in the last test (status false, or refused before decoding).
  int FailedCount() const { return failedCount_; }

 private:
  TUnBase* running_ = nullptr;
  int failedCount_ = 0;
};

}  // namespace engine
