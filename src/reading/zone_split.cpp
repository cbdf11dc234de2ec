// A zone of several text rows, or of several blocks side by side: rows and their column blocks
// are found by the row and column searches, each block is read at the running output position
// with the capacity left, blocks of a row are joined by one blank (when blanks are kept) and
// rows by CR LF. Row and block images are headers into the zone image: nothing is copied.
#include <algorithm>
#include <vector>

#include "core/trace.h"
#include "ocr/ocr.h"
#include "reading/reading.h"

namespace {

constexpr int kRowSlots = 260;
// Blocks of several columns are split again inside; the depth is capped so that pathological
// images (columns no narrower than their block) cannot exhaust the stack. Deeper blocks are read
// whole.
constexpr int kMaxDepth = 16;

// The search arguments of a zone image for its font.
struct SearchArgs {
  uint16_t rowMargin, rowGap, rowWiden;
  uint8_t darkLevel;
  int rowMaxDark;
  uint16_t colGap;
  int colMaxDark;
};

SearchArgs searchArgs(short font, int dpi, bool full) {
  SearchArgs a{};
  a.rowMargin = static_cast<uint16_t>((full ? 8 : 2) * dpi / 300);
  a.rowWiden = static_cast<uint16_t>(dpi * 8 / 300);
  if (IsBarcode(font) || font == 8 || font == 36 || font == 37) {
    a.rowGap = static_cast<uint16_t>(dpi * 8 / 300);
    a.darkLevel = IsBarcode(font) ? 180 : 150;
    a.rowMaxDark = dpi * 16 / 300;
    a.colGap = static_cast<uint16_t>(IsBarcode(font) ? dpi * 32 / 300 : dpi * 8 / 300);
    a.colMaxDark = dpi * 16 / 300;
  } else {
    a.rowGap = static_cast<uint16_t>(std::max<int>(dpi * 32 / 300, MyOcr.charHeight));
    a.darkLevel = 180;
    a.rowMaxDark = std::max<int>(MyOcr.charHeight / 2, dpi / 75);
    a.colGap = static_cast<uint16_t>(dpi * 256 / 300);
    a.colMaxDark = std::max<int>(MyOcr.charWidth / 2, dpi / 75);
  }
  return a;
}

// The 2D symbol fonts whose readers give text (PDF417, DataMatrix; a QR zone gives none).
bool symbolFont(short font) { return font == 8 || font == 36; }

// Fonts whose rows are read as one block whatever the columns.
bool oneBlockFont(short font) {
  return IsCMC7Font(font) || IsE13BFont(font) || IsMICRFont(font, false) || IsOCRBFont(font);
}

PVKImg subImage(const PVKImg& img, int x, int y, int width, int height) {
  return PVKImg{static_cast<uint16_t>(width), static_cast<uint16_t>(height), img.stride, img.dpi,
                img.data + static_cast<size_t>(y) * img.stride + static_cast<size_t>(x)};
}

// Boxes of n characters moved from block to zone coordinates.
void moveBoxes(ChInfo* info, int n, int dx, int dy) {
  if (!info) return;
  for (int i = 0; i < n; ++i) {
    info[i].left = static_cast<uint16_t>(info[i].left + dx);
    info[i].right = static_cast<uint16_t>(info[i].right + dx);
    info[i].top = static_cast<uint16_t>(info[i].top + dy);
    info[i].bottom = static_cast<uint16_t>(info[i].bottom + dy);
  }
}

// The row and column searches find a band by its dark lines of a blurred copy: a stroke that is
// only horizontal across a column search (the bars of a leading 3 or 7, a faint 1) stays light and
// the column opens inside the character, which is then read cut ('4' for '3', '/' for '7') or
// lost; a row cut close above and below reads otherwise than the same row with its paper. Bands
// of text are parted in their gaps only: each reaches halfway to its neighbours and the outer
// ones to the image's edges.
template <class Band, uint16_t Band::*Size>
void spreadBands(Band* bands, int n, int extent) {
  std::vector<int> from(n), to(n);
  for (int k = 0; k < n; ++k) {
    const int end = bands[k].start + bands[k].*Size;
    from[k] = k == 0 ? 0 : (bands[k - 1].start + bands[k - 1].*Size + bands[k].start) / 2;
    to[k] = k + 1 == n ? extent : std::max((end + bands[k + 1].start) / 2, end);
  }
  for (int k = 0; k < n; ++k) {
    bands[k].start = static_cast<uint16_t>(std::min(from[k], static_cast<int>(bands[k].start)));
    bands[k].*Size = static_cast<uint16_t>(std::max(to[k] - bands[k].start, 0));
  }
}

bool textFont(short font) { return !IsBarcode(font) && !symbolFont(font) && font != 37; }

void put(char* text, char* conf, ChInfo* info, int at, char c) {
  text[at] = c;
  conf[at] = 100;
  if (info) info[at] = ChInfo{};
}

int split(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars,
          unsigned short fullWidth, int depth) {
  if ((image.width < 64 && image.height < 256) || depth >= kMaxDepth)
    return Vx3OCRAnalizzaZone(image, zone, text, conf, info, maxChars);
  const short font = zone->font;
  const int dpi = image.dpi;
  const SearchArgs a = searchArgs(font, dpi, image.width == fullWidth);

  std::vector<RigaType> rows(kRowSlots, RigaType{});
  const int nRows = std::min(CercaRowBase(&image, rows.data(), a.rowMargin, a.rowGap, a.rowWiden, a.darkLevel,
                                          a.rowMaxDark),
                             kRowSlots);
  if (nRows <= 0) return 0;
  if (textFont(font)) spreadBands<RigaType, &RigaType::height>(rows.data(), nRows, image.height);
  const bool keepBlanks = MyOcr.modeByte != 0;
  const bool splitColumns = !oneBlockFont(MyOcr.currentFont) && !MyOcr.multiLine;
  int capacity = maxChars;
  int total = 0;
  std::vector<ClmnType> cols(kMaxColonne);
  for (int r = 0; r < nRows; ++r) {
    if (pvk::core::stopRequested()) {
      MyDev.lastResult = PVK_ERR_ABORTED;
      return 0;
    }
    const int top = std::min<int>(rows[r].start, image.height);
    const int height = std::min<int>(rows[r].height, image.height - top);
    PVKImg row = subImage(image, 0, top, image.width, height);
    if (height <= 0 || !Vx3OCRVerificaDimensioneMinima(&row, static_cast<unsigned short>(font))) continue;
    // A row after the ones read with no room left for any of it is lost: say so.
    if (total > 0 && capacity <= 1) {
      WriteTrace("war - ", "too many chars E", false);
      MyDev.lastResult = PVK_WAR_OCR_TRUNCATED;
      break;
    }
    int nCols = 1;
    cols[0] = ClmnType{0, row.width};
    if (splitColumns) {
      std::fill(cols.begin(), cols.end(), ClmnType{});
      nCols = std::min(CercaColBase(row, cols.data(), a.rowMargin, a.colGap, a.rowWiden, a.darkLevel, a.colMaxDark),
                       kMaxColonne);
      if (nCols <= 0) continue;
      if (textFont(font)) spreadBands<ClmnType, &ClmnType::width>(cols.data(), nCols, row.width);
    }
    if (nCols == 1 && nRows == 1) return Vx3OCRAnalizzaZone(row, zone, text, conf, info, static_cast<unsigned short>(capacity));
    int rowChars = 0;
    for (int c = 0; c < nCols; ++c) {
      const int left = std::min<int>(cols[c].start, row.width);
      const int width = std::min<int>(cols[c].width, row.width - left);
      PVKImg block = subImage(row, left, 0, width, row.height);
      if (width <= 0) continue;
      // A linear symbol parted by the column search from print beyond its quiet zone may be
      // narrower than the least barcode zone a host draws: the barcode reader lays the block on
      // paper and takes it from the width its bar search needs.
      const bool sized = Vx3OCRVerificaDimensioneMinima(&block, static_cast<unsigned short>(font));
      if (!sized && !IsBarcode(font)) continue;
      // Once the last byte went to a blank or a line end there is no room for a reading.
      if (capacity == 0) continue;
      ChInfo* at = info ? info + total : nullptr;
      const auto room = static_cast<unsigned short>(capacity);
      // A PDF417 block is no zone of rows: the column search parts a symbol at its light
      // stretches, and a search of each part would only find that part again, and again.
      int n;
      if (!sized)
        n = pvk::reading::fitCount(Vx3OCRReadBarcodeOrPDF(block, zone, text + total, conf + total, room), text + total,
                                   conf + total, room);
      else if (nCols == 1 || font == 8)
        n = Vx3OCRAnalizzaZone(block, zone, text + total, conf + total, at, room);
      else
        n = split(block, zone, text + total, conf + total, at, room, fullWidth, depth + 1);
      if (n < 0) return n;
      if (n == 0) continue;
      moveBoxes(at, n, left, top);
      rowChars += n;
      total += n;
      capacity = std::max(capacity - n, 0);
      if (keepBlanks) {
        if (capacity == 0) {
          WriteTrace("war - ", "too many chars D", false);
          MyDev.lastResult = PVK_WAR_OCR_TRUNCATED;
          return total;
        }
        put(text, conf, info, total++, ' ');
        ++rowChars;
        --capacity;
      }
    }
    // The column search parts symbols side by side, but a light stretch inside one symbol (the
    // 3-module space after a 10-mil PDF417 start pattern, a light module column of a DataMatrix)
    // parts it too, and no piece reads: such a row is read whole.
    const bool readWhole = rowChars == 0 && nCols > 1 && symbolFont(font) && capacity > 0;
    if (readWhole && nRows == 1) return Vx3OCRAnalizzaZone(row, zone, text, conf, info, static_cast<unsigned short>(capacity));
    if (readWhole) {
      ChInfo* at = info ? info + total : nullptr;
      const int n = Vx3OCRAnalizzaZone(row, zone, text + total, conf + total, at, static_cast<unsigned short>(capacity));
      if (n < 0) return n;
      if (n == 0) continue;
      moveBoxes(at, n, 0, top);
      rowChars = n;
      total += n;
      capacity = std::max(capacity - n, 0);
    } else if (rowChars == 0) {
      continue;
    } else if (keepBlanks) {  // the blank after the last block is taken back
      --total;
      --rowChars;
      ++capacity;
      text[total] = conf[total] = '\0';
      if (rowChars == 0) continue;
    }
    if (capacity <= 1) {
      WriteTrace("war - ", "too many chars E", false);
      MyDev.lastResult = PVK_WAR_OCR_TRUNCATED;
      return total;
    }
    put(text, conf, info, total++, '\r');
    put(text, conf, info, total++, '\n');
    capacity -= 2;
  }
  if (total > 2 && text[total - 2] == '\r' && text[total - 1] == '\n') total -= 2;
  if (total <= 0) return total;
  if (total < maxChars) text[total] = conf[total] = '\0';
  if ((MyOcr.multiLine || font == 1) && std::find(text, text + total, '\r') != text + total)
    pvk::reading::bestRow(text, conf, info, total, image.height);
  return total;
}

}  // namespace

int Vx3OCRSpezzaInZone(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars,
                       unsigned short fullWidth) {
  if (!zone || !text || !conf || maxChars == 0) return 0;
  // The best row is chosen by its characters' boxes: without the caller's, the zone keeps its own.
  std::vector<ChInfo> own;
  if (info == nullptr) {
    own.assign(maxChars, ChInfo{});
    info = own.data();
  }
  return split(image, zone, text, conf, info, maxChars, fullWidth, 0);
}
