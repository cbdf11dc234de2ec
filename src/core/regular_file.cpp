// The one way the library opens a file by its path, for reading or for appending: never
// blocking, and only ever a regular file.
#include "core/regular_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

namespace pvk::core {

namespace {

int refusal(const struct stat& st) { return S_ISDIR(st.st_mode) ? EISDIR : EINVAL; }

}  // namespace

int openRegularFd(const char* path, int flags, mode_t mode) {
  if (path == nullptr || path[0] == '\0') {
    errno = ENOENT;
    return -1;
  }
  // Looked at before it is opened: opening some devices is itself an action (a tape rewinds).
  struct stat st {};
  if (::stat(path, &st) == 0 && !S_ISREG(st.st_mode)) {
    errno = refusal(st);
    return -1;
  }
  // Non-blocking, and looked at again once open: the path may name something else by now.
  const int fd = ::open(path, flags | O_NONBLOCK | O_CLOEXEC, mode);
  if (fd < 0) return -1;
  const int error = ::fstat(fd, &st) != 0 ? errno : S_ISREG(st.st_mode) ? 0 : refusal(st);
  if (error != 0) {
    ::close(fd);
    errno = error;
    return -1;
  }
  const int fl = ::fcntl(fd, F_GETFL);
  if (fl != -1) ::fcntl(fd, F_SETFL, fl & ~O_NONBLOCK);
  return fd;
}

FILE* openRegularFile(const char* path, int flags, const char* mode) {
  const int fd = openRegularFd(path, flags);
  if (fd < 0) return nullptr;
  FILE* f = ::fdopen(fd, mode);
  if (f == nullptr) {
    const int e = errno;
    ::close(fd);
    errno = e;
  }
  return f;
}

FILE* openForReading(const char* path) { return openRegularFile(path, O_RDONLY, "rb"); }

bool readRegularFile(const char* path, std::vector<unsigned char>& out, size_t maxBytes, struct stat* opened) {
  out.clear();
  const int fd = openRegularFd(path, O_RDONLY);
  if (fd < 0) return false;
  struct stat st {};
  int error = ::fstat(fd, &st) == 0 && static_cast<unsigned long long>(st.st_size) > maxBytes ? EFBIG : 0;
  if (opened != nullptr) *opened = st;
  // Read straight into out, sized once by the file's size, to its end, which may not be where the
  // size said (the file may be growing): out keeps a byte more room than has come, to see it.
  const size_t sized = std::min(maxBytes, std::max<size_t>(static_cast<size_t>(st.st_size), 4095));
  size_t have = 0;
  while (error == 0) {
    if (have == out.size()) {
      if (have > maxBytes) error = EFBIG;
      else out.resize(std::min(maxBytes, std::max(sized, 2 * have)) + 1);
      continue;
    }
    const ssize_t n = ::read(fd, out.data() + have, out.size() - have);
    if (n == 0) break;
    if (n > 0) have += static_cast<size_t>(n);
    else if (errno != EINTR) error = errno;
  }
  ::close(fd);
  out.resize(error == 0 ? have : 0);
  if (error != 0) errno = error;
  return error == 0;
}

}  // namespace pvk::core
