#include "core/output.h"

#include <gtest/gtest.h>

#include "platform/platform.h"
#include "test_util.h"

namespace psxdig {
namespace {

#ifdef _WIN32
constexpr std::uint32_t kNameTooLong = 206;
#else
constexpr std::uint32_t kNameTooLong = 36;
#endif

TEST(OutputName, NumberWidthFollowsTheClassCountUpTo259Bytes) {
  const std::string p = "/iso/game.bin";
  EXPECT_EQ(BuildOutputName(p, ".seq", 0, 0), "/iso/game.bin.seq");
  EXPECT_EQ(BuildOutputName(p, ".vh", 0, 1), "/iso/game.bin.vh");
  EXPECT_EQ(BuildOutputName(p, ".seq", 0, 2), "/iso/game.bin_1.seq");
  EXPECT_EQ(BuildOutputName(p, ".vb", 1, 2), "/iso/game.bin_2.vb");
  EXPECT_EQ(BuildOutputName(p, ".seq", 4, 12), "/iso/game.bin_05.seq");
  EXPECT_EQ(BuildOutputName(p, ".seq", 9, 10), "/iso/game.bin_10.seq");
  EXPECT_EQ(BuildOutputName(p, ".seq", 0, 100), "/iso/game.bin_001.seq");
  EXPECT_EQ(BuildOutputName(p, ".seq", 4, 1000), "/iso/game.bin_0005.seq");
  EXPECT_EQ(BuildOutputName(p, ".seq", 9999, 9999), "/iso/game.bin_10000.seq");  // wider number printed whole
  EXPECT_EQ(BuildOutputName(p, ".seq", 0, 10000), "");
  const std::string dir = "/" + std::string(250, 'd') + "/";
  const std::string path259 = dir + std::string(259 - dir.size() - 4, 'f');
  EXPECT_EQ(BuildOutputName(path259, ".seq", 0, 1).size(), 259u);
  EXPECT_EQ(BuildOutputName(path259 + "x", ".seq", 0, 1), "");
  EXPECT_EQ(OpenOutputFile(path259 + "x", nullptr, nullptr, ".seq", "wb", 0, 1), nullptr);
  EXPECT_EQ(platform::LastErrorCode(), kNameTooLong);
  EXPECT_EQ(OpenOutputFile(p, nullptr, nullptr, ".seq", "wb", 0, 10000), nullptr);
  EXPECT_EQ(platform::LastErrorCode(), 2u);  // not found
}

}  // namespace
}  // namespace psxdig
