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
#include <stdexcept>

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

#ifdef _WIN32
namespace {

// Quotes one argument so that the C runtime of the child splits it back
// exactly (backslashes double only before a quote).
std::string QuoteArgument(const std::string& arg) {
  if (!arg.empty() && arg.find_first_of(" \t\"") == std::string::npos) return arg;
  std::string quoted = "\"";
  std::size_t backslashes = 0;
  for (const char c : arg) {
    if (c == '\\') {
      ++backslashes;
      continue;
    }
    quoted.append(c == '"' ? 2 * backslashes + 1 : backslashes, '\\');
    backslashes = 0;
    quoted += c;
  }
  quoted.append(2 * backslashes, '\\');
  return quoted + "\"";
}

// A temp file the child inherits as its output; deleted when closed.
HANDLE OutputFile() {
  char folder[MAX_PATH + 1];
  char name[MAX_PATH + 1];
  if (::GetTempPathA(sizeof folder, folder) == 0 || ::GetTempFileNameA(folder, "psx", 0, name) == 0) {
    throw std::runtime_error("no temp file");
  }
  SECURITY_ATTRIBUTES inherit{sizeof inherit, nullptr, TRUE};
  HANDLE h = ::CreateFileA(name, GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE, &inherit,
                           CREATE_ALWAYS, FILE_ATTRIBUTE_TEMPORARY | FILE_FLAG_DELETE_ON_CLOSE, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw std::runtime_error("no temp file");
  return h;
}

// What the child wrote, its CR LF line ends (text-mode console output) read
// back as "\n" like a text-mode read would.
std::string SlurpText(HANDLE h) {
  ::SetFilePointer(h, 0, nullptr, FILE_BEGIN);
  std::string bytes;
  char buf[4096];
  DWORD n = 0;
  while (::ReadFile(h, buf, sizeof buf, &n, nullptr) && n > 0) bytes.append(buf, n);
  ::CloseHandle(h);
  std::string text;
  for (std::size_t i = 0; i < bytes.size(); ++i) {
    if (bytes[i] == '\r' && i + 1 < bytes.size() && bytes[i + 1] == '\n') continue;
    text += bytes[i];
  }
  return text;
}

}  // namespace

RunResult Run(const std::string& program, const std::vector<std::string>& args) {
  HANDLE out = OutputFile();
  HANDLE err = OutputFile();
  std::string commandLine = QuoteArgument(program);
  for (const auto& a : args) {
    commandLine += ' ';
    commandLine += QuoteArgument(a);
  }
  STARTUPINFOA startup{};
  startup.cb = sizeof startup;
  startup.dwFlags = STARTF_USESTDHANDLES;
  startup.hStdOutput = out;
  startup.hStdError = err;
  PROCESS_INFORMATION child{};
  if (!::CreateProcessA(program.c_str(), commandLine.data(), nullptr, nullptr, TRUE, 0, nullptr, nullptr,
                        &startup, &child)) {
    ::CloseHandle(out);
    ::CloseHandle(err);
    throw std::runtime_error("cannot start " + program);
  }
  ::WaitForSingleObject(child.hProcess, INFINITE);
  DWORD code = 0;
  ::GetExitCodeProcess(child.hProcess, &code);
  ::CloseHandle(child.hProcess);
  ::CloseHandle(child.hThread);
  RunResult result;
  result.exitCode = static_cast<int>(code);
  result.out = SlurpText(out);
  result.err = SlurpText(err);
  return result;
}
#else
RunResult Run(const std::string& program, const std::vector<std::string>& args) {
  // Through the shell, each argument in single quotes; the outputs go to
  // files so that a large output cannot block the child.
  auto quote = [](std::string s) {
    for (std::size_t at = 0; (at = s.find('\'', at)) != std::string::npos; at += 4) s.replace(at, 1, "'\\''");
    return "'" + s + "'";
  };
  const TempDir tmp;
  std::string command = quote(program);
  for (const std::string& a : args) command += " " + quote(a);
  command += " >" + quote(tmp.File("out")) + " 2>" + quote(tmp.File("err"));
  const int status = std::system(command.c_str());
  return {WIFEXITED(status) ? WEXITSTATUS(status) : -1, ReadText(tmp.File("out")), ReadText(tmp.File("err"))};
}

#endif

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
