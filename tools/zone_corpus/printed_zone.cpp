// Setting text with ImageMagick (its own FreeType rendering, hinted, at the asked point size and
// density) and stacking the lines into a zone.
#include "printed_zone.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <random>
#include <stdexcept>

namespace pvk::zonecorpus {

namespace {

// label: reads '%' escapes and '\' escapes, and a leading '@' names a file.
std::string labelText(const std::string& text) {
  std::string out = "label:";
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (c == '%') out += "%%";
    else if (c == '\\') out += "\\\\";
    else if (c == '@' && i == 0) out += "\\@";
    else out.push_back(c);
  }
  return out;
}

// Runs the program with the arguments (no shell) and gives what it wrote on its standard output;
// its standard error is dropped. The exit status is not judged: ImageMagick warns with a
// failure status about ink that reaches a hair past the label's edge while its picture is whole,
// so the caller judges the output.
std::string runForOutput(const std::vector<std::string>& args) {
  int fd[2];
  if (pipe(fd) != 0) throw std::runtime_error("pipe failed");
  const pid_t pid = fork();
  if (pid < 0) throw std::runtime_error("fork failed");
  if (pid == 0) {
    dup2(fd[1], 1);
    const int devnull = open("/dev/null", O_WRONLY);
    if (devnull >= 0) dup2(devnull, 2);
    close(fd[0]);
    close(fd[1]);
    std::vector<char*> argv;
    for (const std::string& a : args) argv.push_back(const_cast<char*>(a.c_str()));
    argv.push_back(nullptr);
    execv(argv[0], argv.data());
    _exit(127);
  }
  close(fd[1]);
  std::string out;
  char buf[65536];
  for (ssize_t got; (got = read(fd[0], buf, sizeof buf)) != 0;) {
    if (got < 0) break;
    out.append(buf, static_cast<size_t>(got));
  }
  close(fd[0]);
  int status = 0;
  waitpid(pid, &status, 0);
  return out;
}

// A binary greymap with 8-bit samples.
glyphs::GreyImage parsePgm(const std::string& bytes, int dpi) {
  int w = 0, h = 0, maxv = 0, used = 0;
  if (std::sscanf(bytes.c_str(), "P5 %d %d %d%n", &w, &h, &maxv, &used) != 3 || w <= 0 || h <= 0 || maxv != 255)
    throw std::runtime_error("unexpected greymap from ImageMagick");
  const size_t start = static_cast<size_t>(used) + 1;
  if (bytes.size() < start + static_cast<size_t>(w) * h) throw std::runtime_error("short greymap from ImageMagick");
  glyphs::GreyImage g;
  g.width = w;
  g.height = h;
  g.stride = (w + 3) & ~3;
  g.dpi = dpi;
  g.pixels.assign(static_cast<size_t>(g.stride) * h, 255);
  for (int y = 0; y < h; ++y)
    std::memcpy(&g.pixels[static_cast<size_t>(y) * g.stride], bytes.data() + start + static_cast<size_t>(y) * w,
                static_cast<size_t>(w));
  return g;
}

// Copies src into dst at (x, y), keeping the darker of the two where they meet; rows and columns
// outside dst are cut.
void stamp(glyphs::GreyImage& dst, const glyphs::GreyImage& src, int x, int y) {
  for (int r = 0; r < src.height; ++r) {
    const int dy = y + r;
    if (dy < 0 || dy >= dst.height) continue;
    for (int c = 0; c < src.width; ++c) {
      const int dx = x + c;
      if (dx < 0 || dx >= dst.width) continue;
      uint8_t& d = dst.pixels[static_cast<size_t>(dy) * dst.stride + dx];
      d = std::min(d, src.at(c, r));
    }
  }
}

glyphs::GreyImage blank(int w, int h, int dpi) {
  glyphs::GreyImage g;
  g.width = w;
  g.height = h;
  g.stride = (w + 3) & ~3;
  g.dpi = dpi;
  g.pixels.assign(static_cast<size_t>(g.stride) * h, 255);
  return g;
}

struct Draw {
  std::mt19937_64 g;
  explicit Draw(uint64_t seed) : g(seed * 0x9E3779B97F4A7C15ull + 0x5851F42D4C957F2Dull) {}
  int below(int n) { return n <= 0 ? 0 : static_cast<int>(g() % static_cast<uint64_t>(n)); }
  char pick(const std::string& s) { return s.empty() ? ' ' : s[static_cast<size_t>(below(static_cast<int>(s.size())))]; }
  const char* pick(const std::vector<const char*>& v) { return v[static_cast<size_t>(below(static_cast<int>(v.size())))]; }
};

std::string keepOnly(const std::string& text, const std::string& set) {
  std::string out;
  for (char c : text)
    if (c == ' ' || set.find(c) != std::string::npos) out.push_back(c);
  return out;
}

std::string group(Draw& d, const std::string& pool, int len) {
  std::string s;
  for (int i = 0; i < len; ++i) s.push_back(d.pick(pool));
  return s;
}

// Words that hold the look-alikes of OCR-B: letters O, Q, D and B, digits 0 and 8.
const std::vector<const char*> kOcrbWords = {"ROAD", "OOOOOOOO", "QUOTA", "BOX", "ROOM", "SOLO",  "ODD",  "DOOR",
                                             "QUEEN", "1000",   "2008",  "COOP", "ORO", "BOOK", "PO 80", "QUIZ"};
// Payee names with every capital of the alphabet, W often.
const std::vector<const char*> kPayeeWords = {
    "MARIO",   "ROSSI",  "WALTER", "WAGNER", "NEWTON",  "HOWARD", "KOWALSKI", "YORK",   "JAX",   "QUINN",
    "BIANCHI", "FERRARI", "EDWARD", "WOLF",  "ZANETTI", "VERDI",  "GALLO",    "SWIFT",  "PIXEL", "DELTA SRL",
    "WW WAVE", "MOLINO",  "COLOMBO", "JUVENTUS", "BRAVO",  "KAPPA",  "XAVIER",   "MEWS",  "HAWK",  "LUCIA"};

std::string lineFor(const PrintedFont& f, const std::string& set, Draw& d) {
  const std::string digits = keepOnly("0123456789", set);
  const std::string capitals = keepOnly("ABCDEFGHIJKLMNOPQRSTUVWXYZ", set);
  std::string punct;
  for (char c : set)
    if (digits.find(c) == std::string::npos && capitals.find(c) == std::string::npos) punct.push_back(c);
  std::string s;
  switch (f.font) {
    case 945:
      for (int w = 0, n = 2 + d.below(2); w < n; ++w) s += std::string(w ? " " : "") + d.pick(kPayeeWords);
      return keepOnly(s, set);
    case 944: {
      const std::string a = std::to_string(1 + d.below(99999)) + "," + group(d, digits, 2);
      return d.below(2) != 0 ? "**" + a + "**" : a;
    }
    case 3:
      for (int w = 0, n = 2 + d.below(3); w < n; ++w) {
        if (w) s.push_back(' ');
        s += d.below(2) != 0 ? std::string(d.pick(kOcrbWords)) : group(d, capitals + digits, 3 + d.below(5));
      }
      if (!punct.empty() && d.below(3) == 0) s.push_back(d.pick(punct));
      return keepOnly(s, set);
    default:  // OCR-A and numeric OCR-B: digit groups with the font's symbols and letters between
      for (int w = 0, n = 2 + d.below(3); w < n; ++w) {
        if (w) s.push_back(d.below(3) == 0 && !punct.empty() ? d.pick(punct) : ' ');
        s += group(d, digits, 2 + d.below(5));
      }
      if (!capitals.empty() && d.below(2) != 0) s += " " + group(d, capitals, 1 + d.below(3));
      return s;
  }
}

}  // namespace

std::vector<PrintedFont> printedFonts() {
  const std::string lib = "/usr/share/fonts/truetype/liberation2/LiberationSans-Regular.ttf";
  return {{2, 0, "/usr/share/fonts/truetype/ocr-a/OCRA.ttf", "OCR-A"},
          {3, 0, "/usr/share/fonts/opentype/ocr-b/OCRB.otf", "OCR-B"},
          {4, 0, "/usr/share/fonts/opentype/ocr-b/OCRB.otf", "OCR-B num"},
          {945, 3, lib, "payee"},
          {944, 3, lib, "amount"}};
}

std::vector<PrintRequest> printedCorpus(const std::vector<int>& dpis, const std::vector<std::string>& conds,
                                        int perCell, uint64_t seed) {
  std::vector<PrintRequest> out;
  // Each seed draws its own zones: the draws of two seeds lie a million apart (seed 1 starts
  // where it always did).
  uint64_t s = (seed - 1) * 1000000 + seed;
  for (const PrintedFont& f : printedFonts()) {
    const std::string set = drawableSet(f.font, f.typeDoc);
    const bool bestRow = f.font == 2 || f.font == 4;
    for (int dpi : dpis)
      for (const std::string& cond : conds)
        for (int k = 0; k < (bestRow ? 2 : 1) * perCell; ++k) {
          Draw d(++s);
          PrintRequest r;
          r.font = f.font;
          r.typeDoc = f.typeDoc;
          r.dpi = dpi;
          r.fontFile = f.fontFile;
          r.points = 8 + d.below(7);
          r.lines = {lineFor(f, set, d)};
          r.cond = cond == "mild" ? mild(s) : cond == "hard" ? hard(s) : clean();
          r.seed = s;
          if (k >= perCell) {
            r.points = 10 + d.below(3);
            r.neighbourRows = (d.below(2) != 0 ? 1 : -1) * (60 + d.below(6));
            r.neighbour = lineFor(f, set, d);
          }
          out.push_back(r);
        }
  }
  return out;
}

std::string magickProgram() {
  for (const char* p : {"/usr/bin/convert", "/usr/bin/convert-im6.q16"})
    if (access(p, X_OK) == 0) return p;
  return {};
}

glyphs::GreyImage setLine(const std::string& text, const std::string& fontFile, double points, int dpi) {
  const std::string prog = magickProgram();
  if (prog.empty()) throw std::runtime_error("ImageMagick is not installed");
  char size[32], density[32];
  std::snprintf(size, sizeof size, "%.2f", points);
  std::snprintf(density, sizeof density, "%d", dpi);
  const std::string out = runForOutput({prog, "-density", density, "-font", fontFile, "-pointsize", size,
                                        "-background", "white", "-fill", "black", labelText(text), "-colorspace",
                                        "gray", "-depth", "8", "pgm:-"});
  return parsePgm(out, dpi);
}

Zone printZone(const PrintRequest& r) {
  std::vector<glyphs::GreyImage> set;
  int width = 0;
  for (const std::string& line : r.lines) {
    set.push_back(setLine(line, r.fontFile, r.points, r.dpi));
    width = std::max(width, set.back().width);
  }
  if (set.empty()) throw std::invalid_argument("a printed zone needs a line");
  const int pitch = set[0].height;  // the face's line box: ascent plus descent
  const int sideMargin = static_cast<int>(std::lround(0.08 * r.dpi));
  const int margin = pitch / 4;
  const int extra = static_cast<int>(std::lround(std::abs(r.neighbourRows) * r.dpi / 300.0));
  const int textHeight = pitch * static_cast<int>(set.size());
  const int top = margin + (r.neighbourRows < 0 ? extra : 0);
  glyphs::GreyImage zone = blank(width + 2 * sideMargin, textHeight + 2 * margin + extra, r.dpi);
  for (size_t i = 0; i < set.size(); ++i) stamp(zone, set[i], sideMargin, top + pitch * static_cast<int>(i));
  if (r.neighbourRows != 0 && !r.neighbour.empty()) {
    // The zone's edge cuts the neighbour's ink through its middle.
    const glyphs::GreyImage n = setLine(r.neighbour, r.fontFile, r.points, r.dpi);
    int inkTop = n.height, inkBottom = 0;
    for (int y = 0; y < n.height; ++y)
      for (int x = 0; x < n.width; ++x)
        if (n.at(x, y) < 128) {
          inkTop = std::min(inkTop, y);
          inkBottom = std::max(inkBottom, y + 1);
        }
    const int middle = (inkTop + inkBottom) / 2;
    stamp(zone, n, sideMargin, r.neighbourRows > 0 ? zone.height - middle : -middle);
  }
  Zone z;
  z.lines = r.lines;
  z.font = r.font;
  z.typeDoc = r.typeDoc;
  z.dpi = r.dpi;
  z.cond = r.cond;
  const size_t slash = r.fontFile.find_last_of('/');
  z.face = slash == std::string::npos ? r.fontFile : r.fontFile.substr(slash + 1);
  z.image = degradeDrawn(zone, r.cond, r.seed);
  char id[128];
  std::snprintf(id, sizeof id, "p%d_%s_%.0fpt_%ddpi_%s_%llu%s", r.font, z.face.c_str(), r.points, r.dpi,
                r.cond.name.c_str(), static_cast<unsigned long long>(r.seed), r.neighbourRows != 0 ? "_nb" : "");
  z.id = id;
  return z;
}

}  // namespace pvk::zonecorpus
