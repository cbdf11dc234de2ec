// Font database files and the template store: registration of the databases a font needs, the
// loader that appends a file's characters, cells and attribute records to the store, and the
// list of registered databases. The store holds the databases of one font code at a time.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "control/control.h"
#include "core/results.h"
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

int failLoad(FILE* f) {
  WriteTrace("err - ", "Reading database ", static_cast<int>(GetLastError()), false);
  std::fclose(f);
  MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
  return -1;
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

FILE* pvk::ocr::openDatabaseFile(const char* path) {
  const int fd = ::open(path, O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) return nullptr;
  struct stat st;
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    errno = EINVAL;
    return nullptr;
  }
  ::fcntl(fd, F_SETFL, ::fcntl(fd, F_GETFL) & ~O_NONBLOCK);
  FILE* f = ::fdopen(fd, "rb");
  if (f == nullptr) ::close(fd);
  return f;
}

int getdata(const char* dir, const char* name, bool verbose, int slot) {
  char path[320];
  const int len = std::snprintf(path, sizeof path, "%s%s", dir != nullptr ? dir : "", name);
  FILE* f = len > 0 && len < static_cast<int>(sizeof path) ? pvk::ocr::openDatabaseFile(path) : nullptr;
  if (f == nullptr) {
    if (verbose) {
      char line[sizeof path + 32];
      std::snprintf(line, sizeof line, "- err - Reading database %s", path);
      WriteTrace(line, false);
    }
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return -1;
  }

  unsigned char word[kCellBytes];
  if (std::fread(word, 1, 4, f) != 4) return failLoad(f);
  const int32_t n = static_cast<int32_t>(le32(word));
  // A database without characters gives the engine nothing to match: as useless as a short file.
  if (n == 0) return failLoad(f);
  const int first = dfnchars;
  // The count is checked in full width: a negative count or one that would wrap the 16-bit
  // index must not pass as a small one. Later loads into this list keep failing until a clear.
  const long long sum = static_cast<long long>(first) + n;
  if (n < 0 || sum > kStoreCells) {
    dfnchars = static_cast<uint16_t>(n < 0 || sum > UINT16_MAX ? kStoreCells + 1 : sum);
    WriteTrace("err - ", "Reading database - too many chars", static_cast<int>(sum > INT_MAX ? INT_MAX : sum),
               false);
    std::fclose(f);
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return -1;
  }
  dfnchars = static_cast<uint16_t>(sum);

  if (std::fread(data_ascii + first, 1, static_cast<size_t>(n), f) != static_cast<size_t>(n)) return failLoad(f);
  for (int i = 0; i < n; ++i) {
    if (std::fread(word, 1, kCellBytes, f) != kCellBytes) return failLoad(f);
    for (int row = 0; row < 32; ++row) data_std_bbk[first + i][row] = le32(word + 4 * row);
  }
  DBEntry* entry = DBList != nullptr && slot >= 0 && slot < kDBListSize ? &DBList[slot] : nullptr;
  for (int i = 0; i < n; ++i) {
    pDB[first + i] = entry;
    if (std::fread(data_attr[first + i], 1, kAttrBytes, f) != kAttrBytes) return failLoad(f);
  }
  if (entry != nullptr) {
    std::snprintf(entry->name, sizeof entry->name, "%s", name);
    entry->index = static_cast<uint8_t>(slot);
  }
  std::fclose(f);
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
