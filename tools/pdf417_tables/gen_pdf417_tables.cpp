// Writes the PDF417 character table (t1..t6 of every codeword value in clusters 0, 3 and 6) and
// the text compaction submode table as C++ source. Both are read off symbols that zint encodes,
// run as a black box: every value a character must carry is computed here from what the symbol
// holds (byte payloads give known data codewords, the check codewords and row indicators follow
// from the payload), and the submodes from the text codewords zint writes around each character.
// Two values for one entry, or an entry left empty, stop the generator.
//
// Usage: pdf417_tables OUTPUT.cpp
#include <cstdio>
#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "pdf417_model.h"

using namespace pvk::tools::pdf417;

namespace {

Rng rng(0x5eed417u);

int uniform(int lo, int hi) { return rng.in(lo, hi); }

[[noreturn]] void fail(const std::string& why)
{
  std::fprintf(stderr, "pdf417_tables: %s\n", why.c_str());
  std::exit(1);
}

uint64_t tab[3][kPrime];
int filled = 0;

void record(int cluster, int value, uint32_t key, int symbol)
{
  if (!key)
    fail("symbol " + std::to_string(symbol) + ": a character that is not 4 bars and 4 spaces");
  uint64_t& e = tab[cluster][value];
  if (e && e != key)
    fail("symbol " + std::to_string(symbol) + ": two patterns for value " + std::to_string(value));
  if (!e) {
    for (int v = 0; v < kPrime; ++v)
      if (tab[cluster][v] == key)
        fail("symbol " + std::to_string(symbol) + ": one pattern for two values");
    e = key;
    ++filled;
  }
}

// The data codewords zint writes for bytes of 0x80 and above whose count is not a multiple of
// 6: length descriptor, byte latch 901, 5 codewords per 6 bytes, one per byte left, 900 pads.
std::vector<int> byteStream(const std::string& p, int dataCount)
{
  std::vector<int> cw{dataCount, 901};
  size_t i = 0;
  for (; i + 6 <= p.size(); i += 6) {
    uint64_t v = 0;
    for (int k = 0; k < 6; ++k)
      v = v << 8 | static_cast<uint8_t>(p[i + k]);
    int g[5];
    for (int k = 4; k >= 0; --k, v /= 900)
      g[k] = static_cast<int>(v % 900);
    cw.insert(cw.end(), g, g + 5);
  }
  for (; i < p.size(); ++i)
    cw.push_back(static_cast<uint8_t>(p[i]));
  while (static_cast<int>(cw.size()) < dataCount)
    cw.push_back(900);
  return cw;
}

// One byte symbol: every character goes under its row's cluster with the value it must hold.
void learnSymbol(int symbol)
{
  int level = 3 + symbol % 6;
  int cols = level == 8 ? uniform(10, 30) : uniform(2 + level, 30);
  int len = uniform(7, level == 8 ? 300 : 200);
  if (len % 6 == 0)
    ++len;
  std::string payload;
  for (int i = 0; i < len; ++i)
    payload += static_cast<char>(uniform(0x80, 0xff));
  Modules m;
  std::string err;
  Request rq;
  rq.payload = payload;
  rq.level = level;
  rq.cols = cols;
  if (!encode(rq, m, &err))
    fail("zint refused symbol " + std::to_string(symbol) + ": " + err);
  int k = 2 << level;
  int dataCount = m.rows * m.cols - k;
  std::vector<int> cw = byteStream(payload, dataCount);
  if (static_cast<int>(cw.size()) != dataCount)
    fail("symbol " + std::to_string(symbol) + " holds fewer codewords than its payload needs");
  std::vector<int> checks = checkCodewords(cw, level);
  cw.insert(cw.end(), checks.begin(), checks.end());
  for (int r = 0; r < m.rows; ++r) {
    const uint8_t* row = m.bits[r].data();
    int cluster = r % 3;
    record(cluster, leftIndicator(r, m.rows, m.cols, level), characterKey(row + 17), symbol);
    for (int c = 0; c < m.cols; ++c)
      record(cluster, cw[r * m.cols + c], characterKey(row + 17 * (c + 2)), symbol);
    record(cluster, rightIndicator(r, m.rows, m.cols, level), characterKey(row + 17 * (m.cols + 2)),
           symbol);
  }
}

// ---- Text compaction submodes -------------------------------------------------------------

enum Sub { kAlpha, kLower, kMixed, kPunct };
uint8_t sub[4][30];
constexpr int kRun = 8;

// The text values (two per codeword) that zint writes for a payload, up to the first control.
std::vector<int> textValues(const std::string& payload)
{
  Request rq;
  rq.payload = payload;
  rq.level = 2;
  Modules m;
  std::string err;
  if (!encode(rq, m, &err))
    fail("zint refused text \"" + payload + "\": " + err);
  std::vector<int> cw = dataStream(readCodewords(m, tab));
  std::vector<int> v;
  for (int i = 1; i < cw[0]; ++i) {
    if (cw[i] < 0)
      fail("a text symbol holds a character the table lacks");
    if (cw[i] >= 900) {
      if (i == 1 && cw[i] == 900)
        continue;
      break;
    }
    v.push_back(cw[i] / 30);
    v.push_back(cw[i] % 30);
  }
  return v;
}

void put(int s, int value, uint8_t what, const std::string& why)
{
  if (value < 0 || value >= 30)
    fail("no value for " + why);
  if (sub[s][value] && sub[s][value] != what)
    fail("two meanings of one submode value: " + why);
  sub[s][value] = what;
}

// The values a payload needs between two runs: strips the values of the leading run (after
// its prefix), the trailing run and a pad.
std::vector<int> between(const std::vector<int>& v, size_t lead, int trailValue)
{
  std::vector<int> x(v.begin() + static_cast<long>(lead), v.end());
  if (!x.empty() && (x.size() < kRun || x.back() != trailValue))
    x.pop_back();  // the pad that fills a last codeword
  for (int i = 0; i < kRun; ++i) {
    if (x.empty() || x.back() != trailValue)
      fail("a run that does not end the text values");
    x.pop_back();
  }
  return x;
}

void learnSubmodes()
{
  std::string chars = "\t\n\r";
  for (int c = 32; c < 127; ++c)
    chars += static_cast<char>(c);

  // Home submode and value of each character: a run of it from the start of the text. A run
  // of digits goes to numeric compaction: digits are learnt between runs of mixed below.
  std::map<char, std::vector<int>> prefix;
  std::map<char, int> home;
  for (char c : chars) {
    std::vector<int> v = textValues(std::string(kRun, c));
    bool padded = v.size() > kRun && v[v.size() - 1] != v[v.size() - 2];
    size_t end = v.size() - (padded ? 1 : 0);
    if (end < kRun)
      continue;
    bool uniform = true;
    for (size_t i = end - kRun; i < end; ++i)
      uniform = uniform && v[i] == v[end - 1];
    if (!uniform)
      continue;
    home[c] = v[end - 1];
    prefix[c].assign(v.begin(), v.begin() + static_cast<long>(end - kRun));
  }
  for (char c : {'A', 'a', '&', ';'})
    if (!home.count(c))
      fail(std::string("no run of '") + c + "' in text compaction");
  const std::vector<int>& toLower = prefix['a'];
  const std::vector<int>& toMixed = prefix['&'];
  const std::vector<int>& toPunct = prefix[';'];
  if (!prefix['A'].empty() || toLower.size() != 1 || toMixed.size() != 1 || toPunct.size() != 2 ||
      toPunct[0] != toMixed[0])
    fail("the latches from alpha are not one value each (punctuation through mixed)");
  put(kAlpha, toLower[0], 0xFF, "latch to lower");
  put(kAlpha, toMixed[0], 0xFE, "latch to mixed");
  put(kMixed, toPunct[1], 0xFD, "latch to punctuation");
  for (const auto& [c, p] : prefix) {
    int s = p.empty() ? kAlpha : p == toLower ? kLower : p == toMixed ? kMixed
                                : p == toPunct ? kPunct : -1;
    if (s < 0)
      fail(std::string("no submode for '") + c + "'");
    put(s, home[c], static_cast<uint8_t>(c), std::string("character '") + c + "'");
  }

  // Characters held by more than one submode: one value between two runs of the submode.
  const char runChar[4] = {'A', 'a', '&', ';'};
  const std::vector<int>* runPrefix[4] = {&prefix['A'], &toLower, &toMixed, &toPunct};
  for (int s = 0; s < 4; ++s) {
    std::string run(kRun, runChar[s]);
    size_t lead = runPrefix[s]->size() + kRun;
    for (char c : chars) {
      std::vector<int> x = between(textValues(run + c + run), lead, home[runChar[s]]);
      if (x.size() == 1)
        put(s, x[0], static_cast<uint8_t>(c), std::string("character '") + c + "' elsewhere");
    }
  }
  // Shifts: one letter of alpha inside lower case, one punctuation mark inside the others.
  auto shift = [&](int s, char c, uint8_t code, const char* what) {
    std::string run(kRun, runChar[s]);
    std::vector<int> x =
        between(textValues(run + c + run), runPrefix[s]->size() + kRun, home[runChar[s]]);
    if (x.size() != 2 || x[1] != home[c])
      fail(what);
    put(s, x[0], code, what);
  };
  shift(kLower, 'A', 0x9A, "shift to alpha in lower");
  for (int s : {kAlpha, kLower, kMixed})
    shift(s, ';', 0x9B, "shift to punctuation");
  // Latches between two runs.
  auto latch = [&](int s, int t, uint8_t code, const char* what) {
    std::string a(kRun, runChar[s]), b(kRun, runChar[t]);
    std::vector<int> x =
        between(textValues(a + b), runPrefix[s]->size() + kRun, home[runChar[t]]);
    if (x.size() != 1)
      fail(what);
    put(s, x[0], code, what);
  };
  latch(kLower, kMixed, 0xFE, "latch from lower to mixed");
  latch(kMixed, kLower, 0xFF, "latch from mixed to lower");
  latch(kMixed, kAlpha, 0xFC, "latch from mixed to alpha");
  latch(kPunct, kAlpha, 0xFC, "latch from punctuation to alpha");
  latch(kAlpha, kLower, 0xFF, "latch from alpha to lower");
  latch(kAlpha, kMixed, 0xFE, "latch from alpha to mixed");
  latch(kMixed, kPunct, 0xFD, "latch from mixed to punctuation");
  for (int s = 0; s < 4; ++s)
    for (int v = 0; v < 30; ++v)
      if (!sub[s][v])
        fail("submode " + std::to_string(s) + " value " + std::to_string(v) + " stays empty");
}

void write(FILE* f, int symbols)
{
  std::fprintf(f,
      "// Generated by tools/pdf417_tables from %d byte symbols and the text symbols that zint\n"
      "// encoded: the PDF417 character of every codeword value per cluster and the text\n"
      "// compaction submodes. Do not edit; run the generator again.\n"
      "#include \"symbols/symbols.h\"\n\n"
      "// t1..t6 (modules) of each codeword value, 4 bits each, t1 in bits 20-23; clusters 0, 3, 6.\n"
      "const uint64_t tabPdf417[3][929] = {\n", symbols);
  for (int c = 0; c < 3; ++c) {
    std::fprintf(f, "  {\n");
    for (int v = 0; v < kPrime; v += 8) {
      std::fprintf(f, "   ");
      for (int i = v; i < v + 8 && i < kPrime; ++i)
        std::fprintf(f, " 0x%06llx,", static_cast<unsigned long long>(tab[c][i]));
      std::fprintf(f, "\n");
    }
    std::fprintf(f, "  },\n");
  }
  std::fprintf(f, "};\n\n"
      "// Alpha, lower, mixed, punctuation: a character, or 0xFF/0xFE/0xFD/0xFC latch to lower,\n"
      "// mixed, punctuation, alpha, 0x9A shift to alpha, 0x9B shift to punctuation.\n"
      "const unsigned char txtSubmMap[4][30] = {\n");
  for (int s = 0; s < 4; ++s) {
    for (int v = 0; v < 30; ++v)
      std::fprintf(f, "%s0x%02X%s", v == 0 ? "  {" : v % 10 == 0 ? "\n   " : " ", sub[s][v],
                   v == 29 ? "},\n" : ",");
  }
  std::fprintf(f, "};\n");
}

}  // namespace

int main(int argc, char** argv)
{
  if (argc != 2) {
    std::fprintf(stderr, "usage: pdf417_tables OUTPUT.cpp\n");
    return 2;
  }
  int symbols = 0;
  while (filled < 3 * kPrime) {
    if (symbols == 1000)
      fail("1000 symbols left entries empty");
    learnSymbol(symbols++);
  }
  learnSubmodes();
  FILE* f = std::fopen(argv[1], "w");
  if (!f)
    fail(std::string("cannot write ") + argv[1]);
  write(f, symbols);
  if (std::fclose(f) != 0)
    fail(std::string("cannot write ") + argv[1]);
  std::fprintf(stderr, "pdf417_tables: %d symbols filled all %d entries\n", symbols, 3 * kPrime);
  return 0;
}
