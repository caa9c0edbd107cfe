#include "platform/platform.h"

#include <gtest/gtest.h>

#include <fstream>
#include <utility>

#include "core/output.h"
#include "test_util.h"

namespace psxdig {
namespace {

namespace fs = std::filesystem;

TEST(Platform, JoinPathAndBaseNameKnowThePlatformsSeparators) {
  using Pair = std::pair<const char*, const char*>;
#ifdef _WIN32
  const Pair joined[] = {
      {"D:\\iso", "D:\\iso\\a.seq"}, {"D:\\iso\\", "D:\\iso\\a.seq"}, {"D:/iso/", "D:/iso/a.seq"}};
  const Pair bases[] = {{"D:\\iso\\game.bin_05.seq", "game.bin_05.seq"},
                        {"D:\\iso/sub\\game.bin.vh", "game.bin.vh"},
                        {"D:\\iso\\sub/game.bin.vh", "game.bin.vh"},
                        {"D:game.bin", "game.bin"}};
  const std::uint32_t tooLong = 206;
#else
  const Pair joined[] = {{"/iso", "/iso/a.seq"}, {"/iso/", "/iso/a.seq"}};
  const Pair bases[] = {{"/iso/game.bin_05.seq", "game.bin_05.seq"},
                        {"/iso/a\\game.bin.vh", "a\\game.bin.vh"},  // a name character here
                        {"game.bin", "game.bin"}};
  const std::uint32_t tooLong = 36;
#endif
  for (const auto& [folder, path] : joined) {
    std::string out;
    EXPECT_TRUE(platform::JoinPath(folder, "a.seq", out)) << folder;
    EXPECT_EQ(out, path);
  }
  for (const auto& [path, base] : bases) EXPECT_EQ(platform::BaseName(path), base);
  // 250 + separator + 8 bytes and the terminator fill the 260 bytes exactly.
  std::string out = "kept";
  EXPECT_TRUE(platform::JoinPath(std::string(250, 'd'), std::string(8, 'n'), out));
  EXPECT_EQ(out.size(), 259u);
  out = "kept";
  EXPECT_FALSE(platform::JoinPath(std::string(250, 'd'), std::string(9, 'n'), out));
  EXPECT_EQ(platform::LastErrorCode(), tooLong);
  EXPECT_EQ(out, "kept");
}

TEST(Platform, FileSizeAndMappingReachPast4GiB) {
  testing::TempDir dir;
  const std::string path = dir.File("big.bin");
  constexpr std::uint64_t kSize = (4ull << 30) + 5;
  testing::WriteBytes(path, {'h', 'e', 'a', 'd'});
  fs::resize_file(path, kSize);  // sparse where the file system can
  {
    std::fstream tail(path, std::ios::in | std::ios::out | std::ios::binary);
    tail.seekp(static_cast<std::streamoff>(kSize - 1));
    tail.put('\x7e');
  }
  FilePtr f(std::fopen(path.c_str(), "rb"));
  ASSERT_NE(f, nullptr);
  std::fgetc(f.get());
  EXPECT_EQ(platform::FileSize(f.get()), static_cast<std::int64_t>(kSize));
  EXPECT_EQ(std::fgetc(f.get()), 'h');  // left at the start
#ifdef _WIN32
  platform::FileMapping m;
  ASSERT_TRUE(platform::MapFile(f.get(), kSize, m));
  ASSERT_NE(m.data, nullptr);
  EXPECT_EQ(m.size, kSize);
  EXPECT_EQ(m.data[3], 'd');
  EXPECT_EQ(m.data[kSize / 2], 0);
  EXPECT_EQ(m.data[kSize - 1], 0x7e);
  platform::UnmapFile(m);
  EXPECT_EQ(m.data, nullptr);
  ASSERT_TRUE(platform::MapFile(f.get(), 0, m));  // an empty file maps to nothing
  EXPECT_EQ(m.data, nullptr);
  platform::UnmapFile(m);
#endif
}

}  // namespace
}  // namespace psxdig
