#include <cstdio>

#include "app/cli.h"

#ifndef PSXDIG_VERSION
#define PSXDIG_VERSION "0.0.0"
#endif

namespace psxdig {
namespace {

constexpr const char* Architecture() {
#if defined(__x86_64__) || defined(_M_X64)
  return "x64";
#elif defined(__i386__) || defined(_M_IX86)
  return "x86";
#elif defined(__aarch64__) || defined(_M_ARM64)
  return "arm64";
#elif defined(__arm__) || defined(_M_ARM)
  return "arm";
#else
  return "unknown";
#endif
}

}  // namespace

void PrintBanner() {
  std::printf("psxdig %s\n", PSXDIG_VERSION);
  std::printf("\t%s, ", Architecture());
  std::printf("AnsiBuild, ");
  std::printf("%s %s\n", __DATE__, __TIME__);
}

void PrintUsage() {
  std::fputs(
      "Usage\n"
      "\trip <file> <startOfs(hex)> <maxSearchFileNum(dec)> [/c] [/p1|/p2] [/n]\n"
      "\t\tRip sequence, rhythm data automatically\n"
      "\t\tstartOfs: search with ofs of file\n"
      "\t\tmaxSearchFileNum: sum of seq&vh or sssq&sshd\n"
      "\t\t/c\tif you compare ripped files, use this\n"
      "\t\t/p1\tvb searching pattern 1. (vh, vb, vh, vb...)\n"
      "\t\t/p2\tvb searching pattern 2. (vb, vb, vb, vb...)\n"
      "\t\t/n\tif first 16 byte of vb isn't zero, use this\n"
      "\tdec <file> <serial number(5 digit)> [/c]\n"
      "\t\tUncompress seq for lzss\n"
      "\t\t\tCrime Crackers 2 (SCPS-10037)\n"
      "\t\t\tLeading Jockey Hybrid (SLPS-00348)\n"
      "\t\t\tWILD ARMS (SCPS-10028)\n"
      "\t\t\tEberouge (SLPS-00844)\n"
      "\t\t\tMeitantei Conan - 3nin no Meisuiri (SLPS-02804)\n"
      "\t\t\tMeitantei Conan - Saikou no Partner (SLPS-03425)\n"
      "\t\tUncompress sssq for lzss\n"
      "\t\t\tWILD ARMS 2nd IGNITION (SCPS-10089)\n"
      "\t\tUncompress seq for other\n"
      "\t\t\tBrightis (SCPS-10105)\n"
      "\t\t\tMarie no Atelier (SLPS-00856, SLPS-01418)\n"
      "\t\t\tElie no Atelier (SLPS-01751, SLPS-91180)\n",
      stdout);
}

void PrintMoreHelp() {
  std::fputs(
      "\textract <image>... [-o <dir>] [-q] [--bodies-back-to-back] [--no-zero-block]\n"
      "\t\t[--convert [--no-wav]] [--render [--flac]] [--no-report]\n"
      "\t\tExtract from disc images (.bin/.cue, .iso) or data files into one\n"
      "\t\tfolder per input with listing.csv, listing.json and report.html;\n"
      "\t\tpsxdig extract --help tells more\n"
      "\tconvert <file>... [-o <dir>] [--no-wav]\n"
      "\t\tConvert sequences (.seq, .sep) to MIDI and banks (.vab, .vh + .vb)\n"
      "\t\tto SoundFont 2 and WAV; psxdig convert --help tells more\n"
      "\treport <folder>...\n"
      "\t\tWrite report.html into folders made by extract, from their\n"
      "\t\tlisting.json; psxdig report --help tells more\n"
      "\trender <sequence> <bank> [-o <dir>] [--loops N] [--fade S] [--gain DB] [--flac] [-q]\n"
      "\t\tPlay a sequence with its bank as the console does, into WAV (or FLAC);\n"
      "\t\tpsxdig render --help tells more\n"
      "\t-h, --help\tthis text\n"
      "\t--version\tthe version\n",
      stdout);
}

}  // namespace psxdig
