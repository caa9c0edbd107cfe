// The report command, and the page extract writes into every folder.
#pragma once

#include <string>

namespace psxdig {

// `psxdig report FOLDER...`: (re)writes FOLDER/report.html from
// FOLDER/listing.json. Returns the exit code: 0 when every page was written,
// 1 when any failed, 2 on bad usage.
int RunReport(int argc, const char* const* argv);

// Writes `folder`/report.html (replacing one that is there) for the text of
// its listing.json, drawing the WAV files the listing names in the folder.
// False with `error` set on failure.
bool WriteReport(const std::string& folder, const std::string& listingText, std::string& error);

}  // namespace psxdig
