// Small utilities on resolutions, line counts, format words and image borders that the
// acquisition, image and reading code share.
#pragma once

#include <cstddef>
#include <cstdint>

#include "PlavikMS.h"

// 0 (side not produced) and 10..600 are valid; otherwise traces "Invalid dpi val", sets -3.
bool CheckDpi(short dpi);
// lines at fromDpi converted to toDpi (0 below 1 line, 0xFFFFFFFF above 65535).
int EvalNumLine(int lines, int fromDpi, int toDpi);
// The format word names JPEG or TIFF with JPEG compression (rotation bits ignored).
bool IS_JPEG_COMPRESSION(short format);
// Whitens the dark (<= 20) outer rows and columns that a rotation leaves around an image.
void CancellaBordiRotazione(PVKImg* img);

// ---- Grey-level counts ------------------------------------------------------------------------
namespace pvk::core {

// How many pixels of each grey level the rows added hold. Four counters per level take the
// pixels in turn: a run of one level (paper) would otherwise wait on one counter at each pixel.
class LevelCounts {
 public:
  void add(const uint8_t* p, size_t n);
  uint64_t operator[](int level) const {
    return static_cast<uint64_t>(part_[0][level]) + part_[1][level] + part_[2][level] + part_[3][level];
  }

 private:
  uint32_t part_[4][256] = {};
};

}  // namespace pvk::core

// ---- The raw side buffer kept between documents ---------------------------------------------
// Every acquisition needs a buffer sized for the longest document (tens to hundreds of MB),
// white (0xFF) where nothing is read into it and cleared over the range the bulk read may fill.
// Writing all of that costs page faults and passes over memory that no later step reads. So
// one buffer is kept (a request that fits it gets it back; one that needs less than half of it
// leaves the pages past the request to the system), and
// the white fill and the cleared range are only recorded: their bytes are written (settled)
// where something can read them, with exactly the values they would have had.
namespace pvk::core {

// A buffer of at least `bytes` whose first `whiteBytes` are due to be 0xFF (the rest
// unspecified), not yet written while deferSideBufferFill is on; null when memory runs out. Give it back with
// releaseSideBuffer, never with free().
uint8_t* lendSideBuffer(uint64_t bytes, uint64_t whiteBytes);
// The same, with the white bytes written at once.
uint8_t* takeSideBuffer(uint64_t bytes, uint64_t whiteBytes);
// Records [from, from + bytes) as due to be 0, except bytes 0 and 3 of each of the first
// `markedLines` lines of `lineBytes` that lie whole in it, due to be 0xFF. Forgets what the
// bulk read wrote before.
void clearSideBufferRange(uint8_t* from, uint64_t bytes, uint64_t lineBytes, uint64_t markedLines);
// The bulk read wrote [from, from + bytes): those bytes are no longer due anything.
void noteSideBufferWritten(const uint8_t* from, uint64_t bytes);
// Writes the due values into [from, to); nothing there is due afterwards, the rest stays due.
void settleSideBuffer(uint8_t* from, uint8_t* to);
// Writes every due value; nothing is due afterwards.
void settleSideBuffer();
// Nothing is due any more: what was not settled is never read.
void forgetSideBuffer();
// On while a document's acquisition prepares its buffer: lendSideBuffer only records the white
// fill then. Off (the default), lendSideBuffer writes it at once, as every other user of the
// buffer preparation reads the buffer without an acquisition to settle it.
void deferSideBufferFill(bool on);
// On: every due value is written as soon as it is recorded, as a buffer filled white and
// cleared before the read would be (the reference that deferred settling is tested against).
void settleSideBuffersAtOnce(bool on);
// Takes back a buffer of takeSideBuffer or lendSideBuffer; any other pointer (or null) is freed
// as usual.
void releaseSideBuffer(void* buffer);
// Frees the kept buffer now, or when it comes back if it is in use (device closed, records
// freed).
void dropSideBuffer();

}  // namespace pvk::core

// ---- Byte order of colour pixels ----------------------------------------------------------
// The rows of a colour picture are stored blue first in a bitmap, red first in a TIFF file, and
// as three planes side by side when acquired. These move whole rows between the forms with the
// processor's byte shuffles where it has them; the bytes are those of the plain per-pixel loop.
namespace pvk::core {

// `pixels` three-byte pixels from src to dst with the first and third byte of each exchanged
// (red first <-> blue first). dst may be src (in place); otherwise they must not overlap.
void swapOuterBytes(uint8_t* dst, const uint8_t* src, size_t pixels);
// `pixels` three-byte pixels into dst, byte 0 of pixel k from first[k], byte 1 from second[k],
// byte 2 from third[k]. dst must not overlap the planes.
void interleavePlanes(uint8_t* dst, const uint8_t* first, const uint8_t* second, const uint8_t* third,
                      size_t pixels);

}  // namespace pvk::core

// ---- The processor ------------------------------------------------------------------------
namespace pvk::core {

// What the processor can do beyond the baseline: code with a version that needs more asks here
// before using it. ByteShuffles: 16-byte shuffles by byte indexes. EightLanes: 256-bit vectors.
// BytePermutes: the 64 bytes of a whole register permuted by byte indexes, with the 512-bit
// byte operations beside them. BitCounts: the set bits of a word counted by one instruction.
enum class Cpu { ByteShuffles, EightLanes, BytePermutes, BitCounts };
bool processorHas(Cpu feature);

}  // namespace pvk::core
