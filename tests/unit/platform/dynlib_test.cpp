// Dynamic libraries: load by name, resolve, fail cleanly.
#include "platform/dynlib.h"

#include "platform/path.h"

#include <gtest/gtest.h>

#include <cstring>

namespace {

TEST(PlatformLibrary, LoadsAndResolves) {
  platform::Library lib;
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_EQ(lib.Symbol("anything"), nullptr);
  if (platform::kIsWindows) {
    // The C runtime's strlen: a plain C calling convention on every Windows target.
    ASSERT_TRUE(lib.Load("msvcrt.dll")) << lib.Error();
    using Strlen = std::size_t (*)(const char*);
    const auto len = lib.Resolve<Strlen>("strlen");
    ASSERT_NE(len, nullptr) << lib.Error();
    EXPECT_EQ(len("tessaly"), 7u);
  } else {
    if (!lib.Load("libz.so.1")) GTEST_SKIP() << "libz.so.1 not installed: " << lib.Error();
    using Crc32 = unsigned long (*)(unsigned long, const unsigned char*, unsigned);
    const auto crc32 = lib.Resolve<Crc32>("crc32");
    ASSERT_NE(crc32, nullptr) << lib.Error();
    const char* text = "123456789";
    EXPECT_EQ(crc32(0, reinterpret_cast<const unsigned char*>(text), 9), 0xCBF43926ul);
  }
  EXPECT_EQ(lib.Symbol("no_such_symbol_here"), nullptr);
  EXPECT_FALSE(lib.Error().empty());

  platform::Library moved(std::move(lib));
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_TRUE(moved.IsLoaded());
  moved.Unload();
  EXPECT_FALSE(moved.IsLoaded());
}

TEST(PlatformLibrary, MissingLibraryFails) {
  platform::Library lib;
  EXPECT_FALSE(lib.Load(platform::kIsWindows ? "no_such_library_xyz.dll" : "libno_such_xyz.so"));
  EXPECT_FALSE(lib.IsLoaded());
  EXPECT_FALSE(lib.Error().empty());
}

}  // namespace
