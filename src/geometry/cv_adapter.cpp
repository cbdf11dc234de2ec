// Box convention, contours and file codecs as the side-image geometry expects them.
#include "geometry/geometry.h"

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/imgproc/imgproc_c.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <memory>
#include <utility>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include <dlfcn.h>

#include "core/atomic_file.h"
#include "core/regular_file.h"

namespace pvk::geometry {

namespace {

// Far above any side image a file can hold for the library (1 GiB).
constexpr size_t kMostImageFileBytes = size_t{1} << 30;

// The image codecs are loaded when a file is first read or written, not with the library: they
// bring a dozen libraries of formats a scanner never meets, and some 37 MiB of memory, into
// the host's process at start. Null where they cannot be loaded.
struct Codecs {
  cv::Mat (*decode)(cv::InputArray, int) = nullptr;
  bool (*encode)(const cv::String&, cv::InputArray, std::vector<uchar>&, const std::vector<int>&) = nullptr;
};

template <typename Fn>
void take(void* lib, const char* name, Fn& fn) {
  void* at = dlsym(lib, name);
  static_assert(sizeof at == sizeof fn, "a function's address is a data pointer's size");
  std::memcpy(&fn, &at, sizeof fn);
}

const Codecs& codecs() {
  static const Codecs loaded = [] {
    Codecs c;
    void* lib = dlopen(PVK_IMAGE_CODECS, RTLD_NOW | RTLD_LOCAL);
    if (lib == nullptr) return c;
    take(lib, "_ZN2cv8imdecodeERKNS_11_InputArrayEi", c.decode);
    take(lib,
         "_ZN2cv8imencodeERKNSt7__cxx1112basic_stringIcSt11char_traitsIcESaIcEEERKNS_11_InputArrayERSt6vectorIhSaIhEERKS"
         "B_IiSaIiEE",
         c.encode);
    return c;
  }();
  return loaded;
}

}  // namespace

cv::RotatedRect normaliseBoxAngle(cv::RotatedRect box) {
  if (!std::isfinite(box.angle)) return box;
  float a = box.angle;
  // Each quarter turn of the angle describes the same rectangle with its sides swapped.
  while (a >= 0.0f) {
    a -= 90.0f;
    std::swap(box.size.width, box.size.height);
  }
  while (a < -90.0f) {
    a += 90.0f;
    std::swap(box.size.width, box.size.height);
  }
  box.angle = a;
  return box;
}

cv::RotatedRect minAreaBox(const std::vector<cv::Point>& contour) {
  return normaliseBoxAngle(cv::minAreaRect(contour));
}

void boxCorners(const cv::RotatedRect& box, cv::Point2f pts[4]) {
  const double rad = box.angle * CV_PI / 180.0;
  const double b = std::cos(rad) * 0.5;
  const double a = std::sin(rad) * 0.5;
  const double w = box.size.width, h = box.size.height;
  const double cx = box.center.x, cy = box.center.y;
  pts[0] = cv::Point2f(static_cast<float>(cx - a * h - b * w), static_cast<float>(cy + b * h - a * w));
  pts[1] = cv::Point2f(static_cast<float>(cx + a * h - b * w), static_cast<float>(cy - b * h - a * w));
  pts[2] = cv::Point2f(static_cast<float>(2 * cx - pts[0].x), static_cast<float>(2 * cy - pts[0].y));
  pts[3] = cv::Point2f(static_cast<float>(2 * cx - pts[1].x), static_cast<float>(2 * cy - pts[1].y));
}

int otsuLevel(const cv::Mat& img) {
  if (img.empty() || img.type() != CV_8UC1) return 0;
  // Four counts interleaved, so that runs of one value do not wait on one counter; a blurred
  // image is mostly flat, so sixteen equal pixels are counted at once.
  std::array<std::array<int, 256>, 4> part{};
  for (int r = 0; r < img.rows; ++r) {
    const uint8_t* p = img.ptr<uint8_t>(r);
    int x = 0;
#if defined(__SSE2__)
    for (; x + 16 <= img.cols; x += 16) {
      const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(p + x));
      if (_mm_movemask_epi8(_mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(p[x])))) == 0xFFFF) {
        part[0][p[x]] += 16;
        continue;
      }
      for (int k = x; k < x + 16; k += 4) {
        ++part[0][p[k]];
        ++part[1][p[k + 1]];
        ++part[2][p[k + 2]];
        ++part[3][p[k + 3]];
      }
    }
#endif
    for (; x + 4 <= img.cols; x += 4) {
      ++part[0][p[x]];
      ++part[1][p[x + 1]];
      ++part[2][p[x + 2]];
      ++part[3][p[x + 3]];
    }
    for (; x < img.cols; ++x) ++part[0][p[x]];
  }
  std::array<int, 256> h{};
  for (int i = 0; i < 256; ++i) h[i] = part[0][i] + part[1][i] + part[2][i] + part[3][i];
  return otsuLevelOfCounts(h, static_cast<double>(img.rows) * img.cols);
}

// The sums in the image library's order and precision, so that near-equal between-class
// variances are told apart as it tells them apart.
int otsuLevelOfCounts(const std::array<int, 256>& h, double pixels) {
  const double scale = 1. / pixels;
  double mu = 0;
  for (int i = 0; i < 256; ++i) mu += i * static_cast<double>(h[i]);
  mu *= scale;
  double mu1 = 0, q1 = 0, maxSigma = 0;
  int level = 0;
  for (int i = 0; i < 256; ++i) {
    const double p = h[i] * scale;
    mu1 *= q1;
    q1 += p;
    const double q2 = 1. - q1;
    if (std::min(q1, q2) < FLT_EPSILON || std::max(q1, q2) > 1. - FLT_EPSILON) continue;
    mu1 = (mu1 + i * p) / q1;
    const double mu2 = (mu - q1 * mu1) / q2;
    const double sigma = q1 * q2 * (mu1 - mu2) * (mu1 - mu2);
    if (sigma > maxSigma) {
      maxSigma = sigma;
      level = i;
    }
  }
  return level;
}

void frameWithZeros(cv::Mat& framed) {
  if (framed.rows < 2 || framed.cols < 2 || framed.type() != CV_8UC1) return;
  std::memset(framed.ptr(0), 0, static_cast<size_t>(framed.cols));
  std::memset(framed.ptr(framed.rows - 1), 0, static_cast<size_t>(framed.cols));
  for (int r = 1; r < framed.rows - 1; ++r) {
    uint8_t* row = framed.ptr<uint8_t>(r);
    row[0] = row[framed.cols - 1] = 0;
  }
}

std::vector<std::vector<cv::Point>> externalContoursOfFramed(cv::Mat& framed) {
  std::vector<std::vector<cv::Point>> contours;
  if (framed.rows < 3 || framed.cols < 3 || framed.type() != CV_8UC1) return contours;
  CvMat image = cvMat(framed);
  std::unique_ptr<CvMemStorage, void (*)(CvMemStorage*)> storage(cvCreateMemStorage(0),
                                                                 [](CvMemStorage* m) { cvReleaseMemStorage(&m); });
  CvSeq* first = nullptr;
  cvFindContours(&image, storage.get(), &first, sizeof(CvContour), CV_RETR_EXTERNAL, CV_CHAIN_APPROX_SIMPLE,
                 cvPoint(-1, -1));
  // External contours are all on the top level, chained one after the other.
  for (CvSeq* c = first; c != nullptr; c = c->h_next) {
    std::vector<cv::Point> points(static_cast<size_t>(c->total));
    if (c->total > 0) cvCvtSeqToArray(c, points.data());
    contours.push_back(std::move(points));
  }
  return contours;
}

std::vector<std::vector<cv::Point>> externalContours(const cv::Mat& binary) {
  std::vector<std::vector<cv::Point>> contours;
  cv::findContours(binary, contours, cv::RETR_EXTERNAL, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
  return contours;
}

cv::Mat readImageFile(const char* path, int flags) {
  if (path == nullptr || *path == '\0') return cv::Mat();
  try {
    int f = flags < 0 ? cv::IMREAD_UNCHANGED : (flags == 0 ? cv::IMREAD_GRAYSCALE : cv::IMREAD_COLOR);
    cv::Mat m;
    // The file is read here and decoded from memory, so that only a regular file is ever read.
    std::vector<uchar> bytes;
    if (codecs().decode == nullptr || !pvk::core::readRegularFile(path, bytes, kMostImageFileBytes)) return m;
    onCallingThreadOnly([&] {
      m = codecs().decode(bytes, f | cv::IMREAD_IGNORE_ORIENTATION);
      return 0;
    });
    return m;
  } catch (...) {
    return cv::Mat();
  }
}

bool writeImageFile(const char* path, const cv::Mat& img, std::string& why) {
  why.clear();
  try {
    const std::vector<int> params{cv::IMWRITE_JPEG_QUALITY, 80};
    // Encoded in memory (the format by the file's extension, as the codecs choose it), then
    // written whole or not at all.
    const char* dot = path != nullptr ? std::strrchr(path, '.') : nullptr;
    const char* slash = path != nullptr ? std::strrchr(path, '/') : nullptr;
    std::vector<uchar> bytes;
    const bool encoded = dot != nullptr && (slash == nullptr || dot > slash) &&
                         codecs().encode != nullptr &&
                         onCallingThreadOnly([&] { return codecs().encode(dot, img, bytes, params) ? 1 : 0; }) != 0;
    if (!encoded) {
      why = "codec refused the file";
    } else if (pvk::core::writeFileAtomically(path, bytes.data(), bytes.size())) {
      return true;
    } else {
      why = std::strerror(errno);
    }
  } catch (const cv::Exception& e) {
    why = e.what();
  } catch (...) {
    why = "unexpected failure";
  }
  return false;
}

}  // namespace pvk::geometry
