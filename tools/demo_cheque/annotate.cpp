// The picture of a read cheque that a person looks at: the front the demo host saved, every zone
// outlined in a colour of its own and numbered, and beside the cheque its number, what is
// printed there and the text read, joined to the zone by a line that runs between the other
// zones; under the labels, a key to the symbols of the codeline as the text read shows them.
#include "annotate.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

#include "glyphs.h"

namespace pvk::democheque {
namespace {

struct ZoneRead {
  std::string what, text;
  cv::Rect box;
};

// NAME_read.txt: what, left, top, width, height, the text read; TAB-separated, one zone a line.
std::vector<ZoneRead> readList(const std::string& path) {
  std::vector<ZoneRead> zones;
  std::ifstream in(path);
  std::string line;
  while (std::getline(in, line)) {
    std::vector<std::string> f;
    std::stringstream s(line);
    for (std::string part; std::getline(s, part, '\t');) f.push_back(part);
    if (f.size() < 5) continue;
    ZoneRead z;
    z.what = f[0];
    z.box = cv::Rect(std::stoi(f[1]), std::stoi(f[2]), std::stoi(f[3]), std::stoi(f[4]));
    z.text = f.size() > 5 ? f[5] : "";
    zones.push_back(z);
  }
  return zones;
}

const cv::Scalar kColours[] = {{0, 0, 220}, {0, 150, 0}, {220, 0, 0}, {0, 140, 220}, {160, 0, 160}, {120, 120, 0}};
constexpr int kRow = 44;        // a text line of the panel
constexpr int kLabelGap = 60;   // from the cheque's edge to the labels: room for the leaders' bends
constexpr int kClearance = 8;   // a leader keeps this far from another zone's outline
constexpr int kLaneSpacing = 14;

void text(cv::Mat& m, const std::string& t, cv::Point at, double scale, const cv::Scalar& colour) {
  cv::putText(m, t, at, cv::FONT_HERSHEY_SIMPLEX, scale, colour, 2, cv::LINE_AA);
}

// ---- Leaders ----------------------------------------------------------------------------------

// True when the horizontal run at row y from x0 to x1, or the vertical run at column x from y0
// to y1, touches one of the outlines (grown by the clearance).
bool crosses(const std::vector<cv::Rect>& outlines, int x0, int y0, int x1, int y1) {
  const cv::Rect run(std::min(x0, x1), std::min(y0, y1), std::abs(x1 - x0) + 1, std::abs(y1 - y0) + 1);
  for (const cv::Rect& o : outlines) {
    const cv::Rect grown(o.x - kClearance, o.y - kClearance, o.width + 2 * kClearance, o.height + 2 * kClearance);
    if ((grown & run).area() > 0) return true;
  }
  return false;
}

// The path of zone i's leader across the cheque: from its outline's right edge along the free
// row nearest its middle, stepping up or down just right of the outline when its own rows are
// blocked, to the cheque's right edge (width). The last point's row is the leader's lane.
std::vector<cv::Point> route(const std::vector<ZoneRead>& zones, size_t i, int width, int height,
                             const std::vector<int>& lanes) {
  const cv::Rect& box = zones[i].box;
  std::vector<cv::Rect> others;
  for (size_t k = 0; k < zones.size(); ++k)
    if (k != i) others.push_back(zones[k].box);
  const int right = box.x + box.width, middle = box.y + box.height / 2;
  const int bend = std::min(right + kClearance + 2, width - 1);
  auto laneFree = [&](int y) {
    for (int used : lanes)
      if (std::abs(used - y) < kLaneSpacing) return false;
    return true;
  };
  for (int d = 0; d < height; ++d)
    for (int y : {middle - d, middle + d}) {
      if (y < kClearance || y >= height - kClearance || !laneFree(y)) continue;
      if (y >= box.y && y < box.y + box.height) {
        if (!crosses(others, right, y, width, y)) return {{right, y}, {width, y}};
      } else if (!crosses(others, right, middle, bend, y) && !crosses(others, bend, y, width, y)) {
        return {{right, middle}, {bend, middle}, {bend, y}, {width, y}};
      }
    }
  return {{right, middle}, {width, middle}};
}

void polyline(cv::Mat& m, const std::vector<cv::Point>& path, const cv::Scalar& c) {
  for (size_t k = 1; k < path.size(); ++k) cv::line(m, path[k - 1], path[k], c, 1, cv::LINE_AA);
}

// ---- Codeline key -------------------------------------------------------------------------------

struct KeyEntry {
  char symbol;
  const char* name;
};
const KeyEntry kE13bKey[] = {{':', "transit"}, {'<', "on-us"}, {'=', "amount"}, {';', "dash"}};
const KeyEntry kCmc7Key[] = {{':', "S1"}, {';', "S2"}, {'<', "S3"}, {'=', "S4"}, {'>', "S5"}};

// The glyph of symbol as printed, black on the picture, its line box's top left at `at`; the
// width it took.
int drawGlyph(cv::Mat& out, glyphs::Font font, char symbol, cv::Point at, double dpi) {
  const glyphs::Glyph* g = glyphs::glyph(font, symbol);
  if (g == nullptr) return 0;
  glyphs::RasterOptions o;
  o.dpi = dpi;
  const int w = static_cast<int>(std::ceil(g->width * dpi)) + 1;
  const int h = static_cast<int>(std::ceil(glyphs::lineHeight(font) * dpi)) + 1;
  const glyphs::Coverage c = glyphs::rasterise(glyphs::place(*g, 0, 0), w, h, o);
  for (int y = 0; y < h && at.y + y < out.rows; ++y)
    for (int x = 0; x < w && at.x + x < out.cols; ++x) {
      const uint8_t v = static_cast<uint8_t>(255 - std::lround(255 * std::clamp(c.at(x, y), 0.0f, 1.0f)));
      cv::Vec3b& px = out.at<cv::Vec3b>(at.y + y, at.x + x);
      px = cv::Vec3b(std::min(px[0], v), std::min(px[1], v), std::min(px[2], v));
    }
  return w;
}

// The key of the codeline font of the zones read (none without a codeline), from row top of
// the panel at x; the rows it took.
int drawKey(cv::Mat& out, const std::vector<ZoneRead>& zones, int x, int top) {
  bool e13b = false, cmc7 = false;
  for (const ZoneRead& z : zones) {
    e13b = e13b || z.what.find("E13B") != std::string::npos;
    cmc7 = cmc7 || z.what.find("CMC7") != std::string::npos;
  }
  if (e13b == cmc7) return 0;
  const glyphs::Font font = e13b ? glyphs::Font::E13B : glyphs::Font::CMC7;
  text(out, e13b ? "E13B symbols in the text read:" : "CMC7 symbols in the text read:", {x, top + kRow - 10}, 0.9,
       cv::Scalar(0, 0, 0));
  constexpr double kDpi = 600;  // the glyphs at twice the cheque's scale
  const int glyphRow = top + kRow + 6;
  const int glyphHeight = static_cast<int>(glyphs::lineHeight(font) * kDpi);
  const int step = e13b ? 240 : 190;
  int at = x;
  for (const KeyEntry& k : e13b ? std::vector<KeyEntry>(std::begin(kE13bKey), std::end(kE13bKey))
                                : std::vector<KeyEntry>(std::begin(kCmc7Key), std::end(kCmc7Key))) {
    const int w = drawGlyph(out, font, k.symbol, {at, glyphRow}, kDpi);
    text(out, std::string(1, k.symbol) + " " + k.name, {at + w + 14, glyphRow + glyphHeight / 2 + 12}, 0.9,
         cv::Scalar(0, 0, 0));
    at += step;
  }
  return kRow + 6 + glyphHeight + 20;
}

}  // namespace

bool annotate(const std::string& frontJpeg, const std::string& readList_, const std::string& outPng) {
  const cv::Mat front = cv::imread(frontJpeg, cv::IMREAD_COLOR);
  std::vector<ZoneRead> zones = readList(readList_);
  if (front.empty() || zones.empty()) return false;
  for (ZoneRead& z : zones) z.box &= cv::Rect(0, 0, front.cols, front.rows);

  // Leaders first: each keeps a lane of its own, and the labels follow the lanes down the panel
  // so that no two leaders cross there.
  std::vector<std::vector<cv::Point>> paths;
  std::vector<int> lanes;
  for (size_t i = 0; i < zones.size(); ++i) {
    paths.push_back(route(zones, i, front.cols, front.rows, lanes));
    lanes.push_back(paths.back().back().y);
  }
  std::vector<size_t> order(zones.size());
  for (size_t i = 0; i < order.size(); ++i) order[i] = i;
  std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) { return lanes[a] < lanes[b]; });
  std::vector<int> labelY(zones.size());
  int next = 40;
  for (size_t i : order) {
    labelY[i] = std::max(next, lanes[i] + 10);
    next = labelY[i] + 2 * kRow;
  }

  constexpr int kPanel = 1000;
  const int keyTop = next;
  const int height = std::max(front.rows, keyTop + 4 * kRow);
  cv::Mat out(height, front.cols + kPanel, CV_8UC3, cv::Scalar(255, 255, 255));
  front.copyTo(out(cv::Rect(0, 0, front.cols, front.rows)));
  const int x = front.cols + kLabelGap;
  for (size_t i = 0; i < zones.size(); ++i) {
    const ZoneRead& z = zones[i];
    const cv::Scalar& c = kColours[i % std::size(kColours)];
    cv::rectangle(out, z.box, c, 3);
    text(out, std::to_string(i), z.box.tl() + cv::Point(4, 30), 1.0, c);
    std::vector<cv::Point> path = paths[i];
    path.push_back({front.cols + 12, lanes[i]});
    path.push_back({x - 8, labelY[i] - 10});
    polyline(out, path, c);
    text(out, std::to_string(i) + "  " + z.what, cv::Point(x, labelY[i]), 0.9, c);
    text(out, "read: " + (z.text.empty() ? std::string("(nothing)") : z.text), cv::Point(x + 40, labelY[i] + kRow - 6),
         0.9, cv::Scalar(0, 0, 0));
  }
  const int keyRows = drawKey(out, zones, x, keyTop);
  if (keyTop + keyRows > out.rows) return false;  // the height above leaves room for it
  return cv::imwrite(outPng, out);
}

}  // namespace pvk::democheque
