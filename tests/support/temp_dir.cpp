// Temporary fixture folders for tests, made under $TMPDIR (or /tmp) and removed afterwards.
#include "support/temp_dir.h"

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <stdexcept>

TempDir::TempDir() {
  const char* base = std::getenv("TMPDIR");
  std::string pattern = std::string(base && *base ? base : "/tmp") + "/korvane-test-XXXXXX";
  if (!mkdtemp(pattern.data())) throw std::runtime_error("mkdtemp failed");
  path_ = pattern;
}

TempDir::~TempDir() {
  std::error_code ec;
  std::filesystem::remove_all(path_, ec);
}

std::string TempDir::File(const std::string& relative) const { return path_ + "/" + relative; }

void TempDir::Write(const std::string& relative, const std::string& bytes) const {
  std::filesystem::path p(File(relative));
  std::filesystem::create_directories(p.parent_path());
  std::ofstream out(p, std::ios::binary);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
}

std::string TempDir::Read(const std::string& relative) const {
  std::ifstream in(File(relative), std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}
