// The encoder side of PDF417 for our generators and tests: arithmetic modulo 929, the row
// indicators, and libzint's module rows cut into 17-module characters.
#include "pdf417_model.h"

#include <zint.h>

#include <cstring>

namespace pvk::tools::pdf417 {

namespace {

int mod(long v)
{
  long r = v % kPrime;
  return static_cast<int>(r < 0 ? r + kPrime : r);
}

int power3(int j)
{
  int p = 1;
  for (int i = 0; i < j; ++i)
    p = p * 3 % kPrime;
  return p;
}

constexpr int kStartKey = 0x922222;

}  // namespace

int syndrome(const std::vector<int>& cw, int j)
{
  int x = power3(j), s = 0;
  for (int c : cw)
    s = mod(static_cast<long>(s) * x + c);
  return s;
}

std::vector<int> checkCodewords(const std::vector<int>& data, int level)
{
  int k = 2 << level;
  // g(x) = (x - 3)(x - 3^2)...(x - 3^k), highest degree first.
  std::vector<int> g{1};
  for (int j = 1; j <= k; ++j) {
    int root = power3(j);
    std::vector<int> next(g.size() + 1, 0);
    for (size_t i = 0; i < g.size(); ++i) {
      next[i] = mod(next[i] + g[i]);
      next[i + 1] = mod(next[i + 1] - static_cast<long>(g[i]) * root);
    }
    g = next;
  }
  // Remainder of data(x) x^k divided by g(x); the checks are its negation.
  std::vector<int> rem(data);
  rem.resize(data.size() + k, 0);
  for (size_t i = 0; i < data.size(); ++i) {
    int f = rem[i];
    if (!f)
      continue;
    for (size_t t = 0; t < g.size(); ++t)
      rem[i + t] = mod(rem[i + t] - static_cast<long>(f) * g[t]);
  }
  std::vector<int> checks(rem.end() - k, rem.end());
  for (int& c : checks)
    c = mod(-c);
  return checks;
}

int leftIndicator(int r, int rows, int cols, int level)
{
  int base = 30 * (r / 3);
  switch (r % 3) {
    case 0: return base + (rows - 1) / 3;
    case 1: return base + 3 * level + (rows - 1) % 3;
    default: return base + cols - 1;
  }
}

int rightIndicator(int r, int rows, int cols, int level)
{
  int base = 30 * (r / 3);
  switch (r % 3) {
    case 0: return base + cols - 1;
    case 1: return base + (rows - 1) / 3;
    default: return base + 3 * level + (rows - 1) % 3;
  }
}

uint32_t characterKey(const uint8_t* m)
{
  int e[8], n = 0, i = 0;
  if (!m[0])
    return 0;
  while (i < 17 && n < 8) {
    int start = i;
    while (i < 17 && m[i] == m[start])
      ++i;
    e[n++] = i - start;
  }
  if (n != 8 || i != 17)
    return 0;
  uint32_t key = 0;
  for (int t = 0; t < 6; ++t) {
    int v = e[t] + e[t + 1];
    if (v > 15)
      return 0;
    key = key << 4 | static_cast<uint32_t>(v);
  }
  return key;
}

bool encode(const Request& rq, Modules& out, std::string* err)
{
  zint_symbol* s = ZBarcode_Create();
  if (!s)
    return false;
  s->symbology = BARCODE_PDF417;
  s->input_mode = DATA_MODE;
  s->option_1 = rq.level;
  s->option_2 = rq.cols;
  s->option_3 = rq.rows;
  s->eci = rq.eci;
  if (rq.readerInit)
    s->output_options |= READER_INIT;
  if (rq.structCount > 0) {
    s->structapp.index = rq.structIndex;
    s->structapp.count = rq.structCount;
    std::strncpy(s->structapp.id, rq.structId.c_str(), sizeof s->structapp.id - 1);
  }
  int rc = ZBarcode_Encode(s, reinterpret_cast<const unsigned char*>(rq.payload.data()),
                           static_cast<int>(rq.payload.size()));
  bool ok = rc < ZINT_ERROR;
  if (!ok && err)
    *err = s->errtxt;
  if (ok) {
    out.rows = s->rows;
    out.width = s->width;
    out.cols = (s->width - 69) / 17;
    out.bits.assign(s->rows, std::vector<uint8_t>(s->width));
    for (int r = 0; r < s->rows; ++r)
      for (int c = 0; c < s->width; ++c)
        out.bits[r][c] = (s->encoded_data[r][c >> 3] >> (c & 7)) & 1;
    // Every row: start, left indicator, the data columns, right indicator, stop.
    ok = out.width == 17 * (out.cols + 3) + 18 && out.cols >= 1;
    for (int r = 0; ok && r < out.rows; ++r) {
      const uint8_t* b = out.bits[r].data();
      int stop[9] = {7, 1, 1, 3, 1, 1, 1, 2, 1};
      ok = characterKey(b) == kStartKey;
      int x = out.width - 18, e = 0;
      for (int k = 0; ok && k < 9; ++k) {
        int run = 0;
        while (x < out.width && b[x] == (k % 2 == 0)) {
          ++x;
          ++run;
        }
        ok = run == stop[k];
        e += run;
      }
      ok = ok && e == 18;
    }
    if (!ok && err)
      *err = "rows are not start, indicators, columns and stop";
  }
  ZBarcode_Delete(s);
  return ok;
}

std::vector<std::vector<int>> readCodewords(const Modules& m, const uint64_t (*tab)[kPrime])
{
  std::vector<std::vector<int>> rows;
  for (int r = 0; r < m.rows; ++r) {
    const uint64_t* t = tab[r % 3];
    std::vector<int> cw;
    for (int c = 0; c < m.cols + 2; ++c) {
      uint32_t key = characterKey(m.bits[r].data() + 17 * (c + 1));
      int v = -1;
      for (int i = 0; key && i < kPrime; ++i)
        if (t[i] == key) {
          v = i;
          break;
        }
      cw.push_back(v);
    }
    rows.push_back(cw);
  }
  return rows;
}

std::vector<int> dataStream(const std::vector<std::vector<int>>& rowCw)
{
  std::vector<int> out;
  for (const auto& row : rowCw)
    out.insert(out.end(), row.begin() + 1, row.end() - 1);
  return out;
}

}  // namespace pvk::tools::pdf417
