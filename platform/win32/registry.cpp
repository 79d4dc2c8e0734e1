// The process's registry on Windows: the system registry through the W functions.
#include "platform/registry.h"

#include "platform/win32/utf16.h"
#include "platform/win32/windows_api.h"

#include <algorithm>
#include <cstring>

namespace platform {
namespace {

using win32::Narrow;
using win32::Widen;

// An open registry key, closed on destruction.
class UniqueHKey {
 public:
  UniqueHKey() = default;
  ~UniqueHKey() {
    if (key_ != nullptr) ::RegCloseKey(key_);
  }
  UniqueHKey(const UniqueHKey&) = delete;
  UniqueHKey& operator=(const UniqueHKey&) = delete;
  HKEY* Receive() { return &key_; }
  HKEY Get() const { return key_; }
  explicit operator bool() const { return key_ != nullptr; }

 private:
  HKEY key_ = nullptr;
};

HKEY RootHandle(TRegRoot root) {
  return root == TRegRoot::rrClassesRoot ? HKEY_CLASSES_ROOT : HKEY_CURRENT_USER;
}

// The same path rules as the file registry: no empty component.
bool IsValidKey(std::string_view key) {
  if (key.empty()) return true;
  return key.front() != '\\' && key.back() != '\\' && key.find("\\\\") == std::string_view::npos;
}

bool OpenKey(TRegRoot root, std::string_view key, REGSAM access, UniqueHKey& out) {
  if (!IsValidKey(key)) return false;
  return ::RegOpenKeyExW(RootHandle(root), Widen(key).c_str(), 0, access, out.Receive()) ==
         ERROR_SUCCESS;
}

bool CreateKeyHandle(TRegRoot root, std::string_view key, UniqueHKey& out) {
  if (!IsValidKey(key)) return false;
  return ::RegCreateKeyExW(RootHandle(root), Widen(key).c_str(), 0, nullptr,
                           REG_OPTION_NON_VOLATILE, KEY_READ | KEY_WRITE, nullptr, out.Receive(),
                           nullptr) == ERROR_SUCCESS;
}

// The raw data and type of a value; false when it cannot be read.
bool QueryValue(TRegRoot root, std::string_view key, std::string_view name, DWORD& type,
                std::vector<BYTE>& data) {
  UniqueHKey k;
  if (!OpenKey(root, key, KEY_QUERY_VALUE, k)) return false;
  const std::wstring wname = Widen(name);
  DWORD size = 0;
  for (int attempt = 0; attempt < 8; ++attempt) {
    LONG rc = ::RegQueryValueExW(k.Get(), wname.c_str(), nullptr, &type, nullptr, &size);
    if (rc != ERROR_SUCCESS) return false;
    data.resize(size);
    rc = ::RegQueryValueExW(k.Get(), wname.c_str(), nullptr, &type,
                            data.empty() ? nullptr : data.data(), &size);
    if (rc == ERROR_SUCCESS) {
      data.resize(size);
      return true;
    }
    if (rc != ERROR_MORE_DATA) return false;  // the value grew in between: ask again
  }
  return false;
}

bool SetValue(TRegRoot root, std::string_view key, std::string_view name, DWORD type,
              const void* data, std::size_t size) {
  UniqueHKey k;
  if (!CreateKeyHandle(root, key, k)) return false;
  return ::RegSetValueExW(k.Get(), Widen(name).c_str(), 0, type, static_cast<const BYTE*>(data),
                          static_cast<DWORD>(size)) == ERROR_SUCCESS;
}

class TWin32Registry final : public IRegistry {
 public:
  bool KeyExists(TRegRoot root, std::string_view key) override {
    UniqueHKey k;
    return OpenKey(root, key, KEY_READ, k);
  }

  bool CreateKey(TRegRoot root, std::string_view key) override {
    UniqueHKey k;
    return CreateKeyHandle(root, key, k);
  }

  bool DeleteKey(TRegRoot root, std::string_view key) override {
    if (key.empty() || !IsValidKey(key)) return false;
    const LONG rc = ::RegDeleteTreeW(RootHandle(root), Widen(key).c_str());
    if (rc == ERROR_FILE_NOT_FOUND) return true;
    if (rc != ERROR_SUCCESS) return false;
    // RegDeleteTree removes the named key too on Windows; make sure under every host.
    const LONG rc2 = ::RegDeleteKeyW(RootHandle(root), Widen(key).c_str());
    return rc2 == ERROR_SUCCESS || rc2 == ERROR_FILE_NOT_FOUND;
  }

  std::optional<std::uint32_t> ReadDword(TRegRoot root, std::string_view key,
                                         std::string_view name) override {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(root, key, name, type, data) || type != REG_DWORD || data.size() != 4) {
      return std::nullopt;
    }
    std::uint32_t v;
    std::memcpy(&v, data.data(), 4);
    return v;
  }

  std::optional<std::string> ReadString(TRegRoot root, std::string_view key,
                                        std::string_view name) override {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(root, key, name, type, data) || (type != REG_SZ && type != REG_EXPAND_SZ)) {
      return std::nullopt;
    }
    // The stored data need not end with a null, and may hold an odd trailing byte.
    std::wstring text(data.size() / sizeof(wchar_t), L'\0');
    if (!text.empty()) std::memcpy(text.data(), data.data(), text.size() * sizeof(wchar_t));
    if (const auto nul = text.find(L'\0'); nul != std::wstring::npos) text.resize(nul);
    return Narrow(text);
  }

  std::optional<std::vector<std::uint8_t>> ReadBinary(TRegRoot root, std::string_view key,
                                                      std::string_view name) override {
    DWORD type = 0;
    std::vector<BYTE> data;
    if (!QueryValue(root, key, name, type, data) || type != REG_BINARY) return std::nullopt;
    return std::vector<std::uint8_t>(data.begin(), data.end());
  }

  bool WriteDword(TRegRoot root, std::string_view key, std::string_view name,
                  std::uint32_t value) override {
    const DWORD v = value;
    return SetValue(root, key, name, REG_DWORD, &v, sizeof v);
  }

  bool WriteString(TRegRoot root, std::string_view key, std::string_view name,
                   std::string_view value) override {
    const std::wstring text = Widen(value);
    return SetValue(root, key, name, REG_SZ, text.c_str(), (text.size() + 1) * sizeof(wchar_t));
  }

  bool WriteBinary(TRegRoot root, std::string_view key, std::string_view name,
                   const std::vector<std::uint8_t>& value) override {
    return SetValue(root, key, name, REG_BINARY, value.data(), value.size());
  }

  bool DeleteValue(TRegRoot root, std::string_view key, std::string_view name) override {
    UniqueHKey k;
    if (!OpenKey(root, key, KEY_SET_VALUE, k)) return false;
    const LONG rc = ::RegDeleteValueW(k.Get(), Widen(name).c_str());
    return rc == ERROR_SUCCESS || rc == ERROR_FILE_NOT_FOUND;
  }

  std::vector<std::string> ValueNames(TRegRoot root, std::string_view key) override {
    return Enumerate(root, key, false);
  }

  std::vector<std::string> SubkeyNames(TRegRoot root, std::string_view key) override {
    return Enumerate(root, key, true);
  }

 private:
  static std::vector<std::string> Enumerate(TRegRoot root, std::string_view key, bool subkeys) {
    std::vector<std::string> names;
    UniqueHKey k;
    if (!OpenKey(root, key, KEY_READ, k)) return names;
    DWORD maxSubkey = 0;
    DWORD maxValue = 0;
    if (::RegQueryInfoKeyW(k.Get(), nullptr, nullptr, nullptr, nullptr, &maxSubkey, nullptr,
                           nullptr, &maxValue, nullptr, nullptr, nullptr) != ERROR_SUCCESS) {
      return names;
    }
    std::wstring buffer(std::max<DWORD>(subkeys ? maxSubkey : maxValue, 255) + 2, L'\0');
    for (DWORD index = 0;; ++index) {
      DWORD length = static_cast<DWORD>(buffer.size());
      const LONG rc = subkeys ? ::RegEnumKeyExW(k.Get(), index, buffer.data(), &length, nullptr,
                                                nullptr, nullptr, nullptr)
                              : ::RegEnumValueW(k.Get(), index, buffer.data(), &length, nullptr,
                                                nullptr, nullptr, nullptr);
      if (rc == ERROR_MORE_DATA) {
        // Added while we enumerate: grow and try this index again.
        buffer.resize(buffer.size() * 2);
        --index;
        continue;
      }
      if (rc != ERROR_SUCCESS) break;
      names.push_back(Narrow(std::wstring_view(buffer.data(), length)));
    }
    return names;
  }
};

IRegistry* testRegistry = nullptr;

}  // namespace

IRegistry& SystemRegistry() {
  if (testRegistry != nullptr) return *testRegistry;
  static TWin32Registry registry;
  return registry;
}

void SetSystemRegistryForTesting(IRegistry* registry) { testRegistry = registry; }

}  // namespace platform
