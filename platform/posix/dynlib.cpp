// Dynamic libraries on POSIX (dlopen).
#include "platform/dynlib.h"

#include <dlfcn.h>

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
  handle_ = ::dlopen(std::string(fileName).c_str(), RTLD_NOW | RTLD_LOCAL);
  if (!handle_) {
    const char* why = ::dlerror();
    error_ = why ? why : "dlopen failed";
    return false;
  }
  error_.clear();
  return true;
}

void Library::Unload() {
  if (handle_) ::dlclose(std::exchange(handle_, nullptr));
}

void* Library::Symbol(const char* name) const {
  if (!handle_) {
    error_ = "no library loaded";
    return nullptr;
  }
  ::dlerror();
  void* address = ::dlsym(handle_, name);
  if (!address) {
    const char* why = ::dlerror();
    error_ = why ? why : "symbol not found";
  }
  return address;
}

}  // namespace platform
