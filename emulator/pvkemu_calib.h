/* The software scanner's calibration sheet, for tests.
 *
 * A white calibration sheet lies in the transport with its front edge at the sensors. Each
 * acquisition start (a document, a calibration pass or a paper move) streams the lines the
 * configuration block asks for, as far as the sheet reaches, and moves the sheet by them: in
 * 300-dpi lines, forward or backward as the block says; a whole-document acquisition takes the
 * rest of the sheet. While the sheet covers the entry photocell the status shows the entry bit.
 * The pixels go through the device's sensor model (pvkemu_sensor_model): with the LEDs off they
 * read the black offset, with them on the white response at that LED level. Dirty columns read
 * a fifth of their white response; bright black columns read 200 with the LEDs off. */
#ifndef PVKEMU_CALIB_H
#define PVKEMU_CALIB_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pvkemu_calib_sheet {
  uint32_t length300;          /* sheet length in lines at 300 dpi */
  uint32_t width[8];           /* sensor pixels per side and line in acquisition modes 0..7 */
  uint32_t micr_two_sides;     /* magnetic bytes per plane slot with the head on, both sides on */
  uint32_t micr_one_side;      /* the same with one side off */
  uint32_t dirt_first, dirt_count;    /* dirty columns */
  uint32_t bright_first, bright_count; /* bright black columns */
} pvkemu_calib_sheet;

/* Puts a calibration sheet into a device's transport (null takes it away). 0, or -1. */
int pvkemu_calibration_sheet(int dev, const pvkemu_calib_sheet* sheet);
/* Where the sheet is: lines at 300 dpi moved past the sensors; -1 without a sheet. */
long pvkemu_calibration_position(int dev);
/* Acquisition starts the sheet has seen; -1 without a sheet. */
long pvkemu_calibration_passes(int dev);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_CALIB_H */
