// The ".sshd" body scan and the ".inst" body placement.
#include <gtest/gtest.h>

#include "bank_fixture.h"

namespace psxdig {
namespace {

using tools::MakeInstHeader;
using tools::MakeSShdBody;

TEST(SShdBodyCheck, BlockRules) {
  struct Case {
    std::size_t at;
    std::uint8_t value;
    bool passes;
  };
  // Byte 0 below 0x4F in every block; the first real block (16) neither empty
  // nor ending a sample; the last block's flag 1, 3 or 7; no flag above 7.
  const Case cases[] = {{0, 0, true},      {16, 0x4E, true},  {16, 0x4F, false}, {32, 0x4F, false},
                        {17, 0, true},     {17, 2, true},     {17, 6, true},     {17, 1, false},
                        {17, 3, false},    {17, 7, false},    {49, 3, true},     {49, 7, true},
                        {49, 2, false},    {33, 8, false},    {7, 1, false}};
  for (const Case& c : cases) {
    Bytes buf = MakeSShdBody(64, 5);
    if (c.at != 0) buf[c.at] = c.value;
    EXPECT_EQ(PassesSShdBody(ByteSpan(buf), 0, 64), c.passes) << c.at << " " << int{c.value};
  }
  Bytes empty = MakeSShdBody(64, 5);
  empty[16] = empty[17] = 0;  // the first real block must not be empty
  EXPECT_FALSE(PassesSShdBody(ByteSpan(empty), 0, 64));
  // Bytes outside the input fail: a 16-byte body whose first real block lies
  // past the input, and an 8-byte one whose last-block flag stands before it.
  EXPECT_FALSE(PassesSShdBody(ByteSpan(Bytes(17, 0)), 0, 16));
  Bytes shortBody(18, 0);
  shortBody[16] = 0x12;
  EXPECT_FALSE(PassesSShdBody(ByteSpan(shortBody), 0, 8));
}

TEST_F(BankFixture, InstBodyStandsHeaderSizeBytesBehindTheSignatureWhenItFits) {
  AppendFill(0x100);
  const std::uint32_t h0 = Append(MakeInstHeader(0x20, 0x1000, 1));
  AppendFill(0x1000, 0x5A);
  const std::uint32_t h1 = Append(MakeInstHeader(0x20, 0x11, 2));
  AppendFill(0x10);  // one byte short of the second body
  DataOfs table = BankTable(".inst", {h0, h1});
  EXPECT_EQ(Call([&] { return CreateVbForInst(Context(), table); }), 1u);
  EXPECT_EQ(Rows(), ".vb,1,      288-     4383,     120-    111f,  4096, 1000,\r\n");
  EXPECT_EQ(Written("_1.vb"), Slice(0x120, 0x1000));
  EXPECT_FALSE(Exists("_2.vb"));
  EXPECT_EQ(table.vbCreated, (std::vector<std::uint32_t>{1, 0}));
  EXPECT_EQ(out, "\rCreate .vb file    1/   2\n");
}

}  // namespace
}  // namespace psxdig
