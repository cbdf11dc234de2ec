// Time per zone of each geometry operation the DataMatrix outline search runs (blur, grey
// shaping, contour tree, box, upright warp, Otsu's level), ours beside the image library's
// plain call on the same input in the same run: zones without a symbol (text, ruled lines,
// guilloche, noise) of 600 x 240 pixels at 300 dpi and 200 x 200 blocks cut from them.
//
// bench_symbol_ops [ROUNDS] [OPERATION]: the median of ROUNDS (default 15) runs over all zones;
// with OPERATION, only the operations whose names start with it.
#include <opencv2/imgproc.hpp>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <vector>

#include "../bench_timing.h"
#include "geometry/geometry.h"
#include "symbol_corpus.h"

namespace {

using pvk::bench::medianMicros;
namespace geo = pvk::geometry;

struct Zone {
  cv::Mat grey, blurred, shaped, bin;
  std::vector<cv::Point> outline;
  cv::Point2f from[3];
};

// The zones with what each operation is given: the blur, its shaping, the dark of the shaping
// a little below Otsu's level (where the search's thresholds meet the most borders in text), that
// binary's largest contour.
std::vector<Zone> zones() {
  std::vector<Zone> out;
  for (const pvk::corpus::Sample& s : pvk::corpus::negativeSet(4, 600, 240, 300, 11)) {
    const cv::Mat whole(s.image.height, s.image.width, CV_8UC1, const_cast<uint8_t*>(s.image.pixels.data()));
    for (const cv::Mat& g : {whole.clone(), whole(cv::Rect(200, 20, 200, 200)).clone()}) {
      Zone z;
      z.grey = g;
      cv::GaussianBlur(g, z.blurred, cv::Size(15, 15), 0);
      z.shaped = geo::dilateErodeSquare(z.blurred, 7, 15);
      cv::threshold(z.shaped, z.bin, geo::otsuLevel(z.blurred) - 5, 255, cv::THRESH_BINARY_INV);
      double best = -1;
      for (const auto& c : geo::treeContours(z.bin))
        if (cv::contourArea(c) > best) best = cv::contourArea(c), z.outline = c;
      if (z.outline.size() < 3) z.outline = {{10, 10}, {80, 12}, {78, 70}, {9, 66}};
      cv::Point2f p[4];
      geo::boxCorners(geo::minAreaBox(z.outline), p);
      z.from[0] = p[1], z.from[1] = p[2], z.from[2] = p[3];
      out.push_back(z);
    }
  }
  return out;
}

struct Op {
  const char* name;
  std::function<void(const Zone&)> ours, library;
};

const Op kOps[] = {
    {"blur 15 x 15", [](const Zone& z) { geo::squareBlur(z.grey, 15); },
     [](const Zone& z) {
       cv::Mat b;
       cv::GaussianBlur(z.grey, b, cv::Size(15, 15), 0);
     }},
    {"shaping 7 / 15", [](const Zone& z) { geo::dilateErodeSquare(z.blurred, 7, 15); },
     [](const Zone& z) {
       cv::Mat o;
       cv::dilate(z.blurred, o, cv::getStructuringElement(cv::MORPH_RECT, {7, 7}));
       cv::erode(o, o, cv::getStructuringElement(cv::MORPH_RECT, {15, 15}));
     }},
    {"contour tree", [](const Zone& z) {
       std::vector<cv::Vec4i> h;
       geo::treeContours(z.bin, &h);
     },
     [](const Zone& z) {
       std::vector<std::vector<cv::Point>> c;
       std::vector<cv::Vec4i> h;
       cv::findContours(z.bin, c, h, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE);
     }},
    {"box", [](const Zone& z) { geo::minAreaBox(z.outline); }, [](const Zone& z) { cv::minAreaRect(z.outline); }},
    {"upright warp", [](const Zone& z) { geo::uprightWarp(z.grey, z.from, 120, 120); },
     [](const Zone& z) {
       const cv::Point2f to[3] = {{0, 0}, {120, 0}, {120, 120}};
       cv::Mat o;
       cv::warpAffine(z.grey, o, cv::getAffineTransform(z.from, to), {120, 120}, cv::INTER_CUBIC, cv::BORDER_REFLECT);
     }},
    {"Otsu's level", [](const Zone& z) { geo::otsuLevel(z.blurred); },
     [](const Zone& z) {
       cv::Mat o;
       cv::threshold(z.blurred, o, 0, 255, cv::THRESH_BINARY | cv::THRESH_OTSU);
     }},
};

// Median per-zone times of ours and the library's over the zones of one size, the two timed in
// turn each round so that a busy machine weighs on both alike.
void report(const Op& op, const std::vector<const Zone*>& zs, int rounds, const char* size) {
  std::vector<double> ours, lib;
  for (int i = 0; i < rounds; ++i) {
    lib.push_back(medianMicros(1, [&] { for (const Zone* z : zs) op.library(*z); }) / zs.size());
    ours.push_back(medianMicros(1, [&] { for (const Zone* z : zs) op.ours(*z); }) / zs.size());
  }
  const double o = pvk::bench::median(rounds, [&, i = 0]() mutable { return ours[i++]; });
  const double l = pvk::bench::median(rounds, [&, i = 0]() mutable { return lib[i++]; });
  std::printf("%-16s %-10s %10.1f %12.1f %8.2f\n", op.name, size, o, l, o / l);
}

}  // namespace

int main(int argc, char** argv) {
  const int rounds = argc > 1 && std::atoi(argv[1]) > 0 ? std::atoi(argv[1]) : 15;
  const std::vector<Zone> all = zones();
  std::vector<const Zone*> wide, block;
  for (const Zone& z : all) (z.grey.cols == 600 ? wide : block).push_back(&z);
  std::printf("bench_symbol_ops: %zu zones, median of %d runs\n", all.size(), rounds);
  std::printf("%-16s %-10s %10s %12s %8s\n", "operation", "size", "ours us", "library us", "ratio");
  for (const Op& op : kOps) {
    if (argc > 2 && std::strncmp(op.name, argv[2], std::strlen(argv[2])) != 0) continue;
    report(op, wide, rounds, "600 x 240");
    report(op, block, rounds, "200 x 200");
  }
  return 0;
}
