// A temporary folder for a test's fixtures, removed with everything in it when the test ends.
#pragma once

#include <string>

class TempDir {
 public:
  TempDir();
  ~TempDir();
  TempDir(const TempDir&) = delete;
  TempDir& operator=(const TempDir&) = delete;

  const std::string& path() const { return path_; }
  // path() + "/" + relative
  std::string File(const std::string& relative) const;
  // Writes bytes to a file below the folder, creating its parent folders.
  void Write(const std::string& relative, const std::string& bytes) const;
  std::string Read(const std::string& relative) const;

 private:
  std::string path_;
};
