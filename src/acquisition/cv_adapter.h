// The one seam between the side-image geometry code and the image-processing library: box
// angle convention, corner order, contour search and file codecs behave here as the
// deskew and file code expect, whatever the library version does by default.
#pragma once

#include <opencv2/core.hpp>

#include <string>
#include <vector>

namespace pvk::acquisition {

// Brings a rotated box to the convention the deskew relies on: angle in [-90, 0), width
// along the angle's direction. The same rectangle is described, only width/height and the
// angle change (a quarter turn swaps the two sides).
cv::RotatedRect normaliseBoxAngle(cv::RotatedRect box);

// Minimum-area box of a contour, angle in [-90, 0).
cv::RotatedRect minAreaBox(const std::vector<cv::Point>& contour);

// The four corners of a box in a fixed order: P0 and P1 end the first side across the
// height, P2 = 2 centre - P0, P3 = 2 centre - P1.
void boxCorners(const cv::RotatedRect& box, cv::Point2f pts[4]);

// External contours of a binary image with simple chain approximation; the image is not
// changed, so lines drawn on it between passes stay for the next search.
std::vector<std::vector<cv::Point>> externalContours(const cv::Mat& binary);

// Reads an image file as stored (flags as for the codec: -1 unchanged, 0 grey, 1 colour),
// ignoring any orientation tag. An empty matrix when the file cannot be read; never throws.
cv::Mat readImageFile(const char* path, int flags);

// Writes an image file in the format of the path's extension (JPEG at quality 80). False,
// with the codec's complaint in `why`, when the file is not written; never throws.
bool writeImageFile(const char* path, const cv::Mat& img, std::string& why);

}  // namespace pvk::acquisition
