// The magnetic stripe reader: enabling the device's swipe reader, waiting for a swipe, fetching
// the raw characters of the three tracks and decoding them into track texts.
#pragma once

#include <cstdint>

constexpr int kTrackBytes = 128;  // raw characters of a track, then its text with the NUL

extern char Track1[kTrackBytes];
extern char Track2[kTrackBytes];
extern char Track3[kTrackBytes];
extern uint64_t nByteT[3];        // raw characters read per track
extern uint8_t MagStripeEn;       // 5 enabled, 6 disabled, as last commanded
extern uint8_t LibrettoSpagna;    // the last decoded track 3 carried the passbook sentinel

// Output flags of a reading: drop the start sentinel, the end sentinel, the LRC.
constexpr unsigned char kStripeNoStart = 1, kStripeNoEnd = 2, kStripeNoLrc = 4;

// 210/5 (on >= 1, only when not enabled already) or 210/6; 0 without a track reader.
int Vx3MagStripeEnable(short on);
// Enables the reader again after a device reopen when it was enabled.
void Vx3MagStripeReopen();
// Empties the device's swipe buffer (210/1): 0 or the failure code.
int Vx3MagStripeReset();
// Waits for a swipe (status polls every 100 ms for the swipe wait) and fetches the raw tracks:
// 0, -10 on timeout, -75 for an over-long or garbled count, or the failing request's code.
int BadgeRead();
// Decodes raw track t (0..2) of nByteT[t] characters in place: 0 or -70..-75, -3 bad index.
int ElaboraTraccia(int track);
int MappingT1(unsigned long n, char* buffer, int track, bool forward);
int MappingT23(unsigned long n, char* buffer, int track, bool forward, bool passbook);
// Realigns a reversed track whose characters are framed `shift` bits off and decodes it.
int ValShif(char* buffer, unsigned short shift, unsigned long n, int track);
// One whole reading into three outputs of 128 bytes; decoding errors leave a track empty.
int Vx3MagStripeC(char* track1, char* track2, char* track3, unsigned char flags);
int Vx3MagStripe(unsigned char flags);
