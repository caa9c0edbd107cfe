// What the parts of report.html share: reading fields of the listing (a
// field of the wrong type is taken as absent), links, and the item table and
// sound groups (report_table.cpp).
#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "report/report.h"

namespace psxdig::report {

using Json = nlohmann::json;

const Json* Field(const Json& object, const char* name);
std::string Text(const Json& object, const char* name);
std::optional<std::uint64_t> Number(const Json& object, const char* name);
const Json& List(const Json& object, const char* name);
std::string Hex(std::uint64_t value);
std::string HexOf(const std::optional<std::uint64_t>& value);
bool EndsWith(std::string_view text, std::string_view tail);  // tail in lower case
bool IsSound(std::string_view name);
// <a> to a file of the folder, and to the table row of an item.
std::string Link(const std::string& file, const std::string& label);
std::string RowLink(std::size_t row, const std::string& label);

// Where items point at one another.
struct ItemLinks {
  std::map<std::string, std::size_t> rowOfFile;     // output or converted file -> item
  std::map<std::string, std::size_t> bodyOfHeader;  // header output -> its body's item
};

// The table of all items, one row each, id "i<item>", class "k<kind>".
std::string ItemTable(const Json& items, const std::vector<std::size_t>& kindOf,
                      const ItemLinks& links);
// Every item's sounds under its name, id "s<item>": a picture and a player each.
std::string SoundGroups(const Json& items, const std::vector<std::size_t>& kindOf,
                        const std::map<std::string, Waveform>& waves);

}  // namespace psxdig::report
