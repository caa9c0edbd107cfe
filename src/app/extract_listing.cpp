// The two listings of an extract run.
#include <cstdio>
#include <iterator>

#include <nlohmann/json.hpp>

#include "app/extract.h"

#ifndef PSXDIG_VERSION
#define PSXDIG_VERSION "0.0.0"
#endif

namespace psxdig {
namespace {

constexpr const char* kCsvHeader =
    "kind,ext,output,disc_path,offset_in_file,logical_offset,image_offset,size,xxh64,"
    "duplicate_of,header,straddles";

std::string HashText(std::uint64_t hash) {
  char text[17];
  std::snprintf(text, sizeof text, "%016llx", static_cast<unsigned long long>(hash));
  return text;
}

// XA streams and CD-DA tracks are decoded from sectors, not cut from the
// stream of file data: they have no offset in it.
bool InStream(const ExtractedItem& item) {
  return item.kind != std::string_view("xa") && item.kind != std::string_view("cdda");
}

std::string CsvRow(const ExtractedItem& item) {
  const bool inFile = !item.place.discPath.empty();
  const std::string fields[] = {
      item.kind,
      item.ext,
      item.output,
      item.place.discPath,
      inFile ? std::to_string(item.place.offsetInFile) : "",
      InStream(item) ? std::to_string(item.logicalOffset) : "",
      std::to_string(item.place.imageOffset),
      std::to_string(item.size),
      HashText(item.xxh64),
      item.duplicateOf,
      item.header,
      item.place.straddles ? "yes" : "",
  };
  std::string row;
  for (std::size_t k = 0; k < std::size(fields); ++k) {
    if (k > 0) row += ',';
    row += CsvField(fields[k]);
  }
  return row + "\r\n";
}

// A text, or null when it is empty.
nlohmann::json TextOrNull(const std::string& text) {
  return text.empty() ? nlohmann::json(nullptr) : nlohmann::json(text);
}

nlohmann::json FilesJson(const std::vector<ListedFile>& files) {
  nlohmann::json list = nlohmann::json::array();
  for (const ListedFile& file : files) {
    list.push_back({{"discPath", file.discPath}, {"imageOffset", file.imageOffset}, {"size", file.size}});
  }
  return list;
}

// The facts of a VAG sample, an XA stream or a CD-DA track.
void AddAudioFacts(const ExtractedItem& item, nlohmann::json& entry) {
  const AudioFacts& a = item.audio;
  const std::string_view kind = item.kind;
  if (kind != "sample" && kind != "xa" && kind != "cdda") return;
  entry["rate"] = a.rate;
  entry["channels"] = a.channels;
  if (kind == "sample") {
    entry["name"] = a.name;
    entry["vagVersion"] = a.version;
    entry["dataSize"] = a.sizeField;
    entry["dataPresent"] = a.dataPresent;
  } else if (kind == "xa") {
    entry["fileNumber"] = a.fileNumber;
    entry["channel"] = a.channel;
    entry["coding"] = a.coding;
    entry["sectors"] = a.sectors;
    entry["seconds"] = a.seconds;
    entry["firstSector"] = a.firstSector;
    entry["lastSector"] = a.lastSector;
    entry["endOfFile"] = a.eof;
  } else {
    entry["track"] = a.track;
    entry["start"] = a.start;
    entry["length"] = a.length;
    entry["sectors"] = a.sectors;
    entry["seconds"] = a.seconds;
    entry["trackFile"] = a.trackFile;
  }
  entry["note"] = TextOrNull(a.note);
}

}  // namespace

std::string CsvField(std::string_view text) {
  if (text.find_first_of(",\"\r\n") == std::string_view::npos) return std::string(text);
  std::string quoted = "\"";
  for (const char c : text) {
    if (c == '"') quoted += '"';
    quoted += c;
  }
  return quoted + '"';
}

std::string BuildListingCsv(const std::vector<ExtractedItem>& items) {
  std::string csv = std::string(kCsvHeader) + "\r\n";
  for (const ExtractedItem& item : items) csv += CsvRow(item);
  return csv;
}

std::string BuildListingJson(const ExtractSummary& summary,
                             const std::vector<ExtractedItem>& items,
                             const DroppedBankSelects& dropped) {
  nlohmann::json list = nlohmann::json::array();
  for (std::size_t k = 0; k < items.size(); ++k) {
    const ExtractedItem& item = items[k];
    const bool inFile = !item.place.discPath.empty();
    nlohmann::json entry = {
        {"kind", item.kind},
        {"ext", item.ext},
        {"index", item.index},
        {"output", TextOrNull(item.output)},
        {"discPath", TextOrNull(item.place.discPath)},
        {"offsetInFile",
         inFile ? nlohmann::json(item.place.offsetInFile) : nlohmann::json(nullptr)},
        {"logicalOffset", InStream(item) ? nlohmann::json(item.logicalOffset) : nlohmann::json(nullptr)},
        {"imageOffset", item.place.imageOffset},
        {"size", item.size},
        {"padding", item.padding},
        {"xxh64", HashText(item.xxh64)},
        {"duplicateOf", TextOrNull(item.duplicateOf)},
        {"header", TextOrNull(item.header)},
        {"straddles", item.place.straddles},
        {"recognisedAs", item.recognisedAs},
    };
    if (item.ext == ".sep") entry["sequences"] = item.seqCount;
    if (*item.placeOfBody != '\0') entry["bodyFound"] = item.placeOfBody;
    if (item.kind == std::string_view("body")) entry["trailingBlockEnd"] = item.trailingBlockEnd;
    if (!item.converted.empty()) entry["converted"] = item.converted;
    if (!item.convertError.empty()) entry["convertError"] = item.convertError;
    AddAudioFacts(item, entry);
    if (!item.pairing.empty()) {
      entry["soundFont"] = TextOrNull(item.soundFont);
      entry["pairing"] = item.pairing;
    }
    if (const auto it = dropped.find(k); it != dropped.end()) entry["droppedBankSelect"] = it->second;
    if (!item.rendered.empty() || !item.renderError.empty()) {
      nlohmann::json rendered = nlohmann::json::array();
      for (const ExtractedItem::Render& r : item.rendered) {
        nlohmann::json one = {{"file", r.file}, {"seconds", r.seconds}};
        if (r.capped) one["capped"] = "stopped at the 30-minute cap";
        rendered.push_back(std::move(one));
      }
      entry["rendered"] = std::move(rendered);
      entry["renderedWith"] = TextOrNull(item.renderBank);
      if (!item.renderError.empty()) entry["renderError"] = item.renderError;
    }
    list.push_back(std::move(entry));
  }
  nlohmann::json doc = {
      {"tool", "psxdig"},
      {"version", PSXDIG_VERSION},
      {"input", summary.input},
      {"image", summary.image},
      {"imageKind", summary.imageKind},
      {"volumeId", TextOrNull(summary.volumeId)},
      {"logicalSize", summary.logicalSize},
      {"damagedSectors", summary.damagedSectors},
      {"truncatedBytes", summary.truncatedBytes},
      {"fileSystemProblems", summary.fileSystemProblems},
      {"streamProblems", summary.streamProblems},
      {"xaNote", TextOrNull(summary.xaNote)},
      {"items", std::move(list)},
  };
  if (summary.imageSize > 0) doc["imageSize"] = summary.imageSize;
  if (!summary.files.empty()) doc["files"] = FilesJson(summary.files);
  // Names from a disc need not be UTF-8: such bytes are replaced, not refused.
  return doc.dump(2, ' ', false, nlohmann::json::error_handler_t::replace) + "\n";
}

}  // namespace psxdig
