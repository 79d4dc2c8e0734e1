// Dynamic libraries loaded by file name (LoadLibraryW / dlopen), unloaded on destruction.
#pragma once

#include <string>
#include <string_view>

namespace platform {

class Library {
 public:
  Library() = default;
  ~Library() { Unload(); }
  Library(Library&& other) noexcept;
  Library& operator=(Library&& other) noexcept;
  Library(const Library&) = delete;
  Library& operator=(const Library&) = delete;

  // Loads by file name (searched the system's way) or path; unloads any library held.
  // False when it cannot be loaded; Error() then says why.
  bool Load(std::string_view fileName);
  void Unload();
  bool IsLoaded() const { return handle_ != nullptr; }
  // The address of an exported symbol, or nullptr.
  void* Symbol(const char* name) const;
  // A typed function pointer: `auto f = lib.Resolve<int (*)(int)>("name");`
  template <class F>
  F Resolve(const char* name) const {
    return reinterpret_cast<F>(Symbol(name));
  }
  // The system's text for the last failure of Load or Symbol.
  const std::string& Error() const { return error_; }

 private:
  void* handle_ = nullptr;
  mutable std::string error_;
};

}  // namespace platform
