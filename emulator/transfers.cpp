// The software scanner's bulk endpoints: asynchronous transfers that complete only inside
// event handling, cancellation, timeouts, short transfers that end a stream, and the
// synchronous bulk transfer.
#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <map>
#include <time.h>

#include "bus.h"
#include "image_stream.h"

using namespace pvk::emulator;

namespace {

struct Pending {
  bool inFlight = false;
  bool cancelRequested = false;
  uint64_t deadline = 0;  // monotonic ms; 0 = no timeout
};

// Every allocated transfer; the submitted ones in submission order (one endpoint queue).
std::map<libusb_transfer*, Pending>& transfers() {
  static auto* m = new std::map<libusb_transfer*, Pending>();
  return *m;
}
std::vector<libusb_transfer*>& queue() {
  static auto* q = new std::vector<libusb_transfer*>();
  return *q;
}

Device* deviceOfHandle(libusb_device_handle* h) {
  if (!h || !h->dev || !h->open) return nullptr;
  Device* d = deviceById(h->dev->devId);
  if (!d || !d->plugged || d->usb != h->dev) return nullptr;
  return d;
}

size_t takeStream(Device& d, unsigned char* out, size_t want) {
  const size_t n = d.stream.take(out, want);
  imageStreamTaken(d, n);
  return n;
}

// Decides the transfer at the head of the queue, or any transfer that is cancelled, lost its
// device or ran out of time. Returns true when `t` completed (status and length set).
bool tryComplete(libusb_transfer* t, Pending& p, bool head, uint64_t now) {
  Device* d = deviceOfHandle(t->dev_handle);
  if (!d) {
    t->status = LIBUSB_TRANSFER_NO_DEVICE;
    t->actual_length = 0;
    return true;
  }
  if (p.cancelRequested) {
    t->status = LIBUSB_TRANSFER_CANCELLED;
    t->actual_length = 0;
    return true;
  }
  if (!head) {
    // Every transfer keeps its own timeout, wherever it waits in the queue: one behind a
    // stalled stream gives up with nothing read, as libusb's would.
    if (p.deadline == 0 || now < p.deadline) return false;
    t->actual_length = 0;
    t->status = LIBUSB_TRANSFER_TIMED_OUT;
    return true;
  }
  size_t want = static_cast<size_t>(t->length);
  if (d->stream.size() >= want || d->streamEnded) {
    t->actual_length = static_cast<int>(takeStream(*d, t->buffer, want));
    t->status = LIBUSB_TRANSFER_COMPLETED;
    return true;
  }
  if (p.deadline != 0 && now >= p.deadline) {
    t->actual_length = static_cast<int>(takeStream(*d, t->buffer, want));
    t->status = LIBUSB_TRANSFER_TIMED_OUT;
    return true;
  }
  return false;
}

// One pass over the queue; returns the transfers that completed, in order.
std::vector<libusb_transfer*> completeReady() {
  std::vector<libusb_transfer*> done;
  uint64_t now = monotonicMs();
  auto& q = queue();
  bool head = true;
  for (auto it = q.begin(); it != q.end();) {
    Pending& p = transfers()[*it];
    if (tryComplete(*it, p, head, now)) {
      p.inFlight = false;
      done.push_back(*it);
      it = q.erase(it);
      continue;  // the next one becomes the head
    }
    head = false;
    ++it;
  }
  return done;
}

uint64_t earliestDeadline() {
  uint64_t best = 0;
  for (libusb_transfer* t : queue()) {
    uint64_t d = transfers()[t].deadline;
    if (d != 0 && (best == 0 || d < best)) best = d;
  }
  return best;
}

void logBulk(int kind, libusb_device_handle* h, unsigned char endpoint, int length, int result,
             const unsigned char* data) {
  pvkemu_request r{};
  r.kind = kind;
  r.dev = h && h->dev ? h->dev->devId : -1;
  r.endpoint = endpoint;
  r.length = static_cast<uint16_t>(std::min(length, 0xFFFF));
  r.result = result;
  if (data && length > 0) std::memcpy(r.data, data, static_cast<size_t>(std::min(length, 64)));
  logRequest(r);
}

}  // namespace

namespace pvk::emulator {

void dropPendingTransfers() {
  for (libusb_transfer* t : queue()) transfers()[t].inFlight = false;
  queue().clear();
}

}  // namespace pvk::emulator

extern "C" {

libusb_transfer* libusb_alloc_transfer(int isoPackets) {
  if (isoPackets < 0) return nullptr;
  size_t size = sizeof(libusb_transfer) +
                sizeof(libusb_iso_packet_descriptor) * static_cast<size_t>(isoPackets);
  auto* t = static_cast<libusb_transfer*>(std::calloc(1, size));
  if (!t) return nullptr;
  t->num_iso_packets = isoPackets;
  transfers()[t] = Pending{};
  return t;
}

void libusb_free_transfer(libusb_transfer* t) {
  if (!t) return;
  auto it = transfers().find(t);
  if (it == transfers().end()) {
    noteMisuse("libusb_free_transfer of an unknown transfer");
    return;
  }
  if (it->second.inFlight) {
    noteMisuse("libusb_free_transfer while the transfer is in flight");
    auto& q = queue();
    q.erase(std::remove(q.begin(), q.end(), t), q.end());
  }
  if ((t->flags & LIBUSB_TRANSFER_FREE_BUFFER) && t->buffer) std::free(t->buffer);
  transfers().erase(it);
  std::free(t);
}

int libusb_submit_transfer(libusb_transfer* t) {
  auto it = t ? transfers().find(t) : transfers().end();
  if (it == transfers().end()) {
    noteMisuse("libusb_submit_transfer of an unknown transfer");
    return LIBUSB_ERROR_INVALID_PARAM;
  }
  if (it->second.inFlight) return LIBUSB_ERROR_BUSY;
  int rc = 0;
  Device* d = deviceOfHandle(t->dev_handle);
  if (!d)
    rc = LIBUSB_ERROR_NO_DEVICE;
  else if (t->type != LIBUSB_TRANSFER_TYPE_BULK || t->endpoint != 0x82)
    rc = LIBUSB_ERROR_NOT_FOUND;
  else if (t->length < 0 || (t->length > 0 && !t->buffer))
    rc = LIBUSB_ERROR_INVALID_PARAM;
  logBulk(PVKEMU_LOG_BULK_SUBMIT, t->dev_handle, t->endpoint, t->length, rc, nullptr);
  if (rc) return rc;
  it->second.inFlight = true;
  it->second.cancelRequested = false;
  it->second.deadline = t->timeout ? monotonicMs() + t->timeout : 0;
  t->actual_length = 0;
  queue().push_back(t);
  return 0;
}

int libusb_cancel_transfer(libusb_transfer* t) {
  auto it = t ? transfers().find(t) : transfers().end();
  if (it == transfers().end() || !it->second.inFlight) return LIBUSB_ERROR_NOT_FOUND;
  it->second.cancelRequested = true;
  return 0;
}

int libusb_handle_events_timeout_completed(libusb_context*, struct timeval* tv, int* completed) {
  std::vector<libusb_transfer*> done = completeReady();
  if (done.empty() && !queue().empty()) {
    // Nothing can complete now: let time pass as a blocked event handler would.
    uint64_t wait = tv ? static_cast<uint64_t>(tv->tv_sec) * 1000 + static_cast<uint64_t>(tv->tv_usec) / 1000 : 60000;
    uint64_t now = monotonicMs(), deadline = earliestDeadline();
    if (clockIsVirtual()) {
      uint64_t target = now + wait;
      if (deadline != 0 && (wait == 0 || deadline < target)) target = deadline;
      if (target > now) clockJumpToMs(target);
    } else if (wait > 0) {
      if (deadline != 0 && deadline > now && deadline - now < wait) wait = deadline - now;
      struct timespec ts = {static_cast<time_t>(wait / 1000), static_cast<long>(wait % 1000) * 1000000L};
      nanosleep(&ts, nullptr);
    }
    done = completeReady();
  }
  for (libusb_transfer* t : done) {
    if (t->callback) t->callback(t);
  }
  if (completed) *completed = 1;
  return 0;
}

int libusb_handle_events_timeout(libusb_context* ctx, struct timeval* tv) {
  return libusb_handle_events_timeout_completed(ctx, tv, nullptr);
}

int libusb_handle_events(libusb_context* ctx) {
  struct timeval tv = {60, 0};
  return libusb_handle_events_timeout_completed(ctx, &tv, nullptr);
}

int libusb_handle_events_completed(libusb_context* ctx, int* completed) {
  struct timeval tv = {60, 0};
  return libusb_handle_events_timeout_completed(ctx, &tv, completed);
}

int libusb_bulk_transfer(libusb_device_handle* h, unsigned char endpoint, unsigned char* data,
                         int length, int* transferred, unsigned int timeout) {
  if (transferred) *transferred = 0;
  Device* d = deviceOfHandle(h);
  int rc = 0, n = 0;
  if (!d) {
    rc = LIBUSB_ERROR_NO_DEVICE;
  } else if (length < 0 || (length > 0 && !data)) {
    rc = LIBUSB_ERROR_INVALID_PARAM;
  } else if (endpoint == 0x06) {
    d->bulkOut.insert(d->bulkOut.end(), data, data + length);
    n = length;
  } else if (endpoint == 0x82) {
    if (d->stream.size() >= static_cast<size_t>(length) || d->streamEnded) {
      n = static_cast<int>(takeStream(*d, data, static_cast<size_t>(length)));
    } else {
      if (clockIsVirtual()) pvkemu_clock_advance_ms(timeout);
      n = static_cast<int>(takeStream(*d, data, static_cast<size_t>(length)));
      rc = LIBUSB_ERROR_TIMEOUT;
    }
  } else {
    rc = LIBUSB_ERROR_PIPE;
  }
  if (transferred) *transferred = n;
  logBulk(PVKEMU_LOG_BULK_SYNC, h, endpoint, length, rc ? rc : n, data);
  return rc;
}

}  // extern "C"
