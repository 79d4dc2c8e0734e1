// -lh5-/-lh6-/-lh7- decoding throughput: our LzhBlockDecoder against lhasa on the same
// archives, in one run.
//
// The archives are made from corpus files with jlha (Debian package jlha-utils), once per
// method, in a scratch folder; pass archive paths to measure others instead. Each round
// decodes every member into a 64 KiB window whose blocks are CRC-16-checked (as the LHA
// frame does), and lhasa runs `lha t` (decode and CRC check, no files) and `lha x` (into
// a scratch folder) on the same archive. Medians of the rounds are compared.
// "vs t" and "vs x" are lhasa's time over ours with the CRC-16 (the frame's work).
// Usage: lzh_bench [rounds] [archive.lzh ...]
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <vector>

#include "engine/core/crc.h"
#include "engine/core/errors.h"
#include "engine/decoders/lzh_block_decoder.h"
#include "tests/unit/decoders/lha_test_util.h"

namespace fs = std::filesystem;
using namespace engine;

namespace {

using Clock = std::chrono::steady_clock;

double Median(std::vector<double> v) {
  std::sort(v.begin(), v.end());
  return v.empty() ? 0 : v[v.size() / 2];
}

double Seconds(Clock::time_point a, Clock::time_point b) {
  return std::chrono::duration<double>(b - a).count();
}

// Decodes every block-coded member; false on any error or CRC mismatch. Without
// `checkCrc` the blocks are only handed out (the decoder's own speed).
bool DecodeArchive(const std::vector<std::uint8_t>& archive,
                   const std::vector<lzhtest::LhaMember>& members, bool checkCrc = true) {
  for (const auto& m : members) {
    const LzhParams* params = LzhParamsForMethod(m.method.c_str());
    if (!params) continue;
    LzhBlockDecoder decoder(*params);
    MsbBitReader in(std::span<const std::uint8_t>(archive.data() + m.dataOffset, m.packedSize));
    std::uint16_t crc = 0;
    auto window = decoder.MakeWindow([&](const std::uint8_t* d, std::size_t n) {
      if (checkCrc) crc = UpdateCrc16(crc, d, n);
      return true;
    });
    const int status = decoder.Decode(in, *window, m.originalSize);
    if (status != 0 || (checkCrc && crc != m.crc)) {
      std::fprintf(stderr, "%s: %s (crc %04x, stored %04x)\n", m.name.c_str(),
                   std::string(ErrorText(status)).c_str(), crc, m.crc);
      return false;
    }
  }
  return true;
}

double TimeCommand(const std::string& command) {
  const auto t0 = Clock::now();
  const int rc = std::system(command.c_str());
  const auto t1 = Clock::now();
  return rc == 0 ? Seconds(t0, t1) : -1;
}

std::string Quote(const fs::path& p) {
  std::string q = "'";
  q += p.string();
  q += "'";
  return q;
}

// "cd DIR && COMMAND >/dev/null 2>&1"
std::string InDir(const fs::path& dir, const std::string& command) {
  std::string s = "cd ";
  s += Quote(dir);
  s += " && ";
  s += command;
  s += " >/dev/null 2>&1";
  return s;
}

}  // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  std::vector<fs::path> archives;
  for (int i = 2; i < argc; ++i) archives.emplace_back(argv[i]);
  const fs::path scratch = fs::temp_directory_path() / "tessaly_lzh_bench";
  fs::create_directories(scratch);

  if (archives.empty()) {
    const fs::path corpus = fs::path(TESSALY_SHARED_DIR) / "bench" / "corpus";
    const char* files[] = {"prose-jargon.txt", "source-googletest.cc", "elf-libsqlite3.so",
                           "markup-mime.xml"};
    std::string list;
    for (const char* f : files) {
      fs::copy_file(corpus / f, scratch / f, fs::copy_options::skip_existing);
      list += std::string(" ") + f;
    }
    if (std::system("command -v jlha >/dev/null 2>&1") != 0) {
      std::printf("lzh_bench: jlha (package jlha-utils) is not installed; pass archives instead\n");
      return 0;
    }
    for (int m = 5; m <= 7; ++m) {
      const fs::path a = scratch / ("corpus_lh" + std::to_string(m) + ".lzh");
      if (!fs::exists(a)) {
        std::string jlha = "jlha co";
        jlha += std::to_string(m);
        jlha += " ";
        jlha += a.filename().string();
        jlha += list;
        const std::string cmd = InDir(scratch, jlha);
        if (std::system(cmd.c_str()) != 0) {
          std::fprintf(stderr, "jlha failed: %s\n", cmd.c_str());
          return 2;
        }
      }
      archives.push_back(a);
    }
  }
  const bool haveLhasa = std::system("command -v lha >/dev/null 2>&1") == 0;

  std::printf("%-16s %8s %8s %9s %9s %9s %9s %6s %6s\n", "archive", "packed", "unpacked",
              "ours+crc", "ours", "lha t", "lha x", "vs t", "vs x");
  std::printf("%-16s %8s %8s %9s %9s %9s %9s %6s %6s\n", "", "bytes", "bytes", "MB/s", "MB/s",
              "MB/s", "MB/s", "", "");
  for (const fs::path& path : archives) {
    const auto archive = lzhtest::ReadFile(path);
    const auto members = lzhtest::WalkLha(archive);
    std::uint64_t unpacked = 0;
    for (const auto& m : members) {
      if (LzhParamsForMethod(m.method.c_str())) unpacked += m.originalSize;
    }
    if (members.empty() || !DecodeArchive(archive, members)) {
      std::fprintf(stderr, "%s: not decodable\n", path.c_str());
      return 1;
    }
    std::vector<double> ours, bare, lhaT, lhaX;
    const fs::path outDir = scratch / "x";
    for (int r = 0; r < rounds; ++r) {
      const auto t0 = Clock::now();
      DecodeArchive(archive, members);
      ours.push_back(Seconds(t0, Clock::now()));
      const auto t1 = Clock::now();
      DecodeArchive(archive, members, false);
      bare.push_back(Seconds(t1, Clock::now()));
      if (haveLhasa) {
        std::string test = "lha tq ";
        test += Quote(path);
        lhaT.push_back(TimeCommand(InDir(scratch, test)));
        fs::remove_all(outDir);
        fs::create_directories(outDir);
        std::string extract = "lha xq ";
        extract += Quote(path);
        lhaX.push_back(TimeCommand(InDir(outDir, extract)));
      }
    }
    fs::remove_all(outDir);
    const double mb = unpacked / 1e6;
    const double o = Median(ours), b = Median(bare), t = Median(lhaT), x = Median(lhaX);
    std::printf("%-16s %8zu %8llu %9.1f %9.1f %9.1f %9.1f %5.2fx %5.2fx\n", path.filename().c_str(),
                archive.size(), static_cast<unsigned long long>(unpacked), mb / o, mb / b,
                t > 0 ? mb / t : 0.0, x > 0 ? mb / x : 0.0, t > 0 ? t / o : 0.0,
                x > 0 ? x / o : 0.0);
  }
  return 0;
}
