// -l [-tsv] ARCHIVE: the listing of an archive, for people or, with -tsv, for programs.
#include <cstdio>
#include <string>

#include "engine/core/dates.h"
#include "engine/core/errors.h"
#include "engine/core/lister.h"
#include "platform/fs.h"
#include "platform/path.h"
#include "ui/console/commands.h"
#include "ui/console/zip_bridge_commands.h"

namespace console {

namespace {

// Output is gathered and written in large pieces: a listing can have many thousand lines.
class OutBuffer {
 public:
  ~OutBuffer() { Flush(); }
  void Append(const char* text, std::size_t n) {
    buf_.append(text, n);
    if (buf_.size() >= kFlushAt) Flush();
  }
  void Append(const std::string& s) { Append(s.data(), s.size()); }
  void Flush() {
    if (!buf_.empty()) std::fwrite(buf_.data(), 1, buf_.size(), stdout);
    buf_.clear();
  }

 private:
  static constexpr std::size_t kFlushAt = 1 << 16;
  std::string buf_;
};

// Hand-made number formatting: printf costs more than the whole directory walk when a
// listing has tens of thousands of lines.
void AppendDigits(std::string& out, std::uint64_t v, int width, char pad) {
  char tmp[32];
  char* end = tmp + sizeof tmp;
  char* p = end;
  do {
    *--p = static_cast<char>('0' + v % 10);
    v /= 10;
  } while (v);
  while (end - p < width && p > tmp) *--p = pad;
  out.append(p, static_cast<std::size_t>(end - p));
}
void AppendInt(std::string& out, std::int64_t v, int width) {
  if (v < 0) {
    out += '-';
    AppendDigits(out, static_cast<std::uint64_t>(-(v + 1)) + 1, width - 1, ' ');
  } else {
    AppendDigits(out, static_cast<std::uint64_t>(v), width, ' ');
  }
}
void AppendHex8(std::string& out, std::uint32_t v) {
  static const char kHex[] = "0123456789abcdef";
  char tmp[8];
  for (int i = 0; i < 8; ++i) tmp[i] = kHex[(v >> (28 - 4 * i)) & 15];
  out.append(tmp, 8);
}
void AppendDate(std::string& out, const engine::TDateParts& d, bool seconds) {
  AppendDigits(out, static_cast<std::uint64_t>(d.year), 4, '0');
  out += '-';
  AppendDigits(out, static_cast<std::uint64_t>(d.month), 2, '0');
  out += '-';
  AppendDigits(out, static_cast<std::uint64_t>(d.day), 2, '0');
  out += ' ';
  AppendDigits(out, static_cast<std::uint64_t>(d.hour), 2, '0');
  out += ':';
  AppendDigits(out, static_cast<std::uint64_t>(d.minute), 2, '0');
  if (seconds) {
    out += ':';
    AppendDigits(out, static_cast<std::uint64_t>(d.second), 2, '0');
  }
}

// Member names use "\" inside the engines; the terminal shows this system's separator.
void AppendName(std::string& out, const std::string& name, char sep) {
  const std::size_t at = out.size();
  out += name;
  for (std::size_t i = at; i < out.size(); ++i)
    if (out[i] == '\\') out[i] = sep;
}

}  // namespace

int RunList(const std::vector<std::string>& args) {
  bool tsv = false;
  std::string archive;
  for (const std::string& a : args) {
    if (a == "-tsv" || a == "-TSV") {
      tsv = true;
    } else if (archive.empty()) {
      archive = a;
    } else {
      PrintUsage();
      return 2;
    }
  }
  if (archive.empty()) {
    PrintUsage();
    return 2;
  }

  engine::TDivED lister;
  lister.ShowBlankDirs = true;
  lister.SetFileSpec({"*.*"});
  bool failed = false;
  lister.OnError = [&](engine::TZipCommon&, const std::string& fn, const std::string& msgEx,
                       const std::string&, int code) {
    failed = true;
    const std::string_view text = engine::ErrorText(code);
    std::fprintf(stderr, "%.*s", static_cast<int>(text.size()), text.data());
    if (!msgEx.empty()) std::fprintf(stderr, " %s", msgEx.c_str());
    if (!fn.empty()) std::fprintf(stderr, ": %s", fn.c_str());
    std::fputc('\n', stderr);
  };
  // Unattended: the next volume is the one the set names, when it is there.
  lister.OnNextVolume = [](engine::TZipCommon&, std::string& name, const std::string&,
                           bool, bool& cancel) {
    cancel = !platform::FileExists(engine::TDivED::ResolveCaseInsensitive(name));
  };

  OutBuffer out;
  std::string line;
  char num[160];
  const char sep = platform::kPathSeparator;
  lister.OnRead = [&](engine::TZipCommon& sender, std::int64_t, int) {
    const engine::TArchiveEntry& e = sender.Entry;
    const engine::TDateParts d = engine::DecodeDate(e.DateTime);
    line.clear();
    if (tsv) {
      // name, unpacked, packed, method, CRC, date-time, E when encrypted
      AppendName(line, e.FileName, '/');
      line += '\t';
      AppendInt(line, e.UnpackedSize, 0);
      line += '\t';
      AppendInt(line, e.PackedSize, 0);
      line += '\t';
      line += e.MethodName;
      line += '\t';
      AppendHex8(line, e.CRC);
      line += '\t';
      AppendDate(line, d, true);
      line += '\t';
      line += e.Encrypted ? 'E' : '-';
      line += '\n';
    } else {
      AppendDate(line, d, false);
      line += ' ';
      AppendInt(line, e.UnpackedSize, 12);
      line += ' ';
      AppendInt(line, e.PackedSize, 12);
      line += ' ';
      AppendInt(line, e.Ratio, 3);
      line += "% ";
      line += e.MethodName;
      for (std::size_t i = e.MethodName.size(); i < 9; ++i) line += ' ';
      line += ' ';
      AppendHex8(line, e.CRC);
      line += e.Encrypted ? '*' : ' ';
      line += ' ';
      AppendName(line, e.FileName, sep);
      line += '\n';
    }
    out.Append(line);
  };
  if (!tsv) {
    lister.OnTotals = [&](engine::TZipCommon& sender, int numFiles) {
      const int n = std::snprintf(num, sizeof num,
                                  "%-16s %12lld %12lld %3d%% %d file%s\n", "",
                                  static_cast<long long>(sender.TotalUnpackedSize),
                                  static_cast<long long>(sender.TotalPackedSize),
                                  sender.TotalRatio, numFiles, numFiles == 1 ? "" : "s");
      if (n > 0) out.Append(num, std::min<std::size_t>(static_cast<std::size_t>(n), sizeof num - 1));
    };
  }

  lister.SetArchiveFile(archive);
  // The ZIP kinds are listed from the ZIP bridge's own directory.
  const int ok = engine::IsZipFamily(lister.ArcType()) ? ListThroughZipBridge(lister, archive)
                                                       : lister.Activate();
  out.Flush();
  std::fflush(stdout);
  return ok && !failed ? 0 : 1;
}

}  // namespace console
