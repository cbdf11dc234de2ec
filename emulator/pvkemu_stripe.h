/* The software scanner's magnetic stripe reader, for tests.
 *
 * A swipe puts the raw characters of up to three tracks into the device's buffer; the status
 * reply shows the data-ready bit of each track that holds characters (bits 13, 14, 15) once a
 * given number of status reads have passed. The device answers the track requests with up to
 * 62 characters per reply (byte 1 the count, then the characters) and a count of 0 when the
 * track is exhausted; the buffer-reset command empties it.
 *
 * The encoder writes a track as a reader head sees it: start sentinel, characters, end
 * sentinel and longitudinal redundancy check, 7 bits per character on track 1 and 5 on tracks
 * 2 and 3 (data bits first, odd parity last), optionally swiped backward, with the framing
 * late by some bits, with a parity or LRC error or with noise after the LRC. */
#ifndef PVKEMU_STRIPE_H
#define PVKEMU_STRIPE_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct pvkemu_track {
  const char* text;   /* characters between the sentinels; null: the track holds nothing */
  int reverse;        /* swiped backward: characters and their bits arrive in reverse order */
  int shift;          /* backward only, 1..k-1: the head starts framing k - shift bits late, so
                         every character straddles two and the LRC loses its first bits */
  int passbook;       /* track 3: the passbook start sentinel '=' instead of ';' */
  int parity_error;   /* 0 none, else 1 + the position (0 = start sentinel) given wrong parity */
  int lrc_error;      /* the LRC has one data bit flipped (its parity kept right) */
  int noise;          /* characters of even parity after the LRC */
} pvkemu_track;

/* Raw characters of track `track` (0, 1, 2 for tracks 1, 2, 3) in the order the device
 * collects them; at most `room` are written to out (may be null). Returns the full count, or 0
 * for a null text or a character outside the track's set. */
size_t pvkemu_stripe_encode(int track, const pvkemu_track* t, uint8_t* out, size_t room);

/* A swipe: each of the three tracks (null entries, or a null text, leave a track empty) is
 * encoded into the device's buffer, replacing what it held; the data shows after `polls`
 * status reads. Returns 0, or -1 for an unknown device. */
int pvkemu_swipe(int dev, const pvkemu_track* tracks3, int polls);
/* The same with raw characters for one track (the other tracks keep what they hold). */
int pvkemu_swipe_raw(int dev, int track, const uint8_t* raw, size_t n, int polls);
/* The next `times` track replies report `count` as their character count whatever they hold
 * (at most 62 characters follow; a larger count over-states the reply). */
int pvkemu_stripe_reply_count(int dev, int count, int times);
/* The reader state: 1 enabled by the host, 0 disabled; -1 for an unknown device. */
int pvkemu_stripe_enabled(int dev);

#ifdef __cplusplus
}
#endif

#endif /* PVKEMU_STRIPE_H */
