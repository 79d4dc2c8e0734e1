// The file registry: keys and values in one text file, replaced atomically on each write.
#include "platform/file.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "platform/registry.h"

#include <cstddef>
#include <filesystem>
#include <map>
#include <system_error>
#include <utility>

namespace platform {
namespace {

constexpr std::string_view kSignature = "TessalyRegistry 1";
constexpr std::string_view kEndLine = "EndOfRegistry";

enum class TValueType : std::uint8_t { vtDword, vtString, vtBinary };

struct TValue {
  std::string Name;  // stored case
  TValueType Type = TValueType::vtString;
  std::uint32_t Dword = 0;
  std::string Bytes;  // string text or binary bytes
};

struct TKey {
  std::string Name;  // last component in stored case ("" for a root)
  std::vector<TValue> Values;
};

char FoldChar(char c) { return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c; }

std::string Fold(std::string_view s) {
  std::string out(s);
  for (char& c : out) c = FoldChar(c);
  return out;
}

bool EqualFolded(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i) {
    if (FoldChar(a[i]) != FoldChar(b[i])) return false;
  }
  return true;
}

std::string_view RootTag(TRegRoot root) {
  return root == TRegRoot::rrClassesRoot ? "HKCR" : "HKCU";
}

// The components of a key path; nullopt when one is empty.
std::optional<std::vector<std::string_view>> SplitKey(std::string_view key) {
  std::vector<std::string_view> parts;
  if (key.empty()) return parts;
  std::size_t start = 0;
  while (true) {
    const std::size_t sep = key.find('\\', start);
    const std::size_t length = sep == std::string_view::npos ? sep : sep - start;
    const std::string_view part = key.substr(start, length);
    if (part.empty()) return std::nullopt;
    parts.push_back(part);
    if (sep == std::string_view::npos) break;
    start = sep + 1;
  }
  return parts;
}

// The map key of a key path: the root tag and the folded components joined by '\'.
std::string FoldedPath(TRegRoot root, const std::vector<std::string_view>& parts,
                       std::size_t count) {
  std::string path = Fold(RootTag(root));
  for (std::size_t i = 0; i < count; ++i) {
    path += '\\';
    path += Fold(parts[i]);
  }
  return path;
}

bool NeedsEscape(unsigned char c) {
  return c < 0x20 || c == 0x7f || c == '%' || c == '=' || c == '[' || c == ']';
}

void AppendEscaped(std::string& out, std::string_view text) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (const char ch : text) {
    const auto c = static_cast<unsigned char>(ch);
    if (NeedsEscape(c)) {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 15];
    } else {
      out += ch;
    }
  }
}

int HexDigit(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

std::optional<std::string> Unescape(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  for (std::size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '%') {
      out += text[i];
      continue;
    }
    if (i + 2 >= text.size()) return std::nullopt;
    const int hi = HexDigit(text[i + 1]);
    const int lo = HexDigit(text[i + 2]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
    i += 2;
  }
  return out;
}

std::optional<std::uint32_t> ParseDword(std::string_view text) {
  if (text.empty() || text.size() > 10) return std::nullopt;
  std::uint64_t v = 0;
  for (const char c : text) {
    if (c < '0' || c > '9') return std::nullopt;
    v = v * 10 + static_cast<unsigned>(c - '0');
  }
  if (v > 0xFFFFFFFFull) return std::nullopt;
  return static_cast<std::uint32_t>(v);
}

std::optional<std::string> ParseHex(std::string_view text) {
  if (text.size() % 2 != 0) return std::nullopt;
  std::string out;
  out.reserve(text.size() / 2);
  for (std::size_t i = 0; i < text.size(); i += 2) {
    const int hi = HexDigit(text[i]);
    const int lo = HexDigit(text[i + 1]);
    if (hi < 0 || lo < 0) return std::nullopt;
    out += static_cast<char>(hi * 16 + lo);
  }
  return out;
}

// The file's identity for change detection: size and modification time.
struct TStamp {
  bool Exists = false;
  std::uintmax_t Size = 0;
  std::filesystem::file_time_type Time{};
  bool operator==(const TStamp&) const = default;
};

std::filesystem::path FsPath(const std::string& utf8) {
  return std::filesystem::path(std::u8string(utf8.begin(), utf8.end()));
}

TStamp StampOf(const std::string& path) {
  TStamp stamp;
  std::error_code ec;
  const auto p = FsPath(path);
  const auto size = std::filesystem::file_size(p, ec);
  if (ec) return stamp;
  const auto time = std::filesystem::last_write_time(p, ec);
  if (ec) return stamp;
  stamp.Exists = true;
  stamp.Size = size;
  stamp.Time = time;
  return stamp;
}

class TFileRegistry final : public IRegistry {
 public:
  explicit TFileRegistry(std::string path) : path_(std::move(path)) { ResetRoots(); }

  bool KeyExists(TRegRoot root, std::string_view key) override {
    Refresh();
    return FindKey(root, key) != nullptr;
  }

  bool CreateKey(TRegRoot root, std::string_view key) override {
    Refresh();
    const auto parts = SplitKey(key);
    if (!parts) return false;
    if (FindKey(root, key) != nullptr) return true;
    MakeKey(root, *parts);
    return Changed();
  }

  bool DeleteKey(TRegRoot root, std::string_view key) override {
    Refresh();
    const auto parts = SplitKey(key);
    if (!parts || parts->empty()) return false;
    const std::string folded = FoldedPath(root, *parts, parts->size());
    auto it = keys_.find(folded);
    if (it == keys_.end()) return true;
    keys_.erase(it);
    // Sub-keys sort together after the prefix, though not right after the key itself
    // ("a b" sorts between "a" and "a\b").
    const std::string prefix = folded + '\\';
    auto sub = keys_.lower_bound(prefix);
    while (sub != keys_.end() && sub->first.starts_with(prefix)) sub = keys_.erase(sub);
    return Changed();
  }

  std::optional<std::uint32_t> ReadDword(TRegRoot root, std::string_view key,
                                         std::string_view name) override {
    const TValue* v = FindValue(root, key, name);
    if (v == nullptr || v->Type != TValueType::vtDword) return std::nullopt;
    return v->Dword;
  }

  std::optional<std::string> ReadString(TRegRoot root, std::string_view key,
                                        std::string_view name) override {
    const TValue* v = FindValue(root, key, name);
    if (v == nullptr || v->Type != TValueType::vtString) return std::nullopt;
    return v->Bytes;
  }

  std::optional<std::vector<std::uint8_t>> ReadBinary(TRegRoot root, std::string_view key,
                                                      std::string_view name) override {
    const TValue* v = FindValue(root, key, name);
    if (v == nullptr || v->Type != TValueType::vtBinary) return std::nullopt;
    return std::vector<std::uint8_t>(v->Bytes.begin(), v->Bytes.end());
  }

  bool WriteDword(TRegRoot root, std::string_view key, std::string_view name,
                  std::uint32_t value) override {
    TValue v{std::string(name), TValueType::vtDword, value, {}};
    return Store(root, key, std::move(v));
  }

  bool WriteString(TRegRoot root, std::string_view key, std::string_view name,
                   std::string_view value) override {
    TValue v{std::string(name), TValueType::vtString, 0, std::string(value)};
    return Store(root, key, std::move(v));
  }

  bool WriteBinary(TRegRoot root, std::string_view key, std::string_view name,
                   const std::vector<std::uint8_t>& value) override {
    TValue v{std::string(name), TValueType::vtBinary, 0, std::string(value.begin(), value.end())};
    return Store(root, key, std::move(v));
  }

  bool DeleteValue(TRegRoot root, std::string_view key, std::string_view name) override {
    Refresh();
    TKey* k = FindKey(root, key);
    if (k == nullptr) return false;
    for (auto it = k->Values.begin(); it != k->Values.end(); ++it) {
      if (EqualFolded(it->Name, name)) {
        k->Values.erase(it);
        return Changed();
      }
    }
    return true;
  }

  std::vector<std::string> ValueNames(TRegRoot root, std::string_view key) override {
    Refresh();
    std::vector<std::string> names;
    if (const TKey* k = FindKey(root, key)) {
      for (const TValue& v : k->Values) names.push_back(v.Name);
    }
    return names;
  }

  std::vector<std::string> SubkeyNames(TRegRoot root, std::string_view key) override {
    Refresh();
    std::vector<std::string> names;
    const auto parts = SplitKey(key);
    if (!parts) return names;
    const std::string folded = FoldedPath(root, *parts, parts->size());
    if (keys_.find(folded) == keys_.end()) return names;
    const std::string prefix = folded + '\\';
    for (auto it = keys_.lower_bound(prefix); it != keys_.end() && it->first.starts_with(prefix);
         ++it) {
      if (it->first.find('\\', prefix.size()) == std::string::npos) {
        names.push_back(it->second.Name);
      }
    }
    return names;
  }

  void BeginUpdate() override {
    if (updateDepth_ == 0) Refresh();
    ++updateDepth_;
  }

  bool EndUpdate() override {
    if (updateDepth_ == 0) return true;
    if (--updateDepth_ > 0) return true;
    if (!dirty_) return true;
    return Flush();
  }

 private:
  void ResetRoots() {
    keys_.clear();
    keys_[Fold(RootTag(TRegRoot::rrCurrentUser))] = TKey{};
    keys_[Fold(RootTag(TRegRoot::rrClassesRoot))] = TKey{};
  }

  TKey* FindKey(TRegRoot root, std::string_view key) {
    const auto parts = SplitKey(key);
    if (!parts) return nullptr;
    auto it = keys_.find(FoldedPath(root, *parts, parts->size()));
    return it == keys_.end() ? nullptr : &it->second;
  }

  TValue* FindValue(TRegRoot root, std::string_view key, std::string_view name) {
    Refresh();
    TKey* k = FindKey(root, key);
    if (k == nullptr) return nullptr;
    for (TValue& v : k->Values) {
      if (EqualFolded(v.Name, name)) return &v;
    }
    return nullptr;
  }

  // Creates the key and its missing parents; existing ones keep their stored case.
  TKey& MakeKey(TRegRoot root, const std::vector<std::string_view>& parts) {
    TKey* key = &keys_[Fold(RootTag(root))];
    for (std::size_t i = 1; i <= parts.size(); ++i) {
      auto [it, inserted] = keys_.try_emplace(FoldedPath(root, parts, i));
      if (inserted) it->second.Name = std::string(parts[i - 1]);
      key = &it->second;
    }
    return *key;
  }

  bool Store(TRegRoot root, std::string_view key, TValue value) {
    Refresh();
    const auto parts = SplitKey(key);
    if (!parts) return false;
    TKey& k = MakeKey(root, *parts);
    for (TValue& v : k.Values) {
      if (EqualFolded(v.Name, value.Name)) {
        value.Name = std::move(v.Name);  // the stored case stays
        v = std::move(value);
        return Changed();
      }
    }
    k.Values.push_back(std::move(value));
    return Changed();
  }

  // After an in-memory change: write now, or at the end of the update.
  bool Changed() {
    if (updateDepth_ > 0) {
      dirty_ = true;
      return true;
    }
    return Flush();
  }

  void Refresh() {
    if (path_.empty() || updateDepth_ > 0) return;
    const TStamp stamp = StampOf(path_);
    if (loaded_ && stamp == stamp_) return;
    Load();
  }

  void Load() {
    ResetRoots();
    damaged_ = false;
    loaded_ = true;
    stamp_ = StampOf(path_);
    if (!stamp_.Exists) return;
    File f;
    if (!f.Open(path_, TFileAccess::faRead, TShareMode::smDenyNone)) return;
    const std::int64_t size = f.Size();
    if (size < 0) return;
    std::string text(static_cast<std::size_t>(size), '\0');
    if (!f.ReadExact(text.data(), text.size())) return;
    if (!Parse(text)) {
      ResetRoots();
      damaged_ = true;
    }
  }

  bool Parse(std::string_view text) {
    std::size_t pos = 0;
    bool first = true;
    bool ended = false;
    TKey* current = nullptr;
    while (pos < text.size()) {
      std::size_t end = text.find('\n', pos);
      if (end == std::string_view::npos) end = text.size();
      std::string_view line = text.substr(pos, end - pos);
      pos = end + 1;
      if (!line.empty() && line.back() == '\r') line.remove_suffix(1);
      if (first) {
        if (line != kSignature) return false;
        first = false;
        continue;
      }
      if (line.empty()) continue;
      if (ended) return false;
      if (line == kEndLine) {
        ended = true;
        continue;
      }
      if (line.front() == '[') {
        if (line.size() < 2 || line.back() != ']') return false;
        current = ParseKeyLine(line.substr(1, line.size() - 2));
        if (current == nullptr) return false;
        continue;
      }
      if (current == nullptr || !ParseValueLine(line, *current)) return false;
    }
    return ended;
  }

  TKey* ParseKeyLine(std::string_view inner) {
    const std::size_t sep = inner.find('\\');
    const std::string_view tag = inner.substr(0, sep);
    TRegRoot root;
    if (EqualFolded(tag, RootTag(TRegRoot::rrCurrentUser))) {
      root = TRegRoot::rrCurrentUser;
    } else if (EqualFolded(tag, RootTag(TRegRoot::rrClassesRoot))) {
      root = TRegRoot::rrClassesRoot;
    } else {
      return nullptr;
    }
    if (sep == std::string_view::npos) return &keys_[Fold(tag)];
    const auto raw = SplitKey(inner.substr(sep + 1));
    if (!raw || raw->empty()) return nullptr;
    std::vector<std::string> names;
    for (const std::string_view part : *raw) {
      auto name = Unescape(part);
      if (!name || name->empty() || name->find('\\') != std::string::npos) return nullptr;
      names.push_back(std::move(*name));
    }
    const std::vector<std::string_view> parts(names.begin(), names.end());
    return &MakeKey(root, parts);
  }

  static bool ParseValueLine(std::string_view line, TKey& key) {
    const std::size_t eq = line.find('=');
    if (eq == std::string_view::npos) return false;
    auto name = Unescape(line.substr(0, eq));
    if (!name) return false;
    const std::string_view rest = line.substr(eq + 1);
    TValue value;
    value.Name = std::move(*name);
    if (rest.starts_with("dword:")) {
      const auto v = ParseDword(rest.substr(6));
      if (!v) return false;
      value.Type = TValueType::vtDword;
      value.Dword = *v;
    } else if (rest.starts_with("string:")) {
      auto v = Unescape(rest.substr(7));
      if (!v) return false;
      value.Type = TValueType::vtString;
      value.Bytes = std::move(*v);
    } else if (rest.starts_with("binary:")) {
      auto v = ParseHex(rest.substr(7));
      if (!v) return false;
      value.Type = TValueType::vtBinary;
      value.Bytes = std::move(*v);
    } else {
      return false;
    }
    for (TValue& old : key.Values) {
      if (EqualFolded(old.Name, value.Name)) {
        old = std::move(value);
        return true;
      }
    }
    key.Values.push_back(std::move(value));
    return true;
  }

  std::string Serialize() const {
    static constexpr char kHex[] = "0123456789abcdef";
    std::string out(kSignature);
    out += '\n';
    // The map orders parents before children: a parent's folded path is a prefix of
    // its children's.
    for (const auto& [folded, key] : keys_) {
      const std::size_t sep = folded.find('\\');
      const std::string_view tag = std::string_view(folded).substr(0, sep);
      out += '[';
      out += tag == "hkcr" ? RootTag(TRegRoot::rrClassesRoot) : RootTag(TRegRoot::rrCurrentUser);
      if (sep != std::string::npos) AppendStoredPath(out, folded);
      out += "]\n";
      for (const TValue& v : key.Values) {
        AppendEscaped(out, v.Name);
        switch (v.Type) {
          case TValueType::vtDword:
            out += "=dword:";
            out += std::to_string(v.Dword);
            break;
          case TValueType::vtString:
            out += "=string:";
            AppendEscaped(out, v.Bytes);
            break;
          case TValueType::vtBinary:
            out += "=binary:";
            for (const char c : v.Bytes) {
              out += kHex[static_cast<unsigned char>(c) >> 4];
              out += kHex[static_cast<unsigned char>(c) & 15];
            }
            break;
        }
        out += '\n';
      }
    }
    out += kEndLine;
    out += '\n';
    return out;
  }

  // Appends "\Comp1\Comp2..." of a key in its stored case: each folded prefix of its map
  // path names an existing parent.
  void AppendStoredPath(std::string& out, const std::string& folded) const {
    std::size_t sep = folded.find('\\');
    while (sep != std::string::npos) {
      const std::size_t next = folded.find('\\', sep + 1);
      const auto it = keys_.find(next == std::string::npos ? folded : folded.substr(0, next));
      out += '\\';
      const std::string_view fallback = std::string_view(folded).substr(sep + 1, next - sep - 1);
      AppendEscaped(out, it != keys_.end() ? std::string_view(it->second.Name) : fallback);
      sep = next;
    }
  }

  bool Flush() {
    dirty_ = false;
    if (path_.empty()) return true;
    if (!WriteFileAtomically()) {
      // The file still holds the old state: reload it at the next access.
      loaded_ = false;
      return false;
    }
    stamp_ = StampOf(path_);
    return true;
  }

  bool WriteFileAtomically() {
    std::string dir = DirectoryPart(path_);
    if (dir.empty()) dir.push_back('.');
    if (!DirectoryExists(dir) && !CreateDirectories(dir)) return false;
    if (damaged_ && FileExists(path_)) {
      // Keep what could not be read, for the user to inspect; never lose it silently.
      ReplaceFile(path_, path_ + ".damaged");
    }
    damaged_ = false;
    const auto temp = CreateTempFileName(dir, "reg");
    if (!temp) return false;
    const std::string text = Serialize();
    File f;
    bool ok = f.Open(*temp, TFileAccess::faCreate, TShareMode::smExclusive) &&
              f.WriteAll(text.data(), text.size()) && f.Flush();
    ok = f.Close() && ok;
    if (ok) ok = ReplaceFile(*temp, path_);
    if (!ok) DeleteFile(*temp);
    return ok;
  }

  std::string path_;
  std::map<std::string, TKey> keys_;  // folded path ("hkcu\software\x") -> key
  TStamp stamp_;
  bool loaded_ = false;
  bool damaged_ = false;
  bool dirty_ = false;
  int updateDepth_ = 0;
};

}  // namespace

std::unique_ptr<IRegistry> OpenFileRegistry(std::string path) {
  return std::make_unique<TFileRegistry>(std::move(path));
}

}  // namespace platform
