// The disc image layer on images built in memory: kind detection, the
// logical stream, CUE sheets, and hostile directory trees.
#include "image/disc_image.h"

#include <array>
#include <cstring>
#include <functional>

#include "image_disc.h"
#include "test_util.h"

namespace psxdig {
namespace {

using testing::Bytes;
using tools::SectorMode;

// A small tree: a file in the root, one in a folder, one spanning sectors.
Bytes SmallIso(std::vector<tools::IsoPlaced>* placed = nullptr) {
  std::uint32_t state = 7;
  return tools::BuildSmallIso({{"A.SEQ", testing::RandomBytes(state, 3000)},
                               {"DIR/B.VB", testing::RandomBytes(state, 5000)},
                               {"C.BIN", testing::RandomBytes(state, 100)}},
                              placed);
}

Bytes Sector(const Bytes& image, std::size_t size, std::size_t k) {
  return Bytes(image.begin() + k * size, image.begin() + (k + 1) * size);
}

TEST(DetectImageKind, TellsKindsByContentOnly) {
  const Bytes iso = SmallIso();
  const Bytes raw = tools::WrapIso(iso);
  std::uint32_t state = 3;
  Bytes oneSync = testing::RandomBytes(state, 20 * 2352);
  std::memcpy(oneSync.data(), raw.data(), 2352);  // one genuine sector at the start
  Bytes jumps = raw;                             // addresses out of order in two sectors
  for (std::size_t k : {2u, 5u}) jumps[k * 2352 + 14] = 0x40;
  Bytes oneBroken = raw;  // a damaged dump: one sync broken among the first 16
  oneBroken[3 * 2352 + 5] = 0;
  Bytes zeros2336(20 * 2336, 0);
  struct Case {
    const char* name;
    Bytes image;
    ImageKind kind;
  } cases[] = {
      {"random data", testing::RandomBytes(state, 40000), ImageKind::kPlainFile},
      {"iso", iso, ImageKind::kIso2048},
      {"raw 2352", raw, ImageKind::kRaw2352},
      {"raw 2336", tools::WrapIso(iso, true), ImageKind::kRaw2336},
      {"one raw sector in data", oneSync, ImageKind::kPlainFile},
      {"addresses jump", jumps, ImageKind::kPlainFile},
      {"one damaged sector", oneBroken, ImageKind::kRaw2352},
      {"three raw sectors", Bytes(raw.begin(), raw.begin() + 3 * 2352), ImageKind::kPlainFile},
      {"iso cut before its descriptor", Bytes(iso.begin(), iso.begin() + 16 * 2048 + 100), ImageKind::kPlainFile},
      {"zeros in 2336 steps", zeros2336, ImageKind::kPlainFile},
      {"empty", {}, ImageKind::kPlainFile},
  };
  for (const auto& c : cases) {
    EXPECT_EQ(ImageKindName(DetectImageKind(c.image)), std::string(ImageKindName(c.kind))) << c.name;
  }
}

TEST(LogicalView, LeavesOutForm2AndDamagedSectorsAndMapsBack) {
  const Bytes iso = SmallIso();
  const std::size_t n = iso.size() / 2048;
  Bytes raw = tools::WrapIso(iso);
  const Bytes form2 = tools::MakeRawSector(20, SectorMode::kForm2, Bytes(2324, 0x5A).data(), 0x64, 1);
  std::copy(form2.begin(), form2.end(), raw.begin() + 20 * 2352);
  raw[21 * 2352 + 1] = 0;  // broken sync
  std::uint32_t state = 5;
  raw = testing::Cat({raw, testing::RandomBytes(state, 2 * 2352 + 500)});  // audio, then a cut sector
  const LogicalView view = BuildLogicalView(raw, DetectImageKind(raw));
  ASSERT_EQ(view.kind(), ImageKind::kRaw2352);
  EXPECT_EQ(view.damagedSectors(), 2u);  // sector 21 and the cut one; audio is no damage
  EXPECT_EQ(view.truncatedBytes(), 500u);
  EXPECT_EQ(view.lbaEnd(), n + 2);
  Bytes expected;  // sectors 20 (Form 2) and 21 (damaged) left out
  for (std::size_t k = 0; k < n; ++k) {
    if (k != 20 && k != 21) expected = testing::Cat({expected, Sector(iso, 2048, k)});
  }
  ASSERT_EQ(Bytes(view.data().begin(), view.data().end()), expected);
  for (std::uint64_t logical : {0ull, 19 * 2048ull + 7, 20 * 2048ull + 5, expected.size() - 1ull}) {
    EXPECT_EQ(raw[view.ImageOffset(logical)], expected[logical]) << logical;
  }
  EXPECT_EQ(view.Lba(20 * 2048 + 5), 22u);
  EXPECT_EQ(view.ImageOffset(20 * 2048 + 5), 22 * 2352 + 24 + 5u);
  EXPECT_TRUE(view.SectorAt(20).empty());
  EXPECT_TRUE(view.SectorAt(static_cast<std::uint32_t>(n)).empty());
  EXPECT_EQ(Bytes(view.SectorAt(22).begin(), view.SectorAt(22).end()), Sector(iso, 2048, 22));
  EXPECT_EQ(BuildLogicalView(iso, ImageKind::kIso2048).data().data(), iso.data());  // no copy

  // A dump holding the 150 pregap sectors of track 1: addresses from -150.
  Bytes pregap;
  for (int k = -150; k < 0; ++k) {
    pregap = testing::Cat({pregap, tools::MakeRawSector(static_cast<std::uint32_t>(k), SectorMode::kForm1, iso.data())});
  }
  const Bytes withPregap = testing::Cat({pregap, tools::WrapIso(iso)});
  const LogicalView pv = BuildLogicalView(withPregap, DetectImageKind(withPregap));
  EXPECT_EQ(pv.Lba(0), LogicalView::kNoLba);
  EXPECT_EQ(pv.Lba(150 * 2048), 0u);
  EXPECT_EQ(Bytes(pv.SectorAt(16).begin(), pv.SectorAt(16).end()), Sector(iso, 2048, 16));
  EXPECT_EQ(ReadFileMap(pv).files.size(), 3u);
}

TEST(ParseCue, ReadsTracksAndOffsetsOrSaysWhichLineIsWrong) {
  struct Case {
    const char* text;
    const char* error;  // substring; empty when the sheet is good
    const char* file;   // first data track (empty: none)
    std::uint32_t sectorSize;
    std::uint64_t offset;
    std::int64_t end;  // -1: runs to the end of the file
    std::uint64_t lastOffset;
  } cases[] = {
      {"FILE \"game.bin\" BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:00:00\n", "", "game.bin", 2352, 0, -1, 0},
      {"\xEF\xBB\xBFREM made by hand\r\nfile My Game.bin binary\r\n\ttrack 1 mode1/2048\r\n  index 1 00:00:10\r\n",
       "", "My Game.bin", 2048, 10 * 2048, -1, 10 * 2048},
      {"FILE \"g.bin\" BINARY\n TRACK 01 MODE2/2352\n INDEX 01 00:00:00\n TRACK 02 AUDIO\n PREGAP 00:02:00\n"
       " INDEX 01 00:02:31\n",
       "", "g.bin", 2352, 0, 181 * 2352, 181 * 2352},
      {"FILE \"g.bin\" BINARY\nTRACK 01 MODE1/2048\nINDEX 01 00:00:00\nTRACK 02 AUDIO\nINDEX 00 00:01:00\n"
       "INDEX 01 00:01:10\nTRACK 03 MODE2/2352\nINDEX 01 00:02:00\n",
       "", "g.bin", 2048, 0, 75 * 2048, 75 * 2048 + 75 * 2352},
      {"FILE \"a.bin\" BINARY\nTRACK 01 AUDIO\nINDEX 01 00:00:00\nFILE \"Game (Track 2).bin\" BINARY\n"
       "TRACK 02 MODE2/2336\nINDEX 00 00:00:00\nINDEX 01 00:02:00\n",
       "", "Game (Track 2).bin", 2336, 150 * 2336, -1, 150 * 2336},
      {"FILE \"a.wav\" WAVE\nTRACK 01 AUDIO\nINDEX 01 00:00:00\n", "", "", 0, 0, -1, 0},
      {"TRACK 01 MODE2/2352\n", "line 1: TRACK before any FILE", "", 0, 0, -1, 0},
      {"FILE g.bin BINARY\nTRACK 01 MODE3/2352\n", "line 2: unknown track type", "", 0, 0, -1, 0},
      {"FILE g.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 00 00:00:00\n", "line 2: track 1 has no INDEX 01", "", 0, 0, -1, 0},
      {"FILE g.bin BINARY\nTRACK 01 MODE2/2352\nINDEX 01 00:60:00\n", "line 3: INDEX needs", "", 0, 0, -1, 0},
      {"FILE \"g.bin BINARY\n", "line 1: unclosed quote", "", 0, 0, -1, 0},
      {"FILE g.bin BINARY\nTRACKS 1\n", "line 2: unknown command", "", 0, 0, -1, 0},
      {"FILE g.bin BIN\n", "line 1: unknown file type BIN", "", 0, 0, -1, 0},
      {"INDEX 01 00:00:00\n", "line 1: INDEX before any TRACK", "", 0, 0, -1, 0},
      {"REM nothing\n", "no TRACK", "", 0, 0, -1, 0},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    std::string error;
    const auto sheet = ParseCue(c.text, error);
    if (*c.error) {
      EXPECT_FALSE(sheet);
      EXPECT_NE(error.find(c.error), std::string::npos) << error;
      continue;
    }
    ASSERT_TRUE(sheet) << error;
    EXPECT_EQ(sheet->tracks.back().fileOffset, c.lastOffset);
    const CueTrack* data = FirstDataTrack(*sheet);
    if (!*c.file) {
      EXPECT_EQ(data, nullptr);
      continue;
    }
    ASSERT_NE(data, nullptr);
    EXPECT_EQ(data->file, c.file);
    EXPECT_EQ(data->sectorSize, c.sectorSize);
    EXPECT_EQ(data->fileOffset, c.offset);
    EXPECT_EQ(data->endOffset ? static_cast<std::int64_t>(*data->endOffset) : -1, c.end);
    const Bytes file(1000000, 0);
    EXPECT_EQ(TrackBytes(file, *data).size(), (c.end < 0 ? file.size() : c.end) - c.offset);
  }
}

// Offset of the directory record naming `id` in the sector at `lba`.
std::size_t RecordOf(const Bytes& iso, std::uint32_t lba, const std::string& id) {
  const auto from = iso.begin() + lba * 2048;
  const auto it = std::search(from, from + 2048, id.begin(), id.end());
  return static_cast<std::size_t>(it - iso.begin()) - 33;
}

void PutU32(Bytes& b, std::size_t at, std::uint32_t v) {
  for (int k = 0; k < 4; ++k) b[at + k] = static_cast<std::uint8_t>(v >> (8 * k));
}

TEST(ReadFileMap, SurvivesHostileTrees) {
  std::vector<tools::IsoPlaced> placed;
  const Bytes iso = SmallIso(&placed);
  struct Case {
    const char* name;
    std::function<void(Bytes&)> patch;
    std::vector<std::string> paths;
    const char* problem;
    bool raw;
  } cases[] = {
      {"intact", [](Bytes&) {}, {"A.SEQ", "DIR/B.VB", "C.BIN"}, "", false},
      {"directory loop", [](Bytes& b) { PutU32(b, RecordOf(b, 18, "DIR") + 2, 18); }, {"A.SEQ", "C.BIN"},
       "loop cut", false},
      {"folder past the end", [](Bytes& b) { PutU32(b, RecordOf(b, 18, "DIR") + 2, 900000); }, {"A.SEQ", "C.BIN"},
       "not in the image", false},
      {"file past the end", [](Bytes& b) { PutU32(b, RecordOf(b, 18, "A.SEQ") + 2, 900000); },
       {"DIR/B.VB", "C.BIN"}, "lies outside the image", false},
      {"length past the end", [](Bytes& b) { PutU32(b, RecordOf(b, 18, "A.SEQ") + 10, 0x7FFFFFFF); },
       {"A.SEQ", "DIR/B.VB", "C.BIN"}, "runs past the end", false},
      {"record too short", [](Bytes& b) { b[RecordOf(b, 18, "A.SEQ")] = 20; }, {"DIR/B.VB"},
       "broken directory record", false},
      {"name with a slash", [](Bytes& b) { b[RecordOf(b, 18, "C.BIN") + 34] = '/'; }, {"A.SEQ", "DIR/B.VB", "C_BIN"},
       "", false},
      {"truncated raw image", [](Bytes&) {}, {"A.SEQ", "DIR/B.VB"}, "C.BIN: extent 25 lies outside", true},
  };
  for (auto& c : cases) {
    SCOPED_TRACE(c.name);
    Bytes image = iso;
    c.patch(image);
    if (c.raw) {
      image = tools::WrapIso(image);
      image.resize(image.size() - 2000);
    }
    const LogicalView view = BuildLogicalView(image, DetectImageKind(image));
    const FileMap map = ReadFileMap(view);
    std::vector<std::string> paths;
    for (const auto& f : map.files) {
      paths.push_back(f.path);
      EXPECT_LE(f.lba + (f.size + 2047) / 2048, view.lbaEnd());
    }
    EXPECT_EQ(paths, c.paths);
    std::string problems;
    for (const auto& p : map.problems) problems += p + "\n";
    if (*c.problem) {
      EXPECT_NE(problems.find(c.problem), std::string::npos) << problems;
    } else {
      EXPECT_EQ(problems, "");
    }
  }
  const FileMap map = ReadFileMap(BuildLogicalView(iso, ImageKind::kIso2048));
  EXPECT_EQ(map.Locate(placed[2].lba, 100).file, nullptr);  // sector padding: C.BIN has 100 bytes
  EXPECT_EQ(map.Locate(17, 0).file, nullptr);
}

}  // namespace
}  // namespace psxdig
