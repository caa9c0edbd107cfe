#include "test_util.h"

#ifdef _WIN32
#include <windows.h>
#else
#include <sys/wait.h>
#include <unistd.h>
#endif

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <regex>
#include <sstream>

#include "platform/platform.h"

namespace psxdig::testing {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
}

void Put(Bytes& b, std::size_t at, const Bytes& bytes) {
  if (b.size() < at + bytes.size()) b.resize(at + bytes.size(), 0x11);
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

Bytes RandomBytes(std::uint32_t& state, std::size_t n) {
  Bytes b(n);
  for (auto& x : b) {
    state = state * 1103515245u + 12345u;
    x = static_cast<std::uint8_t>(state >> 16);
  }
  return b;
}

DataOfs SeqTable(const std::string& ext, const std::vector<std::uint32_t>& ofs) {
  DataOfs t;
  t.seqNum = static_cast<std::uint32_t>(ofs.size());
  t.seqOfs = ofs;
  t.seqSize.assign(ofs.size(), 0);
  t.seqCreated.assign(ofs.size(), 0);
  t.seqExt = ext;
  return t;
}

DataOfs BankTable(const std::string& ext, const std::vector<std::uint32_t>& ofs) {
  DataOfs t;
  t.vhNum = static_cast<std::uint32_t>(ofs.size());
  t.vhOfs = ofs;
  t.vhSize.assign(ofs.size(), 0);
  t.vhCreated.assign(ofs.size(), 0);
  t.vbCreated.assign(ofs.size(), 0);
  t.vhExt = ext;
  return t;
}

namespace {

unsigned ProcessId() {
#ifdef _WIN32
  return ::GetCurrentProcessId();
#else
  return static_cast<unsigned>(::getpid());
#endif
}

}  // namespace

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  path_ = fs::temp_directory_path() /
          ("psxdig_test_" + std::to_string(ProcessId()) + "_" + std::to_string(counter++));
  fs::remove_all(path_);
  fs::create_directories(path_);
}

TempDir::~TempDir() {
  std::error_code ec;
  fs::permissions(path_, fs::perms::owner_all, fs::perm_options::add, ec);
  fs::remove_all(path_, ec);
}

std::vector<std::string> TempDir::List() const {
  std::vector<std::string> names;
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  return names;
}

RunResult Run(const std::string& program, const std::vector<std::string>& args) {
  // Through the shell, each argument quoted; the outputs go to files so that
  // a large output cannot block the child.
#ifdef _WIN32
  auto quote = [](const std::string& s) { return "\"" + s + "\""; };
#else
  auto quote = [](std::string s) {
    for (std::size_t at = 0; (at = s.find('\'', at)) != std::string::npos; at += 4) s.replace(at, 1, "'\\''");
    return "'" + s + "'";
  };
#endif
  const TempDir tmp;
  std::string command = quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " >" + quote(tmp.File("out")) + " 2>" + quote(tmp.File("err"));
#ifdef _WIN32
  // cmd /c takes the outer pair of quotes off the line; the child's text-mode
  // CR LF line ends are read back as "\n".
  const int status = std::system(("\"" + command + "\"").c_str());
  auto text = [](std::string s) {
    for (std::size_t at = 0; (at = s.find("\r\n", at)) != std::string::npos;) s.erase(at, 1);
    return s;
  };
  return {status, text(ReadText(tmp.File("out"))), text(ReadText(tmp.File("err")))};
#else
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(tmp.File("out")), ReadText(tmp.File("err"))};
#endif
}

std::string EscapeRegex(const std::string& text) {
  static const std::regex kSpecial(R"([.^$|()\[\]{}*+?\\])");
  return std::regex_replace(text, kSpecial, "\\$&");
}

std::string ReportPattern(const std::string& function, const SystemError& error) {
#ifdef _WIN32
  const unsigned code = error.windowsCode;
  const std::string text = platform::ErrorText(code);
#else
  const unsigned code = static_cast<unsigned>(error.posixCode);
  const std::string text = error.posixText;
#endif
  return "\\[F:" + function + "\\]\\[L:[0-9]+\\] GetLastError: " + std::to_string(code) + ", " + EscapeRegex(text) +
         "\n";
}

Bytes ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return Bytes(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const Bytes& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

#ifdef _WIN32
// The C runtime's tmpfile() writes to the root of the current drive; this
// one goes to the temp folder and is deleted when closed ("D").
ScratchFile::ScratchFile() : file_(nullptr) {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  if (::GetTempPathA(sizeof folder, folder) != 0 && ::GetTempFileNameA(folder, "psx", 0, name) != 0) {
    file_ = std::fopen(name, "w+bD");
  }
}
#else
ScratchFile::ScratchFile() : file_(std::tmpfile()) {}

#endif
ScratchFile::~ScratchFile() {
  if (file_) std::fclose(file_);
}

std::string ScratchFile::Text() const {
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::string text(static_cast<std::size_t>(end), '\0');
  std::rewind(file_);
  text.resize(std::fread(text.data(), 1, text.size(), file_));
  std::fseek(file_, 0, SEEK_END);
  return text;
}

}  // namespace psxdig::testing
