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
