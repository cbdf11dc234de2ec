// The arithmetic of calibration: references and levels from the acquired rows, the LED table
// kept consistent, the LED search step, pass sizes and the feature count over the settings.
#include <algorithm>
#include <cstdio>

#include "calibration/calibration.h"
#include "core/trace.h"

namespace pvk::calibration {

std::vector<FeatureState> featureStates(bool micr, bool ir, bool uv, bool backlight) {
  const bool exists[4] = {micr, ir, uv, backlight};
  bool digit[4] = {false, false, false, false};
  std::vector<FeatureState> out;
  for (;;) {
    out.push_back({digit[0], digit[1], digit[2], digit[3]});
    int d = 0;
    while (d < 4 && (!exists[d] || digit[d])) ++d;
    if (d == 4) break;
    digit[d] = true;
    for (int k = 0; k < d; ++k) digit[k] = false;
  }
  return out;
}

int reducedLedLevel(int level, int saturation, bool reversible) {
  const float f = reversible ? 1.0f - saturation * 0.1f / 100.0f : 1.0f - saturation * 0.3f / 100.0f;
  const int step = level < 33 ? 1 : (level <= 100 ? 4 : 16);
  int next;
  if (f < 0.1f) next = std::max(level - step, 0) % 256;
  else next = std::max(std::min(level - step, static_cast<int>(static_cast<float>(level) * f) % 256), 0);
  if (step >= next) return -1;
  return next < level ? next : level - 1;
}

int blackPassRows(int dpi) {
  if (MyDev.fwVersion > 0x3000 || 16 * dpi < 800) return 32;
  return 16 * dpi / 50 + 16;
}

void whitePassSizes(int dpi, int& shortRows, int& longRows) {
  const int n = dpi * 512 / 50;
  if (MyDev.FwCapG) {
    shortRows = std::min(n, 64);
    longRows = std::min(n, 128);
  } else if (MyDev.fwVersion <= 0x3000 && !MyDev.highSpeed) {
    shortRows = longRows = n;
  } else if (MyDev.fwVersion <= 0x3000) {
    shortRows = std::min(n, 8);
    longRows = std::min(n, 64);
  } else {
    shortRows = std::min(n, 8);
    longRows = std::min(n, 32);
  }
}

void calibScratchPath(char* out, size_t size) { std::snprintf(out, size, "%s/_tmp_calib.reg", MyDev.cnfDir); }

uint8_t* sideTopRow(const ImgInfo& img) {
  return img.firstRow ? img.firstRow + static_cast<size_t>(img.trimTop) * img.rawLineBytes : nullptr;
}

}  // namespace pvk::calibration

namespace {

// Columns of a side that both its image record and its references hold.
int columnsOf(const ImgInfo& img, const CorInfoSide& c) { return std::min<int>(img.fullWidth, c.pixelsInUse); }

int planesOf(uint8_t side) { return side == 2 ? 1 : std::max<int>(MyDev.img[side].planesPerLine, 1); }

}  // namespace

void WhiteEval(uint8_t side, int rows, int sat[kColourSlots]) {
  if (side > 2) return;
  const ImgInfo& img = MyDev.img[side];
  CorInfoSide& cor = MyCorS[side];
  const uint8_t* top = pvk::calibration::sideTopRow(img);
  if (!top) return;
  rows = std::max(rows, 1);
  const int hdpi = img.dpiH;
  const int width = columnsOf(img, cor);
  for (int p = 0; p < planesOf(side); ++p) {
    uint8_t* ref = CorrInfoWhiteLevel(MyCorS, side, static_cast<uint8_t>(p));
    if (!ref) continue;
    const int slot = side == 2 ? 0 : ColVar2Fix(static_cast<int16_t>(p));
    long sum = 0;
    int count = 1, saturated = 0;
    for (int x = 0; x < width; ++x) {
      long column = 0;
      for (int r = 0; r < rows; ++r) column += top[static_cast<size_t>(r) * img.rawLineBytes + static_cast<size_t>(p) * img.planeLineBytes + x];
      const float mean = static_cast<float>(column) / static_cast<float>(rows);
      ref[x] = mean > 254.1f ? 255 : (mean > 0.0f ? static_cast<uint8_t>(mean) : 0);
      if (x >= img.trimLeft + hdpi && x <= img.trimLeft + img.trimWidth - hdpi) {
        sum += ref[x];
        ++count;
        if (mean > 252.0f) ++saturated;
      }
    }
    const long level = sum / count;
    cor.whiteLev[slot] = static_cast<uint8_t>(level < 2 ? 1 : std::min(level, 255L));
    sat[slot] = saturated * 100 / count;
  }
  if (MyDev.ledIndependent && MyAcq.greyLed == 1) {
    sat[1] = sat[2] = sat[0];
  } else if (!MyDev.ledIndependent && MyAcq.rgb) {
    sat[0] = sat[1] = sat[2] = (sat[0] + sat[1] + sat[2]) / 3;
  }
}

void BackEval(uint8_t side, uint8_t* firstRow, int rows) {
  if (side > 2 || !firstRow) return;
  const ImgInfo& img = MyDev.img[side];
  CorInfoSide& cor = MyCorS[side];
  rows = std::max(rows, 1);
  const int margin = img.dpiH / 16;
  const int lo = img.trimLeft + margin;
  const int hi = std::max(img.trimLeft + img.trimWidth - margin, 0);
  const int width = columnsOf(img, cor);
  for (int p = 0; p < planesOf(side); ++p) {
    uint8_t* ref = CorrInfoBackLevel(MyCorS, side, static_cast<uint8_t>(p));
    if (!ref) continue;
    const int slot = side == 2 ? 0 : ColVar2Fix(static_cast<int16_t>(p));
    long sum = 0;
    int count = 1;
    for (int x = 0; x < width; ++x) {
      long column = 0;
      for (int r = 0; r < rows; ++r) column += firstRow[static_cast<size_t>(r) * img.rawLineBytes + static_cast<size_t>(p) * img.planeLineBytes + x];
      const int v = static_cast<int>(static_cast<float>(column) / static_cast<float>(rows) + 0.5f);
      ref[x] = static_cast<uint8_t>(v >= 255 ? 255 : (v <= 0 ? 0 : v));
      if (x > lo && x < hi) {
        sum += ref[x];
        ++count;
      }
    }
    cor.blackLev[slot] = static_cast<uint8_t>(std::clamp(sum / count, 1L, 255L));
    if (!MyAcq.rgb) cor.blackLev[1] = cor.blackLev[2] = cor.blackLev[0];
    if (side == 2) break;
  }
}

void VerificaLed() {
  for (int s = 0; s < 2; ++s) {
    uint16_t* l = MyCorS[s].ledLev;
    if (MyDev.ledIndependent) {
      switch (MyAcq.greyLed) {
        case 3: l[1] = l[2] = 0; break;
        case 4: l[1] = l[0]; l[0] = l[2] = 0; break;
        case 5: l[2] = l[0]; l[0] = l[1] = 0; break;
        default: break;
      }
    } else if (MyAcq.greyLed != 2) {
      l[1] = l[2] = l[0];
    } else {
      l[0] = l[1] = l[2] = std::min({l[0], l[1], l[2]});
    }
    if (!MyAcq.ir) l[3] = 0;
    if (!MyAcq.uv) l[4] = 0;
  }
  if (!MyAcq.backlight) MyCorS[2].ledLev[0] = 0;
  for (int k = 1; k < kColourSlots; ++k) MyCorS[2].ledLev[k] = 0;
  if (!MyDev.bothSidesCalib) {
    for (int k = 0; k < 3; ++k) {
      uint16_t& front = MyCorS[1].ledLev[k];
      uint16_t& rear = MyCorS[0].ledLev[k];
      if (front == 0) front = rear;
      else if (rear != 0 && rear <= front) front = rear;
      else rear = front;
    }
  }
}

void WriteCalibrationError(const char* kind, int side) {
  const char* light;
  switch (MyAcq.greyLed) {
    case 2: light = "RGB"; break;
    case 1: light = "GRAY"; break;
    case 3: light = "RED"; break;
    case 4: light = "GRN"; break;
    default: light = "BLU"; break;
  }
  char text[160];
  std::snprintf(text, sizeof text, "%s - too many errors on %s calibration - %s - mode %d", light, kind ? kind : "",
                side == 0 ? "rear " : "front", MyAcq.mode);
  WriteTrace("err - ", text, false);
}
