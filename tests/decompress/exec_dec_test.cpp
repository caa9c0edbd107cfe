#include "decompress/exec_dec.h"

#include <gtest/gtest.h>

#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;

// execDec on an in-memory input whose files go to a scratch folder.
class ExecDec : public ::testing::Test {
 protected:
  std::string Input() const { return dir_.File("game.bin"); }

  std::uint32_t Run(const Bytes& input, const std::string& serial) {
    RunOptions options;
    options.runMode = kRunDec;
    const DecContext ctx{Input(), serial, ByteSpan(input), ErrorLog(log_.get()), options};
    table_ = DataOfs{};
    std::uint32_t r = 0;
    const testing::Captured c = testing::Capture([&] { r = execDec(ctx, table_); });
    out_ = c.out;
    err_ = c.err;
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

TEST_F(ExecDec, SerialMustMatchExactlyAndIsLookedAtAfterTheSearch) {
  for (const char* serial : {"12345", "10037 ", " 10037", "SCPS-10037", "1003", "100370", ""}) {
    EXPECT_EQ(Run(Signatures(2), serial), 0u) << serial;
    EXPECT_EQ(err_, std::string("Unsupported number: ") + serial + "\n");
    EXPECT_EQ(table_.seqNum, 2u);  // the search ran to its end first
    EXPECT_NE(out_.find("SearchFile"), std::string::npos);
    EXPECT_EQ(out_.find("Uncompress"), std::string::npos);
  }
  EXPECT_TRUE(dir_.List().empty());
}

}  // namespace
}  // namespace psxdig
