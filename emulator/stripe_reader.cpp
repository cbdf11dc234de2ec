// The stripe reader of the software scanner: a track encoder that writes characters as a reader
// head collects them, and the device's swipe buffer behind the status bits and track requests.
#include <cstring>
#include <map>
#include <vector>

#include "bus.h"
#include "pvkemu_stripe.h"
#include "stripe_reader.h"

namespace pvk::emulator {
namespace {

constexpr int kMaxPerReply = 62;

struct Swipe {
  std::vector<uint8_t> track[3];
  size_t taken[3] = {0, 0, 0};
  int polls = 0;       // status reads before the data shows
  int pollsSeen = 0;
  int forcedCount = 0; // reported count of the next replies
  int forcedTimes = 0;
};

std::map<int, Swipe>& swipes() {
  static std::map<int, Swipe> s;
  return s;
}

bool known(int dev) { return dev >= 0 && static_cast<size_t>(dev) < bus().devices.size(); }

int bitsOf(int track) { return track == 0 ? 7 : 5; }

int popcount(unsigned v) { return __builtin_popcount(v); }

// A character value with its odd-parity bit on top.
uint8_t withParity(unsigned v, int k) {
  unsigned data = v & ((1u << (k - 1)) - 1);
  return static_cast<uint8_t>(popcount(data) % 2 == 0 ? data | (1u << (k - 1)) : data);
}

uint8_t mirror(uint8_t c, int k) {
  uint8_t r = 0;
  for (int b = 0; b < k; ++b)
    if (c & (1u << b)) r |= static_cast<uint8_t>(1u << (k - 1 - b));
  return r;
}

// Value of a text character in the track's set, or -1.
int valueOf(int track, unsigned char c) {
  if (track == 0) return c >= 0x20 && c <= 0x5F ? c - 0x20 : -1;
  return c >= 0x30 && c <= 0x3F ? c - 0x30 : -1;
}

// The characters in card order: start sentinel, text, end sentinel, LRC, noise.
bool cardOrder(int track, const pvkemu_track& t, std::vector<uint8_t>& out) {
  const int k = bitsOf(track);
  std::vector<unsigned> values;
  values.push_back(track == 0 ? 0x05 : (track == 2 && t.passbook ? 0x0D : 0x0B));
  for (const char* p = t.text; *p; ++p) {
    int v = valueOf(track, static_cast<unsigned char>(*p));
    if (v < 0) return false;
    values.push_back(static_cast<unsigned>(v));
  }
  values.push_back(track == 0 ? 0x1F : 0x0F);
  unsigned lrc = 0;
  for (unsigned v : values) lrc ^= v;
  if (t.lrc_error) lrc ^= 1;
  values.push_back(lrc);
  for (unsigned v : values) out.push_back(withParity(v, k));
  if (t.parity_error > 0 && static_cast<size_t>(t.parity_error - 1) < out.size())
    out[static_cast<size_t>(t.parity_error - 1)] ^= static_cast<uint8_t>(1u << (k - 1));
  static const uint8_t kNoise[] = {0x03, 0x05, 0x06, 0x0C, 0x00};
  for (int i = 0; i < t.noise; ++i) out.push_back(kNoise[i % 5]);
  return true;
}

// A backward swipe framed late: the reversed characters as one bit stream (first bit of each
// character in bit 0), the first k - shift bits lost, cut again into characters.
std::vector<uint8_t> framedLate(const std::vector<uint8_t>& rev, int k, int shift) {
  std::vector<int> bits;
  for (uint8_t c : rev)
    for (int b = 0; b < k; ++b) bits.push_back((c >> b) & 1);
  bits.erase(bits.begin(), bits.begin() + (k - shift));
  std::vector<uint8_t> out;
  for (size_t i = 0; i < bits.size(); i += static_cast<size_t>(k)) {
    uint8_t c = 0;
    for (int b = 0; b < k && i + static_cast<size_t>(b) < bits.size(); ++b)
      c |= static_cast<uint8_t>(bits[i + static_cast<size_t>(b)] << b);
    out.push_back(c);
  }
  return out;
}

std::vector<uint8_t> encode(int track, const pvkemu_track& t) {
  std::vector<uint8_t> card;
  if (track < 0 || track > 2 || !t.text || !cardOrder(track, t, card)) return {};
  if (!t.reverse) return card;
  const int k = bitsOf(track);
  std::vector<uint8_t> rev(card.rbegin(), card.rend());
  for (uint8_t& c : rev) c = mirror(c, k);
  if (t.shift > 0 && t.shift < k) return framedLate(rev, k, t.shift);
  return rev;
}

}  // namespace

uint32_t stripeStatus(Device& d) {
  auto it = swipes().find(d.id);
  if (it == swipes().end()) return 0;
  Swipe& s = it->second;
  const bool shows = s.pollsSeen >= s.polls;
  ++s.pollsSeen;
  uint32_t bits = 0;
  for (int t = 0; t < 3; ++t)
    if (shows && !s.track[t].empty()) bits |= 1u << (13 + t);
  return bits;
}

int stripeReply(Device& d, int track, unsigned char* data, uint16_t length) {
  uint8_t r[64] = {0};
  auto it = swipes().find(d.id);
  if (it != swipes().end() && track >= 0 && track < 3) {
    Swipe& s = it->second;
    const std::vector<uint8_t>& chars = s.track[track];
    size_t left = chars.size() - s.taken[track];
    size_t n = left < static_cast<size_t>(kMaxPerReply) ? left : kMaxPerReply;
    if (n > 0) std::memcpy(r + 2, chars.data() + s.taken[track], n);
    s.taken[track] += n;
    r[1] = static_cast<uint8_t>(n);
    if (s.forcedTimes > 0) {
      --s.forcedTimes;
      r[1] = static_cast<uint8_t>(static_cast<int8_t>(s.forcedCount));
    }
  }
  const int k = length < 64 ? length : 64;
  std::memcpy(data, r, static_cast<size_t>(k));
  return k;
}

void stripeClear(Device& d) {
  auto it = swipes().find(d.id);
  if (it == swipes().end()) return;
  const int forcedCount = it->second.forcedCount, forcedTimes = it->second.forcedTimes;
  it->second = Swipe{};
  it->second.forcedCount = forcedCount;
  it->second.forcedTimes = forcedTimes;
}

void stripeBusReset() { swipes().clear(); }

}  // namespace pvk::emulator

using namespace pvk::emulator;

extern "C" {

size_t pvkemu_stripe_encode(int track, const pvkemu_track* t, uint8_t* out, size_t room) {
  if (!t) return 0;
  std::vector<uint8_t> chars = encode(track, *t);
  if (out && !chars.empty()) std::memcpy(out, chars.data(), chars.size() < room ? chars.size() : room);
  return chars.size();
}

int pvkemu_swipe(int dev, const pvkemu_track* tracks3, int polls) {
  if (!known(dev)) return -1;
  Swipe& s = swipes()[dev];
  for (int t = 0; t < 3; ++t) {
    s.track[t] = tracks3 ? encode(t, tracks3[t]) : std::vector<uint8_t>{};
    s.taken[t] = 0;
  }
  s.polls = polls < 0 ? 0 : polls;
  s.pollsSeen = 0;
  return 0;
}

int pvkemu_swipe_raw(int dev, int track, const uint8_t* raw, size_t n, int polls) {
  if (!known(dev) || track < 0 || track > 2 || (n > 0 && !raw)) return -1;
  Swipe& s = swipes()[dev];
  s.track[track].assign(raw, raw + n);
  s.taken[track] = 0;
  s.polls = polls < 0 ? 0 : polls;
  s.pollsSeen = 0;
  return 0;
}

int pvkemu_stripe_reply_count(int dev, int count, int times) {
  if (!known(dev)) return -1;
  Swipe& s = swipes()[dev];
  s.forcedCount = count;
  s.forcedTimes = times;
  return 0;
}

int pvkemu_stripe_enabled(int dev) {
  if (!known(dev)) return -1;
  return bus().devices[static_cast<size_t>(dev)].stripeEnabled ? 1 : 0;
}

}  // extern "C"
