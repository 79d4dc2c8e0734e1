// Method texts by archive type.
#include "engine/core/method_names.h"

#include <gtest/gtest.h>

namespace engine {
namespace {

using enum TArcType;

struct Row {
  TArcType type;
  std::uint16_t code;
  std::uint32_t flags;
  std::uint32_t attributes;
  const char* text;
};

TEST(MethodName, TableRows) {
  const Row rows[] = {
      {atACE, 0, 0, 0, "Fastest"}, {atACE, 5, 0, 0, "Lzw"}, {atACE, 6, 0, 0, "Unknown"},
      {atArc, 1, 0, 0, "Stored"}, {atArc, 2, 0, 0, "Stored"}, {atArc, 3, 0, 0, "Packed"},
      {atArc, 4, 0, 0, "Squeezed"}, {atArc, 5, 0, 0, "crunched"}, {atArc, 7, 0, 0, "crunched"},
      {atArc, 8, 0, 0, "Crunched"}, {atArc, 9, 0, 0, "Squashed"}, {atArcExe, 12, 0, 0, "Pack12"},
      {atArc, 30, 0, 0, "Dir"}, {atArc, 0, 0, 0, "Unknown"}, {atArc, 13, 0, 0, "Unknown"},
      {atArj, 0, 0, 0, "Stored"}, {atArj, 2, 0, 0, "2nd Most"}, {atArjExe, 4, 0, 0, "Fastest"},
      {atArj, 9, 0, kMethodDirAttr, "Dir"}, {atArj, 9, 0, 0, "Unknown"},
      // A known method wins over the folder attribute.
      {atArj, 0, 0, kMethodDirAttr, "Stored"},
      {atBh, 0, 0, 0, "Stored"}, {atBh, 1, 0, 0, "Fused"}, {atBh, 2, 0, 0, "Deflate"},
      {atBhExe, 8, 2, 0, "DeflateX"}, {atBh, 3, 0, 0, "Unknown"},
      {atCab, 0, 0, 0, "Stored"}, {atCab, 1, 0, 0, "MsZIP"}, {atCab, 0x0F12, 0, 0, "Quantum"},
      {atCab, 0x1503, 0, 0, "Lzx"}, {atCab, 4, 0, 0, "Unknown"},
      {atGZip, 0, 0, 0, "Stored"}, {atGZip, 8, 0, 0, "Deflate"}, {atGZip, 144, 0, 0, "LzwMAGIC"},
      {atGZip, 0x1E, 0x1E1F, 0, "PackMAGIC"}, {atGZip, 0x1E, 0xA01F, 0, "LzhMAGIC"},
      {atGZip, 5, 0x8B1F, 0, "Unknown"},
      {atHa, 0, 0, 0, "Cpy"}, {atHa, 1, 0, 0, "Asc"}, {atHa, 2, 0, 0, "HSC"},
      {atHa, 14, 0, 0, "Dir"}, {atHa, 15, 0, 0, "Special"}, {atHa, 3, 0, 0, ""},
      {atZip, 0, 0, 0, "Stored"}, {atZip, 1, 0, 0, "Shrunk"}, {atZip, 2, 0, 0, "Reduce-1"},
      {atZip, 5, 0, 0, "Reduce-4"}, {atZip, 6, 0, 0, "Imploded"}, {atJar, 7, 0, 0, "Tokened"},
      {atZip, 8, 6, 0, "DeflateS"}, {atZipExe, 8, 4, 0, "DeflateF"}, {atZipMV, 8, 2, 0, "DeflateX"},
      {atZip, 8, 0, 0, "DeflateN"}, {atZip, 8, 0x0809, 0, "DeflateN"},
      {atZip, 12, 0, kMethodDirAttr, "Dir"}, {atZip, 12, 0, 0x20, "Unknown"},
      {atLha, '0', 0, 0, "Stored"}, {atLzh, '5', 0, 0, "Frozen-5"},
      {atLhaExe, '6', 0, 0, "Frozen-6"}, {atLzhExe, '7', 0, 0, "Unknown"},
      {atLha, 'd', 0, 0, "Unknown"}, {atLha, 0, 0, 0, "Unknown"},
      {atPak, 1, 0, 0, "Stored"}, {atPak, 3, 0, 0, "RLE"}, {atPak, 6, 0, 0, "FIXEDLEN"},
      {atPak, 9, 0, 0, "VARIBLE"}, {atPakExe, 10, 0, 0, "Crushed"}, {atPak, 11, 0, 0, "Distill"},
      {atPak, 12, 0, 0, "Unknown"},
      {atRar, '0', 0, 0, "Stored"}, {atRarExe, '5', 0, 0, "Best"}, {atRar, '3', 0, 0, "Normal"},
      {atRar, '6', 0, kMethodDirAttr, "Dir"}, {atRar, 6, 0, 0, "Unknown"},
      {atTar, 0, 0, 0, "Tarred"}, {atTar, 0, 0, kMethodDirAttr, "Tarred"},
      {atTar, 1, 0, kMethodDirAttr, "Dir"}, {atTar, 1, 0, 0, "Unknown"},
      {atZoo, 0, 0, 0, "Stored"}, {atZoo, 1, 0, 0, "Fastest"}, {atZoo, 2, 0, 0, "Greatest"},
      {atZoo, 3, 0, 0, "Unknown"},
      {atUue, 0, 0, 0, "Unknown"}, {atNA, 0, 0, 0, "Unknown"},
  };
  for (const Row& r : rows)
    EXPECT_EQ(MethodName(r.type, r.code, r.flags, r.attributes), r.text)
        << ArcTypeName(r.type) << " code " << r.code << " flags " << r.flags;
}

}  // namespace
}  // namespace engine
