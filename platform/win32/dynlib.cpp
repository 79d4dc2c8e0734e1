// Dynamic libraries on Windows (LoadLibraryW).
#include "platform/dynlib.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

#include <utility>

namespace platform {

Library::Library(Library&& other) noexcept
    : handle_(std::exchange(other.handle_, nullptr)), error_(std::move(other.error_)) {}

Library& Library::operator=(Library&& other) noexcept {
  if (this != &other) {
    Unload();
    handle_ = std::exchange(other.handle_, nullptr);
    error_ = std::move(other.error_);
  }
  return *this;
}

bool Library::Load(std::string_view fileName) {
  Unload();
  // No "insert a disk" or "missing DLL" boxes: a failure is reported, not shown.
  DWORD oldMode = 0;
  ::SetThreadErrorMode(SEM_FAILCRITICALERRORS | SEM_NOOPENFILEERRORBOX, &oldMode);
  HMODULE module = ::LoadLibraryW(win32::Widen(fileName).c_str());
  const DWORD error = ::GetLastError();
  ::SetThreadErrorMode(oldMode, nullptr);
  if (!module) {
    error_ = win32::ErrorText(error);
    return false;
  }
  handle_ = reinterpret_cast<void*>(module);
  error_.clear();
  return true;
}

void Library::Unload() {
  if (handle_) ::FreeLibrary(reinterpret_cast<HMODULE>(std::exchange(handle_, nullptr)));
}

void* Library::Symbol(const char* name) const {
  if (!handle_) {
    error_ = "no library loaded";
    return nullptr;
  }
  FARPROC address = ::GetProcAddress(reinterpret_cast<HMODULE>(handle_), name);
  if (!address) error_ = win32::ErrorText(::GetLastError());
  return reinterpret_cast<void*>(address);
}

}  // namespace platform
