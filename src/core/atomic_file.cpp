// The one writer of whole files: a temporary file beside the target (unnamed where the file
// system allows it, so a killed writer leaves nothing), renamed over the target once all of it
// is on disk.
#include "core/atomic_file.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <random>

namespace pvk::core {

namespace {

// Temporary names: "." + the target's base name (cut to kBaseMax) + ".pvk" + pid + "-" + six
// letters or digits, so that they sort beside the target, stay hidden and tell their writer.
constexpr size_t kBaseMax = 200;
constexpr char kMark[] = ".pvk";
constexpr int kSuffixLetters = 6;
constexpr int kMaxLinks = 16;

std::string temporaryPrefix(const std::string& base) {
  return "." + base.substr(0, kBaseMax) + kMark;
}

std::string randomLetters() {
  static const char kLetters[] = "abcdefghijklmnopqrstuvwxyz0123456789";
  static std::minstd_rand gen(static_cast<unsigned>(::getpid()) ^ static_cast<unsigned>(std::time(nullptr)));
  std::string s;
  for (int i = 0; i < kSuffixLetters; ++i) s += kLetters[gen() % (sizeof kLetters - 1)];
  return s;
}

// A fresh temporary name beside the target.
std::string temporaryName(const std::string& dir, const std::string& target) {
  return dir + "/" + temporaryPrefix(baseOf(target)) + std::to_string(::getpid()) + "-" + randomLetters();
}

// The file a path names once its symbolic links are followed, into target; 0, or the errno
// that refuses the path: ELOOP for links that go round (or too deep), ENOENT for a link that
// names nothing (a file the host never made is not created behind its back).
int followLinks(const std::string& path, std::string& target) {
  target = path;
  for (int i = 0; i <= kMaxLinks; ++i) {
    struct stat st {};
    if (::lstat(target.c_str(), &st) != 0) return i > 0 && errno == ENOENT ? ENOENT : 0;
    if (!S_ISLNK(st.st_mode)) return 0;
    if (i == kMaxLinks) break;
    char to[PATH_MAX];
    const ssize_t n = ::readlink(target.c_str(), to, sizeof to - 1);
    if (n <= 0) return n == 0 ? ENOENT : errno;
    to[n] = '\0';
    target = to[0] == '/' ? std::string(to) : dirOf(target) + "/" + to;
  }
  return ELOOP;
}

// An unnamed file can be given its name only through /proc when the process lacks the
// capability for AT_EMPTY_PATH.
bool linkUnnamed(int fd, const std::string& name) {
  if (::linkat(fd, "", AT_FDCWD, name.c_str(), AT_EMPTY_PATH) == 0) return true;
  char proc[64];
  std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd);
  return ::linkat(AT_FDCWD, proc, AT_FDCWD, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

bool writerGone(const std::string& name, size_t pidAt) {
  const long pid = std::strtol(name.c_str() + pidAt, nullptr, 10);
  if (pid <= 0 || pid == ::getpid()) return false;
  return ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH;
}

}  // namespace

std::string baseOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string dirOf(const std::string& path) {
  const size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

void syncDirectory(const std::string& dir) {
  const int fd = ::open(dir.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool isTemporaryOf(const std::string& name, const std::string& targetBase) {
  const std::string prefix = temporaryPrefix(targetBase);
  if (name.compare(0, prefix.size(), prefix) != 0) return false;
  size_t i = prefix.size();
  const size_t digits = i;
  while (i < name.size() && name[i] >= '0' && name[i] <= '9') ++i;
  if (i == digits || i >= name.size() || name[i] != '-') return false;
  return name.size() - i - 1 == kSuffixLetters;
}

void removeStaleTemporaries(const char* path) {
  if (path == nullptr || path[0] == '\0') return;
  std::string target;
  if (followLinks(path, target) != 0) return;
  const std::string base = baseOf(target);
  const std::string dir = dirOf(target);
  DIR* d = ::opendir(dir.c_str());
  if (d == nullptr) return;
  const int saved = errno;
  while (const dirent* e = ::readdir(d)) {
    const std::string name = e->d_name;
    if (!isTemporaryOf(name, base)) continue;
    if (writerGone(name, temporaryPrefix(base).size())) ::unlink((dir + "/" + name).c_str());
  }
  ::closedir(d);
  errno = saved;
}

AtomicFile::AtomicFile(const char* path, FileKind kind) : kind_(kind) {
  if (path != nullptr) linkError_ = followLinks(path, path_);
}

AtomicFile::~AtomicFile() { discard(); }

bool AtomicFile::open() {
  if (out_ != nullptr || done_) return out_ != nullptr;
  if (path_.empty() || linkError_ != 0) {
    error_ = errno = path_.empty() ? ENOENT : linkError_;
    return false;
  }
  dir_ = dirOf(path_);
  struct stat st {};
  if (::stat(path_.c_str(), &st) == 0) {
    // Only a regular file is replaced: a FIFO would block the writer, and a device, a socket or
    // a directory is not the host's file to replace.
    if (!S_ISREG(st.st_mode)) {
      error_ = errno = S_ISDIR(st.st_mode) ? EISDIR : EINVAL;
      return false;
    }
    replaces_ = true;
  }
  if (kind_ == FileKind::kState) removeStaleTemporaries(path_.c_str());
  if (!openTemporary()) {
    error_ = errno != 0 ? errno : EIO;
    errno = error_;
    return false;
  }
  if (replaces_) ::fchmod(::fileno(out_), st.st_mode & 07777);  // the old file's permissions
  error_ = 0;
  return true;
}

bool AtomicFile::openTemporary() {
  int fd = ::open(dir_.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
  unnamed_ = fd >= 0;
  if (!unnamed_) {
    // No unnamed files here: a named one, which a later writer removes if this one dies.
    for (int attempt = 0; attempt < 100 && fd < 0; ++attempt) {
      tmp_ = temporaryName(dir_, path_);
      fd = ::open(tmp_.c_str(), O_CREAT | O_EXCL | O_RDWR | O_CLOEXEC, 0666);
      if (fd < 0 && errno != EEXIST) break;
    }
    if (fd < 0) {
      tmp_.clear();
      return false;
    }
  }
  out_ = ::fdopen(fd, "w+b");
  if (out_ == nullptr) {
    const int e = errno;
    ::close(fd);
    if (!tmp_.empty()) ::unlink(tmp_.c_str());
    tmp_.clear();
    errno = e;
    return false;
  }
  return true;
}

bool AtomicFile::write(const void* data, size_t size) {
  if (!ok()) return false;
  if (size != 0 && std::fwrite(data, 1, size, out_) != size) fail(errno != 0 ? errno : EIO);
  return ok();
}

void AtomicFile::fail(int error) {
  if (error_ == 0) error_ = error != 0 ? error : EIO;
}

bool AtomicFile::nameTemporary() {
  if (!unnamed_) return true;
  for (int attempt = 0; attempt < 100; ++attempt) {
    tmp_ = temporaryName(dir_, path_);
    if (linkUnnamed(::fileno(out_), tmp_)) return true;
    if (errno != EEXIST) break;
  }
  tmp_.clear();
  return false;
}

void AtomicFile::closeStream() {
  if (out_ == nullptr) return;
  if (std::fclose(out_) != 0) fail(errno);
  out_ = nullptr;
}

bool AtomicFile::commit() {
  if (out_ == nullptr || done_) {
    errno = error_ != 0 ? error_ : EBADF;
    return false;
  }
  if (error_ == 0 && std::fflush(out_) != 0) fail(errno);
  const bool sync = kind_ == FileKind::kState || replaces_;
  if (error_ == 0 && sync && ::fsync(::fileno(out_)) != 0) fail(errno);
  if (error_ == 0 && !nameTemporary()) fail(errno);
  closeStream();
  if (error_ == 0 && std::rename(tmp_.c_str(), path_.c_str()) != 0) fail(errno);
  if (error_ != 0) {
    discard();
    errno = error_;
    return false;
  }
  tmp_.clear();
  done_ = true;
  if (kind_ == FileKind::kState) syncDirectory(dir_);
  return true;
}

void AtomicFile::discard() {
  const int saved = errno;
  if (out_ != nullptr) std::fclose(out_);
  out_ = nullptr;
  if (!tmp_.empty()) ::unlink(tmp_.c_str());
  tmp_.clear();
  done_ = true;
  errno = saved;
}

bool writeFileAtomically(const char* path, const void* data, size_t size, FileKind kind) {
  AtomicFile f(path, kind);
  if (!f.open()) return false;
  f.write(data, size);
  return f.commit();
}

}  // namespace pvk::core
