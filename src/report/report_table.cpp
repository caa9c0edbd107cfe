// The item table and the sounds of report.html. Rows stay small (a disc may
// hold ten thousand items): cells without closing tags, numbers as plain
// text that the script sorts by the column's type.
#include <algorithm>
#include <cstdio>
#include <optional>

#include "report/page_parts.h"

namespace psxdig::report {
namespace {

// The output name without its extension: "SOUND/BGM.SEQ@0" of "SOUND/BGM.SEQ@0.seq".
std::string Stem(const std::string& output) {
  const std::size_t dot = output.find_last_of('.');
  const std::size_t slash = output.find_last_of('/');
  if (dot == std::string::npos || (slash != std::string::npos && dot < slash)) return output;
  return output.substr(0, dot);
}

// How a file made from an item is named next to it: what follows the item's
// own name ("_3.wav", ".sf2"), or the file's base name.
std::string MadeLabel(const std::string& itemOutput, const std::string& file) {
  const std::string stem = Stem(itemOutput);
  if (file != itemOutput && !stem.empty() && file.size() > stem.size() &&
      file.compare(0, stem.size(), stem) == 0) {
    return file.substr(stem.size());
  }
  const std::size_t slash = file.find_last_of('/');
  return slash == std::string::npos ? file : file.substr(slash + 1);
}

std::string ItemName(const Json& item, std::size_t row) {
  for (const char* field : {"output", "duplicateOf", "discPath"}) {
    const std::string name = Text(item, field);
    if (!name.empty()) return name;
  }
  return "item " + std::to_string(row);
}

// A link to the row of the item holding `file`, or the name as text.
std::string FileRowLink(const ItemLinks& links, const std::string& file) {
  const auto it = links.rowOfFile.find(file);
  return it == links.rowOfFile.end() ? EscapeHtml(file) : RowLink(it->second, file);
}

// A body names its header; a header finds its body.
std::string HeaderOrBody(const Json& items, std::size_t row, const ItemLinks& links) {
  const std::string header = Text(items[row], "header");
  if (!header.empty()) return "<small>header</small> " + FileRowLink(links, header);
  const std::string output = Text(items[row], "output");
  const auto body = output.empty() ? links.bodyOfHeader.end() : links.bodyOfHeader.find(output);
  if (body == links.bodyOfHeader.end()) return "";
  return "<small>body</small> " + RowLink(body->second, ItemName(items[body->second], body->second));
}

// Links to what was made from an item (MIDI, SoundFont...), its sounds and
// what went wrong converting it.
std::string Made(const Json& item, std::size_t row) {
  const std::string output = Text(item, "output");
  std::string cell;
  for (const Json& file : List(item, "converted")) {
    if (!file.is_string() || IsSound(file.get<std::string>())) continue;
    cell += Link(file.get<std::string>(), MadeLabel(output, file.get<std::string>())) + " ";
  }
  const std::size_t sounds = SoundFilesOf(item).size();
  if (sounds > 0) {
    cell += "<a href=#s" + std::to_string(row) + ">" + std::to_string(sounds) +
            (sounds == 1 ? " sound" : " sounds") + "</a>";
  }
  const std::string error = Text(item, "convertError");
  if (!error.empty()) cell += " <span class=\"err\">" + EscapeHtml(error) + "</span>";
  return cell;
}

// A sequence: the bank it plays with (its row and its SoundFont) and why.
std::string PlaysWith(const Json& items, std::size_t row, const ItemLinks& links) {
  const Json* pairing = Field(items[row], "pairing");
  if (!pairing || !pairing->is_string()) return "";
  const std::string soundFont = Text(items[row], "soundFont");
  std::string cell;
  if (!soundFont.empty()) {
    const auto bank = links.rowOfFile.find(soundFont);
    cell = "&rarr; ";
    if (bank != links.rowOfFile.end()) cell += RowLink(bank->second, ItemName(items[bank->second], bank->second)) + " ";
    cell += Link(soundFont, MadeLabel(soundFont, soundFont)) + "<br>";
  }
  return cell + "<small>" + EscapeHtml(pairing->get<std::string>()) + "</small>";
}

std::string Row(const Json& items, std::size_t row, std::size_t kind, const ItemLinks& links) {
  const Json& item = items[row];
  const std::string output = Text(item, "output");
  const std::string duplicateOf = Text(item, "duplicateOf");
  const Json* straddles = Field(item, "straddles");
  std::string html = "<tr id=i" + std::to_string(row) + " class=k" + std::to_string(kind) + "><td>" +
                     std::to_string(row) + "<td>" + EscapeHtml(Text(item, "kind")) + "<td>";
  if (!output.empty()) html += Link(output, output);
  html += "<td>" + EscapeHtml(Text(item, "discPath"));
  if (straddles && straddles->is_boolean() && straddles->get<bool>()) html += " <small>(runs past its file)</small>";
  html += "<td>" + HexOf(Number(item, "offsetInFile")) + "<td>" + HexOf(Number(item, "imageOffset")) +
          "<td>" + (Number(item, "size") ? std::to_string(*Number(item, "size")) : std::string()) +
          "<td>" + (duplicateOf.empty() ? std::string() : FileRowLink(links, duplicateOf)) + "<td>" +
          HeaderOrBody(items, row, links) + "<td>" + Made(item, row) + "<td>" + PlaysWith(items, row, links) +
          "</tr>\n";
  return html;
}

// A small picture of a sound: one bar from the lowest to the highest value
// of each stretch, the middle line for silence.
std::string WavePicture(const Waveform& wave) {
  const std::size_t n = wave.low.size();
  std::string path = "M0 16H" + std::to_string(n);
  for (std::size_t x = 0; x < n; ++x) {
    const int top = (32768 - wave.high[x]) >> 11;
    const int bottom = std::max(top + 1, std::min(32, (32768 - wave.low[x] + 2047) >> 11));
    path += "M" + std::to_string(x) + ".5 " + std::to_string(top) + "V" + std::to_string(bottom);
  }
  return "<svg class=\"wave\" viewBox=\"0 0 " + std::to_string(n) +
         " 32\" preserveAspectRatio=\"none\" aria-hidden=\"true\"><path d=\"" + path + "\"/></svg>";
}

// Seconds of a sound: from its WAV, or as the listing states for a render.
std::optional<double> SecondsOf(const Json& item, const std::string& file, const Waveform* wave) {
  if (wave) return wave->Seconds();
  for (const Json& render : List(item, "rendered")) {
    const Json* seconds = Field(render, "seconds");
    if (Text(render, "file") == file && seconds && seconds->is_number()) return seconds->get<double>();
  }
  return std::nullopt;
}

// Players for more sounds than this are made by the script when their group
// comes into view (each <audio controls> costs the browser more than a row);
// until then, and without scripts, a link opens the file.
constexpr std::size_t kInlinePlayers = 1000;

std::string Sound(const Json& item, const std::string& file, const Waveform* wave, bool inlinePlayer) {
  std::string html = "<figure>";
  if (wave && !wave->low.empty()) html += WavePicture(*wave);
  html += "<figcaption>" + Link(file, MadeLabel(Text(item, "output"), file));
  if (const auto seconds = SecondsOf(item, file, wave)) {
    char text[32];
    std::snprintf(text, sizeof text, *seconds < 10 ? " %.3f s" : " %.1f s", *seconds);
    html += text;
  }
  html += "</figcaption>";
  if (!inlinePlayer) return html + "<a class=play href=" + FileUrl(file) + ">&#9654; play</a></figure>\n";
  return html + "<audio controls preload=none src=" + FileUrl(file) + "></audio></figure>\n";
}

}  // namespace

std::string ItemTable(const Json& items, const std::vector<std::size_t>& kindOf, const ItemLinks& links) {
  std::string html =
      "<section>\n<h2>Items</h2>\n<table id=\"items\">\n<thead><tr><th data-t=\"n\">#</th><th>Kind</th>"
      "<th>Output file</th><th>Disc path</th><th data-t=\"x\">Offset in file</th>"
      "<th data-t=\"x\">Image offset</th><th data-t=\"n\">Size</th><th>Duplicate of</th>"
      "<th>Header / body</th><th>Made</th><th>Plays with</th></tr></thead>\n<tbody>\n";
  for (std::size_t row = 0; row < items.size(); ++row) html += Row(items, row, kindOf[row], links);
  return html + "</tbody>\n</table>\n<p><small>Offsets in hex, sizes in bytes.</small></p>\n</section>\n";
}

std::string SoundGroups(const Json& items, const std::vector<std::size_t>& kindOf,
                        const std::map<std::string, Waveform>& waves) {
  std::size_t total = 0;
  for (const Json& item : items) total += SoundFilesOf(item).size();
  std::string html;
  for (std::size_t row = 0; row < items.size(); ++row) {
    const std::vector<std::string> sounds = SoundFilesOf(items[row]);
    if (sounds.empty()) continue;
    html += "<div class=\"grp k" + std::to_string(kindOf[row]) + "\" id=\"s" + std::to_string(row) + "\"><h3>" +
            RowLink(row, ItemName(items[row], row)) + " <small>" + EscapeHtml(Text(items[row], "kind")) +
            "</small></h3><div class=\"snd\">\n";
    for (const std::string& file : sounds) {
      const auto wave = waves.find(file);
      html += Sound(items[row], file, wave == waves.end() ? nullptr : &wave->second, total <= kInlinePlayers);
    }
    html += "</div></div>\n";
  }
  return html.empty() ? "" : "<section id=\"sounds\">\n<h2>Sounds</h2>\n" + html + "</section>\n";
}

}  // namespace psxdig::report
