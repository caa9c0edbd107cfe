// The shared frame of the game sequence writers: rows, files, padding,
// recorded sizes, gaps left by rejected items, failures, and SEQq's bank
// bodies.
#include <gtest/gtest.h>

#include <cstring>

#include "image_gameseq.h"
#include "rip/game_seq_writers.h"
#include "test_util.h"

namespace psxdig {
namespace {

using tools::Bytes;

class GameSeqWriter : public ::testing::Test {
 protected:
  // Plants the items 100 bytes apart behind a 64-byte lead; seqOfs gets
  // each item's offset plus its prefix (where the signature lies).
  void Plant(const std::vector<Bytes>& items, std::uint32_t prefix, const char* ext) {
    input_.assign(64, 0);
    std::vector<std::uint32_t> ofs;
    for (const Bytes& item : items) {
      ofs.push_back(static_cast<std::uint32_t>(input_.size()) + prefix);
      input_.insert(input_.end(), item.begin(), item.end());
      input_.insert(input_.end(), 100, 0);
    }
    table_ = testing::SeqTable(ext, ofs);
  }

  RipContext Context(const std::string& path) const {
    RipContext ctx;
    ctx.inputPath = path;
    ctx.input = input_;
    ctx.listing = listing_.get();
    return ctx;
  }

  // Runs the writer, keeping its standard output.
  std::uint32_t Run(std::uint32_t (*writer)(const RipContext&, DataOfs&), const std::string& path) {
    std::uint32_t result = 0;
    const testing::Captured c = testing::Capture([&] { result = writer(Context(path), table_); });
    out_ = c.out;
    err_ = c.err;
    return result;
  }

  Bytes Slice(std::uint32_t ofs, std::uint32_t size, std::uint32_t padding = 0) const {
    Bytes b(input_.begin() + ofs, input_.begin() + ofs + size);
    b.insert(b.end(), padding, 0);
    return b;
  }

  testing::TempDir dir_;
  testing::ScratchFile listing_;
  Bytes input_;
  DataOfs table_;
  std::string out_;
  std::string err_;
};

TEST_F(GameSeqWriter, SeqqRecordsItsLengthFieldAloneAndWritesTwoEmptyBodies) {
  Plant({tools::MakeSeqq(1000, 1060, 1)}, 60, ".seqq");
  const std::string path = dir_.File("game.bin");
  ASSERT_EQ(Run(CreateSeqq, path), 1u);
  EXPECT_EQ(listing_.Text(), ".seqq,1,       64-     1123,      40-     463,  1060,  424,\r\n");
  EXPECT_EQ(testing::ReadBytes(path + ".seqq"), Slice(64, 1060));
  EXPECT_EQ(table_.seqSize, (std::vector<std::uint32_t>{1000}));
  EXPECT_EQ(testing::ReadBytes(path + "_1.vb").size(), 0u);
  EXPECT_EQ(testing::ReadBytes(path + "_2.vb").size(), 0u);
  EXPECT_EQ(dir_.List().size(), 3u);
  EXPECT_EQ(out_, "\rCreate .seqq    1/   1\n");
}

TEST_F(GameSeqWriter, SeqqBodyOfAQ41ArchiveIsCutToTheInput) {
  // An input that ends 100 bytes into the first body: only those are written.
  constexpr std::size_t kFirstBody = 216330604;
  const std::size_t size = kFirstBody + 100;
  testing::ZeroPages pages(size);
  std::uint8_t* bytes = pages.data();
  ASSERT_NE(bytes, nullptr);
  const Bytes item = tools::MakeSeqq(8, 68, 1);
  std::memcpy(bytes, item.data(), item.size());
  for (std::size_t k = 0; k < 100; ++k) bytes[kFirstBody + k] = static_cast<std::uint8_t>(k + 1);
  table_ = testing::SeqTable(".seqq", {60});
  RipContext ctx = Context(dir_.File("disc.Q41"));
  ctx.input = ByteSpan(bytes, size);
  std::uint32_t result = 0;
  testing::Capture([&] { result = CreateSeqq(ctx, table_); });
  const Bytes first = testing::ReadBytes(dir_.File("disc.Q41_1.vb"));
  const Bytes expected(bytes + kFirstBody, bytes + size);
  EXPECT_EQ(result, 1u);
  EXPECT_EQ(testing::ReadBytes(dir_.File("disc.Q41.seqq")), item);
  EXPECT_EQ(first, expected);
  EXPECT_EQ(testing::ReadBytes(dir_.File("disc.Q41_2.vb")).size(), 0u);
}

TEST_F(GameSeqWriter, FailedItemOrBodyFileStopsTheWriterAfterItsRow) {
  Plant({tools::MakeSseq(2, true, 1), tools::MakeSseq(5, true, 2)}, 0, ".sseq");
  EXPECT_EQ(Run(CreateSseq, dir_.File("missing/game.bin")), 0u);
  EXPECT_EQ(err_.rfind("[F:CreateSseq][L:", 0), 0u) << err_;
  EXPECT_EQ(listing_.Text(), ".sseq,1,       64-       74,      40-      4a,    11,    b,\r\n");
  EXPECT_EQ(table_.seqCreated, (std::vector<std::uint32_t>{0, 0}));
  EXPECT_EQ(out_, "");

  Plant({tools::MakeSeqq(8, 68, 1)}, 60, ".seqq");
  const std::string path = dir_.File("game.bin");
  ASSERT_TRUE(testing::fs::create_directory(path + "_2.vb"));
  EXPECT_EQ(Run(CreateSeqq, path), 0u);
  EXPECT_EQ(err_.rfind("[F:CreateSeqq][L:", 0), 0u) << err_;
  EXPECT_EQ(table_.seqCreated, (std::vector<std::uint32_t>{1}));
  EXPECT_TRUE(testing::fs::is_regular_file(path + "_1.vb"));
}

}  // namespace
}  // namespace psxdig
