// Character sets and shape classes: which characters the engine may answer with for the
// current font and document type, and which may stand low, fill the line height or fill the
// nominal width. DefineValidSet rebuilds them before each text line is recognised.
#include <cstring>
#include <initializer_list>

#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

// A table with the characters of text (ranges written "a-z") and the extra byte values.
constexpr CharTable table(const char* text, std::initializer_list<unsigned> extra = {}) {
  CharTable t{};
  for (size_t i = 0; text[i] != '\0'; ++i) {
    const auto c = static_cast<unsigned char>(text[i]);
    if (text[i + 1] == '-' && text[i + 2] != '\0') {
      for (unsigned k = c; k <= static_cast<unsigned char>(text[i + 2]); ++k) t[k] = 1;
      i += 2;
    } else {
      t[c] = 1;
    }
  }
  for (unsigned e : extra) t[e] = 1;
  return t;
}

}  // namespace

// Ranges are written x-y; a lone '-' stands last or first so that it is not read as a range.
const CharTable IsLow_ = table("',.acemnorsuvwxz-");
const CharTable IsNotLow_ = table("\"#$%&()/0-9?@A-Z[\\]^`{|}", {0x80, 0xA6});
const CharTable ISFullHeight_ = table("!#$%&()0-9?@A-Z[]dfghijklpqty", {0x80, 0xA5, 0xC7});
const CharTable IsNotFullHeight_ = table("\"',.^_`acemnorsuvwxyz~-");
const CharTable ISFullWidth_ = table("02-9?@A-HJ-Z[a-hkmnopqs-z", {0xA5, 0xC7});
const CharTable IsNumero = table("*+/0-9<=>-");
const CharTable IsLettera = table("A-Za-z", {0xA6, 0xC7});
const CharTable IsMaiuscolo = table("A-Z", {0xA5, 0xC7});
const CharTable IsMinuscolo = table("a-z");

CharTable NumSet{};
CharTable AlfaSet{};
CharTable AlfaNumSet{};
CharTable TmpSet{};
uint8_t* ValidSet = nullptr;
CharTable IsLow{};
CharTable IsNotLow{};
CharTable IsFullHeight{};
CharTable IsNotFullHeight{};
CharTable IsFullWidth{};

int32_t SogliaOCR = 409;
int32_t SogliaOCRPerHamming = 140;
int32_t SogliaOCRPerHamming_1Zone = 70;
uint16_t w_zero_stretto_O_largo = 0;
uint16_t delta_zero_stretto_O_largo = 0;

void Change_NumSet(unsigned char c, uint8_t value) { NumSet[c] = value; }
void Change_AlfaSet(unsigned char c, uint8_t value) { AlfaSet[c] = value; }
void Change_AlfaNumSet(unsigned char c, uint8_t value) { AlfaNumSet[c] = value; }
void Change_TmpSet(unsigned char c, uint8_t value) { TmpSet[c] = value; }

namespace {

void copyShapeFlags(unsigned char c, unsigned char m) {
  IsNotLow[c] = IsNotLow[m];
  IsLow[c] = IsLow[m];
  IsFullHeight[c] = IsFullHeight[m];
  IsNotFullHeight[c] = IsNotFullHeight[m];
  IsFullWidth[c] = IsFullWidth[m];
}

}  // namespace

void Change_AlfaNumSet_Come(unsigned char c, unsigned char m) {
  AlfaNumSet[c] = AlfaNumSet[m];
  copyShapeFlags(c, m);
}

void Change_AlfaSet_Come(unsigned char c, unsigned char m) {
  AlfaSet[c] = AlfaSet[m];
  copyShapeFlags(c, m);
}

bool IsValid(unsigned char c) { return ValidSet != nullptr && ValidSet[c] == 1; }

namespace {

using Chars = const char*;

void add(CharTable& set, Chars chars) {
  for (; *chars != '\0'; ++chars) set[static_cast<unsigned char>(*chars)] = 1;
}

void remove(CharTable& set, Chars chars) {
  for (; *chars != '\0'; ++chars) set[static_cast<unsigned char>(*chars)] = 0;
}

void setFlag(CharTable& flags, Chars chars, uint8_t value) {
  for (; *chars != '\0'; ++chars) flags[static_cast<unsigned char>(*chars)] = value;
}

void addRange(CharTable& set, char from, char to) {
  for (int c = from; c <= to; ++c) set[static_cast<unsigned char>(c)] = 1;
}

void digitsOnly(CharTable& set) {
  set.fill(0);
  addRange(set, '0', '9');
}

bool payeeHas(char c) {
  const char* text = MyITACheck.expPayee;
  return std::memchr(text, c, strnlen(text, sizeof MyITACheck.expPayee)) != nullptr;
}

uint8_t* inForce(CharTable& set) { return set.data(); }

// The four working sets from nothing: digits in NumSet and AlfaNumSet, capitals in AlfaSet
// and AlfaNumSet.
void digitsAndCapitals() {
  NumSet.fill(0);
  AlfaSet.fill(0);
  AlfaNumSet.fill(0);
  TmpSet.fill(0);
  addRange(NumSet, '0', '9');
  addRange(AlfaNumSet, '0', '9');
  addRange(AlfaSet, 'A', 'Z');
  addRange(AlfaNumSet, 'A', 'Z');
}

// Steps common to every font: templates, the base sets and the common punctuation.
void buildBaseSets() {
  IsNotLow = IsNotLow_;
  IsLow = IsLow_;
  IsFullHeight = ISFullHeight_;
  IsFullWidth = ISFullWidth_;
  IsNotFullHeight = IsNotFullHeight_;

  digitsAndCapitals();
  if (MyOcr.lowerCase != 0 && !SoloMaiuscolo) {
    addRange(AlfaSet, 'a', 'z');
    addRange(AlfaNumSet, 'a', 'z');
  }
  if (MyOcr.typeDoc == 0 || MyOcr.typeDoc == 1) {
    for (CharTable* set : {&AlfaNumSet, &AlfaSet, &NumSet}) add(*set, ".,-+*/<>");
    add(AlfaNumSet, "!?");
    add(AlfaSet, "!?");
    setFlag(IsLow, ".,-+*", 1);
    setFlag(IsLow, "/<>!?", 0);
  }
}

// The cheque-field microperforation fonts: sets rebuilt without lower case or punctuation,
// then the number, payee or amount field's additions. Null for 35, 40 and 41.
uint8_t* microperforationSet(short font) {
  SogliaOCRPerHamming_1Zone = 50;
  SogliaOCRPerHamming = 150;
  setFlag(IsLow, "/=", 1);
  digitsAndCapitals();
  IsFullWidth['I'] = 0;
  IsFullHeight['/'] = 0;
  IsNotLow['/'] = 0;
  setFlag(IsFullWidth, "-'", 0);
  setFlag(IsFullHeight, "-'", 0);

  auto slash = [](CharTable& set) {
    set['/'] = 1;
    IsLow['/'] = 1;
    IsFullHeight['/'] = 0;
    IsNotLow['/'] = 0;
  };
  switch (font) {
    case 935: case 938: case 941:
      return inForce(NumSet);
    case 936: case 939: case 942:
      if (payeeHas('\'')) AlfaNumSet['\''] = 1;
      if (payeeHas('-')) AlfaNumSet['-'] = 1;
      slash(AlfaNumSet);
      add(AlfaNumSet, "@&*#");
      setFlag(IsLow, "@&*#", 0);
      return inForce(AlfaNumSet);
    case 937: case 940: case 943:
      slash(NumSet);
      add(NumSet, "*#");
      setFlag(IsLow, "*#", 0);
      NumSet[','] = 1;
      IsLow[','] = 1;
      return inForce(NumSet);
    default:
      return nullptr;
  }
}

// The ABI payee font 945: letters, digits unless ForzaSoloAlfa, and the punctuation that the
// expected payee text holds.
uint8_t* payee945Set() {
  SogliaOCRPerHamming_1Zone = 70;
  SogliaOCRPerHamming = 150;
  AlfaNumSet.fill(0);
  if (!ForzaSoloAlfa) addRange(AlfaNumSet, '0', '9');
  addRange(AlfaNumSet, 'A', 'Z');
  if (!SoloMaiuscolo) addRange(AlfaNumSet, 'a', 'z');
  IsLow['*'] = 1;
  IsFullWidth['I'] = 0;
  IsFullHeight['/'] = 0;
  IsFullWidth['*'] = 0;
  IsFullHeight['*'] = 0;
  for (char c : {'\'', '-'}) {
    if (!payeeHas(c)) continue;
    AlfaNumSet[static_cast<unsigned char>(c)] = 1;
    IsFullWidth[static_cast<unsigned char>(c)] = 0;
    IsFullHeight[static_cast<unsigned char>(c)] = 0;
  }
  if (payeeHas('/')) AlfaNumSet['/'] = 1;
  add(AlfaNumSet, "@&*#");
  return inForce(AlfaNumSet);
}

// The set in force for the font, after the base sets are built; null when it has none.
uint8_t* chooseSet(short font, uint16_t typeDoc) {
  if (font == 39 || font == 38) {
    SogliaOCRPerHamming_1Zone = 70;
    SogliaOCRPerHamming = 140;
    digitsOnly(NumSet);
    add(NumSet, font == 39 ? "-" : "+<>");
    return inForce(NumSet);
  }
  if (font == 202) {
    SogliaOCR = 307;
    SogliaOCRPerHamming_1Zone = 60;
    SogliaOCRPerHamming = 160;
    add(NumSet, "=:;><");
    setFlag(IsLow, "=:;><", 0);
    return inForce(NumSet);
  }
  if (IsMICROPERFORATIONFont(font, true)) return microperforationSet(font);
  if (font == 945) return payee945Set();
  if (font == 944) {
    SogliaOCRPerHamming_1Zone = 70;
    SogliaOCRPerHamming = 140;
    digitsOnly(NumSet);
    add(NumSet, ",*#");
    setFlag(IsFullWidth, ",*#", 0);
    setFlag(IsFullHeight, ",*#", 0);
    return inForce(NumSet);
  }
  if (font == 4) {
    add(NumSet, typeDoc == 3 ? "-" : "#*+,-.<>/");
    return inForce(NumSet);
  }
  if (font == 5) {
    add(NumSet, "#*+,-.<>/JNPX");
    return inForce(NumSet);
  }
  if (font == 2) {
    add(NumSet, "#*+,.<>CPRUXZ]");
    return inForce(NumSet);
  }
  if (font == 3 && typeDoc == 2) {
    remove(NumSet, ".,-/*");
    add(NumSet, "+<>");
    remove(AlfaNumSet, ".,-/*O");
    add(AlfaNumSet, "+<>");
    return inForce(NumSet);
  }
  if (font == 10 || font == 12) return inForce(AlfaSet);
  if (font == 3 || font == 204) {
    addRange(NumSet, 'A', 'Z');
    add(NumSet, "#*+,-.<>'/%&");
    return inForce(NumSet);
  }
  if (font == 9) {
    add(AlfaNumSet, typeDoc == 12 || typeDoc == 13 ? "#*+,-.<>/%&" : "*+,-.<>/&");
    return inForce(AlfaNumSet);
  }
  if (font == 1) {
    digitsOnly(NumSet);
    add(NumSet, ":=<;?");
    setFlag(IsLow, ":=<;?", 0);
    return inForce(NumSet);
  }
  if (font == 11) return inForce(NumSet);
  if (font == 205) {
    NumSet['/'] = 1;
    return inForce(NumSet);
  }
  return nullptr;
}

}  // namespace

bool DefineValidSet() {
  ValidSet = nullptr;
  w_zero_stretto_O_largo = 0;
  delta_zero_stretto_O_largo = 0;
  buildBaseSets();

  const short font = MyOcr.currentFont;
  SogliaOCR = 409;
  SogliaOCRPerHamming_1Zone = 70;
  SogliaOCRPerHamming = 140;
  if (font == 1) {
    SogliaOCRPerHamming_1Zone = 50;
    IsFullWidth['2'] = 0;
  }

  ValidSet = chooseSet(font, MyOcr.typeDoc);
  if (ValidSet == nullptr) {
    WriteTrace("err - ", "Missing valid set definition", false);
    return false;
  }
  return true;
}
