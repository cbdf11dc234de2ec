// The row-profile study of the zone reader: per row the darkest run of pixels, smoothed; the
// 15 thresholds of the zone's grey histogram; bands of dark rows cut at a threshold, and bands
// too high for one text line searched again inside.
#include <algorithm>
#include <cassert>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "core/image_utils.h"
#include "core/shims.h"
#include "core/trace.h"
#include "ocr/ocr.h"

namespace {

constexpr int kPasses = 100;  // bound of the threshold passes

int smoothRowsOf(const PVKImg* img, const StudiaRighe& st) {
  return std::max(std::min<int>(img->height, st.smoothRows), 6);
}

int threshold(int i) { return i < kSoglie ? ValSoglia[i] : 255; }

// The base count of the thresholds: the pixels up to the first grey level at or above 10 that
// holds more than 30 % of them, the share moved until such a level lies inside 11..254.
long long baseCount(const long long* C, const long long* H, long long total) {
  long long b = total * 30 / 100;
  int g = -1;
  for (int search = 0; search < 33; ++search) {
    g = -1;
    for (int v = 10; v < 256; ++v)
      if (C[v] > b) {
        g = v;
        break;
      }
    if (g == 10) b *= 2;
    else if (g < 0 || g == 255) b = b * 220 / 255;
    else break;
  }
  return g >= 0 ? C[g] : H[0];
}

void thresholds(const long long* H, long long total) {
  long long C[256];
  long long run = 0;
  for (int g = 0; g < 256; ++g) C[g] = run += H[g];
  static const double f[14] = {0.7, 0.75, 0.8, 0.85, 0.9, 0.95, 1.0, 1.05, 1.1, 1.15, 1.25, 1.4, 1.5, 1.7};
  long long c = baseCount(C, H, total);
  long long t[kSoglie];
  for (int j = 0; j < 14; ++j) t[j] = static_cast<long long>(f[j] * c);
  t[14] = 0;
  int V[kSoglie];
  int adjustments = 0;
  for (int pass = 1; pass <= kPasses; ++pass) {
    int n = 0;
    for (int g = 0; g < 255 && n < kSoglie; ++g)
      if (C[g + 1] >= t[n]) V[n++] = g;
    for (int j = n; j < kSoglie; ++j) V[j] = n ? V[n - 1] : 0;
    if (V[0] < 20) break;
    if ((n <= 14 && pass <= 3) || (n < 9 && pass <= 31)) {
      for (long long& x : t) x = std::max<long long>(static_cast<long long>(0.9 * x), 1);
      continue;
    }
    int spread = V[14] - V[0];
    if (spread >= 110 || adjustments > 15) break;
    for (int j = 0; j < 6; ++j)
      if (V[j] > 39) t[j] = static_cast<long long>(t[j] * (spread <= 99 ? 0.95 : 0.9));
    ++adjustments;
  }
  int step = (V[14] - V[0]) / 14;
  for (int j = 1; j <= 5; ++j) V[j] = std::clamp(V[j - 1] + step, 20, 255);
  for (int j = 0; j < kSoglie; ++j) ValSoglia[j] = static_cast<uint8_t>(std::clamp(V[j], 0, 255));
}

// Bands of rows whose smoothed profile lies under the cut of threshold index i.
int CercaRighe2(const PVKImg* img, int i, RigaType* bands, StudiaRighe& st) {
  std::memset(bands, 0, sizeof(RigaType) * kMaxRighe);
  int H = img->height;
  bands[0] = {0, static_cast<uint16_t>(H), 0};
  if (!st.smooth || !st.profile) return 1;
  int K = smoothRowsOf(img, st);
  int m = 0;
  for (int r = 0; r < H - K / 2; ++r) m = std::max(m, static_cast<int>(st.profile[r] & 0xFF));
  int v = m ? std::max(m < 31 ? 50 : m + 20, m * 110 / 100) : 250;
  int idx = std::min(i, 8);
  while (idx > 0 && ValSoglia[idx] >= 255) --idx;
  int cut = std::min(static_cast<int>(ValSoglia[idx]), v);
  if (cut < 10) cut = 10;

  st.smooth[H - 1] = 255;
  std::vector<RigaType> found;
  int open = -1;
  bool wasDark = false;
  for (int r = 0; r < H && found.size() < kMaxRighe; ++r) {
    bool dark = static_cast<int>(st.smooth[r]) < cut;
    if (dark && !wasDark) {
      bool reopen = false;
      if (!found.empty()) {
        int end = found.back().start + found.back().height;
        reopen = r - end < st.minGap && st.smooth[r] <= 249;
      }
      if (reopen) {
        open = found.back().start;
        found.pop_back();
      } else {
        open = r;
      }
    } else if (!dark && wasDark && open >= 0) {
      if (open + 4 < r) found.push_back({static_cast<uint16_t>(open), static_cast<uint16_t>(r - open), 0});
      open = -1;
    }
    wasDark = dark;
  }
  if (found.empty()) return 1;
  if (found[0].height < st.minHeight) {
    found[0].height = static_cast<uint16_t>(found[0].height + found[0].start);
    found[0].start = 0;
  }
  for (size_t k = 1; k < found.size();) {
    if (found[k].height >= st.minHeight) {
      ++k;
      continue;
    }
    int nextStart = k + 1 < found.size() ? found[k + 1].start : H;
    found[k - 1].height = static_cast<uint16_t>(nextStart - found[k - 1].start);
    found.erase(found.begin() + static_cast<long>(k));
  }
  for (size_t k = 0; k < found.size(); ++k) {
    RigaType& b = found[k];
    b.cut = static_cast<uint16_t>(cut & 0xFF);
    if (b.start < K / 2) {
      b.height = static_cast<uint16_t>(std::max(b.start - K / 2 + b.height, 1));
      b.start = 0;
    } else {
      b.start = static_cast<uint16_t>(b.start - K / 2);
    }
    if (k + 1 == found.size() && b.start + b.height >= H - (K / 2 + 1)) b.height = static_cast<uint16_t>(H - b.start);
    bands[k] = b;
  }
  return static_cast<int>(found.size());
}

int CercaRigheRicorsivo(PVKImg* img, int idxMin, int level, bool first, RigaType* out, bool flag,
                        const StudiaRighe& study) {
  StudiaRighe st = study;
  st.profile = st.smooth = nullptr;
  if (!CalcolaValRighe(img, st)) return 1;
  if (first) std::memcpy(OptValSoglia, ValSoglia, sizeof OptValSoglia);
  int i = 15;
  for (int k = 8; k < kSoglie; ++k)
    if (ValSoglia[k] >= std::min(level, 150)) {
      i = k;
      break;
    }
  while (i > idxMin && threshold(i) > std::max(level, 240)) --i;

  std::vector<RigaType> bands(kMaxRighe);
  int n = 1;
  for (;;) {
    n = CercaRighe2(img, i, bands.data(), st);
    if (i <= idxMin) break;
    --i;
    if (threshold(i) < 50 || st.maxHeight == 0) break;
    if (n != 1) break;
    if (st.maxHeight >= bands[0].height) break;
  }
  if (n == 1) {
    pvk::ocr::freeStudy(st);
    return 1;
  }
  int count = 0;
  for (int k = 0; k < n && count < kMaxRighe; ++k) {
    const RigaType& b = bands[k];
    if (b.height > st.maxHeight && b.height < img->height) {
      // Too high for one line: search inside it.
      PVKImg sub = *img;
      sub.height = b.height;
      sub.data = img->data + static_cast<size_t>(b.start) * img->stride;
      std::vector<RigaType> inner(kMaxRighe);
      inner[0] = {0, b.height, b.cut};
      int m = CercaRigheRicorsivo(&sub, idxMin, level, false, inner.data(), flag, study);
      for (int q = 0; q < m && count < kMaxRighe; ++q) {
        out[count] = inner[q];
        out[count].start = static_cast<uint16_t>(inner[q].start + b.start);
        ++count;
      }
    } else {
      out[count++] = b;
    }
  }
  pvk::ocr::freeStudy(st);
  return count;
}

}  // namespace

void pvk::ocr::freeStudy(StudiaRighe& study) {
  std::free(study.profile);
  std::free(study.smooth);
  study.profile = study.smooth = nullptr;
}

bool CalcolaValRighe(PVKImg* img, StudiaRighe& st) {
  assert(img && img->width >= 16);
  pvk::ocr::freeStudy(st);
  int H = img->height, W = img->width;
  st.profile = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(H + 16), sizeof(uint32_t)));
  st.smooth = static_cast<uint32_t*>(std::calloc(static_cast<size_t>(H + 16), sizeof(uint32_t)));
  if (!st.profile || !st.smooth) {
    pvk::ocr::freeStudy(st);
    MyDev.lastResult = PVK_ERR_OUT_OF_MEMORY;
    WriteTrace("err - ", "CalcolaValRighe - memory allocation failed in getting rows", static_cast<int>(GetLastError()),
               false);
    return false;
  }
  int L = std::max(std::min<int>(W, st.runLength), 4);
  L = std::min(L, W);
  pvk::core::LevelCounts counts;
  for (int y = 0; y < H; ++y) {
    const uint8_t* p = img->data + static_cast<size_t>(y) * img->stride;
    int run = 0;
    for (int x = 0; x < L; ++x) run += p[x];
    int best = run;
    for (int x = L; x < W; ++x) best = std::min(best, run += p[x] - p[x - L]);
    st.profile[y] = static_cast<uint32_t>(best / L);
    counts.add(p, static_cast<size_t>(W));
  }
  long long hist[256];
  for (int level = 0; level <= 255; ++level) hist[level] = static_cast<long long>(counts[level]);
  long long total = static_cast<long long>(W) * H;
  if (hist[0] + hist[255] == total) {
    st.quality = 200;
    std::memset(ValSoglia, 1, sizeof ValSoglia);
  } else {
    thresholds(hist, total);
  }
  int K = smoothRowsOf(img, st);
  if (K > H) K = H;
  long long sum = 0;
  for (int y = 0; y < K; ++y) sum += st.profile[y];
  int first = K / 2, last = first;
  for (int y = first;; ++y) {
    st.smooth[y] = static_cast<uint32_t>(sum / K);
    last = y;
    int in = y - K / 2 + K;
    if (in >= H) break;
    sum += static_cast<long long>(st.profile[in]) - st.profile[y - K / 2];
  }
  for (int y = 0; y < first; ++y) st.smooth[y] = st.smooth[first];
  for (int y = last + 1; y < H; ++y) st.smooth[y] = st.smooth[last];
  return true;
}

int CercaRighe(PVKImg* img, StudiaRighe study, uint16_t idxMin, uint8_t level, RigaType* out, bool flag) {
  int H = img ? img->height : 0;
  if (!img || !img->data || img->width < 16 || H < 1) {
    out[0] = {0, static_cast<uint16_t>(H), 0};
    return 1;
  }
  int n = CercaRigheRicorsivo(img, idxMin, level, true, out, flag, study);
  std::memcpy(ValSoglia, OptValSoglia, sizeof ValSoglia);
  if (n < 1 || n > 255) {
    out[0] = {0, static_cast<uint16_t>(H), 0};
    return 1;
  }
  if (study.widen) allarga(out, static_cast<uint16_t>(n), static_cast<uint16_t>(H), study.widen);
  return n;
}
