// Inflate throughput on the benchmark corpus: our Inflater against zlib (and libdeflate).
//
// Every corpus file is compressed once with zlib (level 6, raw deflate); then each group
// (a single file, or one folder of smallfiles/) is decoded whole by each decoder, round after
// round, and the median time per decoder is reported. Our output is checked against the
// original bytes first. Usage: inflate_bench [runs] [corpus folder]
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#ifdef TESSALY_HAVE_LIBDEFLATE
#include <libdeflate.h>
#endif

#include "engine/decoders/inflate.h"

namespace fs = std::filesystem;
using engine::CodecStatus;

namespace {

struct Item {
  std::vector<std::uint8_t> raw;
  std::vector<std::uint8_t> packed;
};

struct Group {
  std::string name;
  std::vector<Item> items;
  std::size_t rawBytes = 0;
  std::size_t packedBytes = 0;
  std::vector<double> ours, zlib, ldef;  // seconds per round
};

std::vector<std::uint8_t> ReadFile(const fs::path& p) {
  std::ifstream f(p, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(f), {});
}

std::vector<std::uint8_t> DeflateRaw(const std::vector<std::uint8_t>& in) {
  z_stream z{};
  deflateInit2(&z, 6, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY);
  std::vector<std::uint8_t> out(deflateBound(&z, in.size()) + 16);
  z.next_in = const_cast<Bytef*>(in.data());
  z.avail_in = static_cast<uInt>(in.size());
  z.next_out = out.data();
  z.avail_out = static_cast<uInt>(out.size());
  if (deflate(&z, Z_FINISH) != Z_STREAM_END) {
    std::fprintf(stderr, "deflate failed\n");
    std::exit(2);
  }
  out.resize(z.total_out);
  deflateEnd(&z);
  return out;
}

// Copies each block into a preallocated buffer, as a caller's output buffer would receive it.
class BufferSink final : public engine::IByteSink {
 public:
  explicit BufferSink(std::uint8_t* dst) : dst_(dst) {}
  bool Write(const std::uint8_t* data, std::size_t count) override {
    std::memcpy(dst_ + pos_, data, count);
    pos_ += count;
    return true;
  }
  std::size_t size() const { return pos_; }

 private:
  std::uint8_t* dst_;
  std::size_t pos_ = 0;
};

double Median(std::vector<double> v) {
  if (v.empty()) return 0;
  std::sort(v.begin(), v.end());
  return v.size() % 2 ? v[v.size() / 2] : (v[v.size() / 2 - 1] + v[v.size() / 2]) / 2;
}

template <class F>
double Time(F&& f) {
  const auto t0 = std::chrono::steady_clock::now();
  f();
  return std::chrono::duration<double>(std::chrono::steady_clock::now() - t0).count();
}

}  // namespace

int main(int argc, char** argv) {
  const int runs = argc > 1 ? std::max(1, std::atoi(argv[1])) : 7;
  const fs::path corpus = argc > 2 ? fs::path(argv[2]) : fs::path(TESSALY_SHARED_DIR) / "bench" / "corpus";
  if (!fs::is_directory(corpus)) {
    std::fprintf(stderr, "no corpus at %s\n", corpus.string().c_str());
    return 2;
  }

  // Groups: each top-level file; each folder directly under smallfiles/.
  std::map<std::string, Group> groups;
  for (const auto& de : fs::recursive_directory_iterator(corpus)) {
    if (!de.is_regular_file()) continue;
    const fs::path rel = fs::relative(de.path(), corpus);
    const std::string first = rel.begin()->string();
    if (first == "LICENSES" || first == "SOURCES.md" || first == ".gitattributes") continue;
    std::string key = first;
    if (first == "smallfiles" && std::distance(rel.begin(), rel.end()) > 2) key = "smallfiles/" + std::next(rel.begin())->string();
    Group& g = groups[key];
    g.name = key;
    Item it;
    it.raw = ReadFile(de.path());
    it.packed = DeflateRaw(it.raw);
    g.rawBytes += it.raw.size();
    g.packedBytes += it.packed.size();
    g.items.push_back(std::move(it));
  }

  std::size_t maxRaw = 0;
  for (auto& [k, g] : groups)
    for (auto& it : g.items) maxRaw = std::max(maxRaw, it.raw.size());
  std::vector<std::uint8_t> outBuf(maxRaw + 64);

  // Correctness first: our output must equal the original bytes.
  engine::Inflater inflater;
  for (auto& [k, g] : groups)
    for (auto& it : g.items) {
      inflater.Reset();
      engine::MemorySource src(it.packed);
      BufferSink sink(outBuf.data());
      const CodecStatus s = inflater.Decode(src, sink);
      if (s != CodecStatus::csEnd || sink.size() != it.raw.size() ||
          std::memcmp(outBuf.data(), it.raw.data(), it.raw.size()) != 0) {
        std::fprintf(stderr, "MISMATCH in %s (status %d)\n", g.name.c_str(), static_cast<int>(s));
        return 1;
      }
    }

  z_stream z{};
  inflateInit2(&z, -15);
#ifdef TESSALY_HAVE_LIBDEFLATE
  libdeflate_decompressor* ld = libdeflate_alloc_decompressor();
#endif
  for (int r = 0; r < runs; ++r) {
    for (auto& [k, g] : groups) {
      g.ours.push_back(Time([&] {
        for (auto& it : g.items) {
          inflater.Reset();
          engine::MemorySource src(it.packed);
          BufferSink sink(outBuf.data());
          inflater.Decode(src, sink);
        }
      }));
      g.zlib.push_back(Time([&] {
        for (auto& it : g.items) {
          inflateReset(&z);
          z.next_in = it.packed.data();
          z.avail_in = static_cast<uInt>(it.packed.size());
          z.next_out = outBuf.data();
          z.avail_out = static_cast<uInt>(outBuf.size());
          if (inflate(&z, Z_FINISH) != Z_STREAM_END) std::abort();
        }
      }));
#ifdef TESSALY_HAVE_LIBDEFLATE
      g.ldef.push_back(Time([&] {
        for (auto& it : g.items) {
          std::size_t got = 0;
          if (libdeflate_deflate_decompress(ld, it.packed.data(), it.packed.size(), outBuf.data(), outBuf.size(),
                                            &got) != LIBDEFLATE_SUCCESS)
            std::abort();
        }
      }));
#endif
    }
  }
  inflateEnd(&z);
#ifdef TESSALY_HAVE_LIBDEFLATE
  libdeflate_free_decompressor(ld);
#endif

  std::printf("%-26s %10s %6s %9s %9s %9s %7s %7s\n", "input", "bytes", "pack%", "ours MB/s", "zlib MB/s",
              "ldef MB/s", "/zlib", "/ldef");
  double tOurs = 0, tZlib = 0, tLdef = 0;
  std::size_t totalRaw = 0, totalPacked = 0;
  for (auto& [k, g] : groups) {
    const double o = Median(g.ours), zz = Median(g.zlib), l = Median(g.ldef);
    tOurs += o;
    tZlib += zz;
    tLdef += l;
    totalRaw += g.rawBytes;
    totalPacked += g.packedBytes;
    const double mb = g.rawBytes / 1e6;
    std::printf("%-26s %10zu %6.1f %9.1f %9.1f %9.1f %7.2f %7.2f\n", g.name.c_str(), g.rawBytes,
                100.0 * g.packedBytes / g.rawBytes, mb / o, mb / zz, l > 0 ? mb / l : 0.0, zz / o, l > 0 ? l / o : 0.0);
  }
  const double mb = totalRaw / 1e6;
  std::printf("%-26s %10zu %6.1f %9.1f %9.1f %9.1f %7.2f %7.2f\n", "ALL", totalRaw, 100.0 * totalPacked / totalRaw,
              mb / tOurs, mb / tZlib, tLdef > 0 ? mb / tLdef : 0.0, tZlib / tOurs, tLdef > 0 ? tLdef / tOurs : 0.0);
  std::printf("whole corpus: ours/zlib speed ratio %.2f", tZlib / tOurs);
  if (tLdef > 0) std::printf(", ours/libdeflate %.2f", tLdef / tOurs);
  std::printf(" (median of %d rounds)\n", runs);
  // On a busy machine the fastest round of each is the least disturbed measurement.
  double bOurs = 0, bZlib = 0, bLdef = 0;
  for (auto& [k, g] : groups) {
    bOurs += *std::min_element(g.ours.begin(), g.ours.end());
    bZlib += *std::min_element(g.zlib.begin(), g.zlib.end());
    if (!g.ldef.empty()) bLdef += *std::min_element(g.ldef.begin(), g.ldef.end());
  }
  std::printf("whole corpus, best rounds: ours %.1f MB/s, ours/zlib %.2f", mb / bOurs, bZlib / bOurs);
  if (bLdef > 0) std::printf(", ours/libdeflate %.2f", bLdef / bOurs);
  std::printf("\n");
  return 0;
}
