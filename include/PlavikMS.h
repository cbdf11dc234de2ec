/* libPlavikMS: the host interface of the cheque and document scanner library.
 * Every function returns an int result code (0 success, negative errors, 3..11 warnings)
 * unless stated otherwise; the message of a code comes from PVKErrMsg. */
#ifndef PLAVIKMS_H
#define PLAVIKMS_H

#include <stddef.h>
#include <stdint.h>
#include <stdbool.h>
#include <sys/time.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The one export marker: everything declared with it ships, nothing else does. */
#define PVK_API __attribute__((visibility("default")))

/* ---- Result codes ----------------------------------------------------------------------
 * The one table of codes, names and English messages. Expand PVK_RESULT_CODES(X) with
 * X(code, name, message) to get constants, lookups or test expectations from it. */
#define PVK_RESULT_CODES(X) \
  X(-114, PVK_ERR_SEQUENCE2, "Invalid sequence (2) detected") \
  X(-113, PVK_ERR_EDGE, "Edge detected") \
  X(-112, PVK_ERR_SEQUENCE, "Invalid sequence detected") \
  X(-111, PVK_ERR_DOUBLE_FEED, "Double feed detected") \
  X(-90, PVK_ERR_IQA, "IQA error") \
  X(-81, PVK_ERR_INKJET_INCOMPLETE, "Inkjet - incomplete printing") \
  X(-80, PVK_ERR_INKJET, "Inkjet - generic error") \
  X(-75, PVK_ERR_MAGSTRIPE_TOO_LONG, "Magnetic stripe - too many chars read.") \
  X(-74, PVK_ERR_MAGSTRIPE_LRC, "Magnetic stripe - LCR error.") \
  X(-73, PVK_ERR_MAGSTRIPE_PARITY, "Magnetic stripe - parity error.") \
  X(-72, PVK_ERR_MAGSTRIPE_END, "Magnetic stripe - missing end sentinel.") \
  X(-71, PVK_ERR_MAGSTRIPE_START, "Magnetic stripe - missing start sentinel.") \
  X(-70, PVK_ERR_MAGSTRIPE, "Magnetic stripe reading error.") \
  X(-34, PVK_ERR_OCR_DB_OPEN, "Error opening OCR database.") \
  X(-33, PVK_ERR_OCR_FONT_DISABLED, "OCR Font not enabled.") \
  X(-31, PVK_ERR_OCR_AREA_SMALL, "OCR Area too small.") \
  X(-30, PVK_ERR_OCR, "OCR general error.") \
  X(-23, PVK_ERR_CALIB_SHEET_SHORT, "Calibration error - sheet too short.") \
  X(-22, PVK_ERR_CALIB, "Calibration error.") \
  X(-21, PVK_ERR_DEVICE, "Device error.") \
  X(-20, PVK_ERR_IMG_DIMENSIONS, "Unexpected image dimensions.") \
  X(-19, PVK_ERR_ABORTED, "Operation aborted by the user.") \
  X(-18, PVK_ERR_NOT_READY, "The device is not ready (not connected, riconnecting or not working).") \
  X(-17, PVK_ERR_DETACHING, "Function called while dll is detaching.") \
  X(-15, PVK_ERR_HW_NOT_SUPPORTED, "This HW version does not support the required operation/value.") \
  X(-14, PVK_ERR_DEVICE_NOT_FOUND, "Device not found.") \
  X(-11, PVK_ERR_SW_NOT_SUPPORTED, "This SW version does not supported the required operation/value.") \
  X(-10, PVK_ERR_TIMEOUT, "Device timeout.") \
  X(-9, PVK_ERR_NO_EXT_POWER, "The device is missing external power.") \
  X(-8, PVK_ERR_NOT_INITIALIZED, "Missing Initialization.") \
  X(-7, PVK_ERR_OS_INCOMPATIBLE, "Device version is incompatible with the Operating System.") \
  X(-6, PVK_ERR_READ, "Read error.") \
  X(-5, PVK_ERR_WRITE, "Write error.") \
  X(-4, PVK_ERR_OUT_OF_MEMORY, "Out of memory.") \
  X(-3, PVK_ERR_INV_PARAMETER, "Invalid parameter.") \
  X(-2, PVK_ERR_BUSY, "Device is busy. Close the previous istance of the device.") \
  X(-1, PVK_ERR_GENERIC, "Generic error.") \
  X(0, PVK_OK, "Success.") \
  X(3, PVK_WAR_IMG_DIMENSIONS, "Unexpected image dimensions warning.") \
  X(4, PVK_WAR_ZONE_OUTSIDE, "The indicated zone it outside the document.") \
  X(5, PVK_WAR_NO_CALIB, "Missing Calibration.") \
  X(6, PVK_WAR_BLANK_PAGE, "Blank page detected.") \
  X(7, PVK_WAR_OCR_TRUNCATED, "OCR recognition truncated to available characters.") \
  X(8, PVK_WAR_CANCELLED, "Operation cancelled by the user.") \
  X(9, PVK_WAR_NO_EXT_POWER, "The device is missing external power.") \
  X(10, PVK_WAR_CLEANING_REQUIRED, "The device sensors are dirty. Perform cleaning.") \
  X(11, PVK_WAR_IQA, "IQA warning")

#define PVK_RESULT_ENUMERATOR_(code, name, message) name = (code),
enum PVKResultCode { PVK_RESULT_CODES(PVK_RESULT_ENUMERATOR_) };
#undef PVK_RESULT_ENUMERATOR_

/* ---- Records the host exchanges with the library ---------------------------------------- */

/* The library's per-side image record; hosts pass it through without looking inside. */
struct ImgInfo;

/* An 8-bit image: grey levels 0 (black) .. 255 (white), rows top first. A multi-plane image
 * holds its planes side by side in each row, each padded to a multiple of 4 bytes. Copying
 * the record does not copy the pixels; whoever holds the record owns `data`. */
typedef struct PVKImg {
  uint16_t width;   /* pixels per row */
  uint16_t height;  /* rows */
  uint16_t stride;  /* bytes per row */
  uint16_t dpi;     /* horizontal resolution */
  uint8_t* data;
} PVKImg;

#define PVK_OCR_MAX_ZONES 20

/* One zone of an OCR request; coordinates in 1/150 inch, negative counts from the far edge,
 * a zero width or height reaches to the edge. */
typedef struct PVKOCRZone {
  int64_t left;
  int64_t top;
  int64_t width;
  int64_t height;
  int16_t side;        /* 0 rear, 1 front */
  int16_t font;        /* font code or reading mode; -1 skips the zone */
  int16_t option;      /* non-zero: keep blanks in the zone's text */
  uint16_t charsRead;  /* written by the reader */
} PVKOCRZone;

/* The OCR request of one document. */
typedef struct PVKOCRDoc {
  int16_t expectedWidth;   /* 1/150 inch, 0 = not checked */
  int16_t expectedHeight;  /* 1/150 inch, 0 = not checked */
  int16_t nZones;          /* zones in use, 0..20 */
  uint16_t rotation;       /* 0, 256, 512 or 768 */
  PVKOCRZone zones[PVK_OCR_MAX_ZONES];
} PVKOCRDoc;

/* The layouts hosts rely on (LP64). */
#ifdef __cplusplus
#define PVK_LAYOUT_CHECK_(name, cond) static_assert(cond, #name " layout")
#else
#define PVK_LAYOUT_CHECK_(name, cond) typedef char pvk_layout_check_##name[(cond) ? 1 : -1]
#endif
PVK_LAYOUT_CHECK_(PVKImg, sizeof(PVKImg) == 16 && offsetof(PVKImg, data) == 8);
PVK_LAYOUT_CHECK_(PVKOCRZone, sizeof(PVKOCRZone) == 40 && offsetof(PVKOCRZone, side) == 32 &&
                                  offsetof(PVKOCRZone, charsRead) == 38);
PVK_LAYOUT_CHECK_(PVKOCRDoc, sizeof(PVKOCRDoc) == 808 && offsetof(PVKOCRDoc, rotation) == 6 &&
                                 offsetof(PVKOCRDoc, zones) == 8);
#undef PVK_LAYOUT_CHECK_

/* The zone table that the zone calls build; PVKImgScan1 accepts its address. */
PVK_API extern PVKOCRDoc OCRDoc;

/* The zone table calls. Each needs the open device's handle; a refused handle returns -1 (0 for
 * PVKOCRZoneNChar) with the guard's result. A rejection sets the last result to -3 and changes
 * nothing. Rotations are 0, 256, 512 or 768 (0, 90, 180, 270 degrees). */
/* Stores the rotation of the whole document: 0, or -1. */
PVK_API int PVKOCRZoneRotateDoc(void* handle, short rotation);
/* Appends a zone given at dpi (1..600) on side 0 (rear) or 1 (front); coordinates are kept at
 * 150 dpi, truncated toward zero. At most 20 zones: the new count, or -1. */
PVK_API int PVKOCRZoneAdd(void* handle, short dpi, short left, short top, short width, short height,
                          short side, short font, short option);
/* Characters read in zone 0..19 by the last scan-and-read (0 for a bad index). */
PVK_API int PVKOCRZoneNChar(void* handle, short zone);
/* The font with which zone 0..19 was read, as an unsigned 16-bit value (-1 for a bad index). */
PVK_API int PVKOCRZoneOCRchar(void* handle, short zone);

/* ---- Library frame ------------------------------------------------------------------------ */

/* Copies "libPlavikMS.so ver. <version>" into buf. Returns the size the text needs (terminator
 * included); a null buf or a size below 1 only asks for that size; a buffer too small is
 * emptied and the last result becomes -3. Returns -1 when the call is refused. */
PVK_API int PVKLibInfo(char* buf, int size);
/* Leaves the configuration directory as it is; returns 0. */
PVK_API int PVKRestoreDefaultInitPath(void);
/* Not supported by this version: returns -11 and leaves the last result alone. */
PVK_API int PVKDravin(int unused);

/* ---- Result codes ------------------------------------------------------------------------- */

/* The message of the last result. size is taken as a 16-bit signed value: below 1 returns
 * the size needed; too small empties buf, sets -3 and returns -1. */
PVK_API int PVKErrorString(char* buf, int size);
/* The message of `code`, with the size rules of PVKErrorString. */
PVK_API int PVKErrMsg(int code, char* buf, int size);
/* The last result code; asking does not change it. */
PVK_API int PVKGetLastResult(void);
PVK_API void PVKSetLastResult(int code);

/* ---- Trace and configuration directory ---------------------------------------------------- */

/* Fills the first 260 bytes of buf with zeros and, when tracing is on, the trace file path.
 * Returns 0, or -3 for a null buf. Does not start the library. */
PVK_API int PVKLogFileName(char* buf);
/* Copies the configuration directory into buf, which must hold 260 bytes. With handle 0 (or
 * 0xFFFFFFFF) it answers without starting the library. Returns 0, -3 for a null buf. */
PVK_API int PVKConfigDirGet(void* handle, char* buf);
/* The OCR font database directory. Handle 0 (or 0xFFFFFFFF) needs no device.
 * Get: a null buf returns the length of the directory + 1; otherwise buf (size bytes, taken as
 * a 16-bit count) is cleared and receives the directory, and the call returns 0, or -1 with the
 * last result -3 when size is below 1 or too small. -1 when the call is refused.
 * Set: stores dir with a '/' appended when it ends in no separator; 0, or -1 with the last
 * result -3 for a null or too long dir (259 characters at most, 258 without a separator). A
 * refused device handle returns the last result. */
PVK_API int PVKDBDirGet(void* handle, char* buf, int size);
PVK_API int PVKDBDirSet(void* handle, const char* dir);
/* The resolutions of the forced acquisition mode (dpi); null pointers are skipped.
 * -1 when no mode is forced. */
PVK_API int PVKGetForcedRes(unsigned short* dpiFront, unsigned short* dpiRear,
                            unsigned short* dpiVert1, unsigned short* dpiVert2);

/* ---- CMC7 codeline output ---------------------------------------------------------------- */

/* Output characters of the CMC7 separators S1..S5 and of an unread symbol, in place of the
 * internal ':' ';' '<' '=' '>' and '?', for every CMC7 codeline handed out from now on (the
 * internal characters again restore the default). Needs no device. Returns 0, or -3 with
 * nothing changed when any of the six is 0; the same value becomes the last result. */
PVK_API int PVKCMC7Mapping(unsigned char s1, unsigned char s2, unsigned char s3, unsigned char s4,
                           unsigned char s5, unsigned char nr);
/* The font database files the OCR engine would use, one name (upper case, no directory) per
 * call into name (260 bytes). Need no device. First lists from the start of every document type
 * and font, leaving the document type and the OCR settings as they were; Next gives the following
 * names. 0 with a name and the last result 0; -1 (buffer cleared, last result -1) when there is
 * none (none at all: an empty database directory); -3 for a null buffer. */
PVK_API int PVKFirstDataBaseFN(char* name);
PVK_API int PVKNextDataBaseFN(char* name);
/* Feeds one document and reads the zones of doc (null or no zones: the document is only fed).
 * Texts go to text, joined by TAB in doc's zone order, one confidence byte per character to conf
 * (0..100, 1 for an unread '?', 'd' at a TAB); both hold size bytes, the terminator included.
 * Each zone gets its characters read and the font that read it. Returns the last result: 0, a
 * warning (3 unexpected dimensions; 7 output cut to size: a size shorter than the texts, down
 * to 1, keeps what fits) or an error (-3 bad request or size below 1 with zones, -10 no
 * document came within the wait for a document, parameter 100, as when the feeder runs empty,
 * -19 stopped, -30 zones read and not one character from any, -33 a font code not known, -34
 * its font databases missing, ...). The font codes and what each needs: docs/HOST.md. */
PVK_API int PVKImgScan1(void* handle, PVKOCRDoc* doc, char* text, char* conf, short size);
/* 0 when the font code or reading mode can be read (its font databases found), else -3, -33 or
 * -34; the same becomes the last result. Changes no setting. Needs no device, but for the
 * magnetic codeline codes 32, 33 and 34: they give -3 until a scanner with a magnetic head has
 * been opened, and 0 on it. Codes 204 and 205 give 0 only with document type 12 (parameter 3).
 * Every code and what it needs: docs/HOST.md. */
PVK_API int PVKCheckOCRType(short font);

/* ---- Utilities ---------------------------------------------------------------------------- */

/* Milliseconds from `earlier` to `later`, rounded to the nearest. */
PVK_API long DeltaMsec(struct timeval later, struct timeval earlier);
/* Whitens dark horizontal (CancellaRighe) or vertical (CancellaRigheV) runs longer than
 * minLength pixels; dark is `delta` below the image's mean grey level (at least 10). */
PVK_API void CancellaRighe(PVKImg* img, unsigned short minLength, unsigned char delta);
PVK_API void CancellaRigheV(PVKImg* img, unsigned short minLength, unsigned char delta);

/* ---- Device handles -----------------------------------------------------------------------
 * A call that takes a device handle runs only on the open device that handle names: the value
 * PVKInitialize (or a variant) returned. Any other value is refused: the call does nothing, the
 * last result becomes -1 and the trace says "invalid handle (AA)". So is 0xFFFFFFFF, and so is a
 * handle kept after the PVKClose that closed its device, until the device is opened again. A
 * null handle (0) is refused the same way ("null handle (AA)") and, besides, withdraws the open
 * device's handle: from then on every call with it is refused too, PVKClose included, until
 * PVKInitialize is called again, which gives the same handle back. A refused call returns:
 *   - -1 (the last result): the scanner control, image, stripe and inkjet calls, PVKImgScan1,
 *     PVKReset, PVKClose, PVKDeviceInfo, the page and stamp counters and the zone table calls
 *     but PVKOCRZoneNChar;
 *   - 0: PVKOCRZoneNChar, PVKReadStatusL, PVKReadSN, PVKSpecialHW, PVKGetAcqHeight, PVKImgGet2,
 *     PVKImgGet3; null: PVKImgGet, PVKImgGetFR, PVKImgGet3FR.
 * Exceptions: PVKScannerReset answers -3 and leaves the last result and the trace alone (a null
 * handle still withdraws the device's handle); PVKStop called while another call runs only sets
 * or clears the stop request, whatever its handle; PVKDBDirGet, PVKDBDirSet and PVKConfigDirGet
 * take 0 and 0xFFFFFFFF for "no device" and answer without one; PVKVersion does not look at its
 * handle. A device that went away (unplugged, powered off) is reopened by a later call with its
 * handle; the call that met the loss returns -18. */

/* ---- Device connection, identity, status and counters --------------------------------------
 * Opening returns the device handle the other calls take (a positive number), or -1 with the
 * last result -21 when no usable device was found. Opening twice adds to a count; each
 * PVKClose takes one away, the last one closes the device. With no configuration directory it
 * can write (none given, none in the INI file, /home/ not writable) the open fails with -1 and
 * the last result -3: a host run by an ordinary user passes a directory it can write, or sets
 * CnfDir in the INI file. */

/* Opens the first scanner; dir: configuration directory (null or empty keeps the current). */
PVK_API int PVKInitialize(unsigned char* dir);
/* Opens the scanner whose USB serial string is exactly `serial` (null or empty: any). */
PVK_API int PVKInitializeSN(char* dir, char* serial);
/* Opens the A4 (true) or A6 (false) model; one model per library instance. */
PVK_API int PVKInitializeA6A4(bool a4);
/* Ends a busy scan and stops the running acquisition; reopens a device marked unusable.
 * A reset that succeeds returns 0 and leaves 0 as the last result. */
PVK_API int PVKReset(void* handle);
PVK_API int PVKClose(void* handle);
/* The normalised status word; 0 when the device cannot be read or the call is refused. */
PVK_API long PVKReadStatusL(void* handle);
/* "SW Version <version> build <tag>, FW 0x<fw>, PID_<pid>". Returns the text length; a null
 * buffer or a size below 1 asks for the size needed; too small: -1 and the last result -3. */
PVK_API int PVKVersion(void* handle, char* buffer, int size);
/* The USB serial string. Returns its length + 1; a null buffer or a size below 1 asks for that;
 * a buffer too small gets -1 and the last result -3. */
PVK_API int PVKReadSN(void* handle, char* buffer, int size);
/* The low and high composition words of the open device; 0 when they cannot be read. */
PVK_API unsigned long PVKCompositionL(void);
PVK_API unsigned long PVKCompositionH(void);
/* The special-hardware code of the device. */
PVK_API unsigned long PVKSpecialHW(void* handle);
PVK_API int PVKGenerateInstLog(char* unused);
/* Vendor id, product id and firmware version of the open device; null pointers are skipped. */
PVK_API int PVKDeviceInfo(void* handle, uint16_t* vendor, uint16_t* product, uint16_t* firmware);
/* Page and stamp counters: the totals, and the current counts since the last reset (reset
 * true sets them to 0). Values of 0x80000000 and above read as 0x7FFFFFFF; -1 when refused;
 * -5 when a reset cannot be saved in the counters file (the count then stays as it was). */
PVK_API int PVKPagNumTot(void* handle);
PVK_API int PVKPagNumCur(void* handle, bool reset);
PVK_API int PVKInkjetNumTot(void* handle);
PVK_API int PVKInkjetNumCur(void* handle, bool reset);

/* ---- Scanner control and parameters -------------------------------------------------------
 * Calls with a handle run only on the open device it names (else -1). Each returns the result
 * code, also left as the last result. */

/* Sets parameter `id` (the ids and their values: docs/HOST.md). Needs an open
 * device. Ids and values outside the 16-bit range are refused with -3. */
PVK_API int PVKSetParameter(int id, int value);
/* Reads parameter `id` into *value (untouched on failure). Works without a device. */
PVK_API int PVKGetParameter(int id, short* value);
/* The value of parameter `id`, 0 when it cannot be read. */
PVK_API int PVKGetParameter0(unsigned short id);
PVK_API int PVKCalibrate(void* handle);
PVK_API int PVKCheckCalibration(void* handle);
/* The cleaning cycle with a cleaning sheet: 0, -10 (no sheet), -21 (the sheet was not ejected
 * or the scanner cannot be enabled), or the failing move's code. PVKStop does not end the wait
 * for the sheet (about 10 s); it ends the cycle's moves with -19. */
PVK_API int PVKClean(void* handle);
PVK_API int PVKCheckCleaning(void* handle);
/* Brightness and contrast of the front and rear sides, each -100..100. */
PVK_API int PVKBrightness(void* handle, short front, short rear);
PVK_API int PVKContrast(void* handle, short front, short rear);
/* Moves paper for `ms` milliseconds; forward when a >= 1. */
PVK_API int PVKMoveScanner_mSec(void* handle, short a, short b, int ms);
/* value: seconds x 1000 + milliseconds. */
PVK_API int PVKPreScan(void* handle, short value);
PVK_API int PVKMoveScannerLines(void* handle, short forward, short lines, short dpi);
/* Clears the stop request; returns 0. */
PVK_API int PVKScanEnable(void* handle, short unused);
/* value >= 1 asks the running call to stop: the wait for a document at the photocell, paper
 * moves and the reading of a document's image stream end with -19, a stalled stream within
 * 100 ms. The wait for the cleaning sheet (PVKClean) and for a card swipe (PVKMagStripeC) do not
 * watch the request and run to their own time-outs. The request stays until PVKScanEnable,
 * PVKStop with a value below 1 (which clears it) or the next opening. Called from another thread
 * while a call runs, it only sets or clears the request and returns 0. */
PVK_API int PVKStop(void* handle, short value);
/* 0 when handle names the open, usable device, else -3. No start-up, no last result. */
PVK_API int PVKScannerReset(void* handle);
/* The eight photo-sensor tuning bytes; -15 on devices without tuning. */
PVK_API int PVKPhotoTunRead(void* handle, char* bytes8);
PVK_API int PVKPhotoTunWrite(void* handle, char* bytes8);
/* The same byte by byte; null pointers are skipped. */
PVK_API int PVKPhotoTunReadVB(void* handle, unsigned char* b0, unsigned char* b1, unsigned char* b2,
                              unsigned char* b3, unsigned char* b4, unsigned char* b5, unsigned char* b6,
                              unsigned char* b7);
PVK_API int PVKPhotoTunWriteVB(void* handle, unsigned char b0, unsigned char b1, unsigned char b2,
                               unsigned char b3, unsigned char b4, unsigned char b5, unsigned char b6,
                               unsigned char b7);

/* Side-record utilities (no call guard). MyDevImgTrimReset sets the trim rectangle of a side to
 * its full extent. ImgInfoToPVKImg copies the trimmed colour planes of a side into dst (its old
 * data freed, 16 spare rows, planes padded to 4 bytes) and releases the side's buffer; false
 * with the last result -3 (no side data, null dst) or -4 (out of memory). `src` is a reference
 * in C++ and a pointer in C. */
PVK_API void MyDevImgTrimReset(struct ImgInfo* img);
#ifdef __cplusplus
PVK_API bool ImgInfoToPVKImg(struct ImgInfo& src, PVKImg* dst);
#else
PVK_API bool ImgInfoToPVKImg(struct ImgInfo* src, PVKImg* dst);
#endif

/* ---- Magnetic stripe reader and inkjet endorser --------------------------------------------- */

/* Waits for a card swipe (the swipe wait, parameter 101, default 10 s; PVKStop does not end it)
 * and returns the three track texts. flags: 1 drops the start sentinel,
 * 2 the end sentinel, 4 the LRC. Each non-null buffer gets its text with the terminator when
 * the text is shorter than `size`, and nothing otherwise; a null buffer makes the result -1. A
 * track that does not decode comes back empty and the call still succeeds; -10 when no card was
 * swiped within the swipe wait. */
PVK_API int PVKMagStripeC(void* handle, char* track1, char* track2, char* track3, int flags, int size);
/* Empties the reader's buffer of swiped data. */
PVK_API int PVKMagStripeReset(void* handle);
/* Sets up the endorsement printed on the next document: `text` drawn with the stamp font file
 * `font` (".fnt" added when missing: the configuration directory's, else the one installed with
 * the library; "stamp12" is installed), or with a null font and size 0 the 8-bit BMP image at
 * path `text` (PVKInkjet1SetUpImg). The stamp is 12 pixels high. intensity adjusts the head's
 * default intensity; offset (hundredths of an inch, not negative) places the stamp along the
 * document from its top edge; keepImage > 0 keeps the stamp to draw it into the front image, in
 * the band of the front where the head prints (docs/HOST.md, "Endorsing documents"); fireCount
 * (default 1) and rotate180 (> 0 turns the stamp) as the head allows. An empty text sets no
 * stamp. A set-up serves one document: set it up again for each. Results: 0; -15 no inkjet or
 * not in this mode; -3 bad values, bad or too large stamp, no such font; -1 bad font file; -4
 * out of memory. A document whose stamp was printed incompletely gets -81. */
PVK_API int PVKInkjet1SetUp(void* handle, const char* text, const char* font, short size, short intensity,
                            short offset, short keepImage);
PVK_API int PVKInkjet1SetUp1(void* handle, const char* text, const char* font, short size, short intensity,
                             short offset, short keepImage, short fireCount);
PVK_API int PVKInkjet1SetUp2(void* handle, const char* text, const char* font, short size, short intensity,
                             short offset, short keepImage, short fireCount, short rotate180);
PVK_API int PVKInkjet1SetUpImg(void* handle, const char* bmpPath, short intensity, short offset, short keepImage,
                               short fireCount, short rotate180);

/* ---- Image output -------------------------------------------------------------------------
 * Sides: 0 rear, 1 front, 2 backlight; 8 and 9 the sides taken automatically for the rear and
 * the front. Format word: bits 0-2 0 JPEG, 1 TIFF G3, 2 TIFF G4, 3 TIFF LZW, 4 BMP, 5 TIFF
 * uncompressed, 6 TIFF JPEG; 0x100/0x200/0x300 turn right/half/left, 0x400 automatic turn,
 * 0x800 flip top to bottom, 0x1000 red-green-blue byte order. qualityOrBpp is the JPEG quality
 * (1..100, 999 automatic) for JPEG formats and the bits per pixel (0 the side's own) otherwise.
 * Buffers returned by the get calls are released with PVKImgGetFree. Every file the library
 * writes appears whole or not at all: a save that fails (-5) leaves the file that stood at the
 * path as it was. */

/* A zone rectangle in pixels; the image calls do not cut (a non-zero size is traced). */
typedef struct PVKRoi {
  int64_t x;
  int64_t y;
  int64_t width;
  int64_t height;
} PVKRoi;

/* The output resolutions of front, rear and backlight (dpi; 0 leaves a side out), and the side
 * images prepared for the next document. PVKImgFree releases the last document's images and the
 * endorsement set up. Between documents a host need call neither: PVKImgScan1 frees and
 * prepares the images itself at the resolutions last set, keeping an endorsement set up for
 * the coming document, and notes it in the trace ("war - patch - image free and create should
 * be called before calling this again"). A host that calls PVKImgFree and PVKImgCreate between
 * documents sets up its endorsement after them. */
PVK_API int PVKImgCreate(void* handle, short dpiFront, short dpiRear);
PVK_API int PVKImgCreate1(void* handle, short dpiFront, short dpiRear, short dpiBacklight);
PVK_API int PVKImgFree(void* handle);
PVK_API int PVKImgSave(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                       char* path);
PVK_API int PVKImgSaveCol(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                          short plane, const char* path);
PVK_API int PVKImgSave2(void* handle, short side, PVKRoi roi, short qualityOrBpp, short format,
                        char* path);
PVK_API int PVKImgSave4(void* handle, short side, PVKRoi roi, short qualityOrBpp, short format,
                        short rotation, char* path);
/* A new buffer holding the encoded side (*size bytes), null on failure. */
PVK_API unsigned char* PVKImgGet(void* handle, short side, PVKRoi* roi, short qualityOrBpp,
                                 short format, int* size);
/* Two calls: a null buffer encodes and returns the size; the second call with a buffer of at
 * least that size copies the picture and returns the size (-1 when nothing was encoded). */
PVK_API int PVKImgGet2(void* handle, short side, PVKRoi* roi, short qualityOrBpp, short format,
                       unsigned char* buffer);
PVK_API int PVKImgGet3(void* handle, short side, short brightness, short contrast, PVKRoi* roi,
                       short quality, short format, short rotation, short dpi, short bpp,
                       unsigned char* buffer);
/* Two sides stacked in one picture, the first above the second. */
PVK_API int PVKImgSaveFR(void* handle, short side1, short side2, short quality, short format,
                         char* path);
PVK_API int PVKImgSaveFR2(void* handle, short side1, short side2, short quality, short format,
                          short rotation, short dpi, short bpp, char* path);
PVK_API int PVKImgSave3FR(void* handle, short side1, short brightness1, short contrast1,
                          short side2, short brightness2, short contrast2, short quality,
                          short format, short rotation, short dpi, short bpp, char* path);
PVK_API int PVKImgeSaveFR(void* handle, short side1, short side2, short quality, short format,
                          char* path);
PVK_API unsigned char* PVKImgGetFR(void* handle, short side1, short side2, short quality,
                                   short format, int* size);
PVK_API unsigned char* PVKImgGet3FR(void* handle, short side1, short brightness1, short contrast1,
                                    short side2, short brightness2, short contrast2, short quality,
                                    short format, short rotation, short dpi, short bpp, int* size);
PVK_API int PVKImgGetFree(void* handle, void* buffer);
/* The acquired height of a side at dpi; 0 when refused. */
PVK_API int PVKGetAcqHeight(void* handle, short side, short dpi);
/* Output brightness and contrast (-100..100) of side 0 or 1. */
PVK_API int PVKImgBright(short side, short value);
PVK_API int PVKImgContr(short side, short value);
/* 6 (PVK_WAR_BLANK_PAGE) for a blank side, 0 for a written one. pixThreshold: dark pixels per
 * thousand of a row that a blank row may hold (0..100); darkLevel: grey below which a pixel
 * is dark. */
PVK_API int PVKIsPageBlank(void* handle, short side, uint8_t pixThreshold, uint8_t darkLevel);
PVK_API int PVKIQACheck(void* handle, char* frontPath, char* rearPath);
/* A side as 24-bit pixels (three bytes per pixel, rows of three raw lines), released with
 * PVKImgGetFree; null on failure. */
PVK_API unsigned char* Vx3GetElabImg(short side, short brightness, short contrast);
/* Multipage TIFF: format 1 G3, 2 G4, 3 LZW, 5 none, 6 JPEG (quality 1..100). The file appears
 * at the close, whole: a page that cannot be written fails its add (-1) and is left out, and the
 * close then returns -5 with the pages added before it; a close that cannot write the file
 * returns -5 and leaves what stood at the path. An init whose file cannot be created (-1) leaves
 * nothing pending. */
PVK_API int Vx3MultiPageInit(const char* path, short format, short quality);
/* Appends the image file at path (BMP, JPEG or TIFF, already written) as the next page: -8
 * without an init, -1 when the file cannot be read or the page encoded. */
PVK_API int Vx3MultiPageAdd(const char* path);
PVK_API int Vx3MultiPageClose(void);
/* Re-encodes a BMP file in place (format 0, 1, 2, 4, 5 or 6); 1 done, 0 failed (the file is
 * left as it was when it cannot be read, encoded or written). */
PVK_API int ConvertiImg(const char* path, short format, short quality, int* height, int* width,
                        int* dpi);
/* Resolution and size of an image file; 0 (with 96 dpi and size 0) when it cannot be read or is
 * wider or higher than 32767 pixels. A resolution beyond 32767 reads as 96. */
PVK_API int GetImageInfo(const char* path, short* xdpi, short* ydpi, short* height, short* width);

/* ---- Side geometry: deskew, crop, stamp, resize, image files ------------------------------
 * No call guard and no last result: these take the library's side image records directly and
 * answer with their result and the caller's text buffers (error and information texts of at
 * least 40 bytes, the resize message of at least 64). `edgeOffset` is a reference in C++ and
 * a pointer in C. */
typedef struct ImgInfo ImgInfo;
#ifdef __cplusplus
#define PVK_REF_(type) type&
#else
#define PVK_REF_(type) type*
#endif

/* A side's deskew recorded by a crop-mode call and applied when an output image is made:
 * corners (x, y) top-left, top-right, bottom-right, bottom-left in the stored side image and
 * where they go; pending while ImgAcqDstBox[2] is not (0, 0) and both sizes are non-zero. */
typedef struct PVKDeskewEntry {
  float ImgAcqSrcBox[4][2];
  float ImgAcqDstBox[4][2];
  int32_t ImgAcqSrcWidht;
  int32_t ImgAcqSrcHeight;
  bool flipSrcV;
  bool flipSrcH;
} PVKDeskewEntry;
/* One entry per side: 0 rear, 1 front. */
PVK_API extern PVKDeskewEntry PVKPendingDeskew[2];
/* Non-zero: the geometry calls write progress traces. Zero at load; the library never sets it. */
PVK_API extern unsigned char debugOn;
/* Null at load; the library never sets it. A host that points it at a file name has every
 * magnetic reading write the document's raw head bytes there, one decimal a line. */
PVK_API extern const char* fNameDatiMICR;

PVK_API bool PVKDeskewWrapStamp2(ImgInfo* side, ImgInfo* companion, bool flipV, bool flipH, bool compFlipV,
                                 bool compFlipH, bool deskewNow, PVK_REF_(short) edgeOffset, bool edgeFromTop,
                                 char* errText, char* infoText, ImgInfo* stamp, short stampColumn,
                                 short stampRowOffset, bool enhance, bool allowRotation);
PVK_API bool PVKDeskewWrapStamp(ImgInfo* side, ImgInfo* companion, bool flipV, bool flipH, bool compFlipV,
                                bool compFlipH, bool deskewNow, PVK_REF_(short) edgeOffset, bool edgeFromTop,
                                char* errText, char* infoText, ImgInfo* stamp, short stampColumn,
                                short stampRowOffset, bool enhance);
/* Output image of a side into dst (buffer, size, dpi and line sizes set by the caller); side 0
 * or 1 applies that side's pending deskew, -1 none. msg: at least 64 bytes. */
PVK_API bool PVKResize2(ImgInfo* src, short side, ImgInfo* dst, short brightness, short contrast, bool grey,
                        bool reverse, bool flipV, bool flipH, bool transpose, char* msg);
PVK_API bool PVKResize(ImgInfo* src, short side, ImgInfo* dst, bool grey, bool reverse, bool flipV,
                       bool flipH, bool transpose, char* msg);
/* Stretches a side vertically by factor; 1 done or nothing to do, 0 failure. */
PVK_API int PVKFixVRes(ImgInfo* img, float factor, short rowLimit);
/* Loads an image file into a side image with `planes` planes per raw line; a record without a
 * buffer only learns the geometry. 1 done, 0 failure. */
PVK_API int PVKReadImgFile(ImgInfo* img, char* path, short planes);

#ifdef __cplusplus
}

/* ---- Image files for C++ hosts (C++ linkage: the two ImgRead are overloads) -----------------
 * No call guard and no last result, except -4 when ImgRead runs out of memory; failures are
 * traced. Formats follow the file name's extension. */
/* Loads a file into a side image in its raw layout: grey, or R, G, B into planes 0, 1, 2. */
PVK_API bool ImgRead(const char* path, ImgInfo* img, bool flipH, bool flipV);
/* Loads a file as one grey plane into a new buffer (malloc) that the caller then owns; the
 * image must come without a buffer. */
PVK_API bool ImgRead(const char* path, PVKImg* img, bool flipH, bool flipV);
/* Writes one grey plane to a file (JPEG at quality 80). */
PVK_API bool ImgWrite(const char* path, PVKImg* img);
#endif

#endif /* PLAVIKMS_H */
