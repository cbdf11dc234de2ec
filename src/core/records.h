// The process-wide records of the library: one device, its acquisition and OCR options, the
// trace settings and the per-document reading state. Plain structs that every folder reads and
// writes directly; start-up clears and fills them once (core/startup). Add fields where a
// record lacks one; keep the host-visible layouts (PVKImg, PVKOCRDoc) in PlavikMS.h.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PlavikMS.h"

struct libusb_device;
struct libusb_device_handle;

// Side indexes used throughout: 0 rear, 1 front, 2 backlight.
constexpr int kSides = 3;

// PVKRoi, the zone rectangle of the image calls, is host-visible: see PlavikMS.h.

// One character of a recognised text, parallel to the text and its confidence bytes.
struct ChInfo {
  uint16_t agreement;  // 1 per reading; merging readings adds the counts of agreeing characters
  uint16_t left;       // first column of the block
  uint16_t right;      // column after the block
  uint16_t top;        // first row of the block
  uint16_t bottom;     // row after the block
  uint32_t split;      // 0 for a block read whole, else the split count that produced it
  uint8_t dbIndex;     // font database whose template matched
  uint8_t zeroLetterO; // '0' and 'O'/'o' were both valid for this entry
};

// The acquired image of one side. The front record owns the one raw buffer of an acquisition;
// the rear and backlight records are views into it (allocBase null).
struct ImgInfo {
  uint8_t side;            // 0 rear, 1 front, 2 backlight
  uint8_t colourPlanes;    // 1 grey, 3 colour
  uint8_t planesPerLine;   // colour planes + 1 for IR + 1 for UV
  uint16_t trimTop;
  uint16_t trimLeft;
  uint16_t trimWidth;
  uint16_t rowsUsed;       // also the row count the buffer is sized for
  uint16_t fullTop;
  uint16_t fullLeft;
  uint16_t fullRight;      // fullLeft + fullWidth
  uint16_t fullHeight;
  uint16_t fullWidth;
  uint16_t sensorPixels;   // pixels per line of this side
  uint16_t planeLineBytes; // one plane line of all sides on
  uint16_t rawLineBytes;   // one raw line: all sides, all planes
  uint16_t dpiH;
  uint16_t dpiV;
  uint8_t* firstRow;       // first image row inside the buffer
  uint8_t* writePtr;       // where the bulk reader appends
  uint64_t margin;         // first row to the initial write pointer
  uint8_t* allocBase;      // owned buffer, null for a view
  uint64_t imageBytes;     // rowsUsed x rawLineBytes rounded up to the USB block
  uint64_t bytesAllocated;
  uint8_t hasData;
  uint8_t corrected;
  uint8_t outputFlag;
  uint8_t deskewApplied;   // 1 upright; 0 only cropped, a pending deskew is recorded
  uint8_t vStretchApplied;
  float deskewAngle;       // radians; kNoAngle when none was measured
  uint16_t angleWeight;
  int16_t outBrightness;
  int16_t outContrast;
  uint8_t noAutoThreshold;
};

constexpr float kNoAngle = 10000.0f;

// The device record, type name as given.
struct _DevInfo {
  libusb_device* usbDevice;
  libusb_device_handle* usbHandle;
  uint16_t vendorId;
  uint16_t productId;
  uint16_t fwVersion;      // e.g. 0x3103, compared numerically
  uint32_t serialHigh;
  uint32_t serialLow;      // also forms the debug file stems
  int8_t state;            // >0 usable, 0 no device, -1 reopen next call, -2 unusable
  uint8_t highSpeed;
  uint8_t calibValid;
  // Capabilities read from the device composition.
  uint8_t inkjetPresent;
  uint8_t inkjetReady;
  uint8_t buzzerPresent;
  uint8_t backlightHw;
  uint8_t irHw;
  uint8_t uvHw;
  uint16_t backlightSide;  // 1 front, 0 rear
  uint8_t stopRequest;     // set by PVKStop, cleared when the scanner is opened
  uint8_t cleaningRequired;
  uint8_t cleaningCheckEnabled;     // INI [Cleaning] CheckEnable
  uint8_t cleaningCalibCheck;       // INI [Cleaning] CheckCalibration
  uint64_t pagesTotal;
  uint64_t pagesCurrent;
  uint64_t stampsTotal;
  uint64_t stampsCurrent;
  int32_t lastResult;
  uint64_t handleValue;    // handed to the caller at open; the guard compares with it
  int32_t openCount;
  ImgInfo img[kSides];
  ImgInfo imgFirstPart[kSides];
  int16_t outDpi[kSides];  // 0 = side not produced
  char serialString[255];
  char cnfDir[260];
  uint8_t cnfDirWritable;

  // Capabilities consulted by scanner control and the acquisition preparation.
  uint8_t rearPresent;      // rear image sensor present
  uint8_t photocellPresent; // entry photocell present
  uint8_t adfPresent;       // document feeder present
  uint8_t doubleFeedHw;     // acquisition feature F1: double-feed hardware
  uint8_t altSideLayout;    // acquisition feature F2: both sides stay on
  uint8_t photoTuning;      // photo-sensor tuning supported
  uint8_t slowAcq;          // slow acquisition (parameter 104, device composition)
  uint8_t pageRegister;     // the device counts pages and stamps itself
  uint8_t supplyVolt;       // 12 or 5
  uint8_t cisType;          // contact-image-sensor type, 0 unknown
  uint8_t FwCapA;           // acquisition modes may be forced (parameter 1000)
  uint8_t FwCapB;           // the front side may be switched off
  uint8_t FwCapC;           // the rear side may be switched off
  uint8_t FwCapI;           // colour acquisition allowed
  uint8_t FwCapBackward;    // backward paper moves allowed
  uint8_t bufferShared;     // one raw buffer held by the front record (set by the mode geometry)
  // The other firmware capability flags, set with the ones above at every scanner open.
  uint8_t FwCapD;
  uint8_t FwCapE;
  uint8_t FwCapF;
  uint8_t FwCapG;
  uint8_t FwCapH;
  uint8_t FwCapBackward2;   // backward paper moves allowed (later firmware)
  uint8_t FwCapJ;
  uint8_t FwCap3000;
  uint8_t docMoveFlag;      // per-document move flag, cleared after every paper move

  // Calibration capabilities and stream features read by the acquisition engine.
  uint8_t ledCalib;           // LED levels are adjustable
  uint8_t bothSidesCalib;     // both sides are calibrated together
  uint8_t micrDependentCalib; // calibration depends on the magnetic head
  uint8_t ledIndependent;     // the red, green and blue LEDs are set separately
  uint8_t greyFromColour;     // grey LED levels are derived from the colour calibration
  uint8_t calibLongSheet;     // the calibration sheet is three inches long, not one
  // Connection state and the rest of the composition (device layer).
  char openTag[4];            // "Vx3" while a USB device is open, first byte cleared at close
  uint8_t reopening;          // a reopen is in progress
  uint8_t scanBusy;           // between SetScanBusy(true) and SetScanBusy(false)
  uint8_t product14;          // product 14 of the build's vendor
  uint8_t deviceClass;
  uint8_t trackReader[3];     // magnetic track 1, 2, 3 reader present
  uint8_t feederDisabledIni;  // INI [ADF] disable
  uint8_t gateA, gateB, gateC, gateD;  // status gates (status bits 19..22)
  uint8_t magAlign;           // magnetic alignment feature
  uint8_t sideSwitch;         // side-switch feature
  uint8_t streamEndCap;       // stream-end status capability (status bit 26, slow bulk mode)
  uint8_t extPowerSensed;     // the device senses its external power
  uint8_t calibLight;         // calibration-light capability
  uint16_t capabilityCode;    // byte 1 of the capability request masked with 0x38
};

// Acquisition options: MyAcq (live) and AcqDefault (from the INI file).
struct AcqInfo {
  uint8_t mode;            // acquisition mode 0..7
  uint8_t colour;          // colour code: 1 grey, 2 colour, 3..5 one LED; +8 IR, +16 UV
  uint8_t greyLed;         // grey-mode illumination code
  uint8_t colourLines;     // colour lines per document line
  uint8_t planesPerLine;   // planes per raw line
  uint8_t disabledModes;   // bit n disables mode n
  uint8_t forward;
  uint8_t countPages;
  uint8_t cfgFlags[4];     // copied inverted into the configuration block
  uint8_t cfgFlagsMore[2];
  uint8_t swGlitch;
  uint8_t swNoise;
  uint8_t calibOption;      // correction during acquisition on (parameter 1001)
  uint8_t sideAuto;
  uint8_t calibOptions[2];
  uint8_t deskew;
  uint8_t trim;
  uint8_t trimBoth;
  uint8_t sharp;
  uint8_t removeBack;
  uint8_t autoMoveBack;
  uint8_t doubleFeed;
  uint8_t doubleFeedDelivery;
  uint16_t doubleFeedCntMax;
  uint16_t doubleFeedBlackVe;
  uint8_t sequenceCheck;
  uint16_t seqMoveBackLines300;
  uint8_t pageNumEn;
  uint8_t thresholds[3];
  uint8_t borderVal;
  uint8_t borderThr;
  uint16_t msWaitDoc;       // wait for a document
  uint16_t msWaitSwipe;     // wait for a magnetic-stripe swipe
  uint16_t acqTimeoutSec;
  uint16_t msBulk;
  uint16_t maxHeight150;
  uint16_t msWaitStart;
  uint16_t msValLines;
  uint16_t height150;       // document height at 150 dpi
  uint64_t acqBlock;        // bulk acquisition block size
  uint8_t twoPart;          // INI TwoPart: two-part acquisition allowed

  // Written by the mode and buffer preparation.
  uint8_t colourPlanes;     // also the index of the IR plane in a raw line
  uint8_t colourIrPlanes;   // colour planes + IR: also the index of the UV plane
  uint16_t rowBlock;
  uint16_t topOffsetFront;
  uint16_t topOffsetRear;
  uint16_t leadIn;
  uint16_t topMargin;
  uint16_t bottomMargin;
  uint16_t tail;
  uint16_t usbBlock;        // 512 high speed, 64 full speed
  uint32_t lineTiming;
  uint16_t dpiH[kSides];    // acquired horizontal dpi per side
  uint16_t dpiV;            // acquired vertical dpi
  uint64_t sideBytes[kSides];
  uint8_t* sideData[kSides];
  uint8_t twoPartActive;    // this document is acquired in two parts
  uint8_t secondPartPending;
  uint8_t twoPartClear;     // cleared by an ordinary read
  uint8_t modeLocked;       // a mode was forced

  // Side switches and automatic choices.
  uint8_t rgb;
  uint8_t backlight;
  uint8_t ir;
  uint8_t uv;
  uint8_t frontOff;
  uint8_t rearOff;
  uint8_t imagesToRecreate;
  uint16_t autoRearSide;
  uint16_t autoFrontSide;
  uint16_t rotation[kSides];  // 0, 256, 512, 768

  // Activity flags: not a document acquisition while any is set.
  uint8_t paperMove;
  uint8_t paperMove2;
  uint8_t calibrating;

  uint8_t baseColour;       // colour code without the IR and UV bits
  uint16_t acqTimeoutMs;    // millisecond part of the acquisition timeout

  // The document road (paperMove2 above marks a paper move by time).
  uint8_t streamRead;       // cleared by the buffer preparation, set when a bulk read starts
  uint8_t docAtEntry;       // the document is still at the entry after a one-part document
  uint8_t deskewSource;     // 1, 2 or 4
  uint8_t reverse;          // reverse switch: mirror capabilities inverted, scan backward
  uint8_t noFeedMove;       // paper move without feeding (configuration block)
  uint8_t nextDocInserted;  // a next document was inserted behind this one: move it back
  uint16_t lineGranularity; // paper-move lines are rounded up to a multiple of it (0 = 1)
  uint16_t topSkip[2];      // lines skipped at the top of rear and front (top-skip devices)
  uint16_t addSkip[2];      // further lines skipped when no stream was read
  uint8_t* firstPartRow[kSides]; // first rows of the first part of a two-part document
  uint8_t* endPtr[kSides];  // one past the last byte read, per side

  // Read by the acquisition engine and the correction record.
  uint8_t realign;          // realign front rows after acquisition (never set here)
  uint8_t startupMove;      // initialisation paper move in progress
  uint8_t rawLines;         // calibration acquisition: raw lines without correction
};

// The first of the four configuration flags: a paper move by lines. The last two are the
// document-wait switches; the first of those enables the photocell wait.
constexpr int kCfgMoveByLines = 0;
constexpr int kCfgWaitDoc = 2;
constexpr int kCfgWaitDoc2 = 3;

// OCR options: MyOcr (live) and OcrDefault (from the INI file).
struct OcrInfo {
  uint8_t cdlTxt;
  uint8_t cdlImg;
  uint8_t cdlImgDate;
  uint8_t cdlMicr;
  uint8_t barcodeMirror;
  uint8_t onlyMicr;
  uint16_t e13bMapping;
  uint8_t cmc7Thr;
  uint8_t e13bThr;
  char dbDir[260];          // font database directory, '/'-terminated
  char debugStem[64];
  uint8_t debugDump;
  uint16_t typeDoc;
  uint16_t typeDocMicroperf;
  uint16_t typeDocCmc7;
  uint16_t checkIdExtended;

  // Reading state of the document reader and the OCR engine.
  uint8_t modeByte;         // 1 keeps blanks in a zone result
  // Per-document switches of the OCR engine.
  uint8_t multiLine;        // a reading of several text lines is reduced to its best line
  uint8_t fixedSize;        // segmentation and assembly use the nominal character size
  uint8_t secondSize;       // a second size switch of the line editing
  uint8_t removeCrLf;       // line breaks are removed from a zone result
  uint8_t lowerCase;        // lower-case letters join the character sets
  uint8_t singleChar;       // a zone may hold a single character: one-block bands are read
  uint8_t neighbourWeight;
  uint8_t minLineConf;
  uint16_t minAgreement;
  uint16_t cdlImgCounter;
  uint8_t pharmacode;
  uint8_t barcodeDisabled[9];
  uint8_t remapPending;
  char dumpDir[260];
  int16_t currentFont;
  uint16_t zoneSide;
  uint8_t gf929Built;
  uint16_t dmDpi;
  uint16_t typeDocSaved;
  uint8_t autoSideResolved;
  uint16_t charHeight;
  uint16_t charWidth;
  uint16_t minCharHeight;
  uint16_t maxCharHeight;
  uint16_t minCharWidth;
  uint16_t maxCharWidth;
  float engineScale;        // dpi / 300
  uint16_t reqDpiH[kSides];
  uint16_t reqDpiV[kSides];
  PVKImg ocrImg[kSides];
  uint8_t ocrImgValid[kSides];
  uint16_t ocrImgRotation[kSides];
  uint8_t ocrImgFlipA[kSides];
  uint8_t ocrImgFlipB[kSides];
  uint8_t ocrImgQuarter[kSides];
  uint8_t ocrImgCdlVariant;
};

// Magnetic acquisition state.
struct MICRInfo {
  uint8_t deskew;           // INI DeskewMicr
  uint8_t headPresent;
  uint8_t enabled;
  uint8_t cdlFound;
  uint8_t photocellCheck;
  uint16_t samplesPer3Px;
  int16_t refOffset;
  uint8_t* samples;
  uint64_t nSamples;
  uint8_t reverse;
  int64_t zoneX, zoneY, zoneWidth, zoneHeight;
  uint16_t zoneOption;
  uint16_t rotation;
  uint16_t side;            // side read by the head: 0 rear, 1 front
  uint16_t opticalOffset300; // document edge of the head's side image, lines at 300 dpi
  // Head configuration used by the acquisition geometry.
  uint16_t samplesOneSide;  // samples per three pixels with one side switched off
  uint16_t samplesTwoSides; // samples per three pixels with both sides on
  uint16_t pixelsPerLine;   // head's pixels per line at 300 dpi (fixed-width heads)
  uint8_t fixedWidth;
  uint16_t vResGrey;        // highest vertical dpi in grey
  uint16_t vResColour;      // highest vertical dpi per colour line
  uint16_t extraBytes;      // magnetic bytes appended to each raw line
  uint64_t sampleRows;      // rows the sample buffer was sized for
  uint64_t sampleBytes;     // size of the sample buffer
  uint8_t disablesAdf;      // the head needs the feeder off while reading
  // The magnetic head configuration as the device reports it (cleared when no head is taken).
  struct {
    uint8_t flags[3];       // configuration byte 1 bits 3, 4, 5 (bit 5: reverse signal)
    uint16_t vRes;          // vertical resolution, dpi
    uint16_t param5;
    uint8_t bytesPerLine;
    uint16_t param7;
    uint16_t pair8;         // bytes 8 and 11
    uint16_t pair9;         // bytes 9 and 12
    uint16_t vRes2;         // second resolution, dpi
    uint16_t pair13;        // bytes 13 and 14
    uint16_t counter;
    int64_t limits[4];      // 0, -130, 0, 130 when a head is taken
  } head;
};

// Trace settings.
struct LogInfo {
  uint64_t LogSize;         // bytes; 0 no limit
  uint64_t LogDays;
  uint8_t Log;
  uint16_t Debug;           // 0x2 reading, 0x4 acquisition, 0x100 image elaboration
  uint8_t Verbose;
  char logDir[264];         // ends in '/'
  char tracePath[264];
  char traceStem[264];      // tracePath without ".log"
  char tracePattern[264];   // stem followed by "*.log"
  char deviceFile[264];     // the per-device counters file
  char iniPath[264];
  char progName[264];
  uint8_t LogTimeStamp;
};

// Image-quality check settings; arrays indexed rear, front, backlight.
struct IQAInfo {
  uint8_t active;
  uint16_t errLevel;
  uint16_t quality[kSides];
  uint16_t lower[kSides];
  uint16_t upper[kSides];
  char debugStem[64];
};

// Buzzer settings of the three document events.
struct BuzInfo {
  uint8_t sounded[3];       // double feed, no codeline, unread characters
  uint8_t valDouble;
  uint8_t valNoCld;
  uint8_t valNR;
  uint16_t msDouble;
  uint16_t msNoCld;
  uint16_t msNR;
};

// Inkjet endorser state; start-up fills the grey level and warm-up times.
struct InkjetInfo {
  uint8_t grayLev;
  uint16_t msWarmTot;
  uint16_t msWarmDelta;
  // What the document road reads and clears of the endorser.
  uint8_t intensity;
  uint16_t stampOffset;     // hundredths of an inch below the document's top edge
  PVKImg stamp;             // 12 rows, one byte per pixel: 0 ink, 255 blank
  uint8_t armed;            // a stamp is prepared for the next document
  uint8_t printing;
  uint8_t printed;          // the head was stopped after printing this document
  uint8_t headRes;          // head resolution, dpi
  uint16_t headOffset;      // hundredths of an inch from the sensor's far edge
  uint8_t headIntensity;    // head default intensity
  uint16_t stampImageRequested;  // keep the stamp image to draw it on the front image
  // Set-up and head configuration of the endorser.
  uint8_t fireCount;
  uint8_t headOption;       // sent on firmware above 0x5004
  uint16_t secondOffset;
  char stampText[512];
  char fontName[260];
  uint16_t minFireCount;
  uint16_t rotate180;
  uint8_t stampTurned;      // the stamp image has been turned by 180 degrees
  uint16_t xOrigin;
  uint16_t yOrigin;
  uint64_t stampColumns;
  uint32_t expectedCount;   // bytes the head should print: 2 x columns
  uint32_t printedCount;    // bytes the head reported printed
  uint32_t stampBufferSize; // bytes of column stream the head accepts
};

struct DebugInfo {
  uint8_t statusIn;
  uint8_t statusOut;
  uint8_t glitch;
};

// The best codeline reading of the current document.
struct OcrOptInfo {
  uint8_t found;
  uint16_t rotation;
  uint16_t side;
  char text[128];
  char conf[128];
  ChInfo info[128];
  int32_t count;
  uint16_t font;
  uint16_t typeDoc;
};

// The trial rotations and flips of the backlight reading pass.
struct OcrBLInfo {
  uint16_t rotation[4];     // per codeline rotation 0, 256, 512, 768
  uint8_t flipH;
  uint8_t flipV;
};

// Italian-cheque check state, zeroed for every document; texts NUL-terminated, empty when unknown.
struct ITACheckInfo {
  int16_t level;
  uint8_t active;
  uint8_t semicolonAt10;
  uint8_t equalsAt10;
  uint16_t defaultAnswer;
  char dmType;
  uint8_t dmTypeDigit;
  char dmAbi[6];
  char dmCab[6];
  char dmChequeNo[11];
  char dmField8[9];
  char dmAmount[12];
  char dmAmountFmt[13];
  char dmPayee[41];
  char chequeNo[16];
  char cdlField1[11];
  char ocrbLine[14];
  char expected1[14];
  char expected2[14];
  char expAmount1[16];
  char expAmount2[16];
  char expPayee[41];
};

extern _DevInfo MyDev;
extern AcqInfo MyAcq;
extern AcqInfo AcqDefault;
extern OcrInfo MyOcr;
extern OcrInfo OcrDefault;
extern MICRInfo MyMICR;
extern LogInfo MyLog;
extern IQAInfo MyIQA;
extern BuzInfo MyBuz;
extern InkjetInfo MyInkjet;
extern DebugInfo MyDebug;
extern OcrOptInfo MyOcrOpt;
extern OcrBLInfo MyOcrBL;
extern ITACheckInfo MyITACheck;

extern uint8_t fw3000Enable;  // INI [General] fw3000
extern uint16_t F0;           // side index of the front (1; swapped on one model)
extern uint16_t R0;           // side index of the rear (0)

// Clears MyOcrOpt and sets its side to the front index F0; called for every document.
void SetDefaultMyOcrOpt();


namespace pvk::core {

// The stop request of MyDev is the one field a host may write from another thread (PVKStop
// beside a running call): it is only ever read and written through these two.
inline void requestStop(bool stop) {
  __atomic_store_n(&MyDev.stopRequest, static_cast<uint8_t>(stop ? 1 : 0), __ATOMIC_RELEASE);
}
inline bool stopRequested() { return __atomic_load_n(&MyDev.stopRequest, __ATOMIC_ACQUIRE) != 0; }

// Copies a whole device record, or clears MyDev, without a plain read or write of MyDev's stop
// request: the request keeps its own value in MyDev, and a copy taken from MyDev gets it through
// an atomic load.
void copyDeviceRecord(_DevInfo& to, const _DevInfo& from);
void clearDeviceRecord();

}  // namespace pvk::core
