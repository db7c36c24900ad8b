// Test helpers for the process environment: set or clear a variable for one scope, and turn a
// host path into the game's backslash form.
#pragma once

#include <algorithm>
#include <cstdlib>
#include <string>

// Sets or clears an environment variable for one test and puts the old value back.
class ScopedEnv {
 public:
  ScopedEnv(const char* name, const char* value) : name_(name) {
    const char* old = std::getenv(name);
    had_ = old != nullptr;
    if (had_) old_ = old;
    if (value) {
      setenv(name, value, 1);
    } else {
      unsetenv(name);
    }
  }
  ~ScopedEnv() {
    if (had_) {
      setenv(name_.c_str(), old_.c_str(), 1);
    } else {
      unsetenv(name_.c_str());
    }
  }
  ScopedEnv(const ScopedEnv&) = delete;
  ScopedEnv& operator=(const ScopedEnv&) = delete;

 private:
  std::string name_, old_;
  bool had_ = false;
};

// "/tmp/x/y" -> "\tmp\x\y": the game writes its paths with backslashes.
inline std::string GamePath(const std::string& path) {
  std::string game = path;
  std::replace(game.begin(), game.end(), '/', '\\');
  return game;
}
