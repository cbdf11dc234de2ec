// The font database files a host may ship: every document type and font is set up without
// loading, so that the engine's database list holds every name it would use, and the names
// whose files are in the database directory are handed out one by one.
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "control/control.h"
#include "core/regular_file.h"
#include "core/results.h"
#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

int16_t lastDB = 0;

namespace {

constexpr uint16_t kLastDocType = 13;
constexpr short kLastFont = 999;

enum class FileState { Present, Missing, Unreadable };

// A listed name is only worth handing out when the engine could load its file.
FileState databaseFile(const char* name) {
  char path[kDBNameBuffer + kDBNameSize];
  const int n = std::snprintf(path, sizeof path, "%s%s", MyOcr.dbDir, name);
  if (n <= 0 || n >= static_cast<int>(sizeof path)) return FileState::Missing;
  FILE* f = pvk::core::openForReading(path);
  if (f != nullptr) {
    std::fclose(f);
    return FileState::Present;
  }
  return errno == ENOENT || errno == ENOTDIR ? FileState::Missing : FileState::Unreadable;
}

// Registers the databases of every type and font; false (list cleared) when a set-up failed
// for any reason other than a font the type does not read.
bool registerEveryDatabase() {
  ocr_clear();
  for (uint16_t type = 0; type <= kLastDocType; ++type) {
    MyOcr.typeDoc = type;
    for (short font = 0; font <= kLastFont; ++font) {
      if (InitOCR(font, false, 1.0f) < 0 && MyDev.lastResult != PVK_ERR_OCR_FONT_DISABLED) {
        ocr_clear();
        return false;
      }
    }
  }
  return true;
}

// True when no listed file exists but cannot be read (last result -34 otherwise).
bool everyFileReadable() {
  char name[kDBNameSize];
  for (short i = 0; ocr_db_fname(i, name); ++i) {
    if (databaseFile(name) == FileState::Unreadable) {
      WriteTrace("err - ", "font database not readable", name, false);
      MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
      ocr_clear();
      return false;
    }
  }
  return true;
}

}  // namespace

bool Vx3FirstDataBaseFN(char* name) {
  // Without a device opened yet the directory is still to be taken from the configuration.
  if (MyOcr.dbDir[0] == '\0') Vx3SetDefaultDBDir();
  // The set-ups rewrite the document type and the engine fields of MyOcr; a host reading
  // parameter 3 afterwards must see its own type, so all of it is put back.
  const OcrInfo saved = MyOcr;
  const bool ok = registerEveryDatabase() && everyFileReadable();
  MyOcr = saved;
  if (!ok) return false;
  lastDB = 0;
  return Vx3NextDataBaseFN(name);
}

bool Vx3NextDataBaseFN(char* name) {
  if (name == nullptr) return false;
  char listed[kDBNameSize];
  // The index only moves while there are names: past the end it stays put, however often asked.
  while (lastDB >= 0 && ocr_db_fname(lastDB, listed)) {
    ++lastDB;
    if (databaseFile(listed) != FileState::Present) continue;
    std::memset(name, 0, kDBNameBuffer);
    std::memcpy(name, listed, kDBNameSize);
    return true;
  }
  return false;
}
