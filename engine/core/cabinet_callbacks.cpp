// Cabinet library callbacks over platform files.
#include "engine/core/cabinet_callbacks.h"

#include <cstdlib>

#include "platform/fs.h"

namespace engine {

void* TCabinetFileHandler::Alloc(std::size_t size) { return std::malloc(size ? size : 1); }

int TCabinetFileHandler::Free(void* block) {
  std::free(block);
  return 0;
}

platform::File* TStreamCabinetFileHandler::Find(TCabHandle handle) {
  for (auto& e : files_)
    if (e.Handle == handle) return e.File.get();
  return nullptr;
}

TCabHandle TStreamCabinetFileHandler::Open(std::string_view name, int flags, int /*mode*/,
                                           int& error) {
  using platform::TFileAccess;
  TFileAccess access = TFileAccess::faRead;
  if (flags & kCabOpenCreate) access = TFileAccess::faCreate;
  else if (flags & (kCabOpenReadWrite | kCabOpenWriteOnly)) access = TFileAccess::faReadWrite;
  const auto share = (flags & kCabOpenExclusive) ? platform::TShareMode::smExclusive
                                                 : platform::TShareMode::smDenyNone;
  auto file = std::make_unique<platform::File>();
  if (!file->Open(name, access, share)) {
    error = file->LastError();
    return kCabInvalidHandle;
  }
  const TCabHandle handle = nextHandle_++;
  files_.push_back({handle, std::move(file)});
  error = 0;
  return handle;
}

std::int64_t TStreamCabinetFileHandler::Read(TCabHandle handle, void* buffer,
                                             std::size_t count, int& error) {
  platform::File* file = Find(handle);
  if (!file) {
    error = -1;
    return 0;
  }
  const std::int64_t n = file->Read(buffer, count);
  error = n == static_cast<std::int64_t>(count) ? 0 : (n < 0 ? file->LastError() : 0);
  return n;
}

std::int64_t TStreamCabinetFileHandler::Write(TCabHandle handle, const void* buffer,
                                              std::size_t count, int& error) {
  platform::File* file = Find(handle);
  if (!file) {
    error = -1;
    return 0;
  }
  const std::int64_t n = file->Write(buffer, count);
  error = n == static_cast<std::int64_t>(count) ? 0 : file->LastError();
  return n;
}

int TStreamCabinetFileHandler::Close(TCabHandle handle, int& error) {
  for (auto it = files_.begin(); it != files_.end(); ++it)
    if (it->Handle == handle) {
      files_.erase(it);  // the file closes with its owner
      break;
    }
  error = 0;
  return 0;
}

std::int64_t TStreamCabinetFileHandler::Seek(TCabHandle handle, std::int64_t offset, int origin,
                                             int& error) {
  platform::File* file = Find(handle);
  if (!file) {
    error = -1;
    return 0;
  }
  using platform::TSeekOrigin;
  const TSeekOrigin from = origin == 1   ? TSeekOrigin::soCurrent
                           : origin == 2 ? TSeekOrigin::soEnd
                                         : TSeekOrigin::soBegin;
  const std::int64_t pos = file->Seek(offset, from);
  error = (origin == 0 && pos != offset) ? file->LastError() : 0;
  return pos;
}

int TStreamCabinetFileHandler::Delete(std::string_view name, int& error) {
  error = platform::DeleteFile(name) ? 0 : platform::LastOsError();
  return 0;
}

}  // namespace engine
