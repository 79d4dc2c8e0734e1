// The settings registry: keys and DWORD, string and binary values under two roots.
//
// Windows: the system registry (HKEY_CURRENT_USER, HKEY_CLASSES_ROOT).
// POSIX: a registry of our own kept in one text file,
// $XDG_CONFIG_HOME/tessaly/registry (see UserConfigDirectory()), holding both roots.
// The file registry also builds on Windows, where tests use it.
//
// Key paths are '\'-separated below the root ("Software\Tessaly\General"); the empty
// path names the root itself (values may be read and written there, it cannot be
// deleted). Empty components ("a\\b", a leading or trailing '\') make a path invalid:
// reads fail and writes return false. Key and value names compare without regard to
// case (ASCII letters; other characters compare exactly, a simplification of Windows'
// table) and keep the case they were created with. The empty value name is the key's
// default value.
//
// Types: a value read as a type it does not have reads as nothing. ReadString accepts
// both plain and expandable strings (REG_SZ, REG_EXPAND_SZ) and returns the text
// unexpanded; ReadDword needs a 4-byte DWORD.
//
// Failures are reported by the return value only (false, nullopt, an empty list); the
// OS error is not kept. The registry is not synchronised between threads.
//
// File format of the file registry (UTF-8 text, lines ended by LF, CR LF tolerated):
//
//   TessalyRegistry 1
//   [HKCU\Software\Tessaly]
//   Sort order=dword:1
//   Last open dir=string:C:\Program Files\Tessaly
//   Blob=binary:00ff10
//   EndOfRegistry
//
// Line 1 is the signature; the last line is "EndOfRegistry", so a truncated file is
// recognised (only empty lines may follow it). A line "[ROOT\path]" (ROOT is HKCU or
// HKCR; "[HKCU]" alone is the root key) starts a key; the lines after it, up to the next
// key line, are its values "name=type:data" with type dword (decimal, 0..4294967295),
// string or binary (lower-case hex, two digits per byte). In names, key components and
// string data every byte below 0x20, 0x7f, '%', '=', '[' and ']' is written as %XX (two
// hex digits), so a line never holds a raw line break and the first '=' ends the name.
// Empty lines are ignored. A key line exists for every key, values or not, parents
// before children. Anything else (a bad signature, an unknown type, a bad escape or
// number, a value line before the first key line, a key line naming an unknown root, a
// missing end line) makes the whole file damaged: it reads as an empty registry, and the
// first write keeps the damaged file as "<file>.damaged" before replacing it.
//
// Writes replace the file atomically (a temporary file in the same folder, then a rename
// over the old one), creating the folder when needed. Each access reloads the file when
// its size or modification time changed, so another process's writes are seen; two
// processes writing at the same moment may lose one of the two updates.
#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace platform {

enum class TRegRoot : std::uint8_t {
  rrCurrentUser,   // HKEY_CURRENT_USER
  rrClassesRoot,   // HKEY_CLASSES_ROOT
};

class IRegistry {
 public:
  virtual ~IRegistry() = default;

  virtual bool KeyExists(TRegRoot root, std::string_view key) = 0;
  // Creates the key and every missing parent; true when it exists afterwards.
  virtual bool CreateKey(TRegRoot root, std::string_view key) = 0;
  // Deletes the key with all its values and sub-keys; true when it is gone afterwards
  // (also when it never existed).
  virtual bool DeleteKey(TRegRoot root, std::string_view key) = 0;

  virtual std::optional<std::uint32_t> ReadDword(TRegRoot root, std::string_view key,
                                                 std::string_view name) = 0;
  virtual std::optional<std::string> ReadString(TRegRoot root, std::string_view key,
                                                std::string_view name) = 0;
  virtual std::optional<std::vector<std::uint8_t>> ReadBinary(TRegRoot root,
                                                              std::string_view key,
                                                              std::string_view name) = 0;

  // Writes create the key (and its parents) when missing and replace a value of the same
  // name whatever its type.
  virtual bool WriteDword(TRegRoot root, std::string_view key, std::string_view name,
                          std::uint32_t value) = 0;
  virtual bool WriteString(TRegRoot root, std::string_view key, std::string_view name,
                           std::string_view value) = 0;
  virtual bool WriteBinary(TRegRoot root, std::string_view key, std::string_view name,
                           const std::vector<std::uint8_t>& value) = 0;
  // True when the value is gone afterwards (also when it never existed in an existing key).
  virtual bool DeleteValue(TRegRoot root, std::string_view key, std::string_view name) = 0;

  // Names of the key's values and direct sub-keys, in their stored case; empty when the
  // key does not exist. The order is the registry's own.
  virtual std::vector<std::string> ValueNames(TRegRoot root, std::string_view key) = 0;
  virtual std::vector<std::string> SubkeyNames(TRegRoot root, std::string_view key) = 0;

  // Groups many writes: the file registry then rewrites its file once, at the matching
  // EndUpdate (calls nest); its writes in between report success of the in-memory change
  // and EndUpdate reports whether the file was written. The system registry writes at
  // once and ignores these.
  virtual void BeginUpdate() {}
  virtual bool EndUpdate() { return true; }
};

// BeginUpdate / EndUpdate for one scope.
class TRegistryUpdate {
 public:
  explicit TRegistryUpdate(IRegistry& registry) : registry_(registry) { registry_.BeginUpdate(); }
  ~TRegistryUpdate() { registry_.EndUpdate(); }
  TRegistryUpdate(const TRegistryUpdate&) = delete;
  TRegistryUpdate& operator=(const TRegistryUpdate&) = delete;

 private:
  IRegistry& registry_;
};

// The process's registry: the system registry on Windows; on POSIX the file registry at
// UserConfigDirectory()/tessaly/registry (the path is fixed at the first call).
IRegistry& SystemRegistry();
// Makes SystemRegistry() return `registry` (not owned) until called again with nullptr.
void SetSystemRegistryForTesting(IRegistry* registry);

// A file registry kept in `path` (see the format above). An empty path gives a registry
// that lives in memory only.
std::unique_ptr<IRegistry> OpenFileRegistry(std::string path);

}  // namespace platform
