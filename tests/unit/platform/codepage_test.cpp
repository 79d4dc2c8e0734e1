// Code page tables against iconv, round trips, and what cannot be encoded.
#include "platform/codepage.h"

#include "platform/path.h"
#include "scratch.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <string>

namespace {

using platform::TCodePage;
using platform_test::ReadWholeFile;
using platform_test::ScratchDir;
using platform_test::WriteFile;

std::string AllBytes() {
  std::string s(256, '\0');
  for (int i = 0; i < 256; ++i) s[i] = static_cast<char>(i);
  return s;
}

// Converts with the iconv program; nullopt when it fails or is missing.
std::optional<std::string> Iconv(const ScratchDir& dir, const char* from, const char* to,
                                 const std::string& input) {
  const std::string in = dir / "in.bin", out = dir / "out.bin";
  if (!WriteFile(in, input)) return std::nullopt;
  const std::string cmd =
      std::string("iconv -f ") + from + " -t " + to + " '" + in + "' > '" + out + "' 2>/dev/null";
  if (std::system(cmd.c_str()) != 0) return std::nullopt;
  return ReadWholeFile(out);
}

TEST(PlatformCodePage, TablesMatchIconv) {
  if (platform::kIsWindows) GTEST_SKIP() << "the iconv oracle runs on the build host only";
  if (std::system("iconv --version >/dev/null 2>&1") != 0) GTEST_SKIP() << "iconv not found";
  ScratchDir dir;
  struct Page {
    TCodePage page;
    const char* name;
  };
  for (const Page p : {Page{TCodePage::cpOem437, "CP437"}, Page{TCodePage::cpOem850, "CP850"},
                       Page{TCodePage::cpAnsi1252, "CP1252"}}) {
    std::string bytes = AllBytes();
    if (p.page == TCodePage::cpAnsi1252) {
      // The five unassigned bytes have no agreed character.
      for (const char c : {'\x81', '\x8D', '\x8F', '\x90', '\x9D'}) std::erase(bytes, c);
    }
    const auto expected = Iconv(dir, p.name, "UTF-8", bytes);
    ASSERT_TRUE(expected.has_value()) << p.name;
    const std::string ours = platform::CodePageToUtf8(bytes, p.page);
    EXPECT_EQ(ours, *expected) << p.name;
    // Each byte is one character, so a mismatch can name its byte.
    std::size_t pos = 0;
    for (const char b : bytes) {
      if (pos >= expected->size()) break;
      const std::string mine = platform::CodePageToUtf8(std::string(1, b), p.page);
      const std::size_t start = pos;
      platform::DecodeUtf8(*expected, pos);
      EXPECT_EQ(mine, expected->substr(start, pos - start))
          << p.name << " byte 0x" << std::hex << (static_cast<int>(b) & 0xFF);
    }
    EXPECT_EQ(platform::Utf8ToCodePage(*expected, p.page), bytes) << p.name << " back";
  }
}

TEST(PlatformCodePage, EveryByteRoundTrips) {
  const std::string bytes = AllBytes();
  for (const TCodePage page : {TCodePage::cpOem437, TCodePage::cpOem850, TCodePage::cpAnsi1252}) {
    EXPECT_EQ(platform::Utf8ToCodePage(platform::CodePageToUtf8(bytes, page), page), bytes)
        << static_cast<int>(page);
  }
}

TEST(PlatformCodePage, KnownCharactersAndUnmappables) {
  // "Größe" in CP437: ö = 0x94, ß = 0xE1; in CP850 the same; in 1252 ö = 0xF6, ß = 0xDF.
  EXPECT_EQ(platform::CodePageToUtf8("Gr\x94\xE1" "e", TCodePage::cpOem437), "Größe");
  EXPECT_EQ(platform::Utf8ToCodePage("Größe", TCodePage::cpOem850), "Gr\x94\xE1" "e");
  EXPECT_EQ(platform::Utf8ToAnsi("Größe €"), "Gr\xF6\xDF" "e \x80");
  EXPECT_EQ(platform::AnsiToUtf8("\x80\x99"), "€™");
  EXPECT_EQ(platform::CodePageToUtf8("\xC9\xCD\xBB", TCodePage::cpOem437), "╔═╗");
  // CP850 swapped some box drawing for accented capitals.
  EXPECT_EQ(platform::CodePageToUtf8("\xB5", TCodePage::cpOem850), "Á");
  // Missing characters, a character outside the BMP, and broken UTF-8 become '?'.
  EXPECT_EQ(platform::Utf8ToCodePage("a€b", TCodePage::cpOem437), "a?b");
  EXPECT_EQ(platform::Utf8ToCodePage("日本", TCodePage::cpOem850), "??");
  EXPECT_EQ(platform::Utf8ToCodePage("x\xF0\x9F\x98\x80y", TCodePage::cpAnsi1252), "x?y");
  EXPECT_EQ(platform::Utf8ToCodePage("a\xC3", TCodePage::cpOem437), "a?");
  EXPECT_EQ(platform::Utf8ToCodePage("\xC0\xAF", TCodePage::cpOem437), "??") << "overlong '/'";
  EXPECT_EQ(platform::Utf8ToCodePage("\xED\xA0\x80", TCodePage::cpAnsi1252), "???")
      << "surrogate";
}

TEST(PlatformCodePage, SystemOemPage) {
  const unsigned page = platform::OemCodePage();
  EXPECT_NE(page, 0u);
  if (!platform::kIsWindows) {
    EXPECT_EQ(page, 437u);
  }
  if (page == 437 || page == 850) {
    const std::string bytes = AllBytes();
    EXPECT_EQ(platform::OemToUtf8(bytes),
              platform::CodePageToUtf8(bytes, static_cast<TCodePage>(page)));
  }
  EXPECT_EQ(platform::Utf8ToOem(platform::OemToUtf8("ABC \x82")), "ABC \x82");
  EXPECT_EQ(platform::Utf8ToOem("日"), "?");
}

}  // namespace
