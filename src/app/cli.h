// Command line, banner and usage, and the run of one command.
#pragma once

#include <cstdint>

#include "core/options.h"
#include "core/output.h"

namespace psxdig {

void PrintBanner();
void PrintUsage();
// What --help shows after the usage: the modern commands and the options
// that only stand first.
void PrintMoreHelp();

// Parses the command line into the run options (runMode included). 1 when
// the command line is accepted, 0 when the usage text should be shown.
std::uint32_t ParseArgs(int argc, const char* const* argv, RunOptions& options);

// Reads the input named by argv[2] once, runs the command and, with /c, the
// duplicate check. 1 on success, 0 on failure.
std::uint32_t exec(const char* const* argv, const RunOptions& options, const ErrorLog& log);

// The whole program: returns the process exit code.
int RunMain(int argc, const char* const* argv);

}  // namespace psxdig
