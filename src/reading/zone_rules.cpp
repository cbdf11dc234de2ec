// The small rules around a zone reading: the minimum size a font needs, the E13B symbol
// mapping, confidences folded into 0..100, and the fields of an Italian-cheque DataMatrix.
#include <algorithm>
#include <cstdlib>
#include <cstring>

#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

void replaceAll(char* text, char from, char to) {
  for (char* p = text; *p; ++p)
    if (*p == from) *p = to;
}

// n characters of text from pos into a NUL-terminated field of size n + 1.
void field(char* out, const char* text, int pos, int n) {
  std::memcpy(out, text + pos, static_cast<size_t>(n));
  out[n] = '\0';
}

bool allOf(const char* text, int n, char c) {
  for (int i = 0; i < n; ++i)
    if (text[i] != c) return false;
  return true;
}

}  // namespace

bool Vx3OCRVerificaDimensioneMinima(const PVKImg* image, unsigned short font) {
  if (!image) return false;
  const int dpi = image->dpi;
  const int m = dpi * 8 / 300;
  if (image->width < m || image->height < m) return false;
  if (IsBarcode(static_cast<short>(font))) return image->width >= dpi * 200 / 300;
  if (font == 36 || font == 37) {
    // A DataMatrix can be as small as 10 x 10 modules of 10 mil, a tenth of an inch square; a
    // QR zone keeps its larger floor.
    const int n = font == 36 ? dpi * 30 / 300 : dpi * 80 / 300;
    return image->height >= n && image->width >= n;
  }
  return true;
}

void E13BRemapping(char* text, int count) {
  if (!text || count <= 0 || !MyOcr.remapPending || MyOcr.e13bMapping == 0) return;
  // Replacements in order, each over the whole text. Mapping 1 swaps '=' and ';' through 'X'
  // (so an 'X' already in the text becomes ';' too).
  static const char* const kMappings[] = {"=X;=X;", ":A=B<C;D", ":-=#<$;%"};
  if (MyOcr.e13bMapping > 3) {
    WriteTrace("err - ", "unexpected E13B Mapping", MyOcr.e13bMapping, false);
    return;
  }
  for (const char* p = kMappings[MyOcr.e13bMapping - 1]; *p; p += 2) replaceAll(text, p[0], p[1]);
  MyOcr.remapPending = 0;
}

namespace pvk::reading {

void foldConfidences(char* conf, int count) {
  for (int i = 0; i < count; ++i) {
    const auto c = static_cast<unsigned char>(conf[i]);
    if (c > 127)
      conf[i] = 1;
    else if (c > 100)
      conf[i] = 100;
  }
}

void italianChequeDataMatrix(const char* text, int count) {
  if (count <= 28) return;
  ITACheckInfo& ita = MyITACheck;
  ita.dmType = text[0];
  ita.dmTypeDigit = (text[0] >= '1' && text[0] <= '7') ? static_cast<uint8_t>(text[0] - '0') : 0;
  field(ita.dmAbi, text, 1, 5);
  field(ita.dmCab, text, 6, 5);
  field(ita.dmChequeNo, text, 11, 10);
  field(ita.dmField8, text, 21, 8);
  if (count > 39) {
    char digits[12];
    field(digits, text, 29, 11);
    // The amount may pass 32 bits: eleven digits are up to 10^11 - 1 hundredths.
    const long long value = std::strtoll(digits, nullptr, 10);
    if (allOf(digits, 11, '0') || allOf(digits, 11, ' ') || value == 0) {
      ita.dmAmount[0] = '\0';
      ita.dmAmountFmt[0] = '\0';
    } else {
      std::memcpy(ita.dmAmount, digits, sizeof digits);
      std::memcpy(ita.dmAmountFmt, digits, 9);
      ita.dmAmountFmt[9] = ',';
      std::memcpy(ita.dmAmountFmt + 10, digits + 9, 2);
      ita.dmAmountFmt[12] = '\0';
    }
  }
  if (count > 40 && count <= 80) {
    const int n = std::min(count - 40, 40);
    field(ita.dmPayee, text, 40, n);
    for (int i = n - 1; i >= 0 && ita.dmPayee[i] == ' '; --i) ita.dmPayee[i] = '\0';
  }
}

}  // namespace pvk::reading
