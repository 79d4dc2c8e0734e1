// Enumerations shared by every engine, with their names for display and tests.
#pragma once

#include <cstdint>
#include <string_view>

namespace engine {

// Archive types as detection reports them. The order is fixed.
enum class TArcType : std::uint8_t {
  atNA, atUnsupported, atFileOpenErr, atUnknown, atACE, atArc, atArcExe, atArj, atArjExe,
  atBh, atBhExe, atCab, atGZip, atHa, atJar, atLha, atLhaExe, atLzh, atLzhExe, atMsGZ,
  atPak, atPakExe, atRar, atRarExe, atTar, atUue, atZip, atZipExe, atZipMV, atZoo,
};
inline constexpr int kArcTypeCount = static_cast<int>(TArcType::atZoo) + 1;

// "atZip" for TArcType::atZip.
std::string_view ArcTypeName(TArcType type);
// A type is recognised when it names an archive format.
bool IsRecognised(TArcType type);
bool IsExtractable(TArcType type);
bool IsTestable(TArcType type);
// Index of an extension (".UUE", ".XXE", ".ENC", ...) compared case-insensitively, or -1.
int ExtensionIndex(std::string_view ext);
// The ZIP family: atZip, atZipExe, atZipMV, atJar.
bool IsZipFamily(TArcType type);

enum class TOverwriteMode : std::uint8_t { omOverwrite, omSkip };
enum class TDateAttribute : std::uint8_t { daFileDate, daSysDate, daMaxFileDate };
enum class TDeleteOptions : std::uint8_t { doFinal, doAllowUndo };
enum class TCpuType : std::uint8_t { cptAuto, cpt80286, cpt80386, cpt80486 };
enum class TSwitch : std::uint8_t { swAdd, swMove, swDelete, swRead };
enum class TStoredDirNames : std::uint8_t {
  sdNone, sdAbsolute, sdAbsoluteNoDrv, sdRelative, sdRelativeStoreStart,
};
enum class TDeflateType : std::uint8_t { dtDeflateS, dtDeflateF, dtDeflateN, dtDeflateX };
enum class TCompressMethod : std::uint8_t {
  cmStore, cmDeflate, cmFuse, cmFrozen1, cmFrozen5, cmMsZip, cmLzx, cmQuantum,
  cmUUEncode, cmXXEncode, cmTarred, cmGzipTar,
};

// Which running checksum the block layer updates.
enum : int { kCrcNone = 0, kCrc16 = 16, kCrc32 = 32 };

}  // namespace engine
