// Movie files that open without decoding: a folder that is the current folder while the object
// lives, with "mov/NNNNN.dat" for the ids asked for, and a media backend whose decoders open any
// file, never end and play nowhere. For tests of what the movie module keeps, not of what it shows.
#pragma once

#include <cstdint>
#include <initializer_list>
#include <string>

#include "devices/media_stream.h"
#include "support/temp_dir.h"

class FakeMovies {
 public:
  explicit FakeMovies(std::initializer_list<int32_t> ids);
  ~FakeMovies();
  FakeMovies(const FakeMovies&) = delete;
  FakeMovies& operator=(const FakeMovies&) = delete;

  // Writes a voice document as file "mov/NNNNN.xml" of the language.
  void WriteVoiceInfo(int32_t language, const std::string& xml) const;
  const TempDir& dir() const { return dir_; }

 private:
  TempDir dir_;
  std::string previous_;
};
