// End-to-end: the built psxdig rips sound banks from generated images.
#include <gtest/gtest.h>

#include <sstream>

#include "image_banks.h"
#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

using tools::Bytes;
using tools::Planted;

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

class BankRipTest : public ::testing::Test {
 protected:
  testing::TempDir dir;
  std::string path;
  Bytes image;
  std::vector<Planted> planted;

  void Generate(const std::string& mode, Bytes expected, std::vector<Planted> items) {
    path = dir.File("img.bin");
    const testing::RunResult made = testing::RunMkimage({mode, path});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    image = testing::ReadBytes(path);
    ASSERT_EQ(image, expected);  // the generator wrote the image the test expects
    planted = std::move(items);
  }
  void GenerateBanks(const std::string& kind) {
    std::vector<Planted> items;
    Bytes expected = tools::BuildBankImage(kind, &items);
    Generate("banks-" + kind, std::move(expected), std::move(items));
  }
  void WriteImage(Bytes bytes) {
    path = dir.File("img.bin");
    image = std::move(bytes);
    testing::WriteBytes(path, image);
  }
  testing::RunResult Rip(std::vector<std::string> extra = {}) {
    std::vector<std::string> args = {"rip", path, "0", "1000"};
    args.insert(args.end(), extra.begin(), extra.end());
    return testing::RunPsxdig(args);
  }
  std::vector<const Planted*> Items(const std::string& ext) const {
    std::vector<const Planted*> out;
    for (const Planted& p : planted) {
      if (p.ext == ext) out.push_back(&p);
    }
    return out;
  }
  Bytes Slice(std::uint64_t ofs, std::uint64_t n) const {
    return Bytes(image.begin() + static_cast<std::ptrdiff_t>(ofs),
                 image.begin() + static_cast<std::ptrdiff_t>(ofs + n));
  }
  Bytes Out(const std::string& suffix) const { return testing::ReadBytes(path + suffix); }
  bool Exists(const std::string& suffix) const { return testing::fs::exists(path + suffix); }
};

TEST_F(BankRipTest, DemoBanksAreWrittenListedAndPairedInTheDuplicateCheck) {
  std::vector<Planted> items;
  Bytes expected = tools::BuildDemoImage(&items);
  Generate("demo", std::move(expected), std::move(items));
  const testing::RunResult r = Rip({"/c"});
  ASSERT_EQ(r.exitCode, 0) << r.err;

  const auto headers = Items(".vh");
  const auto bodies = Items(".vb");
  ASSERT_EQ(headers.size(), 5u);
  ASSERT_EQ(bodies.size(), 4u);  // bank 3 has none
  EXPECT_EQ(Out("_1.vh"), Slice(headers[0]->ofs, headers[0]->size));
  EXPECT_EQ(Out("_4.vh"), Slice(headers[3]->ofs, headers[3]->size));
  EXPECT_EQ(Out("_1.vb"), Slice(bodies[0]->ofs, bodies[0]->size));
  EXPECT_EQ(Out("_2.vb"), Slice(bodies[1]->ofs, bodies[1]->size));
  EXPECT_EQ(Out("_4.vb"), Slice(bodies[2]->ofs, bodies[2]->size));
  EXPECT_FALSE(Exists("_3.vb"));

  // Bank 5 copies bank 1, header and body: both go aside as one pair.
  EXPECT_FALSE(Exists("_5.vh"));
  EXPECT_FALSE(Exists("_5.vb"));
  EXPECT_EQ(testing::ReadBytes(path + "_DupFiles/img.bin_5.vb"), Out("_1.vb"));
  EXPECT_TRUE(Exists("_DupFiles/img.bin_5.vh"));
  const std::string dups = testing::ReadText(path + "_DupFiles.txt");
  EXPECT_NE(dups.find("img.bin_1.vh,img.bin_5.vh,img.bin_1.vb,img.bin_5.vb\r\n"), std::string::npos)
      << dups;

  // Rows: sequences, then headers, then bodies.
  const auto rows = Lines(testing::ReadText(path + ".csv"));
  std::string kinds;
  for (std::size_t k = 1; k < rows.size(); ++k) kinds += rows[k].substr(0, 3);
  EXPECT_EQ(kinds, ".se.se.se.se.se.se.vh.vh.vh.vh.vh.vb.vb.vb.vb");
  char row[100];
  std::snprintf(row, sizeof row, ".vb,4,%9u-%9u,", bodies[2]->ofs, bodies[2]->ofs + bodies[2]->size - 1);
  EXPECT_EQ(rows.back().rfind(".vb,5,", 0), 0u);
  EXPECT_EQ(rows[rows.size() - 2].rfind(row, 0), 0u) << rows[rows.size() - 2];

  const std::string log = testing::ReadText(path + "_VagOfs.txt");
  EXPECT_NE(log.find("VbIdx: 3, AllVag(=Vb)Size: 00004096, 0001000\r\n"), std::string::npos);
  EXPECT_EQ(log.find("VbIdx: 3, VagNum: 03/03, Ofs:"), std::string::npos);
  EXPECT_NE(r.out.find("\rCreate .vb    5/   5\n"), std::string::npos);
}

TEST_F(BankRipTest, DemoBodiesAreFoundAlsoWithTheSecondPattern) {
  std::vector<Planted> items;
  Bytes expected = tools::BuildDemoImage(&items);
  Generate("demo", std::move(expected), std::move(items));
  const testing::RunResult r = Rip({"/p2"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto bodies = Items(".vb");
  EXPECT_EQ(Out("_2.vb"), Slice(bodies[1]->ofs, bodies[1]->size));
  EXPECT_EQ(Out("_5.vb"), Slice(bodies[3]->ofs, bodies[3]->size));
  EXPECT_FALSE(Exists("_3.vb"));
  EXPECT_FALSE(Exists("_DupFiles"));  // no /c
}

TEST_F(BankRipTest, VariantBanksGetTheirBodiesSearchedLikeVabBanks) {
  GenerateBanks("vh2");
  const testing::RunResult r = Rip();
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto headers = Items(".vh2");
  const auto bodies = Items(".vb");
  ASSERT_EQ(headers.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string n = std::string("_").append(std::to_string(k + 1));
    EXPECT_EQ(Out(n + ".vh2"), Slice(headers[k]->ofs, headers[k]->size)) << k;
    EXPECT_EQ(Out(n + ".vb"), Slice(bodies[k]->ofs, bodies[k]->size)) << k;
  }
}

TEST_F(BankRipTest, SShdBanksAndTheirBodies) {
  GenerateBanks("sshd");
  const testing::RunResult r = Rip({"/c"});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto headers = Items(".sshd");
  const auto bodies = Items(".vb");
  ASSERT_EQ(headers.size(), 3u);
  for (std::size_t k = 0; k < 3; ++k) {
    const std::string n = std::string("_").append(std::to_string(k + 1));
    EXPECT_EQ(Out(n + ".sshd"), Slice(headers[k]->ofs, headers[k]->size)) << k;
    EXPECT_EQ(Out(n + ".vb"), Slice(bodies[k]->ofs, bodies[k]->size)) << k;
  }
  const auto rows = Lines(testing::ReadText(path + ".csv"));
  ASSERT_EQ(rows.size(), 7u);
  EXPECT_EQ(rows[1].rfind(".sshd,1,", 0), 0u);
  EXPECT_EQ(rows[4].rfind(".vb,1,", 0), 0u);
}

TEST_F(BankRipTest, InstBanksAndTheirBodies) {
  GenerateBanks("inst");
  const testing::RunResult r = Rip();
  ASSERT_EQ(r.exitCode, 0) << r.err;
  const auto headers = Items(".inst");
  const auto bodies = Items(".vb");
  ASSERT_EQ(headers.size(), 2u);
  for (std::size_t k = 0; k < 2; ++k) {
    const std::string n = std::string("_").append(std::to_string(k + 1));
    EXPECT_EQ(Out(n + ".inst"), Slice(headers[k]->ofs, headers[k]->size)) << k;
    EXPECT_EQ(Out(n + ".vb"), Slice(bodies[k]->ofs, bodies[k]->size)) << k;
  }
  EXPECT_NE(r.out.find("\rCreate .vb file    2/   2\n"), std::string::npos);
}

TEST_F(BankRipTest, BodyWithoutZeroBlockIsFoundOnlyWithN) {
  tools::ImageBuilder img(5);
  img.Filler(500);
  img.Plant(tools::MakeVabHeader(1, {256, 512}, 1), ".vh", "");
  img.Filler(300);
  const std::uint32_t body = img.Plant(tools::MakeAdpcmBody({256, 512}, 2, false), ".vb", "");
  img.Filler(300);
  WriteImage(img.bytes());
  ASSERT_EQ(Rip().exitCode, 0);
  EXPECT_TRUE(Exists(".vh"));
  EXPECT_FALSE(Exists(".vb"));
  ASSERT_EQ(Rip({"/n"}).exitCode, 0);
  EXPECT_EQ(Out(".vb"), Slice(body, 768));
}

TEST_F(BankRipTest, SearchPatternDecidesWhereTheNextBankIsLookedFor) {
  // H0 H1, a copy of body 1, body 0, body 1.
  tools::ImageBuilder img(6);
  img.Filler(200);
  img.Plant(tools::MakeVabHeader(0, {256, 512}, 1), ".vh", "");
  img.Plant(tools::MakeVabHeader(0, {1024}, 2), ".vh", "");
  img.Filler(100);
  const std::uint32_t copy = img.Plant(tools::MakeAdpcmBody({1024}, 3), ".vb", "");
  img.Filler(100);
  img.Plant(tools::MakeAdpcmBody({256, 512}, 4), ".vb", "");
  img.Filler(100);
  const std::uint32_t body1 = img.Plant(tools::MakeAdpcmBody({1024}, 5), ".vb", "");
  img.Filler(100);
  WriteImage(img.bytes());
  ASSERT_EQ(Rip({"/p1"}).exitCode, 0);
  EXPECT_EQ(Out("_2.vb"), Slice(copy, 1024));
  ASSERT_EQ(Rip({"/p2"}).exitCode, 0);
  EXPECT_EQ(Out("_2.vb"), Slice(body1, 1024));
}

TEST_F(BankRipTest, SizeMismatchGoesToTheErrorLog) {
  tools::ImageBuilder img(7);
  img.Filler(200);
  Bytes header = tools::MakeVabHeader(0, {256}, 1);
  header[12] ^= 0x10;  // total size no longer header + samples
  img.Plant(header, ".vh", "");
  img.Plant(tools::MakeAdpcmBody({256}, 2), ".vb", "");
  img.Filler(100);
  WriteImage(img.bytes());
  ASSERT_EQ(Rip().exitCode, 0);
  EXPECT_FALSE(Exists(".vb"));
  EXPECT_EQ(testing::ReadText(path + "_Error.txt"), "Invalid vag size: idx 1, 00000256, 0000100\r\n");
}

}  // namespace
}  // namespace psxdig
