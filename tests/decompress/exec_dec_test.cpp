#include "decompress/exec_dec.h"

#include <gtest/gtest.h>

#include "image_compressed.h"
#include "test_util.h"

namespace psxdig {
namespace {

using Bytes = std::vector<std::uint8_t>;

// execDec on an in-memory input whose files go to a scratch folder.
class ExecDec : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }

  std::uint32_t Run(const Bytes& input, const std::string& serial) {
    RunOptions options;
    options.runMode = kRunDec;
    const DecContext ctx{Input(), serial, ByteSpan(input), ErrorLog(log_.get()), options};
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    const std::uint32_t r = execDec(ctx, table_);
    out_ = ::testing::internal::GetCapturedStdout();
    err_ = ::testing::internal::GetCapturedStderr();
    return r;
  }

  // "pQES" with version 1: a signature of the dec search.
  static Bytes Signatures(std::size_t count) {
    Bytes in;
    for (std::size_t k = 0; k < count; ++k) in.insert(in.end(), {'p', 'Q', 'E', 'S', 0, 0, 0, 1});
    return in;
  }

  testing::TempDir dir_;
  testing::ScratchFile log_;
  DataOfs table_;
  std::string out_;
  std::string err_;
};

TEST_F(ExecDec, UnknownSerialIsReportedAfterTheSearch) {
  EXPECT_EQ(Run(Signatures(2), "12345"), 0u);
  EXPECT_EQ(err_, "Unsupported number: 12345\n");
  EXPECT_EQ(table_.seqNum, 2u);  // the search ran to its end first
  EXPECT_NE(out_.find("SearchFile"), std::string::npos);
  EXPECT_EQ(out_.find("Uncompress"), std::string::npos);
  EXPECT_TRUE(dir_.List().empty());
}

TEST_F(ExecDec, NothingFoundNeverLooksAtTheSerial) {
  const Bytes input(4000, 0x11);
  EXPECT_EQ(Run(input, "12345"), 0u);
  EXPECT_EQ(err_, "Not found seq and|or vh: " + Input() + "\n");
  EXPECT_EQ(out_, "\n");
}

TEST_F(ExecDec, SerialMustMatchExactly) {
  for (const char* serial : {"10037 ", " 10037", "SCPS-10037", "1003", "100370", ""}) {
    table_ = DataOfs{};
    EXPECT_EQ(Run(Signatures(1), serial), 0u) << serial;
    EXPECT_EQ(err_, std::string("Unsupported number: ") + serial + "\n");
  }
}

TEST_F(ExecDec, BankSignaturesAreNotSearched) {
  // A VAB header signature finds nothing in dec mode.
  Bytes input(64, 0);
  input[0] = 'p';
  input[1] = 'B';
  input[2] = 'A';
  input[3] = 'V';
  input[40] = input[41] = 0xFF;
  EXPECT_EQ(Run(input, "10037"), 0u);
  EXPECT_EQ(err_.rfind("Not found seq and|or vh: ", 0), 0u);
}

TEST_F(ExecDec, SearchKeepsTheFirst2048Signatures) {
  const Bytes input = Signatures(2100);
  EXPECT_EQ(Run(input, "00856"), 1u);  // Atelier: one file named by the item count
  EXPECT_EQ(table_.seqNum, 2048u);
  EXPECT_EQ(table_.seqOfs.back(), 2047u * 8);
  EXPECT_EQ(log_.Text(), "Reached to max. Seq and|or Vh exists more over\r\n");
  EXPECT_EQ(dir_.List(), (std::vector<std::string>{"game.bin_0001.dec"}));
  EXPECT_EQ(testing::ReadBytes(Input() + "_0001.dec"), input);  // no codes: copied as is
}

TEST_F(ExecDec, EachSerialRunsItsDecompressor) {
  // 10089 writes ".sssq" with the LZSS layout of 12 / 8 bytes before the signature.
  tools::DecImage image;
  ASSERT_TRUE(tools::BuildDecImage("10089", image));
  EXPECT_EQ(Run(image.image, "10089"), 1u);
  EXPECT_EQ(table_.seqCreated, (std::vector<std::uint32_t>{1, 1, 1}));
  EXPECT_EQ(testing::ReadBytes(Input() + "_2.sssq"), image.outputs[1]);
  EXPECT_NE(out_.find("\rUncompress    3/   3\n"), std::string::npos);

  // Brightis: one ".seq" per item; the third item is a copy of the first.
  table_ = DataOfs{};
  ASSERT_TRUE(tools::BuildDecImage("10105", image));
  EXPECT_EQ(Run(image.image, "10105"), 1u);
  EXPECT_EQ(testing::ReadBytes(Input() + "_1.seq"), image.outputs[0]);
  EXPECT_EQ(testing::ReadBytes(Input() + "_3.seq"), image.outputs[0]);
  EXPECT_EQ(testing::ReadBytes(Input() + "_2.seq"), image.outputs[1]);
}

TEST_F(ExecDec, LzssSerialsDifferInTheirLayout) {
  // An image built for Eberouge (size 9 back, match bit 1) decodes with its
  // own serial but not as the same bytes under Crime Crackers 2.
  tools::DecImage image;
  ASSERT_TRUE(tools::BuildDecImage("00844", image));
  EXPECT_EQ(Run(image.image, "00844"), 1u);
  EXPECT_EQ(testing::ReadBytes(Input() + "_1.seq"), image.outputs[0]);
  table_ = DataOfs{};
  EXPECT_EQ(Run(image.image, "10037"), 1u);
  EXPECT_NE(testing::ReadBytes(Input() + "_1.seq"), image.outputs[0]);
}

}  // namespace
}  // namespace psxdig
