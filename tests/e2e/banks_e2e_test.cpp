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
  std::string path = dir.File("img.bin");
  Bytes image;
  std::vector<Planted> planted;

  // Writes the image with the generator and checks it is the one expected.
  void Generate(const std::string& mode, Bytes expected, std::vector<Planted> items) {
    const testing::RunResult made = testing::RunMkimage({mode, path});
    ASSERT_EQ(made.exitCode, 0) << made.err;
    image = testing::ReadBytes(path);
    ASSERT_EQ(image, expected);
    planted = std::move(items);
  }
  void WriteImage(Bytes bytes) {
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
  Bytes Slice(const Planted* p) const { return Slice(p->ofs, p->size); }
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
  EXPECT_EQ(Out("_1.vh"), Slice(headers[0]));
  EXPECT_EQ(Out("_4.vh"), Slice(headers[3]));
  EXPECT_EQ(Out("_1.vb"), Slice(bodies[0]));
  EXPECT_EQ(Out("_2.vb"), Slice(bodies[1]));
  EXPECT_EQ(Out("_4.vb"), Slice(bodies[2]));
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

// Each bank class of its own image: headers and bodies, headers listed first.
TEST_F(BankRipTest, EveryHeaderClassGetsItsBodies) {
  const struct {
    const char* kind;
    const char* ext;
    std::size_t banks;
  } cases[] = {{"vh2", ".vh2", 3}, {"sshd", ".sshd", 3}, {"inst", ".inst", 2}};
  for (const auto& c : cases) {
    SCOPED_TRACE(c.kind);
    std::vector<Planted> items;
    Bytes expected = tools::BuildBankImage(c.kind, &items);
    Generate(std::string("banks-") + c.kind, std::move(expected), std::move(items));
    const testing::RunResult r = Rip();
    ASSERT_EQ(r.exitCode, 0) << r.err;
    const auto headers = Items(c.ext);
    const auto bodies = Items(".vb");
    ASSERT_EQ(headers.size(), c.banks);
    for (std::size_t k = 0; k < c.banks; ++k) {
      const std::string n = std::string("_").append(std::to_string(k + 1));
      EXPECT_EQ(Out(n + c.ext), Slice(headers[k])) << k;
      EXPECT_EQ(Out(n + ".vb"), Slice(bodies[k])) << k;
    }
    const auto rows = Lines(testing::ReadText(path + ".csv"));
    ASSERT_EQ(rows.size(), 1 + 2 * c.banks);
    EXPECT_EQ(rows[1].rfind(std::string(c.ext) + ",1,", 0), 0u);
    EXPECT_EQ(rows[1 + c.banks].rfind(".vb,1,", 0), 0u);
  }
}

TEST_F(BankRipTest, SwitchesNAndP1P2ReachTheBodySearch) {
  tools::ImageBuilder plain(5);
  plain.Filler(500);
  plain.Plant(tools::MakeVabHeader(1, {256, 512}, 1), ".vh", "");
  plain.Filler(300);
  const std::uint32_t body = plain.Plant(tools::MakeAdpcmBody({256, 512}, 2, false), ".vb", "");
  plain.Filler(300);
  WriteImage(plain.bytes());
  ASSERT_EQ(Rip().exitCode, 0);
  EXPECT_TRUE(Exists(".vh"));
  EXPECT_FALSE(Exists(".vb"));  // no leading zero block
  ASSERT_EQ(Rip({"/n"}).exitCode, 0);
  EXPECT_EQ(Out(".vb"), Slice(body, 768));

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

}  // namespace
}  // namespace psxdig
