// Document and zone reading, the top reading floor: the OCR zone table that hosts build, the
// OCR image of each acquired side that zones are cut from, and the one-zone reader that cuts a
// zone, turns it upright and hands it to the OCR, MICR or symbol reader its font selects.
#pragma once

#include <cstdint>

#include "PlavikMS.h"
#include "core/records.h"  // ChInfo, MyOcr, MyDev, MyITACheck

// ---- OCR zone table -------------------------------------------------------------------------
// The work of the four exported zone-table calls on OCRDoc; the guard is the caller's. Each
// rejection sets the last result to -3 with one trace line and leaves the table unchanged.
namespace pvk::reading {

// 0 with the rotation stored (last result untouched); -1 unless 0, 256, 512 or 768.
int zoneRotateDoc(short rotation);
// Appends a zone given at dpi (1..600) on side 0 or 1; coordinates are stored at 150 dpi
// (value * 150 / dpi, truncated toward zero). The new zone count with last result 0, or -1.
int zoneAdd(short dpi, short left, short top, short width, short height, short side, short font, short option);
// Characters read, or the font field, of slot 0..19 (any slot, in use or not); the bad-index
// value (0 for the count, -1 for the font) otherwise.
int zoneNChar(short index);
int zoneOCRchar(short index);

}  // namespace pvk::reading

// ==== The document reader: set-up, codeline search, Italian cheque rules, microperforation ====
// Italian cheque rules: the corrections of a codeline field, a cheque number, an amount and a
// payee against a second reading of the same data, and the alignment of two readings of one
// microperforated zone. Texts and confidences are parallel byte arrays (confidences 0..100),
// NUL-terminated; every rule works in place.

// ---- Codeline fields against a reference ---------------------------------------------------------
// The cheque number (10 characters, closed by ';') or the ABI/CAB field (9, closed by '>') of a
// codeline confirmed or corrected from a reference reading with its confidences. Reference
// characters below confidence t, '?' and blanks are not used. At most 3 differing positions;
// true when at least one position was confirmed or corrected and every confident difference of
// the reference was one of them.
bool CorreggiNAssegno(char* code, char* codeConf, char* ref, char* refConf, unsigned char t);
bool CorreggiABIeCAB(char* code, char* codeConf, char* ref, char* refConf, unsigned char t);

// Makes text a 10-character cheque number agreeing with ref: aligned and padded with '?'
// (confidence 1), cut to 10, at most one confident and three differences in all corrected with
// confidence confValue. Strict (not relaxed) needs a 10-character reference without '?'; relaxed
// compares only the positions the reference has. True when the number has no '?' left.
// text and conf must hold max(strlen(text), strlen(ref)) + 1 bytes.
bool CorreggiNumero(char* text, char* conf, char* ref, unsigned char confValue, bool relaxed);

// Brings a microperforated amount to nine integer digits, ',' and two decimals, checked against
// the DataMatrix amount of MyITACheck when there is one; confValue marks corrected characters.
// info (the character boxes, may be null) sizes the blanks that may be the decimal separator and
// is kept aligned with the text. text and conf hold at least 13 bytes (and strlen(text) + 1).
// True when the amount was normalised (and agrees with the reference); false with an empty
// text when it could not be.
bool CorreggiAmount(char* text, char* conf, ChInfo* info, unsigned char confValue);

// Corrects a payee reading against the DataMatrix payee of MyITACheck; text and conf are
// buffers of size bytes, and the text grows to at most size - 1 characters. True when at least
// one character was corrected.
bool CorreggiBeneficiario(char* text, char* conf, unsigned char confValue, int size);

// Removes every blank of the first n characters with its confidence; n follows, both strings
// are terminated at n (conf may be null).
void RimuoviSpazi(char* text, char* conf, short& n);
// Removes one blank of each double blank, then a trailing blank (conf and info may be null).
void RimuoviDoppiSpaziESpazioFinale(char* text, char* conf, ChInfo* info);
// Either is '?' or a blank, or one is 'D' and the other '0' or 'O'.
bool CaratteriSimilioNonRiconosciuti(char a, char b);
// 'A'..'Z', blank, '/', '0'..'9', '-', '*', '&' and '#'.
bool BeneficiarioCarattereRiconoscibile(char c);

// ---- Alignment of two readings ------------------------------------------------------------------
// The horizontal shift (pixels) that best lays reading B over reading A by their character
// boxes, found over up to 8 passes of growing tolerance; added to the left and right edge of
// every box of B (saturated to the 16-bit range) and returned. 0 when either reading is empty
// or longer than 128 characters.
int ValutaBestShift(char* textA, ChInfo* boxesA, int& nA, char* textB, ChInfo* boxesB, int& nB, int tolerance);

// ---- The codeline of a document ------------------------------------------------------------------
// The best codeline reading of the current document and its all-zero default.
extern OcrOptInfo DefaultMyOcrOpt;
// Clears MyOcrOpt completely (SetDefaultMyOcrOpt also puts the front side back).
void RipristinaDefaultMyOcrOpt();
// Scores a band reading of zone.charsRead characters (the sum of the confidences above 20 of its
// real characters) and, when it beats best, keeps it in MyOcrOpt (text, confidences and boxes by
// count; info may be null), sets the automatic sides and rotations of MyAcq and the backlight
// orientation of MyOcrBL; fromMicr takes the MICR head's side and marks the codeline found.
// True when it is an accepted cheque codeline: at least 21 characters averaging above 60, and
// with strict no '?'.
bool AggiornaOptCdl(PVKOCRZone zone, char* text, char* conf, ChInfo* info, short rotation, bool fromMicr,
                    bool strict, int& best);
// The fixed DataMatrix and OCR-B zones of an Italian cheque, on the codeline side (front when no
// codeline was found).
void ZonaDATAMATRIXAssegnoItaliano(PVKOCRZone& zone);
void ZonaOCRBssegnoItaliano(PVKOCRZone& zone);

namespace pvk::reading {

// What a payment-form band reading is: type 123, 247, 451, 674 or 896 (numbered), 111, 222, 1
// (more than one mark), 0 (an ordinary line ending in a valid character) or -1 (none: try the
// next rotation); discarded when too few confident digits and marks were read ("scarto"). sum
// is the sum of the confidences above 20 (0 when discarded).
struct PaymentFormVerdict {
  int type = -1;
  int sum = 0;
  bool discarded = false;
};
PaymentFormVerdict judgePaymentForm(const char* text, const char* conf, int n, uint16_t typeDoc);

// ---- The readers the document reader calls ---------------------------------------------------------
// One seam for the one-zone reader and the OCR image builder (the library's own by default), so
// that tests can script what a zone reads. readZone reads zone (its charsRead written) on the OCR image of side, its cut
// turned by `rotation` (0, 256, 512, 768);
// buildImage builds (or keeps) the OCR image of side for the request's rotation, threshold 0.
// Both are false on failure, and when no reader is set.
struct ZoneReaders {
  bool (*readZone)(PVKImg* image, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                   ChInfo* info, unsigned short side, void* reserved);
  bool (*createImage)(unsigned short side, PVKOCRDoc* doc, unsigned char threshold);
};
extern ZoneReaders zoneReaders;
bool readZone(uint16_t side, PVKOCRZone& zone, unsigned short maxChars, char* text, char* conf, ChInfo* info,
              short rotation = 0);
bool buildImage(uint16_t side, PVKOCRDoc* doc);

// ---- Set-up of a document read -------------------------------------------------------------------
// The working copy of the caller's request: zones re-ordered (MICR, DataMatrix, the rest) with
// the caller's index of each slot, the entry value of per-document switch 1 (multiLine), and the
// confidence buffer to write (the caller's, or one allocated here that the reader frees).
struct DocumentSetup {
  PVKOCRDoc work;
  int callerIndex[PVK_OCR_MAX_ZONES];
  int nZones;
  uint8_t switch1;
  char* conf;
  char* ownedConf;  // free() at the end of the document; null when the caller gave conf
};
enum class SetupOutcome {
  Failed,     // no memory for the confidences: last result -4, the reader returns false
  Output,     // nothing to read (no request, no zones, or the codeline search failed): go to the output
  ReadZones,  // the zone loop follows
};
// Everything a document read does before its zone loop: the working copy, the document type of
// a CMC7 request, the Italian cheque's fixed zones, the arrow patch, the rotation checks, and for
// document types 3..13 the codeline search and the Italian cheque cross-check.
SetupOutcome setUpDocument(PVKOCRDoc* doc, char* text, char* conf, unsigned short maxChars, DocumentSetup& s);
// The codeline search of types 3..13 (part of setUpDocument); false when an OCR image could not
// be built or a band not read: the document then ends with no characters.
bool detectDocumentType(DocumentSetup& s);

// ---- Italian cheque cross-check ------------------------------------------------------------------
// The Italian cheque DataMatrix of the document, read once (by the cross-check or the first
// microperforation zone) and returned by a later zone of font 36.
struct ItalianDataMatrix {
  char text[256];
  char conf[256];
  int count;     // 0 when none was read (a reading of 28 characters or fewer counts as none)
  bool read;     // the read was tried for this document
};
extern ItalianDataMatrix italianDataMatrix;
// Reads the fixed DataMatrix zone of the Italian cheque on side (rotation: the request's) into
// italianDataMatrix and marks it read; false when the OCR image or the read failed.
bool readItalianDataMatrix(uint16_t side, uint16_t rotation);
// The correction threshold t of the cross-check: 70 when CMC7Thr is below 50, else CMC7Thr + 20.
uint8_t crossCheckThreshold();
// Compares the found CMC7 codeline of an Italian cheque with its DataMatrix, OCR-B line or
// microperforated number, and corrects its cheque number and ABI/CAB fields in MyOcrOpt.
void italianChequeCrossCheck(DocumentSetup& s);

// ---- Microperforation zones ---------------------------------------------------------------------
// Reads a zone of mode 35 (number), 40 (payee) or 41 (amount) of the working request from the
// backlight, front and mirrored rear images, merges and corrects the readings, and writes the
// result with its confidences to out/outConf, where capacity bytes are left. A result that does
// not fit is cut to capacity - 1 characters with the last result 7. Returns the characters
// written, or -1 when an OCR image or a read failed ("MICROPERFORATION error": the zone loop ends).
int readMicroperforationZone(DocumentSetup& s, const PVKOCRZone& zone, int mode, char* out, char* outConf,
                             int capacity);

// Parallel edits of a reading of n characters: text, conf and info (the last two may be null)
// stay aligned and terminated at the new n.
void removeAt(char* text, char* conf, ChInfo* info, int& n, int pos);
// Inserts c with confidence cf at pos (a blank box copied from its neighbour); the caller makes
// sure the buffers hold n + 2 bytes.
void insertAt(char* text, char* conf, ChInfo* info, int& n, int pos, char c, uint8_t cf);

}  // namespace pvk::reading
// ==== End of the document reader ====

// ---- OCR image of a side ----------------------------------------------------------------------
// The grey image of side 0 (rear), 1 (front) or 2 (backlight) that zones are cut from, kept in
// MyOcr.ocrImg[side] and rebuilt only when the rotation or the flips change. doc may be null
// (rotation 0, no size check). False when the side has no image or the cut failed (last result
// -1, or the cut's own negative code); a size deviation above 10 % of the declared document
// size leaves -20 in the last result and still returns true.
bool Vx3CreateOCRImage(unsigned short side, PVKOCRDoc* doc, unsigned char threshold, bool flipA, bool flipB);
// The same without flips, except for the backlight side, which takes the flips of MyOcrBL.
bool Vx3CreateOCRImage(unsigned short side, PVKOCRDoc* doc, unsigned char threshold);
// A codeline band of the side: `height` (1/150 inch, 0 the whole side) at the edge where the
// rotation puts the codeline. The image is built but left marked not valid.
bool Vx3CreateOCRImageCdl(unsigned short side, short rotation, unsigned char threshold, unsigned short height);

// ---- One zone: reader and dispatch --------------------------------------------------------------
// Text and confidence buffers hold maxChars bytes each, the NUL included: a zone gives at most
// maxChars - 1 characters and a capacity of 0 writes nothing. info (one box per character) may
// be null.

// Cuts the zone (1/150 inch) out of the side's OCR image, turns it by rotation (0, 256, 512,
// 768), reads it with the reader of its font and cleans the result; the count goes into the
// zone. False for a null image, zone or buffer (-3) or a reader's failure (-30 unless a more
// specific code is there); a zone outside the image reads 0 characters and is true. reserved
// must be null. The short form has no boxes and reads the zone's own side.
bool Vx3Read1Zone(PVKImg* sideImage, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                  ChInfo* info, unsigned short side, void* reserved);
bool Vx3Read1Zone(PVKImg* sideImage, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                  void* reserved);
// The reader of the zone image's font (zone in pixels of the image); fullWidth is the width of
// the whole zone, multiLine sends fonts without a reader of their own through the line
// splitter. The count, 0 for none, negative on a reader's failure.
int Vx3OCRRead(PVKImg zoneImage, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars,
               unsigned short fullWidth, bool multiLine);
// One block: QR (no text), DataMatrix, barcodes and PDF417, else the OCR of the font.
int Vx3OCRAnalizzaZone(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars);
int Vx3OCRReadBarcodeOrPDF(PVKImg image, PVKOCRZone* zone, char* text, char* conf, unsigned short maxChars);
// Rows joined by CR LF, blocks of a row by one blank when MyOcr's mode byte is on; last result
// 7 when the capacity ran out, -19 (and 0) on a stop request. The count, or a block reader's
// negative result.
int Vx3OCRSpezzaInZone(PVKImg image, PVKOCRZone* zone, char* text, char* conf, ChInfo* info, unsigned short maxChars,
                       unsigned short fullWidth);

// ---- One zone: cut, size, rules ---------------------------------------------------------------
// The zone rectangle roi (pixels; negative x or y from the far edge, 0 width or height to the
// edge) clipped to the image and turned by rotation (256 a quarter turn, 512 a half, 768 three
// quarters; anything else none), mirrored left to right per plane when asked. A new header the
// caller releases with pvk::reading::releaseCut (unturned: a view of the source's pixels, or a
// copy when mirrored, in one block with the header; turned: a pixel buffer of its own). Null
// for a zone outside the image ("Zone is outside the document") or without memory (-4).
PVKImg* ElaboraRoi(PVKImg* image, PVKRoi roi, short rotation, unsigned char planes, bool mirror);
// The image is large enough for the font: 8/300 inch both ways, 200/300 inch wide for a
// barcode, a tenth of an inch both ways for DataMatrix, 80/300 inch for QR.
bool Vx3OCRVerificaDimensioneMinima(const PVKImg* image, unsigned short font);
// The E13B symbols of a text mapped by MyOcr's E13B mapping 1..3, once per remap-pending flag.
void E13BRemapping(char* text, int count);
// Keeps the row (between CR LF pairs) of the best mean confidence at the start of the buffers;
// count becomes its length (0, buffers emptied, when no row has a positive mean).
void ScegliRigaMigliore(char* text, char* conf, int& count);

namespace pvk::reading {

// The zone's 1/150-inch rectangle in pixels of an image at dpi (single precision, truncated
// toward zero, saturated far outside); a zero width (height) also puts left (top) at 0.
PVKRoi zoneToPixels(const PVKOCRZone& zone, uint16_t dpi);
// Clips roi to a W x H image as ElaboraRoi does; false when nothing is left.
bool clipRoi(PVKRoi& roi, int64_t W, int64_t H);
// The cut of this rotation owns a pixel buffer apart from its header.
bool cutIsRotated(short rotation);
void releaseCut(PVKImg* cut, short rotation);
// Confidence bytes above 127 (negative as signed) become 1, those above 100 become 100.
void foldConfidences(char* conf, int count);
// The fields of an Italian-cheque DataMatrix text of count characters into MyITACheck.
void italianChequeDataMatrix(const char* text, int count);
// ScegliRigaMigliore that moves the character boxes with the row (info may be null). Given the
// boxes and the zone's height, only rows that fit the font (none of their characters at the
// zone's edge, standing at least 3/5 of its nominal height) are chosen among, when there is one.
void bestRow(char* text, char* conf, ChInfo* info, int& count, int zoneHeight = 0);
// A reader's count fitted to the buffers: at most maxChars - 1 characters, terminated there.
int fitCount(int count, char* text, char* conf, unsigned short maxChars);

}  // namespace pvk::reading

// ---- Scan and read: font database listing ---------------------------------------------------------
// The font database files the OCR engine would use for any document type and font. First sets
// every type and font up without loading (the engine's database list holds their names), leaves
// MyOcr as it found it, and copies the first name; Next copies the following ones. A name is
// listed when its file is in the database directory. False when there is no (further) name; at
// the end the index stays there. name: 260 bytes.
bool Vx3FirstDataBaseFN(char* name);
bool Vx3NextDataBaseFN(char* name);
constexpr int kDBNameBuffer = 260;  // the bytes of a host's name buffer
extern int16_t lastDB;  // the engine's list index of the next name to look at

// ---- Scan and read: the output of a document's zones -----------------------------------------------
// Replaces every CR and LF of a non-empty text by the byte 167 (null and empty texts are left).
void SostituisciACapo(char* text);

namespace pvk::reading {

// The joined output of one document. The zone loop writes the working slots' texts one after
// another into the caller's buffers, a TAB (confidence 'd') before every slot after the first,
// and records where each slot's text lies; arrangeOutput then rewrites them in the caller's
// zone order. size counts the terminator: at most size - 1 characters are ever written.
struct ZoneOutput {
  char* text = nullptr;  // the caller's text buffer, size bytes
  char* conf = nullptr;  // its confidence buffer, size bytes (may be null)
  int size = 0;
  int total = 0;         // characters and separators written so far
  int capacity = 0;      // bytes left, the terminator's included
  int offset[PVK_OCR_MAX_ZONES] = {};  // per working slot: where its text starts
  int length[PVK_OCR_MAX_ZONES] = {};  // and its characters (0 for a slot not read)
};
constexpr int kOutputLimit = 4095;      // characters a document's output may keep
constexpr char kSeparatorConf = 'd';    // confidence 100 of an inserted separator

// Empties the buffers for size bytes and starts the count (no room when text is null).
void startOutput(ZoneOutput& out, char* text, char* conf, int size);
// The separator before slot (after the first): true with a TAB written; false when at most the
// terminator is left ("no more space": the capacity becomes 0 and the slot stays empty).
bool separateSlot(ZoneOutput& out, int slot);
// Where the next slot's reader writes, and the room it has (the terminator's included).
char* slotText(const ZoneOutput& out);
char* slotConf(const ZoneOutput& out);
// Records count characters just written for slot at slotText (negative counts as 0; never more
// than capacity - 1).
void recordSlot(ZoneOutput& out, int slot, int count);
// Copies a reading of n characters kept elsewhere (a stored codeline, a DataMatrix, a band read
// into a buffer of its own) as slot's text: what fits in capacity - 1, recorded; true when all fit.
bool putSlot(ZoneOutput& out, int slot, const char* text, const char* conf, int n);

// Rewrites the output in caller order: caller zone i takes working slot slotOf[i] (-1: none),
// TAB-joined, within size - 1 characters and 4096 (4095, the first of the loop's output, when the
// loop wrote more than 4096). fonts[i] is the
// font the zone was read with (CMC7 separators are converted). counts[i] receives the
// characters zone i has in the output. Returns the characters written; truncated tells that
// something the loop read (characters or a separator) did not fit.
int arrangeOutput(ZoneOutput& out, const int* slotOf, const int16_t* fonts, int nCaller, uint16_t* counts,
                  bool& truncated);

}  // namespace pvk::reading

// ---- Scan and read: request checks, the driver and the zone loop -----------------------------------
// 0 when font (a font code or reading mode) can be read, else the code that refuses it (-3 no
// MICR head, -33, -34 or what the font set-up left); load also loads the databases. MyOcr is left
// exactly as it was found.
int Vx3OCREnabledCheck(short font, bool load);
// Checks one zone's font for side and raises the resolutions that side must be acquired at; false
// with the last result negative, or untouched when the caller is to report -3.
bool CheckParameterOCR(short font, short side);
// Checks a request (null: no zones) and works out the sides and resolutions to acquire. False
// with the last result set.
bool Vx3Read_CheckParameter(PVKOCRDoc* doc, char* text, char* conf);
// Feeds one document and reads the request's zones into text and conf (size bytes each, the
// terminator counted). The characters of the joined output (sum of count + 1 over the zones,
// minus 1), 0 without zones, -1 for a negative zone count; the outcome is the last result.
int Vx3Read(PVKOCRDoc* doc, char* text, char* conf, short size);
// Reads the zones of the acquired document; the last result.
int Vx3ReadDoc(PVKOCRDoc* doc, char* text, char* conf, short size);
// The document read: set-up and codeline search, the zone loop, the output in caller order with
// each zone's count and font written back. False when the read failed (last result negative).
bool Vx3ReadChar(PVKOCRDoc* doc, char* text, char* conf, unsigned short maxChars);
