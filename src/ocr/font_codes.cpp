// Font codes: the predicates that classify the font code of a zone, and the small text and
// number operations that the post-processing of a reading shares.
#include <cctype>

#include "ocr/ocr.h"

bool IsCMC7Font(short font) {
  return font == 0 || font == 32 || font == 110 || font == 111 || font == 202;
}

bool IsE13BFont(short font) { return font == 1 || font == 33; }

bool IsMICRFont(short font, bool strict) {
  if (font == 32 || font == 33 || font == 34) return true;
  return !strict && (IsCMC7Font(font) || IsE13BFont(font));
}

bool IsOCRAFont(short font) { return font == 2; }

bool IsOCRBFont(short font) {
  switch (font) {
    case 3: case 4: case 5: case 38: case 39: case 204: case 205: return true;
    default: return false;
  }
}

bool IsOCRBFontAlfaNum(short font) { return font == 3 || font == 204; }

bool IsPDF417(short font) { return font == 8; }

// 302 and 305 name no symbology.
bool IsBarcode(short font) {
  if (font == 7) return true;
  return font >= 300 && font <= 310 && font != 302 && font != 305;
}

bool IsMICROPERFORATIONFont(short font, bool excludePayee) {
  if (font == 35 || font == 40 || font == 41) return true;
  if (font >= 935 && font <= 943) return true;
  return !excludePayee && (font == 944 || font == 945);
}

bool Is_BACKL_Font(short font) { return font >= 938 && font <= 940; }

int hSogliaOCRBNumLet(int height) { return height < 1 ? 1 : height * 96 / 100; }

int hOCRB_Num(int digitHeight) { return digitHeight * 100 / 96; }

bool IsVocale(char c) {
  switch (std::toupper(static_cast<unsigned char>(c))) {
    case 'A': case 'E': case 'I': case 'O': case 'U': return true;
    default: return false;
  }
}

// Upper-case Latin-1 letters with accents, grouped by their base vowel.
bool IsLetteraAccentataSimile(unsigned char a, unsigned char b) {
  auto group = [](unsigned char c) {
    if (c == 'A' || (c >= 0xC0 && c <= 0xC5)) return 1;
    if (c == 'E' || (c >= 0xC8 && c <= 0xCB)) return 2;
    if (c == 'I' || (c >= 0xCC && c <= 0xCF)) return 3;
    if (c == 'O' || (c >= 0xD2 && c <= 0xD6)) return 4;
    if (c == 'U' || (c >= 0xD9 && c <= 0xDC)) return 5;
    return 0;
  };
  const int g = group(a);
  return g != 0 && g == group(b);
}

bool alfa_is_zero(float value) { return value > -0.001f && value < 0.001f; }
