// Deflate coder benchmark: speed and size per level against zlib (and libdeflate, and 7-Zip's
// ZIP deflate when installed) on the benchmark corpus; every output is inflated by zlib and
// compared with the original.
//
// usage: deflate_bench [corpus folder] [repetitions] [--detail]
//   --detail: per top-level corpus entry, times and sizes of each pairing (for tuning).
#include <sys/resource.h>
#include <time.h>
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#ifdef TESSALY_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "engine/writers/deflate_coder.h"

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

// Times are the thread's CPU time: the machine is shared, and wall time swings with the
// load of others far more than CPU time does.
double CpuNow() {
  timespec ts;
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + ts.tv_nsec * 1e-9;
}

double ChildrenCpu() {
  rusage ru;
  getrusage(RUSAGE_CHILDREN, &ru);
  return ru.ru_utime.tv_sec + ru.ru_stime.tv_sec +
         (ru.ru_utime.tv_usec + ru.ru_stime.tv_usec) * 1e-6;
}

struct CorpusFile {
  std::string name;  // relative to the corpus folder
  Bytes data;
};

std::vector<CorpusFile> LoadCorpus(const fs::path& root) {
  std::vector<CorpusFile> files;
  for (const auto& entry : fs::recursive_directory_iterator(root)) {
    if (!entry.is_regular_file()) continue;
    std::ifstream in(entry.path(), std::ios::binary);
    CorpusFile f;
    f.name = fs::relative(entry.path(), root).generic_string();
    f.data.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    files.push_back(std::move(f));
  }
  std::sort(files.begin(), files.end(),
            [](const CorpusFile& a, const CorpusFile& b) { return a.name < b.name; });
  return files;
}

bool InflateEquals(const Bytes& packed, const Bytes& original) {
  z_stream zs{};
  if (inflateInit2(&zs, -15) != Z_OK) return false;
  Bytes out(original.size() + 1);
  zs.next_in = const_cast<Bytef*>(packed.data());
  zs.avail_in = static_cast<uInt>(packed.size());
  zs.next_out = out.data();
  zs.avail_out = static_cast<uInt>(out.size());
  const int rc = inflate(&zs, Z_FINISH);
  const bool ok = rc == Z_STREAM_END && zs.total_out == original.size() && zs.avail_in == 0 &&
                  std::memcmp(out.data(), original.data(), original.size()) == 0;
  inflateEnd(&zs);
  return ok;
}

struct Result {
  double seconds = 1e30;
  std::uint64_t packed = 0;
  bool verified = true;
};

// The writer's way: one coder for the whole run, fed 32 KiB pieces, reset per member.
Result RunOurs(const std::vector<CorpusFile>& files, int level, int reps) {
  Result r;
  Bytes out;
  engine::DeflateCoder coder(level, [&out](std::span<const std::uint8_t> block) {
    out.insert(out.end(), block.begin(), block.end());
  });
  for (int rep = 0; rep < reps; ++rep) {
    std::uint64_t packed = 0;
    const double t0 = CpuNow();
    for (const auto& f : files) {
      out.clear();
      coder.Reset();
      std::span<const std::uint8_t> in(f.data);
      while (!in.empty()) {
        const std::size_t n = std::min<std::size_t>(in.size(), 32768);
        coder.Write(in.first(n));
        in = in.subspan(n);
      }
      coder.Finish();
      packed += out.size();
    }
    const double s = CpuNow() - t0;
    r.seconds = std::min(r.seconds, s);
    r.packed = packed;
  }
  for (const auto& f : files) {
    const Bytes packed = engine::DeflateBuffer(f.data, level);
    if (!InflateEquals(packed, f.data)) {
      std::fprintf(stderr, "MISMATCH: level %d, %s\n", level, f.name.c_str());
      r.verified = false;
    }
  }
  return r;
}

Result RunZlib(const std::vector<CorpusFile>& files, int level, int reps) {
  Result r;
  z_stream zs{};
  deflateInit2(&zs, level, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  Bytes out;
  for (int rep = 0; rep < reps; ++rep) {
    std::uint64_t packed = 0;
    const double t0 = CpuNow();
    for (const auto& f : files) {
      deflateReset(&zs);
      out.resize(deflateBound(&zs, f.data.size()));
      zs.next_in = const_cast<Bytef*>(f.data.data());
      zs.avail_in = static_cast<uInt>(f.data.size());
      zs.next_out = out.data();
      zs.avail_out = static_cast<uInt>(out.size());
      deflate(&zs, Z_FINISH);
      packed += zs.total_out;
    }
    const double s = CpuNow() - t0;
    r.seconds = std::min(r.seconds, s);
    r.packed = packed;
  }
  deflateEnd(&zs);
  return r;
}

#ifdef TESSALY_HAVE_LIBDEFLATE
Result RunLibdeflate(const std::vector<CorpusFile>& files, int level, int reps) {
  Result r;
  libdeflate_compressor* c = libdeflate_alloc_compressor(level);
  Bytes out;
  for (int rep = 0; rep < reps; ++rep) {
    std::uint64_t packed = 0;
    const double t0 = CpuNow();
    for (const auto& f : files) {
      out.resize(libdeflate_deflate_compress_bound(c, f.data.size()));
      packed +=
          libdeflate_deflate_compress(c, f.data.data(), f.data.size(), out.data(), out.size());
    }
    const double s = CpuNow() - t0;
    r.seconds = std::min(r.seconds, s);
    r.packed = packed;
  }
  libdeflate_free_compressor(c);
  return r;
}
#endif

std::uint32_t Le32(const std::uint8_t* p) {
  return p[0] | (p[1] << 8) | (p[2] << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}
std::uint16_t Le16(const std::uint8_t* p) { return static_cast<std::uint16_t>(p[0] | (p[1] << 8)); }

// Sum of the members' compressed sizes in a ZIP file (from its central directory), so that
// its headers do not count against it.
std::uint64_t ZipPackedSum(const fs::path& zip, std::uint64_t& members) {
  std::ifstream in(zip, std::ios::binary);
  Bytes data((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  members = 0;
  if (data.size() < 22) return 0;
  std::size_t eocd = data.size() - 22;
  while (eocd > 0 && Le32(&data[eocd]) != 0x06054B50) --eocd;
  std::size_t p = Le32(&data[eocd + 16]);
  const unsigned count = Le16(&data[eocd + 10]);
  std::uint64_t sum = 0;
  for (unsigned i = 0; i < count && p + 46 <= data.size(); ++i) {
    if (Le32(&data[p]) != 0x02014B50) break;
    sum += Le32(&data[p + 20]);
    if (Le32(&data[p + 24]) != 0) ++members;  // skip folder entries
    p += 46 + Le16(&data[p + 28]) + Le16(&data[p + 30]) + Le16(&data[p + 32]);
  }
  return sum;
}

void PrintRow(const char* name, const Result& r, std::uint64_t total) {
  std::printf("  %-22s %8.3f s %8.2f MB/s %11llu bytes (%.2f %%)%s\n", name, r.seconds,
              total / r.seconds / 1e6, static_cast<unsigned long long>(r.packed),
              100.0 * r.packed / total, r.verified ? "" : "  VERIFY FAILED");
}

}  // namespace

int main(int argc, char** argv) {
  fs::path root = argc > 1 ? fs::path(argv[1]) : fs::path(TESSALY_SHARED_DIR) / "bench" / "corpus";
  const int reps = argc > 2 ? std::max(1, std::atoi(argv[2])) : 3;
  const auto files = LoadCorpus(root);
  std::uint64_t total = 0;
  for (const auto& f : files) total += f.data.size();
  std::printf("corpus %s: %zu files, %llu bytes; best of %d runs\n", root.string().c_str(),
              files.size(), static_cast<unsigned long long>(total), reps);

  const bool detail = argc > 3 && std::strcmp(argv[3], "--detail") == 0;
  struct Pairing {
    const char* type;
    int ours;
    int zlib;
  };
  const Pairing pairings[] = {
      {"dtDeflateS", 1, 1}, {"dtDeflateF", 2, 2}, {"dtDeflateN", 7, 6}, {"dtDeflateX", 9, 9}};
  if (detail) {
    // Group files by their first path component.
    std::vector<std::pair<std::string, std::vector<CorpusFile>>> groups;
    for (const auto& f : files) {
      const std::string key = f.name.substr(0, f.name.find('/'));
      if (groups.empty() || groups.back().first != key) groups.push_back({key, {}});
      groups.back().second.push_back(f);
    }
    for (const auto& p : pairings) {
      std::printf("level %d vs zlib %d\n", p.ours, p.zlib);
      for (const auto& [key, group] : groups) {
        const Result o = RunOurs(group, p.ours, reps);
        const Result z = RunZlib(group, p.zlib, reps);
        std::printf("  %-28s speed x%.3f size %.4f (%.4f s vs %.4f s)\n", key.c_str(),
                    z.seconds / o.seconds, static_cast<double>(o.packed) / z.packed, o.seconds,
                    z.seconds);
      }
    }
    return 0;
  }
  bool allVerified = true;
  Result ours7;
  for (const auto& p : pairings) {
    const Result ours = RunOurs(files, p.ours, reps);
    const Result zlib = RunZlib(files, p.zlib, reps);
    allVerified = allVerified && ours.verified;
    if (p.ours == 7) ours7 = ours;
    std::printf("%s (level %d) vs zlib level %d\n", p.type, p.ours, p.zlib);
    char label[64];
    std::snprintf(label, sizeof label, "DeflateCoder %d", p.ours);
    PrintRow(label, ours, total);
    std::snprintf(label, sizeof label, "zlib %d", p.zlib);
    PrintRow(label, zlib, total);
#ifdef TESSALY_HAVE_LIBDEFLATE
    const Result ld = RunLibdeflate(files, p.zlib, reps);
    std::snprintf(label, sizeof label, "libdeflate %d", p.zlib);
    PrintRow(label, ld, total);
#endif
    std::printf("  => speed x%.3f of zlib, size %.4f of zlib\n", zlib.seconds / ours.seconds,
                static_cast<double>(ours.packed) / zlib.packed);
  }

  // 7-Zip's ZIP deflate at its normal level, one thread, on the same folder.
  if (std::system("7zz i > /dev/null 2>&1") == 0) {
    const fs::path zip = fs::temp_directory_path() / "tessaly_deflate_bench.zip";
    fs::remove(zip);
    const std::string cmd = "cd '" + root.string() + "' && 7zz a -tzip -mx=5 -mmt=1 '" +
                            zip.string() + "' . > /dev/null 2>&1";
    const double t0 = ChildrenCpu();
    const int rc = std::system(cmd.c_str());
    const double s = ChildrenCpu() - t0;
    std::uint64_t members = 0;
    const std::uint64_t packed = rc == 0 ? ZipPackedSum(zip, members) : 0;
    std::printf(
        "7zz a -tzip -mx=5 -mmt=1 (CPU time of the whole process, incl. reading files): %.3f s, "
        "%llu bytes of member data (%llu members)\n",
        s, static_cast<unsigned long long>(packed), static_cast<unsigned long long>(members));
    if (packed != 0)
      std::printf("  => DeflateCoder 7 speed x%.3f of 7zz, size %.4f of 7zz\n", s / ours7.seconds,
                  static_cast<double>(ours7.packed) / packed);
    fs::remove(zip);
  }
  std::printf(allVerified ? "all outputs verified with zlib inflate\n" : "VERIFICATION FAILED\n");
  return allVerified ? 0 : 1;
}
