// The OCR engine: font codes and the character sets of each font, the font database files and
// the template store they are loaded into, the engine set-up per font, the binarisation
// threshold series and the one-bit binarisation of a zone. Later parts of the engine (the
// segmentation, the recognizer, the line assembly and its editing) share the globals below.
#pragma once

#include <array>
#include <cstdint>
#include <cstdio>
#include <vector>

#include "core/records.h"  // ChInfo, PVKImg, MyOcr, MyDev, MyITACheck

// ---- Reading arrays ----------------------------------------------------------------------
// A reading is three parallel arrays (text, confidence, ChInfo) and a count. Every reading of
// the engine holds kOcrChars entries, of which one is kept for the terminator.
constexpr int kOcrChars = 128;
constexpr int kOcrUsableChars = kOcrChars - 1;

struct OcrReading {
  char text[kOcrChars];
  char conf[kOcrChars];
  ChInfo info[kOcrChars];
  int n;
};

// ---- Engine globals ------------------------------------------------------------------------
extern uint16_t aw;                    // reference character width of the line, engine pixels
extern uint16_t ah;                    // reference character height of the line, engine pixels
extern uint8_t FixSizeFont;            // the fonts in play are fixed-pitch
extern uint8_t TagliaSopraPrimaLinea;  // trim what stands above the first valid line (initially 1)
extern uint16_t TopPrimaLineaValida;   // top row of the first valid text line
extern uint8_t PrivilegiaBarreVert;    // binarise in vertical-bar mode; CMC7: the second base sits out
extern uint8_t UtilizzoImgBacklight;   // the zone comes from the backlit image
extern bool SoloMaiuscolo;             // keep lower-case letters out of every set
extern bool ForzaSoloAlfa;             // keep digits out of the font-945 set
extern uint8_t Verifica_i_Arial;       // an Arial database dominates: the letter i is checked
extern uint8_t SogliaBW;               // the last binarisation threshold
extern int32_t BestIndex;              // dominant database of the reading, -1 none
extern uint32_t* imag;                 // engine image of the band being read (not owned here)
extern unsigned nLineeLetteOCR;        // text lines written by the line assembly so far

// ---- Font codes and predicates ---------------------------------------------------------------
bool IsCMC7Font(short font);
bool IsE13BFont(short font);
bool IsMICRFont(short font, bool strict);
bool IsOCRAFont(short font);
bool IsOCRBFont(short font);
bool IsOCRBFontAlfaNum(short font);
bool IsPDF417(short font);
bool IsBarcode(short font);
bool IsMICROPERFORATIONFont(short font, bool excludePayee);
bool Is_BACKL_Font(short font);

// ---- Character sets and shape classes --------------------------------------------------------
// 256 bytes indexed by the unsigned character code; 1 = member.
using CharTable = std::array<uint8_t, 256>;

// Working sets, rebuilt by DefineValidSet before each line is recognised.
extern CharTable NumSet;
extern CharTable AlfaSet;
extern CharTable AlfaNumSet;
extern CharTable TmpSet;
// The working set in force (points into one of the four); null until DefineValidSet chose one.
extern uint8_t* ValidSet;
// Shape classes, reloaded from their templates by DefineValidSet and adjusted per font.
extern CharTable IsLow;
extern CharTable IsNotLow;
extern CharTable IsFullHeight;
extern CharTable IsNotFullHeight;
extern CharTable IsFullWidth;
// Constant templates of the shape classes and the fixed classifications.
extern const CharTable IsLow_;
extern const CharTable IsNotLow_;
extern const CharTable ISFullHeight_;
extern const CharTable IsNotFullHeight_;
extern const CharTable ISFullWidth_;
extern const CharTable IsNumero;
extern const CharTable IsLettera;
extern const CharTable IsMaiuscolo;
extern const CharTable IsMinuscolo;

// Match rejection thresholds, reset by DefineValidSet and adjusted per font.
extern int32_t SogliaOCR;                  // initially 409
extern int32_t SogliaOCRPerHamming;        // initially 140
extern int32_t SogliaOCRPerHamming_1Zone;  // initially 70
// Narrow zero against wide O width statistics of the recognizer; DefineValidSet zeroes them.
extern uint16_t w_zero_stretto_O_largo;
extern uint16_t delta_zero_stretto_O_largo;

void Change_NumSet(unsigned char c, uint8_t value);
void Change_AlfaSet(unsigned char c, uint8_t value);
void Change_AlfaNumSet(unsigned char c, uint8_t value);
void Change_TmpSet(unsigned char c, uint8_t value);
// c takes the membership of model m in the set and m's flags in the five shape classes.
void Change_AlfaNumSet_Come(unsigned char c, unsigned char m);
void Change_AlfaSet_Come(unsigned char c, unsigned char m);
// Membership of c in the set in force; false while no set is in force.
bool IsValid(unsigned char c);
// Rebuilds the sets and shape classes for the current font and typeDoc of MyOcr and chooses
// ValidSet. False with "Missing valid set definition" when the font has no set.
bool DefineValidSet();

// ---- Codeline separators ---------------------------------------------------------------------
// The internal codes of the five CMC7 separators: ':' ';' '<' '=' '>'.
bool IsSeparatore(char c);

// ---- Small operations ------------------------------------------------------------------------
int hSogliaOCRBNumLet(int height);  // height separating OCR-B digits from capitals
int hOCRB_Num(int digitHeight);     // capital height matching a digit height
bool IsVocale(char c);
bool IsLetteraAccentataSimile(unsigned char a, unsigned char b);
bool alfa_is_zero(float value);

// ---- Font databases and the template store ---------------------------------------------------
constexpr int kStoreCells = 2000;  // store indices 1..1999; index 0 is never used
constexpr int kDBListSize = 64;    // entries allocated at once
constexpr int kDBMax = 63;         // entries that can be used
constexpr int kDBNameSize = 32;

// One registered font database.
struct DBEntry {
  uint8_t index;            // the entry's own position in the list
  char name[kDBNameSize];   // upper-cased file name
  uint8_t narrow;           // skipped for blocks wider than 3/2 of the average width
  uint8_t split;            // joined-block splitting widens its height factor by 1.0
  uint8_t loaded;           // the file has been read into the store
  float spaceFactor;        // gaps wider than this times the average width become blanks
};

extern unsigned char data_ascii[kStoreCells + 1];     // character code per store index
extern uint32_t data_std_bbk[kStoreCells][32];        // 32x32 template per store index, bit 31 left
extern uint8_t data_attr[kStoreCells][32];            // attribute record per store index
extern DBEntry* pDB[kStoreCells];                     // database entry per store index
extern uint32_t n_neri[kStoreCells + 1];              // per-template counts of the recognizer
extern uint16_t dfnchars;                             // next free store index
extern int32_t nchars;                                // dfnchars after the last good load
extern DBEntry* DBList;                               // kDBListSize entries, null when none
extern int16_t nDBLoaded;                             // entries in use
extern uint8_t ValidDB[kDBMax];                       // 1: that database takes part
extern bool caricadati;                               // registrations read files (initially true)

// Registers (and, with caricadati, loads) a database file of the database directory. The
// second argument is ignored. False with the result code of MyDev set: -3 null name, -4 no
// memory, -34 bad name, full list or unreadable file.
bool ocr_init(const char* name, uint16_t unused, bool narrow, float spaceFactor, bool split,
              bool verbose);
// Loads one file (dir + name; name alone when dir is null) into the store for list entry slot.
// The new dfnchars, or -1 with result code -34.
int getdata(const char* dir, const char* name, bool verbose, int slot);
// Frees the list and empties the store.
void ocr_clear();
// Copies the name of list entry i into dest (at least kDBNameSize bytes); false when there is none.
bool ocr_db_fname(short i, char* dest);

// The font database directory (MyOcr.dbDir). Get: a null dest gives the length + 1; else 0, or
// -1 (result code -3) when size is below 1 or too small. Set: 0, or -1 (result code -3).
int Vx3DBDirGet(char* dest, short size);
int Vx3DBDirSet(const char* dir);

// ---- Zone binarisation -----------------------------------------------------------------------
// The one-bit image of the last binarisation: one value per pixel (1 black), rows of the image
// width raised to a multiple of 4. Kept between calls and grown when an image needs more; free
// it with pvk::ocr::freeBWImg.
extern uint32_t* BWImg;

// Binarises img at threshold into BWImg: vertical-bar mode while PrivilegiaBarreVert is set,
// E13B mode for font 1, else text mode, the neighbourhood sums scaled by the neighbour weight of
// MyOcr; removeLines removes horizontal rules. False with result code -4 when BWImg cannot be
// allocated (-3 for an image without pixels or with a stride below its width).
bool Convol(PVKImg* img, unsigned char threshold, bool removeLines);

// ---- Row, column and bar-signal utilities ------------------------------------------------------
// Text bands and columns of a zone image, the row-profile study with its 15 thresholds, the edge
// signals of barcode and PDF417 scan bands, bar widths in whole modules, and the cleaned copy
// that the barcode readers scan. Band searches never fail: they fall back to the whole image.
constexpr int kMaxRighe = 256;    // bands of a row search
constexpr int kMaxColonne = 64;   // columns of a column search
constexpr int kSoglie = 15;       // thresholds of a row study

// One text band: first row, height, and (written by the row search) in the low byte of `cut`
// the profile cut that found it.
struct RigaType {
  uint16_t start;
  uint16_t height;
  uint16_t cut;
};

// One text column: first column and width.
struct ClmnType {
  uint16_t start;
  uint16_t width;
};

// The row-profile study of a zone. It owns the two profile arrays (u32 per row); each
// CalcolaValRighe frees the previous ones; pvk::ocr::freeStudy frees the last.
struct StudiaRighe {
  uint32_t* profile;    // per row: the darkest run of runLength pixels, as a mean
  uint32_t* smooth;     // the profile averaged over smoothRows rows
  uint16_t minGap;      // light rows that a band may bridge
  uint16_t widen;       // rows added around each band
  uint16_t smoothRows;  // K
  uint16_t runLength;   // L
  uint16_t minHeight;   // lower bands are dropped or merged
  uint16_t maxHeight;   // higher bands are searched again inside
  uint8_t quality;      // 200 for a zone without contrast
};

// Thresholds of the last row study, and those of the outermost study of the last CercaRighe.
extern uint8_t ValSoglia[kSoglie];
extern uint8_t OptValSoglia[kSoglie];

// Bar widths to module counts: count entries e[1..count] (e[0] is not used); on input a value
// is a width, on output a module count with its rounding residual.
constexpr uint32_t kCalcModMax = 31;
struct calcModEntry {
  uint32_t value;
  float residual;
};
struct calcModstr {
  uint32_t count;
  float spare;
  calcModEntry e[kCalcModMax + 1];
};

// Bands of dark rows (at least 1; the whole image when none). maxDark: dark pixels a row may
// hold and still be light.
int CercaRowBase(PVKImg* zone, RigaType* out, uint16_t margin, uint16_t gap, uint16_t widen, uint8_t darkLevel,
                 int maxDark);
// Columns of dark pixels (at least 1; the whole image when none), at most kMaxColonne.
int CercaColBase(PVKImg zone, ClmnType* out, uint16_t margin, uint16_t gap, uint16_t widen, uint8_t darkLevel,
                 int maxDark);
// Text bands of a zone by its row profile (at least 1); leaves the outer study's thresholds in
// ValSoglia. The zone must be at least 16 pixels wide.
int CercaRighe(PVKImg* img, StudiaRighe study, uint16_t idxMin, uint8_t level, RigaType* out, bool flag);
// Widens n bands (1..256) by k rows up and k - 1 down without overlapping their neighbours.
void allarga(RigaType* bands, uint16_t n, uint16_t height, uint16_t k);
// Row profiles and thresholds of a zone at least 16 pixels wide; false (result code -4) when
// the profiles cannot be allocated.
bool CalcolaValRighe(PVKImg* img, StudiaRighe& study);
// Edge signal of a barcode band: signal and out hold 2 x width ints; rows scanned per column
// (out of 1..height: the whole height). False only for a missing image or array.
bool normalizzaBarcode(PVKImg* band, int* signal, int* out, int rows);
// Edge signal of a PDF417 row band; signal, work and out hold 2 x width ints.
bool normalizza(PVKImg* band, int* signal, int* work, int* out, int rows);
// Widths to whole modules of total / modules each; the largest positive residual.
float NormalizzaValore(calcModstr* m, int total, int modules);
// Moves one module to the entry with the largest residual (the ties-th tie); false when none.
bool correggiMod(calcModstr* m, unsigned ties);
// The inverted, stretched copy of src in dst (pixels allocated here, height + 16 rows; the
// caller frees them). False: result code 0 under 8 rows, -4 without memory, -3 for a missing
// image or a width above 65532.
bool pulisci(PVKImg* src, PVKImg* dst, int offset);
// Darkest and brightest 3 x 3 mean; 0 and 255 for images outside 12..4096 x 12 and up.
void CalcolaBlackWhite(PVKImg* img, uint8_t& black, uint8_t& white);

namespace pvk::ocr {

// Frees BWImg and forgets its size.
void freeBWImg();

// Rows [first, end) of image, rows of w4 values, outside which every one of its height rows is
// 0: for BWImg as the last binarisation left it (the engine after it clears or relabels ink but
// never inks paper) the rows that may hold ink, for any other image all rows.
void inkRowSpan(const uint32_t* image, size_t w4, uint32_t height, uint32_t& first, uint32_t& end);

// Frees the profile arrays of a row study.
void freeStudy(StudiaRighe& study);

// The pitch of a codeline's characters as a share of the standard eighth of an inch at the
// image's resolution (1 for a line printed at the standard size), from the columns' ink; 0 when
// the image shows no steady pitch over at least four characters.
double codelinePitchShare(const PVKImg& img);
// True for a codeline printed more than a tenth smaller or larger than the standard.
bool codelineOffSize(const PVKImg& img);
// The resolution a codeline image is read at: the image's own, or for a line printed more than
// a tenth smaller or larger than the standard, the resolution at which its pitch is the standard
// one (the image's own when the engine could not read at that one).
uint16_t codelineReadingDpi(const PVKImg& img);

// ReadOCR for a codeline image whose reading resolution the caller worked out as its own
// (codelineReadingDpi(img) == img.dpi): the zone read at once, without working it out again.
int readOcrAtOwnDpi(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars);

}  // namespace pvk::ocr

// ---- Engine set-up per font ------------------------------------------------------------------
// Engine options, set by the option form of ocr_init.
extern bool clearSmall;          // drop blocks lower than coefMinH x the average height
extern float coefMinH;           // initially 0.5
extern bool removeIsolated;      // remove isolated characters of a line
extern bool pesaNumLet;          // the recognizer weighs digits against letters (initially true)
extern uint16_t reject_nchar;    // a line with more unread characters is blanked; 0 no limit
extern int16_t oldFont;          // font of the last set-up with loading on

// Stores the engine options (removeUnderline is accepted and not used), the loader switch, and
// restarts the line count.
void ocr_init(bool clearSmall, float coefMinH, bool removeIsolated, bool removeUnderline, bool pesaNumLet,
              uint16_t reject_nchar, bool caricadati);
// Sets the engine up for font at scale (zone dpi / 300) and registers its databases (loading
// them when load is true). nDBLoaded; 0 for codes that need no database (-1, barcodes, 8, 120);
// -1 with the result code -33 (font not enabled) or -34 (font too high, database error).
int InitOCR(short font, bool load, float scale);

// ---- Binarisation threshold series -----------------------------------------------------------
extern uint8_t ValSogliaOCR[15];  // grey levels at the 1/16 .. 15/16 points of the zone
extern int32_t sMean;             // centre of the thresholds that read in the last first cycle; 0 none

// Fills ValSogliaOCR from the zone's grey levels 5..249.
void CalcolaValSoglia(PVKImg* img);
// Writes count (2..16) thresholds between a and b (either order) into out in trial order, from
// the middle outwards, and sets n to count. A first series is wider and coarser (its minimum
// step depends on the current font and on the backlight switches).
void CalcolaOptSoglia(uint8_t* out, int a, int b, uint16_t& n, uint16_t count, bool first);

namespace pvk::ocr {

// A threshold series with the pass parameters of the zone reader: a pass at threshold t with
// d = |t - t[0]| > D scales each confidence c to max(1, trunc(c x (1 - d x K / D))).
struct ThresholdSeries {
  uint8_t t[16];   // thresholds in trial order
  uint16_t n;      // thresholds in t
  uint16_t count;  // thresholds per cycle
  int D;           // penalty distance
  float K;         // penalty factor
};

// The first series of a zone for the current font of MyOcr (its zone side and
// UtilizzoImgBacklight decide for the backlit variants); runs CalcolaValSoglia on the zone.
void firstThresholdSeries(PVKImg* zone, ThresholdSeries& s);
// After a cycle: K and D shrink by 4 and sMean is cleared; when some threshold gave a reading
// (lo and hi the lowest and highest such, lo < 0 for none) sMean is their centre and a narrower
// series of the same count is built around them, else the series is kept.
void nextThresholdSeries(ThresholdSeries& s, int lo, int hi);

}  // namespace pvk::ocr

// ---- Engine image, blocks and lines ----------------------------------------------------------
// The band being read: imag (above) holds one value per pixel, row-major, `width` per row: 0
// white, 1 black not labelled yet, 2 and up the slot of the block the pixel belongs to (after
// compaction a block may also sit in slot 1). Every table below is rebuilt for each band.
constexpr unsigned kBlockSlots = 4097;  // slot 0 is never a block, kSpareSlot is the exchange slot
constexpr unsigned kSpareSlot = 4096;
constexpr unsigned kLineRecords = 1001;
constexpr unsigned kMaxLineNumber = 998;  // lines 0..998: 999 lines per band

// Bounds are exclusive at the bottom and on the right; a record whose top is 0 is empty.
struct BlockRec {
  uint32_t top, left, bottom, right;
  uint32_t col;   // column number
  uint32_t line;  // line number
  uint32_t cy;    // centre row
  uint32_t cx;    // centre column
};
struct ColRec {
  uint32_t top, left, bottom, right;
  uint32_t first, end;  // positions in stblk
  uint32_t unused[6];
};
struct LineRec {
  uint32_t top, left, bottom, right;
  uint32_t zero;
  uint32_t first;  // first position in stblk; the record after the last line holds the end
};
// Per-block attributes: the recognizer stores the aspect, the line assembly the rest.
struct BlockAttr {
  uint32_t aspect;  // width x 32 / height, 4..96
  uint8_t rest[28];
};
static_assert(sizeof(BlockRec) == 32 && sizeof(ColRec) == 48 && sizeof(LineRec) == 24 &&
                  sizeof(BlockAttr) == 32,
              "engine records keep their field layout");

extern uint16_t width;     // band width rounded up to a multiple of 4
extern uint16_t height;    // band height
extern int32_t imagsize;   // width x height
extern BlockRec tblk[kBlockSlots];
extern uint32_t lastblock;                // one past the highest slot in use
extern uint32_t stblk[kBlockSlots];       // sorted positions 1..lastblock (one spare entry)
extern ColRec tcol[1];
extern uint32_t num_of_cols;
extern LineRec tln[kLineRecords];
extern uint32_t num_of_lines;
extern BlockAttr tattr[kBlockSlots];
namespace pvk::ocr {
// The attributes of a block slot (below kBlockSlots) for writing: a band's set-up clears only
// the slots written since the last one.
BlockAttr& attrToWrite(unsigned slot);
void clearAttrs();
// Every slot of tblk a band's work writes is noted first, so a band's set-up clears only the
// slots written since the last one.
void slotWritten(unsigned slot);
void clearBlocks();
}  // namespace pvk::ocr
extern uint16_t ablkw;    // mean width of the blocks of 9 x 9 pixels or more (1 when none)
extern uint16_t ablkh;    // mean height of the same
extern uint32_t last_j2;  // column after the previous character of the line assembly

// Installs a binarised band (not owned) and segments it: 1 when it holds a block, else -1.
int ocr_pre_process(uint32_t* image, uint16_t bandWidth, uint16_t bandHeight);
int process_image();  // segments the installed band: 1, or -1 without a block
void filtraPuntiSingoli();
uint32_t getblocks();  // lastblock, or 0 without a block or on table overflow
uint32_t compactify_tblk();
void remove_block(unsigned slot);
void move_block(unsigned from, unsigned to);
void clear_block(unsigned slot);
void join_block(unsigned a, unsigned b);  // a's pixels and box go to b; a is emptied
void mergeBlockRecords(unsigned a, unsigned b);  // join_block without touching the pixels
void permute_block(unsigned a, unsigned b);
void average_all_blocks();
void average_blocks(unsigned first, unsigned end, uint16_t& meanW, uint16_t& meanH);
void getcolumns();
uint32_t getlines();  // num_of_lines; result code -30 past 999 lines

// Debug files: P5 greymaps, black pixels 0 and white 255. True when every byte was written.
bool ImgPGMWrite(const char* path, const uint32_t* image, uint16_t w, uint16_t h, int maxGrey);
bool ImgPGMWriteBBK(const char* path, const uint32_t* cell, int maxGrey);
// Reads a greymap written as above into a new buffer (free with std::free) and sets width,
// height and imagsize; null with a trace on a bad header, bad sizes or a short file.
uint8_t* ImgPGMRead(const char* path);

// ---- Block splitting and joining -------------------------------------------------------------
// Splits take a new slot past lastblock; none splits when that slot would not lie below the
// spare slot. Results as named: 0 is always "not split".
void JoinBlocks(uint16_t meanW, uint16_t meanH, unsigned first, unsigned end);
uint32_t split_block_hor(unsigned b, float heightFactor, bool wide, unsigned& newSlot);
uint32_t split_block_hor_fix(unsigned b, uint16_t cutOffset, unsigned& newSlot);
int split_block_imag_hor(unsigned b, unsigned& leftSlot);
unsigned split_block_ver(unsigned b, uint32_t maxRow, uint32_t minHeight);

// ---- Standard cell and Hamming matching ------------------------------------------------------
// A cell is 32 rows of 32 bits, row 0 on top, column c in bit 31 - c, a set bit black.
extern const uint32_t val[32];
extern uint8_t myChar[32][32];
extern uint32_t white_bbk[32];
extern uint32_t black_bbk[32];

// Scales the block into cell, trimming its bounds in up to 9 passes; false when it is smaller
// than the minimums or trims away to nothing (its bounds then stay ordered).
bool mk_std_size_bin(unsigned block, uint32_t* cell, uint32_t minHeight, uint32_t minWidth);
void mk_std_size_bin_1_1(unsigned block, uint32_t* cell, int64_t h, int64_t w, float sx, float sy);
void mk_std_size_bin_1_2(unsigned block, uint32_t* cell, int64_t h, int64_t w, float sx, float sy);
// Scales the block at sorted position i into template j of the store; false when it cannot.
bool put_std_size_char(unsigned i, unsigned j);

// Differing pixels over the nine zones (0..1024); with withThr 1024 when a zone passes maxZone
// or a row or column band passes maxTot.
uint32_t hamming_dist(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone,
                      bool withThr);
namespace pvk::ocr {
// hamming_dist with its limits, given up (1024) as soon as the pixels counted pass cutoff: the
// template search asks only whether a template can still matter.
uint32_t limitedDistance(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone, uint32_t cutoff);
// The version of limitedDistance for this processor: a search over the whole template store
// takes it once instead of choosing at every template.
using LimitedDistance = uint32_t (*)(const uint32_t* a, const uint32_t* b, uint32_t maxTot, uint32_t maxZone,
                                     uint32_t cutoff);
LimitedDistance limitedDistanceVersion();
}  // namespace pvk::ocr
uint32_t high_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t high_left_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t mid_high_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t high_right_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t high_right2_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t vmid_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t mid_left_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t mid_mid_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t mid_right_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t low_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t low_left_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t low_mid_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t low_right_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t hmid_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t left_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t right_hamming_dist(const uint32_t* a, const uint32_t* b);
uint32_t hamming_dist_no_soglie(const uint32_t* a, const uint32_t* b);
uint32_t hamming_equal_neri(const uint32_t* a, const uint32_t* b);
uint32_t hamming_dist_neri(const uint32_t* a, const uint32_t* b, uint32_t thr);
void Mask(uint32_t* a, const uint32_t* m);
uint32_t black_in_row(uint32_t row);
uint32_t PixelNeri(unsigned block);
uint32_t PixelNeriNoSalePepe(unsigned block);
uint32_t PixelNeriBBK(const uint32_t* cell);
uint32_t PixelNeriBBKNoSalePepe(const uint32_t* cell);
uint32_t detectBlock(const uint32_t* cell);

// ---- Recognition of one block and the per-font verifiers -------------------------------------
// Per-line metrics that the line assembly sets before it recognises the blocks of a line.
extern uint32_t minW, maxW, minH, maxH;
extern uint32_t minHNum, minWNum;
extern uint32_t aw_full_width_min, aw_3_2, aw_2_3, aw_1_2, aw_1_3, aw_1_6;
extern uint32_t ah_full_height_min, ah_not_full_height_max, ah_1_2, ah_1_6, ah_2_3;
extern uint8_t Lettera;  // the previous character was a letter
extern uint8_t Numero;   // the previous character was a digit
extern int32_t SogliaOCR_2;  // best distances above it give '?' (initially 409)

// The state of the last recognition: during the search distances (1024 none), after it
// confidences 1..100. The verifiers and the line assembly read and change it.
extern char I_char, II_char;
extern uint16_t I_nn, II_nn;  // store slots of the best and second templates, 0 none
extern int32_t I_score, II_score;
extern int32_t I_score_min;
extern int32_t I_score_delta_low_conf;
extern uint8_t MicroD_I, MicroD_II;
extern DBEntry* pCurDB;

extern const std::array<uint32_t, 32> MicroperforationMask;
extern const std::array<uint32_t, 32> MicroperforationMask_microD;
extern const std::array<uint32_t, 32> MicroperforationMask_ET;
extern const std::array<uint32_t, 32> MicroperforationMask_barra;
extern const std::array<uint32_t, 32> MicroperforationMask_I;

// The character of the block whose cell is given (' ' none, '?' unreadable, 1 too large), its
// confidence 1..100 and the index byte of the template's database.
char recognize_char(unsigned block, uint32_t* cell, unsigned char& conf, unsigned char& db);
void VerificaScore(int& firstScore, unsigned short& firstSlot, int& secondScore,
                   unsigned short& secondSlot);
bool VerificaCMC7(unsigned black, unsigned w, unsigned h, uint32_t* cell);
bool VerificaOCRB(bool swapped, unsigned w, unsigned h, uint32_t* cell);
bool VerificaMicroperforation(unsigned w, unsigned h);
bool VerificaMicroperforationAltri(int minimum, unsigned w, unsigned h, uint32_t* cell);
bool VerificaE13B(unsigned w, unsigned h, uint32_t* cell);
bool VerificaGenericoFont(uint32_t* cell, unsigned w, unsigned h, unsigned black);

// ---- Post-processing of readings -------------------------------------------------------------
// A reading is text, confidences (0..100) and ChInfo kept index by index, and a count n. The
// edits below keep the three aligned; conf and info may be null where a comment says so, a
// null text does nothing. Insertions take the caller's limit max and refuse, silently, when
// n + 1 >= max; a negative position changes nothing. Line breaks are CR LF.

// Mechanical edits.
// Removes entry pos (the terminator at n moves down with the tail); pos >= n only lowers n.
void RimuoviCarattere(char* text, char* conf, ChInfo* info, int pos, int& n);  // conf, info may be null
// Inserts c at pos (appends when pos >= n), writes text[n] = 0 after it.
void AggiungiCarattere(char c, char cf, ChInfo ci, char* text, char* conf, ChInfo* info, int pos, int max,
                       int& n);  // info may be null
void RimuoviCRLF(char* text, char* conf, ChInfo* info, int& n);
void RimuoviCHNRInizialiEFinali(char* text, char* conf, ChInfo* info, int& n);
void RimuoviSpaziEsterniEDoppi(char* text, char* conf, ChInfo* info, int& n);  // info may be null
// Lowest confidence (110 when none) and lowest agreement (0 when none) of the real characters.
void CercaCaratterePeggiore(char* text, char* conf, ChInfo* info, int n, char& worst, int& minCount);
void RiduciConfidenza(int& total, char* conf, int n, float factor, bool perChar);
// Cuts trailing debris after the last blank of the line end; true when it cut.
bool RimuoviSchifezzeFinali(char* text, char* conf, int& n);
void TagliaCaratteriSopraPrimaLinea(char* text, char* conf, ChInfo* info, int& n);

// Edits that fit boxes between neighbours.
void AggiornaCarattere(char c, char* conf1, ChInfo* info1, int i1, char* conf2, ChInfo* info2, int i2, bool sum);
// Inserts c at pos and moves pos past it; "unexpected n" when pos > n. A refused insertion
// changes nothing, pos included.
void AggiungiEVerifica(char c, char cf, ChInfo ci, char* text, char* conf, ChInfo* info, int& pos, int& n,
                       int max);
void SostituisciEVerifica2(char* text, char* conf, ChInfo* info, int pos, int n, char c, char cf, ChInfo ci);

// Average character width and height of a reading and the mean space factor of its databases;
// with update, aw, ah and the nominal size of MyOcr follow.
void Ricalcola_ah_aw(char* text, char* conf, ChInfo* info, int n, uint16_t& width, uint16_t& height,
                     float& spaceFactor, bool update);

// Cleaning passes.
void VerificaCaratteriSovrappostiESpazi(char* text, char* conf, ChInfo* info, int& n, int minBlank);
void VerificaSeparati(char* text, char* conf, ChInfo* info, int& n);
void PulisciFineRiga(char* text, char* conf, ChInfo* info, int& n);
void PulisciSottoSopraRiga(char* text, char* conf, ChInfo* info, int& n);
void PulisciInizioRiga(char* text, char* conf, ChInfo* info, int& n, bool keep);
void PulisciInizioRigaAmount(char* text, char* conf, ChInfo* info, int& n, bool skip);
// Re-spaces a line from its character gaps with the thresholds of font.
void VerificaAggiungiSpazi(char* text, char* conf, ChInfo* info, int& n, int max, short font);

// Look-alike arbitration: merges reading 1 (the new one) into reading 2 (the kept one); 0 when
// either is empty, else 1.
int ConfrontaSimili(char* t1, char* c1, ChInfo* i1, int& count1, char* t2, char* c2, ChInfo* i2, int& count2,
                    bool margins, int max, bool editNew, bool sum);
bool ConfrontaNumeroLettera(char digit, char letter, int margin, int iK, char* tK, char* cK, ChInfo* infoK,
                            int& nK, int iN, char* tN, char* cN, ChInfo* infoN, int& nN);
bool ConfrontaLettereSimili(int iK, char* tK, char* cK, ChInfo* infoK, int& nK, int iN, char* tN, char* cN,
                            ChInfo* infoN, int& nN, bool editN, char marginK, char marginN, char penalty);
void VerificaRigheDiverse(char* text, char* conf, ChInfo* info, int& n, int spare);
bool ConfrontaSimili2(char* t1, char* c1, int count1, char* t2, char* c2, int count2, int settle);

// Per-font size filters; a limit of 0 or less leaves the bound from the averages.
void PulisciMicroperforati(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH);
void PulisciFontOCRB(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH);
void PulisciFontFixSize(char* text, char* conf, ChInfo* info, int& n, int minW, int maxW, int minH, int maxH);
namespace pvk::ocr {
// PulisciFontFixSize with the CMC7 limits (25..38 wide, 26 high at 300 dpi) at the engine scale.
void cleanCmc7Sizes(char* text, char* conf, ChInfo* info, int& n, float scale);
// On an alphanumeric OCR-B line: a capital or figure far narrower or lower than the line's mean
// box is a fragment of a character, and its confidence goes under 50 (40).
void capOcrbFragments(const char* text, char* conf, const ChInfo* info, int n);
}  // namespace pvk::ocr
void verificaO0_OCRB(char* text, char* conf, ChInfo* info, int n);
void RimuoviTimbri(int pos, char* text, char* conf, ChInfo* info, int& n);
// Microperforated cheque fields against the expected texts of MyITACheck.
bool MicorforaturaOK(short font, char* text, char* conf, int n);
bool VerificaMicroforaturaConPulizia(char* text, char* conf, ChInfo* info, int& n);
void ConfrontaMicroforatura(char* t1, char* c1, ChInfo* i1, int& count1, char* t2, char* c2, ChInfo* i2,
                            int& count2, int tol, bool insert, short font, short max, bool keepOwn);

// Judging a finished reading.
int CalCumulaConf(char* text, char* conf, ChInfo* info, int& n, bool edit, unsigned short spare);
bool IsAssegnoItalia(char* text, char* conf, ChInfo* info, int& n, bool& complete, bool edit);
void VerificaITA_CHECK_BItalia(char* text, char* conf, ChInfo* info, int& n);
void RimuoviDoppi_CH_NR_e_Piccoli(char* text, char* conf, ChInfo* info, int& n, int max);
bool daMigliorareBollettiniItalia(char* text, char* conf, int n);

namespace pvk::ocr {

inline bool isLineBreak(char c) { return c == '\r' || c == '\n'; }
inline bool isBlankOrUnread(char c) { return c == ' ' || c == '?'; }
inline bool isDigit(char c) { return c >= '0' && c <= '9'; }
inline bool isCapital(char c) { return c >= 'A' && c <= 'Z'; }
// A confidence halved, never below 1.
inline char halvedConf(char c) { return static_cast<char>(c / 2 < 1 ? 1 : c / 2); }
// First index from..n-1 holding c, or -1.
int findInReading(const char* text, int n, char c, int from = 0);
// The database a character was recognised with: null when the list is absent or the index is
// not below nDBLoaded.
const DBEntry* readingDB(uint8_t index);
// Its space factor, 0.9 for a database that is not loaded.
float readingSpaceFactor(uint8_t index);
// A column one before x, 0 for column 0.
inline uint16_t columnBefore(uint16_t x) { return x == 0 ? 0 : static_cast<uint16_t>(x - 1); }

// One reading of the look-alike arbitration, by its arrays and its count.
struct ReadingRef {
  char* text;
  char* conf;
  ChInfo* info;
  int* n;
};
// The pair rules of the arbitration for K's character at k against N's at m (the same place);
// N is changed only with editNew.
void settleLookAlikePair(ReadingRef K, int k, ReadingRef N, int m, bool margins, bool editNew, bool sum);
// A mark that a piece of a broken character reads as: a dot, and an amount's comma. Matched with
// a character at its place it is narrower than the character, and the character is kept.
bool pieceMark(char c);

}  // namespace pvk::ocr

// ---- Line assembly and character records -----------------------------------------------------
// The per-line metrics beside those of the recognizer, set by convert_to_ascii before a line.
extern uint32_t aw_2, aw_1_8, ah_1_3, ah_num_let, aw_not_full_width_max;
extern uint32_t ah_max, aw_max, ah_min, aw_min;
extern uint32_t minPix;  // '?' blocks of less area are dropped
// The line being assembled.
extern unsigned nCharOcr;        // entries written in this reading
extern char last_c;              // the last character appended
extern uint8_t Maiuscolo;        // the last letter was a capital (starts at 1)
extern int32_t cumulaConf;       // sum of the line's confidences
extern uint16_t reject_nchar_cnt;  // '?' of the line so far
extern uint8_t add_blank_horiz;  // wide gaps become blanks (initially 1)

// Reads the segmented band into text, conf and info (maxChars entries each, terminated): lines
// of characters, ' ' for blanks, '?' unreadable, CR LF between lines (confidence 'd'). The entry
// count; 0 with "not single char" for a band of one block (unless MyOcr.singleChar); -1 with
// result code -30 when no database is loaded.
short ocr_read(char* text, char* conf, ChInfo* info, int maxChars, unsigned short nLines);
// The walk over the lines and blocks behind ocr_read: the entry count, 65535 without a valid set.
uint16_t convert_to_ascii(char* text, char* conf, ChInfo* info, int maxChars);
// Appends one recognised block to the current line (text, conf and info point at the line's
// first entry; n counts the line's entries, nRead its real characters): 0 to go on, 1 to end the
// line.
int AggiungiCarattereOCR(char c, unsigned char conf, unsigned block, unsigned char flag, char* text, char* confs,
                         ChInfo* info, unsigned& n, unsigned& nRead, int maxChars, unsigned lineIndex,
                         int splitMarker);
// Removes entry pos (n > 0; with pos >= n the last entry), shifting the later ones down.
void rimuovi_ocr_char(char* text, char* conf, ChInfo* info, unsigned pos, unsigned& n);
// Trims a block 8 rows high or more at rows of at most k x m ink; true when a bound moved.
bool shift_block_with_line(unsigned block, unsigned k, unsigned m);
bool IsDigit(char c);
// The offline path: a PGM file binarised at 125 into a new engine image (imag, owned by the
// caller: free with std::free) and segmented. getimage: false with result code -4 (no memory)
// or when the file cannot be read; process_image(path): 1, or -1.
bool getimage(const char* path);
int process_image(const char* path);

namespace pvk::ocr {

// Sets the per-line metrics of the recognizer and the line assembly from aw and ah (the line's
// reference size), the nominal size and options of the font in MyOcr.
void setLineMetrics();
// The block attributes of a line's blocks (positions first..end-1 of stblk): where each block's
// top and bottom fall among 32 classes of the line height, and how many blocks of the line share
// each class.
void lineAttributes(unsigned first, unsigned end, uint32_t lineTop, uint32_t lineHeight);

// Where a block stands in the text line being read: ending above the line's middle (High),
// starting below it (Low; Bottom in its last quarter), or neither; Unknown outside a line. The
// line assembly names the line before reading its blocks; a new band forgets it.
enum class Place { Unknown, High, Low, Bottom, Middle };
void setLinePlace(uint32_t lineTop, uint32_t lineHeight);
Place placeOf(uint32_t top, uint32_t bottom);

// A star block w by h pixels narrower or lower than a star is read alone (10 pixels at 300 dpi,
// scaled): an amount's star set small, read only in the cells beside the figures.
bool underStarFloor(uint32_t w, uint32_t h);
// Such a star is held back from its line, whose other blocks it must not disturb, until the
// line is read.
struct HeldStar {
  ChInfo box;  // its bounds, split count and database
  unsigned char conf;
};
// The held star of block b read with conf after `split` splits: false for a block on the band's
// edges, which goes as any unread block there does (a star on its top or bottom edge keeps half
// its confidence).
bool holdStar(const BlockRec& b, unsigned char conf, int split, HeldStar& s);
// Inserts at the ends of an amount line (its n entries in text, conf and info, with room for
// `room` more) the held stars that continue the runs of stars beside its figures: each in the
// cell of a star next to its neighbour towards the figures and matched in size by another star
// of the runs. The number inserted.
unsigned placeHeldStars(char* text, char* conf, ChInfo* info, unsigned& n, unsigned room, const HeldStar* held,
                        unsigned count);

// Width and height of block slot b (below kBlockSlots), 0 when its bounds cross.
inline uint32_t blockW(unsigned b) { return tblk[b].right > tblk[b].left ? tblk[b].right - tblk[b].left : 0; }
inline uint32_t blockH(unsigned b) { return tblk[b].bottom > tblk[b].top ? tblk[b].bottom - tblk[b].top : 0; }

// The reading convert_to_ascii writes: maxChars entries in each array (one kept for the
// terminator), nCharOcr of them written.
struct AssemblyOut {
  char* text;
  char* conf;
  ChInfo* info;
  int maxChars;
};
// The line being assembled: its entries start at entry base of the reading.
struct AssemblyLine {
  AssemblyOut& o;
  unsigned base;
  unsigned n = 0;      // entries of the line
  unsigned nRead = 0;  // of which real characters
  bool closed = false;  // AggiungiCarattereOCR asked to end the line
  std::vector<HeldStar> held;  // an amount's stars set small, placed at the line's end
  char* text() const { return o.text + base; }
  char* conf() const { return o.conf + base; }
  ChInfo* info() const { return o.info + base; }
};
// Reads the line's blocks at positions first..end-1 of stblk: each is scaled and recognised,
// weak or too wide blocks are split and their parts read, and what reads is appended until the
// line is closed. False when a stop was requested.
bool readLineBlocks(AssemblyLine& line, unsigned first, unsigned end);

}  // namespace pvk::ocr

// ---- Zone reader: rows of a reading, payee databases, erasers --------------------------------
// One text row of a zone reading; text and conf are NUL-terminated, the three buffers are
// allocated zeroed and owned by the row.
struct OCRRigaType {
  uint8_t score;     // the row's cumulative confidence
  int32_t n;         // characters
  int32_t capacity;  // min(4n + 4, limit) entries of each buffer
  char* text;
  char* conf;
  ChInfo* info;
};

// Fills row with copies of n entries (n >= limit is cut to limit - 1 and written back). False
// with a trace for a negative n, or with result code -4 when the buffers cannot be allocated
// (the row is then left empty).
bool AggiungiOCRRow(char* text, char* conf, ChInfo* info, int& n, OCRRigaType* row, int limit);
// Splits a reading at CR LF into rows from slot nRows on (leading blanks of each line skipped,
// each line cut to limit - 1 characters), scoring each with CalCumulaConf; a row counts (nRows
// grows) only when its score exceeds the minimum line confidence of MyOcr. False for an empty
// line before a CR or when a row cannot be filled. The caller leaves room for every line.
bool SpezzaInRighe(char* text, char* conf, ChInfo* info, int n, OCRRigaType* rows, unsigned short& nRows, int limit);
// Keeps the best-scored row (the first of equal maxima) in slot 0 and releases the others;
// nRows becomes 1.
void ScegliOcrRowMigliore(unsigned short& nRows, OCRRigaType* rows);
// Releases every row and counts nRows down to 0.
void CancellaRigheGiaLette(unsigned short& nRows, OCRRigaType* rows);
// Counts the confident digits and capitals of each database (63 counters) and makes the first
// with the largest nonzero count BestIndex; false (BestIndex -1) when there is none.
bool EsisteBestDB(int* counts, const char* text, const char* conf, ChInfo* info, int n);
// Disables the databases that read nothing and, when one payee font family dominates the n
// characters read, every database outside it; true when any database was disabled.
bool RiduciDBBeneficiario(int* counts, int n);

// Splits band index of the band table in two when the reading of it (band-relative tops and
// bottoms moved to zone rows) holds two lines, and again at a third line; nBands grows. False
// when there is nothing to split or the table (kMaxRighe bands) is full.
bool SpezzaAncoraInRighe(const char* text, const ChInfo* info, int n, RigaType* bands, unsigned short index,
                         unsigned short& nBands);

// The zone reader. Reads all the text of a grey zone (dark text on a light ground) in the font:
// lines joined by CR LF (confidence 100 each), one confidence and one ChInfo (info may be null)
// per character. The characters written, 0 when nothing was read or the zone is below 16 x 17,
// -1 on error: result code -3 for a missing buffer or pixels, a stride below the width or a
// resolution of 71 dpi or less, -4 without memory, as InitOCR left it when the set-up fails.
// Never writes past maxChars entries; maxChars 0 gives 0.
int ReadOCR(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars);
extern uint8_t codelineRidotta;       // the band being read was cleared outside its text
extern int32_t nCicliCompletiSoglia;  // threshold cycles started for the band being read

// Zone erasers (grey image changed in place; 0 black, 255 white). TagliaBordi narrows the
// width to the light span between dark side borders and returns the first light column (0 when
// that is column 4, and for images under 16 x 16); the data pointer is not moved.
int TagliaBordi(PVKImg* img);
void RimuoviBordo(PVKImg* img, unsigned char thr);
void CancellaSegni(PVKImg* img, unsigned short maxLen, unsigned short minGap, unsigned char thr);
// Squares of (size & ~1) + 1 pixels, 3 pixels clear of every edge: a centre darker than thr in a
// ring of pixels all at least thr is whitened whole. Nothing for size < 3.
void CancellaQuadrati(PVKImg* img, unsigned short size, unsigned char thr);

namespace pvk::ocr {

// Test seam of the zone reader's allocations: when positive, the allocation that brings it to 0
// fails (and every one after, until it is set again). Negative: never.
extern int zoneAllocFailAfter;
// The last judgement of a band's reading (n characters): a character few passes agreed on (fewer
// than a quarter of the mean agreement of those above minConf, held within 2..4; one more when it
// stands alone between blanks) and weaker than minConf becomes '?' with confidence 1, or a blank
// when alone; an unread '?' so agreed on becomes a blank when alone.
void markWeakCharacters(char* text, char* conf, const ChInfo* info, int n, int minConf);
// Payee and amount lines: a character that fewer than a third of the mean of the line's passes
// agreed on is a part of a kerned pair cut apart (the stem of an L whose foot runs under the next
// T, a T without its bar), however well it matched; told so by a confidence under 50. Lines of
// fewer than 5 characters say too little of what a good one gets.
void doubtFewAgreed(const char* text, char* conf, const ChInfo* info, int n);
// The final trims of a zone result (n characters) for font and the typeDoc of MyOcr: the unread
// ends of OCR-B zones, the weak first and last characters of fonts 4, 5, 38 and 39, a trailing
// " ?", and every blank unless MyOcr keeps blanks. info may be null.
void trimZoneResult(char* text, char* conf, ChInfo* info, int& n, short font);
// Test seam of stops: when positive, a stop is requested (as the host's stop call does) once
// that many passes of the zone reader have ended.
extern int zoneStopAfterPasses;
// The zone reader's allocator (calloc) behind that seam; null on failure.
void* zoneCalloc(size_t count, size_t size);
// Releases a row's buffers and zeroes the record.
void releaseRow(OCRRigaType& row);

}  // namespace pvk::ocr
