/* The software scanner's inkjet head, for tests.
 *
 * The head takes the print set-up block (208/72), the stamp's column words on bulk OUT endpoint
 * 6 (read them back with pvkemu_bulk_out_take) and the print start (208/70); at the start it
 * prints what it received since the set-up block, and the printed-count reply (208/80) answers
 * that number of bytes. A limit makes it print less, as a head that runs dry. */
#ifndef PVKEMU_INKJET_H
#define PVKEMU_INKJET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* The set-up block the device received last; 0, or -1 when none (or an unknown device). */
int pvkemu_inkjet_setup(int dev, uint8_t out8[8]);
/* The head prints at most `bytes` bytes of each stamp from now on (negative: no limit). */
int pvkemu_inkjet_limit(int dev, long bytes);
/* Bytes printed by the last print start; -1 for an unknown device. */
long pvkemu_inkjet_printed(int dev);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_INKJET_H */
