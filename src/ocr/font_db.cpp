// Font database files and the template store: registration of the databases a font needs, the
// loader that appends a file's characters, cells and attribute records to the store (the files
// read once and kept), and the list of registered databases. The store holds the databases of
// one font code at a time.
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <map>
#include <string>
#include <vector>

#include "control/control.h"
#include "core/results.h"
#include "core/regular_file.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

unsigned char data_ascii[kStoreCells + 1];
uint32_t data_std_bbk[kStoreCells][32];
uint8_t data_attr[kStoreCells][32];
DBEntry* pDB[kStoreCells];
uint32_t n_neri[kStoreCells + 1];
uint16_t dfnchars = 0;
int32_t nchars = 0;
DBEntry* DBList = nullptr;
int16_t nDBLoaded = 0;
uint8_t ValidDB[kDBMax];
bool caricadati = true;

namespace {

constexpr int kCellBytes = 128;
constexpr int kAttrBytes = 32;

uint32_t le32(const unsigned char* b) {
  return static_cast<uint32_t>(b[0]) | static_cast<uint32_t>(b[1]) << 8 |
         static_cast<uint32_t>(b[2]) << 16 | static_cast<uint32_t>(b[3]) << 24;
}

int failLoad() {
  WriteTrace("err - ", "Reading database ", static_cast<int>(GetLastError()), false);
  MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
  return -1;
}

// The bytes of a database file, taken in order as the loader reads them; a short take copies
// what there is, as a short read of the file would.
struct Bytes {
  const std::vector<unsigned char>& all;
  size_t at = 0;
  bool take(void* dst, size_t n) {
    const size_t got = std::min(n, all.size() - at);
    if (got > 0) std::memcpy(dst, all.data() + at, got);
    at += got;
    return got == n;
  }
};

// Every reading of a zone sets its font up afresh, and a payee zone needs eight databases: the
// files are read once and kept, keyed by their path. A file that changed since (or that was
// written within a second or two of being read, when a change could go unseen) is read again.
struct KeptFile {
  struct stat st {};
  time_t keptAt = 0;
  std::vector<unsigned char> bytes;
};

std::map<std::string, KeptFile>& keptFiles() {
  static std::map<std::string, KeptFile> files;
  return files;
}

bool sameFile(const struct stat& a, const struct stat& b) {
  return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
         a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec &&
         a.st_ctim.tv_sec == b.st_ctim.tv_sec && a.st_ctim.tv_nsec == b.st_ctim.tv_nsec;
}

// The file's bytes, kept or read now; null when it cannot be opened or read whole, or is longer
// than any database can be.
const std::vector<unsigned char>* fileBytes(const char* path) {
  constexpr size_t kMostKept = 64;
  constexpr size_t kMostDatabaseBytes = size_t{4} << 20;  // a full store's characters take 315 KiB
  struct stat st {};
  if (stat(path, &st) != 0) return nullptr;
  auto& files = keptFiles();
  auto it = files.find(path);
  if (it != files.end() && sameFile(it->second.st, st) && it->second.keptAt > st.st_mtim.tv_sec + 1 &&
      it->second.keptAt > st.st_ctim.tv_sec + 1)
    return &it->second.bytes;
  KeptFile k;
  // Kept under the status of what was opened, so a file replaced between the look and the open
  // is not kept under the old one's identity; a file that cannot be read whole is not kept.
  if (!pvk::core::readRegularFile(path, k.bytes, kMostDatabaseBytes, &k.st)) return nullptr;
  k.keptAt = std::time(nullptr);
  if (files.size() >= kMostKept) files.clear();
  return &(files[path] = std::move(k)).bytes;
}

// The list is created by the first registration after a clear.
bool ensureList() {
  if (DBList != nullptr) {
    if (nDBLoaded < 0) nDBLoaded = 0;
    return true;
  }
  nDBLoaded = 0;
  DBList = static_cast<DBEntry*>(std::calloc(kDBListSize, sizeof(DBEntry)));
  if (DBList == nullptr) {
    WriteTrace("err - ", "Error in creating DB list", static_cast<int>(GetLastError()), false);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    return false;
  }
  std::memset(data_ascii, 0, sizeof data_ascii);
  std::memset(n_neri, 0, sizeof n_neri);
  dfnchars = 1;
  return true;
}

}  // namespace

int getdata(const char* dir, const char* name, bool verbose, int slot) {
  char path[320];
  const int len = std::snprintf(path, sizeof path, "%s%s", dir != nullptr ? dir : "", name);
  const std::vector<unsigned char>* file = len > 0 && len < static_cast<int>(sizeof path) ? fileBytes(path) : nullptr;
  if (file == nullptr) {
    if (verbose) {
      char line[sizeof path + 32];
      std::snprintf(line, sizeof line, "- err - Reading database %s", path);
      WriteTrace(line, false);
    }
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return -1;
  }

  Bytes in{*file};
  unsigned char word[kCellBytes];
  if (!in.take(word, 4)) return failLoad();
  const int32_t n = static_cast<int32_t>(le32(word));
  // A database without characters gives the engine nothing to match: as useless as a short file.
  if (n == 0) return failLoad();
  const int first = dfnchars;
  // The count is checked in full width: a negative count or one that would wrap the 16-bit
  // index must not pass as a small one. Later loads into this list keep failing until a clear.
  const long long sum = static_cast<long long>(first) + n;
  if (n < 0 || sum > kStoreCells) {
    dfnchars = static_cast<uint16_t>(n < 0 || sum > UINT16_MAX ? kStoreCells + 1 : sum);
    WriteTrace("err - ", "Reading database - too many chars", static_cast<int>(sum > INT_MAX ? INT_MAX : sum),
               false);
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return -1;
  }
  dfnchars = static_cast<uint16_t>(sum);

  if (!in.take(data_ascii + first, static_cast<size_t>(n))) return failLoad();
  for (int i = 0; i < n; ++i) {
    if (!in.take(word, kCellBytes)) return failLoad();
    for (int row = 0; row < 32; ++row) data_std_bbk[first + i][row] = le32(word + 4 * row);
  }
  DBEntry* entry = DBList != nullptr && slot >= 0 && slot < kDBListSize ? &DBList[slot] : nullptr;
  for (int i = 0; i < n; ++i) {
    pDB[first + i] = entry;
    if (!in.take(data_attr[first + i], kAttrBytes)) return failLoad();
  }
  if (entry != nullptr) {
    std::snprintf(entry->name, sizeof entry->name, "%s", name);
    entry->index = static_cast<uint8_t>(slot);
  }
  nchars = dfnchars;
  return dfnchars;
}

bool ocr_init(const char* name, uint16_t, bool narrow, float spaceFactor, bool split, bool verbose) {
  if (name == nullptr) {
    WriteTrace("err - ", "opening DB without filename", false);
    MyDev.lastResult = PVK_ERR_INV_PARAMETER;
    return false;
  }
  if (!ensureList()) return false;
  imag = nullptr;

  const size_t length = strnlen(name, kDBNameSize);
  if (length < 4 || length > kDBNameSize - 1) {
    WriteTrace("databases filename error", name, false);
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return false;
  }
  char upper[kDBNameSize];
  std::memcpy(upper, name, length + 1);
  _strupr(upper);

  // A listed name that begins with this one matches too: the first match wins.
  int slot = nDBLoaded;
  for (int i = 0; i < nDBLoaded; ++i) {
    if (std::strncmp(DBList[i].name, upper, length) != 0) continue;
    if (DBList[i].loaded != 0 || !caricadati) return true;
    slot = i;
    break;
  }
  const bool isNew = slot == nDBLoaded;
  if (slot > kDBMax - 1) {
    WriteTrace("err - ", "too many databases loaded - clearing previous", false);
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return false;
  }

  DBEntry& entry = DBList[slot];
  entry.narrow = narrow ? 1 : 0;
  entry.split = split ? 1 : 0;
  entry.spaceFactor = spaceFactor;
  ValidDB[slot] = 1;
  if (!caricadati) {
    std::memcpy(entry.name, upper, length + 1);
    if (isNew) ++nDBLoaded;
    return true;
  }
  // Not set yet (no device opened, no PVKDBDirSet): the INI's or the default directory, as the
  // directory calls would report it.
  if (MyOcr.dbDir[0] == '\0') Vx3SetDefaultDBDir();
  if (getdata(MyOcr.dbDir, upper, verbose, slot) < 0) {
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return false;
  }
  entry.loaded = 1;
  if (isNew) ++nDBLoaded;
  return true;
}

void ocr_clear() {
  std::free(DBList);
  DBList = nullptr;
  nDBLoaded = 0;
  nchars = 0;
  dfnchars = 0;
  // Nothing may point into the freed list.
  std::memset(pDB, 0, sizeof pDB);
}

bool ocr_db_fname(short i, char* dest) {
  if (i < 0 || i >= nDBLoaded || DBList == nullptr || dest == nullptr) return false;
  std::memcpy(dest, DBList[i].name, kDBNameSize);
  dest[kDBNameSize - 1] = '\0';
  return true;
}
