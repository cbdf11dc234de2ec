// Working images kept between documents (see geometry.h).
#include <array>
#include <memory>
#include <new>

#include "geometry/geometry.h"

namespace pvk::geometry {

namespace {

struct Bytes {
  std::unique_ptr<uint8_t[]> data;
  size_t size = 0;
};

thread_local std::array<Bytes, static_cast<size_t>(Kept::Count)> kept;

}  // namespace

cv::Mat keptImage(Kept kind, int rows, int cols, int part, int parts) {
  if (rows <= 0 || cols <= 0 || parts < 1 || part < 0 || part >= parts) return cv::Mat();
  Bytes& b = kept[static_cast<size_t>(kind)];
  const size_t one = static_cast<size_t>(rows) * static_cast<size_t>(cols);
  const size_t need = one * static_cast<size_t>(parts);
  // Grown when too small; let go when far larger than needed now, as after a long document
  // (the search's kind serves a side and then its smaller cut, which must not count as that).
  if (b.size < need || b.size / 4 > need) {
    b.data.reset();
    b.size = 0;
    b.data.reset(new uint8_t[need]);  // left unwritten: nothing is touched before it is used
    b.size = need;
  }
  return cv::Mat(rows, cols, CV_8UC1, b.data.get() + one * static_cast<size_t>(part));
}

void releaseKeptImages() {
  for (Bytes& b : kept) {
    b.data.reset();
    b.size = 0;
  }
}

}  // namespace pvk::geometry
