// MICR codeline recognition: the codeline arrays and their editing, the merge of two readings
// by position, the conversions between the bar-profile, optical and magnetic scales, the CMC7
// bar decoder (geometry block, bar profile, lobes, characters, checks) and the output mapping
// of the CMC7 symbols.
#pragma once

#include <cstdint>

#include "core/records.h"  // ChInfo, PVKImg, MyMICR, MyOcr, MyDev

// ---- Codeline arrays ---------------------------------------------------------------------------
// A codeline is five parallel arrays of kCdlChars entries (text, conf, start, end and an optional
// height) and a count n. At most kCdlUsable entries are used: text[n] is NUL. Confidences are
// signed bytes: 1..100 ordinary ('d' = 100), 110 ('n') optical and magnetic agree, 0 or less
// rejected; an unread '?' carries 1. start and end hold bar-profile positions (two per image
// column), image columns or magnetic samples, as the reader works.
constexpr int kCdlChars = 128;
constexpr int kCdlUsable = kCdlChars - 1;
constexpr char kConfAgree = 110;

// Editing. Out-of-range indexes and empty codelines change nothing; insertions are refused at
// kCdlUsable entries. height may be null.
void RimuoviCar(char* text, char* conf, int* start, int* end, int* height, int index, int& n);
void RimuoviCar(char* text, char* conf, int index, int& n);
// Removes entry index, repairs a blank left before it and steps index back by one, so that a
// loop's increment lands on the entry that moved into its place.
void RimuoviCarEDecrementa(char* text, char* conf, int* start, int* end, int* height, int& index, int& n);
void RimuoviCarEDecrementa(char* text, char* conf, int& index, int& n);
// Inserts (ch, cf, s, e, h) at pos, or appends it when pos >= n.
void AggungiCar(char* text, char* conf, int* start, int* end, int* height, int pos, int& n, char ch, char cf, int s,
                int e, int h);
// Copies entry j of codeline A over entry k of codeline B (heights when both are given).
void SostituisciCarattereCMC(char* textA, char* confA, int* startA, int* endA, int* heightA, int j, char* textB,
                             char* confB, int* startB, int* endB, int* heightB, int k);
// Copies entry j over entry k of one codeline.
void SostituisciCarattereCMC(char* text, char* conf, int* start, int* end, int* height, int k, int j);

// Clean-up and checks.
void RimuoviCHNR(char* text, char* conf, int* start, int* end, int* height, int& n);
void VerificaCHNR(char* text, char* conf, int* start, int* end, int* height, int& n, int w);
void VerificaAggiungiSpazi(char* text, char* conf, int* start, int* end, int* height, int& n, int w, bool flag);
void VerificaAggiungiSpazi(char* text, char* conf, int* start, int* end, int* height, int& n, int w);
void VerificaCaratteriTroppoVicini(char* text, char* conf, int* start, int* end, int n);
int ConfMicrNoBarre(int a, int b, int c, char& ch);
void PulisciAssegniMinima(char* text, char* conf, int& n);
// Writes one trace line with a digit per confidence ('B' for 110, 'A' for 100 and above).
void TraceCnf(const char* conf, int n);

// Merges reading B into reading A by position (both in one scale); A is the result, B gets its
// blanks. disagreements counts the symbols read differently. spare is not read.
void ConfrontaCMCMag(char* textA, char* confA, int* startA, int* endA, int& nA, char* textB, char* confB,
                     int* startB, int* endB, int& nB, int minGap, int tol, int spaceGap, int maxConf, int spare,
                     int& disagreements, bool keepHundred);
// Appends to B's text a CR LF, A re-spaced against B's blanks, a CR LF and one digit per B
// confidence, when everything stays under maxLen bytes.
void AggiungiCdlMag(const char* textA, const char* confA, const int* startA, const int* endA, int nA, char* textB,
                    char* confB, const int* startB, const int* endB, int& nB, int maxLen);

// Position conversions; each returns the number of entries converted. Magnetic ones use the
// samples per three pixels (ratio) and the reference offset of MyMICR.
int IniBarre2IniOttico(int n, int* start, int* end);
int IniOttico2IniBarre(int n, int* start, int* end);
int IniMagnetico2IniOttico(int n, int* start, int* end, int off);
int IniOttico2IniMagnetico(int n, int* start, int* end, int off);
int IniOttico2IniMagnetico(int n, const ChInfo* boxes, int* start, int* end, int off);

// ---- CMC7 bar decoding -------------------------------------------------------------------------
// Geometry of the CMC7 steps, refilled before each reading (elements: see cmc7_geometry.cpp).
constexpr int kDatiCmc = 18;
extern int32_t datiCmc[kDatiCmc];
// Six-bit interval pattern (bit k-1: gap k wide) to symbol; '?' where no symbol.
extern const char CodiceCMC7[64];

// Fills datiCmc for an optical reading at scale (dpi / 300): CMC7 fonts or any other.
void InitDatiCMC(short font, float scale);

// Bar profile of a cleaned (ink high) codeline image: profile gets 2W values (the last one is left
// as found), peaks one value per bar at its centre; work is scratch of 2W. h is the window height.
bool ElaboraSegnaleCMC(PVKImg* img, int* profile, int* peaks, int* work, int h);
// Lobes of sig over its window: peak values at the first and last positions of each positive
// lobe (maxStart, maxEnd) and of each negative lobe (minStart, minEnd, may be null).
bool ElaboraSegnale(int* sig, int* maxStart, int* maxEnd, int* minStart, int* minEnd, int n, int first, int last);
// One character from the bars at and after start: the symbol, '?', or 0 for none.
char decodCMC(int& end, int& start, char& conf, int n, int* profile, int& meanProfile, int minMeanProfile,
              int* peaks, int threshold, int& meanPeak, int minPeak);
// One character from its six gaps gaps[1..6].
char DecodeCMCChar(int* gaps, char& conf);
int CalcolaConfidenzaCMC7Barre(char* text, char* conf, int* strength, int& n, int level);
bool VerificaCdl(char* text, char* conf, int& n, int* start, int* end, int* height, int* barProfile, int* barPeak,
                 int gap);
bool VerificaCdlFinale(char* text, char* conf, int* start, int* end, int* height, int& n);
int ValutaOK(const char* text, const char* conf, const int* weight, int n, int* sum);
// Dirty columns: flags[offset + x] for every column x of img (the caller's array holds them).
void verificaRigheVerticaliSporco(PVKImg* img, char* flags, unsigned short offset);
bool IsSporcoVerticale(const char* flags, int from, int to);
int EliminaBarrePiccole(int* amp, int* bars, int& nBars, int* gaps);

// ---- Optical CMC7 reader ------------------------------------------------------------------------
// Merges the bar reading B of one band pass into the reading R of the passes before it (both in
// bar-profile positions; count: the agreeing passes of each entry). An empty R takes B whole;
// the reading with more read neighbours becomes R. Matched symbols sum their counts (up to 30)
// and scores (up to 120) at count-weighted positions; symbols only B holds are taken where their
// span lies within [minSpan, maxSpan]; gaps above blankGap get blanks. R never grows past 127
// entries. B is scratch afterwards.
void ConfrontaCMC(char* textR, char* confR, int* startR, int* endR, int* countR, int& nR, char* textB, char* confB,
                  int* startB, int* endB, int* countB, int& nB, int tol, int minSpan, int maxSpan, int blankGap);

struct OcrReading;  // a zone's OCR reading (ocr/ocr.h)

// The codeline readers of the zone dispatch. Each returns the character count with count + 1
// bytes of text and conf (NUL-ended) and count ChInfo records written, 0 for no reading, -1 for
// a missing text or conf buffer. Nothing is written past maxChars bytes. The OCR state they
// change for their optical pass is restored.
// Optical CMC7 (fonts 202, 0; 111 mirrored): 0 below 64 x 12 or maxChars 8; -1 (last result -4)
// when the line's band cannot be copied. On side 2 (backlight) the plain OCR reading.
int ReadCMCHor(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars);
// The entry for the CMC7 fonts: font 32 with the head enabled reads optically and magnetically,
// any other optically; the Italian cheque rules then edit the reading. info may be null (then
// at most 126 characters).
int ReadCMC(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars);
// Combined CMC7 (font 32): -1 (trace, last result -1) without a dpi; a rejected magnetic pass
// leaves text, conf and info as they were.
int ReadCMCVert(PVKImg img, char* text, char* conf, ChInfo* info, short font, unsigned short maxChars);
// Combined E13B (font 33, the current font of MyOcr during the magnetic pass): -1 without a dpi,
// 0 below 64 x 12 or maxChars 8; a rejected magnetic pass leaves text and conf as they were.
int ReadE13BVert(PVKImg img, char* text, char* conf, unsigned short maxChars);

namespace pvk::micr {

// The optical CMC7 reader (ReadCMCHor) from its OCR pass on: ocr is the reading of img with the
// optical CMC7 font. Cleans the line's band at up to three grey levels, reads it in band passes,
// merges the accumulated bar reading into the OCR reading and thresholds it. Returns the count
// with n + 1 bytes of text and conf and n boxes written (info may be null), 0 for nothing read,
// -1 (last result -4) when the band cannot be copied. Without work memory, on a failed cleaning
// or a stop request (last result -19) the OCR reading is handed out. Nothing is written past
// maxChars bytes.
int readCmcBars(PVKImg img, const OcrReading& ocr, char* text, char* conf, ChInfo* info, short font,
                unsigned short maxChars);
// One codeline in fixed arrays; count holds a number per entry as the reader keeps it (agreeing
// passes, hit count, the OCR's agreement or 1).
struct Codeline {
  char text[kCdlChars + 1] = {};
  char conf[kCdlChars + 1] = {};
  int start[kCdlChars + 1] = {};
  int end[kCdlChars + 1] = {};
  int count[kCdlChars + 1] = {};
  int n = 0;

  void endText() { text[n] = conf[n] = 0; }
};
// Band passes the last readCmcBars ran.
int cmcBarPasses();
// Hands a reading of n entries to the caller: n + 1 bytes of text and conf and n boxes (info or
// srcInfo may be null) when n < maxChars; otherwise the trace "too many CMC7 char", an empty
// text and 0.
int handOut(const char* srcText, const char* srcConf, const ChInfo* srcInfo, int n, char* text, char* conf,
            ChInfo* info, unsigned short maxChars);
// The last clean-up of a codeline reading: doubled blanks lose one, the minimal cheque clean-up,
// then every blank from position keepBlanksBefore on goes (none for -1). The boxes (info may be
// null) stay with their characters.
void finishCodeline(char* text, char* conf, ChInfo* info, int& n, int keepBlanksBefore);


// The combined CMC7 reader (ReadCMCVert) from its optical pass on: optical is the optical CMC7
// reader's result (its count may be -1 or 0). With the head enabled and font 32 the magnetic
// loop reads the signal guided by the optical line, and the line is handed out only when the
// magnetic pass confirms it (all confidences 100 when both read the same). Returns the count
// with n + 1 bytes of text and conf and n boxes written, 0 for no reading (nothing written when
// the magnetic pass rejects the line), or the optical count below 1 unchanged when a device is
// open and no dump of the magnetic data is asked for.
int combineCmc7(PVKImg img, const OcrReading& optical, char* text, char* conf, ChInfo* info, short font,
                unsigned short maxChars);
// Whether a magnetic reading confirms an optical line of opticalCount characters: its read
// entries of confidence 6 or more number at least 5 (below 24 characters) or a quarter of them.
bool magneticConfirms(const char* text, const char* conf, int n, int opticalCount);
// The first step of both combined readers: -1 (trace, last result -1) without a dpi; for E13B
// (sizes) 0 for an image below 64 x 12 or maxChars below 8; otherwise 1.
int checkCodelineImage(PVKImg img, unsigned short maxChars, bool sizes);
// The combined E13B reader (ReadE13BVert) from its optical pass on: the magnetic reading of the
// current font of MyOcr (33 for E13B) merged into the optical reading by position when the head
// is enabled and confirms it. Returns the count with n + 1 bytes of text and conf written, 0 for
// no reading (nothing written when the magnetic pass rejects the line, or when the head is
// enabled and the line is printed more than a tenth off the standard size). img gives the zone's
// resolution, which places the optical columns against the head's samples, and its pixels, whose
// pitch tells the print's size (none: taken as the standard).
int combineE13B(PVKImg img, const OcrReading& optical, char* text, char* conf, unsigned short maxChars);
}  // namespace pvk::micr

// ---- CMC7 output mapping -----------------------------------------------------------------------
// Output characters of the separators S1..S5 and of an unread symbol.
extern unsigned char CMC7_S1, CMC7_S2, CMC7_S3, CMC7_S4, CMC7_S5, CMC7_NR;

void CambiaSeparatoriCMC7(char* text, short len);
void SostituisciSimbolo(char* dst, char* copy, char from, char to);

namespace pvk::micr {

// The work of PVKCMC7Mapping: 0 with the six characters stored, -3 when one is 0.
int setCMC7Mapping(unsigned char s1, unsigned char s2, unsigned char s3, unsigned char s4, unsigned char s5,
                   unsigned char nr);

// A read symbol: neither blank nor '?'.
inline bool isRead(char c) { return c != ' ' && c != '?' && c != 0; }
// A confidence byte as the signed value it holds.
inline int confOf(char c) { return static_cast<signed char>(c); }

}  // namespace pvk::micr

// ---- Magnetic signal conditioning and FFT band filter -----------------------------------------
// One band-filter run at a time, on a window [inizio, fine) of a signal: CreaFFT takes the
// spectrum once (bin 0 and strong tones notched) and keeps it; every FiltraFFT starts from the
// kept spectrum, keeps bins lo..hi-1 and their mirror, and writes the window back scaled to an
// amplitude. A new CreaFFT releases the last run; freeFFT ends it.
extern int inizio;
extern int fine;
extern int fftN;
extern int fftN_1_2;
extern bool fftFirst;

// True when the spectrum of sig[start, end - 1) is ready; false for fewer than 100 points, or
// with last result -1 and a trace when memory or a plan cannot be had.
bool CreaFFT(int* sig, int start, int end, int binLo, int binHi, float strong, float outside);
// Clears sig[0, fine) and writes the band lo..hi-1 of the kept spectrum into the window, scaled
// to amplitude |amp| (at least 50 with atLeast50) and negated (flip negates it back); values
// clamped to -127..127. Bins outside [0, N) are never touched. False without a run.
bool FiltraFFT(int* sig, int lo, int hi, bool flip, bool atLeast50, int amp);
void freeFFT();

// Magnetic CMC7 geometry into datiCmc (code 32; any other code clears it), scale times the
// samples per three pixels of MyMICR over 10.
void InitDatiMICR(short code, float scale);

// Centred 7-tap moving average of in over [max(from, 20), min(to, n - 20)), inverted around its
// mean into out (0 elsewhere); returns the amplitude, or 50 after stretching a weak window to 50
// (rescale), or 30 for an empty window.
int MediaMobile(int* in, int* out, int from, int to, int n, bool rescale);
// Reverses sig[0, n) in place; false (last result -1, trace) when memory runs out.
bool SpecchiaMICR(int* sig, int n);
// Noise level of the quiet stretch [50, 1000) of sig, at most 10 (15 on some early devices).
int CalcolaLivelloRumore(int* sig, int n);
// Mean strength of the strongest extremes of sig[from, to) (5 of each sign for CMC7, 2 for E13B,
// the latter over the symbol's nominal strength).
int CalcolaValMassimiMinimi(bool cmc7, char ch, int* sig, int from, int to);
// True when no entry of [max(from, 0), min(to, n)) but self lies above (Max) or below (Min) level.
bool BordoLiberoMax(int from, int to, int self, int n, int* peaks, int level);
bool BordoLiberoMin(int from, int to, int self, int n, int* valleys, int level);
// Both borders of a character free: before pos in arrA, after pos2 in arrB (valleys when
// level < 1, peaks otherwise), at a level no weaker than ref.
bool BordiPuliti(int pos, int level, int* arrA, int before, int pos2, int level2, int* arrB, int after, int n,
                 int ref);
// Drops the weakest bar (positions in bars, count entries) of a list; ref gets the level that
// decided, raised by a fifth. False when nothing could be dropped.
bool PulisciMax(int& count, int* bars, int minLevel, int* startAmp, int* endAmp, int& ref);
// Aligns reading B with reading A (both lose their blanks): the shift s at which B - s lands on A
// best is applied to B (entries then within 29 of lo or hi become blanks) and returned; marks
// (one per A entry, may be null) get 2 where B agrees, 1 where it reads another symbol.
int ValutaCMC(char* textA, int* startA, int* endA, int& nA, char* marks, char* textB, int* startB, int* endB,
              int& nB, int tol, int& agree, int& disagree, bool spare, int lo, int hi);

// ---- Magnetic CMC7 recognition and candidate merging -------------------------------------------
// Reads CMC7 characters from the peak arrays of a conditioned signal over [first, last) (n
// samples), guided by the optical line in sample positions (optText may be null with optN 0);
// fills text, conf, hits (1 each), start and end (128 slots, at most 127 used) and returns the
// count. back: how far before a closing stroke a character starts (105); minConf: the base
// confidence (4); gap: the largest gap left without a blank.
int RiconosciCaratteriCMC7(char* text, char* conf, int* hits, int* start, int* end, char* optText, int* optStart,
                           int* optEnd, int optN, int* maxStart, int* maxEnd, int first, int last, int n, int back,
                           int minConf, int gap);
// Inserts one entry at pos (appends at n); refused when n + 1 reaches max (or 128). fifth may be
// null.
void AggiungiCarattereMICR(unsigned char ch, unsigned char cf, int s, int e, int hits, char* text, char* conf,
                           int* start, int* end, int* fifth, int pos, int& n, int max);
// Removes entry pos from text, conf, start and end (a fifth array is left as it is).
void RimuoviCarattereMICR(char* text, char* conf, int* start, int* end, int pos, int& n);
// Removes overlapping neighbours: the less confident one, both when equally confident.
void RimuoviSovrapposti(char* text, char* conf, int* start, int* end, int* fifth, int& n);
// Merges magnetic reading B into A by position (fifth arrays: hit counts, summed up to 30 with
// accumulate, confidences up to 120); B loses its blanks, or moves whole into an empty A. tol:
// position tolerance; symbols taken over need a width in (minW, maxW); gaps above gap get blanks.
// A never grows past 127 entries.
void ConfrontaMICR(char* tA, char* cA, int* sA, int* eA, int* hA, int& nA, char* tB, char* cB, int* sB, int* eB,
                   int* hB, int& nB, int tol, int minW, int maxW, int gap, bool accumulate);
// Measures each character of a line in sig (positions shifted by -off) against thresholds d < e
// < f above the signal's background (derived from the line without a status array; halved near
// the window's end with one), scales confidences and removes the weak characters (keeping one
// between two others with keepIsolated). status[i] = 2 marks a character confirmed elsewhere.
void RimuoviCaratteriDeboli(char* text, char* conf, int* start, int* end, int& n, char* status, int& weak,
                            int& middle, int& strong, int& d, int& e, int& f, float f1, float f2, float f3, int* sig,
                            int from, int to, bool cmc7, int off, bool keepIsolated);

// ---- E13B nominal strengths ---------------------------------------------------------------------
// Nominal magnetic strength of each E13B symbol in percent, in index order "0123456789:=<;".
extern const int nominaleE13B[14];
// Index of an E13B symbol in that order, 15 for any other character.
int IndiceE13B(char c);
// Nominal strength of c in percent, 100 for a character that is no E13B symbol.
int PercentualeNominaleE13B(char c);

// ---- Magnetic E13B recognition and the magnetic reading loop -----------------------------------
// "0123456789:=<;" in index order; byte 15 reads '?' once the recogniser has run.
extern char E13B_SET[16];
// Flag and confidence per symbol index for the character window being rated.
extern unsigned char valido[16];
extern signed char confidenza[16];

// Integer means of the levels and of the nominal strengths of the read characters (neither '?'
// nor blank); false with both 0 when fewer than 4 are read.
bool CalcolaVolerMedioENominaleE13B(char* text, int* level, int n, int& meanLevel, int& meanNominal);
// Valid index with the highest confidence above 0 among the first n (the lower one on ties), -1
// when none.
int UnoSoloValido(int n);
bool AlmenoUnoValido();
// Makes index the only valid symbol, with confidence max(conf, 0).
void UnicoValido(int index, int conf);
// Entries of [max(from, 0), min(to, n)) other than self below (Min) or above (Max) level.
int N_Min_Significativi(int from, int to, int self, int n, int* valleys, int level);
int N_Max_Significativi(int from, int to, int self, int n, int* peaks, int level);
// Rates up to four valleys m (negative) and four peaks M of a character, 0 for absent ones,
// against level: mean gets their mean magnitude; conf rises, stays or drops with it. False when
// nothing is left to trust (conf 0).
bool VerificaLivelli(int level, int ref, int& conf, int m1, int m2, int m3, int m4, int M1, int M2, int M3, int M4,
                     int& mean);
// Reads the E13B characters of a conditioned signal from its peak arrays over [first, last)
// (arrays of n entries), guided by the optical line in sample positions (may be null with optN
// 0). Fills text, conf, height (1 each, may be null), start and end (128 slots, at most 127
// used) and returns the count. window: the samples a character spans before its closing valley
// (105); baseConf: the starting confidence (4); cut: the pass's upper filter cut, 0 when smoothed.
int RiconosciCaratteriE13B(char* text, char* conf, int* height, int* start, int* end, char* optText, int* optStart,
                           int* optEnd, int optN, int* maxStart, int* maxEnd, int* minStart, int* minEnd, int first,
                           int last, int n, int window, int baseConf, int cut);

// Parameters of the magnetic reading, set by every LetturaMag: 0 the largest gap left without a
// blank, 3 the position tolerance (the merges take a third), 4 and 5 the bounds of the width of
// a character taken over by a merge, 6 the minimum gap of the E13B merge with the optical line.
constexpr int kDatiMICR = 7;
extern int32_t datiMICR[kDatiMICR];

// Reads the codeline of MyMICR's samples into text, conf, start and end (128 slots; positions in
// down-sampled samples) over the stretch [from, to] of the signal, in the current font of MyOcr
// (32 CMC7, 33 E13B), guided by the optical line opt* in sample positions (optN entries; it gets
// margin blanks for the time of the reading and is pruned of characters the signal does not
// carry: optN may drop, to 0 when the reading is rejected). Returns the character count, 0 when
// nothing was read or the reading was rejected.
int LetturaMag(char* text, char* conf, int* start, int* end, int from, int to, char* optText, char* optConf,
               int* optStart, int* optEnd, int& optN);
// Sum of the confidences of the read characters that have a read neighbour (each over half its
// hit count when that is above 1); readable gets their number.
int CalCumulaConfCMC(char* text, char* conf, int* fifth, int n, int& readable);
// Copies candidate src (arrays, count capped at 127, scores) over dst; ScambiaBest exchanges two.
void SovrascriviBest(char* dT, char* dC, int* dS, int* dE, int* dF, int& dN, int& dCum, int& dMean, char* sT,
                     char* sC, int* sS, int* sE, int* sF, int& sN, int& sCum, int& sMean);
void ScambiaBest(char* aT, char* aC, int* aS, int* aE, int* aF, int& aN, int& aCum, int& aMean, char* bT, char* bC,
                 int* bS, int* bE, int* bF, int& bN, int& bCum, int& bMean);

namespace pvk::micr {
// Filter passes the last LetturaMag ran (0 when it stopped before the sweep).
int magPassCount();
}  // namespace pvk::micr

