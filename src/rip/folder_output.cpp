#include "rip/folder_output.h"

#include <cstdio>

#include "core/output.h"
#include "platform/platform.h"
#include "search/data_ofs.h"

namespace psxdig {
namespace {

bool IsBankHeaderExt(std::string_view ext) {
  return ext == ".vh" || ext == ".vh2" || ext == ".sshd" || ext == ".inst";
}

bool SafeNameByte(char c) {
  return (c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') ||
         c == '.' || c == '_' || c == '-' || c == '~';
}

std::string SafeComponent(std::string_view part) {
  if (part.empty() || part == "." || part == "..") return "_";
  std::string safe(part);
  for (char& c : safe) {
    if (!SafeNameByte(c)) c = '_';
  }
  return safe;
}

std::string Hex(std::uint64_t value) {
  char text[24];
  std::snprintf(text, sizeof text, "%llx", static_cast<unsigned long long>(value));
  return text;
}

}  // namespace

std::string SafeDiscPath(std::string_view discPath) {
  std::string safe;
  while (true) {
    const std::size_t slash = discPath.find('/');
    safe += SafeComponent(discPath.substr(0, slash));
    if (slash == std::string_view::npos) return safe;
    safe += '/';
    discPath.remove_prefix(slash + 1);
  }
}

std::string ItemFileName(const ItemPlace& place, std::string_view ext) {
  if (place.discPath.empty()) return "@" + Hex(place.imageOffset) + std::string(ext);
  return SafeDiscPath(place.discPath) + "@" + Hex(place.offsetInFile) + std::string(ext);
}

// Two different items could only share a name by sharing offset and
// extension (bodies of two banks found at one place): the later one gets
// "~2", "~3"... before its extension.
std::string FolderOutput::UniqueName(std::string name) {
  if (names_.insert(name).second) return name;
  const std::size_t at = name.rfind('.');
  for (unsigned n = 2;; ++n) {
    std::string other = name.substr(0, at) + "~" + std::to_string(n) + name.substr(at);
    if (names_.insert(other).second) return other;
  }
}

bool FolderOutput::MakeFolders(const std::string& name) {
  for (std::size_t slash = name.find('/'); slash != std::string::npos;
       slash = name.find('/', slash + 1)) {
    const std::string sub = name.substr(0, slash);
    if (folders_.count(sub)) continue;
    std::string path;
    if (!platform::JoinPath(folder_, sub, path)) {
      platform::SetLastError(platform::Failure::kNameTooLong);
      return false;
    }
    if (!platform::IsDirectory(path) && !platform::MakeDirectory(path)) return false;
    folders_.insert(sub);
  }
  return true;
}

// Writes a new file, never replacing a file that is already there.
bool FolderOutput::WriteFile(const std::string& name, const ItemToWrite& item) {
  std::string path;
  if (!MakeFolders(name)) return false;
  if (!platform::JoinPath(folder_, name, path)) {
    platform::SetLastError(platform::Failure::kNameTooLong);
    return false;
  }
  FilePtr out(platform::CreateNewFile(path));
  if (!out) return false;
  static constexpr std::uint8_t kZeros[4] = {};
  const std::size_t n = static_cast<std::size_t>(item.size);
  bool ok = n == 0 || std::fwrite(item.input.data() + item.ofs, 1, n, out.get()) == n;
  ok = ok && (item.padding == 0 || std::fwrite(kZeros, 1, item.padding, out.get()) == item.padding);
  return std::fclose(out.release()) == 0 && ok;
}

namespace {

const char* PlaceOfBody(const ExtractedItem& body, const ExtractedItem& header) {
  if (body.place.discPath != header.place.discPath) return "in another file";
  return body.logicalOffset < header.logicalOffset ? "before its header" : "after its header";
}

}  // namespace

bool FolderOutput::WriteItem(const ItemToWrite& item) {
  if (!HasBytes(item.input, item.ofs, item.size) || item.padding > 4) {
    platform::SetLastError(platform::Failure::kInvalid);
    ++failures_;
    return false;
  }
  // The fixed regions of known archives are empty for every other input.
  if (item.size == 0 && item.padding == 0) return true;
  ExtractedItem rec;
  rec.ext = item.ext;
  rec.index = item.index;
  rec.kind = rec.ext == ".vb" ? "body" : IsBankHeaderExt(rec.ext) ? "header" : rec.ext == ".vag" ? "sample" : "sequence";
  rec.place = locate_(item.ofs, item.size);
  rec.logicalOffset = item.ofs;
  rec.size = item.size;
  rec.padding = item.padding;
  rec.seqCount = rec.ext == ".sep" ? item.seqValue + 1 : 0;
  rec.recognisedAs = rec.ext == ".vb"    ? "body search"
                     : rec.ext == ".vag" ? "VAG header"
                                         : RecognisedAs(item.input, item.ofs);
  const ItemContent content{item.input.subspan(item.ofs, item.size), item.padding};
  rec.xxh64 = HashContent(content);
  if (const auto first = contents_.Find(rec.ext, content, rec.xxh64)) {
    rec.duplicateOf = items_[*first].output;
  } else {
    rec.output = UniqueName(ItemFileName(rec.place, rec.ext));
    if (!WriteFile(rec.output, item)) {
      ++failures_;
      return false;
    }
    contents_.Add(rec.ext, content, rec.xxh64, items_.size());
    ++files_;
  }
  if (rec.kind == std::string_view("header")) headers_[rec.index] = items_.size();
  if (rec.kind == std::string_view("body") && item.listed) {
    const auto h = headers_.find(rec.index);
    if (h != headers_.end()) {
      const ExtractedItem& head = items_[h->second];
      rec.header = head.output.empty() ? head.duplicateOf : head.output;
      rec.placeOfBody = PlaceOfBody(rec, head);
    }
    rec.trailingBlockEnd = item.trailingBlockEnd;
  }
  items_.push_back(std::move(rec));
  return true;
}

}  // namespace psxdig
