// The calibration files of one run, held in memory until the whole run has succeeded and then
// put in place as one set: a process killed at any moment leaves either the previous set or the
// new one, never a mixture, and never the half-finished data of a pass.
//
// Commit: each file is written to a hidden temporary beside its target and synced; then a list
// of the targets is written (atomically) beside them; then each temporary is renamed over its
// target; then the list is removed. The list on disk means "every temporary it names is whole":
// whoever loads a calibration first finishes the renames of a list it finds, so a commit killed
// after the list was written is completed, and one killed before it leaves the old set intact.
#include <dirent.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <map>
#include <string>
#include <vector>

#include "calibration/calibration.h"
#include "core/atomic_file.h"
#include "core/regular_file.h"
#include "core/trace.h"

namespace pvk::calibration {

void (*afterCommitStep)() = nullptr;

namespace {

using pvk::core::baseOf;
using pvk::core::dirOf;
using pvk::core::syncDirectory;

constexpr char kNextSuffix[] = ".next";
constexpr char kListSuffix[] = ".commit";
constexpr size_t kListMaxBytes = 1 << 20;
constexpr size_t kNameMax = 255;

struct HeldSet {
  bool active = false;
  std::map<std::string, std::vector<uint8_t>> files;  // path -> the file's bytes
};
HeldSet held;

void step() {
  if (afterCommitStep) afterCommitStep();
}

std::string nextOf(const std::string& dir, const std::string& base) { return dir + "/." + base + kNextSuffix; }

// The list of this device's set: its calibration files' common stem with its own extension.
bool listPath(std::string& out) {
  char stem[kCalibPathSize];
  if (!calibStemPath(stem)) return false;
  out = std::string(stem) + kListSuffix;
  return true;
}

// The stem every file name of this device's set starts with (a setting's name goes on with '_').
std::string setPrefix(const std::string& list) {
  return baseOf(list.substr(0, list.size() - (sizeof kListSuffix - 1))) + "_";
}

// A name the list may hold: one of this device's calibration files, nothing else.
bool plausibleTarget(const std::string& name, const std::string& prefix) {
  const size_t ext = sizeof ".pcf" - 1;
  return name.size() <= kNameMax && name.find_first_of(std::string("/\0", 2)) == std::string::npos &&
         name.compare(0, prefix.size(), prefix) == 0 && name.size() > prefix.size() + ext &&
         name.compare(name.size() - ext, ext, ".pcf") == 0;
}

// The names a list holds. False, with errno, when it cannot be read now: it stays for the next
// try. True with garbled set when it is no list this library wrote (those are regular files,
// written whole, naming only this device's calibration files); none when it is gone.
bool readList(const std::string& list, std::vector<std::string>& names, bool& garbled) {
  std::vector<unsigned char> bytes;
  if (!pvk::core::readRegularFile(list.c_str(), bytes, kListMaxBytes)) {
    garbled = errno == EFBIG || errno == EINVAL || errno == EISDIR;
    return garbled || errno == ENOENT;
  }
  const std::string text(bytes.begin(), bytes.end());
  const std::string prefix = setPrefix(list);
  for (size_t at = 0; at < text.size();) {
    size_t end = text.find('\n', at);
    if (end == std::string::npos) end = text.size();
    std::string name = text.substr(at, end - at);
    garbled = !plausibleTarget(name, prefix);
    if (garbled) return true;
    names.push_back(std::move(name));
    at = end + 1;
  }
  return true;
}

// Renames the temporaries a list names over their targets and removes the list. A temporary
// already renamed (by this process or a peer) is done.
bool completeList(const std::string& list) {
  std::vector<std::string> names;
  const std::string dir = dirOf(list);
  bool garbled = false;
  if (!readList(list, names, garbled)) {
    WriteTrace("err - ", "calibration commit list cannot be read", errno, false);
    return false;
  }
  if (garbled) {
    // Nothing in it can be trusted.
    WriteTrace("err - ", "unreadable calibration commit list", list.c_str(), false);
    ::unlink(list.c_str());
    return true;
  }
  for (const std::string& name : names) {
    const std::string from = nextOf(dir, name);
    if (std::rename(from.c_str(), (dir + "/" + name).c_str()) != 0 && errno != ENOENT) {
      WriteTrace("err - ", "calibration commit rename failed", errno, false);
      return false;
    }
    step();
  }
  syncDirectory(dir);
  if (::unlink(list.c_str()) != 0 && errno != ENOENT) return false;
  syncDirectory(dir);
  step();
  return true;
}

// Temporaries of this device's files that no list names: left by a commit killed before its
// list was written.
void removeOrphans(const std::string& list) {
  const std::string dir = dirOf(list);
  const std::string prefix = "." + setPrefix(list);
  DIR* d = ::opendir(dir.c_str());
  if (!d) return;
  const size_t tail = sizeof kNextSuffix - 1;
  while (const dirent* e = ::readdir(d)) {
    const std::string n = e->d_name;
    if (n.compare(0, prefix.size(), prefix) == 0 && n.size() > prefix.size() + tail &&
        n.compare(n.size() - tail, tail, kNextSuffix) == 0)
      ::unlink((dir + "/" + n).c_str());
  }
  ::closedir(d);
}

void removeTemporaries(const std::string& dir, const std::vector<std::string>& names) {
  const int e = errno;
  for (const std::string& n : names) ::unlink(nextOf(dir, n).c_str());
  errno = e;
}

// Writes the temporaries and the list; false (temporaries removed, errno set) when it could not.
bool prepare(const std::string& list, std::vector<std::string>& names) {
  const std::string dir = dirOf(list);
  std::string text;
  for (const auto& [path, bytes] : held.files) {
    const std::string base = baseOf(path);
    names.push_back(base);
    if (dirOf(path) != dir) errno = EXDEV;  // every file of a set lies beside its list
    // A temporary has a fixed name, which the list gives; the writer puts it there whole and synced.
    if (dirOf(path) != dir ||
        !pvk::core::writeFileAtomically(nextOf(dir, base).c_str(), bytes.data(), bytes.size(),
                                        pvk::core::FileKind::kState)) {
      removeTemporaries(dir, names);
      return false;
    }
    text += (text.empty() ? "" : "\n") + base;
    step();
  }
  if (!pvk::core::writeFileAtomically(list.c_str(), text.data(), text.size(), pvk::core::FileKind::kState)) {
    removeTemporaries(dir, names);
    return false;
  }
  step();
  return true;
}

}  // namespace

void beginCalibSet() {
  held.files.clear();
  held.active = true;
}

bool calibSetActive() { return held.active; }

void holdCalibFile(const char* path, std::vector<uint8_t> bytes) { held.files[path] = std::move(bytes); }

const std::vector<uint8_t>* heldCalibFile(const char* path) {
  if (!held.active) return nullptr;
  const auto it = held.files.find(path);
  return it == held.files.end() ? nullptr : &it->second;
}

void dropCalibSet() {
  held.files.clear();
  held.active = false;
}

bool finishCalibCommit() {
  std::string list;
  if (!listPath(list)) return false;
  struct stat st {};
  if (::stat(list.c_str(), &st) != 0) return true;
  return completeList(list);
}

int commitCalibSet() {
  std::string list;
  int result = 0;
  if (held.files.empty()) {
    dropCalibSet();
    return 0;
  }
  std::vector<std::string> names;
  if (!listPath(list) || !finishCalibCommit()) {
    result = PVK_ERR_WRITE;
  } else {
    removeOrphans(list);
    if (!prepare(list, names)) {
      WriteTrace("err - ", "calibration file writing failed", errno, false);
      result = PVK_ERR_WRITE;
    } else if (!completeList(list)) {
      result = PVK_ERR_WRITE;  // the list stays: the next load completes the set
    }
  }
  dropCalibSet();
  return result;
}

}  // namespace pvk::calibration
