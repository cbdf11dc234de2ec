// A synthetic two-sided cheque for tests: a bright rectangle turned by a known angle on the
// scanner's dark background, with dark bars standing in for printed text, as grey or R, G, B
// planes; and the plain raw stream a scanner without magnetic head or backlight sends for it
// (per raw line and plane: front pixel, rear pixel, pixel 0 first). Header only, no library.
#pragma once

#include <cmath>
#include <cstdint>
#include <vector>

namespace pvk::testing {

struct ChequeSpec {
  int sensorPixels = 2592;   // pixels per side per line
  int lines = 1100;          // lines of the stream
  double centreX = 1296, centreY = 520;
  double width = 1800, height = 800;  // document size in pixels
  double angleDeg = 0;       // turn of the document, positive clockwise on screen
  uint8_t background = 25;
  uint8_t paper[3] = {215, 205, 195};  // R, G, B of the paper (grey uses the first)
  uint8_t ink = 60;
};

// One side as planes of sensorPixels x lines bytes.
struct SidePlanes {
  int width = 0, height = 0;
  std::vector<std::vector<uint8_t>> planes;
  uint8_t at(int p, int x, int y) const { return planes[p][static_cast<size_t>(y) * width + x]; }
};

inline SidePlanes drawSide(const ChequeSpec& s, int planes, bool mirrored) {
  SidePlanes out;
  out.width = s.sensorPixels;
  out.height = s.lines;
  out.planes.assign(planes, std::vector<uint8_t>(static_cast<size_t>(s.sensorPixels) * s.lines, s.background));
  const double a = s.angleDeg * M_PI / 180.0;
  const double c = std::cos(a), sn = std::sin(a);
  for (int y = 0; y < s.lines; ++y) {
    for (int x = 0; x < s.sensorPixels; ++x) {
      const double dx = (mirrored ? (s.sensorPixels - 1 - x) : x) - s.centreX;
      const double dy = y - s.centreY;
      // Document coordinates: u along the document's width, v along its height.
      const double u = dx * c + dy * sn;
      const double v = -dx * sn + dy * c;
      if (std::fabs(u) > s.width / 2 || std::fabs(v) > s.height / 2) continue;
      // Bars of "text": every 80 rows a band 12 rows high over the left two thirds.
      const int row = static_cast<int>(v + s.height / 2);
      const bool text = row > 100 && (row % 80) < 12 && u < s.width / 6;
      for (int p = 0; p < planes; ++p)
        out.planes[p][static_cast<size_t>(y) * s.sensorPixels + x] = text ? s.ink : s.paper[p < 3 ? p : 0];
    }
  }
  return out;
}

// The plain raw stream of both sides: per line, per plane, the front and rear pixels in pairs.
inline std::vector<uint8_t> plainStream(const SidePlanes& front, const SidePlanes& rear) {
  const int planes = static_cast<int>(front.planes.size());
  std::vector<uint8_t> out;
  out.reserve(static_cast<size_t>(front.height) * planes * front.width * 2);
  for (int y = 0; y < front.height; ++y)
    for (int p = 0; p < planes; ++p)
      for (int x = 0; x < front.width; ++x) {
        out.push_back(front.at(p, x, y));
        out.push_back(rear.at(p, x, y));
      }
  return out;
}

}  // namespace pvk::testing
