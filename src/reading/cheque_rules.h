// Italian cheque rules of the document reader: the corrections of a codeline field, a cheque
// number, an amount and a payee against a second reading of the same data, and the alignment
// of two readings of one microperforated zone. Texts and confidences are parallel byte arrays
// (confidences 0..100), NUL-terminated; every rule works in place.
#pragma once

#include <cstdint>

#include "core/records.h"  // ChInfo, MyITACheck

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
// One seam for the one-zone reader and the OCR image builder, so that tests can script what a
// zone reads. readZone reads zone (its charsRead written) on the OCR image of side, rotation 0;
// buildImage builds (or keeps) the OCR image of side for the request's rotation, threshold 0.
// Both are false on failure, and when no reader is set.
struct ZoneReaders {
  bool (*readZone)(PVKImg* image, PVKOCRZone* zone, short rotation, unsigned short maxChars, char* text, char* conf,
                   ChInfo* info, unsigned short side, void* reserved);
  bool (*createImage)(unsigned short side, PVKOCRDoc* doc, unsigned char threshold);
};
extern ZoneReaders zoneReaders;
bool readZone(uint16_t side, PVKOCRZone& zone, unsigned short maxChars, char* text, char* conf, ChInfo* info);
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
