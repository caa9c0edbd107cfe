// The dec command run as a program on generated images.
#include <gtest/gtest.h>

#include "image_compressed.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::fs::exists;
using Bytes = std::vector<std::uint8_t>;

class DecCommand : public ::testing::Test {
 protected:
  std::string Image() const { return dir_.File("game.bin"); }
  testing::TempDir dir_;
};

class DecEveryRelease : public DecCommand, public ::testing::WithParamInterface<const char*> {};

TEST_P(DecEveryRelease, WritesTheDecodedItemsAndMovesDuplicatesWithC) {
  const std::string serial = GetParam();
  const auto made = testing::RunMkimage({"dec", serial, Image()});
  ASSERT_EQ(made.exitCode, 0) << made.err;
  tools::DecImage expected;
  ASSERT_TRUE(tools::BuildDecImage(serial, expected));
  ASSERT_EQ(testing::ReadBytes(Image()), expected.image);  // the generator wrote the same image

  const auto run = testing::RunPsxdig({"dec", Image(), serial, "/c"});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  if (expected.ext == ".dec") {
    // One file for the whole input, named for the two signatures found.
    EXPECT_EQ(testing::ReadBytes(Image() + "_1.dec"), expected.outputs[0]);
    EXPECT_EQ(run.out.find("Uncompress"), std::string::npos);
    EXPECT_FALSE(exists(Image() + "_DupFiles"));
    return;
  }
  ASSERT_EQ(expected.outputs.size(), 3u);
  EXPECT_NE(run.out.find("\rUncompress    3/   3\n"), std::string::npos);
  EXPECT_EQ(testing::ReadBytes(Image() + "_1" + expected.ext), expected.outputs[0]);
  EXPECT_EQ(testing::ReadBytes(Image() + "_2" + expected.ext), expected.outputs[1]);
  // The third item decodes like the first and is moved aside.
  EXPECT_FALSE(exists(Image() + "_3" + expected.ext));
  EXPECT_EQ(testing::ReadBytes(Image() + "_DupFiles/game.bin_3" + expected.ext), expected.outputs[0]);
  EXPECT_EQ(testing::ReadText(Image() + "_DupFiles.txt"),
            "game.bin_1" + expected.ext + ",game.bin_3" + expected.ext + "\r\n");
  EXPECT_FALSE(exists(Image() + "_Error.txt"));
}

INSTANTIATE_TEST_SUITE_P(Serials, DecEveryRelease,
                         ::testing::Values("00348", "10028", "10037", "00844", "10089", "02804",
                                           "03425", "10105", "00856", "01418", "01751", "91180"));

TEST_F(DecCommand, InputWithoutSignaturesReportsNothingFoundWhateverTheSerial) {
  testing::WriteBytes(Image(), Bytes(5000, 0x20));
  const auto run = testing::RunPsxdig({"dec", Image(), "12345"});
  EXPECT_EQ(run.exitCode, 1);
  EXPECT_EQ(run.err, "Not found seq and|or vh: " + Image() + "\n");
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"game.bin"}));
}

}  // namespace
}  // namespace psxdig
