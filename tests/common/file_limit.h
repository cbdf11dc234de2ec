// A full disk without root: a body run in a child process whose files cannot grow past a limit
// (RLIMIT_FSIZE, with SIGXFSZ ignored so that writes fail with EFBIG instead of killing it), and
// a look at what a directory holds afterwards. Header only.
#pragma once

#include <dirent.h>
#include <signal.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <functional>
#include <iterator>
#include <set>
#include <string>

#include "child_process.h"

namespace pvk::testing {

// Runs body in a child process whose files stop at limitBytes and returns the int it returned
// (kChildCrashed when the child did not end normally).
inline int withFileLimit(rlim_t limitBytes, const std::function<int()>& body) {
  return inChild(
      [limitBytes] {
        ::signal(SIGXFSZ, SIG_IGN);
        rlimit lim{limitBytes, limitBytes};
        return ::setrlimit(RLIMIT_FSIZE, &lim) == 0;
      },
      body);
}

// The names a directory holds (without "." and "..").
inline std::set<std::string> filesIn(const std::string& dir) {
  std::set<std::string> names;
  if (DIR* d = ::opendir(dir.c_str())) {
    while (const dirent* e = ::readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.insert(n);
    }
    ::closedir(d);
  }
  return names;
}

inline std::string fileBytes(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

}  // namespace pvk::testing
