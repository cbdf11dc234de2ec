// Drawing the zones of the corpus: text for each font shaped as its readers expect, lines set
// from the font files and the drawn glyphs, stacked into a zone and degraded.
#include "zone_corpus.h"

#include <opencv2/imgproc.hpp>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <map>
#include <random>
#include <stdexcept>

#include "core/records.h"
#include "font_db.h"
#include "ocr/ocr.h"

namespace pvk::zonecorpus {

namespace {

// Deterministic draws from a seed (the standard distributions may differ between libraries).
struct Rng {
  std::mt19937_64 g;
  explicit Rng(uint64_t seed) : g(seed * 0x9E3779B97F4A7C15ull + 0x632BE59BD9B4E019ull) {}
  double uniform() { return static_cast<double>(g() >> 11) * (1.0 / 9007199254740992.0); }
  double uniform(double a, double b) { return a + (b - a) * uniform(); }
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(g() % static_cast<uint64_t>(n)); }
  double normal() {
    const double u1 = std::max(uniform(), 1e-12), u2 = uniform();
    return std::sqrt(-2.0 * std::log(u1)) * std::cos(2 * M_PI * u2);
  }
  char pick(const std::string& s) { return s.empty() ? ' ' : s[static_cast<size_t>(below(static_cast<int>(s.size())))]; }
};

bool isMicro(short font) { return font >= 935 && font <= 943; }
bool isBacklit(short font) { return font >= 938 && font <= 940; }
bool inSet(const std::string& set, char c) { return set.find(c) != std::string::npos; }

std::string only(const std::string& set, const std::string& keep) {
  std::string out;
  for (char c : set)
    if (inSet(keep, c)) out.push_back(c);
  return out;
}

const char* const kDigits = "0123456789";
const char* const kCapitals = "ABCDEFGHIJKLMNOPQRSTUVWXYZ";

std::string digits(Rng& rng, int n) {
  std::string s;
  for (int i = 0; i < n; ++i) s.push_back(kDigits[rng.below(10)]);
  return s;
}

// Words of letters from pool separated by single blanks, about len characters.
std::string words(Rng& rng, const std::string& pool, int len) {
  std::string s;
  while (static_cast<int>(s.size()) < len) {
    if (!s.empty()) s.push_back(' ');
    const int w = 3 + rng.below(6);
    for (int i = 0; i < w && static_cast<int>(s.size()) < len; ++i) s.push_back(rng.pick(pool));
  }
  while (!s.empty() && s.back() == ' ') s.pop_back();
  return s;
}

const char* const kNames[] = {"MARIO",  "ROSSI",   "GIULIA", "BIANCHI", "LUCA",    "VERDI", "ANNA",   "FERRARI",
                              "PAOLO",  "ESPOSITO", "SARA",  "ROMANO",  "MARCO",   "COLOMBO", "ELENA", "RICCI",
                              "DAVIDE", "MARINO",  "CHIARA", "GRECO",   "ANDREA",  "BRUNO",  "SILVIA", "GALLO",
                              "SRL",    "SPA",     "STUDIO", "LEGALE",  "IMPRESA", "EDILE",  "SOCIETA", "AGRICOLA"};

std::string payee(Rng& rng, const std::string& set) {
  std::string s;
  const int n = 2 + rng.below(3);
  for (int i = 0; i < n; ++i) {
    if (i) s.push_back(' ');
    s += kNames[rng.below(static_cast<int>(sizeof kNames / sizeof kNames[0]))];
  }
  std::string out;
  for (char c : s)
    if (c == ' ' || inSet(set, c)) out.push_back(c);
  return out;
}

// An amount with thousands kept together, decimals after sep, fenced by fence when given.
std::string amount(Rng& rng, char sep, const std::string& fence) {
  std::string s = std::to_string(1 + rng.below(99999)) + sep + digits(rng, 2);
  return fence + s + fence;
}

std::string lineFor(const ZoneRequest& r, const std::string& set, Rng& rng, int lineIndex) {
  const short f = r.font;
  const std::string sep = only(set, ":;<=>");
  if (f == 202 && r.italianLayout) {
    // Separators at 0, 11, 22 and 32 with blanks at 12 and 23.
    return ":" + digits(rng, 10) + ";" + " " + digits(rng, 9) + "<" + " " + digits(rng, 8) + ">";
  }
  if (f == 202) {
    std::string s = digits(rng, 6 + rng.below(6));
    s.push_back(sep.empty() ? '=' : rng.pick(sep));
    s += digits(rng, 5 + rng.below(8));
    s.push_back(sep.empty() ? '=' : rng.pick(sep));
    return s;
  }
  if (f == 1) {
    std::string symbols;
    for (char c : set)
      if (!inSet(kDigits, c)) symbols.push_back(c);
    std::string s = digits(rng, 8 + rng.below(4));
    if (!symbols.empty()) s.push_back(rng.pick(symbols));
    s += digits(rng, 6 + rng.below(6));
    if (!symbols.empty()) s.push_back(rng.pick(symbols));
    s += digits(rng, 3 + rng.below(4));
    return s;
  }
  if (f == 39) {
    std::string s;
    for (int i = 0; i < 13; ++i) s.push_back(i < 11 || !inSet(set, '>') ? kDigits[rng.below(10)] : '>');
    return s;
  }
  if (f == 935 || f == 938 || f == 941) return digits(rng, 10);
  if (f == 937 || f == 940 || f == 943) return amount(rng, '/', inSet(set, '*') ? "**" : "");
  if (f == 936 || f == 939 || f == 942 || f == 945) return payee(rng, set);
  if (f == 944) return amount(rng, ',', inSet(set, '*') && rng.below(2) ? "**" : "");
  const std::string alnum = only(set, std::string(kDigits) + kCapitals);
  // Font 12 reads 16-character fields: its score falls with every character more or less.
  if (f == 12) {
    std::string s;
    for (int i = 0; i < 16; ++i) s.push_back(rng.pick(alnum.empty() ? set : alnum));
    return s;
  }
  // Free text of the font's set: words of its letters and digits with its punctuation between.
  std::string punct;
  for (char c : set)
    if (!inSet(alnum, c) && c != ' ' && c != '?') punct.push_back(c);
  const int len = 8 + rng.below(12) - (lineIndex > 0 ? 2 : 0);
  std::string s = words(rng, alnum.empty() ? set : alnum, len);
  if (!punct.empty() && rng.below(2)) s[static_cast<size_t>(rng.below(static_cast<int>(s.size())))] = rng.pick(punct);
  // Never a blank next to a blank or at an end.
  std::string out;
  for (char c : s)
    if (!(c == ' ' && (out.empty() || out.back() == ' '))) out.push_back(c);
  while (!out.empty() && out.back() == ' ') out.pop_back();
  return out;
}

int linesFor(short font, int asked) {
  if (font == 1 || font == 202 || font == 39 || font == 12 || isMicro(font) || font == 944) return 1;
  return std::clamp(asked, 1, 3);
}

// Cap height of a text face at 300 dpi: the nominal character height of the font's set-up.
double nominalHeight(short font, uint16_t typeDoc) {
  static std::map<std::pair<short, uint16_t>, double> cache;
  const auto key = std::make_pair(font, typeDoc);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const OcrInfo saved = MyOcr;
  MyOcr.typeDoc = typeDoc;
  double h = 32;
  if (InitOCR(font, false, 1.0f) >= 1 && MyOcr.charHeight > 0) h = MyOcr.charHeight;
  ocr_clear();
  MyOcr = saved;
  return cache[key] = h;
}

// Coverage (0 paper .. 1 ink) of the lines stacked with a gap of half a line between them.
cv::Mat composeLines(const ZoneRequest& r, const fontdb::DbSpec& db, const std::vector<std::string>& lines) {
  std::vector<cv::Mat> rows;
  int width = 0;
  for (const std::string& text : lines) {
    fontdb::LineOptions o;
    o.dpi = r.dpi;
    o.capHeight = nominalHeight(r.font, r.typeDoc);
    o.margin = 0.03;
    o.gapFactor = db.isText() ? 0.12 : 0;
    const fontdb::Line line = fontdb::renderLine(db, text, o);
    cv::Mat m(line.image.height, line.image.width, CV_32F);
    for (int y = 0; y < m.rows; ++y)
      for (int x = 0; x < m.cols; ++x) m.at<float>(y, x) = (255.0f - line.image.at(x, y)) / 255.0f;
    width = std::max(width, m.cols);
    rows.push_back(m);
  }
  const int margin = static_cast<int>(std::lround(0.08 * r.dpi));
  const int gap = static_cast<int>(std::lround(nominalHeight(r.font, r.typeDoc) * r.dpi / 300.0 * 0.4));
  int height = 2 * margin;
  for (const cv::Mat& m : rows) height += m.rows;
  height += gap * static_cast<int>(rows.size() - 1);
  cv::Mat out = cv::Mat::zeros(height, width + 2 * margin, CV_32F);
  int y = margin;
  for (const cv::Mat& m : rows) {
    m.copyTo(out(cv::Rect(margin, y, m.cols, m.rows)));
    y += m.rows + gap;
  }
  return out;
}

// Turns coverage into grey and degrades it.
glyphs::GreyImage degrade(const cv::Mat& cover, const Conditions& c, int dpi, bool invert, Rng& rng) {
  cv::Mat cov = cover;
  if (std::fabs(c.skewDegrees) > 1e-9) {
    const cv::Point2f centre(cov.cols / 2.0f, cov.rows / 2.0f);
    const cv::Mat rot = cv::getRotationMatrix2D(centre, c.skewDegrees, 1.0);
    cv::Mat turned;
    cv::warpAffine(cov, turned, rot, cov.size(), cv::INTER_LINEAR, cv::BORDER_CONSTANT, cv::Scalar(0));
    cov = turned;
  }
  const double paper = c.paper;
  const double ink = paper - c.contrast * (paper - c.ink);
  cv::Mat grey(cov.size(), CV_32F);
  for (int y = 0; y < cov.rows; ++y)
    for (int x = 0; x < cov.cols; ++x) grey.at<float>(y, x) = static_cast<float>(paper - cov.at<float>(y, x) * (paper - ink));
  if (c.texture > 0) {
    cv::Mat tex(cov.size(), CV_32F);
    for (int y = 0; y < tex.rows; ++y)
      for (int x = 0; x < tex.cols; ++x) tex.at<float>(y, x) = static_cast<float>(rng.normal());
    cv::GaussianBlur(tex, tex, cv::Size(0, 0), 4.0 * dpi / 300.0);
    cv::Scalar mean, sd;
    cv::meanStdDev(tex, mean, sd);
    if (sd[0] > 0) grey += tex * (c.texture / sd[0]);
  }
  if (c.blurSigma > 0) cv::GaussianBlur(grey, grey, cv::Size(0, 0), c.blurSigma);
  glyphs::GreyImage img;
  img.width = grey.cols;
  img.height = grey.rows;
  img.stride = (img.width + 3) & ~3;
  img.dpi = dpi;
  img.pixels.assign(static_cast<size_t>(img.stride) * img.height, 255);
  for (int y = 0; y < img.height; ++y)
    for (int x = 0; x < img.width; ++x) {
      double v = grey.at<float>(y, x) + (c.noiseSigma > 0 ? c.noiseSigma * rng.normal() : 0.0);
      v = std::clamp(std::round(v), 0.0, 255.0);
      img.pixels[static_cast<size_t>(y) * img.stride + x] = static_cast<uint8_t>(invert ? 255 - v : v);
    }
  return img;
}

std::string conditionTag(const Conditions& c) { return c.name; }

}  // namespace

Conditions clean() { return Conditions{}; }

Conditions mild(uint64_t seed) {
  Rng rng(seed ^ 0x6D696C64ull);
  Conditions c;
  c.name = "mild";
  c.blurSigma = rng.uniform(0.2, 0.6);
  c.noiseSigma = rng.uniform(2, 6);
  c.contrast = rng.uniform(0.6, 0.9);
  c.ink = static_cast<uint8_t>(rng.below(30));
  c.skewDegrees = rng.uniform(-0.5, 0.5);
  return c;
}

Conditions hard(uint64_t seed) {
  Rng rng(seed ^ 0x68617264ull);
  Conditions c;
  c.name = "hard";
  c.blurSigma = rng.uniform(0.6, 1.1);
  c.noiseSigma = rng.uniform(6, 12);
  c.contrast = rng.uniform(0.4, 0.6);
  c.ink = static_cast<uint8_t>(30 + rng.below(50));
  c.texture = rng.uniform(4, 10);
  c.skewDegrees = rng.uniform(-1.5, 1.5);
  return c;
}

std::vector<std::string> faces(short font) {
  if (font == 1) return {"e13bA04.db"};
  if (font == 2) return {"ocraeb204.db"};
  if (font == 3 || font == 4 || font == 5 || font == 38 || font == 39) return {"ocrbA04.db"};
  if (font == 202) return {"cmc7aa04.db"};
  if (font >= 9 && font <= 12) return {"ocrbA04.db", "courier04.db", "arial04.db", "serifabt204.db"};
  if (isMicro(font)) return {"microC04.db"};
  if (font == 944) return {"ABIImpA04.db", "arialnum04.db", "courier04.db"};
  if (font == 945) return {"ABIBenA04.db", "courier04.db", "arial04.db", "calibriA04.db", "ocrbA04.db"};
  return {};
}

std::string drawableSet(short font, uint16_t typeDoc) {
  static std::map<std::pair<short, uint16_t>, std::string> cache;
  const auto key = std::make_pair(font, typeDoc);
  auto it = cache.find(key);
  if (it != cache.end()) return it->second;
  const OcrInfo savedOcr = MyOcr;
  const ITACheckInfo savedIta = MyITACheck;
  const bool savedSolo = SoloMaiuscolo, savedAlfa = ForzaSoloAlfa;
  MyOcr.typeDoc = typeDoc;
  MyITACheck.expPayee[0] = 0;
  std::string set;
  if (InitOCR(font, false, 1.0f) >= 1) {
    SoloMaiuscolo = false;
    ForzaSoloAlfa = false;
    if (DefineValidSet() && ValidSet != nullptr)
      for (int c = 33; c < 127; ++c)
        if (ValidSet[c] != 0 && c != '?') set.push_back(static_cast<char>(c));
  }
  ocr_clear();
  ValidSet = nullptr;
  MyOcr = savedOcr;
  MyITACheck = savedIta;
  SoloMaiuscolo = savedSolo;
  ForzaSoloAlfa = savedAlfa;
  // Only what every face of the font draws.
  std::string drawn;
  for (char c : set) {
    bool all = true;
    for (const std::string& f : faces(font)) {
      const fontdb::DbSpec* db = fontdb::findDatabase(f);
      all = all && db != nullptr && db->chars.find(c) != std::string::npos;
    }
    if (all) drawn.push_back(c);
  }
  return cache[key] = drawn;
}

uint16_t usualTypeDoc(short font, bool italianLayout) {
  if (font == 202) return italianLayout ? 3 : 1;
  if (isMicro(font) || font == 944 || font == 945) return 3;
  return 0;
}

std::vector<std::string> sampleText(const ZoneRequest& r) {
  if (!r.text.empty()) return r.text;
  Rng rng(r.seed ^ (static_cast<uint64_t>(static_cast<uint16_t>(r.font)) << 32));
  const std::string set = drawableSet(r.font, r.typeDoc);
  std::vector<std::string> out;
  const int n = linesFor(r.font, r.lines);
  for (int i = 0; i < n; ++i) {
    std::string s = lineFor(r, set, rng, i);
    if (s.empty()) s = std::string(1, set.empty() ? '0' : set[0]);
    out.push_back(s);
  }
  return out;
}

Zone makeZone(const ZoneRequest& r) {
  const std::vector<std::string> names = faces(r.font);
  if (names.empty()) throw std::invalid_argument("no face draws font " + std::to_string(r.font));
  if (r.dpi < 100 || r.dpi > 1200) throw std::invalid_argument("resolution out of range");
  Rng rng(r.seed);
  std::string face = r.face;
  if (face.empty()) face = names[static_cast<size_t>(rng.below(static_cast<int>(names.size())))];
  const fontdb::DbSpec* db = fontdb::findDatabase(face);
  if (db == nullptr) throw std::invalid_argument("unknown face " + face);
  Zone z;
  z.lines = sampleText(r);
  z.font = r.font;
  z.typeDoc = r.typeDoc;
  z.dpi = r.dpi;
  z.italianLayout = r.italianLayout;
  z.backlit = isBacklit(r.font);
  z.cond = r.cond;
  z.face = face;
  const cv::Mat cover = composeLines(r, *db, z.lines);
  z.image = degrade(cover, r.cond, r.dpi, z.backlit, rng);
  char id[96];
  std::snprintf(id, sizeof id, "f%d%s_t%u_%ddpi_%s_%llu", r.font, r.italianLayout ? "ita" : "", r.typeDoc, r.dpi,
                conditionTag(r.cond).c_str(), static_cast<unsigned long long>(r.seed));
  z.id = id;
  return z;
}

glyphs::GreyImage degradeDrawn(const glyphs::GreyImage& drawn, const Conditions& c, uint64_t seed) {
  cv::Mat cover(drawn.height, drawn.width, CV_32F);
  for (int y = 0; y < cover.rows; ++y)
    for (int x = 0; x < cover.cols; ++x) cover.at<float>(y, x) = (255.0f - drawn.at(x, y)) / 255.0f;
  Rng rng(seed);
  return degrade(cover, c, drawn.dpi, false, rng);
}

std::vector<short> corpusFonts() {
  return {1, 2, 3, 4, 5, 38, 39, 202, 9, 10, 11, 12, 935, 936, 937, 938, 939, 940, 941, 942, 943, 944, 945};
}

std::vector<ZoneRequest> corpus(const std::vector<short>& fonts, const std::vector<int>& dpis,
                                const std::vector<std::string>& conds, int perCell, uint64_t seed) {
  std::vector<ZoneRequest> out;
  uint64_t s = seed;
  for (short font : fonts) {
    for (int layout = 0; layout < (font == 202 ? 2 : 1); ++layout) {
      for (int dpi : dpis) {
        if (font == 1 && dpi != 300) continue;
        for (const std::string& cond : conds) {
          for (int k = 0; k < perCell; ++k) {
            ZoneRequest r;
            r.font = font;
            r.italianLayout = layout == 1;
            r.typeDoc = usualTypeDoc(font, r.italianLayout);
            r.dpi = dpi;
            r.seed = ++s;
            r.lines = 1 + static_cast<int>(s % 3);
            r.cond = cond == "mild" ? mild(s) : cond == "hard" ? hard(s) : clean();
            out.push_back(r);
          }
        }
      }
    }
  }
  return out;
}

bool writeZone(const std::string& dir, const Zone& z) {
  const std::string stem = dir + "/" + z.id;
  FILE* f = std::fopen((stem + ".pgm").c_str(), "wb");
  if (f == nullptr) return false;
  std::fprintf(f, "P5\n# %d dpi\n%d %d\n255\n", z.dpi, z.image.width, z.image.height);
  bool ok = true;
  for (int y = 0; y < z.image.height; ++y)
    ok = ok && std::fwrite(&z.image.pixels[static_cast<size_t>(y) * z.image.stride], 1, z.image.width, f) ==
                   static_cast<size_t>(z.image.width);
  ok = std::fclose(f) == 0 && ok;
  f = std::fopen((stem + ".txt").c_str(), "w");
  if (f == nullptr) return false;
  std::fprintf(f, "font=%d\ntypeDoc=%u\ndpi=%d\nitalian=%d\nbacklit=%d\nface=%s\n", z.font, z.typeDoc, z.dpi,
               z.italianLayout ? 1 : 0, z.backlit ? 1 : 0, z.face.c_str());
  std::fprintf(f, "condition=%s blur=%.2f noise=%.2f contrast=%.2f ink=%u texture=%.1f skew=%.2f\n",
               z.cond.name.c_str(), z.cond.blurSigma, z.cond.noiseSigma, z.cond.contrast, z.cond.ink, z.cond.texture,
               z.cond.skewDegrees);
  for (const std::string& l : z.lines) std::fprintf(f, "line=%s\n", l.c_str());
  return std::fclose(f) == 0 && ok;
}

}  // namespace pvk::zonecorpus
