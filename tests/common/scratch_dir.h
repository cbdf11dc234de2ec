// Scratch space of a test or a fuzz target: a new directory of its own under /tmp, removed with
// everything in it. Header only.
#pragma once

#include <stdlib.h>

#include <cstdlib>
#include <filesystem>
#include <string>
#include <system_error>
#include <vector>

namespace pvk::testing {

// A new directory /tmp/<prefix>XXXXXX; "" when it cannot be made.
inline std::string makeScratchDir(const std::string& prefix) {
  std::string path = "/tmp/" + prefix + "XXXXXX";
  return ::mkdtemp(path.data()) != nullptr ? path : std::string();
}

// Removes dir and what it holds (links themselves, never what they point to). An empty path
// removes nothing, so that a directory that could not be made never turns into /tmp.
inline void removeScratchDir(const std::string& dir) {
  if (dir.empty()) return;
  std::error_code ec;
  std::filesystem::remove_all(dir, ec);
}

// A scratch directory that lives until the process ends normally (a fuzz target's, or one shared
// by a test program's cases); "" when it cannot be made.
inline std::string processScratchDir(const std::string& prefix) {
  static std::vector<std::string> dirs;
  if (dirs.empty())
    std::atexit([] {
      for (const std::string& d : dirs) removeScratchDir(d);
    });
  std::string dir = makeScratchDir(prefix);
  if (!dir.empty()) dirs.push_back(dir);
  return dir;
}

}  // namespace pvk::testing
