// The page's deciders: escaping of untrusted text, file links, the waveform
// envelope of a WAV, and the page of a hostile listing; then the report
// command's exit codes.
#include <gtest/gtest.h>

#include "image_builder.h"
#include "report/report.h"
#include "test_util.h"

namespace psxdig::report {
namespace {

using testing::Bytes;
const std::string kFffd = "\xEF\xBF\xBD";

TEST(Report, EscapesTextAndNamesFiles) {
  const std::pair<std::string, std::string> escaped[] = {
      {"a<b>&\"'", "a&lt;b&gt;&amp;&quot;&#39;"},
      {"</script><!--", "&lt;/script&gt;&lt;!--"},
      {"caf\xC3\xA9 \xF0\x9F\x8E\xB5\t\n", "caf\xC3\xA9 \xF0\x9F\x8E\xB5\t\n"},  // kept as they are
      {"A\xFF" "B", "A" + kFffd + "B"},
      {"\xC0\xAF", kFffd + kFffd},                  // overlong "/"
      {"\xED\xA0\x80", kFffd + kFffd + kFffd},      // a surrogate
      {"\xF4\x90\x80\x80", kFffd + kFffd + kFffd + kFffd},  // past U+10FFFF
      {"\xE2\x82", kFffd + kFffd},                  // cut short
      {std::string("a\x01\x7F\0b", 5), "a" + kFffd + kFffd + kFffd + "b"},
  };
  for (const auto& [text, html] : escaped) EXPECT_EQ(EscapeHtml(text), html) << text;
  const std::pair<std::string, std::string> urls[] = {
      {"SOUND/BGM.SEQ@1a8~_-.seq", "SOUND/BGM.SEQ@1a8~_-.seq"},
      {"a b#?%:\"<", "a%20b%23%3F%25%3A%22%3C"},
      {"javascript:alert(1)", "javascript%3Aalert%281%29"},
      {"//host/x", "/.//host/x"},
      {"\xFF", "%FF"},
  };
  for (const auto& [name, url] : urls) EXPECT_EQ(FileUrl(name), url) << name;
}

// A RIFF/WAVE file: an odd-sized chunk first, then "fmt " and "data"
// (whose stated size may exceed what follows).
Bytes Wav(std::uint16_t format, std::uint16_t channels, std::uint16_t bits,
          const std::vector<std::int16_t>& samples, std::uint32_t statedData = 0) {
  auto u16 = [](Bytes& b, std::uint32_t v) { b.push_back(v & 255); b.push_back((v >> 8) & 255); };
  auto u32 = [&](Bytes& b, std::uint32_t v) { u16(b, v & 0xFFFF); u16(b, v >> 16); };
  Bytes b = testing::Str("RIFF....WAVELIST");
  u32(b, 3);
  b.insert(b.end(), {'x', 'y', 'z', 0});
  b.insert(b.end(), {'f', 'm', 't', ' '});
  u32(b, 16);
  u16(b, format), u16(b, channels), u32(b, 4), u32(b, 4 * channels * 2), u16(b, channels * 2), u16(b, bits);
  b.insert(b.end(), {'d', 'a', 't', 'a'});
  u32(b, statedData ? statedData : static_cast<std::uint32_t>(samples.size() * 2));
  for (const std::int16_t s : samples) u16(b, static_cast<std::uint16_t>(s));
  return b;
}

TEST(Report, WaveformIsTheMinMaxEnvelope) {
  const std::vector<std::int16_t> mono = {0, 100, -200, 300, 5, -5, 32767, -32768};
  Waveform wave;
  ASSERT_TRUE(WaveformOfWav(Wav(1, 1, 16, mono), 4, wave));
  EXPECT_EQ(wave.low, (std::vector<std::int16_t>{0, -200, -5, -32768}));
  EXPECT_EQ(wave.high, (std::vector<std::int16_t>{100, 300, 5, 32767}));
  EXPECT_DOUBLE_EQ(wave.Seconds(), 2.0);
  // Stereo, more points asked than frames, a data chunk claiming more than is there.
  ASSERT_TRUE(WaveformOfWav(Wav(0xFFFE, 2, 16, {1, -1, 2, -3, 7}, 4000), 100, wave));
  EXPECT_EQ(wave.frames, 2u);
  EXPECT_EQ(wave.low, (std::vector<std::int16_t>{-1, -3}));
  EXPECT_EQ(wave.high, (std::vector<std::int16_t>{1, 2}));
  const Bytes float32 = Wav(3, 1, 16, mono), eightBit = Wav(1, 1, 8, mono);
  const Bytes cut(float32.begin(), float32.begin() + 30);
  for (const Bytes& bad : {float32, eightBit, cut, Bytes{}}) EXPECT_FALSE(WaveformOfWav(bad, 4, wave));
}

TEST(Report, PageShowsHostileNamesAsTextAndEverySound) {
  const std::string img = "<img src=x onerror=window.__pwned=1>";
  const std::string closer = "</script><script>window.__pwned=1</script>";
  nlohmann::json listing = {
      {"input", closer}, {"imageKind", "iso2048"}, {"volumeId", "V\xFF"}, {"imageSize", 4096},
      {"fileSystemProblems", {img}},
      {"files", {{{"discPath", img}, {"imageOffset", 0}, {"size", 100}}}},
      {"items",
       {{{"kind", "sequence"}, {"output", img + ".seq"}, {"discPath", closer}, {"imageOffset", 10},
         {"size", 20}, {"pairing", "same file"}, {"soundFont", "b.sf2"}},
        {{"kind", "header"}, {"output", "b.vh"}, {"converted", {"b.sf2", "b_1.wav"}}, {"size", "big"}},
        {{"kind", "body"}, {"output", "b.vb"}, {"header", "b.vh"}, {"converted", 5}},
        {{"kind", "xa \"stream\""}, {"output", "x.wav"},
         {"rendered", {{{"file", "s.flac"}, {"seconds", 3.5}}, 7}}}}}};
  Waveform wave;
  ASSERT_TRUE(WaveformOfWav(Wav(1, 1, 16, {0, 9000, -9000, 0}), 4, wave));
  const std::string page = BuildReportHtml(listing, {{"b_1.wav", wave}});
  auto count = [&](const std::string& what) {
    std::size_t n = 0;
    for (std::size_t at = page.find(what); at != std::string::npos; at = page.find(what, at + 1)) ++n;
    return n;
  };
  EXPECT_EQ(count("<script"), 1u);
  EXPECT_EQ(count("<img"), 0u);
  EXPECT_EQ(count("&lt;img src=x onerror=window.__pwned=1&gt;"), 3u);  // problem, band, output
  EXPECT_EQ(count("<tr id=i"), 4u);
  EXPECT_EQ(count("<audio controls preload=none"), 3u);
  EXPECT_EQ(count("<svg class=\"wave\""), 1u);
  EXPECT_EQ(count("<a href=#i0><rect class=k0 x=2.4 y=15 width=4.9 height=8 />"), 1u);
  EXPECT_EQ(count("<a href=#i2><rect"), 0u);  // no offset: no mark
  EXPECT_EQ(count(" 3.500 s"), 1u);
  EXPECT_EQ(count("V" + kFffd), 1u);
  EXPECT_EQ(count("xa &quot;stream&quot;"), 4u);  // legend, filter, row, sounds
  EXPECT_EQ(count("&rarr; <a href=#i1>b.vh</a> <a href=b.sf2>"), 1u);
  EXPECT_EQ(count("<small>header</small> <a href=#i1>b.vh</a>"), 1u);
  EXPECT_EQ(count("<small>body</small> <a href=#i2>b.vb</a>"), 1u);
}

TEST(Report, CommandWritesPagesAndTellsFailures) {
  testing::TempDir dir;
  std::filesystem::create_directory(dir.File("good"));
  testing::WriteBytes(dir.File("good/listing.json"), testing::Str(R"({"input": "a.bin", "items": []})"));
  std::filesystem::create_directory(dir.File("bad"));
  testing::WriteBytes(dir.File("bad/listing.json"), testing::Str("[1, 2"));
  const auto good = testing::RunPsxdig({"report", dir.File("good")});
  EXPECT_EQ(good.exitCode, 0);
  EXPECT_EQ(good.out, (testing::fs::path(dir.File("good")) / "report.html").string() + "\n");
  EXPECT_NE(testing::ReadText(dir.File("good/report.html")).find("<h1>a.bin</h1>"), std::string::npos);
  const auto failed = testing::RunPsxdig({"report", dir.File("bad"), dir.File("none"), dir.File("good")});
  EXPECT_EQ(failed.exitCode, 1);
  EXPECT_NE(failed.err.find("bad: listing.json is not a listing"), std::string::npos) << failed.err;
  EXPECT_NE(failed.err.find("none: cannot read listing.json"), std::string::npos) << failed.err;
  EXPECT_EQ(testing::RunPsxdig({"report"}).exitCode, 2);
  EXPECT_FALSE(std::filesystem::exists(dir.File("bad/report.html")));
  // extract writes the page beside its listings unless told not to.
  testing::WriteBytes(dir.File("demo.bin"), tools::BuildDemoImage());
  ASSERT_EQ(testing::RunPsxdig({"extract", "-q", "-o", dir.File("a"), dir.File("demo.bin")}).exitCode, 0);
  ASSERT_EQ(testing::RunPsxdig({"extract", "-q", "--no-report", "-o", dir.File("b"), dir.File("demo.bin")}).exitCode, 0);
  const std::string page = testing::ReadText(dir.File("a/demo.bin.psxdig/report.html"));
  const nlohmann::json listing = nlohmann::json::parse(testing::ReadText(dir.File("a/demo.bin.psxdig/listing.json")));
  EXPECT_EQ(page, BuildReportHtml(listing, {}));
  EXPECT_EQ(listing["imageSize"], tools::BuildDemoImage().size());
  EXPECT_FALSE(std::filesystem::exists(dir.File("b/demo.bin.psxdig/report.html")));
}

}  // namespace
}  // namespace psxdig::report
