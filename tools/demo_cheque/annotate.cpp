// The picture of a read cheque that a person looks at: the front the demo host saved, every zone
// outlined in a colour of its own and numbered, and beside the cheque, at the height of each
// zone's line, its number, what is printed there and the text read.
#include "annotate.h"

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>

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

void text(cv::Mat& m, const std::string& t, cv::Point at, double scale, const cv::Scalar& colour) {
  cv::putText(m, t, at, cv::FONT_HERSHEY_SIMPLEX, scale, colour, 2, cv::LINE_AA);
}

}  // namespace

bool annotate(const std::string& frontJpeg, const std::string& readList_, const std::string& outPng) {
  const cv::Mat front = cv::imread(frontJpeg, cv::IMREAD_COLOR);
  const std::vector<ZoneRead> zones = readList(readList_);
  if (front.empty() || zones.empty()) return false;
  constexpr int kPanel = 1000, kRow = 44;
  const int height = std::max(front.rows, 40 + static_cast<int>(zones.size()) * 2 * kRow);
  cv::Mat out(height, front.cols + kPanel, CV_8UC3, cv::Scalar(255, 255, 255));
  front.copyTo(out(cv::Rect(0, 0, front.cols, front.rows)));
  for (size_t i = 0; i < zones.size(); ++i) {
    const ZoneRead& z = zones[i];
    const cv::Scalar& c = kColours[i % std::size(kColours)];
    const cv::Rect box = z.box & cv::Rect(0, 0, front.cols, front.rows);
    cv::rectangle(out, box, c, 3);
    text(out, std::to_string(i), box.tl() + cv::Point(4, 30), 1.0, c);
    // The label rows follow the zones' order down the panel; a thin line joins box and label.
    const int y = 40 + static_cast<int>(i) * 2 * kRow;
    const int x = front.cols + 30;
    cv::line(out, cv::Point(box.x + box.width, box.y + box.height / 2), cv::Point(x - 8, y - 10), c, 1, cv::LINE_AA);
    text(out, std::to_string(i) + "  " + z.what, cv::Point(x, y), 0.9, c);
    text(out, "read: " + (z.text.empty() ? std::string("(nothing)") : z.text), cv::Point(x + 40, y + kRow - 6), 0.9,
         cv::Scalar(0, 0, 0));
  }
  return cv::imwrite(outPng, out);
}

}  // namespace pvk::democheque
