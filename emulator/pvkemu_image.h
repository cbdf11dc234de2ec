/* The software scanner's image stream, sensor model and factory calibration data, for tests.
 *
 * A test hands a device a document to feed; when the library starts an acquisition (the second
 * start command after the 33-byte configuration block) the device turns the document into the
 * raw bulk stream that the configuration block asks for: the planes it switches on (grey, or
 * red, green, blue; then infrared and ultraviolet) in that order, both sides interleaved pixel
 * by pixel, magnetic bytes in each slot when the magnetic head is on (where the firmware puts
 * them), and backlight pixels at the end of each raw line. The stream ends after the document,
 * so a document shorter than what the host asked for ends with a short transfer.
 *
 * The document streams only from the transport: at an acquisition start its sheet must be at the
 * entry photocell or in the feeder (pvkemu_sheet.h), and once the sheet has left the document is
 * gone. An acquisition started with no document sends no line: a device the configuration block
 * tells to wait at its photocell (byte 3 without 0x02) waits in vain and its transfers time out;
 * one told to start at once runs its transport empty and ends the stream with nothing.
 *
 * With a sensor model the device also darkens each pixel by its own black offset and gain and by
 * the LED levels of the configuration block, and answers the factory-calibration requests with
 * the white reference lines and levels of that same model, so that correction has real work. */
#ifndef PVKEMU_IMAGE_H
#define PVKEMU_IMAGE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Plane slots of a document side: grey or red, green, blue, infrared, ultraviolet. */
#define PVKEMU_PLANE_GREY 0
#define PVKEMU_PLANE_RED 0
#define PVKEMU_PLANE_GREEN 1
#define PVKEMU_PLANE_BLUE 2
#define PVKEMU_PLANE_IR 3
#define PVKEMU_PLANE_UV 4

/* One document as the sensors would see it ideally, 8 bits per pixel at the sensor's resolution:
 * `width` pixels per side and line (the sensor pixels), `height` lines. Each plane is
 * height x width bytes, row after row; a null plane reads white (255). */
typedef struct pvkemu_document {
  uint32_t width;
  uint32_t height;
  const uint8_t* front[5];
  const uint8_t* rear[5];
  const uint8_t* backlight;  /* one side only */
  const uint8_t* micr;       /* magnetic head samples, consumed in stream order; null = 0x80 */
  size_t micr_length;
  uint32_t micr_per_slot;    /* magnetic bytes per plane slot when the head is on */
} pvkemu_document;

/* The document fed at the next acquisition start of a device (copied). Unless a sheet set with
 * pvkemu_sheet is still waiting or in (pvkemu_sheet.h), the document also shows at the entry
 * photocell from the next status read and leaves after the acquisition, as a document put into
 * the scanner does: a host feeds one document per scan with this call alone. A test of the
 * document wait sets its own sheet before or after this call (or takes it away with
 * pvkemu_sheet_remove). Returns 0, or -1 for an unknown device or a document without pixels. */
int pvkemu_feed(int dev, const pvkemu_document* doc);

/* A scanner whose composition announces the line aligner (bit 30 of word L, firmware 0x3000 and
 * later; the full profile) never sends a 0 pixel byte: a document value 0 arrives as 1, and the
 * first byte of every slot of the plain layout is the 0 marker (where the front's first pixel
 * would be), with or without a sensor model.
 *
 * The sensor model of a device. White response per pixel (at the calibration LED level) lies
 * between white_min and white_max, varying per side and pixel with the seed; the black offset of
 * a pixel is its white response x black_level / white_level. A raw pixel for a document value
 * v is black + v x (white - black) x (LED level sent / led_level) / 265, rounded (white_max 0:
 * pixels pass unchanged, for a model of stream shifts only). Dirt columns
 * answer a fifth of their white response in the factory data. Aligner: the line aligner as
 * above on a profile that does not announce it. Glitches: before raw line glitch_line[i] the
 * stream gains (positive) or loses (negative) glitch_bytes[i] bytes. LED gains: a colour plane
 * sees its LED's level x gain / 100, a grey plane the brightest of the lit LEDs so weighed. */
typedef struct pvkemu_sensor {
  uint32_t seed;
  uint8_t white_min, white_max;
  uint8_t white_level, black_level;
  uint8_t led_level;
  uint8_t backlight_level;
  uint32_t dirt_count;
  uint32_t dirt_columns[8];
  int aligner;
  uint32_t glitch_count;
  uint32_t glitch_line[4];
  int32_t glitch_bytes[4];
  uint8_t led_gain[3];     /* per cent of the light the red, green, blue LED gives (0 = 100) */
} pvkemu_sensor;

/* Sets (or with null removes) a device's sensor model. Returns 0 or -1. */
int pvkemu_sensor_model(int dev, const pvkemu_sensor* model);

/* The white and black reference the model answers for side 0 (rear) or 1 (front), pixel x,
 * in the data set of pixels per column `pixels`; for tests that predict corrected values. */
int pvkemu_sensor_white(int dev, int side, uint32_t x);
int pvkemu_sensor_black(int dev, int side, uint32_t x);

/* Stream faults of the next acquisitions of a device, at byte offset `at` of the stream:
 * SHORT ends the stream there; TIMEOUT stops sending there without ending (the pending transfer
 * times out); UNPLUG unplugs the device once that many bytes were taken; CALLBACK calls fn(arg)
 * once that many bytes were taken (a host stopping the read, for instance). */
enum pvkemu_stream_fault_kind {
  PVKEMU_STREAM_SHORT = 1,
  PVKEMU_STREAM_TIMEOUT = 2,
  PVKEMU_STREAM_UNPLUG = 3,
  PVKEMU_STREAM_CALLBACK = 4
};
int pvkemu_stream_fault(int dev, int kind, size_t at, void (*fn)(void*), void* arg);

/* The configuration block the device received last (33 bytes); 0, or -1 when none. */
int pvkemu_config_block(int dev, uint8_t* out33);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_IMAGE_H */
