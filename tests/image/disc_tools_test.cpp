// A real disc image end to end: the generator's folder made into an ISO by
// genisoimage, wrapped into raw sectors by the generator, checked against
// bchunk (raw back to ISO) and isoinfo (extents), and read by the image layer.
// (Where each planted item lands is checked through extract, extract_e2e_test.)
#include <filesystem>
#include <regex>
#include <sstream>
#include <tuple>

#include "image/disc_image.h"
#include "image_disc.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
namespace fs = std::filesystem;

std::string Which(const std::string& name) {
  for (const char* dir : {"/usr/bin", "/usr/local/bin", "/bin"}) {
    const fs::path p = fs::path(dir) / name;
    if (fs::exists(p)) return p.string();
  }
  return "";
}

using FileRow = std::tuple<std::string, std::uint32_t, std::uint64_t>;  // path, lba, size

// The files of `isoinfo -l`: extent and data length of every non-directory,
// sorted by path like MapFiles.
std::vector<FileRow> IsoinfoFiles(const std::string& listing) {
  static const std::regex dirLine(R"(^Directory listing of /(.*)$)");
  static const std::regex fileLine(R"(^-\S*\s.*\s(\d+)\s+\w{3}\s+\d+\s+\d{4}\s+\[\s*(\d+)\s+[0-9a-f]{2}\]\s+(\S+);1\s*$)");
  std::vector<FileRow> rows;
  std::string dir;
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, dirLine)) dir = m[1];
    if (std::regex_match(line, m, fileLine)) {
      rows.emplace_back(dir + m[3].str(), std::stoul(m[2]), std::stoull(m[1]));
    }
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

std::vector<FileRow> MapFiles(const FileMap& map) {
  std::vector<FileRow> rows;
  for (const auto& f : map.files) rows.emplace_back(f.path, f.lba, f.size);
  std::sort(rows.begin(), rows.end());
  return rows;
}

TEST(DiscImageTools, RawImageRoundTripsAndMapsEveryItem) {
#ifdef _WIN32
  GTEST_SKIP() << "Linux programs started from inside Wine are neither waited for nor give their exit code "
                  "or output; the image layer is the same on Linux";
#endif
  const std::string genisoimage = Which("genisoimage"), bchunk = Which("bchunk"), isoinfo = Which("isoinfo");
  if (genisoimage.empty() || bchunk.empty() || isoinfo.empty()) GTEST_SKIP() << "genisoimage/bchunk missing";
  testing::TempDir tmp;
  const std::string src = tmp.File("src"), iso = tmp.File("t.iso"), bin = tmp.File("t.bin");
  ASSERT_EQ(testing::RunMkimage({"disc-folder", src}).exitCode, 0);
  ASSERT_EQ(testing::Run(genisoimage, {"-quiet", "-o", iso, "-V", "TESTDISC", "-sysid", "PLAYSTATION", "-A",
                                       "PLAYSTATION", "-XA", src})
                .exitCode,
            0);
  ASSERT_EQ(testing::RunMkimage({"disc-raw", iso, bin}).exitCode, 0);
  ASSERT_EQ(testing::RunMkimage({"disc-raw", iso, tmp.File("s.bin"), "--2336"}).exitCode, 0);
  const Bytes isoBytes = testing::ReadBytes(iso), raw = testing::ReadBytes(bin);

  // bchunk turns the raw image back into the very same ISO.
  ASSERT_EQ(testing::Run(bchunk, {bin, tmp.File("t.cue"), tmp.File("back")}).exitCode, 0);
  EXPECT_TRUE(testing::ReadBytes(tmp.File("back01.iso")) == isoBytes);

  // The CUE sheet the generator wrote leads to the image's data track.
  std::string error;
  const auto sheet = ParseCue(testing::ReadText(tmp.File("s.cue")), error);
  ASSERT_TRUE(sheet) << error;
  ASSERT_NE(FirstDataTrack(*sheet), nullptr);
  EXPECT_EQ(FirstDataTrack(*sheet)->file, "s.bin");
  EXPECT_EQ(TrackImageKind(*FirstDataTrack(*sheet)), ImageKind::kRaw2336);

  const std::vector<FileRow> expected = IsoinfoFiles(testing::Run(isoinfo, {"-l", "-i", iso}).out);
  ASSERT_EQ(expected.size(), 6u);
  const Bytes short2336 = testing::ReadBytes(tmp.File("s.bin"));
  for (const Bytes* image : {&isoBytes, &raw, &short2336}) {
    const LogicalView view = BuildLogicalView(*image, DetectImageKind(*image));
    SCOPED_TRACE(ImageKindName(view.kind()));
    EXPECT_TRUE(Bytes(view.data().begin(), view.data().end()) == isoBytes);
    EXPECT_EQ(view.damagedSectors(), 0u);
    const FileMap map = ReadFileMap(view);
    EXPECT_EQ(map.volumeId, "TESTDISC");
    EXPECT_EQ(MapFiles(map), expected);
    EXPECT_TRUE(map.problems.empty());
  }
}

}  // namespace
}  // namespace psxdig
