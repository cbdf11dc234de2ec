// Side-image geometry: what becomes of an acquired side before output. Finding the document
// on the background and naming its corners, deskew, crop and stamp, output resampling with the
// pending deskew, plane copies and side copies into output and zone images, image files, and
// the one adapter to the image-processing library.
// Sides are ImgInfo records in the raw layout: row r of plane p of the trimmed area starts at
// firstRow + (trimTop + r) * rawLineBytes + trimLeft + p * planeLineBytes.
//
// Bytes behind firstRow: an owner (allocBase set) has bytesAllocated - (firstRow - allocBase);
// a view states what it may use in bytesAllocated, else in imageBytes. Nothing is read or
// written past that bound; a request that would is refused.
#pragma once

#include <opencv2/core.hpp>

#include <array>

#include <cstdint>
#include <string>
#include <type_traits>
#include <vector>

#include "PlavikMS.h"
#include "core/records.h"

// ---- Threads ---------------------------------------------------------------------------------
namespace pvk::geometry {

// Runs body(context) on this thread and returns its result, the image library's parallel loops
// inside it run on this thread too: none is handed to worker threads, so a call starts no
// thread in the host's process and leaves none spinning there. While it runs, the image
// library's loops started by other threads of the process also stay on their own threads.
// Exceptions pass through.
int onCallingThreadOnly(int (*body)(void*), void* context);

template <typename Body>
int onCallingThreadOnly(Body&& body) {
  using B = std::remove_reference_t<Body>;
  return onCallingThreadOnly([](void* c) { return static_cast<int>((*static_cast<B*>(c))()); },
                             const_cast<void*>(static_cast<const void*>(&body)));
}

}  // namespace pvk::geometry

// ---- Plane copies (strides in bytes; nothing happens below one row or one column) ----------

// table[v] = clamp(v + brightness + ((contrast * (v - 128)) >> 7), 0, 255).
void BrightnessContrastEval(short brightness, short contrast, unsigned char* table);
// Row copy through the brightness/contrast table (plain copy when both are 0).
void CopiaDati1ColoreA(const unsigned char* src, int srcStride, const unsigned char* dst, int dstStride,
                       short brightness, short contrast, int rows, int cols);
// Plain row copy; a null destination is traced and ignored.
void CopiaDati1Colore(const unsigned char* src, int srcStride, const unsigned char* dst, int dstStride,
                      int rows, int cols);
// Plain row copy kept under its historical name; nothing transposes here.
void CopiaDati1ColoreTranspose(const unsigned char* src, int srcStride, unsigned char* dst, int dstStride,
                               int rows, int cols);
// Brightest of three planes per pixel (row stride before plane stride).
void CopiaDatiColoreChiaro(const unsigned char* src, int rowStride, int planeStride, unsigned char* dst,
                           int dstStride, int rows, int cols);
// Truncated mean of three planes per pixel (plane stride before row stride).
void CopiaDati3ColoriMean(const unsigned char* src, int planeStride, int rowStride, unsigned char* dst,
                          int dstStride, int rows, int cols);
// Each source row's planes become consecutive destination rows (planes 0,1,2 or, reversed, 2,1,0).
void CopiaDatiColori(const unsigned char* src, int planeStride, int rowStride, unsigned char* dst,
                     int dstStride, int rows, int cols, int planes, bool reverse);

// ---- Deskew pieces -------------------------------------------------------------------------

// Finds the bright document on the darker background of a single-plane image; true with its
// box (angle in [-90, 0)) when one was found. `joined` is set when pieces were joined.
bool findImgContours(cv::Mat img, cv::RotatedRect& box, int dpiX, int dpiY, bool& joined);
// Turns the image's pixels in place about its centre by `angle` degrees; pixels turned in
// from outside are black. False only when the rotation could not be made.
bool RotateImg(cv::Mat img, double angle);
// Draws the endorsement (ink = stamp value below 255, drawn as 50) below the document's top
// edge; ys and xs are the four sorted corner rows and columns of the document box.
void AggiungiTimbro(cv::Mat& img, ImgInfo* stamp, int* ys, int* xs, short column, short rowOffset);
// Applies a side's pending deskew into `dst`, which receives a buffer of its own (allocBase,
// owned by the caller, released with free()). The source side is not changed.
bool DeskewWrapInt(ImgInfo* src, ImgInfo* dst, short side, char* msg);

// ---- Image files ---------------------------------------------------------------------------

// Loads a file into a side image in its raw layout (grey or three planes R, G, B).
bool ImgRead(const char* path, ImgInfo* img, bool flipH, bool flipV);
// Loads a file as one grey plane into a new buffer that the caller then owns.
bool ImgRead(const char* path, PVKImg* img, bool flipH, bool flipV);
// Writes one grey plane to a file whose extension names the format (JPEG at quality 80).
bool ImgWrite(const char* path, PVKImg* img);

// ---- Side copies ---------------------------------------------------------------------------

// Cuts an elaborated side into a separate output image at `dpi` in both directions, with a
// rotation of 0, 256, 512 or 768 and the two mirror flags of the last arguments. dst receives
// a new buffer (its previous one is freed); false with a trace on failure.
bool WrapCutCopyOut(ImgInfo src, short rotation, int dpi, short brightness, short contrast, ImgInfo& dst,
                    uint8_t unused, bool mirrorA, bool mirrorB);
// The same cut into a PVKImg for a zone reader; `grey` folds a three-plane side into one plane.
bool WrapCutCopyIn(ImgInfo src, short rotation, int verticalDpi, int horizontalDpi, PVKImg* dst, uint8_t unused,
                   bool grey, bool mirrorA, bool mirrorB);

namespace pvk::geometry {

// The arguments of one deskew/crop/stamp call, in the order the exported call takes them.
struct DeskewCall {
  ImgInfo* side;
  ImgInfo* companion;      // backlight image following the side's geometry, or null
  bool flipV, flipH;       // flips of the side
  bool compFlipV, compFlipH;
  bool deskewNow;          // false: crop now, record the deskew for the output (sides 0, 1)
  short* edgeOffset;       // out: the document edge in rows
  bool edgeFromTop;
  char* errText;           // at least 40 bytes each
  char* infoText;
  ImgInfo* stamp;          // endorsement image or null
  short stampColumn;
  short stampRowOffset;
  bool enhance;
  bool allowRotation;
};

bool deskewWrapStamp(const DeskewCall& call);
bool resizeSide(ImgInfo* src, short side, ImgInfo* dst, short brightness, short contrast, bool grey,
                bool reverse, bool flipV, bool flipH, bool transpose, char* msg);
int fixVerticalResolution(ImgInfo* img, float factor, short rowLimit);
int readImgFile(ImgInfo* img, const char* path, short planes);

// Bytes usable behind img.firstRow (see above); 0 when nothing is known.
uint64_t bytesBehindFirstRow(const ImgInfo& img);
// True when `rows` rows of `cols` bytes of `planes` planes, starting `top` rows and `left`
// bytes into the record's buffer, lie inside `capacity` bytes and each plane inside its line.
bool planesFit(const ImgInfo& img, uint64_t top, uint64_t left, uint64_t rows, uint64_t cols,
               uint64_t planes, uint64_t capacity);
// Start of row r of plane p of the trimmed area.
inline unsigned char* trimmedRow(const ImgInfo& img, int p, int r) {
  return img.firstRow + (static_cast<size_t>(img.trimTop) + r) * img.rawLineBytes + img.trimLeft +
         static_cast<size_t>(p) * img.planeLineBytes;
}
// Names the box corners p (in box order) top-left, top-right, bottom-right, bottom-left in
// `out`; ys and xs receive the corners' truncated rows and columns sorted ascending.
void orderCorners(const cv::Point2f p[4], cv::Point2f out[4], int ys[4], int xs[4]);
// A pending deskew entry of side 0 or 1 that an output call would apply.
bool deskewPending(int side);
// Copies a NUL-terminated text into a caller's text buffer of at least `size` bytes.
void putText(char* buf, const char* text, size_t size = 40);

// Geometry of a side copy: output size, swap and mirror flags; false for an unknown rotation.
struct CopyGeometry {
  bool swap;
  bool mirrorA, mirrorB;
  int width, height;      // output size before the swap
  int planeLine, rawLine; // bytes
  int rows;               // rows of the output buffer
};
bool copyGeometry(const ImgInfo& src, short rotation, int dpiH, int dpiV, bool mirrorA, bool mirrorB,
                  CopyGeometry& g);

// ---- The adapter to the image-processing library -------------------------------------------
// Box angle convention, corner order, contour search and file codecs behave here as the deskew
// and file code expect, whatever the library version does by default.

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
// The same search over the image inside `framed`, a single-plane image whose outer rows and
// columns are 0 (frameWithZeros); points are those of the inner image. The search marks the
// inner image: it is no longer the binary image it was.
std::vector<std::vector<cv::Point>> externalContoursOfFramed(cv::Mat& framed);
void frameWithZeros(cv::Mat& framed);
// Otsu's threshold level of a single-plane 8-bit image, the level the image library's Otsu
// threshold picks, without thresholding anything; 0 for an empty image or another type.
int otsuLevel(const cv::Mat& img);
// The same level from a histogram of `pixels` pixels (256 counts).
int otsuLevelOfCounts(const std::array<int, 256>& counts, double pixels);

// The widest vectors a version may use: the processor's own where it has fewer; a test asks for
// less to try each version.
enum class Lanes { None, Eight, Sixteen };

// The image library's Gaussian blur 15 pixels high and `width` wide (sigmas from the size, the
// border reflected without repeating the edge pixel) of a single-plane 8-bit image into dst, byte
// for byte its bytes. dst has src's size and type and memory of its own. Worked out here, for the
// widths 15 and 3, with the processor's 256- or 512-bit vectors where it has them, else (or with
// Lanes::None) by the library. With a floor above 0, a row whose every pixel the blur would give
// at the floor or above may come back all 255: a search for pixels below the floor is spared
// the pass along the rows there.
void gaussianBlur15(const cv::Mat& src, cv::Mat& dst, Lanes lanes = Lanes::Sixteen, int width = 15,
                    uint8_t floor = 0);

// The image library's affine warp of a single-plane 8-bit image through m (2 x 3, source to
// output), bilinear, pixels from outside the source 0, into dst at dst's size (memory of its
// own), byte for byte its bytes. Worked out here with the processor's 256- or 512-bit vectors
// where it has them, else (Lanes::None) pixel by pixel.
void warpLinear(const cv::Mat& src, cv::Mat& dst, const cv::Mat& m, Lanes lanes = Lanes::Sixteen);

// The map of an affine warp from output to source (M, row by row), the inverse of m (2 x 3,
// source to output) worked out as the image library works it out, so that warps done here land
// on its sample positions to the last bit.
void affineOutputToSource(const cv::Mat& m, double M[6]);

// Working images kept from one document to the next, one of each kind per thread: a side's
// working images have the same size document after document, and memory fresh from the
// system costs a page fault for every 4 KiB written. Two kinds never share memory; asking for
// a kind again hands out the same memory (its pixels undefined), so a kind serves one image
// at a time, or `parts` images of one size side by side, image `part` handed out: Working (the
// plane worked on), Stretch (a plane before its vertical stretch), Search (the framed binary
// image of the document search, then the warped plane and the blur of its sharpening, in two
// parts), Blurred (the search's blurred image when it is needed again), Shaping (the working
// rows of the grey shaping of a zone), Outline (the framed copy a contour tree is traced on).
// Throws std::bad_alloc.
enum class Kept { Working, Stretch, Search, Blurred, Shaping, Outline, Count };
cv::Mat keptImage(Kept kind, int rows, int cols, int part = 0, int parts = 1);
// Gives this thread's kept images back to the system.
void releaseKeptImages();

// Reads an image file as stored (flags as for the codec: -1 unchanged, 0 grey, 1 colour),
// ignoring any orientation tag. An empty matrix when the file cannot be read; never throws.
cv::Mat readImageFile(const char* path, int flags);

// Writes an image file in the format of the path's extension (JPEG at quality 80). False,
// with the codec's complaint in `why`, when the file is not written; never throws.
bool writeImageFile(const char* path, const cv::Mat& img, std::string& why);


// ---- Adapter calls of the 2D symbol locators ------------------------------------------------
// One-to-one stand-ins for the outline, warp and crop operations the DataMatrix and QR
// locators were written against; none of them throws past a cv::Exception.

// Gaussian blur (blur x blur, sigma 0, default border) of `src` into `bin`, then an inverse
// binary threshold at `threshold`, or at Otsu's threshold when it is 0. Returns the threshold.
double blurThresholdInverse(const cv::Mat& src, cv::Mat& bin, int blur, double threshold);
// The two halves of it, for a caller that thresholds one blurred image several times.
cv::Mat squareBlur(const cv::Mat& src, int blur);
double thresholdInverse(const cv::Mat& blurred, cv::Mat& bin, double threshold);
// Erodes `bin` in place with a square rectangular element of side erodeSide, then dilates it
// with one of side dilateSide: centred anchors, one iteration, constant border.
void erodeDilateSquare(cv::Mat& bin, int erodeSide, int dilateSide);
// The grey image whose inverse threshold at any t is erodeDilateSquare(e, d) of the inverse
// threshold of `grey` at t: its light grown by e / 2 (a square maximum of side e), then its
// dark by d / 2 (a minimum of side d), the zone's outside counting for neither. One such image
// serves every threshold a caller tries.
cv::Mat dilateErodeSquare(const cv::Mat& grey, int dilateSide, int erodeSide);
// Every contour of a binary image as a tree, simple chain approximation; the image is kept.
// With `hierarchy`, each contour's next, previous, first child and parent (-1: none) too.
std::vector<std::vector<cv::Point>> treeContours(const cv::Mat& binary, std::vector<cv::Vec4i>* hierarchy = nullptr);
// Affine warp that takes from[0], from[1], from[2] to (0, 0), (width, 0), (width, height),
// into a width x height image: cubic interpolation, reflected border.
cv::Mat uprightWarp(const cv::Mat& src, const cv::Point2f from[3], int width, int height);
// Perspective warp of the quadrilateral quad (top-left, bottom-left, bottom-right, top-right)
// onto (0, 0) .. (width, height) inside an image of src's size (bilinear, outside filled with
// 0), then the (int) width x (int) height region at the origin copied out; empty when none.
cv::Mat perspectiveCrop(const cv::Mat& src, const cv::Point2f quad[4], float width, float height);
// Binary threshold in place: pixels above `threshold` become 255, the others 0.
void thresholdBinary(cv::Mat& img, int threshold);

}  // namespace pvk::geometry

// ---- Adapter calls of the QR locator ----------------------------------------------------------
// One-to-one stand-ins for the filter, threshold, contour, fill and warp operations the QR
// locator was written against.
namespace pvk::geometry {

// Single-plane grey copy of an image of 1, 3 or 4 planes (BGR order).
cv::Mat greyOf(const cv::Mat& src);
// 3 x 3 median of `src` into `binary`, copied into `work`, then an inverse threshold of `work`
// into `binary`: adaptive (mean of blockSize x blockSize less param, dark pixels 128) when
// blockSize > 0, else global at param (dark pixels 255).
void medianThresholdInverse(const cv::Mat& src, cv::Mat& binary, cv::Mat& work, int blockSize, double param);
// Contours of a binary image (mode and method as the library numbers them); the image is kept.
std::vector<std::vector<cv::Point>> contoursOf(const cv::Mat& binary, int mode, int method);
// `work` = `binary` inside the filled polygon (8-connected fill), 0 elsewhere, then eroded and
// dilated once with a 3 x 3 square.
void keepInsidePolygon(const cv::Mat& binary, const std::vector<cv::Point>& polygon, cv::Mat& work);
// Perspective warp of `src` taking from[k] to to[k], into an image of `size` whose origin is
// the destination's (bilinear, outside filled with 0).
cv::Mat perspectiveWarp(const cv::Mat& src, const cv::Point2f from[4], const cv::Point2f to[4], cv::Size size);
// Eroded and dilated once with a 3 x 3 square, then binarised at Otsu's threshold (dark 0,
// light 255).
cv::Mat openedOtsu(const cv::Mat& grey);

}  // namespace pvk::geometry
