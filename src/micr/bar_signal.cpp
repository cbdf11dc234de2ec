// From pixels to bars: the column profile of a cleaned codeline image and the lobe extractor that
// marks where each positive and negative lobe of a signal begins and ends. The magnetic reading
// runs the same extractor on the conditioned head signal.
#include <algorithm>
#include <cstring>

#include "micr/micr.h"

namespace {

// Column profile: per column the largest sum of h consecutive pixels, scaled down by the number
// of doublings of 16 that reach h.
void columnProfile(const PVKImg& img, int h, int* p) {
  int shift = 0;
  for (int v = 16; v < h; v *= 2) ++shift;
  const int W = img.width, H = img.height;
  for (int x = 0; x < W; ++x) {
    const uint8_t* col = img.data + x;
    int sum = 0;
    for (int y = 0; y < h; ++y) sum += col[static_cast<size_t>(y) * img.stride];
    int best = sum;
    for (int y = h; y < H; ++y) {
      sum += col[static_cast<size_t>(y) * img.stride] - col[static_cast<size_t>(y - h) * img.stride];
      best = std::max(best, sum);
    }
    p[x] = best >> shift;
  }
}

}  // namespace

bool ElaboraSegnaleCMC(PVKImg* img, int* profile, int* peaks, int* work, int h) {
  if (img == nullptr || img->data == nullptr || img->width < 1 || img->height < 1 || img->stride < img->width)
    return false;
  const int W = img->width;
  if (h < 1 || h > img->height) h = img->height;
  columnProfile(*img, h, work);
  // Two profile positions per column; the last one is the caller's.
  for (int i = 0; i < W - 1; ++i) {
    profile[2 * i] = 2 * work[i];
    profile[2 * i + 1] = work[i] + work[i + 1];
  }
  profile[2 * W - 2] = 2 * work[W - 1];
  const int n = 2 * W;
  ElaboraSegnale(profile, peaks, work, nullptr, nullptr, n, 0, n);
  // One value per bar, at the middle of its lobe.
  for (int i = 0; i < n; ++i) {
    if (peaks[i] == 0) continue;
    int j = i + 1;
    while (j < n && work[j] == 0) ++j;
    const int v = peaks[i];
    peaks[i] = 0;
    peaks[(i + j) / 2] = v;
    i = j;
  }
  return true;
}

namespace {

struct Lobes {
  const int* sig;
  int* maxStart;
  int* maxEnd;
  int* minStart;
  int* minEnd;
  int from, to;
};

enum class Next { Positive, Negative };

// A positive lobe from pos: marks it and says where the search goes on and for what.
Next positiveLobe(const Lobes& l, int& pos) {
  const int* s = l.sig;
  int p = s[pos], pk = pos, k = pos + 1;
  while (k < l.to) {
    const int v = s[k];
    if (v > p) {
      p = v;
      pk = k++;
      continue;
    }
    // Past the peak: a negative sample, a fall below a third, or a rise out of a dip ends it.
    if (v < 0 || v < p / 3 || (s[k - 1] < v && (s[k - 1] < s[k + 1] || s[k - 1] < s[k + 2]))) break;
    ++k;
  }
  const int third = p / 3, twoThirds = 2 * p / 3;
  int b = pk;
  while (b > l.from && s[b] >= third && !(s[b] < s[b - 1] && s[b] < twoThirds) && l.maxEnd[b] == 0) --b;
  int e = pk;
  Next next = Next::Positive;
  for (;; ++e) {
    if (e >= l.to || s[e] < third) {
      next = Next::Negative;
      break;
    }
    if (s[e] < s[e + 1] && s[e] < twoThirds) break;
  }
  if (p > 0) {
    l.maxStart[b] = p;
    l.maxEnd[e] = p;
  }
  pos = next == Next::Negative ? e : k;
  return next;
}

// A negative lobe from pos. Its minimum is tracked from pos on, so the falling tail of a positive
// lobe is passed over; a track that never goes below 0 is no lobe and the search goes on where
// it stopped.
Next negativeLobe(const Lobes& l, int& pos) {
  const int* s = l.sig;
  int q = s[pos], qk = pos, k = pos + 1;
  while (k < l.to) {
    const int v = s[k];
    if (v < q) {
      q = v;
      qk = k;
    } else if (v > q / 2) {
      break;
    }
    ++k;
  }
  if (q >= 0) {
    pos = k;
    return Next::Positive;
  }
  int b = qk;
  while (b > l.from && s[b] <= q / 2 && s[b] <= s[b - 1]) --b;
  int e = qk;
  Next next = Next::Positive;
  for (;; ++e) {
    if (e >= l.to || s[e] > q / 2) break;
    if (s[e] > s[e + 1]) {
      next = Next::Negative;
      break;
    }
  }
  if (l.minStart && l.minEnd) {
    l.minStart[b] = q;
    l.minEnd[e] = q;
  }
  // The rising tail of this lobe is no lobe of its own.
  if (next == Next::Positive)
    while (e < l.to && s[e] < 0 && s[e] >= s[e - 1]) ++e;
  pos = e;
  return next;
}

// Every position carries at most one mark of the maximum arrays, and starts and ends alternate.
void tidyMaxima(const Lobes& l) {
  int* st = l.maxStart;
  int* en = l.maxEnd;
  for (int i = l.from; i < l.to; ++i) {
    if (st[i] == 0 || en[i] == 0) continue;
    if (st[i - 1] != 0) {
      st[i + 1] = st[i];
      st[i] = 0;
    } else {
      en[i - 1] = en[i];
      en[i] = 0;
    }
  }
  bool open = false;  // the last mark met was a start
  bool any = false;
  int openValue = 0;
  for (int i = l.from; i < l.to; ++i) {
    if (st[i] != 0) {
      if (any && open) {
        int j = i + 1;
        while (j < l.to && en[j] == 0) ++j;
        if (j < l.to && en[j] == st[i]) {
          en[i - 1] = openValue;  // the earlier lobe closes just before the later one
          openValue = st[i];
        } else {
          st[i] = 0;
        }
      } else {
        openValue = st[i];
      }
      if (st[i] != 0) open = any = true;
    }
    if (en[i] != 0) {
      if (any && !open) {
        if (en[i] != openValue) {
          st[i - 1] = en[i];  // a lobe whose start was lost
          openValue = en[i];
        } else {
          en[i] = 0;
          continue;
        }
      }
      open = false;
      any = true;
    }
  }
}

}  // namespace

bool ElaboraSegnale(int* sig, int* maxStart, int* maxEnd, int* minStart, int* minEnd, int n, int first, int last) {
  if (n < 1) return true;
  const size_t bytes = sizeof(int) * static_cast<size_t>(n);
  std::memset(maxStart, 0, bytes);
  std::memset(maxEnd, 0, bytes);
  if (minStart) std::memset(minStart, 0, bytes);
  if (minEnd) std::memset(minEnd, 0, bytes);
  const long long from = first < 1034 ? 10 : static_cast<long long>(first) - 1024;
  const long long to = n - 3 > static_cast<long long>(last) + 1024 ? static_cast<long long>(last) + 1024 : n - 4;
  // A window without room holds no lobe (the walks would pass their stops).
  if (from >= to) return true;
  const Lobes l{sig, maxStart, maxEnd, minStart, minEnd, static_cast<int>(from), static_cast<int>(to)};
  int pos = l.from;
  Next next = sig[pos] < 0 ? Next::Negative : Next::Positive;
  while (pos < l.to) {
    const int before = pos;
    const Next was = next;
    if (next == Next::Positive && sig[pos] < 0) next = Next::Negative;
    next = next == Next::Positive ? positiveLobe(l, pos) : negativeLobe(l, pos);
    // A walk that found nothing new moves on by one sample.
    if (pos <= before && next == was) pos = before + 1;
  }
  tidyMaxima(l);
  return true;
}
