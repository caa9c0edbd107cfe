#include "test_util.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>

namespace psxdig::testing {

Bytes Cat(std::initializer_list<Bytes> parts) {
  Bytes out;
  for (const Bytes& p : parts) out.insert(out.end(), p.begin(), p.end());
  return out;
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

TempDir::TempDir() {
  static std::atomic<unsigned> counter{0};
  path_ = fs::temp_directory_path() /
          ("psxdig_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
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
  for (const auto& entry : fs::directory_iterator(path_)) names.push_back(entry.path().filename());
  std::sort(names.begin(), names.end());
  return names;
}

namespace {

std::string Slurp(int fd) {
  std::string text;
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n <= 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  return text;
}

}  // namespace

RunResult Run(const std::string& program, const std::vector<std::string>& args) {
  // Outputs go to temp files so that a large output cannot block the child.
  char outName[] = "/tmp/psxdig_out_XXXXXX";
  char errName[] = "/tmp/psxdig_err_XXXXXX";
  const int outFd = ::mkstemp(outName);
  const int errFd = ::mkstemp(errName);
  if (outFd < 0 || errFd < 0) throw std::runtime_error("mkstemp failed");
  std::vector<char*> argv;
  argv.push_back(const_cast<char*>(program.c_str()));
  for (const auto& a : args) argv.push_back(const_cast<char*>(a.c_str()));
  argv.push_back(nullptr);
  const pid_t pid = ::fork();
  if (pid == 0) {
    ::dup2(outFd, 1);
    ::dup2(errFd, 2);
    ::execv(program.c_str(), argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(pid, &status, 0);
  RunResult result;
  result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  ::lseek(outFd, 0, SEEK_SET);
  ::lseek(errFd, 0, SEEK_SET);
  result.out = Slurp(outFd);
  result.err = Slurp(errFd);
  ::close(outFd);
  ::close(errFd);
  ::unlink(outName);
  ::unlink(errName);
  return result;
}

RunResult RunPsxdig(const std::vector<std::string>& args) { return Run(PSXDIG_BINARY, args); }
RunResult RunMkimage(const std::vector<std::string>& args) { return Run(PSXDIG_MKIMAGE, args); }

std::vector<std::uint8_t> ReadBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
}

std::string ReadText(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  std::ostringstream text;
  text << in.rdbuf();
  return text.str();
}

void WriteBytes(const std::string& path, const std::vector<std::uint8_t>& bytes) {
  std::ofstream(path, std::ios::binary)
      .write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

ScratchFile::ScratchFile() : file_(std::tmpfile()) {}
ScratchFile::~ScratchFile() {
  if (file_) std::fclose(file_);
}

std::string ScratchFile::Text() const {
  std::fflush(file_);
  const long end = std::ftell(file_);
  std::string text(static_cast<std::size_t>(end), '\0');
  std::rewind(file_);
  const std::size_t got = std::fread(text.data(), 1, text.size(), file_);
  text.resize(got);
  std::fseek(file_, 0, SEEK_END);
  return text;
}

void Put(Bytes& b, std::size_t at, const Bytes& bytes) {
  if (b.size() < at + bytes.size()) b.resize(at + bytes.size(), 0x11);
  std::copy(bytes.begin(), bytes.end(), b.begin() + static_cast<std::ptrdiff_t>(at));
}

}  // namespace psxdig::testing
