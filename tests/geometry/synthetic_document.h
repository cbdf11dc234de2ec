// Synthetic cheque-like documents with known ground truth: an upright page (light noisy paper,
// dark word blocks, a codeline band, a marker square at the top-left and two small fiducials),
// turned and shifted onto a darker noisy background as wide as the sensor, then blurred.
#pragma once

#include <opencv2/core.hpp>

#include <vector>

namespace pvk::testing {

struct DocSpec {
  int docW = 2040, docH = 870;        // page size in pixels at the horizontal dpi
  int sensorW = 2592, sensorH = 1300; // scene size before any vertical subsampling
  double angleDeg = 0;                // counter-clockwise turn of the page
  cv::Point2f centre{1296, 640};      // page centre in the scene
  unsigned seed = 1;
  bool tornCorner = false;            // a triangle missing at the bottom-right
  bool darkBand = false;              // a dark vertical band across the page
  bool twoPieces = false;             // the page cut in two with a gap between
  int gap = 24;                       // gap between the two pieces
  bool dust = false;                  // small specks on the background
};

struct Synthetic {
  cv::Mat page;                   // upright page, docH x docW
  cv::Mat scene;                  // sensorH x sensorW
  static constexpr int kMarker = 60;     // marker square side, at (40, 40)
  static constexpr int kFiducial = 24;   // fiducials at the top-right and bottom-left
};

// The upright page alone (deterministic for a seed).
cv::Mat makePage(int w, int h, unsigned seed);
// Page and scene for a spec.
Synthetic makeDocument(const DocSpec& spec);
// Centroid of the dark pixels (< 100) in a window; (-1, -1) when there are none.
cv::Point2f darkCentroid(const cv::Mat& img, cv::Rect window);
// Normalised correlation of two same-size images (the second resized to the first when not).
double correlation(const cv::Mat& a, const cv::Mat& b);
// Angle in degrees between the marker-to-top-right-fiducial line of an output page and the
// horizontal; large when either is missing.
double residualSkew(const cv::Mat& out, int docW, int docH);

}  // namespace pvk::testing
