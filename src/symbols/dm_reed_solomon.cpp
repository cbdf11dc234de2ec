// Reed-Solomon decoding over GF(2^m) with erasures (Berlekamp-Massey, Chien search, Forney),
// and the correction of one DataMatrix block as a shortened code of length 255.
#include "symbols/symbols.h"

#include "core/trace.h"

#include <algorithm>

namespace {

// Field polynomials by m: bit i set when x^i is present.
int fieldPolynomial(int m, bool ccsds) {
  switch (m) {
    case 2: return 0x7;
    case 3: return 0xB;
    case 4: return 0x13;
    case 5: return 0x25;
    case 6: return 0x43;
    case 7: return 0x89;
    case 8: return ccsds ? 0x187 : 0x12D;
    case 9: return 0x211;
    case 10: return 0x409;
    case 11: return 0x805;
    case 12: return 0x1053;
    case 13: return 0x201B;
    case 14: return 0x4443;
    case 15: return 0x8003;
    case 16: return 0x1100B;
    default: return 0;
  }
}

// Rows of the conventional-to-dual basis matrix of the CCSDS code.
constexpr unsigned char kTal[8] = {0x8d, 0xef, 0xec, 0x86, 0xfa, 0x99, 0xaf, 0x7b};

}  // namespace

cReedSolomonCodec::cReedSolomonCodec(int m, int nroots) { Init(m, nroots, 1, 1); }

void cReedSolomonCodec::Clear() {
  Pp.clear();
  Alpha_to.clear();
  Index_of.clear();
  Gg.clear();
  Exp2.clear();
  SynMul.clear();
  taltab.clear();
  tal1tab.clear();
  MM = NN = KK = 0;
}

int cReedSolomonCodec::Init(int m, int nroots, int fcr, int prim) {
  Clear();
  const int nn = (1 << std::min(std::max(m, 0), 30)) - 1;
  if (fieldPolynomial(m, false) == 0 || nroots < 1 || nroots >= nn || prim < 1 || prim >= nn || fcr < 0) return 0;
  MM = m;
  NN = nn;
  KK = NN - nroots;
  B0 = fcr;
  PRIM = prim;
  A0 = NN;
  ccsds = (m == 8 && KK == 223 && fcr == 112 && prim == 11);
  const int poly = fieldPolynomial(m, ccsds);
  Pp.assign(MM + 1, 0);
  for (int i = 0; i <= MM; ++i) Pp[i] = (poly >> i) & 1;
  generate_gf();
  // The root step must generate the whole group, else the positions cannot be told apart.
  Ldec = 0;
  for (int k = 1; k <= NN; ++k)
    if ((static_cast<long>(k) * PRIM) % NN == 1) {
      Ldec = k;
      break;
    }
  if (Ldec == 0) {
    Clear();
    return 0;
  }
  gen_poly();
  if (ccsds) gen_ltab();
  // The syndromes multiply by the same roots over and over: for bytes, each product is looked up.
  if (MM <= 8) {
    SynMul.assign(static_cast<size_t>(nroots) * (NN + 1), 0);
    for (int j = 0; j < nroots; ++j) {
      const int root = modnn((B0 + j) * PRIM % NN);
      uint8_t* products = SynMul.data() + static_cast<size_t>(j) * (NN + 1);
      for (int v = 1; v <= NN; ++v) products[v] = static_cast<uint8_t>(expOfSum(Index_of[v], root));
    }
  }
  return 1;
}

int cReedSolomonCodec::modnn(int x) const {
  while (x >= NN) {
    x -= NN;
    x = (x >> MM) + (x & NN);
  }
  return x;
}

void cReedSolomonCodec::generate_gf() {
  Alpha_to.assign(NN + 1, 0);
  Index_of.assign(NN + 1, 0);
  int mask = 1;
  Alpha_to[MM] = 0;
  for (int i = 0; i < MM; ++i) {
    Alpha_to[i] = mask;
    Index_of[mask] = i;
    if (Pp[i]) Alpha_to[MM] ^= mask;
    mask <<= 1;
  }
  Index_of[Alpha_to[MM]] = MM;
  mask >>= 1;
  for (int i = MM + 1; i < NN; ++i) {
    Alpha_to[i] = Alpha_to[i - 1] >= mask ? (Alpha_to[MM] ^ ((Alpha_to[i - 1] ^ mask) << 1)) : Alpha_to[i - 1] << 1;
    Index_of[Alpha_to[i]] = i;
  }
  Index_of[0] = A0;
  Alpha_to[NN] = 0;
  Exp2.resize(2 * static_cast<size_t>(NN));
  for (int i = 0; i < 2 * NN; ++i) Exp2[i] = Alpha_to[i < NN ? i : i - NN];
}

void cReedSolomonCodec::gen_poly() {
  const int nroots = NN - KK;
  std::vector<int> g(nroots + 1, 0);
  g[0] = 1;
  // Multiply in (x + alpha^root) for each consecutive root.
  for (int i = 0, root = modnn(B0 * PRIM); i < nroots; ++i, root = modnn(root + PRIM)) {
    g[i + 1] = 1;
    for (int j = i; j > 0; --j)
      g[j] = g[j] != 0 ? g[j - 1] ^ Alpha_to[modnn(Index_of[g[j]] + root)] : g[j - 1];
    g[0] = Alpha_to[modnn(Index_of[g[0]] + root)];
  }
  Gg.assign(nroots + 1, 0);
  for (int i = 0; i <= nroots; ++i) Gg[i] = Index_of[g[i]];
}

void cReedSolomonCodec::gen_ltab() {
  taltab.assign(NN + 1, 0);
  tal1tab.assign(NN + 1, 0);
  for (int i = 0; i <= NN; ++i) {
    int r = 0;
    for (int j = 0; j < 8; ++j) {
      int bit = 0;
      for (int k = 0; k < 8; ++k)
        if ((i >> k) & 1) bit ^= (kTal[7 - k] >> (7 - j)) & 1;
      r |= bit << (7 - j);
    }
    taltab[i] = static_cast<unsigned char>(r);
    tal1tab[r] = static_cast<unsigned char>(i);
  }
}

// Syndromes in log form; returns the OR of the plain values (0: a code word).
int cReedSolomonCodec::syndromes(const std::vector<int>& rec, std::vector<int>& s) const {
  const int nroots = NN - KK;
  s.assign(nroots, 0);
  // A shortened code word is zero above its last symbol, and Horner's sum stays 0 over zeros.
  int top = NN - 1;
  while (top >= 0 && rec[top] == 0) --top;
  int any = 0;
  int j = 0;
  if (!SynMul.empty()) {
    // Horner from the highest power, four roots at a time (four independent chains of look-ups).
    const size_t row = static_cast<size_t>(NN) + 1;
    for (; j + 4 <= nroots; j += 4) {
      const uint8_t* t0 = SynMul.data() + j * row;
      const uint8_t *t1 = t0 + row, *t2 = t1 + row, *t3 = t2 + row;
      int v0 = 0, v1 = 0, v2 = 0, v3 = 0;
      for (int i = top; i >= 0; --i) {
        const int c = rec[i];
        v0 = c ^ t0[v0];
        v1 = c ^ t1[v1];
        v2 = c ^ t2[v2];
        v3 = c ^ t3[v3];
      }
      any |= v0 | v1 | v2 | v3;
      s[j] = Index_of[v0];
      s[j + 1] = Index_of[v1];
      s[j + 2] = Index_of[v2];
      s[j + 3] = Index_of[v3];
    }
  }
  for (; j < nroots; ++j) {
    const int root = modnn((B0 + j) * PRIM % NN);
    int v = 0;
    for (int i = top; i >= 0; --i) v = v == 0 ? rec[i] : rec[i] ^ expOfSum(Index_of[v], root);
    any |= v;
    s[j] = Index_of[v];
  }
  return any;
}

// Chien search: x = alpha^k is a root when the position's locator X = alpha^-k. reg[i] holds
// the log of lambda[i] x^i at the current k, stepped on by i for the next.
// (The degree is at most nroots, below NN: one subtraction keeps reg[i] under NN.)
std::vector<int> cReedSolomonCodec::roots(const std::vector<int>& lambda, int degLambda) const {
  std::vector<int> positions, reg(degLambda + 1, 0);
  for (int i = 0; i <= degLambda; ++i) reg[i] = lambda[i] != 0 ? Index_of[lambda[i]] : -1;
  const int* alpha = Alpha_to.data();
  for (int k = 0; k < NN && static_cast<int>(positions.size()) < degLambda; ++k) {
    int v = 0;
    for (int i = 0; i <= degLambda; ++i) {
      int& r = reg[i];
      if (r < 0) continue;
      v ^= alpha[r];
      r += i;
      if (r >= NN) r -= NN;
    }
    if (v == 0) positions.push_back(static_cast<int>(static_cast<long>((NN - k) % NN) * Ldec % NN));
  }
  return positions;
}

// The same over positions 0 .. used - 1 alone, each evaluated where it lies. A root elsewhere
// with no error value could not make the word decode: the syndromes would then come from fewer
// errors than the locator's degree, below the least degree the Berlekamp-Massey pass finds.
// Position p evaluates at x = alpha^k, k = -PRIM p: term i's log, log lambda[i] + i k, steps
// down by i PRIM from one position to the next.
std::vector<int> cReedSolomonCodec::rootsAmong(const std::vector<int>& lambda, int degLambda, int used) const {
  std::vector<int> positions, reg, step;
  for (int i = 0; i <= degLambda; ++i)
    if (lambda[i] != 0) {
      reg.push_back(Index_of[lambda[i]]);
      step.push_back(static_cast<int>(static_cast<long>(i) * PRIM % NN));
    }
  const int* alpha = Alpha_to.data();
  const int terms = static_cast<int>(reg.size());
  for (int p = 0; p < used && static_cast<int>(positions.size()) < degLambda; ++p) {
    int v = 0;
    for (int t = 0; t < terms; ++t) {
      v ^= alpha[reg[t]];
      reg[t] -= step[t];
      if (reg[t] < 0) reg[t] += NN;
    }
    if (v == 0) positions.push_back(p);
  }
  return positions;
}

int cReedSolomonCodec::Decode(const int* data, const int* parity, const int* erasures, int nErasures, int* out,
                              int outSize, int used) {
  if (NN == 0 || data == nullptr || parity == nullptr) return -1;
  const int nroots = NN - KK;
  std::vector<int> rec(NN);
  for (int i = 0; i < nroots; ++i) rec[i] = parity[i] & NN;
  for (int j = 0; j < KK; ++j) rec[nroots + j] = data[j] & NN;
  if (ccsds)
    for (int& v : rec) v = tal1tab[v];

  auto finish = [&](int count) {
    if (out != nullptr)
      for (int j = 0; j < std::min(KK, outSize); ++j) out[j] = ccsds ? taltab[rec[nroots + j]] : rec[nroots + j];
    return count;
  };

  std::vector<int> s;
  if (syndromes(rec, s) == 0) return finish(0);
  if (nErasures < 0 || nErasures > nroots || (nErasures > 0 && erasures == nullptr)) return -1;

  // Erasure locator, then Berlekamp-Massey for the errors-and-erasures locator (plain values).
  std::vector<int> lambda(nroots + 1, 0), b(nroots + 1, 0), t(nroots + 1, 0);
  lambda[0] = 1;
  for (int e = 0; e < nErasures; ++e) {
    if (erasures[e] < 0 || erasures[e] >= NN) return -1;
    const int x = modnn(PRIM * erasures[e] % NN);
    for (int j = e + 1; j > 0; --j)
      if (lambda[j - 1] != 0) lambda[j] ^= Alpha_to[modnn(x + Index_of[lambda[j - 1]])];
  }
  b = lambda;
  int el = nErasures;
  for (int r = nErasures + 1; r <= nroots; ++r) {
    int d = 0;
    for (int i = 0; i < r; ++i)
      if (lambda[i] != 0 && s[r - i - 1] != A0) d ^= expOfSum(Index_of[lambda[i]], s[r - i - 1]);
    if (d == 0) {
      std::rotate(b.rbegin(), b.rbegin() + 1, b.rend());
      b[0] = 0;
      continue;
    }
    const int dlog = Index_of[d];
    t[0] = lambda[0];
    for (int i = 0; i < nroots; ++i) t[i + 1] = lambda[i + 1] ^ (b[i] != 0 ? expOfSum(dlog, Index_of[b[i]]) : 0);
    if (2 * el <= r + nErasures - 1) {
      el = r + nErasures - el;
      for (int i = 0; i <= nroots; ++i) b[i] = lambda[i] != 0 ? expOfSum(Index_of[lambda[i]], NN - dlog) : 0;
    } else {
      std::rotate(b.rbegin(), b.rbegin() + 1, b.rend());
      b[0] = 0;
    }
    lambda = t;
  }
  int degLambda = 0;
  for (int i = 0; i <= nroots; ++i)
    if (lambda[i] != 0) degLambda = i;
  // More than the code can correct: no code word lies within reach.
  if (degLambda == 0 || 2 * degLambda - nErasures > nroots) return -1;

  const std::vector<int> positions =
      nErasures == 0 && used > 0 && used < NN ? rootsAmong(lambda, degLambda, used) : roots(lambda, degLambda);
  if (static_cast<int>(positions.size()) != degLambda) return -1;

  // Error evaluator omega = S * lambda mod x^nroots, then Forney for each value.
  std::vector<int> omega(nroots, 0);
  for (int i = 0; i < nroots; ++i)
    for (int j = 0; j <= std::min(i, degLambda); ++j)
      if (lambda[j] != 0 && s[i - j] != A0) omega[i] ^= expOfSum(Index_of[lambda[j]], s[i - j]);
  for (int pos : positions) {
    const int xlog = modnn(static_cast<int>(static_cast<long>(PRIM) * pos % NN));  // log X
    const int xinv = modnn(NN - xlog);                                            // log X^-1
    int num = 0, den = 0;
    for (int i = 0; i < nroots; ++i)
      if (omega[i] != 0) num ^= Alpha_to[modnn(Index_of[omega[i]] + static_cast<int>(static_cast<long>(i) * xinv % NN))];
    for (int i = 1; i <= degLambda; i += 2)
      if (lambda[i] != 0)
        den ^= Alpha_to[modnn(Index_of[lambda[i]] + static_cast<int>(static_cast<long>(i - 1) * xinv % NN))];
    if (den == 0) return -1;
    if (num == 0) continue;
    const long e = static_cast<long>(Index_of[num]) + static_cast<long>(xlog) * ((1 - B0 % NN + NN) % NN) % NN +
                   NN - Index_of[den];
    rec[pos] ^= Alpha_to[modnn(static_cast<int>(e % NN))];
  }
  if (syndromes(rec, s) != 0) return -1;
  return finish(degLambda);
}

// ---- One DataMatrix block ------------------------------------------------------------------

namespace {

struct DmBlockState {
  cReedSolomonCodec codec;
  std::vector<int> codewords;
  int nroots = 0;
  std::vector<int> corrected = std::vector<int>(1024, 0);
  int iErrCount = -1;
};
DmBlockState block;

int Correct() {
  const int n = static_cast<int>(block.codewords.size());
  const int kk = 255 - block.nroots;
  const int d = n - block.nroots;
  if (d < 0 || d > kk) return -1;
  std::vector<int> data(kk, 0), parity(block.nroots, 0), out(kk, 0);
  for (int i = 0; i < d; ++i) data[i] = block.codewords[d - 1 - i];
  for (int i = 0; i < block.nroots; ++i) parity[i] = block.codewords[n - 1 - i];
  const int r = block.codec.Decode(data.data(), parity.data(), nullptr, 0, out.data(), kk, n);
  if (r < 0) return -1;
  for (int i = d; i < kk; ++i)
    if (out[i] != 0) return -1;  // a correction in the shortening lies outside the block
  for (int i = 0; i < d; ++i) block.corrected[i] = out[d - 1 - i];
  return r;
}

}  // namespace

int ReedSolomonForDataMatrix(const unsigned char* codewords, int n, int nroots) {
  block.iErrCount = -1;
  if (codewords == nullptr || n < 1 || n > 1024 || nroots < 1) return -1;
  // This codec serves DataMatrix blocks alone, always as Init(8, nroots, 1, 1): tables built for
  // the same root count are the ones a new build would give.
  const bool built = block.codec.mm() == 8 && block.codec.nn() - block.codec.kk() == nroots;
  if (!built && !block.codec.Init(8, nroots, 1, 1)) return -1;
  block.codewords.assign(codewords, codewords + n);
  block.nroots = nroots;
  block.iErrCount = Correct();
  return block.iErrCount;
}

bool WasDecodable() { return block.iErrCount != -1; }

std::unique_ptr<unsigned char[]> GetCorrectedCodewords(int& n) {
  n = static_cast<int>(block.codewords.size()) - block.nroots;
  if (n < 1) return nullptr;
  std::unique_ptr<unsigned char[]> out(new unsigned char[n]);
  for (int i = 0; i < n; ++i) {
    int v = block.corrected[i];
    if (v > 255) {
      WriteTrace("val non atteso", false);
      v = 0;
    }
    out[i] = static_cast<unsigned char>(v);
  }
  return out;
}

int GetNoOfErrorCorrectionWords(int rows) {
  static const int kTable[][2] = {{10, 5},   {12, 7},   {14, 10},  {16, 12},  {18, 14},  {20, 18},
                                  {22, 20},  {24, 24},  {26, 28},  {32, 36},  {36, 42},  {40, 48},
                                  {44, 56},  {48, 68},  {52, 84},  {64, 112}, {72, 144}, {80, 192},
                                  {88, 224}, {96, 272}, {104, 336}, {120, 408}, {132, 496}, {144, 620}};
  for (const auto& e : kTable)
    if (e[0] == rows) return e[1];
  return 0;
}
