// font_db_gen DIR: writes the OCR engine's font database files and the endorser's stamp font
// into DIR and lists each database with its font, characters and template count. Exits 1 when a
// file cannot be made.
#include <cstdio>
#include <exception>
#include <fstream>
#include <string>

#include "font_db.h"

namespace {

// Written beside, then renamed: a reader never meets half a file.
bool writeWhole(const std::string& path, const std::string& bytes) {
  const std::string tmp = path + ".tmp";
  std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  out.close();
  if (out && std::rename(tmp.c_str(), path.c_str()) == 0) return true;
  std::fprintf(stderr, "font_db_gen: cannot write %s\n", path.c_str());
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: font_db_gen DIR\n");
    return 2;
  }
  const std::string dir = std::string(argv[1]) + "/";
  try {
    for (const pvk::fontdb::DbSpec& db : pvk::fontdb::databases()) {
      const std::vector<pvk::fontdb::Template> templates = pvk::fontdb::makeTemplates(db);
      if (!writeWhole(dir + db.fileName(), pvk::fontdb::fileBytes(templates))) return 1;
      std::printf("%-14s %4zu templates  %-40s %s\n", db.fileName().c_str(),
                  templates.size(),
                  db.isText() ? db.fontFile.substr(db.fontFile.rfind('/') + 1).c_str() : "(drawn)",
                  db.chars.c_str());
    }
    if (!writeWhole(dir + pvk::fontdb::kStampFontName, pvk::fontdb::stampFontBytes())) return 1;
    std::printf("%-14s stamp font      %s\n", pvk::fontdb::kStampFontName, pvk::fontdb::kStampFontChars);
  } catch (const std::exception& e) {
    std::fprintf(stderr, "font_db_gen: %s\n", e.what());
    return 1;
  }
  return 0;
}
