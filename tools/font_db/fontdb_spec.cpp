// Which font stands behind each database file, which characters it holds and how they are
// rendered. The characters and sizes are not listed by hand: they are read off the engine's own
// set-ups, from the font codes that register the file in any document type.
#include <algorithm>
#include <cctype>
#include <cstring>
#include <map>
#include <set>
#include <stdexcept>
#include <sys/stat.h>

#include "core/records.h"
#include "font_db.h"
#include "ocr/ocr.h"

namespace pvk::fontdb {

namespace {

constexpr const char* kLib2 = "/usr/share/fonts/truetype/liberation2/";
constexpr const char* kUrw = "/usr/share/fonts/opentype/urw-base35/";

struct Source {
  const char* name;
  std::string fontFile;  // empty: drawn
  glyphs::Font drawn;
  double baseSpread;
  const char* only;  // when set, the characters are limited to these
};

std::vector<Source> sources() {
  const std::string lib2 = kLib2;
  const std::string urw = kUrw;
  const std::string ocrb = "/usr/share/fonts/opentype/ocr-b/";
  const std::string dejavu = "/usr/share/fonts/truetype/dejavu/";
  using F = glyphs::Font;
  return {
      {"e13bA04.db", "", F::E13B, 0, nullptr},
      {"e13bB04.db", "", F::E13B, 1.5, nullptr},
      {"ocraeb204.db", "/usr/share/fonts/truetype/ocr-a/OCRA.ttf", F::E13B, 0, nullptr},
      {"ocrbA04.db", ocrb + "OCRB.otf", F::E13B, 0, nullptr},
      {"ocrbB04.db", ocrb + "OCRBS.otf", F::E13B, 0, nullptr},
      {"ocrbC04.db", ocrb + "OCRB.otf", F::E13B, 1.5, nullptr},
      {"courier04.db", urw + "NimbusMonoPS-Regular.otf", F::E13B, 0, nullptr},
      {"arial04.db", lib2 + "LiberationSans-Regular.ttf", F::E13B, 0, nullptr},
      {"arialcor04.db", lib2 + "LiberationSans-Italic.ttf", F::E13B, 0, nullptr},
      {"arialnum04.db", lib2 + "LiberationSans-Regular.ttf", F::E13B, 0, "0123456789,.*#-+/"},
      {"serifabt204.db", lib2 + "LiberationSerif-Regular.ttf", F::E13B, 0, nullptr},
      {"serifabt404.db", urw + "NimbusRoman-Regular.otf", F::E13B, 0, nullptr},
      {"microC04.db", "", F::Micro, 0, nullptr},
      {"cmc7aa04.db", "", F::CMC7, 0, nullptr},
      {"cmc7ab04.db", "", F::CMC7, 1.5, nullptr},
      {"ABIImpA04.db", lib2 + "LiberationMono-Bold.ttf", F::E13B, 0, nullptr},
      {"ABIBenA04.db", lib2 + "LiberationMono-Regular.ttf", F::E13B, 0, nullptr},
      {"IBMgotA04.db", dejavu + "DejaVuSansMono.ttf", F::E13B, 0, nullptr},
      {"VX3IDFS04.db", dejavu + "DejaVuSansMono-Bold.ttf", F::E13B, 0, nullptr},
      {"calibriA04.db", "/usr/share/fonts/truetype/crosextra/Carlito-Regular.ttf", F::E13B, 0, nullptr},
  };
}

std::string upper(std::string s) {
  for (char& c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

// What the set-ups of every font code and document type ask of each file: the characters their
// valid sets can answer (lower case on, an expected payee holding an apostrophe and a hyphen)
// and the nominal heights at 300 dpi.
struct Demand {
  std::set<unsigned char> chars;
  std::set<int> heights;
};

std::map<std::string, Demand> demands() {
  std::map<std::string, Demand> out;
  const OcrInfo savedOcr = MyOcr;
  const ITACheckInfo savedIta = MyITACheck;
  const bool savedLoad = caricadati;
  std::snprintf(MyITACheck.expPayee, sizeof MyITACheck.expPayee, "%s", "L'ALBA-ROSSA");
  for (int td = 0; td <= 13; ++td) {
    for (int font = 0; font <= 1000; ++font) {
      ocr_clear();
      MyOcr.typeDoc = static_cast<uint16_t>(td);
      if (InitOCR(static_cast<short>(font), false, 1.0f) < 1) continue;
      MyOcr.lowerCase = 1;
      SoloMaiuscolo = false;
      ForzaSoloAlfa = false;
      const bool haveSet = DefineValidSet() && ValidSet != nullptr;
      char name[kDBNameSize];
      for (short i = 0; ocr_db_fname(i, name); ++i) {
        Demand& d = out[name];
        d.heights.insert(MyOcr.charHeight);
        if (!haveSet) continue;
        for (int c = 1; c < 256; ++c)
          if (ValidSet[c] != 0 && c != '?') d.chars.insert(static_cast<unsigned char>(c));
      }
    }
  }
  ocr_clear();
  MyOcr = savedOcr;
  MyITACheck = savedIta;
  caricadati = savedLoad;
  ValidSet = nullptr;
  return out;
}

bool fileExists(const std::string& path) {
  struct stat st{};
  return stat(path.c_str(), &st) == 0;
}

bool drawable(const DbSpec& db, unsigned char c);

// The largest nominal height with and without ink spread, and two thirds of it (the capitals of
// a 200 dpi zone scaled to the cell), or the other nominal heights where there are some.
std::vector<Rendering> renderingsFor(const DbSpec& db, const std::set<int>& heights) {
  if (!db.isText()) return {{0, 0}, {0, 0.5}, {0, 1.0}};
  const int top = heights.empty() ? 32 : *heights.rbegin();
  std::vector<Rendering> r{{double(top), 0}, {double(top), 1.0}};
  for (auto it = heights.rbegin(); it != heights.rend() && r.size() < 3; ++it)
    if (*it != top && *it * 10 < top * 9) r.push_back({double(*it), 0});
  if (r.size() < 3) r.push_back({top * 2.0 / 3.0, 0});
  return r;
}

std::vector<DbSpec> build() {
  const std::map<std::string, Demand> wanted = demands();
  std::vector<DbSpec> out;
  for (const Source& s : sources()) {
    DbSpec db;
    db.name = s.name;
    db.fontFile = s.fontFile;
    db.drawn = s.drawn;
    db.baseSpread = s.baseSpread;
    if (db.isText() && !fileExists(db.fontFile)) throw std::runtime_error("missing font file " + db.fontFile);
    const auto it = wanted.find(upper(s.name));
    if (it == wanted.end()) throw std::runtime_error(std::string("no set-up registers ") + s.name);
    for (unsigned char c : it->second.chars) {
      if (s.only != nullptr && std::strchr(s.only, c) == nullptr) continue;
      if (drawable(db, c)) db.chars.push_back(static_cast<char>(c));
    }
    db.renderings = renderingsFor(db, it->second.heights);
    out.push_back(db);
  }
  return out;
}

}  // namespace

bool textDrawable(const std::string& fontFile, unsigned char c);  // text_render.cpp

namespace {
bool drawable(const DbSpec& db, unsigned char c) {
  if (db.isText()) return c > ' ' && c < 0x7F && textDrawable(db.fontFile, c);
  return glyphs::glyph(db.drawn, static_cast<char>(c)) != nullptr;
}
}  // namespace

std::string DbSpec::fileName() const { return upper(name); }

const std::vector<DbSpec>& databases() {
  static const std::vector<DbSpec> all = build();
  return all;
}

const DbSpec* findDatabase(const std::string& name) {
  for (const DbSpec& d : databases())
    if (upper(d.name) == upper(name)) return &d;
  return nullptr;
}

}  // namespace pvk::fontdb
