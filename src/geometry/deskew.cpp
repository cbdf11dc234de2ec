// Deskew, crop and stamp of one acquired side: find the document, straighten it (or crop it and
// record the deskew for the output), sharpen, mirror, endorse and write it back in place.
#include "geometry/geometry.h"

#include <opencv2/imgproc.hpp>

#include <cmath>
#include <cstring>
#include <new>

#include "core/trace.h"

namespace pvk::geometry {

namespace {

// The single plane that detection and each warp work on, brought to the horizontal dpi.
struct Working {
  int rows = 0;       // rows used of the side, before resampling
  int cols = 0;       // trim width
  int hPrime = 0;     // rows after resampling
  bool rotated = false;
  bool inPlace = false;  // planes may be read where they lie: nothing draws on them
  bool lying = false;    // img is the plane where it lies in the side
  double angle = 0;
  cv::Mat img;        // hPrime x cols
};

// plane < 0 takes the brightest of R, G, B. A plane at the horizontal dpi that is neither
// drawn on nor turned is read in the side's own buffer, where it lies; any other is made in
// kept memory.
void loadPlane(const ImgInfo& src, int plane, Working& w) {
  const bool stretch = w.hPrime != w.rows;
  w.lying = false;
  if (plane >= 0 && (stretch || (w.inPlace && !w.rotated))) {
    cv::Mat lying(w.rows, w.cols, CV_8UC1, trimmedRow(src, plane, 0), src.rawLineBytes);
    if (!stretch) {
      w.img = lying;
      w.lying = true;
      return;
    }
    w.img = keptImage(Kept::Working, w.hPrime, w.cols);
    cv::resize(lying, w.img, cv::Size(w.cols, w.hPrime), 0, 0, cv::INTER_LINEAR);
  } else {
    cv::Mat raw = keptImage(stretch ? Kept::Stretch : Kept::Working, w.rows, w.cols);
    if (plane < 0)
      CopiaDatiColoreChiaro(trimmedRow(src, 0, 0), src.rawLineBytes, src.planeLineBytes, raw.data,
                            static_cast<int>(raw.step), w.rows, w.cols);
    else
      CopiaDati1Colore(trimmedRow(src, plane, 0), src.rawLineBytes, raw.data, static_cast<int>(raw.step), w.rows,
                       w.cols);
    w.img = raw;
    if (stretch) {
      w.img = keptImage(Kept::Working, w.hPrime, w.cols);
      cv::resize(raw, w.img, cv::Size(w.cols, w.hPrime), 0, 0, cv::INTER_LINEAR);
    }
  }
  if (w.rotated) RotateImg(w.img, w.angle);
}

// The detection plane turned about its centre as RotateImg turns it; a plane that lies in the
// side is turned into kept memory, so that the side keeps its pixels as acquired.
void turn(Working& w) {
  if (!w.lying) {
    RotateImg(w.img, w.angle);
    return;
  }
  cv::Mat turned = keptImage(Kept::Working, w.img.rows, w.img.cols);
  warpLinear(w.img, turned, cv::getRotationMatrix2D(cv::Point2f(w.img.cols * 0.5f, w.img.rows * 0.5f), w.angle, 1.0));
  w.img = turned;
  w.lying = false;
}

struct Found {
  bool any = false;
  cv::Point2f p[4]{};  // box order
  int width = 0, height = 0;
};

// Detection, with one turn of the image first when asked and the document reaches the bottom.
Found detect(const DeskewCall& call, Working& w, int dpiX, int dpiY) {
  Found f;
  for (;;) {
    cv::RotatedRect box;
    bool joined = false;
    if (!findImgContours(w.img, box, dpiX, dpiY, joined)) {
      putText(call.infoText, "no contour found");
      return f;
    }
    f.any = true;
    boxCorners(box, f.p);
    bool upright = box.angle >= -45.0f;
    f.width = static_cast<int>(upright ? box.size.width : box.size.height);
    f.height = static_cast<int>(upright ? box.size.height : box.size.width);
    if (!call.deskewNow) return f;
    double a = 0;
    if (std::fabs(f.p[0].x - f.p[1].x) > 4.0)
      a = std::atan((f.p[0].y - f.p[1].y) / (f.p[0].x - f.p[1].x)) * 180.0 / 3.14159265;
    bool wanted = (a <= -0.5 || a >= 0.5) && dpiX == dpiY && call.allowRotation;
    bool reachesBottom = std::max(f.p[2].y, f.p[3].y) + 4.0 > w.rows;
    if (!wanted || w.rotated || !reachesBottom) return f;
    w.angle = a < -45 ? a + 90 : (a > 45 ? a - 90 : a);
    turn(w);
    w.rotated = true;
  }
}

struct Plan {
  cv::Point2f src[4];
  cv::Point2f dst[4];
  int outW = 0, outH = 0;
  uint8_t applied = 1;
};

// Crop now: the clamped bounding rectangle is cut out and the deskew recorded for the output.
bool planCrop(const DeskewCall& call, const cv::Point2f q[4], int W, int H, const Working& w, Plan& plan) {
  float xlo = q[0].x, xhi = q[0].x, ylo = q[0].y, yhi = q[0].y;
  for (int k = 1; k < 4; ++k) {
    xlo = std::min(xlo, q[k].x), xhi = std::max(xhi, q[k].x);
    ylo = std::min(ylo, q[k].y), yhi = std::max(yhi, q[k].y);
  }
  if (xlo < 0.4f) xlo = 0;
  if (ylo < 0.4f) ylo = 0;
  if (xhi > w.cols - 1.4f) xhi = w.cols - 1.0f;
  if (yhi > w.hPrime - 1.4f) yhi = w.hPrime - 1.0f;
  int cw = static_cast<int>(xhi - xlo), ch = static_cast<int>(yhi - ylo);
  if (cw < 1 || ch < 1) return false;
  PVKDeskewEntry& e = PVKPendingDeskew[call.side->side];
  const float dst[4][2] = {{0, 0}, {static_cast<float>(W), 0}, {static_cast<float>(W), static_cast<float>(H)},
                           {0, static_cast<float>(H)}};
  for (int k = 0; k < 4; ++k) {
    // Relative to the crop as it is cut, so the later warp lands where the crop started.
    float x = q[k].x - xlo, y = q[k].y - ylo;
    if (call.flipV) y = ch - y;
    if (call.flipH) x = cw - x;
    e.ImgAcqSrcBox[k][0] = x;
    e.ImgAcqSrcBox[k][1] = y;
    e.ImgAcqDstBox[k][0] = dst[k][0];
    e.ImgAcqDstBox[k][1] = dst[k][1];
  }
  e.ImgAcqSrcWidht = W;
  e.ImgAcqSrcHeight = H;
  e.flipSrcV = call.flipV;
  e.flipSrcH = call.flipH;
  plan.src[0] = {xlo, ylo}, plan.src[1] = {xhi, ylo}, plan.src[2] = {xhi, yhi}, plan.src[3] = {xlo, yhi};
  plan.dst[0] = {0, 0}, plan.dst[1] = {float(cw), 0}, plan.dst[2] = {float(cw), float(ch)}, plan.dst[3] = {0, float(ch)};
  plan.outW = cw, plan.outH = ch, plan.applied = 0;
  return true;
}

void sharpen(cv::Mat& out) {
  if (out.cols <= 150 || out.rows <= 150) return;
  cv::Mat blurred = keptImage(Kept::Search, out.rows, out.cols, 1, 2);  // beside the warped plane
  gaussianBlur15(out, blurred);
  if (blurred.empty()) {
    WriteTrace("no memory for ImgEnhancement", false);
    return;
  }
  // Both images whole and unbroken in memory: the weighted sum rounds a long unbroken run as
  // one, and row by row otherwise, which can differ by one in places.
  cv::addWeighted(blurred, -0.3, out, 1.4, 20.0, out, out.depth());
}

void mirror(cv::Mat& m, bool v, bool h) {
  if (v && h) cv::flip(m, m, -1);
  else if (v) cv::flip(m, m, 0);
  else if (h) cv::flip(m, m, 1);
}

void writeBack(const cv::Mat& out, ImgInfo& dst, int plane) {
  CopiaDati1Colore(out.data, static_cast<int>(out.step), dst.firstRow + static_cast<size_t>(plane) * dst.planeLineBytes,
                   dst.rawLineBytes, out.rows, out.cols);
}

void finishRecord(ImgInfo& r, int cols, int rows, uint8_t applied, bool setRows) {
  r.trimTop = r.trimLeft = r.fullTop = r.fullLeft = 0;
  r.trimWidth = r.fullWidth = static_cast<uint16_t>(cols);
  if (setRows) r.rowsUsed = r.fullHeight = static_cast<uint16_t>(rows);
  r.deskewApplied = applied;
}

struct Entry {
  uint16_t sideDpiV, compDpiV;
};

// Everything after the checks; the side is left as acquired when no document is found.
bool straighten(const DeskewCall& call, Working& w, const Entry& entry) {
  ImgInfo& side = *call.side;
  ImgInfo* comp = call.companion;
  const int planes = side.planesPerLine;
  const bool colour = side.colourPlanes == 3;

  loadPlane(side, colour ? -1 : 0, w);
  if (w.hPrime != w.rows) {
    side.dpiV = side.dpiH;
    if (comp) comp->dpiV = side.dpiH;
  }
  Found f = detect(call, w, side.dpiH, side.dpiV);
  cv::Point2f q[4] = {};
  int ys[4] = {0, 0, 0, 0}, xs[4] = {0, 0, 0, 0};
  orderCorners(f.p, q, ys, xs);
  if (call.edgeOffset)
    *call.edgeOffset = static_cast<short>((call.edgeFromTop != call.flipV) ? (ys[0] + ys[1]) / 2
                                                                          : w.rows - (ys[2] + ys[3]) / 2);
  Plan plan;
  bool usable = f.any && f.width >= 1 && f.height >= 1;
  if (usable && !call.deskewNow && side.side <= 1) {
    usable = planCrop(call, q, f.width, f.height, w, plan);
  } else if (usable) {
    for (int k = 0; k < 4; ++k) plan.src[k] = q[k];
    plan.dst[0] = {0, 0}, plan.dst[1] = {float(f.width), 0};
    plan.dst[2] = {float(f.width), float(f.height)}, plan.dst[3] = {0, float(f.height)};
    plan.outW = f.width, plan.outH = f.height;
  }
  if (!usable) {
    // Nothing to straighten: keep the pixels and the record as acquired.
    putText(call.infoText, "no contour found");
    side.dpiV = entry.sideDpiV;
    if (comp) comp->dpiV = entry.compDpiV;
    return true;
  }

  // The written area is known before any plane is touched: refuse what does not fit.
  int64_t rowLimit = static_cast<int64_t>(side.fullHeight) * side.dpiV / entry.sideDpiV;
  int cols = std::min(plan.outW, static_cast<int>(side.fullWidth));
  int rows = static_cast<int>(std::min<int64_t>(plan.outH, rowLimit));
  bool compHasRows = comp && comp->firstRow != nullptr;
  if (rows < 1 || cols < 1 || !planesFit(side, 0, 0, rows, cols, planes, bytesBehindFirstRow(side)) ||
      (compHasRows && !planesFit(*comp, 0, 0, rows, cols, 1, bytesBehindFirstRow(*comp)))) {
    putText(call.errText, "output exceeds image buffer");
    side.dpiV = entry.sideDpiV;
    if (comp) comp->dpiV = entry.compDpiV;
    return false;
  }

  if (colour) loadPlane(side, 0, w);
  cv::Mat m = cv::getAffineTransform(plan.src, plan.dst);
  if (m.empty()) {
    WriteTrace("no memory for map A", false);
    return false;
  }
  int ysStamp[4], xsStamp[4];
  std::memcpy(ysStamp, ys, sizeof ys);
  std::memcpy(xsStamp, xs, sizeof xs);
  const int passes = planes + (comp ? 1 : 0);
  for (int p = 0; p < passes; ++p) {
    bool isComp = p >= planes;
    if (p > 0 && !isComp) loadPlane(side, p, w);
    if (isComp) {
      if (!compHasRows) {
        comp->rowsUsed = 0;
        break;
      }
      Working cw = w;
      cw.img = cv::Mat();
      cw.inPlace = !call.allowRotation;  // the endorsement is drawn on the side alone
      loadPlane(*comp, 0, cw);
      w.img = cw.img;
    }
    if (!isComp && call.stamp && call.stamp->firstRow) AggiungiTimbro(w.img, call.stamp, ysStamp, xsStamp,
                                                                       call.stampColumn, call.stampRowOffset);
    // Only the rows and columns that stay are warped: a warped pixel depends on its own place alone.
    cv::Mat out = keptImage(Kept::Search, rows, cols, 0, 2);  // the search is over
    warpLinear(w.img, out, m);
    if (out.empty()) {
      WriteTrace("no memory for img B", false);
      putText(call.errText, "PVKDeskewWrap setting img buffer B");
      return false;
    }
    if (call.enhance) sharpen(out);
    if (isComp) mirror(out, call.compFlipV, call.compFlipH);
    else mirror(out, call.flipV, call.flipH);
    writeBack(out, isComp ? *comp : side, isComp ? 0 : p);
  }
  finishRecord(side, cols, rows, plan.applied, true);
  if (comp) {
    comp->colourPlanes = comp->planesPerLine = 1;
    finishRecord(*comp, cols, rows, plan.applied, comp->rowsUsed != 0);
  }
  return true;
}

// The side's trimmed area (and the companion's, read with the side's size) must lie in their buffers.
bool inputsFit(const DeskewCall& call) {
  const ImgInfo& s = *call.side;
  if (s.firstRow == nullptr || s.rowsUsed == 0 || s.trimWidth == 0 || s.planesPerLine == 0) return false;
  if (s.colourPlanes == 3 && s.planesPerLine < 3) return false;
  if (!planesFit(s, s.trimTop, s.trimLeft, s.rowsUsed, s.trimWidth, s.planesPerLine, bytesBehindFirstRow(s)))
    return false;
  const ImgInfo* c = call.companion;
  if (c && c->firstRow &&
      !planesFit(*c, c->trimTop, c->trimLeft, s.rowsUsed, s.trimWidth, 1, bytesBehindFirstRow(*c)))
    return false;
  return true;
}

}  // namespace

bool deskewWrapStamp(const DeskewCall& call) {
  if (debugOn) WriteTrace("------------- PVKDeskewWrap start -----------------", false);
  try {
    ImgInfo& side = *call.side;
    if (side.side <= 1) {
      PVKDeskewEntry& e = PVKPendingDeskew[side.side];
      std::memset(e.ImgAcqSrcBox, 0, sizeof e.ImgAcqSrcBox);
      std::memset(e.ImgAcqDstBox, 0, sizeof e.ImgAcqDstBox);
      e.ImgAcqSrcWidht = e.ImgAcqSrcHeight = 0;
    }
    if (side.dpiH == 0 || side.dpiV == 0) {
      putText(call.errText, "invalid dpi");
      return false;
    }
    int64_t hPrime = static_cast<int64_t>(side.rowsUsed) * side.dpiH / side.dpiV;
    if (hPrime < side.rowsUsed) {
      putText(call.errText, "dpiV higher than dpiH");
      return false;
    }
    if (call.edgeOffset) *call.edgeOffset = 0;
    putText(call.errText, "");
    putText(call.infoText, "");
    if (hPrime > 0xFFFF || !inputsFit(call)) {
      putText(call.errText, "invalid side image");
      return false;
    }
    Working w;
    w.rows = side.rowsUsed, w.cols = side.trimWidth, w.hPrime = static_cast<int>(hPrime);
    // A turn found by the detection is made in kept memory, so only an endorsement draws on the plane.
    w.inPlace = !(call.stamp && call.stamp->firstRow);
    try {
      w.img = keptImage(Kept::Working, w.hPrime, w.cols);
    } catch (...) {
      putText(call.errText, "PVKDeskewWrap setting img buffer A0");
      return false;
    }
    Entry entry{side.dpiV, call.companion ? call.companion->dpiV : uint16_t(0)};
    bool ok = straighten(call, w, entry);
    if (ok && debugOn) WriteTrace("------------- PVKDeskewWrap end -----------------", false);
    return ok;
  } catch (const cv::Exception& e) {
    WriteTrace("cv::Exception", false);
    WriteTrace(e.what(), false);
  } catch (...) {
    WriteTrace("PVKDeskewWrapStamp2 exception", false);
  }
  putText(call.errText, "PVKDeskewWrapStamp2 exception");
  return false;
}

}  // namespace pvk::geometry
