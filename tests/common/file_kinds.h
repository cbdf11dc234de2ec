// Files that are not regular put where the library looks for a file of its own: FIFOs,
// /dev/zero, directories and symbolic links of every sort. Header only.
#pragma once

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

#include <fstream>
#include <string>

namespace pvk::testing {

enum class FileOfKind { kRegular, kFifo, kZero, kDirectory, kLinkToFile, kLinkLoop, kDangling, kMissing };

inline const char* nameOf(FileOfKind k) {
  static const char* const names[] = {"regular file", "FIFO",      "link to /dev/zero", "directory",
                                      "link to a file", "link loop", "dangling link",     "no file"};
  return names[static_cast<int>(k)];
}

// Puts a file of the kind at p: a regular file and a link's target p + ".real" hold text, a
// dangling link names p + ".none". 0 when it was made.
inline int makeFileOfKind(FileOfKind k, const std::string& p, const std::string& text = "") {
  switch (k) {
    case FileOfKind::kRegular: return (std::ofstream(p, std::ios::binary) << text) ? 0 : -1;
    case FileOfKind::kFifo: return ::mkfifo(p.c_str(), 0600);
    case FileOfKind::kZero: return ::symlink("/dev/zero", p.c_str());
    case FileOfKind::kDirectory: return ::mkdir(p.c_str(), 0700);
    case FileOfKind::kLinkToFile:
      return makeFileOfKind(FileOfKind::kRegular, p + ".real", text) == 0 ? ::symlink((p + ".real").c_str(), p.c_str()) : -1;
    case FileOfKind::kLinkLoop: return ::symlink(p.c_str(), p.c_str());
    case FileOfKind::kDangling: return ::symlink((p + ".none").c_str(), p.c_str());
    case FileOfKind::kMissing: return 0;
  }
  return -1;
}

// A device node of the null device at p, or a FIFO where nodes cannot be made: a target the
// writers must refuse. A test never aims a writer at a device of the system's own, which a
// faulty writer would replace for every program of the machine. 0 when it was made.
inline int makeDeviceOrFifo(const std::string& p) {
  return ::mknod(p.c_str(), S_IFCHR | 0666, makedev(1, 3)) == 0 ? 0 : ::mkfifo(p.c_str(), 0600);
}

// The type of what stands at p (the S_IFMT bits of lstat), 0 when nothing does.
inline mode_t typeAt(const std::string& p) {
  struct stat st {};
  return ::lstat(p.c_str(), &st) == 0 ? (st.st_mode & S_IFMT) : 0;
}

}  // namespace pvk::testing
