// The magnetic stripe reader: swipe wait, raw track fetch and decoding of the track formats
// (track 1: 6 data bits, tracks 2 and 3: 4 data bits, odd parity, sentinels and LRC), in either
// swipe direction and with the framing of a backward swipe a few bits off.
#include "device/mag_stripe.h"

#include <cstring>

#include "PlavikMS.h"
#include "core/records.h"
#include "core/shims.h"
#include "core/trace.h"
#include "device/device.h"

char Track1[kTrackBytes];
char Track2[kTrackBytes];
char Track3[kTrackBytes];
uint64_t nByteT[3];
uint8_t MagStripeEn = 6;
uint8_t LibrettoSpagna;

namespace {

using pvk::device::traceError;

constexpr uint8_t kEnabled = 5, kDisabled = 6;
constexpr unsigned long kMaxRaw = kTrackBytes - 1;  // the text needs its terminator
constexpr int kReplyMax = 62;                      // characters that fit a 64-byte reply
constexpr long kStatusDataReady = 7L << 13;        // tracks 1, 2, 3
constexpr long kStatusReaderOn = 1L << 12;

int setResult(int r) {
  MyDev.lastResult = r;
  return r;
}

// A failed request leaves whatever the transport recorded; a failure must never read as success.
int failure() {
  if (MyDev.lastResult >= 0) MyDev.lastResult = PVK_ERR_GENERIC;
  return MyDev.lastResult;
}

char* trackBuffer(int t) { return t == 0 ? Track1 : t == 1 ? Track2 : Track3; }

int bitsOf(int track) { return track == 0 ? 7 : 5; }

uint8_t mirror(uint8_t c, int k) {
  uint8_t r = 0;
  for (int b = 0; b < k; ++b)
    if (c & (1u << b)) r |= static_cast<uint8_t>(1u << (k - 1 - b));
  return r;
}

uint8_t startOf(int track, bool forward) {
  if (track == 0) return forward ? 0x45 : 0x51;
  return forward ? 0x0B : 0x1A;
}
uint8_t endOf(int track, bool forward) {
  if (track == 0) return forward ? 0x1F : 0x7C;
  return 0x1F;
}
uint8_t passbookOf(bool forward) { return forward ? 0x0D : 0x16; }

// The data value of a raw character read in this direction, or -1 when its parity is even or it
// carries bits outside the character.
int charValue(uint8_t raw, int k, bool forward) {
  if (raw >> k) return -1;
  const uint8_t c = forward ? raw : mirror(raw, k);
  if (__builtin_popcount(c) % 2 == 0) return -1;
  return c & ((1 << (k - 1)) - 1);
}

void traceTrack(int track, const char* t1Text, const char* t23Text) {
  if (track == 0) traceError(t1Text);
  else traceError(t23Text, track + 1);
}

bool tooLong(int track, unsigned long n) {
  if (track == 0 && n > 79) {
    traceError("track1 - too many chars", static_cast<long>(n));
    return true;
  }
  if (track == 1 && n > 40) {
    traceError("too may chars on track 2", static_cast<long>(n));
    return true;
  }
  if (track == 2 && n >= 108) {
    traceError("too may chars on track 3", static_cast<long>(n));
    return true;
  }
  return false;
}

// Decodes n raw characters of a track in place. Characters that fail parity after a complete
// start..end..LRC run are noise behind the card's data: the track is cut there.
int mapTrack(unsigned long n, char* buffer, int track, bool forward, bool passbook) {
  if (n < 2) return setResult(PVK_ERR_MAGSTRIPE);
  if (n > kMaxRaw) {
    tooLong(track, n);
    return setResult(PVK_ERR_MAGSTRIPE_TOO_LONG);
  }
  const int k = bitsOf(track);
  const char base = track == 0 ? 0x20 : 0x30;
  uint8_t raw[kTrackBytes];
  std::memcpy(raw, buffer, kTrackBytes);
  const bool startOk = raw[0] == startOf(track, forward) || (passbook && raw[0] == passbookOf(forward));
  const uint8_t end = endOf(track, forward);
  for (;;) {
    unsigned acc = 0;
    bool restart = false;
    for (unsigned long i = 0; i + 1 < n; ++i) {
      const int v = charValue(raw[i], k, forward);
      if (v < 0) {
        if (i >= 3 && startOk && raw[i - 2] == end) {
          n = i;
          restart = true;
          break;
        }
        traceTrack(track, "track1 - wrong parity", "parity error on track");
        return setResult(PVK_ERR_MAGSTRIPE_PARITY);
      }
      acc ^= static_cast<unsigned>(v);
      buffer[i] = static_cast<char>(base + v);
    }
    if (restart) continue;
    const int lrc = charValue(raw[n - 1], k, forward);
    if (lrc < 0) {
      if (n - 1 >= 3 && startOk && raw[n - 3] == end) {
        --n;
        continue;
      }
      traceTrack(track, "track1 - wrong LCR parity", "LCR parity error on track");
      return setResult(PVK_ERR_MAGSTRIPE_PARITY);
    }
    buffer[n - 1] = static_cast<char>(base + lrc);
    if ((acc ^ static_cast<unsigned>(lrc)) != 0) {
      traceTrack(track, "track1 - wrong LCR", "LCR error on track");
      return setResult(PVK_ERR_MAGSTRIPE_LRC);
    }
    break;
  }
  if (tooLong(track, n)) return setResult(PVK_ERR_MAGSTRIPE_TOO_LONG);
  std::memset(buffer + n, 0, kTrackBytes - n);
  if (track != 0) LibrettoSpagna = passbook ? 1 : 0;
  return setResult(0);
}

int decode(unsigned long n, char* buffer, int track, bool forward, bool passbook) {
  return track == 0 ? MappingT1(n, buffer, 0, forward) : MappingT23(n, buffer, track, forward, passbook);
}

// Fetches the raw characters of one track: 0, -75, or the failure of the request.
int fetchTrack(int t) {
  char* buffer = trackBuffer(t);
  unsigned long count = 0;
  for (;;) {
    unsigned char r[64] = {0};
    const int rc = Vx3BaseContrlMsg(210, t + 2, reinterpret_cast<char*>(r), 64, true);
    if (rc < 2) {
      traceError("Data request failed");
      return failure();
    }
    const int c = static_cast<int8_t>(r[1]);
    // A count the reply cannot hold, a negative one or one that overflows the track buffer
    // (which keeps a byte for the terminator) is no reading.
    if (c < 0 || c > kReplyMax || c > rc - 2 || count + static_cast<unsigned long>(c) > kMaxRaw) {
      nByteT[t] = count;
      return setResult(PVK_ERR_MAGSTRIPE_TOO_LONG);
    }
    if (c == 0) break;
    std::memcpy(buffer + count, r + 2, static_cast<size_t>(c));
    count += static_cast<unsigned long>(c);
  }
  nByteT[t] = count;
  return 0;
}

}  // namespace

int Vx3MagStripeEnable(short on) {
  if (!MyDev.trackReader[0] && !MyDev.trackReader[1] && !MyDev.trackReader[2]) return setResult(0);
  int rc = 0;
  if (on < 1) {
    MagStripeEn = kDisabled;
    rc = Vx3BaseContrlMsg(210, 6, nullptr, 0, true);
  } else if (MagStripeEn != kEnabled) {
    MagStripeEn = kEnabled;
    rc = Vx3BaseContrlMsg(210, 5, nullptr, 0, true);
  }
  if (rc < 0) failure();
  return MyDev.lastResult;
}

void Vx3MagStripeReopen() {
  if (MagStripeEn == kEnabled) Vx3BaseContrlMsg(210, 5, nullptr, 0, true);
}

int Vx3MagStripeReset() {
  if (Vx3BaseContrlMsg(210, 1, nullptr, 0, true) < 0) {
    traceError(" Badge buffer reset failed");
    return failure();
  }
  return setResult(0);
}

int BadgeRead() {
  nByteT[0] = nByteT[1] = nByteT[2] = 0;
  const int polls = MyAcq.msWaitSwipe / 100 + 1;
  long status = 0;
  bool ready = false;
  for (int i = 0; i < polls && !ready; ++i) {
    status = FX2ReadStatusL();
    if (status == 0) return failure();
    if (status & kStatusDataReady) {
      ready = true;
      break;
    }
    if (!(status & kStatusReaderOn)) Vx3MagStripeEnable(1);
    Sleep(100);
  }
  if (!ready) {
    pvk::device::traceWarning("Magnetic Stripe Timeout");
    return setResult(PVK_ERR_TIMEOUT);
  }
  for (int t = 0; t < 3; ++t) {
    if (!(status & (1L << (13 + t)))) continue;
    const int r = fetchTrack(t);
    if (r < 0) return r;
  }
  if (Vx3BaseContrlMsg(210, 1, nullptr, 0, true) < 0) {
    traceError("Badge buffer reset failed");
    return failure();
  }
  return setResult(0);
}

int MappingT1(unsigned long n, char* buffer, int track, bool forward) {
  if (track != 0 || !buffer) {
    traceError("track1 - unexpected nTrace");
    return setResult(PVK_ERR_MAGSTRIPE);
  }
  return mapTrack(n, buffer, 0, forward, false);
}

int MappingT23(unsigned long n, char* buffer, int track, bool forward, bool passbook) {
  if ((track != 1 && track != 2) || !buffer) {
    traceError("unexpected nTrace on track 2 or 3", track);
    return setResult(PVK_ERR_MAGSTRIPE);
  }
  return mapTrack(n, buffer, track, forward, passbook && track == 2);
}

int ValShif(char* buffer, unsigned short shift, unsigned long n, int track) {
  if (track < 0 || track > 2 || !buffer) return setResult(PVK_ERR_INV_PARAMETER);
  const int k = bitsOf(track);
  // A shift of a whole character or more realigns nothing (and would shift by a negative count).
  if (shift > 6 || shift == 0 || shift >= k || n < 2 || n > kMaxRaw) return setResult(PVK_ERR_MAGSTRIPE);
  uint8_t* raw = reinterpret_cast<uint8_t*>(buffer);
  const unsigned lo = (1u << shift) - 1;
  const unsigned hi = 0x7Fu & ~lo;
  auto joined = [&](unsigned long i) {
    return static_cast<uint8_t>(((raw[i + 1] & hi) >> shift) + ((raw[i] & lo) << (k - shift)));
  };
  const uint8_t first = joined(0);
  const bool passbook = track == 2 && first == passbookOf(false);
  if (first != startOf(track, false) && !passbook) return setResult(PVK_ERR_MAGSTRIPE_START);
  // The passbook sentinel is kept: the LRC was formed over it.
  raw[0] = first;
  for (unsigned long i = 1; i + 1 < n; ++i) raw[i] = joined(i);
  raw[n - 1] = static_cast<uint8_t>((raw[n - 1] & lo) << (k - shift));
  if (raw[n - 2] != endOf(track, false)) return setResult(PVK_ERR_MAGSTRIPE_END);
  return decode(n, buffer, track, false, passbook);
}

int ElaboraTraccia(int track) {
  if (track < 0 || track > 2) return setResult(PVK_ERR_INV_PARAMETER);
  char* buffer = trackBuffer(track);
  const unsigned long n = nByteT[track];
  if (n < 4) return setResult(PVK_ERR_MAGSTRIPE);
  if (n > kMaxRaw) return setResult(PVK_ERR_MAGSTRIPE_TOO_LONG);
  uint8_t* raw = reinterpret_cast<uint8_t*>(buffer);
  if (track == 0 && std::memchr(raw, 0, n - 1)) pvk::device::traceWarning("null char on trace 1");
  if (raw[0] == startOf(track, true) && raw[n - 2] == endOf(track, true)) return decode(n, buffer, track, true, false);
  if (track == 2 && raw[0] == passbookOf(true) && raw[n - 2] == endOf(track, true))
    return decode(n, buffer, track, true, true);
  // A forward swipe with noise behind its LRC: the end sentinel is not next to last, but the
  // forward decoding cuts the noise off. Anything else goes on to the backward readings.
  const bool forwardStart = raw[0] == startOf(track, true) || (track == 2 && raw[0] == passbookOf(true));
  if (forwardStart && std::memchr(raw + 1, endOf(track, true), n - 2)) {
    char copy[kTrackBytes];
    std::memcpy(copy, buffer, kTrackBytes);
    const int r = decode(n, buffer, track, true, raw[0] == passbookOf(true) && track == 2);
    if (r == 0) return r;
    std::memcpy(buffer, copy, kTrackBytes);
  }
  for (unsigned long i = 0; i < n / 2; ++i) {
    const uint8_t c = raw[i];
    raw[i] = raw[n - 1 - i];
    raw[n - 1 - i] = c;
  }
  if (raw[0] == startOf(track, false)) return decode(n, buffer, track, false, false);
  if (track == 2 && raw[0] == passbookOf(false)) return decode(n, buffer, track, false, true);
  int r = PVK_ERR_MAGSTRIPE;
  for (unsigned short s = 1; s <= (track == 0 ? 6 : 4); ++s) {
    r = ValShif(buffer, s, n, track);
    if (r == 0) break;
  }
  return setResult(r);
}

int Vx3MagStripeC(char* track1, char* track2, char* track3, unsigned char flags) {
  char* outs[3] = {track1, track2, track3};
  for (int t = 0; t < 3; ++t) std::memset(trackBuffer(t), 0, kTrackBytes);
  const int read = BadgeRead();
  if (read < 0) {
    // What a failed read left is raw characters, not text: the host gets empty tracks.
    for (int t = 0; t < 3; ++t) {
      std::memset(trackBuffer(t), 0, kTrackBytes);
      if (outs[t] && outs[t] != trackBuffer(t)) std::memset(outs[t], 0, kTrackBytes);
    }
    return setResult(read);
  }
  LibrettoSpagna = 0;
  for (int t = 0; t < 3; ++t) {
    char* buffer = trackBuffer(t);
    if (nByteT[t] != 0 && ElaboraTraccia(t) < 0) {
      traceError("PVKMagStripe - not valid reading for trace", t + 1);
      std::memset(buffer, 0, kTrackBytes);
      continue;
    }
    size_t len = strnlen(buffer, kTrackBytes - 1);
    if ((flags & kStripeNoStart) && len > 0) {
      std::memmove(buffer, buffer + 1, len);
      --len;
    }
    if ((flags & kStripeNoEnd) && len >= 2) {
      buffer[len - 2] = buffer[len - 1];
      --len;
    }
    if ((flags & kStripeNoLrc) && len > 0) --len;
    std::memset(buffer + len, 0, kTrackBytes - len);
  }
  for (int t = 0; t < 3; ++t)
    if (outs[t] && outs[t] != trackBuffer(t)) std::memcpy(outs[t], trackBuffer(t), kTrackBytes);
  return setResult(0);
}

int Vx3MagStripe(unsigned char flags) { return Vx3MagStripeC(Track1, Track2, Track3, flags); }
