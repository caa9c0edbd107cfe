// The extract command's pure parts: CSV quoting, item names, the reading of
// the search's progress lines, and the folder output's duplicates and names.
#include <gtest/gtest.h>

#include "app/extract.h"
#include "app/progress.h"
#include "test_util.h"

namespace psxdig {
namespace {

TEST(Extract, CsvFieldsAreQuotedOnlyWhereNeeded) {
  const std::pair<const char*, const char*> cases[] = {
      {"", ""},
      {"SOUND/BGM.DAT@1a800.seq", "SOUND/BGM.DAT@1a800.seq"},
      {"A,B", "\"A,B\""},
      {"say \"hi\"", "\"say \"\"hi\"\"\""},
      {"two\nlines", "\"two\nlines\""},
      {"cr\r", "\"cr\r\""},
  };
  for (const auto& [text, field] : cases) EXPECT_EQ(CsvField(text), field) << text;
}

TEST(Extract, ItemNamesStayInsideTheFolder) {
  const struct {
    const char* discPath;
    std::uint64_t offsetInFile, imageOffset;
    const char* ext;
    const char* name;
  } cases[] = {
      {"SOUND/BGM.DAT", 0x1a800, 0x5000, ".seq", "SOUND/BGM.DAT@1a800.seq"},
      {"", 0, 0x9c45, ".vb", "@9c45.vb"},
      {"../../ETC/PASSWD", 0, 0, ".vh", "_/_/ETC/PASSWD@0.vh"},
      {"/ABS//X.DAT", 16, 0, ".sep", "_/ABS/_/X.DAT@10.sep"},
      {"A B/C:D\\E", 1, 0, ".seq", "A_B/C_D_E@1.seq"},
      {".", 2, 0, ".seq", "_@2.seq"},
  };
  for (const auto& c : cases) {
    const ItemPlace place{c.discPath, c.offsetInFile, c.imageOffset, false};
    EXPECT_EQ(ItemFileName(place, c.ext), c.name) << c.discPath;
  }
}

TEST(Extract, ProgressReaderTakesTheSearchLinesInAnyPieces) {
  const std::string text =
      "\rSearchFile         19/       1000\rSearchFile        400/       1000\n"
      "\rCreate .seq    1/   2\rSearchFile        999/       1000\n";
  for (const std::size_t piece : {1u, 7u, 4096u}) {
    SearchProgressReader reader;
    for (std::size_t at = 0; at < text.size(); at += piece) reader.Feed(text.substr(at, piece));
    EXPECT_EQ(reader.scanned(), 999u) << piece;
    EXPECT_EQ(reader.found(), 3u) << piece;
  }
}

// Equal bytes of one class are written once; the same bytes under another
// extension, or other bytes at the same place, are items of their own.
TEST(Extract, FolderOutputWritesEachContentOnceAndNamesUniquely) {
  testing::TempDir dir;
  const std::vector<std::uint8_t> input = {1, 2, 3, 4, 5, 1, 2, 3, 4, 5, 9};
  FolderOutput out(dir.path().string(), [](std::uint64_t ofs, std::uint64_t) {
    return ItemPlace{"D/F.BIN", ofs % 5, ofs, false};
  });
  const ByteSpan b(input);
  ASSERT_TRUE(out.WriteItem({b, ".vh", 0, 2, 0, 5}));
  ASSERT_TRUE(out.WriteItem({b, ".vh", 1, 2, 5, 5}));           // same bytes: a duplicate
  ASSERT_TRUE(out.WriteItem({b, ".vb", 1, 2, 5, 5}));           // same bytes, another class
  ASSERT_TRUE(out.WriteItem({b, ".vb", 0, 2, 0, 6, 2}));        // same place and class
  const auto& items = out.items();
  ASSERT_EQ(items.size(), 4u);
  EXPECT_EQ(items[0].output, "D/F.BIN@0.vh");
  EXPECT_EQ(items[1].output, "");
  EXPECT_EQ(items[1].duplicateOf, "D/F.BIN@0.vh");
  EXPECT_EQ(items[2].output, "D/F.BIN@0.vb");
  EXPECT_EQ(items[2].header, "D/F.BIN@0.vh");  // bank 1's header is a duplicate of bank 0's
  EXPECT_EQ(items[3].output, "D/F.BIN@0~2.vb");
  EXPECT_EQ(out.filesWritten(), 3u);
  EXPECT_EQ(testing::ReadBytes(dir.File("D/F.BIN@0~2.vb")),
            (std::vector<std::uint8_t>{1, 2, 3, 4, 5, 1, 0, 0}));
  EXPECT_FALSE(out.WriteItem({b, ".seq", 0, 1, 8, 4}));  // past the input
  EXPECT_EQ(out.failures(), 1u);
}

}  // namespace
}  // namespace psxdig
