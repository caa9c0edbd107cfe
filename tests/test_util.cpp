#include "test_util.h"

#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstdlib>
#include <fstream>
#include <sstream>

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
  path_ = fs::temp_directory_path() / ("psxdig_test_" + std::to_string(::getpid()) + "_" + std::to_string(counter++));
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
