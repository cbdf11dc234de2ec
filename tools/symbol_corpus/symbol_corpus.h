// Symbol corpus: barcodes and 2D symbols encoded by an independent encoder (libzint, in
// process), drawn module by module at an exact X-dimension on a canvas 16 times finer than the
// output, area-downsampled to 8-bit grey, then degraded by seeded, graded, recorded steps; plus
// a negative set of zones that hold no symbol. Images stay in memory; tests and benchmarks link
// this library, and the symbol_corpus program writes them as PGM files with a side-car text.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace pvk::corpus {

enum class Symbology {
  Code39,
  Code32,  // pharmacode: 8 digits and a check digit, drawn as 6 Code 39 characters
  I2of5,
  Code93,
  Code128,
  Codabar,
  Ean8,
  Ean13,
  UpcA,
  UpcE,
  Pdf417,
  DataMatrix,
  QrCode,
};

// Every symbology, linear ones first; and the linear ones alone.
const std::vector<Symbology>& allSymbologies();
const std::vector<Symbology>& linearSymbologies();
bool isLinear(Symbology s);
// "code39", "code32", "i2of5", "code93", "code128", "codabar", "ean8", "ean13", "upca", "upce",
// "pdf417", "datamatrix", "qrcode"; nameToSymbology returns false for an unknown name.
const char* symbologyName(Symbology s);
bool nameToSymbology(const std::string& name, Symbology& out);
// The zone font that reads this symbology alone (300..310); 0 for the 2D symbologies.
int ownFont(Symbology s);

// What to encode. `data` goes to the encoder byte for byte (no escapes, NUL allowed).
// option1..3 are the encoder's symbol options (-1 / 0 keep its defaults): PDF417 option1 =
// error correction level, option2 = columns; DataMatrix option2 = size, option3 = shape; QR
// option1 = ECC level 1..4, option2 = version. `check` adds the optional check character of
// Code 39, Interleaved 2 of 5 and Codabar.
struct SymbolSpec {
  Symbology symbology = Symbology::Code128;
  std::string data;
  bool check = false;
  int option1 = -1;
  int option2 = 0;
  int option3 = 0;
};

// The encoder's modules: rows x cols, 1 = dark. rowHeight[r] is the height of row r in modules
// (PDF417 rows are several modules high; a linear symbol's one row has 0: its height is chosen
// when drawing). hrt is the encoder's human-readable text.
struct ModuleGrid {
  int rows = 0;
  int cols = 0;
  std::vector<uint8_t> dark;
  std::vector<float> rowHeight;
  std::string hrt;
  bool at(int r, int c) const { return dark[static_cast<size_t>(r) * cols + c] != 0; }
};

// Encodes the symbol described; false with the encoder's message in *error when it refuses the data.
bool encode(const SymbolSpec& spec, ModuleGrid& grid, std::string* error = nullptr);

// Element widths (in modules) of a linear symbol's row, dark first: bar, space, bar, ...
std::vector<int> elementModules(const ModuleGrid& grid, int row = 0);

// The text our readers give for the symbol read under `font` (0: the symbology's own font;
// 7: every symbology enabled): Code 39 every character between the '*'s, a check character
// included; Code 32 nine digits; Codabar with its start and stop; Code 93 without its check
// characters, full ASCII expanded; Code 128 with set-A NUL as 0xEC; UPC-A 12 digits, and so an
// EAN-13 that starts with 0 under fonts 7 and 307; UPC-E "0", six digits and the check digit;
// the 2D symbologies their data.
std::string truthFor(const SymbolSpec& spec, const ModuleGrid& grid, int font = 0);

// An 8-bit grey image, rows top first, stride == width, 0 black, 255 white.
struct Image {
  int width = 0;
  int height = 0;
  int dpi = 300;
  std::vector<uint8_t> pixels;
  uint8_t* row(int y) { return pixels.data() + static_cast<size_t>(y) * width; }
  const uint8_t* row(int y) const { return pixels.data() + static_cast<size_t>(y) * width; }
};

// One set of degradations, applied in this order: rotation and ink spread and voids and
// scratches on the fine canvas, then the grey levels (contrast), blur, noise, JPEG.
struct Degradation {
  int level = 0;            // the graded level these values were drawn for
  uint32_t seed = 0;        // seed of every random choice below and of the noise
  double rotationDeg = 0;   // about the image centre, counter-clockwise
  double inkSpreadPx = 0;   // output pixels each dark edge moves outwards (< 0 thins)
  int voids = 0;            // round gaps in the ink
  double voidRadiusPx = 0;
  int scratches = 0;        // thin light lines across the symbol
  double scratchWidthPx = 0;
  int paper = 235;          // grey of the paper
  int ink = 25;             // grey of full ink
  double blurSigmaPx = 0;   // Gaussian, in output pixels
  double noiseSigma = 0;    // additive Gaussian, grey levels
  int jpegQuality = 0;      // 0: no JPEG round trip
};

// Number of graded levels (0 clean .. kLevels - 1 hardest).
constexpr int kLevels = 5;
// The degradations of a level, every random choice drawn from `seed`.
Degradation degradationFor(int level, uint32_t seed);
// "rot=0.80 spread=0.10 voids=0/0.00 scratches=0/0.00 paper=235 ink=25 blur=0.40 noise=3.0 jpeg=90"
std::string describe(const Degradation& d);

// How to draw: X-dimension in mils at `dpi`, or modulePx pixels per module when above 0.
// Linear symbols get barHeightPx rows of bars (0: 0.4 inch); 2D rows are their module heights.
// quietModules of quiet zone left and right (and around 2D symbols), marginPx above and below.
struct DrawSpec {
  int dpi = 300;
  double xMils = 10;
  double modulePx = 0;
  int barHeightPx = 0;
  int quietModules = 10;
  int marginPx = 8;
};

// Output pixels per module of a draw spec.
double modulePixels(const DrawSpec& draw);

// Where the symbol landed, in output pixels before rotation.
struct Placement {
  double left = 0, top = 0, right = 0, bottom = 0;
};

// Draws the grid and applies the degradations.
Image render(const ModuleGrid& grid, const DrawSpec& draw, const Degradation& deg,
             Placement* where = nullptr);

// One image of the corpus with what it holds.
struct Sample {
  std::string id;           // unique, usable as a file stem
  Image image;
  bool negative = false;    // no symbol; `kind` says what it holds instead
  std::string kind;         // negatives: "blank", "noise", "text", "guilloche", "ruled"
  SymbolSpec spec;
  DrawSpec draw;
  Degradation deg;
  Placement where;
  std::string truth;        // truthFor(spec, grid, 0)
  std::string truthFont7;   // truthFor(spec, grid, 7)
  ModuleGrid grid;
};

// Encodes, draws and degrades one symbol; false when the encoder refuses the data.
bool makeSample(const SymbolSpec& spec, const DrawSpec& draw, int level, uint32_t seed,
                Sample& out, std::string* error = nullptr);

// Data the corpus uses for a symbology: `count` seeded texts of varied lengths that the
// encoder takes (digits, letters, symbols, full ASCII where the symbology has it).
std::vector<SymbolSpec> specsFor(Symbology s, int count, uint32_t seed);

// The corpus: for each symbology, spec, dpi, X-dimension and level one sample. X-dimensions
// in mils; an empty list takes 7.5, 10, 13 and 20 for linear symbols and 10, 15, 20 for 2D.
struct CorpusOptions {
  std::vector<Symbology> symbologies;  // empty: the linear ones
  std::vector<int> dpis{300, 200};
  std::vector<double> xMils;
  std::vector<int> levels{0, 1, 2, 3, 4};
  int specsPerSymbology = 4;
  uint32_t seed = 1;
  int barHeightPx = 0;
};
std::vector<Sample> buildCorpus(const CorpusOptions& options);

// Zones without a symbol: blank paper, noise, printed text (DejaVu and Liberation fonts),
// guilloche, ruled lines; `count` of each kind, width x height at dpi.
std::vector<Sample> negativeSet(int count, int width, int height, int dpi, uint32_t seed);

// Files: a binary PGM with the dpi in a comment; the side-car lists the sample's fields as
// "key=value" lines (truth and data with non-printable bytes as \xHH).
bool writePgm(const std::string& path, const Image& image);
bool writeSidecar(const std::string& path, const Sample& sample);
std::string escapeText(const std::string& bytes);

}  // namespace pvk::corpus
