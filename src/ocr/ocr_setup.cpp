// The engine set-up for one font code: nominal character size at the zone's resolution, the
// plausible size ranges, the lowest confidence kept, the engine options and the font databases
// that take part, registered in a fixed order.
#include <vector>

#include "core/trace.h"
#include "ocr/ocr.h"

bool clearSmall = false;
float coefMinH = 0.5f;
bool removeIsolated = false;
bool pesaNumLet = true;
uint16_t reject_nchar = 0;
int16_t oldFont = -1;

void ocr_init(bool clearSmallBlocks, float minHeightFactor, bool removeIsolatedChars, bool /*removeUnderline*/,
              bool weighDigitsAndLetters, uint16_t rejectCount, bool load) {
  clearSmall = clearSmallBlocks;
  coefMinH = minHeightFactor;
  removeIsolated = removeIsolatedChars;
  pesaNumLet = weighDigitsAndLetters;
  reject_nchar = rejectCount;
  caricadati = load;
  nLineeLetteOCR = 0;
}

namespace {

struct Db {
  const char* name;
  bool narrow;
  float space;
  bool split;
};

struct Range {
  uint16_t lo = 0;
  uint16_t hi = 0;
  bool set = false;
};

// One row of the set-up table; sizes are at 300 dpi and scaled by the zone's resolution.
struct SetUp {
  int multiLine = -1;  // -1 keeps the switch as it is
  bool fixedSize = false;
  uint8_t minConf = 0;
  uint16_t h = 0, w = 0;
  Range H, W;
  bool clearSmall = false;
  float coefMinH = 0.5f;
  bool removeIsolated = false;
  bool pesaNumLet = false;
  uint16_t reject = 0;
  std::vector<Db> dbs;
};

// trunc(k x scale), kept inside the 16-bit field.
uint16_t scaled(int k, float scale) {
  const float v = static_cast<float>(k) * scale;
  if (!(v > 0.0f)) return 0;
  return v >= 65535.0f ? 65535 : static_cast<uint16_t>(v);
}

void options(SetUp& s, bool small, float coef, bool isolated, bool pesa, uint16_t reject) {
  s.clearSmall = small;
  s.coefMinH = coef;
  s.removeIsolated = isolated;
  s.pesaNumLet = pesa;
  s.reject = reject;
}

void sizes(SetUp& s, uint16_t h, uint16_t w, Range H = {}, Range W = {}) {
  s.h = h;
  s.w = w;
  s.H = H;
  s.W = W;
}

std::vector<Db> multiFontDbs(float ocrbSpace, float f) {
  return {{"ocrbA04.db", true, ocrbSpace, false},  {"ocrbB04.db", true, ocrbSpace, false},
          {"ocrbC04.db", true, ocrbSpace, false},  {"courier04.db", true, f, true},
          {"arial04.db", false, f, false},         {"arialcor04.db", false, f, false},
          {"serifabt204.db", true, f, true},       {"serifabt404.db", true, f, true}};
}

std::vector<Db> payeeDbs(short font) {
  const float f1 = font == 944 ? 1.5f : 0.8f;
  const float f2 = font == 944 ? 0.8f : 0.5f;
  std::vector<Db> dbs;
  if (font == 944) dbs.push_back({"ABIImpA04.db", false, f1, false});
  for (const Db& db : {Db{"ABIBenA04.db", false, f1, false}, Db{"ocrbA04.db", true, f2, false},
                       Db{"arial04.db", false, f2, false}, Db{"arialnum04.db", false, f2, false},
                       Db{"courier04.db", false, 1.0f, true}, Db{"IBMgotA04.db", false, f1, false},
                       Db{"VX3IDFS04.db", true, f1, false}, Db{"calibriA04.db", true, f1, false}})
    dbs.push_back(db);
  return dbs;
}

bool isMicroperforation(short font) { return font == 35 || font == 40 || font == 41 || (font >= 935 && font <= 943); }

// The first row of the set-up table that accepts the font; false when none does.
bool chooseSetUp(short font, uint16_t typeDoc, SetUp& s) {
  const bool doc12 = typeDoc == 12;
  const Db ocrbA{"ocrbA04.db", true, 1.0f, false};
  if (doc12 && font == 3) {
    s.multiLine = 0, s.fixedSize = true, s.minConf = 30;
    sizes(s, 32, 22, {24, 38, true}, {13, 28, true});
    options(s, true, 0.3f, false, false, 100);
    s.dbs = {ocrbA};
  } else if (doc12 && (font == 38 || font == 205)) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 30;
    sizes(s, 32, 22, {24, 38, true}, {13, 28, true});
    options(s, true, 0.5f, false, false, 100);
    s.dbs = {ocrbA};
  } else if (doc12 && font == 204) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 30;
    sizes(s, 32, 22, {20, 32, true}, {13, 20, true});
    options(s, true, 0.5f, false, false, 100);
    s.dbs = {ocrbA};
  } else if ((typeDoc == 12 || typeDoc == 13) && font >= 9 && font <= 11) {
    s.minConf = font == 11 ? 50 : 30;
    sizes(s, 24, 20);
    options(s, true, 0.8f, false, true, 0);
    s.dbs = multiFontDbs(1.0f, 1.0f);
  } else if (isMicroperforation(font)) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = font >= 938 && font <= 940 ? 5 : 20;
    sizes(s, 40, 23);
    options(s, true, 0.8f, false, font == 936 || font == 939 || font == 942, 0);
    const bool payeeField = font == 40 || font == 936 || font == 939 || font == 942;
    s.dbs = {{"microC04.db", true, payeeField ? 1.0f : 1.6f, false}};
  } else if (font == 202) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 20;
    sizes(s, 40, 30, {30, 43, true}, {25, 35, true});
    options(s, true, 0.8f, false, false, 0);
    s.dbs = {{"cmc7aa04.db", true, 0.8f, false}, {"cmc7ab04.db", true, 0.8f, false}};
  } else if (font == 944 || font == 945) {
    // The ranges admit the characters the payee faces print at 8 to 14 points: a 14-point Q
    // with its tail stands 52 rows, an O is 40 columns wide (the W has a window of its own).
    s.multiLine = 1, s.fixedSize = false, s.minConf = 30;
    sizes(s, 25, 17, {16, 54, true}, {12, 42, true});
    options(s, true, 0.4f, false, font == 945, 0);
    s.dbs = payeeDbs(font);
  } else if (font == 1) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 30;
    sizes(s, 36, 29);
    options(s, false, 0.3f, true, false, 0);
    s.dbs = {{"e13bA04.db", true, 1.2f, false}, {"e13bB04.db", true, 1.2f, false}};
  } else if (font == 2) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 30;
    sizes(s, 32, 24);
    options(s, false, 0.6f, false, false, 20);
    s.dbs = {{"ocraeb204.db", true, 1.5f, false}};
  } else if (font == 3) {
    // OCR-B ranges admit its digits set at 14 points (46 rows) and its widest capitals (29
    // columns) as well as its 8-point capitals.
    if (typeDoc == 2) s.multiLine = 1;
    s.minConf = 50;
    sizes(s, 32, 22, {18, 48, true}, {8, 31, true});
    options(s, true, 0.3f, false, false, 100);
    s.dbs = {{"ocrbA04.db", true, 1.3f, false}};
  } else if (font == 4 || font == 5 || font == 38 || font == 39) {
    s.multiLine = 1, s.fixedSize = true, s.minConf = 50;
    sizes(s, 32, 22, {18, 48, true}, {8, 31, true});
    options(s, true, 0.5f, false, false, 100);
    s.dbs = {{"ocrbA04.db", true, font == 39 ? 1.5f : 1.3f, false}};
  } else if (font >= 9 && font <= 12) {
    s.minConf = font == 11 ? 50 : 30;
    sizes(s, 24, 24);
    options(s, true, 0.5f, false, true, 0);
    const float f = font == 12 ? 3.0f : 1.0f;
    s.dbs = multiFontDbs(f + 0.2f, f);
  } else {
    return false;
  }
  return true;
}

void applySetUp(const SetUp& s, float scale) {
  if (s.multiLine >= 0) MyOcr.multiLine = static_cast<uint8_t>(s.multiLine);
  MyOcr.fixedSize = s.fixedSize ? 1 : 0;
  MyOcr.minLineConf = s.minConf;
  MyOcr.charHeight = scaled(s.h, scale);
  MyOcr.charWidth = scaled(s.w, scale);
  if (s.H.set) {
    MyOcr.minCharHeight = scaled(s.H.lo, scale);
    MyOcr.maxCharHeight = scaled(s.H.hi, scale);
  }
  if (s.W.set) {
    MyOcr.minCharWidth = scaled(s.W.lo, scale);
    MyOcr.maxCharWidth = scaled(s.W.hi, scale);
  }
}

}  // namespace

int InitOCR(short font, bool load, float scale) {
  // The databases kept from the last loading set-up serve again only for the same font and
  // document type (the type chooses the databases and their spacing), and only while no set-up
  // that loads nothing has registered its names into the list.
  static uint16_t keptTypeDoc = 0;
  static bool namesAdded = false;
  if (!load) {
    namesAdded = true;
  } else if (font != oldFont || MyOcr.typeDoc != keptTypeDoc || namesAdded) {
    ocr_clear();
    oldFont = font;
    keptTypeDoc = MyOcr.typeDoc;
    namesAdded = false;
  }
  MyDev.lastResult = PVK_OK;
  MyOcr.currentFont = font;
  MyOcr.engineScale = scale;
  MyOcr.fixedSize = 0;
  MyOcr.minLineConf = 0;
  MyOcr.lowerCase = 0;
  MyOcr.neighbourWeight = 7;
  MyOcr.minAgreement = 3;
  MyOcr.minCharHeight = 0;
  MyOcr.minCharWidth = 0;
  MyOcr.charHeight = scaled(32, scale);
  MyOcr.charWidth = scaled(24, scale);
  if (font == -1) return 0;
  if (font > 1000) {
    WriteTrace("err - ", "font is too high", font, false);
    MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
    return -1;
  }

  SetUp s;
  if (!chooseSetUp(font, MyOcr.typeDoc, s)) {
    if (IsBarcode(font) || font == 8 || font == 120) return 0;
    if (load) {
      WriteTrace("err - ", "Init OCR - font not enabled (C)", font, false);
      WriteTrace("err - ", "Init OCR - current typedoc", MyOcr.typeDoc, false);
    }
    MyDev.lastResult = PVK_ERR_OCR_FONT_DISABLED;
    return -1;
  }
  applySetUp(s, scale);
  ocr_init(s.clearSmall, s.coefMinH, s.removeIsolated, false, s.pesaNumLet, s.reject, load);
  for (const Db& db : s.dbs) {
    if (!ocr_init(db.name, 1, db.narrow, db.space, db.split, true)) {
      MyDev.lastResult = PVK_ERR_OCR_DB_OPEN;
      return -1;
    }
  }
  if (font == 1) MyOcr.remapPending = MyOcr.e13bMapping != 0 ? 1 : 0;
  return nDBLoaded;
}
