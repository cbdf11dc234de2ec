// PDF417 error correction: a Peterson decoder over GF(929). Syndromes, the error locator from a
// Toeplitz system, its roots by search over every position, the error values from a second
// system, and a check that the corrected codewords zero every syndrome.
#include <cstring>
#include <string>
#include <utility>

#include "core/trace.h"
#include "symbols/symbols.h"

namespace {

constexpr int kPrime = 929;
// Level 8: 512 check codewords, 255 unknowns for the locator.
constexpr int kMaxUnknowns = 255;
constexpr int kMaxSyndromes = 512;
// No symbol holds more codewords (90 rows of 30 columns), and 3^(928 - j) needs j <= 928.
constexpr int kMaxCodewords = 928;

int pwr_table[kPrime];
int inv_table[kPrime];

// The module's work areas, sized for level 8.
int syndromes[kMaxSyndromes + 1];  // S_1..S_512; S_0 = 0
int toeplitz[kMaxUnknowns][kMaxUnknowns];
int work[kMaxUnknowns][kMaxUnknowns];
int rhs[kMaxUnknowns];
int locator[kMaxUnknowns + 1];
int positions[kMaxUnknowns];
int errValues[kMaxUnknowns];

int reduce(long v)
{
  long r = v % kPrime;
  return static_cast<int>(r < 0 ? r + kPrime : r);
}

void traceError(const char* text) { pvk::symbols::pdfTrace("err - ", text); }

// Row reduction of the v x v system m | b modulo 929, pivoting on the largest entry of each
// column. Returns the rank reached before the first zero pivot (v when the system is solved,
// with the solution in out).
int eliminate(int v, int (*m)[kMaxUnknowns], int* b, int* out)
{
  for (int col = 0; col < v; ++col) {
    int pivot = col;
    for (int r = col + 1; r < v; ++r)
      if (m[r][col] > m[pivot][col])
        pivot = r;
    if (m[pivot][col] == 0)
      return col;
    if (pivot != col) {
      for (int k = 0; k < v; ++k)
        std::swap(m[pivot][k], m[col][k]);
      std::swap(b[pivot], b[col]);
    }
    int inv = inv_table[m[col][col]];
    for (int r = col + 1; r < v; ++r) {
      int f = GFmul(m[r][col], inv);
      if (!f)
        continue;
      for (int k = col; k < v; ++k)
        m[r][k] = reduce(m[r][k] - static_cast<long>(f) * m[col][k]);
      b[r] = reduce(b[r] - static_cast<long>(f) * b[col]);
    }
  }
  for (int r = v - 1; r >= 0; --r) {
    long s = b[r];
    for (int k = r + 1; k < v; ++k)
      s -= static_cast<long>(m[r][k]) * out[k];
    out[r] = GFmul(reduce(s), inv_table[m[r][r]]);
  }
  return v;
}

// The rank of the leading v x v block of the Toeplitz matrix (v when it is regular).
int toeplitzRank(int v)
{
  for (int i = 0; i < v; ++i) {
    std::memcpy(work[i], toeplitz[i], sizeof(int) * v);
    rhs[i] = 0;
  }
  int sol[kMaxUnknowns];
  return eliminate(v, work, rhs, sol);
}

int GausElToeplitz(int v, int (*m)[kMaxUnknowns], int* b, int* out)
{
  return eliminate(v, m, b, out) == v ? 1 : 0;
}

// Whether the locator vanishes at 3^(928 - j), the inverse of 3^j.
bool Solution(int j, const int* loc, int v)
{
  int x = pwr_table[(kPrime - 1 - j) % (kPrime - 1)];
  int xk = 1;
  long sum = 1;
  for (int k = 1; k <= v; ++k) {
    xk = GFmul(xk, x);
    sum += static_cast<long>(loc[k]) * xk;
  }
  return sum % kPrime == 0;
}

// Records up to v positions (powers j) where the locator vanishes; returns how many.
int FindRoots(int v, int n)
{
  int found = 0;
  for (int j = 0; j < n && found < v; ++j)
    if (Solution(j, locator, v))
      positions[found++] = j;
  return found;
}

int CreateToeplitz(int v)
{
  if (v > kMaxUnknowns) {
    if (MyLog.Debug & 0x02)
      pvk::symbols::pdfTrace("", "size too large for toeplitz", v);
    return 0;
  }
  for (int i = 0; i < v; ++i)
    for (int k = 0; k < v; ++k)
      toeplitz[i][k] = syndromes[i + 1 + k];
  return 1;
}

// Row i (1..v), column k: (3^position_k)^i.
void CreateErrEvalMatrix(int v)
{
  for (int k = 0; k < v; ++k) {
    int x = pwr_table[positions[k]], p = 1;
    for (int i = 0; i < v; ++i) {
      p = GFmul(p, x);
      work[i][k] = p;
    }
  }
}

bool allSyndromesZero(int* cw, int n, int count)
{
  for (int j = 1; j <= count; ++j)
    if (CalcSyndromes(cw, n, j) != 0)
      return false;
  return true;
}

}  // namespace

namespace pvk::symbols {

void pdfTrace(const char* tag, const char* text)
{
  std::string s(tag);
  s += text;
  WriteTrace(s.c_str(), false);
}

void pdfTrace(const char* tag, const char* text, long value)
{
  std::string s(tag);
  s += text;
  s += ' ';
  s += std::to_string(value);
  WriteTrace(s.c_str(), false);
}

}  // namespace pvk::symbols

int GFmul(int a, int b)
{
  if (a == 0 || b == 0)
    return 0;
  return static_cast<int>(static_cast<long>(a) * b % kPrime);
}

int GFdiv(int a, int b)
{
  int d = reduce(b);
  if (d == 0) {
    traceError("zero division");
    return 0;
  }
  if (a == 0)
    return 0;
  InitTables();
  return GFmul(reduce(a), inv_table[d]);
}

void InitTables()
{
  if (MyOcr.gf929Built)
    return;
  pwr_table[0] = 1;
  for (int i = 1; i < kPrime; ++i)
    pwr_table[i] = pwr_table[i - 1] * 3 % kPrime;
  inv_table[0] = -1;
  // 3 generates the multiplicative group: 3^i x 3^(928 - i) = 3^928 = 1.
  for (int i = 0; i < kPrime - 1; ++i)
    inv_table[pwr_table[i]] = pwr_table[(kPrime - 1 - i) % (kPrime - 1)];
  MyOcr.gf929Built = 1;
}

int CalcSyndromes(int* cw, int n, int j)
{
  InitTables();
  int x = pwr_table[j % (kPrime - 1)];
  long s = 0;
  for (int i = 0; i < n; ++i)
    s = (s * x + cw[i]) % kPrime;
  return reduce(s);
}

namespace {

// The locator of at most v errors from the syndromes S_1..S_2v in the work area: the largest
// regular system, then its rank, and so down to one. Its roots (powers) go to positions; their
// number, or -1 when no locator fits or it has fewer roots than its degree.
int locate(int v, int n)
{
  if (v < 1 || !CreateToeplitz(v))
    return -1;
  bool solvable = false;
  while (v >= 1 && !solvable) {
    int rank = toeplitzRank(v);
    if (rank == v) {
      solvable = true;
      break;
    }
    v = rank < v - 1 ? rank : v - 1;
  }
  if (!solvable)
    return -1;
  int sol[kMaxUnknowns];
  for (int i = 0; i < v; ++i) {
    std::memcpy(work[i], toeplitz[i], sizeof(int) * v);
    rhs[i] = reduce(-static_cast<long>(syndromes[v + 1 + i]));
  }
  if (!GausElToeplitz(v, work, rhs, sol))
    return -1;
  // sol[k] multiplies S_(i+k): it is the coefficient of x^(v - k).
  locator[0] = 1;
  for (int k = 0; k < v; ++k)
    locator[v - k] = sol[k];
  return FindRoots(v, n) < v ? -1 : v;
}

// Subtracts from cw the values of the t errata at positions, solved from S_1..S_t (in the
// work area); false when the system is singular.
bool correctAt(int* cw, int n, int t)
{
  CreateErrEvalMatrix(t);
  for (int i = 0; i < t; ++i)
    rhs[i] = syndromes[i + 1];
  if (!GausElToeplitz(t, work, rhs, errValues))
    return false;
  for (int k = 0; k < t; ++k) {
    int p = n - 1 - positions[k];
    cw[p] = reduce(cw[p] - static_cast<long>(errValues[k]));
  }
  return true;
}

// Errors and erasures: the f erased powers are known, so the syndromes are first freed of them
// (T_i = sum of gamma_m S_(i+f-m) over the erasure locator gamma), the other errors located from
// those, and the values of all of them solved at once. f erasures and e errors are corrected
// when f + 2e stays two below the syndromes; the two left over guard against a wrong answer.
int correctWithErasures(int* cw, int n, int nCheck, const int* erased, int f)
{
  if (f > nCheck - 2)
    return -1;
  int s[kMaxSyndromes + 1];
  std::memcpy(s, syndromes, sizeof(int) * (nCheck + 1));
  int gamma[kMaxUnknowns + 1] = {1};
  for (int k = 0; k < f; ++k) {
    const int x = pwr_table[erased[k]];
    for (int m = k + 1; m >= 1; --m)
      gamma[m] = reduce(gamma[m] - static_cast<long>(GFmul(x, gamma[m - 1])));
  }
  const int count = nCheck - f;
  bool others = false;
  for (int i = 1; i <= count; ++i) {
    long t = 0;
    for (int m = 0; m <= f; ++m)
      t += static_cast<long>(gamma[m]) * s[i + f - m];
    syndromes[i] = reduce(t);
    others = others || syndromes[i] != 0;
  }
  int e = 0;
  if (others && (e = locate((count - 2) / 2, n)) < 0)
    return -1;
  if (e + f > kMaxUnknowns)
    return -1;
  for (int k = 0; k < f; ++k)
    positions[e + k] = erased[k];
  std::memcpy(syndromes, s, sizeof(int) * (nCheck + 1));
  if (!correctAt(cw, n, e + f) || !allSyndromesZero(cw, n, nCheck))
    return -1;
  int changed = 0;  // an erased 0 was no error
  for (int k = 0; k < e + f; ++k)
    changed += errValues[k] != 0;
  return changed;
}

}  // namespace

int CorrectErrs(int* cw, int n, int nSynd)
{
  if (!cw) {
    traceError("correct error with null pointer");
    return -1;
  }
  if (n < 1 || n > kMaxCodewords || nSynd < 0 || nSynd + 2 > kMaxSyndromes || nSynd + 2 >= n)
    return -1;
  InitTables();
  // An erasure may hide any value: it enters as 0, its place known.
  int erased[kMaxUnknowns];
  int f = 0;
  for (int i = 0; i < n; ++i)
    if (cw[i] < 0 || cw[i] >= kPrime) {
      if (f < kMaxUnknowns)
        erased[f] = n - 1 - i;
      ++f;
      cw[i] = 0;
    }
  const int nCheck = nSynd + 2;
  bool clean = true;
  syndromes[0] = 0;
  for (int j = 1; j <= nCheck; ++j) {
    syndromes[j] = CalcSyndromes(cw, n, j);
    clean = clean && syndromes[j] == 0;
  }
  if (clean)
    return 0;
  if (f > 0)
    return f > kMaxUnknowns ? -1 : correctWithErasures(cw, n, nCheck, erased, f);
  const int v = locate(nSynd / 2, n);
  if (v < 0 || !correctAt(cw, n, v))
    return -1;
  // A right correction zeroes every syndrome; one check alone lets wrong ones through.
  return allSyndromesZero(cw, n, nCheck) ? v : -1;
}
