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

/* Pixels per line of the sensor of each side, at 300 dpi (a profile of product id 0x000E, whose
 * sensor holds as many pixels at 600 dpi, has half as many). */
#define PVKEMU_SENSOR_PIXELS 2592

/* One document, 8 bits per pixel at 300 dpi (255 white): `width` pixels per side and line,
 * `height` lines in the order they pass the sensors. Each plane is height x width bytes, row
 * after row.
 *
 * Fed with pvkemu_feed, the document is a sheet in the transport, and the device sends what a
 * scanner sends for that sheet:
 *   - Width: a document narrower than the sensor lies flush against the sensor's far edge, its
 *     last pixel of each line on the sensor's last (pixel 2591 of 0..2591; pixel x of the
 *     document on sensor pixel 2592 - width + x), on both sides; the sensor pixels before it see
 *     the transport's dark background (25). This is the edge the transport aligns documents to,
 *     and the one the inkjet head's offset is measured from. A document wider than the sensor is
 *     refused. A document of exactly the sensor's width covers every sensor pixel.
 *   - Edges: a document whose first or last line shows paper on a side (a pixel of 100 or more,
 *     or a plane that reads white) passes between 50 lines of empty transport (25) before and 50
 *     after, as a sheet moving past the sensors does; one whose first and last lines show only
 *     the transport (a scan with its border, as the demo cheques are) streams as it is.
 *   - Planes: grey scans stream the grey plane; colour scans the red, green and blue planes. A
 *     side given its grey plane alone shows it in each colour plane; a side given green or blue
 *     shows, in grey, the luminance (306 R + 601 G + 117 B) >> 10 of its colour planes, a missing
 *     one white. Infrared, ultraviolet and backlight stream as given; a plane not given reads
 *     white (255) over the document, and the transport around it reads 25 in every plane.
 *   - A side given no plane at all is the blank white side of the sheet, the document's size. A
 *     scan of only blank sides (both given nothing, or the front switched off and the rear given
 *     nothing) finds white sheets and nothing to read: PVKImgScan1 gives -30 ("OCR general
 *     error.") when it had zones to read.
 * The magnetic samples go with the document's lines (the head sends its rest level 0x80 over the
 * empty transport). The library reads no more lines than its document height (parameter 9) and a
 * tail allow: a longer document is cut there, as on a real scanner.
 *
 * A scan of one's own (here cropped to the paper, 300 dpi grey, the rear left blank):
 *
 *   pvkemu_document doc;
 *   memset(&doc, 0, sizeof doc);
 *   doc.width = 1800;                        (at most PVKEMU_SENSOR_PIXELS)
 *   doc.height = 800;
 *   doc.front[PVKEMU_PLANE_GREY] = pixels;   (1800 x 800 bytes, row after row)
 *   if (pvkemu_feed(dev, &doc) != 0) fprintf(stderr, "%s\n", pvkemu_last_error());
 *
 * The library then crops each side to the sheet: the saved front is the cheque as it was given,
 * 1800 x 800 pixels within a few.
 *
 * Fed with pvkemu_feed_lines, the planes are the sensors' own lines and stream as given: every
 * slot its own plane, any width, no transport around them. Tests of the wire layout use it with
 * lines a few pixels long; a host feeds sheets. */
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
 * pvkemu_sheet_remove). Returns 0, or -1 for an unknown device or a document without pixels;
 * a document wider than the sensor is also refused with -1, and pvkemu_last_error (pvkemu.h)
 * says so. */
int pvkemu_feed(int dev, const pvkemu_document* doc);
/* The same with the sensors' own lines (above): the planes stream as given. */
int pvkemu_feed_lines(int dev, const pvkemu_document* doc);

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
