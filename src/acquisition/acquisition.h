// The acquisition engine: one document's raw stream from the configuration block to corrected
// side planes. The 33-byte configuration block and the start, one bulk read of the stream, the
// in-place separation of sides and planes, glitch and noise repair, the line aligner and the
// per-pixel correction; also the firmware-version predicates and the LED-level defaults that
// the rest of the library shares.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "core/records.h"

// Firmware families of the open device (MyDev.fwVersion).
bool IS_3000_VERSION();
bool IS_2209_VERSION();
bool IS_2208_VERSION();
bool IS_2205_VERSION();
bool IS_2201_VERSION();
bool IS_21XX_VERSION();
bool IS_202X_VERSION();

// LED defaults of the [BackLight] INI section, 0..255.
uint8_t defautBLLedLev();
uint8_t defautUVLedLev();

// One document's stream: non-zero on success; the result code is left in MyDev.lastResult.
uint8_t Vx3Scan_PID009();
uint8_t Vx3Scan_PID009_Singolo();
void ThrAcq_0x3000();
// Separation of the three stream layouts into the front buffer, in place; offsets advance by
// what was consumed and produced (the plain layout shares one offset).
void AlternaPixel(ImgInfo* front, uint64_t& offset, uint64_t bytes);
void AlternaPixelCMC7(ImgInfo* front, uint64_t& outOffset, uint64_t& inOffset, uint64_t lines,
                      uint64_t rawLineLength);
void AlternaPixelCMC7RetroIll(ImgInfo* front, uint64_t& outOffset, uint64_t& inOffset,
                              uint64_t lines, uint64_t rawLineLength, bool micr);
// Replaces runs of more than 32 dark pixels by the previous line's; true when one was replaced.
bool CorreggiDisturbi(uint8_t* line, int n, uint8_t* previousRaw);
// Correction of one side in place; marks it corrected.
void CorrezioneImgInAcq(ImgInfo* img);
// Builds and sends the 33-byte configuration block; the control-request result.
int ConfiguraDevice();
void CancellaAltPixelPgm();
void ScambiaImmaginiADF();

namespace pvk::acquisition {

// ---- configuration block -------------------------------------------------------------------

constexpr size_t kConfigBlockBytes = 33;

// Everything the configuration block is made of, gathered from the records.
struct ConfigBlockInput {
  uint8_t mode;            // acquisition mode 0..7
  bool slowAcq;
  bool colour;             // RGB acquisition
  uint8_t ledColour;       // grey-mode LED colour: 3, 4, 5 keep one colour
  bool frontOn, rearOn, uv, ir, backlight;
  bool forward, startupMove, micr, micrDisablesAdf, noAdf, moveNoAdf;
  uint8_t cfgFlags[4];     // the four option flags, 1 by default; sent inverted
  uint8_t inkjetBits;      // 0x10 / 0x20 already placed
  uint16_t ledFront[5];    // R, G, B, IR, UV
  uint16_t ledRear[5];
  uint16_t backlightLevel;
  bool moveByTime;
  uint64_t bytesToRead;
  uint16_t planeLineBytes;
  uint8_t planes;          // planes per raw line
  uint16_t dpiV;
  uint16_t productId;
  bool inkjetPresent;
  uint16_t fwVersion;
};

// Fills out (33 bytes). `linesLimited` tells whether the line count was cut to 0xFFFF.
void buildConfigBlock(const ConfigBlockInput& in, uint8_t* out, bool* linesLimited);
// Bytes the running acquisition asks for (the front record's count is cleared while it runs).
uint64_t currentBytesToRead();
// Whether the last acquisition's stream ended before it gave all the bytes asked for: a
// document shorter than the most that was asked for, or a stream cut short.
bool lastStreamEndedShort();
// The input for the current records.
ConfigBlockInput configBlockInputFromRecords();

// ---- raw stream layouts and separation -------------------------------------------------------

enum class StreamLayout { Plain, MicrCurrent, MicrOlder, Backlight };

// Geometry of one acquisition's raw stream and of the side buffer it is separated into.
struct StreamGeometry {
  StreamLayout layout;
  uint32_t sensorPixels;   // pixels per side per plane line (S)
  uint32_t planes;         // planes per raw line
  uint32_t micrPerSlot;    // magnetic bytes per slot (0 without MICR)
  bool micrInBacklight;    // backlight layout with MICR bytes after the pairs
  uint32_t trimWidth;      // for the line aligner search and the noise window
  uint32_t slotBytes() const;
  uint32_t rawLineBytes() const;  // what one raw line of the stream takes
  uint32_t outRowBytes() const;   // one output row: planes x 2S (+ S with backlight)
};

// Layout of the current acquisition.
StreamLayout layoutFor(bool micr, bool backlight, uint16_t fw, uint16_t productId);

// Per-document state of the separation: stream shift, previous lines, options.
struct SeparationState {
  int32_t glitchOffset = 0;
  bool aligner = false;      // hardware line aligner markers
  bool swGlitch = false;
  bool swNoise = false;
  bool normalDocument = true;   // shifts are repaired only for a document acquisition
  uint32_t dpiH = 300;
  uint16_t productId = 0;
  uint32_t trimTop = 0;
  uint64_t linesDone = 0;
  // Previous raw line (for the shift test) and previous separated row (for the noise test),
  // sized to the line; owned here for one acquisition.
  std::vector<uint8_t> prevRaw;
  std::vector<uint8_t> prevSep;
  std::vector<uint8_t> curSep;
  bool micrOverflowTraced = false;
};

// Separates `lines` raw lines from raw (rawBytes available) into rows of out (outBytes
// available), in place when they share a buffer (out before raw). Magnetic bytes are appended
// to `micr` (capacity grows). Returns the lines separated.
struct MicrSink {
  uint8_t** buffer;
  uint64_t* count;
  uint64_t* capacity;
};
uint64_t separateStream(const StreamGeometry& g, SeparationState& st, uint8_t* raw,
                        uint64_t rawBytes, uint8_t* out, uint64_t outBytes, uint64_t lines,
                        MicrSink* micr);

// Stream-shift test of a slot against the previous raw line. True when a shift was seen;
// delta (+1, -1 or 0 when the offset is already at its bound) moves the read position.
bool detectGlitch(const uint8_t* slot, const uint8_t* prev, uint32_t slotLen, uint32_t trimWidth,
                  uint32_t window, int32_t& glitchOffset, int& delta);

// ---- gains and correction --------------------------------------------------------------------

// Gain coefficients of one plane: numerator / (white - black), 10 or 1 where the difference is
// small; 1.0 from `width` to `count` and wherever a reference is missing or shorter.
void fillGains(float* coef, uint32_t count, uint32_t width, const uint8_t* white,
               const uint8_t* black, uint32_t refBytes, float numerator);

struct CorrectionPlane {
  uint8_t* firstPixel;      // pixel 0 of the plane line in the first row
  size_t rowStride;
  uint32_t rows;
  uint32_t sensorPixels;
  uint32_t trimLeft, trimWidth, fullWidth;
  const uint8_t* black;     // may be null: no offset correction
  uint32_t blackBytes;
  const float* coef;
  uint32_t coefCount;
  const uint8_t* lut;
};
// Corrects one plane of one side through the table and sets the borders to 10.
void correctPlane(const CorrectionPlane& p, bool correct);
// Mirrors the plane lines of a side left to right over `width` pixels.
void mirrorPlane(uint8_t* firstPixel, size_t rowStride, uint32_t rows, uint32_t width);

// Separation of the current acquisition's `bytes` read: lines separated, or -1 (refused,
// last result -1).
int64_t separateCurrent(uint64_t bytes);

// The device's stop request, the one state a host may change while another call runs (from
// its own thread): an atomic store and load of MyDev.stopRequest, touching nothing else.
void requestStop(bool stop);
bool stopRequested();

// Appends n bytes to a magnetic sample buffer, growing it; false when memory runs out.
bool appendSamples(MicrSink& sink, const uint8_t* bytes, uint32_t n);

// ---- replaceable calls ---------------------------------------------------------------------

// Two calls that the engine, the correction record and the EEPROM reader make and that tests
// point elsewhere. Vendor control requests: Vx3BaseContrlMsg unless a test replaces it.
extern int (*controlRequest)(int bank, int reg, char* buffer, int length, bool in);
// Records for the current mode, without buffers; tests may point it elsewhere.
extern void (*imgInitForMode)(uint8_t mode);

}  // namespace pvk::acquisition
