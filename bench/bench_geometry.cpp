// Time per side of the side geometry after an acquisition: find the document, crop it and record
// the deskew, then make the output image (which applies the deskew and resamples), for one
// 300 dpi grey side and one colour side. Reference: one plain warp of the whole side plane.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

#include "geometry/geometry.h"
#include "../tests/geometry/side_buffer.h"
#include "../tests/geometry/synthetic_document.h"
#include "bench_timing.h"

using namespace pvk::testing;
using pvk::bench::Clock;

namespace {

using pvk::bench::ms;

using pvk::bench::median;

// One side: copy the scene in (not timed), crop + record, output at the same dpi.
double sideOnce(const Synthetic& s, const DocSpec& spec, int planes) {
  SideBuffer side(spec.sensorW, spec.sensorH, planes, planes, 300, 300);
  for (int p = 0; p < planes; ++p) {
    cv::Mat plane;
    s.scene.convertTo(plane, CV_8U, 1.0 - 0.15 * p);
    putPlane(side.front, p, plane);
  }
  OutputImage out(spec.docW + 64, spec.docH + 64, planes, 300, 300);
  short edge = 0;
  char err[40], info[40], msg[64];
  auto t0 = Clock::now();
  bool ok = PVKDeskewWrapStamp(&side.front, nullptr, false, false, false, false, false, edge, false, err, info,
                               nullptr, 0, 0, true);
  ok = ok && PVKResize2(&side.front, 1, &out.rec, 0, 0, false, false, false, false, false, msg);
  auto t1 = Clock::now();
  if (!ok) std::printf("  side failed: %s %s\n", err, msg);
  return ms(t1 - t0);
}

double referenceWarp(const Synthetic& s) {
  cv::Mat m = cv::getRotationMatrix2D(cv::Point2f(s.scene.cols / 2.0f, s.scene.rows / 2.0f), 3.0, 1.0), out;
  auto t0 = Clock::now();
  cv::warpAffine(s.scene, out, m, s.scene.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
  return ms(Clock::now() - t0);
}

}  // namespace

int main() {
  MyDev.img[1].dpiH = MyDev.img[1].dpiV = 300;
  DocSpec spec;
  spec.angleDeg = 4.0;
  Synthetic s = makeDocument(spec);
  const int runs = 5;
  double ref = median(runs, [&] { return referenceWarp(s); });
  double grey = median(runs, [&] { return sideOnce(s, spec, 1); });
  double colour = median(runs, [&] { return sideOnce(s, spec, 3); });
  std::printf("side geometry, %dx%d side at 300 dpi, document %dx%d turned %.0f degrees (median of %d)\n",
              spec.sensorW, spec.sensorH, spec.docW, spec.docH, spec.angleDeg, runs);
  std::printf("  reference: one warp of a whole side plane   %8.2f ms\n", ref);
  std::printf("  grey side: detect + crop + output           %8.2f ms  (%.1f x reference)\n", grey, grey / ref);
  std::printf("  colour side: detect + crop + output          %8.2f ms  (%.1f x reference)\n", colour, colour / ref);
  return 0;
}
