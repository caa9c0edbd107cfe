// End-to-end: the built psxdig extracts a plain file, an ISO and a raw image
// with its CUE sheet; items, names, bytes, both listings and exit codes.
#include <gtest/gtest.h>

#include <cstdlib>
#include <map>
#include <regex>
#include <sstream>
#include <tuple>

#include <nlohmann/json.hpp>

#include "convert/convert.h"
#include "image/disc_image.h"
#include "image_audio.h"
#include "image_banks.h"
#include "image_disc.h"
#include "image_builder.h"
#include "test_util.h"

namespace psxdig {
namespace {

using tools::Bytes;
using Row = std::map<std::string, std::string>;

// listing.csv as rows of named fields (the generated names need no quoting).
std::vector<Row> ReadCsv(const std::string& path) {
  std::istringstream in(testing::ReadText(path));
  std::vector<std::string> names;
  std::vector<Row> rows;
  for (std::string line; std::getline(in, line);) {
    EXPECT_EQ(line.back(), '\r');
    std::istringstream fields(line.substr(0, line.size() - 1) + ",");
    std::vector<std::string> values;
    for (std::string field; std::getline(fields, field, ',');) values.push_back(field);
    if (names.empty()) {
      names = values;
      continue;
    }
    EXPECT_EQ(values.size(), names.size());
    Row& row = rows.emplace_back();
    for (std::size_t k = 0; k < names.size() && k < values.size(); ++k) row[names[k]] = values[k];
  }
  return rows;
}

std::string Hex(std::uint64_t v) {
  std::ostringstream s;
  s << std::hex << v;
  return s.str();
}

// The item file holds `expected` followed by at most 3 zero bytes of padding.
void ExpectItemFile(const std::string& path, const Bytes& expected) {
  const Bytes got = testing::ReadBytes(path);
  ASSERT_GE(got.size(), expected.size()) << path;
  EXPECT_LT(got.size() - expected.size(), 4u) << path;
  EXPECT_TRUE(std::equal(expected.begin(), expected.end(), got.begin())) << path;
  for (std::size_t k = expected.size(); k < got.size(); ++k) EXPECT_EQ(got[k], 0) << path;
}

nlohmann::json ReadJson(const std::string& path) { return nlohmann::json::parse(testing::ReadText(path)); }

TEST(ExtractE2e, PlainFileWithWidenedRecognitionDuplicatesAndExitCodes) {
  testing::TempDir dir;
  std::vector<tools::Planted> planted;
  Bytes image = tools::BuildDemoImage(&planted);
  // A sequence with its magic byte-reversed, then a version-5 VAB header
  // with unfilled program bytes, its body right behind it.
  Bytes seqp = tools::MakeSeq(40, 9);
  std::copy_n("SEQp", 4, seqp.begin());
  const std::vector<std::uint32_t> sizes = {1024, 512};
  Bytes vab = tools::MakeVabHeader(0, sizes, 5);
  vab[4] = 5;
  vab[40] = vab[41] = 0;
  const Bytes body = tools::MakeAdpcmBody(sizes, 5);
  for (const auto& [bytes, ext] : {std::pair{seqp, ".seq"}, {vab, ".vh"}, {body, ".vb"}}) {
    image.resize(image.size() + 64, 0);
    planted.push_back({ext, static_cast<std::uint32_t>(image.size()),
                       static_cast<std::uint32_t>(bytes.size()), "widened"});
    image.insert(image.end(), bytes.begin(), bytes.end());
  }
  const std::string input = dir.File("game.dat");
  testing::WriteBytes(input, image);

  const auto run = testing::RunPsxdig({"extract", input, "-o", dir.path().string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  EXPECT_EQ(run.err, "");
  const std::string folder = dir.File("game.dat.psxdig");
  const auto rows = ReadCsv(folder + "/listing.csv");
  const auto json = ReadJson(folder + "/listing.json");
  EXPECT_EQ(json["imageKind"], "plain");
  EXPECT_TRUE(json["volumeId"].is_null());
  EXPECT_EQ(json["tool"], "psxdig");
  ASSERT_EQ(json["items"].size(), rows.size());

  std::size_t expected = 0;
  for (const tools::Planted& p : planted) {
    if (p.note.rfind("rejected", 0) == 0 || p.note.rfind("skipped", 0) == 0) continue;
    ++expected;
    std::size_t k = 0;
    while (k < rows.size() && !(rows[k].at("logical_offset") == std::to_string(p.ofs) && rows[k].at("ext") == p.ext)) ++k;
    ASSERT_LT(k, rows.size()) << p.ext << " at " << p.ofs << " " << p.note;
    const Row& row = rows[k];
    EXPECT_EQ(row.at("size"), std::to_string(p.size));
    EXPECT_EQ(row.at("disc_path"), "");
    EXPECT_EQ(row.at("image_offset"), std::to_string(p.ofs));
    EXPECT_EQ(json["items"][k]["xxh64"], row.at("xxh64"));
    EXPECT_EQ(row.at("kind"), p.ext == ".vb" ? "body" : p.ext == ".vh" ? "header" : "sequence");
    EXPECT_EQ(row.at("header") != "", p.ext == ".vb") << p.note;
    const std::string name = "@" + Hex(p.ofs) + p.ext;
    if (p.note.find("duplicate") != std::string::npos) {
      EXPECT_EQ(row.at("output"), "");
      EXPECT_NE(row.at("duplicate_of"), "");
      EXPECT_FALSE(testing::fs::exists(folder + "/" + name));
    } else {
      EXPECT_EQ(row.at("output"), name);
      EXPECT_EQ(row.at("duplicate_of"), "");
      ExpectItemFile(folder + "/" + name, Bytes(image.begin() + p.ofs, image.begin() + p.ofs + p.size));
    }
    if (p.note == "widened") {
      EXPECT_EQ(json["items"][k]["recognisedAs"],
                p.ext == ".seq" ? "reversed magic" : p.ext == ".vh" ? "VAB version 5" : "body search");
    }
  }
  EXPECT_EQ(rows.size(), expected);
  // rip does not take the reversed magic for a sequence.
  ASSERT_EQ(testing::RunPsxdig({"rip", input, "0", "1000"}).exitCode, 0);
  char seqpRow[16];
  std::snprintf(seqpRow, sizeof seqpRow, ",%9u-", planted[planted.size() - 3].ofs);
  EXPECT_EQ(testing::ReadText(input + ".csv").find(seqpRow), std::string::npos) << seqpRow;

  // A folder that holds anything is refused; the other inputs still run.
  testing::WriteBytes(dir.File("zeros.dat"), Bytes(100000, 0));
  const auto again = testing::RunPsxdig({"extract", "-q", input, dir.File("zeros.dat"), dir.File("none.dat"),
                                         "-o", dir.path().string()});
  EXPECT_EQ(again.exitCode, 2);
  EXPECT_NE(again.err.find("game.dat.psxdig is not empty"), std::string::npos) << again.err;
  EXPECT_NE(again.err.find("none.dat: cannot read"), std::string::npos) << again.err;
  EXPECT_EQ(again.out, "");
  EXPECT_EQ(ReadCsv(dir.File("zeros.dat.psxdig/listing.csv")).size(), 0u);
  testing::fs::remove_all(dir.File("zeros.dat.psxdig"));
  EXPECT_EQ(testing::RunPsxdig({"extract", dir.File("zeros.dat"), "-o", dir.path().string()}).exitCode, 1);
  EXPECT_EQ(testing::RunPsxdig({"extract", "--no-such-option", input}).exitCode, 2);
}

#ifndef _WIN32
using FileRow = std::tuple<std::string, std::uint32_t, std::uint64_t>;  // path, lba, size

// The files of `isoinfo -l`: extent and data length of every non-directory.
std::vector<FileRow> IsoinfoFiles(const std::string& listing) {
  static const std::regex dirLine(R"(^Directory listing of /(.*)$)");
  static const std::regex fileLine(R"(^-\S*\s.*\s(\d+)\s+\w{3}\s+\d+\s+\d{4}\s+\[\s*(\d+)\s+[0-9a-f]{2}\]\s+(\S+);1\s*$)");
  std::vector<FileRow> rows;
  std::string dir;
  std::istringstream in(listing);
  for (std::string line; std::getline(in, line);) {
    std::smatch m;
    if (std::regex_match(line, m, dirLine)) dir = m[1];
    if (std::regex_match(line, m, fileLine)) rows.emplace_back(dir + m[3].str(), std::stoul(m[2]), std::stoull(m[1]));
  }
  std::sort(rows.begin(), rows.end());
  return rows;
}

// Checks our raw sectors and file map against tools of their own: bchunk
// turns the raw image back into genisoimage's ISO, and the image layer gives
// the stream and the extents of `isoinfo -l` for every form of the image.
void CheckAgainstDiscTools(const testing::TempDir& dir) {
  const Bytes iso = testing::ReadBytes(dir.File("d.iso"));
  ASSERT_EQ(testing::Run("/usr/bin/env", {"bchunk", dir.File("d.bin"), dir.File("d.cue"), dir.File("back")}).exitCode, 0);
  EXPECT_TRUE(testing::ReadBytes(dir.File("back01.iso")) == iso);
  std::string error;
  const auto sheet = ParseCue(testing::ReadText(dir.File("m2.cue")), error);
  ASSERT_TRUE(sheet && FirstDataTrack(*sheet)) << error;
  EXPECT_EQ(TrackImageKind(*FirstDataTrack(*sheet)), ImageKind::kRaw2336);
  const std::vector<FileRow> expected = IsoinfoFiles(testing::Run("/usr/bin/env", {"isoinfo", "-l", "-i", dir.File("d.iso")}).out);
  ASSERT_EQ(expected.size(), 6u);
  for (const char* name : {"d.iso", "d.bin", "m2.bin"}) {
    const Bytes image = testing::ReadBytes(dir.File(name));
    const LogicalView view = BuildLogicalView(image, DetectImageKind(image));
    EXPECT_TRUE(Bytes(view.data().begin(), view.data().end()) == iso) << name;
    EXPECT_EQ(view.damagedSectors(), 0u) << name;
    const FileMap map = ReadFileMap(view);
    EXPECT_EQ(map.volumeId, "PSXDIG");
    std::vector<FileRow> files;
    for (const auto& f : map.files) files.emplace_back(f.path, f.lba, f.size);
    std::sort(files.begin(), files.end());
    EXPECT_EQ(files, expected) << name;
    EXPECT_TRUE(map.problems.empty()) << name;
  }
}
#endif

// An ISO made by genisoimage from the generator's disc folder, and the same
// ISO as raw Mode 2 Form 1 sectors with its CUE sheet: the same items, whole
// across sector boundaries, named by disc path and offset in the file.
TEST(ExtractE2e, IsoAndRawImageGiveTheFilesOfTheDisc) {
#ifdef _WIN32
  // Linux programs started from inside Wine are neither waited for nor give
  // their exit code: tools/test-windows.sh makes this ISO of the same folder
  // beforehand.
  const char* madeIso = std::getenv("PSXDIG_TEST_DISC_ISO");
  if (!madeIso) GTEST_SKIP() << "no ISO made by genisoimage (PSXDIG_TEST_DISC_ISO)";
#else
  if (std::system("command -v genisoimage >/dev/null && command -v bchunk >/dev/null") != 0) {
    GTEST_SKIP() << "genisoimage or bchunk missing";
  }
#endif
  testing::TempDir dir;
  const std::string disc = dir.File("disc");
  const auto listed = testing::RunMkimage({"disc-folder", disc, "--list"});
  ASSERT_EQ(listed.exitCode, 0) << listed.err;
#ifdef _WIN32
  testing::fs::copy_file(madeIso, dir.File("d.iso"));
#else
  ASSERT_EQ(testing::Run("/usr/bin/env", {"genisoimage", "-quiet", "-V", "PSXDIG", "-XA", "-o", dir.File("d.iso"), disc}).exitCode, 0);
#endif
  ASSERT_EQ(testing::RunMkimage({"disc-raw", dir.File("d.iso"), dir.File("d.bin")}).exitCode, 0);
  ASSERT_EQ(testing::RunMkimage({"disc-raw", dir.File("d.iso"), dir.File("m2.bin"), "--2336"}).exitCode, 0);
#ifndef _WIN32
  CheckAgainstDiscTools(dir);
#endif
  // The same raw track behind an audio track of two seconds in one file.
  Bytes twoTracks(150 * 2352, 0);
  const Bytes raw = testing::ReadBytes(dir.File("d.bin"));
  twoTracks.insert(twoTracks.end(), raw.begin(), raw.end());
  testing::WriteBytes(dir.File("x.bin"), twoTracks);
  testing::WriteBytes(dir.File("x.cue"), testing::Str("FILE \"x.bin\" BINARY\n TRACK 01 AUDIO\n  INDEX 01 00:00:00\n"
                                                    " TRACK 02 MODE2/2352\n  INDEX 01 00:02:00\n"));
  const auto run = testing::RunPsxdig({"extract", "-q", "--no-cdda", dir.File("d.iso"), dir.File("d.cue"), dir.File("m2.cue"),
                                       dir.File("x.cue"), "-o", dir.path().string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;

  const char* kinds[][3] = {
      {"d.iso", "iso2048", "d.iso"}, {"d.cue", "raw2352", "d.bin"}, {"m2.cue", "raw2336", "m2.bin"}, {"x.cue", "raw2352", "x.bin"}};
  std::vector<Row> listings[4];
  for (int k = 0; k < 4; ++k) {
    const std::string folder = dir.File(std::string(kinds[k][0]) + ".psxdig");
    const auto json = ReadJson(folder + "/listing.json");
    EXPECT_EQ(json["imageKind"], kinds[k][1]);
    EXPECT_EQ(json["volumeId"], "PSXDIG");
    listings[k] = ReadCsv(folder + "/listing.csv");
    const Bytes whole = testing::ReadBytes(dir.File(kinds[k][2]));
    std::istringstream items(listed.out);
    std::size_t count = 0;
    for (std::string ext, path, note; items >> ext >> path;) {
      std::uint32_t ofs = 0, size = 0;
      items >> std::hex >> ofs >> std::dec >> size;
      std::getline(items, note);
      ++count;
      const std::string name = path + "@" + Hex(ofs) + ext;
      const Bytes file = testing::ReadBytes(disc + "/" + path);
      ASSERT_LE(ofs + size, file.size());
      ExpectItemFile(folder + "/" + name, Bytes(file.begin() + ofs, file.begin() + ofs + size));
      bool rowFound = false;
      for (const Row& row : listings[k]) {
        if (row.at("output") != name) continue;
        rowFound = true;
        EXPECT_EQ(row.at("disc_path"), path);
        EXPECT_EQ(row.at("offset_in_file"), std::to_string(ofs));
        EXPECT_EQ(row.at("straddles"), "");
        // The image offset points at the item's first bytes in the image file.
        const std::size_t at = std::stoul(row.at("image_offset"));
        const std::size_t n = std::min<std::size_t>(4, 2048 - std::stoul(row.at("logical_offset")) % 2048);
        ASSERT_LE(at + n, whole.size());
        EXPECT_TRUE(std::equal(whole.begin() + at, whole.begin() + at + n, file.begin() + ofs)) << name;
        EXPECT_EQ(row.at("header") != "", ext == ".vb") << name;
      }
      EXPECT_TRUE(rowFound) << name;
    }
    EXPECT_EQ(listings[k].size(), count);
  }
  for (int k = 1; k < 4; ++k) {
    ASSERT_EQ(listings[0].size(), listings[k].size());
    for (std::size_t r = 0; r < listings[0].size(); ++r) {
      listings[0][r].erase("image_offset");
      listings[k][r].erase("image_offset");
      EXPECT_EQ(listings[0][r], listings[k][r]);
    }
  }
}

// A sequence that begins at the end of one file and runs on into the next
// is named by where it begins and flagged as straddling.
TEST(ExtractE2e, ItemAcrossTwoFilesIsFlagged) {
  testing::TempDir dir;
  const Bytes seq = tools::MakeSeq(100, 3);
  Bytes first(2048, 0);
  std::copy_n(seq.begin(), 48, first.end() - 48);
  const Bytes rest(seq.begin() + 48, seq.end());
  testing::WriteBytes(dir.File("two.iso"), tools::BuildSmallIso({{"A.DAT", first}, {"B.DAT", rest}}));
  ASSERT_EQ(testing::RunPsxdig({"extract", "-q", dir.File("two.iso"), "-o", dir.path().string()}).exitCode, 0);
  const auto rows = ReadCsv(dir.File("two.iso.psxdig/listing.csv"));
  ASSERT_EQ(rows.size(), 1u);
  EXPECT_EQ(rows[0].at("output"), "A.DAT@7d0.seq");
  EXPECT_EQ(rows[0].at("straddles"), "yes");
  ExpectItemFile(dir.File("two.iso.psxdig/A.DAT@7d0.seq"), seq);
}

TEST(ExtractE2e, ConvertMakesEverySequencePlayableWithTheNearestBank) {
  testing::TempDir dir;
  // A sequence before any bank, bank A, a sequence, bank B, a SEP.
  auto bank = [](std::uint32_t blocks) {
    Bytes vab = tools::MakeTestVab({tools::TestTone{}},
                                   {tools::EncodeAdpcm(tools::MakeSine(28 * blocks, 40, 9000),
                                                       tools::AdpcmEnd::kLoop, 5)});
    vab[40] = vab[41] = 0xFF;  // the program record's unused bytes as rip recognises them
    return vab;
  };
  tools::SongPlan plan{{0}, {0}, {60, 64, 67}};
  plan.bankSelect = true;  // two events, left out of the MIDI
  const tools::TestSong song = tools::MakeSong(plan);
  const Bytes seq = tools::MakeSeqFile(480, 500000, song.events);
  const Bytes sep = tools::MakeSepFile(480, 500000, {song.events, song.events});
  const Bytes bankA = bank(20);
  const Bytes bankB = bank(24);
  const Bytes seq2 = tools::MakeSeqFile(480, 400000, tools::MakeSong({{1}, {0}, {62, 65}}).events);
  const Bytes parts[] = {seq, bankA, seq2, bankB, sep};
  Bytes image;
  std::vector<std::uint64_t> at;
  for (std::size_t k = 0; k < 5; ++k) {
    image.resize((image.size() + 0x800) & ~std::size_t{0x7FF}, 0);
    at.push_back(image.size());
    image.insert(image.end(), parts[k].begin(), parts[k].end());
  }
  testing::WriteBytes(dir.File("mix.bin"), image);
  const auto r = testing::RunPsxdig({"extract", "--convert", "-q", "-o", dir.File("out"), dir.File("mix.bin")});
  ASSERT_EQ(r.exitCode, 0) << r.err;
  EXPECT_EQ(r.err, "");
  const std::string folder = dir.File("out/mix.bin.psxdig/");
  const auto name = [&](std::size_t k, const char* ext) { return "@" + Hex(at[k]) + ext; };

  std::map<std::string, nlohmann::json> byName;
  const nlohmann::json listing = ReadJson(folder + "listing.json");
  for (const auto& item : listing["items"]) {
    if (item["output"].is_string()) byName[item["output"]] = item;
  }
  const struct {
    std::size_t item;
    const char* ext;
    std::string soundFont;
    const char* pairing;
    int droppedBankSelect;
    std::size_t bank;
  } sequences[] = {{0, ".seq", name(1, ".sf2"), "nearest in image", 2, 1},
                   {2, ".seq", name(3, ".sf2"), "nearest in image", 0, 3},
                   {4, ".sep", name(3, ".sf2"), "nearest in image", 4, 3}};
  for (const auto& c : sequences) {
    const nlohmann::json& item = byName[name(c.item, c.ext)];
    EXPECT_EQ(item.value("pairing", ""), c.pairing) << c.item;
    EXPECT_EQ(item["soundFont"].is_null() ? "" : item["soundFont"].get<std::string>(), c.soundFont);
    // A paired sequence takes the pitch-bend ranges of its bank.
    const convert::BankBends bends = convert::ReadBankBends(parts[c.bank]);
    const convert::ConvertResult expected = convert::ConvertSequence(parts[c.item], &bends.ranges);
    EXPECT_EQ(item.value("droppedBankSelect", -1), c.droppedBankSelect) << c.item;
    ASSERT_EQ(item["converted"].size(), expected.files.size()) << c.item;
    for (std::size_t f = 0; f < expected.files.size(); ++f) {
      const std::string mid = name(c.item, "") + expected.files[f].suffix;
      EXPECT_EQ(item["converted"][f], mid);
      EXPECT_EQ(testing::ReadBytes(folder + mid), expected.files[f].bytes) << mid;
    }
  }
  for (const std::size_t k : {1u, 3u}) {
    const std::size_t headerSize = convert::BankHeaderSize(parts[k]);
    const ByteSpan whole(parts[k]);
    const convert::ConvertResult expected = convert::ConvertBank(
        whole.first(headerSize), whole.subspan(headerSize), name(k, ""), true);
    ASSERT_EQ(byName[name(k, ".vh")]["converted"].size(), expected.files.size()) << k;
    for (const convert::ConvertedFile& f : expected.files) {
      EXPECT_EQ(testing::ReadBytes(folder + name(k, "") + f.suffix), f.bytes) << f.suffix;
    }
  }
}

// A real version-5 bank whose one sample ends in a one-shot block and a
// trailing block: found behind its header in its own file, and on a disc
// where the last bank's body lies before its header in an executable; songs
// are paired with the bank of their folder though it comes after them.
TEST(ExtractE2e, PairsByFolderAndFindsBankBodiesAnywhere) {
  testing::TempDir dir;
  const std::string fixtures = PSXDIG_FIXTURES;
  const Bytes squareVh = testing::ReadBytes(fixtures + "/square.VH");
  const Bytes squareVb = testing::ReadBytes(fixtures + "/square.VB");
  testing::WriteBytes(dir.File("square.VAB"), testing::ReadBytes(fixtures + "/square.VAB"));  // not read-only as the fixture
  ASSERT_EQ(testing::RunPsxdig({"extract", "-q", dir.File("square.VAB"), "-o", dir.path().string()}).exitCode, 0);
  const auto alone = ReadJson(dir.File("square.VAB.psxdig/listing.json"))["items"];
  ASSERT_EQ(alone.size(), 2u);
  EXPECT_EQ(alone[1]["header"], "@0.vh");
  EXPECT_EQ(alone[1]["bodyFound"], "after its header");
  EXPECT_EQ(alone[1]["trailingBlockEnd"], true);
  ExpectItemFile(dir.File("square.VAB.psxdig/@c20.vb"), squareVb);

  Bytes bank = tools::MakeTestVab({tools::TestTone{}}, {tools::EncodeAdpcm(tools::MakeSine(28 * 20, 40, 9000),
                                                                          tools::AdpcmEnd::kLoop, 5)});
  bank[40] = bank[41] = 0xFF;
  const auto song = [](std::uint8_t note) {
    return tools::MakeSeqFile(480, 500000, tools::MakeSong({{0}, {0}, {note, 64}}).events);
  };
  Bytes exe(0x1000, 0x55);
  exe.insert(exe.end(), squareVb.begin(), squareVb.end());
  exe.insert(exe.end(), squareVh.begin(), squareVh.end());
  exe.resize(exe.size() + 0x800, 0x55);
  std::vector<tools::IsoPlaced> placed;
  testing::WriteBytes(dir.File("d.iso"), tools::BuildSmallIso({{"SOUND/A.SEQ", song(60)}, {"SOUND/B.SEQ", song(62)},
                                                              {"SOUND/BANK.VAB", bank}, {"MAIN.EXE", exe},
                                                              {"MUSIC/C.SEQ", song(65)}}, &placed));

  const auto run = testing::RunPsxdig({"extract", "-q", "--convert", "--no-wav", dir.File("d.iso"), "-o", dir.path().string()});
  ASSERT_EQ(run.exitCode, 0) << run.err;
  std::map<std::string, nlohmann::json> byName;
  const nlohmann::json listing = ReadJson(dir.File("d.iso.psxdig/listing.json"));
  for (const auto& item : listing["items"]) byName[item["output"]] = item;
  const std::string exeHeader = "MAIN.EXE@" + Hex(0x1000 + squareVb.size());
  const struct {
    std::string item, field, value;
  } expected[] = {{"SOUND/A.SEQ@0.seq", "pairing", "same folder"}, {"SOUND/A.SEQ@0.seq", "soundFont", "SOUND/BANK.VAB@0.sf2"},
                  {"SOUND/B.SEQ@0.seq", "pairing", "same folder"}, {"MUSIC/C.SEQ@0.seq", "pairing", "nearest in image"},
                  {"MUSIC/C.SEQ@0.seq", "soundFont", exeHeader + ".sf2"},   {"MAIN.EXE@1000.vb", "header", exeHeader + ".vh"},
                  {"MAIN.EXE@1000.vb", "bodyFound", "before its header"}};
  for (const auto& e : expected) EXPECT_EQ(byName[e.item].value(e.field, ""), e.value) << e.item << " " << e.field;
  EXPECT_EQ(byName["MAIN.EXE@1000.vb"]["trailingBlockEnd"], true);
  EXPECT_EQ(byName["SOUND/BANK.VAB@" + Hex(convert::BankHeaderSize(bank)) + ".vb"]["trailingBlockEnd"], false);
  ExpectItemFile(dir.File("d.iso.psxdig/MAIN.EXE@1000.vb"), squareVb);
  EXPECT_TRUE(testing::fs::exists(dir.File("d.iso.psxdig/" + exeHeader + ".sf2")));
}

}  // namespace
}  // namespace psxdig
