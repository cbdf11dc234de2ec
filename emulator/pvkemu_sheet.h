/* The software scanner's sheet model, for tests of the document wait and the cleaning cycle.
 *
 * A sheet (a document or a cleaning sheet) arrives at the entry photocell, or in the feeder,
 * after a number of status reads, and leaves after a number of acquisition starts (each paper
 * move of the library is an acquisition whose image is thrown away). While it is in, the
 * status reply carries its bit besides the device's own status. pvkemu_feed sets such a sheet
 * (at the entry photocell at once, gone after one acquisition) unless one set here is still
 * waiting or in; these calls are for tests of the wait and of the cleaning cycle. */
#ifndef PVKEMU_SHEET_H
#define PVKEMU_SHEET_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

/* Status bits of a sheet: at the entry photocell, waiting in the feeder. */
#define PVKEMU_SHEET_ENTRY 0x4u
#define PVKEMU_SHEET_FEEDER 0x20000u

/* The sheet shows from the status read after `polls` reads (0: from the next read on) and is
 * gone after `moves` acquisition starts (a negative count: it never leaves). Replaces an earlier
 * sheet. Returns 0, or -1 for an unknown device. */
int pvkemu_sheet(int dev, int polls, int moves, uint32_t bit);
/* Takes the sheet away at once. */
int pvkemu_sheet_remove(int dev);
/* Acquisition starts and status reads since the sheet was set; -1 for an unknown device. */
int pvkemu_sheet_moves(int dev);
int pvkemu_sheet_polls(int dev);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_SHEET_H */
