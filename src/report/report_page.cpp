// report.html from a parsed listing.json: the summary, the disc map, the
// item table and the sounds with their pictures.
#include <algorithm>
#include <cstdio>

#include "report/page_parts.h"
#include "report/page_style.h"

namespace psxdig::report {

// ---- Fields of the listing, each of the wrong type taken as absent. ----

const Json* Field(const Json& object, const char* name) {
  if (!object.is_object()) return nullptr;
  const auto it = object.find(name);
  return it == object.end() ? nullptr : &*it;
}

std::string Text(const Json& object, const char* name) {
  const Json* f = Field(object, name);
  return f && f->is_string() ? f->get<std::string>() : std::string();
}

std::optional<std::uint64_t> Number(const Json& object, const char* name) {
  const Json* f = Field(object, name);
  if (f && f->is_number_unsigned()) return f->get<std::uint64_t>();
  if (f && f->is_number_integer() && f->get<std::int64_t>() >= 0) return f->get<std::uint64_t>();
  return std::nullopt;
}

const Json& List(const Json& object, const char* name) {
  static const Json kEmpty = Json::array();
  const Json* f = Field(object, name);
  return f && f->is_array() ? *f : kEmpty;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

std::string HexOf(const std::optional<std::uint64_t>& value) { return value ? Hex(*value) : ""; }

bool EndsWith(std::string_view text, std::string_view tail) {
  if (text.size() < tail.size()) return false;
  for (std::size_t k = 0; k < tail.size(); ++k) {
    const char c = text[text.size() - tail.size() + k];
    if ((c >= 'A' && c <= 'Z' ? c + 32 : c) != tail[k]) return false;
  }
  return true;
}

bool IsSound(std::string_view name) { return EndsWith(name, ".wav") || EndsWith(name, ".flac"); }

// Attribute values are left unquoted where they cannot hold a space, a quote,
// "=", "<", ">" or "`" (numbers, ids, FileUrl's output): rows stay small.
std::string Link(const std::string& file, const std::string& label) {
  return "<a href=" + FileUrl(file) + ">" + EscapeHtml(label) + "</a>";
}

std::string RowLink(std::size_t row, const std::string& label) {
  return "<a href=#i" + std::to_string(row) + ">" + EscapeHtml(label) + "</a>";
}

namespace {

// ---- Kinds: each its own colour and filter. ----

// The colour of a kind: the known ones fixed, any other one by its name.
std::string KindColour(const std::string& kind) {
  static const std::map<std::string, std::string> known = {
      {"sequence", "#2b6cb0"}, {"header", "#c05621"}, {"body", "#b7791f"},
      {"sample", "#2f855a"},   {"xa", "#805ad5"},     {"cdda", "#d53f8c"}};
  if (const auto it = known.find(kind); it != known.end()) return it->second;
  std::uint32_t hash = 2166136261u;
  for (const char c : kind) hash = (hash ^ static_cast<unsigned char>(c)) * 16777619u;
  return "hsl(" + std::to_string(hash % 360) + " 55% 40%)";
}

// What the page needs to know of the items before writing any of them.
struct Index {
  std::vector<std::string> kinds;                      // in order of first appearance
  std::vector<std::size_t> kindOf;                     // item -> position in `kinds`
  std::vector<std::size_t> perKind;
  std::size_t duplicates = 0;
  ItemLinks links;
};

Index IndexItems(const Json& items) {
  Index index;
  for (std::size_t k = 0; k < items.size(); ++k) {
    const Json& item = items[k];
    const std::string kind = Text(item, "kind");
    auto at = std::find(index.kinds.begin(), index.kinds.end(), kind);
    if (at == index.kinds.end()) {
      index.kinds.push_back(kind);
      index.perKind.push_back(0);
      at = index.kinds.end() - 1;
    }
    const auto kindNumber = static_cast<std::size_t>(at - index.kinds.begin());
    index.kindOf.push_back(kindNumber);
    ++index.perKind[kindNumber];
    if (!Text(item, "duplicateOf").empty()) ++index.duplicates;
    const std::string output = Text(item, "output");
    if (!output.empty()) index.links.rowOfFile.emplace(output, k);
    for (const Json& file : List(item, "converted")) {
      if (file.is_string()) index.links.rowOfFile.emplace(file.get<std::string>(), k);
    }
    const std::string header = Text(item, "header");
    if (!header.empty()) index.links.bodyOfHeader.emplace(header, k);
  }
  return index;
}

std::string KindStyles(const Index& index) {
  std::string css;
  for (std::size_t k = 0; k < index.kinds.size(); ++k) {
    css += ".k" + std::to_string(k) + "{--c:" + KindColour(index.kinds[k]) + "}\n";
  }
  return css;
}

std::string KindLabel(const Index& index, std::size_t kind) {
  const std::string& name = index.kinds[kind];
  return "<span class=\"sw k" + std::to_string(kind) + "\"></span>" +
         EscapeHtml(name.empty() ? "(no kind)" : name);
}

// ---- The header: what was read and what was found. ----

void Fact(std::string& page, const char* name, const std::string& htmlValue) {
  page += "<dt>" + std::string(name) + "</dt><dd>" + htmlValue + "</dd>\n";
}

std::string Summary(const Json& listing, const Index& index, std::size_t items) {
  std::string page = "<header>\n<h1>" + EscapeHtml(Text(listing, "input")) + "</h1>\n<dl class=\"facts\">\n";
  Fact(page, "Image file", EscapeHtml(Text(listing, "image")));
  Fact(page, "Image kind", EscapeHtml(Text(listing, "imageKind")));
  const std::string volume = Text(listing, "volumeId");
  Fact(page, "Volume", volume.empty() ? "<small>no file system</small>" : EscapeHtml(volume));
  if (const auto size = Number(listing, "logicalSize")) {
    Fact(page, "File data", std::to_string(*size) + " bytes");
  }
  std::string kinds = "<span class=\"kinds\">";
  for (std::size_t k = 0; k < index.kinds.size(); ++k) {
    kinds += "<span>" + KindLabel(index, k) + " " + std::to_string(index.perKind[k]) + "</span>";
  }
  Fact(page, "Items", std::to_string(items) + " (" + std::to_string(index.duplicates) +
                          " duplicates) " + kinds + "</span>");
  const std::uint64_t damaged = Number(listing, "damagedSectors").value_or(0);
  const std::uint64_t truncated = Number(listing, "truncatedBytes").value_or(0);
  Fact(page, "Damaged sectors",
       std::string(damaged ? "<span class=\"bad\">" : "<span>") + std::to_string(damaged) + "</span>" +
           (truncated ? " (last sector cut short by " + std::to_string(truncated) + " bytes)" : ""));
  std::string problems;
  for (const Json& problem : List(listing, "fileSystemProblems")) {
    if (problem.is_string()) problems += "<li>" + EscapeHtml(problem.get<std::string>()) + "</li>";
  }
  Fact(page, "File system problems",
       problems.empty() ? "none" : "<ul class=\"bad\">" + problems + "</ul>");
  page += "</dl>\n</header>\n";
  return page;
}

// ---- The disc map: files as bands, items as marks in one lane per kind. ----

constexpr double kMapWidth = 1000.0;
constexpr int kBandHeight = 12;
constexpr int kLaneHeight = 10;

std::uint64_t MapLength(const Json& listing, const Json& items) {
  std::uint64_t end = Number(listing, "imageSize").value_or(0);
  for (const Json* list : {&items, &List(listing, "files")}) {
    for (const Json& entry : *list) {
      const auto at = Number(entry, "imageOffset");
      const std::uint64_t size = Number(entry, "size").value_or(0);
      if (at) end = std::max(end, *at + std::min(size, ~std::uint64_t{0} - *at));
    }
  }
  return end;
}

std::string Coordinate(double value) {
  char text[32];
  std::snprintf(text, sizeof text, "%.1f", value);
  return text;
}

std::string FileBands(const Json& files, double scale) {
  std::string svg;
  std::size_t band = 0;
  for (const Json& file : files) {
    const auto at = Number(file, "imageOffset");
    if (!at) continue;
    const std::uint64_t size = Number(file, "size").value_or(0);
    svg += "<rect class=\"f" + std::to_string(band++ % 2) + "\" x=\"" + Coordinate(*at * scale) +
           "\" y=\"0\" width=\"" + Coordinate(std::max(size * scale, 0.3)) + "\" height=\"" +
           std::to_string(kBandHeight) + "\"><title>" + EscapeHtml(Text(file, "discPath")) +
           "\n@" + Hex(*at) + ", " + std::to_string(size) + " bytes</title></rect>\n";
  }
  return svg;
}

std::string DiscMap(const Json& listing, const Json& items, const Index& index) {
  const std::uint64_t length = MapLength(listing, items);
  if (length == 0) return "";
  const double scale = kMapWidth / static_cast<double>(length);
  const Json& files = List(listing, "files");
  const int top = files.empty() ? 0 : kBandHeight + 2;
  const int height = top + static_cast<int>(index.kinds.size()) * kLaneHeight;
  std::string svg = "<section>\n<h2>Disc map</h2>\n<svg id=\"map\" class=\"map\" viewBox=\"0 0 " +
                    Coordinate(kMapWidth) + " " + std::to_string(height) +
                    "\" preserveAspectRatio=\"none\" height=\"" + std::to_string(height * 2) +
                    "\" role=\"img\" aria-label=\"items by image offset\">\n" + FileBands(files, scale);
  for (std::size_t k = 0; k < items.size(); ++k) {
    const auto at = Number(items[k], "imageOffset");
    if (!at) continue;
    const std::uint64_t size = Number(items[k], "size").value_or(0);
    const int y = top + static_cast<int>(index.kindOf[k]) * kLaneHeight + 1;
    svg += "<a href=#i" + std::to_string(k) + "><rect class=k" + std::to_string(index.kindOf[k]) +
           " x=" + Coordinate(*at * scale) + " y=" + std::to_string(y) + " width=" + Coordinate(size * scale) +
           " height=" + std::to_string(kLaneHeight - 2) + " /></a>\n";
  }
  svg += "</svg>\n<div class=\"scale\"><span>0</span><span>" +
         std::string(files.empty() ? "" : "grey bands: the files of the disc; ") +
         "one lane per kind: click a mark for its row</span><span>" + Hex(length) +
         " (hex)</span></div>\n</section>\n";
  return svg;
}

}  // namespace

std::vector<std::string> SoundFilesOf(const Json& item) {
  std::vector<std::string> sounds;
  const auto add = [&](const std::string& name) {
    if (IsSound(name) && std::find(sounds.begin(), sounds.end(), name) == sounds.end()) {
      sounds.push_back(name);
    }
  };
  add(Text(item, "output"));
  for (const char* field : {"converted", "rendered"}) {
    for (const Json& entry : List(item, field)) {
      if (entry.is_string()) add(entry.get<std::string>());
      add(Text(entry, "file"));
    }
  }
  return sounds;
}

std::string BuildReportHtml(const Json& listing, const std::map<std::string, Waveform>& waves) {
  const Json& items = List(listing, "items");
  const Index index = IndexItems(items);
  std::string page =
      "<!DOCTYPE html>\n<html lang=\"en\">\n<head>\n<meta charset=\"utf-8\">\n"
      "<meta name=\"viewport\" content=\"width=device-width, initial-scale=1\">\n"
      "<meta http-equiv=\"Content-Security-Policy\" content=\"default-src 'none'; "
      "script-src 'unsafe-inline'; style-src 'unsafe-inline'; media-src 'self' file:; "
      "base-uri 'none'; form-action 'none'\">\n"
      "<title>psxdig: " +
      EscapeHtml(Text(listing, "input")) + "</title>\n<style>" + kPageStyle + KindStyles(index) +
      "</style>\n</head>\n<body>\n";
  page += Summary(listing, index, items.size());
  page += DiscMap(listing, items, index);
  page += "<div id=\"controls\" hidden><input id=\"q\" type=\"search\" placeholder=\"filter rows by text\" "
          "aria-label=\"filter rows by text\">";
  for (std::size_t k = 0; k < index.kinds.size(); ++k) {
    page += "<label><input type=\"checkbox\" value=\"k" + std::to_string(k) + "\" checked> " +
            KindLabel(index, k) + "</label>";
  }
  page += "<span id=\"shown\"></span></div>\n";
  page += ItemTable(items, index.kindOf, index.links);
  page += SoundGroups(items, index.kindOf, waves);
  page += "<footer>Written by " + EscapeHtml(Text(listing, "tool")) + " " +
          EscapeHtml(Text(listing, "version")) +
          " from listing.json. Links open the files of this folder.</footer>\n<script>" + kPageScript +
          "</script>\n</body>\n</html>\n";
  return page;
}

}  // namespace psxdig::report
