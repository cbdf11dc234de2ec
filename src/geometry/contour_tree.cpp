// Every contour of a binary image as a tree: the border following the DataMatrix outline search
// runs at each threshold it tries, worked out here on a framed byte copy. Contours, their points,
// their order and the tree are the image library's; a search that would need more border labels
// than seven bits hold is left to the library.
#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

#include "geometry/geometry.h"

namespace pvk::geometry {

namespace {

// Directions about a pixel: 0 to the right, then turning towards the row above, 7 down-right.
constexpr int kDx[8] = {1, 1, 0, -1, -1, -1, 0, 1};
constexpr int kDy[8] = {0, -1, -1, -1, 0, 1, 1, 1};
// Border labels run from 2 to 127; a border pixel whose right neighbour is background when its
// border passes carries its label with the top bit set.
constexpr int kFirstLabel = 2, kLastLabel = 127;

// The first x from `x` on, below `end`, whose byte is not `value`; `end` when there is none.
int nextChange(const int8_t* row, int x, int end, int8_t value) {
#if defined(__SSE2__)
  const __m128i v = _mm_set1_epi8(value);
  for (; x + 16 <= end; x += 16) {
    const int same = _mm_movemask_epi8(_mm_cmpeq_epi8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(row + x)), v));
    if (same != 0xFFFF) return x + __builtin_ctz(~same & 0xFFFF);
  }
#endif
  while (x < end && row[x] == value) ++x;
  return x;
}

// out[x] = 1 where in[x] is above 0, else 0.
void foreground(const uint8_t* in, int8_t* out, int n) {
  int x = 0;
#if defined(__SSE2__)
  const __m128i one = _mm_set1_epi8(1);
  for (; x + 16 <= n; x += 16)
    _mm_storeu_si128(reinterpret_cast<__m128i*>(out + x),
                     _mm_min_epu8(_mm_loadu_si128(reinterpret_cast<const __m128i*>(in + x)), one));
#endif
  for (; x < n; ++x) out[x] = in[x] != 0;
}

struct Node {
  int parent;  // discovery index, -1 for the frame
  bool hole;
  std::vector<cv::Point> points;
};

class Tracer {
 public:
  Tracer(const cv::Mat& binary, int8_t* frame) : w_(binary.cols + 2), h_(binary.rows + 2), img_(frame) {
    std::memset(img_, 0, static_cast<size_t>(w_));
    std::memset(img_ + static_cast<size_t>(h_ - 1) * w_, 0, static_cast<size_t>(w_));
    for (int y = 0; y < binary.rows; ++y) {
      const uint8_t* s = binary.ptr<uint8_t>(y);
      int8_t* d = img_ + static_cast<size_t>(y + 1) * w_;
      d[0] = d[w_ - 1] = 0;
      foreground(s, d + 1, binary.cols);
    }
    for (int s = 0; s < 16; ++s) delta_[s] = kDy[s & 7] * w_ + kDx[s & 7];
    std::fill(std::begin(owner_), std::end(owner_), -1);
  }

  // Scans and traces every border; false when the labels ran out or a label was not one given.
  bool run();
  void emit(std::vector<std::vector<cv::Point>>& contours, std::vector<cv::Vec4i>* hierarchy);

 private:
  bool start(int8_t* row, int x, int y, bool hole, int lnbd);
  void follow(int8_t* i0, cv::Point pt, bool hole, int8_t label, std::vector<cv::Point>& out) const;

  int w_, h_;
  int8_t* img_;
  int delta_[16];
  int owner_[128];
  int label_ = kFirstLabel;
  std::vector<Node> nodes_;
};

// Follows the border through i0 (at pt), labelling its pixels, and keeps the points where the
// border turns. A hole's border is followed with the hole on the right, an outer one with the
// outside on the left.
void Tracer::follow(int8_t* i0, cv::Point pt, bool hole, int8_t label, std::vector<cv::Point>& out) const {
  const int8_t exit = static_cast<int8_t>(label | 0x80);
  int s = hole ? 0 : 4, end = s;
  int8_t* i1;
  do {
    s = (s - 1) & 7;
    i1 = i0 + delta_[s];
  } while (*i1 == 0 && s != end);
  if (s == end) {  // a pixel alone
    *i0 = exit;
    out.push_back(pt);
    return;
  }
  int8_t *i3 = i0, *i4 = i0;
  int came = s ^ 4;
  for (;;) {
    end = s;
    while (s < 15) {
      i4 = i3 + delta_[++s];
      if (*i4 != 0) break;
    }
    s &= 7;
    // The turn passed the right neighbour: background there.
    if (static_cast<unsigned>(s - 1) < static_cast<unsigned>(end)) *i3 = exit;
    else if (*i3 == 1) *i3 = label;
    if (s != came) out.push_back(pt);
    came = s;
    pt.x += kDx[s];
    pt.y += kDy[s];
    if (i4 == i0 && i3 == i1) break;
    i3 = i4;
    s = (s + 4) & 7;
  }
}

// A new border at x of `row`: its parent from the last border met on the row (lnbd, 0 for the
// frame), then the border followed. False when no label is left or lnbd's is not one given.
bool Tracer::start(int8_t* row, int x, int y, bool hole, int lnbd) {
  int parent = -1;
  if (lnbd > 0) {
    const int owner = owner_[row[lnbd] & 0x7F];
    if (owner < 0) return false;
    parent = nodes_[owner].hole == hole ? nodes_[owner].parent : owner;
  }
  if (label_ > kLastLabel) return false;
  const int8_t label = static_cast<int8_t>(label_++);
  owner_[label] = static_cast<int>(nodes_.size());
  nodes_.push_back(Node{parent, hole, {}});
  follow(row + x - hole, cv::Point(x - hole - 1, y - 1), hole, label, nodes_.back().points);
  return true;
}

bool Tracer::run() {
  for (int y = 1; y < h_ - 1; ++y) {
    int8_t* row = img_ + static_cast<size_t>(y) * w_;
    int lnbd = 0;
    int8_t prev = 0;
    for (int x = nextChange(row, 1, w_, prev); x < w_; x = nextChange(row, x + 1, w_, prev)) {
      const int8_t p = row[x];
      const bool outer = prev == 0 && p == 1, hole = !outer && p == 0 && prev >= 1;
      if (!outer && !hole) {
        prev = p;
        if (p & -2) lnbd = x;  // a labelled pixel: the last border met
        continue;
      }
      if (hole && (prev & -2)) lnbd = x - 1;
      if (!start(row, x, y, hole, lnbd)) return false;
      lnbd = x - hole;
      prev = row[x];
    }
  }
  return true;
}

// The contours in the library's order: depth first from the border found last, each node's
// children from the one found last; the tree as next, previous, first child and parent.
void Tracer::emit(std::vector<std::vector<cv::Point>>& contours, std::vector<cv::Vec4i>* hierarchy) {
  const int n = static_cast<int>(nodes_.size());
  std::vector<int> first(n + 1, -1), next(n, -1), before(n, -1), order, at(n);
  for (int i = 0; i < n; ++i) {
    const int p = nodes_[i].parent < 0 ? n : nodes_[i].parent;
    next[i] = first[p];
    if (first[p] >= 0) before[first[p]] = i;
    first[p] = i;
  }
  for (int k = first[n]; k >= 0;) {
    at[k] = static_cast<int>(order.size());
    order.push_back(k);
    if (first[k] >= 0) {
      k = first[k];
      continue;
    }
    while (k >= 0 && next[k] < 0) k = nodes_[k].parent;
    if (k >= 0) k = next[k];
  }
  contours.clear();
  contours.reserve(static_cast<size_t>(n));
  for (int k : order) contours.push_back(std::move(nodes_[k].points));
  if (!hierarchy) return;
  auto index = [&](int k) { return k < 0 ? -1 : at[k]; };
  hierarchy->clear();
  for (int k : order) hierarchy->emplace_back(index(next[k]), index(before[k]), index(first[k]), index(nodes_[k].parent));
}

}  // namespace

std::vector<std::vector<cv::Point>> treeContours(const cv::Mat& binary, std::vector<cv::Vec4i>* hierarchy) {
  std::vector<std::vector<cv::Point>> contours;
  if (binary.type() == CV_8UC1 && !binary.empty() && binary.cols < (1 << 20) && binary.rows < (1 << 20)) {
    // A framed copy kept from one search to the next: a zone is searched at many thresholds.
    Tracer tracer(binary, reinterpret_cast<int8_t*>(keptImage(Kept::Outline, binary.rows + 2, binary.cols + 2).data));
    if (tracer.run()) {
      tracer.emit(contours, hierarchy);
      return contours;
    }
  }
  // The tracing works on a framed copy of its own: the image is left as it was. The library
  // binarises that copy in a parallel loop; for a zone, waking its worker threads costs more than
  // the loop, so all of it stays on this thread.
  onCallingThreadOnly([&] {
    if (hierarchy)
      cv::findContours(binary, contours, *hierarchy, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
    else cv::findContours(binary, contours, cv::RETR_TREE, cv::CHAIN_APPROX_SIMPLE, cv::Point(0, 0));
    return 0;
  });
  return contours;
}

}  // namespace pvk::geometry
