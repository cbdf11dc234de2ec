// Document and zone reading, the top reading floor: the OCR zone table that hosts build, the
// OCR image of each acquired side that zones are cut from, and the one-zone reader that cuts a
// zone, turns it upright and hands it to the OCR, MICR or symbol reader its font selects.
#pragma once

#include <cstdint>

#include "PlavikMS.h"
#include "core/records.h"  // ChInfo, MyOcr, MyDev, MyITACheck

// ---- Scan and read: font database listing ---------------------------------------------------------
// The font database files the OCR engine would use for any document type and font. First sets
// every type and font up without loading (the engine's database list holds their names), leaves
// MyOcr as it found it, and copies the first name; Next copies the following ones. A name is
// listed when its file is in the database directory. False when there is no (further) name; at
// the end the index stays there. name: 260 bytes.
bool Vx3FirstDataBaseFN(char* name);
bool Vx3NextDataBaseFN(char* name);
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

// Empties the buffers for size bytes and starts the count.
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
// TAB-joined, within size - 1 characters (the first 4095 of the loop's output). fonts[i] is the
// font the zone was read with (CMC7 separators are converted). counts[i] receives the
// characters zone i has in the output. Returns the characters written; truncated tells that
// something the loop read (characters or a separator) did not fit.
int arrangeOutput(ZoneOutput& out, const int* slotOf, const int16_t* fonts, int nCaller, uint16_t* counts,
                  bool& truncated);

}  // namespace pvk::reading
